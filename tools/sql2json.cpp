// sql2json: serve Redfish resources from the converter's SQLite views on a shell.
//
//   sql2json get URI          print the resource at URI (resource_fetcher.hpp)
//   sql2json view [--array | --subarray] [--expand N] SQL
//                             run a view query through the engine and print the tree
//   sql2json resolve URI      print the statement that produces URI's root column
//   sql2json serve [--port N] [--bind ADDR]
//                             answer Redfish requests over HTTP (serve.cpp)
//   sql2json check --schemas DIR [--json] [--from URI]
//                             check the whole service against DMTF's schemas (check.cpp)
//
// Results go to standard output, diagnostics to standard error as one line each. The
// converter opens its databases while the program is loaded, under the path prefix both were
// built with, or under --root DIR (staged_root.hpp); the global options are read, the root put
// in place and the required databases checked before that load, so that a missing database is
// reported instead of letting the load end the process.
#include <unistd.h>

#include <climits>
#include <cstring>
#include <exception>
#include <initializer_list>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <json/value.h>
#include <sqlite3.h>

#include "SqlitetoJsonConverter.h"
#include "check.hpp"
#include "resource_fetcher.hpp"
#include "serve.hpp"
#include "staged_root.hpp"
#include "tool_log.hpp"

#ifndef SQL2JSON_TOOL_VERSION
#define SQL2JSON_TOOL_VERSION "unknown"
#endif

namespace {

// Exit statuses, one per kind of failure.
constexpr int kExitOk = 0;
constexpr int kExitQueryFailed = 1; // an SQLite failure, or a view that yields no JSON
constexpr int kExitUsage = 2;       // bad arguments
constexpr int kExitUnknownUri = 3;  // no UriInfo pattern matches the URI
constexpr int kExitNoDatabase = 4;  // a database the converter needs is missing
constexpr int kExitNotFound = 5;    // the statement ran but produced no resource

// Databases without which the converter cannot serve anything; the others (HMC, telemetry)
// only cost the resources built from them, which then fail with their own message.
const char* const kRequiredDatabases[] = {kLiveObjectDbPath, kOpenApiDbPath, kMetadataDbPath};

const char kUsage[] = "usage: sql2json [OPTIONS] get URI\n"
                      "       sql2json [OPTIONS] view [--array | --subarray] [--expand N] SQL\n"
                      "       sql2json [OPTIONS] resolve URI\n"
                      "       sql2json [OPTIONS] serve [--port N] [--bind ADDR]\n"
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
    "  serve         answer GET and HEAD requests for /redfish and /redfish/v1/... over\n"
    "                HTTP as a read-only Redfish service, on 127.0.0.1 port 8000 unless\n"
    "                --bind and --port say otherwise (--port 0: any free port; a port in use\n"
    "                fails with status 1); logs one line per request on standard error;\n"
    "                stops on SIGINT or SIGTERM\n"
    "  check         walk the service from /redfish/v1 (or --from URI), following every\n"
    "                \"@odata.id\", and report each resource that breaks DMTF's JSON schema of\n"
    "                its \"@odata.type\" (from the folder DIR: NAME.json for\n"
    "                http://redfish.dmtf.org/schemas/v1/NAME.json) or the service's links:\n"
    "                \"@odata.id\" differing from the URI, counts differing from their arrays,\n"
    "                links that no route or row serves, fragments that point at nothing;\n"
    "                and what the engine would drop without a word: statements (sub-queries\n"
    "                at any depth) that fail, nested columns the metadata does not list,\n"
    "                engine views named for a type the converter does not load.\n"
    "                One line per problem and a summary line; --json writes a JSON document\n"
    "\n"
    "Exit status: 0 success (check: no problem), 1 query failed (check: problems found),\n"
    "2 bad arguments, 3 unknown URI, 4 database or schema folder missing, 5 no resource or\n"
    "no row.\n"
    "Root: --root DIR (or SQL2JSON_ROOT=DIR) opens every file that the converter and its host\n"
    "platform layer open (databases, inventory-time file, host data files) under DIR, a staged\n"
    "root file system, instead of under the prefix the tool was built with.\n"
    "Log: the converter's and the tool's failures go to standard error. --log-level N (or\n"
    "SQL2JSON_LOG_LEVEL=N) shows the converter's messages up to level N instead: 2 adds the\n"
    "schema properties that a view does not supply, 5 shows everything, 0 nothing.\n";

bool isRunCommand(const char* word) {
    static const char* const kCommands[] = {"get", "view", "resolve", "serve", "check"};
    for (const char* command : kCommands) {
        if (std::strcmp(word, command) == 0) return true;
    }
    return false;
}

// Writes text to standard error with a plain system call (safe before the C library is up).
void writeError(const char* text) {
    ssize_t ignored = write(STDERR_FILENO, text, std::strlen(text));
    (void)ignored;
}

// The options before the command, as read from argv (pointers into it; nothing allocated).
struct GlobalOptions {
    int command = 1;            // index of the command word in argv
    int logLevel = -1;          // --log-level N, or -1
    const char* root = nullptr; // --root DIR, else SQL2JSON_ROOT, else null
    const char* error = nullptr;
};

// The value of SQL2JSON_ROOT in envp, or null.
const char* rootFromEnvironment(char** envp) {
    static const char kName[] = "SQL2JSON_ROOT=";
    for (char** entry = envp; entry != nullptr && *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, kName, sizeof kName - 1) == 0) return *entry + sizeof kName - 1;
    }
    return nullptr;
}

