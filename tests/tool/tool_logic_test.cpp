// The tool's own logic, linked from its static library: query options, entity tags, JSON
// pointers, $select and $expand on trees held here, the links a walk follows, what SQLite
// reports of failed statements, the check's audit of an engine view agreeing with the engine
// about which statements a resource runs, the routes a walk reaches and one problem per fault.
#include "../support.hpp"

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

#include "check/check_report.hpp"
#include "check/engine_audit.hpp"
#include "check/route_reach.hpp"
#include "common/json_pointer.hpp"
#include "common/json_text.hpp"
#include "common/service_walk.hpp"
#include "common/sqlite_watch.hpp"
#include "serve/entity_tag.hpp"
#include "serve/query_options.hpp"
#include "serve/request_slots.hpp"
#include "serve/resource_query.hpp"

namespace {

// SQLite's error log reaches the watches only when set before SQLite initialises.
const bool kSqliteLog = installSqliteLog();

// The ids (without the registry) and arguments of error's messages, "Id(a,b) ...".
std::string messagesOf(const RedfishError& error) {
    std::string text;
    for (const RegistryMessage& message : error.messages) {
        text += message.id.substr(message.id.rfind('.') + 1) + "(";
        for (const std::string& arg : message.args)
            text += arg + (&arg == &message.args.back() ? "" : ",");
        text += ") ";
    }
    return text;
}

// What options parsed into, in one line.
std::string parsed(const QueryOptions& options) {
    std::string select;
    std::function<void(const SelectNode&)> walk = [&](const SelectNode& node) {
        for (const SelectNode& child : node.children) {
            select += child.name + (child.whole ? "*" : "") + "{";
            walk(child);
            select += "}";
        }
    };
    walk(options.select);
    return "expand=" + std::to_string(options.expand.levels) +
           (options.expand.outsideLinks ? "o" : "") + (options.expand.underLinks ? "u" : "") +
           " top=" + (options.hasTop ? std::to_string(options.top) : "-") +
           " skip=" + (options.hasSkip ? std::to_string(options.skip) : "-") +
           " select=" + (options.hasSelect ? select : "-");
}

// The statements run on a connection while it lives, in order.
struct StatementsRun : StatementWatch {
    std::vector<std::string> sql;
    void started(sqlite3_stmt* /*stmt*/, const char* text) override { sql.emplace_back(text); }
};

} // namespace

// Each accepted form of the four options, and each refusal with its status and messages.
TEST(QueryOptions, ParseAcceptsTheFourOptionsAndRefusesTheRest) {
    const struct {
        const char* query;
        int status;
        const char* result; // what was parsed, or the messages of the refusal
    } cases[] = {
        {"", 0, "expand=0 top=- skip=- select=-"},
        {"only&x=1&a%24=2", 0, "expand=0 top=- skip=- select=-"},
        {"$expand=.", 0, "expand=1o top=- skip=- select=-"},
        {"$expand=~($levels=6)", 0, "expand=6u top=- skip=- select=-"},
        {"%24expand=*($levels=2)&$top=0&$skip=99999999999", 0,
         "expand=2ou top=0 skip=4294967295 select=-"},
        {"$select=Name,Status/Health,Status", 0,
         "expand=0 top=- skip=- select=Name*{}Status*{"
         "Health*{}}"},
        {"$filter=Id&$orderby=Id&$top=x", 501,
         "QueryParameterUnsupported($filter) "
         "QueryParameterUnsupported($orderby) "},
        {"$top=x", 400, "QueryParameterValueFormatError(x,$top) "},
        {"$top=%2D1", 400, "QueryParameterOutOfRange(-1,$top,0 or more) "},
        {"$skip=1&$skip=2", 400, "QueryParameterValueFormatError(2,$skip) "},
        {"$expand=", 400, "QueryParameterValueFormatError(,$expand) "},
        {"$expand=Members", 400, "QueryParameterValueFormatError(Members,$expand) "},
        {"$expand=.($levels=0)", 400, "QueryParameterOutOfRange(0,$levels,1 to 6) "},
        {"$expand=*($levels=7)", 400, "QueryParameterOutOfRange(7,$levels,1 to 6) "},
        {"$expand=*($levels=2", 400, "QueryParameterValueFormatError(*($levels=2,$expand) "},
        {"$select=Name,,Id", 400, "QueryParameterValueFormatError(Name,,Id,$select) "},
        {"$select=A/", 400, "QueryParameterValueFormatError(A/,$select) "},
        {"$select=Na%20me", 400, "QueryParameterValueFormatError(Na me,$select) "},
    };
    for (const auto& c : cases) {
        QueryOptions options;
        const RedfishError error = parseQueryOptions(c.query, options);
        EXPECT_EQ(error.status, c.status) << c.query;
        EXPECT_EQ(c.status == 0 ? parsed(options) : messagesOf(error), c.result) << c.query;
    }
    EXPECT_EQ(nextPageTarget("/C", "$top=2&$skip=4&a=%24b&&$skip=5", 6),
              "/C?$top=2&a=%24b&$skip=6");
    EXPECT_EQ(nextPageTarget("/C", "", 3), "/C?$skip=3");
}

