// The tool on a staged file tree (staged_root.hpp): exports setStagedRoot, installStagedRoot,
// stagedPath, nextFopen and openStaged.
#include "common/staged_root.hpp"

#include <dlfcn.h>
#include <limits.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sqlite3.h>

#include "common/tree_files.hpp"
#include "tool_paths.hpp"

namespace {

bool gHaveRoot = false;
char gRoot[PATH_MAX]; // absolute, without a trailing '/' (so empty for "/")
sqlite3_vfs* gBaseVfs = nullptr;
sqlite3_vfs gStagedVfs;

// The fixed path of a file of the tree (tree_files.hpp) of kind that path names (the build's
// prefix, then that fixed path), or null.
const char* fixedPathOf(const char* path, TreeFileKind kind) {
    const std::size_t prefixLength = std::strlen(TOOL_PATH_PREFIX);
    if (path == nullptr || std::strncmp(path, TOOL_PATH_PREFIX, prefixLength) != 0) return nullptr;
    for (std::size_t i = 0; i < kTreeFileCount; ++i) {
        const TreeFile& file = kTreeFiles[i];
        if (file.kind == kind && std::strcmp(path + prefixLength, file.path) == 0) return file.path;
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
    const char* fixed = fixedPathOf(name, TreeFileKind::Database);
    if (fixed != nullptr && !underRoot(fixed, staged, sizeof staged)) return SQLITE_CANTOPEN;
    return gBaseVfs->xFullPathname(gBaseVfs, fixed != nullptr ? staged : name, size, out);
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

FopenFunction nextFopen(const char* name) {
    return reinterpret_cast<FopenFunction>(dlsym(RTLD_NEXT, name));
}

FILE* openStaged(FopenFunction next, const char* path, const char* mode) {
    if (next == nullptr) return nullptr;
    char staged[PATH_MAX];
    const char* fixed = gHaveRoot ? fixedPathOf(path, TreeFileKind::DataFile) : nullptr;
    if (fixed == nullptr) return next(path, mode);
    return underRoot(fixed, staged, sizeof staged) ? next(staged, mode) : nullptr;
}
