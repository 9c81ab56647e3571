// The tool's one answer to "what is the resource at this URI": exports fetchResource,
// engineViewOf, readRoutes, isEngineType, runsOnTelemetry, withoutTrailingSlashes and
// sqliteFailure (resource_fetcher.hpp).
#include "common/resource_fetcher.hpp"

#include <cstring>
#include <memory>
#include <mutex>

#include <sqlite3.h>

#include "SqlitetoJsonConverter.h"
#include "SqlitetoJsonDefinitions.h"
#include "common/json_text.hpp"
#include "common/sqlite_handles.hpp"
#include "common/sqlite_watch.hpp"

namespace {

// The engine view of a route, "" when the row holds NULL there (the route keeps its root column
// although its type is an engine type).
const char kEngineViewQuery[] =
    "select ifnull(engine_view, '') from EngineViews where root_view = ?";

// UriInfo's patterns, root views and segment counts, on the main connection, where the resource
// database is attached.
const char kRoutesQuery[] =
    "select URI, view_name, n_Segments from openapidb.UriInfo order by rowid";

// The statement GetViewNameFromopenApiDB composes: <CTE> select root from <view> where ...
const char kSelectRoot[] = SQL2JSON_SELECT_ROOT;
const char kWhereId[] = SQL2JSON_WHERE_ODATA_ID;

// The converter's connections are shared, and the messages read from them (sqlite3_errmsg)
// belong to the last call: one fetch at a time.
std::mutex gLibraryMutex;

void setOutcome(FetchResult& result, FetchOutcome kind, const std::string& detail = std::string()) {
    result.outcome = kind;
    result.detail = detail;
}

// The main connection's last message, for a failure of the engine.
std::string mainConnectionMessage() {
    return dmdbhandle != nullptr ? sqlite3_errmsg(dmdbhandle) : "no database";
}

// Parses text as a JSON object into out. False when it is not one.
bool parseObject(const std::string& text, Json::Value& out) {
    return parseJsonText(text, out) && out.isObject();
}

// The select the engine builds uri's resource from: engineView's row of uri, the URI entering
// the query only as an SQL literal quoted by SQLite. "" when out of memory.
std::string engineQueryFor(const std::string& engineView, const std::string& uri) {
    std::unique_ptr<char, decltype(&sqlite3_free)> query(
        sqlite3_mprintf("select * from \"%w\" where [@odata.id] = %Q", engineView.c_str(),
                        uri.c_str()),
        &sqlite3_free);
    return query ? query.get() : "";
}

// Tells observer, when there is one, that step begins.
void mark(FetchObserver* observer, FetchStep step, const std::string& statement = std::string()) {
    if (observer != nullptr) observer->stepBegins(step, statement);
}

// Builds result's resource through the engine from result.engineQuery; SQLite tells which of
// the engine's statements failed.
void buildThroughEngine(FetchResult& result, FetchObserver* observer) {
    mark(observer, FetchStep::EngineView, result.engineQuery);
    Json::Value resource;
    StatementFailures failures;
    const int rc =
        GetJsonDataFromSQLViewUsingQuery(result.engineQuery.c_str(), resource, kJsonObjectType);
    result.failedStatements = failures.messages();
    if (rc != 0) {
        setOutcome(result, FetchOutcome::Failed,
                   "engine query failed: " + sqliteFailure(rc) + ": " + mainConnectionMessage());
    } else if (!resource.isObject()) {
        setOutcome(result, FetchOutcome::NoResource, "the engine view has no row for the resource");
    } else {
        setOutcome(result, FetchOutcome::Found);
        result.resource = std::move(resource);
    }
}

// The EngineViews row of route, or why it could not be read (rc: GetRequestedSchemaData's).
EngineViewRow lookUpEngineView(const std::string& route, int& rc) {
    EngineViewRow row;
    rc = GetRequestedSchemaData(kEngineViewQuery, row.view, route.c_str());
    row.found = rc == SQLITE_ROW;
    return row;
}

// Answers a root whose type the engine formats: through the engine view EngineViews names
// for the route, or the root itself when the route's row names no engine view.
void answerEngineType(const std::string& uri, Json::Value&& root, FetchResult& result,
                      FetchObserver* observer) {
    int rc = 0;
    mark(observer, FetchStep::EngineLookup);
    const EngineViewRow row = lookUpEngineView(result.route, rc);
    if (rc == SQLITE_DONE) {
        setOutcome(result, FetchOutcome::Failed,
                   "no EngineViews row for route " + result.route + " of type " +
                       root["@odata.type"].asString());
    } else if (rc != SQLITE_ROW) {
        setOutcome(result, FetchOutcome::Failed, "EngineViews lookup: " + sqliteFailure(rc));
    } else if (row.view.empty()) {
        setOutcome(result, FetchOutcome::Found);
        result.resource = std::move(root);
    } else {
        result.engineView = row.view;
        result.engineQuery = engineQueryFor(row.view, uri);
        if (result.engineQuery.empty())
            return setOutcome(result, FetchOutcome::Failed, "out of memory");
        buildThroughEngine(result, observer);
    }
}

// Body of fetchResource, on the locked converter.
void fetchLocked(const std::string& uri, FetchResult& result, FetchObserver* observer) {
    std::string& statement = result.statement;
    mark(observer, FetchStep::RouteLookup);
    int rc = GetViewNameFromopenApiDB(uri.c_str(), statement);
    if (rc != SQLITE_OK)
        return setOutcome(result, FetchOutcome::Failed, "resolving: " + sqliteFailure(rc));
    result.route = routeOf(statement);
    if (result.route.empty()) return setOutcome(result, FetchOutcome::NoRoute);
    std::string rootText;
    mark(observer, FetchStep::RouteStatement, statement);
    rc = GetRequestedSchemaData(statement.c_str(), rootText, uri.c_str());
    if (rc == SQLITE_DONE || (rc == SQLITE_ROW && rootText.empty()))
        return setOutcome(result, FetchOutcome::NoResource);
    if (rc != SQLITE_ROW) {
        // A statement on the main connection leaves SQLite's message there; the telemetry
        // database's connection is gone.
        const bool main = !runsOnTelemetry(statement);
        return setOutcome(result, FetchOutcome::Failed,
                          "root query failed: " + sqliteFailure(rc) +
                              (main ? ": " + mainConnectionMessage() : ""));
    }
    Json::Value root;
    if (!parseObject(rootText, root))
        return setOutcome(result, FetchOutcome::Failed, "the root column is not a JSON object");
    static const char kTypeKey[] = "@odata.type";
    const Json::Value* type = root.find(kTypeKey, kTypeKey + sizeof kTypeKey - 1);
    if (type != nullptr && isEngineType(*type))
        return answerEngineType(uri, std::move(root), result, observer);
    setOutcome(result, FetchOutcome::Found);
    result.resource = std::move(root);
}

} // namespace

