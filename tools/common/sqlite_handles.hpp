// Ownership of the SQLite objects the tool makes itself.
#ifndef SQL2JSON_TOOLS_COMMON_SQLITE_HANDLES_HPP
#define SQL2JSON_TOOLS_COMMON_SQLITE_HANDLES_HPP

#include <memory>

#include <sqlite3.h>

struct StatementFinalizer {
    void operator()(sqlite3_stmt* stmt) const noexcept { sqlite3_finalize(stmt); }
};
// Owns a prepared statement from its prepare on: every return finalizes it.
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

struct ConnectionCloser {
    void operator()(sqlite3* db) const noexcept { sqlite3_close(db); }
};
// Owns a connection the tool opened, a failed open's handle included: every return closes it.
using ConnectionPtr = std::unique_ptr<sqlite3, ConnectionCloser>;

// Prepares sql on db into stmt. Returns the prepare's code; stmt is null for a text without a
// statement. tail, when given, gets the text after the first statement.
int prepareStatement(sqlite3* db, const char* sql, StatementPtr& stmt, const char** tail = nullptr);

#endif
