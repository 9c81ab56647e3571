// URI resolution: request URI to resource statement, two-stage and single-value statements.
// Exports: GetViewNameFromopenApiDB, GetCustomCTEData, GetPositionofFromCluase,
// GetRequestedSchemaData.
#include "internal.hpp"

#include <climits>
#include <cstring>
#include <new>
#include <string>

namespace {

// The resource lookup. UriInfo lives in the attached "openapidb" schema; ordinary name
// resolution finds it. The trailing "/" of the request is ignored, its "/" count must equal
// n_Segments, and the longest pattern wins; among patterns of equal length the one with fewer
// wildcards ('%', '_') wins, then the lowest rowid, so an exact row beats a wildcard row of
// the same length and the choice never depends on the query plan.
constexpr const char* kLookupSql =
    "select privilege, view_name, link, allow_header, CTE, CTE_length from UriInfo "
    "where rtrim(?,'/') LIKE URI AND "
    "(length(rtrim(?,'/'))-length(replace(rtrim(?,'/'),'/',''))) = n_Segments "
    "ORDER BY length(uri) DESC, "
    "length(uri)-length(replace(replace(uri,'%',''),'_','')) ASC, rowid ASC limit 1";
constexpr int kViewNameColumn = 1;
constexpr int kCteColumn = 4;
constexpr const char* kSelectRoot = SQL2JSON_SELECT_ROOT;
constexpr const char* kWhereOdataId = SQL2JSON_WHERE_ODATA_ID;

constexpr const char* kTelemetryMarker = SQL2JSON_TELEMETRY_MARKER;

// True when text is NULL or "".
bool isNullOrEmpty(const char* text) { return text == nullptr || text[0] == '\0'; }

// Prepares the first SQL statement of sql on db into stmt. Returns the prepare status;
// SQLITE_MISUSE when db is NULL or the text holds no statement (stmt stays empty then).
int prepareFirst(sqlite3* db, const char* sql, unsigned int flags, StmtPtr& stmt) {
    if (db == nullptr) return SQLITE_MISUSE;
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v3(db, sql, -1, flags, &raw, nullptr);
    stmt.reset(raw);
    if (rc == SQLITE_OK && !stmt) rc = SQLITE_MISUSE; // blank text or only a comment
    return rc;
}

// Column 0 of the current row as a string; "" when the step gave no row or the value is NULL.
std::string firstColumnText(sqlite3_stmt* stmt, int stepStatus) {
    if (stepStatus != SQLITE_ROW) return std::string();
    const unsigned char* text = sqlite3_column_text(stmt, 0);
    if (text == nullptr) return std::string();
    return std::string(reinterpret_cast<const char*>(text),
                       static_cast<size_t>(sqlite3_column_bytes(stmt, 0)));
}

// Binds uri to the lookup's three parameters (SQLite copies it). Returns the OR of the three
// bind statuses, logging a failure.
int bindLookupUri(sqlite3_stmt* stmt, const char* uri) {
    int rc = SQLITE_OK;
    for (int index = 1; index <= 3; ++index)
        rc |= sqlite3_bind_text(stmt, index, uri, -1, SQLITE_TRANSIENT); // -1: up to the NUL
    if (rc != SQLITE_OK) {
        LOG_AT_AS("GetViewNameFromopenApiDB", kLogFail, "failed to bind uri :%d, msg:%s", rc,
                  sqlite3_errmsg(dmdbhandle));
    }
    return rc;
}

// Steps the bound lookup and copies the winning row's view name and CTE (each left empty when
// absent). Busy and locked steps are retried within the connection's timeout bound.
void readLookupRow(sqlite3_stmt* stmt, std::string& viewName, std::string& cte) {
    const char* const name = "GetViewNameFromopenApiDB";
    int rc = sqlite3_step(stmt);
    if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
        LOG_AT_AS(name, kLogTrace, "openapi DB is busy:%d", rc);
        rc = retryBusyStep(stmt, rc);
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        LOG_AT_AS(name, kLogFail, "resource stmt step failed: %d, msg:%s", rc,
                  sqlite3_errmsg(dmdbhandle));
    }
    const bool hasRow = rc == SQLITE_ROW;
    const unsigned char* view = hasRow ? sqlite3_column_text(stmt, kViewNameColumn) : nullptr;
    if (view != nullptr) {
        viewName = reinterpret_cast<const char*>(view);
        LOG_AT_AS(name, kLogTrace, "OpenAPI - viewname: %s", viewName.c_str());
    } else {
        LOG_AT_AS(name, kLogTrace, "OpenAPIDB - view name is NULL");
    }
    const unsigned char* text = hasRow ? sqlite3_column_text(stmt, kCteColumn) : nullptr;
    if (text != nullptr) {
        cte = reinterpret_cast<const char*>(text);
        LOG_AT_AS(name, kLogTrace, "OpenAPIDB - ctelen: %d", static_cast<int>(cte.size()));
    } else {
        LOG_AT_AS(name, kLogTrace, "OpenAPIDB - CTE is NULL");
    }
}

