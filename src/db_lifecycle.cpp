// Connection lifecycle.
// Exports: dmdbhandle, metadatadbhandle, hmcdbHandle, tdbhandle, OpenDatabaseConnection,
// OpenMetadataDatabaseConnection, CloseDatabaseConnection, CloseMetadataDatabaseConnection,
// and the shared helpers retryBusyStep and logCaughtException.
#include "internal.hpp"

#include <chrono>
#include <cstdlib>
#include <exception>
#include <thread>

#include "vexa_oem_data.h"

sqlite3* dmdbhandle = nullptr;
sqlite3* metadatadbhandle = nullptr;
sqlite3* hmcdbHandle = nullptr;
sqlite3* tdbhandle = nullptr;

namespace {

constexpr const char* kAttachOpenApiSql = "attach database '" OPENAPI_DB_PATH "' as openapidb";
constexpr const char* kAttachHmcSql = "attach database '" HMC_DB_PATH "' as hmcdb";

// Attaches the OpenAPI resource database; the library cannot serve without it, so a failure
// ends the process.
void attachOpenApiDatabase() {
    int rc = sqlite3_exec(dmdbhandle, kAttachOpenApiSql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        LOG_AT_AS("OpenDatabaseConnection", kLogFail, "failed to attach OpenapiDB: %d, msg: %s", rc,
                  sqlite3_errmsg(dmdbhandle));
        std::exit(1);
    }
}

// Opens the separate HMC connection and attaches the HMC database to the main one. Failures
// are logged; the library then works without the "hmcdb" schema.
void openHmcDatabase() {
    int rc = sqlite3_enable_shared_cache(1);
    if (rc != SQLITE_OK) {
        LOG_AT_AS("OpenDatabaseConnection", kLogFail, "DMDB status: %d, Can't open database: %s",
                  rc, sqlite3_errmsg(dmdbhandle));
        return;
    }
    rc = sqlite3_open_v2(HMC_DB_PATH, &hmcdbHandle, SQLITE_OPEN_READONLY, nullptr);
    if (rc != SQLITE_OK) {
        LOG_AT_AS("OpenDatabaseConnection", kLogFail, "failed to attach HMC DB: %d, msg: %s", rc,
                  sqlite3_errmsg(hmcdbHandle));
        LOG_AT_AS("OpenDatabaseConnection", kLogFail, "DMDB status: %d, Can't open database: %s",
                  rc, sqlite3_errmsg(hmcdbHandle));
        return;
    }
    sqlite3_busy_timeout(dmdbhandle, kBusyTimeoutMs);
    rc = sqlite3_exec(dmdbhandle, kAttachHmcSql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        LOG_AT_AS("OpenDatabaseConnection", kLogFail, "failed to attach HMC DB: %d, msg: %s", rc,
                  sqlite3_errmsg(dmdbhandle));
    }
}

// Pragmas that only report: they may name a table or index but change nothing.
bool isReportingPragma(const char* name) {
    static const char* const kReporting[] = {
        "table_info",      "table_xinfo",     "table_list",    "index_list",
        "index_info",      "index_xinfo",     "database_list", "foreign_key_list",
        "function_list",   "collation_list",  "module_list",   "pragma_list",
        "compile_options", "integrity_check", "quick_check",   "foreign_key_check"};
    for (const char* reporting : kReporting)
        if (sqlite3_stricmp(name, reporting) == 0) return true;
    return false;
}

// Authorizer of the main connection. Every caller of the process shares that connection, so
// no statement may change what the others see: temporary objects (which could hide a view),
// attaching or detaching databases, transactions left open, and pragmas that set a value are
// refused when the statement is prepared. Writes to the read-only databases themselves fail
// with SQLITE_READONLY as before.
int guardSharedConnection(void* /*unused*/, int action, const char* arg1, const char* arg2,
                          const char* database, const char* /*trigger*/) {
    switch (action) {
    case SQLITE_CREATE_TEMP_INDEX:
    case SQLITE_CREATE_TEMP_TABLE:
    case SQLITE_CREATE_TEMP_TRIGGER:
    case SQLITE_CREATE_TEMP_VIEW:
    case SQLITE_DROP_TEMP_INDEX:
    case SQLITE_DROP_TEMP_TABLE:
    case SQLITE_DROP_TEMP_TRIGGER:
    case SQLITE_DROP_TEMP_VIEW:
    case SQLITE_CREATE_VTABLE:
    case SQLITE_DROP_VTABLE:
    case SQLITE_ATTACH:
    case SQLITE_DETACH:
    case SQLITE_TRANSACTION:
    case SQLITE_SAVEPOINT:
        return SQLITE_DENY;
    case SQLITE_INSERT:
    case SQLITE_UPDATE:
    case SQLITE_DELETE:
        return database != nullptr && sqlite3_stricmp(database, "temp") == 0 ? SQLITE_DENY
                                                                             : SQLITE_OK;
    case SQLITE_PRAGMA:
        return arg2 == nullptr || (arg1 != nullptr && isReportingPragma(arg1)) ? SQLITE_OK
                                                                               : SQLITE_DENY;
    default:
        return SQLITE_OK;
    }
}

} // namespace

