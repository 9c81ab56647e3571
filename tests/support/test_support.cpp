#include "support/test_support.hpp"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <json/reader.h>

namespace testing_support {

namespace {
int gReportFd = -1;

std::string unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
            out += '\n';
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

void parseChildLine(const std::string& line, ChildRun& run) {
    if (line.rfind("L|", 0) == 0) {
        size_t a = line.find('|', 2);
        size_t b = line.find('|', a + 1);
        if (a == std::string::npos || b == std::string::npos) return;
        run.log.push_back({std::stoi(line.substr(2, a - 2)),
                           std::stoi(line.substr(a + 1, b - a - 1)), unescape(line.substr(b + 1))});
    } else if (line.rfind("R|", 0) == 0) {
        size_t a = line.find('|', 2);
        if (a == std::string::npos) return;
        run.reports[line.substr(2, a - 2)] = unescape(line.substr(a + 1));
    }
}
} // namespace

TestDb memoryDb(const std::string& sql) {
    sqlite3* raw = nullptr;
    sqlite3_open_v2(":memory:", &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    TestDb db(raw);
    if (!sql.empty()) exec(db.get(), sql);
    return db;
}

void exec(sqlite3* db, const std::string& sql) {
    char* error = nullptr;
    int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    EXPECT_EQ(rc, SQLITE_OK) << (error ? error : "") << "\nin: " << sql;
    sqlite3_free(error);
}

std::string evalText(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
        return std::string("<error: ") + sqlite3_errmsg(db) + ">";
    std::string result;
    int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) {
        const unsigned char* text = sqlite3_column_text(stmt, 0);
        result = text ? reinterpret_cast<const char*>(text) : "<null>";
    } else if (rc == SQLITE_DONE) {
        result = "<no row>";
    } else {
        result = std::string("<error: ") + sqlite3_errmsg(db) + ">";
    }
    sqlite3_finalize(stmt);
    return result;
}

void makeDirs(const std::string& path) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
}

void removeTree(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

void writeFile(const std::string& path, const std::string& content) {
    makeDirs(std::filesystem::path(path).parent_path().string());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

void createDbFile(const std::string& path, const std::string& sql) {
    makeDirs(std::filesystem::path(path).parent_path().string());
    std::error_code ec;
    std::filesystem::remove(path, ec);
    sqlite3* raw = nullptr;
    sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    TestDb db(raw);
    if (!sql.empty()) exec(db.get(), sql);
}

Json::Value parseJson(const std::string& text) {
    Json::Value value;
    Json::CharReaderBuilder builder;
    std::string errors;
    std::istringstream in(text);
    EXPECT_TRUE(Json::parseFromStream(builder, in, &value, &errors)) << errors << "\n" << text;
    return value;
}

std::string withoutLine(const std::string& message) {
    if (message.empty() || message[0] != '[') return message;
    size_t close = message.find(']');
    if (close == std::string::npos) return message;
    size_t colon = message.rfind(':', close);
    if (colon == std::string::npos || colon + 1 == close) return message;
    for (size_t i = colon + 1; i < close; ++i)
        if (message[i] < '0' || message[i] > '9') return message;
    return message.substr(0, colon) + message.substr(close);
}

std::vector<std::string> messages(const std::vector<fakes::LogRecord>& records, int level) {
    std::vector<std::string> out;
    for (const auto& r : records)
        if (level == 0 || r.level == level) out.push_back(withoutLine(r.message));
    return out;
}

int countLog(const std::vector<fakes::LogRecord>& records, int level, const std::string& text) {
    int count = 0;
    for (const auto& r : records)
        if (r.level == level && withoutLine(r.message) == text) ++count;
    return count;
}

int countLog(int level, const std::string& text) {
    return countLog(fakes::logRecords(), level, text);
}

std::string emptyMetadataTablesSql() {
    static const char* const kTypes[] = {"#Assembly.v1_5_1.Assembly",
                                         "#Assembly.v1_5_1.AssemblyData",
                                         "#Fabric.v1_3_2.Fabric",
                                         "#FabricCollection.FabricCollection",
                                         "#PCIeDevice.v1_14_0.PCIeDevice",
                                         "#PCIeFunction.v1_6_0.PCIeFunction",
                                         "#Port.v1_12_0.Port",
                                         "#PortCollection.PortCollection",
                                         "#Switch.v1_9_3.Switch",
                                         "#SwitchCollection.SwitchCollection",
                                         "#Power.v1_7_3.Voltage",
                                         "#Power.v1_7_3.PowerControl",
                                         "#Power.v1_7_3.Power",
                                         "#Power.v1_7_3.PowerSupply",
                                         "#Redundancy.v1_4_2.Redundancy",
                                         "#BootOption.v1_0_6.BootOption",
                                         "#BootOptionCollection.BootOptionCollection",
                                         "#Thermal.v1_7_3.Thermal",
                                         "#Thermal.v1_7_3.Temperature",
                                         "#Thermal.v1_7_3.Fan"};
    std::string sql;
    for (const char* type : kTypes)
        sql += std::string("create table [") + type + "](PropertyName text, PropertyType text);";
    return sql;
}

void report(const std::string& key, const std::string& value) {
    if (gReportFd < 0) return;
    std::string line = "R|" + key + "|";
    for (char c : value)
        line += (c == '\n') ? std::string("\\n") : std::string(1, c);
    line += '\n';
    ssize_t ignored = write(gReportFd, line.data(), line.size());
    (void)ignored;
}

ChildRun runInChild(const std::function<int()>& body) {
    ChildRun run;
    int fds[2];
    if (pipe(fds) != 0) {
        ADD_FAILURE() << "pipe failed";
        return run;
    }
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        gReportFd = fds[1];
        fakes::setLogMirrorFd(fds[1]);
        int result = body();
        std::fflush(nullptr);
        std::exit(result); // runs the library's unload, whose log the parent also reads
    }
    close(fds[1]);
    std::string pending;
    char buffer[4096];
    ssize_t got;
    while ((got = read(fds[0], buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR)) {
        if (got <= 0) continue;
        pending.append(buffer, static_cast<size_t>(got));
        size_t newline;
        while ((newline = pending.find('\n')) != std::string::npos) {
            parseChildLine(pending.substr(0, newline), run);
            pending.erase(0, newline + 1);
        }
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    run.exited = WIFEXITED(status);
    run.status = run.exited ? WEXITSTATUS(status) : -1;
    return run;
}

} // namespace testing_support
