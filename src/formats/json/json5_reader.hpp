// The JSON5 reader: the whole JSON5 grammar (comments, identifier keys, single quotes, line
// continuations, hexadecimal numbers, Infinity and NaN, trailing commas) to a Value tree.
// Owns the JSON5 error texts ("JSON5 parse error: {description} at line L column C").
#pragma once

#include <cstddef>
#include <string_view>

#include "formats/limits.hpp"
#include "value/error.hpp"
#include "value/value.hpp"

namespace zel {

// Parses one JSON5 document (already checked to be UTF-8). ErrorKind::Parse on failure.
// Invalid UTF-8 is rejected as a parse error too, so any bytes may be passed.
Result<Value> parse_json5(std::string_view text);

}  // namespace zel
