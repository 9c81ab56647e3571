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

// Sets the threshold from --log-level for every later message.
void setToolLogLevel(int level);

#endif
