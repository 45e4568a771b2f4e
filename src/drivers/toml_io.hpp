// TOML reading and writing through toml++: tables to objects, date-times to the private
// marker object and back, and the writer's pretty layout.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "value/error.hpp"
#include "value/value.hpp"

namespace zel {

// Member name of the object a TOML date-time loads as.
inline constexpr std::string_view kTomlDatetimeKey = "$__toml_private_datetime";

// Deepest nesting of tables and arrays that loads.
inline constexpr std::size_t kTomlMaxDepth = 127;

// Parses a TOML document (already checked to be UTF-8); always an object. ErrorKind::Parse.
Result<Value> parse_toml(std::string_view text);

// TOML text of `document`; ErrorKind::Writer when TOML cannot express it (null anywhere, a
// root that is not an object, an unsigned integer above the signed 64-bit range).
Result<std::string> write_toml(const Value& document);

}  // namespace zel
