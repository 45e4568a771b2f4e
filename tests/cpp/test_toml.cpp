// Tests of the TOML reader and writer: every kind of value and table layout loaded into the
// tree, malformed input with its message and position, nesting limits (including inputs
// far too deep for any recursion), what the writer refuses, and round trips over many shapes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "drivers/drivers.hpp"
#include "formats/json/reader.hpp"
#include "formats/json/writer.hpp"
#include "text/keyed_hash.hpp"
#include "formats/toml/datetime.hpp"
#include "formats/toml/reader.hpp"
#include "formats/toml/writer.hpp"
#include "test_support.hpp"
#include "value/error.hpp"

namespace zel {
namespace {

using namespace std::string_literals;
using namespace test;

Value datetime(std::string_view text) {
    Value marker = Value::object();
    marker.set(kTomlDatetimeKey, Value::string(text));
    return marker;
}

// ---- loading ----

struct Load : NamedCase<Load> {
    std::string toml;
    std::string json;  // the expected tree
};

class toml_parsing_documents : public ::testing::TestWithParam<Load> {};

TEST_P(toml_parsing_documents, gives_the_tree) {
    Result<Value> r = parse_toml(GetParam().toml);
    ASSERT_TRUE(r.ok()) << error_of(r);
    EXPECT_EQ(json_text(r.value()), json_text(parsed_json(GetParam().json)));
}

const std::string kMarker = "\"$__toml_private_datetime\"";

INSTANTIATE_TEST_SUITE_P(values, toml_parsing_documents, ::testing::Values(
    Load{"empty", "", "{}"},
    Load{"only_comments", "# nothing\n\n   # here\r\n", "{}"},
    Load{"scalars", "s = \"x\"\ni = 1\nn = -1\nf = 1.5\nb = true\nc = false\n",
         R"({"b":true,"c":false,"f":1.5,"i":1,"n":-1,"s":"x"})"},
    Load{"integer_ends", "max = 9223372036854775807\nmin = -9223372036854775808\nz = -0\n",
         R"({"max":9223372036854775807,"min":-9223372036854775808,"z":0})"},
    Load{"integer_forms", "h = 0xff\no = 0o17\nb = 0b101\nu = 1_000\np = +7\n",
         R"({"b":5,"h":255,"o":15,"p":7,"u":1000})"},
    Load{"floats", "a = 1e3\nb = 0.1\nc = -2.5E-3\nd = 5e-324\ne = 1.7976931348623157e308\n",
         R"({"a":1000.0,"b":0.1,"c":-0.0025,"d":5e-324,"e":1.7976931348623157e308})"},
    Load{"non_finite_floats_are_null", "a = inf\nb = -inf\nc = nan\nd = +nan\ne = [inf]\n",
         R"({"a":null,"b":null,"c":null,"d":null,"e":[null]})"},
    Load{"strings", "a = \"\\u00e9\\t\\\"\\\\\\U0001F600\"\nb = 'C:\\x'\nc = \"\"\"\nline\\\n   more\"\"\"\n"
                    "d = '''\n'q'\n'''\ne = \"é\"\n",
         R"({"a":"é\t\"\\😀","b":"C:\\x","c":"linemore","d":"'q'\n","e":"é"})"},
    Load{"nested_tables", "[a.b]\nc = 1\n[a]\nd = 2\n[e]\n", R"({"a":{"b":{"c":1},"d":2},"e":{}})"},
    Load{"dotted_keys", "a.b.c = 1\n\"x.y\" = 2\na.'b'.d = 3\n' k ' = 4\n\"\" = 5\n",
         R"({"":5," k ":4,"a":{"b":{"c":1,"d":3}},"x.y":2})"},
    Load{"arrays_of_tables", "[[p]]\nx = 1\n[[p]]\n[[p.q]]\ny = 2\n[p.r]\nz = 3\n",
         R"({"p":[{"x":1},{"q":[{"y":2}],"r":{"z":3}}]})"},
    Load{"inline_and_mixed_arrays",
         "a = [1, \"a\", {x = 1, y.z = 2}, [2, []], {}]\nt = { k = [ { } ] }\n",
         R"({"a":[1,"a",{"x":1,"y":{"z":2}},[2,[]],{}],"t":{"k":[{}]}})"},
    Load{"multi_line_array_with_comments", "a = [\n  1, # one\n  2,\n]\n", R"({"a":[1,2]})"},
    Load{"keys_sorted_by_bytes", "b = 1\nB = 2\n\"é\" = 3\na = 4\n",
         R"({"B":2,"a":4,"b":1,"é":3})"},
    Load{"crlf_line_ends", "a = 1\r\n[t]\r\nb = 'x'\r\n", R"({"a":1,"t":{"b":"x"}})"},
    Load{"byte_order_mark", "\xEF\xBB\xBF" "a = 1", R"({"a":1})"},
    Load{"tables_extended_as_allowed",
         "[a.b.c]\n[a]\nb.x = 1\n[f]\np.q = 1\n[f.p.r]\n[[t]]\n[t.u]\n[[t]]\n[t.u]\n",
         R"({"a":{"b":{"c":{},"x":1}},"f":{"p":{"q":1,"r":{}}},"t":[{"u":{}},{"u":{}}]})"},
    // A header that comes back to an array of tables after another table goes on in the
    // array's last element.
    Load{"sub_table_of_the_last_element_after_another_table",
         "[[aot]]\nn = 1\n[[aot]]\nn = 2\n[other]\nx = 1\n[aot.sub]\ny = 2\n",
         R"({"aot":[{"n":1},{"n":2,"sub":{"y":2}}],"other":{"x":1}})"},
    Load{"dotted_key_path_into_the_last_element_after_another_table",
         "[[a]]\n[[a]]\n[[a]]\n[o]\n[a.b.c]\nd = 1\n",
         R"({"a":[{},{},{"b":{"c":{"d":1}}}],"o":{}})"},
    Load{"nested_array_of_the_last_element_after_another_table",
         "[[a]]\n[[a.b]]\nx = 1\n[[a]]\n[[a.b]]\nx = 2\n[o]\n[[a.b]]\nx = 3\n",
         R"({"a":[{"b":[{"x":1}]},{"b":[{"x":2},{"x":3}]}],"o":{}})"}), CaseName());

INSTANTIATE_TEST_SUITE_P(date_times, toml_parsing_documents, ::testing::Values(
    Load{"offset", "d = 1979-05-27T07:32:00Z", "{\"d\":{" + kMarker + ":\"1979-05-27T07:32:00Z\"}}"},
    Load{"offset_fraction", "d = 1979-05-27 07:32:00.999999-07:00",
         "{\"d\":{" + kMarker + ":\"1979-05-27T07:32:00.999999-07:00\"}}"},
    Load{"offset_lower_case_and_minus_zero", "d = 1979-05-27t07:32:00+00:00\ne = 1979-05-27T07:32:00-00:00",
         "{\"d\":{" + kMarker + ":\"1979-05-27T07:32:00Z\"},\"e\":{" + kMarker + ":\"1979-05-27T07:32:00Z\"}}"},
    Load{"local_date_time", "d = 1979-05-27T00:32:00.500",
         "{\"d\":{" + kMarker + ":\"1979-05-27T00:32:00.5\"}}"},
    Load{"local_date", "d = 1979-05-27", "{\"d\":{" + kMarker + ":\"1979-05-27\"}}"},
    Load{"local_time", "d = 00:32:00.999999999", "{\"d\":{" + kMarker + ":\"00:32:00.999999999\"}}"},
    Load{"fraction_cut_to_nanoseconds", "d = 00:32:00.1234567891\ne = 00:32:00.000",
         "{\"d\":{" + kMarker + ":\"00:32:00.123456789\"},\"e\":{" + kMarker + ":\"00:32:00\"}}"},
    Load{"in_array_and_inline_table", "a = [1979-05-27, {t = 07:00:00}]",
         "{\"a\":[{" + kMarker + ":\"1979-05-27\"},{\"t\":{" + kMarker + ":\"07:00:00\"}}]}"}), CaseName());

TEST(toml_parsing_documents, negative_zero_keeps_its_sign) {
    Result<Value> r = parse_toml("a = -0.0\nb = -1e-400");
    ASSERT_TRUE(r.ok()) << error_of(r);
    for (const char* key : {"a", "b"}) {
        const Value* v = r.value().find(key);
        ASSERT_TRUE(v != nullptr && v->kind() == Kind::Float) << key;
        EXPECT_EQ(v->as_float(), 0.0);
        EXPECT_TRUE(std::signbit(v->as_float())) << key;
    }
}

TEST(toml_parsing_documents, seed_file_through_the_file_driver) {
    Result<Value> r = load_file(DriverKind::Toml, ZEL_TEST_DATA_DIR "/toml/settings.toml");
    ASSERT_TRUE(r.ok()) << error_of(r);
    const std::string expected = R"({
  "enabled": true,
  "offsets": [-1, 0, 16, 15, 5],
  "plugins": [
    {"name": "spell", "options": {"languages": ["en", "fr"]}},
    {"name": "format", "rules": [{"id": 1}]}
  ],
  "ratio": 0.75,
  "schedule": {
    "alarm": {"$__toml_private_datetime": "07:30:00"},
    "day": {"$__toml_private_datetime": "1979-05-27"},
    "local": {"$__toml_private_datetime": "1979-05-27T07:32:00.5"},
    "released": {"$__toml_private_datetime": "1979-05-27T07:32:00Z"}
  },
  "tags": ["alpha", "beta", "gamma"],
  "temperatures": [-40.5, 1000.0, null, null],
  "title": "Zel demo",
  "version": 3,
  "window": {
    "height": 600,
    "position": {"x": 10, "y": -20},
    "theme": {"colors": {"background": "#202020", "text": "é\t"}, "name": "C:\\themes\\dark"},
    "width": 800
  }
})";
    EXPECT_EQ(json_text(r.value()), json_text(parsed_json(expected)));
}

