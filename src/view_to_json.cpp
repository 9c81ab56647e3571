// View-to-JSON engine: runs a view query on the main connection, turns its rows into JSON and
// formats each row as a Redfish resource (sub-queries, booleans, nested properties, OEM data).
// Property types (SqlitetoJsonDefinitions.h): "array..." runs a sub-query into an array of
// formatted objects with its "@odata.count", "subarray..." one into a flat array of plain values,
// "object..." one into an object; "boolean..." converts, "additional..." removes a plain column.
// Exports: GetDataFromViewQuery, ExecuteSQLViewQueryForJsonData, both
// GetJsonDataFromSQLViewUsingQuery overloads, GetRedfishSchemaFormatedData.
#include "internal.hpp"

#include <climits>
#include <cstdint>
#include <cstring>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "vexa_oem_data.h"

namespace {

constexpr const char* kReaderName = "GetDataFromViewQuery";
constexpr const char* kEntryName = "ExecuteSQLViewQueryForJsonData";
constexpr const char* kFormatterName = "GetRedfishSchemaFormatedData";

// The live-object database stores these for a value that is missing.
constexpr sqlite3_int64 kMissingInteger = 4294967295LL;
constexpr double kMissingReal = 4294967295.0;

constexpr const char* kOdataType = "@odata.type";
constexpr const char* kCountSuffix = "@odata.count";
constexpr const char* kPowerSupplyType = "#Power.v1_7_3.PowerSupply";
constexpr const char* kAssemblyDataType = "#Assembly.v1_5_1.AssemblyData";
constexpr const char* kVexaOemType = "#VexaOem.v1_3_0.VexaOemResources";

// Depth of the sub-query the current thread is running (0 outside any sub-query).
thread_local int tSubQueryDepth = 0;

// Counts one sub-query level for the life of the scope.
struct SubQueryDepthGuard {
    SubQueryDepthGuard() { ++tSubQueryDepth; }
    ~SubQueryDepthGuard() { --tSubQueryDepth; }
    SubQueryDepthGuard(const SubQueryDepthGuard&) = delete;
    SubQueryDepthGuard& operator=(const SubQueryDepthGuard&) = delete;
};

// ---- jsoncpp access that cannot throw ----------------------------------------------------------

// The member [begin, end) of obj, or null when obj is not an object or lacks it.
const Json::Value* findMember(const Json::Value& obj, const char* begin, const char* end) {
    return obj.isObject() ? obj.find(begin, end) : nullptr;
}

const Json::Value* findMember(const Json::Value& obj, const std::string& key) {
    return findMember(obj, key.data(), key.data() + key.size());
}

const Json::Value* findMember(const Json::Value& obj, const char* key) {
    return findMember(obj, key, key + std::strlen(key));
}

// The same for a value we may change: obj is not const, so neither is its member.
Json::Value* findMutableMember(Json::Value& obj, const char* begin, const char* end) {
    return const_cast<Json::Value*>(findMember(obj, begin, end));
}

// The characters of a string value; false (and an empty range) for any other value.
bool stringRange(const Json::Value& value, const char*& begin, const char*& end) {
    begin = end = nullptr;
    return value.isString() && value.getString(&begin, &end) && begin != nullptr;
}

// The text of a scalar as jsoncpp spells it: a string's own text, "" for null, the decimal
// form of a number, "true"/"false". False for arrays and objects, which have no text.
bool scalarText(const Json::Value& value, std::string& text) {
    switch (value.type()) {
    case Json::nullValue:
        text.clear();
        return true;
    case Json::arrayValue:
    case Json::objectValue:
        return false;
    default:
        text = value.asString();
        return true;
    }
}

// ---- Row reader ------------------------------------------------------------------------------

// One result column of a view query.
struct ViewColumn {
    const char* name;    // as SQLite gives it; valid until the statement is finalized
    bool nested;         // the name contains '#'
    Json::Value* member; // the accumulator's member of this name, once the column set it
};

// The two per-call accumulators: never cleared between rows, so a column that a row does not
// set (a BLOB there) keeps the earlier row's value.
struct RowAccumulators {
    Json::Value nested;
    Json::Value plain;
};

enum class Cell { kSkip, kNull, kValue };

// Describes the columns of stmt; called after the first step, when the names are final.
std::vector<ViewColumn> describeColumns(sqlite3_stmt* stmt) {
    const int count = sqlite3_column_count(stmt);
    std::vector<ViewColumn> columns;
    columns.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const char* name = sqlite3_column_name(stmt, i);
        if (name == nullptr) name = "";
        columns.push_back({name, std::strchr(name, '#') != nullptr, nullptr});
    }
    return columns;
}

