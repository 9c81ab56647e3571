// Fuzzes the custom SQL functions through SQL on a connection where they are registered.
// Input (text, so seeds stay readable): a digit picking the function, a digit giving the
// argument count (0-3), then the arguments separated by '|', each a storage-class letter
// (i integer, r real, t text, b blob, anything else NULL) followed by its payload.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "internal.hpp"

namespace {

const char* const kFunctions[] = {
    "json_bool",          "GetISODateTime",       "LastSystemInventoryTime",
    "convertTimeFormat",  "convertStringToBytes", "GetHeaterMgrValues",
    "Convert_ReleaseDate"};
constexpr size_t kFunctionCount = sizeof kFunctions / sizeof kFunctions[0];

sqlite3* functionDb() {
    static sqlite3* db = [] {
        sqlite3* opened = nullptr;
        sqlite3_open(":memory:", &opened);
        registerSqlFunctions(opened);
        return opened;
    }();
    return db;
}

// Binds the argument text arg (class letter and payload) to parameter index.
void bindArgument(sqlite3_stmt* stmt, int index, const std::string& arg) {
    const char kind = arg.empty() ? 'n' : arg[0];
    const std::string payload = arg.empty() ? std::string() : arg.substr(1);
    switch (kind) {
    case 'i':
        sqlite3_bind_int64(stmt, index, std::strtoll(payload.c_str(), nullptr, 0));
        break;
    case 'r':
        sqlite3_bind_double(stmt, index, std::strtod(payload.c_str(), nullptr));
        break;
    case 't':
        sqlite3_bind_text(stmt, index, payload.data(), static_cast<int>(payload.size()),
                          SQLITE_TRANSIENT);
        break;
    case 'b':
        sqlite3_bind_blob(stmt, index, payload.data(), static_cast<int>(payload.size()),
                          SQLITE_TRANSIENT);
        break;
    default:
        sqlite3_bind_null(stmt, index);
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const char* name = kFunctions[static_cast<uint8_t>(data[0] - '0') % kFunctionCount];
    const int argc = static_cast<uint8_t>(data[1] - '0') % 4;
    std::string sql = std::string("select ") + name + "(";
    for (int i = 0; i < argc; ++i)
        sql += i ? ", ?" : "?";
    sql += ")";
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(functionDb(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) return 0;
    StmtPtr stmt(raw);
    std::string rest(reinterpret_cast<const char*>(data) + 2, size - 2);
    for (int i = 1; i <= argc; ++i) {
        size_t bar = rest.find('|');
        bindArgument(stmt.get(), i, rest.substr(0, bar));
        rest = bar == std::string::npos ? std::string() : rest.substr(bar + 1);
    }
    if (sqlite3_step(stmt.get()) == SQLITE_ROW) {
        // Read the whole result, as a view's caller does.
        const unsigned char* text = sqlite3_column_text(stmt.get(), 0);
        const int bytes = sqlite3_column_bytes(stmt.get(), 0);
        volatile unsigned sum = 0;
        for (int i = 0; text != nullptr && i < bytes; ++i)
            sum = sum + text[i];
    }
    return 0;
}
