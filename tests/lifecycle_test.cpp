// Opening and closing the connections, and the read-only guarantee over every entry point;
// each scenario in a child process, with the database files it needs at the fixed paths.
#include "support.hpp"

namespace {

const std::string kRoot = SQL2JSON_TEST_ROOT;

// In a child: lays out the files but the missing one, opens both connections, runs check.
int opened(const std::string& missing, const std::function<void()>& check) {
    return inChild([&] {
        layOutDatabases(kRoot, missing);
        OpenDatabaseConnection();
        OpenMetadataDatabaseConnection();
        check();
        return 0;
    });
}

// Everything under the databases' directories: each file with its bytes, each directory empty.
std::map<std::string, std::string> snapshot() {
    std::map<std::string, std::string> files;
    for (const char* dir : {"/var/run", "/usr/share/redfish", "/etc/unifieddatabase"})
        for (const auto& e : std::filesystem::recursive_directory_iterator(kRoot + dir))
            files[e.path()] = (std::stringstream() << std::ifstream(e.path()).rdbuf()).str();
    return files;
}

} // namespace

// Every database opens without a failure logged. Writes through every entry point that runs a
// caller's SQL are refused, and so is anything that would change the shared connection for the
// other callers; no file changes. Closing clears every handle (the HMC one too) and tells the
// OEM cache once, also when the main close fails because a statement is left open.
TEST(Lifecycle, OpensReadOnlyRefusesEveryWriteAndClosesEverything) {
    const int status = opened("", [] {
        const auto before = snapshot();
        loadPropertyTypeMap(); // one table per listed type: nothing fails
        EXPECT_EQ(logged(2, ""), 0);
        // clang-format off
        for (const char* sql : {"insert into Items values (2, 'x')", "update Items set body = 1",
                 "delete from Items", "create table Extra(a)", "drop view ItemView", "vacuum",
                 "alter table Items add column more", "delete from openapidb.UriInfo",
                 "delete from hmcdb.HmcInfo", "insert into Samples(JSONBody) values ('{}')",
                 "replace into Items values (1, ?)"}) {
            // clang-format on
            std::string out;
            Json::Value res, nested;
            for (int rc : {GetRequestedSchemaData(sql, out, "v"),
                           GetJsonDataFromSQLViewUsingQuery(sql, res, 1),
                           ExecuteSQLViewQueryForJsonData(sql, res, 0, 0, 2),
                           GetDataFromViewQuery(dmdbhandle, sql, nested, res, 0),
                           GetMetadata(metadatadbhandle, sql, res)})
                EXPECT_TRUE(rc != 0 && rc != SQLITE_ROW && rc != SQLITE_DONE) << sql;
        }
        std::string out, query = "select sqltext from Q where name = ?", sql, body;
        char insert[] = "insert", five[] = "5";
        EXPECT_EQ((Codes{GetRequestedSchemaData("delete from Items", out, nullptr),
                         GetCustomCTEData(out, query, insert, five, nullptr)}),
                  (Codes{SQLITE_READONLY, SQLITE_READONLY}));
        // clang-format off
        const std::string changes[] = {"create temp view ItemView as select 1 as root",
            "create table temp.T(a)", "begin", "savepoint s", "detach hmcdb",
            "attach '" + kRoot + "/var/run/new.db' as n",
            "pragma journal_mode = wal", "pragma user_version = 7"};
        // clang-format on
        for (const std::string& change : changes)
            EXPECT_EQ(GetRequestedSchemaData(change.c_str(), out, nullptr), SQLITE_AUTH) << change;
        // Reads, reporting pragmas and the resource's own statement still work.
        EXPECT_EQ(GetRequestedSchemaData("pragma table_info(Items)", out, nullptr), SQLITE_ROW);
        EXPECT_EQ(GetViewNameFromopenApiDB("/redfish/v1/Items/7", sql), 0);
        EXPECT_EQ(GetRequestedSchemaData(sql.c_str(), body, "/redfish/v1/Items/7"), SQLITE_ROW);
        EXPECT_EQ(body + eval(dmdbhandle, "select v from hmcdb.HmcInfo") +
                      eval(hmcdbHandle, "select v from HmcInfo") +
                      eval(metadatadbhandle, "select count(*) from sqlite_master"),
                  "{\"a\":1}3320"); // the metadata holds the 20 listed types' tables
        sqlite3_stmt* left = nullptr;
        sqlite3_prepare_v2(dmdbhandle, "select 1", -1, &left, nullptr);
        CloseMetadataDatabaseConnection();
        CloseDatabaseConnection();
        EXPECT_TRUE(dmdbhandle && !metadatadbhandle && !hmcdbHandle);
        sqlite3_finalize(left);
        CloseDatabaseConnection();
        EXPECT_EQ(dmdbhandle, nullptr);
        EXPECT_EQ(logged(0, "oemDatabaseClose"), 2);
        EXPECT_EQ(snapshot(), before);
    });
    EXPECT_EQ(status, 0);
}

// Without the resource database the process ends; without any other it goes on reduced.
TEST(Lifecycle, MissingDatabasesAreFatalOnlyForTheResourceDatabase) {
    const auto withoutHmc = [] {
        EXPECT_EQ(eval(dmdbhandle, "select json_bool(1) || count(*) from UriInfo") +
                      eval(dmdbhandle, "select v from hmcdb.HmcInfo"),
                  "true1<error: no such table: hmcdb.HmcInfo>");
    };
    EXPECT_EQ((Codes{opened("rf_resource", [] {}), opened("MetaData", [] {}),
                     opened("DMLive", [] {}), opened("HMC", withoutHmc)}),
              (Codes{1, 0, 0, 0}));
}
