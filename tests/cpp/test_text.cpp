// Tests of the text layer's contracts: the UTF-8 decoder's answers at every boundary, number
// texts both ways, the escape table, and the output buffer.
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "formats/format.hpp"
#include "formats/yaml/writer.hpp"
#include "text/escape.hpp"
#include "text/number_text.hpp"
#include "text/text_buffer.hpp"
#include "text/utf8.hpp"
#include "value/value.hpp"

namespace zel {
namespace {

// ---- the UTF-8 decoder ----------------------------------------------------------------------

struct Utf8Case {
    const char* name;
    std::string bytes;  // the whole text: the decoder may not look past its end
    Utf8 status;
    int length;
    char32_t cp;  // valid cases only
};

void PrintTo(const Utf8Case& c, std::ostream* os) { *os << c.name; }

class utf8_decoder : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(utf8_decoder, answers_status_length_and_code_point) {
    const Utf8Case& c = GetParam();
    // A copy of exactly the text's size, so that reading past its end is a fault of its own.
    std::vector<char> text(c.bytes.begin(), c.bytes.end());
    const Utf8Char u = decode_utf8(text.data(), text.data() + text.size());
    EXPECT_EQ(static_cast<int>(u.status), static_cast<int>(c.status));
    EXPECT_EQ(u.length, c.length);
    if (c.status == Utf8::Valid) {
        EXPECT_EQ(static_cast<std::uint32_t>(u.cp), c.cp);
    }
}

INSTANTIATE_TEST_SUITE_P(
    boundaries, utf8_decoder,
    ::testing::Values(
        Utf8Case{"ascii_nul", std::string(1, '\0'), Utf8::Valid, 1, 0},
        Utf8Case{"ascii_del", "\x7F", Utf8::Valid, 1, 0x7F},
        Utf8Case{"two_byte_lowest", "\xC2\x80", Utf8::Valid, 2, 0x80},
        Utf8Case{"two_byte_highest", "\xDF\xBF", Utf8::Valid, 2, 0x7FF},
        Utf8Case{"three_byte_lowest", "\xE0\xA0\x80", Utf8::Valid, 3, 0x800},
        Utf8Case{"below_surrogates", "\xED\x9F\xBF", Utf8::Valid, 3, 0xD7FF},
        Utf8Case{"above_surrogates", "\xEE\x80\x80", Utf8::Valid, 3, 0xE000},
        Utf8Case{"three_byte_highest", "\xEF\xBF\xBF", Utf8::Valid, 3, 0xFFFF},
        Utf8Case{"four_byte_lowest", "\xF0\x90\x80\x80", Utf8::Valid, 4, 0x10000},
        Utf8Case{"highest_scalar", "\xF4\x8F\xBF\xBF", Utf8::Valid, 4, 0x10FFFF},
        Utf8Case{"valid_then_more", "\xC3\xA9z", Utf8::Valid, 2, 0xE9},
        // Overlong forms: C0 and C1 can only start them; E0 and F0 with a low second byte.
        Utf8Case{"overlong_c0", "\xC0\x80", Utf8::BadLead, 1, 0},
        Utf8Case{"overlong_c1", "\xC1\xBF", Utf8::BadLead, 1, 0},
        Utf8Case{"overlong_three", "\xE0\x9F\xBF", Utf8::Overlong, 3, 0},
        Utf8Case{"overlong_four", "\xF0\x8F\xBF\xBF", Utf8::Overlong, 4, 0},
        Utf8Case{"surrogate_lowest", "\xED\xA0\x80", Utf8::Surrogate, 3, 0},
        Utf8Case{"surrogate_highest", "\xED\xBF\xBF", Utf8::Surrogate, 3, 0},
        Utf8Case{"past_10ffff", "\xF4\x90\x80\x80", Utf8::TooLarge, 4, 0},
        Utf8Case{"lead_f5", "\xF5\x80\x80\x80", Utf8::BadLead, 1, 0},
        Utf8Case{"lead_ff", "\xFF", Utf8::BadLead, 1, 0},
        Utf8Case{"stray_continuation_80", "\x80", Utf8::BadLead, 1, 0},
        Utf8Case{"stray_continuation_bf", "\xBF\x80", Utf8::BadLead, 1, 0},
        // Cut short by the end: partial only while more bytes could still make it valid.
        Utf8Case{"partial_two", "\xC3", Utf8::Partial, 2, 0},
        Utf8Case{"partial_three_of_one", "\xE2", Utf8::Partial, 3, 0},
        Utf8Case{"partial_three_of_two", "\xE2\x82", Utf8::Partial, 3, 0},
        Utf8Case{"partial_four_of_three", "\xF0\x9F\x98", Utf8::Partial, 4, 0},
        Utf8Case{"cut_overlong_is_not_partial", "\xE0\x80", Utf8::Overlong, 3, 0},
        Utf8Case{"cut_surrogate_is_not_partial", "\xED\xA0", Utf8::Surrogate, 3, 0},
        Utf8Case{"cut_too_large_is_not_partial", "\xF4\x90\x80", Utf8::TooLarge, 4, 0},
        Utf8Case{"cut_after_a_non_continuation", "\xE2\x41", Utf8::BadContinuation, 3, 0},
        // A byte that does not continue the sequence, wherever it is.
        Utf8Case{"second_not_continuation", "\xC3\x41", Utf8::BadContinuation, 2, 0},
        Utf8Case{"third_not_continuation", "\xE2\x82\xC0", Utf8::BadContinuation, 3, 0},
        Utf8Case{"fourth_not_continuation", "\xF0\x9F\x98\x20", Utf8::BadContinuation, 4, 0},
        // A broken sequence is reported as broken before its value is judged.
        Utf8Case{"broken_before_overlong", "\xE0\x80\x41", Utf8::BadContinuation, 3, 0},
        Utf8Case{"broken_before_surrogate", "\xED\xA0\x41", Utf8::BadContinuation, 3, 0}),
    [](const ::testing::TestParamInfo<Utf8Case>& info) { return std::string(info.param.name); });

// The decoder against a definition of its own: a sequence is valid when its bits re-encode
// to the same bytes (no overlong form) and name a scalar value; partial when some ending
// makes it valid. Over every sequence of up to four bytes drawn from the bytes that sit at
// the edges of UTF-8's ranges.
TEST(utf8_decoder_sequences, agree_with_reencoding_over_every_boundary_byte) {
    const unsigned char edges[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0,
                                   0xC1, 0xC2, 0xDF, 0xE0, 0xE1, 0xEC, 0xED, 0xEE, 0xEF, 0xF0,
                                   0xF1, 0xF3, 0xF4, 0xF5, 0xF8, 0xFF};
    const unsigned char continuations[] = {0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF};
    const auto lead_length = [](unsigned char c) {
        return c < 0x80 ? 1 : c < 0xC0 ? 0 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : c < 0xF8 ? 4 : 0;
    };
    // Valid by definition: the whole sequence re-encodes to itself.
    const auto valid = [&](const std::string& s) {
        const int n = lead_length(static_cast<unsigned char>(s[0]));
        if (n == 0 || static_cast<int>(s.size()) < n) return false;
        char32_t cp = n == 1 ? s[0] : static_cast<unsigned char>(s[0]) & (0x7F >> n);
        for (int i = 1; i < n; ++i) {
            if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return false;
            cp = cp << 6 | (static_cast<unsigned char>(s[i]) & 0x3F);
        }
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        std::string again;
        append_utf8(cp, again);
        return again == s.substr(0, static_cast<std::size_t>(n));
    };
    std::vector<std::string> texts;
    for (unsigned char a : edges) {
        texts.emplace_back(1, static_cast<char>(a));
        for (unsigned char b : edges) {
            texts.push_back(texts.back().substr(0, 1) + static_cast<char>(b));
            const std::string two = texts.back();
            for (unsigned char c : edges) {
                texts.push_back(two + static_cast<char>(c));
                const std::string three = texts.back();
                for (unsigned char d : edges) texts.push_back(three + static_cast<char>(d));
            }
        }
    }
    long valid_count = 0, partial_count = 0;
    for (const std::string& s : texts) {
        const Utf8Char u = decode_utf8(s.data(), s.data() + s.size());
        const bool is_valid = valid(s);
        ASSERT_EQ(u.status == Utf8::Valid, is_valid) << ::testing::PrintToString(s);
        if (is_valid) {
            ++valid_count;
            ASSERT_EQ(u.length, lead_length(static_cast<unsigned char>(s[0])));
            std::string again;
            append_utf8(u.cp, again);
            ASSERT_EQ(again, s.substr(0, u.length));
            continue;
        }
        // Partial exactly when appending continuation bytes can make it valid.
        bool completes = false;
        const int n = lead_length(static_cast<unsigned char>(s[0]));
        if (n > static_cast<int>(s.size())) {
            std::vector<std::string> grown{s};
            while (static_cast<int>(grown.front().size()) < n) {
                std::vector<std::string> next;
                for (const std::string& g : grown)
                    for (unsigned char c : continuations) next.push_back(g + static_cast<char>(c));
                grown.swap(next);
            }
            for (const std::string& g : grown) completes = completes || valid(g);
        }
        ASSERT_EQ(u.status == Utf8::Partial, completes) << ::testing::PrintToString(s);
        partial_count += completes;
        ASSERT_EQ(utf8_length(s.data(), s.data() + s.size()), 0);
    }
    EXPECT_GT(valid_count, 1000);
    EXPECT_GT(partial_count, 100);
}

// The readers name the decoder's faults in their own words.
struct ReaderFault {
    Format format;
    std::string text;
    const char* message;
};

class utf8_reader_messages : public ::testing::TestWithParam<ReaderFault> {};

TEST_P(utf8_reader_messages, name_the_fault) {
    const ReaderFault& c = GetParam();
    const Result<Value> r = format_info(c.format).read(c.text);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().message, c.message);
}

INSTANTIATE_TEST_SUITE_P(
    faults, utf8_reader_messages,
    ::testing::Values(
        ReaderFault{Format::Yaml, "a: \x80",
                    "YAML parse error: invalid leading UTF-8 octet at line 1 column 4"},
        ReaderFault{Format::Yaml, "a: \xE2\x41",
                    "YAML parse error: incomplete UTF-8 octet sequence at line 1 column 4"},
        ReaderFault{Format::Yaml, "a: \xE0\x80\x41",
                    "YAML parse error: invalid trailing UTF-8 octet at line 1 column 4"},
        ReaderFault{Format::Yaml, "a: \xE0\x80\x80",
                    "YAML parse error: invalid length of a UTF-8 octet sequence at line 1 column 4"},
        ReaderFault{Format::Yaml, "a: \xED\xA0\x80",
                    "YAML parse error: invalid Unicode character at line 1 column 4"},
        ReaderFault{Format::Yaml, "a: \xF4\x90\x80\x80",
                    "YAML parse error: invalid Unicode character at line 1 column 4"},
        ReaderFault{Format::Yaml, "a: \xC2\x80",
                    "YAML parse error: control characters are not allowed at line 1 column 4"},
        ReaderFault{Format::Toml, "a = \"\xE2\x82",
                    "TOML parse error: incomplete utf-8 at line 1 column 5"},
        ReaderFault{Format::Toml, "a = \"\xE0\x80",
                    "TOML parse error: incomplete utf-8 at line 1 column 5"},
        ReaderFault{Format::Toml, "a = \"\xE2\x41",
                    "TOML parse error: invalid utf-8 at line 1 column 5"},
        ReaderFault{Format::Toml, "a = \"\xE0\x80\x80\"",
                    "TOML parse error: invalid utf-8 at line 1 column 5"},
        ReaderFault{Format::Json, "\"\xE2\x82", "JSON parse error: invalid UTF-8 at line 1 column 2"},
        ReaderFault{Format::Json5, "'\xED\xA0\x80'",
                    "JSON5 parse error: invalid utf-8 at line 1 column 2"}));

// ---- numbers ---------------------------------------------------------------------------------

struct FloatCase {
    double value;
    std::string json;
    std::string decimal;
    std::string toml;
};

void PrintTo(const FloatCase& c, std::ostream* os) { *os << c.json; }

class float_texts : public ::testing::TestWithParam<FloatCase> {};

TEST_P(float_texts, lay_out_the_shortest_digits_by_each_rule) {
    const FloatCase& c = GetParam();
    char json[kJsonFloatRoom], decimal[kDecimalFloatRoom], toml[kTomlFloatRoom];
    EXPECT_EQ(std::string(json, put_json_float(c.value, json)), c.json);
    EXPECT_EQ(std::string(decimal, put_decimal_float(c.value, decimal)), c.decimal);
    EXPECT_EQ(std::string(toml, put_toml_float(c.value, toml)), c.toml);
}

INSTANTIATE_TEST_SUITE_P(
    values, float_texts,
    ::testing::Values(
        FloatCase{0.0, "0.0", "0", "0.0"}, FloatCase{-0.0, "-0.0", "-0", "-0.0"},
        FloatCase{0.1, "0.1", "0.1", "0.1"}, FloatCase{-2.5, "-2.5", "-2.5", "-2.5"},
        FloatCase{100.0, "100.0", "100", "100.0"},
        FloatCase{1e15, "1000000000000000.0", "1000000000000000", "1e+15"},
        FloatCase{1234567890123456.0, "1234567890123456.0", "1234567890123456",
                  "1234567890123456.0"},
        FloatCase{1e16, "1e+16", "10000000000000000", "1e+16"},
        FloatCase{12345678901234567e1, "1.2345678901234566e+17", "123456789012345664",
                  "123456789012345664.0"},
        // Integral below 2^64: JSON5's text is the exact integer, not the padded shortest
        // digits; TOML's fixed notation is exact too.
        FloatCase{4611686018427388928.0, "4.611686018427389e+18", "4611686018427388928",
                  "4611686018427388928.0"},
        FloatCase{18446744073709551616.0, "1.8446744073709552e+19", "18446744073709552000",
                  "18446744073709551616.0"},
        FloatCase{1e20, "1e+20", "100000000000000000000", "1e+20"},
        FloatCase{0.0001, "0.0001", "0.0001", "1e-04"},
        FloatCase{0.00001, "0.00001", "0.00001", "1e-05"},
        FloatCase{0.000001, "1e-6", "0.000001", "1e-06"},
        FloatCase{1.5e-7, "1.5e-7", "0.00000015", "1.5e-07"},
        FloatCase{5e-324, "5e-324", "0." + std::string(323, '0') + "5", "5e-324"},
        FloatCase{1.7976931348623157e308, "1.7976931348623157e+308",
                  "17976931348623157" + std::string(292, '0'), "1.7976931348623157e+308"}));

// Every layout reads back to the same double, and integral ones keep a mark of being floats
// where the format needs one.
TEST(float_texts_round_trip, every_layout_reads_back_to_the_same_double) {
    std::mt19937_64 random(7);
    for (int i = 0; i < 100000; ++i) {
        std::uint64_t bits = random();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        if (!std::isfinite(d)) continue;
        if (i % 2) d = std::ldexp(static_cast<double>(bits >> 40), static_cast<int>(bits % 80) - 40);
        char json[kJsonFloatRoom + 1], decimal[kDecimalFloatRoom + 1], toml[kTomlFloatRoom + 1];
        *put_json_float(d, json) = '\0';
        *put_decimal_float(d, decimal) = '\0';
        *put_toml_float(d, toml) = '\0';
        for (const char* text : {json, decimal, toml}) {
            const double back = std::strtod(text, nullptr);
            ASSERT_EQ(std::memcmp(&back, &d, sizeof d), 0) << text;
        }
        EXPECT_NE(std::strpbrk(json, ".e"), nullptr) << json;
        EXPECT_NE(std::strpbrk(toml, ".e"), nullptr) << toml;
    }
}

struct NumberCase {
    const char* text;
    NumberText answer;
    Kind kind;
    const char* json;  // the node as JSON text
};

void PrintTo(const NumberCase& c, std::ostream* os) { *os << c.text; }

class decimal_numbers : public ::testing::TestWithParam<NumberCase> {};

TEST_P(decimal_numbers, become_the_right_node) {
    const NumberCase& c = GetParam();
    Value v;
    ASSERT_EQ(decimal_number(c.text, true, v), c.answer);
    if (c.answer != NumberText::Ok) return;
    EXPECT_EQ(v.kind(), c.kind);
    std::string text;
    switch (v.kind()) {
        case Kind::UInt: text = std::to_string(v.as_uint()); break;
        case Kind::Int: text = std::to_string(v.as_int()); break;
        case Kind::Float: append_json_float(v.as_float(), text); break;
        default: break;
    }
    EXPECT_EQ(text, c.json);
}

INSTANTIATE_TEST_SUITE_P(
    limits, decimal_numbers,
    ::testing::Values(
        NumberCase{"18446744073709551615", NumberText::Ok, Kind::UInt, "18446744073709551615"},
        NumberCase{"18446744073709551616", NumberText::Ok, Kind::Float, "1.8446744073709552e+19"},
        NumberCase{"9223372036854775808", NumberText::Ok, Kind::UInt, "9223372036854775808"},
        NumberCase{"-9223372036854775808", NumberText::Ok, Kind::Int, "-9223372036854775808"},
        NumberCase{"-9223372036854775809", NumberText::Ok, Kind::Float, "-9.223372036854776e+18"},
        NumberCase{"-0", NumberText::Ok, Kind::UInt, "0"},
        NumberCase{"-0.0", NumberText::Ok, Kind::Float, "-0.0"},
        NumberCase{"0e0", NumberText::Ok, Kind::Float, "0.0"},
        NumberCase{"1.7976931348623157e308", NumberText::Ok, Kind::Float,
                   "1.7976931348623157e+308"},
        NumberCase{"1.7976931348623159e308", NumberText::OutOfRange, Kind::Null, ""},
        NumberCase{"1e400", NumberText::OutOfRange, Kind::Null, ""},
        NumberCase{"4.9406564584124654e-324", NumberText::Ok, Kind::Float, "5e-324"},
        NumberCase{"2e-324", NumberText::Ok, Kind::Float, "0.0"},
        NumberCase{"-1e-400", NumberText::Ok, Kind::Float, "-0.0"},
        NumberCase{"0.0001e300", NumberText::Ok, Kind::Float, "1e+296"},
        NumberCase{"100000000000000000000e-330", NumberText::Ok, Kind::Float, "1e-310"}));

// ---- the escape table ------------------------------------------------------------------------

TEST(escape_table, spells_every_escaped_byte) {
    for (int c = 0; c < 256; ++c) {
        char out[kMaxByteEscape];
        const std::string lower(out, put_escape(static_cast<unsigned char>(c), kHexLower, out));
        const std::string upper(out, put_escape(static_cast<unsigned char>(c), kHexUpper, out));
        std::string want;
        switch (c) {
            case '"': want = "\\\""; break;
            case '\\': want = "\\\\"; break;
            case '\'': want = "\\'"; break;
            case '\b': want = "\\b"; break;
            case '\t': want = "\\t"; break;
            case '\n': want = "\\n"; break;
            case '\f': want = "\\f"; break;
            case '\r': want = "\\r"; break;
            default: {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\u%04x", c);
                want = hex;
            }
        }
        EXPECT_EQ(lower, want) << c;
        for (char& ch : want)
            if (ch >= 'a' && ch <= 'f' && want.size() == 6) ch = static_cast<char>(ch - 'a' + 'A');
        EXPECT_EQ(upper, want) << c;
    }
}

// Each writer escapes by its own rule: a string of every ASCII byte reads back whole through
// the format's reader.
TEST(escape_table, every_ascii_byte_survives_each_writer_and_reader) {
    std::string all;
    for (int c = 0; c < 0x80; ++c) all += static_cast<char>(c);
    all += "\xE2\x80\xA8 \xE2\x80\xA9 '\"";
    for (const Format f : kFormats) {
        const FormatInfo& info = format_info(f);
        Value doc = Value::object();
        doc.as_object().set(all, Value::string(all));
        TextBuffer text;
        ASSERT_TRUE(info.write(doc, text).ok()) << info.name;
        const Result<Value> back = info.read(text.view());
        ASSERT_TRUE(back.ok()) << info.name << ": " << back.error().message;
        EXPECT_EQ(back.value(), doc) << info.name;
    }
}

// ---- the output buffer -----------------------------------------------------------------------

// Pieces of many sizes, across the first block, the doubling and the switch to a mapping
// of its own, give the same text as a string built alongside.
TEST(text_buffer, grows_through_every_block_size_keeping_the_text) {
    TextBuffer buffer;
    std::string want;
    std::mt19937 random(11);
    std::size_t total = 0;
    EXPECT_TRUE(buffer.empty());
    while (total < (std::size_t{12} << 20)) {
        const std::size_t n = random() % 3 == 0 ? random() % 70000 : random() % 40;
        const char c = static_cast<char>('a' + random() % 26);
        switch (random() % 3) {
            case 0:
                buffer.append(std::string(n, c));
                break;
            case 1:
                buffer.append(n, c);
                break;
            default: {
                char* at = buffer.room(n);
                std::memset(at, c, n);
                buffer.set_end(at + n);
            }
        }
        want.append(n, c);
        total += n;
        if (random() % 50 == 0) {
            const std::size_t keep = want.size() - random() % (want.size() / 4 + 1);
            buffer.truncate(keep);
            want.resize(keep);
        }
        ASSERT_EQ(buffer.size(), want.size());
    }
    EXPECT_TRUE(buffer.view() == want);
    TextBuffer moved(std::move(buffer));
    EXPECT_TRUE(moved.view() == want);
    EXPECT_TRUE(buffer.view().empty());
}

// libyaml's output handler appends to what the buffer holds; a failure leaves it as it was.
TEST(text_buffer, takes_libyaml_output_after_what_it_holds) {
    Value doc = Value::array();
    for (int i = 0; i < 5000; ++i)  // many times libyaml's own output block
        doc.as_array().push_back(Value::string("line\n" + std::to_string(i)));
    const Result<std::string> whole = write_yaml_with_libyaml(doc);
    ASSERT_TRUE(whole.ok());
    ASSERT_GT(whole.value().size(), std::size_t{64} << 10);
    TextBuffer buffer;
    buffer.append("prefix\n");
    ASSERT_TRUE(write_yaml_with_libyaml(doc, buffer).ok());
    EXPECT_TRUE(buffer.view() == "prefix\n" + whole.value());

    const std::size_t before = buffer.size();
    Value bad = Value::array();
    bad.as_array().push_back(Value::string("ok"));
    bad.as_array().push_back(Value::string("\xFF"));
    EXPECT_FALSE(write_yaml_with_libyaml(bad, buffer).ok());
    EXPECT_EQ(buffer.size(), before);
    EXPECT_FALSE(write_yaml(bad, buffer).ok());
    EXPECT_EQ(buffer.size(), before);
}


// A document for the streaming tests: long strings with escapes (written in several steps),
// nesting, numbers, and short names, about 300 KB of text.
Value streaming_document() {
    Value doc = Value::object();
    std::mt19937 random(5);
    for (int i = 0; i < 60; ++i) {
        Value group = Value::object();
        std::string long_text;
        for (int j = 0; j < 600 * (i % 7); ++j) long_text += "line \"" + std::to_string(j) + "\"\n\t";
        group.set("text", Value::string(long_text));
        Value numbers = Value::array();
        for (int j = 0; j < 200; ++j)
            numbers.as_array().push_back(j % 3 ? Value::floating(random() / 7.0) : Value::integer(-j));
        group.set("numbers", std::move(numbers));
        Value inner = Value::object();
        inner.set("k\xC3\xA9y " + std::to_string(i), Value::boolean(i % 2));
        group.set("inner", std::move(inner));
        doc.set("group " + std::to_string(i), std::move(group));
    }
    return doc;
}

// What a sink was handed, checking the buffer's side of the contract on every call: the piece
// of the call before is untouched until this call returns, and nothing comes after `last`.
struct RecordingSink {
    std::string text;
    std::string previous_copy;
    const char* previous = nullptr;
    int calls = 0;
    int last_calls = 0;
    int fail_at = -1;  // the call that returns EIO
    bool called_after_last = false;
    bool previous_overwritten = false;