// The lookup and composition behind GetViewNameFromopenApiDB (uri not NULL).
int lookUpResource(const char* uri, std::string& out) {
    const char* const name = "GetViewNameFromopenApiDB";
    StmtPtr stmt;
    int rc = prepareFirst(dmdbhandle, kLookupSql, SQLITE_PREPARE_PERSISTENT, stmt);
    if (rc != SQLITE_OK) {
        LOG_AT_AS(name, kLogFail, "failed to prepare resource stmt");
        return rc;
    }
    LOG_AT_AS(name, kLogTrace, "successfully exec prepare for resource stmt");
    std::string viewName;
    std::string cte;
    rc = bindLookupUri(stmt.get(), uri);
    if (rc == SQLITE_OK) {
        readLookupRow(stmt.get(), viewName, cte);
        rc = sqlite3_clear_bindings(stmt.get());
    }
    stmt.reset();
    out += cte + kSelectRoot + viewName + kWhereOdataId;
    return rc;
}

// Binds value to parameter 1 of stmt in place (the caller's text outlives the statement).
// Returns the bind status.
int bindInPlace(sqlite3_stmt* stmt, const char* value) {
    return sqlite3_bind_text(stmt, 1, value, -1, SQLITE_STATIC); // -1: up to the NUL
}

// First stage of GetCustomCTEData: runs query with firstValue and copies its first result into
// secondSql. Returns the deciding status; secondSql stays empty when the run is over.
int runFirstStage(const std::string& query, const char* firstValue, StmtPtr& stmt,
                  std::string& secondSql) {
    const char* const name = "GetCustomCTEData";
    int rc = prepareFirst(dmdbhandle, query.c_str(), 0, stmt);
    if (rc == SQLITE_OK && !isNullOrEmpty(firstValue)) {
        LOG_AT_AS(name, kLogDetail, "Binding: %s", firstValue);
        rc = bindInPlace(stmt.get(), firstValue);
    }
    if (rc != SQLITE_OK || isNullOrEmpty(firstValue)) {
        LOG_AT_AS(name, kLogFail, "sql2json--prepare/bind status: %d", rc);
        return rc;
    }
    rc = sqlite3_step(stmt.get());
    LOG_AT_AS(name, kLogTrace, "stepstatus: %d", rc);
    rc = retryBusyStep(stmt.get(), rc);
    secondSql = firstColumnText(stmt.get(), rc);
    return rc;
}

// Second stage of GetCustomCTEData: runs secondSql with secondValue and assigns a non-empty
// first result to out. Returns the deciding status; out is untouched on every other path.
int runSecondStage(const std::string& secondSql, const char* secondValue, std::string& out) {
    const char* const name = "GetCustomCTEData";
    StmtPtr stmt;
    int rc = prepareFirst(dmdbhandle, secondSql.c_str(), 0, stmt);
    if (rc == SQLITE_OK && !isNullOrEmpty(secondValue)) {
        LOG_AT_AS(name, kLogDetail, "Binding: %s", secondValue);
        rc = bindInPlace(stmt.get(), secondValue);
    }
    if (rc != SQLITE_OK || isNullOrEmpty(secondValue)) {
        LOG_AT_AS(name, kLogFail, "Bind failed :%d ", rc);
        return rc;
    }
    rc = sqlite3_step(stmt.get());
    LOG_AT_AS(name, kLogTrace, "stepstatus : %d", rc);
    rc = retryBusyStep(stmt.get(), rc);
    std::string result = firstColumnText(stmt.get(), rc);
    if (result.empty()) {
        LOG_AT_AS(name, kLogTrace, "No Data");
        return rc;
    }
    LOG_AT_AS(name, kLogTrace, "result1 len:%d", static_cast<int>(result.size()));
    LOG_AT_AS(name, kLogTrace, "%s", result.c_str());
    out.swap(result);
    return rc;
}

