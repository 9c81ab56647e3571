// The functions the executable defines in place of the platform's and the C library's, for
// every library in the process (exports.list names them): the converter's log goes to the
// tool's sink (common/tool_log.hpp), and fopen opens the fixed plain files under --root
// (common/staged_root.hpp). Built into the executable only, never into the tool's library, so
// that tests linking that library keep their own.
#include <cstdarg>
#include <cstdio>

#include "common/staged_root.hpp"
#include "common/tool_log.hpp"
#include "vexa_logging.h"

#if defined(__USE_FILE_OFFSET64) && !defined(__LP64__)
#error "fopen would name fopen64 here: build the tool without _FILE_OFFSET_BITS=64"
#endif

#define TOOL_EXPORT extern "C" __attribute__((visibility("default")))

TOOL_EXPORT int vexaprintf(int level, int module, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int written = writeToolLog(level, module, format, args);
    va_end(args);
    return written;
}

TOOL_EXPORT FILE* fopen(const char* path, const char* mode) {
    static const FopenFunction next = nextFopen("fopen");
    return openStaged(next, path, mode);
}

TOOL_EXPORT FILE* fopen64(const char* path, const char* mode) {
    static const FopenFunction next = nextFopen("fopen64");
    return openStaged(next, path, mode);
}
