// Allocation failures inside SQLite: a child re-initialises SQLite over an allocator that
// refuses the Nth request (in a second pass every request from the Nth on), for N = 1, 2, ...
// until a run needs fewer. Every run ends in its full result or in the failure the behaviour
// gives, finalizes its statements and gives back all SQLite memory; ASan's leak check covers
// the rest when the child exits.
#include <cstdlib>
#include <cstring>

#include "support.hpp"

namespace {

long gCount = 0, gFailAt = 0; // requests since armed; the one to refuse (0: none)
bool gPersist = false, gFailed = false;

bool refuse() {
    const bool refused = gFailAt > 0 && (gPersist ? ++gCount >= gFailAt : ++gCount == gFailAt);
    gFailed = gFailed || refused;
    return refused;
}
// Blocks carry their size in front, as SQLite's own allocator does.
void* sized(void* raw, int size) {
    if (raw != nullptr) *static_cast<sqlite3_int64*>(raw) = size;
    return raw ? static_cast<sqlite3_int64*>(raw) + 1 : nullptr;
}
sqlite3_int64* head(void* p) { return static_cast<sqlite3_int64*>(p) - 1; }
void* failingMalloc(int n) { return refuse() ? nullptr : sized(std::malloc(n + 8u), n); }
void failingFree(void* p) { std::free(p ? head(p) : nullptr); }
void* failingRealloc(void* p, int n) {
    return refuse() ? nullptr : sized(std::realloc(head(p), n + 8u), n);
}
int blockSize(void* p) { return p ? static_cast<int>(*head(p)) : 0; }
int roundUp(int n) { return (n + 7) & ~7; }
int noInit(void*) { return SQLITE_OK; }
void noShutdown(void*) {}

const char* const kMainSql = R"sql(
create table Fan(name); insert into Fan values ('Fan0'), ('Fan1');
create table Queries(name, sqltext);
insert into Queries values ('fans', 'select group_concat(name) from Fan where ? is not null');
create view FanView as select '#Thermal.v1_7_3.Fan' as [@odata.type], name as Name,
  json_bool('true') as Enabled from Fan order by name;
create view ThermalView as select '#Thermal.v1_7_3.Thermal' as [@odata.type],
  '/redfish/v1/Chassis/1/Thermal' as [@odata.id], 'select * from FanView' as Fans,
  'true' as [Status#Odd], 1 as Extra, json_object('fans', 2) as root;
attach ':memory:' as openapidb;)sql";
const char* const kMetadataSql = R"sql(
create table [#Thermal.v1_7_3.Thermal](PropertyName, PropertyType);
insert into [#Thermal.v1_7_3.Thermal] values ('Fans', 'array'), ('Status#Odd', 'boolean'),
  ('Extra', 'additional');
create table [#Thermal.v1_7_3.Fan](PropertyName, PropertyType);
insert into [#Thermal.v1_7_3.Fan] values ('Enabled', 'boolean'), ('Name', 'string');)sql";
const char* const kUri = "/redfish/v1/Chassis/1/Thermal";

bool failureLogged() {
    for (const LogRecord& record : logRecords())
        if (record.level == 2) return true;
    return false;
}
bool noMemoryError() {
    return std::strcmp(sqlite3_errmsg(dmdbhandle), "failed to allocate memory") == 0;
}

// One SQL function call: its value ("*": any text), SQLITE_NOMEM, the function's own
// allocation error, or NULL where the function gives NULL.
bool sqlCall(const char* sql, const char* expected, bool nullAllowed = false) {
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(dmdbhandle, sql, -1, &raw, nullptr);
    StmtPtr stmt(raw);
    if (rc == SQLITE_OK) rc = sqlite3_step(raw);
    if (rc == SQLITE_NOMEM || (rc == SQLITE_ERROR && noMemoryError())) return true;
    const unsigned char* text = rc == SQLITE_ROW ? sqlite3_column_text(raw, 0) : nullptr;
    if (text != nullptr)
        return *expected == '*' || std::strcmp(expected, reinterpret_cast<const char*>(text)) == 0;
    return rc == SQLITE_ROW && ((nullAllowed && sqlite3_column_type(raw, 0) == SQLITE_NULL) ||
                                sqlite3_errcode(dmdbhandle) == SQLITE_NOMEM);
}

// A formatted query: the whole resource, or a failure code (or 0 when a sub-query failed)
// with the failure logged.
bool formattedQuery() {
    Json::Value out;
    const int rc = GetJsonDataFromSQLViewUsingQuery("select * from ThermalView", out, 0);
    const char* whole =
        R"({"@odata.id":"/redfish/v1/Chassis/1/Thermal","@odata.type":"#Thermal.v1_7_3.Thermal","Fans":[{"@odata.type":"#Thermal.v1_7_3.Fan","Enabled":true,"Name":"Fan0"},{"@odata.type":"#Thermal.v1_7_3.Fan","Enabled":true,"Name":"Fan1"}],"Fans@odata.count":2,"Status":{"Odd":true},"root":"{\"fans\":2}"})";
    return (rc == 0 && compact(out) == whole) ||
           ((rc == 0 || rc == SQLITE_NOMEM || rc == SQLITE_ERROR) && failureLogged());
}

// Lookup and the composed statement. A lookup whose step fails logs it and composes the
// statement without a view, as when nothing matches.
bool uriCalls() {
    std::string sql, body;
    int rc = GetViewNameFromopenApiDB(kUri, sql);
    if (rc == SQLITE_NOMEM ||
        (rc == 0 && sql == " select root from  where [@odata.id]=?" && failureLogged()))
        return true;
    if (rc != 0 || sql != " select root from ThermalView where [@odata.id]=?") return false;
    rc = GetRequestedSchemaData(sql.c_str(), body, kUri);
    return rc == SQLITE_NOMEM || (rc == SQLITE_ROW && body == "{\"fans\":2}") ||
           (rc == SQLITE_ERROR && noMemoryError());
}

bool twoStageCall() {
    std::string out, query = "select sqltext from Queries where name = ?";
    char first[] = "fans", second[] = "x";
    const int rc = GetCustomCTEData(out, query, first, second, nullptr);
    return (rc == SQLITE_ROW && out == "Fan0,Fan1") || (rc == SQLITE_NOMEM && out.empty());
}

bool propertyMapLoad() {
    loadPropertyTypeMap();
    const Json::Value& map = propertyTypeMap();
    return (map.size() == 2 && map["#Thermal.v1_7_3.Thermal"].size() == 3 &&
            map["#Thermal.v1_7_3.Fan"].size() == 2) ||
           failureLogged();
}

const std::pair<const char*, std::function<bool()>> kScenarios[] = {
    {"json_bool",
     [] { return sqlCall("select json_object('a', json_bool('true'))", "{\"a\":true}"); }},
    {"json_bool(NULL)", [] { return sqlCall("select json_bool(NULL)", "false"); }},
    {"GetISODateTime", [] { return sqlCall("select GetISODateTime()", "*", true); }},
    {"LastSystemInventoryTime",
     [] { return sqlCall("select LastSystemInventoryTime()", "*", true); }},
    {"convertTimeFormat",
     [] {
         return sqlCall("select convertTimeFormat('Mar 15 08:30:00 2025 GMT')",
                        "2025-3-15T08:30:00+00:00");
     }},
    {"convertStringToBytes",
     [] { return sqlCall("select convertStringToBytes('001122aabbcc')", "00:11:22:aa:bb:cc"); }},
    {"GetHeaterMgrValues", [] { return sqlCall("select GetHeaterMgrValues(3)", "200"); }},
    {"Convert_ReleaseDate",
     [] {
         return sqlCall("select Convert_ReleaseDate('March 15, 2021')", "2021-03-15T00:00:00Z");
     }},
    {"formatted query", formattedQuery},
    {"lookup and statement", uriCalls},
    {"two-stage statement", twoStageCall},
    {"property-type map", propertyMapLoad}};

// Runs one scenario with request n refused (none for 0). Returns whether a request was refused.
bool runOnce(const std::pair<const char*, std::function<bool()>>& scenario, long n, bool persist) {
    const sqlite3_int64 before = sqlite3_memory_used();
    {
        DbPtr main = openDb(kMainSql), metadata = openDb(kMetadataSql);
        registerSqlFunctions(main.get());
        exec(main.get(), "create table openapidb." + kUriInfo +
                             ";insert into openapidb.UriInfo(URI, n_Segments, view_name) values "
                             "('/redfish/v1/Chassis/%/Thermal', 5, 'ThermalView')");
        Handles handles(main.get(), metadata.get());
        loadPropertyTypeMap();
        clearFakes();
        gCount = 0, gFailed = false, gPersist = persist, gFailAt = n;
        const bool allowed = scenario.second();
        gFailAt = 0;
        EXPECT_TRUE(allowed) << scenario.first << " with request " << n << " refused";
        EXPECT_EQ(sqlite3_next_stmt(main.get(), nullptr), nullptr) << scenario.first << " " << n;
    }
    EXPECT_EQ(sqlite3_memory_used(), before) << scenario.first << " " << n;
    return gFailed;
}

} // namespace

TEST(AllocationFailure, EveryRefusedRequestEndsInResultOrReportedFailure) {
    EXPECT_EQ(inChild([] {
                  static const sqlite3_mem_methods methods = {
                      failingMalloc, failingFree, failingRealloc, blockSize,
                      roundUp,       noInit,      noShutdown,     nullptr};
                  sqlite3_shutdown();
                  EXPECT_EQ(sqlite3_config(SQLITE_CONFIG_MALLOC, &methods), SQLITE_OK);
                  gHeater["Health"] = uint8_t{200};
                  runOnce(kScenarios[0], 0, false); // SQLite's one-time allocations
                  for (const auto& scenario : kScenarios) {
                      long points = 0;
                      for (bool persist : {false, true})
                          for (long n = 1;
                               runOnce(scenario, n, persist) && !::testing::Test::HasFailure(); ++n)
                              ++points;
                      EXPECT_GT(points, 2) << scenario.first;
                  }
                  return 0;
              }),
              0);
}
