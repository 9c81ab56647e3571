// URI resolution: resource lookup, two-stage statements, FROM position, single-value statements.
#include <thread>

#include "support.hpp"

namespace {

// Overlapping patterns; each exact row comes after a wildcard row of the same length.
const std::string kUriRows =
    kUriInfo +
    "; insert into UriInfo(URI, n_Segments, view_name, CTE) values ('/redfish/v1/C/%', 4,"
    " 'ItemView', 'WITH a AS (SELECT 1)'), ('/redfish/v1/C/1', 4, 'One', NULL),"
    " ('/redfish/v1/S/%', 4, 'SysA', NULL), ('/redfish/v1/S/_', 4, 'SysB', NULL),"
    " ('/redfish/v1/M', 3, NULL, 'WITH m AS (SELECT 2)');";

std::string composed(const std::string& cte, const std::string& view) {
    return cte + " select root from " + view + " where [@odata.id]=?";
}

} // namespace

// The longest pattern wins, then the one with fewer wildcards, then the first row; a trailing
// '/' and letter case are ignored, and the count of '/' must match. The output is appended to.
TEST(GetViewNameFromopenApiDB, AppendsTheStatementOfTheBestPattern) {
    DbPtr db =
        openDb(kLiveObjects + "attach ':memory:' as openapidb; create table openapidb." + kUriRows);
    dmdbhandle = db.get();
    // clang-format off
    const std::tuple<const char*, int, std::string> cases[] = {
        {"/REDFISH/v1/c/1//", 0, composed("", "One")}, {"/redfish/v1/C/7/T", 0, composed("", "")},
        {"/redfish/v1/S/1", 0, composed("", "SysA")},
        {"/redfish/v1/M", 0, composed("WITH m AS (SELECT 2)", "")},
        {"/redfish/v1/C/7", 0, composed("WITH a AS (SELECT 1)", "ItemView")},
        {nullptr, SQLITE_MISUSE, ""}};
    // clang-format on
    for (const auto& [uri, rc, expected] : cases) {
        std::string out = "prefix;";
        EXPECT_EQ(GetViewNameFromopenApiDB(uri, out), rc) << uri;
        EXPECT_EQ(out, "prefix;" + expected) << uri;
    }
    EXPECT_EQ(logged(2, ""), 1); // only the NULL URI's
}

// The status of the step or the prepare or bind that decided; the output only changes when the
// second statement yields text.
TEST(GetCustomCTEData, OutcomeTable) {
    DbPtr db = openDb(kLiveObjects);
    dmdbhandle = db.get();
    const std::string byName = "select sqltext from Q where name = ?";
    // clang-format off
    const std::tuple<std::string, const char*, const char*, int, const char*> cases[] = {
        {byName, "item", "7", SQLITE_ROW, R"({"a":1})"}, {byName, "item", "9", SQLITE_DONE, "-"},
        {byName, "null", "7", SQLITE_ROW, "-"},          {byName, "none", "7", SQLITE_DONE, "-"},
        {byName, nullptr, "7", SQLITE_OK, "-"},          {byName, "item", "", SQLITE_OK, "-"},
        {byName, "bad", "7", SQLITE_ERROR, "-"},         {byName, "one", "7", SQLITE_RANGE, "-"},
        {"select 1 from", "i", "1", SQLITE_ERROR, "-"}, {"select 1", "i", "1", SQLITE_RANGE, "-"},
        {" -- nothing", "i", "1", SQLITE_MISUSE, "-"}};
    // clang-format on
    for (const auto& [query, first, second, rc, expected] : cases) {
        std::string out = "-", text = query;
        const int got = GetCustomCTEData(out, text, const_cast<char*>(first),
                                         const_cast<char*>(second), nullptr);
        EXPECT_EQ(std::to_string(got) + " " + out, std::to_string(rc) + " " + expected)
            << query << " " << (first ? first : "NULL") << " " << second;
    }
    EXPECT_EQ(sqlite3_next_stmt(db.get(), nullptr), nullptr);
}

