// The JSON writer's pieces: the output block, string escaping, the float text, and the JSON
// instance of the shared document walk declared in writer.hpp.
#include "formats/json/writer.hpp"

#include <sys/mman.h>
#include <sys/types.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>
#include <utility>
#include <stdexcept>

namespace zel {

namespace {

#if defined(__linux__) && defined(MREMAP_MAYMOVE) && defined(MADV_HUGEPAGE)
constexpr bool kMapLargeBlocks = true;
#else
constexpr bool kMapLargeBlocks = false;
#endif
constexpr std::size_t kHugePage = std::size_t{2} << 20;

}  // namespace

// Small blocks come from malloc. A large block is filled once from start to end, and with
// 4 KiB pages the kernel's page faults cost about as much as writing the text: from
// kMappedFrom bytes on, the block is its own mapping, rounded to 2 MiB and marked for
// transparent huge pages (a hint; where they are off nothing changes), which takes a few
// dozen faults instead of thousands, and it grows by mremap, which moves pages, not bytes.
TextCursor TextBuffer::grow(char* at, std::size_t n) {
    const std::size_t used = static_cast<std::size_t>(at - begin_);
    const std::size_t capacity = static_cast<std::size_t>(limit_ - begin_);
    constexpr std::size_t kMax = std::numeric_limits<std::ptrdiff_t>::max() - kHugePage;
    if (n > kMax - used) throw std::length_error("text too long");
    const std::size_t needed = used + n;
    std::size_t wanted = capacity < kMax / 2 ? 2 * capacity : kMax;
    if (wanted < 4096) wanted = 4096;
    if (wanted < needed) wanted = needed;
    char* block;
    if (!kMapLargeBlocks || wanted < kMappedFrom) {
        block = static_cast<char*>(std::realloc(begin_, wanted));
        if (block == nullptr) throw std::bad_alloc();
    } else {
#if defined(__linux__) && defined(MREMAP_MAYMOVE) && defined(MADV_HUGEPAGE)
        wanted = (wanted + kHugePage - 1) & ~(kHugePage - 1);
        void* mapped;
        if (capacity >= kMappedFrom) {
            mapped = ::mremap(begin_, capacity, wanted, MREMAP_MAYMOVE);
            if (mapped == MAP_FAILED) throw std::bad_alloc();
        } else {
            mapped = ::mmap(nullptr, wanted, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                            -1, 0);
            if (mapped == MAP_FAILED) throw std::bad_alloc();
            ::madvise(mapped, wanted, MADV_HUGEPAGE);
            if (used != 0) std::memcpy(mapped, begin_, used);
            std::free(begin_);
        }
        block = static_cast<char*>(mapped);
#endif
    }
    end_ = block + (end_ - begin_);
    begin_ = block;
    limit_ = block + wanted;
    return {block + used, limit_};
}

void TextBuffer::release() noexcept {
#if defined(__linux__) && defined(MREMAP_MAYMOVE) && defined(MADV_HUGEPAGE)
    if (static_cast<std::size_t>(limit_ - begin_) >= kMappedFrom) {
        ::munmap(begin_, static_cast<std::size_t>(limit_ - begin_));
        return;
    }
#endif
    std::free(begin_);
}

namespace {

char* put_json_byte(char c, char* out) {
    static constexpr char kHex[] = "0123456789abcdef";
    const unsigned char u = static_cast<unsigned char>(c);
    if (u >= 0x20 && c != '"' && c != '\\') {
        *out++ = c;
        return out;
    }
    char second;
    switch (c) {
        case '"': second = '"'; break;
        case '\\': second = '\\'; break;
        case '\b': second = 'b'; break;
        case '\t': second = 't'; break;
        case '\n': second = 'n'; break;
        case '\f': second = 'f'; break;
        case '\r': second = 'r'; break;
        default: {
            const char escape[] = {'\\', 'u', '0', '0', kHex[u >> 4], kHex[u & 0xF]};
            std::memcpy(out, escape, sizeof escape);
            return out + sizeof escape;
        }
    }
    out[0] = '\\';
    out[1] = second;
    return out + 2;
}

}  // namespace

// \" \\ \b \t \n \f \r, \u00xx for other controls, raw UTF-8 else; eight bytes at a time
// (writer_detail::escape_words).
char* JsonFormat::escape(const char* in, const char* end, char, char* out) {
    const auto one_by_one = [](const char* in, const char* stop, char* out) {
        for (; in < stop; ++in) out = put_json_byte(*in, out);
        return std::pair{in, out};
    };
    const auto plain = [](std::uint64_t w) { return plain_word(w); };
    return writer_detail::escape_words(in, end, out, plain, one_by_one);
}

namespace {

constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};  // all exact

// The shortest digits of x > 0 when x is a short decimal (M / 10^k with M < 2^52, as most
// numbers in settings are), found without the general algorithm. Take a k at which
// x * 10^k is an integer M below 2^52 and M / 10^k (a correctly rounded division of exact
// numbers) gives x back, so that the text M x 10^-k reads back as x. Since x * 10^k < 2^52,
// the gap between x and its neighbouring doubles is below 10^-k, and so is the width of the
// range of numbers that read back as x: M x 10^-k is the only decimal in it with k places
// or fewer, and M less its trailing zeros is what the general algorithm gives, the fewest
// digits that read back.
bool short_decimal_digits(double x, ShortestDigits& result) {
    constexpr double kTwoTo52 = 4503599627370496.0;
    for (int k = 0; k <= 22; ++k) {
        const double scaled = x * kPowersOfTen[k];
        if (!(scaled < kTwoTo52)) return false;
        const auto m = static_cast<std::uint64_t>(scaled);
        if (static_cast<double>(m) != scaled || static_cast<double>(m) / kPowersOfTen[k] != x)
            continue;
        const char* end = std::to_chars(result.digits, result.digits + sizeof result.digits, m).ptr;
        const int length = static_cast<int>(end - result.digits);
        result.exponent = length - k;
        result.count = length;
        while (result.digits[result.count - 1] == '0') --result.count;  // m > 0
        return true;
    }
    return false;
}

}  // namespace

