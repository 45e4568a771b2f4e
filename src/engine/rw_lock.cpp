// The engine's reader-writer lock: readers count themselves in on their own thread's slot
// and back off while a writer has claimed the lock; waits happen detached from the
// interpreter, each on a node of its own; each thread keeps a small record of the locks it
// holds so that self-deadlock is reported instead of entered and a forked child keeps the
// forking thread's holds. Also the borrow flag's per-thread record and the fork handler.
#include "engine/rw_lock.hpp"

#include <pthread.h>
#include <sched.h>

#include <new>
#include <string>
#include <vector>

namespace zel {
namespace {

std::atomic<void* (*)()> g_detach{nullptr};
std::atomic<void (*)(void*)> g_attach{nullptr};
std::atomic<bool (*)()> g_sole{nullptr};

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
        if (slot_plus_one == 0) slot_plus_one = claim_slot() + 1;
        return slot_plus_one - 1;
    }
    static unsigned claim_slot() noexcept;
    Holding* find(const RwLock* lock) noexcept;
    // Makes room for one more holding, so that recording a lock once taken cannot fail.
    void reserve();
    void add(Holding h) noexcept;
    void forget_if_unused(Holding* h) noexcept;
};

thread_local ThreadLocks t_locks;
thread_local std::vector<Holding> t_more_held;

// How many live threads use each reader slot. A thread takes the least used slot on its
// first lock operation and gives it back when it ends, so up to kSlots live threads always
// have a slot each, however many threads came and went before them.
std::atomic<unsigned> g_slot_users[ReaderSlots::kSlots];

// Gives the thread's slot back at its exit. Constructed only when a slot is claimed, so that
// the common path never pays for a thread-local with a destructor.
struct SlotRelease {
    unsigned slot = ReaderSlots::kSlots;
    ~SlotRelease() {
        if (slot < ReaderSlots::kSlots) g_slot_users[slot].fetch_sub(1, std::memory_order_relaxed);
    }
};
thread_local SlotRelease t_slot_release;

[[gnu::noinline]] unsigned ThreadLocks::claim_slot() noexcept {
    unsigned best = 0;
    unsigned fewest = g_slot_users[0].load(std::memory_order_relaxed);
    for (unsigned i = 1; i < ReaderSlots::kSlots && fewest != 0; ++i) {
        const unsigned users = g_slot_users[i].load(std::memory_order_relaxed);
        if (users < fewest) {
            best = i;
            fewest = users;
        }
    }
    // Two threads claiming at once may pick the same slot; that costs only sharing a cache
    // line, never correctness, since a slot is a count that any number of threads may share.
    g_slot_users[best].fetch_add(1, std::memory_order_relaxed);
    t_slot_release.slot = best;
    return best;
}

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

// Lets go of the interpreter, when hooks are installed; the token goes to attach_now().
void* detach_now() noexcept {
    auto detach = g_detach.load();
    return detach && g_attach.load() ? detach() : nullptr;
}

// Re-attaches. Not noexcept: at interpreter exit this may end the thread by a forced unwind,
// which must pass through every frame up to the thread's start.
void attach_now(void* token) {
    if (token) g_attach.load()(token);
}

bool is_sole() noexcept {
    auto sole = g_sole.load();
    return sole && sole();
}

// The borrows of the current thread, innermost first.
thread_local BorrowHold* t_borrows;
[[gnu::noinline]] BorrowHold*& this_thread_borrows() noexcept { return t_borrows; }

}  // namespace

unsigned ReaderSlots::thread_slot() noexcept { return this_thread().slot(); }

void set_wait_hooks(WaitHooks hooks) noexcept {
    g_detach.store(hooks.detach);
    g_attach.store(hooks.attach);
    g_sole.store(hooks.sole);
}

void spin_pause(unsigned& spins) noexcept {
    if (++spins % 64 == 0) {
        ::sched_yield();
        return;
    }
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__) || (defined(__arm__) && __ARM_ARCH >= 7)
    asm volatile("yield" ::: "memory");
#endif
}

// ---- fork ------------------------------------------------------------------------------

