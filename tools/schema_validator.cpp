// sql2json check's schema validation (schema_validator.hpp): exports SchemaValidator with
// prepare, validate, uncheckedFiles and schemaSeconds.
//
// valijson validates. The schema files are parsed into one document, the universe
//   {"definitions": {"Port.v1_12_0.json": {...}, ...}, "type": "object", "properties": {...}}
// and rewritten as they are loaded, so that valijson meets local references only:
//   "$ref"    "#/definitions/X" and "http://redfish.dmtf.org/schemas/v1/F.json#/definitions/X"
//             become "#/definitions/F.json/definitions/X". valijson keys what it builds by
//             JSON pointer alone: two files' "#/definitions/Links" would be one schema.
//   "type", "enum", "pattern", "format"
//             become this file's checks (RedfishCheck), which report what they expected and,
//             as JSON Schema says, apply formats and patterns to strings only.
//   "additionalProperties": false
//             becomes {"x-undefined": ""}, a check failing for each property that the object
//             does not define (valijson's own reports the first one only).
//   "anyOf"   each branch is wrapped as {"allOf": [branch], "x-branch": "end:<tag>"}, the
//             first behind a "begin" mark, so that valijson's flat list of errors can be cut
//             back into branches and a failed anyOf reported through its closest branch.
// The types of one prepare() are the "properties" of the universe's root and are built into
// one valijson schema, so that what they share is built once; a resource is validated as
// {"<odata type>": resource}. Only the files that the types' references reach are read. A
// reference to an entity or a collection (anyOf[bare link, ...]) is cut down to the bare link,
// except under an "autoExpand" property, where resources embed the whole entity.
#ifndef VALIJSON_USE_EXCEPTIONS
#define VALIJSON_USE_EXCEPTIONS 1 // without it valijson aborts the process on a bad schema
#endif

#include "schema_validator.hpp"

#include "json_pointer.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <utility>

#include <json/reader.h>
#include <json/writer.h>
#include <valijson/adapters/jsoncpp_adapter.hpp>
#include <valijson/constraint_builder.hpp>
#include <valijson/schema.hpp>
#include <valijson/schema_parser.hpp>
#include <valijson/validation_results.hpp>
#include <valijson/validator.hpp>

namespace {

using valijson::adapters::Adapter;

const char kSchemaBase[] = "http://redfish.dmtf.org/schemas/v1/";
const char kFilesRef[] = "#/definitions/"; // the universe's references begin so
const char kLinkRef[] = "#/definitions/odata-v4.json/definitions/idRef"; // {"@odata.id": ...}
const char kBranchKey[] = "x-branch";
const char kUndefinedKey[] = "x-undefined";
const char kBeginTag[] = "begin";
const char kEndTag[] = "end:";
const char kAnyOfSummary[] = "Failed to validate against any schemas allowed by anyOf constraint.";
const char kMark = '\x1f';              // begins the errors that RedfishCheck reports
const std::size_t kMaxListedValues = 8; // a longer enum is not listed in its problem
const std::size_t kMaxValueText = 80;   // longer strings are cut short in messages
const std::size_t kMaxRegexText = 1000; // std::regex recurses per character: longer text
                                        // would overflow the stack, so is not matched

// True when text begins with prefix.
bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// ASCII character classes, whatever the locale.
bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool isHex(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// items joined by separator, each between quote characters.
std::string join(const std::vector<std::string>& items, const char* separator, const char* quote) {
    std::string text;
    for (const std::string& item : items)
        text += (text.empty() ? "" : separator) + (quote + item + quote);
    return text;
}

// The member key of node, or nullptr when node is no object or lacks it.
const Json::Value* member(const Json::Value& node, const std::string& key) {
    return node.isObject() ? node.find(key.data(), key.data() + key.size()) : nullptr;
}

// Splits "#Power.v1_7_3.PowerSupply" into file "Power.v1_7_3.json" and definition
// "PowerSupply", "#PortCollection.PortCollection" into "PortCollection.json" and
// "PortCollection". False for text of any other form.
bool splitOdataType(const std::string& odataType, std::string& file, std::string& definition) {
    static const std::regex kOdataType(R"(#?(\w+(?:\.v\d+_\d+_\d+)?)\.(\w+))");
    std::smatch parts;
    if (odataType.size() > kMaxRegexText || !std::regex_match(odataType, parts, kOdataType))
        return false;
    file = parts.str(1) + ".json";
    definition = parts.str(2);
    return true;
}

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

// A check of this file inside a valijson schema: one keyword of the schema files (kind, with
// the keyword's values in args), or a mark between anyOf branches for problem reporting.
class RedfishCheck : public valijson::constraints::PolyConstraint {
  public:
    enum class Kind { Type, Enum, Pattern, Format, Undefined, Branch };

    // Throws std::regex_error for a Pattern that std::regex cannot compile.
    RedfishCheck(Kind kind, std::vector<std::string> args) : kind_(kind), args_(std::move(args)) {
        if (args_.empty()) args_.emplace_back();
        if (kind_ == Kind::Pattern) regex_ = std::make_shared<const std::regex>(args_[0]);
    }

    // valijson's call: true when target passes. A failure, and a branch mark always, is added
    // to results when valijson collects them (results not null).
    bool validate(const Adapter& target, const std::vector<std::string>& context,
                  valijson::ValidationResults* results) const override {
        const bool passed = passes(target);
        if (results != nullptr && (!passed || kind_ == Kind::Branch))
            results->pushError(context, report());
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
        case Kind::Undefined:
            return false;
        case Kind::Branch:
            break;
        }
        return true;
    }

    // The error text of a failure (kMark, keyword, '\n', what was expected) or of a mark.
    std::string report() const {
        static const char* const kKeywords[] = {
            "type", "enum", "pattern", "format", "additionalProperties", kBranchKey};
        std::string expected = args_[0];
        if (kind_ == Kind::Type) expected = join(args_, " or ", "");
        if (kind_ == Kind::Enum)
            expected = args_.size() <= kMaxListedValues ? join(args_, ", ", "\"") : "";
        return kMark + std::string(kKeywords[static_cast<int>(kind_)]) + '\n' + expected;
    }

    Kind kind_;
    std::vector<std::string> args_;           // never empty
    std::shared_ptr<const std::regex> regex_; // Pattern's, compiled once
};

// Makes the RedfishCheck of one keyword from the keyword's value: a string or strings.
class CheckBuilder : public valijson::ConstraintBuilder {
  public:
    explicit CheckBuilder(RedfishCheck::Kind kind) : kind_(kind) {}

