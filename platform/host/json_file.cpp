#include "host_paths.hpp"

#include <fstream>
#include <sstream>

#include <json/reader.h>
#include <json/value.h>

bool readHostJsonFile(const char* path, Json::Value& out) noexcept {
    try {
        std::ifstream file(path);
        if (!file) return false;
        Json::CharReaderBuilder builder;
        std::string errors;
        return Json::parseFromStream(builder, file, &out, &errors);
    } catch (...) {
        return false;
    }
}
