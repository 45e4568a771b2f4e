// The JSON5 reader: a recursive-descent parser over UTF-8 text that builds the Value tree
// directly; depth is checked before each descent, so nesting never exceeds kJson5MaxDepth.
// Owns the JSON5 error descriptions and their positions ("... at line L column C").
#include "formats/json/json5_reader.hpp"

#include <utf8proc.h>

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "formats/format.hpp"
#include "formats/json/json5_identifier.hpp"
#include "text/hex.hpp"
#include "text/number_text.hpp"
#include "text/utf8.hpp"

namespace zel {
namespace {

utf8proc_category_t category(char32_t cp) noexcept {
    return utf8proc_category(static_cast<utf8proc_int32_t>(cp));
}

// White space outside ASCII: no-break space, the byte-order mark, the two Unicode line and
// paragraph separators and every other space separator (Zs).
bool is_unicode_space(char32_t cp) noexcept {
    return cp == 0xA0 || cp == 0xFEFF || cp == 0x2028 || cp == 0x2029 ||
           category(cp) == UTF8PROC_CATEGORY_ZS;
}

bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

// What a byte can start, for skip_space: ASCII white space, a comment or white space outside
// ASCII (a '/' or any byte above 0x7F), or nothing of the kind.
constexpr unsigned char kNotSpace = 0, kAsciiSpace = 1, kMaybeSpace = 2;
constexpr auto kSpaceClass = [] {
    std::array<unsigned char, 256> table{};
    for (const unsigned char c : std::string_view("\t\n\v\f\r ")) table[c] = kAsciiSpace;
    table['/'] = kMaybeSpace;
    for (unsigned c = 0x80; c < 0x100; ++c) table[c] = kMaybeSpace;
    return table;
}();

bool is_high_surrogate(char32_t cp) noexcept { return cp >= 0xD800 && cp <= 0xDBFF; }
bool is_low_surrogate(char32_t cp) noexcept { return cp >= 0xDC00 && cp <= 0xDFFF; }


class Parser {
public:
    explicit Parser(std::string_view text) noexcept
        : begin_(text.data()), p_(text.data()), end_(text.data() + text.size()) {}

    Result<Value> run() {
        Value root;
        if (!skip_space()) return error();
        if (p_ == end_) {
            fail("unexpected end of input", p_);  // nothing but white space and comments
            return error();
        }
        if (!parse_value(root, 0) || !skip_space()) return error();
        if (p_ != end_) {
            fail("trailing characters", p_);
            return error();
        }
        return root;
    }

private:
    // ---- failures ----

    bool fail(std::string description, const char* at) {
        description_ = std::move(description);
        error_at_ = at;
        return false;
    }

    // What is wrong with the character at `at`, which the grammar does not allow there.
    bool fail_unexpected(const char* at) {
        if (at == end_) return fail("unexpected end of input", at);
        char32_t cp;
        const int length = decode_utf8(at, end_, cp);
        if (length == 0) return fail("invalid utf-8", at);
        if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0)) {
            const char code[] = {'U', '+', '0', '0', kHexUpper[cp >> 4], kHexUpper[cp & 0xF], '\0'};
            return fail(std::string("unexpected character ") + code, at);
        }
        const std::string text(at, static_cast<std::size_t>(length));
        return fail("unexpected character '" + text + "'", at);
    }

    // The full message for the failure recorded by fail(). Lines end at LF, CR, CRLF, U+2028
    // or U+2029; the column is the 1-based index, counted in code points, of the offending
    // character on its line: the backslash that opens a bad escape, the first byte of invalid
    // UTF-8, the bracket one level too deep, or, when the input ends too early (an
    // unterminated string or comment included), one past the last character.
    Error error() const {
        // Worked out only now, from the start of the text: the parse itself counts nothing.
        // Everything before the error decoded cleanly, so the column counts code points.
        const std::string_view text(begin_, static_cast<std::size_t>(end_ - begin_));
        return parse_error(Format::Json5, description_,
                           position_in(Format::Json5, text,
                                       static_cast<std::size_t>(error_at_ - begin_)));
    }

    // ---- white space and comments ----

