// The JSON reader: a byte-level parser that streams its input through one buffer and builds
// the Value tree directly. Pending array elements and object members wait on two stacks, and
// each array or object is made in one piece when it closes. Owns the JSON error descriptions
// and positions; lines are counted only for bytes leaving the buffer and when reporting.
#include "formats/json/reader.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "formats/format.hpp"
#include "text/hex.hpp"
#include "text/number_text.hpp"
#include "text/utf8.hpp"

namespace zel {
namespace {

// Zero bytes kept after the data. A zero stops every scan (strings, white space, digits,
// literals), so the loops need no bounds checks: stopping exactly at the end of the data
// means "read on". Word and vector loads that start at or before the end stay inside it.
constexpr std::size_t kPadding = 64;

const char kControl[] = "control character (\\u0000-\\u001F) found while parsing a string";

enum class Scan { Done, More, Failed };

inline unsigned char byte(const char* p) noexcept { return static_cast<unsigned char>(*p); }
inline bool is_digit(const char* p) noexcept { return static_cast<unsigned>(byte(p) - '0') < 10; }
inline bool is_blank(const char* p) noexcept {
    const unsigned char c = byte(p);
    return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}

// First byte at or after `p` that a string cannot simply copy: '"', '\\', a control
// character or the start of a multi-byte UTF-8 sequence.
inline const char* find_string_special(const char* p) noexcept {
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    const __m128i space = _mm_set1_epi8(' ');
    for (;;) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        // Signed comparison: bytes from 0x80 up are negative, so one test finds both the
        // control characters and the non-ASCII bytes.
        const __m128i special = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, backslash)),
            _mm_cmplt_epi8(v, space));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(special));
        if (mask != 0) return p + __builtin_ctz(mask);
        p += 16;
    }
#else
    using Word = std::size_t;
    constexpr Word ones = ~Word(0) / 0xFF;
    constexpr Word high = ones * 0x80;
    for (;;) {
        Word w;
        std::memcpy(&w, p, sizeof w);
        // A byte is flagged when it is '"' or '\\' (zero after the xor), below 0x20, or has
        // its high bit set. Borrows may flag bytes after a real hit, never before one.
        const Word q = w ^ (ones * '"');
        const Word b = w ^ (ones * '\\');
        const Word flags = ((q - ones) & ~q) | ((b - ones) & ~b) | (w - ones * 0x20) | w;
        if ((flags & high) != 0) {
            for (;; ++p) {
                const unsigned char c = byte(p);
                if (c == '"' || c == '\\' || c < 0x20 || c >= 0x80) return p;
            }
        }
        p += sizeof w;
    }
#endif
}

// First byte at or after `p` that is not JSON white space (the zero after the data stops it).
inline const char* skip_blanks(const char* p) noexcept {
    if (!is_blank(p)) return p;
    ++p;
    if (!is_blank(p)) return p;
#if defined(__SSE2__)
    // Indentation comes in long runs.
    for (;;) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i blank = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\n'))),
            _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\r')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\t'))));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(blank)) ^ 0xFFFFu;
        if (mask != 0) return p + __builtin_ctz(mask);
        p += 16;
    }
#else
    while (is_blank(p)) ++p;
    return p;
#endif
}

std::size_t count_newlines(const char* p, const char* end) noexcept {
    std::size_t count = 0;
#if defined(__SSE2__)
    const __m128i newline = _mm_set1_epi8('\n');
    while (end - p >= 16) {
        // Byte counters are summed before any can wrap (255 rounds at most).
        __m128i counters = _mm_setzero_si128();
        const std::size_t rounds = std::min<std::size_t>(255, static_cast<std::size_t>(end - p) / 16);
        for (std::size_t i = 0; i < rounds; ++i, p += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            counters = _mm_sub_epi8(counters, _mm_cmpeq_epi8(v, newline));
        }
        const __m128i sums = _mm_sad_epu8(counters, _mm_setzero_si128());
        count += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
                 static_cast<std::size_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
    }
#endif
    return count + static_cast<std::size_t>(std::count(p, end, '\n'));
}

