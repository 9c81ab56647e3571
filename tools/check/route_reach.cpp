// check's unreached routes (route_reach.hpp): exports unreachedRoutes.
#include "check/route_reach.hpp"

#include <algorithm>
#include <cstdint>
#include <map>

#include <sqlite3.h>

namespace {

std::int64_t slashes(const std::string& text) {
    return static_cast<std::int64_t>(std::count(text.begin(), text.end(), '/'));
}

// True when text matches the LIKE pattern (no escape character).
bool matchesLike(const std::string& pattern, const std::string& text) {
    return sqlite3_strlike(pattern.c_str(), text.c_str(), 0) == 0;
}

// True when pattern, cut before its '/' after as many as start has, matches start.
bool isAtOrBelow(const std::string& pattern, const std::string& start) {
    const std::int64_t depth = slashes(start);
    std::string::size_type cut = 0;
    for (std::int64_t seen = 0; seen <= depth; ++seen) {
        cut = pattern.find('/', seen == 0 ? 0 : cut + 1);
        if (cut == std::string::npos) {
            if (seen < depth) return false; // the pattern has fewer segments than start
            break;
        }
    }
    return matchesLike(pattern.substr(0, cut), start);
}

} // namespace

std::vector<Route> unreachedRoutes(const std::vector<Route>& routes,
                                   const std::vector<std::string>& uris, const std::string& start) {
    std::map<std::int64_t, std::vector<const std::string*>> bySegments;
    for (const std::string& uri : uris)
        bySegments[slashes(uri)].push_back(&uri);
    const std::string from = start == "/" ? std::string() : start;
    std::vector<Route> unreached;
    for (const Route& route : routes) {
        if (route.pattern.empty() || !isAtOrBelow(route.pattern, from)) continue;
        const auto candidates = bySegments.find(route.segments);
        const bool reached =
            candidates != bySegments.end() &&
            std::any_of(candidates->second.begin(), candidates->second.end(),
                        [&](const std::string* uri) { return matchesLike(route.pattern, *uri); });
        if (!reached) unreached.push_back(route);
    }
    return unreached;
}
