// The document model: a JSON-like tree of null, bool, number, string, array and object.
// A node is 16 bytes: a one-byte tag and either an 8-byte payload or, for strings of at most
// 14 bytes, the text itself. Longer strings, arrays and objects live in one heap block each
// (none while empty). Objects keep their members contiguous, in ascending order of their
// UTF-8 bytes; a large object is split into sorted chunks so that insertion stays cheap.
// A block comes from the heap or, while a RegionScope is active, from a region
// (value/region.hpp); each block records which, so that only heap blocks are ever freed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zel {

class Value;
struct Member;

// Marks a block that lives in a region, in the top bit of its header's capacity (so that a
// capacity stays below 2^31).
inline constexpr std::uint32_t kInRegion = 0x80000000u;
inline constexpr std::uint32_t kMaxCapacity = kInRegion - 1;

enum class Kind : std::uint8_t { Null, Bool, UInt, Int, Float, String, Array, Object };

// A growable sequence of values in one heap block; nothing is allocated while it is empty.
class Array {
public:
    Array() noexcept = default;
    Array(Array&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
    Array& operator=(Array&& other) noexcept {
        Array old(std::move(*this));
        block_ = std::exchange(other.block_, nullptr);
        return *this;
    }
    Array(const Array&) = delete;
    Array& operator=(const Array&) = delete;
    ~Array() { clear(); }

    std::size_t size() const noexcept { return block_ ? block_->size : 0; }
    bool empty() const noexcept { return size() == 0; }
    Value* data() noexcept { return block_ ? items() : nullptr; }
    const Value* data() const noexcept { return block_ ? items() : nullptr; }
    Value* begin() noexcept { return data(); }
    inline Value* end() noexcept;
    const Value* begin() const noexcept { return data(); }
    inline const Value* end() const noexcept;
    inline Value& operator[](std::size_t i) noexcept;
    inline const Value& operator[](std::size_t i) const noexcept;
    inline Value& back() noexcept;
    inline const Value& back() const noexcept;

    void push_back(Value v);
    void reserve(std::size_t capacity);
    // New elements are null.
    void resize(std::size_t n);
    void clear() noexcept;
    void swap(Array& other) noexcept { std::swap(block_, other.block_); }

    // Moves n values into a new array of exactly that capacity.
    static Array from_values(Value* values, std::size_t n);

private:
    friend class Value;
    struct Block {
        std::uint32_t size;
        std::uint32_t capacity_bits;  // the capacity, and kInRegion for a region block
        std::uint32_t capacity() const noexcept { return capacity_bits & ~kInRegion; }
        bool in_region() const noexcept { return (capacity_bits & kInRegion) != 0; }
    };
    inline Value* items() const noexcept;
    // Frees the block without touching the elements (their ownership was taken).
    void release_block() noexcept;

    Block* block_ = nullptr;
};

// Members sorted by the bytes of their names. Up to kFlatMax members sit in one block; a
// larger object keeps a list of sorted chunks of at most kChunkCapacity members, so an
// insertion moves at most one chunk and lookups stay O(log n).
class Object {
public:
    static constexpr std::uint32_t kFlatMax = 128;
    static constexpr std::uint32_t kChunkCapacity = 128;
    // Up to this many members, a short name is looked up by a scan.
    static constexpr std::uint32_t kScanMax = 16;

    template <bool Const>
    class Iterator;
    using iterator = Iterator<false>;
    using const_iterator = Iterator<true>;

