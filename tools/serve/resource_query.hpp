// A JSON answer of serve shaped by its request's query options (query_options.hpp), in the order
// Redfish processes them: $skip and $top, then $expand, then $select.
//
//   applyQueryOptions   the shaped answer, or why the options do not apply to it
//   QueryReport         what the expansion did, for the request's log line
#ifndef SQL2JSON_TOOLS_SERVE_RESOURCE_QUERY_HPP
#define SQL2JSON_TOOLS_SERVE_RESOURCE_QUERY_HPP

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include <json/value.h>

#include "common/resource_fetcher.hpp"
#include "serve/query_options.hpp"

// Where an expansion takes the resources it places: fetchResource, or a test's own.
using ResourceSource = std::function<FetchResult(const std::string& uri)>;

// What one expansion may place in its answer. An expansion that would go past either bound
// stops there, and the request is refused: the answer's memory stays within a small multiple
// of maxBytes (some ten times), however large the tree is. 1 000 of the sample's members,
// log entries or sensors, take 0.6 to 0.8 MB.
struct ExpandLimits {
    std::size_t maxResources = 1000; // links replaced, each replacement counted
    // their resources' compact JSON text, summed
    std::size_t maxBytes = std::size_t{1024} * 1024;
};

struct QueryReport {
    std::size_t expanded = 0;                  // links replaced by their resources
    std::size_t expandedBytes = 0;             // their compact JSON text, summed
    std::vector<std::string> notExpanded;      // links whose resources could not be fetched
    std::vector<std::string> failedStatements; // of the resources fetched (FetchResult's)
};

// Applies options to body, the answer to a GET of path (the request path as sent) with the query
// rawQuery (as sent, for the link to the next page):
// - $skip/$top keep that part of the "Members" array, and "Members@odata.nextLink" names the
//   next page while members remain after this one ($top=0 has none); "Members@odata.count"
//   stays the whole count;
// - $expand replaces each link it names (an object whose one member is "@odata.id", without a
//   fragment) by the resource source gives for it, down to the levels asked; each URI is
//   fetched once per call, and a link back to a resource being expanded stays a link, as does a
//   link that cannot be fetched (named in report);
// - $select keeps the named properties, the annotations of each ("Members@odata.count" with
//   "Members") and, in every object kept, "@odata.id", "@odata.type", "@odata.context" and
//   "@odata.etag".
// Returns a fault (400) when $skip or $top is given and body has no "Members" array (body is
// then untouched), or when the expansion would pass limits (QueryParameterOutOfRange naming
// them; body is then partly expanded).
RedfishError applyQueryOptions(const QueryOptions& options, const std::string& path,
                               const std::string& rawQuery, Json::Value& body, QueryReport& report,
                               const ResourceSource& source, const ExpandLimits& limits = {});

// The text that names limits in the fault of an expansion past them.
std::string expandLimitsText(const ExpandLimits& limits);

#endif
