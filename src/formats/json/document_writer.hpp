// What the JSON-family writers share: the iterative tree walk over a TextBuffer, to which a
// format supplies only its quoting, its comma placement and its number text, and the
// word-at-a-time helpers the formats' string escaping is built from.
#pragma once

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "text/text_buffer.hpp"
#include "value/value.hpp"

namespace zel {

namespace writer_detail {

// Every request for room adds this much, so that short texts (indentation, the tail of a
// string) can be copied in fixed-size blocks that may run past their end.
inline constexpr std::size_t kSlack = 64;
// Strings are escaped in pieces of at most this many bytes, each with room for its worst
// case (six bytes out per byte in), so the room asked for stays bounded.
inline constexpr std::size_t kStringPiece = 16384;
inline constexpr std::size_t kMaxEscapeGrowth = 6;

// Eight bytes of text at a time, loaded with memcpy (any alignment, any byte order): whether
// any of its bytes is below a bound (at most 0x80) or equal to a given byte. Both tests are
// exact as to whether there is such a byte; which one it is, the caller finds byte by byte.
inline constexpr std::uint64_t kEveryByte = 0x0101010101010101u;
inline std::uint64_t load_word(const char* p) noexcept {
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}
inline std::uint64_t any_byte_below(std::uint64_t w, unsigned char bound) noexcept {
    return (w - kEveryByte * bound) & ~w & (kEveryByte * 0x80);
}
inline std::uint64_t any_byte_equal(std::uint64_t w, unsigned char c) noexcept {
    return any_byte_below(w ^ (kEveryByte * c), 1);
}

// Every byte of a text of 1 to 7 bytes in one word, from overlapping loads, the rest of the
// word letters: for tests of whether any byte is of some kind, never reading past the end.
inline std::uint64_t short_word(const char* p, std::size_t n) noexcept {
    if (n >= 4) {
        std::uint32_t head, tail;
        std::memcpy(&head, p, 4);
        std::memcpy(&tail, p + n - 4, 4);
        return std::uint64_t{head} << 32 | tail;
    }
    const auto byte = [p](std::size_t i) { return std::uint64_t{static_cast<unsigned char>(p[i])}; };
    return (kEveryByte * 'a') << 24 | byte(0) << 16 | byte(n / 2) << 8 | byte(n - 1);
}

// Whether `test` holds for a word of the text: words that cover every byte (the last one
// overlapping the one before), never reading past the end.
template <class Test>
bool any_word(std::string_view s, Test test) {
    const char* p = s.data();
    std::size_t n = s.size();
    if (n < 8) return n != 0 && test(short_word(p, n));
    for (; n > 8; p += 8, n -= 8)
        if (test(load_word(p))) return true;
    return test(load_word(p + n - 8));
}

// The escaping loop both formats share. `plain(word)` tells whether no byte of a word starts
// an escape; `slowly(in, stop, out)` escapes byte by byte from `in` to at least `stop` and
// returns where it stopped in both texts. Plain words are copied whole. Nothing is read past
// `end`: a text shorter than a word is tested as one short_word, and the last bytes of a
// longer text as the word that ends at `end`, whose first bytes were just copied as they
// are. Needs room for 8 bytes more than the escaped text.
template <class Plain, class Slowly>
char* escape_words(const char* in, const char* end, char* out, Plain plain, Slowly slowly) {
    const std::size_t n = static_cast<std::size_t>(end - in);
    if (n < 8) {
        if (n == 0) return out;
        if (plain(short_word(in, n))) {
            std::memcpy(out, in, n);
            return out + n;
        }
        return slowly(in, end, out).second;
    }
    bool copied = false;  // the word before `in` was copied as it is
    while (end - in >= 8) {
        const std::uint64_t w = load_word(in);
        if (plain(w)) {
            std::memcpy(out, &w, sizeof w);
            out += 8;
            in += 8;
            copied = true;
        } else {
            const auto [next_in, next_out] = slowly(in, in + 8, out);
            in = next_in;
            out = next_out;
            copied = false;
        }
    }
    if (in == end) return out;
    if (copied) {
        const std::uint64_t w = load_word(end - 8);
        if (plain(w)) {
            std::memcpy(out - (in - (end - 8)), &w, sizeof w);
            return out + (end - in);
        }
    }
    return slowly(in, end, out).second;
}

// "\n" and two spaces per level; needs 1 + 2 * depth + kSlack bytes of room.
inline char* put_indent(char* out, std::size_t depth) {
    static constexpr char kSpaces[] =
        "                                                                ";  // 64
    static_assert(sizeof kSpaces - 1 == kSlack);
    *out++ = '\n';
    std::size_t n = 2 * depth;
    if (n <= kSlack) {
        std::memcpy(out, kSpaces, kSlack);
        return out + n;
    }
    for (; n > kSlack; n -= kSlack, out += kSlack) std::memcpy(out, kSpaces, kSlack);
    std::memcpy(out, kSpaces, kSlack);
    return out + n;
}

// Where a string may be cut into pieces: before a byte that is not a UTF-8 continuation
// byte, looking back at most three bytes from `cut` (the escapes of several-byte sequences
// then never straddle a cut; in invalid UTF-8 there is no such sequence to straddle).
inline const char* piece_end(const char* begin, const char* cut) {
    for (const char* p = cut; p > begin && cut - p <= 3; --p)
        if ((static_cast<unsigned char>(*p) & 0xC0) != 0x80) return p;
    return cut;
}

// A string literal: the format's opening quote, the escaped text, the closing quote. Leaves
// at least kSlack bytes of room after it.
template <class Format>
TextCursor put_string(std::string_view s, TextBuffer& buffer, TextCursor c) {
    const char quote = Format::quote(s);
    const char* in = s.data();
    const char* const end = in + s.size();
    if (s.size() <= kStringPiece) {
        c = buffer.make_room(c, kMaxEscapeGrowth * s.size() + 2 + kSlack);
        *c.at++ = quote;
        c.at = Format::escape(in, end, quote, c.at);
        *c.at++ = quote;
        return c;
    }
    c = buffer.make_room(c, 1);
    *c.at++ = quote;
    while (in != end) {
        const char* cut = static_cast<std::size_t>(end - in) <= kStringPiece
                              ? end
                              : piece_end(in, in + kStringPiece);
        c = buffer.make_room(c, kMaxEscapeGrowth * static_cast<std::size_t>(cut - in) + kSlack);
        c.at = Format::escape(in, cut, quote, c.at);
        in = cut;
    }
    c = buffer.make_room(c, 1 + kSlack);
    *c.at++ = quote;
    return c;
}

// The text of a short string read straight from its node: a string of at most 14 bytes
// lies inside its 16-byte node, which can be read whole. Two words cover the text, `first`
// its bytes [0, 8) and `second` its bytes [second_at, second_at + 8); `first_text` and
// `second_text` are the same words with the bytes past the end of the text replaced by
// letters, for tests that must see only the text. No branch depends on the length (the
// lengths of neighbouring strings follow no pattern). Little-endian words only.
struct ShortText {
    std::uint64_t first, second;
    std::uint64_t first_text, second_text;
    std::size_t second_at;
    std::size_t size;

