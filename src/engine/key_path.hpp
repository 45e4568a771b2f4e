// Key paths: splitting a key into segments and resolving a group stack plus a key against the
// document, for reading (never fails) and for writing (creates missing parent objects).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "value/error.hpp"
#include "value/value.hpp"

namespace zel {

// The non-empty pieces of a key between "/" characters, without allocating:
//   "a//b/" -> a, b     "" and "/" -> nothing     "/x" -> x     " a" -> " a" (no trimming)
// There is no escape for "/" and nothing else is special.
class KeySegments {
public:
    explicit KeySegments(std::string_view key) noexcept : key_(key) {}

    class iterator {
    public:
        iterator(std::string_view rest) noexcept : rest_(rest) { advance(); }
        std::string_view operator*() const noexcept { return current_; }
        iterator& operator++() noexcept {
            advance();
            return *this;
        }
        bool operator!=(const iterator& o) const noexcept {
            return current_.data() != o.current_.data() || current_.size() != o.current_.size();
        }

    private:
        // Byte loops rather than a search call: keys are short.
        void advance() noexcept {
            const char* p = rest_.data();
            const char* const end = p + rest_.size();
            while (p != end && *p == '/') ++p;
            const char* const start = p;
            while (p != end && *p != '/') ++p;
            if (start == end) {
                current_ = std::string_view();
                rest_ = std::string_view();
            } else {
                current_ = std::string_view(start, static_cast<std::size_t>(p - start));
                rest_ = std::string_view(p, static_cast<std::size_t>(end - p));
            }
        }
        std::string_view rest_;
        std::string_view current_;
    };

    iterator begin() const noexcept { return iterator(key_); }
    iterator end() const noexcept { return iterator(std::string_view()); }

private:
    std::string_view key_;
};

std::vector<std::string_view> key_segments(std::string_view key);

// Read resolution: each group name is one whole member name, then each key segment. A node
// that is not an object has no members. nullptr means "not found"; a stored null is found.
const Value* resolve_node(const Value& root, const std::vector<std::string>& groups,
                          std::string_view key) noexcept;

// Write resolution of the path made of the group names followed by the key's segments. The
// last element is the target name; the others are walked from the root, creating missing
// members as empty objects. Errors: KeyEmpty (empty path), RootNotObject, PathNotObject.
// Nothing is inserted when an error is returned.
struct ParentSlot {
    Value* parent;            // an object
    std::string_view target;  // points into `groups` or `key`
};
Result<ParentSlot> resolve_parent(Value& root, const std::vector<std::string>& groups,
                                  std::string_view key);

// Trims every leading and trailing "/" from a group name.
std::string_view trim_group_name(std::string_view name) noexcept;

}  // namespace zel
