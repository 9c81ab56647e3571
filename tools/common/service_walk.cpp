// The walk over the service (service_walk.hpp): exports walkService, linksIn and linkSitesTo.
#include "common/service_walk.hpp"

#include <deque>

namespace {

// Appends every "@odata.id" text below value (at pointer) to links; the top-level object's
// own "@odata.id" is the resource's identity, not a link.
void collectLinks(const Json::Value& value, const std::string& pointer, bool top,
                  std::vector<FoundLink>& links) {
    if (value.isArray()) {
        for (Json::ArrayIndex i = 0; i < value.size(); ++i)
            collectLinks(value[i], pointer + "/" + std::to_string(i), false, links);
        return;
    }
    if (!value.isObject()) return;
    for (auto member = value.begin(); member != value.end(); ++member) {
        const std::string key = member.name();
        const std::string at = pointer + "/" + pointerToken(key);
        if (key == "@odata.id") {
            if (!top && member->isString()) links.push_back({at, member->asString()});
        } else {
            collectLinks(*member, at, false, links);
        }
    }
}

// The URI the walk fetches for a link to target: without its fragment and trailing '/'.
std::string linkBase(const std::string& target) {
    return withoutTrailingSlashes(target.substr(0, target.find('#')));
}

// True when pointer is the "@odata.id" of a resource's member after its first:
// "/Members/1/@odata.id" and on.
bool isLaterMember(const std::string& pointer) {
    const std::string prefix = "/Members/";
    const std::string suffix = "/@odata.id";
    if (pointer.size() <= prefix.size() + suffix.size() ||
        pointer.compare(0, prefix.size(), prefix) != 0 ||
        pointer.compare(pointer.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return false;
    }
    const std::string index =
        pointer.substr(prefix.size(), pointer.size() - prefix.size() - suffix.size());
    return index != "0" && index.find_first_not_of("0123456789") == std::string::npos;
}

// result without its resource and statements: what a visiting walk keeps.
FetchResult outcomeOnly(const FetchResult& result) {
    FetchResult kept;
    kept.outcome = result.outcome;
    return kept;
}

// The walk's state: URIs already queued, fragment links already met.
class Walker {
  public:
    explicit Walker(const WalkOptions& options) : options_(options) {}

    ServiceWalk run(const std::string& start) {
        enqueue(withoutTrailingSlashes(start), LinkSite{});
        while (!queue_.empty()) {
            WalkedResource next = std::move(queue_.front());
            queue_.pop_front();
            next.fetched = fetchResource(next.uri);
            if (next.fetched.outcome == FetchOutcome::Found) {
                follow(next);
                if (options_.visit) options_.visit(next);
            }
            if (options_.visit) next.fetched = outcomeOnly(next.fetched);
            walk_.resources.push_back(std::move(next));
            if (options_.progress) options_.progress(walk_.resources.size());
        }
        return std::move(walk_);
    }

  private:
    void enqueue(const std::string& uri, const LinkSite& via) {
        if (!queued_.insert(uri).second) return;
        WalkedResource item;
        item.uri = uri;
        item.via = via;
        queue_.push_back(std::move(item));
    }

    // Queues the targets of resource's links; a fragment's resource is queued, and the link
    // kept to be checked against it.
    void follow(const WalkedResource& resource) {
        const std::vector<FoundLink> links = linksIn(resource.fetched.resource);
        walk_.links += links.size();
        for (const FoundLink& link : links) {
            if (options_.firstMembersOnly && isLaterMember(link.pointer)) continue;
            const LinkSite site{resource.uri, link.pointer};
            const std::string::size_type hash = link.target.find('#');
            const std::string base = linkBase(link.target);
            enqueue(base, site);
            if (hash != std::string::npos && fragmentsSeen_.insert(link.target).second)
                walk_.fragments.push_back({site, base, link.target.substr(hash + 1)});
        }
    }

    const WalkOptions& options_;
    ServiceWalk walk_;
    std::deque<WalkedResource> queue_;
    std::set<std::string> queued_;
    std::set<std::string> fragmentsSeen_;
};

} // namespace

std::vector<FoundLink> linksIn(const Json::Value& resource) {
    std::vector<FoundLink> links;
    collectLinks(resource, "", true, links);
    return links;
}

ServiceWalk walkService(const std::string& start, const WalkOptions& options) {
    return Walker(options).run(start);
}

std::map<std::string, std::vector<LinkSite>> linkSitesTo(const ServiceWalk& walk,
                                                         const std::set<std::string>& targets) {
    std::map<std::string, std::vector<LinkSite>> sites;
    if (targets.empty()) return sites;
    for (const WalkedResource& resource : walk.resources) {
        if (resource.fetched.outcome != FetchOutcome::Found) continue;
        for (const FoundLink& link : linksIn(resource.fetched.resource)) {
            const std::string base = linkBase(link.target);
            const std::string::size_type hash = link.target.find('#');
            for (const std::string& target :
                 {base,
                  hash == std::string::npos ? std::string() : base + link.target.substr(hash)}) {
                if (!target.empty() && targets.count(target) != 0)
                    sites[target].push_back({resource.uri, link.pointer});
            }
        }
    }
    return sites;
}
