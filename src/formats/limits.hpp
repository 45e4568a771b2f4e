// The deepest nesting of arrays and objects each format's reader loads. Saving refuses a
// document nested deeper, which could never be loaded again.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zel {

// The size of a file to be read, as opening found it, when it is not known (a pipe, a device,
// or a file read from somewhere other than its start).
inline constexpr std::uint64_t kSizeUnknown = ~std::uint64_t{0};

// JSON: one more level fails with "recursion limit exceeded".
inline constexpr std::size_t kJsonMaxDepth = 127;

// JSON5: one more level fails.
inline constexpr std::size_t kJson5MaxDepth = 127;

// TOML tables and arrays (the root table is level 1; a date-time's marker object is a level
// too): one more level fails with "recursion limit exceeded".
inline constexpr std::size_t kTomlMaxDepth = 127;

// YAML mappings and sequences: deeper fails.
inline constexpr std::size_t kYamlMaxDepth = 128;

}  // namespace zel