// Reads --log-level N and --root DIR, in any order, up to the command word. Sets error on a
// malformed option; the root is not checked here.
GlobalOptions readGlobalOptions(int argc, char** argv, char** envp) {
    GlobalOptions options;
    bool rootGiven = false;
    for (; options.command < argc && argv[options.command] != nullptr; options.command += 2) {
        const char* word = argv[options.command];
        const char* value = options.command + 1 < argc ? argv[options.command + 1] : nullptr;
        if (std::strcmp(word, "--log-level") == 0) {
            if (value == nullptr || value[0] < '0' || value[0] > '9' || value[1] != '\0') {
                options.error = "--log-level takes a level from 0 to 9";
                return options;
            }
            options.logLevel = value[0] - '0';
        } else if (std::strcmp(word, "--root") == 0) {
            if (value == nullptr || rootGiven) {
                options.error = rootGiven ? "--root given twice" : "--root takes a folder";
                return options;
            }
            rootGiven = true;
            options.root = value;
        } else {
            break;
        }
    }
    if (!rootGiven) options.root = rootFromEnvironment(envp);
    return options;
}

// Reports a usage error made of parts before the converter is loaded, with write() only, and
// ends the program.
[[noreturn]] void usageErrorBeforeLoad(std::initializer_list<const char*> parts) {
    writeError("sql2json: ");
    for (const char* part : parts)
        writeError(part);
    writeError("\n");
    writeError(kUsage);
    _exit(kExitUsage);
}

// Puts the root in place, if one is given. Ends the program when it is unusable.
void stageRoot(const char* root) {
    if (root == nullptr) return;
    const char* problem = setStagedRoot(root);
    if (problem != nullptr)
        usageErrorBeforeLoad({"the root folder ", root, *root != '\0' ? " " : "", problem});
    if (!installStagedRoot()) {
        writeError("sql2json: SQLite refused the staged root's file system layer\n");
        _exit(kExitQueryFailed);
    }
}

// Runs from .preinit_array, before any shared library (the C library included) is
// initialised, so it uses system calls, C calls and the tool's own code only: reads the global
// options, puts the root in place, and when a command that needs the databases is given, ends
// the program with kExitNoDatabase if one of them is missing.
void prepareBeforeLoad(int argc, char** argv, char** envp) {
    if (argv == nullptr) return;
    const GlobalOptions options = readGlobalOptions(argc, argv, envp);
    // The converter logs while it loads: that log follows the option too.
    if (options.logLevel >= 0) setToolLogLevel(options.logLevel);
    if (options.error != nullptr) usageErrorBeforeLoad({options.error});
    stageRoot(options.root);
    if (options.command >= argc || !isRunCommand(argv[options.command])) return;
    char path[PATH_MAX];
    for (const char* fixed : kRequiredDatabases) {
        if (!stagedPath(fixed, path, sizeof path) || access(path, R_OK) != 0) {
            writeError("sql2json: database missing: ");
            writeError(path[0] != '\0' ? path : fixed);
            writeError("\n");
            _exit(kExitNoDatabase);
        }
    }
}

