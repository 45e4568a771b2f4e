// Tests of the YAML reader and writer: the scalar typing table, documents, keys, anchors and
// the alias expansion bound, nesting limits, malformed input with its messages, reading a
// file, the writer's exact text for a few documents, and reader-after-writer round trips.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "drivers/drivers.hpp"
#include "formats/format.hpp"
#include "formats/json/reader.hpp"
#include "formats/json/writer.hpp"
#include "formats/yaml/block_reader.hpp"
#include "formats/yaml/reader.hpp"
#include "formats/yaml/scalars.hpp"
#include "formats/yaml/writer.hpp"
#include "test_support.hpp"

namespace zel {
namespace {

using namespace std::string_literals;

using namespace test;

// The expected tree written as compact JSON, in the same rendering as json_text.
std::string json(std::string_view compact) { return outcome(parse_json(compact)); }

// Reads an open file as loading does.
Result<Value> read_yaml_file(int fd) { return read_document(format_info(Format::Yaml), fd); }

Result<Value> read_through_file(const std::string& text) {
    return read_through_temp_file(text, read_yaml_file);
}

// ---- scalar typing: the text of `v: <text>` and the value it loads as ----

struct Typing : TextCase<Typing> {
    std::string json;  // JSON text of the expected value
};

class yaml_typing : public ::testing::TestWithParam<Typing> {};

TEST_P(yaml_typing, scalar_loads_as) {
    const Result<Value> r = parse_yaml("v: " + GetParam().text + "\n");
    ASSERT_TRUE(r.ok()) << r.error().message;
    EXPECT_EQ(json_text(*r.value().find("v")), GetParam().json);
}

INSTANTIATE_TEST_SUITE_P(plain, yaml_typing, ::testing::Values(
    Typing{"", "null"}, Typing{"~", "null"}, Typing{"null", "null"}, Typing{"Null", "null"},
    Typing{"NULL", "null"}, Typing{"nULL", "\"nULL\""},
    Typing{"true", "true"}, Typing{"True", "true"}, Typing{"TRUE", "true"}, Typing{"false", "false"},
    Typing{"False", "false"}, Typing{"FALSE", "false"}, Typing{"tRUE", "\"tRUE\""},
    Typing{"yes", "\"yes\""}, Typing{"on", "\"on\""}, Typing{"n", "\"n\""},
    Typing{"0", "0"}, Typing{"-0", "0"}, Typing{"+12", "12"}, Typing{"-12", "-12"},
    Typing{"0x1F", "31"}, Typing{"0x1f", "31"}, Typing{"-0x10", "-16"}, Typing{"+0o17", "15"},
    Typing{"0b101", "5"}, Typing{"0X1F", "\"0X1F\""}, Typing{"0x", "\"0x\""}, Typing{"0o8", "\"0o8\""},
    Typing{"0b2", "\"0b2\""}, Typing{"+-1", "\"+-1\""}, Typing{"--1", "\"--1\""}, Typing{"1_000", "\"1_000\""},
    Typing{"0x-1", "\"0x-1\""}, Typing{"18446744073709551615", "18446744073709551615"},
    Typing{"-9223372036854775808", "-9223372036854775808"}, Typing{"9999999999999999999", "9999999999999999999"},
    Typing{"+0009", "\"+0009\""}, Typing{"12a", "\"12a\""},
    Typing{"0xFFFFFFFFFFFFFFFF", "18446744073709551615"},
    // Integers too long even for 128 bits keep their digits as text.
    Typing{"340282366920938463463374607431768211456", "\"340282366920938463463374607431768211456\""},
    Typing{"0123", "\"0123\""}, Typing{"-007", "\"-007\""}, Typing{"00", "\"00\""},
    Typing{"1.5", "1.5"}, Typing{"-2e3", "-2000.0"}, Typing{"5.", "5.0"}, Typing{".5", "0.5"},
    Typing{"+1.5", "1.5"}, Typing{"1E3", "1000.0"}, Typing{"1e+20", "1e+20"}, Typing{"00.5", "0.5"},
    Typing{"01e2", "100.0"}, Typing{"1e-400", "0.0"}, Typing{"-1e-400", "-0.0"}, Typing{"1e400", "\"1e400\""},
    Typing{"1.", "1.0"}, Typing{".", "\".\""}, Typing{"1e", "\"1e\""}, Typing{"e3", "\"e3\""},
    Typing{".inf", "null"}, Typing{"+.Inf", "null"}, Typing{"-.INF", "null"}, Typing{".nan", "null"},
    Typing{".NaN", "null"}, Typing{".NAN", "null"}, Typing{"+.nan", "\"+.nan\""}, Typing{".nAn", "\".nAn\""},
    Typing{"inf", "\"inf\""}, Typing{"-inf", "\"-inf\""}, Typing{"nan", "\"nan\""},
    Typing{"Infinity", "\"Infinity\""}, Typing{"0x1p3", "\"0x1p3\""}, Typing{"1 2", "\"1 2\""},
    Typing{"café", "\"café\""}, Typing{"<<", "\"<<\""}));

INSTANTIATE_TEST_SUITE_P(quoted_or_block, yaml_typing, ::testing::Values(
    Typing{"'true'", "\"true\""}, Typing{"\"1\"", "\"1\""}, Typing{"''", "\"\""}, Typing{"'~'", "\"~\""},
    Typing{"\".inf\"", "\".inf\""}, Typing{"\"a\\tb\\u00e9\"", "\"a\\tbé\""},
    Typing{"'a''''b'", "\"a''b\""}, Typing{"' a ''\n\n  b '", "\" a '\\nb \""},
    Typing{"\"a\\  \n  b\\\n  c\\t\n  d\"", "\"a  bc\\t d\""},
    Typing{"|\n  12\n", "\"12\\n\""}, Typing{">-\n  null\n", "\"null\""}));

// Tags other than the core scalar tags and the non-specific "!" leave the style to decide.
INSTANTIATE_TEST_SUITE_P(tagged, yaml_typing, ::testing::Values(
    Typing{"!!null null", "null"}, Typing{"!!null '~'", "null"}, Typing{"!!null", "null"},
    Typing{"!!null ''", "null"}, Typing{"!!bool 'True'", "true"},
    Typing{"!!int \"12\"", "12"}, Typing{"!!int -0x10", "-16"}, Typing{"!!float 1", "1.0"},
    Typing{"!!float 0123", "123.0"}, Typing{"!!float -.inf", "null"}, Typing{"!!float \".nan\"", "null"},
    Typing{"!<tag:yaml.org,2002:int> 7", "7"}, Typing{"!!str 12", "\"12\""}, Typing{"!!str true", "\"true\""}, Typing{"!!str '12'", "\"12\""},
    Typing{"! 12", "\"12\""}, Typing{"!local true", "true"}, Typing{"!!binary abc", "\"abc\""}));

struct Failing : TextCase<Failing> {
    std::string message;  // after "YAML parse error: "
};

class yaml_failing : public ::testing::TestWithParam<Failing> {};

TEST_P(yaml_failing, fails_with_message_from_memory_and_file) {
    const std::string expected = "YAML parse error: " + GetParam().message;
    EXPECT_TRUE(fails_with(parse_yaml(GetParam().text), ErrorKind::Parse, expected));
    EXPECT_EQ(outcome(read_through_file(GetParam().text)), expected);
    EXPECT_EQ(outcome(parse_yaml_general(GetParam().text)), expected);
}

INSTANTIATE_TEST_SUITE_P(scalars, yaml_failing, ::testing::Values(
    Failing{"v: 18446744073709551616", "JSON number out of range at line 1 column 4"},
    Failing{"v: -9223372036854775809", "JSON number out of range at line 1 column 4"},
    Failing{"v: -9999999999999999999", "JSON number out of range at line 1 column 4"},
    Failing{"v: 0xFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF", "JSON number out of range at line 1 column 4"},
    Failing{"v: -170141183460469231731687303715884105728", "JSON number out of range at line 1 column 4"},
    Failing{"- !!int 0123", "invalid value for tag !!int at line 1 column 3"},
    Failing{"- !!int 1.5", "invalid value for tag !!int at line 1 column 3"},
    Failing{"- !!int 1" + std::string(40, '0'), "JSON number out of range at line 1 column 3"},
    Failing{"- !!null 'x'", "invalid value for tag !!null at line 1 column 3"},
    Failing{"- !!bool yes", "invalid value for tag !!bool at line 1 column 3"},
    Failing{"- !!float inf", "invalid value for tag !!float at line 1 column 3"},
    Failing{"- !!float 1e400", "invalid value for tag !!float at line 1 column 3"}));

INSTANTIATE_TEST_SUITE_P(structure, yaml_failing, ::testing::Values(
    Failing{"a: 1\n---\nb: 2\n", "deserializing from YAML containing more than one document is not supported"},
    Failing{"---\n...\n---\n", "deserializing from YAML containing more than one document is not supported"},
    Failing{"[1]: x", "a mapping or sequence cannot be a mapping key at line 1 column 1"},
    Failing{"? {a: 1}\n: x\n", "a mapping or sequence cannot be a mapping key at line 1 column 3"},
    Failing{"s: &s [1]\n*s : x\n", "a mapping or sequence cannot be a mapping key at line 2 column 1"},
    Failing{"a: *nowhere", "unknown anchor \"nowhere\" at line 1 column 4"},
    Failing{"a: &x [1, *x]", "alias \"x\" refers to a node that contains it at line 1 column 11"},
    Failing{"a: b\n c: d\n", "invalid multiline plain key at line 1 column 4"},
    Failing{"a:\n  b: 1\n c: 2\n", "invalid indentation in mapping at line 3 column 2"},
    // Nodes that are not inside their block collection, and directives without "---".
    Failing{"k:\nx\n", "wrongly indented node in block collection at line 2 column 1"},
    Failing{"-\nx\n", "wrongly indented node in block collection at line 2 column 1"},
    Failing{"k:\n[x]\n", "wrongly indented node in block collection at line 2 column 1"},
    Failing{"k: !!str\nx\n", "wrongly indented node in block collection at line 2 column 1"},
    Failing{" k: |\n x\n", "wrongly indented line in block scalar at line 2 column 2"},
    Failing{"- a: >\n  x\n", "wrongly indented line in block scalar at line 2 column 3"},
    Failing{"k: : v", "invalid nested block mapping on the same line at line 1 column 4"},
    Failing{"%YAML 1.2\nfoo", "missing document start after directives at line 2 column 1"},
    Failing{"%TAG !e! tag:e,2000:\n- x\n", "missing document start after directives at line 2 column 1"},
    Failing{"a: [1, 2", "flow sequence without a closing bracket at line 2 column 1"},
    Failing{"\"abc", "double-quoted scalar without closing quote at line 1 column 2"},
    Failing{"a: \xff", "invalid leading UTF-8 octet at line 1 column 4"},
    Failing{"é: x\n\xc3", "incomplete UTF-8 octet sequence at line 2 column 1"},
    Failing{"a: \xed\xa0\x80", "invalid Unicode character at line 1 column 4"},
    Failing{"a: b\0c"s, "control characters are not allowed at line 1 column 5"},
    Failing{"a: \"\\ud800\"", "double-quoted scalar has invalid UTF8 escape at line 1 column 5"}));

std::string nested_flow(std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

TEST(yaml_nesting, limit_is_128_levels_and_checked_before_reading_deeper) {
    const Result<Value> flow = parse_yaml(nested_flow(128));
    ASSERT_TRUE(flow.ok()) << flow.error().message;
    EXPECT_EQ(nesting_depth(flow.value(), 1000), 128u);
    std::string block;  // 127 nested mappings holding a sequence
    for (std::size_t i = 0; i < 127; ++i) block += std::string(i, ' ') + "k:\n";
    const Result<Value> mappings = parse_yaml(block + std::string(127, ' ') + "- 1\n");
    ASSERT_TRUE(mappings.ok()) << mappings.error().message;
    EXPECT_EQ(nesting_depth(mappings.value(), 1000), 128u);
    EXPECT_EQ(outcome(parse_yaml(nested_flow(129))),
              "YAML parse error: recursion limit exceeded at line 1 column 129");
    EXPECT_EQ(outcome(parse_yaml(std::string(100000, '['))),
              "YAML parse error: recursion limit exceeded at line 1 column 129");
    std::string dashes;
    for (int i = 0; i < 100000; ++i) dashes += "- ";
    EXPECT_EQ(outcome(parse_yaml(dashes + "x")),
              "YAML parse error: recursion limit exceeded at line 1 column 257");
    // An alias may not carry a copy past the limit either.
    EXPECT_EQ(outcome(parse_yaml("a: &d " + nested_flow(100) + "\nb: " + std::string(28, '[') + "*d" +
                                 std::string(28, ']'))),
              "YAML parse error: recursion limit exceeded at line 2 column 32");
}

// ---- documents, keys, anchors ----

TEST(yaml_documents, empty_streams_give_a_null_root_and_one_document_loads) {
    for (const char* text : {"", "# only\n# comments\n", "   \n", "---\n", "--- # c\n...\n"})
        EXPECT_EQ(outcome(parse_yaml(text)), "null") << text;
    EXPECT_EQ(outcome(parse_yaml("%YAML 1.2\n---\na: 1\n...\n# after\n")), json(R"({"a": 1})"));
    EXPECT_EQ(outcome(parse_yaml("\xEF\xBB\xBF- x")), json(R"(["x"])"));
    EXPECT_EQ(outcome(parse_yaml("plain root")), "\"plain root\"");
}

TEST(yaml_documents, cr_lf_and_cr_line_breaks_read_as_line_feeds) {
    const std::string lf =
        "a: 'x\n '\nb: \"x\n \"\nc: \"x\\\n  y\n \"\nd: |\n  l1\n\n  l2\ne: >\n  f1\n  f2\n\n  f3\n"
        "f: p1\n  p2\n";
    EXPECT_EQ(outcome(parse_yaml(lf)), json(R"({"a": "x ", "b": "x ", "c": "xy ", "d": "l1\n\nl2\n",
                                               "e": "f1 f2\nf3\n", "f": "p1 p2"})"));
    for (const std::string breaks : {"\r\n", "\r"}) {
        std::string other;
        for (const char c : lf) other += c == '\n' ? breaks : std::string(1, c);
        EXPECT_EQ(outcome(parse_yaml(other)), outcome(parse_yaml(lf))) << other;
    }
    // Every break its own kind, after comments that move the text across word boundaries.
    std::mt19937 random(3);
    for (int round = 0; round < 200; ++round) {
        const std::string text = "#" + std::string(round % 9, 'c') + "\n" + lf + "g: [1,\n  2]\n";
        std::string other;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] != '\n') {
                other += text[i];
                continue;
            }
            const unsigned kind = random() % 3;  // a lone CR before an LF would join it
            other += kind == 0 ? "\n" : kind == 1 || (i + 1 < text.size() && text[i + 1] == '\n') ? "\r\n" : "\r";
        }
        EXPECT_EQ(outcome(parse_yaml(other)), outcome(parse_yaml(text))) << other;
    }
    // Long documents, whose breaks are changed in the text itself as a file is loaded: lines
    // of every length move by as many bytes as CRs went before them, in blocks once that is
    // a block or more.
    for (int round = 0; round < 60; ++round) {
        std::string text = "#" + std::string(round % 9, 'c') + "\n";
        for (int i = 0; i < 40 + round; ++i)
            text += "k" + std::to_string(i) + ": " + std::string(random() % 40, 'a' + i % 26) +
                    "\n";
        text += "d: |\n  l1\n\n  l2\n";
        std::string other;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] != '\n') {
                other += text[i];
                continue;
            }
            const unsigned kind = random() % 4;
            const bool before_lf = i + 1 < text.size() && text[i + 1] == '\n';
            other += kind == 0 ? "\n" : kind == 3 && !before_lf ? "\r" : "\r\n";
        }
        const std::string expected = outcome(parse_yaml(text));
        EXPECT_EQ(outcome(parse_yaml(other)), expected) << other;
        std::string in_place = other;
        EXPECT_EQ(outcome(parse_yaml_in_place(in_place.data(), in_place.size())), expected) << other;
        EXPECT_EQ(outcome(read_through_file(other)), expected) << other;
    }
}

