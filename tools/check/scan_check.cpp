// check's scan problems (scan_check.hpp): exports ScanCheck.
#include "check/scan_check.hpp"

#include <cctype>
#include <cstring>
#include <regex>

#include "SqlitetoJsonConverter.h"
#include "common/json_pointer.hpp"
#include "common/sqlite_handles.hpp"
#include "common/statement_plan.hpp"

namespace {

const std::size_t kShownSql = 96; // characters of a sub-query's text shown in a message

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

// True when sql holds the keyword word (upper case) at at, in any case.
bool startsWord(const std::string& sql, std::size_t at, const char* word) {
    for (std::size_t i = 0; word[i] != '\0'; ++i) {
        if (at + i >= sql.size() ||
            std::toupper(static_cast<unsigned char>(sql[at + i])) != word[i])
            return false;
    }
    const std::size_t after = at + std::strlen(word);
    return after >= sql.size() || std::isalnum(static_cast<unsigned char>(sql[after])) == 0;
}

// The expression a SELECT in sql gives the column "@odata.id" (AS [@odata.id] or
// AS "@odata.id"), or "" when there is none: the text from the start of that result column.
std::string odataIdExpression(const std::string& sql) {
    static const std::regex kAlias(R"(^\s+AS\s+(\[@odata\.id\]|"@odata\.id"))", std::regex::icase);
    std::vector<std::size_t> itemStart{0}; // where the current result column began, per depth
    for (std::size_t i = 0; i < sql.size(); ++i) {
        const char c = sql[i];
        if (c == '\'' || c == '"' || c == '[') {
            const std::size_t end = sql.find(c == '[' ? ']' : c, i + 1);
            if (end == std::string::npos) return "";
            i = end;
        } else if (c == '(') {
            itemStart.push_back(i + 1);
        } else if (c == ')' && itemStart.size() > 1) {
            itemStart.pop_back();
        } else if (c == ',') {
            itemStart.back() = i + 1;
        } else if ((i == 0 || std::isalnum(static_cast<unsigned char>(sql[i - 1])) == 0) &&
                   startsWord(sql, i, "SELECT")) {
            itemStart.back() = i + 6;
        }
        std::smatch alias;
        const std::string rest =
            i + 1 < sql.size() && std::isspace(static_cast<unsigned char>(sql[i + 1])) != 0
                ? sql.substr(i + 1, 40)
                : std::string();
        if (!rest.empty() && std::regex_search(rest, alias, kAlias)) {
            const std::size_t begin = itemStart.back();
            std::string expression = sql.substr(begin, i + 1 - begin);
            const std::size_t first = expression.find_first_not_of(" \t\n");
            return first == std::string::npos ? "" : expression.substr(first);
        }
    }
    return "";
}

// The SQL of the view named name in any database of db, or "".
std::string viewSql(sqlite3* db, const std::string& name) {
    StatementPtr list;
    if (prepareStatement(db, "PRAGMA database_list", list) != SQLITE_OK) return "";
    while (sqlite3_step(list.get()) == SQLITE_ROW) {
        const unsigned char* schema = sqlite3_column_text(list.get(), 1);
        char* sql =
            sqlite3_mprintf("SELECT sql FROM \"%w\".sqlite_schema WHERE type = 'view' AND "
                            "name = %Q",
                            schema ? reinterpret_cast<const char*>(schema) : "main", name.c_str());
        StatementPtr stmt;
        const bool ok = sql != nullptr && prepareStatement(db, sql, stmt) == SQLITE_OK && stmt;
        sqlite3_free(sql);
        if (ok && sqlite3_step(stmt.get()) == SQLITE_ROW && sqlite3_column_text(stmt.get(), 0))
            return reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 0));
    }
    return "";
}

// True when view (its SQL) reads table under the name alias ("FROM BootOptions b").
bool bindsAlias(const std::string& view, const std::string& table, const std::string& alias) {
    const std::regex binding("\\b" + table + "\\s+(AS\\s+)?" + alias + "\\b", std::regex::icase);
    return std::regex_search(view, binding);
}

