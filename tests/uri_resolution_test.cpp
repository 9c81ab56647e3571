// URI resolution: resource lookup, two-stage statements, FROM position, single-value statements.
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "internal.hpp"
#include "support/handle_scope.hpp"
#include "support/test_support.hpp"

using namespace testing_support;

namespace {

const std::string kTelemetryDb =
    std::string(SQL2JSON_TEST_ROOT) + "/var/run/telemetryservice/telemetry_timeseries_database.db";
const std::string kLockDb = std::string(SQL2JSON_TEST_ROOT) + "/uri_resolution_lock.db";

std::string uriInfoSql(const std::string& schema) {
    return "create table " + schema +
           "UriInfo(URI text, n_Segments integer, view_name text, "
           "CTE text, privilege text, link text, allow_header text, CTE_length integer);";
}
// Overlapping patterns; each exact row comes after a wildcard row of the same length.
const char* const kUriRowsSql =
    "insert into UriInfo(URI, n_Segments, view_name, CTE) values"
    "('/redfish/v1/Chassis', 3, 'ChassisCollection', NULL),"
    "('/redfish/v1/Chassis/%', 4, 'ChassisView', 'WITH a AS (SELECT 1)'),"
    "('/redfish/v1/Chassis/1', 4, 'ChassisOne', NULL),"
    "('/redfish/v1/Chassis/%/Power', 5, 'PowerView', NULL),"
    "('/redfish/v1/Systems/%', 4, 'SystemA', NULL),"
    "('/redfish/v1/Systems/_', 4, 'SystemB', NULL),"
    "('/redfish/v1/Managers', 3, NULL, 'WITH m AS (SELECT 2)');";
const char* const kItemsSql =
    "create table Items(id text, body text);"
    "insert into Items values('1', 'Body1'), ('2', NULL), ('3', 'Body3');"
    "create table Queries(name text, sqltext text);"
    "insert into Queries values('item', 'select body from Items where id = ?'),"
    "('nullq', NULL), ('bad', 'select nope from Missing where x = ?'),"
    "('noparam', 'select body from Items');"
    "create view ChassisView as select '{\"Id\":\"7\"}' as root, "
    "'/redfish/v1/Chassis/7' as \"@odata.id\";";

// A main database holding Items/Queries, with UriInfo in an attached "openapidb".
TestDb mainWithOpenApi() {
    TestDb db = memoryDb(kItemsSql);
    exec(db.get(), "attach database ':memory:' as openapidb;");
    exec(db.get(), uriInfoSql("openapidb.") + kUriRowsSql);
    return db;
}

std::string composed(const std::string& cte, const std::string& view) {
    return cte + " select root from " + view + " where [@odata.id]=?";
}

} // namespace

TEST(GetViewNameFromopenApiDB, MatchesLongestMostSpecificPatternWithSegmentCount) {
    TestDb db = mainWithOpenApi();
    HandleScope scope(db.get());
    const struct {
        const char* uri;
        std::string expected;
    } cases[] = {
        {"/redfish/v1/Chassis", composed("", "ChassisCollection")},
        {"/redfish/v1/Chassis/", composed("", "ChassisCollection")},
        {"/redfish/v1/Chassis//", composed("", "ChassisCollection")},
        {"/REDFISH/v1/chassis", composed("", "ChassisCollection")},
        {"/redfish/v1//Chassis", composed("", "")},
        {"/redfish/v1/Chassis/7", composed("WITH a AS (SELECT 1)", "ChassisView")},
        {"/redfish/v1/Chassis/1", composed("", "ChassisOne")},
        {"/redfish/v1/Chassis/1/Power", composed("", "PowerView")},
        {"/redfish/v1/Chassis/7/Thermal", composed("", "")},
        {"/redfish/v1/Systems/1", composed("", "SystemA")},
        {"/redfish/v1/Managers", composed("WITH m AS (SELECT 2)", "")},
    };
    for (const auto& c : cases) {
        std::string out;
        EXPECT_EQ(GetViewNameFromopenApiDB(c.uri, out), 0) << c.uri;
        EXPECT_EQ(out, c.expected) << c.uri;
    }
    std::string out = "prefix;";
    EXPECT_EQ(GetViewNameFromopenApiDB("/redfish/v1/Chassis/7", out), 0);
    EXPECT_EQ(out, "prefix;WITH a AS (SELECT 1) select root from ChassisView where [@odata.id]=?");

    // The composed statement runs as it stands.
    std::string body;
    EXPECT_EQ(GetRequestedSchemaData(out.c_str() + 7, body, "/redfish/v1/Chassis/7"), SQLITE_ROW);
    EXPECT_EQ(body, "{\"Id\":\"7\"}");
}

