// Custom SQL functions of the main connection, and their registration.
// SQL functions, registered in this order by registerSqlFunctions (SQL name: callback):
//   json_bool(x): JsonBoolFunc; JSON literal true/false, subtype 'J'
//   GetISODateTime(...): GetISODateTime; local time "YYYY-MM-DDThh:mm:ss+hh:mm"
//   LastSystemInventoryTime(): GetLastSystemInventoryTime; CIM datetime of the last inventory
//   convertTimeFormat(text): convertOpensllToOdataTimeFormat; OpenSSL time text as OData time
//   convertStringToBytes(text): ConvertStringToByteFormat; "001122" as "00:11:22"
//   GetHeaterMgrValues(selector): GetHeaterMgrValues; heater-manager property as an integer
//   Convert_ReleaseDate(text): SoftInv_Convert_ReleaseDate; "March 15, 2021" as
//     "2021-03-15T00:00:00Z"
// Also exports GetUTCFormatFromDatetime, the "+hhmm" -> "+hh:mm" rewrite.
#include "internal.hpp"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "vexa_heater_mgr.h"

namespace {

constexpr int kJsonSubtype = 74; // 'J': how SQLite's JSON functions recognise JSON text
constexpr const char* kNoMemory = "failed to allocate memory";
constexpr size_t kIsoTimeSize = 64;
constexpr size_t kInventoryTimeSize = 56;
constexpr int kInventoryLineSize = 32;
constexpr size_t kConvertedTimeSize = 50; // converted time texts hold at most 49 characters

// Runs a callback body that may allocate through the C++ library, so that no exception
// reaches SQLite: an exhausted heap becomes the usual allocation error.
template <typename Body> void runGuarded(sqlite3_context* ctx, Body body) noexcept {
    try {
        body();
    } catch (const std::bad_alloc&) {
        sqlite3_result_error(ctx, kNoMemory, -1);
    } catch (...) {
        sqlite3_result_error(ctx, "internal error", -1);
    }
}

// Sets text[0, len) as the result in a fresh block with no terminator. Returns false (and
// sets nothing) when the block cannot be allocated.
bool resultUnterminated(sqlite3_context* ctx, const char* text, size_t len) {
    char* block = static_cast<char*>(sqlite3_malloc64(len));
    if (block == nullptr) return false;
    std::memcpy(block, text, len);
    sqlite3_result_text64(ctx, block, len, sqlite3_free, SQLITE_UTF8);
    return true;
}

// The argument's text, or null. An SQL NULL gives null with nothing set; a value whose text
// form cannot be made gives null with the allocation error set.
const char* argumentText(sqlite3_context* ctx, sqlite3_value* value) {
    const unsigned char* text = sqlite3_value_text(value);
    if (text == nullptr && sqlite3_value_type(value) != SQLITE_NULL)
        sqlite3_result_error(ctx, kNoMemory, -1);
    return reinterpret_cast<const char*>(text);
}

// ---- json_bool ---------------------------------------------------------------------------

// Decides the literal for a json_bool argument. Returns 1 for "true", 0 for "false", -1 for
// an argument json_bool does not understand (a BLOB) and -2 when the text form of a number
// cannot be made.
int jsonBoolValue(sqlite3_value* value) {
    switch (sqlite3_value_type(value)) {
    case SQLITE_TEXT: {
        // Only the exact text "true"; leading parts such as "t" or "" are false.
        const unsigned char* text = sqlite3_value_text(value);
        const int bytes = sqlite3_value_bytes(value);
        if (text == nullptr) return -2;
        return bytes == 4 && std::memcmp(text, "true", 4) == 0 ? 1 : 0;
    }
    case SQLITE_INTEGER:
    case SQLITE_FLOAT: {
        const unsigned char* text = sqlite3_value_text(value);
        if (text == nullptr) return -2;
        return text[0] == '1' ? 1 : 0;
    }
    case SQLITE_NULL:
        return 0;
    default:
        return -1;
    }
}

// ---- LastSystemInventoryTime ---------------------------------------------------------------

// Converts a second count to time_t; false when the platform's time_t cannot hold it.
bool toTimeT(long long count, time_t& out) {
    static_assert(std::is_integral<time_t>::value && std::is_signed<time_t>::value,
                  "time_t must be a signed integer");
    if constexpr (sizeof(time_t) < sizeof(long long)) {
        if (count < static_cast<long long>(std::numeric_limits<time_t>::min()) ||
            count > static_cast<long long>(std::numeric_limits<time_t>::max()))
            return false;
    }
    out = static_cast<time_t>(count);
    return true;
}

// Reads the first line of the inventory-time file into line (size kInventoryLineSize at
// most). Returns false when the file cannot be opened or yields nothing.
bool readInventoryLine(char* line) {
    FILE* file = std::fopen(INVENTORY_TIME_PATH, "r");
    if (file == nullptr) return false;
    const bool gotLine = std::fgets(line, kInventoryLineSize, file) != nullptr;
    std::fclose(file);
    return gotLine;
}

// Formats the inventory time held in the file as a CIM datetime into out (size
// kInventoryTimeSize). Returns false when there is no usable time.
bool formatInventoryTime(char* out) {
    if (!readInventoryLine(out)) return false;
    // strtoll in base 0 reads decimal, "0x" hexadecimal and leading-zero octal counts; a line
    // with no number counts as 0.
    time_t seconds = 0;
    if (!toTimeT(std::strtoll(out, nullptr, 0), seconds)) return false;
    struct tm utc {};
    if (gmtime_r(&seconds, &utc) == nullptr) return false;
    std::snprintf(out, kInventoryTimeSize, "%04lld%02d%02d%02d%02d%02d.000000+000",
                  static_cast<long long>(utc.tm_year) + 1900, utc.tm_mon + 1, utc.tm_mday,
                  utc.tm_hour, utc.tm_min, utc.tm_sec);
    return true;
}

// ---- convertTimeFormat ---------------------------------------------------------------------

// Splits text at every single space into at most maxFields fields: two spaces in a row give
// an empty field, a trailing space adds none, and the empty text has no field.
std::vector<std::string> splitAtSpaces(const char* text, size_t maxFields) {
    std::vector<std::string> fields;
    const char* cursor = text;
    while (*cursor != '\0' && fields.size() < maxFields) {
        const char* space = std::strchr(cursor, ' ');
        if (space == nullptr) {
            fields.emplace_back(cursor);
            break;
        }
        fields.emplace_back(cursor, space);
        cursor = space + 1;
    }
    return fields;
}

// The number 1 to 12 of a three-letter month abbreviation in any case, or 0.
int abbreviatedMonth(const std::string& field) {
    static constexpr const char* kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                              "jul", "aug", "sep", "oct", "nov", "dec"};
    std::string lowered = field;
    for (char& c : lowered)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    LOG_AT_AS("convertOpensllToOdataTimeFormat", kLogTrace, "Converted lower string %s ",
              lowered.c_str());
    for (int i = 0; i < 12; ++i)
        if (lowered == kMonths[i]) return i + 1;
    return 0;
}

