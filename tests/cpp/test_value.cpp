// Value tree: number rules, member order, replacement, deep trees, copies and equality.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "value/value.hpp"

namespace zel {
namespace {

TEST(value_numbers, non_negative_integers_are_unsigned_negative_signed) {
    EXPECT_EQ(Value::integer(0).kind(), Kind::UInt);
    EXPECT_EQ(Value::integer(5).as_uint(), 5u);
    EXPECT_EQ(Value::integer(-1).kind(), Kind::Int);
    EXPECT_EQ(Value::integer(std::numeric_limits<std::int64_t>::min()).as_int(),
              std::numeric_limits<std::int64_t>::min());
}

TEST(value_numbers, non_finite_floats_become_null) {
    for (double d : {std::nan(""), HUGE_VAL, -HUGE_VAL})
        EXPECT_TRUE(Value::floating(d).is_null()) << d;
    EXPECT_EQ(Value::floating(1.0).kind(), Kind::Float);
}

TEST(value_numbers, float_never_equals_integer_and_signed_zeroes_differ) {
    EXPECT_FALSE(Value::floating(1.0) == Value::integer(1));
    EXPECT_FALSE(Value::floating(0.0) == Value::floating(-0.0));
    EXPECT_TRUE(Value::floating(2.5) == Value::floating(2.5));
}

TEST(value_object, members_are_kept_in_byte_order_and_replaced_in_place) {
    Value o = Value::object();
    for (const char* k : {"b", "a", "\xc3\xa9", "B", "z"}) o.set(k, Value::string(k));
    o.set("a", Value::integer(7));
    std::vector<std::string> names;
    for (const Member& m : o.as_object()) names.emplace_back(m.name());
    EXPECT_EQ(names, (std::vector<std::string>{"B", "a", "b", "z", "\xc3\xa9"}));
    EXPECT_EQ(o.find("a")->as_uint(), 7u);
    EXPECT_EQ(o.find("missing"), nullptr);
    EXPECT_EQ(Value::integer(1).find("a"), nullptr);
}

Value deep_chain(int depth) {
    Value root = Value::object();
    Value* node = &root;
    for (int i = 0; i < depth; ++i) node = &node->set("k", Value::object());
    node->set("leaf", Value::array());
    return root;
}

TEST(value_tree, very_deep_trees_copy_compare_and_free_without_recursion) {
    Value a = deep_chain(200000);
    Value b = a.deep_copy();
    EXPECT_TRUE(a == b);
    Value* node = &b;
    while (node->find("k")) node = node->find("k");
    node->set("leaf", Value::integer(1));
    EXPECT_FALSE(a == b);
}

TEST(value_tree, move_leaves_null_and_deep_copy_is_independent) {
    Value a = Value::object();
    a.set("x", Value::array());
    a.find("x")->as_array().push_back(Value::string("s"));
    Value copy = a.deep_copy();
    Value moved = std::move(a);
    EXPECT_TRUE(a.is_null());
    moved.find("x")->as_array().clear();
    EXPECT_EQ(copy.find("x")->as_array().size(), 1u);
}

}  // namespace
}  // namespace zel
