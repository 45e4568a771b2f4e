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

// SipHash-1-3 (one round per 8-byte block, three at the end) of `prefix`, as 8 little-endian
// bytes, followed by `data`.
std::uint64_t siphash13(const HashKey& key, std::uint64_t prefix, std::string_view data) noexcept;

// SipHash-1-3 or SipHash-2-4 of `data` alone (the latter for the published test vectors).
std::uint64_t siphash13(const HashKey& key, std::string_view data) noexcept;
std::uint64_t siphash24(const HashKey& key, std::string_view data) noexcept;

// SipHash-1-3 of `prefix` and `data` under the process's key.
std::uint64_t keyed_hash(std::uint64_t prefix, std::string_view data) noexcept;

}  // namespace zel
