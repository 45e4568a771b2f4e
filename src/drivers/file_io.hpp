// The files behind the file drivers: opening a settings file for reading, creating parent
// directories, and replacing the file through a temporary file and a rename (or in place,
// behind a recovery journal) so that a failed or interrupted save never loses the previous contents.
// Nothing here knows about formats.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "formats/limits.hpp"
#include "text/text_buffer.hpp"
#include "value/error.hpp"

namespace zel {

// Owns a file descriptor (or none: -1) and closes it when it goes out of scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) noexcept : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) reset(std::exchange(other.fd_, -1));
        return *this;
    }
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const noexcept { return fd_; }
    void reset(int fd) noexcept {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    // Closes now and reports the result; close can be where a delayed write error shows.
    int close() noexcept {
        const int fd = std::exchange(fd_, -1);
        return ::close(fd) == 0 ? 0 : errno;
    }

private:
    int fd_;
};


// One file-system operation of a save, as seen by an observer: tests record the sequence to
// check it against what a power cut may leave behind. `path` is the file or directory acted
// on (`path2` the new name of a rename); `data` and `offset` describe a write. The writes of
// a text saved in pieces are reported from the thread that writes them, one at a time.
struct FsStep {
    enum class Op { Create, Write, Truncate, Sync, SyncDirectory, Rename, Unlink, MakeDirectory };
    Op op;
    std::string path;
    std::string path2;
    std::string_view data;
    std::uint64_t offset = 0;
};
using FsObserver = void (*)(const FsStep& step, void* context);
// Installs (or with nullptr removes) the one observer of the process. For tests.
void set_fs_observer(FsObserver observer, void* context) noexcept;

// Waiting on what another program holds (a lock of the settings file) happens detached from
// the interpreter and can be interrupted. Installed by the Python boundary: detach() lets go
// of the interpreter and returns a token for attach(); interrupted(), called attached after
// a wait was cut short by a signal, runs the signal handlers and returns the error they
// raised (the wait is then given up), or success to go on waiting.
struct FileWaitHooks {
    void* (*detach)() = nullptr;
    void (*attach)(void* token) = nullptr;
    Status (*interrupted)() = nullptr;
};
void set_file_wait_hooks(FileWaitHooks hooks) noexcept;

// The recovery journal of an in-place rewrite. Before a rewrite truncates a file, it
// publishes beside it (through a flushed temporary file and a rename) a journal holding the
// file's identity (device, inode, name), the new bytes and the last complete document. A
// reader uses the journal's document instead of the file only while the journal passes every
// check: a regular file reached without following links, owned by the settings file's owner
// or by us, with its magic, lengths and both checksums right, naming this very file, while
// the file holds a proper prefix of the new bytes (what a rewrite cut short leaves). A file
// that holds the new bytes whole, or anything else (a later save, a repair by hand), is read
// as it is. Every successful save removes a journal of ours.
//
// Layout, integers as 8-byte little-endian: "ZELJRNL1", device, inode, name length N,
// new length A, old length B, checksum of the N + A + B bytes that follow the header,
// checksum of the 56 bytes before it; then the name, the new bytes, the old bytes.
struct Journal {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::string_view name;    // the file's last path component
    std::string_view after;   // the bytes the rewrite was writing
    std::string_view before;  // the last complete document
};
constexpr std::size_t kJournalHeaderSize = 64;

std::string encode_journal(const Journal& journal);
// Parses and checks `bytes` as a whole journal; views into `bytes`. False when any check fails.
bool decode_journal(std::string_view bytes, Journal& out) noexcept;
// Whether a file holding `file_bytes` is a rewrite cut short, to be read from the journal.
bool journal_applies(const Journal& journal, std::string_view file_bytes) noexcept;

// The journal of `target` (the file itself, links followed): ".<name>.zel-journal" beside it;
// a name too long for that keeps its first 160 bytes and adds a hash of the whole name.
std::string journal_path(std::string_view target);

// Opens the settings file at `path` read-only, positioned at its document: the file itself,
// or the journal's old document while an interrupted rewrite's journal applies (see Journal).
// Opening never waits: a pipe with no writer opens at once and reads as empty. A missing file
// (or missing parent directory) gives no descriptor (-1). Any other failure is
// ErrorKind::OpenFailed, "Failed to open config file: {error text}". With `size`, that gets
// the size of the regular file opened when its document is the whole file, else kSizeUnknown.
Result<FileDescriptor> open_settings_file(const std::string& path, std::uint64_t* size = nullptr);

