// The converter as a caller's process has it: loaded with dlopen (which opens its databases,
// registers its SQL functions and builds its property-type map), its API found with dlsym.
#ifndef SQL2JSON_BENCH_CONVERTER_HPP
#define SQL2JSON_BENCH_CONVERTER_HPP

#include <string>

#include <json/value.h>
#include <sqlite3.h>

namespace bench {

struct Converter {
    void* handle = nullptr;
    sqlite3* mainDb = nullptr; // the library's main connection (dmdbhandle)
    sqlite3* metadataDb = nullptr;
    int (*getJson)(const char*, Json::Value&, unsigned int) = nullptr;
    int (*getViewName)(const char*, std::string&) = nullptr;
    int (*getSchemaData)(const char*, std::string&, const char*) = nullptr;
};

// Loads the converter at path and resolves its API. Returns false with error set when the
// library cannot be loaded or lacks a symbol (it is then unloaded again).
bool loadConverter(const std::string& path, Converter& out, std::string& error);

// Unloads it; afterwards out is empty.
void unloadConverter(Converter& out);

// True while the library at path is still mapped in this process.
bool isLoaded(const std::string& path);

} // namespace bench

#endif // SQL2JSON_BENCH_CONVERTER_HPP
