// The body shared by the libFuzzer targets: one reader, then the checks of round_trip.hpp, and
// an abort with a report of the input and the fault. ZEL_FUZZ_RAW_BYTES=1 also feeds invalid
// UTF-8 to the readers that loading only gives valid UTF-8 (JSON5, TOML).
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "round_trip.hpp"
#include "value/region.hpp"

// The sanitizers' defaults for every run of a target, by hand or by scripts/fuzz.sh: halt on
// the first report, with its stack, except those fuzz/ubsan.supp lists.
extern "C" const char* __ubsan_default_options() {
    return "halt_on_error=1:print_stacktrace=1:suppressions=" ZEL_FUZZ_UBSAN_SUPPRESSIONS;
}

namespace zel::fuzz {

[[noreturn]] inline void report_and_abort(Format f, std::string_view input,
                                          const std::string& fault) {
    std::fprintf(stderr, "\n==== fuzz_%s: %s\n---- input (%zu bytes):\n%s\n====\n",
                 format_name(f).c_str(), fault.c_str(), input.size(), escaped(input).c_str());
    std::fflush(stderr);
    std::abort();
}

inline bool raw_bytes_mode() {
    static const bool raw = [] {
        const char* v = std::getenv("ZEL_FUZZ_RAW_BYTES");
        return v != nullptr && std::strcmp(v, "0") != 0 && *v != '\0';
    }();
    return raw;
}

// Reads `input` as `f` and checks everything round_trip.hpp knows. `utf8_only`: loading
// hands this reader valid UTF-8 only, so other inputs are skipped unless in raw-bytes mode.
// Returns the accepted tree (null when rejected) for checks of the target's own.
inline Result<Value> fuzz_reader(Format f, std::string_view input, bool utf8_only) {
    const bool valid_utf8 = is_valid_utf8(input);
    if (utf8_only && !valid_utf8 && !raw_bytes_mode())
        return make_error(ErrorKind::Parse, "skipped: not UTF-8");
    // Read into a region, as a store loads a file; the tree handed back holds its blocks, so
    // the region lives until the next input (a target's checks are done with the tree by then).
    static std::unique_ptr<Region> region;
    region = std::make_unique<Region>();
    Result<Value> r = [&] {
        RegionScope scope(region.get());
        return parse(f, input);
    }();
    if (!r) {
        if (std::string fault = check_rejection(f, r.error()); !fault.empty())
            report_and_abort(f, input, fault);
        return r;
    }
    if (!valid_utf8) report_and_abort(f, input, "the reader accepted invalid UTF-8");
    if (std::string fault = check_tree(f, r.value()); !fault.empty())
        report_and_abort(f, input, fault);
    if (std::string fault = check_all_round_trips(f, r.value()); !fault.empty())
        report_and_abort(f, input, fault);
    return r;
}

}  // namespace zel::fuzz
