// The files behind the file drivers: opening a settings file for reading, creating parent
// directories, and replacing the file through a temporary file and a rename (or in place,
// behind a backup) so that a failed or interrupted save never loses the previous contents.
// Nothing here knows about formats.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

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
// on (`path2` the new name of a rename); `data` and `offset` describe a write.
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

// The name of the backup an in-place rewrite of `target` keeps beside it until the new
// bytes are flushed: ".<name>.zel-backup". While it exists, the old document is read from it.
std::string backup_path(std::string_view target);

// Opens the settings file at `path` read-only: its backup while one exists (see backup_path),
// otherwise the file itself. A missing file (or missing parent directory) gives no descriptor
// (-1). Any other failure is ErrorKind::OpenFailed, "Failed to open config file: {error text}".
Result<FileDescriptor> open_settings_file(const std::string& path);

// Reads an open file from its current position to the end into one string: a read failure
// is io_error(errno), more bytes than a string can hold io_error(EFBIG).
Result<std::string> read_file_bytes(int fd);

// read_file_bytes for text that must be valid UTF-8; invalid UTF-8 is
// io_error("stream did not contain valid UTF-8").
Result<std::string> read_whole_file(int fd);


// The path without its last component ("a/b/c" -> "a/b", "/c" -> "/", "c" -> "", "/" -> "").
std::string parent_directory(std::string_view path);

// Creates `dir` and each missing ancestor with mode 0777 (less the umask). Existing
// directories are accepted; an existing non-directory is EEXIST.
Status create_directories(const std::string& dir);

// The start of the names of the temporary files a save of `target` makes beside it:
// ".<name>.zel-<host>-", followed by "<pid>-<n>.tmp".
std::string side_file_prefix(std::string_view target);

// Writes `text` as the whole new content of `path`. Symbolic links at `path` are followed and
// the file they lead to is replaced. A regular file is replaced by writing a temporary file
// in the same directory, syncing it, giving it the old file's permission bits and owner, and
// renaming it over the old one. Where a new file would change what users of the old one see
// (several hard links, an owner we may not give it, a file that is a mount point) or the
// directory does not allow it, the file is rewritten in place, keeping the old bytes until
// the new ones are flushed and writing them back on failure. Other kinds of file (devices,
// pipes) are written in place. A directory at the path is EISDIR. Temporary files left by
// saves of the same file in processes of this machine that no longer exist are removed.
Status replace_file_contents(const std::string& path, std::string_view text);

}  // namespace zel
