// Texts of system errors, in the "{description} (os error {code})" form shown to callers.
#include "value/error.hpp"

#include <cstring>

namespace zel {

std::string os_error_text(int code) {
    char buffer[256];
    // GNU strerror_r returns the text, which may or may not live in the buffer.
    const char* text = strerror_r(code, buffer, sizeof buffer);
    return std::string(text) + " (os error " + std::to_string(code) + ")";
}

}  // namespace zel
