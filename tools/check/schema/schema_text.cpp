// Shared text helpers of the schema validation (schema_text.hpp): exports join, member and
// splitOdataType.
#include "check/schema/schema_text.hpp"

#include <regex>

namespace schema {

// items joined by separator, each between quote characters.
std::string join(const std::vector<std::string>& items, const char* separator, const char* quote) {
    std::string text;
    for (const std::string& item : items)
        text += (text.empty() ? "" : separator) + (quote + item + quote);
    return text;
}

// The member key of node, or nullptr when node is no object or lacks it.
const Json::Value* member(const Json::Value& node, const std::string& key) {
    return node.isObject() ? node.find(key.data(), key.data() + key.size()) : nullptr;
}

// Splits "#Power.v1_7_3.PowerSupply" into file "Power.v1_7_3.json" and definition
// "PowerSupply", "#PortCollection.PortCollection" into "PortCollection.json" and
// "PortCollection". False for text of any other form.
bool splitOdataType(const std::string& odataType, std::string& file, std::string& definition) {
    static const std::regex kOdataType(R"(#?(\w+(?:\.v\d+_\d+_\d+)?)\.(\w+))");
    std::smatch parts;
    if (odataType.size() > kMaxRegexText || !std::regex_match(odataType, parts, kOdataType))
        return false;
    file = parts.str(1) + ".json";
    definition = parts.str(2);
    return true;
}

} // namespace schema