    // Moves past white space and comments. False only on a broken comment or invalid UTF-8.
    // Most calls stand on a byte that starts no white space (after a key, after a value), or
    // on a single blank after a colon: both are settled here, the rest out of line.
    bool skip_space() {
        if (p_ != end_ && kSpaceClass[static_cast<unsigned char>(*p_)] == kNotSpace) return true;
        if (end_ - p_ >= 2 && *p_ == ' ' &&
            kSpaceClass[static_cast<unsigned char>(p_[1])] == kNotSpace) {
            ++p_;
            return true;
        }
        return skip_space_run();
    }

    [[gnu::noinline]] bool skip_space_run() {
        while (p_ != end_) {
            // ASCII white space in a loop of its own, a table look-up per byte: most of the
            // white space of a written file is line breaks and indentation, whose blanks are
            // passed eight at a time.
            if (kSpaceClass[static_cast<unsigned char>(*p_)] == kAsciiSpace) {
                do {
                    ++p_;
                    while (end_ - p_ >= 8) {
                        std::uint64_t word;
                        std::memcpy(&word, p_, 8);
                        const std::uint64_t other = word ^ 0x2020202020202020u;  // 0 for blanks
                        if (other == 0) {
                            p_ += 8;
                            continue;
                        }
                        p_ += (std::endian::native == std::endian::little ? std::countr_zero(other)
                                                                          : std::countl_zero(other)) / 8;
                        break;
                    }
                } while (p_ != end_ && kSpaceClass[static_cast<unsigned char>(*p_)] == kAsciiSpace);
                continue;
            }
            const char c = *p_;
            switch (c) {
                case '/':
                    if (end_ - p_ >= 2 && p_[1] == '/') {
                        if (!skip_line_comment()) return false;
                        continue;
                    }
                    if (end_ - p_ >= 2 && p_[1] == '*') {
                        if (!skip_block_comment()) return false;
                        continue;
                    }
                    return true;  // a lone '/': the caller reports it
                default:
                    break;
            }
            if (static_cast<unsigned char>(c) < 0x80) return true;
            char32_t cp;
            const int length = decode_utf8(p_, end_, cp);
            if (length == 0) return fail("invalid utf-8", p_);
            if (!is_unicode_space(cp)) return true;
            p_ += length;
        }
        return true;
    }

    // From "//" up to (not including) the line terminator or the end of the input.
    bool skip_line_comment() {
        p_ += 2;
        while (p_ != end_) {
            const char c = *p_;
            if (c == '\n' || c == '\r') return true;
            if (static_cast<unsigned char>(c) < 0x80) {
                ++p_;
                continue;
            }
            char32_t cp;
            const int length = decode_utf8(p_, end_, cp);
            if (length == 0) return fail("invalid utf-8", p_);
            if (cp == 0x2028 || cp == 0x2029) return true;
            p_ += length;
        }
        return true;
    }

    bool skip_block_comment() {
        p_ += 2;
        while (p_ != end_) {
            const char c = *p_;
            if (c == '*' && end_ - p_ >= 2 && p_[1] == '/') {
                p_ += 2;
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x80) {
                ++p_;
                continue;
            }
            char32_t cp;
            const int length = decode_utf8(p_, end_, cp);
            if (length == 0) return fail("invalid utf-8", p_);
            p_ += length;
        }
        return fail("unterminated comment", end_);
    }

    // ---- values ----

    // `depth` is the number of arrays and objects that enclose the value.
    bool parse_value(Value& out, std::size_t depth) {
        if (p_ == end_) return fail_unexpected(p_);
        switch (*p_) {
            case '{':
            case '[':
                if (depth >= kJson5MaxDepth) return fail("recursion limit exceeded", p_);
                return *p_ == '{' ? parse_object(out, depth + 1) : parse_array(out, depth + 1);
            case '"':
            case '\'':
            {
                // A string of plain ASCII characters is taken straight from the text.
                const char* run = p_ + 1;
                const char* stop = plain_run_end(run, *p_);
                if (stop != end_ && *stop == *p_) {
                    out = Value::string(std::string_view(run, static_cast<std::size_t>(stop - run)));
                    p_ = stop + 1;
                    return true;
                }
                std::string text;
                if (!parse_string(text)) return false;
                out = Value::string(text);
                return true;
            }
            case 'n':
                out = Value::null();
                return parse_word("null");
            case 't':
                out = Value::boolean(true);
                return parse_word("true");
            case 'f':
                out = Value::boolean(false);
                return parse_word("false");
            case '+': case '-': case '.': case 'I': case 'N':
            case '0': case '1': case '2': case '3': case '4':
            case '5': case '6': case '7': case '8': case '9':
                return parse_number(out);
            default:
                return fail_unexpected(p_);
        }
    }