    Object() noexcept = default;
    Object(Object&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
    Object& operator=(Object&& other) noexcept {
        Object old(std::move(*this));
        block_ = std::exchange(other.block_, nullptr);
        return *this;
    }
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
    ~Object() { clear(); }

    std::size_t size() const noexcept { return block_ ? block_->size : 0; }
    bool empty() const noexcept { return size() == 0; }
    inline iterator begin() noexcept;
    inline iterator end() noexcept;
    inline const_iterator begin() const noexcept;
    inline const_iterator end() const noexcept;

    // The member's value, or nullptr. A few members and a short name (the common lookup)
    // are scanned inline; anything else is a binary search.
    inline Value* find(std::string_view name) noexcept;
    const Value* find(std::string_view name) const noexcept {
        return const_cast<Object*>(this)->find(name);
    }
    // Inserts or replaces a member and returns its value. With `replaced`, a value it replaces
    // is moved there instead of being destroyed (so that the caller can free it later).
    Value& set(std::string_view name, Value v, Value* replaced = nullptr);
    // The member's value; a member that is missing is first inserted, null. `inserted` tells
    // which it was. One search, where find() and then set() would make two.
    Value& emplace(std::string_view name, bool& inserted);
    // Removes a member, moving its value into `out`; false when there is none.
    bool take(std::string_view name, Value& out);
    void clear() noexcept;
    void swap(Object& other) noexcept { std::swap(block_, other.block_); }

    // Moves members given in any order into a new object; of a repeated name the later
    // member is kept. The input is left in an unspecified (but destructible) state.
    static Object from_members(Member* members, std::size_t n);

private:
    friend class Value;
    friend class ChunkList;
    struct Block {
        std::uint32_t size;
        // The capacity (0 marks a chunked object), and kInRegion for a region block.
        std::uint32_t capacity_bits;
        std::uint32_t capacity() const noexcept { return capacity_bits & ~kInRegion; }
        bool in_region() const noexcept { return (capacity_bits & kInRegion) != 0; }
    };
    struct Chunk {
        std::uint32_t size;
        std::uint32_t in_region;
    };
    struct Chunked;

    bool chunked() const noexcept { return block_->capacity() == 0; }
    // Whether a lookup of `name` scans the members (a flat object of a few, a short name).
    inline bool scanned(std::string_view name) const noexcept;
    inline Member* flat_members() const noexcept;
    Chunked& big() const noexcept;
    static inline Member* chunk_members(Chunk* c) noexcept;
    static Chunk* new_chunk();
    static void free_chunk(Chunk* c) noexcept;
    // An empty chunked holder (size 0), and its release with its chunk list (not the chunks).
    static Chunked* new_chunked();
    static void free_chunked(Chunked* holder) noexcept;
    // Index of the first chunk whose last member is not below `name` (the chunk count when
    // every member is below it).
    std::size_t chunk_for(std::string_view name) const noexcept;
    Value& insert_flat(std::size_t at, std::string_view name, Value v);
    // set() and emplace(): an existing member is kept (`keep`) or given `v`.
    Value& place(std::string_view name, Value v, Value* replaced, bool keep, bool& inserted);
    void make_chunked();
    Value* find_sorted(std::string_view name) noexcept;
    // Frees the blocks without touching the members (their ownership was taken).
    void release_blocks() noexcept;

    Block* block_ = nullptr;
};

class Value {
public:
    Value() noexcept : kind_(Kind::Null), short_length_(0), long_in_region_(0), pad_{}, u_(0) {}
    ~Value() {
        if (kind_ >= Kind::String) destroy();
    }

    Value(Value&& other) noexcept { take_bits(other); }
    Value& operator=(Value&& other) noexcept {
        if (this != &other) {
            Value old(std::move(*this));
            take_bits(other);
        }
        return *this;
    }
    // Trees can be very deep; copies are explicit (deep_copy) and iterative.
    Value(const Value&) = delete;
    Value& operator=(const Value&) = delete;

    static Value null() noexcept { return Value(); }
    static Value boolean(bool b) noexcept {
        Value v;
        v.kind_ = Kind::Bool;
        v.b_ = b;
        return v;
    }
    static Value uinteger(std::uint64_t u) noexcept {
        Value v;
        v.kind_ = Kind::UInt;
        v.u_ = u;
        return v;
    }
    // Applies the number rule: non-negative values are held unsigned.
    static Value integer(std::int64_t i) noexcept {
        if (i >= 0) return uinteger(static_cast<std::uint64_t>(i));
        Value v;
        v.kind_ = Kind::Int;
        v.i_ = i;
        return v;
    }
    // Applies the number rule: a non-finite double becomes null.
    static Value floating(double d) noexcept;
    static Value string(std::string_view s) {
        if (s.size() > kInlineCapacity) return long_string(s);
        Value v;
        v.set_inline_string(s.data(), s.size());
        return v;
    }
    static Value string(const char* s) { return string(std::string_view(s)); }
    static Value string(const std::string& s) { return string(std::string_view(s)); }
    static Value array(Array a = {}) noexcept;
    static Value object(Object o = {}) noexcept;

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
    std::string_view as_string() const noexcept {
        if (short_length_ != kLongString)
            return std::string_view(inline_text(), short_length_);
        return std::string_view(s_->text(), s_->size);
    }
    const Array& as_array() const noexcept { return a_; }
    Array& as_array() noexcept { return a_; }
    const Object& as_object() const noexcept { return o_; }
    Object& as_object() noexcept { return o_; }

