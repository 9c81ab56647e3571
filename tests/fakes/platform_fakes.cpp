#include "fakes/platform_fakes.hpp"

#include <cstdarg>
#include <cstdio>
#include <map>
#include <mutex>
#include <unistd.h>

namespace {

struct FakeState {
    std::mutex mutex;
    std::vector<fakes::LogRecord> log;
    int mirrorFd = -1;
    std::map<std::pair<std::string, std::string>, Json::Value> oemData;
    std::vector<fakes::OemCall> oemCalls;
    int oemCloses = 0;
    std::map<std::string, std::pair<DataAbstraction::HeaterMgr::PropertyValue, int32_t>> heater;
    std::vector<fakes::HeaterCall> heaterCalls;
    std::string ipcFile;
    int ipcStatus = 0;
};

// Never destroyed: the converter logs during static destruction at process exit.
FakeState& state() {
    static FakeState* s = new FakeState;
    return *s;
}

void mirror(int fd, const fakes::LogRecord& record) {
    std::string line =
        "L|" + std::to_string(record.level) + "|" + std::to_string(record.module) + "|";
    for (char c : record.message)
        line += (c == '\n') ? std::string("\\n") : std::string(1, c);
    line += '\n';
    ssize_t ignored = write(fd, line.data(), line.size());
    (void)ignored;
}

} // namespace

extern "C" int vexaprintf(int level, int module, const char* format, ...) {
    char buffer[8192];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    FakeState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.log.push_back({level, module, buffer});
    if (s.mirrorFd >= 0) mirror(s.mirrorFd, s.log.back());
    return 0;
}

int getResourceOemData(char* kind, char* id, char* reserved, Json::Value& out) {
    FakeState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.oemCalls.push_back({kind ? kind : "<null>", id ? id : "<null>", reserved == nullptr});
    auto it = s.oemData.find({kind ? kind : "", id ? id : ""});
    if (it == s.oemData.end()) return -1;
    out = it->second;
    return 0;
}

int oemDatabaseClose() {
    FakeState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    ++s.oemCloses;
    if (s.mirrorFd >= 0) mirror(s.mirrorFd, {0, 0, "oemDatabaseClose"});
    return 0;
}

namespace DataAbstraction {
namespace HeaterMgr {
int32_t get_property(const std::string& service, const std::string& path,
                     const std::string& property, PropertyValue& value) {
    FakeState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.heaterCalls.push_back({service, path, property});
    auto it = s.heater.find(property);
    if (it == s.heater.end()) return -1;
    value = it->second.first;
    return it->second.second;
}
} // namespace HeaterMgr
} // namespace DataAbstraction

extern "C" int VirtualAcCycleReq_IPCClient(int32_t* command, int32_t* cycleType,
                                           int32_t* responseSize, uint8_t** response) {
    FakeState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    bool zeroed = response != nullptr && *response != nullptr && responseSize != nullptr;
    for (int32_t i = 0; zeroed && i < *responseSize; ++i)
        zeroed = (*response)[i] == 0;
    if (!s.ipcFile.empty()) {
        if (FILE* f = std::fopen(s.ipcFile.c_str(), "a")) {
            std::fprintf(f, "%d %d %d %d\n", command ? static_cast<int>(*command) : -1,
                         cycleType ? static_cast<int>(*cycleType) : -1,
                         responseSize ? static_cast<int>(*responseSize) : -1, zeroed ? 1 : 0);
            std::fclose(f);
        }
    }
    return s.ipcStatus;
}

namespace fakes {

std::vector<LogRecord> logRecords() {
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().log;
}
void clearLog() {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().log.clear();
}
void setLogMirrorFd(int fd) {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().mirrorFd = fd;
}
void setOemData(const std::string& kind, const std::string& id, const Json::Value& data) {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().oemData[{kind, id}] = data;
}
std::vector<OemCall> oemCalls() {
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().oemCalls;
}
int oemCloseCount() {
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().oemCloses;
}
void resetOem() {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().oemData.clear();
    state().oemCalls.clear();
    state().oemCloses = 0;
}
void setHeaterProperty(const std::string& property,
                       const DataAbstraction::HeaterMgr::PropertyValue& value, int32_t status) {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().heater[property] = {value, status};
}
std::vector<HeaterCall> heaterCalls() {
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().heaterCalls;
}
void resetHeater() {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().heater.clear();
    state().heaterCalls.clear();
}
void setIpcRecordFile(const std::string& path) {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().ipcFile = path;
}
void setIpcStatus(int status) {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().ipcStatus = status;
}

} // namespace fakes
