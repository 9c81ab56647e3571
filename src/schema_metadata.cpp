// Schema property-type map: for each Redfish resource type the library formats, the schema
// type text of every property, read once at load from the schema metadata database.
// Exports: rf_metadata, GetMetadata, GetPropertyTypefromMetadataDB; and, for the other
// subsystems, loadPropertyTypeMap and propertyTypeMap.
#include "internal.hpp"

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

const char* const rf_metadata[] = {
    "#Assembly.v1_5_1.Assembly",
    "#Assembly.v1_5_1.AssemblyData",
    "#Fabric.v1_3_2.Fabric",
    "#FabricCollection.FabricCollection",
    "#PCIeDevice.v1_14_0.PCIeDevice",
    "#PCIeFunction.v1_6_0.PCIeFunction",
    "#Port.v1_12_0.Port",
    "#PortCollection.PortCollection",
    "#Switch.v1_9_3.Switch",
    "#SwitchCollection.SwitchCollection",
    "#Power.v1_7_3.Voltage",
    "#Power.v1_7_3.PowerControl",
    "#Power.v1_7_3.Power",
    "#Power.v1_7_3.PowerSupply",
    "#Redundancy.v1_4_2.Redundancy",
    "#BootOption.v1_0_6.BootOption",
    "#BootOptionCollection.BootOptionCollection",
    "#Thermal.v1_7_3.Thermal",
    "#Thermal.v1_7_3.Temperature",
    "#Thermal.v1_7_3.Fan",
    nullptr,
};

namespace {

constexpr const char* kPropertyNameColumn = "PropertyName";
constexpr const char* kPropertyTypeColumn = "PropertyType";
constexpr size_t kMetadataQuerySize = 1024;

// The map itself: built by loadPropertyTypeMap at load, destroyed by static destruction.
Json::Value& mapStorage() {
    static Json::Value map;
    return map;
}

// Which of the two texts a result column feeds. A column feeds a text when its name is a
// leading part of that text's column name (so "Property" feeds both, "PropertyNames" none).
struct MetadataColumn {
    bool feedsName;
    bool feedsType;
};

// Classifies the columns of stmt; read after the first step, when the names are final.
std::vector<MetadataColumn> classifyMetadataColumns(sqlite3_stmt* stmt) {
    const int count = sqlite3_column_count(stmt);
    std::vector<MetadataColumn> columns(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const char* name = sqlite3_column_name(stmt, i);
        const size_t n = name ? std::strlen(name) : 0;
        columns[static_cast<size_t>(i)] = {name && std::strncmp(kPropertyNameColumn, name, n) == 0,
                                           name && std::strncmp(kPropertyTypeColumn, name, n) == 0};
    }
    return columns;
}

// Builds the property name and type of the current row from its text columns.
void readMetadataRow(sqlite3_stmt* stmt, const std::vector<MetadataColumn>& columns,
                     std::string& name, std::string& type) {
    name.clear();
    type.clear();
    for (size_t i = 0; i < columns.size(); ++i) {
        const int col = static_cast<int>(i);
        if (sqlite3_column_type(stmt, col) != SQLITE_TEXT) continue;
        const unsigned char* raw = sqlite3_column_text(stmt, col);
        if (raw == nullptr) continue;
        const char* text = reinterpret_cast<const char*>(raw);
        if (columns[i].feedsName) name += text;
        if (columns[i].feedsType) type += text;
    }
}

// Body of GetMetadata (which adds the exception guard).
int getMetadata(sqlite3* db, const char* query, Json::Value& out) {
    LOG_ENTER_AS("GetMetadata");
    if (db == nullptr) {
        LOG_AT_AS("GetMetadata", kLogFail, "Database handle is NULL");
        return 1;
    }
    if (query == nullptr) {
        LOG_AT_AS("GetMetadata", kLogFail, "Input sql metadata query is NULL");
        LOG_EXIT_AS("GetMetadata");
        return -1;
    }
    if (!out.isObject() && !out.isNull()) {
        LOG_AT_AS("GetMetadata", kLogFail, "output of sql metadata query is not an object");
        LOG_EXIT_AS("GetMetadata");
        return -1;
    }
    LOG_AT_AS("GetMetadata", kLogTrace, "Query: %s", query);
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db, query, -1, &raw, nullptr);
    StmtPtr stmt(raw);
    if (rc != SQLITE_OK) {
        LOG_AT_AS("GetMetadata", kLogFail,
                  "failed to execute sql metadata query. Sqlstmt status: %d, errormsg: %s", rc,
                  sqlite3_errmsg(db));
        LOG_EXIT_AS("GetMetadata");
        return rc;
    }
    std::vector<MetadataColumn> columns;
    std::string name;
    std::string type;
    long long rows = 0;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        if (rows == 0) columns = classifyMetadataColumns(stmt.get());
        readMetadataRow(stmt.get(), columns, name, type);
        ++rows;
        out[name] = Json::Value(type);
    }
    if (rc != SQLITE_DONE) {
        // Rows read before the failure stay in out.
        LOG_AT_AS("GetMetadata", kLogFail,
                  "failed to read sql metadata query rows. Sqlstmt status: %d, errormsg: %s", rc,
                  sqlite3_errmsg(db));
        LOG_EXIT_AS("GetMetadata");
        return rc;
    }
    LOG_AT_AS("GetMetadata", kLogTrace, "Number of rows returned: %lld", rows);
    LOG_EXIT_AS("GetMetadata");
    return 0;
}