FetchResult fetchResource(const std::string& uri, FetchObserver* observer) {
    std::lock_guard<std::mutex> lock(gLibraryMutex);
    FetchResult result;
    fetchLocked(uri, result, observer);
    return result;
}

std::vector<Route> readRoutes() {
    std::lock_guard<std::mutex> lock(gLibraryMutex);
    std::vector<Route> routes;
    StatementPtr stmt;
    if (dmdbhandle == nullptr || prepareStatement(dmdbhandle, kRoutesQuery, stmt) != SQLITE_OK ||
        stmt == nullptr)
        return routes;
    while (sqlite3_step(stmt.get()) == SQLITE_ROW) {
        const unsigned char* pattern = sqlite3_column_text(stmt.get(), 0);
        const unsigned char* view = sqlite3_column_text(stmt.get(), 1);
        routes.push_back({pattern ? reinterpret_cast<const char*>(pattern) : "",
                          view ? reinterpret_cast<const char*>(view) : "",
                          sqlite3_column_int64(stmt.get(), 2)});
    }
    return routes;
}

EngineViewRow engineViewOf(const std::string& route) {
    std::lock_guard<std::mutex> lock(gLibraryMutex);
    int rc = 0;
    return lookUpEngineView(route, rc);
}

std::string routeOf(const std::string& statement) {
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

bool runsOnTelemetry(const std::string& statement) {
    return statement.find(SQL2JSON_TELEMETRY_MARKER) != std::string::npos;
}

bool isEngineType(const Json::Value& odataType) {
    if (!odataType.isString()) return false;
    const std::string type = odataType.asString();
    for (const char* const* name = rf_metadata; *name != nullptr; ++name) {
        if (type == *name) return true;
    }
    return false;
}

std::string withoutTrailingSlashes(const std::string& path) {
    const std::string::size_type end = path.find_last_not_of('/');
    return end == std::string::npos ? path.substr(0, 1) : path.substr(0, end + 1);
}

std::string sqliteFailure(int rc) {
    return "SQLite error " + std::to_string(rc) + " (" + sqlite3_errstr(rc) + ")";
}
