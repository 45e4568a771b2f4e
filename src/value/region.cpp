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

// Freed mapped spans kept for the next large load. A document freed and loaded again (a
// reload, a second store on a large file) would otherwise fault in and zero every page once
// more: for a large JSON file that is a tenth of its loading time. A kept span is handed to the
// kernel as lazily freeable (MADV_FREE): under memory pressure it takes the pages back, and a
// page it took reads as zeros when it is written again; a page it left keeps its old bytes,
// which is all the same to a region (nothing in it is read before it is written). At most
// kKeptBytes are kept, in kKeptSlots slots of one word each: the span's address (aligned to
// kMapped) with its size in units of kMapped in the low bits. The slots are taken and filled by
// atomic exchanges, without a lock a fork could leave held.
constexpr std::size_t kKeptSlots = 8;
constexpr std::size_t kKeptBytes = std::size_t(64) << 20;
std::atomic<std::uintptr_t> g_kept[kKeptSlots];
std::atomic<std::size_t> g_kept_bytes{0};

std::size_t kept_size(std::uintptr_t slot) noexcept { return (slot & (kMapped - 1)) * kMapped; }

// A kept span of at least `bytes` (already rounded to whole huge pages) and at most twice
// that, or nullptr; `bytes` becomes the span's own size.
void* take_kept_span(std::size_t& bytes) noexcept {
    if (g_kept_bytes.load(std::memory_order_relaxed) == 0) return nullptr;  // none kept
    for (auto& slot : g_kept) {
        std::uintptr_t seen = slot.load(std::memory_order_relaxed);
        while (seen != 0) {
            const std::size_t size = kept_size(seen);
            if (size < bytes || size / 2 > bytes) break;
            if (slot.compare_exchange_weak(seen, 0, std::memory_order_acquire,
                                           std::memory_order_relaxed)) {
                g_kept_bytes.fetch_sub(size, std::memory_order_relaxed);
                bytes = size;
                return reinterpret_cast<void*>(seen & ~std::uintptr_t(kMapped - 1));
            }
        }
    }
    return nullptr;
}

// Keeps a freed mapped span of `bytes` (whole huge pages) for a later load: false when there
// is no room, and the caller unmaps it.
bool keep_span(void* p, std::size_t bytes) noexcept {
#if defined(__linux__) && defined(MADV_FREE)
    const std::size_t units = bytes / kMapped;
    if (units >= kMapped) return false;
    if (g_kept_bytes.fetch_add(bytes, std::memory_order_relaxed) + bytes > kKeptBytes) {
        g_kept_bytes.fetch_sub(bytes, std::memory_order_relaxed);
        return false;
    }
    if (::madvise(p, bytes, MADV_FREE) == 0) {
        const std::uintptr_t word = reinterpret_cast<std::uintptr_t>(p) | units;
        for (auto& slot : g_kept) {
            std::uintptr_t empty = 0;
            if (slot.compare_exchange_strong(empty, word, std::memory_order_release,
                                             std::memory_order_relaxed))
                return true;
        }
    }
    g_kept_bytes.fetch_sub(bytes, std::memory_order_relaxed);
    return false;
#else
    (void)p;
    (void)bytes;
    return false;
#endif
}

// A fresh mapping of `bytes` (whole huge pages), aligned to them, or nullptr.
void* map_huge_pages(std::size_t bytes) noexcept {
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

// `bytes` of memory for a span; `bytes` becomes the size it got. `reuse`: a span kept from a
// freed region may serve (and make it larger), and the span is kept again when freed.
void* span_memory(std::size_t& bytes, bool reuse) noexcept {
    if (bytes < kMapped) return std::malloc(bytes ? bytes : 1);
    if (bytes > static_cast<std::size_t>(-1) - 2 * kMapped) return nullptr;
    bytes = mapped_bytes(bytes);
    if (reuse)
        if (void* kept = take_kept_span(bytes)) return kept;
    return map_huge_pages(bytes);
}

void free_span_memory(void* p, std::size_t bytes, bool reuse) noexcept {
    if (bytes < kMapped) {
        std::free(p);
        return;
    }
    bytes = mapped_bytes(bytes);
    if (!reuse || !keep_span(p, bytes)) ::munmap(p, bytes);
}

}  // namespace

Region::~Region() {
    std::free(recycled_);
    for (void* block : separate_) std::free(block);
    for (Span* s = spans_; s;) {
        Span* previous = s->previous;
        free_span_memory(s, s->bytes, true);
        s = previous;
    }
}

void* Region::allocate_slow(std::size_t bytes) {
    if (bytes > kMaxSpan - sizeof(Span) || bytes > next_span_ / 4) {
        // A large block gets a span of its own; the current span stays open for small ones.
        if (bytes > static_cast<std::size_t>(-1) - sizeof(Span)) throw std::bad_alloc();
        std::size_t got = sizeof(Span) + bytes;
        auto* own = static_cast<Span*>(span_memory(got, true));
        if (!own) throw std::bad_alloc();
        own->bytes = got;
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
    std::size_t got = next_span_;
    auto* span = static_cast<Span*>(span_memory(got, true));
    if (!span) throw std::bad_alloc();
    span->previous = spans_;
    span->bytes = got;
    spans_ = span;
    reserved_ += got;
    next_ = reinterpret_cast<char*>(span + 1);
    end_ = reinterpret_cast<char*>(span) + got;
    next_span_ = std::min(next_span_ * 2, kMaxSpan);
    void* p = next_;
    next_ += bytes;
    return p;
}

void Region::recycle(void* block, std::size_t bytes) noexcept {
#if ZEL_REGION_SEPARATE_BLOCKS
    (void)block, (void)bytes;
#else
    bytes = aligned(bytes);
    if (bytes > kRecycledMax || bytes < sizeof(void*)) return;
    if (!recycled_) {
        recycled_ = static_cast<void**>(std::calloc(kRecycledMax / kAlign + 1, sizeof(void*)));
        if (!recycled_) return;
    }
    void*& head = recycled_[bytes / kAlign];
    *static_cast<void**>(block) = head;
    head = block;
#endif
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

void* large_buffer(std::size_t& bytes) noexcept { return span_memory(bytes, false); }

void free_large_buffer(void* p, std::size_t bytes) noexcept { free_span_memory(p, bytes, false); }

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

void* grow_block(void* block, bool& in_region, std::size_t old_bytes, std::size_t keep_bytes,
                 std::size_t new_bytes) {
    if (block && !in_region) {
        void* p = std::realloc(block, new_bytes);
        if (!p) throw std::bad_alloc();
        return p;
    }
    if (Region* region = current_region()) {
        // While a region is current, every region block belongs to it (a document is read with
        // no foreign code running): the old block can be lengthened or handed on.
        if (block && region->extend(block, old_bytes, new_bytes)) return block;
        void* p = region->take_recycled(new_bytes);
        if (!p) p = region->allocate(new_bytes);
        in_region = true;
        if (block) {
            if (keep_bytes) std::memcpy(p, block, keep_bytes);
            region->recycle(block, old_bytes);
        }
        return p;
    }
    void* p = allocate_block(new_bytes, in_region);
    if (block && keep_bytes) std::memcpy(p, block, keep_bytes);
    return p;
}

}  // namespace zel
