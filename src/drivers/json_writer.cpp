// The JSON writer's pieces: string escaping, integer and float texts, indentation, and the
// JSON instance of the shared document walk declared in json_writer.hpp.
#include "drivers/json_writer.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

namespace zel {

namespace writer_detail {

void append_indent(std::string& out, std::size_t depth) {
    out += '\n';
    out.append(2 * depth, ' ');
}

void append_uint(std::uint64_t u, std::string& out) {
    char buffer[24];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, u).ptr;
    out.append(buffer, end);
}

void append_int(std::int64_t i, std::string& out) {
    char buffer[24];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, i).ptr;
    out.append(buffer, end);
}

}  // namespace writer_detail

ShortestDigits shortest_digits(double d) {
    // std::to_chars in scientific form gives the shortest digits that round-trip:
    // "d[.ddd]e±XX". Moving the point in front of the first digit adds one to the exponent.
    char text[40];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, std::fabs(d),
                                         std::chars_format::scientific);
    ShortestDigits result{};
    const char* p = text;
    for (; p != end && *p != 'e'; ++p)
        if (*p != '.') result.digits[result.count++] = *p;
    int exponent = 0;
    if (p != end) std::from_chars(p + 1 + (p[1] == '+'), end, exponent);
    result.exponent = exponent + 1;
    (void)ec;  // the buffer holds any double
    return result;
}

void append_json_float(double d, std::string& out) {
    if (std::signbit(d)) out += '-';
    const ShortestDigits s = shortest_digits(d);
    const int n = s.count;
    const int kk = s.exponent;
    if (n <= kk && kk <= 16) {
        // Integral: all digits, zeros up to the point, and a fraction of ".0".
        out.append(s.digits, static_cast<std::size_t>(n));
        out.append(static_cast<std::size_t>(kk - n), '0');
        out += ".0";
    } else if (0 < kk && kk <= 16) {
        out.append(s.digits, static_cast<std::size_t>(kk));
        out += '.';
        out.append(s.digits + kk, static_cast<std::size_t>(n - kk));
    } else if (-5 < kk && kk <= 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-kk), '0');
        out.append(s.digits, static_cast<std::size_t>(n));
    } else {
        out += s.digits[0];
        if (n > 1) {
            out += '.';
            out.append(s.digits + 1, static_cast<std::size_t>(n - 1));
        }
        out += 'e';
        out += kk - 1 < 0 ? '-' : '+';
        writer_detail::append_uint(static_cast<std::uint64_t>(std::abs(kk - 1)), out);
    }
}

void append_json_string(std::string_view text, std::string& out) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    const char* run = text.data();  // start of the bytes not yet copied
    const char* end = text.data() + text.size();
    for (const char* p = run; p != end; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c >= 0x20 && c != '"' && c != '\\') continue;
        out.append(run, p);
        run = p + 1;
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\f': out += "\\f"; break;
            case '\r': out += "\\r"; break;
            default: {
                const char escape[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
                out.append(escape, sizeof escape);
            }
        }
    }
    out.append(run, end);
    out += '"';
}

void write_json(const Value& value, std::string& out) { write_document<JsonFormat>(value, out); }

}  // namespace zel