// Letters in either case, and the high-bit twins of F, R, O and M; nothing else.
TEST(GetPositionofFromCluase, FindsTheFirstFromByteWise) {
    // clang-format off
    const std::pair<const char*, int> cases[] = {{"select a FROM t", 9}, {"DateFrom", 4},
        {"x \xC6\xD2\xCF\xCD", 2}, {"\xE6\xF2\xEF\xED", 0}, {"\x06\x12\x0F\x0D", -1},
        {"\x86ROM", -1}, {"custom", -1}, {"fro", -1}, {nullptr, -1}};
    // clang-format on
    for (const auto& [text, index] : cases)
        EXPECT_EQ(GetPositionofFromCluase(text), index) << (text ? text : "NULL");
}

// "JSON" in the text (case-sensitive) sends a statement to the telemetry database; an empty
// value is not bound; a NULL first column leaves the output untouched.
TEST(GetRequestedSchemaData, RoutesOnUpperCaseJsonAndReadsTheFirstColumn) {
    const std::string telemetry =
        SQL2JSON_TEST_ROOT "/var/run/telemetryservice/telemetry_timeseries_database.db";
    openDb("create table S(JSONBody); insert into S values ('T1');", telemetry);
    DbPtr db = openDb(kLiveObjects);
    dmdbhandle = db.get();
    // clang-format off
    const std::tuple<const char*, const char*, int, const char*> cases[] = {
        {"select JSONBody from S", nullptr, SQLITE_ROW, "T1"},
        {"select json_quote(?)", "7", SQLITE_ROW, R"("7")"},
        {"select id as JSONish from Items where id = ?", "7", SQLITE_ERROR, "-"},
        {"select coalesce(?, 'unbound')", "", SQLITE_ROW, "unbound"},
        {"select NULL, ?", "7", SQLITE_ROW, "-"}, {"select 1 where ?", "0", SQLITE_DONE, "-"},
        {"select 1", "1", SQLITE_RANGE, "-"}, {nullptr, "1", SQLITE_MISUSE, "-"}};
    // clang-format on
    for (const auto& [query, value, rc, expected] : cases) {
        std::string out = "-";
        EXPECT_EQ(GetRequestedSchemaData(query, out, value), rc) << query;
        EXPECT_EQ(out, expected) << query;
    }
    std::filesystem::remove(telemetry);
    std::string out = "-";
    EXPECT_EQ(GetRequestedSchemaData("select JSONBody from S", out, nullptr), SQLITE_CANTOPEN);
    EXPECT_EQ(sqlite3_next_stmt(db.get(), nullptr), nullptr);
}

// Another connection holds an exclusive lock for a moment; the main connection has no busy
// timeout, so only the bounded retry lets each call succeed. The log shows the lock was met.
TEST(UriResolutionBusyRetry, CallsSucceedOnceTheLockIsReleased) {
    const std::string path = SQL2JSON_TEST_ROOT "/uri_lock.db";
    DbPtr writer = openDb(kLiveObjects + "create table " + kUriRows, path), db;
    sqlite3* reader = nullptr;
    sqlite3_open_v2(path.c_str(), &reader, SQLITE_OPEN_READONLY, nullptr);
    db.reset(dmdbhandle = reader);
    EXPECT_EQ(eval(reader, "select count(*) from UriInfo"), "5"); // schema read before the lock
    std::string view, cte, value, query = "select sqltext from Q where name = ?";
    char item[] = "item", seven[] = "7";
    const std::function<int()> calls[] = {
        [&] { return GetViewNameFromopenApiDB("/redfish/v1/C/1", view); },
        [&] { return GetCustomCTEData(cte, query, item, seven, nullptr); },
        [&] { return GetRequestedSchemaData("select id from Items", value, ""); }};
    Codes codes;
    for (const auto& call : calls) {
        exec(writer.get(), "begin exclusive");
        std::thread release([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            exec(writer.get(), "commit");
        });
        codes.push_back(call());
        release.join();
    }
    EXPECT_EQ(codes, (Codes{0, SQLITE_ROW, SQLITE_ROW}));
    EXPECT_EQ(view + cte + value, composed("", "One") + R"({"a":1}7)");
    EXPECT_EQ(logged(4, "openapi DB is busy:5") + logged(4, "stepstatus: 5"), 3); // one each
}
