// Line and column of a byte offset, for error messages.
#include "text/position.hpp"

#include <algorithm>
#include <cstring>

namespace zel {

TextPosition text_position(std::string_view text, std::size_t offset) noexcept {
    offset = std::min(offset, text.size());
    const char* begin = text.data();
    const char* at = begin + offset;
    std::size_t line = 1;
    const char* line_start = begin;
    for (const char* p = begin; (p = static_cast<const char*>(std::memchr(p, '\n', at - p)));) {
        ++line;
        line_start = ++p;
    }
    // Continuation bytes (10xxxxxx) do not start a code point.
    std::size_t column = 1;
    for (const char* p = line_start; p < at; ++p)
        if ((static_cast<unsigned char>(*p) & 0xC0) != 0x80) ++column;
    return TextPosition{line, column};
}

}  // namespace zel
