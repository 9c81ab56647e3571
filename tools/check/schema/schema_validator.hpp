// Validation of Redfish resources against DMTF's JSON schemas, offline, for sql2json check.
//
//   SchemaProblem     one fault of a resource: JSON pointer, failing keyword, message
//   SchemaValidator   loads the schemas of "@odata.type" values from a folder of DMTF schema
//                     files (NAME.json for http://redfish.dmtf.org/schemas/v1/NAME.json) and
//                     validates resources against them
#ifndef SQL2JSON_TOOLS_CHECK_SCHEMA_SCHEMA_VALIDATOR_HPP
#define SQL2JSON_TOOLS_CHECK_SCHEMA_SCHEMA_VALIDATOR_HPP

#include <memory>
#include <string>
#include <vector>

#include <json/value.h>

// One schema violation in a resource.
struct SchemaProblem {
    std::string pointer; // JSON pointer (RFC 6901) into the resource; "" is the resource itself
    std::string keyword; // the failing schema keyword: "type", "enum", "required", ...
    std::string message; // what is wrong, with the value found and, where known, what was expected
};

// The schemas of one folder. Not thread-safe: one caller at a time.
class SchemaValidator {
  public:
    enum class Verdict { Valid, Invalid, NoSchema };

    // Nothing is read until the first prepare or validate. Never throws.
    explicit SchemaValidator(std::string schemaDir);
    ~SchemaValidator();
    SchemaValidator(const SchemaValidator&) = delete;
    SchemaValidator& operator=(const SchemaValidator&) = delete;

    // Makes ready the schemas of every "@odata.type" value in odataTypes at once
    // ("#Power.v1_7_3.Power" is definition "Power" of DIR/Power.v1_7_3.json,
    // "#ChassisCollection.ChassisCollection" definition "ChassisCollection" of
    // DIR/ChassisCollection.json). Each schema file is parsed at most once per validator and
    // each type's schema built once; later calls add types. Never throws.
    void prepare(const std::vector<std::string>& odataTypes);

    // Validates resource against the schema of odataType, preparing it first if needed.
    // Valid; Invalid with one problem appended to problems per distinct fault; or NoSchema
    // with why set: the type text cannot be parsed, its file is not in DIR or unreadable, the
    // file lacks the definition, or the schema could not be built or run. Never throws.
    Verdict validate(const std::string& odataType, const Json::Value& resource,
                     std::vector<SchemaProblem>& problems, std::string& why);

    // Schema documents that a schema in use referenced but that are not in DIR (a file name
    // such as "Volume.json", or the whole URL of a document outside DMTF's v1 folder), each
    // once, sorted. What those references define was accepted unchecked.
    std::vector<std::string> uncheckedFiles() const;

    // Seconds spent so far reading schema files and building schemas.
    double schemaSeconds() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

#endif
