// The tool on a staged file tree (staged_root.hpp): exports setStagedRoot, installStagedRoot,
// stagedPath, the fixed database paths, and the process's fopen and fopen64.
#include "staged_root.hpp"

#include <dlfcn.h>
#include <limits.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sqlite3.h>

#include "tool_paths.hpp"

#if defined(__USE_FILE_OFFSET64) && !defined(__LP64__)
#error "fopen would name fopen64 here: build the tool without _FILE_OFFSET_BITS=64"
#endif

const char kLiveObjectDbPath[] = "/var/run/unifieddatabase/DMLiveObjectDatabase.db";
const char kOpenApiDbPath[] = "/usr/share/redfish/rf_resource_info.db";
const char kMetadataDbPath[] = "/etc/unifieddatabase/RedfishSchemaMetaData.db";
const char kTelemetryDbPath[] = "/var/run/telemetryservice/telemetry_timeseries_database.db";

namespace {

const char kHmcDbPath[] = "/var/run/unifieddatabase/HMC.db";

// The files SQLite opens for the converter, and those opened with fopen.
const char* const kDatabases[] = {kLiveObjectDbPath, kOpenApiDbPath, kHmcDbPath, kMetadataDbPath,
                                  kTelemetryDbPath};
const char* const kPlainFiles[] = {"/flash/data0/oem_ps/configdbsynctime",
                                   "/var/lib/sql2json-host/oem_data.json",
                                   "/var/lib/sql2json-host/heater_state.json"};

bool gHaveRoot = false;
char gRoot[PATH_MAX]; // absolute, without a trailing '/' (so empty for "/")
sqlite3_vfs* gBaseVfs = nullptr;
sqlite3_vfs gStagedVfs;

// The fixed path that path names (the build's prefix, then one of fixedPaths), or null.
template <std::size_t N>
const char* fixedPathOf(const char* path, const char* const (&fixedPaths)[N]) {
    const std::size_t prefixLength = std::strlen(TOOL_PATH_PREFIX);
    if (path == nullptr || std::strncmp(path, TOOL_PATH_PREFIX, prefixLength) != 0) return nullptr;
    for (const char* fixed : fixedPaths) {
        if (std::strcmp(path + prefixLength, fixed) == 0) return fixed;
    }
    return nullptr;
}

// Writes root + fixed into out. False when it does not fit.
bool underRoot(const char* fixed, char* out, std::size_t size) {
    const int length = std::snprintf(out, size, "%s%s", gRoot, fixed);
    return length >= 0 && static_cast<std::size_t>(length) < size;
}

// The default VFS's name resolution, with the converter's databases taken under the root.
int stagedFullPathname(sqlite3_vfs* /*vfs*/, const char* name, int size, char* out) {
    char staged[PATH_MAX];
    const char* fixed = fixedPathOf(name, kDatabases);
    if (fixed != nullptr && !underRoot(fixed, staged, sizeof staged)) return SQLITE_CANTOPEN;
    return gBaseVfs->xFullPathname(gBaseVfs, fixed != nullptr ? staged : name, size, out);
}

using FopenFunction = FILE* (*)(const char*, const char*);

// The C library's function name, looked up past the tool's own.
FopenFunction nextFopen(const char* name) {
    return reinterpret_cast<FopenFunction>(dlsym(RTLD_NEXT, name));
}

// Opens path with the C library's function: one of the plain fixed files under the root when
// one is set.
FILE* openStaged(FopenFunction next, const char* path, const char* mode) {
    if (next == nullptr) return nullptr;
    char staged[PATH_MAX];
    const char* fixed = gHaveRoot ? fixedPathOf(path, kPlainFiles) : nullptr;
    if (fixed == nullptr) return next(path, mode);
    return underRoot(fixed, staged, sizeof staged) ? next(staged, mode) : nullptr;
}

} // namespace

const char* setStagedRoot(const char* dir) {
    struct stat info {};
    if (dir == nullptr || *dir == '\0') return "is empty";
    if (stat(dir, &info) != 0 || !S_ISDIR(info.st_mode)) return "is not a folder";
    if (std::strlen(dir) >= sizeof gRoot) return "is too long";
    if (realpath(dir, gRoot) == nullptr) return "cannot be resolved";
    if (std::strcmp(gRoot, "/") == 0) gRoot[0] = '\0'; // the root of the file system itself
    gHaveRoot = true;
    return nullptr;
}

bool installStagedRoot() {
    gBaseVfs = sqlite3_vfs_find(nullptr);
    if (gBaseVfs == nullptr) return false;
    gStagedVfs = *gBaseVfs; // its methods read only the fields copied with it
    gStagedVfs.pNext = nullptr;
    gStagedVfs.zName = "sql2json-staged-root";
    gStagedVfs.xFullPathname = stagedFullPathname;
    return sqlite3_vfs_register(&gStagedVfs, 1) == SQLITE_OK;
}

bool stagedPath(const char* fixedPath, char* out, std::size_t size) {
    const int length =
        std::snprintf(out, size, "%s%s", gHaveRoot ? gRoot : TOOL_PATH_PREFIX, fixedPath);
    if (length >= 0 && static_cast<std::size_t>(length) < size) return true;
    if (size > 0) out[0] = '\0';
    return false;
}

std::string stagedPath(const char* fixedPath) {
    char path[PATH_MAX];
    stagedPath(fixedPath, path, sizeof path);
    return path;
}

extern "C" __attribute__((visibility("default"))) FILE* fopen(const char* path, const char* mode) {
    static const FopenFunction next = nextFopen("fopen");
    return openStaged(next, path, mode);
}

extern "C" __attribute__((visibility("default"))) FILE* fopen64(const char* path,
                                                                const char* mode) {
    static const FopenFunction next = nextFopen("fopen64");
    return openStaged(next, path, mode);
}
