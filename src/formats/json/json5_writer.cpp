// The JSON5 writer: the JSON5 instance of the shared document walk (document_writer.hpp), with a
// comma after every member and element, bare identifier keys, the quote character chosen
// per string, and floats in plain decimal notation (number_text). Owns the JSON5 string text.
#include "formats/json/json5_writer.hpp"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>

#include "formats/json/document_writer.hpp"
#include "formats/json/json5_identifier.hpp"
#include "text/escape.hpp"
#include "text/hex.hpp"
#include "text/number_text.hpp"

namespace zel {
namespace {

// Double quotes, unless the text holds a double quote and no single quote.
char json5_quote(std::string_view text) {
    using namespace writer_detail;
    const bool has_double =
        any_word(text, [](std::uint64_t w) { return any_byte_equal(w, '"') != 0; });
    if (!has_double) return '"';
    const bool has_single =
        any_word(text, [](std::uint64_t w) { return any_byte_equal(w, '\'') != 0; });
    return has_single ? '"' : '\'';
}

// Inside the quotes: \\, \n, \r, \u2028, \u2029 and the escaped quote; every other byte as
// it is; eight bytes at a time (writer_detail::escape_words). A cut inside the text
// (writer_detail::piece_end) never splits the three bytes of U+2028 or U+2029.
char* escape_json5(const char* in, const char* end, char quote, char* out) {
    using namespace writer_detail;
    const auto plain = [quote](std::uint64_t w) {
        return (any_byte_equal(w, static_cast<unsigned char>(quote)) | any_byte_equal(w, '\\') |
                any_byte_equal(w, '\n') | any_byte_equal(w, '\r') | any_byte_equal(w, 0xE2)) == 0;
    };
    // An escape of three bytes may reach past `stop`, never past `end`.
    const auto slowly = [quote, end](const char* in, const char* stop, char* out) {
        while (in < stop) {
            const char c = *in;
            if (c == quote || c == '\\' || c == '\n' || c == '\r') {
                out = put_escape(static_cast<unsigned char>(c), kHexLower, out);
                ++in;
            } else if (c == '\xE2' && end - in >= 3 && in[1] == '\x80' &&
                       (in[2] == '\xA8' || in[2] == '\xA9')) {
                std::memcpy(out, in[2] == '\xA8' ? "\\u2028" : "\\u2029", 6);
                out += 6;
                in += 3;
            } else {
                *out++ = c;
                ++in;
            }
        }
        return std::pair{in, out};
    };
    return escape_words(in, end, out, plain, slowly);
}

// Keys that are identifier names go bare. Long keys are checked by table, byte by byte; the
// first byte beyond ASCII hands the key to the full Unicode test.
bool json5_bare_key(std::string_view k) {
    static constexpr auto kClass = [] {
        struct Table {
            unsigned char c[256] = {};
        } t;
        for (int c = 'a'; c <= 'z'; ++c) t.c[c] = 3;
        for (int c = 'A'; c <= 'Z'; ++c) t.c[c] = 3;
        t.c[static_cast<unsigned char>('_')] = t.c[static_cast<unsigned char>('$')] = 3;
        for (int c = '0'; c <= '9'; ++c) t.c[c] = 2;
        for (int c = 0x80; c < 256; ++c) t.c[c] = 4;
        return t;
    }();
    constexpr unsigned char kStart = 1, kPart = 2, kBeyondAscii = 4;
    if (k.empty()) return false;
    unsigned char cls = kClass.c[static_cast<unsigned char>(k[0])];
    if (cls & kBeyondAscii) return is_json5_identifier_name(k);
    if (!(cls & kStart)) return false;
    for (std::size_t i = 1; i < k.size(); ++i) {
        cls = kClass.c[static_cast<unsigned char>(k[i])];
        if (cls & kBeyondAscii) return is_json5_identifier_name(k);
        if (!(cls & kPart)) return false;
    }
    return true;
}

// Whether every byte of a word of ASCII bytes is a letter, a digit, '_' or '$': per byte,
// exactly (adding 0x80 - lo to a byte below 0x80 sets its top bit when it is at least lo,
// and carries into no other byte).
bool ascii_identifier_word(std::uint64_t w) {
    using writer_detail::kEveryByte;
    const auto at_least = [](std::uint64_t x, unsigned lo) { return x + kEveryByte * (0x80 - lo); };
    const auto within = [&](std::uint64_t x, unsigned lo, unsigned hi) {
        return at_least(x, lo) & ~at_least(x, hi + 1);
    };
    const std::uint64_t folded = w | kEveryByte * 0x20;  // 'A'-'Z' to 'a'-'z', and no other byte
    const std::uint64_t part = within(folded, 'a', 'z') | within(w, '0', '9') |
                               within(w, '_', '_') | within(w, '$', '$');
    return (part & kEveryByte * 0x80) == kEveryByte * 0x80;
}

struct Json5Format;

// An object's key: bare when it is an identifier name, else a string. A short ASCII key is
// checked and copied a word at a time (writer_detail::ShortText).
TextCursor put_json5_key(const Value& key, TextBuffer& buffer, TextCursor c) {
    using namespace writer_detail;
    const std::string_view name = key.as_string();
    ShortText t;
    if (read_short_text(key, name, t) && ((t.first_text | t.second_text) & kEveryByte * 0x80) == 0) {
        const unsigned lead = static_cast<unsigned char>(t.first_text);  // the first byte
        if (!name.empty() && !(lead >= '0' && lead <= '9') &&
            ascii_identifier_word(t.first_text) && ascii_identifier_word(t.second_text)) {
            c = buffer.make_room(c, 16 + kSlack);
            c.at = t.put(c.at);
            return c;
        }
        return put_text<Json5Format>(key, buffer, c);
    }
    if (!json5_bare_key(name)) return put_text<Json5Format>(key, buffer, c);
    c = buffer.make_room(c, name.size() + kSlack);
    std::memcpy(c.at, name.data(), name.size());
    c.at += name.size();
    return c;
}

struct Json5Format {
    static constexpr bool kCommaAfterEveryMember = true;
    static constexpr std::size_t kNumberRoom = kDecimalFloatRoom;
    static TextCursor key(const Value& k, TextBuffer& buffer, TextCursor c) {
        return put_json5_key(k, buffer, c);
    }
    static constexpr char kQuote = '"';
    // Neither quote (either could change the choice), nor a byte that starts an escape.
    static bool plain_word(std::uint64_t w) {
        using namespace writer_detail;
        return (any_byte_equal(w, '"') | any_byte_equal(w, '\'') | any_byte_equal(w, '\\') |
                any_byte_equal(w, '\n') | any_byte_equal(w, '\r') | any_byte_equal(w, 0xE2)) == 0;
    }
    static char quote(std::string_view s) { return json5_quote(s); }
    static char* escape(const char* in, const char* end, char quote, char* out) {
        return escape_json5(in, end, quote, out);
    }
    static char* floating(double d, char* out) { return put_decimal_float(d, out); }
};

}  // namespace

bool write_json5(const Value& value, TextBuffer& out, std::size_t max_depth) {
    return write_document<Json5Format>(value, out, max_depth);
}

void write_json5(const Value& value, std::string& out) {
    TextBuffer text;
    write_json5(value, text);
    out.append(text.view());
}

}  // namespace zel
