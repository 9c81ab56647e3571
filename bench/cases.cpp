// Cases 1 to 6. Each variant runs on the library's own main connection, so the SQLite side
// (page cache, shared cache, registered functions) is the same for the library and for the
// minimal code it is compared with. Statements are prepared per call on both sides.
#include "cases.hpp"

#include <dlfcn.h>

#include <cstring>
#include <memory>

#include <json/reader.h>

#include "bench_data.hpp"

namespace bench {
namespace {

struct StmtFinalizer {
    void operator()(sqlite3_stmt* stmt) const noexcept { sqlite3_finalize(stmt); }
};
using StmtPtr = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

// Prepares sql on db; null (with rc set) on failure.
StmtPtr prepare(sqlite3* db, const char* sql, int& rc, unsigned int flags = 0) {
    sqlite3_stmt* raw = nullptr;
    rc = sqlite3_prepare_v3(db, sql, -1, flags, &raw, nullptr);
    return StmtPtr(raw);
}

const char* columnText(sqlite3_stmt* stmt, int col) {
    return reinterpret_cast<const char*>(sqlite3_column_text(stmt, col));
}

// A JSON tree and the status that produced it.
struct JsonRun {
    int rc = -1;
    Json::Value value;
};

std::shared_ptr<JsonRun> asJsonRun(const Keep& keep) {
    return std::static_pointer_cast<JsonRun>(keep);
}

// A variant that times fill(tree) alone and keeps the tree and its status for the checks.
std::function<Keep(Stopwatch&)> timedTree(std::function<int(Json::Value&)> fill) {
    return [fill](Stopwatch& watch) {
        auto run = std::make_shared<JsonRun>();
        watch.start();
        run->rc = fill(run->value);
        watch.stop();
        return Keep(run);
    };
}

// ---- Minimal hand-written code ---------------------------------------------------------------

// Column col of the current row, typed by its storage class as the library types it.
Json::Value cellValue(sqlite3_stmt* stmt, int col) {
    switch (sqlite3_column_type(stmt, col)) {
    case SQLITE_INTEGER:
        return Json::Value(sqlite3_column_int(stmt, col));
    case SQLITE_FLOAT:
        return Json::Value(sqlite3_column_double(stmt, col));
    case SQLITE_TEXT:
        return Json::Value(columnText(stmt, col));
    default:
        return Json::Value();
    }
}

// Prepares, steps and appends one object per row to out (an array). Returns 0 or the
// SQLite status that stopped it.
int loopRows(sqlite3* db, const char* sql, Json::Value& out) {
    int rc = SQLITE_OK;
    StmtPtr stmt = prepare(db, sql, rc);
    if (rc != SQLITE_OK) return rc;
    const int columns = sqlite3_column_count(stmt.get());
    std::vector<const char*> names(static_cast<size_t>(columns));
    for (int i = 0; i < columns; ++i)
        names[static_cast<size_t>(i)] = sqlite3_column_name(stmt.get(), i);
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        Json::Value row(Json::objectValue);
        for (int i = 0; i < columns; ++i)
            row[names[static_cast<size_t>(i)]] = cellValue(stmt.get(), i);
        out.append(std::move(row));
    }
    return rc == SQLITE_DONE ? 0 : rc;
}

// Runs the sub-query sql into parent[name] with its "@odata.count" beside it.
void loopSubArray(sqlite3* db, Json::Value& parent, const char* name, const char* sql) {
    Json::Value items(Json::arrayValue);
    loopRows(db, sql, items);
    parent[std::string(name) + "@odata.count"] = Json::Value(static_cast<Json::UInt>(items.size()));
    parent[name] = std::move(items);
}

// The fan collection as a hand-written loop knows it: columns by position, sub-queries run
// in place, Status built from its two nested columns, the boolean converted, the
// "additional" column left out.
int loopFans(sqlite3* db, const char* sql, Json::Value& out) {
    int rc = SQLITE_OK;
    StmtPtr stmt = prepare(db, sql, rc);
    if (rc != SQLITE_OK) return rc;
    sqlite3_stmt* s = stmt.get();
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        Json::Value fan(Json::objectValue);
        fan["@odata.id"] = columnText(s, 0);
        fan["@odata.type"] = columnText(s, 1);
        fan["MemberId"] = columnText(s, 2);
        fan["Name"] = columnText(s, 3);
        fan["Reading"] = sqlite3_column_int(s, 4);
        loopSubArray(db, fan, "Redundancy", columnText(s, 5));
        loopSubArray(db, fan, "RelatedItem", columnText(s, 6));
        Json::Value& status = fan["Status"];
        status["State"] = columnText(s, 7);
        status["Health"] = columnText(s, 8);
        fan["HotPluggable"] = sqlite3_column_int(s, 9) != 0;
        out.append(std::move(fan));
    }
    return rc == SQLITE_DONE ? 0 : rc;
}

