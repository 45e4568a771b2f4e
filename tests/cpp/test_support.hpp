// Helpers the C++ tests share: the text of a tree and the outcome of a read, repeated and
// nested text, reading through a temporary file, a temporary directory for each test, work
// run on a small stack or in a forked child, and names for parametrized cases.
#pragma once

#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <cstddef>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>

#include "value/error.hpp"
#include "value/value.hpp"

namespace zel::test {

// ---- trees and reader results ----

// The JSON writer's text of a tree: tells integers from floats and shows the sign of a zero.
std::string json_text(const Value& v);

// The message of a failed read; "(parsed)" when the read succeeded.
std::string error_of(const Result<Value>& r);

// The JSON text of what was read, or the message the read failed with.
std::string outcome(const Result<Value>& r);

// What a successful result held, for a failure message.
std::string shown(const Value& v);
inline std::string shown(std::string_view text) { return std::string(text); }

// Whether `r` is an error of `kind` with exactly `message`.
template <class T>
::testing::AssertionResult fails_with(const Result<T>& r, ErrorKind kind, const std::string& message) {
    if (r.ok()) return ::testing::AssertionFailure() << "succeeded with " << shown(r.value());
    if (r.error().kind != kind)
        return ::testing::AssertionFailure() << "failed with an error of kind " << static_cast<int>(r.error().kind)
                                             << " instead of " << static_cast<int>(kind) << ": "
                                             << r.error().message;
    if (r.error().message != message)
        return ::testing::AssertionFailure() << "failed with\n  " << r.error().message << "\ninstead of\n  "
                                             << message;
    return ::testing::AssertionSuccess();
}

// The tree `read` makes of `text`; a failure is reported (with the text) and gives null.
Value parsed_with(Result<Value> (*read)(std::string_view), std::string_view text);

// The tree of a JSON text, through parsed_with.
Value parsed_json(std::string_view text);

// ---- text ----

// `piece` `times` times over.
std::string repeat(std::string_view piece, std::size_t times);

// `open` `depth` times, `inner`, then `close` `depth` times.
std::string nested(std::size_t depth, std::string_view open, std::string_view inner,
                   std::string_view close);

// ---- files ----

// All the bytes of the file at `path` ("" when it cannot be read).
std::string file_contents(const std::string& path);

// A descriptor of an unlinked temporary file holding `text`, positioned at its start; -1 when
// that could not be made.
int temp_file_holding(std::string_view text);

// What `read` gives for a descriptor of a temporary file holding `text`.
template <class Read>
auto read_through_temp_file(std::string_view text, Read read) -> decltype(read(0)) {
    const int fd = temp_file_holding(text);
    if (fd < 0) return make_error(ErrorKind::Internal, "could not store the text in a temporary file");
    auto result = read(fd);
    ::close(fd);
    return result;
}

// A fresh directory below /tmp for each test, removed with all it holds afterwards.
class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::string path(const std::string& relative) const { return dir_ + "/" + relative; }

    std::string dir_;
};

// ---- threads and processes ----

// Runs `body` on a thread of its own whose stack is `stack_bytes`, and waits for it.
template <class F>
void run_on_small_stack(F body, std::size_t stack_bytes = 256 * 1024) {
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, stack_bytes), 0);
    pthread_t thread;
    auto trampoline = [](void* argument) -> void* {
        (*static_cast<F*>(argument))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attributes, trampoline, &body), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
}

// What a forked child wrote and how it ended.
struct ChildOutcome {
    std::string output;
    int status = -1;  // as waitpid reports it; -1 when no child could be started

    bool exited() const;
    int exit_code() const;  // meaningful when exited()
    // "exit N", "signal N", or why no child ran.
    std::string how_it_ended() const;
};

// Runs `body` in a forked child. The child writes what it has to say to the descriptor it is
// given and ends with the code `body` returns; the parent reads all it wrote and waits for it.
ChildOutcome run_in_child(const std::function<int(int out)>& body);

// ---- parametrized cases ----

// Base of a parametrized case that carries a name: gtest prints the case as its name, and
// CaseName makes it the instantiated test's name. Cases stay aggregates:
// `struct Load : NamedCase<Load> { std::string text; };` is written Load{"name", "text"}.
template <class Case>
struct NamedCase {
    const char* name;
    friend void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }
};

// Base of a parametrized case known by its text: gtest prints the text quoted and escaped, on
// one line, so that each case keeps a readable name of its own.
template <class Case>
struct TextCase {
    std::string text;
    friend void PrintTo(const Case& c, std::ostream* os) { *os << ::testing::PrintToString(c.text); }
};

struct CaseName {
    template <class P>
    std::string operator()(const ::testing::TestParamInfo<P>& info) const {
        return info.param.name;
    }
};

}  // namespace zel::test