    // valijson's call for a keyword of this file met in a schema. Throws for a value that is
    // no string (isCheckValue keeps those out) or a pattern that std::regex cannot compile.
    valijson::constraints::Constraint* make(const Adapter& value) const override {
        std::vector<std::string> args;
        if (!value.isArray()) args.push_back(value.asString());
        value.applyToArray([&args](const Adapter& item) {
            args.push_back(item.asString());
            return true;
        });
        return new RedfishCheck(kind_, std::move(args));
    }

  private:
    RedfishCheck::Kind kind_;
};

// The keywords of the schema files that RedfishCheck takes over and their new names.
struct CheckKeyword {
    const char* keyword;
    const char* renamed;
    RedfishCheck::Kind kind;
};
const CheckKeyword kCheckKeywords[] = {
    {"type", "x-type", RedfishCheck::Kind::Type},
    {"enum", "x-enum", RedfishCheck::Kind::Enum},
    {"pattern", "x-pattern", RedfishCheck::Kind::Pattern},
    {"format", "x-format", RedfishCheck::Kind::Format},
    {"", kUndefinedKey, RedfishCheck::Kind::Undefined}, // put in by rewriteSchema
    {"", kBranchKey, RedfishCheck::Kind::Branch},       // put in by wrapBranches
};

// True when value is one that RedfishCheck takes for kind: a string or, for type and enum,
// strings. Anything else (say, a property named "type") stays as it is.
bool isCheckValue(RedfishCheck::Kind kind, const Json::Value& value) {
    const bool takesList = kind == RedfishCheck::Kind::Type || kind == RedfishCheck::Kind::Enum;
    return value.isString() ||
           (takesList && value.isArray() && !value.empty() &&
            std::all_of(value.begin(), value.end(),
                        [](const Json::Value& item) { return item.isString(); }));
}

// Gives parser the builders of this file's checks.
void addChecks(valijson::SchemaParser& parser) {
    for (const CheckKeyword& check : kCheckKeywords) {
        auto builder = std::make_unique<CheckBuilder>(check.kind);
        parser.addConstraintBuilder(check.renamed, builder.get());
        static_cast<void>(builder.release()); // the parser owns it from here on
    }
}

// ref, a "$ref" met in schema file file, as a reference into the universe
// ("#/definitions/<file>/<pointer>"); unchanged when it names a document outside DMTF's v1
// folder.
std::string localRef(const std::string& ref, const std::string& file) {
    const std::size_t hash = std::min(ref.find('#'), ref.size());
    std::string document = ref.substr(0, hash);
    const std::string fragment = hash < ref.size() ? ref.substr(hash + 1) : "";
    if (document.empty()) {
        document = file;
    } else if (startsWith(document, kSchemaBase)) {
        document.erase(0, sizeof(kSchemaBase) - 1);
        if (document.size() < 5 || document.compare(document.size() - 5, 5, ".json") != 0)
            document += ".json";
    } else {
        return ref;
    }
    return kFilesRef + pointerToken(document) + fragment;
}

// What an anyOf branch is, for choosing the branch to report: "link" (the bare link), "null",
// the file that its reference names, or "".
std::string branchTag(const Json::Value& branch) {
    const Json::Value* ref = member(branch, "$ref");
    const Json::Value* type = member(branch, "x-type");
    if (ref != nullptr && ref->isString()) {
        const std::string text = ref->asString();
        if (text == kLinkRef) return "link";
        if (!startsWith(text, kFilesRef)) return "";
        const std::size_t from = sizeof(kFilesRef) - 1;
        return tokenKey(text.substr(from, text.find('/', from) - from));
    }
    return type != nullptr && branch.size() == 1 && *type == "null" ? "null" : "";
}

// branches (an anyOf's schemas) each wrapped as {"allOf": [branch], "x-branch": "end:<tag>"},
// the first with a {"x-branch": "begin"} mark in its allOf before the branch.
Json::Value wrapBranches(const Json::Value& branches) {
    Json::Value wrapped(Json::arrayValue);
    for (Json::ArrayIndex i = 0; i < branches.size(); ++i) {
        Json::Value wrapper(Json::objectValue);
        Json::Value& allOf = wrapper["allOf"] = Json::Value(Json::arrayValue);
        if (i == 0) allOf.append(Json::Value(Json::objectValue))[kBranchKey] = kBeginTag;
        allOf.append(branches[i]);
        wrapper[kBranchKey] = kEndTag + branchTag(branches[i]);
        wrapped.append(std::move(wrapper));
    }
    return wrapped;
}

// True for a definition anyOf[bare link, ...]: an entity's or a collection's.
bool isLinkChoice(const Json::Value& definition) {
    const Json::Value* anyOf = member(definition, "anyOf");
    return anyOf != nullptr && anyOf->isArray() && anyOf->size() > 1 &&
           (*anyOf)[0][kBranchKey] == std::string(kEndTag) + "link";
}

// Rewrites node, a part of schema file file, in place: references made local, the keywords
// of RedfishCheck renamed, additionalProperties false made a check, anyOf branches wrapped
// (see the top of this file).
void rewriteSchema(Json::Value& node, const std::string& file) {
    if (!node.isObject() && !node.isArray()) return;
    for (Json::Value& child : node)
        rewriteSchema(child, file);
    const Json::Value* ref = member(node, "$ref");
    if (ref != nullptr && ref->isString()) node["$ref"] = localRef(ref->asString(), file);
    for (const CheckKeyword& check : kCheckKeywords) {
        const Json::Value* value = *check.keyword ? member(node, check.keyword) : nullptr;
        Json::Value moved;
        if (value != nullptr && isCheckValue(check.kind, *value) &&
            node.removeMember(check.keyword, &moved))
            node[check.renamed] = std::move(moved);
    }
    const Json::Value* extra = member(node, "additionalProperties");
    if (extra != nullptr && *extra == false) {
        Json::Value undefined(Json::objectValue);
        undefined[kUndefinedKey] = "";
        node["additionalProperties"] = std::move(undefined);
    }
    const Json::Value* anyOf = member(node, "anyOf");
    if (anyOf != nullptr && anyOf->isArray()) node["anyOf"] = wrapBranches(*anyOf);
}

// True when name is a plain schema file name: letters, digits, '_', '-', '.', ending ".json".
bool isFileName(const std::string& name) {
    const std::size_t suffix = sizeof(".json") - 1;
    return name.size() > suffix && name[0] != '.' &&
           name.compare(name.size() - suffix, suffix, ".json") == 0 &&
           std::all_of(name.begin(), name.end(), [](char c) {
               return isAlpha(c) || isDigit(c) || c == '_' || c == '-' || c == '.';
           });
}

// The content of the file at path; false when it cannot be read.
bool readText(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    if (!in || !(content << in.rdbuf())) return false;
    text = content.str();
    return true;
}

// Parses text into doc. False with error, on one line, when it is no JSON.
bool parseJson(const std::string& text, Json::Value& doc, std::string& error) {
    Json::CharReaderBuilder builder;
    builder["collectComments"] = false;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string message;
    try {
        if (reader->parse(text.data(), text.data() + text.size(), &doc, &message)) return true;
    } catch (const std::exception& e) { // jsoncpp throws past its nesting limit
        message = e.what();
    }
    std::istringstream words(message);
    for (std::string word; words >> word;)
        error += (error.empty() ? "" : " ") + word;
    return false;
}

// One valijson error, read: where (a JSON pointer into the resource), the keyword, and what
// was expected (detail). A summary of the errors below it has keyword "" and its text.
struct Fault {
    std::string pointer;
    std::string keyword;
    std::string detail;
};
using Faults = std::vector<Fault>;
using Branches = std::vector<std::pair<std::string, Faults>>; // end tag, faults

// The beginnings of the error texts of valijson's own checks, and their keywords.
const std::pair<const char*, const char*> kValijsonErrors[] = {
    {"Missing required property '", "required"},
    {"Expected number greater than or equal to ", "minimum"},
    {"Expected number greater than ", "exclusiveMinimum"},
    {"Expected number less than or equal to ", "maximum"},
    {"Expected number less than ", "exclusiveMaximum"},
    {"Failed to validate", ""},
    {"Cannot validate item", ""},
};

// error as a Fault. Its context is "<root>", "[<odata type>]" (the wrapper), then "[name]" or
// "[index]" per level.
Fault faultOf(const valijson::ValidationResults::Error& error) {
    Fault fault{"", "schema", error.description};
    for (std::size_t i = 2; i < error.context.size(); ++i) {
        const std::string& step = error.context[i];
        fault.pointer +=
            "/" + pointerToken(step.size() < 2 ? step : step.substr(1, step.size() - 2));
    }
    const std::string& text = error.description;
    if (!text.empty() && text[0] == kMark) {
        const std::size_t newline = std::min(text.find('\n'), text.size());
        fault.keyword = text.substr(1, newline - 1);
        fault.detail = newline < text.size() ? text.substr(newline + 1) : "";
        return fault;
    }
    for (const auto& [prefix, keyword] : kValijsonErrors) {
        const std::size_t from = std::strlen(prefix);
        const std::size_t quote = text.rfind('\'');
        if (!startsWith(text, prefix)) continue;
        fault.keyword = keyword;
        if (*keyword != '\0') fault.detail = text.substr(from);
        if (prefix[from - 1] == '\'' && quote > from)
            fault.detail = text.substr(from, quote - from);
        break;
    }
    return fault;
}

// The count of values in value: 1 for a scalar or an empty container.
std::size_t valueCount(const Json::Value& value) {
    std::size_t count = 0;
    for (const Json::Value& child : value)
        count += valueCount(child);
    return std::max<std::size_t>(count, 1);
}

// How much of resource faults leave unexplained: 1 per pointer with a fault that is no
// summary, or for a property that the schema does not define, the count of values in it (so
// that an older version lacking a property is not taken for the closest).
std::size_t misfit(const Faults& faults, const Json::Value& resource) {
    std::map<std::string, std::size_t> weights;
    for (const Fault& fault : faults) {
        const Json::Value* value = findByPointer(resource, fault.pointer);
        const bool undefined = fault.keyword == "additionalProperties" && value != nullptr;
        if (!fault.keyword.empty())
            weights[fault.pointer] =
                std::max(weights[fault.pointer], undefined ? valueCount(*value) : 1);
    }
    std::size_t total = 0;
    for (const auto& entry : weights)
        total += entry.second;
    return total;
}

// The branch of a failed anyOf at pointer in resource to report (nullptr when there is none):
// the branch of the value's own "@odata.type", else the one of least misfit, the later (a
// newer version) on a tie; the bare-link branch and, for a value that is not null, the null
// branch only when there is no other. validate.py picks alike, by count of errors.
const Faults* closestBranch(const Branches& branches, const std::string& pointer,
                            const Json::Value& resource) {
    const Json::Value* instance = findByPointer(resource, pointer);
    const Json::Value* type = instance != nullptr ? member(*instance, "@odata.type") : nullptr;
    std::string ownFile, definition;
    if (type == nullptr || !type->isString() ||
        !splitOdataType(type->asString(), ownFile, definition))
        ownFile.clear();
    const Faults* best = nullptr;
    std::pair<bool, std::size_t> bestRank; // trivial, misfit: the lower the better
    for (const auto& [tag, faults] : branches) {
        if (!ownFile.empty() && tag == kEndTag + ownFile) return &faults;
        const bool isNull = instance != nullptr && instance->isNull();
        const bool trivial = tag == std::string(kEndTag) + "link" ||
                             (tag == std::string(kEndTag) + "null" && !isNull);
        const std::pair<bool, std::size_t> rank(trivial, misfit(faults, resource));
        if (best == nullptr || rank <= bestRank) {
            best = &faults;
            bestRank = rank;
        }
    }
    return best;
}

void readGroup(const Faults& errors, std::size_t& pos, const std::string& pointer,
               const Json::Value& resource, Faults& out);

// Adds to out the faults of errors[pos...] up to the end mark of the branch they are in:
// true with its tag, or false at the end of errors. An anyOf inside adds the faults of its
// closest branch.
bool readBranch(const Faults& errors, std::size_t& pos, const Json::Value& resource, Faults& out,
                std::string& tag) {
    while (pos < errors.size()) {
        const Fault& error = errors[pos++];
        if (error.keyword != kBranchKey) {
            out.push_back(error);
        } else if (error.detail == kBeginTag) {
            readGroup(errors, pos, error.pointer, resource, out);
        } else {
            tag = error.detail;
            return true;
        }
    }
    return false;
}

// Reads the branches of the anyOf at pointer whose begin mark was just read, up to its
// summary, and adds to out the faults of its closest branch (one "anyOf" fault when that has
// none).
void readGroup(const Faults& errors, std::size_t& pos, const std::string& pointer,
               const Json::Value& resource, Faults& out) {
    Branches branches;
    std::string tag;
    Faults faults;
    bool summarized = false;
    while (!summarized && readBranch(errors, pos, resource, faults, tag)) {
        branches.emplace_back(tag, std::move(faults));
        faults.clear();
        // After each branch valijson notes that it failed; after the last, that they all did.
        while (!summarized && pos < errors.size() && errors[pos].keyword.empty() &&
               errors[pos].pointer == pointer)
            summarized = errors[pos++].detail == kAnyOfSummary;
    }
    if (!faults.empty()) branches.emplace_back("", std::move(faults));
    const Faults* chosen = closestBranch(branches, pointer, resource);
    if (chosen != nullptr && misfit(*chosen, resource) > 0) {
        out.insert(out.end(), chosen->begin(), chosen->end());
    } else {
        out.push_back({pointer, "anyOf", ""});
    }
}

// True when pointer is other or one of its parents.
bool isAtOrAbove(const std::string& pointer, const std::string& other) {
    return startsWith(other, pointer) &&
           (other.size() == pointer.size() || other[pointer.size()] == '/');
}

// The rank of keyword among the faults at one pointer: the lowest is reported.
std::size_t rankOf(const std::string& keyword) {
    static const char* const kOrder[] = {"type",     "enum",
                                         "format",   "pattern",
                                         "minimum",  "exclusiveMinimum",
                                         "maximum",  "exclusiveMaximum",
                                         "required", "additionalProperties",
                                         "anyOf",    "schema"};
    const std::size_t count = sizeof(kOrder) / sizeof(kOrder[0]);
    for (std::size_t i = 0; i < count; ++i)
        if (keyword == kOrder[i]) return i;
    return count; // a summary
}

// value for a message: its JSON text (a long string cut short), or "an object", "an array".
std::string valueText(const Json::Value& value) {
    if (value.isObject() || value.isArray()) return value.isObject() ? "an object" : "an array";
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    if (!value.isString() || value.asString().size() <= kMaxValueText)
        return Json::writeString(builder, value);
    const std::string text = value.asString();
    std::size_t cut = kMaxValueText;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) // inside a UTF-8
        --cut;                                                                // character
    return Json::writeString(builder, Json::Value(text.substr(0, cut) + "..."));
}