// Reads column col of the current row by its storage class into value. Returns kSkip for a
// BLOB, kNull for SQL NULL and the missing-value markers, else kValue.
Cell readCell(sqlite3_stmt* stmt, int col, Json::Value& value) {
    switch (sqlite3_column_type(stmt, col)) {
    case SQLITE_INTEGER: {
        const sqlite3_int64 number = sqlite3_column_int64(stmt, col);
        if (number == -1 || number == kMissingInteger) return Cell::kNull;
        if (number >= INT32_MIN && number <= INT32_MAX)
            value = Json::Value(static_cast<int>(number));
        else
            value = Json::Value(static_cast<Json::Int64>(number));
        return Cell::kValue;
    }
    case SQLITE_FLOAT: {
        const double number = sqlite3_column_double(stmt, col);
        if (number == kMissingReal) return Cell::kNull;
        value = Json::Value(number);
        return Cell::kValue;
    }
    case SQLITE_TEXT: {
        const unsigned char* text = sqlite3_column_text(stmt, col);
        if (text == nullptr) return Cell::kNull;
        value = Json::Value(reinterpret_cast<const char*>(text));
        return Cell::kValue;
    }
    case SQLITE_BLOB:
        return Cell::kSkip;
    default:
        return Cell::kNull;
    }
}

// Reads the current row into the accumulators: with flat, non-null values are appended;
// otherwise each column sets the member of its name (null for a missing value).
void readRow(sqlite3_stmt* stmt, std::vector<ViewColumn>& columns, RowAccumulators& acc,
             bool flat) {
    Json::Value value;
    for (size_t i = 0; i < columns.size(); ++i) {
        ViewColumn& column = columns[i];
        const Cell cell = readCell(stmt, static_cast<int>(i), value);
        if (cell == Cell::kSkip) continue;
        if (column.nested && cell == Cell::kValue && value.isString())
            LOG_AT_AS(kReaderName, kLogTrace, "TEXT - %s:%s", column.name, value.asCString());
        Json::Value& target = column.nested ? acc.nested : acc.plain;
        if (flat) {
            if (cell == Cell::kValue) target.append(std::move(value));
            continue;
        }
        // Members are never removed from an accumulator, so the pointer stays valid.
        if (column.member == nullptr) column.member = &target[column.name];
        if (cell == Cell::kNull)
            *column.member = Json::Value();
        else
            *column.member = std::move(value);
    }
}

bool isArrayOrNull(const Json::Value& value) { return value.isArray() || value.isNull(); }

