// Where a byte offset of a text is, as readers report it in their errors: 1-based line and
// column, worked out only when an error is reported (the parse itself counts nothing).
#pragma once

#include <cstddef>
#include <string_view>

namespace zel {

struct TextPosition {
    std::size_t line;
    std::size_t column;
};

// Lines end at LF (a CR before it belongs to the line it ends); the column counts the code
// points from the start of the line up to and including the one at `offset`, so an offset at
// a line's first character is column 1. An offset past the end counts up to the end.
TextPosition text_position(std::string_view text, std::size_t offset) noexcept;

}  // namespace zel
