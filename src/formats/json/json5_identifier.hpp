// JSON5 identifier names, which the reader takes as keys and the writer writes bare.
#pragma once

#include <string_view>

namespace zel {

// JSON5 identifier characters, by Unicode general category: a start is "$", "_" or a letter
// (Lu Ll Lt Lm Lo Nl); a part is a start, a mark (Mn Mc), a digit (Nd), a connector (Pc),
// U+200C or U+200D.
bool is_json5_identifier_start(char32_t c) noexcept;
bool is_json5_identifier_part(char32_t c) noexcept;

// An ASCII identifier part: a letter, a digit, "_" or "$".
inline bool is_json5_ascii_identifier_part(char c) noexcept {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '$';
}

// True when `name` is valid UTF-8 spelling an identifier name without escapes (reserved
// words included): such a key may be written bare.
bool is_json5_identifier_name(std::string_view name) noexcept;

}  // namespace zel
