// How the core reports failures: an error kind and its message, carried as a value in
// Result<T>. Only the Python boundary turns an Error into an exception class.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <variant>

namespace zel {

enum class ErrorKind {
    Io,             // input/output failure: os_code (errno) when the system gave one, else message
    OpenFailed,     // a settings file exists but cannot be opened; message is the full text
    Parse,          // a reader rejected the text; message is the full text ("JSON parse error: ...")
    KeyEmpty,       // write resolution with no group and no segment
    RootNotObject,  // writing into a document whose root is not an object
    PathNotObject,  // a non-object member where an object is needed on the path
    Writer,         // a format writer cannot express the document
    Conversion,     // a Python <-> Value conversion failed; message is its text
    Reentrant,      // the calling thread already holds the lock it would wait for
    Foreign,        // raised by code outside the core (a custom driver); passed on unchanged
    Internal,       // a violated internal expectation
};

// What a Foreign error carries; the boundary that raised it knows the concrete type.
struct ForeignPayload {
    virtual ~ForeignPayload() = default;
};

struct Error {
    Error(ErrorKind kind, int os_code = 0, std::string message = {},
          std::shared_ptr<ForeignPayload> foreign = {})
        : kind(kind), os_code(os_code), message(std::move(message)), foreign(std::move(foreign)) {}

    ErrorKind kind;
    int os_code = 0;  // errno for ErrorKind::Io when the system reported one
    std::string message;
    std::shared_ptr<ForeignPayload> foreign;  // set for ErrorKind::Foreign
};

// Text of a system error: the system's description, then " (os error N)".
std::string os_error_text(int code);
inline Error io_error(int code) { return Error{ErrorKind::Io, code, os_error_text(code)}; }
inline Error io_error(std::string message) { return Error{ErrorKind::Io, 0, std::move(message)}; }
inline Error make_error(ErrorKind kind, std::string message) {
    return Error{kind, 0, std::move(message)};
}

struct Unit {};

template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}
    Result(Error error) : v_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const noexcept { return v_.index() == 0; }
    explicit operator bool() const noexcept { return ok(); }

    T& value() & { return std::get<0>(v_); }
    T&& value() && { return std::get<0>(std::move(v_)); }
    const T& value() const& { return std::get<0>(v_); }
    Error& error() & { return std::get<1>(v_); }
    Error&& error() && { return std::get<1>(std::move(v_)); }
    const Error& error() const& { return std::get<1>(v_); }

private:
    std::variant<T, Error> v_;
};

using Status = Result<Unit>;
inline Status success() { return Status(Unit{}); }

}  // namespace zel
