// Reader-writer lock for the engine's document and group stack. A thread that must wait
// detaches from the interpreter first (through the installed wait hooks), and a thread that
// would wait for a lock it already holds itself gets an error instead of a deadlock.
#pragma once

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

    const char* name_;
    std::mutex mutex_;
    std::condition_variable released_;
    std::uint32_t readers_ = 0;
    std::uint32_t writers_waiting_ = 0;
    bool writer_ = false;
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
