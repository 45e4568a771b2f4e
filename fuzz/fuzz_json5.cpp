// libFuzzer target for the JSON5 reader: valid UTF-8 only, as loading checks it first (all
// bytes with ZEL_FUZZ_RAW_BYTES=1); a rejection must be a parse error, an accepted tree must
// round-trip through the JSON5 writer (integral floats come back as integers) and the others.
#include <cstddef>
#include <cstdint>

#include "harness.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zel::fuzz;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    (void)fuzz_reader(Format::Json5, input, /*utf8_only=*/true);
    return 0;
}
