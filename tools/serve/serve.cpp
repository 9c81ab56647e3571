// sql2json serve: a small read-only Redfish service over HTTP, built on the converter the way a
// controller's Redfish service wires it in. Exports runServe.
//
// A GET or HEAD request is answered as follows:
//   /redfish               the protocol version object
//   /redfish/v1/odata      the OData service document, from the service root's links
//   /redfish/v1/$metadata  the CSDL metadata document (application/xml) naming the namespaces
//                          of every type on a walk of the service, made on first request
//   /redfish/v1[/...]      the resource fetchResource (resource_fetcher.hpp) gives: no route
//                          or no row 404, a failing statement 500.
//   anything else          404
// The other methods HTTP defines (and PATCH) answer 405 with an Allow header, a method HTTP
// does not define 501; a request whose OData-Version is not 4.0 answers 412, one that cannot be
// read whole (http_connection.hpp) 400, 413 or 431. Paths are checked before any lookup: only
// unreserved characters and '/', no percent-encoding, no "." or ".." segment, at most
// kMaxPathLength bytes; anything else answers 400 and never reaches SQLite. A Range header is
// ignored: the whole resource is answered with 200.
//
// The query options $expand, $select, $top and $skip shape a JSON answer (resource_query.hpp);
// any other parameter beginning with '$' answers 501, a malformed value 400, and parameters
// without '$' are ignored. Every 200 answer carries a strong ETag made from the body it sends;
// a GET or HEAD whose If-None-Match matches it answers 304 without a body. The request's log
// line notes how many links $expand replaced and which could not be fetched. Every answer
// carries Cache-Control (no-cache: revalidate with the ETag) and Accept-Ranges: none; a 200 of
// a resource with an "@odata.type" (and its 304) a Link to that type's DMTF JSON schema.
//
// What one request may cost is bounded (ServeOptions): a fixed number of worker threads serve
// the connections, fewer of them expansions at a time, each expansion within ExpandLimits; a
// request that waited too long for a thread or for an expansion slot answers 503 with
// Retry-After.
#include "serve/serve.hpp"

#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

#include "common/exit_status.hpp"
#include "serve/resource_query.hpp"

namespace {

constexpr int kDefaultPort = 8000;

struct ServeOptions {
    std::string bindAddress = "127.0.0.1";
    std::uint64_t port = kDefaultPort;
    std::uint64_t workers = 8;        // threads serving connections
    std::uint64_t expandWorkers = 2;  // requests with $expand answered at once
    std::uint64_t maxWaitSeconds = 2; // for a thread or an expansion slot, then 503
    std::uint64_t expandMaxResources = ExpandLimits().maxResources;
    std::uint64_t expandMaxBytes = ExpandLimits().maxBytes;
};

// An option taking a whole decimal number within [least, most].
struct NumberOption {
    const char* name;
    std::uint64_t least;
    std::uint64_t most;
    std::uint64_t ServeOptions::*value;
};

const NumberOption kNumberOptions[] = {
    {"--port", 0, 65535, &ServeOptions::port},
    {"--workers", 1, 64, &ServeOptions::workers},
    {"--expand-workers", 1, 64, &ServeOptions::expandWorkers},
    {"--max-wait", 0, 60, &ServeOptions::maxWaitSeconds},
    {"--expand-max-resources", 1, 1000000, &ServeOptions::expandMaxResources},
    {"--expand-max-bytes", 1024, std::uint64_t{1} << 30, &ServeOptions::expandMaxBytes},
};

const char kServeUsage[] =
    "usage: sql2json serve [--port N] [--bind ADDR] [--workers N] [--expand-workers N]\n"
    "                      [--max-wait SECONDS] [--expand-max-resources N]\n"
    "                      [--expand-max-bytes N]\n";

// Parses text, a whole decimal number within [least, most], into value; false for anything
// else.
bool parseNumber(const std::string& text, std::uint64_t least, std::uint64_t most,
                 std::uint64_t& value) {
    if (text.empty() || text.size() > 10) return false;
    std::uint64_t number = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (number < least || number > most) return false;
    value = number;
    return true;
}

// Reports a bad serve argument. Returns kExitUsage.
int serveUsageError(const std::string& why) {
    std::cerr << "sql2json: serve: " << why << "\n" << kServeUsage;
    return kExitUsage;
}

// Fills options from args. Returns kExitOk, or kExitUsage after reporting the problem.
int parseServeOptions(const std::vector<std::string>& args, ServeOptions& options) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == "--bind") {
            if (!hasValue || args[i + 1].empty()) return serveUsageError("--bind takes an address");
            options.bindAddress = args[++i];
            continue;
        }
        const NumberOption* number = nullptr;
        for (const NumberOption& each : kNumberOptions) {
            if (args[i] == each.name) number = &each;
        }
        if (number == nullptr) return serveUsageError("unknown argument '" + args[i] + "'");
        if (!hasValue ||
            !parseNumber(args[i + 1], number->least, number->most, options.*(number->value))) {
            return serveUsageError(args[i] + " takes a number from " +
                                   std::to_string(number->least) + " to " +
                                   std::to_string(number->most));
        }
        ++i;
    }
    if (options.expandWorkers > options.workers)
        return serveUsageError("--expand-workers is at most --workers");
    return kExitOk;
}

} // namespace

