// sql2json: serve Redfish resources from the converter's SQLite views on a shell.
//
//   sql2json get URI          resolve URI through UriInfo, run the statement, print the resource
//   sql2json view [--array | --subarray] [--expand N] SQL
//                             run a view query through the engine and print the tree
//   sql2json resolve URI      print the statement that produces URI's resource
//   sql2json serve [--port N] [--bind ADDR]
//                             answer Redfish requests over HTTP (serve.cpp)
//
// Results go to standard output, diagnostics to standard error as one line each. The
// converter opens its databases while the program is loaded, under the path prefix both were
// built with; a check that runs before that load reports a missing database instead of letting
// the load end the process.
#include <unistd.h>

#include <cstring>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <json/reader.h>
#include <json/value.h>
#include <json/writer.h>
#include <sqlite3.h>

#include "SqlitetoJsonConverter.h"
#include "internal.hpp" // the fixed database paths the converter opens
#include "serve.hpp"

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
const char* const kRequiredDatabases[] = {LIVE_OBJECT_DB_PATH, OPENAPI_DB_PATH, METADATA_DB_PATH};

const char kUsage[] = "usage: sql2json get URI\n"
                      "       sql2json view [--array | --subarray] [--expand N] SQL\n"
                      "       sql2json resolve URI\n"
                      "       sql2json serve [--port N] [--bind ADDR]\n"
                      "       sql2json --help | --version\n";

const char kHelp[] =
    "\n"
    "  get URI       find URI's row in UriInfo, run the composed statement with URI as its\n"
    "                parameter and print the resource's root column as indented JSON\n"
    "  view SQL      run a query over the views through the converter's engine and print\n"
    "                the formatted tree: an object (default), an array of objects (--array)\n"
    "                or one flat array of values (--subarray); --expand N sets the expand\n"
    "                depth, 1 to 6 (default 1)\n"
    "  resolve URI   print the statement that get would run\n"
    "  serve         answer GET and HEAD requests for /redfish and /redfish/v1/... over\n"
    "                HTTP as a read-only Redfish service, on 127.0.0.1 port 8000 unless\n"
    "                --bind and --port say otherwise (--port 0: any free port); logs one\n"
    "                line per request on standard error; stops on SIGINT or SIGTERM\n"
    "\n"
    "Exit status: 0 success, 1 query failed, 2 bad arguments, 3 unknown URI,\n"
    "4 database missing, 5 no resource or no row.\n"
    "The converter logs to standard error up to the level in SQL2JSON_LOG_LEVEL (default 2,\n"
    "failures, which include every schema property that a view does not supply):\n"
    "SQL2JSON_LOG_LEVEL=1 quiets it, 5 shows everything.\n";

bool isRunCommand(const char* word) {
    return std::strcmp(word, "get") == 0 || std::strcmp(word, "view") == 0 ||
           std::strcmp(word, "resolve") == 0 || std::strcmp(word, "serve") == 0;
}

// Writes text to standard error with a plain system call (safe before the C library is up).
void writeError(const char* text) {
    ssize_t ignored = write(STDERR_FILENO, text, std::strlen(text));
    (void)ignored;
}

// Runs from .preinit_array, before any shared library (the C library included) is
// initialised, so it uses system calls only: when a command that needs the databases is given,
// ends the program with kExitNoDatabase if one of them is missing.
void checkDatabasesBeforeLoad(int argc, char** argv, char** /*envp*/) {
    if (argc < 2 || argv == nullptr || argv[1] == nullptr || !isRunCommand(argv[1])) return;
    for (const char* path : kRequiredDatabases) {
        if (access(path, R_OK) != 0) {
            writeError("sql2json: database missing: ");
            writeError(path);
            writeError("\n");
            _exit(kExitNoDatabase);
        }
    }
}

__attribute__((section(".preinit_array"),
               used)) void (*const kPreinit)(int, char**, char**) = checkDatabasesBeforeLoad;

