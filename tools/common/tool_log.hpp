// The tool's sink for the converter's log: the tool defines vexaprintf itself (cli/), and the
// executable's definition takes the platform library's place for every caller in the process.
//
// Threshold: --log-level N, else SQL2JSON_LOG_LEVEL, else the tool's default, which shows
// levels up to 2 (failures) except the engine's notes on each property and row it formats
// ("PropertyType is missing", "expand level is leq"): the sample's metadata lists every
// schema property, so those would drown the tool's own output. An explicit level shows
// exactly the levels up to it. What the converter ran and what failed, the tool learns from
// SQLite (sqlite_watch.hpp), not from these lines.
#ifndef SQL2JSON_TOOLS_COMMON_TOOL_LOG_HPP
#define SQL2JSON_TOOLS_COMMON_TOOL_LOG_HPP

#include <cstdarg>

// Sets the threshold from --log-level for every later message.
void setToolLogLevel(int level);

// Writes one converter message as "<level> <module> <message>" on standard error when the
// threshold shows it, with one write() (safe before the C++ runtime is up). Returns what
// vexaprintf returns: the bytes written, 0 when not shown, -1 when the write failed.
int writeToolLog(int level, int module, const char* format, va_list args);

// Keeps the converter's messages of the constructing thread off standard error while it lives.
class QuietLog {
  public:
    QuietLog();
    ~QuietLog();
    QuietLog(const QuietLog&) = delete;
    QuietLog& operator=(const QuietLog&) = delete;
};

#endif
