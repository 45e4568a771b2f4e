// The YAML writer: libyaml's emitter in block style, strings quoted by how they would read.
#pragma once

#include <string>

#include "text/text_buffer.hpp"
#include "value/error.hpp"
#include "value/value.hpp"

namespace zel {

// YAML text of `document`: one document in block style (empty collections as {} and []),
// UTF-8. Strings holding a line break ask for a literal block, strings that would read back
// as another kind of value are single-quoted, the rest are plain where libyaml allows it.
// parse_yaml gives back the same tree. Appended to `out`; a libyaml failure is
// ErrorKind::Writer, with `out` as it was.
Status write_yaml(const Value& document, TextBuffer& out);

// The two ways write_yaml takes. Without libyaml: the common documents (a non-empty mapping
// or sequence root, keys of at most 100 bytes, strings that libyaml writes as they are), in
// libyaml's exact text; false for any other document, with `out` holding a partial text.
// With libyaml's emitter: every document.
bool write_yaml_without_libyaml(const Value& document, TextBuffer& out);
Status write_yaml_with_libyaml(const Value& document, TextBuffer& out);

// The same texts as strings.
Result<std::string> write_yaml(const Value& document);
Result<std::string> write_yaml_with_libyaml(const Value& document);
bool write_yaml_without_libyaml(const Value& document, std::string& out);

}  // namespace zel
