// Host OEM data cache: looks resources up in a JSON file (format in vexa_oem_data.h).
#include "vexa_oem_data.h"

#include "host_paths.hpp"

#define HOST_EXPORT __attribute__((visibility("default")))

HOST_EXPORT int getResourceOemData(char* kind, char* id, char* /*reserved*/, Json::Value& out) {
    if (kind == nullptr || id == nullptr) return -1;
    try {
        Json::Value all;
        if (!readHostJsonFile(SQL2JSON_PATH_PREFIX HOST_OEM_DATA_FILE, all) || !all.isObject())
            return -1;
        const Json::Value* byId = all.find(kind, kind + std::char_traits<char>::length(kind));
        if (byId == nullptr || !byId->isObject()) return -1;
        const Json::Value* data = byId->find(id, id + std::char_traits<char>::length(id));
        if (data == nullptr || data->isNull()) return -1;
        out = *data;
        return 0;
    } catch (...) {
        return -1;
    }
}

HOST_EXPORT int oemDatabaseClose() { return 0; } // nothing is kept between lookups