// The same tree with the library's statement order: the collection's statement is read to its
// end and finalized before any sub-query runs, so every statement is a read transaction of
// its own (in loopFans the sub-queries run inside the collection's open transaction).
int loopFansInSequence(sqlite3* db, const char* sql, Json::Value& out) {
    int rc = SQLITE_OK;
    std::vector<std::pair<std::string, std::string>> subQueries;
    {
        StmtPtr stmt = prepare(db, sql, rc);
        if (rc != SQLITE_OK) return rc;
        sqlite3_stmt* s = stmt.get();
        while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
            Json::Value fan(Json::objectValue);
            fan["@odata.id"] = columnText(s, 0);
            fan["@odata.type"] = columnText(s, 1);
            fan["MemberId"] = columnText(s, 2);
            fan["Name"] = columnText(s, 3);
            fan["Reading"] = sqlite3_column_int(s, 4);
            subQueries.emplace_back(columnText(s, 5), columnText(s, 6));
            Json::Value& status = fan["Status"];
            status["State"] = columnText(s, 7);
            status["Health"] = columnText(s, 8);
            fan["HotPluggable"] = sqlite3_column_int(s, 9) != 0;
            out.append(std::move(fan));
        }
        if (rc != SQLITE_DONE) return rc;
    }
    for (Json::ArrayIndex i = 0; i < out.size(); ++i) {
        loopSubArray(db, out[i], "Redundancy", subQueries[i].first.c_str());
        loopSubArray(db, out[i], "RelatedItem", subQueries[i].second.c_str());
    }
    return 0;
}

// A flat array of column 0 of every row.
int loopSubArrayRows(sqlite3* db, const char* sql, Json::Value& out) {
    int rc = SQLITE_OK;
    StmtPtr stmt = prepare(db, sql, rc);
    if (rc != SQLITE_OK) return rc;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW)
        out.append(cellValue(stmt.get(), 0));
    return rc == SQLITE_DONE ? 0 : rc;
}

// Runs sql, which yields one JSON text, and parses that text with jsoncpp into out.
int sqliteJsonRows(sqlite3* db, const char* sql, Json::Value& out) {
    int rc = SQLITE_OK;
    StmtPtr stmt = prepare(db, sql, rc);
    if (rc != SQLITE_OK) return rc;
    if ((rc = sqlite3_step(stmt.get())) != SQLITE_ROW) return rc;
    const char* text = columnText(stmt.get(), 0);
    const int length = sqlite3_column_bytes(stmt.get(), 0);
    if (text == nullptr) return SQLITE_MISMATCH;
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    return reader->parse(text, text + length, &out, &errors) ? 0 : SQLITE_FORMAT;
}

// ---- Case 1: plain rows ----------------------------------------------------------------------

std::string plainRowsSql(long rows) {
    return "select * from PlainRows where rowid <= " + std::to_string(rows);
}

std::string plainRowsJsonSql(long rows) {
    return "select json_group_array(json_object('Id', Id, 'Count', Count, 'Speed', Speed, "
           "'Ratio', Ratio, 'Name', Name, 'Description', Description, 'Location', Location, "
           "'Spare', Spare, 'Reading', Reading, 'State', State)) from PlainRows where rowid <= " +
           std::to_string(rows);
}