// ---- malformed input ----

struct Malformed : NamedCase<Malformed> {
    std::string text;
    std::string description;  // what the message must contain after the prefix
    std::string position;     // "line L column C"
};

class toml_parsing_malformed : public ::testing::TestWithParam<Malformed> {};

TEST_P(toml_parsing_malformed, fails_with_description_and_position) {
    const Malformed& c = GetParam();
    Result<Value> r = parse_toml(c.text);
    ASSERT_FALSE(r.ok()) << json_text(r.value());
    EXPECT_EQ(r.error().kind, ErrorKind::Parse);
    const std::string& message = r.error().message;
    EXPECT_EQ(message.rfind("TOML parse error: ", 0), 0u) << message;
    EXPECT_NE(message.find(c.description), std::string::npos) << message;
    const std::string suffix = " at " + c.position;
    ASSERT_GE(message.size(), suffix.size()) << message;
    EXPECT_EQ(message.substr(message.size() - suffix.size()), suffix) << message;
}

INSTANTIATE_TEST_SUITE_P(truncated, toml_parsing_malformed, ::testing::Values(
    Malformed{"string", "a = \"abc", "end-of-file", "line 1 column 9"},
    Malformed{"multi_line_string", "a = '''abc\n", "end-of-file", "line 1 column 12"},
    Malformed{"array", "a = [1, 2", "end-of-file", "line 1 column 10"},
    Malformed{"inline_table", "a = {x = 1", "end-of-file", "line 1 column 11"},
    Malformed{"header", "[a", "end-of-file", "line 1 column 3"},
    Malformed{"value", "a =", "end-of-file", "line 1 column 4"},
    Malformed{"key_only", "a", "end-of-file", "line 1 column 2"},
    Malformed{"escape", "a = \"\\u12", "end-of-file", "line 1 column 10"}), CaseName());