    bool parse_word(std::string_view word) {
        for (const char c : word) {
            if (p_ == end_ || *p_ != c) return fail_unexpected(p_);
            ++p_;
        }
        return true;
    }

    // Arrays and objects gather their elements and members on the parser's pending stacks
    // (an enclosing container's above its own) and are made at their closing bracket, each
    // block of exactly its size, an object's members sorted once.
    bool parse_array(Value& out, std::size_t depth) {
        ++p_;  // '['
        const std::size_t first = elements_.size();
        for (;;) {
            if (!skip_space()) return false;
            if (p_ != end_ && *p_ == ']') break;
            Value item;
            if (!parse_value(item, depth)) return false;
            elements_.push_back(std::move(item));
            if (!skip_space()) return false;
            if (p_ != end_ && *p_ == ',') {
                ++p_;
                continue;
            }
            if (p_ != end_ && *p_ == ']') break;
            return fail_unexpected(p_);
        }
        ++p_;  // ']'
        out = Value::array(Array::from_values(elements_.data() + first, elements_.size() - first));
        elements_.resize(first);
        return true;
    }

    bool parse_object(Value& out, std::size_t depth) {
        ++p_;  // '{'
        const std::size_t first = members_.size();
        std::string key;
        for (;;) {
            if (!skip_space()) return false;
            if (p_ != end_ && *p_ == '}') break;
            key.clear();
            if (p_ != end_ && (*p_ == '"' || *p_ == '\'')) {
                if (!parse_string(key)) return false;
            } else if (!parse_identifier(key)) {
                return false;
            }
            if (!skip_space()) return false;
            if (p_ == end_ || *p_ != ':') return fail_unexpected(p_);
            ++p_;
            if (!skip_space()) return false;
            Value member;
            if (!parse_value(member, depth)) return false;
            // Of a repeated key the later value is kept (by from_members).
            members_.push_back(Member{Value::string(key), std::move(member)});
            if (!skip_space()) return false;
            if (p_ != end_ && *p_ == ',') {
                ++p_;
                continue;
            }
            if (p_ != end_ && *p_ == '}') break;
            return fail_unexpected(p_);
        }
        ++p_;  // '}'
        out = Value::object(Object::from_members(members_.data() + first, members_.size() - first));
        members_.resize(first);
        return true;
    }

    // ---- strings and identifiers ----

    // Four hexadecimal digits after "\u" at `p_`, which is left after them.
    bool parse_hex4(const char* escape, char32_t& cp, const char* eof_description) {
        cp = 0;
        for (int i = 0; i < 4; ++i, ++p_) {
            if (p_ == end_) return fail(eof_description, p_);
            const int digit = hex_value(*p_);
            if (digit < 0) return fail("invalid escape", escape);
            cp = (cp << 4) | static_cast<char32_t>(digit);
        }
        return true;
    }

    // A \u escape whose "\u" has been taken: one code unit, or a surrogate pair written as
    // two escapes. A surrogate that is not half of a pair fails.
    bool parse_unicode_escape(const char* escape, char32_t& cp, const char* eof_description) {
        if (!parse_hex4(escape, cp, eof_description)) return false;
        if (is_low_surrogate(cp)) return fail("lone surrogate in escape", escape);
        if (!is_high_surrogate(cp)) return true;
        const char* second = p_;
        if (end_ - p_ < 2 || p_[0] != '\\' || p_[1] != 'u') {
            if (end_ - p_ < 2 && (p_ == end_ || *p_ == '\\')) return fail(eof_description, end_);
            return fail("lone surrogate in escape", escape);
        }
        p_ += 2;
        char32_t low;
        if (!parse_hex4(second, low, eof_description)) return false;
        if (!is_low_surrogate(low)) return fail("lone surrogate in escape", escape);
        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        return true;
    }

    // The end of the characters from `from` on that stand for themselves in a string closed
    // by `quote`: the quote, a backslash, a line break, a byte above 0x7F or the end.
    const char* plain_run_end(const char* from, char quote) const noexcept {
        while (from != end_) {
            const char c = *from;
            if (c == quote || c == '\\' || c == '\n' || c == '\r' ||
                static_cast<unsigned char>(c) >= 0x80)
                break;
            ++from;
        }
        return from;
    }

