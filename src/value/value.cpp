// Value node construction, member access, and the iterative tree operations (destruction,
// deep copy, equality) that must not recurse: a tree is as deep as the longest key written.
#include "value/value.hpp"

#include <cmath>
#include <utility>

namespace zel {

Value Value::boolean(bool b) noexcept {
    Value v;
    v.kind_ = Kind::Bool;
    v.b_ = b;
    return v;
}

Value Value::uinteger(std::uint64_t u) noexcept {
    Value v;
    v.kind_ = Kind::UInt;
    v.u_ = u;
    return v;
}

Value Value::integer(std::int64_t i) noexcept {
    if (i >= 0) return uinteger(static_cast<std::uint64_t>(i));
    Value v;
    v.kind_ = Kind::Int;
    v.i_ = i;
    return v;
}

Value Value::floating(double d) noexcept {
    Value v;
    if (!std::isfinite(d)) return v;
    v.kind_ = Kind::Float;
    v.d_ = d;
    return v;
}

Value Value::string(std::string s) {
    Value v;
    v.s_ = new std::string(std::move(s));
    v.kind_ = Kind::String;
    return v;
}

Value Value::array(Array a) {
    Value v;
    v.a_ = new Array(std::move(a));
    v.kind_ = Kind::Array;
    return v;
}

Value Value::object(Object o) {
    Value v;
    v.o_ = new Object(std::move(o));
    v.kind_ = Kind::Object;
    return v;
}

const Value* Value::find(std::string_view name) const noexcept {
    if (kind_ != Kind::Object) return nullptr;
    auto it = o_->find(name);
    return it == o_->end() ? nullptr : &it->second;
}

Value* Value::find(std::string_view name) noexcept {
    if (kind_ != Kind::Object) return nullptr;
    auto it = o_->find(name);
    return it == o_->end() ? nullptr : &it->second;
}

Value& Value::set(std::string_view name, Value v) {
    auto it = o_->lower_bound(name);
    if (it != o_->end() && it->first == name) {
        it->second = std::move(v);
        return it->second;
    }
    return o_->emplace_hint(it, std::string(name), std::move(v))->second;
}

void Value::destroy() noexcept {
    switch (kind_) {
        case Kind::String:
            delete s_;
            break;
        case Kind::Array:
        case Kind::Object: {
            // Children are moved onto an explicit work list before their container is freed,
            // so no destructor call ever nests more than one level.
            std::vector<Value> work;
            auto take_children = [&work](Value& node) {
                if (node.kind_ == Kind::Array) {
                    for (auto& child : *node.a_)
                        if (child.kind_ == Kind::Array || child.kind_ == Kind::Object)
                            work.push_back(std::move(child));
                    delete node.a_;
                } else {
                    for (auto& member : *node.o_)
                        if (member.second.kind_ == Kind::Array ||
                            member.second.kind_ == Kind::Object)
                            work.push_back(std::move(member.second));
                    delete node.o_;
                }
                node.kind_ = Kind::Null;
                node.u_ = 0;
            };
            try {
                take_children(*this);
                while (!work.empty()) {
                    Value node = std::move(work.back());
                    work.pop_back();
                    take_children(node);
                }
            } catch (...) {
                // Out of memory while growing the work list: whatever is left is freed by
                // ordinary (recursive) destruction of the list.
            }
            break;
        }
        default:
            break;
    }
    kind_ = Kind::Null;
    u_ = 0;
}

Value Value::deep_copy() const {
    Value root;
    std::vector<std::pair<const Value*, Value*>> work{{this, &root}};
    while (!work.empty()) {
        auto [src, dst] = work.back();
        work.pop_back();
        switch (src->kind_) {
            case Kind::String:
                *dst = string(*src->s_);
                break;
            case Kind::Array: {
                *dst = array();
                Array& out = *dst->a_;
                out.resize(src->a_->size());  // sized once: element addresses stay valid
                for (std::size_t i = 0; i < out.size(); ++i)
                    work.emplace_back(&(*src->a_)[i], &out[i]);
                break;
            }
            case Kind::Object: {
                *dst = object();
                Object& out = *dst->o_;
                for (const auto& [name, child] : *src->o_) {
                    auto it = out.emplace_hint(out.end(), name, Value());
                    work.emplace_back(&child, &it->second);
                }
                break;
            }
            default:
                dst->kind_ = src->kind_;
                dst->u_ = src->u_;
                break;
        }
    }
    return root;
}

std::size_t nesting_depth(const Value& root, std::size_t stop_above) {
    std::size_t deepest = 0;
    std::vector<std::pair<const Value*, std::size_t>> work{{&root, 0}};
    while (!work.empty()) {
        auto [node, above] = work.back();
        work.pop_back();
        if (!node->is_array() && !node->is_object()) continue;
        const std::size_t depth = above + 1;
        if (depth > deepest) deepest = depth;
        if (deepest > stop_above) break;
        if (node->is_array()) {
            for (const Value& child : node->as_array()) work.emplace_back(&child, depth);
        } else {
            for (const auto& member : node->as_object()) work.emplace_back(&member.second, depth);
        }
    }
    return deepest;
}

bool operator==(const Value& a, const Value& b) {
    std::vector<std::pair<const Value*, const Value*>> work{{&a, &b}};
    while (!work.empty()) {
        auto [x, y] = work.back();
        work.pop_back();
        if (x->kind_ != y->kind_) return false;
        switch (x->kind_) {
            case Kind::Null:
                break;
            case Kind::Bool:
                if (x->b_ != y->b_) return false;
                break;
            case Kind::UInt:
                if (x->u_ != y->u_) return false;
                break;
            case Kind::Int:
                if (x->i_ != y->i_) return false;
                break;
            case Kind::Float:
                // Bitwise: -0.0 and 0.0 are different settings values.
                if (x->u_ != y->u_) return false;
                break;
            case Kind::String:
                if (*x->s_ != *y->s_) return false;
                break;
            case Kind::Array:
                if (x->a_->size() != y->a_->size()) return false;
                for (std::size_t i = 0; i < x->a_->size(); ++i)
                    work.emplace_back(&(*x->a_)[i], &(*y->a_)[i]);
                break;
            case Kind::Object: {
                if (x->o_->size() != y->o_->size()) return false;
                auto it = y->o_->begin();
                for (const auto& [name, child] : *x->o_) {
                    if (name != it->first) return false;
                    work.emplace_back(&child, &it->second);
                    ++it;
                }
                break;
            }
        }
    }
    return true;
}

}  // namespace zel
