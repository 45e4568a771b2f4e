// The engine's reader-writer lock: waits happen detached from the interpreter, and each
// thread keeps a small record of the locks it holds so that self-deadlock is reported.
#include "engine/rw_lock.hpp"

#include <algorithm>
#include <atomic>
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

// Locks held by the current thread. Usually zero to two entries.
thread_local std::vector<Holding> t_held;

Holding* find_holding(const RwLock* lock) {
    for (auto& h : t_held)
        if (h.lock == lock) return &h;
    return nullptr;
}

void forget_if_unused(const RwLock* lock) {
    auto it = std::find_if(t_held.begin(), t_held.end(),
                           [lock](const Holding& h) { return h.lock == lock; });
    if (it != t_held.end() && it->shared == 0 && !it->exclusive) t_held.erase(it);
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

Status RwLock::lock_shared() {
    Holding* mine = find_holding(this);
    if (mine && mine->exclusive) return reentrant_error(false);
    t_held.reserve(t_held.size() + 1);  // no allocation failure after the lock is taken
    {
        std::unique_lock guard(mutex_);
        if (mine || (!writer_ && writers_waiting_ == 0)) {
            ++readers_;
        } else {
            guard.unlock();
            // The inner lock is released before re-attaching: re-attaching may block, and
            // no thread may block while holding mutex_.
            Detached detached;
            std::unique_lock inner(mutex_);
            released_.wait(inner, [this] { return !writer_ && writers_waiting_ == 0; });
            ++readers_;
        }
    }
    if (mine)
        ++mine->shared;
    else
        t_held.push_back(Holding{this, 1, false});
    return success();
}

Status RwLock::lock() {
    if (find_holding(this)) return reentrant_error(true);
    t_held.reserve(t_held.size() + 1);
    {
        std::unique_lock guard(mutex_);
        if (writer_ || readers_ != 0) {
            ++writers_waiting_;
            guard.unlock();
            Detached detached;
            std::unique_lock inner(mutex_);
            released_.wait(inner, [this] { return !writer_ && readers_ == 0; });
            --writers_waiting_;
            writer_ = true;
        } else {
            writer_ = true;
        }
    }
    t_held.push_back(Holding{this, 0, true});
    return success();
}

void RwLock::unlock_shared() noexcept {
    {
        std::lock_guard guard(mutex_);
        --readers_;
    }
    released_.notify_all();
    if (Holding* mine = find_holding(this)) {
        --mine->shared;
        forget_if_unused(this);
    }
}

void RwLock::unlock() noexcept {
    {
        std::lock_guard guard(mutex_);
        writer_ = false;
    }
    released_.notify_all();
    if (Holding* mine = find_holding(this)) {
        mine->exclusive = false;
        forget_if_unused(this);
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
