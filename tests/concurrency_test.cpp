// Many threads on the shared connections while another process keeps writing the live-object
// database (WAL mode). The connections are opened as the library opens them: read-only, shared
// cache, busy timeout, resource and HMC databases attached, SQL functions registered, property
// map loaded from the metadata connection.
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "internal.hpp"
#include "support/handle_scope.hpp"
#include "support/test_support.hpp"

using namespace testing_support;

namespace {

constexpr int kThreads = 8;
const std::string kDir =
    std::string(SQL2JSON_TEST_ROOT) + "/concurrency_" + std::to_string(getpid());
const std::string kLiveDb = kDir + "/live.db";
const char* const kUri = "/redfish/v1/Chassis/1/Thermal";

// The writer keeps these invariants in every transaction: State.gen = State.gen2 = g, and Fan
// holds g % 3 + 1 rows, each with gen g.
constexpr const char* kLiveSchema = R"sql(
pragma journal_mode=wal;
create table State(gen integer, gen2 integer);
insert into State values(1, 1);
create table Fan(name text, gen integer);
insert into Fan values('Fan0', 1), ('Fan1', 1);
create table Queries(name text, sqltext text);
insert into Queries values('fans',
  'select count(*) || '':'' || max(gen) from Fan where ? is not null');
create view FanView as select '#Thermal.v1_7_3.Fan' as "@odata.type", name as Name, gen as Gen,
  json_bool('true') as Enabled, convertStringToBytes('a1b2c3') as Mac,
  Convert_ReleaseDate('March 15, 2021') as Released,
  convertTimeFormat('Mar 15 08:30:00 2025 GMT') as Seen from Fan order by name;
create view ThermalView as select '#Thermal.v1_7_3.Thermal' as "@odata.type",
  '/redfish/v1/Chassis/1/Thermal' as "@odata.id", gen as Gen, gen2 as Gen2,
  'select * from FanView' as Fans, json_bool(gen % 2) as "Status#Odd",
  json_object('gen', gen, 'gen2', gen2, 'fans', (select count(*) from Fan),
              'fanGen', (select max(gen) from Fan)) as root from State;
)sql";

constexpr const char* kMetadataSchema = R"sql(
create table "#Thermal.v1_7_3.Thermal"(PropertyName text, PropertyType text);
insert into "#Thermal.v1_7_3.Thermal" values('Fans', 'array'), ('Status#Odd', 'boolean'),
  ('Gen', 'integer'), ('Gen2', 'integer');
create table "#Thermal.v1_7_3.Fan"(PropertyName text, PropertyType text);
insert into "#Thermal.v1_7_3.Fan" values('Enabled', 'boolean'), ('Gen', 'integer'),
  ('Name', 'string');
)sql";

constexpr const char* kFunctionsSql =
    "select json_bool('true'), convertStringToBytes('001122'), "
    "Convert_ReleaseDate('March 15, 2021'), convertTimeFormat('Mar 15 08:30:00 2025 GMT'), "
    "length(GetISODateTime()), LastSystemInventoryTime()";

// ---- The writer process -------------------------------------------------------------------

// One transaction moving the database from generation g - 1 to g.
bool writeGeneration(sqlite3* db, int g) {
    std::string sql = "begin immediate; update State set gen = " + std::to_string(g) +
                      ", gen2 = " + std::to_string(g) + "; delete from Fan;";
    for (int i = 0; i <= g % 3; ++i)
        sql += "insert into Fan values('Fan" + std::to_string(i) + "', " + std::to_string(g) + ");";
    sql += "commit;";
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK) return true;
    sqlite3_exec(db, "rollback", nullptr, nullptr, nullptr);
    return false;
}

struct Writer {
    pid_t pid = -1;
    int stopFd = -1;   // closing it stops the writer
    int resultFd = -1; // the writer's last generation arrives here
};