// Sets the result of convertTimeFormat for its one argument.
void convertTimeText(sqlite3_context* ctx, sqlite3_value* value) {
    const char* text = argumentText(ctx, value);
    if (text == nullptr) return;
    const std::vector<std::string> fields = splitAtSpaces(text, 4);
    if (fields.size() < 4) {
        sqlite3_result_error(ctx, "Invalid time format", -1);
        return;
    }
    const int month = abbreviatedMonth(fields[0]);
    if (month == 0) {
        LOG_AT_AS("convertOpensllToOdataTimeFormat", kLogTrace, "Month Not found");
        sqlite3_result_error(ctx, "Invalid Month found", -1);
        return;
    }
    LOG_AT_AS("convertOpensllToOdataTimeFormat", kLogTrace, "Found Month Map");
    char converted[kConvertedTimeSize] = {};
    std::snprintf(converted, sizeof converted, "%s-%d-%sT%s+00:00", fields[3].c_str(), month,
                  fields[1].c_str(), fields[2].c_str());
    const size_t len = std::strlen(converted);
    LOG_AT_AS("convertOpensllToOdataTimeFormat", kLogTrace, "Length of string %d",
              static_cast<int>(len));
    if (!resultUnterminated(ctx, converted, len)) {
        sqlite3_result_error(ctx, kNoMemory, -1);
        return;
    }
    LOG_AT_AS("convertOpensllToOdataTimeFormat", kLogTrace, "Converted String %s", converted);
}

// ---- Convert_ReleaseDate -------------------------------------------------------------------

