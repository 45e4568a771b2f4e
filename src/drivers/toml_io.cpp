// Placeholder until the TOML reader and writer land.
#include "drivers/toml_io.hpp"

namespace zel {
Result<Value> parse_toml(std::string_view) {
    return make_error(ErrorKind::Internal, "no TOML reader is built in yet");
}
Result<std::string> write_toml(const Value&) {
    return make_error(ErrorKind::Internal, "no TOML writer is built in yet");
}
}  // namespace zel
