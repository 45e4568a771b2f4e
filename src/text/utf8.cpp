// Sequence lengths, whole-text UTF-8 validation and encoding.
#include "text/utf8.hpp"

#include <cstdint>
#include <cstring>

namespace zel {

int utf8_length(const char* p, const char* end) noexcept {
    const Utf8Char u = decode_utf8(p, end);
    return u.status == Utf8::Valid ? u.length : 0;
}

bool is_valid_utf8(std::string_view text) noexcept {
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p != end) {
        // Eight bytes at a time while they are ASCII.
        if (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, sizeof word);
            if ((word & 0x8080808080808080u) == 0) {
                p += 8;
                continue;
            }
        }
        if (static_cast<unsigned char>(*p) < 0x80) {
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
