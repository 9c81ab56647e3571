// This tool's own keyword checks (keyword_checks.hpp): exports renameCheckedKeywords,
// addChecks and readCheckReport.
#include "check/schema/keyword_checks.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <regex>
#include <set>
#include <vector>

#include <valijson/constraint_builder.hpp>
#include <valijson/constraints/basic_constraint.hpp>
#include <valijson/validation_results.hpp>

#include "check/schema/schema_text.hpp"

namespace schema {
namespace {

using valijson::adapters::Adapter;

const std::size_t kMaxListedValues = 8; // a longer enum is not listed in its problem

bool isHex(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// True when text is an RFC 3339 date-time such as "2024-02-29T23:59:59.5+01:00". As in
// jsonschema's check (rfc3339-validator), year 0 and leap seconds are refused.
bool isDateTime(const std::string& text) {
    static const std::regex kDateTime(
        R"((\d{4})-(0[1-9]|1[0-2])-(\d\d)[Tt]([01]\d|2[0-3]):[0-5]\d:[0-5]\d(\.\d+)?)"
        R"(([Zz]|[+-]([01]\d|2[0-3]):[0-5]\d))");
    std::smatch parts;
    if (text.size() > kMaxRegexText || !std::regex_match(text, parts, kDateTime)) return false;
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const long year = std::strtol(parts.str(1).c_str(), nullptr, 10);
    const long month = std::strtol(parts.str(2).c_str(), nullptr, 10);
    const long day = std::strtol(parts.str(3).c_str(), nullptr, 10);
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    return year != 0 && day >= 1 && day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

// True when text[from, to) holds only RFC 3986 unreserved characters, sub-delims,
// percent-encoded octets and the characters in extra.
bool isUriPart(const std::string& text, std::size_t from, std::size_t to, const char* extra) {
    static const char kAllowed[] = "-._~!$&'()*+,;=";
    for (std::size_t i = from; i < to; ++i) {
        const char c = text[i];
        if (c == '%') {
            if (i + 2 >= to || !isHex(text[i + 1]) || !isHex(text[i + 2])) return false;
            i += 2;
        } else if (!isAlpha(c) && !isDigit(c) &&
                   (c == '\0' || (!std::strchr(kAllowed, c) && !std::strchr(extra, c)))) {
            return false;
        }
    }
    return true;
}

// True when text[from, to) is an RFC 3986 authority: [userinfo "@"] host [":" port].
bool isAuthority(const std::string& text, std::size_t from, std::size_t to) {
    const std::size_t at = text.find('@', from);
    const std::size_t host = at < to ? at + 1 : from;
    if (at < to && !isUriPart(text, from, at, ":")) return false;
    std::size_t port = std::min(text.find(':', host), to);
    if (host < to && text[host] == '[') { // an IP literal
        const std::size_t close = text.find(']', host);
        if (close >= to || !isUriPart(text, host + 1, close, ":")) return false;
        port = close + 1;
        if (port < to && text[port] != ':') return false;
    } else if (!isUriPart(text, host, port, "")) {
        return false;
    }
    return port >= to || std::all_of(text.begin() + port + 1, text.begin() + to, isDigit);
}

// True when text is an RFC 3986 URI-reference: a URI or a relative reference.
bool isUriReference(const std::string& text) {
    const std::size_t hash = std::min(text.find('#'), text.size());
    const std::size_t query = std::min(text.find('?'), hash);
    if (hash < text.size() && !isUriPart(text, hash + 1, text.size(), ":@/?")) return false;
    if (query < hash && !isUriPart(text, query + 1, hash, ":@/?")) return false;
    std::size_t at = 0;
    const std::size_t colon = text.find(':');
    if (colon < std::min(text.find('/'), query)) { // a scheme: a letter, then [A-Za-z0-9+.-]
        if (colon == 0 || !isAlpha(text[0])) return false;
        for (std::size_t i = 1; i < colon; ++i)
            if (!isAlpha(text[i]) && !isDigit(text[i]) && !std::strchr("+-.", text[i]))
                return false;
        at = colon + 1;
    }
    if (text.compare(at, 2, "//") == 0) {
        const std::size_t end = std::min(text.find('/', at + 2), query);
        if (!isAuthority(text, at + 2, end)) return false;
        at = end;
    }
    return isUriPart(text, at, query, ":@/");
}

// What a check tests, one per keyword it takes over.
enum class Kind {
    Type,
    Enum,
    Pattern,
    Format,
    Required,
    Minimum,
    Maximum,
    ExclusiveMinimum,
    ExclusiveMaximum,
    Undefined,
    Branch
};

// The keyword each kind reports, in Kind's order.
const char* const kReportedKeywords[] = {
    "type",    "enum",    "pattern",          "format",           "required",
    "minimum", "maximum", "exclusiveMinimum", "exclusiveMaximum", "additionalProperties",
    kBranchKey};

// A check of this file inside a valijson schema: one keyword of the schema files (kind, with
// the keyword's values in args), or a mark between anyOf branches for problem reporting.
class RedfishCheck : public valijson::constraints::PolyConstraint {
  public:
    // Throws std::regex_error for a Pattern that std::regex cannot compile.
    RedfishCheck(Kind kind, std::vector<std::string> args) : kind_(kind), args_(std::move(args)) {
        if (args_.empty()) args_.emplace_back();
        if (kind_ == Kind::Pattern) regex_ = std::make_shared<const std::regex>(args_[0]);
        bound_ = std::strtod(args_[0].c_str(), nullptr);
    }

    // valijson's call: true when target passes. A failure, and a branch mark always, is added
    // to results when valijson collects them (results not null); a missing required property
    // is added once per property.
    bool validate(const Adapter& target, const std::vector<std::string>& context,
                  valijson::ValidationResults* results) const override {
        if (kind_ == Kind::Required) return validateRequired(target, context, results);
        const bool passed = passes(target);
        if (results != nullptr && (!passed || kind_ == Kind::Branch))
            results->pushError(context, report(expected()));
        return passed;
    }

  private:
    // valijson's copy of this check, into memory of sizeOf() bytes.
    valijson::constraints::Constraint* cloneInto(void* memory) const override {
        return new (memory) RedfishCheck(*this);
    }
    std::size_t sizeOf() const override { return sizeof(RedfishCheck); }

    // True when target has the JSON type typeName; like JSON Schema, "integer" takes 2.0.
    static bool hasType(const Adapter& target, const std::string& typeName) {
        double number = 0;
        if (typeName == "integer")
            return target.isNumber() && target.getDouble(number) && std::isfinite(number) &&
                   std::floor(number) == number;
        if (typeName == "number") return target.isNumber();
        if (typeName == "string") return target.isString();
        if (typeName == "boolean") return target.isBool();
        if (typeName == "object") return target.isObject();
        if (typeName == "array") return target.isArray();
        return typeName == "null" && target.isNull();
    }

    // True when target, a number, lies within this check's bound; any other value passes.
    bool withinBound(const Adapter& target) const {
        double number = 0;
        if (!target.isNumber() || !target.getNumber(number)) return true;
        switch (kind_) {
        case Kind::Minimum:
            return number >= bound_;
        case Kind::Maximum:
            return number <= bound_;
        case Kind::ExclusiveMinimum:
            return number > bound_;
        default:
            return number < bound_;
        }
    }

    // True when target passes this check; a branch mark passes anything.
    bool passes(const Adapter& target) const {
        std::string text;
        const bool isText = target.isString() && target.getString(text);
        switch (kind_) {
        case Kind::Type:
            return std::any_of(args_.begin(), args_.end(), [&target](const std::string& name) {
                return hasType(target, name);
            });
        case Kind::Enum:
            return isText && std::find(args_.begin(), args_.end(), text) != args_.end();
        case Kind::Pattern:
            return !isText || text.size() > kMaxRegexText || std::regex_search(text, *regex_);
        case Kind::Format:
            if (isText && args_[0] == "date-time") return isDateTime(text);
            return !isText || args_[0] != "uri-reference" || isUriReference(text);
        case Kind::Minimum:
        case Kind::Maximum:
        case Kind::ExclusiveMinimum:
        case Kind::ExclusiveMaximum:
            return withinBound(target);
        case Kind::Undefined:
            return false;
        case Kind::Required:
        case Kind::Branch:
            break;
        }
        return true;
    }

    // Reports each property of args_ that target, an object, lacks. Anything else passes.
    bool validateRequired(const Adapter& target, const std::vector<std::string>& context,
                          valijson::ValidationResults* results) const {
        if (!target.isObject()) return true;
        std::set<std::string> present;
        target.applyToObject([&present](const std::string& name, const Adapter&) {
            present.insert(name);
            return true;
        });
        bool passed = true;
        for (const std::string& name : args_) {
            if (present.count(name) != 0) continue;
            passed = false;
            if (results == nullptr) break;
            results->pushError(context, report(name));
        }
        return passed;
    }

    // What a failure of this check expected, as its report says it.
    std::string expected() const {
        if (kind_ == Kind::Type) return join(args_, " or ", "");
        if (kind_ == Kind::Enum)
            return args_.size() <= kMaxListedValues ? join(args_, ", ", "\"") : "";
        return args_[0];
    }

    // The error text of a failure or of a mark: kMark, keyword, '\n', detail.
    std::string report(const std::string& detail) const {
        return kMark + std::string(kReportedKeywords[static_cast<int>(kind_)]) + '\n' + detail;
    }

    Kind kind_;
    std::vector<std::string> args_;           // never empty
    std::shared_ptr<const std::regex> regex_; // Pattern's, compiled once
    double bound_ = 0;                        // the bounds' number
};

// The keywords of the schema files that RedfishCheck takes over and their new names.
struct CheckKeyword {
    const char* keyword;
    const char* renamed;
    Kind kind;
};
const CheckKeyword kCheckKeywords[] = {
    {"type", "x-type", Kind::Type},
    {"enum", "x-enum", Kind::Enum},
    {"pattern", "x-pattern", Kind::Pattern},
    {"format", "x-format", Kind::Format},
    {"required", "x-required", Kind::Required},
    {"minimum", "x-minimum", Kind::Minimum},
    {"maximum", "x-maximum", Kind::Maximum},
    {"exclusiveMinimum", "x-exclusiveMinimum", Kind::ExclusiveMinimum},
    {"exclusiveMaximum", "x-exclusiveMaximum", Kind::ExclusiveMaximum},
    {"", kUndefinedKey, Kind::Undefined}, // put in by the rewrite (schema_files.cpp)
    {"", kBranchKey, Kind::Branch},       // put in by the rewrite too
};

// The number text of value as a bound: 17 significant digits, so that it reads back exactly.
std::string numberText(double number) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", number);
    return text;
}

// Makes the RedfishCheck of one keyword from the keyword's value: a string, strings or a
// number.
class CheckBuilder : public valijson::ConstraintBuilder {
  public:
    explicit CheckBuilder(Kind kind) : kind_(kind) {}

    // valijson's call for a keyword of this file met in a schema. Throws for a pattern that
    // std::regex cannot compile; renameCheckedKeywords lets only values of the right kind in.
    valijson::constraints::Constraint* make(const Adapter& value) const override {
        std::vector<std::string> args;
        double number = 0;
        if (value.isNumber() && value.getNumber(number)) {
            args.push_back(numberText(number));
        } else if (!value.isArray()) {
            args.push_back(value.asString());
        }
        value.applyToArray([&args](const Adapter& item) {
            args.push_back(item.asString());
            return true;
        });
        return new RedfishCheck(kind_, std::move(args));
    }

  private:
    Kind kind_;
};

// True when value is one that RedfishCheck takes for kind: a number for the bounds, strings
// for type, enum and required, a string for type, enum, pattern and format.
bool isCheckValue(Kind kind, const Json::Value& value) {
    const bool bound = kind == Kind::Minimum || kind == Kind::Maximum ||
                       kind == Kind::ExclusiveMinimum || kind == Kind::ExclusiveMaximum;
    if (bound) return value.isNumeric() && !value.isBool();
    const bool takesList = kind == Kind::Type || kind == Kind::Enum || kind == Kind::Required;
    const bool strings =
        value.isArray() && std::all_of(value.begin(), value.end(),
                                       [](const Json::Value& item) { return item.isString(); });
    if (kind == Kind::Required) return strings;
    return value.isString() || (takesList && strings && !value.empty());
}

} // namespace

void renameCheckedKeywords(Json::Value& node) {
    for (const CheckKeyword& check : kCheckKeywords) {
        const Json::Value* value = *check.keyword ? member(node, check.keyword) : nullptr;
        Json::Value moved;
        if (value != nullptr && isCheckValue(check.kind, *value) &&
            node.removeMember(check.keyword, &moved))
            node[check.renamed] = std::move(moved);
    }
}

void addChecks(valijson::SchemaParser& parser) {
    for (const CheckKeyword& check : kCheckKeywords) {
        auto builder = std::make_unique<CheckBuilder>(check.kind);
        parser.addConstraintBuilder(check.renamed, builder.get());
        static_cast<void>(builder.release()); // the parser owns it from here on
    }
}

bool readCheckReport(const std::string& text, std::string& keyword, std::string& detail) {
    if (text.empty() || text[0] != kMark) return false;
    const std::size_t newline = std::min(text.find('\n'), text.size());
    keyword = text.substr(1, newline - 1);
    detail = newline < text.size() ? text.substr(newline + 1) : "";
    return true;
}

} // namespace schema
