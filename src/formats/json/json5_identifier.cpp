// JSON5 identifier names, by Unicode general category (utf8proc data).
#include "formats/json/json5_identifier.hpp"

#include <utf8proc.h>

#include "text/utf8.hpp"

namespace zel {

bool is_json5_identifier_start(char32_t c) noexcept {
    if (c < 0x80)
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '$' || c == '_';
    switch (utf8proc_category(static_cast<utf8proc_int32_t>(c))) {
        case UTF8PROC_CATEGORY_LU:
        case UTF8PROC_CATEGORY_LL:
        case UTF8PROC_CATEGORY_LT:
        case UTF8PROC_CATEGORY_LM:
        case UTF8PROC_CATEGORY_LO:
        case UTF8PROC_CATEGORY_NL:
            return true;
        default:
            return false;
    }
}

bool is_json5_identifier_part(char32_t c) noexcept {
    if (c < 0x80) return is_json5_ascii_identifier_part(static_cast<char>(c));
    if (c == 0x200C || c == 0x200D || is_json5_identifier_start(c)) return true;
    switch (utf8proc_category(static_cast<utf8proc_int32_t>(c))) {
        case UTF8PROC_CATEGORY_MN:
        case UTF8PROC_CATEGORY_MC:
        case UTF8PROC_CATEGORY_ND:
        case UTF8PROC_CATEGORY_PC:
            return true;
        default:
            return false;
    }
}

bool is_json5_identifier_name(std::string_view name) noexcept {
    if (name.empty()) return false;
    const char* p = name.data();
    const char* end = p + name.size();
    bool first = true;
    while (p != end) {
        char32_t cp;
        const int length = decode_utf8(p, end, cp);
        if (length == 0) return false;
        if (!(first ? is_json5_identifier_start(cp) : is_json5_identifier_part(cp))) return false;
        p += length;
        first = false;
    }
    return true;
}

}  // namespace zel
