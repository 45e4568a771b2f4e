// A fast reader for the everyday shapes of block YAML that settings files take: block
// mappings and sequences (compact ones included); plain, single-quoted and double-quoted
// scalars on one line; literal and folded block scalars as values; flow collections (lines
// may break between their nodes); comments; one "---" before the content. Anything else
// (anchors, tags, scalars on several lines other than block scalars, tabs, CR, a byte order
// mark, other document markers, directives, deep nesting) and anything invalid is left to
// the general reader: this one only ever answers "read, and here is the tree" or "not
// mine". Where it answers, the tree is the one the general reader builds from the same text.
#pragma once

#include <string_view>

#include "value/value.hpp"

namespace zel {

// Types a plain scalar without a tag; false when its text cannot load (the general reader
// then reports it).
using PlainScalarTyper = bool (*)(std::string_view text, Value& out);

// True with the document in `out` when `text` has the shape above; false otherwise, with
// `out` untouched. `text` must be valid UTF-8 of printable characters.
bool read_plain_block_yaml(std::string_view text, PlainScalarTyper type_plain, Value& out);

}  // namespace zel