// A strong tag is the body's 64-bit FNV-1a hash; If-None-Match matches it weakly, "*" always,
// and a malformed element ends the list.
TEST(EntityTags, NoneMatchComparesWeaklyAndStopsAtAMalformedElement) {
    EXPECT_EQ(strongEntityTag(""), "\"cbf29ce484222325\"");
    EXPECT_EQ(strongEntityTag("a"), "\"af63dc4c8601ec8c\"");
    const std::string tag = "\"0123456789abcdef\"";
    const std::pair<const char*, bool> cases[] = {{"\"0123456789abcdef\"", true},
                                                  {"W/\"0123456789abcdef\"", true},
                                                  {" \"x\" ,\t\"0123456789abcdef\"", true},
                                                  {"*", true},
                                                  {"\"x\", *", true},
                                                  {"\"0123456789ABCDEF\"", false},
                                                  {"0123456789abcdef", false},
                                                  {"\"x\", bad, \"0123456789abcdef\"", false},
                                                  {"\"0123456789abcde", false},
                                                  {"", false}};
    for (const auto& [field, hits] : cases)
        EXPECT_EQ(noneMatchHits(field, tag), hits) << field;
}

// Tokens escape '~' and '/'; an index is a decimal number without leading zeros, inside the
// array; a missing member or a step into a scalar finds nothing.
TEST(JsonPointers, FindMembersAndElementsByEscapedTokens) {
    const Json::Value doc = json(R"({"a/b":{"m~n":[10,{"x":true}]},"":{"":1},"s":"t"})");
    EXPECT_EQ(pointerToken("m~n/o"), "m~0n~1o");
    EXPECT_EQ(tokenKey("m~0n~1o~2"), "m~n/o~2");
    const std::pair<const char*, const char*> cases[] = {
        {"", R"({"":{"":1},"a/b":{"m~n":[10,{"x":true}]},"s":"t"})"},
        {"/a~1b/m~0n/1/x", "true"},
        {"/a~1b/m~0n/0", "10"},
        {"//", "1"},
        {"/a~1b/m~0n/01", nullptr},
        {"/a~1b/m~0n/2", nullptr},
        {"/a~1b/m~0n/-1", nullptr},
        {"/s/0", nullptr},
        {"/nothing", nullptr},
        {"a", nullptr}};
    for (const auto& [pointer, found] : cases) {
        const Json::Value* value = findByPointer(doc, pointer);
        EXPECT_EQ(value ? compact(*value) : "none", found ? compact(json(found)) : "none")
            << pointer;
    }
}

// The walk follows every "@odata.id" below the resource (arrays and fragments included), never
// the resource's own; a non-text "@odata.id" is no link.
TEST(ServiceWalk, LinksAreEveryOdataIdBelowTheResource) {
    const Json::Value resource = json(R"({"@odata.id":"/R","Links":{"A":[{"@odata.id":"/A/"},
        {"@odata.id":"/R#/X/0"}]},"Bad":{"@odata.id":7},"Deep":{"x~/y":{"@odata.id":"/D"}}})");
    std::string links;
    for (const FoundLink& link : linksIn(resource))
        links += link.pointer + "=" + link.target + " ";
    EXPECT_EQ(links, "/Deep/x~0~1y/@odata.id=/D /Links/A/0/@odata.id=/A/ "
                     "/Links/A/1/@odata.id=/R#/X/0 ");
}