INSTANTIATE_TEST_SUITE_P(wrong_tokens, toml_parsing_malformed, ::testing::Values(
    Malformed{"two_values", "a = 1 2", "saw '2'", "line 1 column 7"},
    Malformed{"no_key", "= 1", "", "line 1 column 1"},
    Malformed{"bad_literal", "a = tru", "", "line 1 column 8"},
    Malformed{"bad_header", "[a]]", "", "line 1 column 4"},
    Malformed{"leading_zero", "a = 01", "leading zero", "line 1 column 7"},
    Malformed{"newline_in_inline_table", "a = {x = 1,\ny = 2}", "", "line 1 column 12"},
    Malformed{"time_without_digits", "a = 1979-05-27TZ7:32:00Z", "expected 2-digit hour", "line 1 column 16"},
    Malformed{"bad_date", "a = 1979-13-27", "expected month between 1 and 12", "line 1 column 12"},
    Malformed{"not_a_leap_year", "a = 1900-02-29", "expected day between 1 and 28", "line 1 column 15"},
    Malformed{"time_without_seconds", "a = 07:32", "end-of-file", "line 1 column 10"},
    Malformed{"lone_carriage_return", "a = 1\r", "", "line 1 column 6"},
    Malformed{"control_character_in_comment", "# \x01\n", "control characters", "line 1 column 3"}), CaseName());

INSTANTIATE_TEST_SUITE_P(strings, toml_parsing_malformed, ::testing::Values(
    Malformed{"bad_escape", "a = \"\\q\"", "escape sequence '\\q'", "line 1 column 7"},
    Malformed{"escape_of_a_later_toml", "a = \"\\e\"", "escape sequence '\\e'", "line 1 column 7"},
    Malformed{"short_unicode_escape", "a = \"\\u12\"", "", "line 1 column 10"},
    Malformed{"surrogate_escape", "a = \"\\uD800\"", "", "line 1 column 12"},
    Malformed{"control_character", "a = \"\x01\"", "control characters", "line 1 column 6"},
    Malformed{"nul_byte", "a = \"a\0b\"\n"s, "control characters", "line 1 column 7"},
    Malformed{"newline_in_basic_string", "a = \"a\nb\"", "", "line 1 column 7"}), CaseName());

INSTANTIATE_TEST_SUITE_P(invalid_utf8, toml_parsing_malformed, ::testing::Values(
    Malformed{"stray_byte", "a = \"\xff\"", "invalid utf-8", "line 1 column 5"},
    Malformed{"overlong", "a = \"\xc0\x80\"", "invalid utf-8", "line 1 column 5"},
    Malformed{"surrogate", "a = \"\xed\xa0\x80\"", "invalid utf-8", "line 1 column 5"},
    Malformed{"cut_at_end", "a = \"\xe2\x82", "incomplete utf-8", "line 1 column 5"},
    Malformed{"in_a_key", "\xfe = 1", "invalid utf-8", "line 1 column 1"}), CaseName());

// Non-ASCII text where TOML allows only ASCII (letters, punctuation and blanks of other
// scripts are neither keys nor white space).
INSTANTIATE_TEST_SUITE_P(non_ascii_outside_strings, toml_parsing_malformed, ::testing::Values(
    Malformed{"bare_key", "\u00e9 = 1", "", "line 1 column 1"},
    Malformed{"array_element", "a = [1, \u0446]", "", "line 1 column 9"},
    Malformed{"after_value", "a = 1\u3001", "", "line 1 column 6"},
    Malformed{"header", "[\ufb00]", "", "line 1 column 2"},
    Malformed{"after_date", "a = 1979-05-27T\u00e9", "could not determine value type", "line 1 column 5"}), CaseName());

INSTANTIATE_TEST_SUITE_P(redefinitions, toml_parsing_malformed, ::testing::Values(
    Malformed{"duplicate_key", "a = 1\na = 2", "cannot redefine existing integer 'a'", "line 2 column 5"},
    // The message names what the key already holds.
    Malformed{"over_boolean", "a = true\na = 2", "cannot redefine existing boolean 'a'", "line 2 column 5"},
    Malformed{"over_float", "a = 0.5\na = 2", "cannot redefine existing float 'a'", "line 2 column 5"},
    Malformed{"over_nan", "a = nan\na = 2", "cannot redefine existing float 'a'", "line 2 column 5"},
    Malformed{"over_string", "a = 's'\na = 2", "cannot redefine existing string 'a'", "line 2 column 5"},
    Malformed{"over_array", "a = [1]\na = 2", "cannot redefine existing array 'a'", "line 2 column 5"},
    Malformed{"over_date_time", "a = 1979-05-27\na = 2", "cannot redefine existing date-time 'a'", "line 2 column 5"},
    Malformed{"over_inline_table", "a = {x = 1}\na = 2", "cannot redefine existing table 'a'", "line 2 column 5"},
    Malformed{"keys_into_a_string", "a = 's'\na.b = 2", "cannot add keys to existing string", "line 2 column 1"},
    Malformed{"duplicate_table", "[a]\n[a]", "", "line 2 column 1"},
    Malformed{"table_over_inline_table", "a = {x = 1}\n[a]", "", "line 2 column 1"},
    Malformed{"dotted_over_value", "a = 1\na.b = 2", "", "line 2 column 1"},
    Malformed{"dotted_into_a_header_table", "[a.b.c]\n[a]\nb.c.t = 1", "", "line 3 column 1"},
    Malformed{"header_over_dotted_table", "[f]\np.q = 1\n[f.p]", "", "line 3 column 1"},
    Malformed{"header_over_root_dotted_table", "a.b = 1\n[a]", "", "line 2 column 1"},
    Malformed{"table_over_array_of_tables", "[[a]]\n[a]", "", "line 2 column 1"},
    Malformed{"array_of_tables_over_table", "[a]\n[[a]]", "", "line 2 column 1"},
    Malformed{"array_of_tables_over_array", "a = [{}]\n[[a]]", "", "line 2 column 1"},
    Malformed{"dotted_into_inline_table", "a = {b = 1}\na.c = 2", "", "line 2 column 1"},
    Malformed{"inline_table_extended_inside", "a = {b = {c = 1}, b.d = 2}", "", "line 1 column 19"},
    Malformed{"sub_table_defined_twice_in_one_element", "[[a]]\n[a.b]\n[a.b]", "", "line 3 column 1"}), CaseName());