// Whole documents and the tree they load as (compact JSON), the same from memory, from a file
// and through the general reader alone.
struct Exact : TextCase<Exact> {
    std::string json;
};

class yaml_exact : public ::testing::TestWithParam<Exact> {};

TEST_P(yaml_exact, loads_as) {
    const std::string expected = json(GetParam().json);
    EXPECT_EQ(outcome(parse_yaml(GetParam().text)), expected);
    EXPECT_EQ(outcome(parse_yaml_general(GetParam().text)), expected);
    EXPECT_EQ(outcome(read_through_file(GetParam().text)), expected);
}

// A line of spaces only: empty up to the indentation, content beyond it; the indentation is
// the indicator's count past the parent collection's column (past column 0 at the top).
INSTANTIATE_TEST_SUITE_P(block_scalars, yaml_exact, ::testing::Values(
    Exact{"|1\n  \n", R"(" \n")"}, Exact{"- |2\n     \n", R"(["   \n"])"},
    Exact{"|1-\n   \n", R"("  ")"}, Exact{"|1+\n  \n\n", R"(" \n\n")"}, Exact{">1\n  \n", R"(" \n")"},
    Exact{"a: |1\n  \n", R"({"a": " \n"})"}, Exact{"a:\n- |1\n   \n", R"({"a": ["  \n"]})"},
    Exact{"- - |1\n     \n", R"([["  \n"]])"}, Exact{"|2\n  \n", R"("")"}, Exact{"|2+\n  \n", R"("\n")"},
    Exact{"|\n  x\n     \n", R"("x\n   \n")"}, Exact{"|1\n  \n  x\n", R"(" \n x\n")"},
    Exact{">\n  a\n  b\n\n  c\n   d\n  e\n", R"("a b\nc\n d\ne\n")"},
    Exact{">\n\n  a\n\n\n  b\n", R"("\na\n\nb\n")"}, Exact{">-\n  a\n \n", R"("a")"},
    Exact{"a: !!str |+\n  x\n\n  \n# c\nb: 1\n", R"({"a": "x\n\n\n", "b": 1})"},
    Exact{"? |\n  k\n: v\n", R"({"k\n": "v"})"},
    // The end of the input without a line break keeps none.
    Exact{"k: |\n  x", R"({"k": "x"})"}, Exact{"k: >+\n  x", R"({"k": "x"})"},
    Exact{"k: |+\n  x\n\n", R"({"k": "x\n\n"})"}, Exact{"k: |\n  x\n  ", R"({"k": "x\n"})"},
    Exact{"k: |", R"({"k": ""})"}));