    // A single- or double-quoted string at `p_`, decoded and appended to `out`.
    bool parse_string(std::string& out) {
        const char quote = *p_++;
        for (;;) {
            const char* run = p_;
            p_ = plain_run_end(p_, quote);
            out.append(run, static_cast<std::size_t>(p_ - run));
            if (p_ == end_) return fail("unterminated string", p_);
            const char c = *p_;
            if (c == quote) {
                ++p_;
                return true;
            }
            if (c == '\n' || c == '\r') return fail("unescaped line break in string", p_);
            if (c == '\\') {
                if (!parse_escape(out)) return false;
                continue;
            }
            char32_t cp;
            const int length = decode_utf8(p_, end_, cp);
            if (length == 0) return fail("invalid utf-8", p_);
            out.append(p_, static_cast<std::size_t>(length));
            p_ += length;
        }
    }

    bool parse_escape(std::string& out) {
        const char* escape = p_++;  // the backslash
        if (p_ == end_) return fail("unterminated string", p_);
        const char c = *p_++;
        switch (c) {
            case 'b': out += '\b'; return true;
            case 'f': out += '\f'; return true;
            case 'n': out += '\n'; return true;
            case 'r': out += '\r'; return true;
            case 't': out += '\t'; return true;
            case 'v': out += '\v'; return true;
            case '0':
                if (p_ != end_ && is_digit(*p_)) return fail("invalid escape", escape);
                out += '\0';
                return true;
            case '1': case '2': case '3': case '4': case '5':
            case '6': case '7': case '8': case '9':
                return fail("invalid escape", escape);
            case 'x': {
                char32_t cp = 0;
                for (int i = 0; i < 2; ++i, ++p_) {
                    if (p_ == end_) return fail("unterminated string", p_);
                    const int digit = hex_value(*p_);
                    if (digit < 0) return fail("invalid escape", escape);
                    cp = (cp << 4) | static_cast<char32_t>(digit);
                }
                append_utf8(cp, out);
                return true;
            }
            case 'u': {
                char32_t cp;
                if (!parse_unicode_escape(escape, cp, "unterminated string")) return false;
                append_utf8(cp, out);
                return true;
            }
            case '\n':
                return true;  // line continuation
            case '\r':
                if (p_ != end_ && *p_ == '\n') ++p_;
                return true;
            default:
                break;
        }
        if (static_cast<unsigned char>(c) < 0x80) {
            out += c;  // \' \" \\ and every other character stand for themselves
            return true;
        }
        --p_;
        char32_t cp;
        const int length = decode_utf8(p_, end_, cp);
        if (length == 0) return fail("invalid utf-8", p_);
        if (cp != 0x2028 && cp != 0x2029) out.append(p_, static_cast<std::size_t>(length));
        p_ += length;
        return true;
    }

    // An identifier name used as a key: raw identifier characters and \uXXXX escapes that
    // stand for identifier characters.
    bool parse_identifier(std::string& out) {
        bool first = true;
        for (;; first = false) {
            const char* run = p_;
            while (p_ != end_ && is_json5_ascii_identifier_part(*p_) && !(first && is_digit(*p_))) {
                ++p_;
                first = false;
            }
            out.append(run, static_cast<std::size_t>(p_ - run));
            if (p_ == end_) break;
            const char* at = p_;
            char32_t cp;
            if (*p_ == '\\') {
                if (end_ - p_ < 2) return fail("unexpected end of input", end_);
                if (p_[1] != 'u') return fail("invalid identifier", at);
                p_ += 2;
                if (!parse_unicode_escape(at, cp, "unexpected end of input")) return false;
                if (!(first ? is_json5_identifier_start(cp) : is_json5_identifier_part(cp)))
                    return fail("invalid identifier", at);
                append_utf8(cp, out);
                continue;
            }
            if (static_cast<unsigned char>(*p_) < 0x80) break;
            const int length = decode_utf8(p_, end_, cp);
            if (length == 0) return fail("invalid utf-8", p_);
            if (!(first ? is_json5_identifier_start(cp) : is_json5_identifier_part(cp))) break;
            out.append(p_, static_cast<std::size_t>(length));
            p_ += length;
        }
        if (out.empty()) return fail_unexpected(p_);  // no identifier started here
        return true;
    }

    // ---- numbers ----

