// libFuzzer target for the YAML reader (any bytes, as the file reaches it unchecked): a
// rejection must be a parse error; an accepted tree, aliases expanded, must round-trip through
// the YAML writer exactly, and through the other writers when it is not huge; with CR LF line
// breaks the input reads the same; libfyaml alone reads it as the fast reader of everyday
// block YAML (block scalars and flow collections included) does where that one answers. Built with assertions, the reader also checks each plain
// scalar it takes from one line of the input against the text libfyaml makes of it.
#include <cstddef>
#include <cstdint>

#include "harness.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zel::fuzz;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const zel::Result<zel::Value> r = fuzz_reader(Format::Yaml, input, /*utf8_only=*/false);
    if (std::string fault = check_yaml_extras(input, r); !fault.empty())
        report_and_abort(Format::Yaml, input, fault);
    return 0;
}
