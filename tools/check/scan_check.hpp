// check's scan problems: a statement run for a member URI (a route whose pattern has a '%')
// whose plan reads a table whole, so that each GET of a member costs more the more rows that
// table holds. The statements are the route's statement, the engine view's query and every
// sub-query (the engine audit's account); each distinct statement shape of a route is planned
// once (common/statement_plan.hpp), and each table that one of them reads whole is one
// problem of that route, with the count of its members walked.
#ifndef SQL2JSON_TOOLS_CHECK_SCAN_CHECK_HPP
#define SQL2JSON_TOOLS_CHECK_SCAN_CHECK_HPP

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "check/engine_audit.hpp"
#include "common/resource_fetcher.hpp"

struct ScanFinding {
    std::string uri;     // the first member walked whose statement reads the table whole
    std::string pointer; // "" for the route's statement and the engine view's query
    std::string message;
};

class ScanCheck {
  public:
    // routes: UriInfo's rows; only their member routes are checked.
    explicit ScanCheck(const std::vector<Route>& routes);

    // Takes the statements of a resource found at uri; audit is the engine audit of it (null
    // when its route has no engine view).
    void add(const std::string& uri, const FetchResult& fetched, const EngineAudit* audit);

    // Plans each statement shape once and returns one finding per route and table read whole,
    // routes in the order first met.
    std::vector<ScanFinding> findings() const;

  private:
    struct Shape {
        std::string uri;     // of its first member
        std::string pointer; // of its first member
        std::string role;    // how a message names the statement
        std::string sql;     // the first member's text
        std::string view;    // the view whose "@odata.id" it compares with the URI, or ""
        bool telemetry = false;
        std::size_t members = 0;
    };
    void addStatement(const std::string& route, Shape shape);

    std::map<std::string, std::string> patterns_; // member route -> its UriInfo pattern
    std::map<std::string, std::size_t> members_;  // member route -> its URIs walked
    std::vector<std::string> routeOrder_;
    std::map<std::string, std::map<std::string, Shape>> shapes_; // route -> shape text -> shape
};

#endif
