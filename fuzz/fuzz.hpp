// What the fuzz targets share: an OEM data stand-in, and an in-memory connection with the
// library's SQL functions on which fuzzed SQL runs within bounds. Each target is one source
// file, which includes this header once. (The host platform layer logs nothing: make fuzz runs
// the targets with SQL2JSON_LOG_LEVEL=0.)
#include "internal.hpp"
#include "vexa_oem_data.h"

// OEM data: an object for identifiers starting with 'o', a text for 's', none for the others.
int getResourceOemData(char* kind, char* id, char* /*reserved*/, Json::Value& out) {
    if (id[0] == 'o') out["Kind"] = kind;
    if (id[0] == 's') out = id;
    return out.isNull() ? -1 : 0;
}

int gSteps = 0; // progress calls since the input began; each is ten virtual machine steps

// A fresh connection with the SQL functions, after sql ran on it: no file can be attached, no
// value grows past 100 kB, and once an input has run 200 000 steps every statement stops, so
// that neither a recursive query nor views that fan out can make a run endless.
DbPtr fuzzDb(const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open(":memory:", &db);
    sqlite3_limit(db, SQLITE_LIMIT_ATTACHED, 0);
    sqlite3_limit(db, SQLITE_LIMIT_LENGTH, 100000);
    sqlite3_progress_handler(
        db, 10, [](void*) { return ++gSteps > 20000 ? 1 : 0; }, nullptr);
    registerSqlFunctions(db);
    gSteps = 0;
    // The callback makes SQLite read every result column as text, to its last byte.
    sqlite3_exec(
        db, sql.c_str(), [](void*, int, char**, char**) { return 0; }, nullptr, nullptr);
    return DbPtr(db);
}
