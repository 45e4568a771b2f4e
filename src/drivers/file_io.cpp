// The files of the file drivers: open a settings file (or its journal's document) for
// reading, read it whole, create parent directories, and replace a file safely (temporary
// file, fsync, rename, or an in-place rewrite behind a recovery journal).
// Owns every file descriptor it opens and closes it on every path.
#include "drivers/file_io.hpp"

#include <dirent.h>
#include <pthread.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include "text/hex.hpp"
#include "text/utf8.hpp"
#include "value/region.hpp"


namespace zel {
namespace {

constexpr char kNulInPath[] = "file name contained an unexpected NUL byte";

std::atomic<FsObserver> g_observer{nullptr};
std::atomic<void*> g_observer_context{nullptr};

std::atomic<void* (*)()> g_wait_detach{nullptr};
std::atomic<void (*)(void*)> g_wait_attach{nullptr};
std::atomic<Status (*)()> g_wait_interrupted{nullptr};

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

// Takes the exclusive lock of an open file. A lock another program holds is waited for
// detached from the interpreter, polling; between polls, signals that arrived run the
// interpreter's handlers, and an exception they raise (KeyboardInterrupt) ends the wait with
// that error.
Status lock_file(int fd) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return success();
    if (errno != EWOULDBLOCK && errno != EINTR) return io_error(errno);
    void (*attach)(void*) = g_wait_attach.load();
    void* (*detach)() = g_wait_detach.load();
    Status (*interrupted)() = g_wait_interrupted.load();
    long pause_us = 500;
    for (;;) {
        void* token = detach && attach ? detach() : nullptr;
        const timespec pause{0, pause_us * 1000};
        ::nanosleep(&pause, nullptr);
        pause_us = pause_us * 2 > 20000 ? 20000 : pause_us * 2;
        const int locked = ::flock(fd, LOCK_EX | LOCK_NB);
        const int e = errno;
        if (token) attach(token);
        if (locked == 0) return success();
        if (e != EWOULDBLOCK && e != EINTR) return io_error(e);
        if (interrupted) {
            if (Status s = interrupted(); !s) return s;
        }
    }
}

// Writes every byte, through short writes and interruptions. Returns 0 or the errno.
int write_all(int fd, std::string_view data, std::string_view path, std::uint64_t offset = 0) {
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
    note(FsStep::Op::Write, path, data, offset);
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

// A 64-bit checksum (not a cryptographic hash): it tells a journal cut short or damaged from a
// whole one.
std::uint64_t checksum64(std::string_view data, std::uint64_t seed) noexcept {
    constexpr std::uint64_t k1 = 0x9E3779B97F4A7C15ull, k2 = 0xC2B2AE3D27D4EB4Full;
    std::uint64_t h = seed ^ (data.size() * k1);
    const char* p = data.data();
    std::size_t left = data.size();
    auto mix = [&](std::uint64_t w) {
        w *= k2;
        w = (w << 31) | (w >> 33);
        h ^= w * k1;
        h = ((h << 27) | (h >> 37)) * 5 + 0x52DCE729;
    };
    for (; left >= 8; p += 8, left -= 8) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        mix(w);
    }
    if (left) {
        std::uint64_t w = 0;
        for (std::size_t i = 0; i < left; ++i)
            w |= static_cast<std::uint64_t>(static_cast<unsigned char>(p[i])) << (8 * i);
        mix(w);
    }
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    return h ^ (h >> 33);
}

constexpr char kJournalMagic[8] = {'Z', 'E', 'L', 'J', 'R', 'N', 'L', '1'};
constexpr char kJournalSuffix[] = ".zel-journal";

void put_u64(std::string& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::uint64_t get_u64(const char* p) noexcept {
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= static_cast<std::uint64_t>(static_cast<unsigned char>(p[i])) << (8 * i);
    return v;
}

std::uint64_t journal_content_checksum(std::string_view name, std::string_view after,
                                       std::string_view before) noexcept {
    return checksum64(before, checksum64(after, checksum64(name, 1)));
}

// Opens the journal at `path` as a reader may trust it: without following a link, without
// waiting (a pipe planted there), a regular file owned by `owner` or by us, with one name.
FileDescriptor open_journal(const std::string& path, uid_t owner, struct stat& st) {
    FileDescriptor fd(open_retrying(path.c_str(),
                                    O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY));
    if (fd.get() < 0) return fd;
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 ||
        (st.st_uid != owner && st.st_uid != ::geteuid()))
        fd.reset(-1);
    return fd;
}

// Reads and checks the journal of the file `file_st` (named `name`); false when there is
// none that belongs to it.
// The descriptor read stays open in `fd` (journals are never changed once published).
bool read_journal(const std::string& journal, std::string_view name, const struct stat& file_st,
                  FileText& bytes, Journal& out, FileDescriptor& fd) {
    struct stat st {};
    fd = open_journal(journal, file_st.st_uid, st);
    if (fd.get() < 0) return false;
    Result<FileText> read = read_file_bytes(fd.get());
    if (!read) return false;
    bytes = std::move(read).value();
    return decode_journal(bytes.view(), out) && out.name == name &&
           out.device == static_cast<std::uint64_t>(file_st.st_dev) &&
           out.inode == static_cast<std::uint64_t>(file_st.st_ino);
}

// Removes the journal of `target` if it is ours: a regular file of our own that names this
// file, or that is no journal at all. A journal of another user, or one naming another file
// (a long name whose hash it shares), stays.
void remove_our_journal(std::string_view target) {
    const std::string journal = journal_path(target);
    struct stat st {};
    FileDescriptor fd = open_journal(journal, ::geteuid(), st);
    if (fd.get() < 0 || st.st_uid != ::geteuid()) return;
    char header[kJournalHeaderSize];
    const ssize_t n = ::pread(fd.get(), header, sizeof header, 0);
    if (n == static_cast<ssize_t>(sizeof header) &&
        std::memcmp(header, kJournalMagic, sizeof kJournalMagic) == 0 &&
        checksum64(std::string_view(header, 56), 2) == get_u64(header + 56)) {
        const std::string_view name = last_component(target);
        const std::uint64_t name_size = get_u64(header + 24);
        std::string stored(name_size == name.size() ? name.size() : 0, '\0');
        if (name_size != name.size() ||
            ::pread(fd.get(), stored.data(), stored.size(), kJournalHeaderSize) !=
                static_cast<ssize_t>(stored.size()) ||
            stored != name)
            return;
    }
    fd.reset(-1);
    // Not flushed: a journal that outlives a power cut names a file that holds the new bytes
    // whole, or another inode, and never applies.
    if (::unlink(journal.c_str()) == 0) note(FsStep::Op::Unlink, journal);
}

// The old document to read instead of the settings file open at `fd` (a regular file,
// `st`), when an interrupted rewrite's journal applies: the journal, positioned at it.
// `not_a_link`: `path` was opened without following a symbolic link, so it is its own target.
FileDescriptor recovered_document(const std::string& path, int fd, const struct stat& st,
                                  bool not_a_link) {
    Result<Target> target = not_a_link ? Result<Target>(Target{path, true, st}) : resolve_target(path);
    if (!target || !target.value().exists) return FileDescriptor();
    FileText bytes;
    Journal journal;
    FileDescriptor document;
    if (!read_journal(journal_path(target.value().path), last_component(target.value().path), st,
                      bytes, journal, document))
        return FileDescriptor();
    Result<FileText> current = read_file_bytes(fd);
    const bool applies = current && journal_applies(journal, current.value().view());
    if (::lseek(fd, 0, SEEK_SET) != 0) return FileDescriptor();
    // The old document is the journal's tail: its reader reads from there to the end.
    if (!applies ||
        ::lseek(document.get(), static_cast<off_t>(bytes.size() - journal.before.size()),
                SEEK_SET) < 0)
        return FileDescriptor();
    return document;
}

// Truncates and rewrites a file that is not a regular file (a device, a pipe): there is
// nothing to keep. Opening never waits (a pipe that nobody reads is ENXIO); the writes, which
// wait for a pipe's reader to take the bytes, run detached from the interpreter.
Status write_in_place(const std::string& path, std::string_view text) {
    FileDescriptor fd(
        open_retrying(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.get() < 0) return io_error(errno);
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return io_error(errno);
    void (*attach)(void*) = g_wait_attach.load();
    void* (*detach)() = g_wait_detach.load();
    void* token = detach && attach ? detach() : nullptr;
    int e = write_all(fd.get(), text, path);
    if (e == 0) e = sync_fd(fd.get(), path);
    if (token) attach(token);
    if (e) return io_error(e);
    if (int closed = fd.close()) return io_error(closed);
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
        for (int i = 7; i >= 0; --i, hash >>= 4) text[i] = kHexLower[hash & 0xF];
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

namespace {

// A name component within the usual 255-byte limit once `extra` bytes are added: the name
// itself when it fits, else its first 160 bytes and a hash of the whole name, so that long
// names sharing a beginning never share a side file.
std::string fitted_name(std::string_view name, std::size_t extra) {
    if (name.size() + extra <= 255) return std::string(name);
    std::string fitted(name.substr(0, 160));
    fitted += '~';
    std::uint64_t hash = checksum64(name, 3);
    for (int i = 0; i < 16; ++i, hash >>= 4) fitted += kHexLower[hash & 0xF];
    return fitted;
}

// Scans text[from, end) for the first byte `stop` names; returns its index (npos when there
// is none) and advances `from` past what is known good, leaving an unfinished UTF-8 sequence
// at the end for the next chunk.
std::size_t find_stop(std::string_view text, std::size_t& from, TextStop stop) {
    const auto* data = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* end = data + text.size();
    std::size_t i = from;
    while (i < text.size()) {
        const unsigned char c = data[i];
        if (c < 0x80) {
            if (c == 0 && stop == TextStop::NulOrInvalidUtf8) return i;
            ++i;
            continue;
        }
        const Utf8Char u = decode_utf8(reinterpret_cast<const char*>(data + i),
                                       reinterpret_cast<const char*>(end));
        if (u.status == Utf8::Valid) {
            i += u.length;
        } else if (u.status == Utf8::Partial) {
            break;  // may be completed by the next chunk
        } else {
            return i;
        }
    }
    from = i;
    return std::string::npos;
}

}  // namespace

std::string side_file_prefix(std::string_view target) {
    // "<pid>-<n>.tmp" follows: room for 40 more bytes.
    const std::string name = fitted_name(last_component(target), 1 + 5 + 9 + 40);
    std::string prefix;
    prefix.reserve(name.size() + 16);
    prefix += '.';
    prefix.append(name);
    prefix += ".zel-";
    prefix += host_tag();
    prefix += '-';
    return prefix;
}

std::string journal_path(std::string_view target) {
    std::string path(directory_prefix(target));
    path += '.';
    path += fitted_name(last_component(target), 1 + sizeof kJournalSuffix - 1);
    path += kJournalSuffix;
    return path;
}

std::string encode_journal(const Journal& journal) {
    std::string out;
    out.reserve(kJournalHeaderSize + journal.name.size() + journal.after.size() +
                journal.before.size());
    out.append(kJournalMagic, sizeof kJournalMagic);
    put_u64(out, journal.device);
    put_u64(out, journal.inode);
    put_u64(out, journal.name.size());
    put_u64(out, journal.after.size());
    put_u64(out, journal.before.size());
    put_u64(out, journal_content_checksum(journal.name, journal.after, journal.before));
    put_u64(out, checksum64(out, 2));
    out.append(journal.name);
    out.append(journal.after);
    out.append(journal.before);
    return out;
}

bool decode_journal(std::string_view bytes, Journal& out) noexcept {
    if (bytes.size() < kJournalHeaderSize ||
        std::memcmp(bytes.data(), kJournalMagic, sizeof kJournalMagic) != 0 ||
        checksum64(bytes.substr(0, 56), 2) != get_u64(bytes.data() + 56))
        return false;
    const std::uint64_t name = get_u64(bytes.data() + 24), after = get_u64(bytes.data() + 32),
                        before = get_u64(bytes.data() + 40);
    const std::uint64_t body = bytes.size() - kJournalHeaderSize;
    // Each length is checked against what is there before they are added up.
    if (name > body || after > body || before > body || name + after + before != body)
        return false;
    Journal j;
    j.device = get_u64(bytes.data() + 8);
    j.inode = get_u64(bytes.data() + 16);
    j.name = bytes.substr(kJournalHeaderSize, name);
    j.after = bytes.substr(kJournalHeaderSize + name, after);
    j.before = bytes.substr(kJournalHeaderSize + name + after, before);
    if (journal_content_checksum(j.name, j.after, j.before) != get_u64(bytes.data() + 48))
        return false;
    out = j;
    return true;
}

bool journal_applies(const Journal& journal, std::string_view file_bytes) noexcept {
    // A rewrite truncates the file, then writes the new bytes from the start: cut short, it
    // leaves a proper prefix of them; a failed rewrite writes the old bytes back the same way.
    auto proper_prefix_of = [&](std::string_view whole) {
        return file_bytes.size() < whole.size() && whole.substr(0, file_bytes.size()) == file_bytes;
    };
    return proper_prefix_of(journal.after) || proper_prefix_of(journal.before);
}

Result<FileDescriptor> open_settings_file(const std::string& path, std::uint64_t* size) {
    if (size) *size = kSizeUnknown;
    if (has_nul(path))
        return make_error(ErrorKind::OpenFailed,
                          std::string("Failed to open config file: ") + kNulInPath);
    // Without waiting: opening a pipe for reading would wait for a writer. First without
    // following a symbolic link, which tells most opens that the path is its own target (no
    // separate look at the link chain); a link fails with ELOOP and is opened through.
    constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    FileDescriptor fd(open_retrying(path.c_str(), kFlags | O_NOFOLLOW));
    const bool not_a_link = fd.get() >= 0;
    if (!not_a_link && errno == ELOOP) fd = FileDescriptor(open_retrying(path.c_str(), kFlags));
    if (fd.get() < 0) {
        if (errno == ENOENT) return fd;
        return make_error(ErrorKind::OpenFailed, "Failed to open config file: " + os_error_text(errno));
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return make_error(ErrorKind::OpenFailed, "Failed to open config file: " + os_error_text(errno));
    if (!S_ISREG(st.st_mode)) {
        // A pipe or a device: read it as it comes, waiting for its data.
        if (!S_ISDIR(st.st_mode)) {
            const int flags = ::fcntl(fd.get(), F_GETFL);
            if (flags >= 0) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
        }
        return fd;
    }
    if (FileDescriptor journal = recovered_document(path, fd.get(), st, not_a_link);
        journal.get() >= 0)
        return journal;
    if (size) *size = static_cast<std::uint64_t>(st.st_size);
    return fd;
}

bool FileText::reserve(std::size_t n) noexcept {
    if (n <= capacity_) return true;
    std::size_t got = n;
    void* p = large_buffer(got);
    if (!p) return false;
    if (size_) std::memcpy(p, data_, size_);
    release();
    data_ = static_cast<char*>(p);
    capacity_ = got;
    return true;
}

void FileText::release() noexcept {
    if (data_) free_large_buffer(data_, capacity_);
    data_ = nullptr;
    capacity_ = 0;
}

Result<FileText> read_file_bytes(int fd, TextStop stop, std::uint64_t size) {
    FileText text;
    // Room for `more` bytes past the text, growing in doubling steps.
    auto room_for = [&text](std::size_t more) -> int {
        if (more <= text.capacity() - text.size()) return 0;
        if (more > SIZE_MAX / 2 - text.size()) return EFBIG;
        return text.reserve(std::max(text.size() + more, 2 * text.capacity())) ? 0 : ENOMEM;
    };
    if (size == kSizeUnknown) {
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
            size = static_cast<std::uint64_t>(st.st_size);
    }
    if (size != kSizeUnknown) {
        // A regular file is read straight into the text, whose room is one byte more than the
        // file: a read that comes back short having reached that size found the end, without a
        // further read that finds nothing. A file that grew goes on being read in growing steps.
        // A file that cannot fit in memory (beyond a 32-bit address space, say) is refused
        // before anything is read.
        if (size >= SIZE_MAX / 2) return io_error(EFBIG);
        if (!text.reserve(static_cast<std::size_t>(size) + 1)) return io_error(ENOMEM);
        for (;;) {
            if (text.size() == text.capacity())
                if (const int e = room_for(std::max<std::size_t>(text.capacity(), 64 * 1024)))
                    return io_error(e);
            const std::size_t room = text.capacity() - text.size();
            const ssize_t n = ::read(fd, text.data() + text.size(), room);
            if (n > 0) {
                text.set_size(text.size() + static_cast<std::size_t>(n));
                if (static_cast<std::size_t>(n) < room && text.size() == size) break;
            } else if (n == 0) {
                break;
            } else if (errno != EINTR) {
                return io_error(errno);
            }
        }
        return text;
    }
    // A pipe or a device: no size to bound it, and `stop` may end it.
    std::size_t checked = 0;
    for (;;) {
        if (const int e = room_for(64 * 1024)) return io_error(e);
        const ssize_t n = ::read(fd, text.data() + text.size(), 64 * 1024);
        if (n > 0) {
            text.set_size(text.size() + static_cast<std::size_t>(n));
            if (stop != TextStop::None) {
                const std::size_t at = find_stop(text.view(), checked, stop);
                if (at != std::string::npos) {
                    text.set_size(at + 1);
                    break;
                }
            }
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            return io_error(errno);
        }
    }
    return text;
}

Result<FileText> read_whole_file(int fd, TextStop stop, std::uint64_t size) {
    Result<FileText> text = read_file_bytes(fd, stop, size);
    if (text && !is_valid_utf8(text.value().view()))
        return io_error("stream did not contain valid UTF-8");
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

// Publishes `bytes` as the journal of `path`, complete or not at all: written to a temporary
// file, flushed, renamed to the journal's name, and the rename flushed. False when the
// directory does not allow it (a journal of another user in a sticky directory included) or
// there is no room. Returns 0 or the errno.
int publish_journal(const std::string& path, const std::string& journal, std::string_view bytes) {
    TemporaryFile temp;
    if (const int e = temp.create(path, 0600)) return e;
    int e = write_all(temp.fd(), bytes, temp.path());
    if (e == 0) e = sync_fd(temp.fd(), temp.path());
    if (e == 0) e = temp.close();
    if (e != 0) return e;
    if (::rename(temp.path().c_str(), journal.c_str()) != 0) return errno;
    note(FsStep::Op::Rename, temp.path(), {}, 0, journal);
    temp.release();
    sync_directory(directory_prefix(path));
    return 0;
}

// Rewrites the existing regular file at `path` in place, for when replacing it would change
// what its users see (other hard links to it, an owner we may not give a new file, a mount
// point) or is not allowed. Rewriters of one file take turns on a lock of the file itself.
// The old document is kept until the new bytes are flushed: in memory, and, when the
// directory allows, in a journal beside the file (see Journal), which readers use while the
// file holds a rewrite cut short; a failure part-way writes the old bytes back. Where the
// directory refuses a journal, a crash part-way can leave a partial file.
Status rewrite_in_place(const std::string& path, std::string_view text) {
    FileDescriptor fd(open_retrying(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.get() < 0) return io_error(errno);
    if (Status locked = lock_file(fd.get()); !locked) return locked;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return io_error(errno);
    Result<FileText> current = read_file_bytes(fd.get());
    if (!current) return std::move(current).error();
    remove_stale_temporaries(path);
    const std::string journal_name = journal_path(path);
    // A journal of an earlier rewrite of this file that did not finish holds the last
    // complete document while the file is still as that rewrite left it.
    FileText earlier_bytes;
    Journal earlier;
    FileDescriptor earlier_fd;
    std::string_view old = current.value().view();
    if (read_journal(journal_name, last_component(path), st, earlier_bytes, earlier, earlier_fd) &&
        journal_applies(earlier, old))
        old = earlier.before;
    earlier_fd.reset(-1);
    Journal entry;
    entry.device = static_cast<std::uint64_t>(st.st_dev);
    entry.inode = static_cast<std::uint64_t>(st.st_ino);
    entry.name = last_component(path);
    entry.after = text;
    entry.before = old;
    // Without room for the journal there is hardly room for the rewrite: the file stays as it
    // is. A directory that refuses the journal only leaves the rewrite unprotected.
    if (const int e = publish_journal(path, journal_name, encode_journal(entry));
        e == ENOSPC || e == EDQUOT || e == EFBIG)
        return io_error(e);

    auto restore = [&] {
        if (truncate_fd(fd.get(), path) == 0 && pwrite_all(fd.get(), old, 0, path) == 0)
            return sync_fd(fd.get(), path) == 0;
        return false;
    };
    if (const int e = truncate_fd(fd.get(), path)) return io_error(e);
    int e = pwrite_all(fd.get(), text, 0, path);
    if (e == 0) e = sync_fd(fd.get(), path);
    if (e != 0) {
        // The journal goes once the file holds a complete document again.
        if (restore()) remove_our_journal(path);
        return io_error(e);
    }
    remove_our_journal(path);
    if (const int closed = fd.close()) return io_error(closed);
    return success();
}

}  // namespace

void set_fs_observer(FsObserver observer, void* context) noexcept {
    g_observer_context.store(context, std::memory_order_release);
    g_observer.store(observer, std::memory_order_release);
}

void set_file_wait_hooks(FileWaitHooks hooks) noexcept {
    g_wait_interrupted.store(hooks.interrupted);
    g_wait_attach.store(hooks.attach);
    g_wait_detach.store(hooks.detach);
}

namespace {

// A save's text streams into its temporary file in pieces of this size: the block is reused
// while still in the caches, and a large document never needs a second copy of itself as text.
constexpr std::size_t kSavePiece = std::size_t{1} << 20;

// Writes the pieces of a streamed text into a new file on a thread of its own, so that the
// writing of one piece and the making of the next overlap; one piece is in flight at a time.
// The thread starts with the first piece that is not the last (a text of one piece is written
// directly), with every signal blocked (they are for the interpreter's threads); where it
// cannot start, every piece is written directly. Destroyed, it waits for the piece in flight.
class PieceWriter {
public:
    PieceWriter(int fd, std::string_view path) noexcept : fd_(fd), path_(path) {}
    PieceWriter(const PieceWriter&) = delete;
    PieceWriter& operator=(const PieceWriter&) = delete;
    ~PieceWriter() { stop(); }

    TextSink sink() noexcept {
        return {[](void* context, std::string_view piece, bool last) {
                    return static_cast<PieceWriter*>(context)->take(piece, last);
                },
                this};
    }

private:
    int take(std::string_view piece, bool last) {
        if (!started_ && !tried_ && !last) start();
        if (!started_) {
            const int e = piece.empty() ? 0 : write_all(fd_, piece, path_, offset_);
            offset_ += piece.size();
            return e;
        }
        std::unique_lock<std::mutex> lock(mutex_);
        idle_.wait(lock, [this] { return !busy_; });
        if (error_ == 0 && !piece.empty()) {
            piece_ = piece;
            busy_ = true;
            work_.notify_one();
        }
        if (!last) return error_;
        idle_.wait(lock, [this] { return !busy_; });
        lock.unlock();
        stop();
        return error_;
    }

    void run() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            work_.wait(lock, [this] { return busy_ || quit_; });
            if (!busy_) return;
            const std::string_view piece = piece_;
            const std::uint64_t offset = offset_;
            lock.unlock();
            const int e = write_all(fd_, piece, path_, offset);
#ifdef SYNC_FILE_RANGE_WRITE
            // Start the piece on its way to the disk now, so that the fsync at the end has
            // little left to wait for. Only a hint: the fsync is what makes it durable.
            if (e == 0)
                ::sync_file_range(fd_, static_cast<off_t>(offset), static_cast<off_t>(piece.size()),
                                  SYNC_FILE_RANGE_WRITE);
#endif
            lock.lock();
            offset_ = offset + piece.size();
            if (e != 0) error_ = e;
            busy_ = false;
            idle_.notify_one();
        }
    }

    void start() noexcept {
        tried_ = true;
        sigset_t all, old;
        ::sigfillset(&all);
        if (::pthread_sigmask(SIG_SETMASK, &all, &old) != 0) return;
        started_ = ::pthread_create(
                       &thread_, nullptr,
                       [](void* self) -> void* {
                           static_cast<PieceWriter*>(self)->run();
                           return nullptr;
                       },
                       this) == 0;
        ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    }

    void stop() noexcept {
        if (!started_) return;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
        }
        work_.notify_one();
        ::pthread_join(thread_, nullptr);
        started_ = false;
    }

    const int fd_;
    const std::string_view path_;
    std::uint64_t offset_ = 0;  // where the next piece goes
    bool tried_ = false;
    bool started_ = false;
    pthread_t thread_{};
    std::mutex mutex_;
    std::condition_variable work_, idle_;
    std::string_view piece_;  // the piece in flight, while busy_
    bool busy_ = false;
    bool quit_ = false;
    int error_ = 0;  // the first failed write's errno
};

// The text of one save: made whole once where it is needed whole, or streamed.
class SaveText {
public:
    explicit SaveText(const TextSource& source) : source_(source) {}

    bool in_pieces() const noexcept { return source_.in_pieces && !made_; }

    // The whole text, made on first need.
    Result<std::string_view> whole() {
        if (!made_) {
            if (Status written = source_.write(source_.context, text_); !written)
                return std::move(written).error();
            made_ = true;
        }
        return text_.view();
    }

    // Writes the text into the new file `fd` as it is made, piece by piece.
    Status stream(int fd, std::string_view path) {
        TextBuffer out;
        PieceWriter writer(fd, path);  // done with the pieces before `out` goes
        out.stream_to(writer.sink(), kSavePiece);
        const Status written = source_.write(source_.context, out);
        const int e = out.finish_stream();
        if (!written) return written;
        if (e != 0) return io_error(e);
        return success();
    }

private:
    const TextSource& source_;
    TextBuffer text_;
    bool made_ = false;
};

// Writes the file in place (write_in_place or rewrite_in_place) with the whole text.
Status in_place(Status (*write)(const std::string&, std::string_view), const std::string& path,
                SaveText& text) {
    Result<std::string_view> whole = text.whole();
    if (!whole) return std::move(whole).error();
    return write(path, whole.value());
}

}  // namespace

Status replace_file_contents(const std::string& path, const TextSource& source) {
    SaveText text(source);
    if (!text.in_pieces()) {
        if (Result<std::string_view> whole = text.whole(); !whole) return std::move(whole).error();
    }
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
        if (!S_ISREG(target.status.st_mode)) return in_place(write_in_place, target.path, text);
        // A new file would leave the other names of a hard-linked file with the old bytes.
        if (target.status.st_nlink > 1) return in_place(rewrite_in_place, target.path, text);
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
            return in_place(rewrite_in_place, target.path, text);
        return io_error(e);
    }
    if (target.exists) {
        // Owner first: changing it may clear set-user-ID bits that fchmod then restores. An
        // owner we may not give the new file means rewriting the old one instead.
        if (target.status.st_uid != ::geteuid() || target.status.st_gid != ::getegid()) {
            if (::fchown(temp.fd(), target.status.st_uid, target.status.st_gid) != 0) {
                if (errno == EPERM) return in_place(rewrite_in_place, target.path, text);
                return io_error(errno);
            }
        }
        if (::fchmod(temp.fd(), target.status.st_mode & 07777) != 0) return io_error(errno);
    }
    if (text.in_pieces()) {
        if (Status written = text.stream(temp.fd(), temp.path()); !written) return written;
    } else if (const int e = write_all(temp.fd(), text.whole().value(), temp.path())) {
        return io_error(e);
    }
    if (const int e = sync_fd(temp.fd(), temp.path())) return io_error(e);
    if (const int e = temp.close()) return io_error(e);
    if (::rename(temp.path().c_str(), target.path.c_str()) != 0) {
        const int e = errno;
        // In a sticky directory only a file's owner may replace it, yet the file itself can be
        // writable to us; a file that is a mount point (a bind-mounted single file) cannot be
        // replaced at all: rewrite it in place (the temporary file goes with `temp`).
        if ((e == EPERM || e == EACCES || e == EBUSY || e == EXDEV) && target.exists)
            return in_place(rewrite_in_place, target.path, text);
        return io_error(e);
    }
    note(FsStep::Op::Rename, temp.path(), {}, 0, target.path);
    temp.release();
    sync_directory(directory_prefix(target.path));
    // A journal of an interrupted rewrite names the file just replaced: it no longer
    // applies, and goes.
    remove_our_journal(target.path);
    return success();
}

}  // namespace zel
