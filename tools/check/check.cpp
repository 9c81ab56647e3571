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
// Each problem is one line "URI#POINTER: keyword: what is wrong" (the pointer is a JSON
// pointer into the resource), or one member of --json's "problems".
#include "check/check.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <map>

#include <json/value.h>

#include "check/engine_audit.hpp"
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

struct Problem {
    std::string uri;
    std::string pointer;
    std::string keyword;
    std::string message;
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

// The checks of one walk; problems in the order found.
class Checker {
  public:
    explicit Checker(const std::string& schemaDir) : validator_(schemaDir), scans_(readRoutes()) {}

    void check(const ServiceWalk& walk) {
        std::vector<std::string> types;
        for (const WalkedResource& item : walk.resources) {
            byUri_[item.uri] = &item;
            const Json::Value& type = item.fetched.resource["@odata.type"];
            if (item.fetched.outcome == FetchOutcome::Found && type.isString())
                types.push_back(type.asString());
        }
        validator_.prepare(types);
        for (const WalkedResource& item : walk.resources) {
            if (item.fetched.outcome == FetchOutcome::Found) {
                checkResource(item.uri, item.fetched.resource);
                checkBuild(item.uri, item.fetched);
            } else {
                reportUnserved(item);
            }
        }
        for (const FragmentLink& link : walk.fragments)
            checkFragment(link);
        for (const ScanFinding& scan : scans_.findings())
            add(scan.uri, scan.pointer, "scan", scan.message);
    }

    const std::vector<Problem>& problems() const { return problems_; }
    const SchemaValidator& validator() const { return validator_; }

  private:
    void add(const std::string& uri, const std::string& pointer, const std::string& keyword,
             const std::string& message) {
        problems_.push_back({uri, pointer, keyword, message});
    }

    void checkResource(const std::string& uri, const Json::Value& resource) {
        const Json::Value& id = resource["@odata.id"];
        if (id.isString() && withoutTrailingSlashes(id.asString()) != uri) {
            add(uri, "/@odata.id", "@odata.id",
                quoted(id.asString()) + " differs from the URI the resource was fetched at");
        }
        checkCounts(uri, resource, "");
        checkSchema(uri, resource);
    }

    // What the engine dropped or could not run while it built the resource, and an engine view
    // that the route names in vain.
    void checkBuild(const std::string& uri, const FetchResult& fetched) {
        bool statements = false;
        if (!fetched.engineQuery.empty()) {
            const EngineAudit audit = auditEngineQuery(fetched.engineQuery, fetched.engineView);
            for (const AuditFinding& finding : audit.findings) {
                add(uri, finding.pointer, finding.keyword, finding.message);
                statements = statements || finding.keyword == "statement";
            }
            scans_.add(uri, fetched, &audit);
        } else {
            checkUnformatted(uri, fetched);
            scans_.add(uri, fetched, nullptr);
        }
        if (statements) return;
        for (const std::string& message : fetched.failedStatements)
            add(uri, "", "statement", "a statement failed while it was built: " + message);
    }

    void checkUnformatted(const std::string& uri, const FetchResult& fetched) {
        const Json::Value& type = fetched.resource["@odata.type"];
        if (isEngineType(type)) return; // an engine type whose row names no view on purpose
        const EngineViewRow row = engineViewOf(fetched.route);
        if (!row.found || row.view.empty()) return;
        add(uri, "/@odata.type", "unformatted",
            compactText(type) + " is not one of the types the converter loads (rf_metadata), so " +
                "the engine view " + quoted(row.view) + " that EngineViews names for route " +
                fetched.route + " is not used: the resource is its root column, unformatted");
    }

    void checkSchema(const std::string& uri, const Json::Value& resource) {
        const Json::Value& type = resource["@odata.type"];
        if (!type.isString()) {
            add(uri, "/@odata.type", "@odata.type", "missing: the resource was not validated");
            return;
        }
        std::vector<SchemaProblem> found;
        std::string why;
        const SchemaValidator::Verdict verdict =
            validator_.validate(type.asString(), resource, found, why);
        if (verdict == SchemaValidator::Verdict::NoSchema) {
            add(uri, "/@odata.type", "@odata.type",
                "no schema for " + quoted(type.asString()) + ": " + why);
        }
        for (const SchemaProblem& problem : found)
            add(uri, problem.pointer, problem.keyword, problem.message);
    }

    // Checks every "X@odata.count" member at or below value (at pointer) against "X".
    void checkCounts(const std::string& uri, const Json::Value& value, const std::string& pointer) {
        if (value.isArray()) {
            for (Json::ArrayIndex i = 0; i < value.size(); ++i)
                checkCounts(uri, value[i], pointer + "/" + std::to_string(i));
            return;
        }
        if (!value.isObject()) return;
        const std::size_t suffix = sizeof kCountSuffix - 1;
        for (auto member = value.begin(); member != value.end(); ++member) {
            const std::string key = member.name();
            const std::string at = pointer + "/" + pointerToken(key);
            if (key.size() > suffix && key.compare(key.size() - suffix, suffix, kCountSuffix) == 0)
                checkCount(uri, at, key.substr(0, key.size() - suffix), *member, value);
            checkCounts(uri, *member, at);
        }
    }