// Checks that results[0] holds rows elements and that every other result equals it.
std::string sameTrees(std::vector<Keep>& results, long rows, const char* const names[]) {
    const auto first = asJsonRun(results[0]);
    if (first->rc != 0) return std::string(names[0]) + " failed: " + std::to_string(first->rc);
    if (!first->value.isArray() || first->value.size() != static_cast<Json::ArrayIndex>(rows))
        return std::string(names[0]) + " gave " + std::to_string(first->value.size()) + " elements";
    for (size_t i = 1; i < results.size(); ++i) {
        const auto other = asJsonRun(results[i]);
        if (other->rc != 0) return std::string(names[i]) + " failed: " + std::to_string(other->rc);
        if (!(other->value == first->value))
            return std::string(names[i]) + " differs from " + names[0];
    }
    return "";
}

CaseDef plainRowsCase(const Converter& serve, long rows) {
    CaseDef def{"case1", "1 plain rows", rows, 0, {}, {}, {}};
    static const char* const kNames[] = {"library", "minimal loop", "SQLite JSON + parse"};
    for (int variant = 0; variant < 3; ++variant)
        def.variants.push_back({kNames[variant], [&serve, rows, variant](Stopwatch& watch) {
                                    return runPlainRows(serve, rows, variant, watch);
                                }});
    def.ratios = {{"library / minimal loop", 0, {1}, 1.15},
                  {"library / SQLite JSON + parse", 0, {2}, 1.0}};
    def.verify = [rows](std::vector<Keep>& results) { return sameTrees(results, rows, kNames); };
    return def;
}

// ---- Case 2: formatted collection ------------------------------------------------------------

// Spot checks of the formatting on the first fan (the trees are also compared whole).
std::string checkFirstFan(const Json::Value& fans) {
    const Json::Value& fan = fans[0];
    if (fan.isMember("OemScratch")) return "the additional column is still there";
    if (!fan["HotPluggable"].isBool()) return "HotPluggable is not a boolean";
    if (!fan["Status"]["Health"].isString()) return "Status#Health not nested";
    if (fan["Redundancy@odata.count"].asUInt() != 4 || fan["Redundancy"].size() != 4)
        return "Redundancy does not hold 4 rows";
    if (fan["RelatedItem"].size() != 4) return "RelatedItem does not hold 4 rows";
    return "";
}

CaseDef collectionCase(const Converter& serve, long rows) {
    CaseDef def{"case2", "2 formatted collection", rows, 0, {}, {}, {}};
    const std::string sql = "select * from FanView limit " + std::to_string(rows);
    def.variants.push_back({"library", timedTree([&serve, sql](Json::Value& tree) {
                                return serve.getJson(sql.c_str(), tree, 1);
                            })});
    def.variants.push_back({"hand-built, nested", timedTree([&serve, sql](Json::Value& tree) {
                                return loopFans(serve.mainDb, sql.c_str(), tree);
                            })});
    def.variants.push_back(
        {"hand-built, same statement order", timedTree([&serve, sql](Json::Value& tree) {
             return loopFansInSequence(serve.mainDb, sql.c_str(), tree);
         })});
    def.ratios = {{"library / hand-built (same statement order)", 0, {2}, 1.3},
                  {"library / hand-built (nested statements)", 0, {1}, 0}};
    def.verify = [rows](std::vector<Keep>& results) {
        static const char* const kNames[] = {"library", "hand-built tree", "hand-built in order"};
        std::string error = sameTrees(results, rows, kNames);
        return error.empty() ? checkFirstFan(asJsonRun(results[0])->value) : error;
    };
    return def;
}

// ---- Case 3: sub array -----------------------------------------------------------------------

