// sql2json serve: a small read-only Redfish service over HTTP, built on the converter the way a
// controller's Redfish service wires it in. Exports runServe.
//
// A GET or HEAD request is answered as follows:
//   /redfish               the protocol version object
//   /redfish/v1[/...]      resolved through UriInfo (GetViewNameFromopenApiDB); no view: 404.
//                          The composed statement runs with the URI bound as its parameter
//                          (GetRequestedSchemaData) and yields the resource's root column.
//                          When the root's "@odata.type" is one of the types whose property
//                          types the converter loads (rf_metadata), the resource is built
//                          again by the view-to-JSON engine from the engine view that the
//                          table EngineViews names for the route, with the URI quoted into
//                          the query by SQLite (%Q); otherwise the root column is the answer.
//   anything else          404
// Other methods answer 405 with an Allow header. Paths are checked before any lookup: only
// unreserved characters and '/', no percent-encoding, no "." or ".." segment, at most
// kMaxPathLength bytes; anything else answers 400 and never reaches SQLite.
#include "serve.hpp"

#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr int kDefaultPort = 8000;

struct ServeOptions {
    std::string bindAddress = "127.0.0.1";
    int port = kDefaultPort;
};

// Parses a whole decimal port number in [0, 65535]; false for anything else.
bool parsePort(const std::string& text, int& port) {
    if (text.empty() || text.size() > 5) return false;
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    if (value > 65535) return false;
    port = static_cast<int>(value);
    return true;
}

// Fills options from args. Returns kExitOk, or kExitUsage after reporting the problem.
int parseServeOptions(const std::vector<std::string>& args, ServeOptions& options) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == "--port" && hasValue && parsePort(args[i + 1], options.port)) {
            ++i;
        } else if (args[i] == "--bind" && hasValue && !args[i + 1].empty()) {
            options.bindAddress = args[++i];
        } else {
            std::cerr << "sql2json: serve takes --port N (0 to 65535) and --bind ADDR\n"
                      << "usage: sql2json serve [--port N] [--bind ADDR]\n";
            return kExitUsage;
        }
    }
    return kExitOk;
}

} // namespace

#ifdef SQL2JSON_HAVE_HTTPLIB

#include <pthread.h>
#include <signal.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#include <httplib.h>
#include <json/reader.h>
#include <json/value.h>
#include <json/writer.h>
#include <sqlite3.h>

#include "SqlitetoJsonConverter.h"