// True when expression, selected by view, reads table's columns only: its plain words name
// columns of table, and a qualified one's qualifier is the name view reads table under.
bool usesColumnsOf(sqlite3* db, const TableScan& table, const std::string& expression,
                   const std::string& view) {
    char* sql = sqlite3_mprintf("SELECT name FROM pragma_table_info(%Q, %Q)", table.table.c_str(),
                                table.database.c_str());
    StatementPtr stmt;
    const bool ok = sql != nullptr && prepareStatement(db, sql, stmt) == SQLITE_OK && stmt;
    sqlite3_free(sql);
    std::set<std::string> columns;
    while (ok && sqlite3_step(stmt.get()) == SQLITE_ROW)
        columns.insert(reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 0)));
    static const std::regex kWord(R"('[^']*'|([A-Za-z_][A-Za-z0-9_]*)(\.[A-Za-z_]\w*)?)");
    bool any = false;
    for (std::sregex_iterator it(expression.begin(), expression.end(), kWord), end; it != end;
         ++it) {
        if ((*it)[1].length() == 0) continue; // a string literal
        const bool qualified = (*it)[2].length() > 0;
        const std::string word = qualified ? (*it)[2].str().substr(1) : (*it)[1].str();
        if (columns.count(word) == 0) return false;
        if (qualified && !bindsAlias(view, table.table, (*it)[1].str())) return false;
        any = true;
    }
    return any;
}

// The plan of shape's text on the connection it runs on.
StatementPlan planOn(const std::string& sql, bool telemetry) {
    return telemetry ? planOnTelemetry(sql) : planOf(dmdbhandle, sql);
}

} // namespace

ScanCheck::ScanCheck(const std::vector<Route>& routes) {
    for (const Route& route : routes) {
        if (route.isMember() && patterns_.count(route.view) == 0)
            patterns_[route.view] = route.pattern;
    }
}

void ScanCheck::add(const std::string& uri, const FetchResult& fetched, const EngineAudit* audit) {
    if (patterns_.count(fetched.route) == 0) return;
    if (shapes_.count(fetched.route) == 0) routeOrder_.push_back(fetched.route);
    ++members_[fetched.route];
    addStatement(fetched.route, {uri, "", "the route's statement", fetched.statement, fetched.route,
                                 runsOnTelemetry(fetched.statement), 0});
    if (audit == nullptr) return;
    for (const AuditedStatement& statement : audit->statements) {
        const bool engineView = statement.depth == 0;
        const std::string shown = statement.sql.size() > kShownSql
                                      ? statement.sql.substr(0, kShownSql) + "..."
                                      : statement.sql;
        addStatement(fetched.route,
                     {uri, statement.pointer,
                      engineView
                          ? "the query of " + statement.label
                          : "the sub-query of " + quoted(statement.pointer) + " (" + shown + ")",
                      statement.sql, engineView ? fetched.engineView : "", false, 0});
    }
}

void ScanCheck::addStatement(const std::string& route, Shape shape) {
    const std::string key = pointerShape(shape.pointer) + "\n" + statementShape(shape.sql);
    auto& byShape = shapes_[route];
    const auto found = byShape.find(key);
    if (found == byShape.end()) byShape.emplace(key, std::move(shape));
}

std::vector<ScanFinding> ScanCheck::findings() const {
    std::vector<ScanFinding> found;
    for (const std::string& route : routeOrder_) {
        std::set<std::string> tables; // of this route, one finding each
        for (const auto& entry : shapes_.at(route)) {
            const Shape& shape = entry.second;
            const StatementPlan plan = planOn(shape.sql, shape.telemetry);
            std::string view = shape.view.empty() || shape.telemetry
                                   ? std::string()
                                   : viewSql(dmdbhandle, shape.view);
            if (view.empty() && shape.view == route) view = shape.sql; // a view of its CTE
            const std::string expression = odataIdExpression(view);
            for (const TableScan& scan : plan.scans) {
                if (!tables.insert(scan.database + "." + scan.table).second) continue;
                const bool byId =
                    !expression.empty() && usesColumnsOf(dmdbhandle, scan, expression, view);
                found.push_back({shape.uri, shape.pointer,
                                 shape.role + " reads table " + scan.table + " whole (" +
                                     std::to_string(scan.rows) +
                                     (scan.rows == 1 ? " row" : " rows") +
                                     ") for each GET of a member of " + patterns_.at(route) + " (" +
                                     std::to_string(members_.at(route)) + " walked): to search, " +
                                     scan.table + " needs an index on " +
                                     (byId ? "the expression the view selects as \"@odata.id\", (" +
                                                 expression + ")"
                                           : "the columns the statement compares")});
            }
        }
    }
    return found;
}
