// Reader-writer lock for the engine's document and group stack, and the per-thread reader
// counts it is built on. Reads touch only a cache line of their own thread, so parallel
// readers never contend; a thread that must wait detaches from the interpreter first
// (through the installed wait hooks), and a thread that would wait for a lock it already
// holds itself gets an error instead of a deadlock.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "value/error.hpp"

namespace zel {

// Installed by the Python boundary: detach() lets go of the interpreter before a blocking
// wait and returns a token that attach() takes to re-attach afterwards.
struct WaitHooks {
    void* (*detach)() = nullptr;
    void (*attach)(void* token) = nullptr;
};
void set_wait_hooks(WaitHooks hooks) noexcept;

// A count of readers spread over cache lines: each thread increments the slot it was given,
// so readers on different threads never write to the same line. Paired with a flag that a
// writer raises before looking at the counts (and that readers look at after counting
// themselves in), both sequentially consistent, a reader and a writer can never both
// proceed.
class ReaderSlots {
public:
    static constexpr unsigned kSlots = 8;

    // The calling thread's slot: fetch it once per call and pass it on.
    static unsigned thread_slot() noexcept;

    void enter(unsigned slot) noexcept {
        slots_[slot].count.fetch_add(1, std::memory_order_seq_cst);
    }
    void leave(unsigned slot) noexcept {
        slots_[slot].count.fetch_sub(1, std::memory_order_seq_cst);
    }
    bool any() const noexcept {
        for (const Slot& s : slots_)
            if (s.count.load(std::memory_order_seq_cst) != 0) return true;
        return false;
    }

private:
    struct alignas(64) Slot {
        std::atomic<std::uint32_t> count{0};
    };
    Slot slots_[kSlots];
};

// A borrow that never waits: shared borrows count themselves in, an exclusive borrow is
// granted only while there are none. An exclusive attempt that is still deciding is waited
// out (it settles within a few instructions), so it never makes a shared borrow fail
// unless it succeeds.
class BorrowFlag {
public:
    // `slot` is ReaderSlots::thread_slot() of the calling thread.
    bool try_shared(unsigned slot) noexcept {
        readers_.enter(slot);
        std::uint32_t state;
        while ((state = exclusive_.load(std::memory_order_seq_cst)) == kClaiming) {
        }
        if (state == kFree) return true;
        readers_.leave(slot);
        return false;
    }
    void release_shared(unsigned slot) noexcept { readers_.leave(slot); }
    bool try_exclusive() noexcept {
        std::uint32_t expected = kFree;
        if (!exclusive_.compare_exchange_strong(expected, kClaiming, std::memory_order_seq_cst))
            return false;
        const bool granted = !readers_.any();
        exclusive_.store(granted ? kHeld : kFree, std::memory_order_seq_cst);
        return granted;
    }
    void release_exclusive() noexcept { exclusive_.store(kFree, std::memory_order_release); }

private:
    static constexpr std::uint32_t kFree = 0, kClaiming = 1, kHeld = 2;
    ReaderSlots readers_;
    alignas(64) std::atomic<std::uint32_t> exclusive_{kFree};
};

class RwLock {
public:
    explicit RwLock(const char* name) noexcept : name_(name) {}
    RwLock(const RwLock&) = delete;
    RwLock& operator=(const RwLock&) = delete;

    // Shared: granted at once when the calling thread already reads this lock (so nested
    // reads never queue behind a waiting writer); refused when it holds it exclusively.
    Status lock_shared();
    // Exclusive: refused when the calling thread holds this lock in any mode.
    Status lock();
    void unlock_shared() noexcept;
    void unlock() noexcept;

    const char* name() const noexcept { return name_; }

private:
    Error reentrant_error(bool exclusive_wanted) const;
    void wake_waiters() noexcept;

    const char* name_;
    ReaderSlots readers_;
    // Claimed by one writer at a time, from before it waits for the readers to leave until
    // it releases the lock; new readers wait while it is up.
    alignas(64) std::atomic<std::uint32_t> writer_{0};
    std::atomic<std::uint32_t> sleepers_{0};  // threads waiting on released_
    std::mutex mutex_;                        // guards the waits on released_
    std::condition_variable released_;
};

// RAII holders; construct through acquire_*, which report a refused lock as an Error.
class ReadGuard {
public:
    ReadGuard() noexcept = default;
    explicit ReadGuard(RwLock* lock) noexcept : lock_(lock) {}
    ReadGuard(ReadGuard&& o) noexcept : lock_(o.lock_) { o.lock_ = nullptr; }
    ReadGuard& operator=(ReadGuard&&) = delete;
    ~ReadGuard() { release(); }
    void release() noexcept {
        if (lock_) lock_->unlock_shared();
        lock_ = nullptr;
    }

private:
    RwLock* lock_ = nullptr;
};

class WriteGuard {
public:
    WriteGuard() noexcept = default;
    explicit WriteGuard(RwLock* lock) noexcept : lock_(lock) {}
    WriteGuard(WriteGuard&& o) noexcept : lock_(o.lock_) { o.lock_ = nullptr; }
    WriteGuard& operator=(WriteGuard&&) = delete;
    ~WriteGuard() { release(); }
    void release() noexcept {
        if (lock_) lock_->unlock();
        lock_ = nullptr;
    }

private:
    RwLock* lock_ = nullptr;
};

Result<ReadGuard> acquire_read(RwLock& lock);
Result<WriteGuard> acquire_write(RwLock& lock);

}  // namespace zel
