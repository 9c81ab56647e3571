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

// The walk's state: URIs already queued, fragment links already met.
class Walker {
  public:
    explicit Walker(const std::function<void(std::size_t)>& progress) : progress_(progress) {}

    ServiceWalk run(const std::string& start) {
        enqueue(withoutTrailingSlashes(start), LinkSite{});
        while (!queue_.empty()) {
            WalkedResource next = std::move(queue_.front());
            queue_.pop_front();
            next.fetched = fetchResource(next.uri);
            if (next.fetched.outcome == FetchOutcome::Found) follow(next);
            walk_.resources.push_back(std::move(next));
            if (progress_) progress_(walk_.resources.size());
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
            const LinkSite site{resource.uri, link.pointer};
            const std::string::size_type hash = link.target.find('#');
            const std::string base = linkBase(link.target);
            enqueue(base, site);
            if (hash != std::string::npos && fragmentsSeen_.insert(link.target).second)
                walk_.fragments.push_back({site, base, link.target.substr(hash + 1)});
        }
    }

    const std::function<void(std::size_t)>& progress_;
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

ServiceWalk walkService(const std::string& start,
                        const std::function<void(std::size_t)>& progress) {
    return Walker(progress).run(start);
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