namespace {

constexpr std::size_t kMaxPathLength = 1024; // far above any URI the service defines
constexpr std::size_t kMaxLoggedTarget = 200;
const char kAllowedMethods[] = "GET, HEAD";
const char kServiceRootPath[] = "/redfish/v1";
const char kLogPrefix[] = "sql2json serve: ";

// The engine view of a route: a select over the view named in EngineViews, or "" when the row
// says that the route is served from its root column although its type is an engine type.
const char kEngineViewQuery[] = "select coalesce(printf('select * from \"%w\"', engine_view), '') "
                                "from EngineViews where root_view = ?";

// The statement GetViewNameFromopenApiDB composes: <CTE> select root from <view> where ...
const char kSelectRoot[] = " select root from ";
const char kWhereId[] = " where [@odata.id]=?";

// Library calls run one at a time: the converter's connections are shared, and the messages
// the service reads from them (sqlite3_errmsg) belong to the last call.
std::mutex gLibraryMutex;

// A response before it is written: status and JSON body.
struct Reply {
    int status;
    Json::Value body;
};

// Writes one whole line to standard error, so that lines of concurrent requests and of the
// converter's own log do not interleave within a line.
void logLine(const std::string& text) {
    const std::string line = kLogPrefix + text + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

// The JSON text of value, indented as the tool prints it.
std::string jsonText(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "  ";
    builder["precision"] = 15;
    return Json::writeString(builder, value) + "\n";
}

// A Redfish error body with one message of the Base registry.
Json::Value redfishError(const char* messageId, const std::string& message,
                         const std::string& resolution) {
    Json::Value info(Json::objectValue);
    info["@odata.type"] = "#Message.v1_1_1.Message";
    info["MessageId"] = messageId;
    info["Message"] = message;
    info["Severity"] = "Critical";
    info["Resolution"] = resolution;
    Json::Value body(Json::objectValue);
    Json::Value& error = body["error"];
    error["code"] = messageId;
    error["message"] = message;
    error["@Message.ExtendedInfo"].append(info);
    return body;
}

Reply notFound(const std::string& uri) {
    return {404, redfishError("Base.1.8.1.ResourceMissingAtURI",
                              "The resource at the URI " + uri + " was not found.",
                              "Place a valid resource at the URI or correct the URI and "
                              "resubmit the request.")};
}

// The request path is not one the service accepts. The body does not echo it: it may hold
// any bytes.
Reply badPath() {
    return {400,
            redfishError("Base.1.8.1.GeneralError", "The request URI is not a valid resource path.",
                         "Use only letters, digits, '-', '.', '_', '~' and '/', without "
                         "percent-encoding or '.' and '..' segments.")};
}

Reply methodNotAllowed(const std::string& method) {
    return {405, redfishError("Base.1.8.1.GeneralError",
                              "The method " + method + " is not allowed: this service only reads.",
                              "Use GET or HEAD.")};
}

// Logs why uri failed and returns the 500 reply.
Reply internalError(const std::string& uri, const std::string& why) {
    logLine("error: " + uri + ": " + why);
    return {500, redfishError("Base.1.8.1.InternalError",
                              "The request failed due to an internal service error.  The "
                              "service is still operational.",
                              "Resubmit the request.  If the problem persists, consider "
                              "resetting the service.")};
}

std::string sqliteFailure(int rc) {
    return "SQLite error " + std::to_string(rc) + " (" + sqlite3_errstr(rc) + ")";
}

// True when c may appear in a request path: RFC 3986's unreserved characters and '/'.
bool isPathChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~' || c == '/';
}

// True when path (the request target before any '?') is a path the service looks up: it
// begins with '/', has at most kMaxPathLength bytes, only path characters (so no quote,
// '%' escape, NUL or space) and no "." or ".." segment.
bool isAcceptedPath(const std::string& path) {
    if (path.empty() || path[0] != '/' || path.size() > kMaxPathLength) return false;
    for (char c : path) {
        if (!isPathChar(c)) return false;
    }
    std::size_t start = 1;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const std::string segment = path.substr(start, end - start);
        if (segment == "." || segment == "..") return false;
        start = end + 1;
    }
    return true;
}

// The path without its trailing '/' characters ("/" stays "/").
std::string withoutTrailingSlashes(const std::string& path) {
    const std::string::size_type end = path.find_last_not_of('/');
    return end == std::string::npos ? path.substr(0, 1) : path.substr(0, end + 1);
}

// The view name in a statement composed by GetViewNameFromopenApiDB; "" when the lookup
// found none (or the text does not have the composed shape).
std::string rootViewOf(const std::string& statement) {
    const std::string::size_type select = statement.rfind(kSelectRoot);
    const std::size_t whereLength = std::strlen(kWhereId);
    if (select == std::string::npos || statement.size() < whereLength ||
        statement.compare(statement.size() - whereLength, whereLength, kWhereId) != 0) {
        return "";
    }
    const std::size_t begin = select + std::strlen(kSelectRoot);
    const std::size_t end = statement.size() - whereLength;
    return end > begin ? statement.substr(begin, end - begin) : "";
}

// True when odataType is one of the types whose property types the converter loads.
bool isEngineType(const Json::Value& odataType) {
    if (!odataType.isString()) return false;
    const std::string type = odataType.asString();
    for (const char* const* name = rf_metadata; *name != nullptr; ++name) {
        if (type == *name) return true;
    }
    return false;
}

// Parses text as a JSON object into out. False when it is not one.
bool parseObject(const std::string& text, Json::Value& out) {
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    return reader->parse(text.data(), text.data() + text.size(), &out, &errors) && out.isObject();
}

