// The tool's exit statuses, one per kind of outcome, the same for every command.
#ifndef SQL2JSON_TOOLS_COMMON_EXIT_STATUS_HPP
#define SQL2JSON_TOOLS_COMMON_EXIT_STATUS_HPP

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;     // an SQLite failure or a view without JSON; check: problems
constexpr int kExitUsage = 2;      // bad arguments
constexpr int kExitUnknownUri = 3; // no UriInfo pattern matches the URI
constexpr int kExitMissing = 4;    // a database or the schema folder is missing
constexpr int kExitNotFound = 5;   // the statement ran but produced no resource

#endif
