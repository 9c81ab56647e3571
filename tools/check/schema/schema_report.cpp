// Problems from faults (schema_report.hpp): exports problemsOf.
#include "check/schema/schema_report.hpp"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <sstream>

#include "check/schema/schema_text.hpp"
#include "common/json_pointer.hpp"
#include "common/json_text.hpp"

namespace schema {
namespace {

const std::size_t kMaxValueText = 80; // longer strings are cut short in messages

// True when pointer is other or one of its parents.
bool isAtOrAbove(const std::string& pointer, const std::string& other) {
    return startsWith(other, pointer) &&
           (other.size() == pointer.size() || other[pointer.size()] == '/');
}

// The rank of keyword among the faults at one pointer: the lowest is reported.
std::size_t rankOf(const std::string& keyword) {
    static const char* const kOrder[] = {"type",     "enum",
                                         "format",   "pattern",
                                         "minimum",  "exclusiveMinimum",
                                         "maximum",  "exclusiveMaximum",
                                         "required", "additionalProperties",
                                         "anyOf",    "schema"};
    const std::size_t count = sizeof(kOrder) / sizeof(kOrder[0]);
    for (std::size_t i = 0; i < count; ++i)
        if (keyword == kOrder[i]) return i;
    return count; // a summary
}

// value for a message: its JSON text (a long string cut short), or "an object", "an array".
std::string valueText(const Json::Value& value) {
    if (value.isObject() || value.isArray()) return value.isObject() ? "an object" : "an array";
    if (!value.isString() || value.asString().size() <= kMaxValueText) return compactText(value);
    const std::string text = value.asString();
    std::size_t cut = kMaxValueText;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) // inside a UTF-8
        --cut;                                                                // character
    return compactText(Json::Value(text.substr(0, cut) + "..."));
}

// "found" and the type and value of value (nullptr: a missing one) for a type problem.
std::string foundText(const Json::Value* value) {
    if (value == nullptr) return "found nothing";
    if (value->isNull()) return "found null";
    if (value->isObject() || value->isArray())
        return std::string("found ") + (value->isObject() ? "object" : "array");
    const char* type = value->isBool()       ? "boolean"
                       : value->isIntegral() ? "integer"
                       : value->isNumeric()  ? "number"
                                             : "string";
    return std::string("found ") + type + " " + valueText(*value);
}

// The message of the faults at one pointer, the first of which is reported.
std::string messageOf(const Faults& here, const Json::Value& resource) {
    const Fault& fault = here.front();
    const Json::Value* value = findByPointer(resource, fault.pointer);
    const std::string found = value != nullptr ? valueText(*value) : "nothing";
    const std::string& keyword = fault.keyword;
    std::ostringstream limit; // valijson writes "100.000000"
    limit << std::strtod(fault.detail.c_str(), nullptr);
    if (keyword == "type") return "expected " + fault.detail + ", " + foundText(value);
    if (keyword == "enum")
        return found + " is not one of the allowed values" +
               (fault.detail.empty() ? "" : ": " + fault.detail);
    if (keyword == "format") return found + " is not a valid " + fault.detail;
    if (keyword == "pattern") return found + " does not match the pattern " + fault.detail;
    if (keyword == "minimum") return found + " is less than the minimum " + limit.str();
    if (keyword == "exclusiveMinimum") return found + " is not greater than " + limit.str();
    if (keyword == "maximum") return found + " is greater than the maximum " + limit.str();
    if (keyword == "exclusiveMaximum") return found + " is not less than " + limit.str();
    if (keyword == "additionalProperties")
        return "property \"" + tokenKey(fault.pointer.substr(fault.pointer.rfind('/') + 1)) +
               "\" is not defined by the schema";
    if (keyword == "anyOf") return found + " matches none of the schemas allowed here";
    if (keyword != "required") return fault.detail;
    std::vector<std::string> names;
    for (const Fault& other : here) {
        if (other.keyword == "required" &&
            std::find(names.begin(), names.end(), other.detail) == names.end())
            names.push_back(other.detail);
    }
    return std::string("missing required ") + (names.size() == 1 ? "property " : "properties ") +
           join(names, ", ", "\"");
}

} // namespace

// One problem per pointer from faults: summaries dropped where a fault lies at or below them,
// then at each pointer the fault of the lowest rank, all missing properties in one message.
std::vector<SchemaProblem> problemsOf(const Faults& faults, const Json::Value& resource) {
    std::map<std::string, Faults> byPointer;
    for (const Fault& fault : faults) {
        const bool covered =
            std::any_of(faults.begin(), faults.end(), [&fault](const Fault& other) {
                return !other.keyword.empty() && isAtOrAbove(fault.pointer, other.pointer);
            });
        if (!fault.keyword.empty() || !covered) byPointer[fault.pointer].push_back(fault);
    }
    std::vector<SchemaProblem> problems;
    for (auto& [pointer, here] : byPointer) {
        std::stable_sort(here.begin(), here.end(), [](const Fault& a, const Fault& b) {
            return rankOf(a.keyword) < rankOf(b.keyword);
        });
        const std::string keyword = here.front().keyword.empty() ? "schema" : here.front().keyword;
        problems.push_back({pointer, keyword, messageOf(here, resource)});
    }
    return problems;
}

} // namespace schema
