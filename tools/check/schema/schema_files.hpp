// The schema files of one folder, read into one document (the universe) as they are needed:
//   {"definitions": {"Port.v1_12_0.json": {...}, ...}, "type": "object", "properties": {...}}
// and rewritten as they are loaded, so that valijson meets local references only:
//   "$ref"    "#/definitions/X" and "http://redfish.dmtf.org/schemas/v1/F.json#/definitions/X"
//             become "#/definitions/F.json/definitions/X". valijson keys what it builds by
//             JSON pointer alone: two files' "#/definitions/Links" would be one schema.
//   keywords  those this tool checks itself are renamed (keyword_checks.hpp);
//             "additionalProperties": false becomes {"x-undefined": ""}, a check failing for
//             each property that the object does not define (valijson's own reports the first).
//   "anyOf"   each branch is wrapped as {"allOf": [branch], "x-branch": "end:<tag>"} (the last
//             "last:<tag>"), the first behind a "begin" mark, so that valijson's flat list of
//             errors can be cut back into branches (branch_choice.hpp).
// Only the files that the types' references reach are read. A reference to an entity or a
// collection (anyOf[bare link, ...]) is cut down to the bare link, except under an
// "autoExpand" property, where resources embed the whole entity.
#ifndef SQL2JSON_TOOLS_CHECK_SCHEMA_SCHEMA_FILES_HPP
#define SQL2JSON_TOOLS_CHECK_SCHEMA_SCHEMA_FILES_HPP

#include <map>
#include <set>
#include <string>

#include <json/value.h>

namespace schema {

class SchemaFiles {
  public:
    // Nothing is read until the first topSchema.
    explicit SchemaFiles(std::string dir);

    // Sets top to the schema of odataType as a root property of the universe, its references
    // followed and their files loaded: a reference to its definition or, for a definition
    // anyOf[bare link, ...] (collections), a copy without that branch, so that a whole resource
    // is required. False with why when the type has no definition. May throw (out of memory).
    bool topSchema(const std::string& odataType, Json::Value& top, std::string& why);

    // The universe, for valijson to build the schemas of its root properties from.
    Json::Value& universe() { return universe_; }

    // Schema documents that a followed reference named but that could not be loaded (a file
    // name such as "Volume.json", or a document outside DMTF's v1 folder), each once.
    const std::set<std::string>& unchecked() const { return unchecked_; }

  private:
    Json::Value* loadFile(const std::string& file, std::string& why);
    Json::Value* resolve(const std::string& ref);
    void reach(Json::Value& node, bool expanded);
    void follow(Json::Value& refNode, bool expanded);

    std::string dir_;
    Json::Value universe_{Json::objectValue};
    std::map<std::string, std::string> unreadable_; // schema file -> why it cannot be loaded
    std::set<const Json::Value*> reached_;          // schemas whose references are followed
    std::set<std::string> unchecked_;
};

} // namespace schema

#endif
