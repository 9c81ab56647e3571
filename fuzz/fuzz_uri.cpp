// Fuzzes the text entry points: the URI lookup over a fixed UriInfo table, the FROM-clause
// search and the offset rewrite. The first character ('0', '1', '2') chooses the function;
// the rest is its text.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "internal.hpp"

namespace {

constexpr const char* kSchema = R"sql(
create table UriInfo(URI text, n_Segments integer, view_name text, CTE text, privilege text,
                     link text, allow_header text, CTE_length integer);
insert into UriInfo values
  ('/redfish/v1', 2, 'ServiceRoot', null, 'Login', null, 'GET', null),
  ('/redfish/v1/Chassis', 3, 'ChassisCollection', null, 'Login', null, 'GET', null),
  ('/redfish/v1/Chassis/%', 4, 'Chassis', 'WITH a AS (SELECT 1)', 'Login', null, 'GET', 20),
  ('/redfish/v1/Chassis/1U', 4, 'Chassis1U', null, 'Login', null, 'GET', null),
  ('/redfish/v1/Chassis/%/Power', 5, 'Power', null, 'Login', null, 'GET', null),
  ('/redfish/v1/Chassis/_U/Thermal', 5, null, null, 'Login', null, 'GET', null),
  ('%', 0, 'Anything', null, null, null, null, null);
)sql";

sqlite3* mainDb() {
    static sqlite3* db = [] {
        sqlite3* opened = nullptr;
        sqlite3_open(":memory:", &opened);
        sqlite3_exec(opened, kSchema, nullptr, nullptr, nullptr);
        return opened;
    }();
    return db;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    dmdbhandle = mainDb();
    std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (static_cast<uint8_t>(data[0] - '0') % 3) {
    case 0: {
        std::string out;
        GetViewNameFromopenApiDB(text.c_str(), out);
        break;
    }
    case 1:
        GetPositionofFromCluase(text.c_str());
        break;
    default: {
        // The rewrite grows the text by one byte: the buffer keeps a zero byte to spare.
        std::vector<char> buffer(text.size() + 2, '\0');
        std::memcpy(buffer.data(), text.data(), text.size());
        GetUTCFormatFromDatetime(buffer.data());
        break;
    }
    }
    return 0;
}
