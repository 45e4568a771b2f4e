// Numbers as text. One path from the text of a decimal number to a number node, shared by the
// JSON, JSON5 and YAML readers, so that they agree on integers, rounding and magnitudes a
// double cannot hold; and the shortest digits of a double, which the writers spell it with.
#pragma once

#include <cstddef>
#include <string>
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

// The shortest decimal digits that read back to a finite, non-zero-signed |d|: value =
// 0.d1...dn x 10^exponent. Zero gives the digits "0" and exponent 1.
struct ShortestDigits {
    char digits[32];
    int count;     // n
    int exponent;  // kk: position of the decimal point
};
ShortestDigits shortest_digits(double d);

// The texts of a float, each the shortest digits that read back to it, laid out by one
// rule per writer. Each put_* writes at most its room and returns the end.
//
// JSON (and YAML): fixed notation with ".0" for integral values up to 16 digits, exponent
// form ("1e+20", "1.5e-7") for the rest.
inline constexpr std::size_t kJsonFloatRoom = 32;
char* put_json_float(double d, char* out);
void append_json_float(double d, std::string& out);

// JSON5: plain decimal, no exponent, no fraction when integral (1e20 is
// "100000000000000000000", 1.5e-7 is "0.00000015", -0.0 is "-0"); an integral value below
// 2^64 is its exact integer. The room: a sign, and either 309 digits or "0.", 323 zeros and
// 17 digits.
inline constexpr std::size_t kDecimalFloatRoom = 352;
char* put_decimal_float(double d, char* out);

// TOML: the shorter of fixed and exponent notation (fixed when they tie), with ".0" added
// when the text would otherwise read as an integer: 1.0, 0.1, 1e+20, -0.0.
inline constexpr std::size_t kTomlFloatRoom = 32;
char* put_toml_float(double d, char* out);

}  // namespace zel
