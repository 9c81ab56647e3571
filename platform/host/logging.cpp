// Host logging: one line per message on standard error, "<level> <module> <message>".
// Messages above the threshold in SQL2JSON_LOG_LEVEL (default 2: failures only) are dropped.
// No C++ objects with destructors here: the converter logs during load and unload.
#include "vexa_logging.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

constexpr int kDefaultThreshold = 2;
constexpr int kUnset = -1000;
std::atomic<int> gThreshold{kUnset};

int threshold() {
    int value = gThreshold.load(std::memory_order_relaxed);
    if (value != kUnset) return value;
    const char* env = std::getenv("SQL2JSON_LOG_LEVEL");
    value = env != nullptr ? static_cast<int>(std::strtol(env, nullptr, 10)) : kDefaultThreshold;
    gThreshold.store(value, std::memory_order_relaxed);
    return value;
}

} // namespace

extern "C" __attribute__((visibility("default"))) int vexaprintf(int level, int module,
                                                                 const char* format, ...) {
    if (format == nullptr || level > threshold()) return 0;
    char line[4096];
    int used = std::snprintf(line, sizeof line, "%d %d ", level, module);
    va_list args;
    va_start(args, format);
    std::vsnprintf(line + used, sizeof line - static_cast<size_t>(used) - 1, format, args);
    va_end(args);
    size_t len = 0;
    while (line[len] != '\0')
        ++len;
    if (len == 0 || line[len - 1] != '\n') line[len++] = '\n';
    // One write per line, so lines of concurrent threads do not interleave.
    ssize_t written = write(STDERR_FILENO, line, len);
    return written < 0 ? -1 : static_cast<int>(written);
}
