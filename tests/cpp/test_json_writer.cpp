// Tests of the JSON writer: the exact layout, string escapes, integer and float texts,
// reader-writer round trips (including random doubles), deep trees written without
// recursion, and the word-at-a-time string and key paths the JSON5 writer shares, checked
// against byte-by-byte renderings of the quoting rules.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "formats/json/json5_identifier.hpp"
#include "formats/json/json5_reader.hpp"
#include "formats/json/json5_writer.hpp"
#include "formats/json/reader.hpp"
#include "formats/json/writer.hpp"
#include "test_support.hpp"
#include "text/number_text.hpp"

namespace zel {
namespace {

using namespace test;

// Writes `v`, reads the text back, and checks both that the tree survives and that writing
// the re-read tree gives the same bytes.
void expect_round_trip(const Value& v) {
    const std::string text = json_text(v);
    Result<Value> back = parse_json(text);
    ASSERT_TRUE(back.ok()) << back.error().message << "\n" << text;
    EXPECT_EQ(back.value(), v) << text;
    EXPECT_EQ(json_text(back.value()), text);
}

Value obj(std::initializer_list<std::pair<const char*, Value*>> members) {
    Value o = Value::object();
    for (auto& [k, v] : members) o.set(k, std::move(*v));
    return o;
}

TEST(writing_layout, nested_document_exactly) {
    Value empty = Value::object();
    Array items;
    items.push_back(Value::uinteger(1));
    items.push_back(Value::floating(2.5));
    Value b = Value::array(std::move(items));
    const Value doc = obj({{"b", &b}, {"a", &empty}});
    EXPECT_EQ(json_text(doc), "{\n  \"a\": {},\n  \"b\": [\n    1,\n    2.5\n  ]\n}");
    expect_round_trip(doc);
}

TEST(writing_layout, arrays_of_containers_and_scalar_roots) {
    Value inner = parse_json(R"([[], {}, [null, {"k": false}]])").value();
    EXPECT_EQ(json_text(inner),
              "[\n  [],\n  {},\n  [\n    null,\n    {\n      \"k\": false\n    }\n  ]\n]");
    EXPECT_EQ(json_text(Value::null()), "null");
    EXPECT_EQ(json_text(Value::boolean(true)), "true");
    EXPECT_EQ(json_text(Value::string("x")), "\"x\"");
    EXPECT_EQ(json_text(Value::array()), "[]");
    EXPECT_EQ(json_text(Value::object()), "{}");
    expect_round_trip(inner);
}

struct Escape : TextCase<Escape> {
    std::string written;
};

class writing_strings : public ::testing::TestWithParam<Escape> {};

TEST_P(writing_strings, escape_exactly_and_read_back) {
    EXPECT_EQ(json_text(Value::string(GetParam().text)), GetParam().written);
    expect_round_trip(Value::string(GetParam().text));
    // Keys are written by the same rule.
    Value o = Value::object();
    o.set(GetParam().text, Value::null());
    EXPECT_EQ(json_text(o), "{\n  " + GetParam().written + ": null\n}");
}

using namespace std::string_literals;
INSTANTIATE_TEST_SUITE_P(all, writing_strings, ::testing::Values(
    Escape{"\t\"", R"("\t\"")"},
    Escape{"\x01", R"("\u0001")"},
    Escape{"\x1f", R"("\u001f")"},
    Escape{"\0"s, R"("\u0000")"},
    Escape{"\b\f\n\r", R"("\b\f\n\r")"},
    Escape{"a\\b/c", R"("a\\b/c")"},
    Escape{"\x7f\xc3\xa9\xe2\x80\xa8\xf0\x9f\x98\x80", "\"\x7f\xc3\xa9\xe2\x80\xa8\xf0\x9f\x98\x80\""},
    Escape{"", R"("")"}));

struct FloatText {
    double value;
    const char* text;
};

void PrintTo(const FloatText& f, std::ostream* os) { *os << f.text; }

class writing_floats : public ::testing::TestWithParam<FloatText> {};

TEST_P(writing_floats, shortest_round_trip_form) {
    EXPECT_EQ(json_text(Value::floating(GetParam().value)), GetParam().text);
    expect_round_trip(Value::floating(GetParam().value));
}

INSTANTIATE_TEST_SUITE_P(all, writing_floats, ::testing::Values(
    FloatText{1.0, "1.0"},
    FloatText{0.0, "0.0"},
    FloatText{-0.0, "-0.0"},
    FloatText{100.0, "100.0"},
    FloatText{2.5, "2.5"},
    FloatText{-2.5, "-2.5"},
    FloatText{0.1, "0.1"},
    FloatText{0.001, "0.001"},
    FloatText{1e-5, "0.00001"},
    FloatText{1e-6, "1e-6"},
    FloatText{1.5e-7, "1.5e-7"},
    FloatText{123456.789, "123456.789"},
    FloatText{1e15, "1000000000000000.0"},
    FloatText{1234567890123456.7, "1234567890123456.8"},
    FloatText{1e16, "1e+16"},
    FloatText{1e20, "1e+20"},
    FloatText{1.2345678901234568e20, "1.2345678901234568e+20"},
    FloatText{18446744073709551616.0, "1.8446744073709552e+19"},
    FloatText{1.7976931348623157e308, "1.7976931348623157e+308"},
    FloatText{5e-324, "5e-324"},
    FloatText{-1e-300, "-1e-300"},
    // Around the short-decimal path: 17 digits, the 2^52 limit, trailing zeros, 10^22.
    FloatText{0.30000000000000004, "0.30000000000000004"},
    FloatText{-6535.864, "-6535.864"},
    FloatText{4503599627370495.0, "4503599627370495.0"},
    FloatText{4503599627370497.0, "4503599627370497.0"},
    FloatText{450359962737049.55, "450359962737049.56"},
    FloatText{1e22, "1e+22"},
    FloatText{1.2345e-17, "1.2345e-17"}));

TEST(writing_numbers, integers_at_the_ends_of_their_ranges) {
    EXPECT_EQ(json_text(Value::uinteger(18446744073709551615u)), "18446744073709551615");
    EXPECT_EQ(json_text(Value::integer(std::numeric_limits<std::int64_t>::min())), "-9223372036854775808");
    EXPECT_EQ(json_text(Value::uinteger(0)), "0");
    expect_round_trip(Value::uinteger(18446744073709551615u));
    expect_round_trip(Value::integer(std::numeric_limits<std::int64_t>::min()));
}

TEST(writing_numbers, random_doubles_read_back_bit_for_bit) {
    std::mt19937_64 random(20240521);
    for (int i = 0; i < 50000; ++i) {
        std::uint64_t bits = random();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        if (!std::isfinite(d)) continue;
        const std::string text = json_text(Value::floating(d));
        Result<Value> back = parse_json(text);
        ASSERT_TRUE(back.ok()) << text << ": " << back.error().message;
        ASSERT_TRUE(back.value().is_number()) << text;
        ASSERT_EQ(back.value(), Value::floating(d)) << text;
    }
}

// The digits and point position as std::to_chars's shortest scientific text gives them: the
// general algorithm, which the short-decimal path must match exactly.
ShortestDigits reference_digits(double d) {
    char text[40];
    const char* end = std::to_chars(text, text + sizeof text, std::fabs(d), std::chars_format::scientific).ptr;
    ShortestDigits r{};
    const char* p = text;
    for (; *p != 'e'; ++p)
        if (*p != '.') r.digits[r.count++] = *p;
    std::from_chars(p + 1 + (p[1] == '+'), end, r.exponent);
    r.exponent += 1;
    return r;
}

TEST(writing_numbers, shortest_digits_match_the_general_algorithm) {
    std::mt19937_64 random(20240611);
    long checked = 0;
    const auto check = [&](double d) {
        if (!std::isfinite(d) || d == 0) return;
        ++checked;
        const ShortestDigits got = shortest_digits(d);
        const ShortestDigits want = reference_digits(d);
        ASSERT_EQ(std::string(got.digits, got.count), std::string(want.digits, want.count)) << d;
        ASSERT_EQ(got.exponent, want.exponent) << d;
    };
    for (int i = 0; i < 200000; ++i) {
        std::uint64_t bits = random();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        check(d);
        // Short decimals (the common case) and their neighbours, which only nearly are.
        const int digits = 1 + static_cast<int>(random() % 16);
        const double m = static_cast<double>(random() % static_cast<std::uint64_t>(std::pow(10.0, digits)));
        const double decimal = m / std::pow(10.0, static_cast<double>(random() % 23));
        check(decimal);
        check(std::nextafter(decimal, 0.0));
        check(std::nextafter(decimal, 1e300));
        check(m * std::pow(10.0, static_cast<double>(random() % 30)));
    }
    EXPECT_GT(checked, 900000);
}

TEST(writing_round_trip, mixed_document) {
    const Value doc = parse_json(R"({"": "", "list": [1, -1, 0.5, [], {}, null, true],
        "nested": {"deeper": {"x": "\u00e9\n"}}, "Upper": -0.0})").value();
    expect_round_trip(doc);
}

// The layout costs 2 * depth spaces per line, so the text of a tree grows with the square of
// its depth; 5,000 levels (about 50 MB) on a 256 KiB stack is far past what a recursive walk
// would survive there, while staying small enough for a test.
TEST(writing_depth, deep_tree_on_a_small_stack) {
    constexpr std::size_t kDepth = 5000;
    Value root = Value::object();
    Value* node = &root;
    for (std::size_t i = 0; i < kDepth; ++i) {
        node->set("a", Value::object());
        node = node->find("a");
    }
    node->set("leaf", Value::array());
    std::string out;
    run_on_small_stack([&] { write_json(root, out); });

    // The root is "{" ... "\n}"; the object at depth d (1-based) opens on a line of 2d spaces
    // + "\"a\": {" and closes on a line of 2d spaces + "}".
    std::size_t expected = 1 + 2;
    for (std::size_t d = 1; d <= kDepth; ++d) expected += (1 + 2 * d + 6) + (1 + 2 * d + 1);
    expected += 1 + 2 * (kDepth + 1) + std::strlen("\"leaf\": []");
    EXPECT_EQ(out.size(), expected);
    EXPECT_EQ(out.substr(0, 14), "{\n  \"a\": {\n   ");
    EXPECT_EQ(out.substr(out.size() - 7), "}\n  }\n}");
    EXPECT_NE(out.find(std::string(2 * (kDepth + 1), ' ') + "\"leaf\": []\n"), std::string::npos);
}


// A save refuses a document nested deeper than loading accepts; the writer finds that out as
// it writes, counting as nesting_depth does: every array and object on the path, an empty
// one included, the root as 1.
struct Nesting {
    std::size_t levels;  // containers from the root down
    bool arrays;
    bool empty_innermost;  // else it holds a number
    bool beside_a_sibling;  // the deep path is not the first member
};

void PrintTo(const Nesting& n, std::ostream* os) {
    *os << n.levels << (n.arrays ? " arrays" : " objects") << (n.empty_innermost ? ", empty" : "")
        << (n.beside_a_sibling ? ", beside a sibling" : "");
}

class writing_depth_limit : public ::testing::TestWithParam<Nesting> {};

TEST_P(writing_depth_limit, stops_where_nesting_depth_exceeds_the_limit) {
    const Nesting& n = GetParam();
    Value node = n.empty_innermost ? (n.arrays ? Value::array() : Value::object()) : Value::uinteger(7);
    for (std::size_t level = n.empty_innermost ? 1 : 0; level < n.levels; ++level) {
        Value parent = n.arrays ? Value::array() : Value::object();
        if (n.arrays) {
            if (n.beside_a_sibling) parent.as_array().push_back(Value::null());
            parent.as_array().push_back(std::move(node));
        } else {
            if (n.beside_a_sibling) parent.set("a", Value::null());
            parent.set("b", std::move(node));
        }
        node = std::move(parent);
    }
    ASSERT_EQ(nesting_depth(node, 1000), n.levels);
    for (const std::size_t limit : {n.levels - 1, n.levels, n.levels + 1}) {
        TextBuffer json, json5;
        EXPECT_EQ(write_json(node, json, limit), n.levels <= limit) << limit;
        EXPECT_EQ(write_json5(node, json5, limit), n.levels <= limit) << limit;
        if (n.levels <= limit) {
            std::string whole;
            write_json(node, whole);
            EXPECT_EQ(json.view(), whole);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(all, writing_depth_limit, ::testing::Values(
    Nesting{1, false, true, false}, Nesting{1, true, true, false}, Nesting{2, true, false, false},
    Nesting{127, false, false, false}, Nesting{128, false, false, true},
    Nesting{128, true, true, false}, Nesting{128, false, true, true}, Nesting{129, true, false, true}));

TEST(writing_depth_limit, scalar_roots_have_no_depth) {
    TextBuffer text;
    EXPECT_TRUE(write_json(Value::string("x"), text, 0));
    EXPECT_FALSE(write_json(Value::array(), text, 0));
}

// ---- strings and keys, against byte-by-byte renderings of the rules ----

std::string json_literal(std::string_view s) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\f': out += "\\f"; break;
            case '\r': out += "\\r"; break;
            default:
                if (u < 0x20)
                    out += std::string("\\u00") + kHex[u >> 4] + kHex[u & 0xF];
                else
                    out += c;
        }
    }
    return out + "\"";
}

std::string json5_literal(std::string_view s) {
    const bool has_double = s.find('"') != std::string_view::npos;
    const bool has_single = s.find('\'') != std::string_view::npos;
    const char quote = has_double && !has_single ? '\'' : '"';
    std::string out(1, quote);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == quote || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (s.substr(i, 3) == "\xE2\x80\xA8" || s.substr(i, 3) == "\xE2\x80\xA9") {
            out += s[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
            i += 2;
        } else {
            out += c;
        }
    }
    return out + quote;
}

struct Layout : NamedCase<Layout> {
    void (*write)(const Value&, std::string&);
    std::string (*member)(const std::string&);  // "{...}" holding the member s: s
};

class writing_texts : public ::testing::TestWithParam<Layout> {};

// Each special byte or sequence at every position of texts of every length up to 40 (inline
// in the node up to 14 bytes, out of line beyond), and around the cut of texts written in
// pieces; as a key and as a value.
TEST_P(writing_texts, match_the_rules_at_every_length_and_position) {
    static const char* const kSpecials[] = {
        "\"", "'", "\\", "\n", "\r", "\x01", "\x1f", "\x7f", "\xE2\x80\xA8", "\xE2\x80\xA9",
        "\xE2\x80", "\xE2", "\x80\x80\x80\x80", "\xC3\xA9", "_", "$", "9", "-", " "};
    const Layout& layout = GetParam();
    int failures = 0;
    const auto check = [&](const std::string& s) {
        Value doc = Value::object();
        doc.set(s, Value::string(s));
        std::string text;
        layout.write(doc, text);
        if (text != layout.member(s) && ++failures <= 5)
            ADD_FAILURE() << ::testing::PrintToString(s) << " gave " << ::testing::PrintToString(text);
    };
    for (const char* base : {"x", "Ab", "1"}) {
        for (std::size_t length = 0; length <= 40; ++length) {
            std::string plain;
            while (plain.size() < length) plain += base;
            plain.resize(length);
            check(plain);
            for (const char* special : kSpecials)
                for (std::size_t at = 0; at <= length; ++at)
                    check(plain.substr(0, at) + special + plain.substr(at));
        }
    }
    const std::string long_text(20000, 'y');
    for (const char* special : kSpecials) {
        for (std::size_t at = 16378; at <= 16390; ++at)
            check(long_text.substr(0, at) + special + long_text.substr(at));
        check(long_text + special);
    }
    check(std::string(16400, '\x80'));
    EXPECT_EQ(failures, 0);
}

INSTANTIATE_TEST_SUITE_P(both, writing_texts, ::testing::Values(
    Layout{"json", [](const Value& v, std::string& out) { write_json(v, out); },
           [](const std::string& s) { return "{\n  " + json_literal(s) + ": " + json_literal(s) + "\n}"; }},
    Layout{"json5", [](const Value& v, std::string& out) { write_json5(v, out); },
           [](const std::string& s) {
               const std::string key = is_json5_identifier_name(s) ? s : json5_literal(s);
               return "{\n  " + key + ": " + json5_literal(s) + ",\n}";
           }}), CaseName());

}  // namespace
}  // namespace zel