// Body of GetDataFromViewQuery (which adds the exception guard).
int getDataFromViewQuery(sqlite3* db, const char* query, Json::Value& nestedColumns,
                         Json::Value& resource, unsigned int objectType) {
    RowAccumulators acc;
    LOG_ENTER_AS(kReaderName);
    if (db == nullptr) {
        LOG_AT_AS(kReaderName, kLogFail, "Database handle is NULL");
        return 1;
    }
    if (query == nullptr) {
        LOG_AT_AS(kReaderName, kLogFail, "Input sql query is NULL");
        LOG_EXIT_AS(kReaderName);
        return -1;
    }
    const bool perRow = objectType == kJsonArrayType;
    const bool flat = objectType == kJsonSubArrayType;
    if (perRow && !(isArrayOrNull(nestedColumns) && isArrayOrNull(resource))) {
        LOG_AT_AS(kReaderName, kLogFail, "output of array object type query is not an array");
        LOG_EXIT_AS(kReaderName);
        return -1;
    }
    LOG_AT_AS(kReaderName, kLogTrace, "Query: %s", query);
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db, query, -1, &raw, nullptr);
    StmtPtr stmt(raw);
    if (rc != SQLITE_OK) {
        LOG_AT_AS(kReaderName, kLogFail,
                  "failed to execute sql query. Sqlstmt status: %d, errormsg: %s", rc,
                  sqlite3_errmsg(db));
        LOG_EXIT_AS(kReaderName);
        return rc;
    }
    std::vector<ViewColumn> columns;
    long long rows = 0;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        if (rows == 0) columns = describeColumns(stmt.get());
        readRow(stmt.get(), columns, acc, flat);
        ++rows;
        if (perRow) {
            nestedColumns.append(acc.nested);
            resource.append(acc.plain);
        }
    }
    // Objects and flat arrays hold the accumulators as of the last row read.
    if (rows > 0 && !perRow) {
        nestedColumns = std::move(acc.nested);
        resource = std::move(acc.plain);
    }
    if (rc != SQLITE_DONE) {
        LOG_AT_AS(kReaderName, kLogFail,
                  "failed to read rows of sql query. Sqlstmt status: %d, errormsg: %s", rc,
                  sqlite3_errmsg(db));
        LOG_EXIT_AS(kReaderName);
        return rc;
    }
    LOG_AT_AS(kReaderName, kLogTrace, "Number of rows returned: %lld", rows);
    LOG_EXIT_AS(kReaderName);
    return 0;
}

// ---- Query entry point -------------------------------------------------------------------------

// Runs an object query into out and formats the row. Returns the row reader's code.
int runObjectQuery(const char* query, Json::Value& out, unsigned int passThrough, int expandLevel) {
    Json::Value nested;
    const int rc = GetDataFromViewQuery(dmdbhandle, query, nested, out, kJsonObjectType);
    if (rc != 0) {
        LOG_AT_AS(kEntryName, kLogFail, "failed to get object type data from View");
        return rc;
    }
    LOG_AT_AS(kEntryName, kLogTrace, "successfully got the object type data from view");
    GetRedfishSchemaFormatedData(nested, out, passThrough, expandLevel);
    return 0;
}

// Runs an array query, appending one element per row to out, and formats each appended
// element with the nested columns of its own row. Returns the row reader's code.
int runArrayQuery(const char* query, Json::Value& out, unsigned int passThrough, int expandLevel) {
    Json::Value nested;
    const Json::ArrayIndex before = out.isArray() ? out.size() : 0;
    const int rc = GetDataFromViewQuery(dmdbhandle, query, nested, out, kJsonArrayType);
    if (rc != 0) {
        LOG_AT_AS(kEntryName, kLogFail, "failed to get data from view");
        return rc;
    }
    if (!out.isArray()) {
        LOG_AT_AS(kEntryName, kLogFail, "failed to get array object type data from view");
        return 0;
    }
    // Walk both arrays with iterators: indexing a jsoncpp array is a tree lookup per row.
    Json::Value::iterator element = out.begin();
    for (Json::ArrayIndex i = 0; i < before; ++i)
        ++element;
    Json::Value::iterator rowNested = nested.begin(); // null when the query gave no row
    Json::Value noNested;
    for (; element != out.end(); ++element) {
        const bool hasNested = rowNested != nested.end();
        GetRedfishSchemaFormatedData(hasNested ? *rowNested : noNested, *element, passThrough,
                                     expandLevel);
        if (hasNested) ++rowNested;
    }
    LOG_AT_AS(kEntryName, kLogTrace, "successfully got array object type data from view");
    return 0;
}

// Runs a sub array query into out; its values are not formatted. Returns the reader's code.
int runSubArrayQuery(const char* query, Json::Value& out) {
    Json::Value nested;
    const int rc = GetDataFromViewQuery(dmdbhandle, query, nested, out, kJsonSubArrayType);
    if (rc != 0) {
        LOG_AT_AS(kEntryName, kLogFail, "failed to get sub array type data from View");
        return rc;
    }
    LOG_AT_AS(kEntryName, kLogTrace, "successfully got sub array type data from view");
    return 0;
}

