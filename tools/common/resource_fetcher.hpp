// How the tool answers a Redfish URI: the one routing that get, serve and check share.
//
//   fetchResource       the resource at a URI, or why there is none
//   routeOf, engineViewOf, isEngineType, runsOnTelemetry   how a route is answered
//   readRoutes          every route of UriInfo
//   withoutTrailingSlashes, sqliteFailure
#ifndef SQL2JSON_TOOLS_COMMON_RESOURCE_FETCHER_HPP
#define SQL2JSON_TOOLS_COMMON_RESOURCE_FETCHER_HPP

#include <cstdint>
#include <string>
#include <vector>

#include <json/value.h>

enum class FetchOutcome {
    Found,      // resource holds the resource
    NoRoute,    // no UriInfo pattern matches the URI
    NoResource, // the route's statement gave no row (or an empty root)
    Failed      // a statement failed or gave no JSON object; detail says which
};

struct FetchResult {
    FetchOutcome outcome = FetchOutcome::Failed;
    Json::Value resource;
    std::string detail;      // why, for NoResource (when known) and Failed
    std::string route;       // the route's view name in UriInfo ("" when none matched)
    std::string statement;   // the route's statement, as GetViewNameFromopenApiDB composed it
    std::string engineView;  // the engine view it was built from ("" when answered by a root)
    std::string engineQuery; // the engine's query over that view
    // SQLite's message for each statement that failed to prepare or to step while the engine
    // built the resource (its view query and sub-queries at any depth), in order.
    std::vector<std::string> failedStatements;
};

// The EngineViews row of a route: whether there is one, and the engine view it names ("" for
// NULL).
struct EngineViewRow {
    bool found = false;
    std::string view;
};

// The steps of a fetch, in their order; each step's statements run after its mark.
enum class FetchStep {
    RouteLookup,    // GetViewNameFromopenApiDB: the UriInfo pattern of the URI
    RouteStatement, // GetRequestedSchemaData: the route's statement, with the URI bound
    EngineLookup,   // GetRequestedSchemaData: the route's EngineViews row
    EngineView      // the engine: the engine view's query and its sub-queries
};

// Told, on the fetching thread, when each step of a fetch begins, with the statement it runs
// ("" for the lookups, the composed statement, the engine query).
class FetchObserver {
  public:
    virtual ~FetchObserver() = default;
    virtual void stepBegins(FetchStep step, const std::string& statement) = 0;
};

// The resource at uri, a path without trailing '/'. The URI is resolved through UriInfo and
// the composed statement runs with the URI bound; when the root column's "@odata.type" is one
// whose property types the converter loads, the resource is built again by the view-to-JSON
// engine from the view that EngineViews names for the route (NULL there keeps the root). Calls
// into the converter are serialised, so any thread may call it.
FetchResult fetchResource(const std::string& uri, FetchObserver* observer = nullptr);

// The EngineViews row of route (a view name of UriInfo). Calls into the converter are
// serialised as fetchResource's are.
EngineViewRow engineViewOf(const std::string& route);

// One row of UriInfo: a URI pattern (SQL LIKE, '%' for one segment), its count of '/' and its
// root view.
struct Route {
    std::string pattern;
    std::string view;
    std::int64_t segments = 0; // n_Segments
    // True for a pattern with a '%': a member of a collection, or a resource below one.
    bool isMember() const { return pattern.find('%') != std::string::npos; }
};

// Every row of UriInfo, in the table's order; empty when it cannot be read. Serialised as
// fetchResource is.
std::vector<Route> readRoutes();

// The route (root view name) of statement, as GetViewNameFromopenApiDB composes it: "<CTE>
// select root from <view> where [@odata.id]=?". "" when the lookup found none (or the text does
// not have that shape).
std::string routeOf(const std::string& statement);

// True when the converter runs statement on the telemetry database: its text holds "JSON".
bool runsOnTelemetry(const std::string& statement);

// True when odataType is one of the types whose property types the converter loads.
bool isEngineType(const Json::Value& odataType);

// The path without its trailing '/' characters ("/" stays "/").
std::string withoutTrailingSlashes(const std::string& path);

// "SQLite error <rc> (<SQLite's text for rc>)".
std::string sqliteFailure(int rc);

#endif
