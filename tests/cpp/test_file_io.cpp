// Tests of loading and saving settings files and of the driver dispatch: missing files, open
// and read errors, directory creation, safe replacement (links followed, permissions and
// owner kept, fallback to in-place writes, interrupted saves, concurrent saves).
// Permission tests run in a forked child that drops to the user nobody when we are root.
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "drivers/drivers.hpp"
#include "drivers/file_io.hpp"
#include "formats/json/reader.hpp"
#include "formats/json/writer.hpp"
#include "text/utf8.hpp"
#include "engine/engine.hpp"
#include "test_support.hpp"

namespace zel {
namespace {

using namespace test;

constexpr uid_t kNobody = 65534;

void write_file(const std::string& path, const std::string& text, mode_t mode = 0644) {
    std::ofstream(path, std::ios::binary) << text;
    ::chmod(path.c_str(), mode);
}

std::vector<std::string> entries(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

mode_t mode_of(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

const char* kind_name(ErrorKind k) {
    switch (k) {
        case ErrorKind::Io: return "Io";
        case ErrorKind::OpenFailed: return "OpenFailed";
        case ErrorKind::Parse: return "Parse";
        default: return "Other";
    }
}

// "ok", or "Kind:os_code:message".
template <class T>
std::string describe(const Result<T>& r) {
    if (r.ok()) return "ok";
    return std::string(kind_name(r.error().kind)) + ":" + std::to_string(r.error().os_code) + ":" +
           r.error().message;
}

std::string io_text(int code) { return "Io:" + std::to_string(code) + ":" + os_error_text(code); }

// Runs `body` in a forked child and returns the text it produced. As root the child first
// becomes nobody (unless told otherwise), so that file permissions apply to it.
std::string in_child(const std::function<std::string()>& body, bool as_nobody = true) {
    const ChildOutcome child = run_in_child([&](int out) {
        std::string text;
        if (as_nobody && ::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setresgid(kNobody, kNobody, kNobody) != 0 ||
             ::setresuid(kNobody, kNobody, kNobody) != 0))
            text = "could not become nobody";
        else
            text = body();
        (void)!::write(out, text.data(), text.size());
        return 0;
    });
    if (!child.exited()) return "the child did not exit: " + child.how_it_ended();
    return child.output;
}

// Saves `doc` to `target` in a child whose writes past 4 KiB fail with EFBIG (instead of
// killing it); the save's result as describe gives it.
std::string save_with_4k_file_size_limit(const std::string& target, const Value& doc) {
    return in_child([&] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        return describe(save_file(DriverKind::Json, target, doc));
    }, /*as_nobody=*/false);
}

Value document(const char* text) { return parse_json(text).value(); }

class file_io : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        ::chmod(dir_.c_str(), 0755);  // nobody may enter
        old_umask_ = ::umask(022);
    }
    void TearDown() override {
        ::umask(old_umask_);
        TempDirTest::TearDown();
    }

    mode_t old_umask_ = 0;
};

// ---- loading ----

TEST_F(file_io, loading_missing_file_or_directory_gives_empty_object_and_creates_nothing) {
    for (const char* relative : {"settings.json", "no/such/dir/settings.json"}) {
        Result<Value> r = load_file(DriverKind::Json, path(relative));
        ASSERT_TRUE(r.ok()) << describe(r);
        EXPECT_EQ(r.value(), Value::object());
    }
    EXPECT_TRUE(entries(dir_).empty());
}

TEST_F(file_io, loading_reads_the_file) {
    Result<Value> r = load_file(DriverKind::Json, ZEL_TEST_DATA_DIR "/json/settings.json");
    ASSERT_TRUE(r.ok()) << describe(r);
    const Value& v = r.value();
    EXPECT_EQ(*v.find("window")->find("width"), Value::uinteger(800));
    EXPECT_EQ(*v.find("window")->find("scale"), Value::floating(1.25));
    EXPECT_EQ(*v.find("name"), Value::string("caf\xc3\xa9"));
    EXPECT_EQ(v.find("recent")->as_array().size(), 2u);
}

