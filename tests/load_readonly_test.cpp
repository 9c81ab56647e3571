// The library never writes a database: statements that try to write, given to every public
// entry point that runs caller SQL on the real loaded library, are refused, and every database
// file is byte-identical afterwards (no journal, WAL or new file appears either).
#include <dlfcn.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <json/value.h>
#include <sqlite3.h>

#include "support/test_support.hpp"

using namespace testing_support;

namespace {

const std::string kRoot = SQL2JSON_LOAD_TEST_ROOT;
const std::string kNewDb = kRoot + "/new.db";

// The public API as the loaded library exports it (C++ names, resolved by their symbols).
struct Api {
    int (*requested)(const char*, std::string&, const char*);
    int (*cte)(std::string&, std::string&, char*, char*, char*);
    int (*lookup)(const char*, std::string&);
    int (*json)(const char*, Json::Value&, unsigned int);
    int (*execute)(const char*, Json::Value&, unsigned int, unsigned int, int);
    int (*rows)(sqlite3*, const char*, Json::Value&, Json::Value&, unsigned int);
    int (*metadata)(sqlite3*, const char*, Json::Value&);
    void (*propertyTypes)();
    int (*dump)(const char*, const char*);
    int (*jobId)(const char*, long);
    sqlite3* main;
    sqlite3* metadataDb;
};

template <typename F> bool resolve(void* lib, const char* symbol, F& out) {
    out = reinterpret_cast<F>(dlsym(lib, symbol));
    if (out == nullptr) report("missing", symbol);
    return out != nullptr;
}

bool loadApi(Api& api) {
    void* lib = dlopen(SQL2JSON_LOADTEST_LIBRARY, RTLD_NOW | RTLD_GLOBAL);
    if (lib == nullptr) return false;
    api.main = *static_cast<sqlite3**>(dlsym(lib, "dmdbhandle"));
    api.metadataDb = *static_cast<sqlite3**>(dlsym(lib, "metadatadbhandle"));
    return resolve(
               lib,
               "_Z22GetRequestedSchemaDataPKcRNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEE"
               "ES0_",
               api.requested) &&
           resolve(lib,
                   "_Z16GetCustomCTEDataRNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEES5_Pc"
                   "S6_S6_",
                   api.cte) &&
           resolve(lib,
                   "_Z24GetViewNameFromopenApiDBPKcRNSt7__cxx1112basic_stringIcSt11char_traitsIcES"
                   "aIcEEE",
                   api.lookup) &&
           resolve(lib, "_Z32GetJsonDataFromSQLViewUsingQueryPKcRN4Json5ValueEj", api.json) &&
           resolve(lib, "_Z30ExecuteSQLViewQueryForJsonDataPKcRN4Json5ValueEjji", api.execute) &&
           resolve(lib, "_Z20GetDataFromViewQueryP7sqlite3PKcRN4Json5ValueES5_j", api.rows) &&
           resolve(lib, "_Z11GetMetadataP7sqlite3PKcRN4Json5ValueE", api.metadata) &&
           resolve(lib, "_Z29GetPropertyTypefromMetadataDBv", api.propertyTypes) &&
           resolve(lib, "_Z15dumpUDBTableKeyPKcS0_", api.dump) &&
           resolve(lib, "_Z23CheckJobIdPresenceInUDBPKcl", api.jobId);
}

void layOut() {
    removeTree(kRoot);
    createDbFile(kRoot + "/var/run/unifieddatabase/DMLiveObjectDatabase.db",
                 "create table Items(id integer, body text);"
                 "insert into Items values(1, '{\"a\":1}');"
                 "create view ItemView as select '#Thermal.v1_7_3.Thermal' as \"@odata.type\","
                 "  '/redfish/v1/Items/1' as \"@odata.id\", body as root from Items;"
                 "create table Queries(name text, sqltext text);"
                 "insert into Queries values('insert', 'insert into Items values(?, ''x'')'),"
                 "  ('delete', 'delete from Items where id <> ?');"
                 "create table TblJobControlInfoObj(jobInfo_DOT_Key text);");
    createDbFile(kRoot + "/usr/share/redfish/rf_resource_info.db",
                 "create table UriInfo(URI text, n_Segments integer, view_name text, CTE text, "
                 "privilege text, link text, allow_header text, CTE_length integer);"
                 "insert into UriInfo values('/redfish/v1/Items/%', 4, 'ItemView', null, null, "
                 "null, null, null);");
    createDbFile(kRoot + "/var/run/unifieddatabase/HMC.db", "create table HmcInfo(v integer);");
    createDbFile(kRoot + "/etc/unifieddatabase/RedfishSchemaMetaData.db",
                 "create table \"#Thermal.v1_7_3.Thermal\"(PropertyName text, PropertyType text);");
    createDbFile(kRoot + "/var/run/telemetryservice/telemetry_timeseries_database.db",
                 "create table Samples(JSONBody text);");
}

// Every file under the tree with its bytes.
std::map<std::string, std::string> snapshot() {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(kRoot)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        files[entry.path().string()] = bytes.str();
    }
    return files;
}

// Statements that write, each given to GetRequestedSchemaData.
const std::vector<std::string> kWrites = {
    "insert into Items values(2, 'x')",
    "update Items set body = 'y'",
    "delete from Items",
    "create table Extra(a)",
    "create index ItemsId on Items(id)",
    "drop view ItemView",
    "alter table Items add column more text",
    "insert into openapidb.UriInfo(URI) values('/x')",
    "delete from hmcdb.HmcInfo",
    "pragma user_version = 7",
    "vacuum",
    "attach database '" + kNewDb + "' as fresh",
    "insert into Samples(JSONBody) values('{}')", // "JSON": runs on the telemetry database
    "replace into Items values(1, ?)",
};