// Logs the exception being handled under logName. Call only from inside a catch block.
void logCaughtException(const char* logName) {
    try {
        throw;
    } catch (const std::exception& e) {
        LOG_AT_AS(logName, kLogFail, "unexpected failure: %s", e.what());
    } catch (...) {
        LOG_AT_AS(logName, kLogFail, "unexpected failure");
    }
}

int retryBusyStep(sqlite3_stmt* stmt, int firstStatus) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
    int rc = firstStatus;
    while ((rc == SQLITE_BUSY || rc == SQLITE_LOCKED) && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        rc = sqlite3_step(stmt);
    }
    return rc;
}

// Opens the main connection read-only (shared cache when it can be enabled), attaches the
// OpenAPI resource and HMC databases, registers the SQL functions and opens the HMC
// connection. Failures are logged; a failed OpenAPI attach or a fatal registration failure
// ends the process with status 1.
void OpenDatabaseConnection() {
    LOG_ENTER();
    int flags = SQLITE_OPEN_READONLY;
    int rc = sqlite3_enable_shared_cache(1);
    if (rc == SQLITE_OK) {
        LOG_AT(kLogTrace,
               "[tembrolix@4200]MEMCHECK: ****** sqlite3_enable_shared_cache(1) returned %d. "
               "Opening in shared mode",
               rc);
        flags |= SQLITE_OPEN_SHAREDCACHE;
    } else {
        LOG_AT(kLogTrace,
               "[tembrolix@4200]MEMCHECK: ****** sqlite3_enable_shared_cache(1) returned %d. "
               "Opening in non-shared mode",
               rc);
    }
    rc = sqlite3_open_v2(LIVE_OBJECT_DB_PATH, &dmdbhandle, flags, nullptr);
    if (rc != SQLITE_OK) {
        LOG_AT(kLogFail, "DMDB status: %d, Can't open database: %s", rc,
               sqlite3_errmsg(dmdbhandle));
    } else {
        sqlite3_busy_timeout(dmdbhandle, kBusyTimeoutMs);
        attachOpenApiDatabase();
        registerSqlFunctions(dmdbhandle);
    }
    openHmcDatabase();
    // From here on no statement of a caller may change the shared connection's state.
    if (rc == SQLITE_OK) sqlite3_set_authorizer(dmdbhandle, guardSharedConnection, nullptr);
    LOG_EXIT();
}

// Opens the schema metadata database read-only. A failure is logged; the map stays empty.
void OpenMetadataDatabaseConnection() {
    LOG_ENTER();
    int rc = sqlite3_open_v2(METADATA_DB_PATH, &metadatadbhandle, SQLITE_OPEN_READONLY, nullptr);
    if (rc != SQLITE_OK) {
        LOG_AT(kLogFail, "RedfishDB status: %d, Can't open Metadatadatabase: %s", rc,
               sqlite3_errmsg(metadatadbhandle));
    }
    LOG_EXIT();
}

// Closes the main connection, then the HMC connection, then tells the OEM data cache to
// close (also when a close failed).
void CloseDatabaseConnection() {
    LOG_ENTER();
    int rc = sqlite3_close(dmdbhandle);
    if (rc != SQLITE_OK) {
        LOG_AT(kLogFail, "DMDB status: %d, Can't close database: %s", rc,
               sqlite3_errmsg(dmdbhandle));
    } else {
        dmdbhandle = nullptr;
    }
    // The HMC connection is ours too; closing it lets a reload start without a leak.
    if (sqlite3_close(hmcdbHandle) == SQLITE_OK) hmcdbHandle = nullptr;
    oemDatabaseClose();
    LOG_EXIT();
}

// Closes the metadata connection. A failure is logged.
void CloseMetadataDatabaseConnection() {
    LOG_ENTER();
    int rc = sqlite3_close(metadatadbhandle);
    if (rc != SQLITE_OK) {
        LOG_AT(kLogFail, "RedfishDB status: %d, Can't close Metadatadatabase: %s", rc,
               sqlite3_errmsg(metadatadbhandle));
    } else {
        metadatadbhandle = nullptr;
    }
    LOG_EXIT();
}