// "found" and the type and value of value (nullptr: a missing one) for a type problem.
std::string foundText(const Json::Value* value) {
    if (value == nullptr) return "found nothing";
    if (value->isNull()) return "found null";
    if (value->isObject() || value->isArray())
        return std::string("found ") + (value->isObject() ? "object" : "array");
    const char* type = value->isBool()       ? "boolean"
                       : value->isIntegral() ? "integer"
                       : value->isNumeric()  ? "number"
                                             : "string";
    return std::string("found ") + type + " " + valueText(*value);
}

// The message of the faults at one pointer, the first of which is reported.
std::string messageOf(const Faults& here, const Json::Value& resource) {
    const Fault& fault = here.front();
    const Json::Value* value = findByPointer(resource, fault.pointer);
    const std::string found = value != nullptr ? valueText(*value) : "nothing";
    const std::string& keyword = fault.keyword;
    std::ostringstream limit; // valijson writes "100.000000"
    limit << std::strtod(fault.detail.c_str(), nullptr);
    if (keyword == "type") return "expected " + fault.detail + ", " + foundText(value);
    if (keyword == "enum")
        return found + " is not one of the allowed values" +
               (fault.detail.empty() ? "" : ": " + fault.detail);
    if (keyword == "format") return found + " is not a valid " + fault.detail;
    if (keyword == "pattern") return found + " does not match the pattern " + fault.detail;
    if (keyword == "minimum") return found + " is less than the minimum " + limit.str();
    if (keyword == "exclusiveMinimum") return found + " is not greater than " + limit.str();
    if (keyword == "maximum") return found + " is greater than the maximum " + limit.str();
    if (keyword == "exclusiveMaximum") return found + " is not less than " + limit.str();
    if (keyword == "additionalProperties")
        return "property \"" + tokenKey(fault.pointer.substr(fault.pointer.rfind('/') + 1)) +
               "\" is not defined by the schema";
    if (keyword == "anyOf") return found + " matches none of the schemas allowed here";
    if (keyword != "required") return fault.detail;
    std::vector<std::string> names;
    for (const Fault& other : here) {
        if (other.keyword == "required" &&
            std::find(names.begin(), names.end(), other.detail) == names.end())
            names.push_back(other.detail);
    }
    return std::string("missing required ") + (names.size() == 1 ? "property " : "properties ") +
           join(names, ", ", "\"");
}

