// Loading and saving the settings file of a file driver: opening and reading by format,
// creating parent directories, and replacing the file through a temporary file and a
// rename so that a failed or interrupted save never loses the previous contents.
#pragma once

#include <string>
#include <string_view>

#include "drivers/drivers.hpp"
#include "value/error.hpp"
#include "value/value.hpp"

namespace zel {

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

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool is_valid_utf8(std::string_view text) noexcept;

// The path without its last component ("a/b/c" -> "a/b", "/c" -> "/", "c" -> "", "/" -> "").
std::string parent_directory(std::string_view path);

// Creates `dir` and each missing ancestor with mode 0777 (less the umask). Existing
// directories are accepted; an existing non-directory is EEXIST.
Status create_directories(const std::string& dir);

// Writes `text` as the whole new content of `path`. Symbolic links at `path` are followed and
// the file they lead to is replaced. A regular file is replaced by writing a temporary file
// in the same directory, syncing it, giving it the old file's permission bits and owner, and
// renaming it over the old one; when the directory does not allow that but the file itself
// is writable, the file is rewritten in place. Other kinds of file (devices, pipes) are
// written in place. A directory at the path is EISDIR.
Status replace_file_contents(const std::string& path, std::string_view text);

}  // namespace zel