// Full English month names, one per 10-byte slot.
constexpr char kMonthNames[12][10] = {"January",   "February", "March",    "April",
                                      "May",       "June",     "July",     "August",
                                      "September", "October",  "November", "December"};

// The number of the first month whose full name token begins with; 1 (January) when none.
int fullMonthNumber(const std::string& token) {
    for (int i = 0; i < 12; ++i)
        if (token.compare(0, std::strlen(kMonthNames[i]), kMonthNames[i]) == 0) return i + 1;
    return 1;
}

// The first three tokens of text separated by runs of spaces (fewer when there are fewer).
std::vector<std::string> leadingTokens(const std::string& text) {
    std::vector<std::string> tokens;
    size_t start = text.find_first_not_of(' ');
    while (start != std::string::npos && tokens.size() < 3) {
        const size_t end = text.find(' ', start);
        tokens.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? end : text.find_first_not_of(' ', end);
    }
    return tokens;
}

// Converts "March 15, 2021" into "2021-03-15T00:00:00Z" in converted (size
// kConvertedTimeSize): "00:00:00Z" without a comma, the empty text (with a failure message)
// when month, day or year is missing.
void formatReleaseDate(std::string date, char* converted) {
    const size_t comma = date.find(',');
    if (comma == std::string::npos) {
        std::snprintf(converted, kConvertedTimeSize, "%s", "00:00:00Z");
        return;
    }
    date.erase(comma, 1);
    const std::vector<std::string> tokens = leadingTokens(date);
    if (tokens.size() < 3) {
        LOG_AT_AS("SoftInv_Convert_ReleaseDate", kLogFail,
                  "There is an issue with Parsing backend data");
        return;
    }
    std::snprintf(converted, kConvertedTimeSize, "%s-%02d-%sT00:00:00Z", tokens[2].c_str(),
                  fullMonthNumber(tokens[0]), tokens[1].c_str());
    LOG_AT_AS("SoftInv_Convert_ReleaseDate", kLogTrace, "Release Date after fromating = %s.\n",
              converted);
}

// Sets the result of Convert_ReleaseDate for its argument.
void convertReleaseDate(sqlite3_context* ctx, sqlite3_value* value) {
    const char* text = argumentText(ctx, value);
    if (text == nullptr) return;
    char converted[kConvertedTimeSize] = {};
    formatReleaseDate(text, converted);
    const size_t len = std::strlen(converted);
    LOG_AT_AS("SoftInv_Convert_ReleaseDate", kLogTrace, "Length of string %d",
              static_cast<int>(len));
    char* block = static_cast<char*>(sqlite3_malloc64(len + 1));
    if (block == nullptr) {
        sqlite3_result_error(ctx, kNoMemory, -1);
        return;
    }
    std::memcpy(block, converted, len + 1);
    LOG_AT_AS("SoftInv_Convert_ReleaseDate", kLogTrace, "Converted String %s", converted);
    sqlite3_result_text64(ctx, block, len, sqlite3_free, SQLITE_UTF8);
}

// ---- GetHeaterMgrValues --------------------------------------------------------------------

constexpr const char* kHeaterService = "com.vexa.ostra.HeaterManager";
constexpr const char* kHeaterPath = "/com/vexa/ostra/HeaterManager";

// The heater-manager property a selector names, or null for an unknown selector.
const char* heaterProperty(sqlite3_int64 selector) {
    switch (selector) {
    case 1:
        return "PreHeatDuration";
    case 2:
        return "CumulativeHeatDuration";
    case 3:
        return "Health";
    default:
        return nullptr;
    }
}

// Logs the platform's status for the property of selector (1 to 3).
void logHeaterStatus(sqlite3_int64 selector, int32_t status) {
    const long shown = static_cast<long>(status);
    if (selector == 1)
        LOG_AT_AS("GetHeaterMgrValues", kLogDetail, "PreHeatDuration status %ld", shown);
    else if (selector == 2)
        LOG_AT_AS("GetHeaterMgrValues", kLogDetail, "CumulativeHeatDuration status %ld", shown);
    else
        LOG_AT_AS("GetHeaterMgrValues", kLogDetail, "HeaterMgr Health status %ld", shown);
}

