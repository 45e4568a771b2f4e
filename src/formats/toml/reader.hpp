// The TOML reader: TOML 1.0 text to a Value tree (tables to objects, date-times to the
// private marker object), and the date-time grammar the writer shares. Owns the TOML error
// texts ("TOML parse error: {description} at line L column C").
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "value/error.hpp"
#include "value/value.hpp"

namespace zel {

// Member name of the object a TOML date-time loads as.
inline constexpr std::string_view kTomlDatetimeKey = "$__toml_private_datetime";

// Deepest nesting of tables and arrays that loads (the root table is level 1; a date-time's
// marker object is a level too); one more level fails with "recursion limit exceeded".
inline constexpr std::size_t kTomlMaxDepth = 127;

// Parses a TOML document; always an object, empty for an empty text. ErrorKind::Parse on
// failure. Invalid UTF-8 is rejected as a parse error too, so any bytes may be passed.
Result<Value> parse_toml(std::string_view text);

// True when `text` is exactly one TOML offset date-time, local date-time, local date or local
// time, in any spelling TOML allows ("T", "t" or a space between date and time, "z",
// "+00:00", any number of fraction digits). `loaded` (when given) receives the text the
// reader gives it: "T" and "Z", no "+00:00" or "-00:00", the fraction cut to nanoseconds
// and without trailing zeros.
bool is_toml_datetime(std::string_view text, std::string* loaded = nullptr);

#ifdef ZEL_TEST_HOOKS
// Test builds only: how many slots of the table index the reader has looked at on this
// thread so far, a measure of the index's work that no timing noise blurs.
std::uint64_t toml_index_probes() noexcept;
#endif

}  // namespace zel
