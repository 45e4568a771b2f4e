// Tests of the JSON reader: accepted documents and number rules, every kind of malformed
// input with its exact message, nesting limits, and streaming a file block by block (values
// straddling a block boundary, tokens longer than the buffer, read errors).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <thread>

#include "formats/json/reader.hpp"
#include "formats/json/writer.hpp"
#include "test_support.hpp"
#include "value/error.hpp"

namespace zel {
namespace {

using namespace test;

// Runs read_json_fd over `text` stored in a temporary file.
Result<Value> read_through_file(const std::string& text,
                                std::size_t block_size = kJsonReadBufferSize) {
    return read_through_temp_file(text, [&](int fd) { return read_json_fd(fd, block_size); });
}

// ---- malformed input: exact message, the same from memory and from a file ----

struct Malformed : NamedCase<Malformed> {
    std::string text;
    std::string message;  // after "JSON parse error: "
};

class parsing_malformed : public ::testing::TestWithParam<Malformed> {};

TEST_P(parsing_malformed, fails_with_message_and_position) {
    const Malformed& c = GetParam();
    const std::string expected = "JSON parse error: " + c.message;
    EXPECT_TRUE(fails_with(parse_json(c.text), ErrorKind::Parse, expected));
    EXPECT_EQ(error_of(read_through_file(c.text)), expected);
    // One-byte blocks: every token ends up cut, and the end of a block must never pass for
    // the end of the input.
    EXPECT_EQ(error_of(read_through_file(c.text, 1)), expected);
}

using namespace std::string_literals;
const std::string kControl = "control character (\\u0000-\\u001F) found while parsing a string";

INSTANTIATE_TEST_SUITE_P(truncated, parsing_malformed, ::testing::Values(
    Malformed{"empty", "", "EOF while parsing a value at line 1 column 0"},
    Malformed{"blank", " \n ", "EOF while parsing a value at line 2 column 1"},
    Malformed{"open_array", "[", "EOF while parsing a value at line 1 column 1"},
    Malformed{"open_object", "{", "EOF while parsing an object at line 1 column 1"},
    Malformed{"key_only", "{\"a\"", "EOF while parsing an object at line 1 column 4"},
    Malformed{"key_colon", "{\"a\":", "EOF while parsing a value at line 1 column 5"},
    Malformed{"element", "[1", "EOF while parsing a list at line 1 column 2"},
    Malformed{"string", "\"abc", "EOF while parsing a string at line 1 column 4"},
    Malformed{"escape", "\"a\\", "EOF while parsing a string at line 1 column 3"},
    Malformed{"hex_escape", "\"\\u12", "EOF while parsing a string at line 1 column 5"},
    Malformed{"literal", "tru", "EOF while parsing a value at line 1 column 3"},
    Malformed{"fraction", "1.", "EOF while parsing a value at line 1 column 2"},
    Malformed{"exponent", "1e", "EOF while parsing a value at line 1 column 2"}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(syntax, parsing_malformed, ::testing::Values(
    Malformed{"trailing_word", "{} x", "trailing characters at line 1 column 4"},
    Malformed{"second_object", "{}\n{}", "trailing characters at line 2 column 1"},
    Malformed{"leading_zero", "01", "trailing characters at line 1 column 2"},
    Malformed{"missing_comma", "[1 2]", "expected `,` or `]` at line 1 column 4"},
    Malformed{"wrong_close", "[1}", "expected `,` or `]` at line 1 column 3"},
    Malformed{"missing_colon", "{\"a\" 1}", "expected `:` at line 1 column 6"},
    Malformed{"missing_member_comma", "{\"a\":1 \"b\":2}", "expected `,` or `}` at line 1 column 8"},
    Malformed{"number_key", "{1:2}", "key must be a string at line 1 column 2"},
    Malformed{"object_trailing_comma", "{\"a\":1,}", "key must be a string at line 1 column 8"},
    Malformed{"array_trailing_comma", "[1,]", "expected value at line 1 column 4"},
    Malformed{"bad_literal", "trux", "expected value at line 1 column 4"},
    Malformed{"plus_sign", "+1", "expected value at line 1 column 1"},
    Malformed{"nan", "NaN", "expected value at line 1 column 1"},
    Malformed{"bad_fraction", "1.x", "invalid number at line 1 column 3"},
    Malformed{"bad_exponent", "1e+x", "invalid number at line 1 column 4"},
    Malformed{"third_line", "[1,\n2,\nx]", "expected value at line 3 column 1"}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(strings, parsing_malformed, ::testing::Values(
    Malformed{"unknown_escape", "\"a\\x\"", "invalid escape at line 1 column 3"},
    Malformed{"short_hex", "\"\\u12\"", "invalid escape at line 1 column 2"},
    Malformed{"bad_hex", "\"\\u12x4\"", "invalid escape at line 1 column 2"},
    Malformed{"lone_high", "\"\\uD800\"", "lone leading surrogate in hex escape at line 1 column 2"},
    Malformed{"high_then_letter", "\"\\uD800\\u0041\"", "lone leading surrogate in hex escape at line 1 column 2"},
    Malformed{"lone_low", "\"\\uDC00\"", "invalid unicode code point at line 1 column 8"},
    Malformed{"lone_low_last", "[\"a\\uDFFFb\"]", "invalid unicode code point at line 1 column 11"},
    Malformed{"lone_low_in_key", "{\"\\uDC00\":1}", "invalid unicode code point at line 1 column 9"},
    Malformed{"raw_tab", "\"a\tb\"", kControl + " at line 1 column 3"},
    Malformed{"raw_newline", "\"a\nb\"", kControl + " at line 1 column 3"},
    Malformed{"raw_unit_separator", "\"\x1f\"", kControl + " at line 1 column 2"},
    Malformed{"invalid_byte", "\"\xff\"", "invalid UTF-8 at line 1 column 2"},
    Malformed{"lone_continuation", "\"\x80\"", "invalid UTF-8 at line 1 column 2"},
    Malformed{"overlong_two", "\"\xc0\xaf\"", "invalid UTF-8 at line 1 column 2"},
    Malformed{"overlong_three", "\"\xe0\x80\xaf\"", "invalid UTF-8 at line 1 column 2"},
    Malformed{"encoded_surrogate", "\"\xed\xa0\x80\"", "invalid UTF-8 at line 1 column 2"},
    Malformed{"beyond_unicode", "[\"\xf4\x90\x80\x80\"]", "invalid UTF-8 at line 1 column 3"},
    Malformed{"truncated_sequence", "\"\xe4\"", "invalid UTF-8 at line 1 column 2"},
    Malformed{"invalid_in_key", "{\"\xfe\":1}", "invalid UTF-8 at line 1 column 3"}),
    CaseName());

// A NUL byte is not the end of the document.
INSTANTIATE_TEST_SUITE_P(nul_bytes, parsing_malformed, ::testing::Values(
    Malformed{"after_number", "1\0xyz"s, "trailing characters at line 1 column 2"},
    Malformed{"after_object", "{}\0"s, "trailing characters at line 1 column 3"},
    Malformed{"alone", "\0"s, "expected value at line 1 column 1"},
    Malformed{"in_string", "\"a\0\""s, kControl + " at line 1 column 3"},
    Malformed{"in_array", "[\0]"s, "expected value at line 1 column 2"},
    Malformed{"after_comma", "[1,\0]"s, "expected value at line 1 column 4"},
    Malformed{"after_backslash", "\"\\\0\""s, "invalid escape at line 1 column 2"}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(numbers, parsing_malformed, ::testing::Values(
    Malformed{"huge_exponent", "1e400", "number out of range at line 1 column 1"},
    Malformed{"huge_negative", "[-1e400]", "number out of range at line 1 column 2"},
    Malformed{"just_past_max", "1.7976931348623159e308", "number out of range at line 1 column 1"},
    Malformed{"ten_e308", "10e308", "number out of range at line 1 column 1"},
    Malformed{"long_mantissa", "123456789012345678901234567890e290", "number out of range at line 1 column 1"},
    Malformed{"huge_integer", "1" + std::string(400, '0'), "number out of range at line 1 column 1"}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(depth, parsing_malformed, ::testing::Values(
    Malformed{"arrays_128", nested(128, "[", "1", "]"), "recursion limit exceeded at line 1 column 128"},
    Malformed{"empty_arrays_128", nested(128, "[", "", "]"), "recursion limit exceeded at line 1 column 128"},
    Malformed{"objects_128", nested(128, "{\"a\":", "1", "}"), "recursion limit exceeded at line 1 column 636"},
    Malformed{"objects_127_holding_array", nested(127, "{\"a\":", "[]", "}"), "recursion limit exceeded at line 1 column 636"},
    Malformed{"arrays_100000", nested(100000, "[", "", "]"), "recursion limit exceeded at line 1 column 128"},
    Malformed{"objects_100000", nested(100000, "{\"\":", "null", "}"), "recursion limit exceeded at line 1 column 509"}),
    CaseName());

// At most 127 arrays and objects may be open at once, whatever they hold.
TEST(parsing_depth, loads_127_levels_of_arrays_and_objects) {
    const Value arrays = parsed_json(nested(127, "[", "1", "]"));
    const Value objects = parsed_json(nested(126, "{\"k\":", "[]", "}"));
    const Value* node = &arrays;
    for (int i = 0; i < 127; ++i) {
        ASSERT_TRUE(node->is_array());
        ASSERT_EQ(node->as_array().size(), 1u);
        node = &node->as_array()[0];
    }
    EXPECT_EQ(*node, Value::uinteger(1));
    node = &objects;
    for (int i = 0; i < 126 && node != nullptr; ++i) node = node->find("k");
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(*node, Value::array());
}

// ---- accepted documents ----

struct Number : TextCase<Number> {
    Kind kind;
    std::uint64_t bits;  // the integer, or the double's bit pattern
};

std::uint64_t bits_of(double d) {
    std::uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    return u;
}

// `head`, then `count` copies of `digit`, then `tail`.
std::string repeated(const char* head, char digit, std::size_t count, const char* tail) {
    std::string text = head;
    text.append(count, digit);
    text.append(tail);
    return text;
}

class parsing_numbers : public ::testing::TestWithParam<Number> {};

TEST_P(parsing_numbers, follow_the_number_rule) {
    const Number& n = GetParam();
    const Value v = parsed_json(n.text);
    ASSERT_EQ(v.kind(), n.kind) << n.text;
    if (n.kind == Kind::Float)
        EXPECT_EQ(bits_of(v.as_float()), n.bits) << n.text << " gave " << v.as_float();
    else
        EXPECT_EQ(v.as_uint(), n.bits) << n.text;
}

INSTANTIATE_TEST_SUITE_P(all, parsing_numbers, ::testing::Values(
    Number{"0", Kind::UInt, 0},
    Number{"-0", Kind::UInt, 0},
    Number{"-1", Kind::Int, static_cast<std::uint64_t>(-1)},
    Number{"18446744073709551615", Kind::UInt, 18446744073709551615u},
    Number{"-9223372036854775808", Kind::Int, 1ull << 63},
    Number{"18446744073709551616", Kind::Float, bits_of(18446744073709551616.0)},
    Number{"-9223372036854775809", Kind::Float, bits_of(-9223372036854775808.0)},
    Number{"123456789012345678901234567890", Kind::Float, bits_of(1.2345678901234568e29)},
    Number{"-0.0", Kind::Float, bits_of(-0.0)},
    Number{"1E2", Kind::Float, bits_of(100.0)},
    Number{"0.1", Kind::Float, bits_of(0.1)},
    Number{"0.30000000000000004441", Kind::Float, bits_of(0.30000000000000004)},
    Number{"1.7976931348623157e308", Kind::Float, bits_of(1.7976931348623157e308)},
    Number{"2.5e-310", Kind::Float, bits_of(2.5e-310)},
    Number{"1e-400", Kind::Float, bits_of(0.0)},
    Number{"-1e-400", Kind::Float, bits_of(-0.0)},
    // Finite values whatever their digits or exponents alone would suggest.
    Number{"0e309", Kind::Float, bits_of(0.0)},
    Number{"-0e309", Kind::Float, bits_of(-0.0)},
    Number{"0.0e310", Kind::Float, bits_of(0.0)},
    Number{repeated("", '9', 309, "e-1"), Kind::Float, bits_of(1e308)},
    Number{repeated("1", '0', 400, "e-400"), Kind::Float, bits_of(1.0)}));

TEST(parsing_values, decodes_strings_escapes_and_unicode) {
    EXPECT_EQ(parsed_json(R"("\"\\\/\b\f\n\r\t")"), Value::string("\"\\/\b\f\n\r\t"));
    EXPECT_EQ(parsed_json(R"("\u00e9\u00E9")"), Value::string("\xc3\xa9\xc3\xa9"));
    EXPECT_EQ(parsed_json(R"("\ud83d\ude00")"), Value::string("\xf0\x9f\x98\x80"));
    EXPECT_EQ(parsed_json("\"\xf0\x9f\x98\x80\x7f\""), Value::string("\xf0\x9f\x98\x80\x7f"));
    EXPECT_EQ(parsed_json(R"("a\u0000b")"), Value::string(std::string("a\0b", 3)));
}

TEST(parsing_values, scalar_roots_and_surrounding_white_space) {
    EXPECT_EQ(parsed_json("null"), Value::null());
    EXPECT_EQ(parsed_json(" \t\r\ntrue \n"), Value::boolean(true));
    EXPECT_EQ(parsed_json("\"s\""), Value::string("s"));
    EXPECT_EQ(parsed_json("[1, 2]").as_array().size(), 2u);
}

TEST(parsing_values, repeated_key_keeps_the_later_value_and_members_are_sorted) {
    const Value v = parsed_json(R"({"b": 1, "a": [true], "b": {"x": null}, "B": 0})");
    Object expected;
    expected.set("B", Value::uinteger(0));
    Array a;
    a.push_back(Value::boolean(true));
    expected.set("a", Value::array(std::move(a)));
    Object b;
    b.set("x", Value::null());
    expected.set("b", Value::object(std::move(b)));
    EXPECT_EQ(v, Value::object(std::move(expected)));
    std::string order;
    for (const Member& m : v.as_object()) order += m.name();
    EXPECT_EQ(order, "Bab");
}

// ---- streaming from a file ----

TEST(parsing_stream, values_straddling_the_buffer_boundary) {
    // Put each interesting token across byte 8192 by padding in front of it.
    const std::string tokens[] = {
        "\"" + std::string(40, 'x') + "\"",  // a plain string
        "\"a\xc3\xa9\xf0\x9f\x98\x80z\"",    // multi-byte characters
        "\"\\u00e9\\ud83d\\ude00\"",          // escapes and a surrogate pair
        "-12345.678e-3",                      // a number
        "18446744073709551615",
        "true",
    };
    for (const std::string& token : tokens) {
        for (std::size_t cut = 1; cut < token.size(); ++cut) {
            // "[" + padding string + "," + token + "]": token starts at 8192 - cut.
            const std::size_t pad = kJsonReadBufferSize - cut - 4;
            const std::string text = "[\"" + std::string(pad, 'p') + "\"," + token + "]";
            ASSERT_EQ(text.find(token), kJsonReadBufferSize - cut);
            Result<Value> r = read_through_file(text);
            ASSERT_TRUE(r.ok()) << error_of(r) << " cut " << cut << " in " << token;
            EXPECT_EQ(r.value(), parsed_json(text)) << "cut " << cut << " in " << token;
        }
    }
}

TEST(parsing_stream, file_many_times_the_buffer_matches_memory_parse) {
    constexpr std::size_t kBlock = 4096;
    // A string several blocks long, escapes included, makes the buffer grow.
    std::string text = "{\n  \"long\": \"";
    for (int i = 0; i < 3000; ++i) text += "abc\\u00e9\\n";
    text += "\",\n";
    for (int i = 0; i < 20000; ++i)
        text += "  \"key" + std::to_string(i) + "\": [" + std::to_string(i) + ", " +
                std::to_string(i * 0.25) + ", \"v\\u00e9\"],\n";
    text += "  \"last\": null\n}";
    ASSERT_GT(text.size(), 50 * kBlock);
    Result<Value> r = read_through_file(text, kBlock);
    ASSERT_TRUE(r.ok()) << error_of(r);
    EXPECT_EQ(r.value().as_object().size(), 20002u);
    EXPECT_EQ(r.value(), parsed_json(text));
    // Lines and columns keep counting across blocks.
    EXPECT_EQ(error_of(read_through_file(text + " x", kBlock)),
              "JSON parse error: trailing characters at line 20004 column 3");
}

// The size a file was opened with sizes the buffer and lets a short read end the input; a
// file that has since grown or shrunk must still be read whole, and an error at its end keep
// its place.
TEST(parsing_stream, a_size_from_opening_that_no_longer_holds_still_reads_the_whole_file) {
    std::string text = "{";
    for (int i = 0; i < 40; ++i)
        text += "\"k" + std::to_string(i) + "\": [" + std::to_string(i) + ", \"v\"],\n";
    text += "\"end\": null}";
    const Value expected = parsed_json(text);
    const std::uint64_t n = text.size();
    for (std::size_t block :
         {std::size_t{1}, std::size_t{7}, std::size_t{64}, kJsonReadBufferSize}) {
        for (std::uint64_t size : {std::uint64_t{0}, std::uint64_t{1}, n / 2, n - block, n - 1,
                                   n, n + 1, 2 * n, std::uint64_t{block} * (n / block),
                                   kSizeUnknown}) {
            Result<Value> r = read_through_temp_file(
                text, [&](int fd) { return read_json_fd(fd, block, size); });
            ASSERT_TRUE(r.ok()) << "block " << block << " size " << size << ": " << error_of(r);
            EXPECT_EQ(r.value(), expected) << "block " << block << " size " << size;
            EXPECT_EQ(error_of(read_through_temp_file(
                          text + " x", [&](int fd) { return read_json_fd(fd, block, size); })),
                      "JSON parse error: trailing characters at line 41 column 14")
                << "block " << block << " size " << size;
        }
    }
}

TEST(parsing_stream, pipe_delivering_one_byte_at_a_time) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const std::string text = R"({"a": [1, 2.5, "\u00e9"], "b": {"c": true}})";
    std::thread writer([&] {
        for (char c : text) (void)!::write(fds[1], &c, 1);
        ::close(fds[1]);
    });
    Result<Value> r = read_json_fd(fds[0]);
    writer.join();
    ::close(fds[0]);
    ASSERT_TRUE(r.ok()) << error_of(r);
    EXPECT_EQ(r.value(), parsed_json(text));
}

TEST(parsing_stream, read_error_is_a_parse_error_with_the_system_text) {
    const int fd = ::open("/tmp", O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    Result<Value> r = read_json_fd(fd);
    ::close(fd);
    EXPECT_TRUE(fails_with(r, ErrorKind::Parse, "JSON parse error: " + os_error_text(EISDIR)));
    EXPECT_NE(error_of(r).find("(os error 21)"), std::string::npos);
}

}  // namespace
}  // namespace zel
