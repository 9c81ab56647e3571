// sql2json check (check.hpp): exports runCheck.
//
// The walk (service_walk.hpp) fetches every resource reachable from the start the way get and
// serve answer it. Each resource found is then checked for what a client relies on:
//   @odata.id     equals the URI it was fetched at (trailing '/' aside)
//   @odata.type   present, and its DMTF schema in the folder (schema_validator.hpp)
//   schema        the resource validates against that schema
//   @odata.count  every "X@odata.count" equals the length of the array "X" beside it
//   link          every link's URI has a route and a row; a link with a fragment points at a
//                 member of the resource it names
//   statement     every statement that builds the resource runs: the route's, the engine
//                 view's and every sub-query's at any depth (engine_audit.hpp)
//   dropped       every nested column of an engine view reaches the resource
//   unformatted   a route whose EngineViews row names an engine view has a type the
//                 converter loads (else that view is never used)
//   scan          no statement run for a member URI reads a table whole (scan_check.hpp)
//   unreached     every route at or below the start serves a URI the walk met (route_reach.hpp)
// Each problem is one line "URI#POINTER: keyword: what is wrong" (the pointer is a JSON
// pointer into the resource), or one member of --json's "problems". A fault that shows in many
// places is one problem with all of them (check_report.hpp): a column or a sub-query of the
// same view failing in every row, the same message at the same place of every resource of a
// route, every link to the same missing resource or fragment.
#include "check/check.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <map>
#include <set>

#include <json/value.h>

#include "check/check_report.hpp"
#include "check/engine_audit.hpp"
#include "check/route_reach.hpp"
#include "check/scan_check.hpp"
#include "check/schema/schema_validator.hpp"
#include "common/exit_status.hpp"
#include "common/json_text.hpp"
#include "common/service_walk.hpp"

namespace {

const char kCheckUsage[] = "usage: sql2json check --schemas DIR [--json] [--from URI]\n";
const char kCountSuffix[] = "@odata.count";

struct CheckOptions {
    std::string schemaDir;
    bool json = false;
    std::string from = "/redfish/v1";
};

// Fills options from args. Returns kExitOk, or kExitUsage after reporting the problem.
int parseCheckOptions(const std::vector<std::string>& args, CheckOptions& options) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size() && !args[i + 1].empty();
        if (args[i] == "--schemas" && hasValue) {
            options.schemaDir = args[++i];
        } else if (args[i] == "--from" && hasValue && args[i + 1][0] == '/') {
            options.from = args[++i];
        } else if (args[i] == "--json") {
            options.json = true;
        } else {
            std::cerr << "sql2json: check takes --schemas DIR, --json and --from URI\n"
                      << kCheckUsage;
            return kExitUsage;
        }
    }
    if (!options.schemaDir.empty()) return kExitOk;
    std::cerr << "sql2json: check needs --schemas DIR, a folder of DMTF's JSON schemas\n"
              << kCheckUsage;
    return kExitUsage;
}

