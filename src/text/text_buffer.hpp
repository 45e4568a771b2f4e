// The output block every writer writes into: a growable text written through a raw pointer,
// with a cursor kept in registers, and plain appends for writers that go a piece at a time.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>
#include <utility>

namespace zel {

// Where a writer is in a TextBuffer: the next byte to write and the end of the block. Kept
// in a local and passed by value (in registers), never in memory that a store to the text
// could alias.
struct TextCursor {
    char* at;
    char* limit;
};

// A growable block of text written through a raw pointer, never zero-filled. A writer takes
// a cursor, asks for room for the most the next item can take (make_room), writes with
// plain stores and fixed-size copies, and hands the position back at the end (set_end). The
// block doubles when full; pages past the end of the text are never touched.
class TextBuffer {
public:
    TextBuffer() noexcept = default;
    TextBuffer(TextBuffer&& other) noexcept
        : begin_(std::exchange(other.begin_, nullptr)),
          end_(std::exchange(other.end_, nullptr)),
          limit_(std::exchange(other.limit_, nullptr)) {}
    TextBuffer& operator=(TextBuffer&& other) noexcept {
        if (this != &other) {
            release();
            begin_ = std::exchange(other.begin_, nullptr);
            end_ = std::exchange(other.end_, nullptr);
            limit_ = std::exchange(other.limit_, nullptr);
        }
        return *this;
    }
    TextBuffer(const TextBuffer&) = delete;
    TextBuffer& operator=(const TextBuffer&) = delete;
    ~TextBuffer() { release(); }

    std::string_view view() const noexcept {
        return begin_ ? std::string_view(begin_, static_cast<std::size_t>(end_ - begin_))
                      : std::string_view();
    }
    std::size_t size() const noexcept { return static_cast<std::size_t>(end_ - begin_); }

    // A cursor at the end of the text.
    TextCursor cursor() const noexcept { return {end_, limit_}; }
    // Room for `n` bytes at the cursor, which stays at the same offset (the block may move).
    TextCursor make_room(TextCursor c, std::size_t n) {
        if (static_cast<std::size_t>(c.limit - c.at) < n) return grow(c.at, n);
        return c;
    }
    // Ends the text at `at`, a position of the current block.
    void set_end(char* at) noexcept { end_ = at; }

    // Room for `n` bytes at the end of the text, where the next byte goes; set_end after.
    [[gnu::always_inline]] char* room(std::size_t n) { return make_room(cursor(), n).at; }
    const char* data() const noexcept { return begin_; }
    bool empty() const noexcept { return end_ == begin_; }
    // Cuts the text back to its first `size` bytes (at most size()).
    void truncate(std::size_t size) noexcept { end_ = begin_ + size; }

    // Inlined, so that appends of constant text become plain stores.
    [[gnu::always_inline]] void append(std::string_view s) {
        char* at = room(s.size());
        if (!s.empty()) std::memcpy(at, s.data(), s.size());
        end_ = at + s.size();
    }
    [[gnu::always_inline]] void append(char c) {
        char* at = room(1);
        *at = c;
        end_ = at + 1;
    }
    [[gnu::always_inline]] void append(std::size_t n, char c) {
        char* at = room(n);
        if (n != 0) std::memset(at, c, n);
        end_ = at + n;
    }

private:
    // Blocks of at least this many bytes are mappings of their own (see grow).
    static constexpr std::size_t kMappedFrom = std::size_t{4} << 20;

    TextCursor grow(char* at, std::size_t n);
    void release() noexcept;

    char* begin_ = nullptr;
    char* end_ = nullptr;
    char* limit_ = nullptr;
};

}  // namespace zel