// Prints one diagnostic line and returns status, so callers can `return fail(...)`.
int fail(int status, const std::string& message) {
    std::cerr << "sql2json: " << message << '\n';
    return status;
}

int usageError(const std::string& message) {
    std::cerr << "sql2json: " << message << '\n' << kUsage;
    return kExitUsage;
}

std::string sqliteFailure(int rc) {
    return "SQLite error " + std::to_string(rc) + " (" + sqlite3_errstr(rc) + ")";
}

// Prints value as indented JSON with a final newline.
void printJson(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "  ";
    builder["precision"] = 15; // 0.1 prints as 0.1, not 0.10000000000000001
    std::unique_ptr<Json::StreamWriter> writer(builder.newStreamWriter());
    writer->write(value, &std::cout);
    std::cout << '\n';
}

// The URI without its trailing '/' characters ("/" stays "/"): the resolution ignores them,
// and the composed statement compares the parameter with "@odata.id" as it stands.
std::string withoutTrailingSlashes(const std::string& uri) {
    std::string::size_type end = uri.find_last_not_of('/');
    return end == std::string::npos ? uri.substr(0, 1) : uri.substr(0, end + 1);
}

// Composes the statement for uri into statement. Returns kExitOk, or the failure's status
// after reporting it (statement is then unusable).
int resolveUri(const std::string& uri, std::string& statement) {
    const int rc = GetViewNameFromopenApiDB(uri.c_str(), statement);
    if (rc != SQLITE_OK)
        return fail(kExitQueryFailed, "resolving " + uri + ": " + sqliteFailure(rc));
    static const std::string kNoView = " select root from  where [@odata.id]=?";
    if (statement.size() >= kNoView.size() &&
        statement.compare(statement.size() - kNoView.size(), kNoView.size(), kNoView) == 0) {
        return fail(kExitUnknownUri, "no resource pattern matches URI " + uri);
    }
    return kExitOk;
}

int runResolve(const std::vector<std::string>& args) {
    if (args.size() != 1) return usageError("resolve takes exactly one URI");
    std::string statement;
    const int status = resolveUri(args[0], statement);
    if (status != kExitOk) return status;
    std::cout << statement << '\n';
    return kExitOk;
}

int runGet(const std::vector<std::string>& args) {
    if (args.size() != 1) return usageError("get takes exactly one URI");
    std::string statement;
    const int status = resolveUri(args[0], statement);
    if (status != kExitOk) return status;
    const std::string id = withoutTrailingSlashes(args[0]);
    std::string body;
    const int rc = GetRequestedSchemaData(statement.c_str(), body, id.c_str());
    if (rc == SQLITE_DONE || (rc == SQLITE_ROW && body.empty())) {
        return fail(kExitNotFound, "no resource at " + id);
    }
    if (rc != SQLITE_ROW)
        return fail(kExitQueryFailed, "query for " + id + " failed: " + sqliteFailure(rc));
    Json::Value resource;
    Json::CharReaderBuilder reader;
    std::string errors;
    std::unique_ptr<Json::CharReader> parser(reader.newCharReader());
    if (!parser->parse(body.data(), body.data() + body.size(), &resource, &errors)) {
        return fail(kExitQueryFailed, "the root column for " + id + " is not JSON: " + errors);
    }
    printJson(resource);
    return kExitOk;
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

int runView(const std::vector<std::string>& args) {
    ViewOptions options;
    const int status = parseViewOptions(args, options);
    if (status != kExitOk) return status;
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
    printJson(out);
    return kExitOk;
}

int run(int argc, char** argv) {
    if (argc < 2) return usageError("no command given");
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
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
    return usageError("unknown command " + command);
}

} // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        return fail(kExitQueryFailed, std::string("internal error: ") + e.what());
    } catch (...) {
        return fail(kExitQueryFailed, "internal error");
    }
}