    static int write(void* context, std::string_view piece, bool last) {
        auto& self = *static_cast<RecordingSink*>(context);
        if (self.last_calls != 0) self.called_after_last = true;
        if (self.previous != nullptr &&
            std::memcmp(self.previous, self.previous_copy.data(), self.previous_copy.size()) != 0)
            self.previous_overwritten = true;
        self.previous = piece.data();
        self.previous_copy.assign(piece);
        self.last_calls += last;
        self.text.append(piece);
        return self.calls++ == self.fail_at ? EIO : 0;
    }
};

// Every format whose writer may stream gives, in pieces of any size, exactly the text it
// writes whole.
TEST(text_buffer, streams_the_text_of_every_streaming_writer_in_pieces_of_any_size) {
    const Value doc = streaming_document();
    int streaming = 0;
    for (const FormatInfo& format : format_table()) {
        if (!format.writes_in_pieces) continue;
        ++streaming;
        TextBuffer whole;
        ASSERT_TRUE(format.write(doc, whole).ok());
        ASSERT_GT(whole.size(), std::size_t{200000});
        for (std::size_t piece : {std::size_t{1}, std::size_t{100}, std::size_t{4096},
                                  std::size_t{20000}, std::size_t{1} << 20}) {
            SCOPED_TRACE(std::string(format.name) + " in pieces of " + std::to_string(piece));
            RecordingSink sink;
            TextBuffer out;
            out.stream_to({RecordingSink::write, &sink}, piece);
            ASSERT_TRUE(format.write(doc, out).ok());
            EXPECT_EQ(out.finish_stream(), 0);
            EXPECT_TRUE(sink.text == whole.view());
            EXPECT_EQ(sink.last_calls, 1);
            EXPECT_FALSE(sink.called_after_last);
            EXPECT_FALSE(sink.previous_overwritten);
            EXPECT_GE(sink.calls, piece < whole.size() ? 2 : 1);
            if (piece <= 20000) {
                EXPECT_GT(sink.calls, 10);
            }
        }
    }
    EXPECT_EQ(streaming, 2);  // JSON and JSON5
}

// A sink failing at any call hears only the last call after it, with nothing in it, and its
// error is the result.
TEST(text_buffer, a_failing_sink_gets_no_more_text) {
    const Value doc = streaming_document();
    const FormatInfo& json = format_info(Format::Json);
    int pieces = 0;
    {
        RecordingSink count;
        TextBuffer out;
        out.stream_to({RecordingSink::write, &count}, 65536);
        ASSERT_TRUE(json.write(doc, out).ok());
        ASSERT_EQ(out.finish_stream(), 0);
        pieces = count.calls;
        ASSERT_GT(pieces, 3);
    }
    for (int fail_at = 0; fail_at < pieces; ++fail_at) {
        SCOPED_TRACE("failing at call " + std::to_string(fail_at));
        RecordingSink sink;
        sink.fail_at = fail_at;
        TextBuffer out;
        out.stream_to({RecordingSink::write, &sink}, 65536);
        ASSERT_TRUE(json.write(doc, out).ok());
        EXPECT_EQ(out.finish_stream(), EIO);
        EXPECT_EQ(sink.last_calls, 1);
        if (fail_at < pieces - 1) {
            EXPECT_EQ(sink.calls, fail_at + 2);
            EXPECT_TRUE(sink.previous_copy.empty());
        }
    }
}

}  // namespace
}  // namespace zel