TEST_F(file_io, loading_failures_by_cause) {
    write_file(path("file"), "{}");
    write_file(path("bad.json"), "{\"a\": }");
    write_file(path("latin1.toml"), "a = \"\xe9\"");
    ::mkdir(path("dir").c_str(), 0755);
    const std::string open_failed = "OpenFailed:0:Failed to open config file: ";
    EXPECT_EQ(describe(load_file(DriverKind::Json, path("a") + std::string(1, '\0'))),
              open_failed + "file name contained an unexpected NUL byte");
    EXPECT_EQ(describe(load_file(DriverKind::Json, path("file/x.json"))),
              open_failed + os_error_text(ENOTDIR));
    // A directory opens; reading it fails. JSON reports it as a parse error, the whole-text
    // formats as the input/output error it is.
    EXPECT_EQ(describe(load_file(DriverKind::Json, path("dir"))),
              "Parse:0:JSON parse error: " + os_error_text(EISDIR));
    EXPECT_EQ(describe(load_file(DriverKind::Toml, path("dir"))), io_text(EISDIR));
    EXPECT_EQ(describe(load_file(DriverKind::Json5, path("dir"))), io_text(EISDIR));
    EXPECT_EQ(describe(load_file(DriverKind::Toml, path("latin1.toml"))),
              "Io:0:stream did not contain valid UTF-8");
    EXPECT_EQ(describe(load_file(DriverKind::Json, path("bad.json"))),
              "Parse:0:JSON parse error: expected value at line 1 column 7");
}

TEST_F(file_io, loading_without_read_permission_is_open_failed) {
    write_file(path("secret.json"), "{}", 0000);
    EXPECT_EQ(in_child([&] { return describe(load_file(DriverKind::Json, path("secret.json"))); }),
              "OpenFailed:0:Failed to open config file: " + os_error_text(EACCES));
}

TEST(file_io_text, read_whole_file_and_utf8_validation) {
    const std::string text = "\xc3\xa9" + std::string(20000, 'x') + "\xf0\x9f\x98\x80";
    Result<FileText> r = read_through_temp_file(text, [](int fd) { return read_whole_file(fd); });
    ASSERT_TRUE(r.ok()) << r.error().message;
    EXPECT_EQ(r.value().view(), text);

    for (const char* valid : {"", "abc", "\xc3\xa9", "\xe2\x82\xac", "\xed\x9f\xbf", "\xee\x80\x80",
                              "\xf0\x90\x80\x80", "\xf4\x8f\xbf\xbf"})
        EXPECT_TRUE(is_valid_utf8(valid)) << valid;
    for (const char* invalid : {"\x80", "\xc0\x80", "\xc1\xbf", "\xe0\x9f\xbf", "\xed\xa0\x80",
                                "\xf0\x8f\xbf\xbf", "\xf4\x90\x80\x80", "\xf5\x80\x80\x80", "\xe4\xb8",
                                "\xc3\x28", "a\xff"})
        EXPECT_FALSE(is_valid_utf8(invalid)) << invalid;
}

// A regular file is read into a text with room for one byte more than the size it was opened
// with (a large one: whole huge pages, perhaps memory a freed document left), and a short read
// at that size ends it: a file that has since grown or shrunk is still read whole.
TEST(file_io_text, a_size_from_opening_that_no_longer_holds_still_reads_the_whole_file) {
    for (std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{4000}, std::size_t{200000},
                          std::size_t{3} << 20, (std::size_t{4} << 20) - 1}) {
        std::string text(n, 'x');
        for (std::size_t i = 0; i < n; ++i) text[i] = static_cast<char>('a' + i % 26);
        for (std::uint64_t size : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{n / 2},
                                   std::uint64_t{n ? n - 1 : 0}, std::uint64_t{n},
                                   std::uint64_t{n + 1}, std::uint64_t{65536}, kSizeUnknown}) {
            Result<FileText> r = read_through_temp_file(
                text, [&](int fd) { return read_file_bytes(fd, TextStop::None, size); });
            ASSERT_TRUE(r.ok()) << r.error().message;
            EXPECT_EQ(r.value().view(), text) << "length " << n << " size " << size;
        }
    }
}

