// Key segment splitting and the read and write resolutions shared by every engine operation.
#include "engine/key_path.hpp"

namespace zel {

std::vector<std::string_view> key_segments(std::string_view key) {
    std::vector<std::string_view> out;
    for (std::string_view segment : KeySegments(key)) out.push_back(segment);
    return out;
}

const Value* resolve_node(const Value& root, const std::vector<std::string>& groups,
                          std::string_view key) noexcept {
    const Value* node = &root;
    for (const std::string& name : groups) {
        node = node->find(name);
        if (!node) return nullptr;
    }
    for (std::string_view segment : KeySegments(key)) {
        node = node->find(segment);
        if (!node) return nullptr;
    }
    return node;
}

Result<ParentSlot> resolve_parent(Value& root, const std::vector<std::string>& groups,
                                  std::string_view key) {
    if (groups.empty() && key.find_first_not_of('/') == std::string_view::npos)
        return make_error(ErrorKind::KeyEmpty, "Key is empty");
    if (!root.is_object()) return make_error(ErrorKind::RootNotObject, "Root is not an object");

    // The path is the group names followed by the key's segments, walked without being
    // assembled. Every element but the last is a parent; an element is known to be a parent
    // once the next one arrives. The existing part is checked before anything is inserted,
    // so that a failure leaves the document exactly as it was.
    Value* node = &root;
    std::size_t existing = 0;  // parents already present
    std::size_t parents = 0;
    bool missing = false;
    std::string_view pending;
    bool have_pending = false;
    auto feed = [&](std::string_view name) -> bool {
        if (have_pending) {
            ++parents;
            if (!missing) {
                Value* child = node->find(pending);
                if (!child) {
                    missing = true;
                } else {
                    if (!child->is_object()) return false;
                    node = child;
                    ++existing;
                }
            }
        }
        pending = name;
        have_pending = true;
        return true;
    };
    for (const std::string& name : groups)
        if (!feed(name)) return make_error(ErrorKind::PathNotObject, "Path segment is not an object");
    for (std::string_view segment : KeySegments(key))
        if (!feed(segment))
            return make_error(ErrorKind::PathNotObject, "Path segment is not an object");

    if (missing) {
        std::size_t index = 0;
        auto create = [&](std::string_view name) {
            if (index >= existing && index < parents) node = &node->set(name, Value::object());
            ++index;
        };
        for (const std::string& name : groups) create(name);
        for (std::string_view segment : KeySegments(key)) create(segment);
    }
    return ParentSlot{node, pending};
}

std::string_view trim_group_name(std::string_view name) noexcept {
    while (!name.empty() && name.front() == '/') name.remove_prefix(1);
    while (!name.empty() && name.back() == '/') name.remove_suffix(1);
    return name;
}

}  // namespace zel
