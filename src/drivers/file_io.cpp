// The files of the file drivers: open a settings file (or its backup) for reading, read it
// whole, create parent directories, and replace a file safely (temporary file, fsync, rename,
// or an in-place rewrite behind a backup).
// Owns every file descriptor it opens and closes it on every path.
#include "drivers/file_io.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <utility>
#include <vector>

#include "drivers/utf8.hpp"


namespace zel {
namespace {

constexpr char kNulInPath[] = "file name contained an unexpected NUL byte";

std::atomic<FsObserver> g_observer{nullptr};
std::atomic<void*> g_observer_context{nullptr};

// Tells the observer, if any, about an operation that has just succeeded.
void note(FsStep::Op op, std::string_view path, std::string_view data = {},
          std::uint64_t offset = 0, std::string_view path2 = {}) {
    if (FsObserver observer = g_observer.load(std::memory_order_acquire))
        observer(FsStep{op, std::string(path), std::string(path2), data, offset},
                 g_observer_context.load(std::memory_order_acquire));
}

int open_retrying(const char* path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool has_nul(const std::string& path) { return path.find('\0') != std::string::npos; }

// Writes every byte, through short writes and interruptions. Returns 0 or the errno.
int write_all(int fd, std::string_view data, std::string_view path) {
    const char* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    note(FsStep::Op::Write, path, data);
    return 0;
}

// fsync, except that a file that cannot be synced (a device, EINVAL) is not a failure.
int sync_fd(int fd, std::string_view path) {
    if (::fsync(fd) == 0 || errno == EINVAL) {
        note(FsStep::Op::Sync, path);
        return 0;
    }
    return errno;
}

// Everything up to and including the last '/' ("" for a bare name): the prefix that a
// relative link target or a sibling file name is appended to.
std::string_view directory_prefix(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1);
}

std::string_view last_component(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Where a save really writes: the end of the chain of symbolic links starting at `path`.
struct Target {
    std::string path;
    bool exists = false;
    struct stat status {};
};

Result<Target> resolve_target(const std::string& path) {
    constexpr int kMaxLinks = 40;  // as the kernel's own limit for path resolution
    Target target;
    target.path = path;
    for (int hops = 0;; ++hops) {
        struct stat st;
        if (::lstat(target.path.c_str(), &st) != 0) {
            if (errno == ENOENT) return target;  // a new file (possibly via a dangling link)
            return io_error(errno);
        }
        if (!S_ISLNK(st.st_mode)) {
            target.exists = true;
            target.status = st;
            return target;
        }
        if (hops == kMaxLinks) return io_error(ELOOP);
        std::string link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        for (;;) {
            const ssize_t n = ::readlink(target.path.c_str(), link.data(), link.size());
            if (n < 0) return io_error(errno);
            if (static_cast<std::size_t>(n) < link.size()) {
                link.resize(static_cast<std::size_t>(n));
                break;
            }
            link.resize(link.size() * 2);  // the link changed under us and grew
        }
        if (!link.empty() && link.front() == '/')
            target.path = std::move(link);
        else
            target.path = std::string(directory_prefix(target.path)) + link;
    }
}

// Truncates and rewrites a file that is not a regular file (a device, a pipe): there is
// nothing to keep.
Status write_in_place(const std::string& path, std::string_view text) {
    FileDescriptor fd(open_retrying(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
    if (fd.get() < 0) return io_error(errno);
    if (int e = write_all(fd.get(), text, path)) return io_error(e);
    if (int e = sync_fd(fd.get(), path)) return io_error(e);
    if (int e = fd.close()) return io_error(e);
    return success();
}

// This machine, as a short tag in the names of our side files: a hash of the host name.
const std::string& host_tag() {
    static const std::string tag = [] {
        char name[256] = {};
        if (::gethostname(name, sizeof name - 1) != 0) name[0] = '\0';
        std::uint32_t hash = 2166136261u;  // FNV-1a
        for (const char* p = name; *p; ++p) hash = (hash ^ static_cast<unsigned char>(*p)) * 16777619u;
        char text[9];
        static constexpr char kHex[] = "0123456789abcdef";
        for (int i = 7; i >= 0; --i, hash >>= 4) text[i] = kHex[hash & 0xF];
        text[8] = '\0';
        return std::string(text);
    }();
    return tag;
}


// A temporary file beside the target, removed unless it was renamed into place.
class TemporaryFile {
public:
    TemporaryFile() = default;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() { discard(); }

    // Creates a new temporary file beside `target`. Returns 0 or the errno.
    int create(std::string_view target, mode_t mode) {
        static std::atomic<unsigned> counter{0};
        const std::string prefix = std::string(directory_prefix(target)) +
                                   side_file_prefix(target) + std::to_string(::getpid()) + "-";
        for (int attempt = 0; attempt < 1000; ++attempt) {
            std::string candidate = prefix + std::to_string(counter.fetch_add(1)) + ".tmp";
            const int fd =
                open_retrying(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
            if (fd >= 0) {
                fd_ = fd;
                path_ = std::move(candidate);
                note(FsStep::Op::Create, path_);
                return 0;
            }
            if (errno != EEXIST) return errno;
        }
        return EEXIST;
    }

    int fd() const noexcept { return fd_; }
    const std::string& path() const noexcept { return path_; }

    int close() noexcept {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0 ? 0 : errno;
    }
    // The file now lives under another name: nothing to remove.
    void release() noexcept { path_.clear(); }
    // Removes the file now.
    void discard() noexcept {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        if (!path_.empty() && ::unlink(path_.c_str()) == 0) note(FsStep::Op::Unlink, path_);
        path_.clear();
    }

private:
    int fd_ = -1;
    std::string path_;
};

// Removes the temporary files that saves of `target` left behind in a process of this
// machine that no longer exists (killed while saving). Files of live processes, of other
// machines and of other names are never touched.
void remove_stale_temporaries(std::string_view target) {
    const std::string dir = directory_prefix(target).empty() ? std::string(".")
                                                             : std::string(directory_prefix(target));
    DIR* stream = ::opendir(dir.c_str());
    if (!stream) return;
    const std::string prefix = side_file_prefix(target);
    const pid_t self = ::getpid();
    while (const dirent* entry = ::readdir(stream)) {
        const std::string_view name(entry->d_name);
        if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) continue;
        if (name.size() < 4 || name.substr(name.size() - 4) != ".tmp") continue;
        // "<pid>-<n>.tmp"
        std::string_view rest = name.substr(prefix.size());
        long long pid = 0;
        std::size_t i = 0;
        while (i < rest.size() && rest[i] >= '0' && rest[i] <= '9' && pid < (1LL << 40))
            pid = pid * 10 + (rest[i++] - '0');
        if (i == 0 || i >= rest.size() || rest[i] != '-' || pid <= 0 || pid == self) continue;
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
        ::unlinkat(::dirfd(stream), entry->d_name, 0);
    }
    ::closedir(stream);
}

// Makes one directory; an existing directory (or link to one) is fine. Returns 0 or errno;
// *created tells which.
int make_directory(const std::string& dir, bool* created) {
    if (::mkdir(dir.c_str(), 0777) == 0) {
        note(FsStep::Op::MakeDirectory, dir);
        *created = true;
        return 0;
    }
    const int e = errno;
    if (e != EEXIST) return e;
    struct stat st;
    if (::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return 0;
    return EEXIST;
}

// The directory entries of `dir` reach the disk; the rename is durable after this. Failure is
// not reported: the file is already in place and complete.
void sync_directory(std::string_view prefix) {
    const std::string dir = prefix.empty() ? std::string(".") : std::string(prefix);
    FileDescriptor fd(open_retrying(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0 && ::fsync(fd.get()) == 0) note(FsStep::Op::SyncDirectory, dir);
}

}  // namespace

std::string side_file_prefix(std::string_view target) {
    // Keep the name within the usual 255-byte limit for one component.
    const std::string_view name = last_component(target).substr(0, 200);
    std::string prefix;
    prefix.reserve(name.size() + 16);
    prefix += '.';
    prefix.append(name);
    prefix += ".zel-";
    prefix += host_tag();
    prefix += '-';
    return prefix;
}

Result<FileDescriptor> open_settings_file(const std::string& path) {
    if (has_nul(path))
        return make_error(ErrorKind::OpenFailed,
                          std::string("Failed to open config file: ") + kNulInPath);
    // While a backup exists, an in-place rewrite is in progress or was interrupted, and the
    // file itself may be partial: the backup holds the document.
    FileDescriptor fd(open_retrying(backup_path(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) fd.reset(open_retrying(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0 && errno != ENOENT)
        return make_error(ErrorKind::OpenFailed, "Failed to open config file: " + os_error_text(errno));
    return fd;
}

Result<std::string> read_file_bytes(int fd) {
    std::string text;
    // A file that cannot fit in one string (beyond a 32-bit address space, say) is refused
    // before anything is read; a stream that grows past that limit is refused when it gets
    // there. A regular file's size also sizes the string up front.
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        if (static_cast<std::uint64_t>(st.st_size) >= text.max_size()) return io_error(EFBIG);
        text.reserve(static_cast<std::size_t>(st.st_size));
    }
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            if (static_cast<std::size_t>(n) > text.max_size() - text.size()) return io_error(EFBIG);
            text.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            return io_error(errno);
        }
    }
    return text;
}

Result<std::string> read_whole_file(int fd) {
    Result<std::string> text = read_file_bytes(fd);
    if (text && !is_valid_utf8(text.value())) return io_error("stream did not contain valid UTF-8");
    return text;
}

std::string parent_directory(std::string_view path) {
    std::size_t end = path.size();
    while (end > 0 && path[end - 1] == '/') --end;  // trailing slashes end the last component
    if (end == 0) return {};                         // "" or the root: no parent to create
    const auto slash = path.rfind('/', end - 1);
    if (slash == std::string_view::npos) return {};
    std::size_t dir_end = slash;
    while (dir_end > 0 && path[dir_end - 1] == '/') --dir_end;
    if (dir_end == 0) return "/";
    return std::string(path.substr(0, dir_end));
}

Status create_directories(const std::string& dir) {
    if (dir.empty()) return success();
    if (has_nul(dir)) return io_error(kNulInPath);
    // Walk up until a directory exists or can be made, then come back down making the rest.
    std::vector<std::string> missing;
    std::vector<std::string> made;
    std::string current = dir;
    for (;;) {
        bool created = false;
        const int e = make_directory(current, &created);
        if (e == 0) {
            if (created) made.push_back(current);
            break;
        }
        if (e != ENOENT) return io_error(e);
        std::string up = parent_directory(current);
        if (up.empty()) return io_error(e);
        missing.push_back(std::move(current));
        current = std::move(up);
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        bool created = false;
        if (const int e = make_directory(*it, &created)) return io_error(e);
        if (created) made.push_back(*it);
    }
    // A new directory's entry is durable once its parent is flushed.
    for (const std::string& d : made) {
        const std::string parent = parent_directory(d);
        sync_directory(parent.empty() ? std::string() : parent + "/");
    }
    return success();
}

namespace {

// Writes every byte at `offset` onward. Returns 0 or the errno.
int pwrite_all(int fd, std::string_view data, off_t offset, std::string_view path) {
    const char* p = data.data();
    std::size_t left = data.size();
    const off_t start = offset;
    while (left > 0) {
        const ssize_t n = ::pwrite(fd, p, left, offset);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        p += n;
        offset += n;
        left -= static_cast<std::size_t>(n);
    }
    note(FsStep::Op::Write, path, data, static_cast<std::uint64_t>(start));
    return 0;
}

int truncate_fd(int fd, std::string_view path) {
    if (::ftruncate(fd, 0) != 0) return errno;
    note(FsStep::Op::Truncate, path);
    return 0;
}

// Publishes `bytes` as the backup of `path`, complete or not at all: written to a temporary
// file, flushed, renamed to the backup name, and the rename flushed. False when the directory
// does not allow it or there is no room.
bool publish_backup(const std::string& path, const std::string& backup, std::string_view bytes) {
    TemporaryFile temp;
    if (temp.create(path, 0600) != 0) return false;
    if (write_all(temp.fd(), bytes, temp.path()) != 0 || sync_fd(temp.fd(), temp.path()) != 0 ||
        temp.close() != 0)
        return false;
    if (::rename(temp.path().c_str(), backup.c_str()) != 0) return false;
    note(FsStep::Op::Rename, temp.path(), {}, 0, backup);
    temp.release();
    sync_directory(directory_prefix(path));
    return true;
}

// Rewrites the existing regular file at `path` in place, for when replacing it would change
// what its users see (other hard links to it, an owner we may not give a new file, a mount
// point) or is not allowed. Rewriters of one file take turns on a lock of the file itself.
// The old document is kept until the new bytes are flushed: in memory, and, when the directory
// allows, in a backup beside the file (backup_path), which readers use while it exists, so
// that a crash part-way leaves the old document readable; a failure part-way writes the old
// bytes back. Where no backup can be made, a crash part-way can leave a partial file.
Status rewrite_in_place(const std::string& path, std::string_view text) {
    FileDescriptor fd(open_retrying(path.c_str(), O_RDWR | O_CLOEXEC));
    if (fd.get() < 0) return io_error(errno);
    while (::flock(fd.get(), LOCK_EX) != 0)
        if (errno != EINTR) return io_error(errno);
    const std::string backup = backup_path(path);
    // A backup that exists while we hold the lock was left by a rewrite that did not finish:
    // it holds the last complete document, and the file itself may be partial.
    Result<std::string> old = [&]() -> Result<std::string> {
        FileDescriptor left(open_retrying(backup.c_str(), O_RDONLY | O_CLOEXEC));
        return read_file_bytes(left.get() >= 0 ? left.get() : fd.get());
    }();
    if (!old) return std::move(old).error();
    struct stat st {};
    const bool had_backup = ::stat(backup.c_str(), &st) == 0;
    const bool have_backup = had_backup || publish_backup(path, backup, old.value());

    auto restore = [&] {
        if (truncate_fd(fd.get(), path) == 0 && pwrite_all(fd.get(), old.value(), 0, path) == 0)
            return sync_fd(fd.get(), path) == 0;
        return false;
    };
    auto finish = [&](bool file_is_complete) {
        // The backup goes once the file holds a complete document again.
        if (have_backup && file_is_complete && ::unlink(backup.c_str()) == 0) {
            note(FsStep::Op::Unlink, backup);
            sync_directory(directory_prefix(path));
        }
    };
    if (const int e = truncate_fd(fd.get(), path)) return io_error(e);
    int e = pwrite_all(fd.get(), text, 0, path);
    if (e == 0) e = sync_fd(fd.get(), path);
    if (e != 0) {
        finish(restore());
        return io_error(e);
    }
    finish(true);
    if (const int closed = fd.close()) return io_error(closed);
    return success();
}

}  // namespace

void set_fs_observer(FsObserver observer, void* context) noexcept {
    g_observer_context.store(context, std::memory_order_release);
    g_observer.store(observer, std::memory_order_release);
}

std::string backup_path(std::string_view target) {
    const std::string_view name = last_component(target).substr(0, 200);
    std::string path(directory_prefix(target));
    path += '.';
    path.append(name);
    path += ".zel-backup";
    return path;
}

Status replace_file_contents(const std::string& path, std::string_view text) {
    if (has_nul(path)) return io_error(kNulInPath);
    Result<Target> resolved = resolve_target(path);
    if (!resolved) return std::move(resolved).error();
    const Target& target = resolved.value();

    if (target.exists) {
        if (S_ISDIR(target.status.st_mode)) return io_error(EISDIR);
        // Replacing a file we may not write would bypass its permissions: refuse, as an
        // in-place rewrite would.
        if (::faccessat(AT_FDCWD, target.path.c_str(), W_OK, AT_EACCESS) != 0) return io_error(errno);
        // Devices and pipes are not replaced, only written to.
        if (!S_ISREG(target.status.st_mode)) return write_in_place(target.path, text);
        // A new file would leave the other names of a hard-linked file with the old bytes.
        if (target.status.st_nlink > 1) return rewrite_in_place(target.path, text);
    } else {
        // A symbolic link may lead into a directory that does not exist yet.
        if (Status made = create_directories(parent_directory(target.path)); !made) return made;
    }

    remove_stale_temporaries(target.path);
    TemporaryFile temp;
    if (const int e = temp.create(target.path, 0666)) {
        // A directory we may not add entries to, holding a file we may write: rewrite the file
        // itself. (0666: the umask applies exactly as to any newly created file.)
        if ((e == EACCES || e == EPERM || e == EROFS) && target.exists)
            return rewrite_in_place(target.path, text);
        return io_error(e);
    }
    if (target.exists) {
        // Owner first: changing it may clear set-user-ID bits that fchmod then restores. An
        // owner we may not give the new file means rewriting the old one instead.
        if (target.status.st_uid != ::geteuid() || target.status.st_gid != ::getegid()) {
            if (::fchown(temp.fd(), target.status.st_uid, target.status.st_gid) != 0) {
                if (errno == EPERM) return rewrite_in_place(target.path, text);
                return io_error(errno);
            }
        }
        if (::fchmod(temp.fd(), target.status.st_mode & 07777) != 0) return io_error(errno);
    }
    if (const int e = write_all(temp.fd(), text, temp.path())) return io_error(e);
    if (const int e = sync_fd(temp.fd(), temp.path())) return io_error(e);
    if (const int e = temp.close()) return io_error(e);
    if (::rename(temp.path().c_str(), target.path.c_str()) != 0) {
        const int e = errno;
        // In a sticky directory only a file's owner may replace it, yet the file itself can be
        // writable to us; a file that is a mount point (a bind-mounted single file) cannot be
        // replaced at all: rewrite it in place (the temporary file goes with `temp`).
        if ((e == EPERM || e == EACCES || e == EBUSY || e == EXDEV) && target.exists)
            return rewrite_in_place(target.path, text);
        return io_error(e);
    }
    note(FsStep::Op::Rename, temp.path(), {}, 0, target.path);
    temp.release();
    sync_directory(directory_prefix(target.path));
    return success();
}

}  // namespace zel
