// JSON pointers (RFC 6901) into jsoncpp values: "" is the value itself, "/Fans/0/Name" the
// member "Name" of the first element of the member "Fans".
#ifndef SQL2JSON_TOOLS_COMMON_JSON_POINTER_HPP
#define SQL2JSON_TOOLS_COMMON_JSON_POINTER_HPP

#include <string>

#include <json/value.h>

// key as one token of a pointer: '~' as "~0", '/' as "~1".
std::string pointerToken(const std::string& key);

// The key a token stands for: "~1" as '/', "~0" as '~' (any other '~' stays as it is).
std::string tokenKey(const std::string& token);

// The value of root at pointer, or nullptr when there is none. An array index is a decimal
// number without leading zeros.
const Json::Value* findByPointer(const Json::Value& root, const std::string& pointer);

// pointer with each token made only of digits (an array index) as "N", so that the pointers of
// the same property in different elements compare alike: "/Fans/2/Status" gives "/Fans/N/Status".
std::string pointerShape(const std::string& pointer);

#endif