INSTANTIATE_TEST_SUITE_P(numbers, toml_parsing_malformed, ::testing::Values(
    Malformed{"above_int64", "a = 9223372036854775808", "not representable in 64 bits",
              "line 1 column 24"},
    Malformed{"below_int64", "a = -9223372036854775809", "not representable in 64 bits",
              "line 1 column 25"},
    Malformed{"hex_above_int64", "a = 0x8000000000000000", "not representable in 64 bits", "line 1 column 23"},
    Malformed{"float_too_large", "a = 1e309", "could not be interpreted", "line 1 column 10"}), CaseName());

// Random edits of the seed file: whatever the reader makes of them, it must not crash, must
// report failures as parse errors, must stay within the nesting limit, and what it accepts
// (when TOML can express it) must survive writing and reading again.
TEST(toml_parsing_mutations, never_crash_and_accepted_documents_round_trip) {
    const std::string original = file_contents(ZEL_TEST_DATA_DIR "/toml/settings.toml");
    ASSERT_FALSE(original.empty());
    static constexpr char kAlphabet[] = "[]{}.=,\"'#\n 0aT:-+eZ\\\xc3\xa9";
    std::mt19937 random(20240527);
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string text = original;
        const int edits = 1 + static_cast<int>(random() % 4);
        for (int e = 0; e < edits; ++e) {
            const std::size_t at = random() % (text.size() + 1);
            const char c = kAlphabet[random() % (sizeof kAlphabet - 1)];
            switch (random() % 3) {
                case 0: text.insert(at, 1, c); break;
                case 1: if (at < text.size()) text[at] = c; break;
                default: if (at < text.size()) text.erase(at, 1 + random() % 8);
            }
        }
        Result<Value> r = parse_toml(text);
        if (!r.ok()) {
            EXPECT_EQ(r.error().kind, ErrorKind::Parse) << r.error().message;
            EXPECT_EQ(r.error().message.rfind("TOML parse error: ", 0), 0u) << r.error().message;
            continue;
        }
        ++accepted;
        ASSERT_LE(nesting_depth(r.value(), 1000), kTomlMaxDepth) << text;
        Result<std::string> written = write_toml(r.value());
        if (!written.ok()) {
            EXPECT_EQ(written.error().message.rfind("TOML cannot express null", 0), 0u)
                << written.error().message;
            continue;
        }
        Result<Value> back = parse_toml(written.value());
        ASSERT_TRUE(back.ok()) << error_of(back) << " reading\n" << written.value();
        EXPECT_EQ(back.value(), r.value()) << written.value();
    }
    EXPECT_GT(accepted, 100);  // the edits must leave enough documents valid to mean something
}

// ---- nesting ----

// `levels` containers from the root: the root table, then levels - 1 nested arrays.
std::string nested_arrays(std::size_t levels) {
    return "a = " + repeat("[", levels - 1) + repeat("]", levels - 1);
}
std::string nested_inline_tables(std::size_t levels) {
    return "a = " + repeat("{a = ", levels - 1) + "1" + repeat("}", levels - 1);
}
std::string dotted_key(std::size_t levels) {
    std::string text = "a";
    text += repeat(".a", levels - 1);
    text += " = 1";
    return text;
}
std::string table_header(std::size_t levels) { return "[a" + repeat(".a", levels - 2) + "]"; }

struct Nesting : NamedCase<Nesting> {
    std::string (*make)(std::size_t);
};

class toml_parsing_nesting : public ::testing::TestWithParam<Nesting> {};

TEST_P(toml_parsing_nesting, limit_is_127_levels) {
    Result<Value> ok = parse_toml(GetParam().make(kTomlMaxDepth));
    ASSERT_TRUE(ok.ok()) << error_of(ok);
    EXPECT_EQ(nesting_depth(ok.value(), 1000), kTomlMaxDepth);

    const Result<Value> one_more = parse_toml(GetParam().make(kTomlMaxDepth + 1));
    EXPECT_NE(error_of(one_more).find("TOML parse error: recursion limit exceeded at line "),
              std::string::npos)
        << error_of(one_more);
}

TEST_P(toml_parsing_nesting, far_too_deep_fails_without_exhausting_a_small_stack) {
    // 256 KiB of stack: a reader that recursed along the input would crash.
    std::string message;
    run_on_small_stack([&] { message = error_of(parse_toml(GetParam().make(100000))); });
    EXPECT_EQ(message.rfind("TOML parse error: recursion limit exceeded at line ", 0), 0u) << message;
}

