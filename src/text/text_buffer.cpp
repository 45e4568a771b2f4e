// Growing and releasing the output block: malloc for small blocks, a mapping of its own with
// huge pages for large ones; streaming it to a sink.
#include "text/text_buffer.hpp"

#include <sys/mman.h>
#include <sys/types.h>

#include <algorithm>
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
    if (sink_.write != nullptr && at != begin_) {
        hand_over(at);
        if (n <= static_cast<std::size_t>(limit_ - begin_)) return {begin_, limit_};
        at = begin_;  // an item longer than a piece: the block grows to hold it
    }
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

void TextBuffer::stream_to(TextSink sink, std::size_t piece) {
    if (static_cast<std::size_t>(limit_ - begin_) < piece) grow(end_, piece);
    // The other block as large as this one, from malloc: release_block tells the kinds of
    // block apart by their size.
    const std::size_t spare = std::min(static_cast<std::size_t>(limit_ - begin_), kMappedFrom - 1);
    spare_begin_ = static_cast<char*>(std::malloc(spare));
    if (spare_begin_ == nullptr) throw std::bad_alloc();
    spare_limit_ = spare_begin_ + spare;
    sink_ = sink;
    sink_error_ = 0;
}

void TextBuffer::hand_over(char* at) {
    if (sink_error_ == 0) {
        sink_error_ = sink_.write(sink_.context,
                                  std::string_view(begin_, static_cast<std::size_t>(at - begin_)), false);
        std::swap(begin_, spare_begin_);
        std::swap(limit_, spare_limit_);
    }
    end_ = begin_;
}

int TextBuffer::finish_stream() noexcept {
    if (sink_.write == nullptr) return 0;
    // Called even after a failure: the sink finishes with what it holds.
    const std::string_view rest =
        sink_error_ == 0 ? std::string_view(begin_, static_cast<std::size_t>(end_ - begin_))
                         : std::string_view();
    const int e = sink_.write(sink_.context, rest, true);
    if (sink_error_ == 0) sink_error_ = e;
    end_ = begin_;
    sink_ = {};
    return sink_error_;
}

void TextBuffer::release_block(char* begin, char* limit) noexcept {
#if defined(__linux__) && defined(MREMAP_MAYMOVE) && defined(MADV_HUGEPAGE)
    if (static_cast<std::size_t>(limit - begin) >= kMappedFrom) {
        ::munmap(begin, static_cast<std::size_t>(limit - begin));
        return;
    }
#endif
    std::free(begin);
}

void TextBuffer::release() noexcept {
    release_block(begin_, limit_);
    release_block(spare_begin_, spare_limit_);
}

}  // namespace zel