    // Stores the two words: the text, and garbage up to 16 bytes from `out`.
    char* put(char* out) const noexcept {
        std::memcpy(out, &first, 8);
        std::memcpy(out + second_at, &second, 8);
        return out + size;
    }
};

// False when `s` (the text of `v`) is not inside the node, or on a big-endian machine.
inline bool read_short_text(const Value& v, std::string_view s, ShortText& t) noexcept {
    if constexpr (std::endian::native != std::endian::little) {
        return false;
    } else {
        constexpr std::size_t kNode = sizeof(Value);
        static_assert(kNode >= 16, "two words fit in a node");
        const std::uintptr_t offset =
            reinterpret_cast<std::uintptr_t>(s.data()) - reinterpret_cast<std::uintptr_t>(&v);
        if (offset > kNode - 8 || s.size() > kNode - offset) return false;
        t.first = load_word(s.data());
        t.second = load_word(reinterpret_cast<const char*>(&v) + kNode - 8);
        t.second_at = kNode - 8 - offset;
        t.size = s.size();
        // The low n bytes, by table rather than by a branch on n.
        static constexpr std::uint64_t kLowBytes[9] = {
            0, 0xFF, 0xFFFF, 0xFFFFFF, 0xFFFFFFFF, 0xFFFFFFFFFFu, 0xFFFFFFFFFFFFu,
            0xFFFFFFFFFFFFFFu, ~std::uint64_t{0}};
        const auto size = static_cast<std::ptrdiff_t>(s.size());
        const std::uint64_t mask1 = kLowBytes[std::min<std::ptrdiff_t>(size, 8)];
        const std::uint64_t mask2 = kLowBytes[std::clamp<std::ptrdiff_t>(
            size - static_cast<std::ptrdiff_t>(t.second_at), 0, 8)];
        constexpr std::uint64_t kLetters = kEveryByte * 'a';
        t.first_text = (t.first & mask1) | (kLetters & ~mask1);
        t.second_text = (t.second & mask2) | (kLetters & ~mask2);
        return true;
    }
}

// A string value or key. A short one with no byte that needs an escape (Format::plain_word,
// with the format's usual quote) is written with two word stores; any other string goes
// through put_string.
template <class Format>
TextCursor put_text(const Value& v, TextBuffer& buffer, TextCursor c) {
    const std::string_view s = v.as_string();
    ShortText t;
    if (read_short_text(v, s, t) && Format::plain_word(t.first_text) &&
        Format::plain_word(t.second_text)) {
        c = buffer.make_room(c, 16 + 2 + kSlack);
        *c.at = Format::kQuote;
        c.at = t.put(c.at + 1);
        *c.at++ = Format::kQuote;
        return c;
    }
    return put_string<Format>(s, buffer, c);
}

// Writes a value, except a non-empty container, which it returns unwritten to be opened.
// One switch on the kind: the kinds of neighbouring values follow no pattern, and every
// further test of the kind would be one more mispredicted branch. Room: Format::kNumberRoom
// for all but strings, which ask for their own.
template <class Format>
[[gnu::always_inline]] inline const Value* put_value(const Value& v, TextBuffer& buffer,
                                                     TextCursor& c) {
    switch (v.kind()) {
        case Kind::Null:
            std::memcpy(c.at, "null", 4);
            c.at += 4;
            return nullptr;
        case Kind::Bool: {
            static constexpr char kText[2][8] = {"false", "true"};
            const bool b = v.as_bool();
            std::memcpy(c.at, kText[b], 8);
            c.at += 5 - b;
            return nullptr;
        }
        case Kind::UInt:
            c.at = std::to_chars(c.at, c.at + 20, v.as_uint()).ptr;
            return nullptr;
        case Kind::Int:
            c.at = std::to_chars(c.at, c.at + 20, v.as_int()).ptr;
            return nullptr;
        case Kind::Float:
            c.at = Format::floating(v.as_float(), c.at);
            return nullptr;
        case Kind::String:
            c = put_text<Format>(v, buffer, c);
            return nullptr;
        case Kind::Array:
            if (!v.as_array().empty()) return &v;
            std::memcpy(c.at, "[]", 2);
            c.at += 2;
            return nullptr;
        case Kind::Object:
            if (!v.as_object().empty()) return &v;
            std::memcpy(c.at, "{}", 2);
            c.at += 2;
            return nullptr;
    }
    return nullptr;
}

}  // namespace writer_detail

// What tells one JSON-family format from another. A Format provides:
//   static constexpr bool kCommaAfterEveryMember;  // true: "a,\n b," ; false: separators
//   static constexpr std::size_t kNumberRoom;      // most bytes of a number's text
//   static TextCursor key(const Value&, TextBuffer&, TextCursor);  // an object's key
//   static constexpr char kQuote;                  // the usual quote character
//   static bool plain_word(std::uint64_t);         // no byte of the word is escaped, nor
//                                                  // changes the quote from kQuote
//   static char quote(std::string_view);           // quote character of a string
//   static char* escape(const char* in, const char* end, char quote, char* out);
//       // the escaped text of [in, end), at most six bytes per byte
//   static char* floating(double, char* out);

// The shared walk: "{" / "[", each member on its own line indented two spaces per level,
// "key": value for objects, then a line break, the container's own indentation and the
// closing bracket; empty containers as "{}" / "[]"; nothing after the root. Iterative, with
// an explicit stack, so no tree depth can overflow the call stack. False, with the text cut
// short, at the first container nested more than `max_depth` deep: a save checks the depth
// it can load back while writing, rather than in a walk of its own.
template <class Format>
bool write_document(const Value& root, TextBuffer& buffer, std::size_t max_depth) {
    using namespace writer_detail;
    static_assert(Format::kNumberRoom >= 20, "room for a 64-bit integer");
    // The members of the container being written sit in locals while its leaves are written
    // (stores to the text may alias anything in memory); a container opened inside it
    // pushes a frame.
    struct Frame {
        const Value* node;
        const Value* item;  // arrays: the next element
        Object::const_iterator next;  // objects: the next member
        bool started;  // a member was written
    };
    // Room for everything but the strings: separators, indentation, a number or a bracket.
    auto item_room = [](std::size_t depth) { return 2 * depth + 8 + Format::kNumberRoom + kSlack; };
    auto open = [](const Value& v, std::vector<Frame>& stack, char* p) {
        if (v.is_array()) {
            *p = '[';
            stack.push_back(Frame{&v, v.as_array().begin(), {}, false});
        } else {
            *p = '{';
            stack.push_back(Frame{&v, nullptr, v.as_object().begin(), false});
        }
        return p + 1;
    };

    std::vector<Frame> stack;
    TextCursor c = buffer.make_room(buffer.cursor(), item_room(0));
    if (max_depth == 0 && root.kind() >= Kind::Array) return false;
    if (put_value<Format>(root, buffer, c) != nullptr) c.at = open(root, stack, c.at);

    while (!stack.empty()) {
        Frame& top = stack.back();
        const std::size_t depth = stack.size();  // depth of the members of `top`
        const std::size_t room = item_room(depth);
        const bool at_limit = depth >= max_depth;  // no container may sit in `top`
        const Value* child = nullptr;  // a non-empty container to open
        if (top.node->is_array()) {
            const Value* item = top.item;
            const Value* const items_end = top.node->as_array().end();
            bool started = top.started;
            while (item != items_end) {
                const Value& v = *item++;
                if (at_limit && v.kind() >= Kind::Array) {
                    buffer.set_end(c.at);
                    return false;
                }
                c = buffer.make_room(c, room);
                if (!Format::kCommaAfterEveryMember && started) *c.at++ = ',';
                started = true;
                c.at = put_indent(c.at, depth);
                child = put_value<Format>(v, buffer, c);
                if (child != nullptr) break;
                if (Format::kCommaAfterEveryMember) *c.at++ = ',';
            }
            top.item = item;
            top.started = started;
        } else {
            Object::const_iterator next = top.next;
            const Object::const_iterator members_end = top.node->as_object().end();
            bool started = top.started;
            while (next != members_end) {
                const Member& m = *next;
                ++next;
                if (at_limit && m.value.kind() >= Kind::Array) {
                    buffer.set_end(c.at);
                    return false;
                }
                c = buffer.make_room(c, room);
                if (!Format::kCommaAfterEveryMember && started) *c.at++ = ',';
                started = true;
                c.at = put_indent(c.at, depth);
                c = Format::key(m.key, buffer, c);
                c = buffer.make_room(c, room);
                c.at[0] = ':';
                c.at[1] = ' ';
                c.at += 2;
                child = put_value<Format>(m.value, buffer, c);
                if (child != nullptr) break;
                if (Format::kCommaAfterEveryMember) *c.at++ = ',';
            }
            top.next = next;
            top.started = started;
        }
        if (child != nullptr) {
            c.at = open(*child, stack, c.at);  // may reallocate the stack: `top` is dead
            continue;
        }
        const char close = top.node->is_array() ? ']' : '}';
        stack.pop_back();
        c = buffer.make_room(c, item_room(depth - 1));
        c.at = put_indent(c.at, depth - 1);
        *c.at++ = close;
        if (Format::kCommaAfterEveryMember && !stack.empty()) *c.at++ = ',';
    }
    buffer.set_end(c.at);
    return true;
}

}  // namespace zel
