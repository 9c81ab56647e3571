// Schema property-type map (placeholder until the engine lands).
#include "internal.hpp"

const char* const rf_metadata[] = {nullptr};

namespace {
Json::Value& mapStorage() {
    static Json::Value map;
    return map;
}
}  // namespace

void loadPropertyTypeMap() {}
const Json::Value& propertyTypeMap() { return mapStorage(); }