// $skip/$top page the members and link the next page; $expand replaces the links it names
// (under "Links" or not), down to its levels, never a link back to a resource being expanded,
// a link with a fragment or one that cannot be fetched; $select keeps what it names and the
// control properties.
TEST(ResourceQuery, OptionsShapeAnAnswerFromTheSourcesResources) {
    const std::map<std::string, std::string> tree = {
        {"/C", R"({"@odata.id":"/C","Members":[{"@odata.id":"/C/1"},{"@odata.id":"/C/2"},
            {"@odata.id":"/C/3"}],"Members@odata.count":3})"},
        {"/C/1", R"({"@odata.id":"/C/1","@odata.type":"#T","N":1,"Links":{"Up":{"@odata.id":"/C"},
            "P":{"@odata.id":"/P"}},"Part":{"@odata.id":"/P#/x"}})"},
        {"/C/2", R"({"@odata.id":"/C/2","Sub":{"@odata.id":"/P"}})"},
        {"/P", R"({"@odata.id":"/P","x":{"@odata.id":"/C/3"}})"}};
    std::vector<std::string> fetched;
    const ResourceSource source = [&](const std::string& uri) {
        fetched.push_back(uri);
        FetchResult result;
        const auto it = tree.find(uri);
        result.outcome = it != tree.end() ? FetchOutcome::Found : FetchOutcome::NoResource;
        if (it != tree.end()) result.resource = json(it->second);
        return result;
    };
    const auto shaped = [&](const std::string& query, int status = 0) {
        QueryOptions options;
        QueryReport report;
        EXPECT_EQ(parseQueryOptions(query, options).status, 0) << query;
        Json::Value body = json(tree.at("/C"));
        EXPECT_EQ(applyQueryOptions(options, "/C/", query, body, report, source).status, status)
            << query;
        return compact(body) + " expanded " + std::to_string(report.expanded) + " missing " +
               std::to_string(report.notExpanded.size());
    };
    EXPECT_EQ(shaped("$skip=1&$top=1"),
              compact(json(R"({"@odata.id":"/C","Members":[{"@odata.id":"/C/2"}],
                  "Members@odata.count":3,"Members@odata.nextLink":"/C/?$top=1&$skip=2"})")) +
                  " expanded 0 missing 0");
    EXPECT_EQ(shaped("$expand=.&$select=Members/N,Members/Sub"),
              compact(json(R"({"@odata.id":"/C","Members":[{"@odata.id":"/C/1",
                  "@odata.type":"#T","N":1},{"@odata.id":"/C/2","Sub":{"@odata.id":"/P"}},
                  {"@odata.id":"/C/3"}],"Members@odata.count":3})")) +
                  " expanded 2 missing 1");
    fetched.clear();
    const std::string deep = shaped("$expand=*($levels=3)&$select=Members");
    EXPECT_NE(deep.find(R"("Links":{"P":{"@odata.id":"/P","x":{"@odata.id":"/C/3"}},)"
                        R"("Up":{"@odata.id":"/C"}})"),
              std::string::npos)
        << deep;
    EXPECT_NE(deep.find(R"("Sub":{"@odata.id":"/P","x":{"@odata.id":"/C/3"}})"), std::string::npos)
        << deep;
    EXPECT_EQ(fetched, (std::vector<std::string>{"/C/1", "/P", "/C/3", "/C/2"})); // each once
    EXPECT_EQ(shaped("$expand=~"), compact(json(tree.at("/C"))) + " expanded 0 missing 0");
    QueryOptions top;
    QueryReport report;
    Json::Value notCollection = json(tree.at("/P"));
    parseQueryOptions("$top=1", top);
    EXPECT_EQ(messagesOf(applyQueryOptions(top, "/P", "$top=1", notCollection, report, source)),
              "QueryNotSupportedOnResource() ");

    // $expand=. places /C/1 and /C/2: at both limits the answer is whole, one below either it
    // is refused with the limits named.
    const std::size_t bytes =
        compactText(json(tree.at("/C/1"))).size() + compactText(json(tree.at("/C/2"))).size();
    QueryOptions dot;
    parseQueryOptions("$expand=.", dot);
    for (const ExpandLimits& limits :
         {ExpandLimits{2, bytes}, ExpandLimits{1, bytes}, ExpandLimits{2, bytes - 1}}) {
        Json::Value body = json(tree.at("/C"));
        QueryReport counted;
        const RedfishError fault =
            applyQueryOptions(dot, "/C", "$expand=.", body, counted, source, limits);
        const bool within = limits.maxResources == 2 && limits.maxBytes == bytes;
        EXPECT_EQ(messagesOf(fault),
                  within ? ""
                         : "QueryParameterOutOfRange(.,$expand," + expandLimitsText(limits) + ") ");
        EXPECT_EQ(counted.expandedBytes, within ? bytes : counted.expandedBytes);
        EXPECT_LE(counted.expanded, limits.maxResources);
    }
}