// CR LF is one line break, CR alone another.
INSTANTIATE_TEST_SUITE_P(line_breaks, yaml_exact, ::testing::Values(
    Exact{"a\r\r\nb", R"("a\nb")"}, Exact{"a\r\rb", R"("a\nb")"}, Exact{"a\r\n\r\nb", R"("a\nb")"},
    Exact{"k: |\r  x\r\r\n  y\r", R"({"k": "x\n\ny\n"})"}, Exact{"- 'a\r\r\n  b'", R"(["a\nb"])"}));

INSTANTIATE_TEST_SUITE_P(null_tag, yaml_exact, ::testing::Values(
    Exact{"a: !!null", R"({"a": null})"}, Exact{"a: !!null\nb: 1\n", R"({"a": null, "b": 1})"},
    Exact{"- !!null\n- !!null ~\n", "[null, null]"}));

TEST(yaml_keys, scalar_keys_are_their_text_and_a_repeated_key_keeps_the_later_value) {
    const Result<Value> r = parse_yaml(
        "1: a\ntrue: b\n~: c\n0x1F: d\n'q': e\n!!int 7: f\n?\n: g\n<<: {m: 1}\n1: later\n"
        "&k key: v\n*k : again\n");
    ASSERT_TRUE(r.ok()) << r.error().message;
    const Object& o = r.value().as_object();
    std::vector<std::string> keys;
    for (const Member& m : o) keys.emplace_back(m.name());
    EXPECT_EQ(keys, (std::vector<std::string>{"", "0x1F", "1", "7", "<<", "key", "q", "true", "~"}));
    EXPECT_EQ(*r.value().find("1"), Value::string("later"));
    EXPECT_EQ(*r.value().find("key"), Value::string("again"));
    EXPECT_EQ(json_text(*r.value().find("<<")), json(R"({"m": 1})"));
}

TEST(yaml_anchors, aliases_copy_the_latest_definition_and_scalars_are_typed_where_used) {
    EXPECT_EQ(outcome(parse_yaml("x: &a 1\ny: *a\n*a : z\n")), json(R"({"1": "z", "x": 1, "y": 1})"));
    EXPECT_EQ(outcome(parse_yaml("- &x 1\n- &x two\n- *x\n")), json(R"([1, "two", "two"])"));
    EXPECT_EQ(outcome(parse_yaml("- &a [&a 1]\n- *a\n")), json("[[1], 1]"));
    EXPECT_EQ(outcome(parse_yaml("a: &m {k: [1]}\na: 2\nb: *m\n")),
              json(R"({"a": 2, "b": {"k": [1]}})"));
}

TEST(yaml_anchors, settings_file_with_shared_defaults_loads) {
    const int fd = ::open(ZEL_TEST_DATA_DIR "/yaml/settings.yaml", O_RDONLY);
    ASSERT_GE(fd, 0);
    Result<Value> r = read_yaml_file(fd);
    ::close(fd);
    ASSERT_TRUE(r.ok()) << r.error().message;
    const Value& doc = r.value();
    ASSERT_NE(doc.find("defaults"), nullptr);
    EXPECT_EQ(*doc.find("development"), *doc.find("defaults"));
    // "<<" is an ordinary key: nothing is merged.
    EXPECT_EQ(*doc.find("production")->find("<<"), *doc.find("defaults"));
    EXPECT_EQ(json_text(*doc.find("defaults")),
              json(R"({"hosts": ["alpha", "beta"], "ratio": 0.75, "retries": 3, "timeout": 30,
                       "verbose": false})"));
    EXPECT_EQ(*doc.find("notes"), Value::string("first line\nsecond line\n"));
    EXPECT_EQ(json_text(*doc.find("ids")), json(R"([31, 15, 5, -12, "0123"])"));
    EXPECT_EQ(json_text(*doc.find("flags")), json(R"([true, false, null, null, null, 1000.0, "yes"])"));
    EXPECT_EQ(*doc.find("window")->find("title"), Value::string("café"));
}