TEST(file_io_text, parent_directory_of_paths) {
    const std::pair<const char*, const char*> cases[] = {
        {"a/b/c", "a/b"}, {"/c", "/"}, {"c", ""}, {"/", ""}, {"", ""},   {"a//b", "a"},
        {"a/b/", "a"},    {"//a", "/"}, {"./x", "."}, {"../x/y", "../x"},
    };
    for (const auto& [input, parent] : cases) EXPECT_EQ(parent_directory(input), parent) << input;
}

// ---- saving ----

TEST_F(file_io, saving_creates_missing_directories_then_the_file) {
    const Value doc = document(R"({"b": [1, 2.5], "a": {}})");
    ASSERT_EQ(describe(save_file(DriverKind::Json, path("x/y/z/settings.json"), doc)), "ok");
    EXPECT_EQ(file_contents(path("x/y/z/settings.json")), "{\n  \"a\": {},\n  \"b\": [\n    1,\n    2.5\n  ]\n}");
    EXPECT_EQ(mode_of(path("x")), 0755u);
    EXPECT_EQ(mode_of(path("x/y/z")), 0755u);
    EXPECT_EQ(mode_of(path("x/y/z/settings.json")), 0644u);
    EXPECT_EQ(entries(path("x/y/z")), std::vector<std::string>{"settings.json"});
    // A bare file name and an existing directory need nothing created.
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
    EXPECT_EQ(describe(save_file(DriverKind::Json, "bare.json", doc)), "ok");
    EXPECT_EQ(describe(save_file(DriverKind::Json, path("x/./y/again.json"), doc)), "ok");
    std::filesystem::current_path(cwd);
    EXPECT_EQ(file_contents(path("bare.json")), file_contents(path("x/y/again.json")));
}

TEST_F(file_io, saving_where_a_file_blocks_the_directories) {
    write_file(path("file"), "keep");
    const Value doc = Value::object();
    EXPECT_EQ(describe(save_file(DriverKind::Json, path("file/settings.json"), doc)), io_text(EEXIST));
    EXPECT_EQ(describe(save_file(DriverKind::Json, path("file/sub/settings.json"), doc)), io_text(ENOTDIR));
    ::mkdir(path("dir.json").c_str(), 0755);
    EXPECT_EQ(describe(save_file(DriverKind::Json, path("dir.json"), doc)), io_text(EISDIR));
    EXPECT_EQ(describe(save_file(DriverKind::Json, path("a") + std::string(1, '\0') + "b", doc)),
              "Io:0:file name contained an unexpected NUL byte");
    EXPECT_EQ(entries(dir_), (std::vector<std::string>{"dir.json", "file"}));
    EXPECT_TRUE(entries(path("dir.json")).empty());
    EXPECT_EQ(file_contents(path("file")), "keep");
}

TEST_F(file_io, saving_follows_symbolic_links_and_keeps_them) {
    ::mkdir(path("real").c_str(), 0755);
    ::mkdir(path("sub").c_str(), 0755);
    write_file(path("real/target.json"), "{}");
    ASSERT_EQ(::symlink("real/target.json", path("settings.json").c_str()), 0);
    ASSERT_EQ(::symlink("../settings.json", path("sub/chain.json").c_str()), 0);  // link to a link
    ASSERT_EQ(::symlink("real/new.json", path("dangling.json").c_str()), 0);

    const Value first = document(R"({"v": 1})");
    const Value second = document(R"({"v": [2]})");
    ASSERT_EQ(describe(save_file(DriverKind::Json, path("settings.json"), first)), "ok");
    EXPECT_EQ(file_contents(path("real/target.json")), json_text(first));
    ASSERT_EQ(describe(save_file(DriverKind::Json, path("sub/chain.json"), second)), "ok");
    EXPECT_EQ(file_contents(path("real/target.json")), json_text(second));
    ASSERT_EQ(describe(save_file(DriverKind::Json, path("dangling.json"), first)), "ok");
    EXPECT_EQ(file_contents(path("real/new.json")), json_text(first));

    for (const char* link : {"settings.json", "sub/chain.json", "dangling.json"}) {
        struct stat st {};
        ASSERT_EQ(::lstat(path(link).c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode)) << link;
    }
    EXPECT_EQ(entries(path("real")), (std::vector<std::string>{"new.json", "target.json"}));
}