INSTANTIATE_TEST_SUITE_P(forms, toml_parsing_nesting, ::testing::Values(
    Nesting{"arrays", nested_arrays}, Nesting{"inline_tables", nested_inline_tables},
    Nesting{"dotted_key", dotted_key}, Nesting{"table_header", table_header},
    Nesting{"array_of_tables_header",
            [](std::size_t levels) { return "[[a" + repeat(".a", levels - 3) + "]]"; }},
    Nesting{"dotted_keys_in_inline_table",
            [](std::size_t levels) { return "a = {a" + repeat(".a", levels - 2) + " = 1}"; }},
    Nesting{"arrays_under_a_header",
            [](std::size_t levels) {
                return "[t.u]\na = " + repeat("[", levels - 3) + repeat("]", levels - 3);
            }}), CaseName());

TEST(toml_parsing_nesting, exact_position_of_the_first_level_too_many) {
    // The 127th bracket opens level 128; it is column 5 + 126.
    EXPECT_EQ(error_of(parse_toml(nested_arrays(100000))),
              "TOML parse error: recursion limit exceeded at line 1 column 131");
    EXPECT_EQ(error_of(parse_toml("x = 1\n# é\n[a" + repeat(".a", 200) + "]")),
              "TOML parse error: recursion limit exceeded at line 3 column 1");
}

TEST(toml_parsing_nesting, a_date_time_counts_as_one_level) {
    // The marker object of a date-time takes a level of its own, as it does when saving.
    const auto in_arrays = [](std::size_t arrays) {
        return "a = " + repeat("[", arrays) + "1979-05-27" + repeat("]", arrays);
    };
    Result<Value> ok = parse_toml(in_arrays(kTomlMaxDepth - 2));
    ASSERT_TRUE(ok.ok()) << error_of(ok);
    EXPECT_EQ(nesting_depth(ok.value(), 1000), kTomlMaxDepth);
    EXPECT_EQ(error_of(parse_toml(in_arrays(kTomlMaxDepth - 1))),
              "TOML parse error: recursion limit exceeded at line 1 column 131");
}

TEST(toml_parsing_nesting, arrays_of_tables_count_two_levels_per_segment) {
    // [[a]] then [[a.a]]...: each segment is an array and its element table.
    const auto chain = [](std::size_t segments) {
        std::string text;
        for (std::size_t i = 1; i <= segments; ++i) text += "[[a" + repeat(".a", i - 1) + "]]\n";
        return text;
    };
    Result<Value> ok = parse_toml(chain(63));
    ASSERT_TRUE(ok.ok()) << error_of(ok);
    EXPECT_EQ(nesting_depth(ok.value(), 1000), 127u);
    EXPECT_EQ(error_of(parse_toml(chain(64))).rfind("TOML parse error: recursion limit exceeded at line ", 0),
              0u);
}

TEST(toml_parsing_nesting, brackets_inside_strings_and_comments_do_not_count) {
    const std::string deep_text = repeat("[{", 300);
    const std::string text = "a = \"" + deep_text + "\"\nb = '" + deep_text + "'\nc = \"\"\"\n" +
                             deep_text + "\\\"\"\"\"\"\nd = '''" + deep_text + "''''\n# " + deep_text +
                             "\n[\"" + repeat(".", 300) + "\"]\ne = [ # " + deep_text + "\n 1 ]\n";
    Result<Value> r = parse_toml(text);
    ASSERT_TRUE(r.ok()) << error_of(r);
    EXPECT_EQ(r.value().find("a")->as_string(), deep_text);
    EXPECT_EQ(r.value().find("c")->as_string(), deep_text + "\"\"");
    EXPECT_EQ(r.value().find("d")->as_string(), deep_text + "'");
    EXPECT_TRUE(r.value().find(repeat(".", 300)) != nullptr);
}

// ---- writer failures ----

struct Refused : NamedCase<Refused> {
    std::string json;
    std::string message;
};

class toml_writing_refused : public ::testing::TestWithParam<Refused> {};

TEST_P(toml_writing_refused, fails_with_description) {
    EXPECT_TRUE(fails_with(write_toml(parsed_json(GetParam().json)), ErrorKind::Writer, GetParam().message));
}

INSTANTIATE_TEST_SUITE_P(cases, toml_writing_refused, ::testing::Values(
    Refused{"array_root", "[1]", "TOML document root must be a table"},
    Refused{"string_root", "\"x\"", "TOML document root must be a table"},
    Refused{"null_root", "null", "TOML document root must be a table"},
    Refused{"null_member", R"({"a":1,"b":null})", "TOML cannot express null (at key b)"},
    Refused{"null_in_table", R"({"a":{"b":{"c":null}}})", "TOML cannot express null (at key a/b/c)"},
    Refused{"null_in_array", R"({"a":[1,[2,null]]})", "TOML cannot express null (at key a[1][1])"},
    Refused{"null_in_array_of_tables", R"({"a":[{"x":1},{"y":null}]})",
            "TOML cannot express null (at key a[1]/y)"},
    Refused{"null_under_empty_key", R"({"":null})", "TOML cannot express null (at key )"},
    Refused{"u64_max", R"({"a":{"n":18446744073709551615}})",
            "integer 18446744073709551615 is out of TOML's range (at key a/n)"},
    Refused{"int64_max_plus_one", R"({"n":[9223372036854775808]})",
            "integer 9223372036854775808 is out of TOML's range (at key n[0])"}), CaseName());

TEST(toml_writing_refused, nesting_deeper_than_loading_accepts) {
    // A chain of objects `levels` deep, ending in an empty object.
    const auto chain = [](std::size_t levels) {
        Value root = Value::object();
        Value* node = &root;
        for (std::size_t i = 1; i < levels; ++i) node = &node->set("a", Value::object());
        return root;
    };
    Result<std::string> ok = write_toml(chain(kTomlMaxDepth));
    ASSERT_TRUE(ok.ok()) << ok.error().message;
    Result<Value> back = parse_toml(ok.value());
    ASSERT_TRUE(back.ok()) << error_of(back);
    EXPECT_EQ(back.value(), chain(kTomlMaxDepth));

    EXPECT_TRUE(fails_with(write_toml(chain(kTomlMaxDepth + 1)), ErrorKind::Writer,
                           "TOML document is nested more than 127 levels deep (at key " +
                               repeat("a/", kTomlMaxDepth - 1) + "a)"));
}