// Sets a duration (minutes from the platform) in seconds, truncated toward zero; SQL NULL
// when the value holds no double or the product does not fit a 32-bit integer.
void resultHeaterDuration(sqlite3_context* ctx, const char* property,
                          const DataAbstraction::HeaterMgr::PropertyValue& value) {
    const double* minutes = std::get_if<double>(&value);
    if (minutes == nullptr) {
        LOG_AT_AS("GetHeaterMgrValues", kLogFail, "%s value is not a double", property);
        return;
    }
    const double seconds = *minutes * 60.0;
    if (!(seconds > -2147483649.0 && seconds < 2147483648.0)) {
        LOG_AT_AS("GetHeaterMgrValues", kLogFail, "%s value %f is out of range", property, seconds);
        return;
    }
    sqlite3_result_int(ctx, static_cast<int>(seconds));
}

// Reads the property of selector (1 to 3) from the platform and sets it as the result.
void readHeaterProperty(sqlite3_context* ctx, sqlite3_int64 selector, const char* property) {
    const std::string service = kHeaterService;
    const std::string path = kHeaterPath;
    const std::string name = property;
    DataAbstraction::HeaterMgr::PropertyValue value{false};
    const int32_t status = DataAbstraction::HeaterMgr::get_property(service, path, name, value);
    logHeaterStatus(selector, status);
    if (selector != 3) {
        resultHeaterDuration(ctx, property, value);
        return;
    }
    const uint8_t* health = std::get_if<uint8_t>(&value);
    if (health == nullptr) {
        LOG_AT_AS("GetHeaterMgrValues", kLogFail, "%s value is not an 8-bit integer", property);
        return;
    }
    sqlite3_result_int(ctx, *health);
}

// ---- Registration --------------------------------------------------------------------------

void JsonBoolFunc(sqlite3_context* ctx, int argc, sqlite3_value** argv);
void GetISODateTime(sqlite3_context* ctx, int argc, sqlite3_value** argv);
void convertOpensllToOdataTimeFormat(sqlite3_context* ctx, int argc, sqlite3_value** argv);

// json_bool sets a result subtype; SQLite 3.45 and later want that declared.
#ifdef SQLITE_RESULT_SUBTYPE
constexpr int kJsonBoolFlags = SQLITE_UTF8 | SQLITE_RESULT_SUBTYPE;
#else
constexpr int kJsonBoolFlags = SQLITE_UTF8;
#endif

using ScalarFunction = void (*)(sqlite3_context*, int, sqlite3_value**);

struct SqlFunction {
    const char* name;
    int argCount; // -1: any number
    int flags;
    ScalarFunction callback;
    const char* before; // logged before registering, or null
    const char* success;
    const char* failure;
    bool fatal; // a failed registration ends the process
};

const SqlFunction kSqlFunctions[] = {
    {"json_bool", -1, kJsonBoolFlags, JsonBoolFunc, nullptr, "successfully created JsonBollFunc",
     "failed to create JsonBoolFunc", false},
    {"GetISODateTime", -1, SQLITE_UTF8, GetISODateTime, nullptr,
     "successfully created GetISODateTime", "failed to create GetISODateTime", false},
    {"LastSystemInventoryTime", 0, SQLITE_UTF8, GetLastSystemInventoryTime, nullptr,
     "successfully created GetLastSystemInventoryTime",
     "failed to create GetLastSystemInventoryTime", false},
    {"convertTimeFormat", -1, SQLITE_UTF8, convertOpensllToOdataTimeFormat, nullptr,
     "successfully created convertOpensllToOdataTimeFormat",
     "failed to create convertOpensllToOdataTimeFormat", true},
    {"convertStringToBytes", -1, SQLITE_UTF8, ConvertStringToByteFormat,
     "Creating function ConvertStringToByteFormat",
     "successfully created ConvertStringToByteFormat", "failed to create ConvertStringToByteFormat",
     true},
    {"GetHeaterMgrValues", 1, SQLITE_UTF8, GetHeaterMgrValues,
     "Creating function GetHeaterMgrValues", "successfully created GetHeaterMgrValues function",
     "failed to create GetHeaterMgrValues function", true},
    {"Convert_ReleaseDate", -1, SQLITE_UTF8, SoftInv_Convert_ReleaseDate,
     "Creating function SoftInv_Convert_ReleaseDate",
     "successfully created SoftInv_Convert_ReleaseDate",
     "failed to create SoftInv_Convert_ReleaseDate", true},
};

