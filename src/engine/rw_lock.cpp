// The engine's reader-writer lock: readers count themselves in on their own thread's slot
// and back off while a writer has claimed the lock; waits happen detached from the
// interpreter; each thread keeps a small record of the locks it holds so that self-deadlock
// is reported instead of entered.
#include "engine/rw_lock.hpp"

#include <string>
#include <vector>

namespace zel {
namespace {

std::atomic<void* (*)()> g_detach{nullptr};
std::atomic<void (*)(void*)> g_attach{nullptr};

struct Holding {
    const RwLock* lock;
    std::uint32_t shared;  // nested shared holds by this thread
    bool exclusive;
};

// What the current thread needs on every lock operation: its reader slot (assigned on first
// use) and the locks it holds, usually zero to two. Zero-initialised and trivially
// destructible, so reaching it costs one thread-local access and no initialisation check;
// the rare thread holding more locks at once keeps the rest in `t_more_held`.
struct ThreadLocks {
    static constexpr unsigned kInline = 6;
    unsigned slot_plus_one;
    unsigned count;
    bool spilled;
    Holding held[kInline];

    unsigned slot() noexcept {
        if (slot_plus_one == 0) {
            static std::atomic<unsigned> next{0};
            slot_plus_one = next.fetch_add(1, std::memory_order_relaxed) % ReaderSlots::kSlots + 1;
        }
        return slot_plus_one - 1;
    }
    Holding* find(const RwLock* lock) noexcept;
    // Makes room for one more holding, so that recording a lock once taken cannot fail.
    void reserve();
    void add(Holding h) noexcept;
    void forget_if_unused(Holding* h) noexcept;
};

thread_local ThreadLocks t_locks;
thread_local std::vector<Holding> t_more_held;

// Out of line so that a caller computes the thread-local address once and keeps the pointer
// (the compiler would otherwise look it up again after every atomic operation).
[[gnu::noinline]] ThreadLocks& this_thread() noexcept { return t_locks; }

// The spilled holdings are reached only through these, kept out of line so that the common
// path never computes the address of t_more_held.
[[gnu::noinline]] Holding* find_spilled(const RwLock* lock) noexcept {
    for (auto& h : t_more_held)
        if (h.lock == lock) return &h;
    return nullptr;
}

[[gnu::noinline]] void reserve_spilled() { t_more_held.reserve(t_more_held.size() + 1); }

[[gnu::noinline]] void add_spilled(Holding h) noexcept {
    t_more_held.push_back(h);  // capacity reserved beforehand
}

// Removes `h` if it is a spilled holding, else takes the last spilled one out into `refill`;
// returns whether any remain.
[[gnu::noinline]] bool take_spilled(Holding* h, Holding* refill) noexcept {
    if (h) {
        *h = t_more_held.back();
    } else {
        *refill = t_more_held.back();
    }
    t_more_held.pop_back();
    return !t_more_held.empty();
}

Holding* ThreadLocks::find(const RwLock* lock) noexcept {
    for (unsigned i = 0; i < count; ++i)
        if (held[i].lock == lock) return &held[i];
    return spilled ? find_spilled(lock) : nullptr;
}

void ThreadLocks::reserve() {
    if (count == kInline) reserve_spilled();
}

void ThreadLocks::add(Holding h) noexcept {
    if (count < kInline) {
        held[count++] = h;
    } else {
        add_spilled(h);
        spilled = true;
    }
}

void ThreadLocks::forget_if_unused(Holding* h) noexcept {
    if (h->shared != 0 || h->exclusive) return;
    if (h >= held && h < held + count) {
        *h = held[--count];
        if (spilled) spilled = take_spilled(nullptr, &held[count++]);
    } else {
        spilled = take_spilled(h, nullptr);
    }
}

// Detached for the lifetime of the object, when hooks are installed.
class Detached {
public:
    Detached() : attach_(g_attach.load()) {
        auto detach = g_detach.load();
        if (detach && attach_) token_ = detach();
    }
    ~Detached() {
        if (token_) attach_(token_);
    }

private:
    void (*attach_)(void*);
    void* token_ = nullptr;
};

}  // namespace

unsigned ReaderSlots::thread_slot() noexcept { return this_thread().slot(); }

void set_wait_hooks(WaitHooks hooks) noexcept {
    g_detach.store(hooks.detach);
    g_attach.store(hooks.attach);
}

Error RwLock::reentrant_error(bool exclusive_wanted) const {
    std::string text = "Cannot ";
    text += exclusive_wanted ? "change " : "read ";
    text += "the settings ";
    text += name_;
    text += " here: this thread already holds its lock (a call made on the same store from "
            "code that runs inside another of its methods)";
    return make_error(ErrorKind::Reentrant, std::move(text));
}

// A waiter counts itself in sleepers_ under mutex_ before it checks its condition; whoever
// changes a condition checks sleepers_ afterwards and, when there are any, passes through
// mutex_ before notifying, so no wake-up is lost.
void RwLock::wake_waiters() noexcept {
    if (sleepers_.load(std::memory_order_seq_cst) == 0) return;
    { std::lock_guard guard(mutex_); }
    released_.notify_all();
}

Status RwLock::lock_shared() {
    ThreadLocks& me = this_thread();
    const unsigned slot = me.slot();
    Holding* mine = me.find(this);
    if (mine && mine->exclusive) return reentrant_error(false);
    if (mine) {
        // Nested: a writer waiting for this thread's first read must not hold up the second.
        readers_.enter(slot);
        ++mine->shared;
        return success();
    }
    me.reserve();
    for (;;) {
        readers_.enter(slot);
        if (writer_.load(std::memory_order_seq_cst) == 0) break;
        readers_.leave(slot);
        wake_waiters();  // the writer may be waiting for the count just taken back
        // The inner lock is released before re-attaching: re-attaching may block, and no
        // thread may block while holding mutex_.
        Detached detached;
        std::unique_lock inner(mutex_);
        sleepers_.fetch_add(1, std::memory_order_seq_cst);
        released_.wait(inner, [this] { return writer_.load(std::memory_order_seq_cst) == 0; });
        sleepers_.fetch_sub(1, std::memory_order_seq_cst);
    }
    me.add(Holding{this, 1, false});
    return success();
}

Status RwLock::lock() {
    ThreadLocks& me = this_thread();
    if (me.find(this)) return reentrant_error(true);
    me.reserve();
    auto claim = [this] {
        std::uint32_t expected = 0;
        return writer_.compare_exchange_strong(expected, 1, std::memory_order_seq_cst);
    };
    if (!claim()) {
        Detached detached;
        std::unique_lock inner(mutex_);
        sleepers_.fetch_add(1, std::memory_order_seq_cst);
        released_.wait(inner, claim);
        sleepers_.fetch_sub(1, std::memory_order_seq_cst);
    }
    if (readers_.any()) {
        Detached detached;
        std::unique_lock inner(mutex_);
        sleepers_.fetch_add(1, std::memory_order_seq_cst);
        released_.wait(inner, [this] { return !readers_.any(); });
        sleepers_.fetch_sub(1, std::memory_order_seq_cst);
    }
    me.add(Holding{this, 0, true});
    return success();
}

void RwLock::unlock_shared() noexcept {
    ThreadLocks& me = this_thread();
    readers_.leave(me.slot());
    wake_waiters();
    if (Holding* mine = me.find(this)) {
        --mine->shared;
        me.forget_if_unused(mine);
    }
}

void RwLock::unlock() noexcept {
    writer_.store(0, std::memory_order_seq_cst);
    wake_waiters();
    ThreadLocks& me = this_thread();
    if (Holding* mine = me.find(this)) {
        mine->exclusive = false;
        me.forget_if_unused(mine);
    }
}

Result<ReadGuard> acquire_read(RwLock& lock) {
    Status s = lock.lock_shared();
    if (!s) return std::move(s).error();
    return ReadGuard(&lock);
}

Result<WriteGuard> acquire_write(RwLock& lock) {
    Status s = lock.lock();
    if (!s) return std::move(s).error();
    return WriteGuard(&lock);
}

}  // namespace zel