TEST(toml_writing_refused, text_that_is_not_utf8) {
    Value doc = Value::object();
    doc.set("k", Value::string("\xff"));
    Result<std::string> r = write_toml(doc);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().message, "TOML strings must be valid UTF-8 (at key k)");

    Value key = Value::object();
    key.set("a", Value::object()).set("\xc0\x80", Value::boolean(true));
    r = write_toml(key);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().kind, ErrorKind::Writer);
    EXPECT_EQ(r.error().message.rfind("TOML keys must be valid UTF-8", 0), 0u);
}

// ---- layout ----

TEST(toml_writing_layout, values_then_tables_then_arrays_of_tables) {
    const Value doc = parsed_json(
        R"({"z":1,"s":"it's","t":{"x":1,"u":{"v":[]}},"only":{"sub":{"k":true}},
            "aot":[{"n":1},{}],"arr":[1,2.5,"x",{"a":{}}],"e":{},"q key":{}})");
    Result<std::string> r = write_toml(doc);
    ASSERT_TRUE(r.ok()) << r.error().message;
    EXPECT_EQ(r.value(),
              "arr = [ 1, 2.5, 'x', { a = {} } ]\n"
              "s = \"it's\"\n"
              "z = 1\n"
              "\n[e]\n"
              "\n[only.sub]\nk = true\n"
              "\n['q key']\n"
              "\n[t]\nx = 1\n"
              "\n[t.u]\nv = []\n"
              "\n[[aot]]\nn = 1\n"
              "\n[[aot]]\n");
}

TEST(toml_writing_layout, date_times_are_written_as_date_times) {
    Value doc = Value::object();
    doc.set("d", datetime("1979-05-27T07:32:00.5-07:00"));
    doc.set("l", Value::array()).as_array().push_back(datetime("07:32:00"));
    Result<std::string> r = write_toml(doc);
    ASSERT_TRUE(r.ok()) << r.error().message;
    EXPECT_EQ(r.value(), "d = 1979-05-27T07:32:00.5-07:00\nl = [ 07:32:00 ]\n");
}

TEST(toml_writing_layout, long_arrays_wrap_one_element_per_line) {
    Value doc = Value::object();
    Array& items = doc.set("a", Value::array()).as_array();
    for (int i = 0; i < 40; ++i) items.push_back(Value::integer(1000 + i));
    Result<std::string> r = write_toml(doc);
    ASSERT_TRUE(r.ok()) << r.error().message;
    EXPECT_EQ(r.value().rfind("a = [\n    1000,\n    1001,\n", 0), 0u) << r.value();
    const std::string end = ",\n    1039\n]\n";
    ASSERT_GT(r.value().size(), end.size());
    EXPECT_EQ(r.value().substr(r.value().size() - end.size()), end);
}

TEST(toml_writing_layout, empty_document_is_empty_text) {
    Result<std::string> r = write_toml(Value::object());
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.value(), "");
}

// ---- round trips ----

void expect_round_trip(const Value& doc) {
    Result<std::string> text = write_toml(doc);
    ASSERT_TRUE(text.ok()) << text.error().message << " for " << json_text(doc);
    Result<Value> back = parse_toml(text.value());
    ASSERT_TRUE(back.ok()) << error_of(back) << " reading\n" << text.value();
    EXPECT_EQ(back.value(), doc) << "wrote\n" << text.value() << "read " << json_text(back.value());
    EXPECT_EQ(json_text(back.value()), json_text(doc)) << text.value();  // tells -0.0 from 0.0
}

class toml_writing_round_trip : public ::testing::TestWithParam<std::string> {};

TEST_P(toml_writing_round_trip, reads_back_the_same_tree) { expect_round_trip(parsed_json(GetParam())); }

INSTANTIATE_TEST_SUITE_P(scalars, toml_writing_round_trip, ::testing::Values(
    R"({"min":-9223372036854775808,"max":9223372036854775807,"zero":0,"t":true,"f":false})",
    R"({"a":0.1,"b":1e20,"c":1e-7,"d":5e-324,"e":1.7976931348623157e308,"f":-0.0,"g":1.0,"h":123456789.0})",
    R"({"small_floats_in_arrays":[0.01,-0.001,1e-300,2.5e-8],"int_min_in_array":[-9223372036854775808]})",
    R"({"s":["","'","\"","\\","it's \"q\"","C:\\dir","\nlead","x'''\ny","a\r\nb","\r","tab\there"]})",
    R"({"u":["é","😀","\u2028\u2029\u0085","\ufeffbom","\u007f","\u0000\u0001\u001f"]})",
    R"({"":1,"a.b":2,"with space":3,"$__toml_private_datetime":4,"é":5,"it's":6,"q\"":7,"\u0001":8,"1":9,"-":10,"a]":11})"));

INSTANTIATE_TEST_SUITE_P(tables, toml_writing_round_trip, ::testing::Values(
    R"({"e":{}})",
    R"({"a":{"b":{"c":{}}},"d":{"e":{},"f":1}})",
    R"({"only_tables":{"x":{"y":1},"z":[{"w":2}]}})",
    R"({"aot":[{},{},{"x":{}}]})",
    R"({"aot":[{"in":[{"deeper":[{"v":1}]},{"t":{"u":[{}]}}]}]})",
    R"({"t":{"aot":[{"a":1}],"v":2},"w":[{"x":{"y":[{"z":1}]}}]})",
    R"({"key with.dots":{"and \"quotes\"":{"'":[{"é":1}]}}})"));

