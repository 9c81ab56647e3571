// Statement plans (statement_plan.hpp): exports planOf and statementShape.
#include "common/statement_plan.hpp"

#include <cctype>
#include <cstring>
#include <map>
#include <set>
#include <utility>

#include "SqlitetoJsonDefinitions.h"
#include "common/sqlite_handles.hpp"
#include "common/staged_root.hpp"

namespace {

constexpr int kP2IsRegister = 0x02; // OpenRead's p5 flag: p2 names a register, not a page

// Column i of the current row of stmt as text ("" for NULL).
std::string columnText(sqlite3_stmt* stmt, int i) {
    const unsigned char* text = sqlite3_column_text(stmt, i);
    return text != nullptr ? reinterpret_cast<const char*>(text) : "";
}

// SQLite's own message when sql does not prepare on db.
std::string prepared(sqlite3* db, const std::string& sql, StatementPtr& stmt) {
    if (prepareStatement(db, sql.c_str(), stmt) == SQLITE_OK && stmt != nullptr) return "";
    return sqlite3_errmsg(db);
}

// EXPLAIN QUERY PLAN's lines of sql, each indented two spaces per level.
std::string readQueryPlan(sqlite3* db, const std::string& sql, std::vector<std::string>& lines) {
    StatementPtr stmt;
    std::string error = prepared(db, "EXPLAIN QUERY PLAN " + sql, stmt);
    if (!error.empty()) return error;
    std::map<int, std::size_t> depthOf; // node id -> depth
    while (sqlite3_step(stmt.get()) == SQLITE_ROW) {
        const auto parent = depthOf.find(sqlite3_column_int(stmt.get(), 1));
        const std::size_t depth = parent != depthOf.end() ? parent->second + 1 : 0;
        depthOf[sqlite3_column_int(stmt.get(), 0)] = depth;
        lines.push_back(std::string(2 * depth, ' ') + columnText(stmt.get(), 3));
    }
    return "";
}

// The b-trees (database number, root page) that the program of sql visits from the first entry
// to the last: those a cursor opened for reading rewinds to its first (or last) entry.
std::string readWholeTrees(sqlite3* db, const std::string& sql,
                           std::vector<std::pair<int, int>>& trees) {
    StatementPtr stmt;
    std::string error = prepared(db, "EXPLAIN " + sql, stmt);
    if (!error.empty()) return error;
    std::map<int, std::pair<int, int>> cursors; // cursor -> (database, root page)
    std::set<std::pair<int, int>> seen;
    while (sqlite3_step(stmt.get()) == SQLITE_ROW) {
        const std::string opcode = columnText(stmt.get(), 1);
        const int p1 = sqlite3_column_int(stmt.get(), 2);
        if ((opcode == "OpenRead" || opcode == "ReopenIdx") &&
            (sqlite3_column_int(stmt.get(), 6) & kP2IsRegister) == 0) {
            cursors[p1] = {sqlite3_column_int(stmt.get(), 4), sqlite3_column_int(stmt.get(), 3)};
        } else if (opcode == "Rewind" || opcode == "Last") {
            const auto cursor = cursors.find(p1);
            if (cursor != cursors.end() && seen.insert(cursor->second).second)
                trees.push_back(cursor->second);
        }
    }
    return "";
}

// The database names of db by number.
std::map<int, std::string> databaseNames(sqlite3* db) {
    std::map<int, std::string> names;
    StatementPtr stmt;
    if (!prepared(db, "PRAGMA database_list", stmt).empty()) return names;
    while (sqlite3_step(stmt.get()) == SQLITE_ROW)
        names[sqlite3_column_int(stmt.get(), 0)] = columnText(stmt.get(), 1);
    return names;
}

// The table that owns the b-tree at root in database (itself, or the table of an index).
std::string tableAt(sqlite3* db, const std::string& database, int root) {
    const std::string schema = database == "temp" ? "sqlite_temp_schema" : "sqlite_schema";
    char* sql = sqlite3_mprintf("SELECT tbl_name FROM \"%w\".%s WHERE rootpage = %d",
                                database.c_str(), schema.c_str(), root);
    StatementPtr stmt;
    const bool ok = sql != nullptr && prepared(db, sql, stmt).empty();
    sqlite3_free(sql);
    return ok && sqlite3_step(stmt.get()) == SQLITE_ROW ? columnText(stmt.get(), 0) : "";
}

// The rows of database.table now, or -1.
std::int64_t rowCount(sqlite3* db, const std::string& database, const std::string& table) {
    char* sql =
        sqlite3_mprintf("SELECT count(*) FROM \"%w\".\"%w\"", database.c_str(), table.c_str());
    StatementPtr stmt;
    const bool ok = sql != nullptr && prepared(db, sql, stmt).empty();
    sqlite3_free(sql);
    return ok && sqlite3_step(stmt.get()) == SQLITE_ROW ? sqlite3_column_int64(stmt.get(), 0) : -1;
}

// True when a plan line says that a table (or a subquery's result) is read whole, or that an
// automatic index is built.
bool saysScan(const std::string& line) {
    const std::size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos) return false;
    const std::string detail = line.substr(start);
    return (detail.compare(0, 5, "SCAN ") == 0 && detail != "SCAN CONSTANT ROW") ||
           detail.find("AUTOMATIC") != std::string::npos;
}

