// Loading and unloading the real shared library, each scenario in a fresh process with its
// own set of database files.
#include <dlfcn.h>

#include <cstdlib>
#include <map>
#include <string>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "support/test_support.hpp"

using namespace testing_support;

// ---- Observing the library's own SQLite calls --------------------------------------------
// These definitions in the executable take the place of SQLite's for the loaded library;
// they record what the library asked for and forward to the real functions.
namespace {
std::map<std::string, int> gOpenFlags;
bool gFailSharedCache = false;
} // namespace

extern "C" int sqlite3_open_v2(const char* path, sqlite3** db, int flags, const char* vfs) {
    using OpenFn = int (*)(const char*, sqlite3**, int, const char*);
    static auto real = reinterpret_cast<OpenFn>(dlsym(RTLD_NEXT, "sqlite3_open_v2"));
    if (path != nullptr) gOpenFlags[path] = flags;
    return real(path, db, flags, vfs);
}

extern "C" int sqlite3_enable_shared_cache(int enable) {
    using EnableFn = int (*)(int);
    static auto real = reinterpret_cast<EnableFn>(dlsym(RTLD_NEXT, "sqlite3_enable_shared_cache"));
    return gFailSharedCache ? SQLITE_MISUSE : real(enable);
}

namespace {

const std::string kRoot = SQL2JSON_LOAD_TEST_ROOT;
const std::string kMainDb = kRoot + "/var/run/unifieddatabase/DMLiveObjectDatabase.db";
const std::string kOpenApiDb = kRoot + "/usr/share/redfish/rf_resource_info.db";
const std::string kHmcDb = kRoot + "/var/run/unifieddatabase/HMC.db";
const std::string kMetadataDb = kRoot + "/etc/unifieddatabase/RedfishSchemaMetaData.db";

struct Files {
    bool main = true, openApi = true, hmc = true, metadata = true;
};

void layOut(const Files& files) {
    removeTree(kRoot);
    if (files.main)
        createDbFile(kMainDb, "create table Items(id integer); insert into Items values(7);");
    if (files.openApi)
        createDbFile(kOpenApiDb, "create table UriInfo(URI text, n_Segments integer, view_name "
                                 "text, CTE text, privilege text, link text, allow_header text, "
                                 "CTE_length integer);");
    if (files.hmc)
        createDbFile(kHmcDb, "create table HmcInfo(v integer); insert into HmcInfo values(3);");
    if (files.metadata) createDbFile(kMetadataDb, emptyMetadataTablesSql());
}

// Loads the library; returns its main handle (or null when it failed to load).
sqlite3* loadLibrary() {
    void* lib = dlopen(SQL2JSON_LOADTEST_LIBRARY, RTLD_NOW | RTLD_GLOBAL);
    if (lib == nullptr) {
        report("dlerror", dlerror());
        return nullptr;
    }
    report("loaded", "yes");
    return *static_cast<sqlite3**>(dlsym(lib, "dmdbhandle"));
}

void reportQuery(sqlite3* db, const std::string& key, const std::string& sql) {
    report(key, evalText(db, sql));
}

ChildRun loadWith(const Files& files, bool failSharedCache = false) {
    return runInChild([&] {
        layOut(files);
        gOpenFlags.clear();
        gFailSharedCache = failSharedCache;
        sqlite3* db = loadLibrary();
        for (const auto& [path, flags] : gOpenFlags)
            report("flags:" + path, std::to_string(flags));
        if (db != nullptr) {
            reportQuery(db, "main", "select id from Items");
            reportQuery(db, "hmc", "select v from hmcdb.HmcInfo");
            reportQuery(db, "openapi", "select count(*) from openapidb.UriInfo");
            reportQuery(db, "write", "insert into Items values(8)");
        }
        return 0;
    });
}

const char* kLoadedMessages[] = {
    "[SqlitetoJsonConverter.cpp]Entering OpenDatabaseConnection Function",
    "[SqlitetoJsonConverter.cpp]Exiting OpenDatabaseConnection Function",
    "[SqlitetoJsonConverter.cpp]Entering OpenMetadataDatabaseConnection Function",
    "[SqlitetoJsonConverter.cpp]Exiting OpenMetadataDatabaseConnection Function",
};

} // namespace

TEST(LoadLifecycle, OpensEveryDatabaseReadOnlyWithSharedCache) {
    ChildRun run = loadWith(Files{});
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.reports["loaded"], "yes");
    EXPECT_EQ(run.reports["flags:" + kMainDb], "131073"); // 0x20001
    EXPECT_EQ(run.reports["flags:" + kHmcDb], "1");
    EXPECT_EQ(run.reports["flags:" + kMetadataDb], "1");
    EXPECT_EQ(run.reports["main"], "7");
    EXPECT_EQ(run.reports["hmc"], "3");
    EXPECT_EQ(run.reports["openapi"], "0");
    EXPECT_EQ(run.reports["write"], "<error: attempt to write a readonly database>");
    EXPECT_EQ(countLog(run.log, 4,
                       "[OpenDatabaseConnection()][tembrolix@4200]MEMCHECK: ****** "
                       "sqlite3_enable_shared_cache(1) returned 0. Opening in shared mode"),
              1);
    for (const char* message : kLoadedMessages)
        EXPECT_EQ(countLog(run.log, 4, message), 1) << message;
    EXPECT_TRUE(messages(run.log, 2).empty()) << messages(run.log, 2).front();
    for (const auto& record : run.log) {
        if (record.message != "oemDatabaseClose") {
            EXPECT_EQ(record.module, 139) << record.message;
        }
    }
}