class Reader {
public:
    // Reads `text` from memory, block by block like a file, so that both inputs share one path.
    explicit Reader(std::string_view text)
        : Reader(true, -1, text, std::min(kJsonReadBufferSize, text.size())) {}
    // A file of known size gets a buffer of one byte more, when that is smaller than a block:
    // its one read then comes back short and shows the end.
    Reader(int fd, std::size_t block_size, std::uint64_t size)
        : Reader(false, fd, std::string_view(),
                 size < block_size ? static_cast<std::size_t>(size) + 1 : block_size) {
        block_size_ = std::max<std::size_t>(1, block_size);
        size_ = size;
    }

    Result<Value> run();

private:
    Reader(bool memory, int fd, std::string_view text, std::size_t block_size)
        : memory_(memory), fd_(fd), rest_(text), capacity_(std::max<std::size_t>(1, block_size)),
          block_size_(capacity_) {
        storage_ = std::make_unique_for_overwrite<char[]>(capacity_ + kPadding);
        buf_ = storage_.get();
        end_ = buf_;
        std::memset(buf_, 0, kPadding);
    }

    struct Frame {
        bool object;
        std::size_t start;  // first pending element or member of this container
    };

    // ---- input ----

    // Moves the bytes from `p` on to the front of the buffer and reads more after them; `p`
    // follows its bytes. False, with final_ set, when nothing more comes (end or read error).
    bool refill(const char*& p);
    std::size_t read_some(char* to, std::size_t room);
    // Skips white space, reading on as needed; false at the end of the input.
    bool skip_space(const char*& p) {
        if (byte(p) > ' ') return true;
        for (;;) {
            p = skip_blanks(p);
            if (p != end_) return true;
            if (!refill(p)) return false;
        }
    }

    // ---- tokens: More when the token reaches the end of the buffer and more input may follow

    Scan scan_string(const char*& p, std::string_view& text);
    Scan scan_escape(const char*& q, bool& lone_low);
    Scan scan_hex4(const char* h, const char* escape, std::uint32_t& cp);
    Scan scan_number(const char*& p, Value& out);
    Scan scan_literal(const char*& p, std::string_view word);

    // Runs `scan` (a token starting at `p`) again after each refill until the token is whole
    // or has failed.
    template <class F>
    Scan whole(const char*& p, F scan) {
        Scan s;
        while ((s = scan()) == Scan::More) refill(p);
        return s;
    }
    bool string_value(const char*& p, Value& slot);
    // Out of line, so that the plain-string path stays small where it is inlined.
    [[gnu::noinline]] bool string_value_slow(const char*& p, Value& slot);
    bool value_token(const char*& p, Value& slot);
    // A member name and its colon; `p` at the opening quote.
    bool member_name(const char*& p);
    // Where the next value goes: the root, the pending member's value or a new element.
    Value* next_slot();
    bool parse();

    // ---- failures ----

    [[gnu::noinline]] Scan fail(const char* description, const char* at);
    [[gnu::noinline]] Scan fail_at_end(const char* description);
    Scan more_or_eof(const char* description) {
        return final_ ? fail_at_end(description) : Scan::More;
    }
    TextPosition position(const char* at, bool at_end) const;

    bool memory_;
    int fd_;
    std::string_view rest_;  // memory input not yet copied into the buffer
    std::size_t capacity_;   // bytes of data the buffer holds (the padding comes on top)
    std::size_t block_size_;  // what a read asks for once a file's known size is passed
    std::uint64_t size_ = kSizeUnknown;  // the file's size as opened
    std::uint64_t read_ = 0;             // bytes read from the file
    std::unique_ptr<char[]> storage_;
    char* buf_;
    const char* end_;       // end of the data
    bool final_ = false;    // no byte comes after end_
    int read_errno_ = 0;
    std::uint64_t base_ = 0;        // document offset of buf_[0]
    std::uint64_t lines_ = 0;       // line breaks before buf_[0]
    std::uint64_t line_start_ = 0;  // document offset where the line holding buf_[0] starts