    bool parse_number(Value& out) {
        const char* sign = p_;
        bool negative = false;
        if (*p_ == '+' || *p_ == '-') {
            negative = *p_ == '-';
            ++p_;
        }
        if (p_ == end_) return fail_unexpected(p_);
        if (*p_ == 'I' || *p_ == 'N') {
            const bool infinity = *p_ == 'I';
            if (!parse_word(infinity ? "Infinity" : "NaN")) return false;
            out = Value::null();  // a number is always finite
            return true;
        }
        if (*p_ == '0' && end_ - p_ >= 2 && (p_[1] == 'x' || p_[1] == 'X')) {
            p_ += 2;
            const char* digits = p_;
            while (p_ != end_ && hex_value(*p_) >= 0) ++p_;
            if (p_ == digits) return fail_unexpected(p_);
            return hex_number(sign, digits, negative, out);
        }
        const char* digits = p_;
        bool integral = true;
        bool has_digits = false;
        if (*p_ == '0') {
            ++p_;
            has_digits = true;
            if (p_ != end_ && is_digit(*p_)) return fail("leading zero in number", digits);
        } else {
            while (p_ != end_ && is_digit(*p_)) ++p_;
            has_digits = p_ != digits;
        }
        if (p_ != end_ && *p_ == '.') {
            integral = false;
            const char* fraction = ++p_;
            while (p_ != end_ && is_digit(*p_)) ++p_;
            has_digits = has_digits || p_ != fraction;
        }
        if (!has_digits) return fail_unexpected(p_);
        if (p_ != end_ && (*p_ == 'e' || *p_ == 'E')) {
            integral = false;
            ++p_;
            if (p_ != end_ && (*p_ == '+' || *p_ == '-')) ++p_;
            const char* exponent = p_;
            while (p_ != end_ && is_digit(*p_)) ++p_;
            if (p_ == exponent) return fail_unexpected(p_);
        }
        // Up to 19 digits always fit 64 bits: the integers of everyday files, made here as
        // decimal_number would make them ("-0" is the unsigned zero).
        if (integral && p_ - digits <= 19) {
            std::uint64_t u = 0;
            for (const char* d = digits; d != p_; ++d)
                u = u * 10 + static_cast<unsigned>(*d - '0');
            if (!negative || u == 0) {
                out = Value::uinteger(u);
                return true;
            }
            if (u <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
                out = Value::integer(-static_cast<std::int64_t>(u));
                return true;
            }
        }
        switch (decimal_number(std::string_view(sign, static_cast<std::size_t>(p_ - sign)),
                               integral, out)) {
            case NumberText::Ok: return true;
            case NumberText::OutOfRange: return fail("number out of range", sign);
            case NumberText::Invalid: break;
        }
        return fail("invalid number", sign);
    }

    // Hexadecimal digits [digits, p_): an integer when it fits (2^64 - 1, or down to -2^63
    // when negative), otherwise the correctly rounded float.
    bool hex_number(const char* sign, const char* digits, bool negative, Value& out) {
        std::uint64_t u = 0;
        const auto r = std::from_chars(digits, p_, u, 16);
        if (r.ec == std::errc() && r.ptr == p_) {
            constexpr std::uint64_t kMinMagnitude = std::uint64_t{1} << 63;
            if (!negative) {
                out = Value::uinteger(u);
            } else if (u < kMinMagnitude) {
                out = Value::integer(-static_cast<std::int64_t>(u));
            } else if (u == kMinMagnitude) {
                out = Value::integer(std::numeric_limits<std::int64_t>::min());
            } else {
                out = Value::floating(-static_cast<double>(u));
            }
            return true;
        }
        double d = 0;
        const auto f = std::from_chars(digits, p_, d, std::chars_format::hex);
        if (f.ec == std::errc::result_out_of_range || !std::isfinite(d))
            return fail("number out of range", sign);
        if (f.ec != std::errc() || f.ptr != p_) return fail("invalid number", digits);
        out = Value::floating(negative ? -d : d);
        return true;
    }

    const char* begin_;
    const char* p_;
    const char* end_;
    std::string description_;
    const char* error_at_ = nullptr;
    std::vector<Value> elements_;  // pending elements of the open arrays
    std::vector<Member> members_;  // pending members of the open objects
};

}  // namespace

Result<Value> parse_json5(std::string_view text) { return Parser(text).run(); }

}  // namespace zel