TEST(LoadLifecycle, SharedCacheRefusedOpensWithReadOnlyAlone) {
    ChildRun run = loadWith(Files{}, true);
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.reports["flags:" + kMainDb], "1");
    EXPECT_EQ(countLog(run.log, 4,
                       "[OpenDatabaseConnection()][tembrolix@4200]MEMCHECK: ****** "
                       "sqlite3_enable_shared_cache(1) returned 21. Opening in non-shared mode"),
              1);
    // The second refusal skips the HMC database.
    EXPECT_EQ(
        countLog(run.log, 2,
                 "[OpenDatabaseConnection()]DMDB status: 21, Can't open database: not an error"),
        1);
    EXPECT_EQ(run.reports.count("flags:" + kHmcDb), 0u);
    EXPECT_EQ(run.reports["main"], "7");
}

TEST(LoadLifecycle, MissingOpenApiDatabaseEndsTheProcess) {
    Files files;
    files.openApi = false;
    ChildRun run = loadWith(files);
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.reports.count("loaded"), 0u);
    std::vector<std::string> failures = messages(run.log, 2);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(
        failures[0].rfind("[OpenDatabaseConnection()]failed to attach OpenapiDB: 14, msg: ", 0), 0u)
        << failures[0];
}

TEST(LoadLifecycle, MissingLiveObjectDatabaseLoadsReduced) {
    Files files;
    files.main = false;
    ChildRun run = loadWith(files);
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.reports["loaded"], "yes");
    EXPECT_EQ(countLog(run.log, 2,
                       "[OpenDatabaseConnection()]DMDB status: 14, Can't open database: unable to "
                       "open database file"),
              1);
    EXPECT_EQ(run.reports["main"].rfind("<error: ", 0), 0u);
    for (const std::string& message : messages(run.log, 4))
        EXPECT_EQ(message.find("successfully created"), std::string::npos) << message;
}

TEST(LoadLifecycle, MissingHmcDatabaseIsLoggedTwiceAndNotAttached) {
    Files files;
    files.hmc = false;
    ChildRun run = loadWith(files);
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(countLog(run.log, 2,
                       "[OpenDatabaseConnection()]failed to attach HMC DB: 14, msg: unable to open "
                       "database file"),
              1);
    EXPECT_EQ(countLog(run.log, 2,
                       "[OpenDatabaseConnection()]DMDB status: 14, Can't open database: unable to "
                       "open database file"),
              1);
    EXPECT_EQ(run.reports["hmc"], "<error: no such table: hmcdb.HmcInfo>");
    EXPECT_EQ(run.reports["main"], "7");
    EXPECT_EQ(run.reports["openapi"], "0");
}

TEST(LoadLifecycle, MissingMetadataDatabaseIsLogged) {
    Files files;
    files.metadata = false;
    ChildRun run = loadWith(files);
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(countLog(run.log, 2,
                       "[OpenMetadataDatabaseConnection()]RedfishDB status: 14, Can't open "
                       "Metadatadatabase: unable to open database file"),
              1);
    EXPECT_EQ(run.reports["main"], "7");
}

TEST(LoadLifecycle, UnloadClosesMetadataFirstAndTellsOemCacheOnce) {
    ChildRun run = loadWith(Files{});
    ASSERT_TRUE(run.exited);
    std::vector<std::string> all = messages(run.log);
    auto position = [&](const std::string& text) {
        for (size_t i = 0; i < all.size(); ++i)
            if (all[i] == text) return static_cast<long>(i);
        return -1L;
    };
    long closeMetadata =
        position("[SqlitetoJsonConverter.cpp]Entering CloseMetadataDatabaseConnection Function");
    long closeMain =
        position("[SqlitetoJsonConverter.cpp]Entering CloseDatabaseConnection Function");
    long oemClose = position("oemDatabaseClose");
    long closeMainExit =
        position("[SqlitetoJsonConverter.cpp]Exiting CloseDatabaseConnection Function");
    ASSERT_GE(closeMetadata, 0);
    EXPECT_LT(closeMetadata, closeMain);
    EXPECT_LT(closeMain, oemClose);
    EXPECT_LT(oemClose, closeMainExit);
    EXPECT_EQ(std::count(all.begin(), all.end(), "oemDatabaseClose"), 1);
    EXPECT_TRUE(messages(run.log, 2).empty());
}

TEST(LoadLifecycle, OemCacheIsToldOnceEvenWhenMainCloseFails) {
    ChildRun run = runInChild([] {
        layOut(Files{});
        sqlite3* db = loadLibrary();
        // A statement left open makes sqlite3_close fail with SQLITE_BUSY.
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, "select id from Items", -1, &stmt, nullptr);
        return 0;
    });
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(countLog(run.log, 2,
                       "[CloseDatabaseConnection()]DMDB status: 5, Can't close database: unable "
                       "to close due to unfinalized statements or unfinished backups"),
              1);
    std::vector<std::string> all = messages(run.log);
    EXPECT_EQ(std::count(all.begin(), all.end(), "oemDatabaseClose"), 1);
}
