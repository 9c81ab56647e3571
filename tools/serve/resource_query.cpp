// Query options applied to an answer (resource_query.hpp): exports applyQueryOptions.
#include "serve/resource_query.hpp"

#include <algorithm>
#include <map>
#include <utility>

#include "common/json_text.hpp"

namespace {

const std::string kId = "@odata.id";
const std::string kMembers = "Members";
const char* const kControlProperties[] = {"@odata.context", "@odata.etag", "@odata.id",
                                          "@odata.type"};

// The member key of object, or nullptr.
const Json::Value* memberOf(const Json::Value& object, const std::string& key) {
    return object.isObject() ? object.find(key.data(), key.data() + key.size()) : nullptr;
}

// The URI value links to when it is a plain link (an object whose one member is the string
// "@odata.id", naming no fragment), without trailing '/'; "" otherwise.
std::string plainLinkTarget(const Json::Value& value) {
    const Json::Value* id = value.size() == 1 ? memberOf(value, kId) : nullptr;
    if (id == nullptr || !id->isString()) return "";
    const std::string target = id->asString();
    return target.find('#') == std::string::npos ? withoutTrailingSlashes(target) : "";
}

// One expansion: the links it replaces, a cache of what it fetched, and the resources being
// expanded from the answer down to the current link.
class Expander {
  public:
    Expander(const ExpandOption& option, const ExpandLimits& limits, QueryReport& report,
             const ResourceSource& source)
        : option_(option), limits_(limits), report_(report), source_(source) {}

    // True once a replacement would have passed the limits: nothing more is expanded.
    bool exceeded() const { return exceeded_; }

    // Expands the links in resource, the resource at uri, levels deep.
    void expandResource(Json::Value& resource, const std::string& uri, int levels) {
        ancestors_.push_back(uri);
        expandMembers(resource, false, levels);
        ancestors_.pop_back();
    }

  private:
    // Expands the links in the members of object; underLinks: object is below a "Links".
    void expandMembers(Json::Value& object, bool underLinks, int levels) {
        for (auto member = object.begin(); member != object.end() && !exceeded_; ++member)
            expandValue(*member, underLinks || member.name() == "Links", levels);
    }

    // Expands value if it is a link the option names, else the links within it.
    void expandValue(Json::Value& value, bool underLinks, int levels) {
        if (value.isArray()) {
            for (Json::Value& element : value) {
                if (exceeded_) return;
                expandValue(element, underLinks, levels);
            }
            return;
        }
        if (!value.isObject()) return;
        const std::string target = plainLinkTarget(value);
        if (target.empty()) {
            expandMembers(value, underLinks, levels);
        } else if (underLinks ? option_.underLinks : option_.outsideLinks) {
            expandLink(value, target, levels);
        }
    }

    // Replaces link, to target, by its resource, expanded levels - 1 deeper. A link back to a
    // resource being expanded stays, so a loop ends; so does one that cannot be fetched.
    void expandLink(Json::Value& link, const std::string& target, int levels) {
        if (std::find(ancestors_.begin(), ancestors_.end(), target) != ancestors_.end()) return;
        const Fetched& fetched = fetch(target);
        if (!fetched.found) return;
        const std::size_t bytes = fetched.text.size();
        if (report_.expanded >= limits_.maxResources ||
            bytes > limits_.maxBytes - std::min(limits_.maxBytes, report_.expandedBytes)) {
            exceeded_ = true;
            return;
        }
        if (!parseJsonText(fetched.text, link)) return;
        ++report_.expanded;
        report_.expandedBytes += bytes;
        if (levels > 1) expandResource(link, target, levels - 1);
    }

    // A resource fetched, kept as its compact JSON text: a tenth of the memory of its tree.
    struct Fetched {
        bool found = false;
        std::string text;
    };

