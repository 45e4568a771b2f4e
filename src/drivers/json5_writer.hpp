// The JSON5 writer: indented layout with a comma after every member and element, bare
// identifier keys, the quote character chosen per string, floats in plain decimal.
#pragma once

#include <string>

#include "drivers/json_writer.hpp"
#include "value/value.hpp"

namespace zel {

// Appends the JSON5 text of `value` to `out`. Accepts every tree, however deep.
void write_json5(const Value& value, TextBuffer& out);
void write_json5(const Value& value, std::string& out);

}  // namespace zel
