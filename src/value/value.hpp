// The document model: a JSON-like tree of null, bool, number, string, array and object.
// A node is a one-byte tag plus an 8-byte payload; strings, arrays and objects live out of
// line. Objects keep members in ascending order of their UTF-8 bytes with O(log n) lookup.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zel {

class Value;

using Array = std::vector<Value>;
// std::less<> makes lookups by std::string_view possible without allocating; std::string
// compares with char_traits<char>, which orders by unsigned byte value.
using Object = std::map<std::string, Value, std::less<>>;

enum class Kind : std::uint8_t { Null, Bool, UInt, Int, Float, String, Array, Object };

class Value {
public:
    Value() noexcept : kind_(Kind::Null), u_(0) {}
    ~Value() { destroy(); }

    Value(Value&& other) noexcept : kind_(other.kind_), u_(other.u_) {
        other.kind_ = Kind::Null;
        other.u_ = 0;
    }
    Value& operator=(Value&& other) noexcept {
        if (this != &other) {
            Value old(std::move(*this));
            kind_ = other.kind_;
            u_ = other.u_;
            other.kind_ = Kind::Null;
            other.u_ = 0;
        }
        return *this;
    }
    // Trees can be very deep; copies are explicit (deep_copy) and iterative.
    Value(const Value&) = delete;
    Value& operator=(const Value&) = delete;

    static Value null() noexcept { return Value(); }
    static Value boolean(bool b) noexcept;
    static Value uinteger(std::uint64_t u) noexcept;
    // Applies the number rule: non-negative values are held unsigned.
    static Value integer(std::int64_t i) noexcept;
    // Applies the number rule: a non-finite double becomes null.
    static Value floating(double d) noexcept;
    static Value string(std::string s);
    static Value string(std::string_view s) { return string(std::string(s)); }
    static Value string(const char* s) { return string(std::string(s)); }
    static Value array(Array a = {});
    static Value object(Object o = {});

    Kind kind() const noexcept { return kind_; }
    bool is_null() const noexcept { return kind_ == Kind::Null; }
    bool is_bool() const noexcept { return kind_ == Kind::Bool; }
    bool is_number() const noexcept {
        return kind_ == Kind::UInt || kind_ == Kind::Int || kind_ == Kind::Float;
    }
    bool is_string() const noexcept { return kind_ == Kind::String; }
    bool is_array() const noexcept { return kind_ == Kind::Array; }
    bool is_object() const noexcept { return kind_ == Kind::Object; }

    // Accessors: the caller checks the kind first.
    bool as_bool() const noexcept { return b_; }
    std::uint64_t as_uint() const noexcept { return u_; }
    std::int64_t as_int() const noexcept { return i_; }
    double as_float() const noexcept { return d_; }
    const std::string& as_string() const noexcept { return *s_; }
    std::string& as_string() noexcept { return *s_; }
    const Array& as_array() const noexcept { return *a_; }
    Array& as_array() noexcept { return *a_; }
    const Object& as_object() const noexcept { return *o_; }
    Object& as_object() noexcept { return *o_; }

    // Member lookup in an object; nullptr when this is not an object or has no such member.
    const Value* find(std::string_view name) const noexcept;
    Value* find(std::string_view name) noexcept;

    // Inserts or replaces a member and returns it; this must be an object.
    Value& set(std::string_view name, Value v);

    Value deep_copy() const;

    // Structural equality; a float never equals an integer.
    friend bool operator==(const Value& a, const Value& b);

private:
    void destroy() noexcept;

    Kind kind_;
    union {
        bool b_;
        std::uint64_t u_;
        std::int64_t i_;
        double d_;
        std::string* s_;
        Array* a_;
        Object* o_;
    };
};

// Number of containers on the deepest path from `root` (0 for a scalar). Stops counting once
// it exceeds `stop_above`, so a limit check on a huge tree stays cheap.
std::size_t nesting_depth(const Value& root, std::size_t stop_above);

static_assert(sizeof(Value) == 16, "a tree node is a tag and an 8-byte payload");

}  // namespace zel
