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
// wait and returns a token that attach() takes to re-attach afterwards (attach() may end the
// thread, by a forced unwind, when the interpreter is shutting down). sole() tells an
// attached caller whether it is the only thread that can still run: the interpreter is
// finalizing, so every other thread stops for good the next time it tries to attach.
struct WaitHooks {
    void* (*detach)() = nullptr;
    void (*attach)(void* token) = nullptr;
    bool (*sole)() = nullptr;
};
void set_wait_hooks(WaitHooks hooks) noexcept;

// Objects whose state other threads may hold when the process forks. In the child only the
// forking thread exists: reset_after_fork() gives up whatever other threads held and keeps
// what the calling (forking) thread holds. Every live instance is on one list, walked by the
// child's fork handler.
class ForkTracked {
public:
    friend struct ForkRegistry;
    ForkTracked(const ForkTracked&) = delete;
    ForkTracked& operator=(const ForkTracked&) = delete;

protected:
    ForkTracked() noexcept;
    ~ForkTracked();
    virtual void reset_after_fork() noexcept = 0;

private:
    ForkTracked* prev_ = nullptr;
    ForkTracked* next_ = nullptr;
};

// Spins once in a short busy wait: a pause for the processor, and now and then the rest of
// the time slice, so that a waited-for thread that was preempted gets to run.
void spin_pause(unsigned& spins) noexcept;

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
    // Fork child only: every count cleared, then `held` readers put back on `slot`.
    void reset(unsigned slot, std::uint32_t held) noexcept {
        for (Slot& s : slots_) s.count.store(0, std::memory_order_relaxed);
        slots_[slot].count.store(held, std::memory_order_relaxed);
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
// unless it succeeds. Borrows are taken through BorrowHold, which records them on the
// borrowing thread so that a forked child keeps the forking thread's own.
class BorrowFlag final : public ForkTracked {
public:
    BorrowFlag() noexcept = default;
    // `folded`: the reader counts of a lock whose reads may stand in for shared borrows (see
    // RwLock::lock_shared_as_borrow); an exclusive borrow is then refused while it has readers.
    explicit BorrowFlag(const ReaderSlots* folded) noexcept : folded_(folded) {}
    ~BorrowFlag() = default;

    // `slot` is ReaderSlots::thread_slot() of the calling thread.
    bool try_shared(unsigned slot) noexcept {
        readers_.enter(slot);
        std::uint32_t state;
        unsigned spins = 0;
        while ((state = exclusive_.load(std::memory_order_seq_cst)) == kClaiming) spin_pause(spins);
        if (state == kFree) return true;
        readers_.leave(slot);
        return false;
    }
    void release_shared(unsigned slot) noexcept { readers_.leave(slot); }
    bool try_exclusive() noexcept {
        std::uint32_t expected = kFree;
        if (!exclusive_.compare_exchange_strong(expected, kClaiming, std::memory_order_seq_cst))
            return false;
        const bool granted = !readers_.any() && !(folded_ && folded_->any());
        exclusive_.store(granted ? kHeld : kFree, std::memory_order_seq_cst);
        return granted;
    }
    void release_exclusive() noexcept { exclusive_.store(kFree, std::memory_order_release); }
    // For a reader already counted in the folded lock: whether an exclusive borrow is held
    // (an attempt still deciding is waited out, as in try_shared).
    bool exclusive_held() const noexcept {
        std::uint32_t state;
        unsigned spins = 0;
        while ((state = exclusive_.load(std::memory_order_seq_cst)) == kClaiming) spin_pause(spins);
        return state != kFree;
    }

private:
    void reset_after_fork() noexcept override;

    static constexpr std::uint32_t kFree = 0, kClaiming = 1, kHeld = 2;
    const ReaderSlots* folded_ = nullptr;
    ReaderSlots readers_;
    alignas(64) std::atomic<std::uint32_t> exclusive_{kFree};
};

// One borrow of a BorrowFlag for the lifetime of the object, kept on a list of the thread's
// borrows (innermost first).
class BorrowHold {
public:
    BorrowHold(BorrowFlag& flag, bool exclusive) noexcept;
    ~BorrowHold();
    BorrowHold(const BorrowHold&) = delete;
    BorrowHold& operator=(const BorrowHold&) = delete;
    bool held() const noexcept { return held_; }

private:
    friend class BorrowFlag;
    BorrowFlag& flag_;
    BorrowHold* outer_;
    unsigned slot_ = 0;
    bool exclusive_;
    bool held_ = false;
};

// Reader-writer lock. Readers take a fast path of their own slot's count while no writer is
// about; everything that waits goes through `mutex_`, on a node of its own:
//  - writers queue in arrival order and the lock passes from one to the next without ever
//    becoming free in between, so a newcomer cannot overtake them;
//  - readers that met a writer are let in all together when it releases the lock, before
//    the next writer, so neither kind waits for more than the turns ahead of it;
//  - a writer waiting for readers to leave is woken by the last one only.
// A thread that was granted the lock while detached holds it "unconfirmed" until it has
// re-attached. When the interpreter finalizes, the thread left running takes such grants
// back (their threads will never run again), and a thread whose re-attaching ends it by a
// forced unwind gives its grant back on the way out.
class RwLock final : public ForkTracked {
public:
    explicit RwLock(const char* name) noexcept : name_(name) {}
    ~RwLock() = default;

    // Shared: granted at once when the calling thread already reads this lock (so nested
    // reads never queue behind a waiting writer); refused when it holds it exclusively.
    Status lock_shared();
    // Exclusive: refused when the calling thread holds this lock in any mode.
    Status lock();
    void unlock_shared() noexcept;
    void unlock() noexcept;

    // A read that also stands for the caller's shared borrow of `flag`, which must have been
    // made with this lock's reader_slots(): one count taken instead of two. Granted at once
    // (Granted) when no exclusive borrow is held and no writer is about, or when the thread
    // already reads this lock; Borrowed when an exclusive borrow is held; Busy when a writer
    // is about, and the caller takes its borrow and the lock the usual way instead. Only
    // Granted holds the lock, released by unlock_shared().
    enum class Folded { Granted, Borrowed, Busy };
    Result<Folded> lock_shared_as_borrow(const BorrowFlag& flag);
    const ReaderSlots* reader_slots() const noexcept { return &readers_; }

    // Whether a writer holds the lock or waits for it (it stays up from one queued writer to
    // the next). Acquire: when down, whatever the last writer did is visible.
    bool writer_about() const noexcept { return writer_.load(std::memory_order_acquire) != 0; }

    const char* name() const noexcept { return name_; }

    // How many threads wait in each queue (diagnostics and tests).
    struct Queued {
        unsigned readers, writers;
    };
    Queued queued();

    struct Waiter;

private:
    Error reentrant_error(bool exclusive_wanted) const;
    void leave_and_wake(unsigned slot) noexcept;
    void reset_after_fork() noexcept override;

    bool acquire_slow(Waiter& w, bool claimed);
    // These run under mutex_.
    void forget(Waiter& w) noexcept;
    void pass_on() noexcept;
    void revoke_detached() noexcept;
    void undo_grant(Waiter& w) noexcept;
    void wake_drainer() noexcept;

    const char* name_;
    ReaderSlots readers_;
    // Raised by the writer that holds the lock or is waiting for the readers to leave; while
    // writers queue it stays up from one to the next.
    alignas(64) std::atomic<std::uint32_t> writer_{0};
    std::atomic<bool> draining_{false};  // a writer sleeps until the readers have left
    std::mutex mutex_;  // never held by a thread that blocks (other than on mutex_ itself)
    Waiter* writers_head_ = nullptr;  // queued writers, oldest first
    Waiter* writers_tail_ = nullptr;
    Waiter* readers_waiting_ = nullptr;  // readers that met a writer
    Waiter* granted_ = nullptr;          // granted to detached threads, not yet confirmed
    Waiter* drainer_ = nullptr;          // the writer waiting for the readers to leave
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
