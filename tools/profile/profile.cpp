// sql2json profile (profile.hpp): exports profileResource and runProfile.
//
// What ran comes from SQLite alone: the trace of the converter's main connection (each
// statement's start, rows and time) while the resource is fetched, the fetch's own marks of its
// steps, and EXPLAIN / EXPLAIN QUERY PLAN for the plans. The route statement of a telemetry
// route runs on a connection the converter opens for it: its time is that of the call, its plan
// read on a connection of the tool's own to the same file.
#include "profile/profile.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>

#include <json/value.h>

#include "SqlitetoJsonConverter.h"
#include "check/engine_audit.hpp"
#include "cli/commands.hpp"
#include "common/exit_status.hpp"
#include "common/json_text.hpp"
#include "common/sqlite_watch.hpp"

namespace {

const char kProfileUsage[] = "usage: sql2json profile URI [--json]\n";
const std::size_t kLineWidth = 110;  // a statement's line is cut to this, but for
const std::size_t kMinShownSql = 40; // this many characters of its text at least

const char* stepName(FetchStep step) {
    switch (step) {
    case FetchStep::RouteLookup:
        return "route lookup";
    case FetchStep::RouteStatement:
        return "route statement";
    case FetchStep::EngineLookup:
        return "engine lookup";
    case FetchStep::EngineView:
        break;
    }
    return "engine view";
}

std::int64_t elapsedSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() -
                                                                start)
        .count();
}

// Records the statements of one fetch, each under the step that ran it.
class Recorder : public StatementWatch, public FetchObserver {
  public:
    struct Record {
        FetchStep step;
        ProfiledStatement statement;
    };
    std::vector<Record> records;

    void stepBegins(FetchStep step, const std::string& statement) override {
        closeTelemetryStatement();
        step_ = step;
        if (step == FetchStep::RouteStatement && runsOnTelemetry(statement)) {
            telemetry_ = statement;
            telemetryStart_ = std::chrono::steady_clock::now();
        }
    }
    void started(sqlite3_stmt* stmt, const char* sql) override {
        starts_[stmt] = std::chrono::steady_clock::now();
        ProfiledStatement statement;
        statement.step = stepName(step_);
        statement.sql = sql;
        statement.database = "live-object";
        running_[stmt] = records.size();
        records.push_back({step_, std::move(statement)});
    }
    void rowRead(sqlite3_stmt* stmt) override {
        const auto found = running_.find(stmt);
        if (found != running_.end()) ++records[found->second].statement.rows;
    }
    // SQLite's own measure counts whole milliseconds: the time from the statement's first step
    // to its end is taken here instead.
    void finished(sqlite3_stmt* stmt, std::int64_t /*nanoseconds*/) override {
        const auto found = running_.find(stmt);
        if (found == running_.end()) return;
        records[found->second].statement.nanoseconds = elapsedSince(starts_[stmt]);
        running_.erase(found);
    }
    // Ends the record of a telemetry route statement, which gave rows row.
    void closeTelemetryStatement(std::int64_t rows = 1) {
        if (telemetry_.empty()) return;
        ProfiledStatement statement;
        statement.step = stepName(FetchStep::RouteStatement);
        statement.sql = telemetry_;
        statement.database = "telemetry";
        statement.rows = rows;
        statement.nanoseconds = elapsedSince(telemetryStart_);
        records.push_back({FetchStep::RouteStatement, std::move(statement)});
        telemetry_.clear();
    }

  private:
    FetchStep step_ = FetchStep::RouteLookup;
    std::map<sqlite3_stmt*, std::size_t> running_;
    std::map<sqlite3_stmt*, std::chrono::steady_clock::time_point> starts_;
    std::string telemetry_;
    std::chrono::steady_clock::time_point telemetryStart_;
};

// The plan of statement, on the connection it ran on.
StatementPlan planFor(const ProfiledStatement& statement) {
    return statement.database == "telemetry" ? planOnTelemetry(statement.sql)
                                             : planOf(dmdbhandle, statement.sql);
}