    void checkCount(const std::string& uri, const std::string& at, const std::string& name,
                    const Json::Value& count, const Json::Value& parent) {
        const Json::Value* array = parent.find(name.data(), name.data() + name.size());
        if (array == nullptr || !array->isArray()) {
            add(uri, at, "@odata.count", "no array " + quoted(name) + " beside it");
        } else if (!count.isIntegral() ||
                   count.asLargestInt() != static_cast<Json::LargestInt>(array->size())) {
            add(uri, at, "@odata.count",
                "is " + compactText(count) + ", but the array " + quoted(name) + " has length " +
                    std::to_string(array->size()));
        }
    }

    // A URI the walk could not fetch: a failed statement at the URI itself, no route or no row
    // at the link that led to it.
    void reportUnserved(const WalkedResource& item) {
        const FetchResult& fetched = item.fetched;
        if (fetched.outcome == FetchOutcome::Failed) {
            add(item.uri, "", "statement", "its statement failed: " + fetched.detail);
            return;
        }
        std::string what = quoted(item.uri) + ": ";
        if (fetched.outcome == FetchOutcome::NoRoute) {
            what += "no route (UriInfo pattern) matches it";
        } else {
            what += "its route's statement gives no row for it";
        }
        add(item.via.uri.empty() ? item.uri : item.via.uri, item.via.pointer, "link", what);
    }

    // A link with a fragment: the resource it names was fetched (or reported as unserved);
    // the fragment must point at one of its members.
    void checkFragment(const FragmentLink& link) {
        const auto base = byUri_.find(link.base);
        if (base == byUri_.end() || base->second->fetched.outcome != FetchOutcome::Found) return;
        if (findByPointer(base->second->fetched.resource, link.fragment) == nullptr) {
            add(link.site.uri, link.site.pointer, "link",
                quoted(link.base + "#" + link.fragment) + ": the fragment points at no member");
        }
    }

    SchemaValidator validator_;
    ScanCheck scans_;
    std::vector<Problem> problems_;
    std::map<std::string, const WalkedResource*> byUri_;
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
    return "checked " + std::to_string(walk.resources.size()) + " resources, followed " +
           std::to_string(walk.links) + " links: " + std::to_string(problems) + " problem" +
           (problems == 1 ? "" : "s") + seconds;
}

void printText(const Checker& checker, const ServiceWalk& walk, const CheckOptions& options,
               const Timing& timing) {
    for (const Problem& p : checker.problems())
        std::cout << p.uri << '#' << p.pointer << ": " << p.keyword << ": " << p.message << '\n';
    for (const std::string& file : checker.validator().uncheckedFiles()) {
        std::cout << "note: " << file << " is not in " << options.schemaDir
                  << ": what its schemas define was not checked\n";
    }
    std::cout << summaryLine(walk, checker.problems().size(), timing) << '\n';
}

void printJson(const Checker& checker, const ServiceWalk& walk, const Timing& timing) {
    Json::Value out(Json::objectValue);
    Json::Value& problems = out["problems"] = Json::Value(Json::arrayValue);
    for (const Problem& p : checker.problems()) {
        Json::Value& item = problems.append(Json::Value(Json::objectValue));
        item["uri"] = p.uri;
        item["pointer"] = p.pointer;
        item["keyword"] = p.keyword;
        item["message"] = p.message;
    }
    Json::Value& checked = out["checked"] = Json::Value(Json::arrayValue);
    for (const WalkedResource& item : walk.resources) {
        if (item.fetched.outcome == FetchOutcome::Found) checked.append(item.uri);
    }
    Json::Value& unchecked = out["notChecked"] = Json::Value(Json::arrayValue);
    for (const std::string& file : checker.validator().uncheckedFiles())
        unchecked.append(file);
    Json::Value& summary = out["summary"];
    summary["resources"] = static_cast<Json::UInt64>(walk.resources.size());
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
    const ServiceWalk walk = walkService(options.from, terminal ? showProgress : nullptr);
    if (terminal) std::cerr << '\n';
    timing.walk = secondsSince(start);
    Checker checker(options.schemaDir);
    checker.check(walk);
    timing.schemas = checker.validator().schemaSeconds();
    timing.validation = secondsSince(start) - timing.walk - timing.schemas;
    if (options.json) {
        printJson(checker, walk, timing);
    } else {
        printText(checker, walk, options, timing);
    }
    return checker.problems().empty() ? kExitOk : kExitFailed;
}
