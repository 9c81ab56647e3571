// Allocation failures inside SQLite: a forked child re-initialises SQLite over an allocator that
// refuses the Nth request (and, in a second pass, every request from the Nth on), for N = 1, 2,
// 3, ... until a run needs fewer than N allocations. Each run must end in its full result or in
// the failure the behaviour gives, finalize every statement and give back all SQLite memory;
// ASan's leak check covers the rest when the child exits.
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "internal.hpp"
#include "support/test_support.hpp"

using namespace testing_support;

namespace {

// ---- An allocator that fails on request ------------------------------------------------------

long gCount = 0;       // requests since the allocator was armed
long gFailAt = 0;      // the request to refuse (0: none)
bool gPersist = false; // refuse every request from gFailAt on
bool gFailed = false;  // a request was refused during this run

bool refuseThisOne() {
    if (gFailAt == 0) return false;
    ++gCount;
    const bool refuse = gPersist ? gCount >= gFailAt : gCount == gFailAt;
    gFailed = gFailed || refuse;
    return refuse;
}

// Blocks carry their size in front, as SQLite's own allocator does.
void* withSize(void* raw, int size) {
    if (raw == nullptr) return nullptr;
    *static_cast<sqlite3_int64*>(raw) = size;
    return static_cast<sqlite3_int64*>(raw) + 1;
}
void* rawBlock(void* p) { return static_cast<sqlite3_int64*>(p) - 1; }
void* failingMalloc(int size) {
    if (refuseThisOne()) return nullptr;
    return withSize(std::malloc(sizeof(sqlite3_int64) + static_cast<size_t>(size)), size);
}
void failingFree(void* p) { std::free(p ? rawBlock(p) : nullptr); }
void* failingRealloc(void* p, int size) {
    if (refuseThisOne()) return nullptr;
    return withSize(std::realloc(rawBlock(p), sizeof(sqlite3_int64) + static_cast<size_t>(size)),
                    size);
}
int blockSize(void* p) {
    return p ? static_cast<int>(*static_cast<sqlite3_int64*>(rawBlock(p))) : 0;
}
int roundUp(int size) { return (size + 7) & ~7; }
int initAllocator(void*) { return SQLITE_OK; }
void shutdownAllocator(void*) {}

bool installFailingAllocator() {
    static const sqlite3_mem_methods methods = {failingMalloc,     failingFree, failingRealloc,
                                                blockSize,         roundUp,     initAllocator,
                                                shutdownAllocator, nullptr};
    sqlite3_shutdown();
    return sqlite3_config(SQLITE_CONFIG_MALLOC, &methods) == SQLITE_OK &&
           sqlite3_initialize() == SQLITE_OK;
}

// ---- The databases ---------------------------------------------------------------------------

constexpr const char* kMainSchema = R"sql(
create table Fan(name text);
insert into Fan values('Fan0'), ('Fan1');
create table Queries(name text, sqltext text);
insert into Queries values('fans', 'select group_concat(name) from Fan where ? is not null');
create view FanView as select '#Thermal.v1_7_3.Fan' as "@odata.type", name as Name,
  json_bool('true') as Enabled from Fan order by name;
create view ThermalView as select '#Thermal.v1_7_3.Thermal' as "@odata.type",
  '/redfish/v1/Chassis/1/Thermal' as "@odata.id", 'select * from FanView' as Fans,
  'true' as "Status#Odd", convertStringToBytes('0011') as Mac, 1 as Extra,
  json_object('fans', 2) as root;
create table UriInfo(URI text, n_Segments integer, view_name text, CTE text, privilege text,
                     link text, allow_header text, CTE_length integer);
insert into UriInfo values('/redfish/v1/Chassis/%/Thermal', 5, 'ThermalView', null, null, null,
                           null, null);
)sql";

constexpr const char* kMetadataSchema = R"sql(
create table "#Thermal.v1_7_3.Thermal"(PropertyName text, PropertyType text);
insert into "#Thermal.v1_7_3.Thermal" values('Fans', 'array'), ('Status#Odd', 'boolean'),
  ('Extra', 'additional');
create table "#Thermal.v1_7_3.Fan"(PropertyName text, PropertyType text);
insert into "#Thermal.v1_7_3.Fan" values('Enabled', 'boolean'), ('Name', 'string');
)sql";

const char* const kResource = R"json({
  "@odata.type": "#Thermal.v1_7_3.Thermal", "@odata.id": "/redfish/v1/Chassis/1/Thermal",
  "Fans": [{"@odata.type": "#Thermal.v1_7_3.Fan", "Enabled": true, "Name": "Fan0"},
           {"@odata.type": "#Thermal.v1_7_3.Fan", "Enabled": true, "Name": "Fan1"}],
  "Status": {"Odd": true}, "Mac": "00:11", "root": "{\"fans\":2}"})json";

// The whole formatted resource; the count beside an array is an unsigned JSON integer.
Json::Value expectedResource() {
    Json::Value resource = parseJson(kResource);
    resource["Fans@odata.count"] = Json::UInt(2);
    return resource;
}

