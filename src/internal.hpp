// What the library's source files share: logging, fixed paths, SQLite ownership helpers.
#ifndef SQL2JSON_INTERNAL_HPP
#define SQL2JSON_INTERNAL_HPP

#include <memory>

#include <json/value.h>
#include <sqlite3.h>

#include "SqlitetoJsonConverter.h"
#include "SqlitetoJsonDefinitions.h"
#include "vexa_logging.h"

// ---- Logging ---------------------------------------------------------------------------------

constexpr int kLogModule = 139;
constexpr int kLogSide = 1;   // side-path failures and dumps
constexpr int kLogFail = 2;   // failures
constexpr int kLogTrace = 4;  // entry, exit, progress
constexpr int kLogDetail = 5; // detailed values
#define SQL2JSON_LOG_FILE "SqlitetoJsonConverter.cpp"

// Entry and exit use the function's own name; LOG_*_AS take an explicit log name for code that
// logs under another function's name (helpers, lambdas).
#define LOG_ENTER_AS(name)                                                                         \
    vexaprintf(kLogTrace, kLogModule, "[%s:%d]Entering %s Function", SQL2JSON_LOG_FILE, __LINE__,  \
               name)
#define LOG_EXIT_AS(name)                                                                          \
    vexaprintf(kLogTrace, kLogModule, "[%s:%d]Exiting %s Function", SQL2JSON_LOG_FILE, __LINE__,   \
               name)
#define LOG_AT_AS(name, level, fmt, ...)                                                           \
    vexaprintf(level, kLogModule, "[%s():%d]" fmt, name, __LINE__, ##__VA_ARGS__)

#define LOG_ENTER() LOG_ENTER_AS(__func__)
#define LOG_EXIT() LOG_EXIT_AS(__func__)
#define LOG_AT(level, fmt, ...) LOG_AT_AS(__func__, level, fmt, ##__VA_ARGS__)

// ---- Fixed paths -----------------------------------------------------------------------------

// Compile-time prefix of every fixed path (empty in production builds).
#ifndef SQL2JSON_PATH_PREFIX
#define SQL2JSON_PATH_PREFIX ""
#endif
#define FIXED_PATH(path) SQL2JSON_PATH_PREFIX path

#define LIVE_OBJECT_DB_PATH FIXED_PATH(SQL2JSON_LIVE_OBJECT_DB_FILE)
#define OPENAPI_DB_PATH FIXED_PATH(SQL2JSON_OPENAPI_DB_FILE)
#define HMC_DB_PATH FIXED_PATH(SQL2JSON_HMC_DB_FILE)
#define METADATA_DB_PATH FIXED_PATH(SQL2JSON_METADATA_DB_FILE)
#define TELEMETRY_DB_PATH FIXED_PATH(SQL2JSON_TELEMETRY_DB_FILE)
#define INVENTORY_TIME_PATH FIXED_PATH(SQL2JSON_INVENTORY_TIME_FILE)

// ---- SQLite ownership --------------------------------------------------------------------------

struct StmtFinalizer {
    void operator()(sqlite3_stmt* stmt) const noexcept { sqlite3_finalize(stmt); }
};
using StmtPtr = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

struct DbCloser {
    void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};
using DbPtr = std::unique_ptr<sqlite3, DbCloser>;

// The main connection's busy timeout; also the bound on every busy/locked retry loop.
constexpr int kBusyTimeoutMs = 10000;

// Steps stmt again while it reports SQLITE_BUSY or SQLITE_LOCKED, pausing 1 ms between tries,
// for at most kBusyTimeoutMs in all. firstStatus is the status of the step already made.
// Returns the last step status.
int retryBusyStep(sqlite3_stmt* stmt, int firstStatus);

// Logs the exception being handled, under logName, at level 2. Call only from a catch block.
void logCaughtException(const char* logName);

// ---- Cross-subsystem hooks ---------------------------------------------------------------------

// Registers the custom SQL functions on db (the main connection), logging as
// OpenDatabaseConnection. Ends the process for the registrations whose failure is fatal.
void registerSqlFunctions(sqlite3* db);

// Builds the schema property-type map from metadatadbhandle. Run once at load.
void loadPropertyTypeMap();

// The schema property-type map: null, or an object "@odata.type" -> {property -> type}.
const Json::Value& propertyTypeMap();

#endif // SQL2JSON_INTERNAL_HPP