CaseDef subArrayCase(const Converter& serve, long rows) {
    CaseDef def{"case3", "3 sub array, one column", rows, 0, {}, {}, {}};
    const std::string sql = "select Name from PlainRows where rowid <= " + std::to_string(rows);
    def.variants.push_back({"library", timedTree([&serve, sql](Json::Value& tree) {
                                return serve.getJson(sql.c_str(), tree, 2);
                            })});
    def.variants.push_back({"minimal loop", timedTree([&serve, sql](Json::Value& tree) {
                                return loopSubArrayRows(serve.mainDb, sql.c_str(), tree);
                            })});
    def.ratios = {{"library / minimal loop", 0, {1}, 0}};
    def.verify = [rows](std::vector<Keep>& results) {
        static const char* const kNames[] = {"library", "minimal loop"};
        return sameTrees(results, rows, kNames);
    };
    return def;
}

// ---- Case 4: load ----------------------------------------------------------------------------

// The library loaded by one run; unloaded when released.
struct LoadedLibrary {
    void* handle = nullptr;
    ~LoadedLibrary() {
        if (handle != nullptr) dlclose(handle);
    }
};

// Connections opened by one baseline run; closed when released.
struct BareConnections {
    sqlite3* db[4] = {nullptr, nullptr, nullptr, nullptr};
    long propertyRows = 0;
    ~BareConnections() {
        for (sqlite3* each : db)
            sqlite3_close(each);
    }
};

// Opens the four databases of the load tree the way the library does, without attaching.
void openBare(const std::string& root, BareConnections& out) {
    sqlite3_open_v2((root + kMainDbPath).c_str(), &out.db[0],
                    SQLITE_OPEN_READONLY | SQLITE_OPEN_SHAREDCACHE, nullptr);
    sqlite3_open_v2((root + kOpenApiDbPath).c_str(), &out.db[1], SQLITE_OPEN_READONLY, nullptr);
    sqlite3_open_v2((root + kHmcDbPath).c_str(), &out.db[2], SQLITE_OPEN_READONLY, nullptr);
    sqlite3_open_v2((root + kMetadataDbPath).c_str(), &out.db[3], SQLITE_OPEN_READONLY, nullptr);
}

// What building the map reads: every text column of every row of every type's table (the
// map takes its name and type from whichever text columns are named after them).
long readPropertyTables(sqlite3* metadata) {
    long count = 0;
    for (const std::string& type : metadataTypeNames()) {
        const std::string sql = "select * from [" + type + "]";
        int rc = SQLITE_OK;
        StmtPtr stmt = prepare(metadata, sql.c_str(), rc);
        const int columns = rc == SQLITE_OK ? sqlite3_column_count(stmt.get()) : 0;
        while (rc == SQLITE_OK && sqlite3_step(stmt.get()) == SQLITE_ROW) {
            size_t bytes = 0;
            for (int i = 0; i < columns; ++i) {
                if (sqlite3_column_type(stmt.get(), i) != SQLITE_TEXT) continue;
                const char* text = columnText(stmt.get(), i);
                bytes += text != nullptr ? std::strlen(text) : 0;
            }
            count += bytes > 0;
        }
    }
    return count;
}

std::string checkLoad(std::vector<Keep>& results, const std::string& library) {
    auto loaded = std::static_pointer_cast<LoadedLibrary>(results[0]);
    if (loaded->handle == nullptr) return std::string("load failed: ") + dlerror();
    auto* mainDb = static_cast<sqlite3**>(dlsym(loaded->handle, "dmdbhandle"));
    auto* metadataDb = static_cast<sqlite3**>(dlsym(loaded->handle, "metadatadbhandle"));
    if (mainDb == nullptr || *mainDb == nullptr || metadataDb == nullptr || *metadataDb == nullptr)
        return "the loaded library has no open connections";
    const long expected = static_cast<long>(metadataTypeNames().size()) * kLoadPropertiesPerType;
    if (std::static_pointer_cast<BareConnections>(results[2])->propertyRows != expected)
        return "the baseline read the wrong number of property rows";
    results[0].reset();
    loaded.reset();
    // Otherwise every later dlopen would only count a reference and measure nothing.
    if (isLoaded(library)) return "the library stays mapped after dlclose";
    return "";
}

