// JSON pointers (json_pointer.hpp): exports pointerToken, tokenKey, findByPointer and
// pointerShape.
#include "common/json_pointer.hpp"

#include <algorithm>
#include <cstdlib>

namespace {

// The element of array at token; nullptr unless token is an index within it.
const Json::Value* elementAt(const Json::Value& array, const std::string& token) {
    if (token.empty() || token.size() > 9 || (token.size() > 1 && token[0] == '0')) return nullptr;
    if (!std::all_of(token.begin(), token.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return nullptr;
    const auto index = static_cast<Json::ArrayIndex>(std::strtoul(token.c_str(), nullptr, 10));
    return index < array.size() ? &array[index] : nullptr;
}

} // namespace

std::string pointerToken(const std::string& key) {
    std::string token;
    for (char c : key)
        token += c == '~' ? "~0" : c == '/' ? "~1" : std::string(1, c);
    return token;
}

std::string tokenKey(const std::string& token) {
    std::string key;
    for (std::size_t i = 0; i < token.size(); ++i) {
        const bool escape =
            token[i] == '~' && i + 1 < token.size() && (token[i + 1] == '0' || token[i + 1] == '1');
        key += escape ? (token[++i] == '1' ? '/' : '~') : token[i];
    }
    return key;
}

const Json::Value* findByPointer(const Json::Value& root, const std::string& pointer) {
    const Json::Value* node = &root;
    for (std::size_t at = 0; node != nullptr && at < pointer.size();) {
        if (pointer[at] != '/') return nullptr;
        const std::size_t end = std::min(pointer.find('/', at + 1), pointer.size());
        const std::string key = tokenKey(pointer.substr(at + 1, end - at - 1));
        if (node->isArray()) {
            node = elementAt(*node, key);
        } else {
            node = node->isObject() ? node->find(key.data(), key.data() + key.size()) : nullptr;
        }
        at = end;
    }
    return node;
}

std::string pointerShape(const std::string& pointer) {
    std::string shape;
    std::string::size_type begin = 0;
    while (begin < pointer.size()) {
        std::string::size_type end = pointer.find('/', begin + 1);
        if (end == std::string::npos) end = pointer.size();
        const bool index =
            end > begin + 1 && std::all_of(pointer.begin() + begin + 1, pointer.begin() + end,
                                           [](char c) { return c >= '0' && c <= '9'; });
        shape += index ? "/N" : pointer.substr(begin, end - begin);
        begin = end;
    }
    return shape;
}
