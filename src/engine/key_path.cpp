// Key segment splitting and the read and write resolutions shared by every engine operation.
#include "engine/key_path.hpp"

namespace zel {

void KeySegments::iterator::advance() noexcept {
    while (!rest_.empty() && rest_.front() == '/') rest_.remove_prefix(1);
    if (rest_.empty()) {
        current_ = std::string_view();
        rest_ = std::string_view();
        return;
    }
    std::size_t cut = rest_.find('/');
    if (cut == std::string_view::npos) cut = rest_.size();
    current_ = rest_.substr(0, cut);
    rest_.remove_prefix(cut);
}

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
    // The path is the group names followed by the key's segments; it is walked twice without
    // being assembled: once to check the existing part, once to create what is missing.
    std::size_t total = groups.size();
    std::string_view target = groups.empty() ? std::string_view() : std::string_view(groups.back());
    for (std::string_view segment : KeySegments(key)) {
        ++total;
        target = segment;
    }
    if (total == 0) return make_error(ErrorKind::KeyEmpty, "Key is empty");
    if (!root.is_object()) return make_error(ErrorKind::RootNotObject, "Root is not an object");
    const std::size_t parents = total - 1;

    // Check the existing part of the path before inserting anything, so that a failure
    // leaves the document exactly as it was.
    Value* node = &root;
    std::size_t existing = 0;
    bool stopped = false;
    auto check = [&](std::string_view name) -> bool {
        if (stopped || existing == parents) return true;
        Value* child = node->find(name);
        if (!child) {
            stopped = true;
            return true;
        }
        if (!child->is_object()) return false;
        node = child;
        ++existing;
        return true;
    };
    for (const std::string& name : groups)
        if (!check(name)) return make_error(ErrorKind::PathNotObject, "Path segment is not an object");
    for (std::string_view segment : KeySegments(key))
        if (!check(segment))
            return make_error(ErrorKind::PathNotObject, "Path segment is not an object");

    if (existing < parents) {
        std::size_t index = 0;
        auto create = [&](std::string_view name) {
            if (index >= existing && index < parents) node = &node->set(name, Value::object());
            ++index;
        };
        for (const std::string& name : groups) create(name);
        for (std::string_view segment : KeySegments(key)) create(segment);
    }
    return ParentSlot{node, target};
}

std::string_view trim_group_name(std::string_view name) noexcept {
    while (!name.empty() && name.front() == '/') name.remove_prefix(1);
    while (!name.empty() && name.back() == '/') name.remove_suffix(1);
    return name;
}

}  // namespace zel
