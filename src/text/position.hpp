// Where a byte offset of a text is, as readers report it in their errors: 1-based line and
// column, worked out only when an error is reported (the parse itself counts nothing). Each
// format has its own line breaks and column unit; the rule is a parameter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zel {

struct TextPosition {
    std::size_t line;
    std::size_t column;
};

// What ends a line.
enum class LineBreaks : std::uint8_t {
    // LF; a CR before it belongs to the line it ends.
    Lf,
    // LF, CR, and CR LF as one break (the CR then counts as a character of its line).
    LfCr,
    // As LfCr, and U+2028 and U+2029 too.
    LfCrUnicode,
};

// What a column counts from the start of the line.
enum class ColumnUnit : std::uint8_t { Bytes, CodePoints };

// The line and column of the byte at `offset`: the column counts the bytes or code points
// from the start of its line up to and including that byte, so an offset at a line's first
// byte is column 1. A break is one when it lies wholly before `offset` (a CR followed by LF
// anywhere in `text` is not one). An offset past the end counts up to the end.
TextPosition text_position(std::string_view text, std::size_t offset, LineBreaks breaks,
                           ColumnUnit unit) noexcept;

}  // namespace zel
