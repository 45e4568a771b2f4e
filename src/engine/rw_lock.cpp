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

// What the current thread needs on every lock operation, behind one thread-local access:
// its reader slot (assigned on first use) and the locks it holds (usually zero to two).
struct ThreadLocks {
    unsigned slot_plus_one = 0;
    std::vector<Holding> held;

    unsigned slot() noexcept {
        if (slot_plus_one == 0) {
            static std::atomic<unsigned> next{0};
            slot_plus_one = next.fetch_add(1, std::memory_order_relaxed) % ReaderSlots::kSlots + 1;
        }
        return slot_plus_one - 1;
    }
    Holding* find(const RwLock* lock) noexcept {
        for (auto& h : held)
            if (h.lock == lock) return &h;
        return nullptr;
    }
    void forget_if_unused(Holding* h) noexcept {
        if (h->shared != 0 || h->exclusive) return;
        *h = held.back();
        held.pop_back();
    }
};

thread_local ThreadLocks t_locks;

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

unsigned ReaderSlots::thread_slot() noexcept { return t_locks.slot(); }

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
    ThreadLocks& me = t_locks;
    const unsigned slot = me.slot();
    Holding* mine = me.find(this);
    if (mine && mine->exclusive) return reentrant_error(false);
    if (mine) {
        // Nested: a writer waiting for this thread's first read must not hold up the second.
        readers_.enter(slot);
        ++mine->shared;
        return success();
    }
    me.held.reserve(me.held.size() + 1);  // no allocation failure after the lock is taken
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
    me.held.push_back(Holding{this, 1, false});
    return success();
}

Status RwLock::lock() {
    ThreadLocks& me = t_locks;
    if (me.find(this)) return reentrant_error(true);
    me.held.reserve(me.held.size() + 1);
    if (!writers_.try_lock()) {
        Detached detached;
        writers_.lock();
    }
    writer_.store(1, std::memory_order_seq_cst);
    if (readers_.any()) {
        Detached detached;
        std::unique_lock inner(mutex_);
        sleepers_.fetch_add(1, std::memory_order_seq_cst);
        released_.wait(inner, [this] { return !readers_.any(); });
        sleepers_.fetch_sub(1, std::memory_order_seq_cst);
    }
    me.held.push_back(Holding{this, 0, true});
    return success();
}

void RwLock::unlock_shared() noexcept {
    ThreadLocks& me = t_locks;
    readers_.leave(me.slot());
    wake_waiters();
    if (Holding* mine = me.find(this)) {
        --mine->shared;
        me.forget_if_unused(mine);
    }
}

void RwLock::unlock() noexcept {
    writer_.store(0, std::memory_order_seq_cst);
    writers_.unlock();
    wake_waiters();
    ThreadLocks& me = t_locks;
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