// A request waits for a slot no longer than its wait, behind at most as many waiting as there
// are slots (one more is refused at once); a slot given back goes to one waiting.
TEST(RequestSlots, ARequestWaitsAtMostItsWaitBehindAtMostOneWaitingPerSlot) {
    using std::chrono::milliseconds;
    RequestSlots slots(1);
    auto first = std::make_unique<SlotHold>(slots, milliseconds(0));
    EXPECT_TRUE(first->held());
    EXPECT_FALSE(SlotHold(slots, milliseconds(20)).held());
    std::thread waiter([&slots] { EXPECT_TRUE(SlotHold(slots, milliseconds(60000)).held()); });
    while (slots.waiting() == 0)
        std::this_thread::yield();
    std::atomic<bool> refused{false};
    std::thread another([&] { refused = !SlotHold(slots, milliseconds(60000)).held(); });
    while (!refused && slots.waiting() < 2)
        std::this_thread::yield();
    EXPECT_TRUE(refused) << "a second request waits for the one slot";
    first.reset();
    waiter.join();
    another.join();
    EXPECT_TRUE(SlotHold(slots, milliseconds(0)).held()); // both gave it back
}

// SQLite reports each failed statement with its own message, a failed prepare and a failed
// step alike, to every watch open on the thread, also when the statement text holds "] ".
TEST(SqliteWatch, FailedStatementsArriveWithSQLitesMessage) {
    ASSERT_TRUE(kSqliteLog);
    DbPtr db = openDb("create table T(a); insert into T values (1)");
    watchConnection(db.get());
    StatementFailures outer;
    std::vector<std::string> inner;
    {
        StatementFailures failures;
        for (const char* sql :
             {"select * from Missing", "select a as [x] from T where abs(-9223372036854775807 - a)",
              "select 1"}) {
            sqlite3_stmt* raw = nullptr;
            if (sqlite3_prepare_v2(db.get(), sql, -1, &raw, nullptr) == SQLITE_OK)
                while (sqlite3_step(raw) == SQLITE_ROW) {
                }
            sqlite3_finalize(raw);
        }
        inner = failures.messages();
    }
    EXPECT_EQ(inner, (std::vector<std::string>{"no such table: Missing", "integer overflow"}));
    EXPECT_EQ(outer.messages(), inner);
}

