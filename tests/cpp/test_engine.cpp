// Engine operations on an in-memory store, the lock rules, and enumeration order.
#include <gtest/gtest.h>

#include <memory>

#include <atomic>
#include <thread>

#include "engine/engine.hpp"

namespace zel {
namespace {

std::unique_ptr<Engine> memory_engine() {
    Driver driver;
    driver.kind = DriverKind::Memory;
    auto engine = Engine::open("unused", std::move(driver));
    EXPECT_TRUE(engine);
    return std::move(engine).value();
}

Value get(Engine& e, std::string_view key) {
    auto r = e.with_node(key, [](const Value* node) { return node ? node->deep_copy() : Value(); });
    EXPECT_TRUE(r);
    return std::move(r).value();
}

TEST(engine_write, set_creates_parents_and_failures_leave_the_document_unchanged) {
    auto e = memory_engine();
    ASSERT_TRUE(e->set_value("a/b/c", Value::integer(1)));
    EXPECT_EQ(get(*e, "a/b/c").as_uint(), 1u);
    ASSERT_TRUE(e->set_value("n", Value::integer(3)));
    auto r = e->set_value("n/x/y", Value::integer(2));
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().kind, ErrorKind::PathNotObject);
    EXPECT_EQ(get(*e, "n").as_uint(), 3u);
    auto empty = e->set_value("/", Value::integer(2));
    ASSERT_FALSE(empty);
    EXPECT_EQ(empty.error().kind, ErrorKind::KeyEmpty);
}

TEST(engine_groups, empty_key_under_a_group_names_the_group_itself) {
    auto e = memory_engine();
    ASSERT_TRUE(e->begin_group("//g/"));
    EXPECT_EQ(e->group().value(), "g");
    ASSERT_TRUE(e->set_value("", Value::integer(5)));
    ASSERT_TRUE(e->end_group());
    EXPECT_EQ(get(*e, "g").as_uint(), 5u);
    ASSERT_TRUE(e->begin_group("g"));
    ASSERT_TRUE(e->remove(""));
    ASSERT_TRUE(e->end_group());
    EXPECT_FALSE(e->contains("g").value());
    ASSERT_TRUE(e->end_group());  // empty stack: nothing happens
    ASSERT_TRUE(e->begin_group("///"));
    EXPECT_EQ(e->group().value(), "");
}

TEST(engine_write, remove_creates_the_parent_path_and_clear_keeps_the_group) {
    auto e = memory_engine();
    ASSERT_TRUE(e->remove("x/y"));
    EXPECT_TRUE(get(*e, "x").is_object());
    ASSERT_TRUE(e->set_value("a/b/x", Value::integer(1)));
    ASSERT_TRUE(e->set_value("a/y", Value::integer(2)));
    ASSERT_TRUE(e->begin_group("a"));
    ASSERT_TRUE(e->begin_group("b"));
    ASSERT_TRUE(e->clear());
    EXPECT_TRUE(get(*e, "").as_object().empty());
    ASSERT_TRUE(e->end_group());
    EXPECT_EQ(get(*e, "y").as_uint(), 2u);
}

TEST(engine_write, clear_refuses_non_objects_without_changing_anything) {
    auto e = memory_engine();
    ASSERT_TRUE(e->set_value("n", Value::integer(1)));
    ASSERT_TRUE(e->begin_group("n"));
    auto r = e->clear();
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().kind, ErrorKind::PathNotObject);
    ASSERT_TRUE(e->end_group());
    EXPECT_EQ(get(*e, "n").as_uint(), 1u);

    Engine array_root("p", Value::array(), Driver{DriverKind::Memory, nullptr});
    auto a = array_root.clear();
    ASSERT_FALSE(a);
    EXPECT_EQ(a.error().kind, ErrorKind::RootNotObject);
}