bool isDirectory(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The URIs the walk fetched a resource at: what check checked, in the text and in --json.
std::size_t checkedCount(const ServiceWalk& walk) {
    std::size_t count = 0;
    for (const WalkedResource& item : walk.resources)
        count += item.fetched.outcome == FetchOutcome::Found ? 1 : 0;
    return count;
}

// The checks of one walk; problems in the order found.
class Checker {
  public:
    explicit Checker(const std::string& schemaDir)
        : validator_(schemaDir), routes_(readRoutes()), scans_(routes_) {}

    // Checks walk, which began at start (a path without trailing '/').
    void check(const ServiceWalk& walk, const std::string& start) {
        std::vector<std::string> types;
        std::vector<std::string> uris;
        for (const WalkedResource& item : walk.resources) {
            byUri_[item.uri] = &item;
            uris.push_back(item.uri);
            const Json::Value& type = item.fetched.resource["@odata.type"];
            if (item.fetched.outcome == FetchOutcome::Found && type.isString())
                types.push_back(type.asString());
        }
        validator_.prepare(types);
        const std::vector<const FragmentLink*> badFragments = findBrokenLinks(walk);
        for (const WalkedResource& item : walk.resources) {
            if (item.fetched.outcome == FetchOutcome::Found) {
                checkResource(item.uri, item.fetched);
                checkBuild(item.uri, item.fetched);
            } else {
                reportUnserved(item);
            }
        }
        for (const FragmentLink* link : badFragments)
            reportLink(link->base + "#" + link->fragment, link->site,
                       quoted(link->base + "#" + link->fragment) +
                           ": the fragment points at no member");
        for (const ScanFinding& scan : scans_.findings())
            problems_.add({scan.uri, scan.pointer}, "scan", scan.message);
        for (const Route& route : unreachedRoutes(routes_, uris, start))
            problems_.add({route.pattern, ""}, "unreached",
                          "no URI the walk met matches this route (view " + route.view +
                              "): no link leads to what it serves, so none of it was checked");
    }

    const std::vector<Problem>& problems() const { return problems_.problems(); }
    const SchemaValidator& validator() const { return validator_; }

  private:
    // A problem of the resource at uri, answered by route: the same message at the same place
    // of another resource of the route is the same fault.
    void addOfRoute(const std::string& uri, const std::string& route, const std::string& pointer,
                    const std::string& keyword, const std::string& message) {
        problems_.add({uri, pointer}, keyword, message,
                      route + "\n" + pointerShape(pointer) + "\n" + message, "resource");
    }

    // The links that lead nowhere: the URIs the walk could not fetch for want of a route or a
    // row, and the fragments that point at no member of a resource fetched (returned, each
    // once). Every site of a link to one of them is kept for its problem.
    std::vector<const FragmentLink*> findBrokenLinks(const ServiceWalk& walk) {
        std::set<std::string> targets;
        for (const WalkedResource& item : walk.resources) {
            if (item.fetched.outcome == FetchOutcome::NoRoute ||
                item.fetched.outcome == FetchOutcome::NoResource)
                targets.insert(item.uri);
        }
        std::vector<const FragmentLink*> badFragments;
        for (const FragmentLink& link : walk.fragments) {
            const auto base = byUri_.find(link.base);
            if (base == byUri_.end() || base->second->fetched.outcome != FetchOutcome::Found ||
                findByPointer(base->second->fetched.resource, link.fragment) != nullptr)
                continue;
            if (targets.insert(link.base + "#" + link.fragment).second)
                badFragments.push_back(&link);
        }
        linkSites_ = linkSitesTo(walk, targets);
        return badFragments;
    }

    // The problem of target, what, with a place for every link to it; first is the place when
    // no resource links to it (the walk's start).
    void reportLink(const std::string& target, const LinkSite& first, const std::string& what) {
        const auto sites = linkSites_.find(target);
        if (sites == linkSites_.end() || sites->second.empty()) {
            problems_.add({first.uri, first.pointer}, "link", what, target, "link");
            return;
        }
        for (const LinkSite& site : sites->second)
            problems_.add({site.uri, site.pointer}, "link", what, target, "link");
    }

    void checkResource(const std::string& uri, const FetchResult& fetched) {
        const Json::Value& id = fetched.resource["@odata.id"];
        if (id.isString() && withoutTrailingSlashes(id.asString()) != uri) {
            addOfRoute(uri, fetched.route, "/@odata.id", "@odata.id",
                       quoted(id.asString()) + " differs from the URI the resource was fetched at");
        }
        checkCounts(uri, fetched.route, fetched.resource, "");
        checkSchema(uri, fetched.route, fetched.resource);
    }

    // What the engine dropped or could not run while it built the resource, and an engine view
    // that the route names in vain.
    void checkBuild(const std::string& uri, const FetchResult& fetched) {
        bool statements = false;
        if (!fetched.engineQuery.empty()) {
            const EngineAudit audit = auditEngineQuery(fetched.engineQuery, fetched.engineView);
            for (const AuditFinding& finding : audit.findings) {
                problems_.add({uri, finding.pointer}, finding.keyword, finding.message,
                              fetched.engineView + "\n" + pointerShape(finding.pointer) + "\n" +
                                  finding.fault,
                              "row");
                statements = statements || finding.keyword == "statement";
            }
            scans_.add(uri, fetched, &audit);
        } else {
            checkUnformatted(uri, fetched);
            scans_.add(uri, fetched, nullptr);
        }
        if (statements) return;
        for (const std::string& message : fetched.failedStatements)
            addOfRoute(uri, fetched.route, "", "statement",
                       "a statement failed while it was built: " + message);
    }

    void checkUnformatted(const std::string& uri, const FetchResult& fetched) {
        const Json::Value& type = fetched.resource["@odata.type"];
        if (isEngineType(type)) return; // an engine type whose row names no view on purpose
        const EngineViewRow row = engineViewOf(fetched.route);
        if (!row.found || row.view.empty()) return;
        problems_.add({uri, "/@odata.type"}, "unformatted",
                      compactText(type) +
                          " is not one of the types the converter loads (rf_metadata), so the "
                          "engine view " +
                          quoted(row.view) + " that EngineViews names for route " + fetched.route +
                          " is not used: the resource is its root column, unformatted",
                      fetched.route, "resource");
    }

    void checkSchema(const std::string& uri, const std::string& route,
                     const Json::Value& resource) {
        const Json::Value& type = resource["@odata.type"];
        if (!type.isString()) {
            addOfRoute(uri, route, "/@odata.type", "@odata.type",
                       "missing: the resource was not validated");
            return;
        }
        std::vector<SchemaProblem> found;
        std::string why;
        const SchemaValidator::Verdict verdict =
            validator_.validate(type.asString(), resource, found, why);
        if (verdict == SchemaValidator::Verdict::NoSchema) {
            addOfRoute(uri, route, "/@odata.type", "@odata.type",
                       "no schema for " + quoted(type.asString()) + ": " + why);
        }
        for (const SchemaProblem& problem : found)
            addOfRoute(uri, route, problem.pointer, problem.keyword, problem.message);
    }

    // Checks every "X@odata.count" member at or below value (at pointer) against "X".
    void checkCounts(const std::string& uri, const std::string& route, const Json::Value& value,
                     const std::string& pointer) {
        if (value.isArray()) {
            for (Json::ArrayIndex i = 0; i < value.size(); ++i)
                checkCounts(uri, route, value[i], pointer + "/" + std::to_string(i));
            return;
        }
        if (!value.isObject()) return;
        const std::size_t suffix = sizeof kCountSuffix - 1;
        for (auto member = value.begin(); member != value.end(); ++member) {
            const std::string key = member.name();
            const std::string at = pointer + "/" + pointerToken(key);
            if (key.size() > suffix && key.compare(key.size() - suffix, suffix, kCountSuffix) == 0)
                checkCount(uri, route, at, key.substr(0, key.size() - suffix), *member, value);
            checkCounts(uri, route, *member, at);
        }
    }

    void checkCount(const std::string& uri, const std::string& route, const std::string& at,
                    const std::string& name, const Json::Value& count, const Json::Value& parent) {
        const Json::Value* array = parent.find(name.data(), name.data() + name.size());
        if (array == nullptr || !array->isArray()) {
            addOfRoute(uri, route, at, "@odata.count", "no array " + quoted(name) + " beside it");
        } else if (!count.isIntegral() ||
                   count.asLargestInt() != static_cast<Json::LargestInt>(array->size())) {
            addOfRoute(uri, route, at, "@odata.count",
                       "is " + compactText(count) + ", but the array " + quoted(name) +
                           " has length " + std::to_string(array->size()));
        }
    }

    // A URI the walk could not fetch: a failed statement at the URI itself, no route or no row
    // at every link that leads to it.
    void reportUnserved(const WalkedResource& item) {
        const FetchResult& fetched = item.fetched;
        if (fetched.outcome == FetchOutcome::Failed) {
            addOfRoute(item.uri, fetched.route, "", "statement",
                       "its statement failed: " + fetched.detail);
            return;
        }
        std::string what = quoted(item.uri) + ": ";
        if (fetched.outcome == FetchOutcome::NoRoute) {
            what += "no route (UriInfo pattern) matches it";
        } else {
            what += "its route's statement gives no row for it";
        }
        reportLink(item.uri, item.via.uri.empty() ? LinkSite{item.uri, ""} : item.via, what);
    }

    SchemaValidator validator_;
    std::vector<Route> routes_;
    ScanCheck scans_;
    ProblemList problems_;
    std::map<std::string, const WalkedResource*> byUri_;
    std::map<std::string, std::vector<LinkSite>> linkSites_; // of the links that lead nowhere
};

// Seconds of each stage, for the summary.
struct Timing {
    double walk = 0;
    double schemas = 0;
    double validation = 0;
};

std::string summaryLine(const ServiceWalk& walk, std::size_t problems, const Timing& timing) {
    char seconds[96];
    std::snprintf(seconds, sizeof seconds, " (walk %.2f s, schemas %.2f s, validation %.2f s)",
                  timing.walk, timing.schemas, timing.validation);
    return "checked " + std::to_string(checkedCount(walk)) + " resources, followed " +
           std::to_string(walk.links) + " links: " + std::to_string(problems) + " problem" +
           (problems == 1 ? "" : "s") + seconds;
}

void printText(const Checker& checker, const ServiceWalk& walk, const CheckOptions& options,
               const Timing& timing) {
    for (const Problem& problem : checker.problems())
        std::cout << problemLine(problem) << '\n';
    for (const std::string& file : checker.validator().uncheckedFiles()) {
        std::cout << "note: " << file << " is not in " << options.schemaDir
                  << ": what its schemas define was not checked\n";
    }
    std::cout << summaryLine(walk, checker.problems().size(), timing) << '\n';
}

void printJson(const Checker& checker, const ServiceWalk& walk, const Timing& timing) {
    Json::Value out(Json::objectValue);
    Json::Value& problems = out["problems"] = Json::Value(Json::arrayValue);
    for (const Problem& problem : checker.problems())
        problems.append(problemJson(problem));
    Json::Value& checked = out["checked"] = Json::Value(Json::arrayValue);
    for (const WalkedResource& item : walk.resources) {
        if (item.fetched.outcome == FetchOutcome::Found) checked.append(item.uri);
    }
    Json::Value& unchecked = out["notChecked"] = Json::Value(Json::arrayValue);
    for (const std::string& file : checker.validator().uncheckedFiles())
        unchecked.append(file);
    Json::Value& summary = out["summary"];
    summary["resources"] = static_cast<Json::UInt64>(checkedCount(walk));
    summary["links"] = static_cast<Json::UInt64>(walk.links);
    summary["problems"] = static_cast<Json::UInt64>(checker.problems().size());
    summary["seconds"]["walk"] = timing.walk;
    summary["seconds"]["schemas"] = timing.schemas;
    summary["seconds"]["validation"] = timing.validation;
    std::cout << resourceText(out);
}

// Shows the count of resources fetched on standard error while it is a terminal.
void showProgress(std::size_t fetched) {
    std::cerr << "\rsql2json check: " << fetched << " resources fetched" << std::flush;
}

} // namespace

int runCheck(const std::vector<std::string>& args) {
    CheckOptions options;
    const int status = parseCheckOptions(args, options);
    if (status != kExitOk) return status;
    if (!isDirectory(options.schemaDir)) {
        std::cerr << "sql2json: schema folder missing: " << options.schemaDir << '\n';
        return kExitMissing;
    }
    const bool terminal = isatty(STDERR_FILENO) == 1;
    Timing timing;
    const auto start = std::chrono::steady_clock::now();
    const std::string from = withoutTrailingSlashes(options.from);
    WalkOptions walkOptions;
    if (terminal) walkOptions.progress = showProgress;
    const ServiceWalk walk = walkService(from, walkOptions);
    if (terminal) std::cerr << '\n';
    timing.walk = secondsSince(start);
    Checker checker(options.schemaDir);
    checker.check(walk, from);
    timing.schemas = checker.validator().schemaSeconds();
    timing.validation = secondsSince(start) - timing.walk - timing.schemas;
    if (options.json) {
        printJson(checker, walk, timing);
    } else {
        printText(checker, walk, options, timing);
    }
    return checker.problems().empty() ? kExitOk : kExitFailed;
}
