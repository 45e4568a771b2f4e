// Key segments and the read and write resolutions.
#include <gtest/gtest.h>

#include <tuple>

#include "engine/key_path.hpp"

namespace zel {
namespace {

TEST(keypath_segments, empty_pieces_are_dropped_and_nothing_is_trimmed) {
    using V = std::vector<std::string_view>;
    const std::pair<const char*, V> cases[] = {
        {"", V{}},          {"/", V{}},           {"///", V{}},
        {"a", V{"a"}},      {"a//b/", V{"a", "b"}}, {"/x/y", V{"x", "y"}},
        {" a/b ", V{" a", "b "}}, {"a.b/c", V{"a.b", "c"}},
    };
    for (const auto& [key, expected] : cases) EXPECT_EQ(key_segments(key), expected) << key;
}

TEST(keypath_groups, trimming_removes_every_leading_and_trailing_slash) {
    EXPECT_EQ(trim_group_name("//a/b///"), "a/b");
    EXPECT_EQ(trim_group_name("///"), "");
    EXPECT_EQ(trim_group_name("a"), "a");
}

Value sample() {
    Value root = Value::object();
    Value& a = root.set("a", Value::object());
    a.set("b", Value::integer(1));
    a.set("n", Value::null());
    root.set("a/b", Value::object()).set("k", Value::integer(2));
    root.set("list", Value::array()).as_array().push_back(Value::integer(9));
    return root;
}

TEST(keypath_read, groups_are_whole_member_names_and_arrays_are_not_indexed) {
    Value root = sample();
    std::vector<std::string> none;
    EXPECT_EQ(resolve_node(root, none, "a//b")->as_uint(), 1u);
    EXPECT_TRUE(resolve_node(root, none, "a/n")->is_null());
    EXPECT_EQ(resolve_node(root, none, "list/0"), nullptr);
    EXPECT_EQ(resolve_node(root, none, "a/b/c"), nullptr);
    EXPECT_EQ(resolve_node(root, none, ""), &root);
    EXPECT_EQ(resolve_node(root, {"a/b"}, "k")->as_uint(), 2u);
    EXPECT_EQ(resolve_node(root, {"a"}, "b/k"), nullptr);
    EXPECT_EQ(resolve_node(root, {"missing"}, ""), nullptr);
}

TEST(keypath_write, creates_missing_parents_and_reports_errors_without_changes) {
    Value root = sample();
    auto slot = resolve_parent(root, {"x"}, "y//z");
    ASSERT_TRUE(slot);
    EXPECT_EQ(slot.value().target, "z");
    EXPECT_TRUE(root.find("x")->find("y")->is_object());
    // A key without segments: the last group name is the target (a view into the groups,
    // which must outlive it).
    const std::vector<std::string> groups{"x", "w"};
    slot = resolve_parent(root, groups, "/");
    ASSERT_TRUE(slot);
    EXPECT_EQ(slot.value().target, "w");
    EXPECT_EQ(slot.value().parent, root.find("x"));

    Value before = root.deep_copy();
    const std::tuple<std::vector<std::string>, std::string_view, ErrorKind> failures[] = {
        {{}, "", ErrorKind::KeyEmpty},
        {{}, "//", ErrorKind::KeyEmpty},
        {{}, "a/b/c/d", ErrorKind::PathNotObject},
        {{"a"}, "b/c", ErrorKind::PathNotObject},
        {{}, "list/q", ErrorKind::PathNotObject},
    };
    for (const auto& [groups, key, kind] : failures) {
        auto r = resolve_parent(root, groups, key);
        ASSERT_FALSE(r) << key;
        EXPECT_EQ(r.error().kind, kind) << key;
        EXPECT_TRUE(root == before) << key;
    }
    Value array_root = Value::array();
    auto r = resolve_parent(array_root, {}, "a");
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().message, "Root is not an object");
}

}  // namespace
}  // namespace zel
