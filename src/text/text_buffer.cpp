// Growing and releasing the output block: malloc for small blocks, a mapping of its own with
// huge pages for large ones.
#include "text/text_buffer.hpp"

#include <sys/mman.h>
#include <sys/types.h>

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

namespace zel {

namespace {

#if defined(__linux__) && defined(MREMAP_MAYMOVE) && defined(MADV_HUGEPAGE)
constexpr bool kMapLargeBlocks = true;
#else
constexpr bool kMapLargeBlocks = false;
#endif
constexpr std::size_t kHugePage = std::size_t{2} << 20;

}  // namespace

// Small blocks come from malloc. A large block is filled once from start to end, and with
// 4 KiB pages the kernel's page faults cost about as much as writing the text: from
// kMappedFrom bytes on, the block is its own mapping, rounded to 2 MiB and marked for
// transparent huge pages (a hint; where they are off nothing changes), which takes a few
// dozen faults instead of thousands, and it grows by mremap, which moves pages, not bytes.
TextCursor TextBuffer::grow(char* at, std::size_t n) {
    const std::size_t used = static_cast<std::size_t>(at - begin_);
    const std::size_t capacity = static_cast<std::size_t>(limit_ - begin_);
    constexpr std::size_t kMax = std::numeric_limits<std::ptrdiff_t>::max() - kHugePage;
    if (n > kMax - used) throw std::length_error("text too long");
    const std::size_t needed = used + n;
    std::size_t wanted = capacity < kMax / 2 ? 2 * capacity : kMax;
    if (wanted < 4096) wanted = 4096;
    if (wanted < needed) wanted = needed;
    char* block;
    if (!kMapLargeBlocks || wanted < kMappedFrom) {
        block = static_cast<char*>(std::realloc(begin_, wanted));
        if (block == nullptr) throw std::bad_alloc();
    } else {
#if defined(__linux__) && defined(MREMAP_MAYMOVE) && defined(MADV_HUGEPAGE)
        wanted = (wanted + kHugePage - 1) & ~(kHugePage - 1);
        void* mapped;
        if (capacity >= kMappedFrom) {
            mapped = ::mremap(begin_, capacity, wanted, MREMAP_MAYMOVE);
            if (mapped == MAP_FAILED) throw std::bad_alloc();
        } else {
            mapped = ::mmap(nullptr, wanted, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                            -1, 0);
            if (mapped == MAP_FAILED) throw std::bad_alloc();
            ::madvise(mapped, wanted, MADV_HUGEPAGE);
            if (used != 0) std::memcpy(mapped, begin_, used);
            std::free(begin_);
        }
        block = static_cast<char*>(mapped);
#endif
    }
    end_ = block + (end_ - begin_);
    begin_ = block;
    limit_ = block + wanted;
    return {block + used, limit_};
}

void TextBuffer::release() noexcept {
#if defined(__linux__) && defined(MREMAP_MAYMOVE) && defined(MADV_HUGEPAGE)
    if (static_cast<std::size_t>(limit_ - begin_) >= kMappedFrom) {
        ::munmap(begin_, static_cast<std::size_t>(limit_ - begin_));
        return;
    }
#endif
    std::free(begin_);
}

}  // namespace zel
