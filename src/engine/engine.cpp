// Engine operations: the group stack, reads, writes, enumerations and sync, each under the
// one lock that guards the document and the group stack.
#include "engine/engine.hpp"

namespace zel {

Result<std::unique_ptr<Engine>> Engine::open(std::string path, Driver driver) {
    // A file's document is built in a region of its own (a reader runs no foreign code, so
    // nothing else is built in the region meanwhile); the region outlives the result. A custom
    // driver's load runs Python code and a memory store starts empty: their documents come
    // from the heap.
    std::unique_ptr<Region> region;
    if (driver.kind != DriverKind::Custom && driver.kind != DriverKind::Memory)
        region = std::make_unique<Region>();
    Result<Value> loaded = [&] {
        RegionScope scope(region.get());
        return load(driver, path);
    }();
    if (!loaded) return std::move(loaded).error();
    return std::make_unique<Engine>(std::move(path), std::move(region),
                                    std::move(loaded).value(), std::move(driver));
}

Engine::~Engine() {
    // Only the region holds the document's blocks: forget the nodes, release the region.
    if (region_only_) document_.forget_region_tree();
}

Status Engine::begin_group(std::string_view name) {
    std::string_view trimmed = trim_group_name(name);
    if (trimmed.empty()) return success();
    std::string element(trimmed);
    auto guard = acquire_write(lock_);
    if (!guard) return std::move(guard).error();
    groups_.push_back(std::move(element));
    return success();
}

Status Engine::end_group() {
    auto guard = acquire_write(lock_);
    if (!guard) return std::move(guard).error();
    if (!groups_.empty()) groups_.pop_back();
    return success();
}

Result<std::string> Engine::group() {
    auto guard = acquire_read(lock_);
    if (!guard) return std::move(guard).error();
    std::string joined;
    for (std::size_t i = 0; i < groups_.size(); ++i) {
        if (i) joined += '/';
        joined += groups_[i];
    }
    return joined;
}

Result<bool> Engine::contains(std::string_view key) {
    return with_node(key, [](const Value* node) { return node != nullptr; });
}

template <class Change>
Status Engine::change_member(std::string_view key, Change&& change) {
    // Whatever the change takes out of the tree is freed after the lock is released.
    Value old;
    {
        auto guard = acquire_write(lock_);
        if (!guard) return std::move(guard).error();
        region_only_ = false;  // from here on the document may hold heap blocks
        auto slot = resolve_parent(document_, groups_, key);
        if (!slot) return std::move(slot).error();
        change(slot.value().parent->as_object(), slot.value().target, old);
    }
    return success();
}

Status Engine::set_value(std::string_view key, Value value) {
    return change_member(key, [&value](Object& members, std::string_view name, Value& old) {
        members.set(name, std::move(value), &old);
    });
}

Status Engine::remove(std::string_view key) {
    return change_member(key, [](Object& members, std::string_view name, Value& old) {
        members.take(name, old);
    });
}

Status Engine::clear() {
    Object removed;
    {
        auto guard = acquire_write(lock_);
        if (!guard) return std::move(guard).error();
        region_only_ = false;
        if (!document_.is_object())
            return make_error(ErrorKind::RootNotObject, "Root is not an object");
        // Check the existing part of the group path first: a failure changes nothing.
        Value* node = &document_;
        std::size_t i = 0;
        for (; i < groups_.size(); ++i) {
            Value* child = node->find(groups_[i]);
            if (!child) break;
            if (!child->is_object())
                return make_error(ErrorKind::PathNotObject, "Path segment is not an object");
            node = child;
        }
        for (; i < groups_.size(); ++i) node = &node->set(groups_[i], Value::object());
        removed.swap(node->as_object());
    }
    return success();
}

void collect_keys(const Value& node, std::vector<std::string>& out) {
    if (!node.is_object()) return;
    // One path buffer shared by all levels: each frame remembers the length of its prefix,
    // so a deep chain costs no more than the keys it reports.
    struct Frame {
        Object::const_iterator next, end;
        std::size_t prefix_length;
    };
    std::string path;
    std::vector<Frame> stack;
    stack.push_back(Frame{node.as_object().begin(), node.as_object().end(), 0});
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next == top.end) {
            stack.pop_back();
            continue;
        }
        const Member& member = *top.next++;
        const Value& child = member.value;
        path.resize(top.prefix_length);
        if (top.prefix_length != 0) path += '/';  // the test is on the prefix, not the depth
        path += member.name();
        if (child.is_object()) {
            const Object& members = child.as_object();
            stack.push_back(Frame{members.begin(), members.end(), path.size()});
        } else {
            out.push_back(path);
        }
    }
}

template <class Fn>
Result<std::vector<std::string>> Engine::list_current_group(Fn&& fill) {
    std::vector<std::string> out;
    auto guard = acquire_read(lock_);
    if (!guard) return std::move(guard).error();
    const Value* node = resolve_node(document_, groups_, std::string_view());
    if (node && node->is_object()) fill(*node, out);
    return out;
}

Result<std::vector<std::string>> Engine::all_keys() {
    return list_current_group(
        [](const Value& node, std::vector<std::string>& out) { collect_keys(node, out); });
}

Result<std::vector<std::string>> Engine::child_keys() {
    return list_current_group([](const Value& node, std::vector<std::string>& out) {
        for (const Member& m : node.as_object())
            if (!m.value.is_object()) out.emplace_back(m.name());
    });
}

Result<std::vector<std::string>> Engine::child_groups() {
    return list_current_group([](const Value& node, std::vector<std::string>& out) {
        for (const Member& m : node.as_object())
            if (m.value.is_object()) out.emplace_back(m.name());
    });
}

Status Engine::sync() {
    if (driver_.kind == DriverKind::Custom && driver_.custom) {
        // The snapshot is taken under the read lock; the driver's write, which is foreign
        // code free to call back into this store or to let other threads run, is called
        // with no lock held. It still receives the document as it was when locked.
        std::unique_ptr<CustomSnapshot> snapshot;
        {
            auto doc = acquire_read(lock_);
            if (!doc) return std::move(doc).error();
            auto taken = driver_.custom->snapshot(document_);
            if (!taken) return std::move(taken).error();
            snapshot = std::move(taken).value();
        }
        return driver_.custom->write(path_, *snapshot);
    }
    auto doc = acquire_read(lock_);
    if (!doc) return std::move(doc).error();
    return save(driver_, path_, document_);
}

}  // namespace zel