TEST(engine_enumeration, keys_are_listed_depth_first_at_each_group_place) {
    auto e = memory_engine();
    ASSERT_TRUE(e->set_value("a/x", Value::integer(1)));
    ASSERT_TRUE(e->set_value("a-b", Value::integer(2)));
    ASSERT_TRUE(e->set_value("a0", Value::array()));
    ASSERT_TRUE(e->set_value("empty", Value::object()));
    ASSERT_TRUE(e->set_value("/x", Value::object()));
    ASSERT_TRUE(e->set_value("B", Value::null()));
    using V = std::vector<std::string>;
    EXPECT_EQ(e->all_keys().value(), (V{"B", "a/x", "a-b", "a0"}));
    EXPECT_EQ(e->child_keys().value(), (V{"B", "a-b", "a0"}));
    EXPECT_EQ(e->child_groups().value(), (V{"a", "empty", "x"}));
    ASSERT_TRUE(e->begin_group("a0"));
    EXPECT_TRUE(e->all_keys().value().empty());
    EXPECT_TRUE(e->child_groups().value().empty());
}

TEST(engine_enumeration, empty_member_names_and_very_deep_trees) {
    Value root = Value::object();
    root.set("", Value::object()).set("x", Value::integer(1));
    std::vector<std::string> out;
    collect_keys(root, out);
    EXPECT_EQ(out, std::vector<std::string>{"x"});

    auto e = memory_engine();
    std::string key;
    for (int i = 0; i < 100000; ++i) key += "k/";
    ASSERT_TRUE(e->set_value(key + "leaf", Value::integer(1)));
    auto keys = e->all_keys();
    ASSERT_TRUE(keys);
    ASSERT_EQ(keys.value().size(), 1u);
    EXPECT_EQ(keys.value()[0], key + "leaf");
}

TEST(engine_locks, a_thread_never_waits_for_a_lock_it_holds) {
    RwLock lock("document");
    ASSERT_TRUE(lock.lock_shared());
    ASSERT_TRUE(lock.lock_shared());  // nested reads are granted
    auto w = lock.lock();
    ASSERT_FALSE(w);
    EXPECT_EQ(w.error().kind, ErrorKind::Reentrant);
    lock.unlock_shared();
    lock.unlock_shared();
    ASSERT_TRUE(lock.lock());
    EXPECT_FALSE(lock.lock_shared());
    EXPECT_FALSE(lock.lock());
    lock.unlock();
    ASSERT_TRUE(lock.lock());  // the record of holdings was cleared
    lock.unlock();

    // More locks held at once than the per-thread record keeps inline.
    std::vector<std::unique_ptr<RwLock>> many;
    for (int i = 0; i < 10; ++i) {
        many.push_back(std::make_unique<RwLock>("document"));
        ASSERT_TRUE(many.back()->lock_shared());
    }
    for (auto& l : many) EXPECT_FALSE(l->lock()) << "a held read must refuse a write";
    for (int i = 0; i < 10; i += 2) many[i]->unlock_shared();
    for (int i = 0; i < 10; ++i) {
        Status s = many[i]->lock();
        EXPECT_EQ(static_cast<bool>(s), i % 2 == 0) << i;
        if (s) many[i]->unlock();
    }
    for (int i = 1; i < 10; i += 2) many[i]->unlock_shared();
    for (auto& l : many) {
        ASSERT_TRUE(l->lock());
        l->unlock();
    }
}

TEST(engine_locks, writers_exclude_readers_across_threads) {
    auto e = memory_engine();
    constexpr int kThreads = 4, kRounds = 2000;
    std::atomic<bool> torn{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            std::string key = "t";
            key += std::to_string(t);
            for (int i = 0; i < kRounds; ++i) {
                Value pair = Value::object();
                pair.set("a", Value::integer(i));
                pair.set("b", Value::integer(i));
                ASSERT_TRUE(e->set_value(key, std::move(pair)));
                auto ok = e->with_node(key, [](const Value* n) {
                    return n && n->find("a")->as_uint() == n->find("b")->as_uint();
                });
                if (!ok || !ok.value()) torn = true;
                ASSERT_TRUE(e->all_keys());
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_FALSE(torn);
    for (int t = 0; t < kThreads; ++t) {
        std::string key = "t";
        key += std::to_string(t);
        key += "/a";
        EXPECT_EQ(get(*e, key).as_uint(), kRounds - 1u);
    }
}

}  // namespace
}  // namespace zel
