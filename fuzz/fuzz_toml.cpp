// libFuzzer target for the TOML reader: valid UTF-8 only, as loading checks it (any bytes with
// ZEL_FUZZ_RAW_BYTES=1); accepted trees round-trip through the TOML writer where TOML can
// express them, and it refuses the rest. Also: a rejection names a position inside the text,
// and the reader and the date-time grammar it shares with the writer agree on every date-time
// text of an accepted tree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "formats/toml/reader.hpp"
#include "harness.hpp"

namespace {

// "... at line L column C" with L and C within the text (the end of the text is one column
// past its last character).
std::string check_position(std::string_view input, const std::string& message) {
    const std::size_t at = message.rfind(" at line ");
    const std::size_t column = message.rfind(" column ");
    if (at == std::string::npos || column == std::string::npos || column < at)
        return "the parse error names no position: " + message;
    const unsigned long line = std::strtoul(message.c_str() + at + 9, nullptr, 10);
    const unsigned long col = std::strtoul(message.c_str() + column + 8, nullptr, 10);
    std::size_t lines = 1;
    for (const char c : input) lines += c == '\n';
    if (line < 1 || col < 1 || line > lines || col > input.size() + 1)
        return "the parse error names a position outside the text: " + message;
    return {};
}

// For every text under the date-time key that spells a date-time: the reader loads "v = text"
// as that date-time in the spelling is_toml_datetime() gives, and that spelling is a fixed
// point of it.
std::string check_datetimes(const zel::Value& tree) {
    std::string fault;
    std::string loaded, again;
    zel::fuzz::for_each_node(tree, [&](const zel::Value& v, const zel::Value* key) {
        if (!fault.empty() || key == nullptr || key->as_string() != zel::kTomlDatetimeKey ||
            !v.is_string() || !zel::is_toml_datetime(v.as_string(), &loaded))
            return;
        const std::string text(v.as_string());
        if (!zel::is_toml_datetime(loaded, &again) || again != loaded) {
            fault = "the loaded spelling of date-time " + text + " is not a fixed point: " + loaded;
            return;
        }
        const zel::Result<zel::Value> parsed = zel::parse_toml("v = " + text);
        const zel::Value* marker = parsed ? parsed.value().find("v") : nullptr;
        const zel::Value* read = marker ? marker->find(zel::kTomlDatetimeKey) : nullptr;
        if (read == nullptr || !read->is_string() || read->as_string() != loaded)
            fault = "the reader and is_toml_datetime() disagree on " + text;
    });
    return fault;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zel::fuzz;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const zel::Result<zel::Value> r = fuzz_reader(Format::Toml, input, /*utf8_only=*/true);
    std::string fault;
    if (!r && r.error().message.rfind("skipped:", 0) != 0)
        fault = check_position(input, r.error().message);
    else if (r)
        fault = check_datetimes(r.value());
    if (!fault.empty()) report_and_abort(Format::Toml, input, fault);
    return 0;
}
