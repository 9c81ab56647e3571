// Platform D-Bus data abstraction: heater-manager properties.
//
// Host implementation: reads the JSON file <prefix>/var/lib/sql2json-host/heater_state.json
// on every call, an object service -> object path -> property -> value, for example
//   { "com.vexa.ostra.HeaterManager": { "/com/vexa/ostra/HeaterManager":
//       { "PreHeatDuration": 2.5, "CumulativeHeatDuration": 10.0, "Health": 200 } } }
// A JSON boolean becomes bool, a string std::string, an integer from 0 to 255 uint8_t and
// any other number double (write 3.0, not 3, for a duration of three minutes).
#ifndef VEXA_HEATER_MGR_H
#define VEXA_HEATER_MGR_H

#include <cstdint>
#include <string>
#include <variant>

namespace DataAbstraction {
namespace HeaterMgr {

using PropertyValue = std::variant<bool, double, std::string, uint8_t>;

// Reads one property. Returns 0 and sets value on success; non-zero leaves it untouched.
int32_t get_property(const std::string& service, const std::string& path,
                     const std::string& property, PropertyValue& value);

} // namespace HeaterMgr
} // namespace DataAbstraction

#endif // VEXA_HEATER_MGR_H
