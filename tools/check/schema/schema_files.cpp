// Reading and rewriting the schema files (schema_files.hpp): exports SchemaFiles.
#include "check/schema/schema_files.hpp"

#include <algorithm>
#include <fstream>
#include <sstream>

#include <json/reader.h>

#include "check/schema/keyword_checks.hpp"
#include "check/schema/schema_text.hpp"
#include "common/json_pointer.hpp"

namespace schema {
namespace {

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

// branches (an anyOf's schemas) each wrapped as {"allOf": [branch], "x-branch": "end:<tag>"}
// ("last:<tag>" for the last), the first with a {"x-branch": "begin"} mark in its allOf before
// the branch.
Json::Value wrapBranches(const Json::Value& branches) {
    Json::Value wrapped(Json::arrayValue);
    for (Json::ArrayIndex i = 0; i < branches.size(); ++i) {
        Json::Value wrapper(Json::objectValue);
        Json::Value& allOf = wrapper["allOf"] = Json::Value(Json::arrayValue);
        if (i == 0) allOf.append(Json::Value(Json::objectValue))[kBranchKey] = kBeginTag;
        allOf.append(branches[i]);
        wrapper[kBranchKey] =
            (i + 1 < branches.size() ? kEndTag : kLastTag) + branchTag(branches[i]);
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
    renameCheckedKeywords(node);
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

} // namespace

SchemaFiles::SchemaFiles(std::string dir) : dir_(std::move(dir)) {
    universe_["definitions"] = Json::Value(Json::objectValue);
}

// The document of schema file file (e.g. "Port.v1_12_0.json") in the universe, read and
// rewritten on first use; nullptr with why when it is not in the folder or no JSON.
Json::Value* SchemaFiles::loadFile(const std::string& file, std::string& why) {
    Json::Value& files = universe_["definitions"];
    if (files.isMember(file)) return &files[file];
    if (unreadable_.count(file) == 0) {
        std::string text, error;
        Json::Value doc;
        if (!isFileName(file) || !readText(dir_ + "/" + file, text)) {
            unreadable_[file] = file + " is not in " + dir_;
        } else if (!parseJson(text, doc, error)) {
            unreadable_[file] = file + " is not JSON: " + error;
        } else {
            rewriteSchema(doc, file);
            return &(files[file] = std::move(doc));
        }
    }
    why = unreadable_[file];
    return nullptr;
}

// The schema that ref (a reference of the universe) names, its file loaded; nullptr when
// there is none, the document then listed as unchecked_.
Json::Value* SchemaFiles::resolve(const std::string& ref) {
    if (!startsWith(ref, kFilesRef)) {
        unchecked_.insert(ref.substr(0, ref.find('#')));
        return nullptr;
    }
    const std::size_t from = sizeof(kFilesRef) - 1;
    const std::size_t end = std::min(ref.find('/', from), ref.size());
    const std::string file = tokenKey(ref.substr(from, end - from));
    std::string why;
    // The universe is not const here: the target's references are followed and rewritten.
    Json::Value* target = loadFile(file, why) == nullptr
                              ? nullptr
                              : const_cast<Json::Value*>(findByPointer(universe_, ref.substr(1)));
    if (target == nullptr) unchecked_.insert(why.empty() ? file + "#" + ref.substr(end) : file);
    return target;
}

// Follows the references under node, a schema in the universe, loading the files they
// name. A reference that cannot be followed is dropped: anything is accepted there. One to
// an entity or collection is cut down to the bare link unless expanded (inside an
// "autoExpand" property, whose value embeds the whole entity).
void SchemaFiles::reach(Json::Value& node, bool expanded) {
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
void SchemaFiles::follow(Json::Value& refNode, bool expanded) {
    Json::Value* target = resolve(refNode["$ref"].asString());
    if (target != nullptr && !expanded && isLinkChoice(*target)) {
        refNode["$ref"] = kLinkRef;
        target = resolve(kLinkRef);
    }
    if (target == nullptr) {
        refNode.removeMember("$ref");
    } else if (reached_.insert(target).second) {
        reach(*target, false);
    }
}

// Sets top to the schema of odataType as a root property of the universe, its references
// followed: a reference to its definition or, for a definition anyOf[bare link, ...]
// (collections), a copy without that branch, so that a whole resource is required.
// False with why when the type has no definition.
bool SchemaFiles::topSchema(const std::string& odataType, Json::Value& top, std::string& why) {
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

} // namespace schema