CaseDef loadCase(const std::string& library) {
    CaseDef def{"case4", "4 load (21x200 map)", 0, 0, {}, {}, {}};
    const std::string root = SQL2JSON_BENCH_LOAD_ROOT;
    def.variants.push_back({"library load", [library](Stopwatch& watch) {
                                auto loaded = std::make_shared<LoadedLibrary>();
                                watch.start();
                                loaded->handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
                                watch.stop();
                                return Keep(loaded);
                            }});
    def.variants.push_back({"bare opens", [root](Stopwatch& watch) {
                                auto conns = std::make_shared<BareConnections>();
                                watch.start();
                                openBare(root, *conns);
                                watch.stop();
                                return Keep(conns);
                            }});
    def.variants.push_back({"bare opens + map reads", [root](Stopwatch& watch) {
                                auto conns = std::make_shared<BareConnections>();
                                watch.start();
                                openBare(root, *conns);
                                conns->propertyRows = readPropertyTables(conns->db[3]);
                                watch.stop();
                                return Keep(conns);
                            }});
    def.ratios = {{"load / (bare opens + map reads)", 0, {2}, 2.0},
                  {"load / bare opens", 0, {1}, 0}};
    def.verify = [library](std::vector<Keep>& results) { return checkLoad(results, library); };
    return def;
}

// ---- Case 5: URI lookup and single-value statement -------------------------------------------

// The library's lookup statement, as a caller would write it by hand.
constexpr const char* kLookupSql =
    "select privilege, view_name, link, allow_header, CTE, CTE_length from UriInfo "
    "where rtrim(?,'/') LIKE URI AND "
    "(length(rtrim(?,'/'))-length(replace(rtrim(?,'/'),'/',''))) = n_Segments "
    "ORDER BY length(uri) DESC, "
    "length(uri)-length(replace(replace(uri,'%',''),'_','')) ASC, rowid ASC limit 1";

struct UriRun {
    std::vector<std::string> statements;
    std::vector<std::string> bodies;
    int failures = 0;
};

// Looks uri up and appends the composed statement to out. Returns the final status.
int loopViewName(sqlite3* db, const std::string& uri, std::string& out) {
    int rc = SQLITE_OK;
    StmtPtr stmt = prepare(db, kLookupSql, rc, SQLITE_PREPARE_PERSISTENT);
    if (rc != SQLITE_OK) return rc;
    for (int i = 1; i <= 3; ++i)
        sqlite3_bind_text(stmt.get(), i, uri.c_str(), static_cast<int>(uri.size()),
                          SQLITE_TRANSIENT);
    rc = sqlite3_step(stmt.get());
    const char* view = columnText(stmt.get(), 1);
    const char* cte = columnText(stmt.get(), 4);
    out.append(cte != nullptr ? cte : "");
    out.append(" select root from ");
    out.append(view != nullptr ? view : "");
    out.append(" where [@odata.id]=?");
    return rc == SQLITE_ROW ? 0 : rc;
}

// Runs sql with value bound and puts column 0 of the first row in out. Returns the step status.
int loopSchemaData(sqlite3* db, const std::string& sql, const std::string& value,
                   std::string& out) {
    int rc = SQLITE_OK;
    StmtPtr stmt = prepare(db, sql.c_str(), rc, SQLITE_PREPARE_PERSISTENT);
    if (rc != SQLITE_OK) return rc;
    sqlite3_bind_text(stmt.get(), 1, value.c_str(), static_cast<int>(value.size()), SQLITE_STATIC);
    rc = sqlite3_step(stmt.get());
    const char* text = columnText(stmt.get(), 0);
    if (text != nullptr) out = text;
    return rc;
}

