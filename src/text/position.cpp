// Line and column of a byte offset, for error messages.
#include "text/position.hpp"

#include <algorithm>
#include <cstring>

namespace zel {

TextPosition text_position(std::string_view text, std::size_t offset, LineBreaks breaks,
                           ColumnUnit unit) noexcept {
    offset = std::min(offset, text.size());
    const char* const begin = text.data();
    const char* const at = begin + offset;
    const char* const end = begin + text.size();
    std::size_t line = 1;
    const char* line_start = begin;
    if (breaks == LineBreaks::Lf) {
        for (const char* p = begin; (p = static_cast<const char*>(std::memchr(p, '\n', at - p)));) {
            ++line;
            line_start = ++p;
        }
    } else {
        for (const char* p = begin; p < at; ++p) {
            const char c = *p;
            if (c == '\n' || (c == '\r' && (p + 1 == end || p[1] != '\n'))) {
                ++line;
                line_start = p + 1;
            } else if (breaks == LineBreaks::LfCrUnicode && c == '\xE2' && at - p >= 3 &&
                       p[1] == '\x80' && (p[2] == '\xA8' || p[2] == '\xA9')) {
                ++line;
                line_start = p + 3;
                p += 2;
            }
        }
    }
    std::size_t column = 1;
    if (unit == ColumnUnit::Bytes) {
        column += static_cast<std::size_t>(at - line_start);
    } else {
        // Continuation bytes (10xxxxxx) do not start a code point.
        for (const char* p = line_start; p < at; ++p)
            if ((static_cast<unsigned char>(*p) & 0xC0) != 0x80) ++column;
    }
    return TextPosition{line, column};
}

}  // namespace zel
