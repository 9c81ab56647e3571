// Data files of the host platform layer, under the build's path prefix.
#ifndef SQL2JSON_HOST_PATHS_HPP
#define SQL2JSON_HOST_PATHS_HPP

#ifndef SQL2JSON_PATH_PREFIX
#define SQL2JSON_PATH_PREFIX ""
#endif

#define HOST_DATA_DIR SQL2JSON_PATH_PREFIX "/var/lib/sql2json-host"

namespace Json {
class Value;
}

// Parses the JSON file at path into out. Returns false when it is missing or malformed.
bool readHostJsonFile(const char* path, Json::Value& out) noexcept;

#endif // SQL2JSON_HOST_PATHS_HPP
