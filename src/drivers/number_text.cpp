// Number-text helpers shared by the JSON, JSON5 and YAML readers.
#include "drivers/number_text.hpp"

namespace zel {

long long leading_digit_exponent(std::string_view text) {
    std::size_t i = (!text.empty() && (text[0] == '+' || text[0] == '-')) ? 1 : 0;
    long long integer_digits = 0;
    long long first_nonzero = -1;  // index among all mantissa digits
    long long index = 0;
    bool in_fraction = false;
    for (; i < text.size() && text[i] != 'e' && text[i] != 'E'; ++i) {
        if (text[i] == '.') {
            in_fraction = true;
            continue;
        }
        if (first_nonzero < 0 && text[i] != '0') first_nonzero = index;
        ++index;
        if (!in_fraction) ++integer_digits;
    }
    long long exponent = 0;
    if (i < text.size()) {
        ++i;
        bool negative = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
        for (; i < text.size(); ++i)
            if (exponent < 1000000000) exponent = exponent * 10 + (text[i] - '0');
        if (negative) exponent = -exponent;
    }
    return integer_digits - 1 - first_nonzero + exponent;
}

}  // namespace zel
