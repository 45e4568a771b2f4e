// The JSON5 writer: indented layout with a comma after every member and element, bare
// identifier keys, the quote character chosen per string, floats in plain decimal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "text/text_buffer.hpp"
#include "value/value.hpp"

namespace zel {

// Appends the JSON5 text of `value` to `out`. Accepts every tree, however deep; given
// `max_depth`, stops and returns false as write_json does.
bool write_json5(const Value& value, TextBuffer& out, std::size_t max_depth = SIZE_MAX);
void write_json5(const Value& value, std::string& out);

}  // namespace zel