// Forks the writer; it commits generations 2, 3, ... until stopFd is closed.
Writer startWriter() {
    int stop[2], result[2];
    if (pipe(stop) != 0 || pipe(result) != 0) return {};
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        close(stop[1]);
        close(result[0]);
        sqlite3* db = nullptr;
        sqlite3_open_v2(kLiveDb.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_busy_timeout(db, 10000);
        // Readers can open the WAL database read-only once its shared-memory file exists.
        sqlite3_exec(db, "select count(*) from State", nullptr, nullptr, nullptr);
        int g = 1;
        ssize_t ready = write(result[1], &g, sizeof g);
        (void)ready;
        pollfd stopped{stop[0], POLLIN, 0};
        while (poll(&stopped, 1, 0) == 0) {
            if (writeGeneration(db, g + 1)) ++g;
            usleep(200);
        }
        sqlite3_close(db);
        ssize_t ignored = write(result[1], &g, sizeof g);
        (void)ignored;
        _exit(0);
    }
    close(stop[0]);
    close(result[1]);
    int ready = 0;
    if (read(result[0], &ready, sizeof ready) != sizeof ready) ADD_FAILURE() << "writer failed";
    return {pid, stop[1], result[0]};
}

int stopWriter(const Writer& writer) {
    close(writer.stopFd);
    int generation = -1;
    if (read(writer.resultFd, &generation, sizeof generation) != sizeof generation) generation = -1;
    close(writer.resultFd);
    int status = 0;
    waitpid(writer.pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? generation : -1;
}

// ---- The library's connections --------------------------------------------------------------

void layOutFiles() {
    removeTree(kDir);
    createDbFile(kLiveDb, "");
    {
        // The views call the SQL functions, so they are created where those exist.
        sqlite3* raw = nullptr;
        sqlite3_open(kLiveDb.c_str(), &raw);
        TestDb db(raw);
        registerSqlFunctions(db.get());
        exec(db.get(), kLiveSchema);
    }
    createDbFile(kDir + "/openapi.db",
                 "create table UriInfo(URI text, n_Segments integer, view_name text, CTE text, "
                 "privilege text, link text, allow_header text, CTE_length integer);"
                 "insert into UriInfo values('/redfish/v1/Chassis/%/Thermal', 5, 'ThermalView', "
                 "null, 'Login', null, 'GET', null);");
    createDbFile(kDir + "/hmc.db",
                 "create table HmcInfo(v integer); insert into HmcInfo values(3);");
    createDbFile(kDir + "/metadata.db", kMetadataSchema);
}

// Opens the main connection with the library's own flags and settings.
sqlite3* openMainConnection() {
    sqlite3_enable_shared_cache(1);
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open_v2(kLiveDb.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_SHAREDCACHE,
                              nullptr),
              SQLITE_OK);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    exec(db, "attach database '" + kDir + "/openapi.db' as openapidb");
    exec(db, "attach database '" + kDir + "/hmc.db' as hmcdb");
    registerSqlFunctions(db);
    return db;
}

// ---- The callers ----------------------------------------------------------------------------

struct Tally {
    std::atomic<long> engine{0}, uri{0}, functions{0};
    std::atomic<long> newerStates{0}; // how often a caller saw a newer generation than before
    std::mutex mutex;
    std::vector<std::string> failures;

    void fail(const std::string& what) {
        std::lock_guard<std::mutex> lock(mutex);
        if (failures.size() < 20) failures.push_back(what);
    }
};

// Member key of value, or null when value is no object (jsoncpp throws on that otherwise).
const Json::Value& member(const Json::Value& value, const char* key) {
    static const Json::Value none;
    return value.isObject() ? value[key] : none;
}

// The integer value, or -1 for anything else.
int intOf(const Json::Value& value) { return value.isInt() ? value.asInt() : -1; }

