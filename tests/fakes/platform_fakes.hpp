// Recording fakes of the platform layer, linked into the test executables in place of the
// host platform library.
#ifndef SQL2JSON_TESTS_PLATFORM_FAKES_HPP
#define SQL2JSON_TESTS_PLATFORM_FAKES_HPP

#include <cstdint>
#include <string>
#include <vector>

#include <json/value.h>

#include "vexa_heater_mgr.h"
#include "vexa_ipc_client.h"
#include "vexa_logging.h"
#include "vexa_oem_data.h"

namespace fakes {

struct LogRecord {
    int level;
    int module;
    std::string message; // formatted, line numbers included
};

// Every vexaprintf call so far, in order.
std::vector<LogRecord> logRecords();
void clearLog();
// Also write each record, as one "L|<level>|<module>|<message>" line with '\n' escaped, to fd
// (-1 stops). Used by forked children to hand their log to the parent.
void setLogMirrorFd(int fd);

// OEM data cache: getResourceOemData answers from this table.
struct OemCall {
    std::string kind;
    std::string id;
    bool reservedIsNull;
};
void setOemData(const std::string& kind, const std::string& id, const Json::Value& data);
std::vector<OemCall> oemCalls();
int oemCloseCount();
void resetOem();

// Heater manager: get_property answers from this table (status -1 and no value when absent).
struct HeaterCall {
    std::string service;
    std::string path;
    std::string property;
};
void setHeaterProperty(const std::string& property,
                       const DataAbstraction::HeaterMgr::PropertyValue& value, int32_t status = 0);
std::vector<HeaterCall> heaterCalls();
void resetHeater();

// IPC client: appends "command cycleType responseSize responseWasZeroed" as one line to the
// file set here (so a forked child's call is visible to the parent) and returns status.
void setIpcRecordFile(const std::string& path);
void setIpcStatus(int status);

} // namespace fakes

#endif // SQL2JSON_TESTS_PLATFORM_FAKES_HPP
