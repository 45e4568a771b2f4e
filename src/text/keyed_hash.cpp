#include "text/keyed_hash.hpp"

#include <sys/syscall.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace zel {
namespace {

inline std::uint64_t rotl(std::uint64_t x, int b) noexcept { return (x << b) | (x >> (64 - b)); }

// The first n (at most 8) bytes at p as a little-endian number.
inline std::uint64_t load_le(const unsigned char* p, std::size_t n) noexcept {
    std::uint64_t m = 0;
    std::memcpy(&m, p, n);
    if constexpr (std::endian::native == std::endian::big) m = __builtin_bswap64(m);
    return m;
}

template <int C, int D>
class Sip {
public:
    explicit Sip(const HashKey& key) noexcept
        : v0_(key.k0 ^ 0x736f6d6570736575ull),
          v1_(key.k1 ^ 0x646f72616e646f6dull),
          v2_(key.k0 ^ 0x6c7967656e657261ull),
          v3_(key.k1 ^ 0x7465646279746573ull) {}

    void block(std::uint64_t m) noexcept {
        v3_ ^= m;
        for (int i = 0; i < C; ++i) round();
        v0_ ^= m;
    }

    // The blocks of `data`, then the last one: its remaining bytes under the low byte of the
    // whole message length (`before` bytes went in as blocks already); then the finalization.
    std::uint64_t finish(std::string_view data, std::uint64_t before) noexcept {
        const auto* p = reinterpret_cast<const unsigned char*>(data.data());
        const std::size_t whole = data.size() & ~static_cast<std::size_t>(7);
        for (std::size_t i = 0; i < whole; i += 8) block(load_le(p + i, 8));
        const std::uint64_t length = before + data.size();
        block(load_le(p + whole, data.size() - whole) | (length << 56));
        v2_ ^= 0xFF;
        for (int i = 0; i < D; ++i) round();
        return v0_ ^ v1_ ^ v2_ ^ v3_;
    }

private:
    void round() noexcept {
        v0_ += v1_;
        v1_ = rotl(v1_, 13);
        v1_ ^= v0_;
        v0_ = rotl(v0_, 32);
        v2_ += v3_;
        v3_ = rotl(v3_, 16);
        v3_ ^= v2_;
        v0_ += v3_;
        v3_ = rotl(v3_, 21);
        v3_ ^= v0_;
        v2_ += v1_;
        v1_ = rotl(v1_, 17);
        v1_ ^= v2_;
        v2_ = rotl(v2_, 32);
    }

    std::uint64_t v0_, v1_, v2_, v3_;
};

HashKey draw_key() noexcept {
    unsigned char bytes[16];
    std::size_t got = 0;
    while (got < sizeof bytes) {
        // The system call itself: C libraries older than glibc 2.25 (which the portable
        // wheels target) have no getrandom function.
        const long n = ::syscall(SYS_getrandom, bytes + got, sizeof bytes - got, 0);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EINTR) {
            break;
        }
    }
    if (got == sizeof bytes) return HashKey{load_le(bytes, 8), load_le(bytes + 8, 8)};
    // No kernel randomness (a kernel without getrandom, a seccomp filter): the clock, the
    // process id and an address of this run still differ between runs.
    const auto now = static_cast<std::uint64_t>(
        std::chrono::high_resolution_clock::now().time_since_epoch().count());
    const HashKey fallback{now ^ 0x9E3779B97F4A7C15ull,
                           (static_cast<std::uint64_t>(getpid()) << 32) ^
                               reinterpret_cast<std::uintptr_t>(&got)};
    return HashKey{siphash24(fallback, "k0"), siphash24(fallback, "k1")};
}

}  // namespace

const HashKey& process_hash_key() noexcept {
    static const HashKey key = draw_key();
    return key;
}

std::uint64_t siphash13(const HashKey& key, std::uint64_t prefix, std::string_view data) noexcept {
    Sip<1, 3> s(key);
    s.block(prefix);
    return s.finish(data, 8);
}

std::uint64_t siphash13(const HashKey& key, std::string_view data) noexcept {
    return Sip<1, 3>(key).finish(data, 0);
}

std::uint64_t siphash24(const HashKey& key, std::string_view data) noexcept {
    return Sip<2, 4>(key).finish(data, 0);
}

std::uint64_t keyed_hash(std::uint64_t prefix, std::string_view data) noexcept {
    return siphash13(process_hash_key(), prefix, data);
}

}  // namespace zel
