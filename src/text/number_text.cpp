// Decimal number texts to integer and double nodes for the JSON, JSON5 and YAML readers, and
// the texts of a double for every writer.
#include "text/number_text.hpp"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <limits>
#include <system_error>

namespace zel {
namespace {

// Decimal exponent of the leading significant digit of an unsigned number text, saturating
// far beyond any double; the lowest value when every digit is zero. Only consulted when
// from_chars reports a magnitude it cannot represent, to tell overflow (positive) from
// underflow.
long long leading_digit_exponent(std::string_view text) {
    std::size_t i = 0;
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
    if (first_nonzero < 0) return std::numeric_limits<long long>::min();
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

// The double nearest to an unsigned decimal text when its digits make an integer of at most
// 2^53 and its power of ten is at most 10^22 either way: both are then exact doubles, so one
// multiplication or division rounds correctly. False for every other text, which goes the
// general way. Most numbers in settings files take this path.
bool exact_double(std::string_view text, double& out) {
#if FLT_EVAL_METHOD == 0
    static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                         1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    auto digit = [&](std::size_t i) { return static_cast<unsigned>(text[i] - '0'); };
    std::uint64_t mantissa = 0;
    int digits = 0;
    int scale = 0;
    std::size_t i = 0;
    for (; i < text.size() && digit(i) < 10; ++i, ++digits) mantissa = mantissa * 10 + digit(i);
    if (i < text.size() && text[i] == '.')
        for (++i; i < text.size() && digit(i) < 10; ++i, ++digits, --scale)
            mantissa = mantissa * 10 + digit(i);
    if (digits > 19) return false;  // the mantissa may have wrapped
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool negative = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
        int exponent = 0;
        for (int n = 0; i < text.size() && digit(i) < 10; ++i, ++n) {
            if (n == 3) return false;
            exponent = exponent * 10 + static_cast<int>(digit(i));
        }
        scale += negative ? -exponent : exponent;
    }
    if (i != text.size() || mantissa > (std::uint64_t{1} << 53) || scale < -22 || scale > 22)
        return false;
    const double d = static_cast<double>(mantissa);
    out = scale < 0 ? d / kPowers[-scale] : d * kPowers[scale];
    return true;
#else
    // Extended intermediate precision would round twice.
    (void)text;
    (void)out;
    return false;
#endif
}

}  // namespace

NumberText decimal_number(std::string_view text, bool integers, Value& out) {
    // The sign is applied at the end: from_chars reads no plus sign, and magnitudes are read
    // unsigned.
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (integers) {
        std::uint64_t magnitude = 0;
        const auto r = std::from_chars(begin, end, magnitude);
        if (r.ec == std::errc() && r.ptr == end) {
            constexpr std::uint64_t kMinMagnitude = std::uint64_t{1} << 63;
            if (!negative) {
                out = Value::uinteger(magnitude);
                return NumberText::Ok;
            }
            if (magnitude <= kMinMagnitude) {
                // Two's complement negation; -2^63 is the one value whose magnitude does not
                // fit a signed 64-bit integer.
                out = Value::integer(static_cast<std::int64_t>(~magnitude + 1));
                return NumberText::Ok;
            }
        }
    }
    double d = 0;
    if (exact_double(text, d)) {
        out = Value::floating(negative ? -d : d);
        return NumberText::Ok;
    }
    const auto r = std::from_chars(begin, end, d);
    if (r.ec == std::errc::result_out_of_range) {
        if (leading_digit_exponent(text) > 0) return NumberText::OutOfRange;
        d = 0.0;
    } else if (r.ec != std::errc() || r.ptr != end) {
        return NumberText::Invalid;
    } else if (!std::isfinite(d)) {
        return NumberText::OutOfRange;
    }
    out = Value::floating(negative ? -d : d);
    return NumberText::Ok;
}

namespace {

constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};  // all exact

// The shortest digits of x > 0 when x is a short decimal (M / 10^k with M < 2^52, as most
// numbers in settings are), found without the general algorithm. Take a k at which
// x * 10^k is an integer M below 2^52 and M / 10^k (a correctly rounded division of exact
// numbers) gives x back, so that the text M x 10^-k reads back as x. Since x * 10^k < 2^52,
// the gap between x and its neighbouring doubles is below 10^-k, and so is the width of the
// range of numbers that read back as x: M x 10^-k is the only decimal in it with k places
// or fewer, and M less its trailing zeros is what the general algorithm gives, the fewest
// digits that read back.
bool short_decimal_digits(double x, ShortestDigits& result) {
    constexpr double kTwoTo52 = 4503599627370496.0;
    for (int k = 0; k <= 22; ++k) {
        const double scaled = x * kPowersOfTen[k];
        if (!(scaled < kTwoTo52)) return false;
        const auto m = static_cast<std::uint64_t>(scaled);
        if (static_cast<double>(m) != scaled || static_cast<double>(m) / kPowersOfTen[k] != x)
            continue;
        const char* end = std::to_chars(result.digits, result.digits + sizeof result.digits, m).ptr;
        const int length = static_cast<int>(end - result.digits);
        result.exponent = length - k;
        result.count = length;
        while (result.digits[result.count - 1] == '0') --result.count;  // m > 0
        return true;
    }
    return false;
}

}  // namespace