    // What the source gives for uri, fetched on its first request only.
    const Fetched& fetch(const std::string& uri) {
        auto cached = cache_.find(uri);
        if (cached == cache_.end()) {
            const FetchResult result = source_(uri);
            Fetched fetched;
            fetched.found = result.outcome == FetchOutcome::Found;
            if (fetched.found)
                fetched.text = compactText(result.resource);
            else
                report_.notExpanded.push_back(uri);
            report_.failedStatements.insert(report_.failedStatements.end(),
                                            result.failedStatements.begin(),
                                            result.failedStatements.end());
            cached = cache_.emplace(uri, std::move(fetched)).first;
        }
        return cached->second;
    }

    const ExpandOption& option_;
    const ExpandLimits& limits_;
    QueryReport& report_;
    const ResourceSource& source_;
    std::map<std::string, Fetched> cache_;
    std::vector<std::string> ancestors_;
    bool exceeded_ = false;
};

// Keeps the members of body that options' $skip and $top ask for, and links the next page
// while members remain after a page of at least one. Returns a 400 fault, body untouched,
// when body has no Members array.
RedfishError pageMembers(const QueryOptions& options, const std::string& path,
                         const std::string& rawQuery, Json::Value& body) {
    const Json::Value* members = memberOf(body, kMembers);
    if (members == nullptr || !members->isArray()) {
        const std::string name = options.hasTop ? "$top" : "$skip";
        return notForThisResource("The query parameter " + name +
                                  " applies to resource collections only.");
    }
    const std::uint64_t size = members->size();
    const std::uint64_t begin = std::min(options.skip, size);
    const std::uint64_t end = options.hasTop ? std::min(size, begin + options.top) : size;
    Json::Value page(Json::arrayValue);
    for (std::uint64_t i = begin; i < end; ++i)
        page.append((*members)[static_cast<Json::ArrayIndex>(i)]);
    body[kMembers] = std::move(page);
    // $top=0 asks for no member: a next page would be this one again.
    if (begin < end && end < size)
        body[kMembers + "@odata.nextLink"] = nextPageTarget(path, rawQuery, end);
    return {};
}

// Copies the annotations of the property name ("name@...") from object into out.
void copyAnnotations(const Json::Value& object, const std::string& name, Json::Value& out) {
    const std::string prefix = name + "@";
    for (auto member = object.begin(); member != object.end(); ++member) {
        if (member.name().compare(0, prefix.size(), prefix) == 0) out[member.name()] = *member;
    }
}

// What select keeps of value: in an object, the control properties and the selected members;
// in an array, that of each element; any other value whole.
Json::Value selected(const Json::Value& value, const SelectNode& select) {
    if (value.isArray()) {
        Json::Value out(Json::arrayValue);
        for (const Json::Value& element : value)
            out.append(selected(element, select));
        return out;
    }
    if (!value.isObject()) return value;
    Json::Value out(Json::objectValue);
    for (const char* control : kControlProperties) {
        const Json::Value* kept = memberOf(value, control);
        if (kept != nullptr) out[control] = *kept;
    }
    for (const SelectNode& child : select.children) {
        const Json::Value* member = memberOf(value, child.name);
        if (member == nullptr) continue;
        out[child.name] = child.whole ? *member : selected(*member, child);
        copyAnnotations(value, child.name, out);
    }
    return out;
}

} // namespace

RedfishError applyQueryOptions(const QueryOptions& options, const std::string& path,
                               const std::string& rawQuery, Json::Value& body, QueryReport& report,
                               const ResourceSource& source, const ExpandLimits& limits) {
    if (options.hasTop || options.hasSkip) {
        RedfishError fault = pageMembers(options, path, rawQuery, body);
        if (fault.status != 0) return fault;
    }
    if (options.expand.levels > 0) {
        Expander expander(options.expand, limits, report, source);
        expander.expandResource(body, withoutTrailingSlashes(path), options.expand.levels);
        if (expander.exceeded()) {
            return redfishError(400, queryParameterOutOfRange(options.expand.text, "$expand",
                                                              expandLimitsText(limits)));
        }
    }
    if (options.hasSelect) body = selected(body, options.select);
    return {};
}

std::string expandLimitsText(const ExpandLimits& limits) {
    return "of at most " + std::to_string(limits.maxResources) + " resources and " +
           std::to_string(limits.maxBytes) +
           " bytes of JSON in one answer (page a collection with $top and $skip)";
}