// Every live ForkTracked object. The prepare handler takes the list's mutex, so that no
// object is being added or removed while the process forks; the child walks the list.
struct ForkRegistry {
    static ForkRegistry& get() noexcept {
        static ForkRegistry* registry = new ForkRegistry;  // outlives every tracked object
        return *registry;
    }
    std::mutex mutex;
    ForkTracked* head = nullptr;

    ForkRegistry() { ::pthread_atfork(prepare, parent, child); }
    static void prepare() noexcept { get().mutex.lock(); }
    static void parent() noexcept { get().mutex.unlock(); }
    static void child() noexcept {
        ForkRegistry& r = get();
        // Taken by this thread before the fork; a fresh one is simply free.
        new (&r.mutex) std::mutex;
        // Only the forking thread lives on: it alone uses a slot.
        for (auto& users : g_slot_users) users.store(0, std::memory_order_relaxed);
        if (t_locks.slot_plus_one) g_slot_users[t_locks.slot_plus_one - 1].store(1);
        for (ForkTracked* t = r.head; t; t = t->next_) t->reset_after_fork();
    }
};

ForkTracked::ForkTracked() noexcept {
    ForkRegistry& r = ForkRegistry::get();
    std::lock_guard guard(r.mutex);
    next_ = r.head;
    if (next_) next_->prev_ = this;
    r.head = this;
}

ForkTracked::~ForkTracked() {
    ForkRegistry& r = ForkRegistry::get();
    std::lock_guard guard(r.mutex);
    if (prev_) prev_->next_ = next_;
    else r.head = next_;
    if (next_) next_->prev_ = prev_;
}

// ---- borrows ---------------------------------------------------------------------------

BorrowHold::BorrowHold(BorrowFlag& flag, bool exclusive) noexcept
    : flag_(flag), exclusive_(exclusive) {
    if (exclusive) {
        held_ = flag.try_exclusive();
    } else {
        slot_ = ReaderSlots::thread_slot();
        held_ = flag.try_shared(slot_);
    }
    BorrowHold*& top = this_thread_borrows();
    outer_ = top;
    top = this;
}

BorrowHold::~BorrowHold() {
    BorrowHold*& top = this_thread_borrows();
    if (top == this) {
        top = outer_;
    } else {
        for (BorrowHold* h = top; h; h = h->outer_)
            if (h->outer_ == this) {
                h->outer_ = outer_;
                break;
            }
    }
    if (!held_) return;
    if (exclusive_) flag_.release_exclusive();
    else flag_.release_shared(slot_);
}

