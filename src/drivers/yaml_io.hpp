// YAML reading and writing through libyaml: one document at most, scalar typing by the
// loader, anchors and aliases resolved with a bounded expansion, block-style output.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "value/error.hpp"
#include "value/value.hpp"

namespace zel {

// Deepest nesting of mappings and sequences that loads; deeper fails.
inline constexpr std::size_t kYamlMaxDepth = 128;

// Parses a YAML stream held in memory. An empty stream is a null root. ErrorKind::Parse.
Result<Value> parse_yaml(std::string_view text);

// Reads an open file to its end through a buffer of 8192 bytes, then parses it. A read
// failure is ErrorKind::Parse with "YAML parse error: " and the system's error text.
Result<Value> read_yaml_fd(int fd);

// YAML text of `document` in block style.
Result<std::string> write_yaml(const Value& document);

}  // namespace zel