TEST(GetViewNameFromopenApiDB, RefusedOrFailedLookupLeavesOutputUntouched) {
    TestDb db = memoryDb("create table Other(x);");
    HandleScope scope(db.get());
    std::string out = "keep";
    fakes::clearLog();
    EXPECT_EQ(GetViewNameFromopenApiDB(nullptr, out), SQLITE_MISUSE);
    EXPECT_EQ(GetViewNameFromopenApiDB("/redfish/v1", out), SQLITE_ERROR);
    EXPECT_EQ(countLog(kLogFail, "[GetViewNameFromopenApiDB()]failed to prepare resource stmt"), 1);
    EXPECT_EQ(out, "keep");
    EXPECT_EQ(sqlite3_next_stmt(db.get(), nullptr), nullptr);
    HandleScope noConnection(nullptr);
    EXPECT_EQ(GetViewNameFromopenApiDB("/redfish/v1", out), SQLITE_MISUSE);
    EXPECT_EQ(out, "keep");
}

TEST(GetCustomCTEData, OutcomeTable) {
    TestDb db = memoryDb(kItemsSql);
    HandleScope scope(db.get());
    const std::string byName = "select sqltext from Queries where name = ?";
    const struct {
        std::string query;
        const char* first;
        const char* second;
        int rc;
        const char* out;
    } cases[] = {
        {byName, "item", "1", SQLITE_ROW, "Body1"},
        {byName, "item", "9", SQLITE_DONE, "keep"}, // second statement: no row
        {byName, "item", "2", SQLITE_ROW, "keep"},  // second statement: NULL value
        {byName, "none", "1", SQLITE_DONE, "keep"}, // first statement: no row
        {byName, "nullq", "1", SQLITE_ROW, "keep"}, // first statement: NULL text
        {byName, nullptr, "1", SQLITE_OK, "keep"},
        {byName, "", "1", SQLITE_OK, "keep"},
        {byName, "item", nullptr, SQLITE_OK, "keep"},
        {byName, "item", "", SQLITE_OK, "keep"},
        {byName, "bad", "1", SQLITE_ERROR, "keep"},     // second prepare fails
        {byName, "noparam", "1", SQLITE_RANGE, "keep"}, // second bind fails
        {"select sqltext from", "item", "1", SQLITE_ERROR, "keep"},
        {"select sqltext from Queries", "item", "1", SQLITE_RANGE, "keep"},
        {"  -- nothing", "item", "1", SQLITE_MISUSE, "keep"},
    };
    for (const auto& c : cases) {
        std::string out = "keep";
        std::string query = c.query;
        EXPECT_EQ(GetCustomCTEData(out, query, const_cast<char*>(c.first),
                                   const_cast<char*>(c.second), nullptr),
                  c.rc)
            << c.query << " / " << (c.first ? c.first : "NULL");
        EXPECT_EQ(out, c.out) << c.query << " / " << (c.first ? c.first : "NULL");
        EXPECT_EQ(sqlite3_next_stmt(db.get(), nullptr), nullptr);
    }
}

