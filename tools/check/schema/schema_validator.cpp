// sql2json check's schema validation (schema_validator.hpp): exports SchemaValidator with
// prepare, validate, uncheckedFiles and schemaSeconds.
//
// valijson validates. The schema files are read and rewritten into one document
// (schema_files.hpp) whose keywords this tool checks itself where it reports them
// (keyword_checks.hpp); the types of one prepare() are the "properties" of that document's
// root and are built into one valijson schema, so that what they share is built once. A
// resource is validated as {"<odata type>": resource}; valijson's errors are read back into
// faults (branch_choice.hpp) and reported one per pointer (schema_report.hpp).
#ifndef VALIJSON_USE_EXCEPTIONS
#define VALIJSON_USE_EXCEPTIONS 1 // without it valijson aborts the process on a bad schema
#endif

#include "check/schema/schema_validator.hpp"

#include <chrono>
#include <map>
#include <utility>

#include <valijson/adapters/jsoncpp_adapter.hpp>
#include <valijson/schema.hpp>
#include <valijson/schema_parser.hpp>
#include <valijson/validation_results.hpp>
#include <valijson/validator.hpp>

#include "check/schema/branch_choice.hpp"
#include "check/schema/keyword_checks.hpp"
#include "check/schema/schema_files.hpp"
#include "check/schema/schema_report.hpp"

struct SchemaValidator::Impl {
    // A type's schema (shared by the types of one prepare), or why it has none.
    struct TypeSchema {
        std::shared_ptr<const valijson::Schema> schema;
        std::string why;
    };

    explicit Impl(std::string dir) : files(std::move(dir)) {}

    // Builds one valijson schema for the types in pending (type and its topSchema) and records
    // it for each. False with why when valijson rejects the schemas.
    bool build(const std::map<std::string, Json::Value>& pending, std::string& why) {
        Json::Value& universe = files.universe();
        Json::Value& properties = universe["properties"] = Json::Value(Json::objectValue);
        for (const auto& [type, top] : pending)
            properties[type] = top;
        universe["type"] = "object";
        auto schema = std::make_shared<valijson::Schema>();
        bool built = false;
        try {
            valijson::SchemaParser parser(valijson::SchemaParser::kDraft7);
            schema::addChecks(parser);
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
            if (files.topSchema(type, top, why)) {
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
        std::vector<SchemaProblem> found =
            schema::problemsOf(schema::faultsOf(results, resource), resource);
        if (found.empty()) found.push_back({"", "schema", "does not match its schema"});
        problems.insert(problems.end(), found.begin(), found.end());
        return Verdict::Invalid;
    }

    schema::SchemaFiles files;
    std::map<std::string, TypeSchema> types; // prepared "@odata.type" values
    valijson::Validator validator;           // keeps the compiled patterns
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
        if (impl_ != nullptr)
            return {impl_->files.unchecked().begin(), impl_->files.unchecked().end()};
    } catch (const std::exception&) { // out of memory
    }
    return {};
}

double SchemaValidator::schemaSeconds() const { return impl_ != nullptr ? impl_->seconds : 0; }
