// What the tests share: recording fakes of the platform layer, databases built by the test and
// forked children for what must happen in a process of its own. Each test executable is one
// source file, which includes this header once; the fakes then take the platform's place.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdarg>
#include <filesystem>
#include <fstream>
#include <mutex>

#include <gtest/gtest.h>
#include <json/json.h>

#include "internal.hpp"
#include "vexa_heater_mgr.h"
#include "vexa_ipc_client.h"
#include "vexa_oem_data.h"

// ---- Platform fakes: tests set the tables before a call and read the records after it ------

std::mutex gFakeMutex;                                      // the library calls from many threads
auto& gLog = *new std::vector<std::pair<int, std::string>>; // level, message; kept through exit
std::map<std::string, Json::Value> gOemData;                // "kind/id" -> what the cache gives
std::vector<std::string> gOemCalls;                         // "kind/id" ("!" when reserved is set)
std::map<std::string, DataAbstraction::HeaterMgr::PropertyValue> gHeater;

extern "C" int vexaprintf(int level, int /*module*/, const char* format, ...) {
    char text[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::lock_guard<std::mutex> lock(gFakeMutex);
    gLog.push_back({level, text});
    return 0;
}
int getResourceOemData(char* kind, char* id, char* reserved, Json::Value& out) {
    const std::string key = std::string(kind) + "/" + id;
    gOemCalls.push_back(key + (reserved ? "!" : ""));
    return gOemData.count(key) ? (out = gOemData[key], 0) : -1;
}
int oemDatabaseClose() { return vexaprintf(0, 0, "oemDatabaseClose"); }
namespace DataAbstraction::HeaterMgr {
int32_t get_property(const std::string& service, const std::string& path, const std::string& name,
                     PropertyValue& value) {
    std::lock_guard<std::mutex> lock(gFakeMutex);
    if (service != "com.vexa.ostra.HeaterManager" || path != "/com/vexa/ostra/HeaterManager")
        return -1;
    // The status (only logged) is the name's length, which tells the properties apart.
    return gHeater.count(name) ? (value = gHeater[name], static_cast<int32_t>(name.size())) : -1;
}
} // namespace DataAbstraction::HeaterMgr
// The request's cycle type and command in one status, in bits 4-3 and 2-0, and bit 8 that the
// child's exit status must drop; 255 for a buffer that is not 4 zero bytes.
extern "C" int VirtualAcCycleReq_IPCClient(int32_t* command, int32_t* type, int32_t* size,
                                           uint8_t** response) {
    const bool zeroed = *size == 4 && std::count(*response, *response + 4, 0) == 4;
    return zeroed ? 0x100 | *type << 3 | *command : 255;
}

// Records at level whose message ends with text ("": every record at level).
int logged(int level, const std::string& text) {
    std::lock_guard<std::mutex> lock(gFakeMutex);
    int count = 0;
    for (const auto& [at, message] : gLog)
        count += at == level && message.size() >= text.size() &&
                 message.compare(message.size() - text.size(), text.size(), text) == 0;
    return count;
}
void clearFakes() { // the log and the call records; the data tables stay
    std::lock_guard<std::mutex> lock(gFakeMutex);
    gLog.clear(), gOemCalls.clear();
}

// ---- Databases -------------------------------------------------------------------------------

void exec(sqlite3* db, const std::string& sql) {
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
        << (error ? error : "") << " in " << sql;
    sqlite3_free(error);
}
// A connection on path (a fresh file, its directories made) with sql run on it.
DbPtr openDb(const std::string& sql = "", const std::string& path = ":memory:") {
    if (path != ":memory:")
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    if (path != ":memory:") std::filesystem::remove(path);
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
    if (rc == SQLITE_OK && (rc = sqlite3_step(raw)) == SQLITE_ROW)
        return sqlite3_column_text(raw, 0)
                   ? reinterpret_cast<const char*>(sqlite3_column_text(raw, 0))
                   : "<null>";
    return rc == SQLITE_DONE ? "<no row>" : "<error: " + std::string(sqlite3_errmsg(db)) + ">";
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
using Codes = std::vector<int>; // several results compared at once

// A call beside the result it must give; a table of them runs in order, each row named on
// failure: expectCalls({CALL(GetMetadata(nullptr, "", out), 1), ...}).
struct CallResult {
    int got;
    int expected;
    const char* call;
};
#define CALL(call, expected)                                                                       \
    CallResult { (call), (expected), #call }
void expectCalls(std::initializer_list<CallResult> rows) {
    for (const CallResult& row : rows)
        EXPECT_EQ(row.got, row.expected) << row.call;
}

const std::string kUriInfo =
    "UriInfo(URI, n_Segments, view_name, CTE, privilege, link, allow_header, CTE_length)";
// The live-object database: ItemView is a Thermal with an "additional" column Hidden, a Fans
// array of FanView rows and a boolean S#Odd; Q holds statements for the two-stage calls.
const std::string kLiveObjects =
    "create table Items(id, body); insert into Items values (7, '{\"a\":1}'); create table"
    " Fan(name); insert into Fan values ('F0'), ('F1'); create table Q(name, sqltext); insert into"
    " Q values ('insert', 'insert into Items values (?, 1)'), ('item', 'select body from Items"
    " where id = ? + 0'), ('null', NULL), ('bad', 'select x from Missing where ?'), ('one',"
    " 'select 1'); create view FanView as select '#Thermal.v1_7_3.Fan' as [@odata.type], name as"
    " Name from Fan; create view ItemView as select '#Thermal.v1_7_3.Thermal' as [@odata.type],"
    " '/redfish/v1/Items/7' as [@odata.id], body as root, 'x' as Hidden, 'select * from FanView'"
    " as Fans, 'true' as [S#Odd] from Items;";

// Every SQL function once; the clock and the inventory file give 1 when their result has the
// expected length, or is NULL as when their block cannot be allocated.
const std::string kEveryFunction =
    "select json_bool('true') || json_bool(NULL) || convertTimeFormat('Mar 15 8:30 2025') ||"
    " convertStringToBytes('0011') || GetHeaterMgrValues(3) || Convert_ReleaseDate('May 1, 2021')"
    " || coalesce(length(GetISODateTime()) = 25, 1) || coalesce(length(LastSystemInventoryTime())"
    " > 0, 1)";

// The library's database files under root, but those whose path holds missing, and mainSql in
// the live-object database. UriInfo routes "/redfish/v1/Items/%" to ItemView. The metadata
// database has a table for every listed type, so that the map loads without failure.
void layOutDatabases(const std::string& root, const std::string& missing = "",
                     const std::string& mainSql = "") {
    std::string metadata = "insert into [#Thermal.v1_7_3.Thermal] values ('Hidden', 'additional'),"
                           " ('Fans', 'array'), ('S#Odd', 'boolean');";
    for (const char* const* type = rf_metadata; *type != nullptr; ++type)
        metadata =
            "create table [" + std::string(*type) + "](PropertyName, PropertyType);" + metadata;
    const std::pair<std::string, std::string> files[] = {
        {"/var/run/unifieddatabase/DMLiveObjectDatabase.db", kLiveObjects + mainSql},
        {"/usr/share/redfish/rf_resource_info.db",
         "create table " + kUriInfo +
             "; insert into UriInfo(URI, n_Segments, view_name) values ('/redfish/v1/Items/%', 4,"
             " 'ItemView')"},
        {"/var/run/unifieddatabase/HMC.db",
         "create table HmcInfo(v); insert into HmcInfo values (3)"},
        {"/etc/unifieddatabase/RedfishSchemaMetaData.db", metadata},
        {"/var/run/telemetryservice/telemetry_timeseries_database.db",
         "create table Samples(JSONBody)"}};
    for (const auto& [path, sql] : files) {
        std::filesystem::remove(root + path);
        if (missing.empty() || path.find(missing) == std::string::npos) openDb(sql, root + path);
    }
}

// Runs body in a forked child and returns its exit status (-1 when a signal ended it): 100
// when an expectation in the child failed, else body's result.
int inChild(const std::function<int()>& body) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int rc = body();
        std::exit(::testing::Test::HasFailure() ? 100 : rc); // LeakSanitizer checks the child
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
