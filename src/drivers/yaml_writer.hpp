// The YAML writer: libyaml's emitter in block style, strings quoted by how they would read.
#pragma once

#include <string>

#include "value/error.hpp"
#include "value/value.hpp"

namespace zel {

// YAML text of `document`: one document in block style (empty collections as {} and []),
// UTF-8. Strings holding a line break ask for a literal block, strings that would read back
// as another kind of value are single-quoted, the rest are plain where libyaml allows it.
// parse_yaml gives back the same tree. A libyaml failure is ErrorKind::Writer.
Result<std::string> write_yaml(const Value& document);

// write_yaml with libyaml's emitter for every document; write_yaml gives the same text
// without it for the common ones. For the tests and fuzz targets that compare the two.
Result<std::string> write_yaml_with_libyaml(const Value& document);

}  // namespace zel
