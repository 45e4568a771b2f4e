// The JSON writer: two-space indented layout, no final newline.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "text/text_buffer.hpp"
#include "value/value.hpp"

namespace zel {

// The JSON text of `value`, appended to `out`. Accepts every tree, however deep; given
// `max_depth`, it stops and returns false at the first array or object nested deeper (the
// containers on its path, itself included, as nesting_depth counts them), leaving part of
// the text written.
bool write_json(const Value& value, TextBuffer& out, std::size_t max_depth = SIZE_MAX);
void write_json(const Value& value, std::string& out);

}  // namespace zel
