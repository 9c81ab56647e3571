// Fuzzes the custom SQL functions: the input is SQL that calls them with any arguments, for
// instance "select convertTimeFormat(x'00', 1.5), json_bool(NULL)".
#include "fuzz.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzDb(std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}