// Both stages of GetCustomCTEData. The first statement stays open until the second is done.
int runTwoStages(std::string& out, const std::string& query, const char* firstValue,
                 const char* secondValue) {
    StmtPtr first;
    std::string secondSql;
    int rc = runFirstStage(query, firstValue, first, secondSql);
    if (secondSql.empty()) return rc;
    LOG_AT_AS("GetCustomCTEData", kLogTrace, "result len:%d", static_cast<int>(secondSql.size()));
    return runSecondStage(secondSql, secondValue, out);
}

// True when byte b is the letter upper (an ASCII capital) in either case, or that letter with
// the high bit set: clearing bits 0x20 and 0x80 folds all four spellings together.
bool matchesLetter(unsigned char b, char upper) {
    return (b & 0x5F) == static_cast<unsigned char>(upper);
}

// The telemetry connection of one GetRequestedSchemaData call, closed when the call ends.
struct TelemetryDb {
    sqlite3* db = nullptr;
    TelemetryDb() = default;
    TelemetryDb(const TelemetryDb&) = delete;
    TelemetryDb& operator=(const TelemetryDb&) = delete;
    ~TelemetryDb() {
        if (db == nullptr) return;
        int rc = sqlite3_close_v2(db);
        if (rc != SQLITE_OK) {
            LOG_AT_AS("GetRequestedSchemaData", kLogFail, "close_v2 failed: %d, err: %s", rc,
                      sqlite3_errmsg(db));
        }
    }
};

// Opens the telemetry database read-only into telemetry. Returns the open status, logging a
// failure.
int openTelemetry(TelemetryDb& telemetry) {
    int rc = sqlite3_open_v2(TELEMETRY_DB_PATH, &telemetry.db, SQLITE_OPEN_READONLY, nullptr);
    if (rc != SQLITE_OK) {
        LOG_AT_AS("GetRequestedSchemaData", kLogFail, "DB status: %d, Can't open database: %s", rc,
                  sqlite3_errmsg(telemetry.db));
    }
    return rc;
}

// Runs query on db with value bound (unless NULL or empty) and assigns a non-NULL first column
// of the first row to out. Returns the final step status, or the prepare/bind status.
int runSingleValue(sqlite3* db, const char* query, std::string& out, const char* value) {
    const char* const name = "GetRequestedSchemaData";
    StmtPtr stmt;
    int rc = prepareFirst(db, query, SQLITE_PREPARE_PERSISTENT, stmt);
    if (rc == SQLITE_OK && !isNullOrEmpty(value)) {
        LOG_AT_AS(name, kLogDetail, "sql2json--Binding: %s", value);
        rc = bindInPlace(stmt.get(), value);
    }
    if (rc != SQLITE_OK) {
        LOG_AT_AS(name, kLogFail, "sql2json--prepare/bind status: %d", rc);
        return rc;
    }
    rc = sqlite3_step(stmt.get());
    LOG_AT_AS(name, kLogTrace, "sql2json--stepstatus: %d", rc);
    rc = retryBusyStep(stmt.get(), rc);
    const unsigned char* text = rc == SQLITE_ROW ? sqlite3_column_text(stmt.get(), 0) : nullptr;
    if (text != nullptr) {
        out.assign(reinterpret_cast<const char*>(text),
                   static_cast<size_t>(sqlite3_column_bytes(stmt.get(), 0)));
        LOG_AT_AS(name, kLogTrace, "%s", out.c_str());
    }
    return rc;
}

