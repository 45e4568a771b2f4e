#include "test_support.hpp"

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "formats/json/reader.hpp"
#include "formats/json/writer.hpp"

namespace zel::test {

std::string json_text(const Value& v) {
    std::string out;
    write_json(v, out);
    return out;
}

std::string shown(const Value& v) { return json_text(v); }

std::string error_of(const Result<Value>& r) { return r.ok() ? "(parsed)" : r.error().message; }

std::string outcome(const Result<Value>& r) { return r.ok() ? json_text(r.value()) : r.error().message; }

Value parsed_with(Result<Value> (*read)(std::string_view), std::string_view text) {
    Result<Value> r = read(text);
    EXPECT_TRUE(r.ok()) << error_of(r) << " for " << text;
    return r.ok() ? std::move(r).value() : Value();
}

Value parsed_json(std::string_view text) { return parsed_with(parse_json, text); }

std::string repeat(std::string_view piece, std::size_t times) {
    std::string out;
    out.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) out += piece;
    return out;
}

std::string nested(std::size_t depth, std::string_view open, std::string_view inner,
                   std::string_view close) {
    return repeat(open, depth).append(inner).append(repeat(close, depth));
}

std::string file_contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int temp_file_holding(std::string_view text) {
    char path[] = "/tmp/zel_text_XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) return -1;
    ::unlink(path);
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) {
            ::close(fd);
            return -1;
        }
        done += static_cast<std::size_t>(n);
    }
    ::lseek(fd, 0, SEEK_SET);
    return fd;
}

void TempDirTest::SetUp() {
    char name[] = "/tmp/zel_test_XXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    dir_ = name;
}

void TempDirTest::TearDown() {
    if (dir_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

bool ChildOutcome::exited() const { return status != -1 && WIFEXITED(status); }

int ChildOutcome::exit_code() const { return WEXITSTATUS(status); }

std::string ChildOutcome::how_it_ended() const {
    if (status == -1) return output;
    if (WIFEXITED(status)) return "exit " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
    return "status " + std::to_string(status);
}

ChildOutcome run_in_child(const std::function<int(int out)>& body) {
    int fds[2];
    if (::pipe(fds) != 0) return ChildOutcome{"pipe failed", -1};
    const pid_t pid = ::fork();
    if (pid == -1) {
        ::close(fds[0]);
        ::close(fds[1]);
        return ChildOutcome{"fork failed", -1};
    }
    if (pid == 0) {
        ::close(fds[0]);
        ::_exit(body(fds[1]));
    }
    ::close(fds[1]);
    ChildOutcome child;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        child.output.append(buffer, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int status = 0;
    if (::waitpid(pid, &status, 0) == pid)
        child.status = status;
    else
        child.output = "waitpid failed";
    return child;
}

}  // namespace zel::test
