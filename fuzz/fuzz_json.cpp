// libFuzzer target for the JSON reader: parse, then the round trips of harness.hpp; also
// checks that streaming from a file across the 8192-byte buffer boundary reads exactly what
// parsing from memory reads, and that the JSON5 reader (a superset) gives the same tree.
#include <cstddef>
#include <cstdint>

#include "harness.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zel::fuzz;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    (void)fuzz_reader(Format::Json, input, /*utf8_only=*/false);
    if (std::string fault = check_json_extras(input, boundary_cut(input)); !fault.empty())
        report_and_abort(Format::Json, input, fault);
    return 0;
}
