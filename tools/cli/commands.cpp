// get, view and resolve (commands.hpp): exports runGet, runView, runResolve, kUsage, kHelp,
// fetchStatus, fail and usageError.
#include "cli/commands.hpp"

#include <iostream>

#include <json/value.h>
#include <sqlite3.h>

#include "SqlitetoJsonConverter.h"
#include "SqlitetoJsonDefinitions.h"
#include "common/exit_status.hpp"
#include "common/json_text.hpp"
#include "common/resource_fetcher.hpp"
#include "common/sqlite_handles.hpp"
#include "common/staged_root.hpp"

const char kUsage[] = "usage: sql2json [OPTIONS] get URI\n"
                      "       sql2json [OPTIONS] view [--array | --subarray] [--expand N] SQL\n"
                      "       sql2json [OPTIONS] resolve URI\n"
                      "       sql2json [OPTIONS] profile URI [--json]\n"
                      "       sql2json [OPTIONS] serve [--port N] [--bind ADDR] [--workers N]\n"
                      "                [--expand-workers N] [--max-wait SECONDS]\n"
                      "                [--expand-max-resources N] [--expand-max-bytes N]\n"
                      "       sql2json [OPTIONS] check --schemas DIR [--json] [--from URI]\n"
                      "       sql2json --help | --version\n"
                      "OPTIONS: --root DIR, --log-level N\n";

const char kHelp[] =
    "\n"
    "  get URI       print the resource at URI as indented JSON, exactly as serve answers\n"
    "                it: the route UriInfo gives for URI, its statement run with URI as the\n"
    "                parameter, and the resource built again by the engine when its type is\n"
    "                one the converter formats (EngineViews names the view)\n"
    "  view SQL      run one SQL query over the views through the converter's engine and\n"
    "                print the formatted tree: an object (default; it holds the query's LAST\n"
    "                row, and a query that gives more rows is warned about), an array of\n"
    "                objects (--array) or one flat array of values (--subarray). --expand N\n"
    "                (1 to 6, default 1) is the expand depth handed to the engine, which\n"
    "                passes it down its sub-queries one less at each level; sub-queries run\n"
    "                whatever it is, so it changes no output of the sample's views\n"
    "  resolve URI   print the statement that produces URI's root column, then an SQL\n"
    "                comment naming the database it runs on (the telemetry database when the\n"
    "                statement holds \"JSON\", else the live-object database)\n"
    "  profile URI   fetch URI as get does and print each statement the converter ran\n"
    "                for it, as a tree (route lookup, route statement, engine view, each\n"
    "                sub-query under the property it fills): its time, rows and SQLite's\n"
    "                plan, and each table it reads whole, with its row count; a total at\n"
    "                the end. --json writes a JSON document. URIs fail as get's do\n"
    "  serve         answer GET and HEAD requests for /redfish and /redfish/v1/... over\n"
    "                HTTP as a read-only Redfish service, on 127.0.0.1 port 8000 unless\n"
    "                --bind and --port say otherwise (--port 0: any free port; a port in use\n"
    "                fails with status 1); logs one line per request on standard error;\n"
    "                stops on SIGINT or SIGTERM. Bounds: --workers threads (default 8)\n"
    "                answer connections, --expand-workers of them (2) expansions; a\n"
    "                request waiting longer than --max-wait seconds (2) for either is 503;\n"
    "                one expansion places at most --expand-max-resources resources (1000)\n"
    "                and --expand-max-bytes bytes of JSON (1048576), else 400\n"
    "  check         walk the service from /redfish/v1 (or --from URI), following every\n"
    "                \"@odata.id\", and report each resource that breaks DMTF's JSON schema of\n"
    "                its \"@odata.type\" (from the folder DIR: NAME.json for\n"
    "                http://redfish.dmtf.org/schemas/v1/NAME.json) or the service's links:\n"
    "                \"@odata.id\" differing from the URI, counts differing from their arrays,\n"
    "                links that no route or row serves, fragments that point at nothing;\n"
    "                and what the engine would drop without a word: statements (sub-queries\n"
    "                at any depth) that fail, nested columns the metadata does not list,\n"
    "                engine views named for a type the converter does not load; and the\n"
    "                routes that no URI of the walk matches (below --from). A fault met in\n"
    "                many rows, links or resources is one problem, with its count and first\n"
    "                places. One line per problem and a summary line; --json writes a JSON\n"
    "                document (on exit status 2 or 4 nothing: the reason is on standard error)\n"
    "\n"
    "Exit status: 0 success (check: no problem), 1 query failed (check: problems found),\n"
    "2 bad arguments, 3 unknown URI, 4 database or schema folder missing, 5 no resource or\n"
    "no row.\n"
    "Root: --root DIR (or SQL2JSON_ROOT=DIR) opens every file that the converter and its host\n"
    "platform layer open (databases, inventory-time file, host data files) under DIR, a staged\n"
    "root file system, instead of under the prefix the tool was built with. Every command but\n"
    "--help and --version first names each of those files that is missing: a database the\n"
    "tree needs ends it with status 4, any other file is a note naming what goes without it.\n"
    "Log: the converter's and the tool's failures go to standard error. --log-level N (or\n"
    "SQL2JSON_LOG_LEVEL=N) shows the converter's messages up to level N instead: 2 adds the\n"
    "schema properties that a view does not supply, 5 shows everything, 0 nothing.\n";

