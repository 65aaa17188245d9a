// portable.h - the compiler-specific fast paths of the rasterizer and their portable
// fallbacks, chosen at compile time: 128-bit products (Wide), and the wide stores that
// fill pixel runs. PLOTX_PORTABLE (the CMake option of that name) forces the fallbacks, so
// the golden tests can cover both.
#pragma once
#include <cstdint>

#if !defined(PLOTX_PORTABLE) && defined(__SIZEOF_INT128__)
#define PLOTX_HAVE_INT128 1
#endif
// 16-byte vector stores: GCC and Clang, whatever the target.
#if !defined(PLOTX_PORTABLE) && defined(__GNUC__)
#define PLOTX_HAVE_VECTOR_STORES 1
#endif
// The C library's wide-character fill over pixel storage: glibc, whose wmemset stores
// words without regard to their type.
#if defined(PLOTX_HAVE_VECTOR_STORES) && defined(__GLIBC__)
#define PLOTX_HAVE_WIDE_FILL 1
#endif

namespace px {

using i64 = int64_t;

// The two's-complement value of u as a signed number, without the implementation-defined
// conversion.
constexpr i64 to_signed(uint64_t u) {
    return u <= static_cast<uint64_t>(INT64_MAX) ? static_cast<i64>(u) : -static_cast<i64>(~u) - 1;
}

// A signed 128-bit integer with only what the rasterizer needs: products of two 64-bit
// values, sums and differences, floor and ceiling division by a positive 64-bit value,
// and the low 64 bits of a result known to fit.
#ifdef PLOTX_HAVE_INT128
__extension__ typedef __int128 Wide;

inline Wide wide_mul(i64 a, i64 b) { return static_cast<Wide>(a) * b; }
inline i64 low64(Wide v) { return static_cast<i64>(v); }
inline bool fits_62(Wide n) {
    constexpr Wide lim = static_cast<Wide>(1) << 62;
    return n < lim && n > -lim;
}
// Floor of n / d for d > 0, where n does not fit in 62 bits.
inline i64 floor_div_wide(Wide n, i64 d) {
    Wide q = n / d;
    if ((n % d) != 0 && n < 0) --q;
    return static_cast<i64>(q);
}
#else
struct Wide {
    uint64_t hi = 0, lo = 0;  // two's complement: the value is hi * 2^64 + lo, hi signed
    Wide() = default;
    constexpr Wide(i64 v) : hi(v < 0 ? ~uint64_t{0} : 0), lo(static_cast<uint64_t>(v)) {}
    constexpr Wide(uint64_t h, uint64_t l, int) : hi(h), lo(l) {}
    bool negative() const { return (hi >> 63) != 0; }
};
inline Wide operator+(Wide a, Wide b) {
    const uint64_t lo = a.lo + b.lo;
    return Wide(a.hi + b.hi + (lo < a.lo ? 1 : 0), lo, 0);
}
inline Wide operator-(Wide a) { return Wide(~a.hi, ~a.lo, 0) + Wide(1); }
inline Wide operator-(Wide a, Wide b) { return a + -b; }

inline Wide wide_mul(i64 a, i64 b) {
    const bool neg = (a < 0) != (b < 0);
    const uint64_t x = a < 0 ? 0 - static_cast<uint64_t>(a) : static_cast<uint64_t>(a);
    const uint64_t y = b < 0 ? 0 - static_cast<uint64_t>(b) : static_cast<uint64_t>(b);
    // Schoolbook on 32-bit halves.
    const uint64_t x0 = x & 0xFFFFFFFFu, x1 = x >> 32, y0 = y & 0xFFFFFFFFu, y1 = y >> 32;
    const uint64_t p00 = x0 * y0, p01 = x0 * y1, p10 = x1 * y0, p11 = x1 * y1;
    const uint64_t mid = (p00 >> 32) + (p01 & 0xFFFFFFFFu) + (p10 & 0xFFFFFFFFu);
    const Wide m(p11 + (p01 >> 32) + (p10 >> 32) + (mid >> 32), (mid << 32) | (p00 & 0xFFFFFFFFu), 0);
    return neg ? -m : m;
}
inline i64 low64(Wide v) { return to_signed(v.lo); }
inline bool fits_62(Wide n) {
    constexpr uint64_t lim = uint64_t{1} << 62;
    if (!n.negative()) return n.hi == 0 && n.lo < lim;
    return n.hi == ~uint64_t{0} && n.lo > 0 - lim;
}
inline i64 floor_div_wide(Wide n, i64 d) {
    const bool neg = n.negative();
    const Wide m = neg ? -n : n;  // the magnitude, read as unsigned
    const uint64_t ud = static_cast<uint64_t>(d);
    // Long division: the high word directly, then the low word bit by bit (r < d < 2^63).
    Wide q(m.hi / ud, 0, 0);
    uint64_t r = m.hi % ud;
    for (int bit = 63; bit >= 0; --bit) {
        r = (r << 1) | ((m.lo >> bit) & 1);
        if (r >= ud) {
            r -= ud;
            q.lo |= uint64_t{1} << bit;
        }
    }
    if (neg) {
        q = -q;
        if (r != 0) q = q - Wide(1);
    }
    return low64(q);
}
#endif

// Floor and ceiling of n / d for d > 0; 64-bit division when n fits, which is always the
// case for shapes near the surface.
inline i64 floor_div(Wide n, i64 d) {
    if (fits_62(n)) {
        const i64 a = low64(n);
        i64 q = a / d;
        if (a % d != 0 && a < 0) --q;
        return q;
    }
    return floor_div_wide(n, d);
}
inline i64 ceil_div(Wide n, i64 d) { return -floor_div(-n, d); }

}  // namespace px
