// YAML scalar typing: the core schema's null, bool, int and float forms, and the core tags.
#include "formats/yaml/scalars.hpp"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "text/number_text.hpp"
#include "text/utf8.hpp"

namespace zel {
namespace {

bool is_null_word(std::string_view t) {
    return t == "~" || t == "null" || t == "Null" || t == "NULL";
}

// 1 for a true form, 0 for a false form, -1 for anything else (yes, on, ... included).
int bool_word(std::string_view t) {
    if (t == "true" || t == "True" || t == "TRUE") return 1;
    if (t == "false" || t == "False" || t == "FALSE") return 0;
    return -1;
}

// An unsigned 128-bit magnitude in two halves; no native 128-bit type exists on every target.
struct U128 {
    std::uint64_t hi = 0;
    std::uint64_t lo = 0;

    // this = this * base + digit; false when the result needs more than 128 bits.
    bool mul_add(unsigned base, unsigned digit) {
        const std::uint64_t low_product = (lo & 0xFFFFFFFFu) * base;
        const std::uint64_t high_product = (lo >> 32) * base;
        const std::uint64_t carry = (high_product + (low_product >> 32)) >> 32;
        if (hi > (UINT64_MAX - carry) / base) return false;
        std::uint64_t new_hi = hi * base + carry;
        std::uint64_t new_lo = lo * base;
        new_lo += digit;
        if (new_lo < digit) {
            if (new_hi == UINT64_MAX) return false;
            ++new_hi;
        }
        hi = new_hi;
        lo = new_lo;
        return true;
    }
};

enum class IntText {
    NotInteger,   // not the integer syntax
    LeadingZero,  // decimal digits with a leading 0, such as 0123: a string, never a number
    Number,       // a Value number
    OutOfRange,   // an integer that fits 128 bits but not the Value ranges
    TooLong,      // an integer that needs more than 128 bits
};

int digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

// [+-]? ( 0x hex+ | 0o oct+ | 0b bin+ | dec+ ), one sign at most, prefixes in lower case.
IntText parse_integer(std::string_view t, Value& out) {
    std::size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    unsigned base = 10;
    if (t.size() - i >= 2 && t[i] == '0') {
        if (t[i + 1] == 'x') base = 16;
        if (t[i + 1] == 'o') base = 8;
        if (t[i + 1] == 'b') base = 2;
        if (base != 10) i += 2;
    }
    if (i == t.size()) return IntText::NotInteger;
    const bool leading_zero = base == 10 && t[i] == '0' && t.size() - i >= 2;
    U128 magnitude;
    // Up to 19 decimal digits always fit 64 bits: the common case, without the 128-bit steps.
    if (base == 10 && t.size() - i <= 19) {
        std::uint64_t value = 0;
        for (; i < t.size(); ++i) {
            const unsigned d = static_cast<unsigned char>(t[i]) - unsigned{'0'};
            if (d > 9) return IntText::NotInteger;
            value = value * 10 + d;
        }
        magnitude.lo = value;
    }
    bool too_long = false;
    for (; i < t.size(); ++i) {
        const int d = digit_value(t[i]);
        if (d >= static_cast<int>(base)) return IntText::NotInteger;
        if (!too_long && !magnitude.mul_add(base, static_cast<unsigned>(d))) too_long = true;
    }
    if (leading_zero) return IntText::LeadingZero;
    if (too_long) return IntText::TooLong;
    constexpr std::uint64_t kTop = std::uint64_t{1} << 63;
    if (negative) {
        if (magnitude.hi == 0 && magnitude.lo <= kTop) {
            out = Value::integer(magnitude.lo == kTop ? INT64_MIN
                                                      : -static_cast<std::int64_t>(magnitude.lo));
            return IntText::Number;
        }
        // Down to -2^127 is a signed 128-bit integer.
        if (magnitude.hi < kTop || (magnitude.hi == kTop && magnitude.lo == 0))
            return IntText::OutOfRange;
        return IntText::TooLong;
    }
    if (magnitude.hi == 0) {
        out = Value::uinteger(magnitude.lo);
        return IntText::Number;
    }
    return IntText::OutOfRange;
}

// The decimal floating-point syntax: [+-]? (digits [. digits?] | . digits) ([eE] [+-]? digits)?
bool is_decimal_float_syntax(std::string_view t) {
    std::size_t i = 0;
    auto digits = [&] {
        const std::size_t start = i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i;
        return i - start;
    };
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    std::size_t mantissa = digits();
    if (i < t.size() && t[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        if (digits() == 0) return false;
    }
    return i == t.size();
}

// Float rule: the .inf/.nan forms (null, since a number is always finite) or a decimal text
// that reads as a finite double. A magnitude below the smallest double is zero of its sign;
// one above the largest reads as an infinity, which the rule does not accept.
bool parse_float(std::string_view t, Value& out) {
    std::string_view unsigned_part = t;
    if (!t.empty() && (t[0] == '+' || t[0] == '-')) unsigned_part = t.substr(1);
    if (unsigned_part == ".inf" || unsigned_part == ".Inf" || unsigned_part == ".INF" ||
        t == ".nan" || t == ".NaN" || t == ".NAN") {
        out = Value::null();
        return true;
    }
    if (!is_decimal_float_syntax(t)) return false;
    // A magnitude beyond the largest double would read as an infinity, which is not a number.
    return decimal_number(t, false, out) == NumberText::Ok;
}

// Whether a YAML 1.2 core-schema reader resolves this plain text to something other than a
// string: null (empty, ~, null, Null, NULL), bool, int ([-+]?[0-9]+, 0o[0-7]+,
// 0x[0-9a-fA-F]+) or float (the decimal syntax, [-+]?.inf in three cases, .nan in three).
bool core_schema_types_as_non_string(std::string_view t) {
    if (t.empty() || is_null_word(t) || bool_word(t) >= 0 || is_decimal_float_syntax(t))
        return true;
    const auto all_digits = [](std::string_view d, int base) {
        return !d.empty() && std::all_of(d.begin(), d.end(), [base](char c) {
            return digit_value(c) < base;
        });
    };
    if (t.size() > 2 && t[0] == '0' && t[1] == 'o') return all_digits(t.substr(2), 8);
    if (t.size() > 2 && t[0] == '0' && t[1] == 'x') return all_digits(t.substr(2), 16);
    const std::string_view u = !t.empty() && (t[0] == '+' || t[0] == '-') ? t.substr(1) : t;
    return u == ".inf" || u == ".Inf" || u == ".INF" || t == ".nan" || t == ".NaN" ||
           t == ".NAN";
}

}  // namespace

TagRule tag_rule(std::string_view tag) {
    if (tag == "!") return TagRule::Str;
    constexpr std::string_view kCore = "tag:yaml.org,2002:";
    if (tag.substr(0, kCore.size()) != kCore) return TagRule::None;
    const std::string_view name = tag.substr(kCore.size());
    if (name == "null") return TagRule::Null;
    if (name == "bool") return TagRule::Bool;
    if (name == "int") return TagRule::Int;
    if (name == "float") return TagRule::Float;
    if (name == "str") return TagRule::Str;
    return TagRule::None;
}

const char* tag_short_name(TagRule rule) {
    switch (rule) {
        case TagRule::Null: return "!!null";
        case TagRule::Bool: return "!!bool";
        case TagRule::Int: return "!!int";
        case TagRule::Float: return "!!float";
        case TagRule::Str: return "!!str";
        default: return "";
    }
}

// Types the text of a scalar that is a value (not a mapping key).
ScalarFailure type_scalar(std::string_view t, bool plain, TagRule tag, Value& out) {
    switch (tag) {
        case TagRule::Null:
            // Empty content is null under any style, as it is untagged.
            if (!t.empty() && !is_null_word(t)) return ScalarFailure::TagMismatch;
            out = Value::null();
            return ScalarFailure::None;
        case TagRule::Bool: {
            const int b = bool_word(t);
            if (b < 0) return ScalarFailure::TagMismatch;
            out = Value::boolean(b == 1);
            return ScalarFailure::None;
        }
        case TagRule::Int:
            switch (parse_integer(t, out)) {
                case IntText::Number: return ScalarFailure::None;
                case IntText::OutOfRange:
                case IntText::TooLong: return ScalarFailure::OutOfRange;
                default: return ScalarFailure::TagMismatch;
            }
        case TagRule::Float:
            return parse_float(t, out) ? ScalarFailure::None : ScalarFailure::TagMismatch;
        case TagRule::Str:
            out = Value::string(t);
            return ScalarFailure::None;
        case TagRule::None:
            break;
    }
    if (plain) {
        if (t.empty() || is_null_word(t)) {
            out = Value::null();
            return ScalarFailure::None;
        }
        if (const int b = bool_word(t); b >= 0) {
            out = Value::boolean(b == 1);
            return ScalarFailure::None;
        }
        switch (parse_integer(t, out)) {
            case IntText::Number: return ScalarFailure::None;
            case IntText::OutOfRange: return ScalarFailure::OutOfRange;
            // An integer too long even for 128 bits keeps its exact text as a string.
            case IntText::LeadingZero:
            case IntText::TooLong: out = Value::string(t); return ScalarFailure::None;
            case IntText::NotInteger: break;
        }
        if (parse_float(t, out)) return ScalarFailure::None;
    }
    out = Value::string(t);
    return ScalarFailure::None;
}

bool type_plain_scalar(std::string_view text, Value& out) {
    return type_scalar(text, true, TagRule::None, out) == ScalarFailure::None;
}

bool yaml_plain_text_is_string(std::string_view text) {
    if (core_schema_types_as_non_string(text)) return false;
    Value typed;
    return type_scalar(text, true, TagRule::None, typed) == ScalarFailure::None &&
           typed.is_string();
}

std::size_t append_yaml_escape(std::string_view s, std::size_t at, std::string& out) {
    if (at + 1 >= s.size()) return 0;
    std::size_t digits = 0;
    std::uint32_t code = 0;
    switch (s[at + 1]) {
        case '0': code = 0x00; break;
        case 'a': code = 0x07; break;
        case 'b': code = 0x08; break;
        case 't': case '\t': code = 0x09; break;
        case 'n': code = 0x0A; break;
        case 'v': code = 0x0B; break;
        case 'f': code = 0x0C; break;
        case 'r': code = 0x0D; break;
        case 'e': code = 0x1B; break;
        case ' ': code = 0x20; break;
        case '"': code = 0x22; break;
        case '/': code = 0x2F; break;
        case '\\': code = 0x5C; break;
        case 'N': code = 0x85; break;
        case '_': code = 0xA0; break;
        case 'L': code = 0x2028; break;
        case 'P': code = 0x2029; break;
        case 'x': digits = 2; break;
        case 'u': digits = 4; break;
        case 'U': digits = 8; break;
        default: return 0;
    }
    if (digits > s.size() - at - 2) return 0;
    for (std::size_t k = 0; k < digits; ++k) {
        const char c = s[at + 2 + k];
        const int d = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
        if (d < 0) return 0;
        code = code << 4 | static_cast<std::uint32_t>(d);
    }
    if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    append_utf8(static_cast<char32_t>(code), out);
    return 2 + digits;
}

}  // namespace zel
