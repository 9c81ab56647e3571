// Host heater manager: properties from a JSON state file (format in vexa_heater_mgr.h).
#include "vexa_heater_mgr.h"

#include "host_paths.hpp"

#include <json/value.h>

namespace {

bool toPropertyValue(const Json::Value& json, DataAbstraction::HeaterMgr::PropertyValue& value) {
    switch (json.type()) {
    case Json::booleanValue:
        value = json.asBool();
        return true;
    case Json::stringValue:
        value = json.asString();
        return true;
    case Json::intValue:
    case Json::uintValue:
        if (json.isUInt() && json.asUInt() <= 255U) {
            value = static_cast<uint8_t>(json.asUInt());
            return true;
        }
        value = json.asDouble();
        return true;
    case Json::realValue:
        value = json.asDouble();
        return true;
    default:
        return false;
    }
}

} // namespace

namespace DataAbstraction {
namespace HeaterMgr {

__attribute__((visibility("default"))) int32_t get_property(const std::string& service,
                                                            const std::string& path,
                                                            const std::string& property,
                                                            PropertyValue& value) {
    try {
        Json::Value state;
        if (!readHostJsonFile(SQL2JSON_PATH_PREFIX HOST_HEATER_STATE_FILE, state)) return -1;
        const Json::Value& found = state[service][path][property];
        return toPropertyValue(found, value) ? 0 : -1;
    } catch (...) {
        return -1;
    }
}

} // namespace HeaterMgr
} // namespace DataAbstraction
