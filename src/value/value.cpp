// Value nodes, arrays and objects: their heap blocks, member search and insertion, and the
// iterative tree operations (destruction, deep copy, equality) that must not recurse, since
// a tree is as deep as the longest key written.
#include "value/value.hpp"

#include "value/region.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

namespace zel {
namespace {

// Bytes of a block holding a header and `count` items; std::bad_alloc when that overflows
// (a 32-bit size_t is soon exhausted).
std::size_t block_bytes(std::size_t header, std::size_t count, std::size_t item) {
    if (count > (std::numeric_limits<std::size_t>::max() - header) / item) throw std::bad_alloc();
    return header + count * item;
}

std::uint32_t grown_capacity(std::size_t current, std::size_t wanted) {
    constexpr std::size_t kMax = kMaxCapacity;
    if (wanted > kMax) throw std::bad_alloc();
    std::size_t capacity = current < 4 ? 4 : current + current / 2;
    if (capacity < wanted) capacity = wanted;
    if (capacity > kMax) capacity = kMax;
    return static_cast<std::uint32_t>(capacity);
}

// Keeps the branch of a binary search a branch. A compiler that turns it into conditional moves
// makes every probe wait for the comparison before it, with its loads from memory; with a
// branch the processor runs ahead into the probe it predicts and has its data on the way.
// (Measured: inserting a million names into one object took 40% more user time that way.)
#if defined(__clang__)
#define ZEL_KEEP_BRANCH() __asm__ volatile("")
#else
#define ZEL_KEEP_BRANCH() ((void)0)
#endif

template <class Below>
std::size_t lower_bound_by(const Member* members, std::size_t n, Below below) noexcept {
    std::size_t lo = 0;
    while (n > 0) {
        const std::size_t half = n / 2;
        if (below(members[lo + half].key)) {
            lo += half + 1;
            n -= half + 1;
        } else {
            n = half;
            ZEL_KEEP_BRANCH();
        }
    }
    return lo;
}

// Index of the first member whose name is not less than `name`. A short name is compared as
// a string node of its own, in words.
std::size_t lower_bound(const Member* members, std::size_t n, std::string_view name) noexcept {
    if (Value::fits_inline(name)) {
        const Value probe = Value::string(name);
        return lower_bound_by(members, n,
                              [&](const Value& key) { return Value::string_less(key, probe); });
    }
    return lower_bound_by(members, n, [&](const Value& key) { return key.as_string() < name; });
}

bool name_less(const Member& a, const Member& b) noexcept {
    return Value::string_less(a.key, b.key);
}

// Puts `v` in `slot`, moving what was there to `replaced` when given.
Value& replace(Value& slot, Value v, Value* replaced) {
    if (replaced) *replaced = std::move(slot);
    slot = std::move(v);
    return slot;
}

// Moves `n` members from `from` to uninitialised memory at `to`, leaving nothing to free.
void relocate(Member* to, Member* from, std::size_t n) noexcept {
    if (n) std::memmove(static_cast<void*>(to), static_cast<const void*>(from), n * sizeof(Member));
}

bool is_container(const Value& v) noexcept { return v.is_array() || v.is_object(); }

}  // namespace

// ---- Value ----------------------------------------------------------------------------------

Value Value::floating(double d) noexcept {
    Value v;
    if (!std::isfinite(d)) return v;
    v.kind_ = Kind::Float;
    v.d_ = d;
    return v;
}

Value Value::long_string(std::string_view s) {
    Value v;
    bool in_region;
    auto* block = static_cast<LongString*>(
        allocate_block(block_bytes(sizeof(LongString), s.size(), 1), in_region));
    block->size = s.size();
    v.long_in_region_ = in_region;
    std::memcpy(block->text(), s.data(), s.size());
    v.s_ = block;
    v.short_length_ = kLongString;
    v.kind_ = Kind::String;
    return v;
}

Value Value::array(Array a) noexcept {
    Value v;
    v.kind_ = Kind::Array;
    v.u_ = 0;
    v.a_.block_ = std::exchange(a.block_, nullptr);
    return v;
}

Value Value::object(Object o) noexcept {
    Value v;
    v.kind_ = Kind::Object;
    v.u_ = 0;
    v.o_.block_ = std::exchange(o.block_, nullptr);
    return v;
}

void Value::free_own_block() noexcept {
    switch (kind_) {
        case Kind::String:
            if (short_length_ == kLongString) free_block(s_, long_in_region_);
            break;
        case Kind::Array:
            a_.release_block();
            break;
        case Kind::Object:
            o_.release_blocks();
            break;
        default:
            break;
    }
    set_null_bits();
}

void Value::destroy() noexcept {
    if (kind_ == Kind::String) {
        free_own_block();
        return;
    }
    // Container children are moved onto an explicit work list before their parent's block is
    // freed, so no destructor call ever nests more than one level.
    std::vector<Value> work;
    auto strip = [&work](Value& node) noexcept {
        auto drop = [&work](Value& child) noexcept {
            if (!is_container(child)) {
                child.free_own_block();
                return;
            }
            try {
                work.push_back(std::move(child));
            } catch (...) {
                // Out of memory for the work list: free this subtree on its own list.
                child.destroy();
            }
        };
        if (node.kind_ == Kind::Array) {
            for (Value& child : node.a_) drop(child);
        } else {
            for (Member& m : node.o_) {
                m.key.free_own_block();
                drop(m.value);
            }
        }
        node.free_own_block();
    };
    strip(*this);
    while (!work.empty()) {
        Value node = std::move(work.back());
        work.pop_back();
        strip(node);
    }
}

Value Value::deep_copy() const {
    Value root;
    std::vector<std::pair<const Value*, Value*>> work{{this, &root}};
    std::vector<Member> members;
    while (!work.empty()) {
        auto [src, dst] = work.back();
        work.pop_back();
        switch (src->kind_) {
            case Kind::String:
                *dst = string(src->as_string());
                break;
            case Kind::Array: {
                Array out;
                out.resize(src->a_.size());  // sized once: element addresses stay valid
                *dst = array(std::move(out));
                for (std::size_t i = 0; i < src->a_.size(); ++i)
                    work.emplace_back(&src->a_[i], &dst->a_[i]);
                break;
            }
            case Kind::Object: {
                members.clear();
                members.reserve(src->o_.size());
                for (const Member& m : src->o_) members.push_back(Member{string(m.name()), {}});
                *dst = object(Object::from_members(members.data(), members.size()));
                auto out = dst->o_.begin();
                for (const Member& m : src->o_) {
                    work.emplace_back(&m.value, &out->value);
                    ++out;
                }
                break;
            }
            default:
                std::memcpy(static_cast<void*>(dst), src, sizeof(Value));
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
        if (!is_container(*node)) continue;
        const std::size_t depth = above + 1;
        if (depth > deepest) deepest = depth;
        if (deepest > stop_above) break;
        if (node->is_array()) {
            for (const Value& child : node->as_array())
                if (is_container(child)) work.emplace_back(&child, depth);
        } else {
            for (const Member& m : node->as_object())
                if (is_container(m.value)) work.emplace_back(&m.value, depth);
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
            case Kind::Int:
            case Kind::Float:
                // Bitwise for floats: -0.0 and 0.0 are different settings values.
                if (x->u_ != y->u_) return false;
                break;
            case Kind::String:
                if (x->as_string() != y->as_string()) return false;
                break;
            case Kind::Array:
                if (x->a_.size() != y->a_.size()) return false;
                for (std::size_t i = 0; i < x->a_.size(); ++i)
                    work.emplace_back(&x->a_[i], &y->a_[i]);
                break;
            case Kind::Object: {
                if (x->o_.size() != y->o_.size()) return false;
                auto it = y->o_.begin();
                for (const Member& m : x->o_) {
                    if (m.name() != it->name()) return false;
                    work.emplace_back(&m.value, &it->value);
                    ++it;
                }
                break;
            }
        }
    }
    return true;
}

// ---- Array ----------------------------------------------------------------------------------

void Array::reserve(std::size_t capacity) {
    const std::size_t current = block_ ? block_->capacity() : 0;
    if (capacity <= current) return;
    if (capacity > kMaxCapacity) throw std::bad_alloc();
    const std::uint32_t size = block_ ? block_->size : 0;
    bool in_region = block_ && block_->in_region();
    block_ = static_cast<Block*>(grow_block(block_, in_region,
                                            block_bytes(sizeof(Block), current, sizeof(Value)),
                                            sizeof(Block) + size * sizeof(Value),
                                            block_bytes(sizeof(Block), capacity, sizeof(Value))));
    block_->size = size;
    block_->capacity_bits = static_cast<std::uint32_t>(capacity) | (in_region ? kInRegion : 0);
}

void Array::push_back(Value v) {
    const std::size_t n = size();
    if (!block_ || n == block_->capacity())
        reserve(grown_capacity(block_ ? block_->capacity() : 0, n + 1));
    new (items() + n) Value(std::move(v));
    block_->size = static_cast<std::uint32_t>(n + 1);
}

void Array::resize(std::size_t n) {
    const std::size_t old = size();
    if (n < old) {
        for (std::size_t i = n; i < old; ++i) items()[i].~Value();
        block_->size = static_cast<std::uint32_t>(n);
        return;
    }
    if (n == old) return;
    reserve(n);
    for (std::size_t i = old; i < n; ++i) new (items() + i) Value();
    block_->size = static_cast<std::uint32_t>(n);
}

void Array::clear() noexcept {
    if (!block_) return;
    for (Value& v : *this) v.~Value();
    release_block();
}

void Array::release_block() noexcept {
    if (block_) free_block(block_, block_->in_region());
    block_ = nullptr;
}

Array Array::from_values(Value* values, std::size_t n) {
    Array a;
    if (n == 0) return a;
    a.reserve(n);
    for (std::size_t i = 0; i < n; ++i) new (a.items() + i) Value(std::move(values[i]));
    a.block_->size = static_cast<std::uint32_t>(n);
    return a;
}

// ---- Object ---------------------------------------------------------------------------------

Object::Chunk* Object::new_chunk() {
    bool in_region;
    auto* c = static_cast<Chunk*>(
        allocate_block(sizeof(Chunk) + kChunkCapacity * sizeof(Member), in_region));
    c->size = 0;
    c->in_region = in_region;
    return c;
}

void Object::free_chunk(Chunk* c) noexcept { free_block(c, c->in_region != 0); }

Object::Chunked* Object::new_chunked() {
    bool in_region;
    void* p = allocate_block(sizeof(Chunked), in_region);
    auto* holder = new (p) Chunked();
    holder->size = 0;
    holder->capacity_bits = in_region ? kInRegion : 0;
    return holder;
}

void Object::free_chunked(Chunked* holder) noexcept {
    const bool in_region = holder->in_region();
    holder->~Chunked();
    free_block(holder, in_region);
}

void Object::release_blocks() noexcept {
    if (!block_) return;
    if (chunked()) {
        Chunked* b = &big();
        for (Chunk* c : b->chunks) free_chunk(c);
        free_chunked(b);
    } else {
        free_block(block_, block_->in_region());
    }
    block_ = nullptr;
}

ChunkList::~ChunkList() {
    if (items_) free_block(items_, in_region_);
}

void ChunkList::reserve(std::size_t capacity) {
    if (capacity <= capacity_) return;
    if (capacity > kMaxCapacity) throw std::bad_alloc();
    items_ = static_cast<Chunk**>(grow_block(items_, in_region_,
                                             block_bytes(0, capacity_, sizeof(Chunk*)),
                                             size_ * sizeof(Chunk*),
                                             block_bytes(0, capacity, sizeof(Chunk*))));
    capacity_ = static_cast<std::uint32_t>(capacity);
}

void ChunkList::insert(std::size_t at, Chunk* c) {
    if (size_ == capacity_) reserve(grown_capacity(capacity_, size_ + 1));
    std::memmove(items_ + at + 1, items_ + at, (size_ - at) * sizeof(Chunk*));
    items_[at] = c;
    ++size_;
}

void ChunkList::erase(std::size_t at) noexcept {
    std::memmove(items_ + at, items_ + at + 1, (size_ - at - 1) * sizeof(Chunk*));
    --size_;
}

void Object::clear() noexcept {
    if (!block_) return;
    if (block_->size == 0) {  // only a chunked object whose construction failed part-way
        release_blocks();
        return;
    }
    for (Member& m : *this) {
        m.key.~Value();
        m.value.~Value();
    }
    release_blocks();
}

std::size_t Object::chunk_for(std::string_view name) const noexcept {
    const auto& chunks = big().chunks;
    std::size_t lo = 0, n = chunks.size();
    while (n > 0) {
        const std::size_t half = n / 2;
        Chunk* c = chunks[lo + half];
        if (chunk_members(c)[c->size - 1].name() < name) {
            lo += half + 1;
            n -= half + 1;
        } else {
            n = half;
            ZEL_KEEP_BRANCH();
        }
    }
    return lo;
}

Value* Object::find_sorted(std::string_view name) noexcept {
    if (!block_) return nullptr;
    if (!chunked()) {
        Member* m = flat_members();
        const std::size_t n = block_->size;
        const std::size_t i = lower_bound(m, n, name);
        return i < n && m[i].name() == name ? &m[i].value : nullptr;
    }
    const auto& chunks = big().chunks;
    const std::size_t lo = chunk_for(name);
    if (lo == chunks.size()) return nullptr;
    Member* m = chunk_members(chunks[lo]);
    const std::size_t size = chunks[lo]->size;
    const std::size_t i = lower_bound(m, size, name);
    return i < size && m[i].name() == name ? &m[i].value : nullptr;
}

Value& Object::insert_flat(std::size_t at, std::string_view name, Value v) {
    // A long name's block is made before anything moves, since that may throw. A short name is
    // written straight into its slot: built elsewhere byte by byte and then copied as a whole,
    // its bytes would be loaded before their stores had landed, which stalls the load.
    const bool short_name = Value::fits_inline(name);
    Value key;
    if (!short_name) key = Value::string(name);
    const std::size_t n = size();
    if (!block_ || n == block_->capacity()) {
        const std::uint32_t capacity = grown_capacity(block_ ? block_->capacity() : 0, n + 1);
        bool in_region = block_ && block_->in_region();
        const std::size_t old_bytes =
            block_ ? block_bytes(sizeof(Block), block_->capacity(), sizeof(Member)) : 0;
        block_ = static_cast<Block*>(grow_block(block_, in_region, old_bytes,
                                                sizeof(Block) + n * sizeof(Member),
                                                block_bytes(sizeof(Block), capacity, sizeof(Member))));
        block_->size = static_cast<std::uint32_t>(n);
        block_->capacity_bits = capacity | (in_region ? kInRegion : 0);
    }
    Member* m = flat_members();
    relocate(m + at + 1, m + at, n - at);
    if (short_name) {
        new (&m[at].key) Value();
        m[at].key.set_inline_string(name.data(), name.size());
    } else {
        new (&m[at].key) Value(std::move(key));
    }
    new (&m[at].value) Value(std::move(v));
    block_->size = static_cast<std::uint32_t>(n + 1);
    return m[at].value;
}

void Object::make_chunked() {
    struct HolderGuard {
        Chunked* held;
        ~HolderGuard() {
            if (held) free_chunked(held);
        }
    } holder{new_chunked()};
    holder.held->size = block_->size;
    const std::size_t n = block_->size;
    const std::size_t per_chunk = kChunkCapacity / 2;
    holder.held->chunks.reserve((n + per_chunk - 1) / per_chunk);
    // Allocate everything first: a failure leaves this object as it was.
    std::vector<Chunk*> fresh;
    try {
        for (std::size_t i = 0; i < n; i += per_chunk) fresh.push_back(new_chunk());
    } catch (...) {
        for (Chunk* c : fresh) free_chunk(c);
        throw;
    }
    Member* m = flat_members();
    std::size_t i = 0;
    for (Chunk* c : fresh) {
        const std::size_t take = std::min(per_chunk, n - i);
        relocate(chunk_members(c), m + i, take);
        c->size = static_cast<std::uint32_t>(take);
        i += take;
        holder.held->chunks.push_back(c);  // capacity reserved above: cannot fail
    }
    free_block(block_, block_->in_region());
    block_ = std::exchange(holder.held, nullptr);
}

Value& Object::set(std::string_view name, Value v, Value* replaced) {
    bool inserted;
    return place(name, std::move(v), replaced, false, inserted);
}

Value& Object::emplace(std::string_view name, bool& inserted) {
    return place(name, Value(), nullptr, true, inserted);
}

Value& Object::place(std::string_view name, Value v, Value* replaced, bool keep,
                     bool& inserted) {
    // A member of that name: kept as it is, or given the new value.
    auto found = [&](Value& slot) -> Value& {
        inserted = false;
        return keep ? slot : replace(slot, std::move(v), replaced);
    };
    inserted = true;
    if (!block_) return insert_flat(0, name, std::move(v));
    if (!chunked()) {
        // A small object is scanned, as find() does, before any search for the insertion point.
        if (scanned(name))
            if (Value* slot = find(name)) return found(*slot);
        Member* m = flat_members();
        const std::size_t n = block_->size;
        // Names often arrive in order: one comparison settles an append.
        const std::size_t i = n && m[n - 1].name() < name ? n : lower_bound(m, n, name);
        if (i < n && m[i].name() == name) return found(m[i].value);
        if (n < kFlatMax) return insert_flat(i, name, std::move(v));
        make_chunked();
    }
    auto& chunks = big().chunks;
    std::size_t lo = chunks.size() - 1;
    Chunk* c = chunks[lo];
    Member* m = chunk_members(c);
    std::size_t i = c->size;  // every chunk holds at least one member
    if (!(m[i - 1].name() < name)) {
        // Not after every member (the append checked first, as above): search.
        lo = chunk_for(name);
        if (lo == chunks.size()) --lo;
        c = chunks[lo];
        m = chunk_members(c);
        i = lower_bound(m, c->size, name);
        if (i < c->size && m[i].name() == name) return found(m[i].value);
    }
    Value key = Value::string(name);
    if (c->size == kChunkCapacity) {
        Chunk* added = new_chunk();
        try {
            chunks.insert(lo + 1, added);
        } catch (...) {
            free_chunk(added);
            throw;
        }
        if (lo + 2 == chunks.size() && i == c->size) {
            // Appending after the last member: start a new chunk, keep this one full.
            c = added;
            i = 0;
        } else {
            const std::size_t keep = kChunkCapacity / 2;
            relocate(chunk_members(added), m + keep, kChunkCapacity - keep);
            added->size = kChunkCapacity - keep;
            c->size = keep;
            if (i > keep) {
                c = added;
                i -= keep;
            }
        }
        m = chunk_members(c);
    }
    relocate(m + i + 1, m + i, c->size - i);
    new (m + i) Member{std::move(key), std::move(v)};
    ++c->size;
    ++block_->size;
    return m[i].value;
}

bool Object::take(std::string_view name, Value& out) {
    if (!block_) return false;
    Member* m;
    std::uint32_t* run_size;
    std::size_t chunk_index = 0;
    if (!chunked()) {
        m = flat_members();
        run_size = &block_->size;
    } else {
        auto& chunks = big().chunks;
        const std::size_t lo = chunk_for(name);
        if (lo == chunks.size()) return false;
        chunk_index = lo;
        m = chunk_members(chunks[lo]);
        run_size = &chunks[lo]->size;
    }
    const std::size_t n = *run_size;
    const std::size_t i = lower_bound(m, n, name);
    if (i == n || m[i].name() != name) return false;
    out = std::move(m[i].value);
    m[i].key.~Value();
    relocate(m + i, m + i + 1, n - i - 1);
    --*run_size;
    if (chunked()) {
        --block_->size;
        auto& chunks = big().chunks;
        if (chunks[chunk_index]->size == 0) {
            free_chunk(chunks[chunk_index]);
            chunks.erase(chunk_index);
        }
    }
    if (block_->size == 0) release_blocks();
    return true;
}

Object Object::from_members(Member* members, std::size_t n) {
    Object o;
    if (n == 0) return o;
    bool strictly_sorted = true;
    for (std::size_t i = 1; i < n; ++i) {
        if (!name_less(members[i - 1], members[i])) {
            strictly_sorted = false;
            break;
        }
    }
    if (!strictly_sorted) {
        // Stable: of equal names, the later member stays last and is the one kept.
        if (n <= 32) {
            // Insertion sort: stable, and no buffer to allocate as stable_sort's.
            for (std::size_t i = 1; i < n; ++i) {
                if (!name_less(members[i], members[i - 1])) continue;
                std::size_t j = i - 1;
                while (j > 0 && name_less(members[i], members[j - 1])) --j;
                alignas(Member) unsigned char held[sizeof(Member)];
                std::memcpy(held, static_cast<void*>(members + i), sizeof(Member));
                relocate(members + j + 1, members + j, i - j);
                std::memcpy(static_cast<void*>(members + j), held, sizeof(Member));
            }
        } else {
            std::stable_sort(members, members + n, name_less);
        }
        std::size_t kept = 0;
        for (std::size_t i = 0; i < n; ++i) {
            if (i + 1 < n && members[i].name() == members[i + 1].name()) continue;
            if (kept != i) members[kept] = std::move(members[i]);
            ++kept;
        }
        for (std::size_t i = kept; i < n; ++i) members[i] = Member{};
        n = kept;
    }
    if (n > std::numeric_limits<std::uint32_t>::max()) throw std::bad_alloc();
    if (n <= kFlatMax) {
        bool in_region;
        o.block_ = static_cast<Block*>(
            allocate_block(block_bytes(sizeof(Block), n, sizeof(Member)), in_region));
        o.block_->size = static_cast<std::uint32_t>(n);
        o.block_->capacity_bits = static_cast<std::uint32_t>(n) | (in_region ? kInRegion : 0);
        Member* out = o.flat_members();
        for (std::size_t i = 0; i < n; ++i) new (out + i) Member(std::move(members[i]));
        return o;
    }
    // Chunks are added to the holder as soon as they exist, so a failure frees them.
    Object partial;
    partial.block_ = new_chunked();
    partial.big().chunks.reserve((n + kChunkCapacity - 1) / kChunkCapacity);
    auto& chunks = partial.big().chunks;
    for (std::size_t i = 0; i < n;) {
        chunks.push_back(new_chunk());
        Chunk* c = chunks.back();
        Member* out = chunk_members(c);
        const std::size_t take = std::min<std::size_t>(kChunkCapacity, n - i);
        for (std::size_t j = 0; j < take; ++j) new (out + j) Member(std::move(members[i + j]));
        c->size = static_cast<std::uint32_t>(take);
        partial.block_->size += static_cast<std::uint32_t>(take);
        i += take;
    }
    return partial;
}

}  // namespace zel