TEST(yaml_anchors, alias_expansion_is_bounded_in_proportion_to_the_input) {
    const int fd = ::open(ZEL_TEST_DATA_DIR "/yaml/alias_bomb.yaml", O_RDONLY);
    ASSERT_GE(fd, 0);
    const std::string bomb_message = outcome(read_yaml_file(fd));
    ::close(fd);
    EXPECT_EQ(bomb_message,
              "YAML parse error: alias expansion exceeds " + std::to_string(kYamlAliasNodesFloor) +
                  " nodes (possible alias bomb) at line 8 column 10");

    // A larger input earns a larger bound, in proportion to its size.
    std::string padded = "# " + std::string(20000, 'p') + "\nl0: &l0 [x, x, x, x, x, x, x, x, x, x]\n";
    for (int level = 1; level < 9; ++level) {
        const std::string n = std::to_string(level), below = std::to_string(level - 1);
        padded.append("l").append(n).append(": &l").append(n).append(" [*l").append(below);
        for (int i = 1; i < 10; ++i) padded.append(", *l").append(below);
        padded.append("]\n");
    }
    const std::string expected = "YAML parse error: alias expansion exceeds " +
                                 std::to_string(kYamlAliasNodesPerByte * padded.size()) +
                                 " nodes (possible alias bomb)";
    EXPECT_EQ(outcome(parse_yaml(padded)).substr(0, expected.size()), expected);

    // Copies count by their size too: ten thousand copies of a 100,000-byte string, as values
    // or as keys, would take a gigabyte from a 140 KB file. Each adds 16 bytes for its node.
    for (const std::string use : {"*a", "{*a : 1}"}) {
        std::string wide = "a: &a \"" + std::string(100000, 'x') + "\"\nb: [" + use;
        for (int i = 1; i < 10000; ++i) wide += ", " + use;
        const std::size_t copies = kYamlAliasBytesFloor / 100016 + 1;  // the first one too many
        const std::size_t column = 5 + (copies - 1) * (use.size() + 2) + (use[0] == '{');
        EXPECT_EQ(outcome(parse_yaml(wide + "]\n")),
                  "YAML parse error: alias expansion exceeds " +
                      std::to_string(kYamlAliasBytesFloor) +
                      " bytes (possible alias bomb) at line 2 column " + std::to_string(column));
    }

    // Many aliases of shared defaults expand past the floor and still load.
    std::string shared = "d: &d [1, 2, 3, 4, 5, 6, 7, 8, 9, 10]\nuses:\n";
    for (int i = 0; i < 100000; ++i) shared += "- *d\n";
    const Result<Value> r = parse_yaml(shared);
    ASSERT_TRUE(r.ok()) << r.error().message;
    EXPECT_EQ(r.value().find("uses")->as_array().size(), 100000u);
    EXPECT_EQ(r.value().find("uses")->as_array().back(), *r.value().find("d"));
}

TEST(yaml_file, read_errors_and_reads_across_the_buffer) {
    const int dir = ::open("/tmp", O_RDONLY | O_DIRECTORY);
    ASSERT_GE(dir, 0);
    EXPECT_EQ(outcome(read_yaml_file(dir)), "YAML parse error: Is a directory (os error 21)");
    ::close(dir);
    const std::string long_text(20000, 'y');
    EXPECT_EQ(outcome(read_through_file("k: " + long_text + "\nn: 0x10\n")),
              json(R"({"k": ")" + long_text + R"(", "n": 16})"));
}

// ---- writer ----

// Builders for trees of move-only nodes: array_of(v...), object_of("key", v, ...).
template <class... V>
Value array_of(V... items) {
    Array a;
    (a.push_back(std::move(items)), ...);
    return Value::array(std::move(a));
}
void add_members(Value&) {}
template <class... Rest>
void add_members(Value& o, std::string key, Value v, Rest... rest) {
    o.set(key, std::move(v));
    add_members(o, std::move(rest)...);
}
template <class... M>
Value object_of(M... members) {
    Value o = Value::object();
    add_members(o, std::move(members)...);
    return o;
}

std::string written(const Value& v) {
    Result<std::string> r = write_yaml(v);
    return r.ok() ? r.value() : "error: " + r.error().message;
}

TEST(yaml_writer, writes_block_style_with_quoting_by_reading) {
    EXPECT_EQ(written(object_of("b", array_of(Value::uinteger(1), Value::floating(2.5)), "a",
                                Value::object())),
              "a: {}\nb:\n- 1\n- 2.5\n");
    EXPECT_EQ(written(object_of("text", Value::string("line1\nline2\n"), "m",
                                object_of("k", array_of(object_of("x", Value::null()))), "say",
                                Value::string("hello world"))),
              "m:\n  k:\n  - x: null\nsay: hello world\ntext: |\n  line1\n  line2\n");
    EXPECT_EQ(written(array_of(Value::string("true"), Value::string("1"), Value::string(""),
                                Value::string("0x1F"), Value::string("1e3"), Value::string("~"),
                                Value::string(".inf"), Value::string("0123"), Value::string("- a"),
                                Value::string("a\tb"), Value::boolean(false), Value::integer(-3),
                                Value::floating(1.0), Value::floating(1e20), Value::array())),
              "- 'true'\n- '1'\n- ''\n- '0x1F'\n- '1e3'\n- '~'\n- '.inf'\n- '0123'\n- '- a'\n"
              "- \"a\\tb\"\n- false\n- -3\n- 1.0\n- 1e+20\n- []\n");
    EXPECT_EQ(written(object_of("1", Value::uinteger(1), "null", Value::null())),
              "'1': 1\n'null': null\n");
    EXPECT_EQ(written(Value::null()), "null\n");
    EXPECT_EQ(written(Value::string("")), "''\n");
    EXPECT_EQ(written(Value::object()), "{}\n");
    const Result<std::string> invalid = write_yaml(Value::string("\xff"));
    ASSERT_FALSE(invalid.ok());
    EXPECT_EQ(invalid.error().kind, ErrorKind::Writer);
}

// ---- the fast reader of plain block YAML: it answers for the plain shapes, and every text
// reads as libfyaml alone reads it (a tree, or the same error) ----

bool typed_plain(std::string_view text, Value& out) {
    // Lines folded into one scalar: typed as the reader types them.
    if (text.find('\n') != std::string_view::npos) return type_plain_scalar(text, out);
    const Result<Value> r = parse_yaml_general("- " + std::string(text) + "\n");
    if (!r) return false;
    out = r.value().as_array()[0].deep_copy();
    return true;
}

struct BlockShape : TextCase<BlockShape> {
    bool fast;  // the fast reader answers
};

class yaml_block_shapes : public ::testing::TestWithParam<BlockShape> {};