INSTANTIATE_TEST_SUITE_P(arrays, toml_writing_round_trip, ::testing::Values(
    R"({"a":[],"b":[[]],"c":[[],[[]]],"d":[{}],"e":[[{"x":1}]],"f":[1,{"x":[{"y":2}]}]})",
    R"({"mixed":[1,"s",2.5,true,[1,2],{"k":"v","n":{"m":[]}}]})",
    R"({"objects_then_scalar":[{"a":1},{"b":2},3],"scalar_then_objects":[3,{"a":1}]})",
    R"({"long":["aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa","bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb",{"c":[1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30]}]})"));

TEST(toml_writing_round_trip, date_time_markers) {
    Value doc = Value::object();
    for (const char* text : {"1979-05-27T07:32:00Z", "1979-05-27T07:32:00.999999-07:00",
                             "1979-05-27T00:32:00.5", "1979-05-27", "07:32:00",
                             "00:32:00.999999999", "2000-02-29T23:59:59+14:00"})
        doc.set(text, datetime(text));
    Array& list = doc.set("list", Value::array()).as_array();
    list.push_back(datetime("1979-05-27"));
    list.push_back(datetime("07:32:00"));
    Array& mixed = doc.set("mixed", Value::array()).as_array();
    mixed.push_back(datetime("1979-05-27"));
    mixed.push_back(Value::object());
    doc.set("inline", Value::array()).as_array().push_back(Value::object());
    doc.find("inline")->as_array()[0].set("d", datetime("1979-05-27"));
    expect_round_trip(doc);

    Result<std::string> text = write_toml(doc);
    ASSERT_TRUE(text.ok());
    EXPECT_NE(text.value().find("list = [ 1979-05-27, 07:32:00 ]\n"), std::string::npos) << text.value();
}

TEST(toml_writing_round_trip, marker_like_objects_that_are_not_date_times_stay_tables) {
    // Each reads back exactly as written, so none of them may become a TOML date-time.
    Value doc = Value::object();
    int i = 0;
    for (const char* text : {"1979-13-27", "1979-02-29", "1979-05-27\nx = 1", "1979-05-27 # c",
                             "1979-05-27T", "1979-05-27 ", "07:32", "24:00:00", "07:32:00Z",
                             "1979-05-27T07:32:00+24:00", "yesterday", ""})
        doc.set(std::string(1, 's').append(std::to_string(i++)), datetime(text));
    Value two = datetime("1979-05-27");
    two.set("other", Value::integer(1));
    doc.set("two_members", std::move(two));
    doc.set("not_a_string", Value::object()).set(kTomlDatetimeKey, Value::integer(19790527));
    expect_round_trip(doc);
    expect_round_trip(datetime("1979-05-27"));  // at the root, it is the root table
}

TEST(toml_writing_round_trip, any_spelling_of_a_date_time_is_written_as_one) {
    // What datetime.isoformat() gives, and the other spellings TOML allows, load back in the
    // reader's form.
    const std::pair<const char*, const char*> spellings[] = {
        {"1979-05-27T07:32:00+00:00", "1979-05-27T07:32:00Z"},
        {"1979-05-27 07:32:00Z", "1979-05-27T07:32:00Z"},
        {"1979-05-27t07:32:00z", "1979-05-27T07:32:00Z"},
        {"1979-05-27T07:32:00.500-00:00", "1979-05-27T07:32:00.5Z"},
        {"1979-05-27T07:32:00.123456+05:30", "1979-05-27T07:32:00.123456+05:30"},
        {"07:32:00.500", "07:32:00.5"},
        {"07:32:00.000", "07:32:00"},
        {"1979-05-27T07:32:00.1234567891", "1979-05-27T07:32:00.123456789"},
    };
    for (const auto& [written, loaded] : spellings) {
        Value doc = Value::object();
        doc.set("d", datetime(written));
        Result<std::string> text = write_toml(doc);
        ASSERT_TRUE(text.ok()) << text.error().message;
        EXPECT_EQ(text.value(), "d = " + std::string(written) + "\n");
        Result<Value> back = parse_toml(text.value());
        ASSERT_TRUE(back.ok()) << error_of(back);
        EXPECT_EQ(json_text(back.value()), json_text(parsed_json("{\"d\":{" + kMarker + ":\"" + loaded + "\"}}")));
    }
}

TEST(toml_writing_round_trip, deepest_loadable_shapes) {
    expect_round_trip(parsed_json("{\"a\":" + repeat("[", kTomlMaxDepth - 1) +
                                repeat("]", kTomlMaxDepth - 1) + "}"));
    expect_round_trip(parsed_json(repeat("{\"a\":[", 63) + "{}" + repeat("]}", 63)));
    Value doc = parsed_json("{\"a\":" + repeat("[", kTomlMaxDepth - 3) + "[]" +
                          repeat("]", kTomlMaxDepth - 3) + "}");
    Value* innermost = &doc.as_object().begin()->value;
    while (!innermost->as_array().empty()) innermost = &innermost->as_array()[0];
    innermost->as_array().push_back(datetime("1979-05-27"));
    EXPECT_EQ(nesting_depth(doc, 1000), kTomlMaxDepth);
    expect_round_trip(doc);
}

TEST(toml_writing_round_trip, seed_file_reads_back_after_writing) {
    Result<Value> r = load_file(DriverKind::Toml, ZEL_TEST_DATA_DIR "/toml/settings.toml");
    ASSERT_TRUE(r.ok()) << error_of(r);
    // The seed holds inf and nan, which load as null: drop them to make it writable.
    r.value().find("temperatures")->as_array().resize(2);
    expect_round_trip(r.value());
}

