// One path from the text of a decimal number to a number node, shared by the JSON, JSON5 and
// YAML readers, so that they agree on integers, rounding and magnitudes a double cannot hold.
#pragma once

#include <string_view>

#include "value/value.hpp"

namespace zel {

enum class NumberText { Ok, OutOfRange, Invalid };

// Converts a decimal number text whose grammar the reader has checked: an optional sign,
// digits with at most one point (and at least one digit), an optional exponent
// ([eE][+-]?digits). With `integers`, a text without point or exponent that fits 64 bits
// becomes an unsigned (zero or more, "-0" included) or signed (negative) integer node;
// everything else becomes a correctly rounded double. A magnitude above the largest double
// is OutOfRange, one below the smallest subnormal is zero of the number's sign: the result
// depends on the value, never on how many digits spell it. Invalid when the text does not
// read as a number at all.
NumberText decimal_number(std::string_view text, bool integers, Value& out);

}  // namespace zel
