// The tool's vexaprintf (tool_log.hpp): "<level> <module> <message>" lines on standard error,
// one write() each, filtered by the tool's threshold. It runs while the converter is loaded,
// before main, so it keeps no objects with constructors or destructors.
#include "tool_log.hpp"

#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vexa_logging.h"

namespace {

constexpr int kFailureLevel = 2;
constexpr int kDefault = -999; // no explicit level: failures without the per-property lines
constexpr int kUnset = -1000;
std::atomic<int> gLevel{kUnset};

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
// level, but about the views' design, not a failure of the call.
const char* const kFormatterNotes[] = {"PropertyType is missing", "expand level is leq"};

// The row reader's messages for a statement that fails to prepare or to step; SQLite's own
// message follows kErrorText.
const char* const kStatementFailures[] = {"failed to execute sql query.",
                                          "failed to read rows of sql query."};
const char kErrorText[] = "errormsg: ";

thread_local StatementFailures* tRecorder = nullptr;
thread_local int tQuiet = 0; // QuietLog scopes open on the thread

bool isStatementFailure(int level, const char* format) {
    if (level != kFailureLevel) return false;
    for (const char* failure : kStatementFailures) {
        if (std::strstr(format, failure) != nullptr) return true;
    }
    return false;
}

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

StatementFailures::StatementFailures() : outer_(tRecorder) { tRecorder = this; }

StatementFailures::~StatementFailures() { tRecorder = outer_; }

// Keeps SQLite's part of a formatted statement failure in the thread's innermost recorder.
void recordStatementFailure(const char* message) noexcept {
    const char* text = std::strstr(message, kErrorText);
    try {
        tRecorder->messages_.emplace_back(text != nullptr ? text + sizeof kErrorText - 1 : message);
    } catch (...) {
        // out of memory: the failure shows on standard error all the same
    }
}

extern "C" __attribute__((visibility("default"))) int vexaprintf(int level, int module,
                                                                 const char* format, ...) {
    if (format == nullptr) return 0;
    const bool record = tRecorder != nullptr && isStatementFailure(level, format);
    if (!record && !shown(level, format)) return 0;
    char line[4096];
    const int head = std::snprintf(line, sizeof line, "%d %d ", level, module);
    va_list args;
    va_start(args, format);
    std::vsnprintf(line + head, sizeof line - static_cast<std::size_t>(head) - 1, format, args);
    va_end(args);
    if (record) recordStatementFailure(line + head);
    if (!shown(level, format)) return 0;
    std::size_t length = std::strlen(line);
    if (line[length - 1] != '\n') line[length++] = '\n';
    const ssize_t written = write(STDERR_FILENO, line, length);
    return written < 0 ? -1 : static_cast<int>(written);
}