// Body of ExecuteSQLViewQueryForJsonData (which adds the exception guard).
int executeViewQuery(const char* query, Json::Value& out, unsigned int objectType,
                     unsigned int passThrough, int expandLevel) {
    LOG_ENTER_AS(kEntryName);
    int result = -1;
    switch (objectType) {
    case kJsonObjectType:
        result = runObjectQuery(query, out, passThrough, expandLevel);
        break;
    case kJsonArrayType:
        result = runArrayQuery(query, out, passThrough, expandLevel);
        break;
    case kJsonSubArrayType:
        result = runSubArrayQuery(query, out);
        break;
    default:
        LOG_AT_AS(kEntryName, kLogFail, "Invalid JSON object type provided to API.");
        break;
    }
    LOG_EXIT_AS(kEntryName);
    return result;
}

// ---- Redfish formatter -----------------------------------------------------------------------

using sql2json::kMaxSubQueryDepth;
using sql2json::PropertyKind;

// One schema property of the map: its name (with its first '#', if any) and its type.
struct SchemaProperty {
    const char* name; // NUL-terminated map key
    const char* end;
    const char* hash; // the first '#' of the name, or null for a plain property
    const char* typeText;
    PropertyKind kind;
};

// What the formatter hands every sub-query of one row.
struct FormatContext {
    unsigned int passThrough;
    int subLevel; // the row's expand level minus one
};

// Describes the map member at it (property name -> type text).
SchemaProperty describeProperty(const Json::Value::const_iterator& it) {
    SchemaProperty prop{};
    prop.name = it.memberName(&prop.end);
    if (prop.name == nullptr) prop.name = prop.end = "";
    prop.hash = static_cast<const char*>(
        std::memchr(prop.name, '#', static_cast<size_t>(prop.end - prop.name)));
    const Json::Value& type = *it;
    prop.typeText = type.isString() ? type.asCString() : "";
    prop.kind = sql2json::propertyKind(prop.typeText);
    return prop;
}

// Converts a view value to a boolean: exactly "true"/"false", or an integer (0 is false).
// Logs and returns false when the value has no boolean meaning.
bool toBool(const Json::Value& value, bool& flag) {
    const char* begin = nullptr;
    const char* end = nullptr;
    if (value.isString()) {
        stringRange(value, begin, end);
        const size_t length = static_cast<size_t>(end - begin);
        if (length == 4 && std::memcmp(begin, "true", 4) == 0) return flag = true, true;
        if (length == 5 && std::memcmp(begin, "false", 5) == 0) return flag = false, true;
        LOG_AT_AS(kFormatterName, kLogFail, "invalid bool value");
        return false;
    }
    if (value.isInt()) {
        flag = value.asInt() != 0;
        return true;
    }
    LOG_AT_AS(kFormatterName, kLogFail, "invalid bool value defined in view");
    return false;
}

// Logs the outcome of an array, sub array or object sub-query.
void logSubQueryResult(PropertyKind kind, int rc) {
    if (kind == PropertyKind::kArray && rc != 0)
        LOG_AT_AS(kFormatterName, kLogFail, "failed to get data from sub query");
    else if (kind == PropertyKind::kArray)
        LOG_AT_AS(kFormatterName, kLogTrace, "Successfully got data from sub query");
    else if (kind == PropertyKind::kSubArray && rc != 0)
        LOG_AT_AS(kFormatterName, kLogFail, "failed to get data from sub array query");
    else if (kind == PropertyKind::kSubArray)
        LOG_AT_AS(kFormatterName, kLogTrace, "Successfully got data from sub array query");
    else if (rc != 0)
        LOG_AT_AS(kFormatterName, kLogFail, "failed to get data for object type sub query");
    else
        LOG_AT_AS(kFormatterName, kLogTrace, "Successfully got data for object type sub query");
}