// The audit runs the statements the engine runs for a resource, in the engine's order: sub-
// queries of array, object and value-array properties, plain and nested, down to the same
// depth bound; none for empty or NULL texts, for a value array's values, or for types the
// converter does not load.
TEST(EngineAudit, RunsTheStatementsTheEngineRuns) {
    DbPtr metadata = openDb(
        "create table [#Thermal.v1_7_3.Thermal](PropertyName, PropertyType); insert into"
        " [#Thermal.v1_7_3.Thermal] values ('Fans', 'array'), ('O', 'object'), ('V', 'subarray'),"
        " ('S#A', 'array'), ('E', 'array'), ('N', 'object'), ('Deep', 'array'); create table"
        " [#Thermal.v1_7_3.Fan](PropertyName, PropertyType); insert into [#Thermal.v1_7_3.Fan]"
        " values ('Kids', 'array')");
    DbPtr db = openDb(
        "create view Fan as select '#Thermal.v1_7_3.Fan' as [@odata.type], 'select * from Fan' as"
        " Kids; create view R as select '#Thermal.v1_7_3.Thermal' as [@odata.type], 'select"
        " ''#Thermal.v1_7_3.Fan'' as [@odata.type], 2 as Id union all select"
        " ''#Thermal.v1_7_3.Fan'', 3' as Fans, 'select ''#Unknown.Type'' as [@odata.type],"
        " ''select 9'' as Fans' as O, 'select ''#Thermal.v1_7_3.Thermal'' as [@odata.type],"
        " ''select 8'' as Fans' as V, 'select 1 as x' as [S#A], '' as E, NULL as N, 'select *"
        " from Fan' as Deep");
    dmdbhandle = db.get();
    metadatadbhandle = metadata.get();
    loadPropertyTypeMap();
    watchConnection(db.get());
    const char* query = "select * from R";
    std::vector<std::string> engine, audit;
    {
        StatementsRun run;
        Json::Value out;
        ASSERT_EQ(GetJsonDataFromSQLViewUsingQuery(query, out, kJsonObjectType), 0);
        engine = run.sql;
    }
    {
        StatementsRun run;
        EXPECT_TRUE(auditEngineQuery(query, "R").findings.empty());
        audit = run.sql;
    }
    EXPECT_EQ(audit, engine);
    EXPECT_EQ(std::count(engine.begin(), engine.end(), "select * from Fan"),
              sql2json::kMaxSubQueryDepth);
    EXPECT_EQ(engine.size(), 5u + sql2json::kMaxSubQueryDepth);
    dmdbhandle = metadatadbhandle = nullptr;
}

// A route is reached by a URI of its segment count that its pattern matches as LIKE does (in
// any case, '%' never across a '/'); only routes at or below the start count.
TEST(RouteReach, UnreachedAreTheRoutesBelowTheStartThatNoUriMatches) {
    const std::vector<Route> routes = {{"/redfish/v1", "A", 2},
                                       {"/redfish/v1/Chassis/%", "B", 4},
                                       {"/redfish/v1/Chassis/%/Sensors", "C", 5},
                                       {"/redfish/v1/Systems/%", "D", 4},
                                       {"/redfish/v1/chassis/%/power", "E", 5}};
    const std::vector<std::string> uris = {"/redfish/v1", "/redfish/v1/Chassis/1U",
                                           "/redfish/v1/Chassis/1U/Power",
                                           "/redfish/v1/Systems/S1/Extra"};
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/redfish/v1", "C D "},
        {"/", "C D "},
        {"/redfish/v1/Chassis/2U", "C "},
        {"/redfish/v1/Systems", "D "},
        {"/redfish/v1/Managers", ""}};
    for (const auto& [start, expected] : cases) {
        std::string unreached;
        for (const Route& route : unreachedRoutes(routes, uris, start))
            unreached += route.view + " ";
        EXPECT_EQ(unreached, expected) << start;
    }
}

// Places of one fault gather in its first problem; the line names the first three and counts
// the rest; counts group their digits by three.
TEST(CheckReport, OneProblemPerFaultWithItsPlaces) {
    ProblemList list;
    for (const char* uri : {"/a", "/b", "/c", "/d", "/e"})
        list.add({uri, "/p"}, "dropped", "m", "f", "row");
    list.add({"/a", "/q"}, "dropped", "m");
    list.add({"/x", ""}, "link", "n", "g", "link");
    list.add({"/y", "/l"}, "link", "n", "g", "link");
    ASSERT_EQ(list.problems().size(), 3u);
    EXPECT_EQ(problemLine(list.problems()[0]),
              "/a#/p: dropped: m (5 rows; also /b#/p, /c#/p and 2 more rows)");
    EXPECT_EQ(problemLine(list.problems()[1]), "/a#/q: dropped: m");
    EXPECT_EQ(problemLine(list.problems()[2]), "/x#: link: n (2 links; also /y#/l)");
    EXPECT_EQ(compact(problemJson(list.problems()[2])),
              R"({"count":2,"keyword":"link","message":"n","places":[{"pointer":"","uri":"/x"},)"
              R"({"pointer":"/l","uri":"/y"}],"pointer":"","uri":"/x"})");
    for (const auto& [n, text] : std::vector<std::pair<std::size_t, std::string>>{
             {0, "0"}, {999, "999"}, {1000, "1,000"}, {4997, "4,997"}, {1234567, "1,234,567"}})
        EXPECT_EQ(countText(n), text);
}
