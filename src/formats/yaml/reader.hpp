// The YAML reader: YAML 1.2 through libfyaml's event parser, one document at most, scalar
// typing by the loader, anchors and aliases resolved by copying with a bounded expansion.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "formats/limits.hpp"
#include "value/error.hpp"
#include "value/value.hpp"

namespace zel {

// What alias copies may add, per byte of input, with a floor for small files: nodes, and
// bytes (16 per node plus the text of every string and key copied).
inline constexpr std::size_t kYamlAliasNodesPerByte = 100;
inline constexpr std::size_t kYamlAliasNodesFloor = 1'000'000;
inline constexpr std::size_t kYamlAliasBytesPerByte = 100;
inline constexpr std::size_t kYamlAliasBytesFloor = std::size_t{64} << 20;

// Parses a YAML stream (UTF-8) held in memory: at most one document, and an empty stream
// (or only comments) is a null root. The whole stream must be valid UTF-8 made of printable
// characters (tab, line breaks and the YAML printable ranges). Plain scalars are typed (null,
// bool, integer, float, else string); quoted and block scalars are strings; the tags !!null,
// !!bool, !!int and !!float type by their own rule and fail when the text does not fit, !!str
// and the non-specific tag "!" make a scalar a string, and any other tag is ignored (the
// scalar is typed by its style alone). An integer literal too long for 128 bits stays a
// string holding its text. Mapping keys are the text of scalar keys; "<<" is an ordinary key
// (merge keys belong to YAML 1.1). Aliases copy the anchored node; their copies may add at
// most max(kYamlAliasNodesFloor, kYamlAliasNodesPerByte * text.size()) nodes and
// max(kYamlAliasBytesFloor, kYamlAliasBytesPerByte * text.size()) bytes. Failures are
// ErrorKind::Parse, "YAML parse error: {description} at line L column C".
Result<Value> parse_yaml(std::string_view text);

// parse_yaml of the `size` bytes at `text`, which it may change: their line breaks become LFs
// where they are, rather than in a copy (loading a file, whose text is read for the reader
// alone).
Result<Value> parse_yaml_in_place(char* text, std::size_t size);

// parse_yaml without its fast path for everyday block YAML (block_reader.hpp): libfyaml
// reads every text. For the tests and fuzz targets that compare the two.
Result<Value> parse_yaml_general(std::string_view text);

}  // namespace zel