TEST(GetPositionofFromCluase, FindsFirstFromByteWise) {
    const struct {
        const char* text;
        int index;
    } cases[] = {
        {"select a from t", 9},
        {"SELECT A FROM T", 9},
        {"select DateFrom from t", 11},
        {"abc", -1},
        {"", -1},
        {"from", 0},
        {"select 1", -1},
        {"fRoM", 0},
        {"x \xC6\xD2\xCF\xCD", 2},
        {"\xE6\xF2\xEF\xED", 0},
        {"\xC6R\xEFm", 0},
        {"\x06\x12\x0F\x0D", -1},
        {"\x86ROM", -1},
        {"fro", -1},
        {nullptr, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetPositionofFromCluase(c.text), c.index) << (c.text ? c.text : "NULL");
}

TEST(GetRequestedSchemaData, RoutesOnUpperCaseJsonAndReadsFirstColumn) {
    createDbFile(kTelemetryDb, "create table Samples(id text, JSONBody text);"
                               "insert into Samples values('s1', '{\"t\":1}');");
    TestDb db = memoryDb(kItemsSql);
    HandleScope scope(db.get());
    const struct {
        const char* query;
        const char* value;
        int rc;
        const char* out;
    } cases[] = {
        {"select JSONBody from Samples where id = ?", "s1", SQLITE_ROW, "{\"t\":1}"},
        {"select json_object('a', body) from Items where id = ?", "1", SQLITE_ROW,
         "{\"a\":\"Body1\"}"},
        {"select body as JSONish from Items where id = ?", "1", SQLITE_ERROR, "keep"},
        {"select body from Items where id = ?", "", SQLITE_DONE, "keep"},
        {"select body from Items where id = ?", nullptr, SQLITE_DONE, "keep"},
        {"select body from Items where id = ?", "2", SQLITE_ROW, "keep"},
        {"select body from Items where body is not null order by id desc", nullptr, SQLITE_ROW,
         "Body3"},
        {"select body from Items", "1", SQLITE_RANGE, "keep"},
        {nullptr, "1", SQLITE_MISUSE, "keep"},
    };
    for (const auto& c : cases) {
        std::string out = "keep";
        EXPECT_EQ(GetRequestedSchemaData(c.query, out, c.value), c.rc) << c.query;
        EXPECT_EQ(out, c.out) << c.query;
    }
    removeTree(kTelemetryDb);
    std::string out = "keep";
    EXPECT_EQ(GetRequestedSchemaData("select JSONBody from Samples", out, nullptr),
              SQLITE_CANTOPEN);
    EXPECT_EQ(out, "keep");
    EXPECT_EQ(sqlite3_next_stmt(db.get(), nullptr), nullptr);
}

// Another connection holds an exclusive lock on the database file for ~200 ms; the main
// connection has no busy timeout, so only the bounded retry lets each call succeed.
TEST(UriResolutionBusyRetry, CallsSucceedOnceTheLockIsReleased) {
    createDbFile(kLockDb, kItemsSql + uriInfoSql("") + kUriRowsSql);
    sqlite3* raw = nullptr;
    sqlite3_open_v2(kLockDb.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    TestDb db(raw);
    sqlite3_open_v2(kLockDb.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    TestDb writer(raw);
    HandleScope scope(db.get());
    EXPECT_EQ(evalText(db.get(), "select count(*) from sqlite_master"), "4"); // schema loaded

    auto underLock = [&](const std::function<int()>& call) {
        exec(writer.get(), "begin exclusive");
        std::thread release([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            exec(writer.get(), "commit");
        });
        fakes::clearLog();
        const auto start = std::chrono::steady_clock::now();
        int rc = call();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        release.join();
        return rc;
    };
    std::string out;
    EXPECT_EQ(underLock([&] { return GetViewNameFromopenApiDB("/redfish/v1/Chassis/1", out); }), 0);
    EXPECT_EQ(out, composed("", "ChassisOne"));
    EXPECT_EQ(countLog(kLogTrace, "[GetViewNameFromopenApiDB()]openapi DB is busy:5"), 1);

    std::string query = "select sqltext from Queries where name = ?";
    char item[] = "item", one[] = "1";
    EXPECT_EQ(underLock([&] { return GetCustomCTEData(out, query, item, one, nullptr); }),
              SQLITE_ROW);
    EXPECT_EQ(out, "Body1");
    EXPECT_EQ(countLog(kLogTrace, "[GetCustomCTEData()]stepstatus: 5"), 1);

    out.clear();
    EXPECT_EQ(underLock([&] {
                  return GetRequestedSchemaData("select body from Items where id = ?", out, "3");
              }),
              SQLITE_ROW);
    EXPECT_EQ(out, "Body3");
    EXPECT_EQ(countLog(kLogTrace, "[GetRequestedSchemaData()]sql2json--stepstatus: 5"), 1);
    EXPECT_EQ(sqlite3_next_stmt(db.get(), nullptr), nullptr);
}