// Runs the SQL text held by source one level deeper as the sub-query of a property of kind
// (kArray: one formatted object per row; kSubArray: the flat array of the rows' values;
// kObject: the formatted last row) and returns its result. Returns an empty array (object)
// when the text is empty, when source has no text, or when the depth bound is reached; after a
// failure, what the query left.
Json::Value runSubQuery(const Json::Value& source, PropertyKind kind, const SchemaProperty& prop,
                        const FormatContext& ctx) {
    const bool asObject = kind == PropertyKind::kObject;
    Json::Value result(asObject ? Json::objectValue : Json::arrayValue);
    std::string sql;
    if (!scalarText(source, sql) || sql.empty()) return result;
    if (tSubQueryDepth >= kMaxSubQueryDepth) {
        LOG_AT_AS(kFormatterName, kLogFail,
                  "sub query nesting deeper than %d levels, not run for Schema Property: %s",
                  kMaxSubQueryDepth, prop.name);
        return result;
    }
    SubQueryDepthGuard depth;
    unsigned int objectType = kJsonArrayType;
    sql2json::subQueryObjectType(kind, objectType);
    const int rc = ExecuteSQLViewQueryForJsonData(sql.c_str(), result, objectType, ctx.passThrough,
                                                  ctx.subLevel);
    logSubQueryResult(kind, rc);
    return result;
}

// Sets owner's member [begin, end) to items and the member named after it with
// "@odata.count" to its element count. owner is an object or null.
void setArrayWithCount(Json::Value& owner, const char* begin, const char* end,
                       Json::Value&& items) {
    const Json::UInt count = items.size();
    *owner.demand(begin, end) = std::move(items);
    std::string countName(begin, end);
    countName += kCountSuffix;
    owner[countName] = Json::Value(count);
}

// Formats a plain property whose resource member (null when absent) is member.
void formatPlainProperty(const SchemaProperty& prop, Json::Value* member, Json::Value& resource,
                         const FormatContext& ctx) {
    const Json::Value& value = member ? *member : Json::Value::nullSingleton();
    bool flag = false;
    switch (prop.kind) {
    case PropertyKind::kArray:
        setArrayWithCount(resource, prop.name, prop.end, runSubQuery(value, prop.kind, prop, ctx));
        break;
    case PropertyKind::kSubArray: // an array of plain values carries no count
    case PropertyKind::kObject:
        *resource.demand(prop.name, prop.end) = runSubQuery(value, prop.kind, prop, ctx);
        break;
    case PropertyKind::kBoolean:
        if (toBool(value, flag) && member != nullptr) *member = flag;
        break;
    case PropertyKind::kAdditional:
        resource.removeMember(prop.name, prop.end, nullptr);
        break;
    case PropertyKind::kOther:
        break;
    }
}

// Formats a nested property "P#C" from its nested column (null when absent) into member C
// of the resource's member P, creating P when absent. A P that is neither an object nor
// null cannot take a member: it stays as it is and nothing runs.
void formatNestedProperty(const SchemaProperty& prop, const Json::Value* nestedValue,
                          Json::Value& resource, const FormatContext& ctx) {
    Json::Value* parent = findMutableMember(resource, prop.name, prop.hash);
    if (parent != nullptr && !parent->isObject() && !parent->isNull()) {
        LOG_AT_AS(kFormatterName, kLogFail,
                  "parent of nested Schema Property %s is not an object, property not added",
                  prop.name);
        return;
    }
    const Json::Value& source = nestedValue ? *nestedValue : Json::Value::nullSingleton();
    const char* child = prop.hash + 1;
    Json::Value result;
    bool set = true;
    if (prop.kind == PropertyKind::kArray) {
        Json::Value items = runSubQuery(source, prop.kind, prop, ctx);
        if (parent == nullptr) parent = resource.demand(prop.name, prop.hash);
        setArrayWithCount(*parent, child, prop.end, std::move(items));
        return;
    }
    if (prop.kind == PropertyKind::kObject || prop.kind == PropertyKind::kSubArray) {
        result = runSubQuery(source, prop.kind, prop, ctx);
    } else if (prop.kind == PropertyKind::kBoolean) {
        bool flag = false;
        set = toBool(source, flag);
        result = flag;
    } else {
        result = source;
    }
    // The parent comes into being even when a failed conversion leaves it without C.
    if (parent == nullptr) parent = resource.demand(prop.name, prop.hash);
    if (set) *parent->demand(child, prop.end) = std::move(result);
}