TEST_P(yaml_block_shapes, read_as_libfyaml_reads_them) {
    const std::string& text = GetParam().text;
    EXPECT_EQ(outcome(parse_yaml(text)), outcome(parse_yaml_general(text)));
    Value fast;
    EXPECT_EQ(read_plain_block_yaml(text, typed_plain, fast), GetParam().fast);
}

INSTANTIATE_TEST_SUITE_P(answered, yaml_block_shapes, ::testing::Values(
    BlockShape{"a: 1\nb:\n  c: x[y]\n  d: {}\ne: []\n", true},
    BlockShape{"# head\na:   # after\n\n  - 1\n  -   x y  # c\n  - - 2\n    - -3\n", true},
    BlockShape{"a:\n  - b: 1\n    c:\n    - 'it''s'\n    d: \"q # r\"\n  -\n    e: ~\nf: g\n", true},
    BlockShape{"  root: indented\n  'k': v\n  \"k2\": v\n  k::x: a:b c#d\n", true},
    BlockShape{"- a\n-\n- b: 1\n  c: 2\n- x:\n  y:\n", true},
    BlockShape{"a: 1\na: 2\nbig: 123456789012345678901234567890123456789012\nn: -.inf\n", true},
    BlockShape{"a: \"\\t\\u00e9\\x41\\\"\\\\ \\/\"\n\"k\\n\": 'it''s'\n", true},
    BlockShape{"--- \na: b\n", true}, BlockShape{"# c\n---  # d\n\n- x\n", true}));

INSTANTIATE_TEST_SUITE_P(left_to_libfyaml, yaml_block_shapes, ::testing::Values(
    BlockShape{"a:\n- \n- x\n", false},            // refused by libfyaml 0.7
    BlockShape{"a: 1\n  b: 2\n", false},           // indented under a scalar
    BlockShape{"a: b: c\n", false},
    BlockShape{"a:\n    b: 1\n  c: 2\n", false},
    BlockShape{"- a\nb: 1\n", false},
    BlockShape{"a: &x 1\nb: *x\n", false},
    BlockShape{"a: !!str 1\n", false},
    BlockShape{"a: 'x\n  y'\n", false},
    BlockShape{"a:\tb\n", false},
    BlockShape{"a: b\n...\n", false},
    BlockShape{"%YAML 1.2\n---\na: b\n", false},
    BlockShape{"? a\n: b\n", false},
    BlockShape{"plain root\n", false},
    BlockShape{"a: - b\n", false},
    BlockShape{"a : b\n", false},
    BlockShape{"a: 'b' c\n", false},
    BlockShape{"a: 99999999999999999999999\n", false},  // beyond 64 bits: an error
    BlockShape{"- - a\n  b: 1\n", false},
    BlockShape{"a: \"\\q\"\n", false},         // not an escape
    BlockShape{"a: \"x\\\n  y\"\n", false},     // an escaped line break
    BlockShape{"---\n---\na: b\n", false}, BlockShape{"--- a: b\n", false},
    BlockShape{"---\n", false}, BlockShape{"a: b\n---\nc: d\n", false},
    BlockShape{std::string(1101, '\'') + "': x\n", false}));  // a key beyond 1024 characters

// The fast reader leaves CR and byte order marks alone; parse_yaml gives it the text with LF
// line breaks, as libfyaml gets it, and without a byte order mark at the start.
struct ReadShape : TextCase<ReadShape> {};

class yaml_line_breaks_and_marks : public ::testing::TestWithParam<ReadShape> {};

TEST_P(yaml_line_breaks_and_marks, read_as_libfyaml_reads_them) {
    const std::string& text = GetParam().text;
    EXPECT_EQ(outcome(parse_yaml(text)), outcome(parse_yaml_general(text)));
    Value fast;
    EXPECT_FALSE(read_plain_block_yaml(text, typed_plain, fast));
}

INSTANTIATE_TEST_SUITE_P(all, yaml_line_breaks_and_marks, ::testing::Values(
    ReadShape{"a: b\r\n"}, ReadShape{"a: |\r\n  x\r\n\r\n  y\r\nb: [1,\r\n  2]\r\n"},
    ReadShape{"a: 'x\r\n  y'\r\n"}, ReadShape{"a: b\rc: d\r"}, ReadShape{"a: b\r\r\nc: d"},
    ReadShape{"a: |\r  x\r\r\n  y\r"}, ReadShape{"\xEF\xBB\xBF" "a: b\n"},
    ReadShape{"\xEF\xBB\xBF" "  a: b\n  c: d\n"}, ReadShape{"\xEF\xBB\xBF" "a: b\n c: d\n"},
    ReadShape{"\xEF\xBB\xBF" "- a\n -b\n"}, ReadShape{"\xEF\xBB\xBF" "\xEF\xBB\xBF" "a: b\n"},
    ReadShape{"\xEF\xBB\xBF" "---\na: b\n"}, ReadShape{"a: b\n\xEF\xBB\xBF" "c: d\n"},
    ReadShape{"\xEF\xBB\xBF" "a: |\r\n  x\r\n"}, ReadShape{"\xEF\xBB\xBF" "\r\na: b\r\n"}));

// Plain scalars on several lines, and values on the lines after their key.
INSTANTIATE_TEST_SUITE_P(plain_lines, yaml_block_shapes, ::testing::Values(
    BlockShape{"a: b\n  c\n", true},
    BlockShape{"a: long text\n  that wraps\n\n  and a paragraph\n\n\n   after two\nb: 1\n", true},
    BlockShape{"- a\n  b\n- c\n d\n", true}, BlockShape{"- k: a\n    b\n  j: c\n", true},
    BlockShape{"a: 1\n  2\n", true}, BlockShape{"a: x\n  y # c\nb: 1\n", true},
    BlockShape{"a: x\n   \n  y  \n", true}, BlockShape{"a: x\n  y\n\n\nb: 1\n", true},
    BlockShape{"a: x\n  y#z w:v\n", true}, BlockShape{"a: x\n  y\n# c\nb: 1\n", true},
    BlockShape{"a:\n  b\nc:\n  'd'\ne:\n  [1,\n   2]\n-\n", false},
    BlockShape{"a:\n  b\n  c\nd:\n    'e'\nf:\n  [1,\n   2]\ng:\n  {h: i}\n", true},
    BlockShape{"-\n  b\n-\n   c\n   d\n", true},
    BlockShape{"a: x\n  - y\n", false}, BlockShape{"a: x\n  y: z\n", false},
    BlockShape{"a: x\n  # c\n  y\n", false}, BlockShape{"a: x # c\n  y\n", false},
    BlockShape{"a: x\n  [y]\n", false}, BlockShape{"a: x\n  'y'\n", false},
    BlockShape{"- k: a\n  b\n", false}, BlockShape{"a: x\n  y:\n", false},
    BlockShape{"a: 'x'\n  y\n", false}, BlockShape{"a:\n  |\n   x\n", false},
    BlockShape{"a:\n  b\n c\n", true}, BlockShape{"a: x\n  ---\n", false},
    BlockShape{"a: x\n---\n", false}, BlockShape{"a:\n  x\n  y: 1\n", false}));