// Plans statement and every statement below it.
void planAll(ProfiledStatement& statement) {
    statement.plan = planFor(statement);
    for (ProfiledStatement& child : statement.children)
        planAll(child);
}

// The engine's statements as a tree: the engine view's query, its sub-queries below it, theirs
// below them, as the audit ran the same statements. Left flat below the first when the two
// accounts differ (a statement that failed, say).
ProfiledStatement engineTree(std::vector<ProfiledStatement> engine, const EngineAudit& audit) {
    bool same = engine.size() == audit.statements.size();
    for (std::size_t i = 0; same && i < engine.size(); ++i)
        same = engine[i].sql == audit.statements[i].sql;
    ProfiledStatement root = std::move(engine.front());
    std::vector<ProfiledStatement*> path{&root}; // the open statement at each depth
    for (std::size_t i = 1; i < engine.size(); ++i) {
        ProfiledStatement& statement = engine[i];
        statement.step = "sub-query";
        const std::size_t depth = same ? static_cast<std::size_t>(audit.statements[i].depth) : 1;
        if (same) statement.pointer = audit.statements[i].pointer;
        path.resize(std::min(depth, path.size()));
        ProfiledStatement& parent = *path.back();
        parent.children.push_back(std::move(statement));
        path.push_back(&parent.children.back());
    }
    return root;
}

// Formats nanoseconds as milliseconds, three decimals.
std::string milliseconds(std::int64_t nanoseconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", static_cast<double>(nanoseconds) / 1e6);
    return text;
}

// The first line of sql without leading blanks, cut to fit a line whose other text takes used
// characters.
std::string shortSql(const std::string& sql, std::size_t used) {
    const std::size_t start = std::min(sql.find_first_not_of(" \t\n"), sql.size());
    const std::string line = sql.substr(start, sql.find('\n', start) - start);
    const std::size_t room = used + kMinShownSql < kLineWidth ? kLineWidth - used : kMinShownSql;
    return line.size() > room ? line.substr(0, room - 3) + "..." : line;
}

struct Totals {
    std::int64_t nanoseconds = 0;
    std::size_t statements = 0;
    std::size_t scans = 0;
};

void addTotals(const ProfiledStatement& statement, Totals& totals) {
    totals.nanoseconds += statement.nanoseconds;
    ++totals.statements;
    totals.scans += statement.plan.scans.size();
    for (const ProfiledStatement& child : statement.children)
        addTotals(child, totals);
}

// Prints statement and those below it, depth levels in.
void printText(const ProfiledStatement& statement, std::size_t depth) {
    const std::string indent(2 * depth, ' ');
    char head[64];
    std::snprintf(head, sizeof head, "%10s %7lld  ", milliseconds(statement.nanoseconds).c_str(),
                  static_cast<long long>(statement.rows));
    const std::string what =
        indent + (statement.step == "sub-query" ? statement.pointer : statement.step) +
        (statement.database == "telemetry" ? " (telemetry database)" : "") + ": ";
    std::cout << head << what << shortSql(statement.sql, std::strlen(head) + what.size()) << '\n';
    const std::string planIndent(21 + 2 * depth, ' ');
    if (!statement.plan.error.empty())
        std::cout << planIndent << "no plan: " << statement.plan.error << '\n';
    for (const std::string& line : statement.plan.lines)
        std::cout << planIndent << line << '\n';
    for (const TableScan& scan : statement.plan.scans) {
        std::cout << planIndent << "! scans " << scan.database << "." << scan.table << " ("
                  << scan.rows << " rows)\n";
    }
    for (const ProfiledStatement& child : statement.children)
        printText(child, depth + 1);
}

