// Tests of the JSON writer: the exact layout, string escapes, integer and float texts,
// reader-writer round trips (including random doubles), and deep trees written without
// recursion.
#include <gtest/gtest.h>
#include <pthread.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "drivers/json_reader.hpp"
#include "drivers/json_writer.hpp"

namespace zel {
namespace {

std::string json(const Value& v) {
    std::string out;
    write_json(v, out);
    return out;
}

// Writes `v`, reads the text back, and checks both that the tree survives and that writing
// the re-read tree gives the same bytes.
void expect_round_trip(const Value& v) {
    const std::string text = json(v);
    Result<Value> back = parse_json(text);
    ASSERT_TRUE(back.ok()) << back.error().message << "\n" << text;
    EXPECT_EQ(back.value(), v) << text;
    EXPECT_EQ(json(back.value()), text);
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
    EXPECT_EQ(json(doc), "{\n  \"a\": {},\n  \"b\": [\n    1,\n    2.5\n  ]\n}");
    expect_round_trip(doc);
}

TEST(writing_layout, arrays_of_containers_and_scalar_roots) {
    Value inner = parse_json(R"([[], {}, [null, {"k": false}]])").value();
    EXPECT_EQ(json(inner),
              "[\n  [],\n  {},\n  [\n    null,\n    {\n      \"k\": false\n    }\n  ]\n]");
    EXPECT_EQ(json(Value::null()), "null");
    EXPECT_EQ(json(Value::boolean(true)), "true");
    EXPECT_EQ(json(Value::string("x")), "\"x\"");
    EXPECT_EQ(json(Value::array()), "[]");
    EXPECT_EQ(json(Value::object()), "{}");
    expect_round_trip(inner);
}

struct Escape {
    std::string raw;
    std::string written;
};

void PrintTo(const Escape& e, std::ostream* os) { *os << ::testing::PrintToString(e.raw); }

class writing_strings : public ::testing::TestWithParam<Escape> {};

TEST_P(writing_strings, escape_exactly_and_read_back) {
    EXPECT_EQ(json(Value::string(GetParam().raw)), GetParam().written);
    expect_round_trip(Value::string(GetParam().raw));
    // Keys are written by the same rule.
    Value o = Value::object();
    o.set(GetParam().raw, Value::null());
    EXPECT_EQ(json(o), "{\n  " + GetParam().written + ": null\n}");
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
    EXPECT_EQ(json(Value::floating(GetParam().value)), GetParam().text);
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
    FloatText{-1e-300, "-1e-300"}));

TEST(writing_numbers, integers_at_the_ends_of_their_ranges) {
    EXPECT_EQ(json(Value::uinteger(18446744073709551615u)), "18446744073709551615");
    EXPECT_EQ(json(Value::integer(std::numeric_limits<std::int64_t>::min())), "-9223372036854775808");
    EXPECT_EQ(json(Value::uinteger(0)), "0");
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
        const std::string text = json(Value::floating(d));
        Result<Value> back = parse_json(text);
        ASSERT_TRUE(back.ok()) << text << ": " << back.error().message;
        ASSERT_TRUE(back.value().is_number()) << text;
        ASSERT_EQ(back.value(), Value::floating(d)) << text;
    }
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
    struct Job {
        const Value* root;
        std::string* out;
    } job{&root, &out};
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 256 * 1024);
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, &attr,
                             [](void* p) -> void* {
                                 auto* j = static_cast<Job*>(p);
                                 write_json(*j->root, *j->out);
                                 return nullptr;
                             },
                             &job),
              0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);

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

}  // namespace
}  // namespace zel
