// What SQLite plans for a statement, read with SQLite's own EXPLAIN and EXPLAIN QUERY PLAN on
// the connection it runs on (nothing is run):
//
//   planOf          the plan's lines and the tables the statement reads whole
//   planOnTelemetry planOf on a connection of its own to the (staged) telemetry database,
//                   where the converter runs a statement that holds the telemetry marker
//   TableScan       one such table: its database, name and rows now
//   statementShape  a statement's text with its literals replaced, to tell members of one
//                   route apart from statements of another shape
//
// A table is read whole when its rows, or the entries of one of its indexes, are visited from
// the first to the last: a scan (EXPLAIN QUERY PLAN says "SCAN"), also the scan that fills an
// automatic index before a search. Such a statement costs more the more rows the table holds.
#ifndef SQL2JSON_TOOLS_COMMON_STATEMENT_PLAN_HPP
#define SQL2JSON_TOOLS_COMMON_STATEMENT_PLAN_HPP

#include <cstdint>
#include <string>
#include <vector>

#include <sqlite3.h>

struct TableScan {
    std::string database; // "main", "openapidb", "hmcdb", ...
    std::string table;
    std::int64_t rows = -1; // -1 when they cannot be counted
};

struct StatementPlan {
    std::string error;              // why there is no plan ("" when there is one)
    std::vector<std::string> lines; // EXPLAIN QUERY PLAN's lines, indented by depth
    std::vector<TableScan> scans;   // each table read whole, once, in the order met
};

// The plan of sql on db; error set when it does not prepare there.
StatementPlan planOf(sqlite3* db, const std::string& sql);

// The plan of sql on a read-only connection of its own to the telemetry database under the
// staged root.
StatementPlan planOnTelemetry(const std::string& sql);

// sql with each string literal replaced by '?' and each number by 0: the statements of two
// members of one route have one shape.
std::string statementShape(const std::string& sql);

#endif
