// A keyed hash for in-memory indexes whose keys come from the documents being read: the key is
// drawn at random once per process, so names chosen to collide in one process's tables cannot
// be written down in advance.
#pragma once

#include <cstdint>
#include <string_view>

namespace zel {

struct HashKey {
    std::uint64_t k0;
    std::uint64_t k1;
};

// The process's key: random bytes from the kernel, drawn on first use.
const HashKey& process_hash_key() noexcept;

// SipHash with `compression` rounds per 8-byte block and `finalization` rounds at the end
// (1 and 3 for SipHash-1-3, 2 and 4 for SipHash-2-4), over `prefix` (as 8 little-endian bytes)
// followed by `data`.
std::uint64_t siphash(const HashKey& key, std::uint64_t prefix, std::string_view data,
                      int compression, int finalization) noexcept;

// SipHash-1-3 of `prefix` and `data` under the process's key.
inline std::uint64_t keyed_hash(std::uint64_t prefix, std::string_view data) noexcept {
    return siphash(process_hash_key(), prefix, data, 1, 3);
}

// SipHash over `data` alone (no prefix), for checking against published test vectors.
std::uint64_t siphash_bytes(const HashKey& key, std::string_view data, int compression,
                            int finalization) noexcept;

}  // namespace zel
