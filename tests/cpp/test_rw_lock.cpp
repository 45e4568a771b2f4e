// The engine lock across threads and forks: what a reader that met a writer leaves behind,
// the order in which waiting writers and readers are served, and what a forked child holds.
// A lock that is never granted is reported as a failure after a generous time instead of
// hanging the suite (the stuck thread and its lock are then left behind on purpose).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/rw_lock.hpp"

namespace zel {
namespace {

using namespace std::chrono_literals;

// Runs fn on a thread of its own; false when it has not returned after `limit` (it is then
// abandoned, still blocked).
template <class Fn>
bool finishes(Fn fn, std::chrono::seconds limit = 30s) {
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> f = done->get_future();
    std::thread([fn, done]() mutable {
        fn();
        done->set_value();
    }).detach();
    return f.wait_for(limit) == std::future_status::ready;
}

// Polls until the lock's queues hold at least the given numbers of waiters.
void until_queued(RwLock& lock, unsigned readers, unsigned writers) {
    for (;;) {
        RwLock::Queued q = lock.queued();
        if (q.readers >= readers && q.writers >= writers) return;
        std::this_thread::sleep_for(1ms);
    }
}

TEST(rw_lock, a_reader_that_met_a_writer_leaves_no_count_behind) {
    // Leaked on purpose: a thread blocked on it may outlive the test when it fails.
    auto* lock = new RwLock("document");
    ASSERT_TRUE(lock->lock());
    std::thread reader([&] {
        ASSERT_TRUE(lock->lock_shared());  // meets the held writer and waits
        lock->unlock_shared();
    });
    until_queued(*lock, 1, 0);
    lock->unlock();
    reader.join();
    ASSERT_TRUE(finishes([lock] {
        ASSERT_TRUE(lock->lock());
        lock->unlock();
    })) << "a writer after a reader that met a writer was never granted the lock";

    // The same under churn: readers meeting writers again and again.
    std::atomic<bool> stop{false};
    std::vector<std::thread> readers;
    for (int t = 0; t < 3; ++t)
        readers.emplace_back([&] {
            while (!stop.load()) {
                if (lock->lock_shared()) lock->unlock_shared();
            }
        });
    bool writers_done = finishes([lock] {
        for (int i = 0; i < 2000; ++i) {
            ASSERT_TRUE(lock->lock());
            lock->unlock();
        }
    });
    stop = true;
    if (!writers_done) {
        for (auto& r : readers) r.detach();
        FAIL() << "writers stopped being granted the lock while readers came and went";
    }
    for (auto& r : readers) r.join();
    delete lock;
}

TEST(rw_lock, waiting_writers_are_served_in_arrival_order) {
    auto* lock = new RwLock("document");
    ASSERT_TRUE(lock->lock());
    std::mutex order_mutex;
    std::vector<int> order;
    std::vector<std::thread> writers;
    constexpr int kWriters = 6;
    for (int i = 0; i < kWriters; ++i) {
        writers.emplace_back([&, i] {
            ASSERT_TRUE(lock->lock());
            {
                std::lock_guard g(order_mutex);
                order.push_back(i);
            }
            lock->unlock();
        });
        until_queued(*lock, 0, static_cast<unsigned>(i + 1));
    }
    // A newcomer that arrives while they wait goes behind them, even when it tries at the
    // moment the lock passes on.
    std::thread late([&] {
        ASSERT_TRUE(lock->lock());
        {
            std::lock_guard g(order_mutex);
            order.push_back(kWriters);
        }
        lock->unlock();
    });
    until_queued(*lock, 0, kWriters + 1);
    lock->unlock();
    for (auto& w : writers) w.join();
    late.join();
    std::vector<int> expected;
    for (int i = 0; i <= kWriters; ++i) expected.push_back(i);
    EXPECT_EQ(order, expected);
    delete lock;
}

TEST(rw_lock, readers_that_met_a_writer_go_before_the_writers_queued_behind_it) {
    auto* lock = new RwLock("document");
    ASSERT_TRUE(lock->lock());
    std::mutex order_mutex;
    std::vector<char> order;
    auto record = [&](char c) {
        std::lock_guard g(order_mutex);
        order.push_back(c);
    };
    std::vector<std::thread> threads;
    threads.emplace_back([&] {
        ASSERT_TRUE(lock->lock());
        record('w');
        lock->unlock();
    });
    until_queued(*lock, 0, 1);
    for (int i = 0; i < 3; ++i)
        threads.emplace_back([&] {
            ASSERT_TRUE(lock->lock_shared());
            record('r');
            lock->unlock_shared();
        });
    until_queued(*lock, 3, 1);
    lock->unlock();
    for (auto& t : threads) t.join();
    EXPECT_EQ(order, (std::vector<char>{'r', 'r', 'r', 'w'}));
    delete lock;
}

// In the child of a fork, what other threads held is free and what the forking thread held
// is still its own. The child reports through its exit status; an alarm ends a hung child.
TEST(rw_lock, a_forked_child_keeps_only_the_forking_threads_holds) {
    auto* theirs = new RwLock("document");
    auto* mine = new RwLock("document");
    auto* their_flag = new BorrowFlag;
    auto* my_flag = new BorrowFlag;
    std::atomic<bool> holding{false}, release{false};
    std::thread other([&] {
        ASSERT_TRUE(theirs->lock());
        BorrowHold borrow(*their_flag, true);
        ASSERT_TRUE(borrow.held());
        holding = true;
        while (!release.load()) std::this_thread::sleep_for(1ms);
        theirs->unlock();
    });
    while (!holding.load()) std::this_thread::sleep_for(1ms);
    // A reader queued behind the other thread's writer, and a writer behind it.
    std::thread queued_reader([&] {
        if (theirs->lock_shared()) theirs->unlock_shared();
    });
    until_queued(*theirs, 1, 0);
    std::thread queued_writer([&] {
        if (theirs->lock()) theirs->unlock();
    });
    until_queued(*theirs, 1, 1);
    ASSERT_TRUE(mine->lock_shared());
    auto my_borrow = std::make_unique<BorrowHold>(*my_flag, false);
    ASSERT_TRUE(my_borrow->held());

    const pid_t pid = ::fork();
    ASSERT_NE(pid, -1);
    if (pid == 0) {
        ::alarm(20);
        int failures = 0;
        auto check = [&](bool ok) { failures += ok ? 0 : 1; };
        check(static_cast<bool>(theirs->lock()));  // the other thread's write is gone
        theirs->unlock();
        check(static_cast<bool>(theirs->lock_shared()));
        theirs->unlock_shared();
        check(theirs->queued().readers == 0 && theirs->queued().writers == 0);
        check(!mine->lock());  // still read by this thread
        mine->unlock_shared();
        check(static_cast<bool>(mine->lock()));
        mine->unlock();
        {
            BorrowHold b(*their_flag, true);
            check(b.held());
        }
        {
            BorrowHold b(*my_flag, true);  // this thread's shared borrow is still there
            check(!b.held());
        }
        ::_exit(failures);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status)) << "the child hung or crashed (status " << status << ")";
    if (WIFEXITED(status)) {
        EXPECT_EQ(WEXITSTATUS(status), 0) << "checks failed in the child";
    }

    mine->unlock_shared();
    my_borrow.reset();
    release = true;
    other.join();
    queued_reader.join();
    queued_writer.join();
    delete theirs;
    delete mine;
    delete their_flag;
    delete my_flag;
}

}  // namespace
}  // namespace zel
