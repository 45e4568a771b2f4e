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

// Nodes that alias copies may add, per byte of input; never fewer than kYamlAliasNodesFloor.
inline constexpr std::size_t kYamlAliasNodesPerByte = 100;
inline constexpr std::size_t kYamlAliasNodesFloor = 1'000'000;

// Parses a YAML stream (UTF-8) held in memory: at most one document, and an empty stream
// (or only comments) is a null root. Plain scalars are typed (null, bool, integer, float,
// else string); quoted and block scalars are strings; the tags !!null, !!bool, !!int and
// !!float type by their own rule and fail when the text does not fit, !!str makes any
// scalar a string, and any other tag is ignored (the scalar is typed by its style alone).
// An integer literal too long for 128 bits stays a string holding its text. Mapping keys
// are the text of scalar keys; "<<" is an ordinary key (no merging). Aliases copy the
// anchored node; their copies may add at most max(kYamlAliasNodesFloor,
// kYamlAliasNodesPerByte * text.size()) nodes. Failures are ErrorKind::Parse,
// "YAML parse error: {description} at line L column C".
Result<Value> parse_yaml(std::string_view text);

// Reads an open file to its end through a buffer of 8192 bytes, then parses it. A read
// failure is ErrorKind::Parse with "YAML parse error: " and the system's error text.
Result<Value> read_yaml_fd(int fd);

// YAML text of `document`: one document in block style (empty collections as {} and []),
// UTF-8. Strings holding a line break ask for a literal block, strings that would read back
// as another kind of value are single-quoted, the rest are plain where libyaml allows it.
// parse_yaml gives back the same tree. A libyaml failure is ErrorKind::Writer.
Result<std::string> write_yaml(const Value& document);

}  // namespace zel