// One problem per pointer from faults: summaries dropped where a fault lies at or below them,
// then at each pointer the fault of the lowest rank, all missing properties in one message.
std::vector<SchemaProblem> problemsOf(const Faults& faults, const Json::Value& resource) {
    std::map<std::string, Faults> byPointer;
    for (const Fault& fault : faults) {
        const bool covered =
            std::any_of(faults.begin(), faults.end(), [&fault](const Fault& other) {
                return !other.keyword.empty() && isAtOrAbove(fault.pointer, other.pointer);
            });
        if (!fault.keyword.empty() || !covered) byPointer[fault.pointer].push_back(fault);
    }
    std::vector<SchemaProblem> problems;
    for (auto& [pointer, here] : byPointer) {
        std::stable_sort(here.begin(), here.end(), [](const Fault& a, const Fault& b) {
            return rankOf(a.keyword) < rankOf(b.keyword);
        });
        const std::string keyword = here.front().keyword.empty() ? "schema" : here.front().keyword;
        problems.push_back({pointer, keyword, messageOf(here, resource)});
    }
    return problems;
}

// The problems of resource in results, the errors of validating {"<odata type>": resource}.
std::vector<SchemaProblem> problemsOf(const valijson::ValidationResults& results,
                                      const Json::Value& resource) {
    Faults errors;
    for (const valijson::ValidationResults::Error& error : results)
        errors.push_back(faultOf(error));
    Faults faults;
    std::string tag;
    for (std::size_t pos = 0; pos < errors.size();)
        readBranch(errors, pos, resource, faults, tag); // a stray end mark is passed over
    std::vector<SchemaProblem> problems = problemsOf(faults, resource);
    if (problems.empty()) problems.push_back({"", "schema", "does not match its schema"});
    return problems;
}

} // namespace

