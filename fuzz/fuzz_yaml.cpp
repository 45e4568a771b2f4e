// libFuzzer target for the YAML reader (any bytes, as the file reaches it unchecked): a
// rejection must be a parse error; an accepted tree, aliases expanded, must round-trip through
// the YAML writer exactly, and through the other writers when it is not huge. Built with
// assertions, the reader also checks each plain scalar it slices from the input against the
// text libfyaml makes of it.
#include <cstddef>
#include <cstdint>

#include "harness.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zel::fuzz;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    (void)fuzz_reader(Format::Yaml, input, /*utf8_only=*/false);
    return 0;
}
