// The JSON reader: drives RapidJSON's iterative SAX parser over our own input stream (which
// counts lines and columns and streams a file through a fixed buffer) and builds the Value
// tree from its events. Owns the error descriptions and the checks RapidJSON leaves to us:
// nesting depth, trailing text, NUL bytes, lone low-surrogate escapes, overflowing numbers.
#include "drivers/number_text.hpp"
#include "drivers/json_reader.hpp"

#include <rapidjson/error/error.h>
#include <rapidjson/reader.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace zel {
namespace {

constexpr std::size_t kNoOffset = static_cast<std::size_t>(-1);

// RapidJSON input stream over either one block of memory or a file read chunk by chunk.
// Peek() returns '\0' at the end of the input, exactly as for a NUL byte in the text; the
// reader tells the two apart with at_end().
class JsonInput {
public:
    using Ch = char;

    explicit JsonInput(std::string_view text) noexcept
        : cur_(text.data()), end_(text.data() + text.size()) {}
    JsonInput(int fd, char* buffer, std::size_t size) noexcept
        : cur_(buffer), end_(buffer), fd_(fd), buffer_(buffer), buffer_size_(size) {}

    Ch Peek() {
        if (cur_ != end_) return *cur_;
        return refill() ? *cur_ : '\0';
    }
    Ch Take() {
        if (cur_ == end_ && !refill()) return '\0';
        const char c = *cur_++;
        ++consumed_;
        if (c == '\n') {
            ++line_;
            line_start_ = consumed_;
        }
        return c;
    }
    std::size_t Tell() const noexcept { return consumed_; }

    // Output half of RapidJSON's stream concept; only in-situ parsing uses it, and we never
    // parse in situ.
    Ch* PutBegin() { return nullptr; }
    void Put(Ch) {}
    void Flush() {}
    std::size_t PutEnd(Ch*) { return 0; }

    // True when no byte is left: end of file, or a read failure.
    bool at_end() { return cur_ == end_ && !refill(); }
    int read_errno() const noexcept { return read_errno_; }
    std::size_t line() const noexcept { return line_; }
    std::size_t line_start() const noexcept { return line_start_; }

private:
    bool refill() {
        if (fd_ < 0 || finished_) return false;
        for (;;) {
            const ssize_t n = ::read(fd_, buffer_, buffer_size_);
            if (n > 0) {
                cur_ = buffer_;
                end_ = buffer_ + n;
                return true;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) read_errno_ = errno;
            finished_ = true;
            return false;
        }
    }

    const char* cur_;
    const char* end_;
    int fd_ = -1;
    char* buffer_ = nullptr;
    std::size_t buffer_size_ = 0;
    bool finished_ = false;
    int read_errno_ = 0;
    std::size_t consumed_ = 0;
    std::size_t line_ = 1;
    std::size_t line_start_ = 0;  // offset of the first byte of the current line
};

// An escaped lone low surrogate (\uDC00-\uDFFF) is the only way a UTF-16 surrogate reaches
// the decoded text: raw surrogate bytes fail RapidJSON's UTF-8 validation, and a lone high
// surrogate escape fails its pairing check. In UTF-8 a surrogate is ED A0..BF xx.
bool holds_surrogate(const char* text, std::size_t length) noexcept {
    const char* end = text + length;
    for (const char* p = text;
         (p = static_cast<const char*>(std::memchr(p, '\xED', static_cast<std::size_t>(end - p))));
         ++p) {
        if (p + 1 < end && static_cast<unsigned char>(p[1]) >= 0xA0) return true;
    }
    return false;
}


// Converts the text of a JSON number (already checked against the grammar by RapidJSON):
// integers that fit 64 bits become unsigned (zero or more) or signed (negative) integers,
// everything else a correctly rounded double. False when the magnitude exceeds a double's
// range; a magnitude below it becomes zero of the number's sign.
//
// RapidJSON's own conversion is not used: its full-precision path turns some overflowing
// numbers into small finite values of the wrong sign (10e308 gave -3.09e-308).
bool convert_number(std::string_view text, Value& out) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (text.find_first_of(".eE") == std::string_view::npos) {
        if (text[0] == '-') {
            std::int64_t i = 0;
            const auto r = std::from_chars(begin, end, i);
            if (r.ec == std::errc() && r.ptr == end) {
                out = Value::integer(i);
                return true;
            }
        } else {
            std::uint64_t u = 0;
            const auto r = std::from_chars(begin, end, u);
            if (r.ec == std::errc() && r.ptr == end) {
                out = Value::uinteger(u);
                return true;
            }
        }
    }
    double d = 0;
    const auto r = std::from_chars(begin, end, d);
    if (r.ec == std::errc::result_out_of_range) {
        if (leading_digit_exponent(text) > 0) return false;
        d = text[0] == '-' ? -0.0 : 0.0;
    } else if (r.ec != std::errc() || !std::isfinite(d)) {
        return false;
    }
    out = Value::floating(d);
    return true;
}