#ifdef SQL2JSON_HAVE_HTTPLIB

#include <pthread.h>
#include <signal.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#include <httplib.h>
#include <json/value.h>

#include "common/json_text.hpp"
#include "common/resource_fetcher.hpp"
#include "common/service_walk.hpp"
#include "serve/entity_tag.hpp"
#include "serve/http_connection.hpp"
#include "serve/odata_documents.hpp"
#include "serve/query_options.hpp"
#include "serve/redfish_errors.hpp"
#include "serve/request_framing.hpp"
#include "serve/request_slots.hpp"

namespace {

constexpr std::size_t kMaxPathLength = 1024; // far above any URI the service defines
constexpr std::size_t kMaxLoggedTarget = 200;
const char kAllowedMethods[] = "GET, HEAD";
// The methods HTTP defines (RFC 9110) and PATCH (RFC 5789), which Redfish clients use to write:
// 405. Any other method is 501.
const char* const kRefusedMethods[] = {"POST",    "PUT",     "PATCH", "DELETE",
                                       "OPTIONS", "CONNECT", "TRACE"};
// A resource changes at run time: a cache must ask again each time, with the ETag it holds.
const char kCacheControl[] = "no-cache";
const char kODataVersion[] = "4.0";
// A connection serves this many requests, then closes: a console reading thousands of log
// entries one by one reconnects a few times, while one busy client cannot keep one of
// httplib's few worker threads for good. It waits kKeepAliveSeconds for each next request.
constexpr std::size_t kMaxRequestsPerConnection = 1000;
constexpr time_t kKeepAliveSeconds = 5;
const char kServiceRootPath[] = "/redfish/v1";
const char kMetadataPath[] = "/redfish/v1/$metadata";
const char kServiceDocumentPath[] = "/redfish/v1/odata";
const char kLogPrefix[] = "sql2json serve: ";
constexpr int kOk = 200;
constexpr int kNotModified = 304;

// What the request being answered on this thread adds to its log line; httplib calls the
// logger on the thread that ran the handler, right after it.
thread_local std::string tLogNote;

// A response before it is written: status and JSON body, or a text of another type.
struct Reply {
    Reply(int code, Json::Value json) : status(code), body(std::move(json)) {}
    Reply(int code, std::string content, std::string type)
        : status(code), text(std::move(content)), textType(std::move(type)) {}
    int status;
    Json::Value body;
    std::string text;
    std::string textType;
    std::string retryAfter; // the Retry-After field's value, when not empty
};

// What one request may cost the service, and how long it may wait for its turn.
struct ServiceBounds {
    ExpandLimits expand;
    RequestSlots& expandSlots; // requests with $expand answered at once
    std::chrono::milliseconds maxWait;
};

// Adds text to what the request's log line says.
void addLogNote(const std::string& text) { tLogNote += (tLogNote.empty() ? "" : "; ") + text; }

// Notes the statements that failed while the answer was built (SQLite's messages).
void noteFailedStatements(const std::vector<std::string>& messages) {
    if (messages.empty()) return;
    const std::size_t more = messages.size() - 1;
    addLogNote("statement failed: " + messages.front() +
               (more > 0 ? " (and " + std::to_string(more) + " more)" : ""));
}

// Writes one whole line to standard error, so that lines of concurrent requests and of the
// converter's own log do not interleave within a line.
void logLine(const std::string& text) {
    const std::string line = kLogPrefix + text + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
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

// The reply refusing a request for error.
Reply errorReply(const RedfishError& error) { return {error.status, errorBody(error)}; }

Reply notFound(const std::string& uri) {
    return errorReply(redfishError(404, resourceMissingAtUri(uri)));
}

// The request path is not one the service accepts. The body does not echo it: it may hold
// any bytes.
Reply badPath() {
    return errorReply(redfishError(400,
                                   generalError("Use only letters, digits, '-', '.', '_', '~' "
                                                "and '/', without percent-encoding or '.' and "
                                                "'..' segments."),
                                   "The request URI is not a valid resource path."));
}

Reply methodNotAllowed(const std::string& method) {
    return errorReply(
        redfishError(405, generalError("Use GET or HEAD."),
                     "The method " + method + " is not allowed: this service only reads."));
}

// A method HTTP does not define, such as FAKEMETHOD or WebDAV's PROPFIND.
Reply methodNotImplemented(const std::string& method) {
    return errorReply(redfishError(501, generalError("Use GET or HEAD."),
                                   "The method " + printableTarget(method) +
                                       " is not implemented: this service only reads."));
}

// The reply to a method other than GET and HEAD.
Reply refusedMethod(const std::string& method) {
    const bool defined = std::any_of(std::begin(kRefusedMethods), std::end(kRefusedMethods),
                                     [&method](const char* each) { return method == each; });
    return defined ? methodNotAllowed(method) : methodNotImplemented(method);
}

// The 503 of a request that waited longer than bounds allow, for a thread or an expansion
// slot; the client is told to retry after that long (a second at least).
Reply busyReply(const ServiceBounds& bounds) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(bounds.maxWait).count();
    const std::string retryAfter = std::to_string(std::max<long long>(1, seconds));
    Reply reply = errorReply(redfishError(503, serviceTemporarilyUnavailable(retryAfter)));
    reply.retryAfter = retryAfter;
    return reply;
}

// The 412 for the first OData-Version field of req that is not kODataVersion; status 0 when
// there is none.
Reply unsupportedODataVersion(const httplib::Request& req) {
    for (std::size_t i = 0; i < req.get_header_value_count("OData-Version"); ++i) {
        const std::string value = req.get_header_value("OData-Version", i);
        if (value == kODataVersion) continue;
        return errorReply(redfishError(412,
                                       headerInvalid("OData-Version: " + printableTarget(value)),
                                       "The service supports OData-Version 4.0 only."));
    }
    return {0, Json::Value()};
}

// The reply to a request the connection could not read whole (status 400, 413 or 431).
Reply unreadRequest(int status) {
    if (status == 413) return errorReply(redfishError(413, payloadTooLarge()));
    if (status == 431) {
        return errorReply(
            redfishError(431,
                         generalError("Send at most " + std::to_string(kMaxHeadBytes / 1024) +
                                      " KiB of request line and header fields."),
                         "The request's header fields are too large."));
    }
    return errorReply(redfishError(status, generalError("Correct the request and resubmit it."),
                                   "The request's body framing could not be read."));
}

// Logs why uri failed and returns the 500 reply.
Reply failedReply(const std::string& uri, const std::string& why) {
    logLine("error: " + uri + ": " + why);
    return errorReply(redfishError(500, internalError()));
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

// The reply for the resource at uri (a checked path without trailing '/').
Reply produceResource(const std::string& uri) {
    FetchResult result = fetchResource(uri);
    noteFailedStatements(result.failedStatements);
    switch (result.outcome) {
    case FetchOutcome::Found:
        return {200, std::move(result.resource)};
    case FetchOutcome::NoRoute:
        return notFound(uri);
    case FetchOutcome::NoResource:
        if (!result.detail.empty()) logLine("note: " + uri + ": " + result.detail);
        return notFound(uri);
    case FetchOutcome::Failed:
        break;
    }
    return failedReply(uri, result.detail);
}

// The service document, listing the service root's links.
Reply serviceDocumentReply() {
    Reply root = produceResource(kServiceRootPath);
    if (root.status != 200) return root;
    return {200, serviceDocument(root.body)};
}

// The $metadata document: the walk over the whole service runs once, on the first request.
Reply metadataReply() {
    static std::mutex made;
    static std::string document;
    std::lock_guard<std::mutex> lock(made);
    if (document.empty()) {
        // A walk keeping every resource, and following every member, would take a hundred MB
        // and seconds on a service of thousands of log entries.
        MetadataTypes types;
        WalkOptions walk;
        walk.firstMembersOnly = true;
        walk.visit = [&types](const WalkedResource& resource) {
            addMetadataTypes(resource.uri, resource.fetched.resource, types);
        };
        walkService(kServiceRootPath, walk);
        document = metadataDocument(types);
    }
    return {200, document, "application/xml"};
}

// Answers a GET (or HEAD) of the checked path.
Reply answerGet(const std::string& path) {
    const std::string trimmed = withoutTrailingSlashes(path);
    if (trimmed == "/redfish") {
        Json::Value version(Json::objectValue);
        version["v1"] = "/redfish/v1/";
        return {200, version};
    }
    if (trimmed == kServiceDocumentPath) return serviceDocumentReply();
    const std::size_t rootLength = std::strlen(kServiceRootPath);
    if (trimmed.compare(0, rootLength, kServiceRootPath) != 0 ||
        (trimmed.size() > rootLength && trimmed[rootLength] != '/')) {
        return notFound(trimmed);
    }
    return produceResource(trimmed);
}

// Sets the log line's note from what the expansion did.
void noteExpansion(const QueryReport& report) {
    if (report.expanded > 0) addLogNote("expanded " + std::to_string(report.expanded));
    for (const std::string& uri : report.notExpanded)
        addLogNote("link not expanded: " + printableTarget(uri));
    noteFailedStatements(report.failedStatements);
}

// reply, a 200, shaped by options within bounds; path and rawQuery are the request's. An
// expansion first takes a slot of bounds (into slot, which the caller keeps until the answer
// is written), or the reply is 503. The $metadata document (the one answer that is not JSON)
// takes no option.
Reply queriedReply(Reply&& reply, const QueryOptions& options, const std::string& path,
                   const std::string& rawQuery, const ServiceBounds& bounds,
                   std::unique_ptr<SlotHold>& slot) {
    if (!reply.text.empty())
        return errorReply(notForThisResource("The metadata document takes no query options."));
    if (options.expand.levels > 0) {
        slot = std::make_unique<SlotHold>(bounds.expandSlots, bounds.maxWait);
        if (!slot->held()) return busyReply(bounds);
    }
    QueryReport report;
    const RedfishError fault = applyQueryOptions(
        options, path, rawQuery, reply.body, report,
        [](const std::string& uri) { return fetchResource(uri); }, bounds.expand);
    noteExpansion(report);
    return fault.status != 0 ? errorReply(fault) : std::move(reply);
}

// The reply to any request, within bounds (slot: queriedReply's): how it was read and how long
// its connection waited, its method and OData-Version first, then the path, then the query.
Reply answer(const httplib::Request& req, const ServiceBounds& bounds,
             std::unique_ptr<SlotHold>& slot) {
    const ReadRequest& read = requestBeingAnswered();
    if (read.refusal != 0) return unreadRequest(read.refusal);
    if (read.overdue) return busyReply(bounds);
    if (req.method != "GET" && req.method != "HEAD") return refusedMethod(req.method);
    Reply version = unsupportedODataVersion(req);
    if (version.status != 0) return version;
    const std::string::size_type mark = req.target.find('?');
    const std::string path = req.target.substr(0, mark);
    if (path != kMetadataPath && !isAcceptedPath(path)) return badPath(); // the one '$' path
    const std::string rawQuery = mark == std::string::npos ? "" : req.target.substr(mark + 1);
    QueryOptions options;
    const RedfishError fault = parseQueryOptions(rawQuery, options);
    if (fault.status != 0) return errorReply(fault);
    Reply reply = path == kMetadataPath ? metadataReply() : answerGet(path);
    if (reply.status != kOk || options.empty()) return reply;
    return queriedReply(std::move(reply), options, path, rawQuery, bounds, slot);
}

// The request's If-None-Match field values, joined by ','.
std::string ifNoneMatch(const httplib::Request& req) {
    std::string field;
    for (std::size_t i = 0; i < req.get_header_value_count("If-None-Match"); ++i)
        field += req.get_header_value("If-None-Match", i) + ",";
    return field;
}

// Writes reply to res; a 200 gets the ETag of its body and the Link to its schema, and becomes
// a 304 without a body when the request's If-None-Match matches that tag. Accept-Ranges is set
// on every answer, so that httplib adds none of its own to a HEAD.
void writeReply(const httplib::Request& req, const Reply& reply, httplib::Response& res) {
    res.status = reply.status;
    res.set_header("OData-Version", kODataVersion);
    res.set_header("Allow", kAllowedMethods);
    res.set_header("Cache-Control", kCacheControl);
    res.set_header("Accept-Ranges", "none");
    if (!reply.retryAfter.empty()) res.set_header("Retry-After", reply.retryAfter);
    const bool json = reply.text.empty();
    std::string body = json ? resourceText(reply.body) : reply.text;
    if (reply.status == kOk) {
        const std::string schema = json ? jsonSchemaUri(reply.body) : "";
        if (!schema.empty()) res.set_header("Link", "<" + schema + ">; rel=describedby");
        const std::string tag = strongEntityTag(body);
        res.set_header("ETag", tag);
        if (noneMatchHits(ifNoneMatch(req), tag)) {
            // A 304 may state only the length the 200 would have had.
            res.status = kNotModified;
            res.set_header("Content-Length", std::to_string(body.size()));
            return;
        }
    }
    // The body is moved, not copied: an expanded answer may be megabytes.
    res.set_header("Content-Type", json ? "application/json" : reply.textType);
    res.body = std::move(body);
}

// Handles every request before httplib's own routing, within bounds; nothing escapes it. An
// expansion's slot is held until its answer is made.
httplib::Server::HandlerResponse handleRequest(const httplib::Request& req, httplib::Response& res,
                                               const ServiceBounds& bounds) {
    // httplib cuts the body to a requested range after this handler; the service ignores
    // Range instead. The request object is the server's own, not a constant.
    const_cast<httplib::Request&>(req).ranges.clear();
    tLogNote.clear();
    std::unique_ptr<SlotHold> slot;
    try {
        writeReply(req, answer(req, bounds, slot), res);
    } catch (const std::exception& e) {
        writeReply(req, failedReply(req.path, std::string("internal error: ") + e.what()), res);
    } catch (...) {
        writeReply(req, failedReply(req.path, "internal error"), res);
    }
    return httplib::Server::HandlerResponse::Handled;
}

// Gives the answers httplib makes itself (a malformed request, a request line too long) a
// Redfish error body.
httplib::Server::HandlerResponse fillErrorBody(const httplib::Request& req,
                                               httplib::Response& res) {
    if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
    const Reply reply{
        res.status,
        errorBody(redfishError(res.status, generalError("Correct the request and resubmit it."),
                               "The request could not be read."))};
    writeReply(req, reply, res);
    return httplib::Server::HandlerResponse::Handled;
}

// One request log line: client, method and target, status, body length, and the note the
// answer left, if any.
void logRequest(const httplib::Request& req, const httplib::Response& res) {
    // A request that httplib could not read has no client address or method filled in; the
    // connection knows the method as sent.
    const std::string& sent = requestBeingAnswered().method;
    const std::string& method = sent.empty() ? req.method : sent;
    std::ostringstream line;
    line << (req.remote_addr.empty() ? "-" : req.remote_addr) << " \""
         << (method.empty() ? "-" : printableTarget(method)) << ' '
         << (req.target.empty() ? "-" : printableTarget(req.target)) << "\" " << res.status << ' '
         << res.body.size();
    if (!tLogNote.empty()) line << ' ' << tLogNote;
    tLogNote.clear();
    logLine(line.str());
}

// Lets a restarted service bind while old connections linger, but never share a port:
// httplib's default also sets SO_REUSEPORT, with which a second service binds a port in use.
void reuseAddressOnly(socket_t sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

// Binds server to options' address and port. Returns the bound port, or -1.
int bindServer(httplib::Server& server, const ServeOptions& options) {
    server.set_socket_options(reuseAddressOnly);
    const int port = static_cast<int>(options.port);
    if (port == 0) return server.bind_to_any_port(options.bindAddress);
    return server.bind_to_port(options.bindAddress, port) ? port : -1;
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
#ifdef __GLIBC__
    // Each thread would take a malloc arena of its own and keep what an expansion freed there,
    // unused by the next expansion on another thread: the peak would grow with the threads
    // that ever expanded, not with the expansions running at once.
    mallopt(M_ARENA_MAX, 2);
#endif
    const std::chrono::milliseconds maxWait(options.maxWaitSeconds * 1000);
    RequestSlots expandSlots(static_cast<std::size_t>(options.expandWorkers));
    const ServiceBounds bounds{ExpandLimits{static_cast<std::size_t>(options.expandMaxResources),
                                            static_cast<std::size_t>(options.expandMaxBytes)},
                               expandSlots, maxWait};
    ConnectionServer server(static_cast<std::size_t>(options.workers), maxWait);
    server.set_keep_alive_max_count(kMaxRequestsPerConnection);
    server.set_keep_alive_timeout(kKeepAliveSeconds);
    // An answer goes out in several writes (headers, body): without this, Nagle's algorithm
    // holds the body back for the client's delayed ACK, some 40 ms per request.
    server.set_tcp_nodelay(true);
    server.set_pre_routing_handler([&bounds](const httplib::Request& req, httplib::Response& res) {
        return handleRequest(req, res, bounds);
    });
    server.set_error_handler(httplib::Server::HandlerWithResponse(fillErrorBody));
    server.set_logger(logRequest);
    errno = 0;
    const int port = bindServer(server, options);
    if (port < 0) {
        const std::string why = errno != 0 ? std::string(": ") + std::strerror(errno) : "";
        logLine("cannot listen on " + options.bindAddress + " port " +
                std::to_string(options.port) + why);
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
