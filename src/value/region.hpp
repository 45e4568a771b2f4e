// Regions: the blocks of a loaded document (long strings, arrays, objects, chunks) carved one
// after another out of a few large allocations, so that a document is built without a heap
// call per block and released in one go. While a RegionScope is active on a thread, every
// block the value classes make on that thread comes from its region; blocks remember where
// they came from, so freeing a region block is a no-op and growing one copies it out.
// A region must outlive every value whose blocks it holds: its owner keeps it beside the
// document and releases it after the document.
#pragma once

#include <cstddef>
#include <vector>

// Under AddressSanitizer every region block is a malloc block of its own, released with the
// region: the sanitizer then sees each block's bounds (an overflow into the next block, a use
// after the region is gone), which a span carved into blocks would hide, and LeakSanitizer sees
// whatever heap blocks they point to.
#if defined(__SANITIZE_ADDRESS__)
#define ZEL_REGION_SEPARATE_BLOCKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZEL_REGION_SEPARATE_BLOCKS 1
#endif
#endif
#ifndef ZEL_REGION_SEPARATE_BLOCKS
#define ZEL_REGION_SEPARATE_BLOCKS 0
#endif

namespace zel {

class Region {
public:
    Region() noexcept = default;
    ~Region();
    Region(const Region&) = delete;
    Region& operator=(const Region&) = delete;

    // `bytes` of memory aligned for a Value; std::bad_alloc when the system has none.
    void* allocate(std::size_t bytes) {
#if ZEL_REGION_SEPARATE_BLOCKS
        return allocate_separately(bytes);
#endif
        bytes = aligned(bytes);
        if (bytes <= static_cast<std::size_t>(end_ - next_)) {
            void* p = next_;
            next_ += bytes;
            return p;
        }
        return allocate_slow(bytes);
    }

    // Lengthens the block of `old_bytes` at `block` to `new_bytes` where it is, when it is the
    // last one this region gave out and its span has the room: true when it did. A container
    // that grows while nothing else is made (a table of short values read line by line) then
    // stays in one block instead of leaving a copy behind at every step.
    bool extend(void* block, std::size_t old_bytes, std::size_t new_bytes) noexcept {
#if ZEL_REGION_SEPARATE_BLOCKS
        (void)block, (void)old_bytes, (void)new_bytes;
        return false;
#else
        old_bytes = aligned(old_bytes);
        new_bytes = aligned(new_bytes);
        if (static_cast<char*>(block) + old_bytes != next_ || new_bytes < old_bytes ||
            new_bytes - old_bytes > static_cast<std::size_t>(end_ - next_))
            return false;
        next_ += new_bytes - old_bytes;
        return true;
#endif
    }

    // Blocks a growing container left behind (grow_block), kept by size for later blocks of the
    // same size: containers built a member at a time grow through the same capacities, so each
    // takes the blocks the one before it outgrew. Only blocks of this region, while nothing
    // else can hold them; blocks above kRecycledMax bytes are simply left.
    void recycle(void* block, std::size_t bytes) noexcept;
    // A recycled block of `bytes`, or nullptr.
    void* take_recycled(std::size_t bytes) noexcept {
#if ZEL_REGION_SEPARATE_BLOCKS
        (void)bytes;
        return nullptr;
#else
        bytes = aligned(bytes);
        if (!recycled_ || bytes > kRecycledMax) return nullptr;
        void*& head = recycled_[bytes / kAlign];
        void* p = head;
        if (p) head = *static_cast<void**>(p);
        return p;
#endif
    }

    // Bytes taken from the system so far (tests and diagnostics).
    std::size_t reserved_bytes() const noexcept { return reserved_; }

private:
    static constexpr std::size_t kAlign = 8;
    static constexpr std::size_t kFirstSpan = 4096;
    static constexpr std::size_t kMaxSpan = std::size_t(8) << 20;
    static constexpr std::size_t kRecycledMax = 4096 + 2 * kAlign;
    // `bytes` rounded up to whole units of kAlign: the room a block of `bytes` takes.
    static constexpr std::size_t aligned(std::size_t bytes) noexcept {
        return (bytes + kAlign - 1) & ~(kAlign - 1);
    }
    struct Span {
        Span* previous;
        std::size_t bytes;
    };

    void* allocate_slow(std::size_t bytes);
    void* allocate_separately(std::size_t bytes);

    char* next_ = nullptr;
    char* end_ = nullptr;
    Span* spans_ = nullptr;
    std::size_t next_span_ = kFirstSpan;
    std::size_t reserved_ = 0;
    void** recycled_ = nullptr;  // list heads by size / kAlign, made on the first recycle
    std::vector<void*> separate_;  // the blocks of allocate_separately
};

// Makes `region` the current thread's region for the lifetime of the scope (nullptr: the
// heap); the previous one is restored afterwards, so scopes nest.
class RegionScope {
public:
    explicit RegionScope(Region* region) noexcept;
    ~RegionScope();
    RegionScope(const RegionScope&) = delete;
    RegionScope& operator=(const RegionScope&) = delete;

private:
    Region* previous_;
    bool counted_;  // a region was given, and counted among the active ones
};

// Memory for a large buffer outside any region (a file's text while its document is read):
// from 2 MiB on, a mapping of whole huge pages of its own, unmapped when given back (not left
// in the heap, as a large block malloc once mapped may be the next time); below that, heap
// memory. `bytes` becomes the size given, at least the size asked for. nullptr when the system
// has none.
void* large_buffer(std::size_t& bytes) noexcept;
void free_large_buffer(void* p, std::size_t bytes) noexcept;

// The current thread's region, or nullptr.
Region* current_region() noexcept;

// A block for a value class: from the current region (in_region = true) or the heap.
void* allocate_block(std::size_t bytes, bool& in_region);
// Frees a heap block; a region block is left to its region.
void free_block(void* block, bool in_region) noexcept;
// Resizes a block of `old_bytes` to `new_bytes`, keeping its first `keep_bytes`: a heap block
// is reallocated in place where it can be; a region block is lengthened where it is when it is
// the current region's last one, or else copied into a new block.
void* grow_block(void* block, bool& in_region, std::size_t old_bytes, std::size_t keep_bytes,
                 std::size_t new_bytes);

}  // namespace zel
