// Fuzzes the view-to-JSON engine: a fuzzed set of views and rows, a fuzzed property-type map,
// then the entry point (which runs the row reader and the formatter, and the formatter's
// sub-queries) on one of the views.
//
// Input (text, one directive per line, so seeds stay readable):
//   M<t> <property> <type>        a metadata row: property name and type text for the "@odata.type"
//                                 rf_metadata[t - 'a'] (t from 'a' to 't')
//   V<v> <col>=<value>|<col>=...  a row of view v<v> (v from '0' to '3'); columns missing from a
//                                 row are NULL
//   Q<objectType><expand><v>      the query: object type digit, expand level digit, view digit
// A value is a storage-class letter and its payload: i integer, r real, t text, b blob, o<t> the
// type name rf_metadata[t - 'a'], q<v> the sub-query text "select * from v<v> limit 1"; anything
// else is NULL.
//
// Bounds, so that the data cannot make a run exponential: every sub-query text the harness writes
// ends in "limit 1", and each type keeps at most one property whose type is array or object (later
// ones are dropped). Each formatted row then starts at most one sub-query, and the engine's depth
// limit bounds the chain, also for views that lead back to themselves.
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "internal.hpp"
#include "vexa_oem_data.h"

// ---- Platform stand-ins: the harness supplies them instead of the host layer -----------------

// Formats every message, as a real logger does, so that a bad argument list shows up.
extern "C" int vexaprintf(int /*level*/, int /*module*/, const char* format, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return 0;
}

// OEM data for some identifiers: an object for ids starting with 'o', a non-object for 's'.
int getResourceOemData(char* kind, char* id, char* /*reserved*/, Json::Value& out) {
    if (kind == nullptr || id == nullptr || id[0] == '\0') return -1;
    if (id[0] == 'o') {
        out["Kind"] = kind;
        out["Id"] = id;
        return 0;
    }
    if (id[0] == 's') {
        out = id;
        return 0;
    }
    return -1;
}