// The keyed hash is SipHash: the reference vector of its definition (SipHash-2-4, key 00..0f,
// message 00..0e) checks the rounds; the prefix goes in as 8 little-endian bytes before the
// data; the process's key is not all zeros.
TEST(toml_table_index, keyed_hash_is_siphash) {
    const HashKey key{0x0706050403020100ull, 0x0F0E0D0C0B0A0908ull};
    std::string message;
    for (char c = 0; c < 15; ++c) message += c;
    EXPECT_EQ(siphash24(key, message), 0xA129CA6149BE45E5ull);
    EXPECT_EQ(siphash24(key, ""), 0x726FDB47DD0E0E31ull);
    const std::string prefixed = std::string("\x01\0\0\0\0\0\0\0", 8) + "a name";
    EXPECT_EQ(siphash13(key, 1, "a name"), siphash13(key, prefixed));
    EXPECT_NE(siphash13(key, 1, "a name"), siphash13(key, 2, "a name"));
    EXPECT_NE(keyed_hash(0, "a name"), siphash13(HashKey{0, 0}, 0, "a name"));
}

#ifdef ZEL_TEST_HOOKS
// Names that share one 64-bit libstdc++ std::hash<std::string_view> value (its block step is
// state = (state ^ mix(block)) * M with an invertible mix(), so from any state and first block
// a second block can be solved for that reaches a chosen state). Each stage is a set of 16-byte
// chunks taking one state to one common state; a name picks one chunk per stage. Only solved
// blocks of ASCII bytes are kept, so every name is valid UTF-8 (bench/toml_colliding_names.py
// writes the same names).
std::vector<std::string> std_hash_colliding_names(std::size_t count) {
    constexpr std::uint64_t kMul = 0xC6A4A7935BD1E995ull;
    std::uint64_t mul_inverse = kMul;  // Newton's iteration for the inverse modulo 2^64
    for (int i = 0; i < 6; ++i) mul_inverse *= 2 - kMul * mul_inverse;
    const auto shift_mix = [](std::uint64_t v) { return v ^ (v >> 47); };
    const auto mix = [&](std::uint64_t b) { return shift_mix(b * kMul) * kMul; };
    const auto unmix = [&](std::uint64_t d) { return shift_mix(d * mul_inverse) * mul_inverse; };
    const auto block_of = [](std::string_view bytes) {
        std::uint64_t v = 0;
        for (int i = 7; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[i]);
        return v;
    };
    constexpr std::size_t kChunks = 32;
    std::size_t stages = 1;
    for (std::size_t reach = kChunks; reach < count; reach *= kChunks) ++stages;
    std::uint64_t state = 0xC70F6907ull ^ (16 * stages * kMul);
    std::vector<std::vector<std::string>> chunks(stages);
    for (std::size_t stage = 0; stage < stages; ++stage) {
        std::uint64_t target = 0;
        for (std::size_t n = 0; chunks[stage].size() < kChunks; ++n) {
            char first[9];
            std::snprintf(first, sizeof first, "%02zu%06zu", stage, n);
            const std::uint64_t after = (state ^ mix(block_of(first))) * kMul;
            std::uint64_t second;
            if (n == 0) {
                second = block_of("tail----");
                target = after ^ mix(second);
            } else {
                second = unmix(target ^ after);
                if (second & 0x8080808080808080ull) continue;
            }
            std::string chunk(first, 8);
            for (int i = 0; i < 8; ++i) chunk += static_cast<char>((second >> (8 * i)) & 0xFF);
            chunks[stage].push_back(chunk);
        }
        state = target * kMul;
    }
    std::vector<std::string> names;
    for (std::size_t i = 0; i < count; ++i) {
        std::string name;
        for (std::size_t stage = 0, rest = i; stage < stages; ++stage, rest /= kChunks)
            name += chunks[stage][rest % kChunks];
        names.push_back(name);
    }
    return names;
}

std::string toml_basic_key(std::string_view name) {
    std::string out = "\"";
    for (char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || c == '"' || c == '\\') {
            char escape[7];
            std::snprintf(escape, sizeof escape, "\\u%04X", b);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// The table index counts the slots it inspects: N tables whose names collide under a known,
// unkeyed string hash still cost the index O(N) slots, not O(N^2).
TEST(toml_table_index, names_chosen_to_collide_stay_linear) {
    constexpr std::size_t kTables = 4000;
    const std::vector<std::string> names = std_hash_colliding_names(kTables);
#if defined(__GLIBCXX__)
    if (sizeof(std::size_t) == 8) {  // the names are built for this hash
        for (const std::string& name : names)
            ASSERT_EQ(std::hash<std::string_view>()(name), std::hash<std::string_view>()(names[0]));
    }
#endif
    std::string text;
    for (const std::string& name : names)
        text.append("[").append(toml_basic_key(name)).append("]\nv = 1\n");
    // Coming back to each table (for a sub-table) looks it up by name.
    for (const std::string& name : names)
        text.append("[").append(toml_basic_key(name)).append(".s]\n");
    const std::uint64_t before = toml_index_probes();
    Result<Value> r = parse_toml(text);
    const std::uint64_t probes = toml_index_probes() - before;
    ASSERT_TRUE(r.ok()) << error_of(r);
    ASSERT_EQ(r.value().as_object().size(), kTables);
    RecordProperty("probes", std::to_string(probes));
    // Every header looks its name up and places it; a half-full table averages a few slots per
    // step. Colliding names in one probe chain would need about kTables^2 / 2 slots.
    EXPECT_LT(probes, 10 * kTables) << probes << " slots for " << kTables << " tables";
}
#endif

}  // namespace
}  // namespace zel
