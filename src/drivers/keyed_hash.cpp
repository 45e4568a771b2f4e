#include "drivers/keyed_hash.hpp"

#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace zel {
namespace {

inline std::uint64_t rotl(std::uint64_t x, int b) noexcept { return (x << b) | (x >> (64 - b)); }

struct SipState {
    std::uint64_t v0, v1, v2, v3;

    explicit SipState(const HashKey& key) noexcept
        : v0(key.k0 ^ 0x736f6d6570736575ull),
          v1(key.k1 ^ 0x646f72616e646f6dull),
          v2(key.k0 ^ 0x6c7967656e657261ull),
          v3(key.k1 ^ 0x7465646279746573ull) {}

    void round() noexcept {
        v0 += v1;
        v1 = rotl(v1, 13);
        v1 ^= v0;
        v0 = rotl(v0, 32);
        v2 += v3;
        v3 = rotl(v3, 16);
        v3 ^= v2;
        v0 += v3;
        v3 = rotl(v3, 21);
        v3 ^= v0;
        v2 += v1;
        v1 = rotl(v1, 17);
        v1 ^= v2;
        v2 = rotl(v2, 32);
    }

    void block(std::uint64_t m, int rounds) noexcept {
        v3 ^= m;
        for (int i = 0; i < rounds; ++i) round();
        v0 ^= m;
    }

    std::uint64_t finish(int rounds) noexcept {
        v2 ^= 0xFF;
        for (int i = 0; i < rounds; ++i) round();
        return v0 ^ v1 ^ v2 ^ v3;
    }
};

inline std::uint64_t load_le(const unsigned char* p, std::size_t n) noexcept {
    std::uint64_t m = 0;
    for (std::size_t i = 0; i < n; ++i) m |= static_cast<std::uint64_t>(p[i]) << (8 * i);
    return m;
}

// The blocks of `data`, then the last block: its remaining bytes and, in the top byte, the low
// byte of the whole message length (`before` bytes came before `data`).
std::uint64_t absorb(SipState& s, std::string_view data, std::uint64_t before, int compression,
                     int finalization) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(data.data());
    const std::size_t whole = data.size() & ~static_cast<std::size_t>(7);
    for (std::size_t i = 0; i < whole; i += 8) s.block(load_le(p + i, 8), compression);
    const std::uint64_t length = before + data.size();
    s.block(load_le(p + whole, data.size() - whole) | (length << 56), compression);
    return s.finish(finalization);
}

HashKey draw_key() noexcept {
    unsigned char bytes[16];
    std::size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EINTR) {
            break;
        }
    }
    HashKey key{load_le(bytes, 8), load_le(bytes + 8, 8)};
    if (got < sizeof bytes) {
        // No kernel randomness (a kernel without getrandom, a seccomp filter): the clock, the
        // process id and an address of this run still differ between runs.
        const auto now = static_cast<std::uint64_t>(
            std::chrono::high_resolution_clock::now().time_since_epoch().count());
        const HashKey fallback{now ^ 0x9E3779B97F4A7C15ull,
                               (static_cast<std::uint64_t>(getpid()) << 32) ^
                                   reinterpret_cast<std::uintptr_t>(&got)};
        key = HashKey{siphash_bytes(fallback, "k0", 2, 4), siphash_bytes(fallback, "k1", 2, 4)};
    }
    return key;
}

}  // namespace

const HashKey& process_hash_key() noexcept {
    static const HashKey key = draw_key();
    return key;
}

std::uint64_t siphash(const HashKey& key, std::uint64_t prefix, std::string_view data,
                      int compression, int finalization) noexcept {
    SipState s(key);
    s.block(prefix, compression);
    return absorb(s, data, 8, compression, finalization);
}

std::uint64_t siphash_bytes(const HashKey& key, std::string_view data, int compression,
                            int finalization) noexcept {
    SipState s(key);
    return absorb(s, data, 0, compression, finalization);
}

}  // namespace zel
