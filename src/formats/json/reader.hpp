// The JSON reader: RFC 8259 text to a Value tree, built directly while parsing (no DOM),
// either from memory or streamed from an open file block by block. Owns the JSON error texts
// ("JSON parse error: {description} at line L column C").
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "formats/limits.hpp"
#include "value/error.hpp"
#include "value/value.hpp"

namespace zel {

// Size of the blocks a file is read in. The buffer grows beyond it only to hold one string
// or number longer than a block.
inline constexpr std::size_t kJsonReadBufferSize = 256 * 1024;

// Parses one JSON document held in memory. Only white space may follow the value.
// Failures are ErrorKind::Parse with the full message.
Result<Value> parse_json(std::string_view text);

// Parses one JSON document from an open file descriptor, reading it in blocks of
// `block_size` bytes; the whole text is never held. The descriptor is neither closed nor
// rewound. A read failure is ErrorKind::Parse with "JSON parse error: " and the system's
// error text. `size`, when known, is the file's size as it was opened: the buffer is then no
// bigger than the file, and a read that comes back short at that size ends the input.
Result<Value> read_json_fd(int fd, std::size_t block_size = kJsonReadBufferSize,
                           std::uint64_t size = kSizeUnknown);

}  // namespace zel
