// Allocation failures inside SQLite: a child wraps SQLite's allocator so that it refuses the
// Nth request (in a second pass every request from the Nth on), for N = 1, 2, ... until a run
// needs fewer. Every entry point then gives the result it gives without failures, or reports
// its failure (SQLITE_NOMEM, the function's own allocation error, a logged failure); it
// finalizes its statements and gives back all SQLite memory. ASan's leak check covers the rest
// when the child exits.
#include "support.hpp"

namespace {

long gCount = 0, gFailAt = 0; // requests since armed; the one to refuse (0: none)
bool gPersist = false, gFailed = false;
sqlite3_mem_methods gSqlite; // SQLite's own allocator

bool refuse() {
    const bool refused = gFailAt > 0 && (gPersist ? ++gCount >= gFailAt : ++gCount == gFailAt);
    return gFailed = gFailed || refused, refused;
}
void* failingMalloc(int n) { return refuse() ? nullptr : gSqlite.xMalloc(n); }
void* failingRealloc(void* p, int n) { return refuse() ? nullptr : gSqlite.xRealloc(p, n); }

// Every entry point once, their results as text with the status codes last.
std::string everyEntryPoint() {
    std::string sql, body, cte, query = "select sqltext from Q where name = ?";
    char first[] = "item", second[] = "7";
    Json::Value out;
    std::string result = eval(dmdbhandle, kEveryFunction);
    const int codes[] = {GetJsonDataFromSQLViewUsingQuery("select * from ItemView", out, 0),
                         GetViewNameFromopenApiDB("/redfish/v1/Items/7", sql),
                         GetRequestedSchemaData(sql.c_str(), body, "/redfish/v1/Items/7"),
                         GetCustomCTEData(cte, query, first, second, nullptr)};
    loadPropertyTypeMap();
    result += compact(out) + sql + body + cte + compact(propertyTypeMap());
    for (int rc : codes)
        result += " " + std::to_string(rc);
    return result;
}

// One run on the library's own connections with request n refused (none for 0): the result
// ("reported" for a reported failure), and whether a request was refused.
std::pair<std::string, bool> runOnce(long n, bool persist) {
    const sqlite3_int64 before = sqlite3_memory_used();
    OpenDatabaseConnection();
    OpenMetadataDatabaseConnection();
    loadPropertyTypeMap();
    clearFakes();
    gCount = 0, gFailed = false, gPersist = persist, gFailAt = n;
    std::string result = everyEntryPoint();
    gFailAt = 0;
    const bool reported = result.find(" 7") != std::string::npos || logged(2, "") > 0 ||
                          result.find("allocate memory") != std::string::npos ||
                          result.find("out of memory") != std::string::npos;
    EXPECT_EQ(sqlite3_next_stmt(dmdbhandle, nullptr), nullptr) << n;
    CloseMetadataDatabaseConnection();
    CloseDatabaseConnection();
    EXPECT_EQ(sqlite3_memory_used(), before) << n;
    return {reported ? "reported" : result, gFailed};
}

} // namespace

TEST(AllocationFailure, EveryRefusedRequestEndsInTheResultOrAReportedFailure) {
    const int status = inChild([] {
        layOutDatabases(SQL2JSON_TEST_ROOT);
        gHeater["Health"] = uint8_t{200};
        sqlite3_shutdown();
        sqlite3_config(SQLITE_CONFIG_GETMALLOC, &gSqlite);
        static sqlite3_mem_methods methods = gSqlite;
        methods.xMalloc = failingMalloc, methods.xRealloc = failingRealloc;
        EXPECT_EQ(sqlite3_config(SQLITE_CONFIG_MALLOC, &methods), SQLITE_OK);
        runOnce(0, false); // SQLite's one-time allocations
        const std::string expected = runOnce(0, false).first;
        long points = 0;
        for (bool persist : {false, true})
            for (long n = 1;; ++n, ++points) {
                const auto [result, refused] = runOnce(n, persist);
                EXPECT_TRUE(result == expected || result == "reported") << n << ": " << result;
                if (!refused || ::testing::Test::HasFailure()) break;
            }
        EXPECT_TRUE(expected != "reported" && points > 100) << expected;
        return 0;
    });
    EXPECT_EQ(status, 0);
}
