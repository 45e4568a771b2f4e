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

Result<ParentSlot> resolve_parent(Value& root, const std::vector<std::string_view>& path) {
    if (path.empty()) return make_error(ErrorKind::KeyEmpty, "Key is empty");
    if (!root.is_object()) return make_error(ErrorKind::RootNotObject, "Root is not an object");
    // Check the existing part of the path before inserting anything, so that a failure
    // leaves the document exactly as it was.
    Value* node = &root;
    std::size_t i = 0;
    const std::size_t parents = path.size() - 1;
    for (; i < parents; ++i) {
        Value* child = node->find(path[i]);
        if (!child) break;
        if (!child->is_object())
            return make_error(ErrorKind::PathNotObject, "Path segment is not an object");
        node = child;
    }
    for (; i < parents; ++i) {
        node = &node->set(path[i], Value::object());
    }
    return ParentSlot{node, path.back()};
}

std::string_view trim_group_name(std::string_view name) noexcept {
    while (!name.empty() && name.front() == '/') name.remove_prefix(1);
    while (!name.empty() && name.back() == '/') name.remove_suffix(1);
    return name;
}

}  // namespace zel