// Chooses the database for query and runs it there (query not NULL).
int runRequestedStatement(const char* query, std::string& out, const char* value) {
    if (std::strstr(query, kTelemetryMarker) == nullptr)
        return runSingleValue(dmdbhandle, query, out, value);
    TelemetryDb telemetry; // closed after the statement is finalized
    int rc = openTelemetry(telemetry);
    if (rc != SQLITE_OK) {
        LOG_AT_AS("GetRequestedSchemaData", kLogFail, "sql2json--prepare/bind status: %d", rc);
        return rc;
    }
    return runSingleValue(telemetry.db, query, out, value);
}

// Logs an allocation failure under name; the call then returns SQLITE_NOMEM.
int reportNoMemory(const char* name) {
    LOG_AT_AS(name, kLogFail, "out of memory");
    return SQLITE_NOMEM;
}

} // namespace

// Appends "<CTE> select root from <view> where [@odata.id]=?" for the UriInfo row that best
// matches uri (CTE and view empty when none does). Returns 0 when the lookup ran (matched or
// not), the prepare status (output untouched), the OR of the bind statuses, or SQLITE_MISUSE
// for a NULL uri (output untouched).
int GetViewNameFromopenApiDB(const char* uri, std::string& out) {
    LOG_ENTER();
    int rc = SQLITE_MISUSE;
    if (uri == nullptr) {
        LOG_AT(kLogFail, "uri is NULL");
    } else {
        try {
            rc = lookUpResource(uri, out);
        } catch (const std::bad_alloc&) {
            rc = reportNoMemory(__func__);
        }
    }
    LOG_EXIT();
    return rc;
}

// Runs query with firstValue bound; prepares its first result as a statement, runs that with
// secondValue bound and assigns its non-empty first result to out. Returns the status that
// decided the outcome: 100/101 from the last step run, a prepare or bind status, or 0 when a
// value is NULL or empty. out changes only when the second statement yields text.
int GetCustomCTEData(std::string& out, std::string& query, char* firstValue, char* secondValue,
                     char* /*unused*/) {
    LOG_ENTER();
    LOG_AT(kLogTrace, "query:%s", query.c_str());
    int rc;
    try {
        rc = runTwoStages(out, query, firstValue, secondValue);
    } catch (const std::bad_alloc&) {
        rc = reportNoMemory(__func__);
    }
    LOG_EXIT();
    return rc;
}

// Zero-based byte index of the first "from" in text, any letter case, with the high-bit twins
// of its letters also matching; -1 when there is none or text is NULL.
int GetPositionofFromCluase(const char* text) {
    LOG_ENTER();
    int result = -1;
    if (text == nullptr) {
        LOG_AT(kLogFail, "text is NULL");
        LOG_EXIT();
        return result;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    const size_t length = std::strlen(text);
    for (size_t i = 0; i + 4 <= length && i <= static_cast<size_t>(INT_MAX); ++i) {
        if (matchesLetter(bytes[i], 'F') && matchesLetter(bytes[i + 1], 'R') &&
            matchesLetter(bytes[i + 2], 'O') && matchesLetter(bytes[i + 3], 'M')) {
            result = static_cast<int>(i);
            LOG_AT(kLogTrace, "found from cluase at index: %d", result);
            break;
        }
    }
    LOG_EXIT();
    return result;
}

// Runs query (on the telemetry database, opened for this call only, when its text holds
// "JSON"; else on the main connection) with value bound to parameter 1 unless NULL or empty,
// and assigns a non-NULL first column of the first row to out. Returns 100/101 or the failing
// step, open, prepare or bind status; SQLITE_MISUSE for a NULL query. out is otherwise
// untouched.
int GetRequestedSchemaData(const char* query, std::string& out, const char* value) {
    LOG_ENTER();
    int rc = SQLITE_MISUSE;
    if (query == nullptr) {
        LOG_AT(kLogFail, "query is NULL");
    } else {
        LOG_AT(kLogTrace, "%s", query);
        try {
            rc = runRequestedStatement(query, out, value);
        } catch (const std::bad_alloc&) {
            rc = reportNoMemory(__func__);
        }
    }
    LOG_EXIT();
    return rc;
}
