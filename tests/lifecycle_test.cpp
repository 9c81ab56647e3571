// Opening and closing the connections, and the read-only guarantee over every entry point;
// each scenario in a child process, with the database files it needs at the fixed paths.
#include <dlfcn.h>

#include "support.hpp"

namespace {
const std::string kRoot = SQL2JSON_TEST_ROOT, kOpen = "[OpenDatabaseConnection()]";
std::map<std::string, int> gOpenFlags; // path -> flags of the last sqlite3_open_v2 on it
bool gRefuseSharedCache = false;
} // namespace

// These take SQLite's place for the library: they record the open flags and can refuse the
// shared cache.
extern "C" int sqlite3_open_v2(const char* path, sqlite3** db, int flags, const char* vfs) {
    static auto real = reinterpret_cast<decltype(&sqlite3_open_v2)>(dlsym(RTLD_NEXT, __func__));
    gOpenFlags[path] = flags;
    return real(path, db, flags, vfs);
}
extern "C" int sqlite3_enable_shared_cache(int enable) {
    static auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, __func__));
    return gRefuseSharedCache ? SQLITE_MISUSE : real(enable);
}

namespace {

// In a child: lays out the files but the missing ones, opens both connections, runs check.
int opened(const std::string& missing, const std::function<void()>& check) {
    return inChild([&] {
        layOutDatabases(kRoot, missing,
                        "create table Q(name, sqltext); insert into Q values "
                        "('insert', 'insert into Items values (?, 1)');");
        OpenDatabaseConnection();
        OpenMetadataDatabaseConnection();
        check();
        return 0;
    });
}

// Every file under the databases' directories, with its bytes.
std::map<std::string, std::string> snapshot() {
    std::map<std::string, std::string> files;
    for (const char* dir : {"/var/run", "/usr/share/redfish", "/etc/unifieddatabase"})
        for (const auto& entry : std::filesystem::recursive_directory_iterator(kRoot + dir)) {
            std::ifstream in(entry.path(), std::ios::binary);
            if (entry.is_regular_file())
                files[entry.path()] = std::string(std::istreambuf_iterator<char>(in), {});
        }
    return files;
}

} // namespace

// Read-only, the main connection with shared cache; every message at module 139, none a
// failure. Closing clears every handle (the HMC one too) and tells the OEM cache once, also
// when the main close fails because a statement is left open.
TEST(Lifecycle, OpensEveryDatabaseReadOnlyAndClosesThemAll) {
    EXPECT_EQ(
        opened(
            "",
            [] {
                const std::string db = kRoot + "/var/run/unifieddatabase/";
                EXPECT_EQ(gOpenFlags[db + "DMLiveObjectDatabase.db"],
                          SQLITE_OPEN_READONLY | SQLITE_OPEN_SHAREDCACHE);
                EXPECT_EQ(gOpenFlags[db + "HMC.db"] +
                              gOpenFlags[kRoot + "/etc/unifieddatabase/RedfishSchemaMetaData.db"],
                          2);
                EXPECT_EQ(eval(dmdbhandle, "select json_bool(1) || count(*) || (select v from "
                                           "hmcdb.HmcInfo) from UriInfo"),
                          "true13");
                EXPECT_EQ(eval(hmcdbHandle, "select v from HmcInfo") +
                              eval(metadatadbhandle, "select count(*) from sqlite_master"),
                          "31");
                for (const LogRecord& record : logRecords())
                    EXPECT_TRUE(record.level != 2 && record.module == 139) << record.message;
                sqlite3_stmt* left = nullptr;
                sqlite3_prepare_v2(dmdbhandle, "select 1", -1, &left, nullptr);
                CloseMetadataDatabaseConnection();
                CloseDatabaseConnection();
                EXPECT_EQ(
                    logged(2,
                           "[CloseDatabaseConnection()]DMDB status: 5, Can't close database: "
                           "unable to close due to unfinalized statements or unfinished backups"),
                    1);
                sqlite3_finalize(left);
                CloseDatabaseConnection();
                EXPECT_TRUE(!dmdbhandle && !metadatadbhandle && !hmcdbHandle);
                EXPECT_EQ(logged(0, "oemDatabaseClose"), 2);
            }),
        0);
}

