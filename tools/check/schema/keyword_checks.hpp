// The schema keywords that check validates itself, inside valijson's schemas: each reports what
// it expected, as one error whose text begins with kMark (schema_text.hpp):
//
//   "type", "enum", "pattern", "format" (date-time, uri-reference), "required", "minimum",
//   "maximum", "exclusiveMinimum", "exclusiveMaximum"   renamed "x-<keyword>" by the rewrite
//   "x-undefined"   put in for "additionalProperties": false; fails for each property
//   "x-branch"      a mark between anyOf branches; passes, and is always reported
//
// so that problems never depend on the wording of valijson's own messages.
#ifndef SQL2JSON_TOOLS_CHECK_SCHEMA_KEYWORD_CHECKS_HPP
#define SQL2JSON_TOOLS_CHECK_SCHEMA_KEYWORD_CHECKS_HPP

#include <string>

#include <json/value.h>
#include <valijson/schema_parser.hpp>

namespace schema {

// Renames, in the schema object node, each keyword that a check of this file takes over and
// whose value the check can take (a string, or strings, or a number for the bounds). A
// property named "type" and the like stay as they are.
void renameCheckedKeywords(Json::Value& node);

// Gives parser the builders of this file's checks.
void addChecks(valijson::SchemaParser& parser);

// A check's report, read back from a valijson error text: false for an error of valijson's
// own (a summary of the errors below it). keyword gets the schema keyword ("type",
// "required", "additionalProperties", "x-branch", ...), detail what was expected.
bool readCheckReport(const std::string& text, std::string& keyword, std::string& detail);

} // namespace schema

#endif
