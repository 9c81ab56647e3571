// Entity tags (entity_tag.hpp): exports strongEntityTag and noneMatchHits.
#include "serve/entity_tag.hpp"

#include <cinttypes>
#include <cstdint>
#include <cstdio>

namespace {

constexpr std::uint64_t kFnvOffsetBasis = 0xcbf29ce484222325ULL;
constexpr std::uint64_t kFnvPrime = 0x100000001b3ULL;
const char kWeakPrefix[] = "W/";

} // namespace

std::string strongEntityTag(const std::string& body) {
    std::uint64_t hash = kFnvOffsetBasis;
    for (char c : body) {
        hash ^= static_cast<unsigned char>(c);
        hash *= kFnvPrime;
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016" PRIx64, hash);
    return std::string("\"") + hex + "\"";
}

bool noneMatchHits(const std::string& field, const std::string& tag) {
    std::size_t at = 0;
    while (at < field.size()) {
        const char c = field[at];
        if (c == ' ' || c == '\t' || c == ',') {
            ++at;
            continue;
        }
        if (c == '*') return true;
        if (field.compare(at, sizeof kWeakPrefix - 1, kWeakPrefix) == 0)
            at += sizeof kWeakPrefix - 1;
        const std::size_t close =
            at < field.size() && field[at] == '"' ? field.find('"', at + 1) : std::string::npos;
        if (close == std::string::npos) return false;
        if (field.compare(at, close + 1 - at, tag) == 0) return true;
        at = close + 1;
    }
    return false;
}
