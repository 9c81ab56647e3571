// What SQLite itself reports of the statements run on a thread, the converter's included:
//
//   installSqliteLog   SQLite's error log (SQLITE_CONFIG_LOG): every statement that fails to
//                      prepare or to step, with SQLite's message, on the thread where it failed
//   watchConnection    SQLite's statement trace (sqlite3_trace_v2) on a connection, such as the
//                      converter's exported main connection: each statement's start, rows, end
//   StatementWatch     a scope that receives those reports for its own thread
//   StatementFailures  a watch that keeps the message of each statement that failed
//
// This is how the tool learns what the converter ran and what failed: from SQLite, never from
// the wording of the converter's own log.
#ifndef SQL2JSON_TOOLS_COMMON_SQLITE_WATCH_HPP
#define SQL2JSON_TOOLS_COMMON_SQLITE_WATCH_HPP

#include <cstdint>
#include <string>
#include <vector>

#include <sqlite3.h>

// Makes the tool SQLite's error log. Only before SQLite is initialised (the process's first
// SQLite call); false when SQLite refuses it.
bool installSqliteLog();

// Traces the statements run on db (null: nothing). Replaces any trace db had.
void watchConnection(sqlite3* db);

// Receives, while it lives, what SQLite reports of the statements run on the constructing
// thread. Watches nest; every watch open on the thread receives each report.
class StatementWatch {
  public:
    StatementWatch();
    virtual ~StatementWatch();
    StatementWatch(const StatementWatch&) = delete;
    StatementWatch& operator=(const StatementWatch&) = delete;

    // A statement of a watched connection begins to run; sql is its text as prepared.
    virtual void started(sqlite3_stmt* /*stmt*/, const char* /*sql*/) {}
    // It produced a row.
    virtual void rowRead(sqlite3_stmt* /*stmt*/) {}
    // It ended (ran out of rows, failed, was reset or finalized) after nanoseconds of running.
    virtual void finished(sqlite3_stmt* /*stmt*/, std::int64_t /*nanoseconds*/) {}
    // A statement (of any connection) failed to prepare or to step: SQLite's code and message
    // ("no such table: PowerLimit").
    virtual void failed(int /*code*/, const std::string& /*message*/) {}

    // The watch that was innermost when this one was made, or null.
    StatementWatch* outerWatch() const { return outer_; }

  private:
    StatementWatch* outer_;
};

// Keeps SQLite's message for every statement that fails on the thread while it lives.
class StatementFailures : public StatementWatch {
  public:
    void failed(int code, const std::string& message) override;
    // The messages in the order the failures happened.
    const std::vector<std::string>& messages() const { return messages_; }

  private:
    std::vector<std::string> messages_;
};

#endif
