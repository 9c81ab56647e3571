// Fuzzes the text entry points: the URI lookup over a fixed UriInfo table, the FROM search and
// the offset rewrite. The first character ('0', '1', '2') chooses; the rest is the text.
#include "fuzz.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static DbPtr db = fuzzDb(
        "create table UriInfo(URI, n_Segments, view_name, CTE, privilege, link, allow_header,"
        " CTE_length); insert into UriInfo(URI, n_Segments, view_name, CTE) values"
        " ('/redfish/v1/Chassis/%', 4, 'Chassis', 'WITH a AS (SELECT 1)'),"
        " ('/redfish/v1/Chassis/_U/Thermal', 5, NULL, NULL), ('%', 0, 'Any', NULL)");
    if (size == 0) return 0;
    std::string text(reinterpret_cast<const char*>(data) + 1, size - 1), out;
    dmdbhandle = db.get();
    gSteps = 0;
    if (data[0] % 3 == 0) GetViewNameFromopenApiDB(text.c_str(), out);
    if (data[0] % 3 == 1) GetPositionofFromCluase(text.c_str());
    text.append(2, '\0'); // the rewrite grows the text by one byte, into a spare zero byte
    if (data[0] % 3 == 2) GetUTCFormatFromDatetime(&text[0]);
    return 0;
}
