// UTF-8 helpers shared by the readers and writers: the length of a valid sequence, whole-text
// validation, and encoding a code point.
#pragma once

#include <string>
#include <string_view>

namespace zel {

// Length (2 to 4) of the UTF-8 sequence at `p` (a byte of 0x80 or more, p < end) when it is
// the shortest encoding of a Unicode scalar value; otherwise minus the index of the first wrong
// byte, a byte at `end` or beyond counting as wrong (0 when the first byte cannot start one).
int utf8_sequence(const unsigned char* p, const unsigned char* end) noexcept;

// Length (2 to 4) of the UTF-8 sequence at `p` (a byte of 0x80 or more, p < end), or 0 when
// the bytes there are not the shortest encoding of a Unicode scalar value (overlong forms,
// surrogates, values past U+10FFFF, truncated or stray continuation bytes).
int utf8_length(const unsigned char* p, const unsigned char* end) noexcept;
inline int utf8_length(const char* p, const char* end) noexcept {
    return utf8_length(reinterpret_cast<const unsigned char*>(p),
                       reinterpret_cast<const unsigned char*>(end));
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool is_valid_utf8(std::string_view text) noexcept;

// Appends the UTF-8 encoding of a Unicode scalar value.
void append_utf8(char32_t cp, std::string& out);

}  // namespace zel
