// The tool's one answer to "what is the resource at this URI": exports fetchResource,
// resourceText, withoutTrailingSlashes and sqliteFailure (resource_fetcher.hpp).
#include "resource_fetcher.hpp"

#include <cstring>
#include <memory>
#include <mutex>

#include <json/reader.h>
#include <json/writer.h>
#include <sqlite3.h>

#include "SqlitetoJsonConverter.h"

namespace {

// The engine view of a route: a select over the view that EngineViews names, or "" when the
// row holds NULL there (the route keeps its root column although its type is an engine type).
const char kEngineViewQuery[] = "select case when engine_view is null then '' "
                                "else printf('select * from \"%w\"', engine_view) end "
                                "from EngineViews where root_view = ?";

// The statement GetViewNameFromopenApiDB composes: <CTE> select root from <view> where ...
const char kSelectRoot[] = " select root from ";
const char kWhereId[] = " where [@odata.id]=?";

// The converter's connections are shared, and the messages read from them (sqlite3_errmsg)
// belong to the last call: one fetch at a time.
std::mutex gLibraryMutex;

FetchResult failed(const std::string& detail) {
    FetchResult result;
    result.detail = detail;
    return result;
}

FetchResult outcome(FetchOutcome kind, const std::string& detail = std::string()) {
    FetchResult result;
    result.outcome = kind;
    result.detail = detail;
    return result;
}

FetchResult found(Json::Value&& resource) {
    FetchResult result = outcome(FetchOutcome::Found);
    result.resource = std::move(resource);
    return result;
}

// The main connection's last message, for a failure of the engine.
std::string mainConnectionMessage() {
    return dmdbhandle != nullptr ? sqlite3_errmsg(dmdbhandle) : "no database";
}

// The view name in a statement composed by GetViewNameFromopenApiDB; "" when the lookup
// found none (or the text does not have the composed shape).
std::string rootViewOf(const std::string& statement) {
    const std::string::size_type select = statement.rfind(kSelectRoot);
    const std::size_t whereLength = std::strlen(kWhereId);
    if (select == std::string::npos || statement.size() < whereLength ||
        statement.compare(statement.size() - whereLength, whereLength, kWhereId) != 0) {
        return "";
    }
    const std::size_t begin = select + std::strlen(kSelectRoot);
    const std::size_t end = statement.size() - whereLength;
    return end > begin ? statement.substr(begin, end - begin) : "";
}

// True when odataType is one of the types whose property types the converter loads.
bool isEngineType(const Json::Value& odataType) {
    if (!odataType.isString()) return false;
    const std::string type = odataType.asString();
    for (const char* const* name = rf_metadata; *name != nullptr; ++name) {
        if (type == *name) return true;
    }
    return false;
}

// Parses text as a JSON object into out. False when it is not one.
bool parseObject(const std::string& text, Json::Value& out) {
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    return reader->parse(text.data(), text.data() + text.size(), &out, &errors) && out.isObject();
}

// Builds uri's resource through the engine from engineHead, the select over the route's
// engine view; the URI enters the query only as an SQL literal quoted by SQLite.
FetchResult buildThroughEngine(const std::string& uri, const std::string& engineHead) {
    std::unique_ptr<char, decltype(&sqlite3_free)> where(
        sqlite3_mprintf(" where [@odata.id] = %Q", uri.c_str()), &sqlite3_free);
    if (!where) return failed("out of memory");
    const std::string query = engineHead + where.get();
    Json::Value resource;
    const int rc = GetJsonDataFromSQLViewUsingQuery(query.c_str(), resource, kJsonObjectType);
    if (rc != 0) {
        return failed("engine query failed: " + sqliteFailure(rc) + ": " + mainConnectionMessage());
    }
    if (!resource.isObject()) {
        return outcome(FetchOutcome::NoResource, "the engine view has no row for the resource");
    }
    return found(std::move(resource));
}

// Answers a root whose type the engine formats: through the engine view EngineViews names
// for rootView, or the root itself when the route's row names no engine view.
FetchResult answerEngineType(const std::string& uri, const std::string& rootView,
                             Json::Value&& root) {
    std::string engineHead;
    const int rc = GetRequestedSchemaData(kEngineViewQuery, engineHead, rootView.c_str());
    if (rc == SQLITE_DONE) {
        return failed("no EngineViews row for route " + rootView + " of type " +
                      root["@odata.type"].asString());
    }
    if (rc != SQLITE_ROW) return failed("EngineViews lookup: " + sqliteFailure(rc));
    if (engineHead.empty()) return found(std::move(root));
    return buildThroughEngine(uri, engineHead);
}

} // namespace

FetchResult fetchResource(const std::string& uri) {
    std::lock_guard<std::mutex> lock(gLibraryMutex);
    std::string statement;
    int rc = GetViewNameFromopenApiDB(uri.c_str(), statement);
    if (rc != SQLITE_OK) return failed("resolving: " + sqliteFailure(rc));
    const std::string rootView = rootViewOf(statement);
    if (rootView.empty()) return outcome(FetchOutcome::NoRoute);
    std::string rootText;
    rc = GetRequestedSchemaData(statement.c_str(), rootText, uri.c_str());
    if (rc == SQLITE_DONE || (rc == SQLITE_ROW && rootText.empty())) {
        return outcome(FetchOutcome::NoResource);
    }
    if (rc != SQLITE_ROW) return failed("root query failed: " + sqliteFailure(rc));
    Json::Value root;
    if (!parseObject(rootText, root)) return failed("the root column is not a JSON object");
    static const char kTypeKey[] = "@odata.type";
    const Json::Value* type = root.find(kTypeKey, kTypeKey + sizeof kTypeKey - 1);
    if (type == nullptr || !isEngineType(*type)) return found(std::move(root));
    return answerEngineType(uri, rootView, std::move(root));
}

std::string resourceText(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "  ";
    builder["precision"] = 15; // 0.1 prints as 0.1, not 0.10000000000000001
    return Json::writeString(builder, value) + "\n";
}

std::string withoutTrailingSlashes(const std::string& path) {
    const std::string::size_type end = path.find_last_not_of('/');
    return end == std::string::npos ? path.substr(0, 1) : path.substr(0, end + 1);
}

std::string sqliteFailure(int rc) {
    return "SQLite error " + std::to_string(rc) + " (" + sqlite3_errstr(rc) + ")";
}