// Formats one schema property of the row, if the view supplies it.
void formatProperty(const SchemaProperty& prop, const Json::Value& nestedColumns,
                    Json::Value& resource, const FormatContext& ctx) {
    const Json::Value* nestedValue = findMember(nestedColumns, prop.name, prop.end);
    Json::Value* member = findMutableMember(resource, prop.name, prop.end);
    if (nestedValue == nullptr && member == nullptr) {
        LOG_AT_AS(kFormatterName, kLogFail, "PropertyType is missing for Schema Property: %s",
                  prop.name);
        return;
    }
    LOG_AT_AS(kFormatterName, kLogTrace, "Key: %s, Type: %s", prop.name, prop.typeText);
    if (prop.hash != nullptr)
        formatNestedProperty(prop, nestedValue, resource, ctx);
    else
        formatPlainProperty(prop, member, resource, ctx);
}

// ---- OEM merge -------------------------------------------------------------------------------

// Asks the platform's OEM data cache for the data of (kind, id). Null when there is none.
Json::Value fetchOemData(const char* kind, std::string id) {
    std::string kindText(kind);
    Json::Value oem;
    // The cache takes char* but never writes through it; it gets our own copies anyway.
    getResourceOemData(&kindText[0], &id[0], nullptr, oem);
    return oem;
}

// Places oem as the resource's "Oem"/"Vexa", keeping the other members of "Oem". An "Oem"
// that is neither an object nor null cannot take it: the resource stays as it is.
void placeOemData(Json::Value& resource, Json::Value&& oem) {
    static constexpr char kOem[] = "Oem";
    Json::Value* oemMember = findMutableMember(resource, kOem, kOem + std::strlen(kOem));
    if (oemMember != nullptr && !oemMember->isObject() && !oemMember->isNull()) {
        LOG_AT_AS(kFormatterName, kLogFail, "Oem member is not an object, OEM data not merged");
        return;
    }
    if (oemMember == nullptr) oemMember = &resource[kOem];
    (*oemMember)["Vexa"] = std::move(oem);
}

// OEM data of a power supply, looked up by its "MemberId" text.
void mergePowerSupplyOem(Json::Value& resource) {
    const Json::Value* memberId = findMember(resource, "MemberId");
    if (memberId == nullptr || !memberId->isString()) {
        LOG_AT_AS(kFormatterName, kLogTrace, "MemberId missing or not a string, no OEM data");
        return;
    }
    Json::Value oem = fetchOemData("PowerSupply", memberId->asString());
    if (!oem.isNull()) placeOemData(resource, std::move(oem));
}

// OEM data of an assembly, looked up by its "Name" text before the first '#'.
void mergeAssemblyOem(Json::Value& resource) {
    const Json::Value* name = findMember(resource, "Name");
    const char* begin = nullptr;
    const char* end = nullptr;
    if (name == nullptr || !stringRange(*name, begin, end)) return;
    const char* hash =
        static_cast<const char*>(std::memchr(begin, '#', static_cast<size_t>(end - begin)));
    if (hash == nullptr) {
        LOG_AT_AS(kFormatterName, kLogTrace, "couldn't find # in Name key");
        return;
    }
    Json::Value oem = fetchOemData("Assembly", std::string(begin, hash));
    if (oem.isNull()) return;
    if (!oem.isObject()) {
        LOG_AT_AS(kFormatterName, kLogFail, "OEM data of Assembly is not an object, not merged");
        return;
    }
    oem[kOdataType] = kVexaOemType;
    placeOemData(resource, std::move(oem));
}

// Merges the platform's OEM data into the two resource types that carry it.
void mergeOemData(Json::Value& resource, const std::string& odataType) {
    if (odataType == kPowerSupplyType)
        mergePowerSupplyOem(resource);
    else if (odataType == kAssemblyDataType)
        mergeAssemblyOem(resource);
}

