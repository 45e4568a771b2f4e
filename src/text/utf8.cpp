// UTF-8 sequence lengths, validation and encoding, for every reader and writer.
#include "text/utf8.hpp"

namespace zel {

int utf8_sequence(const unsigned char* p, const unsigned char* end) noexcept {
    const unsigned char c = p[0];
    int length;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0) low = 0xA0;  // no overlong forms
        if (c == 0xED) high = 0x9F;  // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F;  // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (end - p < 2 || p[1] < low || p[1] > high) return -1;
    for (int i = 2; i < length; ++i)
        if (end - p <= i || p[i] < 0x80 || p[i] > 0xBF) return -i;
    return length;
}

int utf8_length(const unsigned char* p, const unsigned char* end) noexcept {
    const int n = utf8_sequence(p, end);
    return n > 0 ? n : 0;
}

bool is_valid_utf8(std::string_view text) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p != end) {
        if (*p < 0x80) {
            ++p;
            continue;
        }
        const int length = utf8_length(p, end);
        if (length == 0) return false;
        p += length;
    }
    return true;
}

void append_utf8(char32_t cp, std::string& out) {
    char bytes[4];
    std::size_t n;
    if (cp < 0x80) {
        bytes[0] = static_cast<char>(cp);
        n = 1;
    } else if (cp < 0x800) {
        bytes[0] = static_cast<char>(0xC0 | (cp >> 6));
        bytes[1] = static_cast<char>(0x80 | (cp & 0x3F));
        n = 2;
    } else if (cp < 0x10000) {
        bytes[0] = static_cast<char>(0xE0 | (cp >> 12));
        bytes[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        bytes[2] = static_cast<char>(0x80 | (cp & 0x3F));
        n = 3;
    } else {
        bytes[0] = static_cast<char>(0xF0 | (cp >> 18));
        bytes[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        bytes[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        bytes[3] = static_cast<char>(0x80 | (cp & 0x3F));
        n = 4;
    }
    out.append(bytes, n);
}

}  // namespace zel
