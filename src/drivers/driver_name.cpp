// Lower-casing of driver names with the full Unicode lower-case mapping (utf8proc data).
#include <utf8proc.h>

#include "drivers/drivers.hpp"

namespace zel {

std::string lowercase_name(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(name.data());
    utf8proc_ssize_t rest = static_cast<utf8proc_ssize_t>(name.size());
    while (rest > 0) {
        utf8proc_int32_t cp = 0;
        utf8proc_ssize_t used = utf8proc_iterate(bytes, rest, &cp);
        if (used <= 0) {  // not UTF-8: kept as it is, it can never match a name
            out.push_back(static_cast<char>(*bytes));
            ++bytes;
            --rest;
            continue;
        }
        bytes += used;
        rest -= used;
        utf8proc_uint8_t encoded[8];
        if (cp == 0x130) {
            // The one code point whose full lower-case mapping is two code points.
            out += "i\xcc\x87";
            continue;
        }
        utf8proc_ssize_t n = utf8proc_encode_char(utf8proc_tolower(cp), encoded);
        out.append(reinterpret_cast<const char*>(encoded), static_cast<std::size_t>(n));
    }
    return out;
}

}  // namespace zel