TEST(Lifecycle, SharedCacheRefusedOpensReadOnlyAloneWithoutHmc) {
    gRefuseSharedCache = true;
    EXPECT_EQ(
        opened("",
               [] {
                   EXPECT_EQ(gOpenFlags[kRoot + "/var/run/unifieddatabase/DMLiveObjectDatabase.db"],
                             SQLITE_OPEN_READONLY);
                   EXPECT_EQ(
                       logged(4,
                              kOpen +
                                  "[tembrolix@4200]MEMCHECK: ****** sqlite3_enable_shared_cache(1) "
                                  "returned 21. Opening in non-shared mode"),
                       1);
                   EXPECT_EQ(
                       logged(2, kOpen + "DMDB status: 21, Can't open database: not an error"), 1);
                   EXPECT_EQ(hmcdbHandle, nullptr);
                   EXPECT_EQ(eval(dmdbhandle, "select id from Items"), "7");
               }),
        0);
}

// Without the resource database the process ends; without any other it goes on reduced.
TEST(Lifecycle, MissingDatabasesAreLoggedAndOnlyTheResourceDatabaseIsFatal) {
    const std::string cannotOpen = "14, Can't open database: unable to open database file";
    EXPECT_EQ(opened("openapi", [] {}), 1);
    EXPECT_EQ(opened("main",
                     [&] {
                         EXPECT_EQ(logged(2, kOpen + "DMDB status: " + cannotOpen), 1);
                         EXPECT_EQ(eval(dmdbhandle, "select json_bool(1)"),
                                   "<error: unable to open database file>");
                     }),
              0);
    EXPECT_EQ(
        opened(
            "hmc",
            [&] {
                EXPECT_EQ(
                    logged(2, kOpen + "DMDB status: " + cannotOpen) +
                        logged(
                            2,
                            kOpen +
                                "failed to attach HMC DB: 14, msg: unable to open database file"),
                    2);
                EXPECT_EQ(eval(dmdbhandle, "select v from hmcdb.HmcInfo"),
                          "<error: no such table: hmcdb.HmcInfo>");
                EXPECT_EQ(eval(dmdbhandle, "select json_bool(1) || count(*) from UriInfo"),
                          "true1");
            }),
        0);
    EXPECT_EQ(opened("metadata",
                     [] {
                         EXPECT_EQ(
                             logged(2, "[OpenMetadataDatabaseConnection()]RedfishDB status: 14, "
                                       "Can't open Metadatadatabase: unable to open database file"),
                             1);
                     }),
              0);
}

// Writes through every entry point that runs a caller's SQL are refused, and so is anything
// that would change the shared connection for the other callers; no file changes.
TEST(ReadOnly, EveryWriteIsRefusedAndNoFileChanges) {
    EXPECT_EQ(
        opened("",
               [] {
                   const auto before = snapshot();
                   loadPropertyTypeMap();
                   for (const char* sql :
                        {"insert into Items values (2, 'x')", "update Items set body = 1",
                         "delete from Items", "create table Extra(a)", "drop view ItemView",
                         "alter table Items add column more", "delete from openapidb.UriInfo",
                         "delete from hmcdb.HmcInfo", "vacuum",
                         "insert into Samples(JSONBody) values ('{}')",
                         "replace into Items values (1, ?)"}) {
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
                   EXPECT_EQ(GetRequestedSchemaData("delete from Items", out, nullptr),
                             SQLITE_READONLY);
                   EXPECT_EQ(GetCustomCTEData(out, query, insert, five, nullptr), SQLITE_READONLY);
                   const std::string changes[] = {"create temp view ItemView as select 1 as root",
                                                  "create table temp.T(a)",
                                                  "begin",
                                                  "savepoint s",
                                                  "detach hmcdb",
                                                  "attach '" + kRoot + "/var/run/new.db' as n",
                                                  "pragma journal_mode = wal",
                                                  "pragma user_version = 7"};
                   for (const std::string& change : changes)
                       EXPECT_EQ(GetRequestedSchemaData(change.c_str(), out, nullptr), SQLITE_AUTH)
                           << change;
                   // Reads, reporting pragmas and the resource's own statement still work.
                   EXPECT_EQ(GetRequestedSchemaData("pragma table_info(Items)", out, nullptr),
                             SQLITE_ROW);
                   EXPECT_EQ(GetViewNameFromopenApiDB("/redfish/v1/Items/7", sql), 0);
                   EXPECT_EQ(GetRequestedSchemaData(sql.c_str(), body, "/redfish/v1/Items/7"),
                             SQLITE_ROW);
                   EXPECT_EQ(body + eval(dmdbhandle, "select v from hmcdb.HmcInfo"), "{\"a\":1}3");
                   CloseMetadataDatabaseConnection();
                   CloseDatabaseConnection();
                   EXPECT_EQ(snapshot(), before);
               }),
        0);
}