ShortestDigits shortest_digits(double d) {
    ShortestDigits result{};
    const double x = std::fabs(d);
    if (x != 0 && short_decimal_digits(x, result)) return result;
    // std::to_chars in scientific form gives the shortest digits that round-trip:
    // "d[.ddd]e±XX". Moving the point in front of the first digit adds one to the exponent.
    char text[40];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, x, std::chars_format::scientific);
    const char* p = text;
    for (; p != end && *p != 'e'; ++p)
        if (*p != '.') result.digits[result.count++] = *p;
    int exponent = 0;
    if (p != end) std::from_chars(p + 1 + (p[1] == '+'), end, exponent);
    result.exponent = exponent + 1;
    (void)ec;  // the buffer holds any double
    return result;
}

namespace {

// The digits of `s` in fixed notation, without exponent: all digits and zeros up to the
// point ("12300"), digits on both sides of it ("12.3"), or "0." and zeros before them
// ("0.00123"). No point when the value is integral.
[[gnu::always_inline]] inline char* put_fixed_digits(const ShortestDigits& s, char* out) {
    const int n = s.count;
    const int point = s.exponent;
    if (point >= n) {
        std::memcpy(out, s.digits, static_cast<std::size_t>(n));
        out += n;
        std::memset(out, '0', static_cast<std::size_t>(point - n));
        return out + (point - n);
    }
    if (point > 0) {
        std::memcpy(out, s.digits, static_cast<std::size_t>(point));
        out += point;
        *out++ = '.';
        std::memcpy(out, s.digits + point, static_cast<std::size_t>(n - point));
        return out + (n - point);
    }
    out[0] = '0';
    out[1] = '.';
    out += 2;
    std::memset(out, '0', static_cast<std::size_t>(-point));
    out += -point;
    std::memcpy(out, s.digits, static_cast<std::size_t>(n));
    return out + n;
}

}  // namespace

char* put_json_float(double d, char* out) {
    if (std::signbit(d)) *out++ = '-';
    const ShortestDigits s = shortest_digits(d);
    const int n = s.count;
    const int kk = s.exponent;
    if (n <= kk && kk <= 16) {
        // Integral: all digits, zeros up to the point, and a fraction of ".0".
        out = put_fixed_digits(s, out);
        out[0] = '.';
        out[1] = '0';
        return out + 2;
    }
    if (-5 < kk && kk <= 16) return put_fixed_digits(s, out);
    *out++ = s.digits[0];
    if (n > 1) {
        *out++ = '.';
        std::memcpy(out, s.digits + 1, static_cast<std::size_t>(n - 1));
        out += n - 1;
    }
    *out++ = 'e';
    *out++ = kk - 1 < 0 ? '-' : '+';
    return std::to_chars(out, out + 4, std::abs(kk - 1)).ptr;
}

char* put_decimal_float(double d, char* out) {
    if (std::signbit(d)) *out++ = '-';
    // An integral float loads back as an integer: below 2^64 that integer must be the
    // float's exact value, not the shortest digits padded with zeros (2^62 + 2^10 is
    // 4611686018427388928, which the padded form would turn into 4611686018427389000).
    const double magnitude = std::fabs(d);
    if (magnitude >= 1.0 && magnitude < 18446744073709551616.0 && std::floor(magnitude) == magnitude)
        return std::to_chars(out, out + 20, static_cast<std::uint64_t>(magnitude)).ptr;
    return put_fixed_digits(shortest_digits(d), out);
}

char* put_toml_float(double d, char* out) {
    char* const start = out;
    char* end = std::to_chars(out, out + kTomlFloatRoom, d).ptr;
    bool integral = true;
    for (const char* q = start; q < end; ++q)
        if (*q == '.' || *q == 'e') integral = false;
    if (integral) {
        *end++ = '.';
        *end++ = '0';
    }
    return end;
}

void append_json_float(double d, std::string& out) {
    char text[kJsonFloatRoom];
    out.append(text, put_json_float(d, text));
}

}  // namespace zel