bool refused(int rc) { return rc != SQLITE_OK && rc != SQLITE_ROW && rc != SQLITE_DONE; }

// Tries every write through every entry point; reports each outcome as "<how>" = "<status>".
void tryWrites(const Api& api) {
    for (const std::string& sql : kWrites) {
        std::string out;
        report("requested " + sql, std::to_string(api.requested(sql.c_str(), out, "v")));
        Json::Value json, nested, rows;
        report("engine " + sql, std::to_string(api.json(sql.c_str(), json, 1)));
        report("execute " + sql, std::to_string(api.execute(sql.c_str(), json, 0, 0, 2)));
        report("rows " + sql, std::to_string(api.rows(api.main, sql.c_str(), nested, rows, 0)));
        report("metadata " + sql, std::to_string(api.metadata(api.metadataDb, sql.c_str(), json)));
    }
    // Two-stage: the stored second statement writes.
    for (const char* name : {"insert", "delete"}) {
        std::string out, query = "select sqltext from Queries where name = ?";
        char first[16], second[] = "5";
        std::snprintf(first, sizeof first, "%s", name);
        report(std::string("cte ") + name,
               std::to_string(api.cte(out, query, first, second, nullptr)));
    }
    // The read paths still work on the same connections afterwards.
    std::string sql, body;
    report("lookup", std::to_string(api.lookup("/redfish/v1/Items/1", sql)));
    report("read",
           std::to_string(api.requested(sql.c_str(), body, "/redfish/v1/Items/1")) + " " + body);
    api.propertyTypes();
    report("dump", std::to_string(api.dump("Items", "id")));
    report("job", std::to_string(api.jobId("none", 0)));
}

} // namespace

TEST(LoadReadOnly, EveryWriteIsRefusedAndNoFileChanges) {
    ChildRun run = runInChild([] {
        layOut();
        const std::map<std::string, std::string> before = snapshot();
        Api api{};
        if (!loadApi(api)) return 3;
        tryWrites(api);
        const std::map<std::string, std::string> after = snapshot();
        for (const auto& [path, bytes] : after) {
            auto it = before.find(path);
            if (it == before.end())
                report("new file " + path, "");
            else if (it->second != bytes)
                report("changed " + path, "");
        }
        for (const auto& [path, bytes] : before)
            if (after.count(path) == 0) report("removed " + path, "");
        report("files", std::to_string(before.size()));
        return 0;
    });
    ASSERT_TRUE(run.exited);
    ASSERT_EQ(run.status, 0) << run.reports["missing"];
    for (const std::string& sql : kWrites) {
        for (const char* how : {"requested ", "engine ", "execute ", "rows ", "metadata "}) {
            const std::string key = how + sql;
            ASSERT_EQ(run.reports.count(key), 1u) << key;
            const int rc = std::stoi(run.reports[key]);
            EXPECT_TRUE(refused(rc)) << key << " gave " << rc;
        }
    }
    EXPECT_EQ(run.reports["requested replace into Items values(1, ?)"], "8"); // SQLITE_READONLY
    EXPECT_EQ(run.reports["engine delete from Items"], "8");
    EXPECT_EQ(run.reports["cte insert"], "8");
    EXPECT_EQ(run.reports["cte delete"], "8");
    EXPECT_EQ(run.reports["lookup"], "0");
    EXPECT_EQ(run.reports["read"], "100 {\"a\":1}");
    EXPECT_EQ(run.reports["dump"], "0");
    EXPECT_EQ(run.reports["job"], "2");
    EXPECT_EQ(run.reports["files"], "5");
    for (const auto& [key, value] : run.reports) {
        EXPECT_NE(key.rfind("new file ", 0), 0u) << key;
        EXPECT_NE(key.rfind("changed ", 0), 0u) << key;
        EXPECT_NE(key.rfind("removed ", 0), 0u) << key;
    }
}

// Statements that would change what every other caller of the shared main connection sees.
TEST(LoadReadOnly, SharedConnectionStateCannotBeChanged) {
    const std::vector<std::string> changes = {
        "create temp view ItemView as select 'fake' as root, '/x' as \"@odata.id\"",
        "create temp table Scratch(a)",
        "create table temp.Scratch2(a)",
        "begin",
        "savepoint s1",
        "detach database hmcdb",
        "attach database ':memory:' as scratch",
        "pragma query_only = 0",
        "pragma journal_mode = wal",
    };
    ChildRun run = runInChild([&] {
        layOut();
        Api api{};
        if (!loadApi(api)) return 3;
        for (const std::string& sql : changes) {
            std::string out;
            report(sql, std::to_string(api.requested(sql.c_str(), out, nullptr)));
        }
        std::string out;
        report("info", std::to_string(api.requested("pragma table_info(Items)", out, nullptr)));
        std::string sql, body;
        api.lookup("/redfish/v1/Items/1", sql);
        report("read", std::to_string(api.requested(sql.c_str(), body, "/redfish/v1/Items/1")) +
                           " " + body);
        report("hmc",
               std::to_string(api.requested("select count(*) from hmcdb.HmcInfo", out, nullptr)));
        return 0;
    });
    ASSERT_TRUE(run.exited);
    ASSERT_EQ(run.status, 0);
    for (const std::string& sql : changes)
        EXPECT_EQ(run.reports[sql], std::to_string(SQLITE_AUTH)) << sql;
    EXPECT_EQ(run.reports["info"], "100"); // reporting pragmas still work
    EXPECT_EQ(run.reports["read"], "100 {\"a\":1}");
    EXPECT_EQ(run.reports["hmc"], "100");
}
