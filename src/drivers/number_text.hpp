// Helpers shared by the readers for number texts that a double cannot hold.
#pragma once

#include <string_view>

namespace zel {

// Decimal exponent of the leading significant digit of a decimal number text (an optional
// sign, digits, an optional point and fraction, an optional exponent) that has a non-zero
// digit, saturating far beyond any double. When a double cannot hold the number, a positive
// result means it overflows and anything else that it underflows.
long long leading_digit_exponent(std::string_view text);

}  // namespace zel