    // Member lookup in an object; nullptr when this is not an object or has no such member.
    const Value* find(std::string_view name) const noexcept {
        return kind_ == Kind::Object ? o_.find(name) : nullptr;
    }
    Value* find(std::string_view name) noexcept {
        return kind_ == Kind::Object ? o_.find(name) : nullptr;
    }

    // Inserts or replaces a member and returns it; this must be an object.
    Value& set(std::string_view name, Value v) { return o_.set(name, std::move(v)); }

    // Byte order of two strings: whether `a` sorts before `b`. Two short strings are
    // compared as words (their unused bytes are always zero, and a tie goes to the shorter).
    static bool string_less(const Value& a, const Value& b) noexcept {
        if (a.short_length_ == kLongString || b.short_length_ == kLongString)
            return a.as_string() < b.as_string();
        auto word = [](const Value& v, std::size_t at) {
            std::uint64_t w;
            __builtin_memcpy(&w, reinterpret_cast<const char*>(&v) + at, 8);
            return __builtin_bswap64(w);
        };
        // Bytes 2-9, then 8-15 (8 and 9 are equal by then).
        if (const std::uint64_t x = word(a, 2), y = word(b, 2); x != y) return x < y;
        if (const std::uint64_t x = word(a, 8), y = word(b, 8); x != y) return x < y;
        return a.short_length_ < b.short_length_;
    }
    // Whether `name` fits a string node's own bytes (no block of its own).
    static constexpr bool fits_inline(std::string_view name) noexcept {
        return name.size() <= kInlineCapacity;
    }

    Value deep_copy() const;

    // Makes this node null without freeing anything: only for a tree whose blocks all live
    // in a region that is released afterwards.
    void forget_region_tree() noexcept { set_null_bits(); }

    // Structural equality; a float never equals an integer.
    friend bool operator==(const Value& a, const Value& b);

private:
    friend class Array;
    friend class Object;

    static constexpr std::uint8_t kInlineCapacity = 14;
    static constexpr std::uint8_t kLongString = 0xFF;

    struct LongString {
        std::size_t size;
        char* text() noexcept { return reinterpret_cast<char*>(this + 1); }
    };

    // Inline text occupies bytes 2 to 15 of the node: the padding and the payload.
    char* inline_text() noexcept { return reinterpret_cast<char*>(this) + 2; }
    const char* inline_text() const noexcept { return reinterpret_cast<const char*>(this) + 2; }

    static Value long_string(std::string_view s);

    // Makes this (null) node the inline string of `n` <= kInlineCapacity bytes at `s`. The
    // node is assembled in two registers and stored as two 8-byte words: byte stores, or a
    // copy of the text into the node, would be followed by a move that loads the node in
    // words, and a load that spans several stores still on their way waits for them.
    void set_inline_string(const char* s, std::size_t n) noexcept {
        std::uint64_t head;
        std::uint64_t payload;
        inline_words(s, n, head, payload);
        __builtin_memcpy(static_cast<void*>(this), &head, 8);
        __builtin_memcpy(reinterpret_cast<char*>(this) + 8, &payload, 8);
    }
    // The two 8-byte words of the inline string node of `n` <= kInlineCapacity bytes at `s`:
    // byte 0 the kind, byte 1 the length, bytes 2-15 the text, the rest zero. Two such nodes
    // hold the same text exactly when their words are equal.
    static void inline_words(const char* s, std::size_t n, std::uint64_t& head,
                             std::uint64_t& payload) noexcept {
        static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__);
        auto load8 = [](const char* at) {
            std::uint64_t w;
            __builtin_memcpy(&w, at, 8);
            return w;
        };
        auto load4 = [](const char* at) {
            std::uint32_t w;
            __builtin_memcpy(&w, at, 4);
            return std::uint64_t{w};
        };
        // The text's bytes 0-7 in `lo` and 8-13 in `hi`, each read once within the text.
        std::uint64_t lo = 0;
        std::uint64_t hi = 0;
        if (n >= 8) {
            lo = load8(s);
            if (n > 8) hi = load8(s + n - 8) >> (8 * (16 - n));
        } else if (n >= 4) {
            lo = load4(s) | load4(s + n - 4) << (8 * (n - 4));
        } else if (n > 0) {
            lo = std::uint64_t{static_cast<unsigned char>(s[0])} |
                 std::uint64_t{static_cast<unsigned char>(s[n / 2])} << (8 * (n / 2)) |
                 std::uint64_t{static_cast<unsigned char>(s[n - 1])} << (8 * (n - 1));
        }
        head = static_cast<std::uint64_t>(Kind::String) | std::uint64_t{n} << 8 | lo << 16;
        payload = lo >> 48 | hi << 16;
    }