    Value root_;
    std::vector<Frame> frames_;
    std::vector<Value> elements_;  // pending elements of the open arrays
    std::vector<Member> members_;  // pending members of the open objects
    std::string scratch_;          // a string with escapes, decoded
    const char* description_ = "";  // the failure, once located
    TextPosition position_{};
};

std::size_t Reader::read_some(char* to, std::size_t room) {
    if (memory_) {
        const std::size_t n = std::min(room, rest_.size());
        if (n != 0) std::memcpy(to, rest_.data(), n);
        rest_.remove_prefix(n);
        return n;
    }
    for (;;) {
        const ssize_t n = ::read(fd_, to, room);
        if (n >= 0) {
            // A regular file's read comes back short only at its end: one that stops exactly at
            // the size the file was opened with needs no further read to find nothing.
            read_ += static_cast<std::uint64_t>(n);
            if (n > 0 && static_cast<std::size_t>(n) < room && read_ == size_) final_ = true;
            return static_cast<std::size_t>(n);
        }
        if (errno == EINTR) continue;
        read_errno_ = errno;
        return 0;
    }
}

bool Reader::refill(const char*& p) {
    if (final_) return false;
    // What leaves the buffer is counted now, since it cannot be looked at again.
    if (const std::size_t breaks = count_newlines(buf_, p); breaks != 0) {
        const char* last = p - 1;
        while (*last != '\n') --last;
        lines_ += breaks;
        line_start_ = base_ + static_cast<std::uint64_t>(last - buf_) + 1;
    }
    base_ += static_cast<std::uint64_t>(p - buf_);
    const std::size_t kept = static_cast<std::size_t>(end_ - p);
    // A token longer than half the buffer: doubling keeps rescanning it linear overall. A
    // buffer sized for a file that turned out longer (it grew since it was opened) becomes a
    // whole block after its first read.
    std::size_t wanted = kept > capacity_ / 2 ? 2 * capacity_ : capacity_;
    if (read_ != 0) wanted = std::max(wanted, block_size_);
    if (wanted != capacity_) {
        auto bigger = std::make_unique_for_overwrite<char[]>(wanted + kPadding);
        std::memcpy(bigger.get(), p, kept);
        storage_ = std::move(bigger);
        buf_ = storage_.get();
        capacity_ = wanted;
    } else if (kept != 0) {
        std::memmove(buf_, p, kept);
    }
    p = buf_;
    const std::size_t n = read_some(buf_ + kept, capacity_ - kept);
    end_ = buf_ + kept + n;
    std::memset(buf_ + kept + n, 0, kPadding);
    if (n == 0) final_ = true;
    return n != 0;
}

TextPosition Reader::position(const char* at, bool at_end) const {
    // Lines and columns of the bytes still in the buffer; a column on the line that holds
    // buf_[0] also counts that line's bytes read before it.
    const std::string_view held(buf_, static_cast<std::size_t>(at - buf_));
    TextPosition position = position_in(Format::Json, held, held.size());
    if (position.line == 1) position.column += static_cast<std::size_t>(base_ - line_start_);
    position.line += static_cast<std::size_t>(lines_);
    // The column counts the bytes of the line up to and including the offending byte; at the
    // end of the input, the bytes of the last line.
    if (at_end) --position.column;
    return position;
}

Scan Reader::fail(const char* description, const char* at) {
    description_ = description;
    position_ = position(at, false);
    return Scan::Failed;
}

Scan Reader::fail_at_end(const char* description) {
    description_ = description;
    position_ = position(end_, true);
    return Scan::Failed;
}

