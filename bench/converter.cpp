// dlopen/dlsym access to the converter's public API.
#include "converter.hpp"

#include <dlfcn.h>

namespace bench {
namespace {

// Mangled names of the exported functions used here (see `nm -D` of the library).
constexpr const char* kGetJsonSymbol = "_Z32GetJsonDataFromSQLViewUsingQueryPKcRN4Json5ValueEj";
constexpr const char* kGetViewNameSymbol =
    "_Z24GetViewNameFromopenApiDBPKcRNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE";
constexpr const char* kGetSchemaDataSymbol =
    "_Z22GetRequestedSchemaDataPKcRNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEES0_";

// Resolves name in handle into fn; records the first missing name in error.
template <typename Fn> bool resolve(void* handle, const char* name, Fn& fn, std::string& error) {
    void* symbol = dlsym(handle, name);
    if (symbol == nullptr) {
        if (error.empty()) error = std::string("missing symbol ") + name;
        return false;
    }
    fn = reinterpret_cast<Fn>(symbol);
    return true;
}

} // namespace

bool loadConverter(const std::string& path, Converter& out, std::string& error) {
    out = Converter{};
    // RTLD_LOCAL: two builds of the converter (serving and load trees) may be loaded at once,
    // each keeping its own handles.
    out.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (out.handle == nullptr) {
        const char* why = dlerror();
        error = why != nullptr ? why : "dlopen failed";
        return false;
    }
    sqlite3** mainDb = nullptr;
    sqlite3** metadataDb = nullptr;
    bool ok = resolve(out.handle, "dmdbhandle", mainDb, error);
    ok = resolve(out.handle, "metadatadbhandle", metadataDb, error) && ok;
    ok = resolve(out.handle, kGetJsonSymbol, out.getJson, error) && ok;
    ok = resolve(out.handle, kGetViewNameSymbol, out.getViewName, error) && ok;
    ok = resolve(out.handle, kGetSchemaDataSymbol, out.getSchemaData, error) && ok;
    if (!ok) {
        unloadConverter(out);
        return false;
    }
    out.mainDb = *mainDb;
    out.metadataDb = *metadataDb;
    return true;
}

void unloadConverter(Converter& out) {
    if (out.handle != nullptr) dlclose(out.handle);
    out = Converter{};
}

bool isLoaded(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) return false;
    dlclose(handle);
    return true;
}

} // namespace bench