// One engine call: the resource and its fan array must come from one generation each, the fans
// no older than the resource, and nothing older than what this thread saw before.
void checkEngine(Tally& tally, int& lastGen) {
    Json::Value out;
    int rc = GetJsonDataFromSQLViewUsingQuery("select * from ThermalView", out, 0);
    const Json::Value& fans = member(out, "Fans");
    const Json::Value& count = member(out, "Fans@odata.count");
    const int g = intOf(member(out, "Gen"));
    const int fanGen = fans.isArray() && !fans.empty() ? intOf(member(fans[0], "Gen")) : -1;
    bool ok = rc == 0 && g > 0 && intOf(member(out, "Gen2")) == g && g >= lastGen && fanGen >= g &&
              member(member(out, "Status"), "Odd") == Json::Value(g % 2 == 1) &&
              fans.size() == static_cast<Json::ArrayIndex>(fanGen % 3 + 1) && count.isUInt() &&
              count.asUInt() == fans.size();
    for (Json::ArrayIndex i = 0; ok && i < fans.size(); ++i) {
        const Json::Value& fan = fans[i];
        ok = intOf(member(fan, "Gen")) == fanGen && member(fan, "Enabled") == Json::Value(true) &&
             member(fan, "Mac") == "a1:b2:c3" &&
             member(fan, "Released") == "2021-03-15T00:00:00Z" &&
             member(fan, "Seen") == "2025-3-15T08:30:00+00:00";
    }
    if (!ok) tally.fail("engine rc " + std::to_string(rc) + ": " + out.toStyledString());
    lastGen = std::max(lastGen, fanGen);
    ++tally.engine;
}

// The URI functions: lookup, the composed statement, a two-stage statement, the FROM search.
void checkUri(Tally& tally, int& lastGen) {
    std::string sql;
    int rc = GetViewNameFromopenApiDB("/redfish/v1/Chassis/1/Thermal/", sql);
    if (rc != 0 || sql != " select root from ThermalView where [@odata.id]=?")
        tally.fail("lookup rc " + std::to_string(rc) + ": " + sql);
    std::string body;
    rc = GetRequestedSchemaData(sql.c_str(), body, kUri);
    Json::Value root = rc == SQLITE_ROW ? parseJson(body) : Json::Value();
    const int g = intOf(member(root, "gen"));
    if (rc != SQLITE_ROW || g <= 0 || intOf(member(root, "gen2")) != g ||
        intOf(member(root, "fanGen")) != g || intOf(member(root, "fans")) != g % 3 + 1 ||
        g < lastGen)
        tally.fail("requested rc " + std::to_string(rc) + ": " + body);
    lastGen = std::max(lastGen, g);
    std::string query = "select sqltext from Queries where name = ?";
    std::string fans;
    char first[] = "fans", second[] = "x";
    rc = GetCustomCTEData(fans, query, first, second, nullptr);
    const size_t colon = fans.find(':');
    const int count = std::atoi(fans.c_str());
    const int fanGen = colon == std::string::npos ? -1 : std::atoi(fans.c_str() + colon + 1);
    if (rc != SQLITE_ROW || count != fanGen % 3 + 1 || fanGen < lastGen)
        tally.fail("two-stage rc " + std::to_string(rc) + ": " + fans);
    lastGen = std::max(lastGen, fanGen);
    if (GetPositionofFromCluase("select a from t") != 9) tally.fail("from position");
    tally.uri += 4;
}

bool isInventoryTime(const std::string& text) {
    return text == "UnKnown" || (text.size() == 25 && text.compare(14, 11, ".000000+000") == 0);
}