// Reads four hex digits at `h` of the \u escape starting at `escape`.
Scan Reader::scan_hex4(const char* h, const char* escape, std::uint32_t& cp) {
    cp = 0;
    for (int i = 0; i < 4; ++i) {
        const int d = hex_value(h[i]);
        if (d < 0) {
            if (h + i == end_) return more_or_eof("EOF while parsing a string");
            return fail("invalid escape", escape);
        }
        cp = cp << 4 | static_cast<std::uint32_t>(d);
    }
    return Scan::Done;
}

// Decodes the escape at `q` (a backslash) into scratch_ and moves `q` past it. An escaped
// low surrogate without its high half is remembered, not decoded: the string fails at its
// closing quote, unless something before that fails first.
Scan Reader::scan_escape(const char*& q, bool& lone_low) {
    const char* e = q + 1;
    char decoded;
    switch (*e) {
        case '"': decoded = '"'; break;
        case '\\': decoded = '\\'; break;
        case '/': decoded = '/'; break;
        case 'b': decoded = '\b'; break;
        case 'f': decoded = '\f'; break;
        case 'n': decoded = '\n'; break;
        case 'r': decoded = '\r'; break;
        case 't': decoded = '\t'; break;
        case 'u': {
            std::uint32_t cp;
            if (Scan s = scan_hex4(q + 2, q, cp); s != Scan::Done) return s;
            const char* next = q + 6;
            if (cp >= 0xDC00 && cp <= 0xDFFF) {
                lone_low = true;
            } else if (cp >= 0xD800 && cp <= 0xDBFF) {
                if (next == end_) return more_or_eof("EOF while parsing a string");
                if (*next != '\\') return fail("lone leading surrogate in hex escape", q);
                if (next + 1 == end_) return more_or_eof("EOF while parsing a string");
                if (next[1] != 'u') return fail("lone leading surrogate in hex escape", q);
                std::uint32_t low;
                if (Scan s = scan_hex4(next + 2, q, low); s != Scan::Done) return s;
                next += 6;
                if (low < 0xDC00 || low > 0xDFFF) {
                    // At the very end of the input, the string is unfinished above all.
                    if (next == end_) return more_or_eof("EOF while parsing a string");
                    return fail("lone leading surrogate in hex escape", q);
                }
                append_utf8(0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00), scratch_);
            } else {
                append_utf8(cp, scratch_);
            }
            q = next;
            return Scan::Done;
        }
        default:
            if (e == end_) return more_or_eof("EOF while parsing a string");
            return fail("invalid escape", q);
    }
    scratch_ += decoded;
    q += 2;
    return Scan::Done;
}

// `p` at the opening quote. The text is the bytes in the buffer when the string has no
// escape, otherwise scratch_.
Scan Reader::scan_string(const char*& p, std::string_view& text) {
    const char* q = p + 1;
    const char* run = q;  // first byte not yet copied to scratch_
    bool escaped = false;
    bool lone_low = false;
    for (;;) {
        q = find_string_special(q);
        const unsigned char c = byte(q);
        if (c == '"') break;
        if (c >= 0x80) {
            const Utf8Char u = decode_utf8(q, end_);
            if (u.status == Utf8::Valid) {
                q += u.length;
                continue;
            }
            if (u.status == Utf8::Partial && !final_) return Scan::More;
            return fail("invalid UTF-8", q);
        }
        if (c == '\\') {
            if (!escaped) {
                scratch_.assign(run, q);
                escaped = true;
            } else {
                scratch_.append(run, q);
            }
            if (Scan s = scan_escape(q, lone_low); s != Scan::Done) return s;
            run = q;
            continue;
        }
        if (q == end_) return more_or_eof("EOF while parsing a string");
        return fail(kControl, q);
    }
    if (lone_low) return fail("invalid unicode code point", q);
    if (escaped) {
        scratch_.append(run, q);
        text = scratch_;
    } else {
        text = std::string_view(run, static_cast<std::size_t>(q - run));
    }
    p = q + 1;
    return Scan::Done;
}

