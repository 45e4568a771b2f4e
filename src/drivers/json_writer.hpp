// The JSON writer (two-space indented layout, no final newline) and the iterative tree walk
// it shares with the other JSON-family writers: a format supplies only its quoting, its
// comma placement and its number text, in one small traits struct.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "value/value.hpp"

namespace zel {

// Appends the JSON text of `value` to `out`. Accepts every tree, however deep.
void write_json(const Value& value, std::string& out);

// The shortest decimal digits that read back to a finite, non-zero-signed |d|: value =
// 0.d1...dn x 10^exponent. Zero gives the digits "0" and exponent 1.
struct ShortestDigits {
    char digits[32];
    int count;     // n
    int exponent;  // kk: position of the decimal point
};
ShortestDigits shortest_digits(double d);

// JSON text of a float: the shortest round-trip digits, fixed notation with ".0" for
// integral values up to 16 digits, exponent form ("1e+20", "1.5e-7") for the rest.
void append_json_float(double d, std::string& out);

// A JSON string literal: \" \\ \b \t \n \f \r, \u00xx for other controls, raw UTF-8 else.
void append_json_string(std::string_view text, std::string& out);

// What tells one JSON-family format from another. A Format provides:
//   static constexpr bool kCommaAfterEveryMember;  // true: "a,\n b," ; false: separators
//   static void key(std::string_view, std::string&);
//   static void string(std::string_view, std::string&);
//   static void floating(double, std::string&);
struct JsonFormat {
    static constexpr bool kCommaAfterEveryMember = false;
    static void key(std::string_view k, std::string& out) { append_json_string(k, out); }
    static void string(std::string_view s, std::string& out) { append_json_string(s, out); }
    static void floating(double d, std::string& out) { append_json_float(d, out); }
};

namespace writer_detail {

void append_indent(std::string& out, std::size_t depth);
void append_uint(std::uint64_t u, std::string& out);
void append_int(std::int64_t i, std::string& out);

template <class Format>
void append_scalar(const Value& v, std::string& out) {
    switch (v.kind()) {
        case Kind::Null:
            out += "null";
            break;
        case Kind::Bool:
            out += v.as_bool() ? "true" : "false";
            break;
        case Kind::UInt:
            append_uint(v.as_uint(), out);
            break;
        case Kind::Int:
            append_int(v.as_int(), out);
            break;
        case Kind::Float:
            Format::floating(v.as_float(), out);
            break;
        case Kind::String:
            Format::string(v.as_string(), out);
            break;
        default:
            break;
    }
}

inline bool is_nonempty_container(const Value& v) {
    return (v.is_array() && !v.as_array().empty()) || (v.is_object() && !v.as_object().empty());
}

}  // namespace writer_detail

// The shared walk: "{" / "[", each member on its own line indented two spaces per level,
// "key": value for objects, then a line break, the container's own indentation and the
// closing bracket; empty containers as "{}" / "[]"; nothing after the root. Iterative, with
// an explicit stack, so no tree depth can overflow the call stack.
template <class Format>
void write_document(const Value& root, std::string& out) {
    using namespace writer_detail;
    struct Frame {
        const Value* node;
        std::size_t index;           // next array element
        Object::const_iterator next; // next object member
    };

    auto write_open_or_leaf = [&out](const Value& v, std::vector<Frame>& stack) {
        if (is_nonempty_container(v)) {
            if (v.is_array()) {
                out += '[';
                stack.push_back(Frame{&v, 0, {}});
            } else {
                out += '{';
                stack.push_back(Frame{&v, 0, v.as_object().begin()});
            }
        } else if (v.is_array()) {
            out += "[]";
        } else if (v.is_object()) {
            out += "{}";
        } else {
            append_scalar<Format>(v, out);
        }
    };

    std::vector<Frame> stack;
    write_open_or_leaf(root, stack);
    while (!stack.empty()) {
        Frame& top = stack.back();
        const std::size_t depth = stack.size();  // depth of the members of `top`
        const Value* child = nullptr;
        const Value* key = nullptr;
        bool first = false;
        if (top.node->is_array()) {
            const Array& items = top.node->as_array();
            if (top.index < items.size()) {
                first = top.index == 0;
                child = &items[top.index++];
            }
        } else if (top.next != top.node->as_object().end()) {
            first = top.next == top.node->as_object().begin();
            key = &top.next->key;
            child = &top.next->value;
            ++top.next;
        }
        if (child != nullptr) {
            if (!Format::kCommaAfterEveryMember && !first) out += ',';
            append_indent(out, depth);
            if (key != nullptr) {
                Format::key(key->as_string(), out);
                out += ": ";
            }
            const bool opens = is_nonempty_container(*child);
            write_open_or_leaf(*child, stack);  // may reallocate: `top` is dead from here
            if (!opens && Format::kCommaAfterEveryMember) out += ',';
            continue;
        }
        const bool is_array = top.node->is_array();
        stack.pop_back();
        append_indent(out, depth - 1);
        out += is_array ? ']' : '}';
        if (Format::kCommaAfterEveryMember && !stack.empty()) out += ',';
    }
}

}  // namespace zel