    // Bitwise move: every kind is trivially relocatable, since heap blocks never point back.
    // The node moves as two 8-byte words, not one 16-byte word: a value is mostly moved just
    // after it was made, by separate stores of its header and its payload, and a load that
    // spans two stores still on their way to the cache waits for them, where a load matching
    // one store is served from it at once.
    void take_bits(Value& other) noexcept {
        static_assert(sizeof(Value) == 16);
        std::uint64_t head;
        std::uint64_t payload;
        __builtin_memcpy(&head, &other, 8);
        __builtin_memcpy(&payload, reinterpret_cast<const char*>(&other) + 8, 8);
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__aarch64__))
        __asm__("" : "+r"(head), "+r"(payload));  // kept apart: not merged into one wide move
#endif
        __builtin_memcpy(static_cast<void*>(this), &head, 8);
        __builtin_memcpy(reinterpret_cast<char*>(this) + 8, &payload, 8);
        other.kind_ = Kind::Null;
        other.short_length_ = 0;
        other.u_ = 0;
    }
    void set_null_bits() noexcept {
        kind_ = Kind::Null;
        short_length_ = 0;
        u_ = 0;
    }
    // Frees a long string, array or object; containers are emptied without recursion.
    void destroy() noexcept;
    // Frees this node's own block, assuming its children were already taken.
    void free_own_block() noexcept;

    Kind kind_;
    std::uint8_t short_length_;  // inline string length, or kLongString
    // For a long string (only): its block lives in a region. Inline text overlays it.
    std::uint8_t long_in_region_;
    [[maybe_unused]] char pad_[5];  // explicit padding before the 8-byte payload
    union {
        bool b_;
        std::uint64_t u_;
        std::int64_t i_;
        double d_;
        LongString* s_;
        Array a_;
        Object o_;
    };
};

static_assert(sizeof(Value) == 16, "a tree node is a tag and an 8-byte payload");

// One member of an object: its name (a string node, inline when short) and its value.
struct Member {
    Value key;
    Value value;
    std::string_view name() const noexcept { return key.as_string(); }
};

// Number of containers on the deepest path from `root` (0 for a scalar). Stops counting once
// it exceeds `stop_above`, so a limit check on a huge tree stays cheap.
std::size_t nesting_depth(const Value& root, std::size_t stop_above);

// ---- inline definitions that need the complete Value ----------------------------------------

inline Value* Array::items() const noexcept { return reinterpret_cast<Value*>(block_ + 1); }
inline Value& Array::operator[](std::size_t i) noexcept { return items()[i]; }
inline const Value& Array::operator[](std::size_t i) const noexcept { return items()[i]; }
inline Value* Array::end() noexcept { return data() + size(); }
inline const Value* Array::end() const noexcept { return data() + size(); }
inline Value& Array::back() noexcept { return items()[block_->size - 1]; }
inline const Value& Array::back() const noexcept { return items()[block_->size - 1]; }

inline Member* Object::flat_members() const noexcept {
    return reinterpret_cast<Member*>(block_ + 1);
}
inline Member* Object::chunk_members(Chunk* c) noexcept { return reinterpret_cast<Member*>(c + 1); }

inline bool Object::scanned(std::string_view name) const noexcept {
    return !chunked() && block_->size <= kScanMax && name.size() <= Value::kInlineCapacity;
}