__attribute__((section(".preinit_array"), used)) void (*const kPreinit)(int, char**,
                                                                        char**) = prepareBeforeLoad;

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
        return fail(kExitQueryFailed, "resolving " + args[0] + ": " + sqliteFailure(rc));
    if (statement.find(" select root from  where ") != std::string::npos)
        return fail(kExitUnknownUri, "no resource pattern matches URI " + args[0]);
    const bool telemetry = runsOnTelemetry(statement);
    std::cout << statement << "\n-- runs on "
              << (telemetry ? "the telemetry database " + stagedPath(kTelemetryDbPath)
                            : "the live-object database " + stagedPath(kLiveObjectDbPath))
              << '\n';
    return kExitOk;
}

int runGet(const std::vector<std::string>& args) {
    if (args.size() != 1) return usageError("get takes exactly one URI");
    const std::string uri = withoutTrailingSlashes(args[0]);
    const FetchResult result = fetchResource(uri);
    switch (result.outcome) {
    case FetchOutcome::Found:
        std::cout << resourceText(result.resource);
        return kExitOk;
    case FetchOutcome::NoRoute:
        return fail(kExitUnknownUri, "no resource pattern matches URI " + uri);
    case FetchOutcome::NoResource:
        return fail(kExitNotFound, "no resource at " + uri);
    case FetchOutcome::Failed:
        break;
    }
    return fail(kExitQueryFailed, uri + ": " + result.detail);
}

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

struct StatementFinalizer {
    void operator()(sqlite3_stmt* stmt) const noexcept { sqlite3_finalize(stmt); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

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
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(dmdbhandle, sql.c_str(), -1, &raw, &tail) != SQLITE_OK) return shape;
    Statement first(raw);
    shape.empty = first == nullptr;
    if (first == nullptr) return shape;
    raw = nullptr;
    if (tail != nullptr && sqlite3_prepare_v2(dmdbhandle, tail, -1, &raw, nullptr) != SQLITE_OK)
        shape.more = true; // something that is not even a statement follows
    Statement second(raw);
    shape.more = shape.more || second != nullptr;
    shape.manyRows =
        sqlite3_step(first.get()) == SQLITE_ROW && sqlite3_step(first.get()) == SQLITE_ROW;
    return shape;
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
        return fail(kExitQueryFailed, "query failed: " + sqliteFailure(rc) + ": " + detail);
    }
    if (out.isNull()) return fail(kExitNotFound, "the query returned no row");
    std::cout << resourceText(out);
    if (options.objectType == kJsonObjectType && shape.manyRows) {
        fail(kExitOk, "the query gave more than one row; printed the last (--array prints all)");
    }
    return kExitOk;
}

int run(int argc, char** argv, char** envp) {
    // The global options were checked and applied before the converter was loaded.
    const GlobalOptions options = readGlobalOptions(argc, argv, envp);
    const std::vector<std::string> words(argv + options.command, argv + argc);
    if (words.empty()) return usageError("no command given");
    const std::string& command = words[0];
    const std::vector<std::string> args(words.begin() + 1, words.end());
    if (command == "--help" || command == "-h") {
        std::cout << kUsage << kHelp;
        return kExitOk;
    }
    if (command == "--version") {
        std::cout << "sql2json " SQL2JSON_TOOL_VERSION "\n";
        return kExitOk;
    }
    if (command == "get") return runGet(args);
    if (command == "view") return runView(args);
    if (command == "resolve") return runResolve(args);
    if (command == "serve") return runServe(args);
    if (command == "check") return runCheck(args);
    return usageError("unknown command " + command);
}

} // namespace

int main(int argc, char** argv, char** envp) {
    try {
        return run(argc, argv, envp);
    } catch (const std::exception& e) {
        return fail(kExitQueryFailed, std::string("internal error: ") + e.what());
    } catch (...) {
        return fail(kExitQueryFailed, "internal error");
    }
}
