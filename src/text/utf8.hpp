// UTF-8 for every reader and writer: one decoder, which tells a valid sequence from each kind
// of fault and from one cut short by the end of the text; whole-text validation; encoding a
// code point.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zel {

// What the bytes at a position of a text are, as UTF-8.
enum class Utf8 : std::uint8_t {
    Valid,            // the shortest encoding of a Unicode scalar value
    Partial,          // the start of one, cut short by the end of the text
    BadLead,          // a byte that starts no sequence: 80-C1 (C0, C1: overlong), F5-FF
    BadContinuation,  // a byte of the sequence is not 10xxxxxx
    Overlong,         // E0 80-9F, F0 80-8F: a longer form than the value needs
    Surrogate,        // ED A0-BF: U+D800 to U+DFFF
    TooLarge,         // F4 90-BF: past U+10FFFF
};

struct Utf8Char {
    Utf8 status;
    // Valid: the sequence's length (1 to 4). Otherwise the length its first byte calls for
    // (2 to 4; 1 for BadLead).
    std::uint8_t length;
    // Valid only: the code point.
    char32_t cp;
};

// Decodes the UTF-8 sequence at `p` (p < end). Faults are looked for in this order, and the
// first one found is the answer: the first byte; each byte after it that is present being a
// continuation byte (BadContinuation); the second byte, when present, in the range the first
// allows (Overlong, Surrogate, TooLarge); the end of the text cutting the sequence short
// (Partial). So Partial means exactly that more bytes could still make it valid.
inline Utf8Char decode_utf8(const char* p, const char* end) noexcept {
    const auto* s = reinterpret_cast<const unsigned char*>(p);
    const unsigned char c = s[0];
    if (c < 0x80) return {Utf8::Valid, 1, c};
    std::uint8_t length;
    char32_t cp;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        cp = c & 0x07;
    } else {
        return {Utf8::BadLead, 1, 0};
    }
    const std::size_t left = static_cast<std::size_t>(end - p);
    const std::size_t present = left < length ? left : length;
    for (std::size_t i = 1; i < present; ++i) {
        if ((s[i] & 0xC0) != 0x80) return {Utf8::BadContinuation, length, 0};
        cp = (cp << 6) | (s[i] & 0x3F);
    }
    if (present >= 2) {
        const unsigned char second = s[1];
        if ((c == 0xE0 && second < 0xA0) || (c == 0xF0 && second < 0x90))
            return {Utf8::Overlong, length, 0};
        if (c == 0xED && second > 0x9F) return {Utf8::Surrogate, length, 0};
        if (c == 0xF4 && second > 0x8F) return {Utf8::TooLarge, length, 0};
    }
    if (present < length) return {Utf8::Partial, length, 0};
    return {Utf8::Valid, length, cp};
}

// Length (1 to 4) of the UTF-8 sequence at `p` (p < end), or 0 when it is not valid. Out of
// line: the loops that call it on their rare non-ASCII bytes stay small.
int utf8_length(const char* p, const char* end) noexcept;
inline int utf8_length(const unsigned char* p, const unsigned char* end) noexcept {
    return utf8_length(reinterpret_cast<const char*>(p), reinterpret_cast<const char*>(end));
}

// The same, with the code point in `cp`.
inline int decode_utf8(const char* p, const char* end, char32_t& cp) noexcept {
    const Utf8Char u = decode_utf8(p, end);
    cp = u.cp;
    return u.status == Utf8::Valid ? u.length : 0;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool is_valid_utf8(std::string_view text) noexcept;

// Appends the UTF-8 encoding of a Unicode scalar value.
void append_utf8(char32_t cp, std::string& out);

}  // namespace zel
