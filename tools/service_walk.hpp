// A walk over the Redfish service the databases define, the way a client walks it: from one
// URI, following every "@odata.id" link, each URI fetched once (resource_fetcher.hpp).
//
//   walkService          the walk
#ifndef SQL2JSON_TOOLS_SERVICE_WALK_HPP
#define SQL2JSON_TOOLS_SERVICE_WALK_HPP

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include <json/value.h>

#include "json_pointer.hpp"
#include "resource_fetcher.hpp"

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

struct ServiceWalk {
    std::vector<WalkedResource> resources; // in the order fetched
    std::vector<FragmentLink> fragments;   // each distinct link with a fragment, once
    std::size_t links = 0;                 // links met in the resources found
};

// Walks from start (a path; trailing '/' ignored). progress, when set, is called with the
// count of resources fetched so far after each fetch.
ServiceWalk walkService(const std::string& start,
                        const std::function<void(std::size_t)>& progress = nullptr);

#endif
