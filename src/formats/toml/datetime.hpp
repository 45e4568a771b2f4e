// What the TOML reader and writer share about date-times: the marker object a date-time loads
// as, and the date-time grammar.
#pragma once

#include <string>
#include <string_view>

namespace zel {

// Member name of the object a TOML date-time loads as.
inline constexpr std::string_view kTomlDatetimeKey = "$__toml_private_datetime";

// Why scan_toml_datetime failed: `error` names what is wrong and `at` where; `cut_short` when
// the text ended where more was expected.
struct DatetimeFailure {
    const char* error = nullptr;
    const char* at = nullptr;
    bool cut_short = false;
};

// Reads one offset date-time, local date-time, local date or local time at the start of
// [p, end) and writes the text it loads as to `loaded`. Returns the end of the date-time, or
// nullptr with `failure` filled in; "could not determine value type" is reported at `p`.
const char* scan_toml_datetime(const char* p, const char* end, std::string& loaded,
                               DatetimeFailure& failure);

// True when `text` is exactly one TOML offset date-time, local date-time, local date or local
// time, in any spelling TOML allows ("T", "t" or a space between date and time, "z",
// "+00:00", any number of fraction digits). `loaded` (when given) receives the text the
// reader gives it: "T" and "Z", no "+00:00" or "-00:00", the fraction cut to nanoseconds
// and without trailing zeros.
bool is_toml_datetime(std::string_view text, std::string* loaded = nullptr);

}  // namespace zel