namespace {

constexpr int kTypeCount = 20;
constexpr int kViewCount = 4;

struct Column {
    std::string name;
    std::string value; // class letter and payload
};
using Row = std::vector<Column>;

struct Input {
    std::map<int, std::vector<std::pair<std::string, std::string>>> metadata; // type -> rows
    std::map<int, std::vector<Row>> views;
    unsigned int objectType = 1;
    int expandLevel = 2;
    int queryView = 0;
};

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

int typeIndex(char c) { return static_cast<unsigned char>(c - 'a') % kTypeCount; }
int viewIndex(char c) { return static_cast<unsigned char>(c - '0') % kViewCount; }

bool isStructured(const std::string& type) {
    return type.compare(0, 5, "array") == 0 || type.compare(0, 6, "object") == 0;
}

// "M<t> <property> <type>": keeps at most one array or object property per type.
void parseMetadata(const std::string& line, Input& input) {
    if (line.size() < 2) return;
    size_t space = line.find(' ', 3);
    if (line.size() < 4 || line[2] != ' ' || space == std::string::npos) return;
    auto& rows = input.metadata[typeIndex(line[1])];
    std::string name = line.substr(3, space - 3);
    std::string type = line.substr(space + 1);
    if (isStructured(type)) {
        for (const auto& row : rows)
            if (isStructured(row.second)) return;
    }
    rows.emplace_back(name, type);
}

// "V<v> <col>=<value>|...".
void parseRow(const std::string& line, Input& input) {
    if (line.size() < 3 || line[2] != ' ') return;
    Row row;
    for (const std::string& cell : split(line.substr(3), '|')) {
        size_t equals = cell.find('=');
        if (equals == std::string::npos) continue;
        row.push_back({cell.substr(0, equals), cell.substr(equals + 1)});
    }
    input.views[viewIndex(line[1])].push_back(row);
}

Input parseInput(const std::string& text) {
    Input input;
    for (const std::string& line : split(text, '\n')) {
        if (line.empty()) continue;
        switch (line[0]) {
        case 'M':
            parseMetadata(line, input);
            break;
        case 'V':
            parseRow(line, input);
            break;
        case 'Q':
            if (line.size() >= 4) {
                input.objectType = static_cast<unsigned char>(line[1] - '0') % 4U;
                input.expandLevel = static_cast<unsigned char>(line[2] - '0') % 10 - 1;
                input.queryView = viewIndex(line[3]);
            }
            break;
        default:
            break;
        }
    }
    return input;
}

std::string quoted(const std::string& name) {
    std::string out = "\"";
    for (char c : name)
        out += (c == '"') ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

// SQLite compares ASCII identifiers without regard to case.
std::string columnKey(const std::string& name) {
    std::string key = name;
    for (char& c : key)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return key;
}

bool exec(sqlite3* db, const std::string& sql) {
    return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

void bindValue(sqlite3_stmt* stmt, int index, const std::string& value) {
    const char kind = value.empty() ? 'n' : value[0];
    const std::string payload = value.empty() ? std::string() : value.substr(1);
    std::string text;
    switch (kind) {
    case 'i':
        sqlite3_bind_int64(stmt, index, std::strtoll(payload.c_str(), nullptr, 0));
        return;
    case 'r':
        sqlite3_bind_double(stmt, index, std::strtod(payload.c_str(), nullptr));
        return;
    case 't':
        text = payload;
        break;
    case 'b':
        sqlite3_bind_blob(stmt, index, payload.data(), static_cast<int>(payload.size()),
                          SQLITE_TRANSIENT);
        return;
    case 'o':
        text = payload.empty() ? "" : rf_metadata[typeIndex(payload[0])];
        break;
    case 'q':
        text = "select * from v" + std::to_string(payload.empty() ? 0 : viewIndex(payload[0])) +
               " limit 1";
        break;
    default:
        sqlite3_bind_null(stmt, index);
        return;
    }
    sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

bool insertRow(sqlite3* db, int view, const Row& row) {
    std::string columns, marks;
    std::set<std::string> seen;
    std::vector<const Column*> used;
    for (const Column& column : row) {
        if (!seen.insert(columnKey(column.name)).second) continue;
        columns += (used.empty() ? "" : ",") + quoted(column.name);
        marks += used.empty() ? "?" : ",?";
        used.push_back(&column);
    }
    if (used.empty()) return exec(db, "insert into t" + std::to_string(view) + " default values");
    std::string sql =
        "insert into t" + std::to_string(view) + "(" + columns + ") values(" + marks + ")";
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) return false;
    StmtPtr stmt(raw);
    for (size_t i = 0; i < used.size(); ++i)
        bindValue(stmt.get(), static_cast<int>(i + 1), used[i]->value);
    return sqlite3_step(stmt.get()) == SQLITE_DONE;
}

// Table t<v> holds every column named in view v's rows; view v<v> selects all of it.
bool buildView(sqlite3* db, int view, const std::vector<Row>& rows) {
    std::string columns;
    std::set<std::string> seen;
    for (const Row& row : rows)
        for (const Column& column : row)
            if (seen.insert(columnKey(column.name)).second)
                columns += (columns.empty() ? "" : ",") + quoted(column.name);
    if (columns.empty()) columns = "\"@odata.id\"";
    const std::string v = std::to_string(view);
    if (!exec(db, "create table t" + v + "(" + columns + ")") ||
        !exec(db, "create view v" + v + " as select * from t" + v))
        return false;
    for (const Row& row : rows)
        if (!insertRow(db, view, row)) return false;
    return true;
}

bool buildMainDb(sqlite3* db, const Input& input) {
    for (int view = 0; view < kViewCount; ++view) {
        auto it = input.views.find(view);
        if (!buildView(db, view, it == input.views.end() ? std::vector<Row>() : it->second))
            return false;
    }
    return true;
}

bool buildMetadataDb(sqlite3* db, const Input& input) {
    for (const auto& [type, rows] : input.metadata) {
        const std::string table = quoted(rf_metadata[type]);
        if (!exec(db, "create table " + table + "(PropertyName text, PropertyType text)"))
            return false;
        for (const auto& [name, propertyType] : rows) {
            sqlite3_stmt* raw = nullptr;
            std::string sql = "insert into " + table + " values(?, ?)";
            if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) return false;
            StmtPtr stmt(raw);
            sqlite3_bind_text(stmt.get(), 1, name.data(), static_cast<int>(name.size()),
                              SQLITE_TRANSIENT);
            sqlite3_bind_text(stmt.get(), 2, propertyType.data(),
                              static_cast<int>(propertyType.size()), SQLITE_TRANSIENT);
            if (sqlite3_step(stmt.get()) != SQLITE_DONE) return false;
        }
    }
    return true;
}

DbPtr openMemoryDb() {
    sqlite3* raw = nullptr;
    sqlite3_open(":memory:", &raw);
    return DbPtr(raw);
}

// Runs the query through both public entry points and checks what must hold whatever the data.
void runQueries(const Input& input) {
    const std::string query = "select * from v" + std::to_string(input.queryView);
    Json::Value out;
    int rc =
        ExecuteSQLViewQueryForJsonData(query.c_str(), out, input.objectType, 7, input.expandLevel);
    if (input.objectType > 2 && (rc != -1 || !out.isNull())) std::abort();
    if (input.objectType == 1 && rc == 0 && !out.isNull() && !out.isArray()) std::abort();
    Json::Value viaDepth(Json::arrayValue);
    GetJsonDataFromSQLViewUsingQuery(query.c_str(), viaDepth, input.objectType, 0,
                                     input.expandLevel);
    // The formatter on a row it did not get from the row reader.
    Json::Value nested, resource;
    if (GetDataFromViewQuery(dmdbhandle, query.c_str(), nested, resource, 0) == 0)
        GetRedfishSchemaFormatedData(nested, resource, 0, input.expandLevel);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Input input = parseInput(std::string(reinterpret_cast<const char*>(data), size));
    DbPtr mainDb = openMemoryDb();
    DbPtr metadataDb = openMemoryDb();
    if (!buildMainDb(mainDb.get(), input) || !buildMetadataDb(metadataDb.get(), input)) return 0;
    registerSqlFunctions(mainDb.get());
    dmdbhandle = mainDb.get();
    metadatadbhandle = metadataDb.get();
    loadPropertyTypeMap();
    runQueries(input);
    dmdbhandle = nullptr;
    metadatadbhandle = nullptr;
    return 0;
}
