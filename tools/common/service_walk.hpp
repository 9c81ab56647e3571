// A walk over the Redfish service the databases define, the way a client walks it: from one
// URI, following every "@odata.id" link, each URI fetched once (resource_fetcher.hpp).
//
//   walkService          the walk
//   linksIn              the links of one resource
//   linkSitesTo          where the walk's resources link to given targets
#ifndef SQL2JSON_TOOLS_COMMON_SERVICE_WALK_HPP
#define SQL2JSON_TOOLS_COMMON_SERVICE_WALK_HPP

#include <cstddef>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <json/value.h>

#include "common/json_pointer.hpp"
#include "common/resource_fetcher.hpp"

// Where a link was met: the resource holding it and the JSON pointer of its "@odata.id".
struct LinkSite {
    std::string uri;
    std::string pointer;
};

// One URI fetched on the walk, with the first link that led to it (empty for the start).
struct WalkedResource {
    std::string uri;
    FetchResult fetched;
    LinkSite via;
};

// A link with a fragment ("/redfish/v1/Chassis/1U/Power#/PowerControl/0"): its resource is
// fetched as base, and the fragment is a JSON pointer into it.
struct FragmentLink {
    LinkSite site;
    std::string base;
    std::string fragment;
};

// A link met in a resource: the JSON pointer of its "@odata.id" and the URI it names.
struct FoundLink {
    std::string pointer;
    std::string target;
};

// Every "@odata.id" text below resource, in document order; the resource's own "@odata.id"
// is its identity, not a link.
std::vector<FoundLink> linksIn(const Json::Value& resource);

struct ServiceWalk {
    std::vector<WalkedResource> resources; // in the order fetched
    std::vector<FragmentLink> fragments;   // each distinct link with a fragment, once
    std::size_t links = 0;                 // links met in the resources found
};

// Each resource the walk found, as it is found.
using WalkVisitor = std::function<void(const WalkedResource& resource)>;

// How a walk goes.
struct WalkOptions {
    // Called with the count of resources fetched so far after each fetch.
    std::function<void(std::size_t)> progress;
    // Each resource found is handed to visit, and the walk keeps of it only its outcome
    // (fetched.resource null, no statements): its memory follows its URIs, not its resources.
    WalkVisitor visit;
    // A collection's members are of one type: only the first member of each "Members" array
    // is followed, so the walk's cost does not grow with its collections.
    bool firstMembersOnly = false;
};

// Walks from start (a path; trailing '/' ignored), every link followed unless options say not.
ServiceWalk walkService(const std::string& start, const WalkOptions& options = {});

// Every site in walk's resources of a link to one of targets, by target, in the order the walk
// met them (so each target's first site is the "via" of its walked resource). A link's target
// is what the walk fetched for it (its URI without fragment and trailing '/'), and for a link
// with a fragment also that URI, '#' and the fragment.
std::map<std::string, std::vector<LinkSite>> linkSitesTo(const ServiceWalk& walk,
                                                         const std::set<std::string>& targets);

#endif
