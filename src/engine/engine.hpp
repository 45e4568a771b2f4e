// The engine behind one store: its path, the document and the group stack under one
// reader-writer lock, the store's borrow flag, and the driver. Every operation a Python
// method performs.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "drivers/drivers.hpp"
#include "engine/key_path.hpp"
#include "engine/rw_lock.hpp"
#include "value/error.hpp"
#include "value/region.hpp"
#include "value/value.hpp"

namespace zel {

class Engine {
public:
    // Chooses nothing and loads nothing: see open().
    Engine(std::string path, Value document, Driver driver)
        : Engine(std::move(path), nullptr, std::move(document), std::move(driver)) {}
    // The same with a document whose blocks all live in `region` (when given), which the
    // engine keeps.
    Engine(std::string path, std::unique_ptr<Region> region, Value document, Driver driver)
        : path_(std::move(path)),
          region_(std::move(region)),
          region_only_(region_ != nullptr),
          document_(std::move(document)),
          driver_(std::move(driver)) {}
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Loads the document through the driver; the engine exists only when loading succeeded.
    static Result<std::unique_ptr<Engine>> open(std::string path, Driver driver);

    const std::string& path() const noexcept { return path_; }

    Status begin_group(std::string_view name);
    Status end_group();
    Result<std::string> group();

    // Runs fn(const Value* node) with the document and the group stack read-locked; node is
    // nullptr when the key resolves to nothing. The node must not escape fn.
    template <class Fn>
    auto with_node(std::string_view key, Fn&& fn)
        -> Result<decltype(fn(static_cast<const Value*>(nullptr)))> {
        auto guard = acquire_read(lock_);
        if (!guard) return std::move(guard).error();
        return fn(resolve_node(document_, groups_, key));
    }
    // The same for a call that has not taken its shared borrow: the borrow is folded into the
    // read lock (one count instead of two; RwLock::lock_shared_as_borrow). Only when that is
    // Granted does fn run, under the lock, which is let go before this returns; Borrowed and
    // Busy leave it to the caller (raise, or take the borrow and call with_node).
    template <class Fn>
    Result<RwLock::Folded> with_node_as_borrow(std::string_view key, Fn&& fn) {
        auto folded = lock_.lock_shared_as_borrow(borrow_);
        if (!folded || folded.value() != RwLock::Folded::Granted) return folded;
        ReadGuard guard(&lock_);
        fn(resolve_node(document_, groups_, key));
        return folded;
    }

    // A read for a caller that runs alone: until fn returns, no other thread can take or ask
    // for this engine's lock or an exclusive borrow of it, and fn neither blocks nor calls
    // back into the engine. (The Python boundary under a global interpreter lock: every lock
    // and borrow request is made by a thread that holds it, and fn runs no Python code.) A
    // read then needs no count: fn runs on the document when no writer holds or waits for the
    // lock and no exclusive borrow is held, and true is returned; otherwise nothing runs,
    // false is returned, and the caller takes the counted path.
    template <class Fn>
    bool with_node_alone(std::string_view key, Fn&& fn) {
        if (lock_.writer_about() || borrow_.exclusive_held()) return false;
        fn(resolve_node(document_, groups_, key));
        return true;
    }

    Result<bool> contains(std::string_view key);
    Status set_value(std::string_view key, Value value);
    Status remove(std::string_view key);
    Status clear();

    Result<std::vector<std::string>> all_keys();
    Result<std::vector<std::string>> child_keys();
    Result<std::vector<std::string>> child_groups();

    Status sync();

    // Shared by every call on the store, held for the length of the call; never waits.
    BorrowFlag& borrow() noexcept { return borrow_; }
    // The custom driver, if the store has one (for the garbage collector's traversal).
    CustomDriver* custom_driver() noexcept { return driver_.custom.get(); }

private:
    // Resolves the parent of the key's target under the document write lock and runs
    // change(members, target name, old), where old receives anything taken out of the tree.
    template <class Change>
    Status change_member(std::string_view key, Change&& change);
    template <class Fn>
    Result<std::vector<std::string>> list_current_group(Fn&& fill);

    std::string path_;
    RwLock lock_{"document"};  // guards document_ and groups_, region_only_
    // Its exclusive borrows also wait for no reader of lock_ (reads may fold their borrow in).
    BorrowFlag borrow_{lock_.reader_slots()};
    // The region of the loaded document, released after it (declared before it).
    std::unique_ptr<Region> region_;
    // Every block of the document lives in region_: nothing was changed since loading, so
    // the document is released with the region, without a walk over its nodes.
    bool region_only_ = false;
    Value document_;
    std::vector<std::string> groups_;
    Driver driver_;
};

// Paths of every key below `node` relative to it, depth first in member order; an explicit
// stack instead of recursion, since the tree can be as deep as the longest key.
void collect_keys(const Value& node, std::vector<std::string>& out);

}  // namespace zel