Scan Reader::scan_number(const char*& p, Value& out) {
    const char* q = p;
    const bool negative = *q == '-';
    q += negative;
    const char* digits = q;
    std::uint64_t magnitude = 0;
    if (*q == '0') {
        ++q;
    } else if (is_digit(q)) {
        do magnitude = magnitude * 10 + static_cast<unsigned>(byte(q++) - '0');
        while (is_digit(q));
    } else {
        if (q == end_) return more_or_eof("EOF while parsing a value");
        return fail("expected value", q);
    }
    const std::size_t integer_digits = static_cast<std::size_t>(q - digits);
    bool integral = true;
    if (*q == '.') {
        integral = false;
        ++q;
        if (!is_digit(q)) {
            if (q == end_) return more_or_eof("EOF while parsing a value");
            return fail("invalid number", q);
        }
        while (is_digit(q)) ++q;
    }
    if (*q == 'e' || *q == 'E') {
        integral = false;
        ++q;
        if (*q == '+' || *q == '-') ++q;
        if (!is_digit(q)) {
            if (q == end_) return more_or_eof("EOF while parsing a value");
            return fail("invalid number", q);
        }
        while (is_digit(q)) ++q;
    }
    if (q == end_ && !final_) return Scan::More;
    // Up to 19 digits cannot overflow the accumulated magnitude.
    constexpr std::uint64_t kMinMagnitude = std::uint64_t{1} << 63;
    if (integral && integer_digits <= 19 && (!negative || magnitude <= kMinMagnitude)) {
        new (&out) Value(negative ? Value::integer(static_cast<std::int64_t>(~magnitude + 1))
                                  : Value::uinteger(magnitude));
    } else {
        switch (decimal_number(std::string_view(p, static_cast<std::size_t>(q - p)), integral, out)) {
            case NumberText::Ok: break;
            case NumberText::OutOfRange: return fail("number out of range", p);
            case NumberText::Invalid: return fail("invalid number", p);
        }
    }
    p = q;
    return Scan::Done;
}

Scan Reader::scan_literal(const char*& p, std::string_view word) {
    for (std::size_t i = 1; i < word.size(); ++i) {
        if (p[i] != word[i]) {
            if (p + i == end_) return more_or_eof("EOF while parsing a value");
            return fail("expected value", p + i);
        }
    }
    p += word.size();
    return Scan::Done;
}

// Values are made in place over a null slot (which owns nothing), never built aside and moved
// in: a move reloads the 16-byte node right after its fields were stored, which stalls.
inline bool Reader::string_value(const char*& p, Value& slot) {
    // Most strings are plain ASCII inside the buffer: keep their path short.
    const char* q = find_string_special(p + 1);
    if (*q == '"') {
        new (&slot) Value(Value::string(std::string_view(p + 1, static_cast<std::size_t>(q - p - 1))));
        p = q + 1;
        return true;
    }
    return string_value_slow(p, slot);
}

bool Reader::string_value_slow(const char*& p, Value& slot) {
    std::string_view text;
    if (whole(p, [&] { return scan_string(p, text); }) != Scan::Done) return false;
    new (&slot) Value(Value::string(text));
    return true;
}

// A value that is not an array or object; `p` at its first byte.
bool Reader::value_token(const char*& p, Value& slot) {
    switch (*p) {
        case '"':
            return string_value(p, slot);
        case 't':
            if (whole(p, [&] { return scan_literal(p, "true"); }) != Scan::Done) return false;
            new (&slot) Value(Value::boolean(true));
            return true;
        case 'f':
            if (whole(p, [&] { return scan_literal(p, "false"); }) != Scan::Done) return false;
            new (&slot) Value(Value::boolean(false));
            return true;
        case 'n':  // the slot is null already
            return whole(p, [&] { return scan_literal(p, "null"); }) == Scan::Done;
        case '-':
        case '0': case '1': case '2': case '3': case '4':
        case '5': case '6': case '7': case '8': case '9':
            return whole(p, [&] { return scan_number(p, slot); }) == Scan::Done;
        default:
            fail("expected value", p);
            return false;
    }
}

