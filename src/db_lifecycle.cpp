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

constexpr const char* kAttachOpenApiSql =
    "attach database '" OPENAPI_DB_PATH "' as openapidb";
constexpr const char* kAttachHmcSql = "attach database '" HMC_DB_PATH "' as hmcdb";

// Attaches the OpenAPI resource database; the library cannot serve without it, so a failure
// ends the process.
void attachOpenApiDatabase() {
    int rc = sqlite3_exec(dmdbhandle, kAttachOpenApiSql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        LOG_AT_AS("OpenDatabaseConnection", kLogFail, "failed to attach OpenapiDB: %d, msg: %s",
                  rc, sqlite3_errmsg(dmdbhandle));
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

}  // namespace

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