struct SchemaValidator::Impl {
    // A type's schema (shared by the types of one prepare), or why it has none.
    struct TypeSchema {
        std::shared_ptr<const valijson::Schema> schema;
        std::string why;
    };

    explicit Impl(std::string dir) : schemaDir(std::move(dir)) {
        universe["definitions"] = Json::Value(Json::objectValue);
    }

    // The document of schema file file (e.g. "Port.v1_12_0.json") in the universe, read and
    // rewritten on first use; nullptr with why when it is not in the folder or no JSON.
    Json::Value* loadFile(const std::string& file, std::string& why) {
        Json::Value& files = universe["definitions"];
        if (files.isMember(file)) return &files[file];
        if (unreadable.count(file) == 0) {
            std::string text, error;
            Json::Value doc;
            if (!isFileName(file) || !readText(schemaDir + "/" + file, text)) {
                unreadable[file] = file + " is not in " + schemaDir;
            } else if (!parseJson(text, doc, error)) {
                unreadable[file] = file + " is not JSON: " + error;
            } else {
                rewriteSchema(doc, file);
                return &(files[file] = std::move(doc));
            }
        }
        why = unreadable[file];
        return nullptr;
    }

    // The schema that ref (a reference of the universe) names, its file loaded; nullptr when
    // there is none, the document then listed as unchecked.
    Json::Value* resolve(const std::string& ref) {
        if (!startsWith(ref, kFilesRef)) {
            unchecked.insert(ref.substr(0, ref.find('#')));
            return nullptr;
        }
        const std::size_t from = sizeof(kFilesRef) - 1;
        const std::size_t end = std::min(ref.find('/', from), ref.size());
        const std::string file = tokenKey(ref.substr(from, end - from));
        std::string why;
        // The universe is not const here: the target's references are followed and rewritten.
        Json::Value* target =
            loadFile(file, why) == nullptr
                ? nullptr
                : const_cast<Json::Value*>(findByPointer(universe, ref.substr(1)));
        if (target == nullptr) unchecked.insert(why.empty() ? file + "#" + ref.substr(end) : file);
        return target;
    }

