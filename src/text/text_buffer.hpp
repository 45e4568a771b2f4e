// The output block every writer writes into: a growable text written through a raw pointer,
// with a cursor kept in registers, and plain appends for writers that go a piece at a time.
// A buffer can also stream: hand its text to a sink in pieces as it fills, and start over.
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

// Where a streaming TextBuffer sends its text: `write` gets each piece in order, `last` set
// for the final one (which may be empty), and returns 0 or an errno. The buffer fills two
// blocks in turn, so a sink may go on using a piece until its next call returns; the call
// with `last` returns once the sink is done with every piece, and a buffer destroyed before
// that (an exception from a writer) must outlive the sink's use of its pieces.
struct TextSink {
    int (*write)(void* context, std::string_view piece, bool last) = nullptr;
    void* context = nullptr;
};

class TextBuffer {
public:
    TextBuffer() noexcept = default;
    TextBuffer(TextBuffer&& other) noexcept
        : begin_(std::exchange(other.begin_, nullptr)),
          end_(std::exchange(other.end_, nullptr)),
          limit_(std::exchange(other.limit_, nullptr)),
          spare_begin_(std::exchange(other.spare_begin_, nullptr)),
          spare_limit_(std::exchange(other.spare_limit_, nullptr)),
          sink_(std::exchange(other.sink_, {})),
          sink_error_(std::exchange(other.sink_error_, 0)) {}
    TextBuffer& operator=(TextBuffer&& other) noexcept {
        if (this != &other) {
            release();
            begin_ = std::exchange(other.begin_, nullptr);
            end_ = std::exchange(other.end_, nullptr);
            limit_ = std::exchange(other.limit_, nullptr);
            spare_begin_ = std::exchange(other.spare_begin_, nullptr);
            spare_limit_ = std::exchange(other.spare_limit_, nullptr);
            sink_ = std::exchange(other.sink_, {});
            sink_error_ = std::exchange(other.sink_error_, 0);
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

    // Streaming, for writers that only append at their cursor and never look back at what
    // they wrote. From here on, whenever the block is full the text in it goes to `sink` and
    // writing goes on at the start of the other of two blocks, so the text is never held
    // whole: a block has at least `piece` bytes, more where one item needs more.
    // size(), view() and truncate() then see only the text not yet handed over. The buffer
    // must be empty.
    void stream_to(TextSink sink, std::size_t piece);
    // Hands the rest of the text to the sink as its last piece and stops streaming. Returns
    // the first errno the sink returned, or 0; after a failure the text goes nowhere.
    int finish_stream() noexcept;

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
    // Sends [begin_, at) to the sink (unless it failed before) and goes on in the other block.
    void hand_over(char* at);
    static void release_block(char* begin, char* limit) noexcept;
    void release() noexcept;

    char* begin_ = nullptr;
    char* end_ = nullptr;
    char* limit_ = nullptr;
    char* spare_begin_ = nullptr;  // streaming: the other block
    char* spare_limit_ = nullptr;
    TextSink sink_;
    int sink_error_ = 0;
};

}  // namespace zel