// Builds uri's resource through the engine from the engine view of route rootView.
// engineHead is the select over that view; the URI enters the query only as an SQL literal
// quoted by SQLite.
Reply buildThroughEngine(const std::string& uri, const std::string& engineHead) {
    std::unique_ptr<char, decltype(&sqlite3_free)> where(
        sqlite3_mprintf(" where [@odata.id] = %Q", uri.c_str()), &sqlite3_free);
    if (!where) return internalError(uri, "out of memory");
    const std::string query = engineHead + where.get();
    Json::Value resource;
    const int rc = GetJsonDataFromSQLViewUsingQuery(query.c_str(), resource, kJsonObjectType);
    if (rc != 0) {
        const char* detail = dmdbhandle != nullptr ? sqlite3_errmsg(dmdbhandle) : "no database";
        return internalError(uri, "engine query failed: " + sqliteFailure(rc) + ": " + detail);
    }
    if (!resource.isObject()) {
        logLine("note: " + uri + ": the engine view has no row for the resource");
        return notFound(uri);
    }
    return {200, resource};
}

// Answers a root whose type the engine formats: through the engine view EngineViews names
// for rootView, or the root itself when the route's row names no engine view.
Reply answerEngineType(const std::string& uri, const std::string& rootView, Json::Value&& root) {
    std::string engineHead;
    const int rc = GetRequestedSchemaData(kEngineViewQuery, engineHead, rootView.c_str());
    if (rc == SQLITE_DONE) {
        return internalError(uri, "no EngineViews row for route " + rootView + " of type " +
                                      root["@odata.type"].asString());
    }
    if (rc != SQLITE_ROW) return internalError(uri, "EngineViews lookup: " + sqliteFailure(rc));
    if (engineHead.empty()) return {200, std::move(root)};
    return buildThroughEngine(uri, engineHead);
}

// Produces the resource at uri (a checked path without trailing '/'), holding the library.
Reply produceResource(const std::string& uri) {
    std::lock_guard<std::mutex> lock(gLibraryMutex);
    std::string statement;
    int rc = GetViewNameFromopenApiDB(uri.c_str(), statement);
    if (rc != SQLITE_OK) return internalError(uri, "resolving: " + sqliteFailure(rc));
    const std::string rootView = rootViewOf(statement);
    if (rootView.empty()) return notFound(uri);
    std::string rootText;
    rc = GetRequestedSchemaData(statement.c_str(), rootText, uri.c_str());
    if (rc == SQLITE_DONE || (rc == SQLITE_ROW && rootText.empty())) return notFound(uri);
    if (rc != SQLITE_ROW) return internalError(uri, "root query failed: " + sqliteFailure(rc));
    Json::Value root;
    if (!parseObject(rootText, root)) return internalError(uri, "root column is not a JSON object");
    static const char kTypeKey[] = "@odata.type";
    const Json::Value* type = root.find(kTypeKey, kTypeKey + sizeof kTypeKey - 1);
    if (type == nullptr || !isEngineType(*type)) return {200, std::move(root)};
    return answerEngineType(uri, rootView, std::move(root));
}

// Answers a GET (or HEAD) of the checked path.
Reply answerGet(const std::string& path) {
    const std::string trimmed = withoutTrailingSlashes(path);
    if (trimmed == "/redfish") {
        Json::Value version(Json::objectValue);
        version["v1"] = "/redfish/v1/";
        return {200, version};
    }
    const std::size_t rootLength = std::strlen(kServiceRootPath);
    if (trimmed.compare(0, rootLength, kServiceRootPath) != 0 ||
        (trimmed.size() > rootLength && trimmed[rootLength] != '/')) {
        return notFound(trimmed);
    }
    return produceResource(trimmed);
}

// The reply to any request: method first, then the path.
Reply answer(const httplib::Request& req) {
    if (req.method != "GET" && req.method != "HEAD") return methodNotAllowed(req.method);
    const std::string path = req.target.substr(0, req.target.find('?'));
    if (!isAcceptedPath(path)) return badPath();
    return answerGet(path);
}

void writeReply(const Reply& reply, httplib::Response& res) {
    res.status = reply.status;
    res.set_header("OData-Version", "4.0");
    res.set_header("Allow", kAllowedMethods);
    res.set_content(jsonText(reply.body), "application/json");
}

// Handles every request before httplib's own routing; nothing escapes it.
httplib::Server::HandlerResponse handleRequest(const httplib::Request& req,
                                               httplib::Response& res) {
    try {
        writeReply(answer(req), res);
    } catch (const std::exception& e) {
        writeReply(internalError(req.path, std::string("internal error: ") + e.what()), res);
    } catch (...) {
        writeReply(internalError(req.path, "internal error"), res);
    }
    return httplib::Server::HandlerResponse::Handled;
}

