// Value tree: number rules, member order, replacement, deep trees, copies and equality.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "value/region.hpp"
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

TEST(value_string, every_inline_length_keeps_its_bytes_and_reads_nothing_outside) {
    // Each text sits at the very end of its own exact-size heap block, so that AddressSanitizer
    // sees any read past it; bytes all differ, so a byte misplaced by a shift shows.
    for (std::size_t n = 0; n <= 16; ++n) {
        std::string text;
        for (std::size_t i = 0; i < n; ++i) text += static_cast<char>(0xA1 + 3 * i);
        auto block = std::make_unique<char[]>(n + 1);
        std::memcpy(block.get() + 1, text.data(), n);
        const Value v = Value::string(std::string_view(block.get() + 1, n));
        ASSERT_TRUE(v.is_string());
        EXPECT_EQ(v.as_string(), text) << n;
        Value moved = Value::object();
        moved.as_object().set(std::string_view(block.get() + 1, n), Value::uinteger(n));
        EXPECT_EQ((*moved.as_object().begin()).name(), text) << n;
    }
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

namespace zel {
namespace {

// The members of `o` are the model's, in order.
void expect_members(const Object& o, const std::map<std::string, std::uint64_t>& model) {
    ASSERT_EQ(o.size(), model.size());
    auto it = model.begin();
    for (const Member& m : o) {
        ASSERT_EQ(m.name(), it->first);
        ASSERT_EQ(m.value.as_uint(), it->second);
        ++it;
    }
}

// Where the blocks of the object under test come from: the heap; a region for the loaded
// members and the heap for every change after (a loaded document that is then edited); a
// region for everything. A region block freed or reallocated as a heap block is caught by
// the sanitizer builds, a lost member by the model.
enum class Blocks { Heap, LoadedInRegion, AllInRegion };

class value_object_blocks : public ::testing::TestWithParam<Blocks> {};

INSTANTIATE_TEST_SUITE_P(, value_object_blocks,
                         ::testing::Values(Blocks::Heap, Blocks::LoadedInRegion, Blocks::AllInRegion),
                         [](const auto& info) {
                             switch (info.param) {
                                 case Blocks::Heap: return "heap";
                                 case Blocks::LoadedInRegion: return "loaded_in_region";
                                 default: return "all_in_region";
                             }
                         });

// Random inserts, replacements, removals and lookups against std::map, on objects that grow
// past the flat size into many chunks and shrink again; after every batch the members must be
// the model's, in order, and copies and comparisons must agree.
TEST_P(value_object_blocks, large_objects_match_a_model_under_mixed_changes) {
    std::mt19937 rng(12345);
    for (int round = 0; round < 3; ++round) {
        Region region;  // outlives every object of the round
        Object o;
        std::map<std::string, std::uint64_t> model;
        if (GetParam() != Blocks::Heap) {
            // Loaded: a flat object (round 0) or a chunked one, long and short names.
            RegionScope scope(&region);
            std::vector<Member> loaded;
            const int n = round == 0 ? 40 : 700;
            for (int k = 0; k < n; ++k) {
                std::string name = "k";
                name += std::to_string(k * 7);
                if (k % 2) name += std::string(20, 'y');
                loaded.push_back(Member{Value::string(name), Value::uinteger(1)});
                model[name] = 1;
            }
            o = Object::from_members(loaded.data(), loaded.size());
        }
        std::optional<RegionScope> changes_in_region;
        if (GetParam() == Blocks::AllInRegion) changes_in_region.emplace(&region);
        const int keyspace = round == 0 ? 200 : 5000;
        auto key = [&](int k) {
            // Short and long names (inline and heap keys), sharing prefixes.
            std::string s(1, 'k');
            s += std::to_string(k);
            if (k % 3 == 0) s += std::string(20, 'x');
            return s;
        };
        for (int step = 0; step < 40000; ++step) {
            const int k = static_cast<int>(rng() % static_cast<unsigned>(keyspace));
            const std::string name = key(k);
            const unsigned op = rng() % 10;
            if (op < 5) {
                o.set(name, Value::uinteger(static_cast<std::uint64_t>(step)));
                model[name] = static_cast<std::uint64_t>(step);
            } else if (op == 5) {
                // Inserts a null only where the model has no such member.
                bool inserted;
                Value& slot = o.emplace(name, inserted);
                const auto [it, added] = model.try_emplace(name, 0);
                ASSERT_EQ(inserted, added) << name;
                if (inserted) {
                    ASSERT_TRUE(slot.is_null());
                    slot = Value::uinteger(0);
                } else {
                    EXPECT_EQ(slot.as_uint(), it->second);
                }
            } else if (op < 8) {
                Value out;
                const bool took = o.take(name, out);
                ASSERT_EQ(took, model.erase(name) == 1) << name;
                if (took) {
                    EXPECT_TRUE(out.kind() == Kind::UInt);
                }
            } else {
                const Value* found = o.find(name);
                auto it = model.find(name);
                ASSERT_EQ(found != nullptr, it != model.end()) << name;
                if (found) {
                    EXPECT_EQ(found->as_uint(), it->second);
                }
            }
            if (step % 5000 == 4999 || step == 39999) {
                expect_members(o, model);
                if (HasFatalFailure()) return;
                Value whole = Value::object(std::move(o));
                Value copy = whole.deep_copy();
                EXPECT_TRUE(copy == whole);
                o = std::move(whole.as_object());
            }
        }
        // Names after every member, in order: appends that fill the last chunk and go on past
        // it. Then some replaced, each handing back the value it replaces.
        auto tail_name = [](int k) {
            std::string digits = std::to_string(k);
            std::string name(7 - digits.size(), '0');
            name[0] = 'z';
            return name + digits;
        };
        for (int k = 0; k < 1000; ++k) {
            o.set(tail_name(k), Value::uinteger(static_cast<std::uint64_t>(k)));
            model[tail_name(k)] = static_cast<std::uint64_t>(k);
        }
        expect_members(o, model);
        if (HasFatalFailure()) return;
        for (int k = 0; k < 1000; k += 7) {
            Value replaced;
            o.set(tail_name(k), Value::uinteger(7), &replaced);
            ASSERT_EQ(replaced.as_uint(), static_cast<std::uint64_t>(k));
            model[tail_name(k)] = 7;
        }
        expect_members(o, model);
        if (HasFatalFailure()) return;
        // Emptied one member at a time.
        for (const auto& [name, v] : model) {
            Value out;
            ASSERT_TRUE(o.take(name, out));
        }
        EXPECT_TRUE(o.empty());
        EXPECT_EQ(o.begin(), o.end());
    }
}

// Arrays loaded into a region, then grown past their exact capacity, shrunk and emptied by
// changes on the heap, and a long string replaced: the contents stay right throughout.
TEST(value_array, loaded_in_a_region_then_changed_on_the_heap) {
    Region region;
    Value doc;
    {
        RegionScope scope(&region);
        std::vector<Value> items;
        for (int i = 0; i < 10; ++i) items.push_back(Value::string(std::string(20 + i, 'a')));
        doc = Value::array(Array::from_values(items.data(), items.size()));
    }
    EXPECT_GT(region.reserved_bytes(), 0u);
    Array& a = doc.as_array();
    for (int i = 10; i < 1000; ++i) a.push_back(Value::string(std::string(20 + i % 50, 'a')));
    ASSERT_EQ(a.size(), 1000u);
    for (std::size_t i = 0; i < a.size(); ++i)
        ASSERT_EQ(a[i].as_string(), std::string(20 + i % 50, 'a')) << i;
    a[3] = Value::string(std::string(100, 'z'));
    EXPECT_EQ(a[3].as_string(), std::string(100, 'z'));
    a.resize(5);
    EXPECT_EQ(a.size(), 5u);
    Value copy = doc.deep_copy();
    EXPECT_TRUE(copy == doc);
    a.clear();
    EXPECT_TRUE(a.empty());
}

// Regions made and freed over and over by several threads at once: the large spans a freed
// region leaves are handed to later regions, and each byte a region gives out must stay its
// own until the region is gone. A span given to two regions, or one smaller than asked for,
// shows as a word that is not what was written there, or as a fault. (Every 509th word of a
// block and its last one are written: enough to see two owners of one page.)
TEST(value_region, spans_freed_and_made_again_by_threads_hold_what_was_written) {
    std::atomic<int> wrong{0};
    auto rounds = [&wrong](std::uint64_t seed) {
        std::mt19937_64 rng(seed);
        auto mark = [](std::uint64_t* p, std::size_t words, std::uint64_t tag, bool check) {
            bool same = true;
            auto at = [&](std::size_t i) {
                if (check) same = same && p[i] == tag + i;
                else p[i] = tag + i;
            };
            for (std::size_t i = 0; i < words; i += 509) at(i);
            at(words - 1);
            return same;
        };
        for (int round = 0; round < 300; ++round) {
            Region region;
            std::vector<std::pair<std::uint64_t*, std::size_t>> blocks;
            const std::size_t target = (std::size_t(1) << 20) * (1 + rng() % 24);
            std::size_t total = 0;
            while (total < target) {
                // Mostly small blocks; now and then one of 0.5-4.5 MiB, which gets a span of its
                // own.
                const std::size_t words = rng() % 64 == 0
                                              ? (std::size_t(1) << 16) + rng() % (std::size_t(1) << 19)
                                              : 1 + rng() % 4096;
                auto* p = static_cast<std::uint64_t*>(region.allocate(words * 8));
                mark(p, words, seed << 48 ^ std::uint64_t(round) << 36 ^ blocks.size() << 20, false);
                blocks.emplace_back(p, words);
                total += words * 8;
            }
            for (std::size_t b = 0; b < blocks.size(); ++b) {
                const std::uint64_t tag = seed << 48 ^ std::uint64_t(round) << 36 ^ b << 20;
                if (!mark(blocks[b].first, blocks[b].second, tag, true)) wrong.fetch_add(1);
            }
        }
    };
    std::vector<std::thread> threads;
    for (std::uint64_t t = 1; t <= 4; ++t) threads.emplace_back(rounds, t);
    for (auto& t : threads) t.join();
    EXPECT_EQ(wrong.load(), 0);
}

// Objects and arrays built a member at a time inside a region, with long strings made between
// some of the steps: some blocks then grow where they are, others move and leave their old
// block to the next container that grows through the same size. Every container keeps exactly
// what was put in it, whichever block it ends in.
TEST(value_region, containers_grown_a_member_at_a_time_keep_their_members) {
    Region region;
    std::vector<Value> tables;
    auto name_of = [](int k) {
        std::string name = "key";
        name += std::to_string(k);
        if (k % 4 == 1) name.append(16, 'n');  // a long name: a block of its own
        return name;
    };
    auto text_of = [](int t, int k) { return std::string(15 + (t + k) % 40, char('a' + (t + k) % 26)); };
    {
        RegionScope scope(&region);
        std::mt19937 rng(7);
        for (int t = 0; t < 3000; ++t) {
            Value table = Value::object();
            Value list = Value::array();
            const int members = 1 + static_cast<int>(rng() % 40);
            for (int k = 0; k < members; ++k) {
                const bool long_text = rng() % 3 == 0;
                table.set(name_of(k), long_text ? Value::string(text_of(t, k)) : Value::uinteger(t * 1000 + k));
                list.as_array().push_back(long_text ? Value::string(text_of(k, t)) : Value::uinteger(k));
            }
            table.set("list", std::move(list));
            tables.push_back(std::move(table));
        }
    }
    std::mt19937 rng(7);
    for (int t = 0; t < 3000; ++t) {
        const int members = 1 + static_cast<int>(rng() % 40);
        const Value& table = tables[t];
        ASSERT_EQ(table.as_object().size(), static_cast<std::size_t>(members) + 1) << t;
        const Array& list = table.find("list")->as_array();
        ASSERT_EQ(list.size(), static_cast<std::size_t>(members)) << t;
        for (int k = 0; k < members; ++k) {
            const bool long_text = rng() % 3 == 0;
            const Value* v = table.find(name_of(k));
            ASSERT_NE(v, nullptr) << t << " " << k;
            if (long_text) {
                ASSERT_EQ(v->as_string(), text_of(t, k)) << t << " " << k;
                ASSERT_EQ(list[k].as_string(), text_of(k, t)) << t << " " << k;
            } else {
                ASSERT_EQ(v->as_uint(), static_cast<std::uint64_t>(t * 1000 + k)) << t << " " << k;
                ASSERT_EQ(list[k].as_uint(), static_cast<std::uint64_t>(k)) << t << " " << k;
            }
        }
    }
    for (Value& table : tables) table.forget_region_tree();
}

// Names that differ only past another's end, in a zero byte, or after their first eight
// bytes; short (held in the node) and long ones.
std::vector<std::string> tricky_names() {
    using namespace std::string_literals;
    return {""s,         "a"s,          "a\0"s,        "a\0b"s,          "ab"s,
            "abcdefgh"s, "abcdefgh\0"s, "abcdefghi"s,   "abcdefgh\xff"s,  "abcdefghijklmn"s,
            "abcdefghijklmo"s, "abcdefghijklmno"s, "abcdefghijklmn\0"s, "\xff"s, "\x80" "a"s, "Z"s};
}

TEST(value_string, string_order_is_byte_order) {
    std::vector<std::string> names = tricky_names();
    std::mt19937 rng(7);
    for (int k = 0; k < 300; ++k) {
        std::string s(rng() % 18, '\0');
        for (char& c : s) c = "\0\x01a\xff"[rng() % 4];
        names.push_back(s);
    }
    for (const std::string& a : names) {
        const Value va = Value::string(a);
        for (const std::string& b : names)
            ASSERT_EQ(Value::string_less(va, Value::string(b)), a < b)
                << testing::PrintToString(a) << " " << testing::PrintToString(b);
    }
}

// Small objects are searched by comparing whole name nodes: a name must be found exactly
// when a member has it, whatever bytes it shares with the others.
TEST(value_object, small_objects_find_exactly_the_names_they_hold) {
    const std::vector<std::string> tricky = tricky_names();
    std::mt19937 rng(11);
    for (int round = 0; round < 200; ++round) {
        const std::size_t n = 1 + rng() % (Object::kScanMax + 2);
        Value doc = Value::object();
        std::set<std::string> held;
        for (std::size_t i = 0; i < n; ++i) {
            const std::string& name = tricky[rng() % tricky.size()];
            doc.set(name, Value::uinteger(i));
            held.insert(name);
        }
        for (const std::string& name : tricky) {
            const Value* found = doc.find(name);
            ASSERT_EQ(found != nullptr, held.count(name) == 1) << testing::PrintToString(name);
            if (found) {
                ASSERT_EQ(found, doc.find(std::string(name)));
            }
        }
        for (const Member& m : doc.as_object()) ASSERT_EQ(doc.find(m.name()), &m.value);
    }
}

// Members given out of order, with repeats, become the sorted object keeping the later value,
// whether the result is flat or chunked.
TEST(value_object, from_members_sorts_and_keeps_the_later_of_repeated_names) {
    const std::vector<std::string> tricky = tricky_names();
    // 32 and 33: either side of the smallest objects' own sort.
    for (std::size_t n : {std::size_t{5}, std::size_t{32}, std::size_t{33},
                          std::size_t{Object::kFlatMax + 1}, std::size_t{1000}}) {
        std::vector<Member> members;
        std::map<std::string, std::uint64_t> model;
        for (std::size_t i = 0; i < n; ++i) {
            std::string name(1, 'm');
            name += std::to_string((i * 7919) % (n / 2 + 1));
            if (i % 3 == 0) name = tricky[(i * 7) % tricky.size()];
            members.push_back(Member{Value::string(name), Value::uinteger(i)});
            model[name] = i;
        }
        Object o = Object::from_members(members.data(), members.size());
        expect_members(o, model);
    }
}

}  // namespace
}  // namespace zel