// Reads the property types of every type in rf_metadata from metadatadbhandle, logging under
// logName. Returns the map: null when no type could be read, else an object with one member
// per readable type (its property -> type object).
Json::Value readPropertyTypes(const char* logName) {
    Json::Value result;
    LOG_ENTER_AS(logName);
    for (const char* const* typeName = rf_metadata; *typeName != nullptr; ++typeName) {
        Json::Value properties(Json::objectValue);
        char query[kMetadataQuerySize] = {};
        std::snprintf(query, sizeof query, "select * from [%s]", *typeName);
        const int rc = GetMetadata(metadatadbhandle, query, properties);
        if (rc != 0) {
            LOG_AT_AS(logName, kLogFail, "failed query: %s, status: %d", query, rc);
            continue;
        }
        result[*typeName] = std::move(properties);
    }
    LOG_EXIT_AS(logName);
    return result;
}

// The map as built at load.
Json::Value RfMetadata() { return readPropertyTypes("RfMetadata"); }

} // namespace

// Replaces the map's content with a fresh read of the metadata database. Never throws: a
// failure mid-way leaves the map null.
void loadPropertyTypeMap() {
    try {
        mapStorage() = RfMetadata();
    } catch (...) {
        mapStorage() = Json::Value();
        logCaughtException("RfMetadata");
    }
}

// The map: null, or "@odata.type" -> {property name -> property type}. Read-only after load.
const Json::Value& propertyTypeMap() { return mapStorage(); }

// Runs query on db and sets one member of out per row: the row's property name to its type.
// out must be null or an object (else -1 and nothing runs). Returns 0 (also for no rows), 1
// for a null db, -1 for a null query, the prepare's code, or the step's code when reading the
// rows fails (the rows read until then stay in out).
int GetMetadata(sqlite3* db, const char* query, Json::Value& out) {
    try {
        return getMetadata(db, query, out);
    } catch (...) {
        logCaughtException("GetMetadata");
        return -1;
    }
}

// Reads every listed type's property types, as at load, and discards the result.
void GetPropertyTypefromMetadataDB() {
    try {
        Json::Value discarded = readPropertyTypes("GetPropertyTypefromMetadataDB");
    } catch (...) {
        logCaughtException("GetPropertyTypefromMetadataDB");
    }
}
