// Tests of the JSON5 reader and writer: every grammar feature accepted, every kind of
// malformed input with its exact message and position, nesting limits, the writer's exact
// bytes, and reader-writer round trips (random trees and random doubles included).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <string>

#include "drivers/drivers.hpp"
#include "formats/json/json5_reader.hpp"
#include "formats/json/json5_writer.hpp"
#include "formats/json/reader.hpp"
#include "test_support.hpp"

namespace zel {
namespace {

using namespace std::string_literals;
using namespace test;

Value parsed(std::string_view text) { return parsed_with(parse_json5, text); }

std::string json5(const Value& v) {
    std::string out;
    write_json5(v, out);
    return out;
}

// ---- accepted input: the JSON5 text and the same tree written as plain JSON ----

struct Accepted : NamedCase<Accepted> {
    std::string text;
    std::string json;
};

class json5_parsing_accepted : public ::testing::TestWithParam<Accepted> {};

TEST_P(json5_parsing_accepted, gives_the_tree) {
    const Accepted& c = GetParam();
    Result<Value> expected = parse_json(c.json);
    ASSERT_TRUE(expected.ok()) << expected.error().message;
    EXPECT_EQ(parsed(c.text), expected.value()) << c.text;
}

#define CASE(name, text, json) Accepted{name, text, json}

INSTANTIATE_TEST_SUITE_P(space_and_comments, json5_parsing_accepted, ::testing::Values(
    CASE("line_comments", "// head\n{// a\na:1// b\n}// tail", R"({"a":1})"),
    CASE("line_comment_ends_at_cr_and_separators", "[1,//x\r2,//y\xE2\x80\xA8 3]", "[1,2,3]"),
    CASE("block_comments", "/**/[/* a * b ** / */1/*\n*/,2]/* end */", "[1,2]"),
    CASE("ascii_space", "\t\n\v\f\r [ \t\v\f1\r\n]  ", "[1]"),
    CASE("unicode_space", "\xEF\xBB\xBF\xC2\xA0[\xE2\x80\xA8\xE2\x80\xA9\xE3\x80\x80\xE1\x9A\x80\xE2\x80\x87\xE2\x80\xAF" "1]",
         "[1]")),
    CaseName());

INSTANTIATE_TEST_SUITE_P(keys, json5_parsing_accepted, ::testing::Values(
    CASE("ascii_identifiers", "{$:1, _:2, a1$_:3, A:4}", R"({"$":1,"_":2,"a1$_":3,"A":4})"),
    CASE("reserved_words", "{null:1,true:2,false:3,Infinity:4,NaN:5,if:6}",
         R"({"null":1,"true":2,"false":3,"Infinity":4,"NaN":5,"if":6})"),
    CASE("letters", "{café:1, αβγ:2, 名前:3, Ⅻ:4, ǅ:5, ʰ:6}",
         R"({"café":1,"αβγ":2,"名前":3,"Ⅻ":4,"ǅ":5,"ʰ":6})"),
    CASE("marks_digits_connectors", "{e\xCC\x81:1, a٣:2, a‿b:3, a\xE2\x80\x8C" "b:4, a\xE2\x80\x8D" "c:5}",
         "{\"e\xCC\x81\":1,\"a٣\":2,\"a‿b\":3,\"a\xE2\x80\x8C" "b\":4,\"a\xE2\x80\x8D" "c\":5}"),
    CASE("escaped_identifiers", R"({\u0061:1, a\u0031:2, \u00e9t\u00E9:3, \uD801\uDC00:4})",
         R"({"a":1,"a1":2,"été":3,"\ud801\udc00":4})"),
    CASE("quoted_keys", R"({'a b':1, "c'd":2, '':3, 'x"':4})",
         R"({"a b":1,"c'd":2,"":3,"x\"":4})"),
    CASE("later_duplicate_wins", "{a:1, b:2, a:{x:1}, a:3}", R"({"a":3,"b":2})"),
    CASE("keys_sorted_by_bytes", "{b:1, a:2, B:3, é:4, z:5}", R"({"B":3,"a":2,"b":1,"z":5,"é":4})")),
    CaseName());

INSTANTIATE_TEST_SUITE_P(strings, json5_parsing_accepted, ::testing::Values(
    CASE("quotes", R"(['a"b', "c'd", '', ""])", R"(["a\"b","c'd","",""])"),
    CASE("simple_escapes", R"('\'\"\\\b\f\n\r\t\v\0')", R"("'\"\\\b\f\n\r\t\u000b\u0000")"),
    CASE("nul_before_non_digit", R"('\0a')", R"("\u0000a")"),
    CASE("hex_escapes", R"("\x41\xe9\x00\xFF")", R"("Aé\u0000ÿ")"),
    CASE("unicode_escapes", R"('\u0041\u00e9\u20AC\ud83d\ude00\u0000')", R"("Aé€😀\u0000")"),
    CASE("line_continuations", "'a\\\nb\\\r\nc\\\rd\\\xE2\x80\xA8" "e\\\xE2\x80\xA9" "f'", R"("abcdef")"),
    CASE("other_escapes_stand_for_themselves", "'\\a\\q\\ \\é\\/\\$'", R"("aq é/$")"),
    CASE("raw_characters", "'\t\x01\x7F\xE2\x80\xA8\xE2\x80\xA9é😀'",
         "\"\\t\\u0001\x7F\xE2\x80\xA8\xE2\x80\xA9é😀\""),
    CASE("raw_nul", "['\0']"s, R"(["\u0000"])")),
    CaseName());

INSTANTIATE_TEST_SUITE_P(literals_and_containers, json5_parsing_accepted, ::testing::Values(
    CASE("scalars", "[null, true, false]", "[null,true,false]"),
    CASE("trailing_commas", "[1, [2,], {a:[],}, {},]", R"([1,[2],{"a":[]},{}])"),
    CASE("scalar_roots", " 'x' ", R"("x")"),
    CASE("empty_containers", "{a:{}, b:[]}", R"({"a":{},"b":[]})")),
    CaseName());

INSTANTIATE_TEST_SUITE_P(numbers, json5_parsing_accepted, ::testing::Values(
    CASE("signs", "[+1, -1, -0, +0, +1.5]", "[1,-1,0,0,1.5]"),
    CASE("points", "[.5, 5., -.5, +5., 5.e1, .5e1, 0.0]", "[0.5,5.0,-0.5,5.0,50.0,5.0,0.0]"),
    CASE("exponents", "[1e3, 1E+3, 1e-3, 0e99999999999]", "[1000.0,1000.0,0.001,0.0]"),
    CASE("hex", "[0x1F, 0XaBc, -0x10, +0x10, 0x0, -0x0, 0x000001]", "[31,2748,-16,16,0,0,1]"),
    CASE("hex_edges", "[0xFFFFFFFFFFFFFFFF, 0x10000000000000000, -0x8000000000000000, -0x8000000000000001]",
         "[18446744073709551615,1.8446744073709552e19,-9223372036854775808,-9.223372036854775808e18]"),
    CASE("decimal_edges", "[18446744073709551615, 18446744073709551616, -9223372036854775808, -9223372036854775809]",
         "[18446744073709551615,1.8446744073709552e19,-9223372036854775808,-9.223372036854775808e18]"),
    CASE("nineteen_digits", "[9999999999999999999, -9223372036854775807, -9999999999999999999]",
         "[9999999999999999999,-9223372036854775807,-1e19]"),
    CASE("infinity_and_nan_load_as_null", "[Infinity, -Infinity, +Infinity, NaN, -NaN, +NaN]",
         "[null,null,null,null,null,null]"),
    CASE("underflow_is_zero", "[1e-400, -1e-400]", "[0.0,-0.0]"),
    CASE("long_mantissa", "[0.30000000000000004, 1" + std::string(30, '0') + "]", "[0.30000000000000004,1e30]")),
    CaseName());
#undef CASE

// Runs of blanks of every length around the eight-byte step, before values, separators,
// other white space, comments and the end of the text.
TEST(json5_parsing_space, blank_runs_of_every_length) {
    const Value expected = parsed("{a: [1, 'x'], b: 2}");
    for (std::size_t n = 0; n <= 20; ++n) {
        const std::string b(n, ' ');
        const std::string text = b + "{" + b + "a" + b + ":" + b + "[" + b + "1" + b + "," + b +
                                 "\t" + b + "'x'" + b + "]" + b + ",\n" + b + "// c\n" + b + "b:" +
                                 b + "/* c */" + b + "2" + b + "\r\n" + b + "}" + b;
        EXPECT_EQ(parsed(text), expected) << n;
        EXPECT_TRUE(fails_with(parse_json5(b + "[" + b + "1" + b + "x]"), ErrorKind::Parse,
                               "JSON5 parse error: unexpected character 'x' at line 1 column " +
                                   std::to_string(3 * n + 3)))
            << n;
    }
}

TEST(json5_parsing_numbers, kinds_follow_the_number_rule) {
    EXPECT_EQ(parsed("-0").kind(), Kind::UInt);
    EXPECT_EQ(parsed("-0x0").kind(), Kind::UInt);
    EXPECT_EQ(parsed("5.").kind(), Kind::Float);
    EXPECT_EQ(parsed("-1").kind(), Kind::Int);
    EXPECT_EQ(parsed("0x" + std::string(200, 'f')), Value::floating(std::ldexp(1.0, 800)));
    EXPECT_TRUE(std::signbit(parsed("-0.0").as_float()));
}

// ---- malformed input ----

struct Malformed : NamedCase<Malformed> {
    std::string text;
    std::string message;  // after "JSON5 parse error: "
};

class json5_parsing_malformed : public ::testing::TestWithParam<Malformed> {};

TEST_P(json5_parsing_malformed, fails_with_message_and_position) {
    const Malformed& c = GetParam();
    EXPECT_TRUE(fails_with(parse_json5(c.text), ErrorKind::Parse, "JSON5 parse error: " + c.message));
}

#define BAD(name, text, message) Malformed{name, text, message}
const std::string kEof = "unexpected end of input at line 1 column ";
const std::string kUnterminated = "unterminated string at line 1 column ";

INSTANTIATE_TEST_SUITE_P(truncated, json5_parsing_malformed, ::testing::Values(
    BAD("empty", "", kEof + "1"),
    BAD("only_comments", "  // only a comment", kEof + "20"),
    BAD("only_block_comment", "/* c */\n", "unexpected end of input at line 2 column 1"),
    BAD("open_array", "[", kEof + "2"), BAD("open_object", "{", kEof + "2"),
    BAD("key", "{a", kEof + "3"), BAD("colon", "{a:", kEof + "4"), BAD("member", "{a:1", kEof + "5"),
    BAD("after_comma", "[1,", kEof + "4"), BAD("literal", "tru", kEof + "4"),
    BAD("infinity", "-Infin", kEof + "7"), BAD("sign", "-", kEof + "2"), BAD("point", ".", kEof + "2"),
    BAD("exponent", "1e", kEof + "3"), BAD("exponent_sign", "1e+", kEof + "4"), BAD("hex", "0x", kEof + "3"),
    BAD("identifier_escape", "{\\u00", kEof + "6"), BAD("identifier_backslash", "{\\", kEof + "3"),
    BAD("string", "'abc", kUnterminated + "5"), BAD("escape", "\"a\\", kUnterminated + "4"),
    BAD("hex_escape", "'\\x4", kUnterminated + "5"), BAD("unicode_escape", "'\\u12", kUnterminated + "6"),
    BAD("surrogate_pair", "'\\ud800", kUnterminated + "8"), BAD("pair_backslash", "'\\ud800\\", kUnterminated + "9"),
    BAD("pair_second", "'\\ud800\\udc", kUnterminated + "12"),
    BAD("block_comment", "1 /* open *", "unterminated comment at line 1 column 12")),
    CaseName());

INSTANTIATE_TEST_SUITE_P(wrong_tokens, json5_parsing_malformed, ::testing::Values(
    BAD("missing_comma", "[1 2]", "unexpected character '2' at line 1 column 4"),
    BAD("missing_colon", "{a 1}", "unexpected character '1' at line 1 column 4"),
    BAD("missing_member_comma", "{a:1 b:2}", "unexpected character 'b' at line 1 column 6"),
    BAD("lone_comma_array", "[,]", "unexpected character ',' at line 1 column 2"),
    BAD("lone_comma_object", "{,}", "unexpected character ',' at line 1 column 2"),
    BAD("double_comma", "[1,,]", "unexpected character ',' at line 1 column 4"),
    BAD("number_key", "{1:2}", "unexpected character '1' at line 1 column 2"),
    BAD("symbol_in_key", "{a-b:1}", "unexpected character '-' at line 1 column 3"),
    BAD("non_letter_key", "{€:1}", "unexpected character '€' at line 1 column 2"),
    BAD("emoji_in_key", "{a😀:1}", "unexpected character '😀' at line 1 column 3"),
    BAD("wrong_close", "[1}", "unexpected character '}' at line 1 column 3"),
    BAD("lone_slash", "[1 / 2]", "unexpected character '/' at line 1 column 4"),
    BAD("bad_literal", "nulx", "unexpected character 'x' at line 1 column 4"),
    BAD("capital_literal", "True", "unexpected character 'T' at line 1 column 1"),
    BAD("double_sign", "+-1", "unexpected character '-' at line 1 column 2"),
    BAD("sign_then_letter", "-x", "unexpected character 'x' at line 1 column 2"),
    BAD("point_alone", "[.]", "unexpected character ']' at line 1 column 3"),
    BAD("hex_without_digits", "0xg", "unexpected character 'g' at line 1 column 3"),
    BAD("exponent_without_digits", "1e+x", "unexpected character 'x' at line 1 column 4"),
    BAD("control_character", "[\x01]", "unexpected character U+0001 at line 1 column 2"),
    BAD("nul_byte", "[\0]"s, "unexpected character U+0000 at line 1 column 2"),
    BAD("trailing_bracket", "[1]]", "trailing characters at line 1 column 4"),
    BAD("second_value", "{}\n{}", "trailing characters at line 2 column 1"),
    BAD("number_then_letter", "1x", "trailing characters at line 1 column 2"),
    BAD("hex_then_letter", "0x1g", "trailing characters at line 1 column 4"),
    BAD("second_point", "1.5.3", "trailing characters at line 1 column 4"),
    BAD("nul_after_value", "1\0"s, "trailing characters at line 1 column 2"),
    BAD("third_line", "{\n  a: 1,\n  b: x\n}", "unexpected character 'x' at line 3 column 6"),
    BAD("every_line_break", "[\r\n1,\r2,\xE2\x80\xA8" "3,\xE2\x80\xA9 x]", "unexpected character 'x' at line 5 column 2"),
    BAD("columns_count_characters", "['é', €]", "unexpected character '€' at line 1 column 7")),
    CaseName());

INSTANTIATE_TEST_SUITE_P(strings_and_identifiers, json5_parsing_malformed, ::testing::Values(
    BAD("digit_escape", "'\\1'", "invalid escape at line 1 column 2"),
    BAD("nine_escape", "'ab\\9'", "invalid escape at line 1 column 4"),
    BAD("nul_then_digit", "'\\01'", "invalid escape at line 1 column 2"),
    BAD("nul_then_eight", "'\\08'", "invalid escape at line 1 column 2"),
    BAD("bad_hex_escape", "'\\xG0'", "invalid escape at line 1 column 2"),
    BAD("short_hex_escape", "'\\x4G'", "invalid escape at line 1 column 2"),
    BAD("bad_unicode_escape", "'\\u12G4'", "invalid escape at line 1 column 2"),
    BAD("braced_unicode_escape", "'\\u{41}'", "invalid escape at line 1 column 2"),
    BAD("lone_high", "'\\ud800'", "lone surrogate in escape at line 1 column 2"),
    BAD("lone_low", "'x\\udc00'", "lone surrogate in escape at line 1 column 3"),
    BAD("high_then_letter", "'\\ud800\\u0041'", "lone surrogate in escape at line 1 column 2"),
    BAD("two_highs", "'\\ud800\\ud800'", "lone surrogate in escape at line 1 column 2"),
    BAD("high_then_text", "'\\ud800x'", "lone surrogate in escape at line 1 column 2"),
    BAD("lone_surrogate_key", "{\\ud800:1}", "lone surrogate in escape at line 1 column 2"),
    BAD("raw_line_feed", "'a\nb'", "unescaped line break in string at line 1 column 3"),
    BAD("raw_carriage_return", "\"a\rb\"", "unescaped line break in string at line 1 column 3"),
    BAD("raw_crlf", "['é\r\nb']", "unescaped line break in string at line 1 column 4"),
    BAD("hex_escape_in_key", "{\\x41:1}", "invalid identifier at line 1 column 2"),
    BAD("escaped_symbol_in_key", "{a\\u002d:1}", "invalid identifier at line 1 column 3"),
    BAD("escaped_digit_first", "{\\u0031:1}", "invalid identifier at line 1 column 2"),
    BAD("escaped_space_in_key", "{a\\u0020:1}", "invalid identifier at line 1 column 3")),
    CaseName());

INSTANTIATE_TEST_SUITE_P(invalid_utf8, json5_parsing_malformed, ::testing::Values(
    BAD("in_string", "'\xff'", "invalid utf-8 at line 1 column 2"),
    BAD("truncated_sequence", "\xC3", "invalid utf-8 at line 1 column 1"),
    BAD("encoded_surrogate", "'\xED\xA0\x80'", "invalid utf-8 at line 1 column 2"),
    BAD("overlong", "['é', '\xC0\xAF']", "invalid utf-8 at line 1 column 8"),
    BAD("beyond_unicode", "/* \xF4\x90\x80\x80 */ 1", "invalid utf-8 at line 1 column 4"),
    BAD("in_line_comment", "// \xff\n1", "invalid utf-8 at line 1 column 4"),
    BAD("in_key", "{a\xff:1}", "invalid utf-8 at line 1 column 3"),
    BAD("after_value", "1 \x80", "invalid utf-8 at line 1 column 3"),
    BAD("escaped", "'\\\xff'", "invalid utf-8 at line 1 column 3"),
    BAD("as_value", "[\xfe]", "invalid utf-8 at line 1 column 2")),
    CaseName());

INSTANTIATE_TEST_SUITE_P(numbers, json5_parsing_malformed, ::testing::Values(
    BAD("leading_zero", "01", "leading zero in number at line 1 column 1"),
    BAD("negative_leading_zero", "-01", "leading zero in number at line 1 column 2"),
    BAD("double_zero", "[00]", "leading zero in number at line 1 column 2"),
    BAD("leading_zero_fraction", "0123.5", "leading zero in number at line 1 column 1"),
    BAD("huge_exponent", "1e309", "number out of range at line 1 column 1"),
    BAD("huge_negative", "[-1e309]", "number out of range at line 1 column 2"),
    BAD("huge_integer", "[+1" + std::string(400, '0') + "]", "number out of range at line 1 column 2"),
    BAD("huge_hex", "-0x" + std::string(300, 'f'), "number out of range at line 1 column 1")),
    CaseName());

INSTANTIATE_TEST_SUITE_P(depth, json5_parsing_malformed, ::testing::Values(
    BAD("arrays_128", nested(128, "[", "1", "]"), "recursion limit exceeded at line 1 column 128"),
    BAD("objects_128", nested(128, "{a:", "1", "}"), "recursion limit exceeded at line 1 column 382"),
    BAD("objects_127_holding_array", nested(127, "{'':", "[]", "}"), "recursion limit exceeded at line 1 column 509"),
    BAD("arrays_100000", nested(100000, "[", "", "]"), "recursion limit exceeded at line 1 column 128"),
    BAD("objects_100000", nested(100000, "{a:", "", "}"), "recursion limit exceeded at line 1 column 382")),
    CaseName());
#undef BAD

TEST(json5_parsing_depth, loads_127_levels) {
    const Value arrays = parsed(nested(127, "[", "1", "]"));
    const Value* node = &arrays;
    for (int i = 0; i < 127 && node->is_array() && node->as_array().size() == 1; ++i)
        node = &node->as_array()[0];
    EXPECT_EQ(*node, Value::uinteger(1));
    const Value objects = parsed(nested(126, "{k:", "{}", "}"));
    node = &objects;
    for (int i = 0; i < 126 && node != nullptr; ++i) node = node->find("k");
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(*node, Value::object());
}

// ---- writer: exact bytes ----

TEST(json5_writing_layout, example_document_exactly) {
    Value doc = parsed("{b: [1, 2.5], a: {}}");
    EXPECT_EQ(json5(doc), "{\n  a: {},\n  b: [\n    1,\n    2.5,\n  ],\n}");
    EXPECT_EQ(json5(parsed("[[], {}, [null, {k: false}]]")),
              "[\n  [],\n  {},\n  [\n    null,\n    {\n      k: false,\n    },\n  ],\n]");
    EXPECT_EQ(json5(Value::null()), "null");
    EXPECT_EQ(json5(Value::boolean(false)), "false");
    EXPECT_EQ(json5(Value::array()), "[]");
    EXPECT_EQ(json5(Value::object()), "{}");
    EXPECT_EQ(json5(Value::integer(-9223372036854775807 - 1)), "-9223372036854775808");
    EXPECT_EQ(json5(Value::uinteger(18446744073709551615u)), "18446744073709551615");
}

struct Written : TextCase<Written> {
    std::string expected;
};

class json5_writing_strings : public ::testing::TestWithParam<Written> {};

TEST_P(json5_writing_strings, quote_and_escape_exactly) {
    const Written& c = GetParam();
    EXPECT_EQ(json5(Value::string(c.text)), c.expected);
    EXPECT_EQ(parsed(c.expected), Value::string(c.text));
}

INSTANTIATE_TEST_SUITE_P(all, json5_writing_strings, ::testing::Values(
    Written{"plain", "\"plain\""}, Written{"", "\"\""},
    Written{"it's", "\"it's\""},
    Written{"say \"hi\"", "'say \"hi\"'"},
    Written{"a'b\"c", "\"a'b\\\"c\""},
    Written{"\"\n'", "\"\\\"\\n'\""},
    Written{"\"\\\r", "'\"\\\\\\r'"},
    Written{"\\ \n \r", "\"\\\\ \\n \\r\""},
    Written{"\xE2\x80\xA8|\xE2\x80\xA9|\xE2\x80\xAA", "\"\\u2028|\\u2029|\xE2\x80\xAA\""},
    Written{"\t\x01\x7F\0é😀/"s, "\"\t\x01\x7F\0é😀/\""s}));

class json5_writing_keys : public ::testing::TestWithParam<Written> {};

TEST_P(json5_writing_keys, bare_only_for_identifier_names) {
    const Written& c = GetParam();
    Value doc = Value::object();
    doc.set(c.text, Value::uinteger(1));
    EXPECT_EQ(json5(doc), "{\n  " + c.expected + ": 1,\n}");
    EXPECT_EQ(parsed(json5(doc)), doc);
}

INSTANTIATE_TEST_SUITE_P(bare, json5_writing_keys, ::testing::Values(
    Written{"a", "a"}, Written{"_x1", "_x1"}, Written{"$", "$"}, Written{"null", "null"},
    Written{"café", "café"}, Written{"名前", "名前"}, Written{"Ⅻ", "Ⅻ"}, Written{"ǅʰ", "ǅʰ"},
    Written{"e\xCC\x81", "e\xCC\x81"}, Written{"a٣", "a٣"}, Written{"a‿b", "a‿b"},
    Written{"a\xE2\x80\x8C\xE2\x80\x8D", "a\xE2\x80\x8C\xE2\x80\x8D"}, Written{"\xF0\x90\x90\x80", "\xF0\x90\x90\x80"}));

INSTANTIATE_TEST_SUITE_P(quoted, json5_writing_keys, ::testing::Values(
    Written{"", "\"\""}, Written{"1a", "\"1a\""}, Written{"a b", "\"a b\""}, Written{"a-b", "\"a-b\""},
    Written{"٣a", "\"٣a\""}, Written{"\xCC\x81" "e", "\"\xCC\x81" "e\""}, Written{"😀", "\"😀\""},
    Written{"a\xE2\x80\xA8", "\"a\\u2028\""}, Written{"it's", "\"it's\""}, Written{"a\"b", "'a\"b'"},
    Written{"\xE2\x80\x8C" "a", "\"\xE2\x80\x8C" "a\""}, Written{"a/b", "\"a/b\""}));

TEST(json5_writing_keys, invalid_utf8_is_quoted_unchanged) {
    Value doc = Value::object();
    doc.set("a\xff", Value::null());
    EXPECT_EQ(json5(doc), "{\n  \"a\xff\": null,\n}");
}

struct FloatText {
    double value;
    std::string expected;
};

void PrintTo(const FloatText& f, std::ostream* os) { *os << f.expected; }

class json5_writing_floats : public ::testing::TestWithParam<FloatText> {};

TEST_P(json5_writing_floats, plain_decimal_without_exponent) {
    EXPECT_EQ(json5(Value::floating(GetParam().value)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(all, json5_writing_floats, ::testing::Values(
    FloatText{2.0, "2"}, FloatText{1e20, "100000000000000000000"}, FloatText{1.5e-7, "0.00000015"},
    FloatText{-0.0, "-0"}, FloatText{0.0, "0"}, FloatText{2.5, "2.5"}, FloatText{-1234.5678, "-1234.5678"},
    FloatText{0.1, "0.1"}, FloatText{1.2345678901234568e20, "123456789012345680000"},
    FloatText{-3.0, "-3"}, FloatText{123.0e-2, "1.23"},
    FloatText{5e-324, "0." + std::string(323, '0') + "5"},
    FloatText{std::numeric_limits<double>::max(), "17976931348623157" + std::string(292, '0')}));

// ---- round trips ----

// Whether `back`, loaded from the text written for `original`, is what loading promises: a
// float with an integral value that fits an integer comes back as that integer (-0.0,
// written "-0", as the integer 0); the integer is the one the shortest digits spell, so past
// 2^53 it can differ from the float's exact value but converts back to the same double.
// Everything else comes back exactly, floats bit for bit.
bool matches_after_reload(const Value& original, const Value& back) {
    if (original.kind() == Kind::Float) {
        const double d = original.as_float();
        if (d != std::floor(d) || d < -9223372036854775808.0 || d >= 18446744073709551616.0)
            return back == original;
        if (d < 0) return back.kind() == Kind::Int && static_cast<double>(back.as_int()) == d;
        return back.kind() == Kind::UInt && static_cast<double>(back.as_uint()) == d;
    }
    if (original.kind() != back.kind()) return false;
    if (original.is_array()) {
        const Array& a = original.as_array();
        const Array& b = back.as_array();
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (!matches_after_reload(a[i], b[i])) return false;
        return true;
    }
    if (original.is_object()) {
        const Object& a = original.as_object();
        const Object& b = back.as_object();
        if (a.size() != b.size()) return false;
        for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j)
            if (i->name() != j->name() || !matches_after_reload(i->value, j->value)) return false;
        return true;
    }
    return back == original;
}

// Writes, reads back, and checks the tree; the re-read tree then writes and reads unchanged.
void expect_round_trip(const Value& v) {
    const std::string text = json5(v);
    Result<Value> back = parse_json5(text);
    ASSERT_TRUE(back.ok()) << back.error().message << "\n" << text;
    EXPECT_TRUE(matches_after_reload(v, back.value())) << text;
    const std::string again = json5(back.value());
    EXPECT_EQ(parsed(again), back.value()) << again;
}

TEST(json5_writing_round_trip, integral_floats_come_back_as_integers) {
    EXPECT_EQ(parsed(json5(Value::floating(3.0))), Value::uinteger(3));
    EXPECT_EQ(parsed(json5(Value::floating(-0.0))), Value::uinteger(0));
    EXPECT_EQ(parsed(json5(Value::floating(-5.0))), Value::integer(-5));
    EXPECT_EQ(parsed(json5(Value::floating(1e20))), Value::floating(1e20));
    EXPECT_EQ(parsed(json5(Value::floating(-1e19))), Value::floating(-1e19));
    // Below 2^64 the integer written is the float's exact value, not padded shortest digits.
    EXPECT_EQ(json5(Value::floating(4611686018427388928.0)), "4611686018427388928");
    EXPECT_EQ(parsed(json5(Value::floating(4611686018427388928.0))), Value::uinteger(4611686018427388928u));
    EXPECT_EQ(json5(Value::floating(18446744073709549568.0)), "18446744073709549568");
}

TEST(json5_writing_round_trip, random_doubles_read_back_bit_for_bit) {
    std::mt19937_64 random(7001);
    for (int i = 0; i < 20000; ++i) {
        double d;
        const std::uint64_t bits = random();
        std::memcpy(&d, &bits, sizeof d);
        if (!std::isfinite(d)) continue;
        expect_round_trip(Value::floating(d));
    }
}

// Random trees whose strings and keys mix identifier characters, quotes, backslashes, line
// breaks, separators and other Unicode.
class RandomTree {
public:
    explicit RandomTree(unsigned seed) : random_(seed) {}

    Value make(int depth) {
        const int pick = static_cast<int>(random_() % (depth > 0 ? 10 : 7));
        switch (pick) {
            case 0: return Value::null();
            case 1: return Value::boolean(random_() % 2 == 0);
            case 2: return Value::uinteger(random_() >> (random_() % 64));
            case 3: return Value::integer(-static_cast<std::int64_t>(random_() >> (1 + random_() % 63)));
            case 4: return Value::floating(static_cast<double>(static_cast<std::int64_t>(random_())) /
                                           static_cast<double>(1ull << (random_() % 63)));
            case 5: case 6: return Value::string(text());
            case 7: {
                Array items;
                for (int n = static_cast<int>(random_() % 4); n > 0; --n) items.push_back(make(depth - 1));
                return Value::array(std::move(items));
            }
            default: {
                Value o = Value::object();
                for (int n = static_cast<int>(random_() % 4); n > 0; --n) o.set(text(), make(depth - 1));
                return o;
            }
        }
    }

private:
    std::string text() {
        static const char* const kPieces[] = {"a", "Z", "_", "$", "0", "9", " ", "'", "\"", "\\", "\n",
                                              "\r", "\t", "\x01", "/", "*", "é", "名", "\xCC\x81",
                                              "\xE2\x80\xA8", "\xE2\x80\xA9", "\xE2\x80\x8C", "😀", "\0"};
        std::string s;
        for (int n = static_cast<int>(random_() % 6); n > 0; --n) {
            const std::size_t i = random_() % std::size(kPieces);
            s.append(kPieces[i], i + 1 == std::size(kPieces) ? 1 : std::strlen(kPieces[i]));
        }
        return s;
    }

    std::mt19937_64 random_;
};

TEST(json5_writing_round_trip, random_trees) {
    RandomTree trees(42);
    for (int i = 0; i < 2000; ++i) expect_round_trip(trees.make(5));
}

// ---- seed files ----

TEST(json5_parsing_files, seed_files_load_and_round_trip) {
    const std::filesystem::path dir = ZEL_TEST_DATA_DIR "/json5";
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        Result<Value> r = load_file(DriverKind::Json5, entry.path().string());
        ASSERT_TRUE(r.ok()) << entry.path() << ": " << r.error().message;
        expect_round_trip(r.value());
        ++count;
    }
    EXPECT_GE(count, 3);
    Result<Value> settings = load_file(DriverKind::Json5, dir.string() + "/settings.json5");
    ASSERT_TRUE(settings.ok());
    Result<Value> expected = parse_json(R"({"name": "café", "recent": ["a.txt", "b.txt"],
        "window": {"width": 800, "height": 600, "scale": 1.25, "mask": 255, "title": "it's \"here\"",
                   "offset": -0.5, "limit": null, "empty": ""}})");
    ASSERT_TRUE(expected.ok());
    EXPECT_EQ(settings.value(), expected.value());
}

}  // namespace
}  // namespace zel