// Gives the answers httplib makes itself (a malformed request, a request line too long) a
// Redfish error body.
httplib::Server::HandlerResponse fillErrorBody(const httplib::Request&, httplib::Response& res) {
    if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
    const Reply reply{res.status,
                      redfishError("Base.1.8.1.GeneralError", "The request could not be read.",
                                   "Correct the request and resubmit it.")};
    writeReply(reply, res);
    return httplib::Server::HandlerResponse::Handled;
}

// The request target as a log can show it: printable ASCII, other bytes as \xNN, cut short.
std::string printableTarget(const std::string& target) {
    std::string out;
    for (std::size_t i = 0; i < target.size() && i < kMaxLoggedTarget; ++i) {
        const unsigned char c = static_cast<unsigned char>(target[i]);
        if (c >= 0x20 && c < 0x7f && c != '\\' && c != '"') {
            out += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned int>(c));
            out += escaped;
        }
    }
    if (target.size() > kMaxLoggedTarget) out += "...";
    return out;
}

// One request log line: client, method and target, status, body length.
void logRequest(const httplib::Request& req, const httplib::Response& res) {
    // A request that httplib could not read has no client address or method filled in.
    std::ostringstream line;
    line << (req.remote_addr.empty() ? "-" : req.remote_addr) << " \""
         << (req.method.empty() ? "-" : printableTarget(req.method)) << ' '
         << printableTarget(req.target) << "\" " << res.status << ' ' << res.body.size();
    logLine(line.str());
}

// Binds server to options' address and port. Returns the bound port, or -1.
int bindServer(httplib::Server& server, const ServeOptions& options) {
    if (options.port == 0) return server.bind_to_any_port(options.bindAddress);
    return server.bind_to_port(options.bindAddress, options.port) ? options.port : -1;
}

// Serves until SIGINT or SIGTERM. The signals are blocked in every thread and taken by one
// waiter thread, which stops the server (repeatedly, in case the signal came before the
// server began to listen). Returns whether listening ended without a failure.
bool serveUntilSignal(httplib::Server& server) {
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr); // threads made later inherit it
    std::atomic<bool> listenEnded{false};
    std::thread waiter([&server, &stopSignals, &listenEnded] {
        const timespec tick{0, 100000000L}; // 100 ms
        bool stopping = false;
        while (!listenEnded.load()) {
            if (!stopping) stopping = sigtimedwait(&stopSignals, nullptr, &tick) > 0;
            if (stopping) {
                server.stop();
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
    });
    const bool ok = server.listen_after_bind();
    listenEnded = true;
    waiter.join();
    return ok;
}

std::string hostForUrl(const std::string& address) {
    return address.find(':') != std::string::npos ? "[" + address + "]" : address;
}

} // namespace

int runServe(const std::vector<std::string>& args) {
    ServeOptions options;
    const int status = parseServeOptions(args, options);
    if (status != kExitOk) return status;
    signal(SIGPIPE, SIG_IGN); // a client that hangs up must not end the service
    httplib::Server server;
    server.set_pre_routing_handler(handleRequest);
    server.set_error_handler(httplib::Server::HandlerWithResponse(fillErrorBody));
    server.set_logger(logRequest);
    const int port = bindServer(server, options);
    if (port < 0) {
        logLine("cannot listen on " + options.bindAddress + " port " +
                std::to_string(options.port));
        return kExitFailed;
    }
    logLine("listening on http://" + hostForUrl(options.bindAddress) + ":" + std::to_string(port) +
            "/redfish/v1/");
    const bool ok = serveUntilSignal(server);
    logLine(ok ? "stopped" : "listening failed");
    return ok ? kExitOk : kExitFailed;
}

#else // built without an HTTP library

int runServe(const std::vector<std::string>& args) {
    ServeOptions options;
    const int status = parseServeOptions(args, options);
    if (status != kExitOk) return status;
    std::cerr << "sql2json: this build has no HTTP service (cpp-httplib was not found)\n";
    return kExitFailed;
}

#endif