    // Follows the references under node, a schema in the universe, loading the files they
    // name. A reference that cannot be followed is dropped: anything is accepted there. One to
    // an entity or collection is cut down to the bare link unless expanded (inside an
    // "autoExpand" property, whose value embeds the whole entity).
    void reach(Json::Value& node, bool expanded) {
        if (!node.isObject() && !node.isArray()) return;
        const Json::Value* ref = member(node, "$ref");
        if (ref != nullptr && ref->isString()) {
            follow(node, expanded);
            return;
        }
        const Json::Value* autoExpand = member(node, "autoExpand");
        expanded = expanded || (autoExpand != nullptr && *autoExpand == true);
        for (auto child = node.begin(); child != node.end(); ++child)
            reach(*child, expanded && child.name() != "properties");
    }

    // reach() for refNode, a node with a "$ref".
    void follow(Json::Value& refNode, bool expanded) {
        Json::Value* target = resolve(refNode["$ref"].asString());
        if (target != nullptr && !expanded && isLinkChoice(*target)) {
            refNode["$ref"] = kLinkRef;
            target = resolve(kLinkRef);
        }
        if (target == nullptr) {
            refNode.removeMember("$ref");
        } else if (reached.insert(target).second) {
            reach(*target, false);
        }
    }

    // Sets top to the schema of odataType as a root property of the universe, its references
    // followed: a reference to its definition or, for a definition anyOf[bare link, ...]
    // (collections), a copy without that branch, so that a whole resource is required.
    // False with why when the type has no definition.
    bool topSchema(const std::string& odataType, Json::Value& top, std::string& why) {
        std::string file, definition;
        if (!splitOdataType(odataType, file, definition)) {
            why = "not of the form #Namespace[.vN_N_N].Type";
            return false;
        }
        const Json::Value* doc = loadFile(file, why);
        const std::string pointer = "/definitions/" + pointerToken(definition);
        const Json::Value* node = doc != nullptr ? findByPointer(*doc, pointer) : nullptr;
        if (doc != nullptr && node == nullptr) why = file + " has no definition " + definition;
        if (node == nullptr) return false;
        if (isLinkChoice(*node)) { // the begin mark moves on to the next branch
            top = *node;
            Json::Value& anyOf = top["anyOf"];
            Json::Value link;
            anyOf.removeIndex(0, &link);
            anyOf[0]["allOf"].insert(0, link["allOf"][0]);
        } else {
            top = Json::Value(Json::objectValue);
            top["$ref"] = kFilesRef + pointerToken(file) + pointer;
        }
        reach(top, true);
        return true;
    }

