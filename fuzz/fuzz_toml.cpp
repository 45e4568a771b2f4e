// libFuzzer target for the TOML reader: valid UTF-8 only, as loading checks it (any bytes with
// ZEL_FUZZ_RAW_BYTES=1); accepted trees round-trip through the TOML writer where TOML can
// express them, and it refuses the rest. Exits with 79 while no TOML reader is built in.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "harness.hpp"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (zel::fuzz::toml_reader_missing()) {
        std::fprintf(stderr, "fuzz_toml: the TOML reader is not built in yet\n");
        std::exit(zel::fuzz::kSkipStatus);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zel::fuzz;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    (void)fuzz_reader(Format::Toml, input, /*utf8_only=*/true);
    return 0;
}
