// JSON text (json_text.hpp): exports resourceText, compactText and parseJsonText; and
// prepareStatement
// (sqlite_handles.hpp).
#include "common/json_text.hpp"

#include <memory>

#include <json/reader.h>
#include <json/writer.h>

#include "common/sqlite_handles.hpp"

namespace {

// The tool's writer: numbers with 15 significant digits (0.1 prints as 0.1, not
// 0.10000000000000001); non-ASCII characters as \u escapes in answers, as they are in messages.
std::string writeJson(const Json::Value& value, const char* indentation, bool utf8) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = indentation;
    builder["precision"] = 15;
    builder["emitUTF8"] = utf8;
    return Json::writeString(builder, value);
}

} // namespace

std::string resourceText(const Json::Value& value) { return writeJson(value, "  ", false) + "\n"; }

std::string compactText(const Json::Value& value) { return writeJson(value, "", true); }

bool parseJsonText(const std::string& text, Json::Value& out) {
    const Json::CharReaderBuilder builder;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    return reader->parse(text.data(), text.data() + text.size(), &out, &errors);
}

int prepareStatement(sqlite3* db, const char* sql, StatementPtr& stmt, const char** tail) {
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v2(db, sql, -1, &raw, tail);
    stmt.reset(raw);
    return rc;
}
