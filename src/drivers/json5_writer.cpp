// The JSON5 writer: the JSON5 instance of the shared document walk (json_writer.hpp), with a
// comma after every member and element, bare identifier keys, the quote character chosen
// per string, and floats in plain decimal notation. Owns the JSON5 string and float texts.
#include "drivers/json5_writer.hpp"

#include <cmath>
#include <cstddef>
#include <string_view>

#include "drivers/json5_reader.hpp"
#include "drivers/json_writer.hpp"

namespace zel {
namespace {

// Double quotes, unless the text holds a double quote and no single quote. Inside: \\, \n,
// \r, \u2028, \u2029 and the escaped quote; every other byte as it is.
void append_json5_string(std::string_view text, std::string& out) {
    const bool has_double = text.find('"') != std::string_view::npos;
    const bool has_single = text.find('\'') != std::string_view::npos;
    const char quote = has_double && !has_single ? '\'' : '"';
    out += quote;
    const char* run = text.data();  // start of the bytes not yet copied
    const char* end = text.data() + text.size();
    for (const char* p = run; p != end; ++p) {
        const char c = *p;
        const char* escape;
        std::size_t skip = 1;  // bytes of the input the escape replaces
        if (c == quote) {
            escape = quote == '"' ? "\\\"" : "\\'";
        } else if (c == '\\') {
            escape = "\\\\";
        } else if (c == '\n') {
            escape = "\\n";
        } else if (c == '\r') {
            escape = "\\r";
        } else if (c == '\xE2' && end - p >= 3 && p[1] == '\x80' &&
                   (p[2] == '\xA8' || p[2] == '\xA9')) {
            escape = p[2] == '\xA8' ? "\\u2028" : "\\u2029";
            skip = 3;
        } else {
            continue;
        }
        out.append(run, p);
        out += escape;
        p += skip - 1;
        run = p + 1;
    }
    out.append(run, end);
    out += quote;
}

// Plain decimal: the shortest round-trip digits, no exponent, no fraction when integral
// (1e20 is "100000000000000000000", 1.5e-7 is "0.00000015", -0.0 is "-0").
void append_json5_float(double d, std::string& out) {
    if (std::signbit(d)) out += '-';
    // An integral float loads back as an integer: below 2^64 that integer must be the
    // float's exact value, not the shortest digits padded with zeros (2^62 + 2^10 is
    // 4611686018427388928, which the padded form would turn into 4611686018427389000).
    const double magnitude = std::fabs(d);
    if (magnitude >= 1.0 && magnitude < 18446744073709551616.0 && std::floor(magnitude) == magnitude) {
        out += std::to_string(static_cast<std::uint64_t>(magnitude));
        return;
    }
    const ShortestDigits s = shortest_digits(d);  // value = 0.d1...dn x 10^exponent
    const int n = s.count;
    const int point = s.exponent;
    if (point >= n) {
        out.append(s.digits, static_cast<std::size_t>(n));
        out.append(static_cast<std::size_t>(point - n), '0');
    } else if (point > 0) {
        out.append(s.digits, static_cast<std::size_t>(point));
        out += '.';
        out.append(s.digits + point, static_cast<std::size_t>(n - point));
    } else {
        out += "0.";
        out.append(static_cast<std::size_t>(-point), '0');
        out.append(s.digits, static_cast<std::size_t>(n));
    }
}

struct Json5Format {
    static constexpr bool kCommaAfterEveryMember = true;
    static void key(std::string_view k, std::string& out) {
        if (is_json5_identifier_name(k))
            out += k;
        else
            append_json5_string(k, out);
    }
    static void string(std::string_view s, std::string& out) { append_json5_string(s, out); }
    static void floating(double d, std::string& out) { append_json5_float(d, out); }
};

}  // namespace

void write_json5(const Value& value, std::string& out) { write_document<Json5Format>(value, out); }

}  // namespace zel
