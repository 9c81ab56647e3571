// Reading a request's query parameters (query_options.hpp): exports parseQueryOptions and
// nextPageTarget.
#include "serve/query_options.hpp"

#include <algorithm>
#include <set>

namespace {

constexpr std::uint64_t kMaxCount = 0xffffffffU; // above any array's length; sums fit 64 bits
constexpr int kBadRequest = 400;
constexpr int kNotImplemented = 501;

// The 400 error carrying message.
RedfishError badRequest(RegistryMessage&& message) {
    return redfishError(kBadRequest, std::move(message));
}

// The value of hex digit c, or -1.
int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// text with each "%XX" escape replaced by its byte; a '%' not followed by two hex digits stays.
std::string percentDecoded(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int high = text[i] == '%' && i + 2 < text.size() ? hexValue(text[i + 1]) : -1;
        const int low = high >= 0 ? hexValue(text[i + 2]) : -1;
        if (low >= 0) {
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The pieces of text between the separator sep, empty ones included ("" gives one piece).
std::vector<std::string> splitOn(const std::string& text, char sep) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (std::size_t end = text.find(sep); end != std::string::npos; end = text.find(sep, start)) {
        pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    pieces.push_back(text.substr(start));
    return pieces;
}

// True when text is one or more decimal digits; value gets their number, at most kMaxCount.
bool readDigits(const std::string& text, std::uint64_t& value) {
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = std::min(kMaxCount, value * 10 + static_cast<std::uint64_t>(c - '0'));
    }
    return !text.empty();
}

// $top or $skip: a count from 0. Fills count, or returns the error (status 0 when none).
RedfishError readCount(const std::string& name, const std::string& value, std::uint64_t& count) {
    if (readDigits(value, count)) return {};
    std::uint64_t magnitude = 0;
    if (value.size() > 1 && value[0] == '-' && readDigits(value.substr(1), magnitude))
        return badRequest(queryParameterOutOfRange(value, name, "0 or more"));
    return badRequest(queryParameterValueFormatError(value, name));
}

// The N of "($levels=N)", the text after $expand's first character: digits gets its text and
// levels its number. False when options is not of that form.
bool readLevels(const std::string& options, std::string& digits, std::uint64_t& levels) {
    static const std::string kOpen = "($levels=";
    if (options.size() <= kOpen.size() || options.compare(0, kOpen.size(), kOpen) != 0 ||
        options.back() != ')') {
        return false;
    }
    digits = options.substr(kOpen.size(), options.size() - kOpen.size() - 1);
    return readDigits(digits, levels);
}

// $expand: '*', '.' or '~', optionally followed by "($levels=N)" with N from 1 to
// kMaxExpandLevels. Fills expand, or returns the error.
RedfishError readExpand(const std::string& value, ExpandOption& expand) {
    const std::string options = value.empty() ? "" : value.substr(1);
    std::string digits;
    std::uint64_t levels = 1;
    const bool scope = !value.empty() && (value[0] == '*' || value[0] == '.' || value[0] == '~');
    if (!scope || (!options.empty() && !readLevels(options, digits, levels)))
        return badRequest(queryParameterValueFormatError(value, "$expand"));
    if (levels < 1 || levels > kMaxExpandLevels)
        return badRequest(queryParameterOutOfRange(digits, "$levels",
                                                   "1 to " + std::to_string(kMaxExpandLevels)));
    expand.outsideLinks = value[0] != '~';
    expand.underLinks = value[0] != '.';
    expand.levels = static_cast<int>(levels);
    expand.text = value;
    return {};
}

// True when c may appear in a property name of a $select path.
bool isNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '@' || c == '.';
}

// Adds the path of names to the tree at root: its last name selects the whole value.
void addSelectPath(const std::vector<std::string>& names, SelectNode& root) {
    SelectNode* node = &root;
    for (const std::string& name : names) {
        std::size_t i = 0;
        while (i < node->children.size() && node->children[i].name != name)
            ++i;
        if (i == node->children.size()) node->children.push_back(SelectNode{name, false, {}});
        node = &node->children[i];
    }
    node->whole = true;
}

// $select: property paths separated by ',', names within a path by '/'. Fills select, or
// returns the error.
RedfishError readSelect(const std::string& value, SelectNode& select) {
    for (const std::string& path : splitOn(value, ',')) {
        const std::vector<std::string> names = splitOn(path, '/');
        for (const std::string& name : names) {
            if (name.empty() || !std::all_of(name.begin(), name.end(), isNameChar))
                return badRequest(queryParameterValueFormatError(value, "$select"));
        }
        addSelectPath(names, select);
    }
    return {};
}

// Reads one supported parameter into options. Returns the error, or status 0.
RedfishError readOption(const std::string& name, const std::string& value, QueryOptions& options) {
    if (name == "$expand") return readExpand(value, options.expand);
    if (name == "$select") {
        options.hasSelect = true;
        return readSelect(value, options.select);
    }
    const bool top = name == "$top";
    (top ? options.hasTop : options.hasSkip) = true;
    return readCount(name, value, top ? options.top : options.skip);
}

} // namespace

RedfishError parseQueryOptions(const std::string& rawQuery, QueryOptions& options) {
    static const std::set<std::string> kSupported = {"$expand", "$select", "$top", "$skip"};
    RedfishError unsupported;
    unsupported.status = kNotImplemented;
    RedfishError malformed;
    std::set<std::string> seen;
    for (const std::string& pair : splitOn(rawQuery, '&')) {
        const std::string::size_type equals = pair.find('=');
        const std::string name = percentDecoded(pair.substr(0, equals));
        const std::string value =
            equals == std::string::npos ? "" : percentDecoded(pair.substr(equals + 1));
        if (name.empty() || name[0] != '$') continue; // not a query option: ignored
        if (kSupported.count(name) == 0) {
            unsupported.messages.push_back(queryParameterUnsupported(name));
        } else if (malformed.status == 0) {
            // A parameter given twice is as unreadable as a malformed one.
            malformed = seen.insert(name).second
                            ? readOption(name, value, options)
                            : badRequest(queryParameterValueFormatError(value, name));
        }
    }
    return unsupported.messages.empty() ? malformed : unsupported;
}

RedfishError notForThisResource(const std::string& why) {
    return redfishError(kBadRequest, queryNotSupportedOnResource(), why);
}

std::string nextPageTarget(const std::string& path, const std::string& rawQuery,
                           std::uint64_t skip) {
    std::string target = path + "?";
    for (const std::string& pair : splitOn(rawQuery, '&')) {
        const std::string name = percentDecoded(pair.substr(0, pair.find('=')));
        if (!pair.empty() && name != "$skip") target += pair + "&";
    }
    return target + "$skip=" + std::to_string(skip);
}