std::string checkUris(std::vector<Keep>& results, const std::vector<std::string>& uris) {
    auto library = std::static_pointer_cast<UriRun>(results[0]);
    auto loop = std::static_pointer_cast<UriRun>(results[1]);
    if (library->failures != 0)
        return "library lookups failed: " + std::to_string(library->failures);
    if (loop->failures != 0) return "minimal loop lookups failed";
    if (library->statements != loop->statements) return "composed statements differ";
    if (library->bodies != loop->bodies) return "resource bodies differ";
    for (size_t i = 0; i < uris.size(); ++i)
        if (library->bodies[i].find(uris[i]) == std::string::npos)
            return "wrong body for " + uris[i];
    return "";
}

CaseDef uriCase(const Converter& serve) {
    CaseDef def{"case5", "5 URI lookup + value (2000 patterns)", 0, 0, {}, {}, {}};
    std::vector<std::string> uris;
    for (int j = 0; j < 200; ++j)
        uris.push_back(resourceUri((j * 37) % kUriPatterns));
    def.title += ", " + std::to_string(uris.size()) + " URIs/round";
    def.variants.push_back({"library", [&serve, uris](Stopwatch& watch) {
                                auto run = std::make_shared<UriRun>();
                                run->statements.resize(uris.size());
                                run->bodies.resize(uris.size());
                                watch.start();
                                for (size_t i = 0; i < uris.size(); ++i) {
                                    const char* uri = uris[i].c_str();
                                    int rc = serve.getViewName(uri, run->statements[i]);
                                    rc |= serve.getSchemaData(run->statements[i].c_str(),
                                                              run->bodies[i], uri) ^
                                          SQLITE_ROW;
                                    run->failures += rc != 0;
                                }
                                watch.stop();
                                return Keep(run);
                            }});
    def.variants.push_back(
        {"minimal loop", [&serve, uris](Stopwatch& watch) {
             auto run = std::make_shared<UriRun>();
             run->statements.resize(uris.size());
             run->bodies.resize(uris.size());
             watch.start();
             for (size_t i = 0; i < uris.size(); ++i) {
                 int rc = loopViewName(serve.mainDb, uris[i], run->statements[i]);
                 rc |= loopSchemaData(serve.mainDb, run->statements[i], uris[i], run->bodies[i]) ^
                       SQLITE_ROW;
                 run->failures += rc != 0;
             }
             watch.stop();
             return Keep(run);
         }});
    def.ratios = {{"library / minimal loop", 0, {1}, 0}};
    def.verify = [uris](std::vector<Keep>& results) { return checkUris(results, uris); };
    return def;
}

// ---- Case 6: SQL functions -------------------------------------------------------------------

struct FunctionRun {
    int rc = SQLITE_OK;
    long rows = 0;
    long values = 0; // rows whose result is not NULL
    std::string first;
};

