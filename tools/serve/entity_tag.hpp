// Entity tags of serve's answers (RFC 9110, section 8.8.3):
//
//   strongEntityTag   the tag of a body: the 64-bit FNV-1a hash of its bytes, 16 lower-case
//                     hexadecimal digits in quotes
//   noneMatchHits     whether an If-None-Match field matches a tag
#ifndef SQL2JSON_TOOLS_SERVE_ENTITY_TAG_HPP
#define SQL2JSON_TOOLS_SERVE_ENTITY_TAG_HPP

#include <string>

// The strong entity tag of body, quotes included.
std::string strongEntityTag(const std::string& body);

// True when field (the If-None-Match field values, joined by ',') is "*" or lists an entity tag
// that weakly matches tag: the same quoted text, either one possibly marked weak ("W/"). A
// malformed element ends the list without a match.
bool noneMatchHits(const std::string& field, const std::string& tag);

#endif
