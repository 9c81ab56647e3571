// The tool's log sink (tool_log.hpp): exports setToolLogLevel, writeToolLog and QuietLog. It
// runs while the converter is loaded, before main, so it keeps no objects with constructors or
// destructors.
#include "common/tool_log.hpp"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kFailureLevel = 2;
constexpr int kDefault = -999; // no explicit level: failures without the per-property lines
constexpr int kUnset = -1000;
std::atomic<int> gLevel{kUnset};

thread_local int tQuiet = 0; // QuietLog scopes open on the thread

// The threshold in force: --log-level, else the environment, else kDefault.
int threshold() {
    int level = gLevel.load(std::memory_order_relaxed);
    if (level != kUnset) return level;
    const char* env = std::getenv("SQL2JSON_LOG_LEVEL");
    level =
        env != nullptr && *env != '\0' ? static_cast<int>(std::strtol(env, nullptr, 10)) : kDefault;
    gLevel.store(level, std::memory_order_relaxed);
    return level;
}

// The engine's notes on each property and sub-query row it formats: logged at the failure
// level, but about the views' design, not a failure of the call. Only what is shown depends
// on these texts.
const char* const kFormatterNotes[] = {"PropertyType is missing", "expand level is leq"};

// True when a message at level with format is written.
bool shown(int level, const char* format) {
    if (tQuiet > 0) return false;
    const int limit = threshold();
    if (limit != kDefault) return level <= limit;
    if (level > kFailureLevel) return false;
    for (const char* note : kFormatterNotes) {
        if (std::strstr(format, note) != nullptr) return false;
    }
    return true;
}

} // namespace

void setToolLogLevel(int level) { gLevel.store(level, std::memory_order_relaxed); }

QuietLog::QuietLog() { ++tQuiet; }

QuietLog::~QuietLog() { --tQuiet; }

int writeToolLog(int level, int module, const char* format, va_list args) {
    if (format == nullptr || !shown(level, format)) return 0;
    char line[4096];
    const int head = std::snprintf(line, sizeof line, "%d %d ", level, module);
    std::vsnprintf(line + head, sizeof line - static_cast<std::size_t>(head) - 1, format, args);
    std::size_t length = std::strlen(line);
    if (line[length - 1] != '\n') line[length++] = '\n';
    const ssize_t written = write(STDERR_FILENO, line, length);
    return written < 0 ? -1 : static_cast<int>(written);
}
