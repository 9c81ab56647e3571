// Data files of the host platform layer: each path as a production build opens it (a build may
// put a prefix before every one). Programs that stage these files include this header too.
#ifndef SQL2JSON_HOST_PATHS_HPP
#define SQL2JSON_HOST_PATHS_HPP

#ifndef SQL2JSON_PATH_PREFIX
#define SQL2JSON_PATH_PREFIX ""
#endif

#define HOST_OEM_DATA_FILE "/var/lib/sql2json-host/oem_data.json"
#define HOST_HEATER_STATE_FILE "/var/lib/sql2json-host/heater_state.json"

namespace Json {
class Value;
}

// Parses the JSON file at path into out. Returns false when it is missing or malformed.
bool readHostJsonFile(const char* path, Json::Value& out) noexcept;

#endif // SQL2JSON_HOST_PATHS_HPP