// Literal and folded block scalars: chomping, indentation indicators, folding of text,
// more-indented and empty lines, comments after them.
INSTANTIATE_TEST_SUITE_P(block_scalars, yaml_block_shapes, ::testing::Values(
    BlockShape{"a: |\n  text\n", true},
    BlockShape{"a: |\n  line 1\n  line 2\n\n  line 4\nb: 1\n", true},
    BlockShape{"a: >\n  folded\n  text\n\n  para\n    more\n    more 2\n\n  back\n  on\nb: x\n", true},
    BlockShape{"a: >\n\n\n  x\n\n\n  y\n\n    z\n  # not a comment\n", true},
    BlockShape{"a: |-\n  x\n\n\nb: 1\n", true}, BlockShape{"a: |+\n  x\n\n \nb: 1\n", true},
    BlockShape{"a: >+\n  x\n\n", true}, BlockShape{"a: >-\n  x\n  y  \n", true},
    BlockShape{"a: >\n  x\n   y\n  z\n", true}, BlockShape{"a: |\n  x", true},
    BlockShape{"a: |+\n  x\n  \n  ", true}, BlockShape{"a: >2-\n   \n  x\n", false},
    BlockShape{"- |\n  x\n- >\n  y\n  z\n-   |\n   w\n", true},
    BlockShape{"- a: |2\n    x\n     y\n  b: >-\n     z\n", true},
    BlockShape{"a:\n  b: |4-\n      x\n       y\n  c: 1\n", true},
    BlockShape{"a: | # comment\n  x\n# after\nb: 1\n", true},
    BlockShape{"a: |\n    x\n  # less indented comment\nb: 1\n", true},
    BlockShape{"a:\n  - |\n   x\n  - >-\n   y\n", true},
    BlockShape{"a: |2+\n  x\n\n", true}, BlockShape{"a: |-2\n  x\n", true},
    BlockShape{"--- # doc\na: >\n  x\n", true},
    BlockShape{"a: |\n", false}, BlockShape{"a: |\nb: 1\n", false},  // no content
    BlockShape{"a: |0\n  x\n", false}, BlockShape{"a: |10\n  x\n", false},
    BlockShape{"a: |--\n  x\n", false}, BlockShape{"a: |#c\n  x\n", false},
    BlockShape{"a: | x\n", false}, BlockShape{"a: |\n  \n   \n  x\n", false},
    BlockShape{"a: |1\n   x\n", false},          // more indented than the indicator says
    BlockShape{"a: |\n  x\n     \n", false},    // spaces beyond the indentation
    BlockShape{"a: |+\n  x\n\n# c\nb: 1\n", false},
    BlockShape{"a: |\n  x\n\ty\n", false}, BlockShape{"a: >\n  x\n b: 1\n", false},
    BlockShape{"- a: |\n  x\n", false}, BlockShape{"a: >\n  x\n  ---\n", true},
    BlockShape{"a: |\n  x\n---\n", false}, BlockShape{"a: |\n  x\n...\n", false}));

// Flow collections.
INSTANTIATE_TEST_SUITE_P(flow_collections, yaml_block_shapes, ::testing::Values(
    BlockShape{"a: [1, 2, three]\nb: []\nc: [ ]\nd: { }\n", true},
    BlockShape{"a: {k: v, k2: [1, 2]}\n", true},
    BlockShape{"- [a, 'b', \"c\"]\n- {x: 1}\n- - [y]\n", true},
    BlockShape{"a: [a, b, ]\nb: {a: 1,}\nc: [a,b]\n", true},
    BlockShape{"a: [[1, [2]], {b: {c: d}}, []]  # c\n", true},
    BlockShape{"a: [http://x.y/z, a:b, -1, -.inf, a#b, two  words , x?y]\n", true},
    BlockShape{"a: {'k''s': \"v\\tw\", \"q\\u00e9\": x, k:x: y}\n", true},
    BlockShape{"a: {x: 1, x: 2, y: [x, x]}\n", true},
    BlockShape{"a: [~, null, true, 0x1F, 1e3, '1', 99999999999999999999999999999999999999999]\n", true},
    BlockShape{"a: [1, 2\n  , 3]\n", true}, BlockShape{"a: [1, 2\n", false},
    BlockShape{"a: [a: 1]\n", false}, BlockShape{"a: [\"a\": 1]\n", false},
    BlockShape{"a: [\"a\":1]\n", false}, BlockShape{"a: [,]\n", false},
    BlockShape{"a: [a,,b]\n", false}, BlockShape{"a: {a}\n", false}, BlockShape{"a: {a: }\n", false},
    BlockShape{"a: {a:1}\n", false}, BlockShape{"a: {a: 1, b}\n", false},
    BlockShape{"a: {? a: 1}\n", false}, BlockShape{"a: [&x 1]\n", false},
    BlockShape{"a: [a] b\n", false}, BlockShape{"a: [a]#c\n", false}, BlockShape{"a: [-]\n", false},
    BlockShape{"a: [- a]\n", false}, BlockShape{"a: [a #c\n  ]\n", true},
    BlockShape{"a: {a : 1}\n", false}, BlockShape{"a: [\"\\q\"]\n", false},
    BlockShape{"a: [99999999999999999999999]\n", false}, BlockShape{"a: [a]]\n", false},
    BlockShape{"a: {[a]: b}\n", false}, BlockShape{"a: [a, b}\n", false},
    BlockShape{"a: [:a]\n", false}, BlockShape{"a: [a:]\n", false},
    BlockShape{"[a]: b\n", false}, BlockShape{"a: [a]\n  b: c\n", false},
    // on several lines, each indented more than the block collection that holds it
    BlockShape{"a: [\n  1, 2,\n  3\n  ]\nb: 1\n", true},
    BlockShape{"a: {  # c\n  k: v,  # comment\n\n  k2: [x,\n    y]\n }\n", true},
    BlockShape{"- [a,\n  b]\n- k: [a,\n     b]\n", true}, BlockShape{"a: [a,\n # c\n  b]\n", true},
    BlockShape{"a: [\n1]\n", false}, BlockShape{"a: [\n  1\n]\n", false},
    BlockShape{"a: [a\n  b]\n", false}, BlockShape{"a: {k:\n  v}\n", false},
    BlockShape{"a: {k\n  : v}\n", false}, BlockShape{"a: ['x\n  y']\n", false},
    BlockShape{"- k: [a,\n  b]\n", false}, BlockShape{"a: [a,\n# c\n  b]\n", false},
    BlockShape{"a: [a,\n", false}, BlockShape{"a: [a,\n  b]\n  c: d\n", false},
    BlockShape{"a: [a,\n  b] x\n", false}, BlockShape{"a: [a,\n---\n  b]\n", false}));

// The YAML test suite's streams, valid and invalid: each reads as libfyaml alone reads it.
TEST(yaml_block_shapes_suite, read_as_libfyaml_reads_them) {
    const std::string root = ZEL_TEST_DATA_DIR "/yaml-test-suite";
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        if (entry.path().filename() == "in.yaml") paths.push_back(entry.path().string());
    ASSERT_GT(paths.size(), 300u);
    int answered = 0;
    for (const std::string& path : paths) {
        const std::string text = file_contents(path);
        Value fast;
        answered += read_plain_block_yaml(text, typed_plain, fast);
        EXPECT_EQ(outcome(parse_yaml(text)), outcome(parse_yaml_general(text))) << path;
    }
    // Many streams are plain block YAML or the shapes above.
    EXPECT_GT(answered, 40);
}

