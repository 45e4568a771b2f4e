// Loading and saving the settings file of a file driver: opening and reading by format,
// creating parent directories, and replacing the file through a temporary file and a
// rename so that a failed or interrupted save never loses the previous contents.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "drivers/drivers.hpp"
#include "drivers/utf8.hpp"  // is_valid_utf8, for read_whole_file's callers
#include "value/error.hpp"
#include "value/value.hpp"

namespace zel {

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

// Opens `path` read-only and parses it with the reader of `kind` (Json, Json5, Toml, Yaml).
// A missing file (or missing parent directory) gives an empty object. Any other open
// failure is ErrorKind::OpenFailed, "Failed to open config file: {error text}".
Result<Value> load_file(DriverKind kind, const std::string& path);

// Creates the parent directories of `path`, serialises `document` in the format of `kind`,
// then replaces the file (see replace_file_contents). Failures are ErrorKind::Io with errno.
Status save_file(DriverKind kind, const std::string& path, const Value& document);

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
