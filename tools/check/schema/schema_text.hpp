// What the parts of check's schema validation share: the names they put into the schemas, and
// small text helpers.
//
// The schema files are parsed into one document, the universe (schema_files.hpp), and rewritten
// as they are loaded so that valijson meets local references and this tool's keyword checks
// (keyword_checks.hpp). Those checks report each failure as one of valijson's errors whose
// text begins with kMark; anyOf branches are wrapped with marks so that valijson's flat list of
// errors can be cut back into branches (branch_choice.hpp).
#ifndef SQL2JSON_TOOLS_CHECK_SCHEMA_SCHEMA_TEXT_HPP
#define SQL2JSON_TOOLS_CHECK_SCHEMA_SCHEMA_TEXT_HPP

#include <string>
#include <vector>

#include <json/value.h>

namespace schema {

constexpr char kSchemaBase[] = "http://redfish.dmtf.org/schemas/v1/";
constexpr char kFilesRef[] = "#/definitions/"; // the universe's references begin so
constexpr char kLinkRef[] = "#/definitions/odata-v4.json/definitions/idRef"; // {"@odata.id"}
constexpr char kBranchKey[] = "x-branch";       // a mark between anyOf branches
constexpr char kUndefinedKey[] = "x-undefined"; // fails for each property not defined
constexpr char kBeginTag[] = "begin";           // before an anyOf's first branch
constexpr char kEndTag[] = "end:";              // after a branch: end:<what the branch is>
constexpr char kLastTag[] = "last:";            // after the last branch: last:<what it is>
constexpr char kMark = '\x1f';                  // begins the errors the keyword checks report
constexpr std::size_t kMaxRegexText = 1000;     // std::regex recurses per character: longer text
                                                // would overflow the stack, so is not matched

// True when text begins with prefix.
inline bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// ASCII character classes, whatever the locale.
inline bool isDigit(char c) { return c >= '0' && c <= '9'; }
inline bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// items joined by separator, each between quote characters.
std::string join(const std::vector<std::string>& items, const char* separator, const char* quote);

// The member key of node, or nullptr when node is no object or lacks it.
const Json::Value* member(const Json::Value& node, const std::string& key);

// Splits "#Power.v1_7_3.PowerSupply" into file "Power.v1_7_3.json" and definition
// "PowerSupply", "#PortCollection.PortCollection" into "PortCollection.json" and
// "PortCollection". False for text of any other form.
bool splitOdataType(const std::string& odataType, std::string& file, std::string& definition);

} // namespace schema

#endif