// Texts made of block-YAML pieces, mostly valid and often not: each reads as libfyaml alone
// reads it. The fast reader must answer for a good share of them, or this proves little.
TEST(yaml_block_shapes_random, read_as_libfyaml_reads_them) {
    static const char* const kLead[] = {"", "- ", "-  ", "- - ", "-\n", "? ", "--- ", "... "};
    static const char* const kKey[] = {"a", "b c", "k:x", "'q'", "\"d\"", "'it''s'", "-k", "1", "~",
                                       "a#b", "a #b", "[k]", "x[1]", "é", "", "'", "a\tb", "*a"};
    static const char* const kSep[] = {": ", ":", " : ", ":  ", ": # c", "", ":\t"};
    static const char* const kValue[] = {
        "", "1", "-2", "0x1F", "1.5", ".inf", "null", "true", "word", "two words", "a: b", "a:b",
        "x #c", "x#c", "'s'", "'s''q'", "\"d\"", "\"e\\n\"", "'open", "[]", "{}", "[1]", "- x",
        "-x", "&a 1", "*a", "!!str 1", "|", ">-", "%", "@", "`", "99999999999999999999999",
        "123456789012345678901234567890123456789012", "é", "x ", "'s' x", "{}x"};
    std::mt19937_64 rng(7);
    int answered = 0;
    const int total = 20000;
    for (int i = 0; i < total; ++i) {
        std::string text;
        const bool sequences = rng() % 2;
        std::size_t indent = 0;
        for (std::uint64_t lines = 1 + rng() % 8; lines > 0; --lines) {
            const std::uint64_t kind = rng() % 16;
            // Mostly the indentation the previous line asks for, sometimes any.
            text.append(rng() % 5 == 0 ? rng() % 7 : indent, ' ');
            if (kind == 0) {
                text += "# comment";
            } else if (kind != 1) {
                text += kLead[rng() % 5 == 0 ? rng() % std::size(kLead) : sequences];
                const bool keyed = rng() % 4 != 0;
                if (keyed) {
                    text += kKey[rng() % 4 == 0 ? rng() % std::size(kKey) : rng() % 3];
                    text += kSep[rng() % 4 == 0 ? rng() % std::size(kSep) : 0];
                }
                const std::size_t v = rng() % 3 != 0 ? rng() % 10 : rng() % std::size(kValue);
                text += kValue[v];
                if (keyed && v == 0) indent += 2;  // "key:" opens a nested block
                else if (rng() % 3 == 0 && indent >= 2) indent -= 2;
            }
            if (rng() % 16 != 0) text += '\n';
        }
        Value fast;
        answered += read_plain_block_yaml(text, typed_plain, fast);
        ASSERT_EQ(outcome(parse_yaml(text)), outcome(parse_yaml_general(text))) << text;
    }
    EXPECT_GT(answered, total / 10);
}

// Texts with block scalars, flow collections and plain scalars on several lines as values,
// made of pieces that are often valid and sometimes not: each reads as libfyaml alone reads
// it, and the fast reader answers for a good share of them.
std::string random_flow(std::mt19937_64& rng, int depth) {
    static const char* const kScalar[] = {"a", "1", "-2", "x y", "'q'", "'it''s'", "\"d\"",
                                          "\"e\\n\\u00e9\"", "a:b", "a#b", "~", "true", "http://h/p",
                                          "-", "", "a #c", "'", "\"\\q\"", "&x a", "*x", "? a", ":",
                                          "-x", ".5", "a: b", "{", "]"};
    static const char* const kSep[] = {", ", ",", " , ", ",  ", ",, ", ", \n  "};
    const bool mapping = rng() % 2;
    std::string text(mapping ? "{" : "[");
    if (rng() % 3 == 0) text += ' ';
    for (std::uint64_t n = rng() % 4, k = 0; k < n; ++k) {
        if (k > 0) text += kSep[rng() % 6 == 0 ? rng() % std::size(kSep) : 0];
        const auto item = [&] {
            if (depth < 3 && rng() % 4 == 0) return random_flow(rng, depth + 1);
            return std::string(kScalar[rng() % 2 == 0 ? rng() % std::size(kScalar) : rng() % 10]);
        };
        if (mapping) {
            text += kScalar[rng() % 4 == 0 ? rng() % std::size(kScalar) : rng() % 8];
            text += rng() % 8 == 0 ? (rng() % 2 ? ":" : " : ") : ": ";
        }
        text += item();
    }
    if (rng() % 6 == 0) text += ',';
    if (rng() % 3 == 0) text += ' ';
    text += rng() % 20 == 0 ? (mapping ? "]" : "}") : (mapping ? "}" : "]");
    return text;
}

std::string random_block_scalar(std::mt19937_64& rng, std::size_t parent) {
    static const char* const kHeader[] = {"|", ">", "|-", ">-", "|+", ">+", "|2", ">1-", "|+2",
                                          "| # c", ">  ", "|#c", "|0", "|-+", "| x", ">3"};
    static const char* const kText[] = {"x", "two words", "#x", "- a", "k: v", "x  ", "'q'",
                                        "[a]", "---", "é"};
    std::string text = kHeader[rng() % 4 == 0 ? rng() % std::size(kHeader) : rng() % 6];
    text += '\n';
    const std::size_t indent = parent + 1 + rng() % 3;
    for (std::uint64_t lines = rng() % 6; lines > 0; --lines) {
        const std::uint64_t kind = rng() % 10;
        if (kind < 2) {  // an empty line, maybe with spaces
            text.append(rng() % 3 == 0 ? rng() % (indent + 3) : 0, ' ');
        } else if (kind == 2) {
            text.append(rng() % (indent + 1), ' ');
            text += "# comment";
        } else {
            text.append(kind == 3 ? indent + 1 + rng() % 2 : kind == 4 ? rng() % (indent + 1) : indent, ' ');
            text += kText[rng() % std::size(kText)];
        }
        text += '\n';
    }
    return text;
}

// A plain scalar that may go on over more lines, or start on the line below.
std::string random_plain_lines(std::mt19937_64& rng, std::size_t parent) {
    static const char* const kPiece[] = {"x", "two words", "1", "~", "a:b", "y # c", "- z", "k: v",
                                         "#c", "[a]", "'q'", "w:", "...", "é", "x  "};
    std::string text = rng() % 4 == 0 ? "\n" + std::string(parent + 1 + rng() % 2, ' ') : "";
    text += kPiece[rng() % 3];
    text += '\n';
    for (std::uint64_t lines = rng() % 4; lines > 0; --lines) {
        if (rng() % 4 == 0) text.append(rng() % 4, ' ');  // an empty line
        else {
            text.append(rng() % 5 == 0 ? rng() % (parent + 2) : parent + 1 + rng() % 3, ' ');
            text += kPiece[rng() % 2 ? rng() % 3 : rng() % std::size(kPiece)];
        }
        text += '\n';
    }
    return text;
}

TEST(yaml_block_shapes_random, block_scalars_and_flow_collections_read_as_libfyaml_reads_them) {
    std::mt19937_64 rng(11);
    int answered = 0;
    const int total = 20000;
    for (int i = 0; i < total; ++i) {
        std::string text = rng() % 8 == 0 ? "---\n" : "";
        const bool sequence = rng() % 3 == 0;
        for (std::uint64_t entries = 1 + rng() % 4; entries > 0; --entries) {
            const std::size_t col = rng() % 6 == 0 ? 2 : 0;
            text.append(col, ' ');
            text += sequence ? "- " : "k: ";
            const std::uint64_t kind = rng() % 5;
            if (kind < 2) {
                text += random_block_scalar(rng, col);
            } else if (kind < 4) {
                if (rng() % 6 == 0) text += "\n" + std::string(col + 1 + rng() % 3, ' ');
                text += random_flow(rng, 0);
                if (rng() % 8 == 0) text += rng() % 2 ? " # c" : " x";
                text += '\n';
            } else {
                text += random_plain_lines(rng, col);
            }
        }
        Value fast;
        answered += read_plain_block_yaml(text, typed_plain, fast);
        ASSERT_EQ(outcome(parse_yaml(text)), outcome(parse_yaml_general(text))) << text;
    }
    EXPECT_GT(answered, total / 10);
}