ShortestDigits shortest_digits(double d) {
    ShortestDigits result{};
    const double x = std::fabs(d);
    if (x != 0 && short_decimal_digits(x, result)) return result;
    // std::to_chars in scientific form gives the shortest digits that round-trip:
    // "d[.ddd]e±XX". Moving the point in front of the first digit adds one to the exponent.
    char text[40];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, x, std::chars_format::scientific);
    const char* p = text;
    for (; p != end && *p != 'e'; ++p)
        if (*p != '.') result.digits[result.count++] = *p;
    int exponent = 0;
    if (p != end) std::from_chars(p + 1 + (p[1] == '+'), end, exponent);
    result.exponent = exponent + 1;
    (void)ec;  // the buffer holds any double
    return result;
}

char* put_json_float(double d, char* out) {
    if (std::signbit(d)) *out++ = '-';
    const ShortestDigits s = shortest_digits(d);
    const int n = s.count;
    const int kk = s.exponent;
    if (n <= kk && kk <= 16) {
        // Integral: all digits, zeros up to the point, and a fraction of ".0".
        std::memcpy(out, s.digits, static_cast<std::size_t>(n));
        out += n;
        std::memset(out, '0', static_cast<std::size_t>(kk - n));
        out += kk - n;
        out[0] = '.';
        out[1] = '0';
        return out + 2;
    }
    if (0 < kk && kk <= 16) {
        std::memcpy(out, s.digits, static_cast<std::size_t>(kk));
        out += kk;
        *out++ = '.';
        std::memcpy(out, s.digits + kk, static_cast<std::size_t>(n - kk));
        return out + (n - kk);
    }
    if (-5 < kk && kk <= 0) {
        out[0] = '0';
        out[1] = '.';
        out += 2;
        std::memset(out, '0', static_cast<std::size_t>(-kk));
        out += -kk;
        std::memcpy(out, s.digits, static_cast<std::size_t>(n));
        return out + n;
    }
    *out++ = s.digits[0];
    if (n > 1) {
        *out++ = '.';
        std::memcpy(out, s.digits + 1, static_cast<std::size_t>(n - 1));
        out += n - 1;
    }
    *out++ = 'e';
    *out++ = kk - 1 < 0 ? '-' : '+';
    return std::to_chars(out, out + 4, std::abs(kk - 1)).ptr;
}

void append_json_float(double d, std::string& out) {
    char text[kJsonFloatRoom];
    out.append(text, put_json_float(d, text));
}

bool write_json(const Value& value, TextBuffer& out, std::size_t max_depth) {
    return write_document<JsonFormat>(value, out, max_depth);
}

void write_json(const Value& value, std::string& out) {
    TextBuffer text;
    write_json(value, text);
    out.append(text.view());
}

}  // namespace zel