// Body of GetRedfishSchemaFormatedData, between its entry and exit messages.
void formatResource(const Json::Value& nestedColumns, Json::Value& resource,
                    unsigned int passThrough, int expandLevel) {
    if (expandLevel < 1) LOG_AT_AS(kFormatterName, kLogFail, "expand level is leq = 0");
    const Json::Value* typeMember = findMember(resource, kOdataType);
    if (typeMember == nullptr) {
        LOG_AT_AS(kFormatterName, kLogTrace,
                  "Odata.type is missing. Expected Type as Membercollection");
        return;
    }
    std::string odataType;
    const Json::Value* properties = nullptr;
    if (scalarText(*typeMember, odataType) && !odataType.empty())
        properties = findMember(propertyTypeMap(), odataType);
    if (properties == nullptr || !properties->isObject()) {
        LOG_AT_AS(kFormatterName, kLogFail, "OdataType value is empty");
        return;
    }
    // Members iterate in byte order with a name before every longer name starting with it,
    // so a plain property P is final before its nested properties "P#..." go into it.
    const FormatContext ctx{passThrough, expandLevel > INT_MIN ? expandLevel - 1 : INT_MIN};
    for (auto it = properties->begin(); it != properties->end(); ++it)
        formatProperty(describeProperty(it), nestedColumns, resource, ctx);
    mergeOemData(resource, odataType);
}

} // namespace

// Runs query on db. Columns whose name holds '#' go to nestedColumns, the others to resource:
// type 1 appends one object per row to each (both must be null or arrays, else -1 and nothing
// runs); type 2 sets each to a flat array of all non-null values; any other type sets each to
// the object of the last row. Outputs are untouched when no row was read. Returns 0, 1 for a
// null db, -1 for a null query, the prepare's code, or the step's code when a row cannot be
// read (the rows read until then stay in the outputs).
int GetDataFromViewQuery(sqlite3* db, const char* query, Json::Value& nestedColumns,
                         Json::Value& resource, unsigned int objectType) {
    try {
        return getDataFromViewQuery(db, query, nestedColumns, resource, objectType);
    } catch (...) {
        logCaughtException(kReaderName);
        return -1;
    }
}

// Runs query on the main connection as an object (0), array (1) or sub array (2) and formats
// each object or array row as a Redfish resource. Returns 0, -1 for a null query, an unknown
// type or an array output that is not an array, else the row reader's code; out is then left
// as the row reader left it.
int ExecuteSQLViewQueryForJsonData(const char* query, Json::Value& out, unsigned int objectType,
                                   unsigned int passThrough, int expandLevel) {
    try {
        return executeViewQuery(query, out, objectType, passThrough, expandLevel);
    } catch (...) {
        logCaughtException(kEntryName);
        LOG_EXIT_AS(kEntryName);
        return -1;
    }
}

// The central entry point with expand depth 1 (expand level 2) and pass-through value 0.
int GetJsonDataFromSQLViewUsingQuery(const char* query, Json::Value& out, unsigned int objectType) {
    LOG_ENTER();
    const int rc = ExecuteSQLViewQueryForJsonData(query, out, objectType, 0, 2);
    LOG_EXIT();
    return rc;
}

// The central entry point with an expand depth of 1 to 6 (expand level depth + 1). Returns -2
// without running anything for any other depth.
int GetJsonDataFromSQLViewUsingQuery(const char* query, Json::Value& out, unsigned int objectType,
                                     unsigned int passThrough, int expandDepth) {
    LOG_ENTER();
    int rc = -2;
    if (expandDepth >= 1 && expandDepth <= 6)
        rc = ExecuteSQLViewQueryForJsonData(query, out, objectType, passThrough, expandDepth + 1);
    LOG_EXIT();
    return rc;
}

// Formats one row in place by the property types of its "@odata.type": sub-queries for array,
// sub array and object properties ("@odata.count" beside arrays of objects), booleans, nested
// properties into their parents, "additional" properties removed, then OEM data. Failures are
// logged only; resource stays as far as formatting got.
void GetRedfishSchemaFormatedData(Json::Value& nestedColumns, Json::Value& resource,
                                  unsigned int passThrough, int expandLevel) {
    LOG_ENTER();
    try {
        formatResource(nestedColumns, resource, passThrough, expandLevel);
    } catch (...) {
        logCaughtException(kFormatterName);
    }
    LOG_EXIT();
}
