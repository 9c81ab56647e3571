// libsql2json-converter: what the converter and the programs around it must agree on.
//
// The schema metadata database's property-type texts and what the engine makes of each, the
// bound on nested sub-queries, the shape of the statement a URI resolves to, and the fixed
// paths of the files the converter opens. The converter is built from these definitions; a
// program that reads the same databases (to check or to explain what the converter does)
// includes them instead of restating them.
#ifndef SQLITE_TO_JSON_DEFINITIONS_H
#define SQLITE_TO_JSON_DEFINITIONS_H

#include <cstring>

#include "SqlitetoJsonConverter.h"

// ---- Fixed files -----------------------------------------------------------------------------

// Each path as the converter opens it in a production build (a build may put a prefix before
// every one of them).
#define SQL2JSON_LIVE_OBJECT_DB_FILE "/var/run/unifieddatabase/DMLiveObjectDatabase.db"
#define SQL2JSON_OPENAPI_DB_FILE "/usr/share/redfish/rf_resource_info.db"
#define SQL2JSON_HMC_DB_FILE "/var/run/unifieddatabase/HMC.db"
#define SQL2JSON_METADATA_DB_FILE "/etc/unifieddatabase/RedfishSchemaMetaData.db"
#define SQL2JSON_TELEMETRY_DB_FILE "/var/run/telemetryservice/telemetry_timeseries_database.db"
#define SQL2JSON_INVENTORY_TIME_FILE "/flash/data0/oem_ps/configdbsynctime"

// ---- The statement a URI resolves to -----------------------------------------------------------

// GetViewNameFromopenApiDB appends "<CTE>" SQL2JSON_SELECT_ROOT "<view>" SQL2JSON_WHERE_ODATA_ID;
// GetRequestedSchemaData runs a statement on the telemetry database when its text holds
// SQL2JSON_TELEMETRY_MARKER.
#define SQL2JSON_SELECT_ROOT " select root from "
#define SQL2JSON_WHERE_ODATA_ID " where [@odata.id]=?"
#define SQL2JSON_TELEMETRY_MARKER "JSON"

namespace sql2json {

// ---- Property types ----------------------------------------------------------------------------

// What the engine does with a property, by its type text in the metadata database.
enum class PropertyKind {
    kArray,      // "array...": a sub-query, one formatted object per row, with "@odata.count"
    kSubArray,   // "subarray...": a sub-query into one flat array of plain values
    kObject,     // "object...": a sub-query, its last row as one formatted object
    kBoolean,    // "boolean...": "true"/"false" or an integer as a JSON boolean
    kAdditional, // "additional...": a plain column removed from the resource
    kOther       // anything else: the value as the row reader made it
};

// The kind of a property whose type text is typeText: a text counts by its first characters
// (any text starting with "array" is an array). "subarray" begins no other word, nor does any
// other word begin it.
inline PropertyKind propertyKind(const char* typeText) noexcept {
    if (typeText == nullptr) return PropertyKind::kOther;
    if (std::strncmp(typeText, "array", 5) == 0) return PropertyKind::kArray;
    if (std::strncmp(typeText, "subarray", 8) == 0) return PropertyKind::kSubArray;
    if (std::strncmp(typeText, "object", 6) == 0) return PropertyKind::kObject;
    if (std::strncmp(typeText, "boolean", 7) == 0) return PropertyKind::kBoolean;
    if (std::strncmp(typeText, "additional", 10) == 0) return PropertyKind::kAdditional;
    return PropertyKind::kOther;
}

// The JSON object type the engine runs the sub-query of a property of kind with. False for a
// kind that holds no sub-query.
inline bool subQueryObjectType(PropertyKind kind, unsigned int& objectType) noexcept {
    switch (kind) {
    case PropertyKind::kArray:
        objectType = kJsonArrayType;
        return true;
    case PropertyKind::kSubArray:
        objectType = kJsonSubArrayType;
        return true;
    case PropertyKind::kObject:
        objectType = kJsonObjectType;
        return true;
    default:
        return false;
    }
}

// Sub-queries nest at most this many levels below a top-level query's rows; deeper ones are
// not run (logged), so views whose sub-queries lead back to themselves end.
constexpr int kMaxSubQueryDepth = 32;

} // namespace sql2json

#endif // SQLITE_TO_JSON_DEFINITIONS_H