bool Reader::member_name(const char*& p) {
    if (!string_value(p, members_.emplace_back().key)) return false;
    if (!skip_space(p)) {
        fail_at_end("EOF while parsing an object");
        return false;
    }
    if (*p != ':') {
        fail("expected `:`", p);
        return false;
    }
    ++p;
    return true;
}

Value* Reader::next_slot() {
    if (frames_.empty()) return &root_;
    if (frames_.back().object) return &members_.back().value;
    return &elements_.emplace_back();
}

bool Reader::parse() {
    const char* p = buf_;
    for (;;) {
        // A value starts here.
        if (!skip_space(p)) {
            fail_at_end("EOF while parsing a value");
            return false;
        }
        if (*p == '{' || *p == '[') {
            const bool object = *p == '{';
            if (frames_.size() >= kJsonMaxDepth) {
                fail("recursion limit exceeded", p);
                return false;
            }
            ++p;
            if (!skip_space(p)) {
                fail_at_end(object ? "EOF while parsing an object" : "EOF while parsing a value");
                return false;
            }
            if (*p == (object ? '}' : ']')) {
                ++p;
                new (next_slot()) Value(object ? Value::object() : Value::array());
            } else {
                frames_.push_back(Frame{object, object ? members_.size() : elements_.size()});
                if (!object) continue;
                if (*p != '"') {
                    fail("key must be a string", p);
                    return false;
                }
                if (!member_name(p)) return false;
                continue;
            }
        } else if (!value_token(p, *next_slot())) {
            return false;
        }
        // A value is complete: close every container that ends after it.
        for (;;) {
            if (frames_.empty()) {
                // Only white space may follow the root; a NUL byte is text like any other.
                if (skip_space(p)) {
                    fail("trailing characters", p);
                    return false;
                }
                return true;
            }
            const Frame frame = frames_.back();
            if (!skip_space(p)) {
                fail_at_end(frame.object ? "EOF while parsing an object" : "EOF while parsing a list");
                return false;
            }
            if (*p == ',') {
                ++p;
                if (!frame.object) break;
                if (!skip_space(p)) {
                    fail_at_end("EOF while parsing an object");
                    return false;
                }
                if (*p != '"') {
                    fail("key must be a string", p);
                    return false;
                }
                if (!member_name(p)) return false;
                break;
            }
            if (*p != (frame.object ? '}' : ']')) {
                fail(frame.object ? "expected `,` or `}`" : "expected `,` or `]`", p);
                return false;
            }
            ++p;
            frames_.pop_back();
            if (frame.object) {
                Object members = Object::from_members(members_.data() + frame.start,
                                                      members_.size() - frame.start);
                members_.resize(frame.start);
                new (next_slot()) Value(Value::object(std::move(members)));
            } else {
                Array elements = Array::from_values(elements_.data() + frame.start,
                                                    elements_.size() - frame.start);
                elements_.resize(frame.start);
                new (next_slot()) Value(Value::array(std::move(elements)));
            }
        }
    }
}

Result<Value> Reader::run() {
    const bool ok = parse();
    // A failed read ends the input early, so whatever the parser concluded, the read error
    // is the real cause.
    if (read_errno_ != 0) return parse_error(Format::Json, os_error_text(read_errno_));
    if (!ok) return parse_error(Format::Json, description_, position_);
    return std::move(root_);
}

}  // namespace

Result<Value> parse_json(std::string_view text) { return Reader(text).run(); }

Result<Value> read_json_fd(int fd, std::size_t block_size, std::uint64_t size) {
    return Reader(fd, block_size, size).run();
}

}  // namespace zel
