// The tool's log sink for the converter: the tool defines vexaprintf itself, and the
// executable's definition takes the platform library's place for every caller in the process.
//
// Threshold: --log-level N, else SQL2JSON_LOG_LEVEL, else the tool's default, which shows
// levels up to 2 (failures) except the engine's notes on each property and row it formats
// ("PropertyType is missing", "expand level is leq = 0"): the sample's metadata lists every
// schema property, so those would drown the tool's own output. An explicit level shows
// exactly the levels up to it.
#ifndef SQL2JSON_TOOLS_TOOL_LOG_HPP
#define SQL2JSON_TOOLS_TOOL_LOG_HPP

#include <string>
#include <vector>

// Sets the threshold from --log-level for every later message.
void setToolLogLevel(int level);

// Keeps the converter's messages of the constructing thread off standard error while it lives
// (a statement failure is still recorded).
class QuietLog {
  public:
    QuietLog();
    ~QuietLog();
    QuietLog(const QuietLog&) = delete;
    QuietLog& operator=(const QuietLog&) = delete;
};

// Records, while it lives, SQLite's message for every statement of the converter that fails to
// prepare or to step on the constructing thread (the row reader's failures, at any depth of
// sub-queries), whatever the threshold shows. Scopes nest: the innermost one records.
class StatementFailures {
  public:
    StatementFailures();
    ~StatementFailures();
    StatementFailures(const StatementFailures&) = delete;
    StatementFailures& operator=(const StatementFailures&) = delete;

    // The messages recorded so far ("no such table: SensorVeiw"), in order.
    const std::vector<std::string>& messages() const { return messages_; }

  private:
    friend void recordStatementFailure(const char* message) noexcept;
    std::vector<std::string> messages_;
    StatementFailures* outer_;
};

#endif