// A file's whole text, read for a reader. Its memory is not cleared before the file is read
// into it, and a large file's is a mapping of its own (value/region.hpp), so that the text does
// not stay behind in the heap once the document is read.
class FileText {
public:
    FileText() noexcept = default;
    FileText(FileText&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)),
          size_(std::exchange(other.size_, 0)),
          capacity_(std::exchange(other.capacity_, 0)) {}
    FileText& operator=(FileText&& other) noexcept {
        if (this != &other) {
            release();
            data_ = std::exchange(other.data_, nullptr);
            size_ = std::exchange(other.size_, 0);
            capacity_ = std::exchange(other.capacity_, 0);
        }
        return *this;
    }
    FileText(const FileText&) = delete;
    FileText& operator=(const FileText&) = delete;
    ~FileText() { release(); }

    char* data() noexcept { return data_; }
    const char* data() const noexcept { return data_; }
    std::size_t size() const noexcept { return size_; }
    std::size_t capacity() const noexcept { return capacity_; }
    std::string_view view() const noexcept { return {data_, size_}; }

    // Room for at least `n` bytes, the text kept; false when there is no memory for it.
    bool reserve(std::size_t n) noexcept;
    // Sets the size, within the capacity; bytes beyond the old size are whatever is there.
    void set_size(std::size_t n) noexcept { size_ = n; }

private:
    void release() noexcept;

    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// What a text reader may stop at while reading something that is not a regular file (a pipe,
// a device), which has no size to bound it: the first byte that cannot be part of the text.
enum class TextStop { None, InvalidUtf8, NulOrInvalidUtf8 };

// Reads an open file from its current position to the end into one text: a read failure is
// io_error(errno), more bytes than memory can hold io_error(EFBIG) or io_error(ENOMEM). When the file is not
// a regular file, reading stops after the first chunk holding a byte that `stop` names: the
// text then ends at that byte, which the format's reader rejects. `size`, when known, is the
// regular file's size as it was opened (open_settings_file), which spares a look at it.
Result<FileText> read_file_bytes(int fd, TextStop stop = TextStop::None,
                                 std::uint64_t size = kSizeUnknown);

// read_file_bytes for text that must be valid UTF-8; invalid UTF-8 is
// io_error("stream did not contain valid UTF-8").
Result<FileText> read_whole_file(int fd, TextStop stop = TextStop::InvalidUtf8,
                                 std::uint64_t size = kSizeUnknown);


// The path without its last component ("a/b/c" -> "a/b", "/c" -> "/", "c" -> "", "/" -> "").
std::string parent_directory(std::string_view path);

// Creates `dir` and each missing ancestor with mode 0777 (less the umask). Existing
// directories are accepted; an existing non-directory is EEXIST.
Status create_directories(const std::string& dir);

// The start of the names of the temporary files a save of `target` makes beside it:
// ".<name>.zel-<host>-", followed by "<pid>-<n>.tmp".
std::string side_file_prefix(std::string_view target);

// The text of a save, made on demand by a writer that makes the same text every time it runs.
struct TextSource {
    Status (*write)(const void* context, TextBuffer& out) = nullptr;
    const void* context = nullptr;
    // The writer only appends at its cursor and never looks back at what it wrote (see
    // TextBuffer::stream_to): its text may go to the file in pieces as it is made.
    bool in_pieces = false;
};

// Writes the text of `source` as the whole new content of `path`. Symbolic links at `path` are followed and
// the file they lead to is replaced. A regular file is replaced by writing a temporary file
// in the same directory, syncing it, giving it the old file's permission bits and owner, and
// renaming it over the old one. Where a new file would change what users of the old one see
// (several hard links, an owner we may not give it, a file that is a mount point) or the
// directory does not allow it, the file is rewritten in place, keeping the old bytes until
// the new ones are flushed (in memory and in a journal) and writing them back on failure. Other kinds of file (devices,
// pipes) are written in place; a pipe that nobody reads is ENXIO, not a wait. A directory at
// the path is EISDIR. Temporary files left by saves of the same file in processes of this
// machine that no longer exist are removed, and so is a journal of ours once the file holds
// the new bytes.
// The text is made whole before anything is touched, except where it goes in pieces into the
// temporary file (a writer failure then removes that file); where a rewrite in place follows
// after all, it is made again, whole. A writer failure is returned as it is.
Status replace_file_contents(const std::string& path, const TextSource& source);

}  // namespace zel
