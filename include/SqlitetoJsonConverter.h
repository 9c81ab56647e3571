// libsql2json-converter: Redfish resources from SQLite views.
//
// The library opens its databases itself when it is loaded and closes them when it is
// unloaded; callers never open, close or pass in a connection. Every connection it opens is
// read-only. All functions report failures through their result and the platform log; none
// throws.
#ifndef SQLITE_TO_JSON_CONVERTER_H
#define SQLITE_TO_JSON_CONVERTER_H

#include <cstdint>
#include <string>

#include <json/value.h>
#include <sqlite3.h>

#if defined(SQL2JSON_BUILDING_LIBRARY)
#define SQL2JSON_EXPORT __attribute__((visibility("default")))
#else
#define SQL2JSON_EXPORT
#endif

// ---- Connection lifecycle ------------------------------------------------------------------

// Main connection: the live-object database, with "openapidb" and "hmcdb" attached and the
// custom SQL functions registered.
extern SQL2JSON_EXPORT sqlite3* dmdbhandle;
// Schema metadata database; read once at load to build the property-type map.
extern SQL2JSON_EXPORT sqlite3* metadatadbhandle;
// Separate connection on the HMC database, for other code in the process.
extern SQL2JSON_EXPORT sqlite3* hmcdbHandle;
// Reserved; never opened by the library.
extern SQL2JSON_EXPORT sqlite3* tdbhandle;

// Run by the library itself at load (open) and unload (close); callers do not call them.
SQL2JSON_EXPORT void OpenDatabaseConnection();
SQL2JSON_EXPORT void OpenMetadataDatabaseConnection();
SQL2JSON_EXPORT void CloseDatabaseConnection();
SQL2JSON_EXPORT void CloseMetadataDatabaseConnection();

// ---- Schema property-type map ----------------------------------------------------------------

// The "@odata.type" names whose property types are loaded, then a null pointer.
extern SQL2JSON_EXPORT const char* const rf_metadata[];

// Runs query on db and sets one member of out per row: property name -> property type.
// Returns 0 on success, 1 for a null db, -1 for a null query, else the SQLite error code.
SQL2JSON_EXPORT int GetMetadata(sqlite3* db, const char* query, Json::Value& out);

// Reads every listed type's properties from the metadata database and discards them.
SQL2JSON_EXPORT void GetPropertyTypefromMetadataDB();

// ---- View-to-JSON engine ---------------------------------------------------------------------

// JSON object types.
enum : unsigned int {
    kJsonObjectType = 0,  // one object: the (last) row
    kJsonArrayType = 1,   // an array with one object per row
    kJsonSubArrayType = 2 // one flat array of all values
};

// Runs query on db; plain columns go to resource, columns whose name holds '#' to
// nestedColumns. Returns 0, 1 for a null db, -1 for a null query, else an SQLite code.
SQL2JSON_EXPORT int GetDataFromViewQuery(sqlite3* db, const char* query, Json::Value& nestedColumns,
                                         Json::Value& resource, unsigned int objectType);

// Runs query on the main connection and formats object and array results as Redfish
// resources. Returns 0, -1 (null query, bad type or output shape) or an SQLite code.
SQL2JSON_EXPORT int ExecuteSQLViewQueryForJsonData(const char* query, Json::Value& out,
                                                   unsigned int objectType,
                                                   unsigned int passThrough, int expandLevel);

// Same with expand depth 1 and pass-through value 0.
SQL2JSON_EXPORT int GetJsonDataFromSQLViewUsingQuery(const char* query, Json::Value& out,
                                                     unsigned int objectType);

// Same with an expand depth of 1 to 6; returns -2 for any other depth.
SQL2JSON_EXPORT int GetJsonDataFromSQLViewUsingQuery(const char* query, Json::Value& out,
                                                     unsigned int objectType,
                                                     unsigned int passThrough, int expandDepth);

// Formats one row in place by the property types of its "@odata.type", running its
// sub-queries: "array" gives an array of formatted objects with "<name>@odata.count" beside it,
// "subarray" a flat array of plain values (no count), "object" one formatted object. Failures
// are logged only.
SQL2JSON_EXPORT void GetRedfishSchemaFormatedData(Json::Value& nestedColumns, Json::Value& resource,
                                                  unsigned int passThrough, int expandLevel);

// ---- URI resolution --------------------------------------------------------------------------

// Appends "<CTE> select root from <view> where [@odata.id]=?" for the UriInfo row that
// matches uri. Returns 0 when the lookup ran, else an SQLite code.
SQL2JSON_EXPORT int GetViewNameFromopenApiDB(const char* uri, std::string& out);

// Runs query with firstValue; runs its text result with secondValue; puts that result in
// out. Returns the deciding SQLite status (100 when a row was read).
SQL2JSON_EXPORT int GetCustomCTEData(std::string& out, std::string& query, char* firstValue,
                                     char* secondValue, char* unused);

// Zero-based byte index of the first "from" (any case) in text, or -1.
SQL2JSON_EXPORT int GetPositionofFromCluase(const char* text);

// Runs query (on the telemetry database when its text holds "JSON") with value bound to
// parameter 1 and puts column 0 of the first row in out. Returns the SQLite status.
SQL2JSON_EXPORT int GetRequestedSchemaData(const char* query, std::string& out, const char* value);

// ---- SQL extension functions -----------------------------------------------------------------

// SQL "LastSystemInventoryTime()": the last inventory time as a CIM datetime, or "UnKnown".
SQL2JSON_EXPORT void GetLastSystemInventoryTime(sqlite3_context* ctx, int argc,
                                                sqlite3_value** argv);
// SQL "convertStringToBytes(text)": the characters in pairs joined by ':'.
SQL2JSON_EXPORT void ConvertStringToByteFormat(sqlite3_context* ctx, int argc,
                                               sqlite3_value** argv);
// SQL "Convert_ReleaseDate(text)": "March 15, 2021" -> "2021-03-15T00:00:00Z".
SQL2JSON_EXPORT void SoftInv_Convert_ReleaseDate(sqlite3_context* ctx, int argc,
                                                 sqlite3_value** argv);
// SQL "GetHeaterMgrValues(selector)": a heater-manager property as an integer.
SQL2JSON_EXPORT void GetHeaterMgrValues(sqlite3_context* ctx, int argc, sqlite3_value** argv);

// Turns a trailing "+hhmm"/"-hhmm" into "+hh:mm"/"-hh:mm" in place. The buffer needs one
// spare zero byte after the terminator.
SQL2JSON_EXPORT void GetUTCFormatFromDatetime(char* datetime);

// ---- Job and platform utilities --------------------------------------------------------------

// Logs every non-NULL value of column in table. Returns an SQLite status.
SQL2JSON_EXPORT int dumpUDBTableKey(const char* table, const char* column);

// Waits up to seconds for jobId in the job-control table. Returns 1 present, 2 not.
SQL2JSON_EXPORT int CheckJobIdPresenceInUDB(const char* jobId, long seconds);

// Asks for a virtual AC power cycle from a child process one second later.
// Returns 0 once handed over, 255 when it could not be.
SQL2JSON_EXPORT uint8_t request_vAC(int mode);

#endif // SQLITE_TO_JSON_CONVERTER_H
