// YAML scalar typing, shared by the reader (which types every scalar it loads) and the
// writer (which quotes the strings that would not read back as strings).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "value/value.hpp"

namespace zel {

// Which typing rule an explicit tag asks for. !!str and the non-specific tag "!" make any
// scalar a string ("!" marks a scalar that is not to be resolved by its content); other tags
// (local tags such as !thing, other global tags) are ignored: the scalar is typed by its
// style exactly as if it carried no tag.
enum class TagRule { None, Null, Bool, Int, Float, Str };

// The rule of a resolved tag ("!" or "tag:yaml.org,2002:..."); TagRule::None for any other.
TagRule tag_rule(std::string_view tag);

// The short spelling of a core tag ("!!int"), for error messages.
const char* tag_short_name(TagRule rule);

enum class ScalarFailure { None, OutOfRange, TagMismatch };

// Types the text of a scalar that is a value (not a mapping key): `plain` for a plain
// scalar, which is typed by its text (null, bool, integer, float, else string); any other
// style is a string unless `tag` asks for another rule. TagMismatch when the tag's rule does
// not accept the text, OutOfRange for a number beyond the Value ranges.
ScalarFailure type_scalar(std::string_view text, bool plain, TagRule tag, Value& out);

// type_scalar of a plain scalar without a tag; false when its text cannot load.
bool type_plain_scalar(std::string_view text, Value& out);

// Whether a plain scalar with this text and no tag loads as a string, both here and in every
// YAML 1.2 core-schema reader (which types 0123, 1e400 and integers of any length as
// numbers): the writer quotes the strings for which it does not.
bool yaml_plain_text_is_string(std::string_view text);

// Decodes the escape sequence of a double-quoted scalar at `at` in `s` (its backslash) into
// `out` (UTF-8) and returns its length; 0 when it is not one (an escaped line break included).
std::size_t append_yaml_escape(std::string_view s, std::size_t at, std::string& out);

}  // namespace zel