TEST_F(file_io, saving_keeps_permission_bits_and_gives_new_files_the_umask) {
    write_file(path("private.json"), "{}", 0600);
    write_file(path("shared.json"), "{}", 0664);
    const Value doc = document(R"({"k": "v"})");
    ASSERT_EQ(describe(save_file(DriverKind::Json, path("private.json"), doc)), "ok");
    ASSERT_EQ(describe(save_file(DriverKind::Json, path("shared.json"), doc)), "ok");
    EXPECT_EQ(mode_of(path("private.json")), 0600u);
    EXPECT_EQ(mode_of(path("shared.json")), 0664u);
    ::umask(027);
    ASSERT_EQ(describe(save_file(DriverKind::Json, path("new.json"), doc)), "ok");
    EXPECT_EQ(mode_of(path("new.json")), 0640u);
    EXPECT_EQ(file_contents(path("private.json")), json_text(doc));
}

TEST_F(file_io, saving_keeps_the_owner_of_a_file_we_may_chown) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the file another owner";
    write_file(path("theirs.json"), "{}", 0640);
    ASSERT_EQ(::chown(path("theirs.json").c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(describe(save_file(DriverKind::Json, path("theirs.json"), document("[1]"))), "ok");
    struct stat st {};
    ASSERT_EQ(::stat(path("theirs.json").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, kNobody);
    EXPECT_EQ(st.st_gid, kNobody);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(file_io, saving_without_permission) {
    // ro: a directory nobody may add to; rw: one anybody may; sticky: one where only the
    // owner of a file may replace it.
    ::mkdir(path("ro").c_str(), 0555);
    ::mkdir(path("rw").c_str(), 0777);
    ::mkdir(path("sticky").c_str(), 0777);
    ::chmod(path("rw").c_str(), 0777);
    ::chmod(path("sticky").c_str(), 01777);
    write_file(path("sticky/shared.json"), "old", 0666);
    write_file(path("ro/writable.json"), "old", 0666);
    write_file(path("ro/readonly.json"), "old", 0444);
    write_file(path("rw/readonly.json"), "old", 0444);
    ::chmod(path("ro").c_str(), 0555);
    const Value doc = document(R"({"new": true})");
    auto save_as_child = [&](const std::string& relative) {
        return in_child([&] { return describe(save_file(DriverKind::Json, path(relative), doc)); });
    };
    // The file cannot be replaced, but it can be rewritten in place.
    EXPECT_EQ(save_as_child("ro/writable.json"), "ok");
    EXPECT_EQ(file_contents(path("ro/writable.json")), json_text(doc));
    EXPECT_EQ(save_as_child("sticky/shared.json"), "ok");
    EXPECT_EQ(file_contents(path("sticky/shared.json")), json_text(doc));
    EXPECT_EQ(entries(path("sticky")), std::vector<std::string>{"shared.json"});
    // Neither way is allowed: the error, and the old file unchanged.
    EXPECT_EQ(save_as_child("ro/readonly.json"), io_text(EACCES));
    EXPECT_EQ(save_as_child("rw/readonly.json"), io_text(EACCES));
    EXPECT_EQ(save_as_child("ro/missing.json"), io_text(EACCES));
    EXPECT_EQ(save_as_child("ro/sub/settings.json"), io_text(EACCES));
    EXPECT_EQ(file_contents(path("ro/readonly.json")), "old");
    EXPECT_EQ(file_contents(path("rw/readonly.json")), "old");
    EXPECT_EQ(entries(path("ro")), (std::vector<std::string>{"readonly.json", "writable.json"}));
    EXPECT_EQ(entries(path("rw")), std::vector<std::string>{"readonly.json"});
    ::chmod(path("ro").c_str(), 0755);  // let the fixture clean up when not root
}

TEST_F(file_io, save_failing_part_way_leaves_the_old_file_and_no_temporary) {
    const std::string old_bytes = "{\n  \"old\": \"contents\"\n}";
    write_file(path("settings.json"), old_bytes, 0644);
    Value doc = Value::object();
    doc.set("big", Value::string(std::string(100000, 'x')));
    EXPECT_EQ(save_with_4k_file_size_limit(path("settings.json"), doc), io_text(EFBIG));
    EXPECT_EQ(file_contents(path("settings.json")), old_bytes);
    EXPECT_EQ(entries(dir_), std::vector<std::string>{"settings.json"});
}

ino_t inode_of(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_ino;
}

TEST_F(file_io, saving_rewrites_in_place_what_a_new_file_would_change) {
    const Value doc = document(R"({"new": [1, 2]})");
    // Hard links: every name sees the new bytes.
    write_file(path("settings.json"), "{}", 0644);
    ASSERT_EQ(::link(path("settings.json").c_str(), path("other-name.json").c_str()), 0);
    const ino_t inode = inode_of(path("settings.json"));
    ASSERT_EQ(describe(save_file(DriverKind::Json, path("settings.json"), doc)), "ok");
    EXPECT_EQ(file_contents(path("other-name.json")), json_text(doc));
    EXPECT_EQ(inode_of(path("settings.json")), inode);

    // A symbolic link into a directory that does not exist yet.
    ASSERT_EQ(::symlink("later/deeper/target.json", path("link.json").c_str()), 0);
    ASSERT_EQ(describe(save_file(DriverKind::Json, path("link.json"), doc)), "ok");
    EXPECT_EQ(file_contents(path("later/deeper/target.json")), json_text(doc));

    // A group-writable file of another user keeps its owner.
    if (::geteuid() == 0) {
        ::mkdir(path("shared").c_str(), 0777);
        ::chmod(path("shared").c_str(), 0777);
        write_file(path("shared/group.json"), "{}", 0666);
        ASSERT_EQ(::chown(path("shared/group.json").c_str(), 0, kNobody), 0);
        EXPECT_EQ(in_child([&] { return describe(save_file(DriverKind::Json, path("shared/group.json"), doc)); }),
                  "ok");
        struct stat st {};
        ASSERT_EQ(::stat(path("shared/group.json").c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 0u);
        EXPECT_EQ(file_contents(path("shared/group.json")), json_text(doc));
        EXPECT_EQ(entries(path("shared")), std::vector<std::string>{"group.json"});
    }
    for (const auto& name : entries(dir_)) EXPECT_NE(name.front(), '.') << "left behind: " << name;
}

// The rename fails (the file is a mount point) after the text went into the temporary file;
// the rewrite in place makes it again, whole: a short text and one of several pieces.
TEST_F(file_io, saving_a_bind_mounted_file_rewrites_it) {
    write_file(path("outside.json"), "{}", 0644);
    write_file(path("mounted.json"), "", 0644);
    if (::geteuid() != 0 ||
        ::mount(path("outside.json").c_str(), path("mounted.json").c_str(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "cannot bind-mount here";
    Value big = document(R"({"mounted": "big"})");
    big.set("pad", Value::string(std::string(std::size_t{5} << 19, 'p')));
    Value small = document(R"({"mounted": true})");
    std::vector<std::string> results;
    for (const Value* doc : {&small, &big}) {
        results.push_back(describe(save_file(DriverKind::Json, path("mounted.json"), *doc)));
        results.push_back(file_contents(path("outside.json")) == json_text(*doc) ? "same" : "differs");
    }
    ::umount(path("mounted.json").c_str());
    EXPECT_EQ(results, (std::vector<std::string>{"ok", "same", "ok", "same"}));
    EXPECT_EQ(entries(dir_), (std::vector<std::string>{"mounted.json", "outside.json"}));
}

// A document too deep to load back, found after pieces of its text went into the temporary
// file: the writer's error, the old file as it was, and no temporary file.
TEST_F(file_io, a_writer_failing_after_pieces_were_written_leaves_the_old_file) {
    const std::string old_bytes = "{\"old\": 1}";
    for (DriverKind kind : {DriverKind::Json, DriverKind::Json5}) {
        write_file(path("settings"), old_bytes, 0644);
        Value doc = Value::object();
        doc.set("a", Value::string(std::string(std::size_t{3} << 20, 'x')));
        Value deep = Value::array();
        for (int i = 0; i < 200; ++i) {
            Value outer = Value::array();
            outer.as_array().push_back(std::move(deep));
            deep = std::move(outer);
        }
        doc.set("b", std::move(deep));
        const std::string result = describe(save_file(kind, path("settings"), doc));
        EXPECT_NE(result.find("nested more than"), std::string::npos) << result;
        EXPECT_EQ(file_contents(path("settings")), old_bytes);
        EXPECT_EQ(entries(dir_), std::vector<std::string>{"settings"});
    }
}

TEST_F(file_io, in_place_rewrite_failing_part_way_restores_the_old_bytes) {
    const std::string old_bytes = "{\n  \"old\": \"contents\"\n}";
    write_file(path("settings.json"), old_bytes, 0644);
    ASSERT_EQ(::link(path("settings.json").c_str(), path("second.json").c_str()), 0);
    Value doc = Value::object();
    doc.set("big", Value::string(std::string(100000, 'x')));
    EXPECT_EQ(save_with_4k_file_size_limit(path("settings.json"), doc), io_text(EFBIG));
    EXPECT_EQ(file_contents(path("second.json")), old_bytes);
    EXPECT_EQ(entries(dir_), (std::vector<std::string>{"second.json", "settings.json"}));
}

TEST_F(file_io, saving_removes_only_temporaries_of_dead_processes_of_this_machine) {
    const std::string target = path("settings.json");
    write_file(target, "{}", 0644);
    const std::string mine = side_file_prefix(target);
    std::string other_host = mine;
    other_host[other_host.size() - 2] = other_host[other_host.size() - 2] == '0' ? '1' : '0';
    const std::string dead = mine + "999999999-3.tmp";  // beyond any pid_max
    const std::string live = mine + std::to_string(::getppid()) + "-0.tmp";
    const std::string kept[] = {live, other_host + "999999999-0.tmp", mine + "999999999-1.tmp~",
                                ".other.json" + mine.substr(mine.find(".zel-")) + "999999999-0.tmp"};
    write_file(path(dead), "partial", 0600);
    for (const auto& name : kept) write_file(path(name), "x", 0600);
    ASSERT_EQ(describe(save_file(DriverKind::Json, target, document("[]"))), "ok");
    const auto left = entries(dir_);
    EXPECT_EQ(std::count(left.begin(), left.end(), dead), 0);
    for (const auto& name : kept) EXPECT_EQ(std::count(left.begin(), left.end(), name), 1) << name;
}

TEST_F(file_io, concurrent_saves_each_leave_a_complete_file) {
    const std::string target = path("settings.json");
    Value docs[2];
    for (int i = 0; i < 2; ++i) {
        docs[i] = Value::object();
        docs[i].set("writer", Value::uinteger(static_cast<std::uint64_t>(i)));
        docs[i].set("pad", Value::string(std::string(20000 * (i + 1), static_cast<char>('a' + i))));
    }
    ASSERT_EQ(describe(save_file(DriverKind::Json, target, docs[0])), "ok");
    std::atomic<bool> writing{true};
    std::atomic<int> failures{0}, torn_reads{0};
    std::thread writers[2];
    for (int i = 0; i < 2; ++i)
        writers[i] = std::thread([&, i] {
            for (int n = 0; n < 40; ++n)
                if (!save_file(DriverKind::Json, target, docs[i]).ok()) ++failures;
        });
    std::thread reader([&] {
        while (writing) {
            Result<Value> r = load_file(DriverKind::Json, target);
            if (!r.ok() || !(r.value() == docs[0] || r.value() == docs[1])) ++torn_reads;
        }
    });
    for (auto& w : writers) w.join();
    writing = false;
    reader.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(torn_reads, 0);
    EXPECT_EQ(entries(dir_), std::vector<std::string>{"settings.json"});
}

// ---- dispatch on the driver kind ----

struct CopySnapshot : CustomSnapshot {
    Value copy;
};

class RecordingDriver : public CustomDriver {
public:
    Result<Value> read(const std::string& path) override {
        paths.push_back(path);
        return Value::string("from the driver");
    }
    Result<std::unique_ptr<CustomSnapshot>> snapshot(const Value& document) override {
        auto taken = std::make_unique<CopySnapshot>();
        taken->copy = document.deep_copy();
        return std::unique_ptr<CustomSnapshot>(std::move(taken));
    }
    Status write(const std::string& path, CustomSnapshot& snapshot) override {
        paths.push_back(path);
        written = std::move(static_cast<CopySnapshot&>(snapshot).copy);
        return io_error(EPIPE);
    }
    std::vector<std::string> paths;
    Value written;
};

TEST(drivers, names_select_each_kind_after_lower_casing) {
    const std::pair<const char*, DriverKind> names[] = {
        {"json", DriverKind::Json},   {"json5", DriverKind::Json5},    {"toml", DriverKind::Toml},
        {"yaml", DriverKind::Yaml},   {"memory", DriverKind::Memory},
    };
    for (const auto& [name, expected] : names) {
        DriverKind kind = DriverKind::Custom;
        EXPECT_TRUE(driver_kind_from_name(name, kind)) << name;
        EXPECT_EQ(kind, expected) << name;
    }
    EXPECT_EQ(lowercase_name("JSON5"), "json5");
    EXPECT_EQ(lowercase_name("T\xc3\x96ML"), "t\xc3\xb6ml");
    EXPECT_EQ(lowercase_name("\xc4\xb0"), "i\xcc\x87");  // the one two-code-point mapping
    DriverKind kind = DriverKind::Custom;
    using namespace std::string_view_literals;
    for (std::string_view other : {""sv, "JSON"sv, " json"sv, "yml"sv, "custom"sv, "json\0"sv})
        EXPECT_FALSE(driver_kind_from_name(other, kind)) << other;
}

TEST_F(file_io, drivers_dispatch_on_the_kind) {
    Driver memory{DriverKind::Memory, nullptr};
    EXPECT_EQ(load(memory, "/proc/no/such/place").value(), Value::object());
    EXPECT_TRUE(save(memory, path("memory/settings.json"), document("[1]")).ok());

    // A custom driver reads through load and writes through Engine::sync, from a snapshot.
    Driver custom{DriverKind::Custom, std::make_unique<RecordingDriver>()};
    auto* recorder = static_cast<RecordingDriver*>(custom.custom.get());
    EXPECT_EQ(load(custom, "any/path").value(), Value::string("from the driver"));
    EXPECT_EQ(save(custom, "any/path", Value::object()).error().kind, ErrorKind::Internal);
    Engine engine("any/path", document(R"({"a": 1})"), std::move(custom));
    EXPECT_EQ(describe(engine.sync()), io_text(EPIPE));
    EXPECT_EQ(recorder->paths, (std::vector<std::string>{"any/path", "any/path"}));
    EXPECT_EQ(recorder->written, document(R"({"a": 1})"));

    Driver json{DriverKind::Json, nullptr};
    ASSERT_TRUE(save(json, path("file/settings.json"), document(R"({"x": [true]})")).ok());
    EXPECT_EQ(load(json, path("file/settings.json")).value(), document(R"({"x": [true]})"));
    EXPECT_EQ(entries(dir_), std::vector<std::string>{"file"});  // Memory wrote nothing
}

}  // namespace
}  // namespace zel
