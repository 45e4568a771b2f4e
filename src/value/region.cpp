// The region allocator and the block functions of the value classes.
#include "value/region.hpp"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include <sys/mman.h>

namespace zel {
namespace {

// Plain data, zero-initialised: reaching it needs no initialisation check.
thread_local Region* t_region = nullptr;
// How many RegionScopes with a region are active on all threads. While none is, blocks come
// from the heap without reading the thread-local pointer: a module's thread-local data costs a
// call to reach, and changes to a loaded store (most allocations) happen outside any scope.
std::atomic<int> g_active_scopes{0};

// Spans from this size on are mapped directly, aligned to and in whole huge pages, and the
// kernel is asked to back them with huge pages: a large document then costs a page fault per
// 2 MiB instead of per 4 KiB, and releasing it one unmap per span. (Left to malloc, a freed
// span goes back to the system on the next trim and its pages fault in again on every
// load.) Smaller spans come from malloc.
constexpr std::size_t kMapped = std::size_t(2) << 20;

std::size_t mapped_bytes(std::size_t bytes) noexcept { return (bytes + kMapped - 1) & ~(kMapped - 1); }

void* span_memory(std::size_t bytes) {
    if (bytes < kMapped) return std::malloc(bytes);
    if (bytes > static_cast<std::size_t>(-1) - 2 * kMapped) return nullptr;
    bytes = mapped_bytes(bytes);
    void* p = ::mmap(nullptr, bytes + kMapped, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    // Keep the huge-page-aligned part of the mapping, give back the rest.
    auto start = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t aligned = (start + kMapped - 1) & ~(std::uintptr_t(kMapped) - 1);
    if (aligned != start) ::munmap(p, aligned - start);
    const std::uintptr_t tail = aligned + bytes;
    const std::uintptr_t map_end = start + bytes + kMapped;
    if (map_end != tail) ::munmap(reinterpret_cast<void*>(tail), map_end - tail);
#ifdef MADV_HUGEPAGE
    ::madvise(reinterpret_cast<void*>(aligned), bytes, MADV_HUGEPAGE);
#endif
    return reinterpret_cast<void*>(aligned);
}

void free_span_memory(void* p, std::size_t bytes) noexcept {
    if (bytes < kMapped) std::free(p);
    else ::munmap(p, mapped_bytes(bytes));
}

}  // namespace

Region::~Region() {
    for (void* block : separate_) std::free(block);
    for (Span* s = spans_; s;) {
        Span* previous = s->previous;
        free_span_memory(s, s->bytes);
        s = previous;
    }
}

void* Region::allocate_slow(std::size_t bytes) {
    if (bytes > kMaxSpan - sizeof(Span) || bytes > next_span_ / 4) {
        // A large block gets a span of its own; the current span stays open for small ones.
        if (bytes > static_cast<std::size_t>(-1) - sizeof(Span)) throw std::bad_alloc();
        auto* own = static_cast<Span*>(span_memory(sizeof(Span) + bytes));
        if (!own) throw std::bad_alloc();
        own->bytes = sizeof(Span) + bytes;
        if (spans_) {
            // Behind the current span, which keeps being the one at the head.
            own->previous = spans_->previous;
            spans_->previous = own;
        } else {
            own->previous = nullptr;
            spans_ = own;
        }
        reserved_ += own->bytes;
        return own + 1;
    }
    auto* span = static_cast<Span*>(span_memory(next_span_));
    if (!span) throw std::bad_alloc();
    span->previous = spans_;
    span->bytes = next_span_;
    spans_ = span;
    reserved_ += next_span_;
    next_ = reinterpret_cast<char*>(span + 1);
    end_ = reinterpret_cast<char*>(span) + next_span_;
    next_span_ = std::min(next_span_ * 2, kMaxSpan);
    void* p = next_;
    next_ += bytes;
    return p;
}

void* Region::allocate_separately(std::size_t bytes) {
    // Room first (doubling), so that a failure leaks nothing.
    if (separate_.size() == separate_.capacity())
        separate_.reserve(separate_.empty() ? 64 : 2 * separate_.size());
    void* p = std::malloc(bytes ? bytes : 1);
    if (!p) throw std::bad_alloc();
    separate_.push_back(p);
    reserved_ += bytes;
    return p;
}

RegionScope::RegionScope(Region* region) noexcept : previous_(t_region), counted_(region != nullptr) {
    t_region = region;
    if (counted_) g_active_scopes.fetch_add(1, std::memory_order_relaxed);
}

RegionScope::~RegionScope() {
    t_region = previous_;
    if (counted_) g_active_scopes.fetch_sub(1, std::memory_order_relaxed);
}

Region* current_region() noexcept {
    return g_active_scopes.load(std::memory_order_relaxed) ? t_region : nullptr;
}

void* allocate_block(std::size_t bytes, bool& in_region) {
    if (Region* region = current_region()) {
        in_region = true;
        return region->allocate(bytes);
    }
    in_region = false;
    void* p = std::malloc(bytes);
    if (!p) throw std::bad_alloc();
    return p;
}

void free_block(void* block, bool in_region) noexcept {
    if (!in_region) std::free(block);
}

void* grow_block(void* block, bool& in_region, std::size_t keep_bytes, std::size_t new_bytes) {
    if (block && !in_region) {
        void* p = std::realloc(block, new_bytes);
        if (!p) throw std::bad_alloc();
        return p;
    }
    void* p = allocate_block(new_bytes, in_region);
    if (block && keep_bytes) std::memcpy(p, block, keep_bytes);
    return p;
}

}  // namespace zel
