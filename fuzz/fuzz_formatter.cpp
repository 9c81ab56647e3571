// Fuzzes the view-to-JSON engine and the SQL functions. The input is an object type digit, an
// expand depth digit and SQL, which may call the functions with any arguments, run on one
// connection that serves as both the live-object and the metadata database: its
// tables named after rf_metadata types ("[#Power.v1_7_3.Power](PropertyName, PropertyType)")
// make the property-type map, and its view v0 (with '#' columns, sub-query texts naming other
// views, cycles) is queried through every entry point.
#include "fuzz.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    DbPtr db = fuzzDb(std::string(reinterpret_cast<const char*>(data) + 2, size - 2));
    const unsigned int type = data[0] % 4u; // 3: an unknown type
    const int depth = data[1] - '0';
    dmdbhandle = metadatadbhandle = db.get();
    loadPropertyTypeMap();
    gSteps = 0;
    Json::Value out, nested, row, filled(Json::arrayValue);
    const int rc = ExecuteSQLViewQueryForJsonData("select * from v0", out, type, 7, depth + 1);
    if (type == 3 && (rc != -1 || !out.isNull())) std::abort();
    GetJsonDataFromSQLViewUsingQuery("select * from v0", filled, type, 0, depth);
    if (GetDataFromViewQuery(db.get(), "select * from v0", nested, row, 0) == 0)
        GetRedfishSchemaFormatedData(nested, row, 0, depth);
    dmdbhandle = metadatadbhandle = nullptr;
    return 0;
}