Json::Value jsonOf(const ProfiledStatement& statement) {
    Json::Value out(Json::objectValue);
    out["step"] = statement.step;
    if (!statement.pointer.empty() || statement.step == "sub-query")
        out["pointer"] = statement.pointer;
    out["sql"] = statement.sql;
    out["database"] = statement.database;
    out["milliseconds"] = static_cast<double>(statement.nanoseconds) / 1e6;
    out["rows"] = static_cast<Json::Int64>(statement.rows);
    Json::Value& plan = out["plan"] = Json::Value(Json::arrayValue);
    for (const std::string& line : statement.plan.lines)
        plan.append(line);
    if (!statement.plan.error.empty()) out["planError"] = statement.plan.error;
    Json::Value& scans = out["scans"] = Json::Value(Json::arrayValue);
    for (const TableScan& scan : statement.plan.scans) {
        Json::Value& item = scans.append(Json::Value(Json::objectValue));
        item["database"] = scan.database;
        item["table"] = scan.table;
        item["rows"] = static_cast<Json::Int64>(scan.rows);
    }
    Json::Value& children = out["subQueries"] = Json::Value(Json::arrayValue);
    for (const ProfiledStatement& child : statement.children)
        children.append(jsonOf(child));
    return out;
}

void printProfile(const std::string& uri, const ResourceProfile& profile, bool json) {
    Totals totals;
    for (const ProfiledStatement& statement : profile.statements)
        addTotals(statement, totals);
    if (json) {
        Json::Value out(Json::objectValue);
        out["uri"] = uri;
        out["route"] = profile.fetched.route;
        out["engineView"] = profile.fetched.engineView;
        Json::Value& statements = out["statements"] = Json::Value(Json::arrayValue);
        for (const ProfiledStatement& statement : profile.statements)
            statements.append(jsonOf(statement));
        out["total"]["milliseconds"] = static_cast<double>(totals.nanoseconds) / 1e6;
        out["total"]["statements"] = static_cast<Json::UInt64>(totals.statements);
        out["total"]["scans"] = static_cast<Json::UInt64>(totals.scans);
        std::cout << resourceText(out);
        return;
    }
    std::cout << uri << ": route " << profile.fetched.route;
    if (!profile.fetched.engineView.empty())
        std::cout << ", engine view " << profile.fetched.engineView;
    std::cout << "\n        ms    rows  statement\n";
    for (const ProfiledStatement& statement : profile.statements)
        printText(statement, 0);
    std::cout << "total " << milliseconds(totals.nanoseconds) << " ms in " << totals.statements
              << " statement" << (totals.statements == 1 ? "" : "s") << ", " << totals.scans
              << " scan" << (totals.scans == 1 ? "" : "s") << '\n';
}

} // namespace

ResourceProfile profileResource(const std::string& uri) {
    ResourceProfile profile;
    Recorder recorder;
    profile.fetched = fetchResource(uri, &recorder);
    recorder.closeTelemetryStatement(profile.fetched.outcome == FetchOutcome::NoResource ? 0 : 1);
    std::vector<ProfiledStatement> engine;
    for (Recorder::Record& record : recorder.records) {
        if (record.step == FetchStep::EngineView) {
            engine.push_back(std::move(record.statement));
        } else {
            profile.statements.push_back(std::move(record.statement));
        }
    }
    if (!engine.empty()) {
        const EngineAudit audit =
            auditEngineQuery(profile.fetched.engineQuery, profile.fetched.engineView);
        profile.statements.push_back(engineTree(std::move(engine), audit));
    }
    for (ProfiledStatement& statement : profile.statements)
        planAll(statement);
    return profile;
}

int runProfile(const std::vector<std::string>& args) {
    bool json = false;
    std::string uri;
    for (const std::string& arg : args) {
        if (arg == "--json" && !json) {
            json = true;
        } else if (uri.empty() && !arg.empty() && arg[0] == '/') {
            uri = withoutTrailingSlashes(arg);
        } else {
            std::cerr << "sql2json: profile takes one URI and --json\n" << kProfileUsage;
            return kExitUsage;
        }
    }
    if (uri.empty()) {
        std::cerr << "sql2json: profile needs a URI\n" << kProfileUsage;
        return kExitUsage;
    }
    const ResourceProfile profile = profileResource(uri);
    const int status = fetchStatus(uri, profile.fetched);
    if (status == kExitOk) printProfile(uri, profile, json);
    return status;
}
