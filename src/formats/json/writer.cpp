// The JSON writer: JSON string escaping and the JSON instance of the shared document walk
// (document_writer.hpp).
#include "formats/json/writer.hpp"

#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>

#include "formats/json/document_writer.hpp"
#include "text/escape.hpp"
#include "text/hex.hpp"
#include "text/number_text.hpp"

namespace zel {
namespace {

struct JsonFormat {
    static constexpr bool kCommaAfterEveryMember = false;
    static constexpr std::size_t kNumberRoom = kJsonFloatRoom;
    static TextCursor key(const Value& k, TextBuffer& buffer, TextCursor c) {
        return writer_detail::put_text<JsonFormat>(k, buffer, c);
    }
    static constexpr char kQuote = '"';
    static bool plain_word(std::uint64_t w) {
        using namespace writer_detail;
        return (any_byte_below(w, 0x20) | any_byte_equal(w, '"') | any_byte_equal(w, '\\')) == 0;
    }
    static char quote(std::string_view) { return '"'; }
    static char* escape(const char* in, const char* end, char quote, char* out);
    static char* floating(double d, char* out) { return put_json_float(d, out); }
};

char* put_json_byte(char c, char* out) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u >= 0x20 && c != '"' && c != '\\') {
        *out++ = c;
        return out;
    }
    return put_escape(u, kHexLower, out);
}

// \" \\ \b \t \n \f \r, \u00xx for other controls, raw UTF-8 else; eight bytes at a time
// (writer_detail::escape_words).
char* JsonFormat::escape(const char* in, const char* end, char, char* out) {
    const auto one_by_one = [](const char* in, const char* stop, char* out) {
        for (; in < stop; ++in) out = put_json_byte(*in, out);
        return std::pair{in, out};
    };
    const auto plain = [](std::uint64_t w) { return plain_word(w); };
    return writer_detail::escape_words(in, end, out, plain, one_by_one);
}

}  // namespace

bool write_json(const Value& value, TextBuffer& out, std::size_t max_depth) {
    return write_document<JsonFormat>(value, out, max_depth);
}

void write_json(const Value& value, std::string& out) {
    TextBuffer text;
    write_json(value, text);
    out.append(text.view());
}

}  // namespace zel