// The index of the character that closes the quoted text opening at sql[open] (a doubled quote
// inside it is an escaped one), or the last index when it is not closed.
std::size_t quotedEnd(const std::string& sql, std::size_t open) {
    const char close = sql[open] == '[' ? ']' : sql[open];
    for (std::size_t i = open + 1; i < sql.size(); ++i) {
        if (sql[i] != close) continue;
        if (close != ']' && i + 1 < sql.size() && sql[i + 1] == close) {
            ++i;
            continue;
        }
        return i;
    }
    return sql.size() - 1;
}

} // namespace

StatementPlan planOf(sqlite3* db, const std::string& sql) {
    StatementPlan plan;
    if (db == nullptr) {
        plan.error = "no database";
        return plan;
    }
    plan.error = readQueryPlan(db, sql, plan.lines);
    bool scans = false;
    for (const std::string& line : plan.lines)
        scans = scans || saysScan(line);
    std::vector<std::pair<int, int>> trees;
    if (!plan.error.empty() || !scans || !(plan.error = readWholeTrees(db, sql, trees)).empty())
        return plan;
    const std::map<int, std::string> names = databaseNames(db);
    std::set<std::pair<std::string, std::string>> listed;
    for (const auto& [number, root] : trees) {
        const auto name = names.find(number);
        if (name == names.end()) continue;
        const std::string table = tableAt(db, name->second, root);
        if (table.empty() || !listed.insert({name->second, table}).second) continue;
        plan.scans.push_back({name->second, table, rowCount(db, name->second, table)});
    }
    return plan;
}

std::string statementShape(const std::string& sql) {
    std::string shape;
    for (std::size_t i = 0; i < sql.size(); ++i) {
        const char c = sql[i];
        const bool inWord = i > 0 && (std::isalnum(static_cast<unsigned char>(sql[i - 1])) != 0 ||
                                      sql[i - 1] == '_');
        if (c == '\'' || c == '"' || c == '[' || c == '`') {
            const std::size_t end = quotedEnd(sql, i);
            // A string literal becomes '?'; a quoted name stays as it is.
            shape += c == '\'' ? std::string("'?'") : sql.substr(i, end + 1 - i);
            i = end;
        } else if (std::isdigit(static_cast<unsigned char>(c)) != 0 && !inWord) {
            while (i + 1 < sql.size() &&
                   (std::isdigit(static_cast<unsigned char>(sql[i + 1])) != 0 || sql[i + 1] == '.'))
                ++i;
            shape += '0';
        } else {
            shape += c;
        }
    }
    return shape;
}

StatementPlan planOnTelemetry(const std::string& sql) {
    sqlite3* raw = nullptr;
    sqlite3_open_v2(stagedPath(SQL2JSON_TELEMETRY_DB_FILE).c_str(), &raw, SQLITE_OPEN_READONLY,
                    nullptr);
    const ConnectionPtr db(raw);
    return planOf(db.get(), sql);
}
