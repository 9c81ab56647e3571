// What the tests share: recording fakes of the platform layer, databases built by the test and
// forked children for what must happen in a process of its own. Each test executable is one
// source file, which includes this header once; the fakes then take the platform's place.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <regex>
#include <sstream>

#include <gtest/gtest.h>
#include <json/json.h>

#include "internal.hpp"
#include "vexa_heater_mgr.h"
#include "vexa_ipc_client.h"
#include "vexa_oem_data.h"

// ---- Platform fakes: tests set the tables before a call and read the records after it ------

struct LogRecord {
    int level, module;
    std::string message;
};
std::mutex gFakeMutex; // the library calls in from many threads
std::vector<LogRecord>& gLog = *new std::vector<LogRecord>; // the library logs during exit
std::map<std::string, Json::Value> gOemData;                // "kind/id" -> what the cache gives
std::vector<std::string> gOemCalls;                         // "kind/id" ("!" when reserved is set)
std::map<std::string, DataAbstraction::HeaterMgr::PropertyValue> gHeater;
std::vector<std::string> gHeaterCalls; // "service path property"
std::string gIpcFile;                  // each request adds "command type size zero-bytes"
int gIpcStatus = 0;

extern "C" int vexaprintf(int level, int module, const char* format, ...) {
    char text[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::lock_guard<std::mutex> lock(gFakeMutex);
    gLog.push_back({level, module, text});
    return 0;
}
int getResourceOemData(char* kind, char* id, char* reserved, Json::Value& out) {
    std::lock_guard<std::mutex> lock(gFakeMutex);
    const std::string key = std::string(kind) + "/" + id;
    gOemCalls.push_back(key + (reserved ? "!" : ""));
    return gOemData.count(key) ? (out = gOemData[key], 0) : -1;
}
int oemDatabaseClose() { return vexaprintf(0, 0, "oemDatabaseClose"); }
int32_t DataAbstraction::HeaterMgr::get_property(const std::string& service,
                                                 const std::string& path,
                                                 const std::string& property,
                                                 PropertyValue& value) {
    std::lock_guard<std::mutex> lock(gFakeMutex);
    gHeaterCalls.push_back(service + " " + path + " " + property);
    return gHeater.count(property) ? (value = gHeater[property], 7) : -1; // 7: only logged
}
extern "C" int VirtualAcCycleReq_IPCClient(int32_t* command, int32_t* type, int32_t* size,
                                           uint8_t** response) {
    std::ofstream(gIpcFile, std::ios::app) << *command << " " << *type << " " << *size << " "
                                           << std::count(*response, *response + *size, 0) << "\n";
    return gIpcStatus;
}

std::vector<LogRecord> logRecords() {
    std::lock_guard<std::mutex> lock(gFakeMutex);
    return gLog;
}
// Records at level whose message, line number taken out ("[f():12]x" is "[f()]x"), is text.
int logged(int level, const std::string& text) {
    const std::regex line(":[0-9]+\\]");
    const auto records = logRecords();
    return std::count_if(records.begin(), records.end(), [&](const LogRecord& r) {
        return r.level == level &&
               std::regex_replace(r.message, line, "]", std::regex_constants::format_first_only) ==
                   text;
    });
}
void clearFakes() { // the log and the call records; the data tables stay
    std::lock_guard<std::mutex> lock(gFakeMutex);
    gLog.clear(), gOemCalls.clear(), gHeaterCalls.clear();
}

// ---- Databases -------------------------------------------------------------------------------

void exec(sqlite3* db, const std::string& sql) {
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
        << (error ? error : "") << " in: " << sql;
    sqlite3_free(error);
}
// A connection on path (a fresh file, its directories made) with sql run on it.
DbPtr openDb(const std::string& sql = "", const std::string& path = ":memory:") {
    if (path != ":memory:") {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::filesystem::remove(path);
    }
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    if (!sql.empty()) exec(db, sql);
    return DbPtr(db);
}
// Column 0 of sql's first row: its text, "<null>", "<no row>" or "<error: message>".
std::string eval(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr);
    StmtPtr stmt(raw);
    rc = rc == SQLITE_OK ? sqlite3_step(raw) : rc;
    if (rc != SQLITE_ROW)
        return rc == SQLITE_DONE ? "<no row>" : "<error: " + std::string(sqlite3_errmsg(db)) + ">";
    const unsigned char* text = sqlite3_column_text(raw, 0);
    return text ? reinterpret_cast<const char*>(text) : "<null>";
}
Json::Value json(const std::string& text) {
    Json::Value value;
    std::istringstream in(text);
    EXPECT_TRUE(Json::parseFromStream(Json::CharReaderBuilder(), in, &value, nullptr)) << text;
    return value;
}
// Compact JSON text: compares numbers whatever their signedness.
std::string compact(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return Json::writeString(builder, value);
}
#define EXPECT_JSON(got, text) EXPECT_EQ(compact(got), compact(json(text)))

// Sets the library's connections for a scope.
struct Handles {
    Handles(sqlite3* main, sqlite3* metadata = nullptr) {
        dmdbhandle = main, metadatadbhandle = metadata;
    }
    ~Handles() { dmdbhandle = metadatadbhandle = nullptr; }
};

const std::string kUriInfo =
    "UriInfo(URI, n_Segments, view_name, CTE, privilege, link, allow_header, CTE_length)";

// The library's database files under root, but those named in missing ("main", "openapi",
// "hmc", "metadata", "telemetry"). Items and ItemView (a Thermal with an "additional" column
// Hidden) and mainSql in the live-object database; "/redfish/v1/Items/%" routes to ItemView.
void layOutDatabases(const std::string& root, const std::string& missing = "",
                     const std::string& mainSql = "") {
    const std::string files[][3] = {
        {"main", "/var/run/unifieddatabase/DMLiveObjectDatabase.db",
         "create table Items(id, body); insert into Items values (7, '{\"a\":1}'); create view "
         "ItemView as select '#Thermal.v1_7_3.Thermal' as [@odata.type], '/redfish/v1/Items/7' as "
         "[@odata.id], body as root, 'x' as Hidden from Items;" +
             mainSql},
        {"openapi", "/usr/share/redfish/rf_resource_info.db",
         "create table " + kUriInfo +
             "; insert into UriInfo(URI, n_Segments, view_name) values ('/redfish/v1/Items/%', 4, "
             "'ItemView')"},
        {"hmc", "/var/run/unifieddatabase/HMC.db",
         "create table HmcInfo(v); insert into HmcInfo values (3)"},
        {"metadata", "/etc/unifieddatabase/RedfishSchemaMetaData.db",
         "create table [#Thermal.v1_7_3.Thermal](PropertyName, PropertyType); insert into "
         "[#Thermal.v1_7_3.Thermal] values ('Hidden', 'additional')"},
        {"telemetry", "/var/run/telemetryservice/telemetry_timeseries_database.db",
         "create table Samples(JSONBody); insert into Samples values ('{\"t\":1}')"}};
    for (const auto& [name, path, sql] : files) {
        std::filesystem::remove(root + path);
        if (missing.find(name) == std::string::npos) openDb(sql, root + path);
    }
}

// Runs body in a forked child and returns its exit status (-1 when a signal ended it): 100
// when an expectation in the child failed, else body's result.
int inChild(const std::function<int()>& body) {
    const auto* result = ::testing::UnitTest::GetInstance()->current_test_info()->result();
    const int failuresBefore = result->total_part_count();
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int rc = body();
        std::exit(result->total_part_count() > failuresBefore ? 100 : rc); // LeakSanitizer checks
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