// ---- round trips: what the writer produces reads back as the same tree ----

void expect_round_trip(const Value& v) {
    const Result<std::string> text = write_yaml(v);
    ASSERT_TRUE(text.ok()) << text.error().message;
    // Whichever writer made it, it is libyaml's text.
    const Result<std::string> emitted = write_yaml_with_libyaml(v);
    ASSERT_TRUE(emitted.ok()) << emitted.error().message;
    EXPECT_EQ(text.value(), emitted.value());
    const Result<Value> back = parse_yaml(text.value());
    ASSERT_TRUE(back.ok()) << back.error().message << "\n" << text.value();
    EXPECT_EQ(json_text(back.value()), json_text(v)) << text.value();
    // Whichever reader took it, libfyaml alone reads the same tree.
    EXPECT_EQ(outcome(parse_yaml_general(text.value())), json_text(v)) << text.value();
}

const std::vector<std::string> kAwkward = {
    "", " ", "plain", "true", "False", "NULL", "~", "1", "-1", "0x1F", "0o7", "0b1", "1.0", "1e3", ".inf",
    "-.Inf", ".nan", "inf", "0123", "18446744073709551616", "a\nb", "a\n", "\n", "\n\n", "a\n\n", " a\nb",
    "a \nb", "a\n ", "\ta", "a\tb", "\x01", "\x7f", "\r", "a\r\nb", "\xEF\xBB\xBF", "x\xEF\xBB\xBF",
    "\xE2\x80\xA8", "a\xE2\x80\xA9" "b", "\xC2\x85", "\xF0\x9F\x98\x80", "é", "- a", "-", "a: b", "a:",
    ":", "? x", "#c", "a #c", "a#c", "---", "...", "--- x", "[x]", "{x}", "*a", "&a", "!t", "|", ">",
    "%", "@", "`", "'", "\"", "'q'", "\"q\"", "  lead", "trail  ", "a  b", std::string("\0", 1),
    "\\", "\\n", std::string(200, 'k'), "word " + std::string(300, 'w') + " word", std::string(130, ' ') + "x", "<<", "=", "a,b", "x\xC2\xA0"};

TEST(yaml_round_trip, awkward_strings_as_keys_values_and_roots) {
    Value keyed = Value::object();
    Array values;
    for (const std::string& s : kAwkward) {
        keyed.set(s, Value::string(s));
        values.push_back(Value::string(s));
        expect_round_trip(Value::string(s));
        expect_round_trip(array_of(array_of(Value::string(s))));
    }
    expect_round_trip(keyed);
    expect_round_trip(object_of("nested", object_of("list", Value::array(std::move(values)))));
}

TEST(yaml_round_trip, numbers_and_deep_nesting) {
    Array numbers;
    for (double d : {0.0, -0.0, 1.0, -1.5, 0.1, 1e15, 1e16, 1e17, 1e20, 1.5e-7, 5e-324,
                     1.7976931348623157e308, 123456789.125, -2.2250738585072014e-308})
        numbers.push_back(Value::floating(d));
    for (std::uint64_t u : {std::uint64_t{0}, std::uint64_t{1}, UINT64_MAX})
        numbers.push_back(Value::uinteger(u));
    numbers.push_back(Value::integer(INT64_MIN));
    expect_round_trip(Value::array(std::move(numbers)));

    Value deep = Value::string("leaf\n");
    for (std::size_t i = 0; i < kYamlMaxDepth; ++i)
        deep = i % 2 ? array_of(Value::null(), std::move(deep)) : object_of("k", std::move(deep));
    expect_round_trip(deep);
}

// Strings the writer writes without libyaml, alone or joined (first), and some near them
// that it leaves to libyaml (from kNotSimple on).
const std::vector<std::string> kSimpleAndNot = {
    "", "a", "word", "two words", "x_y", "a/b", "1.5", "0x1F", "true", "null", "~", "/p", "_u",
    "e-1", "1e5", "a b c", "a  b", "a:b", "it's", "http://x.y/z?q=1&r", "a#b", "user@host", "~a",
    "a~", "(x), [y], {z}", "say \"hi\"", "b\\s", "日本語", "x\xC2\xA0", "\xEF\xBF\xBD",
    // not simple, or not once joined to others
    "-2", "+3", ".inf", "-foo", ".x", "a b ", " a", std::string(101, 'k'), "'q'", "a #b", "a:",
    "a: b", "\xF0\x9F\x98\x80", "\xC2\x85", "a\xE2\x80\xA8", "\xEF\xBB\xBFx", "%p", "@a", "!t",
    "*a", "&a", "|", ">", "`", "-", "- a", "?x", ":x", "#", "\x7F", "a\nb"};
constexpr std::size_t kNotSimple = 30;
const std::vector<std::string> kSimple(kSimpleAndNot.begin(), kSimpleAndNot.begin() + kNotSimple);

// Random trees over scalars of every kind, strings drawn from `pieces`.
Value random_tree(std::mt19937_64& rng, int depth,
                  const std::vector<std::string>& pieces = kAwkward) {
    const int pick = static_cast<int>(rng() % (depth > 0 ? 10 : 7));
    switch (pick) {
        case 0: return Value::null();
        case 1: return Value::boolean(rng() & 1);
        case 2: return Value::uinteger(rng() >> (rng() % 64));
        case 3: return Value::integer(-static_cast<std::int64_t>(rng() >> (1 + rng() % 63)) - 1);
        case 4: {
            const std::uint64_t bits = rng();
            double d;
            std::memcpy(&d, &bits, sizeof d);
            if (!std::isfinite(d)) d = static_cast<double>(bits % 1000) / 8;
            return Value::floating(d);
        }
        case 5:
        case 6: {
            std::string s;
            for (std::uint64_t n = rng() % 4; n > 0; --n) s += pieces[rng() % pieces.size()];
            return Value::string(std::move(s));
        }
        case 7:
        case 8: {
            Value o = Value::object();
            for (std::uint64_t n = rng() % 5; n > 0; --n)
                o.set(pieces[rng() % pieces.size()], random_tree(rng, depth - 1, pieces));
            return o;
        }
        default: {
            Array a;
            for (std::uint64_t n = rng() % 5; n > 0; --n)
                a.push_back(random_tree(rng, depth - 1, pieces));
            return Value::array(std::move(a));
        }
    }
}

TEST(yaml_round_trip, random_trees) {
    std::mt19937_64 rng(20240611);
    for (int i = 0; i < 400; ++i) {
        SCOPED_TRACE(i);
        expect_round_trip(random_tree(rng, 6));
        const Value simple = random_tree(rng, 6, kSimple);
        expect_round_trip(simple);
        expect_round_trip(random_tree(rng, 6, kSimpleAndNot));
        std::string text;
        const bool nonempty_collection = (simple.is_object() && !simple.as_object().empty()) ||
                                         (simple.is_array() && !simple.as_array().empty());
        EXPECT_EQ(write_yaml_without_libyaml(simple, text), nonempty_collection);
        if (HasFatalFailure()) return;
    }
}

}  // namespace
}  // namespace zel
