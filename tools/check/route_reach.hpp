// check's unreached routes: a route of UriInfo that no URI of the walk matched serves resources
// that no link leads to, so nothing of it was checked.
//
//   unreachedRoutes   the routes at or below the walk's start that the walk did not reach
#ifndef SQL2JSON_TOOLS_CHECK_ROUTE_REACH_HPP
#define SQL2JSON_TOOLS_CHECK_ROUTE_REACH_HPP

#include <string>
#include <vector>

#include "common/resource_fetcher.hpp"

// The routes (in their order) at or below start that no URI of uris matches. A URI matches a
// route when it has the route's count of '/' and matches its pattern as SQLite's LIKE does
// (sqlite3_strlike), as the routes table defines them; a route is at or below start when its
// pattern, cut to start's count of '/', matches start so. A URI that a more specific route
// answers still reaches every route whose pattern it matches.
std::vector<Route> unreachedRoutes(const std::vector<Route>& routes,
                                   const std::vector<std::string>& uris, const std::string& start);

#endif