    // Builds one valijson schema for the types in pending (type and its topSchema) and records
    // it for each. False with why when valijson rejects the schemas.
    bool build(const std::map<std::string, Json::Value>& pending, std::string& why) {
        Json::Value& properties = universe["properties"] = Json::Value(Json::objectValue);
        for (const auto& [type, top] : pending)
            properties[type] = top;
        universe["type"] = "object";
        auto schema = std::make_shared<valijson::Schema>();
        bool built = false;
        try {
            valijson::SchemaParser parser(valijson::SchemaParser::kDraft7);
            addChecks(parser);
            parser.populateSchema(valijson::adapters::JsonCppAdapter(universe), *schema);
            built = true;
        } catch (const std::exception& e) {
            why = e.what();
        }
        universe.removeMember("properties");
        if (!built) return false;
        for (const auto& entry : pending)
            types[entry.first] = {schema, ""};
        return true;
    }

    // prepare() without the timing and the catch.
    void prepareTypes(const std::vector<std::string>& odataTypes) {
        std::map<std::string, Json::Value> pending;
        for (const std::string& type : odataTypes) {
            if (types.count(type) != 0 || pending.count(type) != 0) continue;
            Json::Value top;
            std::string why;
            if (topSchema(type, top, why)) {
                pending[type] = std::move(top);
            } else {
                types[type].why = why;
            }
        }
        std::string why;
        if (pending.empty() || build(pending, why)) return;
        for (const auto& entry : pending) { // one type's schema may be at fault: try each alone
            if (!build({entry}, why)) types[entry.first].why = "its schema cannot be built: " + why;
        }
    }