inline Value* Object::find(std::string_view name) noexcept {
    if (block_ && scanned(name)) {
        // A short name is always held inline, its unused bytes zero: a member matches when
        // both words of its name node equal those of the name's.
        std::uint64_t head;
        std::uint64_t payload;
        Value::inline_words(name.data(), name.size(), head, payload);
        Member* m = flat_members();
        const std::uint32_t n = block_->size;
        for (std::uint32_t i = 0; i < n; ++i) {
            std::uint64_t key[2];
            __builtin_memcpy(key, &m[i].key, 16);
            if (key[0] == head && key[1] == payload) return &m[i].value;
        }
        return nullptr;
    }
    return find_sorted(name);
}

// Walks the members in order: one contiguous run for a flat object, chunk after chunk for a
// chunked one.
template <bool Const>
class Object::Iterator {
public:
    using value_type = Member;
    using reference = std::conditional_t<Const, const Member&, Member&>;
    using pointer = std::conditional_t<Const, const Member*, Member*>;
    using difference_type = std::ptrdiff_t;
    using iterator_category = std::forward_iterator_tag;

    Iterator() noexcept = default;
    Iterator(Member* cur, Member* run_end, Chunk* const* next, Chunk* const* last) noexcept
        : cur_(cur), run_end_(run_end), next_(next), last_(last) {}
    operator Iterator<true>() const noexcept { return {cur_, run_end_, next_, last_}; }

    reference operator*() const noexcept { return *cur_; }
    pointer operator->() const noexcept { return cur_; }
    Iterator& operator++() noexcept {
        if (++cur_ == run_end_ && next_ != last_) {
            Chunk* c = *next_++;
            cur_ = chunk_members(c);
            run_end_ = cur_ + c->size;
        }
        return *this;
    }
    Iterator operator++(int) noexcept {
        Iterator old = *this;
        ++*this;
        return old;
    }
    friend bool operator==(const Iterator& a, const Iterator& b) noexcept {
        return a.cur_ == b.cur_;
    }

private:
    template <bool>
    friend class Iterator;
    Member* cur_ = nullptr;
    Member* run_end_ = nullptr;
    Chunk* const* next_ = nullptr;
    Chunk* const* last_ = nullptr;
};

// The chunk list of a chunked object: a plain array in a block of its own, which like every
// other block comes from the heap or a region.
class ChunkList {
public:
    using Chunk = Object::Chunk;
    ChunkList() noexcept = default;
    ~ChunkList();
    ChunkList(const ChunkList&) = delete;
    ChunkList& operator=(const ChunkList&) = delete;

    std::size_t size() const noexcept { return size_; }
    Chunk** data() const noexcept { return items_; }
    Chunk** begin() const noexcept { return items_; }
    Chunk** end() const noexcept { return items_ + size_; }
    Chunk* operator[](std::size_t i) const noexcept { return items_[i]; }
    Chunk* front() const noexcept { return items_[0]; }
    Chunk* back() const noexcept { return items_[size_ - 1]; }

    void reserve(std::size_t capacity);
    // Inserts at `at` (capacity reserved on the way; std::bad_alloc leaves the list as it was).
    void insert(std::size_t at, Chunk* c);
    void push_back(Chunk* c) { insert(size_, c); }
    void erase(std::size_t at) noexcept;

private:
    Chunk** items_ = nullptr;
    std::uint32_t size_ = 0;
    std::uint32_t capacity_ = 0;
    bool in_region_ = false;
};

struct Object::Chunked : Object::Block {
    ChunkList chunks;  // never empty, no chunk empty
};

inline Object::Chunked& Object::big() const noexcept { return *static_cast<Chunked*>(block_); }

inline Object::iterator Object::begin() noexcept {
    if (!block_) return {};
    if (!chunked()) {
        Member* m = flat_members();
        return {m, m + block_->size, nullptr, nullptr};
    }
    auto& chunks = big().chunks;
    Chunk* first = chunks.front();
    Member* m = chunk_members(first);
    return {m, m + first->size, chunks.data() + 1, chunks.data() + chunks.size()};
}

inline Object::iterator Object::end() noexcept {
    if (!block_) return {};
    if (!chunked()) {
        Member* e = flat_members() + block_->size;
        return {e, e, nullptr, nullptr};
    }
    Chunk* last = big().chunks.back();
    Member* e = chunk_members(last) + last->size;
    return {e, e, nullptr, nullptr};
}

inline Object::const_iterator Object::begin() const noexcept {
    return const_cast<Object*>(this)->begin();
}
inline Object::const_iterator Object::end() const noexcept {
    return const_cast<Object*>(this)->end();
}

}  // namespace zel
