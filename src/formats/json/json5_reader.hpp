// The JSON5 reader: the whole JSON5 grammar (comments, identifier keys, single quotes, line
// continuations, hexadecimal numbers, Infinity and NaN, trailing commas) to a Value tree.
// Owns the JSON5 error texts ("JSON5 parse error: {description} at line L column C").
#pragma once

#include <cstddef>
#include <string_view>

#include "value/error.hpp"
#include "value/value.hpp"

namespace zel {

// Deepest nesting of arrays and objects that loads; one more level fails.
inline constexpr std::size_t kJson5MaxDepth = 127;

// Parses one JSON5 document (already checked to be UTF-8). ErrorKind::Parse on failure.
// Invalid UTF-8 is rejected as a parse error too, so any bytes may be passed.
Result<Value> parse_json5(std::string_view text);

// JSON5 identifier characters, by Unicode general category: a start is "$", "_" or a letter
// (Lu Ll Lt Lm Lo Nl); a part is a start, a mark (Mn Mc), a digit (Nd), a connector (Pc),
// U+200C or U+200D.
bool is_json5_identifier_start(char32_t c) noexcept;
bool is_json5_identifier_part(char32_t c) noexcept;

// True when `name` is valid UTF-8 spelling an identifier name without escapes (reserved
// words included): such a key may be written bare.
bool is_json5_identifier_name(std::string_view name) noexcept;

}  // namespace zel
