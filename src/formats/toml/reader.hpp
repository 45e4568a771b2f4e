// The TOML reader: TOML 1.0 text to a Value tree (tables to objects, date-times to the
// private marker object of datetime.hpp). Owns the TOML error descriptions ("TOML parse
// error: {description} at line L column C").
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "formats/limits.hpp"
#include "value/error.hpp"
#include "value/value.hpp"

namespace zel {

// Parses a TOML document; always an object, empty for an empty text. ErrorKind::Parse on
// failure. Invalid UTF-8 is rejected as a parse error too, so any bytes may be passed.
Result<Value> parse_toml(std::string_view text);

#ifdef ZEL_TEST_HOOKS
// Test builds only: how many slots of the table index the reader has looked at on this
// thread so far, a measure of the index's work that no timing noise blurs.
std::uint64_t toml_index_probes() noexcept;
#endif

}  // namespace zel
