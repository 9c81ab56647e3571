// The audit of an engine-built resource (engine_audit.hpp): exports auditEngineQuery.
//
// It follows the engine's own rules (SqlitetoJsonDefinitions.h): a row is formatted by the
// property types of its "@odata.type" when that type is one the converter loads; the kind of a
// property's type says whether it holds a sub-query and how that is read (one object per row,
// plain values, or its last row); a sub-query runs when its text is not empty; sub-queries nest
// at most kMaxSubQueryDepth levels. The property types are read from the metadata database the
// converter loaded its own from, once.
#include "check/engine_audit.hpp"

#include <cstring>
#include <map>

#include <json/value.h>
#include <sqlite3.h>

#include "SqlitetoJsonConverter.h"
#include "SqlitetoJsonDefinitions.h"
#include "common/json_pointer.hpp"
#include "common/tool_log.hpp"

namespace {

constexpr std::size_t kShownSql = 96; // characters of a sub-query's text shown in a message

// One query to audit: its text, where its result goes in the resource, how it is named.
struct AuditedQuery {
    std::string sql;
    unsigned int objectType; // as the engine runs it: one object, one per row, or values
    std::string pointer;
    std::string label;
    int depth;
};

// The property types of every type the converter loads: type -> {property -> type text}.
const std::map<std::string, Json::Value>& propertyTypes() {
    static const std::map<std::string, Json::Value> types = [] {
        std::map<std::string, Json::Value> loaded;
        for (const char* const* type = rf_metadata; *type != nullptr; ++type) {
            Json::Value properties(Json::objectValue);
            const std::string query = std::string("select * from [") + *type + "]";
            if (GetMetadata(metadatadbhandle, query.c_str(), properties) == 0)
                loaded.emplace(*type, std::move(properties));
        }
        return loaded;
    }();
    return types;
}

// The JSON pointer of property name ("P#C" is member C of P) below pointer.
std::string propertyPointer(const std::string& pointer, const std::string& name) {
    const std::string::size_type hash = name.find('#');
    if (hash == std::string::npos) return pointer + "/" + pointerToken(name);
    return pointer + "/" + pointerToken(name.substr(0, hash)) + "/" +
           pointerToken(name.substr(hash + 1));
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

class Auditor {
  public:
    EngineAudit result;

    void audit(const AuditedQuery& query) {
        result.statements.push_back({query.sql, query.pointer, query.label, query.depth});
        Json::Value nested;
        Json::Value plain;
        const char* sql = query.sql.c_str();
        if (GetDataFromViewQuery(dmdbhandle, sql, nested, plain, query.objectType) != 0) {
            const std::string message = sqlite3_errmsg(dmdbhandle);
            add(query.pointer, "statement", query.label + " failed: " + message, message);
            return;
        }
        if (query.objectType == kJsonObjectType) auditRow(query, nested, plain, query.pointer);
        if (query.objectType != kJsonArrayType || !plain.isArray()) return;
        for (Json::ArrayIndex i = 0; i < plain.size(); ++i)
            auditRow(query, nested[i], plain[i], query.pointer + "/" + std::to_string(i));
    }

  private:
    void add(const std::string& pointer, const char* keyword, const std::string& message,
             const std::string& fault) {
        result.findings.push_back({pointer, keyword, message, fault});
    }

    // Checks one row's nested columns against its type and audits its sub-queries.
    void auditRow(const AuditedQuery& query, const Json::Value& nested, const Json::Value& plain,
                  const std::string& pointer) {
        const Json::Value& type = plain.isObject() ? plain["@odata.type"] : Json::Value::null;
        const auto found = propertyTypes().find(type.isString() ? type.asString() : "");
        const Json::Value* properties = found != propertyTypes().end() ? &found->second : nullptr;
        for (const std::string& column :
             nested.isObject() ? nested.getMemberNames() : std::vector<std::string>()) {
            if (properties != nullptr && properties->isMember(column)) continue;
            add(propertyPointer(pointer, column), "dropped",
                "column " + quoted(column) + " of " + query.label +
                    (properties != nullptr
                         ? " is not in the metadata of " + quoted(found->first)
                         : ": its row has no \"@odata.type\" the converter loads") +
                    ", so the engine drops it",
                column);
        }
        if (properties == nullptr || query.depth >= sql2json::kMaxSubQueryDepth) return;
        for (const std::string& name : properties->getMemberNames())
            auditProperty(query, name, (*properties)[name].asString(),
                          name.find('#') != std::string::npos ? nested : plain, pointer);
    }

    // Audits the sub-query that property name of type holds in row, if it holds one.
    void auditProperty(const AuditedQuery& query, const std::string& name, const std::string& type,
                       const Json::Value& row, const std::string& pointer) {
        unsigned int objectType = kJsonObjectType;
        const sql2json::PropertyKind kind = sql2json::propertyKind(type.c_str());
        if (!sql2json::subQueryObjectType(kind, objectType) || !row.isObject()) return;
        const Json::Value& cell = row[name];
        if (cell.isArray() || cell.isObject() || cell.asString().empty()) return;
        std::string sql = cell.asString();
        const std::string shown = sql.size() > kShownSql ? sql.substr(0, kShownSql) + "..." : sql;
        audit({std::move(sql), objectType, propertyPointer(pointer, name),
               "the sub-query of " + quoted(name) + " (" + shown + ")", query.depth + 1});
    }
};

} // namespace

EngineAudit auditEngineQuery(const std::string& engineQuery, const std::string& engineView) {
    const QuietLog quiet; // the findings say what failed; the converter's log would repeat it
    Auditor auditor;
    auditor.audit({engineQuery, kJsonObjectType, "", "engine view " + quoted(engineView), 0});
    return std::move(auditor.result);
}