// SAX handler building the tree. Each open array or object is a frame; a finished value is
// moved into the frame below it, so nothing is copied.
class TreeBuilder {
public:
    explicit TreeBuilder(const JsonInput& input) : input_(input) {}

    bool Null() { return add(Value::null()); }
    bool Bool(bool b) { return add(Value::boolean(b)); }
    bool RawNumber(const char* text, rapidjson::SizeType length, bool) {
        Value number;
        if (!convert_number(std::string_view(text, length), number))
            return fail("number out of range", kNoOffset);  // RapidJSON gives the number's start
        return add(std::move(number));
    }
    // Numbers arrive as text (RawNumber); these belong to the handler interface only.
    bool Int(int) { return false; }
    bool Uint(unsigned) { return false; }
    bool Int64(std::int64_t) { return false; }
    bool Uint64(std::uint64_t) { return false; }
    bool Double(double) { return false; }
    bool String(const char* s, rapidjson::SizeType length, bool) {
        if (holds_surrogate(s, length)) return fail_surrogate();
        return add(Value::string(std::string(s, length)));
    }
    bool Key(const char* s, rapidjson::SizeType length, bool) {
        if (holds_surrogate(s, length)) return fail_surrogate();
        frames_.back().key.assign(s, length);
        return true;
    }
    bool StartObject() { return open(Value::object()); }
    bool StartArray() { return open(Value::array()); }
    bool EndObject(rapidjson::SizeType) { return close(); }
    bool EndArray(rapidjson::SizeType) { return close(); }

    Value take_root() { return std::move(root_); }
    const char* error() const noexcept { return error_; }
    std::size_t error_offset() const noexcept { return error_offset_; }

private:
    struct Frame {
        Value node;
        std::string key;  // name of the member whose value comes next (objects only)
    };

    bool open(Value container) {
        // Called with the opening bracket not yet taken, so Tell() is its offset.
        if (frames_.size() >= kJsonMaxDepth) return fail("recursion limit exceeded", input_.Tell());
        frames_.push_back(Frame{std::move(container), {}});
        return true;
    }

    bool close() {
        Value done = std::move(frames_.back().node);
        frames_.pop_back();
        return add(std::move(done));
    }

    bool add(Value v) {
        if (frames_.empty()) {
            root_ = std::move(v);
            return true;
        }
        Frame& top = frames_.back();
        if (top.node.is_array()) {
            top.node.as_array().push_back(std::move(v));
            return true;
        }
        // A repeated key replaces the earlier value.
        top.node.as_object().set(top.key, std::move(v));
        return true;
    }

    bool fail_surrogate() {
        // The string has just been closed: point at its closing quote.
        return fail("invalid unicode code point", input_.Tell() - 1);
    }

    bool fail(const char* description, std::size_t offset) {
        error_ = description;
        error_offset_ = offset;
        return false;
    }

    const JsonInput& input_;
    std::vector<Frame> frames_;
    Value root_;
    const char* error_ = nullptr;
    std::size_t error_offset_ = kNoOffset;
};

Error parse_error(std::string text) {
    return make_error(ErrorKind::Parse, "JSON parse error: " + std::move(text));
}

// "{description} at line L column C". The column counts the bytes of the line up to and
// including the offending byte; at the end of the input, the bytes of the last line.
Error located_error(JsonInput& input, const char* description, std::size_t offset) {
    std::size_t column;
    if (offset == kNoOffset || offset < input.line_start()) {
        // Not on the current line (only possible when a broken UTF-8 sequence swallowed a
        // line break): report where the reader stopped.
        column = input.Tell() - input.line_start();
    } else {
        column = offset - input.line_start();
        if (offset < input.Tell() || !input.at_end()) ++column;
    }
    return parse_error(std::string(description) + " at line " + std::to_string(input.line()) +
                       " column " + std::to_string(column));
}