void BorrowFlag::reset_after_fork() noexcept {
    std::uint32_t shared = 0;
    bool exclusive = false;
    for (BorrowHold* h = this_thread_borrows(); h; h = h->outer_) {
        if (&h->flag_ != this || !h->held_) continue;
        if (h->exclusive_) exclusive = true;
        else ++shared;
    }
    readers_.reset(ReaderSlots::thread_slot(), shared);
    exclusive_.store(exclusive ? kHeld : kFree, std::memory_order_relaxed);
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

// ---- the lock -------------------------------------------------------------------------

// A thread that must wait: queued, then granted the lock (holding it, but not yet back in the
// interpreter), then confirmed once it is; or revoked by a finalizing interpreter's last
// thread. It lives on the waiting thread's stack and is on at most one list at a time.
struct RwLock::Waiter {
    enum State : std::uint8_t { Idle, Queued, Granted, Revoked, Confirmed };
    RwLock& lock;
    const bool exclusive;
    const unsigned slot;
    State state = Idle;
    Waiter* next = nullptr;
    std::condition_variable cv;

    Waiter(RwLock& l, bool x, unsigned s) noexcept : lock(l), exclusive(x), slot(s) {}
    Waiter(const Waiter&) = delete;
    Waiter& operator=(const Waiter&) = delete;
    // Still queued or granted only when re-attaching ended the thread by a forced unwind:
    // what it was given goes back.
    ~Waiter() {
        if (state != Queued && state != Granted) return;
        std::lock_guard guard(lock.mutex_);
        lock.forget(*this);
    }
};

namespace {

void push(RwLock::Waiter*& head, RwLock::Waiter* w) noexcept {
    w->next = head;
    head = w;
}

void unlink(RwLock::Waiter*& head, RwLock::Waiter* w) noexcept {
    for (RwLock::Waiter** p = &head; *p; p = &(*p)->next)
        if (*p == w) {
            *p = w->next;
            w->next = nullptr;
            return;
        }
}

}  // namespace

void RwLock::forget(Waiter& w) noexcept {
    if (w.state == Waiter::Queued) {
        if (w.exclusive) {
            Waiter* before = nullptr;
            for (Waiter* p = writers_head_; p; before = p, p = p->next)
                if (p == &w) {
                    (before ? before->next : writers_head_) = w.next;
                    if (writers_tail_ == &w) writers_tail_ = before;
                    break;
                }
            w.next = nullptr;
        } else {
            unlink(readers_waiting_, &w);
        }
    } else if (w.state == Waiter::Granted) {
        unlink(granted_, &w);
        undo_grant(w);
    }
    w.state = Waiter::Revoked;
}

// The last reader to leave while a writer sleeps waiting for them wakes it.
void RwLock::wake_drainer() noexcept {
    if (drainer_ && !readers_.any()) drainer_->cv.notify_one();
}

// The writer's turn is over (writer_ is up): the readers that met it go in, then the oldest
// queued writer gets the lock, which stays claimed from one writer to the next.
void RwLock::pass_on() noexcept {
    while (Waiter* r = readers_waiting_) {
        readers_waiting_ = r->next;
        readers_.enter(r->slot);
        r->state = Waiter::Granted;
        push(granted_, r);
        r->cv.notify_one();
    }
    if (Waiter* w = writers_head_) {
        writers_head_ = w->next;
        if (!writers_head_) writers_tail_ = nullptr;
        w->state = Waiter::Granted;
        push(granted_, w);
        w->cv.notify_one();
    } else {
        writer_.store(0, std::memory_order_seq_cst);
    }
}

void RwLock::undo_grant(Waiter& w) noexcept {
    if (w.exclusive) {
        if (drainer_ == &w) {
            drainer_ = nullptr;
            draining_.store(false, std::memory_order_seq_cst);
        }
        pass_on();
    } else {
        readers_.leave(w.slot);
        wake_drainer();
    }
}

// Called by the only thread that can still run: every thread waiting or granted the lock
// while detached will stop for good when it tries to re-attach, so what they wait for or
// were given is taken back. Holders that re-attached keep what they hold.
void RwLock::revoke_detached() noexcept {
    auto revoke = [](Waiter* w) {
        w->state = Waiter::Revoked;
        w->cv.notify_one();
    };
    while (Waiter* w = writers_head_) {
        writers_head_ = w->next;
        revoke(w);
    }
    writers_tail_ = nullptr;
    while (Waiter* r = readers_waiting_) {
        readers_waiting_ = r->next;
        revoke(r);
    }
    while (Waiter* g = granted_) {
        granted_ = g->next;
        undo_grant(*g);
        revoke(g);
    }
}

// The slow path of both modes, entered attached; `claimed` when this writer has already
// raised writer_. Returns whether the lock is held (and recorded nowhere but the caller);
// false when the grant was revoked while detached, and the caller starts over.
bool RwLock::acquire_slow(Waiter& w, bool claimed) {
    std::unique_lock inner(mutex_);
    if (is_sole()) revoke_detached();
    if (w.exclusive) {
        if (!claimed) {
            std::uint32_t expected = 0;
            claimed = writer_.compare_exchange_strong(expected, 1, std::memory_order_seq_cst);
        }
        if (claimed) {
            if (!readers_.any()) return true;
            w.state = Waiter::Granted;
            push(granted_, &w);
        } else {
            w.state = Waiter::Queued;
            (writers_tail_ ? writers_tail_->next : writers_head_) = &w;
            writers_tail_ = &w;
        }
    } else {
        readers_.enter(w.slot);
        if (writer_.load(std::memory_order_seq_cst) == 0) return true;
        readers_.leave(w.slot);
        wake_drainer();
        w.state = Waiter::Queued;
        push(readers_waiting_, &w);
    }
    // Registered before detaching: from here on a finalizing interpreter's last thread can
    // see and revoke what this thread waits for. Detaching never blocks, so it may happen
    // under mutex_; re-attaching may, so it happens only after mutex_ is released.
    void* token = detach_now();
    w.cv.wait(inner, [&] { return w.state != Waiter::Queued; });
    if (w.exclusive && w.state == Waiter::Granted && readers_.any()) {
        drainer_ = &w;
        draining_.store(true, std::memory_order_seq_cst);
        w.cv.wait(inner, [&] { return w.state != Waiter::Granted || !readers_.any(); });
        if (drainer_ == &w) {
            drainer_ = nullptr;
            draining_.store(false, std::memory_order_seq_cst);
        }
    }
    inner.unlock();
    attach_now(token);
    inner.lock();
    if (w.state != Waiter::Granted) return false;
    unlink(granted_, &w);
    w.state = Waiter::Confirmed;
    return true;
}

// Takes back a count that must not stay; a writer may be waiting for it.
void RwLock::leave_and_wake(unsigned slot) noexcept {
    readers_.leave(slot);
    if (draining_.load(std::memory_order_seq_cst) && !readers_.any()) {
        std::lock_guard guard(mutex_);
        wake_drainer();
    }
}

Result<RwLock::Folded> RwLock::lock_shared_as_borrow(const BorrowFlag& flag) {
    ThreadLocks& me = this_thread();
    const unsigned slot = me.slot();
    Holding* mine = me.find(this);
    if (mine && mine->exclusive) return reentrant_error(false);
    if (!mine) me.reserve();
    readers_.enter(slot);
    // Counted in first, then the flag looked at; an exclusive borrower claims the flag first,
    // then looks at these counts (all sequentially consistent): never both.
    if (flag.exclusive_held()) {
        leave_and_wake(slot);
        return Folded::Borrowed;
    }
    if (mine) {
        ++mine->shared;  // nested: as in lock_shared
        return Folded::Granted;
    }
    if (writer_.load(std::memory_order_seq_cst) != 0) {
        leave_and_wake(slot);
        return Folded::Busy;
    }
    me.add(Holding{this, 1, false});
    return Folded::Granted;
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
    readers_.enter(slot);
    if (writer_.load(std::memory_order_seq_cst) != 0) {
        leave_and_wake(slot);
        for (;;) {
            Waiter w(*this, false, slot);
            if (acquire_slow(w, false)) break;
        }
    }
    me.add(Holding{this, 1, false});
    return success();
}

Status RwLock::lock() {
    ThreadLocks& me = this_thread();
    if (me.find(this)) return reentrant_error(true);
    me.reserve();
    std::uint32_t expected = 0;
    bool claimed = writer_.compare_exchange_strong(expected, 1, std::memory_order_seq_cst);
    if (!claimed || readers_.any()) {
        for (;;) {
            Waiter w(*this, true, 0);
            if (acquire_slow(w, claimed)) break;
            claimed = false;
        }
    }
    me.add(Holding{this, 0, true});
    return success();
}

void RwLock::unlock_shared() noexcept {
    ThreadLocks& me = this_thread();
    leave_and_wake(me.slot());
    if (Holding* mine = me.find(this)) {
        --mine->shared;
        me.forget_if_unused(mine);
    }
}

void RwLock::unlock() noexcept {
    {
        std::lock_guard guard(mutex_);
        pass_on();
    }
    ThreadLocks& me = this_thread();
    if (Holding* mine = me.find(this)) {
        mine->exclusive = false;
        me.forget_if_unused(mine);
    }
}

RwLock::Queued RwLock::queued() {
    std::lock_guard guard(mutex_);
    Queued q{0, 0};
    for (Waiter* w = readers_waiting_; w; w = w->next) ++q.readers;
    for (Waiter* w = writers_head_; w; w = w->next) ++q.writers;
    return q;
}

// Only the forking thread exists in the child, and it is not inside any method of the lock:
// every list and the mutex start afresh, and the counts are what this thread holds.
void RwLock::reset_after_fork() noexcept {
    new (&mutex_) std::mutex;
    writers_head_ = writers_tail_ = nullptr;
    readers_waiting_ = granted_ = drainer_ = nullptr;
    draining_.store(false, std::memory_order_relaxed);
    ThreadLocks& me = this_thread();
    const Holding* mine = me.find(this);
    readers_.reset(me.slot(), mine ? mine->shared : 0);
    writer_.store(mine && mine->exclusive ? 1 : 0, std::memory_order_relaxed);
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
