// Backslash escapes of single bytes, as JSON, JSON5 and TOML strings spell them. Which bytes a
// format escapes is its own rule; how an escaped byte is spelled is shared: a byte with a
// two-character escape ("\n") uses it, any other is "\u00XX".
#pragma once

#include <array>
#include <cstddef>

#include "text/hex.hpp"

namespace zel {

// The letter after the backslash of a byte's two-character escape, 0 when it has none:
// " \ ' and the controls backspace, tab, line feed, form feed and carriage return.
inline constexpr std::array<char, 256> kShortEscapes = [] {
    std::array<char, 256> t{};
    t['"'] = '"';
    t['\\'] = '\\';
    t['\''] = '\'';
    t['\b'] = 'b';
    t['\t'] = 't';
    t['\n'] = 'n';
    t['\f'] = 'f';
    t['\r'] = 'r';
    return t;
}();

// Most bytes put_escape writes.
inline constexpr std::size_t kMaxByteEscape = 6;

// The escape of byte `c`: its two-character escape, or "\u00" and two digits of `hex`
// (kHexLower or kHexUpper). Returns the end.
inline char* put_escape(unsigned char c, const char* hex, char* out) noexcept {
    if (const char letter = kShortEscapes[c]; letter != 0) {
        out[0] = '\\';
        out[1] = letter;
        return out + 2;
    }
    out[0] = '\\';
    out[1] = 'u';
    out[2] = '0';
    out[3] = '0';
    out[4] = hex[c >> 4];
    out[5] = hex[c & 0xF];
    return out + 6;
}

}  // namespace zel