// Turns a RapidJSON failure into our description and position. RapidJSON reports the end of
// the input and a NUL byte alike; the "EOF while ..." texts are used only at the real end.
Error describe_failure(JsonInput& input, const TreeBuilder& builder,
                       const rapidjson::ParseResult& result) {
    using namespace rapidjson;
    const std::size_t offset = result.Offset();
    const bool at_end = input.at_end();
    auto eof = [&](const char* description) {
        return located_error(input, description, input.Tell());
    };
    switch (result.Code()) {
        case kParseErrorDocumentEmpty:
        case kParseErrorValueInvalid:
            return at_end ? eof("EOF while parsing a value")
                          : located_error(input, "expected value", offset);
        case kParseErrorDocumentRootNotSingular:
            return located_error(input, "trailing characters", offset);
        case kParseErrorObjectMissName:
            return at_end ? eof("EOF while parsing an object")
                          : located_error(input, "key must be a string", offset);
        case kParseErrorObjectMissColon:
            return at_end ? eof("EOF while parsing an object")
                          : located_error(input, "expected `:`", offset);
        case kParseErrorObjectMissCommaOrCurlyBracket:
            return at_end ? eof("EOF while parsing an object")
                          : located_error(input, "expected `,` or `}`", offset);
        case kParseErrorArrayMissCommaOrSquareBracket:
            return at_end ? eof("EOF while parsing a list")
                          : located_error(input, "expected `,` or `]`", offset);
        case kParseErrorStringMissQuotationMark:
            // Raised for '\0': either the end of the input or a NUL byte inside the string.
            return at_end ? eof("EOF while parsing a string")
                          : located_error(
                                input,
                                "control character (\\u0000-\\u001F) found while parsing a string",
                                offset);
        case kParseErrorStringEscapeInvalid:
            // RapidJSON uses this code for a bad escape (offset of the backslash, the escape
            // character not yet taken) and for a raw control character (offset of that
            // character, not taken).
            if (at_end) return eof("EOF while parsing a string");
            if (offset == input.Tell())
                return located_error(
                    input, "control character (\\u0000-\\u001F) found while parsing a string",
                    offset);
            return located_error(input, "invalid escape", offset);
        case kParseErrorStringUnicodeEscapeInvalidHex:
            return at_end ? eof("EOF while parsing a string")
                          : located_error(input, "invalid escape", offset);
        case kParseErrorStringUnicodeSurrogateInvalid:
            return at_end ? eof("EOF while parsing a string")
                          : located_error(input, "lone leading surrogate in hex escape", offset);
        case kParseErrorStringInvalidEncoding:
            return located_error(input, "invalid UTF-8", offset);
        case kParseErrorNumberTooBig:
            return located_error(input, "number out of range", offset);
        case kParseErrorNumberMissFraction:
        case kParseErrorNumberMissExponent:
            return at_end ? eof("EOF while parsing a value")
                          : located_error(input, "invalid number", offset);
        case kParseErrorTermination:
            if (builder.error() != nullptr)
                return located_error(input, builder.error(),
                                     builder.error_offset() == kNoOffset ? offset
                                                                         : builder.error_offset());
            break;
        default:
            break;
    }
    return located_error(input, "syntax error", offset);
}

Result<Value> parse_stream(JsonInput& input) {
    // Iterative: no recursion, whatever the nesting. Numbers as text: converted by
    // convert_number. Stop when done: trailing text is checked below, NUL bytes included.
    constexpr unsigned kFlags = rapidjson::kParseIterativeFlag |
                                rapidjson::kParseValidateEncodingFlag |
                                rapidjson::kParseNumbersAsStringsFlag |
                                rapidjson::kParseStopWhenDoneFlag;
    TreeBuilder builder(input);
    rapidjson::Reader reader;
    const rapidjson::ParseResult result = reader.Parse<kFlags>(input, builder);

    // A failed read ends the input early, so whatever the parser concluded, the read error
    // is the real cause.
    if (input.read_errno() != 0) return parse_error(os_error_text(input.read_errno()));
    if (result.IsError()) return describe_failure(input, builder, result);

    // The parser stops after the root value; only white space may follow it. A NUL byte
    // is trailing text, not the end of the document.
    for (;;) {
        const char c = input.Peek();
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r') break;
        input.Take();
    }
    const bool clean_end = input.at_end();
    if (input.read_errno() != 0) return parse_error(os_error_text(input.read_errno()));
    if (!clean_end) return located_error(input, "trailing characters", input.Tell());
    return builder.take_root();
}

}  // namespace

Result<Value> parse_json(std::string_view text) {
    JsonInput input(text);
    return parse_stream(input);
}

Result<Value> read_json_fd(int fd) {
    auto buffer = std::make_unique<char[]>(kJsonReadBufferSize);
    JsonInput input(fd, buffer.get(), kJsonReadBufferSize);
    return parse_stream(input);
}

}  // namespace zel
