// Texts of system errors, in the "{description} (os error {code})" form shown to callers.
#include "value/error.hpp"

#include <cstring>

namespace zel {
namespace {

// GNU strerror_r (glibc) returns the text, which may or may not live in the buffer; the POSIX
// one (musl) fills the buffer and returns 0.
[[maybe_unused]] const char* error_text(const char* text, const char*) { return text; }
[[maybe_unused]] const char* error_text(int result, const char* buffer) {
    return result == 0 ? buffer : "Unknown error";
}

}  // namespace

std::string os_error_text(int code) {
    char buffer[256] = {};
    const char* text = error_text(strerror_r(code, buffer, sizeof buffer), buffer);
    return std::string(text) + " (os error " + std::to_string(code) + ")";
}

}  // namespace zel
