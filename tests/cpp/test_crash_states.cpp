// Power-cut check of every save path: the file-system operations a save performs are
// recorded, then replayed on a model of a disk after a power cut at every point of the
// sequence. Data not yet flushed by fsync may be lost or partly written; a new, renamed or
// removed directory entry is durable only once its directory is flushed, and the entries of
// one directory reach the disk in order. In every state the disk may be in, the settings file
// must read as the old document or the new one (missing only if there was none), and once the
// save has returned, as the new one. Each fsync is then dropped from the sequence in turn, and
// the check must find a state that breaks this.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "drivers/drivers.hpp"
#include "drivers/file_io.hpp"
#include "formats/json/reader.hpp"
#include "formats/json/writer.hpp"
#include "test_support.hpp"

namespace zel {
namespace {

using namespace test;

struct Step {
    FsStep::Op op;
    std::string path, path2, data;
    std::uint64_t offset;
};

std::string strip_slash(std::string p) {
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

void record(const FsStep& step, void* context) {
    static_cast<std::vector<Step>*>(context)->push_back(
        Step{step.op, strip_slash(step.path), strip_slash(step.path2), std::string(step.data),
             step.offset});
}

bool is_sync(const Step& s) {
    return s.op == FsStep::Op::Sync || s.op == FsStep::Op::SyncDirectory;
}

// The disk: directory entries (path -> inode; directories map to -1) and each inode's bytes,
// as the running system sees them and as they are durable.
struct Disk {
    std::map<std::string, int> entries;
    std::map<int, std::string> current, durable;
    int next_inode = 1;
};

// A namespace change, kept with the directory whose flush makes it durable.
struct EntryChange {
    std::size_t step;  // index in the sequence
    std::string directory;
};

void apply_entry_change(const Step& s, std::map<std::string, int>& entries,
                        const std::map<std::size_t, int>& created_inode, std::size_t index) {
    switch (s.op) {
        case FsStep::Op::Create: entries[s.path] = created_inode.at(index); break;
        case FsStep::Op::MakeDirectory: entries[s.path] = -1; break;
        case FsStep::Op::Unlink: entries.erase(s.path); break;
        case FsStep::Op::Rename: {
            auto it = entries.find(s.path);
            if (it == entries.end()) break;  // its creation did not reach the disk
            const int inode = it->second;
            entries.erase(it);
            entries[s.path2] = inode;
            break;
        }
        default: break;
    }
}

bool is_entry_change(FsStep::Op op) {
    return op == FsStep::Op::Create || op == FsStep::Op::MakeDirectory ||
           op == FsStep::Op::Unlink || op == FsStep::Op::Rename;
}

// Every file's reachable path has all its ancestor directories present.
bool reachable(const std::map<std::string, int>& entries, const std::string& path,
               const std::string& root) {
    for (std::string dir = parent_directory(path); dir.size() > root.size();
         dir = parent_directory(dir))
        if (!entries.count(dir)) return false;
    return true;
}

class CrashModel {
public:
    CrashModel(std::string root, std::map<std::string, int> initial_entries,
               std::map<int, std::string> initial_bytes, std::string settings)
        : root_(std::move(root)),
          initial_entries_(std::move(initial_entries)),
          initial_bytes_(std::move(initial_bytes)),
          settings_(std::move(settings)) {
        struct stat st {};
        if (::stat(settings_.c_str(), &st) == 0) {
            real_device_ = static_cast<std::uint64_t>(st.st_dev);
            real_inode_ = static_cast<std::uint64_t>(st.st_ino);
        }
        auto it = initial_entries_.find(settings_);
        if (it != initial_entries_.end()) initial_inode_ = it->second;
    }

    // What a reader of the settings file finds on a disk in state `entries` + `bytes`: the
    // journal's old document while a journal that names the file (the same inode as before
    // the save, which is the real file's) applies to its bytes, else the file; nullopt when
    // there is no file.
    std::optional<std::string> read(const std::map<std::string, int>& entries,
                                    const std::map<int, std::string>& bytes) const {
        auto file = entries.find(settings_);
        if (file == entries.end() || file->second < 0 || !reachable(entries, settings_, root_))
            return std::nullopt;
        const std::string& text = bytes.at(file->second);
        auto journal = entries.find(journal_path(settings_));
        if (journal != entries.end() && journal->second >= 0 && file->second == initial_inode_) {
            Journal j;
            const std::string& stored = bytes.at(journal->second);
            if (decode_journal(stored, j) && j.device == real_device_ && j.inode == real_inode_ &&
                j.name == std::filesystem::path(settings_).filename().string() &&
                journal_applies(j, text))
                return std::string(j.before);
        }
        return text;
    }

    // Calls visit(text or nullopt, complete) for every state the disk may be in after a power
    // cut following the first `k` steps of `steps`.
    void states(const std::vector<Step>& steps, std::size_t k,
                const std::function<void(const std::optional<std::string>&)>& visit) const {
        // Replay the running system, noting which steps change entries and which inodes hold
        // unflushed bytes.
        std::map<std::string, int> live = initial_entries_;
        std::map<int, std::string> current = initial_bytes_, durable = initial_bytes_;
        std::set<int> dirty;  // written or truncated since last flushed
        std::map<std::size_t, int> created_inode;
        int next_inode = 1000;
        std::vector<EntryChange> changes;
        std::map<std::string, std::size_t> flushed_upto;  // directory -> steps before its last flush
        for (std::size_t i = 0; i < k; ++i) {
            const Step& s = steps[i];
            if (s.op == FsStep::Op::Create) {
                created_inode[i] = next_inode;
                current[next_inode] = "";
                durable[next_inode] = "";
                ++next_inode;
            }
            if (is_entry_change(s.op)) {
                changes.push_back(EntryChange{i, parent_directory(s.path)});
                apply_entry_change(s, live, created_inode, i);
            }
            auto inode_of = [&](const std::string& path) {
                auto it = live.find(path);
                return it == live.end() ? -2 : it->second;
            };
            switch (s.op) {
                case FsStep::Op::Write: {
                    std::string& bytes = current[inode_of(s.path)];
                    if (bytes.size() < s.offset + s.data.size()) bytes.resize(s.offset + s.data.size());
                    bytes.replace(s.offset, s.data.size(), s.data);
                    dirty.insert(inode_of(s.path));
                    break;
                }
                case FsStep::Op::Truncate:
                    current[inode_of(s.path)].clear();
                    dirty.insert(inode_of(s.path));
                    break;
                case FsStep::Op::Sync: {
                    const int inode = inode_of(s.path);
                    durable[inode] = current[inode];
                    dirty.erase(inode);
                    break;
                }
                case FsStep::Op::SyncDirectory: flushed_upto[s.path] = i; break;
                default: break;
            }
        }
        // Entry changes not yet flushed, per directory, in order: any prefix of each may have
        // reached the disk.
        std::map<std::string, std::vector<std::size_t>> pending;
        std::set<std::size_t> durable_changes;
        for (const EntryChange& c : changes) {
            auto f = flushed_upto.find(c.directory);
            if (f != flushed_upto.end() && c.step < f->second)
                durable_changes.insert(c.step);
            else
                pending[c.directory].push_back(c.step);
        }
        std::vector<std::vector<std::size_t>*> lists;
        for (auto& [dir, list] : pending) lists.push_back(&list);
        std::vector<std::size_t> cut(lists.size(), 0);
        for (;;) {
            std::set<std::size_t> applied = durable_changes;
            for (std::size_t d = 0; d < lists.size(); ++d)
                for (std::size_t j = 0; j < cut[d]; ++j) applied.insert((*lists[d])[j]);
            std::map<std::string, int> entries = initial_entries_;
            for (const EntryChange& c : changes)
                if (applied.count(c.step)) apply_entry_change(steps[c.step], entries, created_inode, c.step);
            visit_contents(entries, current, durable, dirty, visit);
            std::size_t d = 0;
            while (d < cut.size() && cut[d] == lists[d]->size()) cut[d++] = 0;
            if (d == cut.size()) break;
            ++cut[d];
        }
    }

private:
    // Unflushed bytes may be the flushed ones, the new ones, nothing, or a part of the new.
    void visit_contents(const std::map<std::string, int>& entries,
                        const std::map<int, std::string>& current,
                        const std::map<int, std::string>& durable, const std::set<int>& dirty,
                        const std::function<void(const std::optional<std::string>&)>& visit) const {
        const std::vector<int> unsure(dirty.begin(), dirty.end());
        std::vector<int> choice(unsure.size(), 0);
        for (;;) {
            std::map<int, std::string> bytes = durable;
            for (std::size_t u = 0; u < unsure.size(); ++u) {
                const std::string& now = current.at(unsure[u]);
                switch (choice[u]) {
                    case 0: break;
                    case 1: bytes[unsure[u]] = now; break;
                    case 2: bytes[unsure[u]] = ""; break;
                    case 3: bytes[unsure[u]] = now.substr(0, now.size() / 2); break;
                }
            }
            visit(read(entries, bytes));
            std::size_t u = 0;
            while (u < choice.size() && choice[u] == 3) choice[u++] = 0;
            if (u == choice.size()) break;
            ++choice[u];
        }
    }

    std::string root_;
    std::map<std::string, int> initial_entries_;
    std::map<int, std::string> initial_bytes_;
    std::string settings_;
    std::uint64_t real_device_ = 0, real_inode_ = 0;
    int initial_inode_ = -3;
};

std::string json_of(const char* text) { return json_text(parse_json(text).value()); }

class crash_states : public TempDirTest {
protected:
    void TearDown() override {
        set_fs_observer(nullptr, nullptr);
        TempDirTest::TearDown();
    }

    // Saves `new_text`'s document to `settings` and checks the recorded sequence; returns it.
    // With a file size limit, the save runs in a child whose writes beyond it fail: then the
    // save must fail and the file read as the old document in the end.
    std::vector<Step> save_and_check(const std::string& settings, const char* new_text,
                                     rlim_t size_limit = 0, bool limit_after_rename = false) {
        // The disk before: every entry below the root, durable.
        std::map<std::string, int> entries;
        std::map<int, std::string> bytes;
        std::map<ino_t, int> inodes;  // hard links share one
        for (const auto& e : std::filesystem::recursive_directory_iterator(dir_)) {
            struct stat st {};
            ::lstat(e.path().c_str(), &st);
            if (S_ISDIR(st.st_mode)) {
                entries[e.path()] = -1;
                continue;
            }
            const int inode = inodes.emplace(st.st_ino, static_cast<int>(inodes.size()) + 1).first->second;
            entries[e.path()] = inode;
            bytes[inode] = file_contents(e.path());
        }
        CrashModel model(dir_, entries, bytes, settings);
        const std::optional<std::string> old = model.read(entries, bytes);

        std::vector<Step> steps;
        const Value document = parse_json(new_text).value();
        if (size_limit == 0) {
            set_fs_observer(record, &steps);
            EXPECT_TRUE(save_file(DriverKind::Json, settings, document).ok());
            set_fs_observer(nullptr, nullptr);
        } else {
            steps = save_in_child(settings, document, size_limit, limit_after_rename);
        }
        const std::string fresh = size_limit == 0 ? json_of(new_text) : old.value_or("");

        std::string trace;
        for (const Step& s : steps) trace += describe(s) + "\n";
        EXPECT_EQ(violations(model, steps, old, fresh), "") << trace;
        // Each fsync of a successful save is needed: without it some state breaks the rule.
        // (A failed save only has to leave the old document, which some of them already do.)
        for (std::size_t i = 0; i < steps.size() && size_limit == 0; ++i) {
            if (!is_sync(steps[i])) continue;
            std::vector<Step> mutant = steps;
            mutant.erase(mutant.begin() + static_cast<std::ptrdiff_t>(i));
            EXPECT_NE(violations(model, mutant, old, fresh), "")
                << "dropping step " << i << " (" << describe(steps[i]) << ") went unnoticed";
        }
        return steps;
    }

    // The child sends each step as five length-prefixed fields, then its result.
    static std::vector<Step> save_in_child(const std::string& settings, const Value& document,
                                           rlim_t size_limit, bool limit_after_rename) {
        const ChildOutcome child = run_in_child([&](int out_fd) {
            ::signal(SIGXFSZ, SIG_IGN);
            // The limit applies from the start, or once a file was renamed into place (a
            // rewrite's journal published, so that the rewrite itself fails).
            static rlimit limit;
            limit = rlimit{size_limit, size_limit};
            if (!limit_after_rename) ::setrlimit(RLIMIT_FSIZE, &limit);
            static int out;
            out = out_fd;
            set_fs_observer(
                [](const FsStep& step, void* after_rename) {
                    if (after_rename && step.op == FsStep::Op::Rename)
                        ::setrlimit(RLIMIT_FSIZE, &limit);
                    const std::string fields[] = {std::to_string(static_cast<int>(step.op)),
                                                  strip_slash(step.path), strip_slash(step.path2),
                                                  std::string(step.data),
                                                  std::to_string(step.offset)};
                    for (const std::string& f : fields) {
                        const std::uint64_t n = f.size();
                        (void)!::write(out, &n, sizeof n);
                        (void)!::write(out, f.data(), f.size());
                    }
                },
                limit_after_rename ? &limit : nullptr);
            return save_file(DriverKind::Json, settings, document).ok() ? 0 : 3;
        });
        EXPECT_TRUE(child.exited() && child.exit_code() == 3)
            << "the save did not fail (" << child.how_it_ended() << ")";
        const std::string& all = child.output;
        std::vector<Step> steps;
        std::size_t at = 0;
        auto field = [&] {
            std::uint64_t n = 0;
            std::memcpy(&n, all.data() + at, sizeof n);
            at += sizeof n;
            std::string f = all.substr(at, n);
            at += n;
            return f;
        };
        while (at < all.size()) {
            Step s{};
            s.op = static_cast<FsStep::Op>(std::stoi(field()));
            s.path = field();
            s.path2 = field();
            s.data = field();
            s.offset = std::stoull(field());
            steps.push_back(std::move(s));
        }
        return steps;
    }

    static std::string describe(const Step& s) {
        static const char* names[] = {"create",   "write",  "truncate", "fsync",
                                      "fsync-dir", "rename", "unlink",   "mkdir"};
        return std::string(names[static_cast<int>(s.op)]) + " " + s.path +
               (s.path2.empty() ? "" : " -> " + s.path2);
    }

    static std::string violations(const CrashModel& model, const std::vector<Step>& steps,
                                  const std::optional<std::string>& old, const std::string& fresh) {
        std::string found;
        for (std::size_t k = 0; k <= steps.size() && found.empty(); ++k) {
            model.states(steps, k, [&](const std::optional<std::string>& text) {
                if (!found.empty()) return;
                const bool done = k == steps.size();
                const bool ok = done ? text == fresh : (text == fresh || text == old);
                if (!ok)
                    found = "after " + std::to_string(k) + " steps the file reads as " +
                            (text ? "'" + text->substr(0, 40) + "'" : std::string("nothing"));
            });
        }
        return found;
    }
};

TEST_F(crash_states, a_new_file_in_new_directories) {
    auto steps = save_and_check(path("a/b/settings.json"), R"({"v": 1})");
    EXPECT_EQ(steps.front().op, FsStep::Op::MakeDirectory);
}

TEST_F(crash_states, an_atomic_replacement) {
    std::ofstream(path("settings.json")) << json_of(R"({"v": "old"})");
    auto steps = save_and_check(path("settings.json"), R"({"v": "new", "w": [1, 2, 3]})");
    EXPECT_EQ(steps.back().op, FsStep::Op::SyncDirectory);
}

TEST_F(crash_states, an_in_place_rewrite_of_a_hard_linked_file) {
    std::ofstream(path("settings.json")) << json_of(R"({"v": "old", "pad": "xxxxxxxxxxxxxxxx"})");
    ASSERT_EQ(::link(path("settings.json").c_str(), path("other.json").c_str()), 0);
    auto steps = save_and_check(path("settings.json"), R"({"v": "new"})");
    bool truncated = false;
    for (const Step& s : steps) truncated |= s.op == FsStep::Op::Truncate;
    EXPECT_TRUE(truncated);
}

TEST_F(crash_states, a_failure_part_way_leaves_the_old_document) {
    const std::string big = std::string(R"({"v": ")") + std::string(20000, 'n') + R"("})";
    std::ofstream(path("settings.json")) << json_of(R"({"v": "old"})");
    save_and_check(path("settings.json"), big.c_str(), 4096);
    ASSERT_EQ(::link(path("settings.json").c_str(), path("other.json").c_str()), 0);
    // No room for the rewrite's journal: the file is not touched.
    auto steps = save_and_check(path("settings.json"), big.c_str(), 4096);
    for (const Step& s : steps) EXPECT_NE(s.path, path("settings.json")) << describe(s);
    // The journal is published, then the rewrite fails: the old bytes are written back.
    steps = save_and_check(path("settings.json"), big.c_str(), 4096, true);
    bool restored = false;
    for (const Step& s : steps) restored |= s.op == FsStep::Op::Write && s.path == path("settings.json");
    EXPECT_TRUE(restored);
    EXPECT_FALSE(std::filesystem::exists(journal_path(path("settings.json"))));
}

// The journal an interrupted rewrite of `settings` would have left: the file cut short after
// `written` bytes of `after`, the journal holding `before`.
void leave_interrupted_rewrite(const std::string& settings, const std::string& before,
                               const std::string& after, std::size_t written) {
    std::ofstream(settings, std::ios::binary | std::ios::trunc) << after.substr(0, written);
    struct stat st {};
    ASSERT_EQ(::stat(settings.c_str(), &st), 0);
    const std::string name = std::filesystem::path(settings).filename().string();
    Journal j;
    j.device = static_cast<std::uint64_t>(st.st_dev);
    j.inode = static_cast<std::uint64_t>(st.st_ino);
    j.name = name;
    j.after = after;
    j.before = before;
    std::ofstream(journal_path(settings), std::ios::binary) << encode_journal(j);
}

TEST_F(crash_states, an_in_place_rewrite_after_an_interrupted_one) {
    // The file is cut short; the journal holds the document, and the next rewrite keeps it
    // as the old one until its own bytes are flushed.
    const std::string settings = path("settings.json");
    leave_interrupted_rewrite(settings, json_of(R"({"v": "old"})"), json_of(R"({"v": "half"})"), 5);
    ASSERT_EQ(::link(settings.c_str(), path("other.json").c_str()), 0);
    save_and_check(settings, R"({"w": "new"})");
    EXPECT_FALSE(std::filesystem::exists(journal_path(settings)));
}

TEST_F(crash_states, a_replacement_after_an_interrupted_rewrite) {
    // No other link any more: the file is replaced, and the journal, which names the file
    // replaced, goes after it.
    const std::string settings = path("settings.json");
    leave_interrupted_rewrite(settings, json_of(R"({"v": "old"})"), json_of(R"({"v": "half"})"), 5);
    save_and_check(settings, R"({"v": "new"})");
    EXPECT_FALSE(std::filesystem::exists(journal_path(settings)));
}

// A document whose text takes several of a save's 1 MiB pieces.
std::string document_of_pieces(std::size_t bytes) {
    std::string text = "{";
    for (std::size_t i = 0; text.size() < bytes; ++i)
        text += (i ? ",\"k" : "\"k") + std::to_string(i) + "\": \"" + std::string(100, 'a' + i % 26) + "\"";
    return text + "}";
}

TEST_F(crash_states, a_replacement_written_in_pieces) {
    const std::string old = json_of(R"({"v": "old"})");
    std::ofstream(path("settings.json")) << old;
    const std::string big = document_of_pieces(std::size_t{5} << 19);
    // Failing in the second piece, the save leaves the old document and no temporary file.
    save_and_check(path("settings.json"), big.c_str(), std::size_t{3} << 19);
    EXPECT_EQ(file_contents(path("settings.json")), old);
    const auto listing = std::filesystem::directory_iterator(dir_);
    EXPECT_EQ(std::distance(std::filesystem::begin(listing), std::filesystem::end(listing)), 1);

    auto steps = save_and_check(path("settings.json"), big.c_str());
    // The temporary file gets the text piece after piece, each where the one before ended.
    std::uint64_t next = 0;
    int writes = 0;
    for (const Step& s : steps) {
        if (s.op != FsStep::Op::Write) continue;
        EXPECT_EQ(s.offset, next);
        next = s.offset + s.data.size();
        ++writes;
    }
    EXPECT_GE(writes, 3);
    EXPECT_EQ(next, json_of(big.c_str()).size());
}

}  // namespace
}  // namespace zel
