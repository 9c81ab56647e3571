// JSON as the tool writes it, set up once:
//
//   resourceText   indented, with a final newline: what get prints and serve answers
//   compactText    one line, for messages and reports
// Both write numbers with 15 significant digits.
#ifndef SQL2JSON_TOOLS_COMMON_JSON_TEXT_HPP
#define SQL2JSON_TOOLS_COMMON_JSON_TEXT_HPP

#include <string>

#include <json/value.h>

// value as indented JSON text with a final newline.
std::string resourceText(const Json::Value& value);

// value as one line of JSON text, UTF-8 kept as it is.
std::string compactText(const Json::Value& value);

#endif