    // SchemaValidator::prepare; a type that fails for another reason gets that as its why.
    void prepare(const std::vector<std::string>& odataTypes) {
        const auto start = std::chrono::steady_clock::now();
        std::string failure;
        try {
            prepareTypes(odataTypes);
        } catch (const std::exception& e) {
            failure = std::string("its schema cannot be prepared: ") + e.what();
        }
        for (const std::string& type : odataTypes)
            if (!failure.empty() && types.count(type) == 0) types[type].why = failure;
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }

    // SchemaValidator::validate, but may throw.
    Verdict validate(const std::string& odataType, const Json::Value& resource,
                     std::vector<SchemaProblem>& problems, std::string& why) {
        if (types.count(odataType) == 0) prepare({odataType});
        const auto entry = types.find(odataType);
        if (entry == types.end() || entry->second.schema == nullptr) {
            why = entry == types.end() ? "its schema cannot be prepared" : entry->second.why;
            return Verdict::NoSchema;
        }
        Json::Value wrapper(Json::objectValue);
        wrapper[odataType] = resource;
        const valijson::adapters::JsonCppAdapter target(wrapper);
        if (validator.validate(*entry->second.schema, target, nullptr)) return Verdict::Valid;
        valijson::ValidationResults results; // a second pass, to collect every error
        validator.validate(*entry->second.schema, target, &results);
        const std::vector<SchemaProblem> found = problemsOf(results, resource);
        problems.insert(problems.end(), found.begin(), found.end());
        return Verdict::Invalid;
    }

    std::string schemaDir;
    Json::Value universe{Json::objectValue};       // see the top of this file
    std::map<std::string, std::string> unreadable; // schema file -> why it cannot be loaded
    std::set<const Json::Value*> reached;          // schemas whose references are followed
    std::set<std::string> unchecked;               // for uncheckedFiles()
    std::map<std::string, TypeSchema> types;       // prepared "@odata.type" values
    valijson::Validator validator;                 // keeps the compiled patterns
    double seconds = 0;
};

SchemaValidator::SchemaValidator(std::string schemaDir) {
    try {
        impl_ = std::make_unique<Impl>(std::move(schemaDir));
    } catch (const std::exception&) { // out of memory: every type then has no schema
    }
}

SchemaValidator::~SchemaValidator() = default;

void SchemaValidator::prepare(const std::vector<std::string>& odataTypes) {
    try {
        if (impl_ != nullptr) impl_->prepare(odataTypes);
    } catch (...) { // out of memory while recording a failure: validate() says so
    }
}

SchemaValidator::Verdict SchemaValidator::validate(const std::string& odataType,
                                                   const Json::Value& resource,
                                                   std::vector<SchemaProblem>& problems,
                                                   std::string& why) {
    try {
        if (impl_ != nullptr) return impl_->validate(odataType, resource, problems, why);
        why = "out of memory";
    } catch (const std::exception& e) {
        why = std::string("validation failed: ") + e.what();
    } catch (...) {
        why = "validation failed";
    }
    return Verdict::NoSchema;
}

std::vector<std::string> SchemaValidator::uncheckedFiles() const {
    try {
        if (impl_ != nullptr) return {impl_->unchecked.begin(), impl_->unchecked.end()};
    } catch (const std::exception&) { // out of memory
    }
    return {};
}

double SchemaValidator::schemaSeconds() const { return impl_ != nullptr ? impl_->seconds : 0; }