namespace {

// Options of view, as parsed from the command line.
struct ViewOptions {
    unsigned int objectType = kJsonObjectType;
    int expandDepth = 0; // 0: not given
    std::string sql;
};

// Parses a whole decimal number in [1, 6]; false for anything else.
bool parseExpandDepth(const std::string& text, int& depth) {
    if (text.size() != 1 || text[0] < '1' || text[0] > '6') return false;
    depth = text[0] - '0';
    return true;
}

// Fills options from args. Returns kExitOk, or kExitUsage after reporting the problem.
int parseViewOptions(const std::vector<std::string>& args, ViewOptions& options) {
    bool haveSql = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--array" || arg == "--subarray") {
            if (options.objectType != kJsonObjectType)
                return usageError("give one of --array, --subarray");
            options.objectType = arg == "--array" ? kJsonArrayType : kJsonSubArrayType;
        } else if (arg == "--expand") {
            if (i + 1 == args.size() || !parseExpandDepth(args[i + 1], options.expandDepth)) {
                return usageError("--expand takes a depth from 1 to 6");
            }
            ++i;
        } else if (!haveSql && !(arg.size() > 1 && arg[0] == '-' && arg[1] == '-')) {
            options.sql = arg;
            haveSql = true;
        } else {
            return usageError(haveSql ? "view takes one SQL query" : "unknown option " + arg);
        }
    }
    return haveSql ? kExitOk : usageError("view needs an SQL query");
}

// What the tool learns of a view query by preparing it on the main connection.
struct QueryShape {
    bool empty = false;    // no statement at all (blank or only comments)
    bool more = false;     // text after the first statement holds another one
    bool manyRows = false; // the first statement gives more than one row
};

// Prepares sql (and what follows its first statement) without changing anything, and steps
// the first statement at most twice. A text that does not prepare leaves shape as it is: the
// engine then reports the failure.
QueryShape shapeOf(const std::string& sql) {
    QueryShape shape;
    if (dmdbhandle == nullptr) return shape;
    StatementPtr first;
    const char* tail = nullptr;
    if (prepareStatement(dmdbhandle, sql.c_str(), first, &tail) != SQLITE_OK) return shape;
    shape.empty = first == nullptr;
    if (first == nullptr) return shape;
    StatementPtr second;
    // Something that is not even a statement after the first counts as more.
    shape.more = tail != nullptr &&
                 (prepareStatement(dmdbhandle, tail, second) != SQLITE_OK || second != nullptr);
    shape.manyRows =
        sqlite3_step(first.get()) == SQLITE_ROW && sqlite3_step(first.get()) == SQLITE_ROW;
    return shape;
}

} // namespace

// Prints one diagnostic line and returns status, so callers can `return fail(...)`.
int fail(int status, const std::string& message) {
    std::cerr << "sql2json: " << message << '\n';
    return status;
}

int usageError(const std::string& message) {
    std::cerr << "sql2json: " << message << '\n' << kUsage;
    return kExitUsage;
}

int runResolve(const std::vector<std::string>& args) {
    if (args.size() != 1) return usageError("resolve takes exactly one URI");
    std::string statement;
    const int rc = GetViewNameFromopenApiDB(args[0].c_str(), statement);
    if (rc != SQLITE_OK)
        return fail(kExitFailed, "resolving " + args[0] + ": " + sqliteFailure(rc));
    if (routeOf(statement).empty())
        return fail(kExitUnknownUri, "no resource pattern matches URI " + args[0]);
    const bool telemetry = runsOnTelemetry(statement);
    std::cout << statement << "\n-- runs on "
              << (telemetry
                      ? "the telemetry database " + stagedPath(SQL2JSON_TELEMETRY_DB_FILE)
                      : "the live-object database " + stagedPath(SQL2JSON_LIVE_OBJECT_DB_FILE))
              << '\n';
    return kExitOk;
}

int fetchStatus(const std::string& uri, const FetchResult& result) {
    switch (result.outcome) {
    case FetchOutcome::Found:
        return kExitOk;
    case FetchOutcome::NoRoute:
        return fail(kExitUnknownUri, "no resource pattern matches URI " + uri);
    case FetchOutcome::NoResource:
        return fail(kExitNotFound, "no resource at " + uri);
    case FetchOutcome::Failed:
        break;
    }
    return fail(kExitFailed, uri + ": " + result.detail);
}

int runGet(const std::vector<std::string>& args) {
    if (args.size() != 1) return usageError("get takes exactly one URI");
    const std::string uri = withoutTrailingSlashes(args[0]);
    const FetchResult result = fetchResource(uri);
    const int status = fetchStatus(uri, result);
    if (status == kExitOk) std::cout << resourceText(result.resource);
    return status;
}

int runView(const std::vector<std::string>& args) {
    ViewOptions options;
    int status = parseViewOptions(args, options);
    if (status != kExitOk) return status;
    const QueryShape shape = shapeOf(options.sql);
    if (shape.empty) return usageError("the query is empty");
    if (shape.more) return usageError("view runs one SQL statement; the query holds more");
    Json::Value out(options.objectType == kJsonObjectType ? Json::nullValue : Json::arrayValue);
    const int rc =
        options.expandDepth == 0
            ? GetJsonDataFromSQLViewUsingQuery(options.sql.c_str(), out, options.objectType)
            : GetJsonDataFromSQLViewUsingQuery(options.sql.c_str(), out, options.objectType, 0,
                                               options.expandDepth);
    if (rc != 0) {
        const char* detail = dmdbhandle != nullptr ? sqlite3_errmsg(dmdbhandle) : "no database";
        return fail(kExitFailed, "query failed: " + sqliteFailure(rc) + ": " + detail);
    }
    if (out.isNull()) return fail(kExitNotFound, "the query returned no row");
    std::cout << resourceText(out);
    if (options.objectType == kJsonObjectType && shape.manyRows) {
        fail(kExitOk, "the query gave more than one row; printed the last (--array prints all)");
    }
    return kExitOk;
}
