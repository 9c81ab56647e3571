// sql2json profile: the statements the converter runs to build one resource, with their times,
// rows and SQLite's plans.
#ifndef SQL2JSON_TOOLS_PROFILE_PROFILE_HPP
#define SQL2JSON_TOOLS_PROFILE_PROFILE_HPP

#include <cstdint>
#include <string>
#include <vector>

#include "common/resource_fetcher.hpp"
#include "common/statement_plan.hpp"

// One statement run for the resource, and the sub-queries run for the rows it gave.
struct ProfiledStatement {
    std::string step;    // "route lookup", "route statement", "engine lookup", "engine view",
                         // "sub-query"
    std::string pointer; // a sub-query's property in the resource (JSON pointer)
    std::string sql;
    std::string database;         // "live-object" or "telemetry"
    std::int64_t nanoseconds = 0; // first step to end (the telemetry statement: the call)
    std::int64_t rows = 0;
    StatementPlan plan;
    std::vector<ProfiledStatement> children;
};

struct ResourceProfile {
    FetchResult fetched;
    std::vector<ProfiledStatement> statements; // in the order they ran, sub-queries below theirs
};

// Fetches uri as get does, recording each statement the converter runs for it through
// SQLite's trace of the main connection, then reads each statement's plan. Sub-queries are
// placed under the statement whose rows hold them, by the engine audit's account of the same
// run. Not thread-safe (check and profile run on one thread).
ResourceProfile profileResource(const std::string& uri);

// Runs `sql2json profile URI [--json]` with the words after "profile": the statement tree of
// the resource at URI, concise for a terminal or as a JSON document. Returns the exit status get
// would give, or 2 for bad arguments.
int runProfile(const std::vector<std::string>& args);

#endif
