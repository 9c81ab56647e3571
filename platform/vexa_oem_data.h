// Platform OEM data cache.
//
// Host implementation: reads the JSON file <prefix>/var/lib/sql2json-host/oem_data.json on
// every lookup. The file is an object from resource kind to an object from identifier to
// the OEM object, for example
//   { "PowerSupply": { "0": { "FirmwareVersion": "1.2" } },
//     "Assembly":    { "DIMM.Socket.A1": { "PartNumber": "X" } } }
// A missing file, kind or identifier leaves out untouched (null: no OEM data).
#ifndef VEXA_OEM_DATA_H
#define VEXA_OEM_DATA_H

#include <json/value.h>

// Fills out with the OEM object of the resource (kind, id). reserved is always null.
// Never writes through kind or id. Returns 0 when found, non-zero otherwise.
int getResourceOemData(char* kind, char* id, char* reserved, Json::Value& out);

// Releases whatever the cache holds. Called once when the converter is unloaded.
int oemDatabaseClose();

#endif // VEXA_OEM_DATA_H