// ---- Internal SQL callbacks ----------------------------------------------------------------

// json_bool(x): the JSON literal true for the text "true" or a number whose text form begins
// with "1", false for any other text or number and for NULL; marked as JSON (subtype 74) so
// that json_object() and its kin embed it unquoted. Errors: "invalid arguments" unless one
// argument, "JSON couldn't understood input values" for a BLOB, "failed to allocate memory".
void JsonBoolFunc(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (argc != 1) {
        sqlite3_result_error(ctx, "invalid arguments", -1);
        return;
    }
    const int truth = jsonBoolValue(argv[0]);
    if (truth == -1) {
        sqlite3_result_error(ctx, "JSON couldn't understood input values", -1);
        return;
    }
    const bool ok = truth == 1 ? resultUnterminated(ctx, "true", 4)
                               : truth == 0 && resultUnterminated(ctx, "false", 5);
    if (!ok) {
        sqlite3_result_error(ctx, kNoMemory, -1);
        return;
    }
    sqlite3_result_subtype(ctx, kJsonSubtype);
}

// GetISODateTime(...): the current local time as "YYYY-MM-DDThh:mm:ss+hh:mm" (25
// characters); arguments are ignored. SQL NULL when no block can be allocated (logged) or
// the time cannot be broken down.
void GetISODateTime(sqlite3_context* ctx, int /*argc*/, sqlite3_value** /*argv*/) {
    const time_t now = std::time(nullptr);
    struct tm local {};
    tzset(); // follow changes of the zone as localtime() would
    if (localtime_r(&now, &local) == nullptr) return;
    char formatted[kIsoTimeSize] = {};
    std::strftime(formatted, sizeof formatted, "%Y-%m-%dT%H:%M:%S%z", &local);
    char* block = static_cast<char*>(sqlite3_malloc64(kIsoTimeSize));
    if (block == nullptr) {
        LOG_AT(kLogTrace, "sqlite3_malloc64 failed!!!");
        return;
    }
    GetUTCFormatFromDatetime(formatted);
    std::memcpy(block, formatted, kIsoTimeSize);
    sqlite3_result_text(ctx, block, static_cast<int>(std::strlen(block)), sqlite3_free);
}

// convertTimeFormat(text): "Mar 15 08:30:00 2025 GMT" as "2025-3-15T08:30:00+00:00" (month
// unpadded, day and time as given, zone word ignored, cut at 49 characters). SQL NULL for
// NULL. Errors: "Invalid number of arguments", "Invalid time format" (fewer than four
// fields), "Invalid Month found", "failed to allocate memory".
void convertOpensllToOdataTimeFormat(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (argc != 1) {
        sqlite3_result_error(ctx, "Invalid number of arguments", -1);
        return;
    }
    runGuarded(ctx, [&] { convertTimeText(ctx, argv[0]); });
}

} // namespace

// ---- Exports -------------------------------------------------------------------------------

// LastSystemInventoryTime(): the count of seconds on the first line of the inventory-time
// file as "YYYYMMDDhhmmss.000000+000" (UTC), or "UnKnown" when the file is missing or empty
// or the count is no representable time. SQL NULL when no block can be allocated.
void GetLastSystemInventoryTime(sqlite3_context* ctx, int /*argc*/, sqlite3_value** /*argv*/) {
    char formatted[kInventoryTimeSize] = {};
    char* block = static_cast<char*>(sqlite3_malloc64(kInventoryTimeSize));
    if (block == nullptr) return;
    if (!formatInventoryTime(formatted))
        std::snprintf(formatted, sizeof formatted, "%s", "UnKnown");
    std::snprintf(block, kInventoryTimeSize, "%s", formatted);
    sqlite3_result_text(ctx, block, static_cast<int>(std::strlen(block)), sqlite3_free);
}

