// The query parameters that serve answers, read from the query of a request target:
//
//   parseQueryOptions   $expand, $select, $top and $skip, or the error that refuses the request
//   nextPageTarget      the target of a collection's next page
//   notForThisResource  the error for options that do not apply to an answer
//
// A parameter whose name begins with '$' and is none of the four refuses the request with 501; a
// name without '$' is ignored.
#ifndef SQL2JSON_TOOLS_SERVE_QUERY_OPTIONS_HPP
#define SQL2JSON_TOOLS_SERVE_QUERY_OPTIONS_HPP

#include <cstdint>
#include <string>
#include <vector>

#include "serve/redfish_errors.hpp"

constexpr int kMaxExpandLevels = 6;

// $expand=c($levels=n): which links to replace by their resources, and how deep.
struct ExpandOption {
    bool outsideLinks = false; // '.' or '*': links not under a "Links" property
    bool underLinks = false;   // '~' or '*': links under a "Links" property
    int levels = 0;            // 0 without $expand
    std::string text;          // the value as sent, decoded: "*($levels=6)"
};

// The properties $select names: a tree of names, each node selecting its whole value when
// whole is set, else only the listed children.
struct SelectNode {
    std::string name;
    bool whole = false;
    std::vector<SelectNode> children;
};

struct QueryOptions {
    ExpandOption expand;
    bool hasSelect = false;
    SelectNode select;
    bool hasTop = false;
    bool hasSkip = false;
    std::uint64_t top = 0;
    std::uint64_t skip = 0;

    // True when no option was given.
    bool empty() const { return expand.levels == 0 && !hasSelect && !hasTop && !hasSkip; }
};

// Reads the query rawQuery (the target's text after '?', percent-encoded as sent) into options.
// Returns the error when a parameter is unsupported (501, one message per parameter) or has a
// malformed or out-of-range value (400); options then holds what was read before.
RedfishError parseQueryOptions(const std::string& rawQuery, QueryOptions& options);

// The 400 error for query options given to an answer they do not apply to; why is the error's
// own message.
RedfishError notForThisResource(const std::string& why);

// path?rawQuery with every $skip parameter dropped and "$skip=skip" appended; the other
// parameters stay as sent, in their order.
std::string nextPageTarget(const std::string& path, const std::string& rawQuery,
                           std::uint64_t skip);

#endif
