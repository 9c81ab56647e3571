// Eight threads call the engine, the URI functions and the SQL functions on the connections
// the library opens, while another process keeps committing to the live-object database (WAL).
// The writer keeps State.gen = State.gen2 = g and g % 3 + 1 Fan rows of gen g in every
// transaction: each result must show one committed state, never older than one seen before.
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>

#include "support.hpp"

namespace {

const std::string kRoot = SQL2JSON_TEST_ROOT;
const std::string kLiveDb = kRoot + "/var/run/unifieddatabase/DMLiveObjectDatabase.db";
const char* const kLiveSql = R"sql(pragma journal_mode = wal;
create table State(gen, gen2); insert into State values (1, 1);
create table Fan(name, gen); insert into Fan values ('Fan0', 1), ('Fan1', 1);
create table Queries(name, sqltext);
insert into Queries values ('fans', 'select count(*) || '':'' || max(gen) from Fan where ?');
create view FanView as select '#Thermal.v1_7_3.Fan' as [@odata.type], name as Name, gen as Gen,
  json_bool('true') || convertStringToBytes('a1b2') || Convert_ReleaseDate('May 1, 2021') ||
  convertTimeFormat('Mar 15 08:30:00 2025') || length(GetISODateTime()) ||
  GetHeaterMgrValues(3) || (length(LastSystemInventoryTime()) > 0) as F from Fan order by name;
create view ThermalView as select '#Thermal.v1_7_3.Thermal' as [@odata.type], gen as Gen,
  gen2 as Gen2, 'select * from FanView' as Fans, json_bool(gen % 2) as [Status#Odd] from State;)sql";
const char* const kMetadataSql = R"sql(
create table [#Thermal.v1_7_3.Thermal](PropertyName, PropertyType);
insert into [#Thermal.v1_7_3.Thermal] values ('Fans', 'array'), ('Status#Odd', 'boolean');
create table [#Thermal.v1_7_3.Fan](PropertyName, PropertyType);)sql";

struct Tally {
    std::atomic<long> calls{0}, newer{0}; // calls made; how often a newer state was seen
    std::mutex mutex;
    std::vector<std::string> failures;
    void fail(const std::string& what) {
        std::lock_guard<std::mutex> lock(mutex);
        if (failures.size() < 10) failures.push_back(what);
    }
};

// One round of calls; last is the newest generation this thread has seen.
void callRound(Tally& tally, int& last) {
    Json::Value out;
    int rc = GetJsonDataFromSQLViewUsingQuery("select * from ThermalView", out, 0);
    const int g = out["Gen"].asInt(), fanGen = out["Fans"][0]["Gen"].asInt();
    bool ok = rc == 0 && g >= last && out["Gen2"] == g && fanGen >= g &&
              out["Fans"].size() == fanGen % 3 + 1u &&
              out["Fans@odata.count"] == out["Fans"].size() && out["Status"]["Odd"] == (g % 2 == 1);
    for (const Json::Value& fan : out["Fans"])
        ok = ok && fan["Gen"] == fanGen &&
             fan["F"] == "truea1:b22021-05-1T00:00:00Z2025-3-15T08:30:00+00:00252001";
    if (!ok) tally.fail("engine: " + out.toStyledString());
    tally.newer += fanGen > last;
    last = std::max(last, fanGen);
    std::string sql, body, counts, query = "select sqltext from Queries where name = ?";
    rc = GetViewNameFromopenApiDB("/redfish/v1/Items/7/", sql);
    if (rc != 0 || GetRequestedSchemaData(sql.c_str(), body, "/redfish/v1/Items/7") != SQLITE_ROW ||
        body != "{\"a\":1}")
        tally.fail("lookup: " + sql + body);
    body.clear();
    rc = GetRequestedSchemaData("select gen || ':' || gen2 || ':' || (select count(*) || ':' || "
                                "max(gen) from Fan) from State",
                                body, nullptr);
    const int h = std::atoi(body.c_str());
    const std::string gen = std::to_string(h);
    if (rc != SQLITE_ROW || h < last ||
        body != gen + ":" + gen + ":" + std::to_string(h % 3 + 1) + ":" + gen)
        tally.fail("requested: " + body);
    last = std::max(last, h);
    char first[] = "fans", second[] = "1";
    rc = GetCustomCTEData(counts, query, first, second, nullptr);
    const int n = std::atoi(counts.c_str()), f = std::atoi(counts.c_str() + counts.find(':') + 1);
    if (rc != SQLITE_ROW || f < last || n != f % 3 + 1) tally.fail("two-stage: " + counts);
    last = std::max(last, f);
    tally.calls += 5;
}

} // namespace

TEST(Concurrency, EightCallersSeeOnlyCommittedStatesWhileAnotherProcessWrites) {
    layOutDatabases(kRoot, "", kLiveSql);
    openDb(kMetadataSql, kRoot + "/etc/unifieddatabase/RedfishSchemaMetaData.db");
    gHeater["Health"] = uint8_t{200};
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t writer = fork();
    if (writer == 0) { // commits generation after generation for five seconds
        DbPtr db = openDb();
        sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);
        // Read-only connections can read the WAL database once its index file exists.
        exec(db.get(), "attach '" + kLiveDb + "' as live; select count(*) from live.State");
        const char go = 1;
        EXPECT_EQ(write(ready[1], &go, 1), 1);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (int g = 2; std::chrono::steady_clock::now() < end; ++g) {
            std::string sql = "begin immediate; update live.State set gen = " + std::to_string(g) +
                              ", gen2 = " + std::to_string(g) + "; delete from live.Fan;";
            for (int i = 0; i <= g % 3; ++i)
                sql += "insert into live.Fan values ('Fan" + std::to_string(i) + "', " +
                       std::to_string(g) + ");";
            exec(db.get(), sql + "commit;");
            usleep(200);
        }
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    char go = 0;
    ASSERT_EQ(read(ready[0], &go, 1), 1);
    OpenDatabaseConnection();
    OpenMetadataDatabaseConnection();
    loadPropertyTypeMap();
    Tally tally;
    std::atomic<bool> stop{false};
    std::vector<std::thread> callers;
    for (int t = 0; t < 8; ++t)
        callers.emplace_back([&] {
            for (int last = 0; !stop;)
                callRound(tally, last);
        });
    int status = -1;
    while (waitpid(writer, &status, WNOHANG) == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        clearFakes(); // the fake logger keeps every message
    }
    stop = true;
    for (std::thread& caller : callers)
        caller.join();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (const std::string& failure : tally.failures)
        ADD_FAILURE() << failure;
    EXPECT_GT(tally.newer.load(), 0) << "the callers never saw the writer's changes";
    std::printf("[ stress   ] 8 threads: %ld calls\n", tally.calls.load());
    CloseMetadataDatabaseConnection();
    CloseDatabaseConnection();
}
