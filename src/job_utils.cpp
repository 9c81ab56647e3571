// Job and platform utilities.
// Exports: dumpUDBTableKey (logs one column of a table of the main database),
// CheckJobIdPresenceInUDB (waits for a job identifier in the job-control table),
// request_vAC (asks the platform for a virtual AC power cycle from a child process).
#include "internal.hpp"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "vexa_ipc_client.h"

namespace {

// Room for the key dump's statement text, terminating NUL included.
constexpr size_t kDumpSqlSize = 256;

constexpr char kJobIdSql[] =
    "select jobInfo_DOT_Key from TblJobControlInfoObj where jobInfo_DOT_Key = ? ";
static_assert(sizeof kJobIdSql - 1 == 75, "job query text changed");

// Pause between two polls of the job-control table.
constexpr std::chrono::microseconds kJobPollPause(500000);

// The virtual AC cycle request as the IPC client takes it.
constexpr int32_t kVacCommand = 4;
constexpr int32_t kVacResponseSize = 4;

// Steps stmt once, repeating the step while the database is busy or locked (bounded).
// Returns the final step status.
int stepWithRetry(sqlite3_stmt* stmt) {
    const int rc = sqlite3_step(stmt);
    return (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) ? retryBusyStep(stmt, rc) : rc;
}

// Logs column 0 of every row of stmt that is not NULL, as "[column]=[value]" at level 1.
// Returns the status that ended the walk: SQLITE_DONE, or the failing step's status.
int logColumnValues(sqlite3_stmt* stmt, const char* column) {
    int rc;
    while ((rc = stepWithRetry(stmt)) == SQLITE_ROW) {
        const unsigned char* value = sqlite3_column_text(stmt, 0);
        if (value != nullptr) {
            LOG_AT_AS("dumpUDBTableKey", kLogSide, "[%s]=[%s]", column,
                      reinterpret_cast<const char*>(value));
        }
    }
    return rc;
}

// Prepares the job query on the main connection with jobId bound to its parameter (jobId
// must outlive the statement). Logs a failure at level 1 as CheckJobIdPresenceInUDB.
// Returns the statement, or null when it could not be prepared or bound.
StmtPtr prepareJobQuery(const char* jobId) {
    sqlite3_stmt* raw = nullptr;
    const int rc = dmdbhandle == nullptr
                       ? SQLITE_MISUSE
                       : sqlite3_prepare_v2(dmdbhandle, kJobIdSql,
                                            static_cast<int>(sizeof kJobIdSql - 1), &raw, nullptr);
    StmtPtr stmt(raw);
    if (rc != SQLITE_OK) {
        LOG_AT_AS("CheckJobIdPresenceInUDB", kLogSide,
                  "DB status: %d, sqlite3_prepare_v3 failure: %s", rc,
                  dmdbhandle != nullptr ? sqlite3_errmsg(dmdbhandle) : sqlite3_errstr(rc));
        return nullptr;
    }
    if (sqlite3_bind_text(stmt.get(), 1, jobId, -1, SQLITE_STATIC) != SQLITE_OK) {
        LOG_AT_AS("CheckJobIdPresenceInUDB", kLogSide, "SQL bind failed ");
        return nullptr;
    }
    return stmt;
}

// Runs the prepared job query about twice a second until it yields a row or, after a pause,
// at least seconds have passed since the first poll (measured on the monotonic clock, so a
// change of the system time neither shortens nor stretches the wait). Queries at least once
// and pauses at least once before giving up. Returns 1 when the job is present, 2 otherwise.
int pollJobQuery(sqlite3_stmt* stmt, long seconds) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    for (;;) {
        if (stepWithRetry(stmt) == SQLITE_ROW) {
            LOG_AT_AS("CheckJobIdPresenceInUDB", kLogDetail, "JobID present");
            return 1;
        }
        LOG_AT_AS("CheckJobIdPresenceInUDB", kLogDetail, "JobID not present");
        std::this_thread::sleep_for(kJobPollPause);
        const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start);
        if (static_cast<long long>(elapsed.count()) >= static_cast<long long>(seconds)) return 2;
        sqlite3_reset(stmt); // the failure it repeats was already handled above
    }
}

