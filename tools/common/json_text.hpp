// JSON as the tool writes it, set up once:
//
//   resourceText   indented, with a final newline: what get prints and serve answers
//   compactText    one line, for messages and reports
//   parseJsonText  the value a JSON text holds
// Both writers write numbers with 15 significant digits.
#ifndef SQL2JSON_TOOLS_COMMON_JSON_TEXT_HPP
#define SQL2JSON_TOOLS_COMMON_JSON_TEXT_HPP

#include <string>

#include <json/value.h>

// value as indented JSON text with a final newline.
std::string resourceText(const Json::Value& value);

// value as one line of JSON text, UTF-8 kept as it is.
std::string compactText(const Json::Value& value);

// Parses text, one JSON value, into out. False, out unspecified, when it is not one.
bool parseJsonText(const std::string& text, Json::Value& out);

#endif