// convertStringToBytes(text): the characters in pairs joined by ':' ("001122" ->
// "00:11:22", "abc" -> "ab:c"). SQL NULL for NULL, the empty text or a wrong argument count
// (logged). Error "failed to allocate memory" (logged at level 1).
void ConvertStringToByteFormat(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (argc != 1) {
        LOG_AT(kLogFail, "Wrong Number Of Arguments in ConvertStringToByteFormat() = %d.\n", argc);
        return;
    }
    const char* text = argumentText(ctx, argv[0]);
    if (text == nullptr) return;
    const size_t len = std::strlen(text);
    if (len == 0) return;
    const size_t size = len + (len + 1) / 2; // characters, one ':' per pair, terminator
    char* block = static_cast<char*>(sqlite3_malloc64(size));
    if (block == nullptr) {
        sqlite3_result_error(ctx, kNoMemory, -1);
        LOG_AT(kLogSide, "failed to allocate memory temp");
        return;
    }
    size_t out = 0;
    for (size_t i = 0; i < len; ++i) {
        block[out++] = text[i];
        if (i % 2 == 1 && out < size) block[out++] = ':';
    }
    block[size - 1] = '\0'; // replaces the ':' after a final pair
    LOG_AT(kLogDetail, "Converted String %s", block);
    sqlite3_result_text64(ctx, block, size - 1, sqlite3_free, SQLITE_UTF8);
}

// Convert_ReleaseDate(text): "March 15, 2021" as "2021-03-15T00:00:00Z" (full month names
// only, else January; day as given); "00:00:00Z" for a text without a comma; the empty text
// (logged) when month, day or year is missing. SQL NULL for NULL. Errors: "Invalid number of
// arguments" without an argument, "failed to allocate memory".
void SoftInv_Convert_ReleaseDate(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (argc < 1) {
        sqlite3_result_error(ctx, "Invalid number of arguments", -1);
        return;
    }
    runGuarded(ctx, [&] { convertReleaseDate(ctx, argv[0]); });
}

// GetHeaterMgrValues(selector): 1 "PreHeatDuration" and 2 "CumulativeHeatDuration" in
// seconds (minutes x 60, truncated), 3 "Health" (0 to 255), read from the platform's heater
// manager. SQL NULL (logged) when the platform leaves no usable value. Errors: "invalid
// number of arguments", "Invalid type of arguments" (not an integer), "Invalid value of
// arguments" (another selector; the platform is not called).
void GetHeaterMgrValues(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (argc != 1) {
        sqlite3_result_error(ctx, "invalid number of arguments", -1);
        return;
    }
    if (sqlite3_value_type(argv[0]) != SQLITE_INTEGER) {
        LOG_AT(kLogFail, "argv[0] type is not integer");
        sqlite3_result_error(ctx, "Invalid type of arguments", -1);
        return;
    }
    const sqlite3_int64 selector = sqlite3_value_int64(argv[0]);
    const char* property = heaterProperty(selector);
    if (property == nullptr) {
        sqlite3_result_error(ctx, "Invalid value of arguments", -1);
        return;
    }
    runGuarded(ctx, [&] { readHeaterProperty(ctx, selector, property); });
}

// Rewrites the last "+" or "-" that has at least two characters after it from "+hhmm" to
// "+hh:mm" in place: the characters from the third after the sign move one place right and
// ':' takes the freed place. The buffer needs one spare byte after the terminator. A null
// pointer, the empty text or a text without such a sign is left as it is.
void GetUTCFormatFromDatetime(char* datetime) {
    if (datetime == nullptr) return;
    const size_t len = std::strlen(datetime);
    if (len < 3) return;
    size_t sign = len - 3; // the last place with two characters after it
    while (datetime[sign] != '+' && datetime[sign] != '-') {
        if (sign == 0) return;
        --sign;
    }
    std::memmove(datetime + sign + 4, datetime + sign + 3, len - (sign + 3) + 1);
    datetime[sign + 3] = ':';
}

// Registers the custom SQL functions on db, in table order, logging as
// OpenDatabaseConnection. A failed registration is logged; for the fatal ones the process
// then ends with status 1 and no later function is registered.
void registerSqlFunctions(sqlite3* db) {
    if (db == nullptr) return;
    for (const SqlFunction& function : kSqlFunctions) {
        if (function.before != nullptr)
            LOG_AT_AS("OpenDatabaseConnection", kLogTrace, "%s", function.before);
        const int rc = sqlite3_create_function(db, function.name, function.argCount, function.flags,
                                               nullptr, function.callback, nullptr, nullptr);
        if (rc == SQLITE_OK) {
            LOG_AT_AS("OpenDatabaseConnection", kLogTrace, "%s", function.success);
            continue;
        }
        LOG_AT_AS("OpenDatabaseConnection", kLogFail, "%s", function.failure);
        if (function.fatal) std::exit(1);
    }
}
