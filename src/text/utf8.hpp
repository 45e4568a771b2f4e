// UTF-8 helpers shared by the readers and writers: the length of a valid sequence, decoding
// one, whole-text validation, and encoding a code point.
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

// Decodes the UTF-8 sequence at `p` (p < end): its length 1 to 4, or 0 when the bytes are
// not the shortest encoding of a Unicode scalar value (overlong forms, surrogates, values
// past U+10FFFF, truncated or stray continuation bytes).
inline int decode_utf8(const char* p, const char* end, char32_t& cp) noexcept {
    const auto* s = reinterpret_cast<const unsigned char*>(p);
    const std::size_t left = static_cast<std::size_t>(end - p);
    const unsigned char c = s[0];
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    int length;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        cp = c & 0x0F;
        if (c == 0xE0) low = 0xA0;
        if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        cp = c & 0x07;
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (left < static_cast<std::size_t>(length) || s[1] < low || s[1] > high) return 0;
    for (int i = 1; i < length; ++i) {
        if (s[i] < 0x80 || s[i] > 0xBF) return 0;
        cp = (cp << 6) | (s[i] & 0x3F);
    }
    return length;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool is_valid_utf8(std::string_view text) noexcept;

// Appends the UTF-8 encoding of a Unicode scalar value.
void append_utf8(char32_t cp, std::string& out);

}  // namespace zel
