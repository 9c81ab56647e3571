// SQLite's reports of the statements run on a thread (sqlite_watch.hpp): exports
// installSqliteLog, watchConnection, StatementWatch and StatementFailures.
#include "common/sqlite_watch.hpp"

#include <cstring>

namespace {

// The watches open on this thread, innermost first (a plain pointer: no constructor runs).
thread_local StatementWatch* tInnermost = nullptr;
// The text of the statement that last began to run on this thread, to read SQLite's message
// of a step that fails out of its report.
thread_local std::string tRunningSql;

const char kAbortPrefix[] = "statement aborts at ";
const char kPrepareSeparator[] = " in \"";

// SQLite's message of a failed statement, from its report: a prepare is reported as
// MESSAGE in "SQL", a step as statement aborts at N: [SQL] MESSAGE. False for any other report
// (a file that cannot be opened, a warning, a notice).
bool failureMessage(const char* report, std::string& message) {
    const std::string text = report != nullptr ? report : "";
    if (text.compare(0, sizeof kAbortPrefix - 1, kAbortPrefix) == 0) {
        const std::string known = "[" + tRunningSql + "] ";
        const std::size_t open = text.find(": [");
        if (open != std::string::npos && text.compare(open + 2, known.size(), known) == 0) {
            message = text.substr(open + 2 + known.size());
            return true;
        }
        const std::size_t close = text.rfind("] ");
        if (close == std::string::npos) return false;
        message = text.substr(close + 2);
        return true;
    }
    const std::size_t separator = text.find(kPrepareSeparator);
    if (separator == std::string::npos || text.back() != '"') return false;
    message = text.substr(0, separator);
    return true;
}

// SQLite's error log: a failed statement reaches the watches of the failing thread.
void logReport(void* /*context*/, int code, const char* report) noexcept {
    const int primary = code & 0xff;
    if (tInnermost == nullptr || primary == SQLITE_NOTICE || primary == SQLITE_WARNING ||
        primary == SQLITE_SCHEMA)
        return;
    try {
        std::string message;
        if (!failureMessage(report, message)) return;
        for (StatementWatch* watch = tInnermost; watch != nullptr; watch = watch->outerWatch())
            watch->failed(code, message);
    } catch (...) {
        // out of memory: the failure still shows in the statement's own result
    }
}

// SQLite's trace of the watched connections.
int traceReport(unsigned int event, void* /*context*/, void* p, void* x) noexcept {
    if (tInnermost == nullptr) return 0;
    auto* stmt = static_cast<sqlite3_stmt*>(p);
    try {
        if (event == SQLITE_TRACE_STMT) tRunningSql = static_cast<const char*>(x);
        for (StatementWatch* watch = tInnermost; watch != nullptr; watch = watch->outerWatch()) {
            if (event == SQLITE_TRACE_STMT) watch->started(stmt, static_cast<const char*>(x));
            if (event == SQLITE_TRACE_ROW) watch->rowRead(stmt);
            if (event == SQLITE_TRACE_PROFILE)
                watch->finished(stmt, *static_cast<const sqlite3_int64*>(x));
        }
    } catch (...) {
        // out of memory: the watch misses this report
    }
    return 0;
}

} // namespace

bool installSqliteLog() {
    return sqlite3_config(SQLITE_CONFIG_LOG, logReport, nullptr) == SQLITE_OK;
}

void watchConnection(sqlite3* db) {
    if (db == nullptr) return;
    sqlite3_trace_v2(db, SQLITE_TRACE_STMT | SQLITE_TRACE_ROW | SQLITE_TRACE_PROFILE, traceReport,
                     nullptr);
}

StatementWatch::StatementWatch() : outer_(tInnermost) { tInnermost = this; }

StatementWatch::~StatementWatch() { tInnermost = outer_; }

void StatementFailures::failed(int /*code*/, const std::string& message) {
    messages_.push_back(message);
}