// Opens both databases in memory, builds them (allocator not armed) and sets the handles.
bool openDatabases() {
    sqlite3* main = nullptr;
    sqlite3* metadata = nullptr;
    if (sqlite3_open(":memory:", &main) != SQLITE_OK ||
        sqlite3_open(":memory:", &metadata) != SQLITE_OK)
        return false;
    registerSqlFunctions(main);
    dmdbhandle = main;
    metadatadbhandle = metadata;
    return sqlite3_exec(main, kMainSchema, nullptr, nullptr, nullptr) == SQLITE_OK &&
           sqlite3_exec(metadata, kMetadataSchema, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Closes both; false when a statement was left unfinalized.
bool closeDatabases() {
    bool clean = sqlite3_next_stmt(dmdbhandle, nullptr) == nullptr &&
                 sqlite3_next_stmt(metadatadbhandle, nullptr) == nullptr;
    clean = sqlite3_close(dmdbhandle) == SQLITE_OK && clean;
    clean = sqlite3_close(metadatadbhandle) == SQLITE_OK && clean;
    dmdbhandle = metadatadbhandle = nullptr;
    return clean;
}

// ---- Scenarios: each returns "" for an allowed outcome, else what went wrong --------------

constexpr const char* kNoMemory = "failed to allocate memory";

bool hasFailureLog() { return !messages(fakes::logRecords(), kLogFail).empty(); }

// One SQL function call: its value (check), or SQLITE_NOMEM from prepare or step, or the
// function's own "failed to allocate memory" error, or NULL where the function gives NULL.
std::function<std::string()> sqlCall(const std::string& sql,
                                     const std::function<bool(const std::string&)>& check,
                                     bool nullAllowed = false) {
    return [=] {
        sqlite3_stmt* raw = nullptr;
        int rc = sqlite3_prepare_v2(dmdbhandle, sql.c_str(), -1, &raw, nullptr);
        StmtPtr stmt(raw);
        if (rc == SQLITE_NOMEM) return std::string();
        if (rc != SQLITE_OK) return "prepare " + std::to_string(rc);
        rc = sqlite3_step(stmt.get());
        const std::string error = sqlite3_errmsg(dmdbhandle);
        if (rc == SQLITE_NOMEM || (rc == SQLITE_ERROR && error == kNoMemory)) return std::string();
        if (rc != SQLITE_ROW) return "step " + std::to_string(rc) + " " + error;
        const unsigned char* text = sqlite3_column_text(stmt.get(), 0);
        if (text == nullptr) {
            const bool ok = (nullAllowed && sqlite3_column_type(stmt.get(), 0) == SQLITE_NULL) ||
                            sqlite3_errcode(dmdbhandle) == SQLITE_NOMEM;
            return ok ? std::string() : std::string("unexpected NULL");
        }
        const std::string value = reinterpret_cast<const char*>(text);
        return check(value) ? std::string() : "value " + value;
    };
}

std::function<bool(const std::string&)> equals(const std::string& expected) {
    return [expected](const std::string& value) { return value == expected; };
}

// The formatted query: the whole resource, or a failure code, or result 0 with a logged failure
// (a sub-query that could not run).
std::string formattedQuery() {
    Json::Value out;
    const int rc = GetJsonDataFromSQLViewUsingQuery("select * from ThermalView", out, 0);
    if (rc == 0 && out == expectedResource()) return std::string();
    if ((rc == SQLITE_NOMEM || rc == SQLITE_ERROR || rc == 0) && hasFailureLog())
        return std::string();
    return "rc " + std::to_string(rc) + ": " + out.toStyledString();
}

// Lookup, then the composed statement: the full result or SQLITE_NOMEM. A lookup whose step
// fails logs that and composes the statement without a view name (result 0), as for no match.
std::string uriCalls() {
    std::string sql;
    int rc = GetViewNameFromopenApiDB("/redfish/v1/Chassis/1/Thermal", sql);
    if (rc == SQLITE_NOMEM) return std::string();
    if (rc == 0 && sql == " select root from  where [@odata.id]=?" && hasFailureLog())
        return std::string();
    if (rc != 0 || sql != " select root from ThermalView where [@odata.id]=?")
        return "lookup " + std::to_string(rc) + ": " + sql;
    std::string body;
    rc = GetRequestedSchemaData(sql.c_str(), body, "/redfish/v1/Chassis/1/Thermal");
    // The view's functions report their own allocation failures as SQL errors.
    if (rc == SQLITE_NOMEM || (rc == SQLITE_ROW && body == "{\"fans\":2}") ||
        (rc == SQLITE_ERROR && std::strcmp(sqlite3_errmsg(dmdbhandle), kNoMemory) == 0))
        return std::string();
    return "requested " + std::to_string(rc) + ": " + body;
}

// The two-stage statement: its result or SQLITE_NOMEM from one of the stages.
std::string twoStageCall() {
    std::string out, query = "select sqltext from Queries where name = ?";
    char first[] = "fans", second[] = "x";
    const int rc = GetCustomCTEData(out, query, first, second, nullptr);
    if ((rc == SQLITE_ROW && out == "Fan0,Fan1") || (rc == SQLITE_NOMEM && out.empty()))
        return std::string();
    return "two-stage " + std::to_string(rc) + ": " + out;
}

// The property-type map: both types, or a type missing after its logged failure.
std::string propertyMapLoad() {
    loadPropertyTypeMap();
    const Json::Value& map = propertyTypeMap();
    const bool complete = map.isObject() && map.size() == 2 &&
                          map["#Thermal.v1_7_3.Thermal"].size() == 3 &&
                          map["#Thermal.v1_7_3.Fan"].size() == 2;
    if (complete || hasFailureLog()) return std::string();
    return "map " + map.toStyledString();
}

struct Scenario {
    const char* name;
    std::function<std::string()> run;
};

std::vector<Scenario> scenarios() {
    auto isIsoTime = [](const std::string& v) { return v.size() == 25 && v[10] == 'T'; };
    auto isInventory = [](const std::string& v) {
        return v == "UnKnown" || (v.size() == 25 && v.compare(14, 11, ".000000+000") == 0);
    };
    return {
        {"json_bool",
         sqlCall("select json_object('a', json_bool('true'))", equals("{\"a\":true}"))},
        {"GetISODateTime", sqlCall("select GetISODateTime()", isIsoTime, true)},
        {"LastSystemInventoryTime", sqlCall("select LastSystemInventoryTime()", isInventory, true)},
        {"convertTimeFormat", sqlCall("select convertTimeFormat('Mar 15 08:30:00 2025 GMT')",
                                      equals("2025-3-15T08:30:00+00:00"))},
        {"convertStringToBytes",
         sqlCall("select convertStringToBytes('001122aabbcc')", equals("00:11:22:aa:bb:cc"))},
        {"GetHeaterMgrValues", sqlCall("select GetHeaterMgrValues(3)", equals("200"))},
        {"Convert_ReleaseDate",
         sqlCall("select Convert_ReleaseDate('March 15, 2021')", equals("2021-03-15T00:00:00Z"))},
        {"formatted query", formattedQuery},
        {"URI lookup and statement", uriCalls},
        {"two-stage statement", twoStageCall},
        {"property-type map", propertyMapLoad},
    };
}

// Runs scenario once with the Nth request refused; reports a bad outcome or lost memory.
// Returns false once the run needed fewer than n requests.
bool runWithFailure(const Scenario& scenario, long n, bool persist, std::string& problem) {
    const sqlite3_int64 before = sqlite3_memory_used();
    if (!openDatabases()) {
        problem = "setup failed";
        return false;
    }
    if (std::strcmp(scenario.name, "property-type map") != 0) loadPropertyTypeMap();
    fakes::clearLog();
    gCount = 0;
    gFailed = false;
    gPersist = persist;
    gFailAt = n;
    problem = scenario.run();
    gFailAt = 0;
    if (!closeDatabases()) problem += " statement left open";
    if (sqlite3_memory_used() != before)
        problem += " SQLite memory not given back: " +
                   std::to_string(static_cast<long long>(sqlite3_memory_used() - before));
    return gFailed;
}

} // namespace

TEST(AllocationFailure, EveryRefusedRequestEndsInResultOrReportedFailure) {
    const std::vector<Scenario> all = scenarios();
    ChildRun run = runInChild([&] {
        if (!installFailingAllocator()) return 2;
        fakes::setHeaterProperty("Health", static_cast<uint8_t>(200));
        std::string problem;
        runWithFailure(all.front(), 0, false, problem); // SQLite's one-time allocations
        for (const Scenario& scenario : all) {
            long points = 0, bad = 0;
            for (bool persist : {false, true}) {
                for (long n = 1; n < 100000; ++n) {
                    ++points;
                    const bool reached = runWithFailure(scenario, n, persist, problem);
                    if (!problem.empty() && bad++ < 3)
                        report(std::string(scenario.name) + " fails at " + std::to_string(n) +
                                   (persist ? " on" : ""),
                               problem);
                    if (!reached) break;
                }
            }
            report(std::string("points ") + scenario.name, std::to_string(points));
            report(std::string("bad ") + scenario.name, std::to_string(bad));
        }
        return 0;
    });
    ASSERT_TRUE(run.exited) << "the child crashed";
    ASSERT_EQ(run.status, 0);
    long total = 0;
    for (const Scenario& scenario : all) {
        const std::string points = run.reports[std::string("points ") + scenario.name];
        EXPECT_GT(std::atol(points.c_str()), 2) << scenario.name;
        EXPECT_EQ(run.reports[std::string("bad ") + scenario.name], "0") << scenario.name;
        total += std::atol(points.c_str());
        std::printf("[ alloc    ] %s: %s failure points\n", scenario.name, points.c_str());
    }
    for (const auto& [key, value] : run.reports)
        if (key.find(" fails at ") != std::string::npos) ADD_FAILURE() << key << ": " << value;
    std::printf("[ alloc    ] %ld failure points in all\n", total);
}