// The child's side of request_vAC: waits a second, sends the request and ends the process
// with the low 8 bits of the request's status. Never returns: a forked copy of the caller
// must not run on in the caller's code.
[[noreturn]] void sendVacRequestAndExit(int32_t command, int32_t cycleType, int32_t responseSize,
                                        uint8_t* response) {
    sleep(1);
    LOG_AT_AS("request_vAC", kLogTrace, "[%s]: vAC triggered.\n", "request_vAC");
    const int status = VirtualAcCycleReq_IPCClient(&command, &cycleType, &responseSize, &response);
    std::free(response); // whatever the client left there
    LOG_AT_AS("request_vAC", status == 0 ? kLogTrace : kLogFail, "[%s]: vAC request status %d\n",
              "request_vAC", status);
    _exit(status & 0xFF);
}

} // namespace

// Formats "select <column> from <table>" (names placed as given, unquoted), runs it on the
// main connection and logs at level 1 each non-NULL value of its first column. Logs no entry
// or exit. Returns 0 after a clean run, the prepare status when the text does not compile
// (nothing logged), the failing step's status (as finalize repeats it), SQLITE_MISUSE for a
// null name or main connection, and SQLITE_TOOBIG when the text would not fit in 255
// characters (a cut text could name another table or column).
int dumpUDBTableKey(const char* table, const char* column) {
    if (table == nullptr || column == nullptr || dmdbhandle == nullptr) {
        LOG_AT(kLogFail, "table, column or database handle is null");
        return SQLITE_MISUSE;
    }
    char sql[kDumpSqlSize];
    const int length = std::snprintf(sql, sizeof sql, "select %s from %s", column, table);
    if (length < 0 || static_cast<size_t>(length) >= sizeof sql) {
        LOG_AT(kLogFail, "statement text for [%s] of [%s] is too long", column, table);
        return SQLITE_TOOBIG;
    }
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v2(dmdbhandle, sql, -1, &raw, nullptr);
    StmtPtr stmt(raw);
    if (rc != SQLITE_OK) return rc;
    logColumnValues(stmt.get(), column);
    return sqlite3_finalize(stmt.release());
}

// Waits until jobId is a key of the job-control table, polling about twice a second for up
// to about seconds (and at least one poll and one half-second pause). Returns 1 when present,
// 2 when not present in time, when jobId is null, or when the query cannot be made.
int CheckJobIdPresenceInUDB(const char* jobId, long seconds) {
    LOG_ENTER();
    int result = 2;
    if (jobId == nullptr) {
        LOG_AT(kLogSide, "job identifier is null");
    } else if (StmtPtr stmt = prepareJobQuery(jobId)) {
        result = pollJobQuery(stmt.get(), seconds);
    }
    LOG_EXIT();
    return result;
}

// Hands a virtual AC power-cycle request (cycle type 2 for mode 2, 3 for any other mode) to a
// forked child, which sends it through the IPC client one second later and then ends itself.
// Returns at once in the calling process: 0 once the child exists, 255 when the response
// buffer cannot be allocated or the process cannot be forked (nothing is sent then).
uint8_t request_vAC(int mode) {
    LOG_ENTER();
    const int32_t cycleType = (mode == 2) ? 2 : 3;
    uint8_t* response =
        static_cast<uint8_t*>(std::calloc(1, static_cast<size_t>(kVacResponseSize)));
    if (response == nullptr) {
        LOG_AT(kLogTrace, "[%s]: output - Out of memory.\n", __func__);
        LOG_EXIT();
        return 255;
    }
    LOG_AT(kLogTrace, "[%s]: Calling vAC\n", __func__);
    sync();
    const pid_t pid = fork();
    if (pid == 0) sendVacRequestAndExit(kVacCommand, cycleType, kVacResponseSize, response);
    const int forkErrno = errno;
    std::free(response);
    uint8_t result = 0;
    if (pid < 0) {
        LOG_AT(kLogFail, "[%s]: fork failed, errno %d; vAC not requested\n", __func__, forkErrno);
        result = 255;
    } else {
        LOG_AT(kLogTrace, "[%s]: vAC triggered.\n", __func__);
    }
    LOG_EXIT();
    return result;
}