// The SQL functions through SQL on the shared connection.
void checkFunctions(Tally& tally, long iteration) {
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(dmdbhandle, kFunctionsSql, -1, &raw, nullptr);
    StmtPtr stmt(raw);
    if (rc == SQLITE_OK) rc = sqlite3_step(stmt.get());
    auto text = [&](int column) {
        const unsigned char* value = sqlite3_column_text(stmt.get(), column);
        return value ? std::string(reinterpret_cast<const char*>(value)) : std::string("<null>");
    };
    if (rc != SQLITE_ROW || text(0) != "true" || text(1) != "00:11:22" ||
        text(2) != "2021-03-15T00:00:00Z" || text(3) != "2025-3-15T08:30:00+00:00" ||
        text(4) != "25" || !isInventoryTime(text(5)))
        tally.fail("functions rc " + std::to_string(rc));
    ++tally.functions;
    if (iteration % 16 != 0) return;
    // The heater call goes out to the platform; fewer of them keep its call record small.
    std::string health = evalText(dmdbhandle, "select GetHeaterMgrValues(3)");
    if (health != "200") tally.fail("heater: " + health);
    ++tally.functions;
}

void runCaller(Tally& tally, const std::atomic<bool>& stop) {
    int lastGen = 0;
    for (long i = 0; !stop.load(); ++i) {
        const int before = lastGen;
        checkEngine(tally, lastGen);
        checkUri(tally, lastGen);
        checkFunctions(tally, i);
        if (lastGen > before) ++tally.newerStates;
    }
}

int stressSeconds() {
    const char* env = std::getenv("SQL2JSON_STRESS_SECONDS");
    int seconds = env != nullptr ? std::atoi(env) : 0;
    return seconds > 0 ? seconds : 10;
}

} // namespace

TEST(Concurrency, EightCallersSeeOnlyWriterStatesWhileAnotherProcessWrites) {
    layOutFiles();
    fakes::setHeaterProperty("Health", static_cast<uint8_t>(200));
    Writer writer = startWriter();
    ASSERT_GT(writer.pid, 0);
    sqlite3* main = openMainConnection();
    sqlite3* metadata = nullptr;
    sqlite3_open_v2((kDir + "/metadata.db").c_str(), &metadata, SQLITE_OPEN_READONLY, nullptr);
    auto handles = std::make_unique<HandleScope>(main, metadata);
    loadPropertyTypeMap();

    Tally tally;
    std::atomic<bool> stop{false};
    std::mutex doneMutex;
    std::condition_variable doneSignal;
    int done = 0;
    std::vector<std::thread> callers;
    for (int t = 0; t < kThreads; ++t)
        callers.emplace_back([&] {
            runCaller(tally, stop);
            std::lock_guard<std::mutex> lock(doneMutex);
            ++done;
            doneSignal.notify_one();
        });
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::seconds(stressSeconds());
    while (std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        fakes::clearLog(); // the fake logger keeps every message
    }
    stop = true;
    {
        // A caller stuck for a minute after the stop is a deadlock.
        std::unique_lock<std::mutex> lock(doneMutex);
        if (!doneSignal.wait_for(lock, std::chrono::seconds(60),
                                 [&] { return done == kThreads; })) {
            ADD_FAILURE() << "callers did not finish: deadlock";
            std::abort();
        }
    }
    for (std::thread& caller : callers)
        caller.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const int lastGeneration = stopWriter(writer);

    for (const std::string& failure : tally.failures)
        ADD_FAILURE() << failure;
    EXPECT_GT(lastGeneration, 1) << "the writer committed nothing";
    EXPECT_GT(tally.newerStates.load(), 0) << "the callers never saw the writer's changes";
    const long calls = tally.engine + tally.uri + tally.functions;
    std::printf("[ stress   ] %d threads, %.1f s: %ld calls (%.0f/s): engine %ld, uri %ld, "
                "sql functions %ld; writer reached generation %d, callers saw a newer one %ld "
                "times\n",
                kThreads, seconds, calls, static_cast<double>(calls) / seconds, tally.engine.load(),
                tally.uri.load(), tally.functions.load(), lastGeneration, tally.newerStates.load());
    RecordProperty("calls_per_second", static_cast<int>(static_cast<double>(calls) / seconds));

    handles.reset();
    EXPECT_EQ(sqlite3_close(main), SQLITE_OK);
    EXPECT_EQ(sqlite3_close(metadata), SQLITE_OK);
    removeTree(kDir);
}
