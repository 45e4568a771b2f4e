// The TOML writer: a Value tree as TOML text in our fixed layout (key = value lines, then
// [tables], then [[arrays of tables]]), date-time marker objects as bare date-times. Owns the
// texts of what TOML cannot express.
#pragma once

#include <string>

#include "text/text_buffer.hpp"
#include "value/error.hpp"
#include "value/value.hpp"

namespace zel {

// Appends the TOML text of `document` to `out`; ErrorKind::Writer when TOML cannot express it
// (null anywhere, a root that is not an object, an unsigned integer above the signed 64-bit
// range, text that is not UTF-8, nesting deeper than the reader loads), naming the first
// such place, with `out` as it was.
Status write_toml(const Value& document, TextBuffer& out);
// The same text as a string.
Result<std::string> write_toml(const Value& document);

}  // namespace zel