// Steps sql to its end, counting rows and non-NULL results; keeps the first result's text.
std::shared_ptr<FunctionRun> stepAll(sqlite3* db, const std::string& sql, Stopwatch& watch) {
    auto run = std::make_shared<FunctionRun>();
    watch.start();
    StmtPtr stmt = prepare(db, sql.c_str(), run->rc);
    if (run->rc == SQLITE_OK) {
        while ((run->rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
            if (sqlite3_column_type(stmt.get(), 0) != SQLITE_NULL) ++run->values;
            if (run->rows++ == 0 && sqlite3_column_text(stmt.get(), 0) != nullptr)
                run->first = columnText(stmt.get(), 0);
        }
    }
    stmt.reset();
    watch.stop();
    return run;
}

// Each call, and what it gives for the first row of FnInput (empty: checked by length only).
struct FunctionCall {
    const char* call;
    const char* firstResult;
    size_t firstLength;
};

constexpr FunctionCall kFunctionCalls[] = {
    {"upper(OpensslTime)", "FEB 11 01:01:07 2001 GMT", 0},
    {"json_bool(Flag)", "true", 0},
    {"GetISODateTime()", "", 25},
    {"LastSystemInventoryTime()", "20231114221320.000000+000", 0},
    {"convertTimeFormat(OpensslTime)", "2001-2-11T01:01:07+00:00", 0},
    {"convertStringToBytes(Serial)", "", 23},
    {"GetHeaterMgrValues(Selector)", "600", 0},
    {"Convert_ReleaseDate(ReleaseDate)", "2001-02-2T00:00:00Z", 0},
};

std::string checkFunctions(std::vector<Keep>& results, long rows) {
    for (size_t i = 0; i < results.size(); ++i) {
        const auto run = std::static_pointer_cast<FunctionRun>(results[i]);
        const FunctionCall& call = kFunctionCalls[i];
        const std::string name = call.call;
        if (run->rc != SQLITE_DONE) return name + " stopped with status " + std::to_string(run->rc);
        if (run->rows != rows || run->values != rows) return name + " left NULL results";
        const bool right = call.firstLength > 0 ? run->first.size() == call.firstLength
                                                : run->first == call.firstResult;
        if (!right) return name + " gave '" + run->first + "' for the first row";
    }
    return "";
}

CaseDef functionsCase(const Converter& serve, long rows) {
    CaseDef def{"case6", "6 SQL functions", rows, 0, {}, {}, {}};
    for (const FunctionCall& call : kFunctionCalls) {
        const std::string sql = std::string("select ") + call.call +
                                " from FnInput where rowid <= " + std::to_string(rows);
        def.variants.push_back({call.call, [&serve, sql](Stopwatch& watch) {
                                    return Keep(stepAll(serve.mainDb, sql, watch));
                                }});
    }
    for (size_t i = 1; i < def.variants.size(); ++i)
        def.ratios.push_back({def.variants[i].name + " / upper()", i, {0}, 0});
    def.verify = [rows](std::vector<Keep>& results) { return checkFunctions(results, rows); };
    return def;
}

// Rounds for a case over rows rows (0: rows do not apply): fewer for the heavy sizes.
int roundsFor(const CaseOptions& options, long rows, int heavyRounds) {
    if (options.rounds > 0) return options.rounds;
    if (rows >= 100000) return heavyRounds;
    if (rows >= 10000) return 11;
    return 21;
}

} // namespace

Keep runPlainRows(const Converter& serve, long rows, int variant, Stopwatch& watch) {
    auto run = std::make_shared<JsonRun>();
    if (variant == kPlainLibrary) {
        const std::string sql = plainRowsSql(rows);
        watch.start();
        run->rc = serve.getJson(sql.c_str(), run->value, 1);
        watch.stop();
    } else if (variant == kPlainLoop) {
        const std::string sql = plainRowsSql(rows);
        watch.start();
        run->value = Json::Value(Json::arrayValue);
        run->rc = loopRows(serve.mainDb, sql.c_str(), run->value);
        watch.stop();
    } else {
        const std::string sql = plainRowsJsonSql(rows);
        watch.start();
        run->rc = sqliteJsonRows(serve.mainDb, sql.c_str(), run->value);
        watch.stop();
    }
    return run;
}

long plainRowsCount(const Keep& result) {
    const auto run = asJsonRun(result);
    return run->rc == 0 && run->value.isArray() ? static_cast<long>(run->value.size()) : -1;
}

std::vector<CaseDef> makeCases(const CaseOptions& options) {
    std::vector<CaseDef> cases;
    const Converter& serve = *options.serve;
    for (long rows : options.sizes) {
        cases.push_back(plainRowsCase(serve, rows));
        cases.back().rounds = roundsFor(options, rows, 7);
        cases.push_back(collectionCase(serve, rows));
        cases.back().rounds = roundsFor(options, rows, 3);
        cases.push_back(subArrayCase(serve, rows));
        cases.back().rounds = roundsFor(options, rows, 9);
    }
    cases.push_back(loadCase(options.loadLibrary));
    cases.back().rounds = options.rounds > 0 ? options.rounds : 31;
    cases.push_back(uriCase(serve));
    cases.back().rounds = roundsFor(options, 0, 0);
    cases.push_back(functionsCase(serve, options.functionRows));
    cases.back().rounds = roundsFor(options, options.functionRows, 9);
    return cases;
}

} // namespace bench
