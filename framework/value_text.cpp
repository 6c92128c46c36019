#include "framework/value_text.h"

#include <bit>
#include <cstring>

namespace qem {
namespace {

// A little unsigned big number in 32-bit limbs, least significant first;
// enough for a float times a power of ten (at most about 210 bits).
struct BigUint {
    static constexpr int kLimbs = 8;
    std::uint32_t limb[kLimbs] = {};

    explicit BigUint(std::uint32_t v) { limb[0] = v; }

    void multiply(std::uint32_t factor) {
        std::uint64_t carry = 0;
        for (std::uint32_t& l : limb) {
            std::uint64_t t = std::uint64_t(l) * factor + carry;
            l = static_cast<std::uint32_t>(t);
            carry = t >> 32;
        }
    }
    void divide(std::uint32_t divisor) { // floor
        std::uint64_t rest = 0;
        for (int i = kLimbs - 1; i >= 0; --i) {
            std::uint64_t t = (rest << 32) | limb[i];
            limb[i] = static_cast<std::uint32_t>(t / divisor);
            rest = t % divisor;
        }
    }
    void shiftLeft(int bits) {
        for (; bits >= 32; bits -= 32) {
            for (int i = kLimbs - 1; i > 0; --i) limb[i] = limb[i - 1];
            limb[0] = 0;
        }
        if (bits == 0) return;
        for (int i = kLimbs - 1; i > 0; --i) limb[i] = (limb[i] << bits) | (limb[i - 1] >> (32 - bits));
        limb[0] <<= bits;
    }
    void shiftRight(int bits) { // floor
        for (; bits >= 32; bits -= 32) {
            for (int i = 0; i < kLimbs - 1; ++i) limb[i] = limb[i + 1];
            limb[kLimbs - 1] = 0;
        }
        if (bits == 0) return;
        for (int i = 0; i < kLimbs - 1; ++i) limb[i] = (limb[i] >> bits) | (limb[i + 1] << (32 - bits));
        limb[kLimbs - 1] >>= bits;
    }
    std::uint64_t low64() const { return (std::uint64_t(limb[1]) << 32) | limb[0]; }
};

void scaleByPowerOfTen(BigUint& n, int exponent) {
    for (; exponent >= 9; exponent -= 9) n.multiply(1000000000u);
    for (; exponent > 0; --exponent) n.multiply(10u);
    for (; exponent <= -9; exponent += 9) n.divide(1000000000u);
    for (; exponent < 0; ++exponent) n.divide(10u);
}

constexpr std::uint64_t kTenTo11 = 100000000000ull;

// For a finite nonzero magnitude mantissa * 2^binaryExponent: the 10
// significant digits rounded half up, and the decimal exponent of the first.
void roundTo10Digits(std::uint32_t mantissa, int binaryExponent, std::uint64_t& digits, int& exponent) {
    int topBit = 31;
    while ((mantissa >> topBit) == 0) --topBit;
    int b = topBit + binaryExponent; // magnitude in [2^b, 2^(b+1))
    // floor(b * log10(2)), exact over the float range.
    exponent = b >= 0 ? (b * 78913) >> 18 : -((-b * 78913 + (1 << 18) - 1) >> 18);

    // q = floor(magnitude * 10^(10 - exponent)): the first 11 digits, truncated.
    BigUint n(mantissa);
    int scale = 10 - exponent;
    if (binaryExponent >= 0) {
        n.shiftLeft(binaryExponent);
        scaleByPowerOfTen(n, scale); // floor at each step of the division: still floor overall
    } else {
        scaleByPowerOfTen(n, scale); // scale > 0 here is ensured for small values; see below
        n.shiftRight(-binaryExponent);
    }
    std::uint64_t q = n.low64();
    if (q >= kTenTo11) { // the estimate was one low
        q /= 10;
        ++exponent;
    }
    // Rounding up never reaches 10^10 digits: no float lies close enough
    // below a power of ten (the tests show it), so the exponent stands.
    digits = q / 10 + (q % 10 >= 5 ? 1 : 0);
}

// 10^s as mantissa * 2^exponent, the mantissa the top 64 bits of 10^s
// truncated (so 10^s lies in [mantissa, mantissa + 1) * 2^exponent).
struct PowerOfTen {
    std::uint64_t mantissa; // in [2^63, 2^64)
    int exponent;
};

constexpr int kMinScale = -28; // 10 - the largest float's decimal exponent (38)
constexpr int kMaxScale = 55;  // 10 - the smallest subnormal's (-45)

constexpr PowerOfTen powerOfTen(int s) {
    // A 320-bit number in 32-bit limbs, least significant first: 10^s
    // exactly, or 2^288 / 10^-s floored (the floor only touches bits far
    // below the 64 kept).
    std::uint32_t n[10] = {};
    int binaryExponent = 0;
    if (s >= 0) {
        n[0] = 1;
    } else {
        n[9] = 1;
        binaryExponent = -288;
    }
    for (int k = 0; k < (s >= 0 ? s : -s); ++k) {
        if (s >= 0) {
            std::uint64_t carry = 0;
            for (std::uint32_t& l : n) {
                std::uint64_t t = std::uint64_t(l) * 10 + carry;
                l = static_cast<std::uint32_t>(t);
                carry = t >> 32;
            }
        } else {
            std::uint64_t rest = 0;
            for (int i = 9; i >= 0; --i) {
                std::uint64_t t = (rest << 32) | n[i];
                n[i] = static_cast<std::uint32_t>(t / 10);
                rest = t % 10;
            }
        }
    }
    int top = 319;
    while (((n[top / 32] >> (top % 32)) & 1) == 0) --top;
    std::uint64_t mantissa = 0; // bits top .. top - 63
    for (int b = top; b > top - 64; --b) mantissa = (mantissa << 1) | (b >= 0 ? (n[b / 32] >> (b % 32)) & 1 : 0);
    return {mantissa, binaryExponent + top - 63};
}

struct PowersOfTen {
    PowerOfTen p[kMaxScale - kMinScale + 1];
    constexpr PowersOfTen() : p{} {
        for (int s = kMinScale; s <= kMaxScale; ++s) p[s - kMinScale] = powerOfTen(s);
    }
    constexpr const PowerOfTen& operator[](int s) const { return p[s - kMinScale]; }
};
constexpr PowersOfTen kPowersOfTen;
static_assert(kPowersOfTen[0].mantissa == std::uint64_t(1) << 63 && kPowersOfTen[0].exponent == -63);
static_assert(kPowersOfTen[1].mantissa == std::uint64_t(10) << 60 && kPowersOfTen[1].exponent == -60);

// The same digits as roundTo10Digits, through one 24 x 64-bit product with
// a tabled power of ten. With s = 10 - exponent, q = floor(m * 2^e * 10^s)
// is the product's top part; the power's truncation lost less than m units
// of the product's last bit, so q can be one low only when the bits below
// q are that close to a carry:
//   0 <= s <= 27: 10^s = 5^s * 2^s with 5^s < 2^64, tabled exactly: q stands.
//   -9 <= s < 0:  m * 2^e * 10^s = N / 5^-s for an integer N, so a value
//                 within m units of a whole number is that number: q + 1.
//   otherwise:    the exact routine decides (about once in 2^26 values).
// False when it is needed.
bool roundTo10DigitsFast(std::uint32_t mantissa, int binaryExponent, std::uint64_t& digits, int& exponent) {
    // Normalise: the mantissa's top bit at bit 23, so the product's size is known.
    const int shift = std::countl_zero(mantissa) - 8;
    const std::uint32_t m = mantissa << shift;
    const int e = binaryExponent - shift;
    const int b = 23 + e; // magnitude in [2^b, 2^(b+1))
    exponent = b >= 0 ? (b * 78913) >> 18 : -((-b * 78913 + (1 << 18) - 1) >> 18);

    const int s = 10 - exponent;
    const PowerOfTen& p = kPowersOfTen[s];
    // m * mantissa as hi * 2^32 + lo32, 86 to 88 bits.
    const std::uint64_t lo = std::uint64_t(m) * (p.mantissa & 0xFFFFFFFFu);
    const std::uint64_t hi = std::uint64_t(m) * (p.mantissa >> 32) + (lo >> 32);
    // q = floor(product / 2^sh) lies in [10^10, 10^12), so sh is 46 to 55.
    const int sh = -(e + p.exponent);
    std::uint64_t q = hi >> (sh - 32);
    const std::uint64_t below = ((hi & ((std::uint64_t(1) << (sh - 32)) - 1)) << 32) | (lo & 0xFFFFFFFFu);
    if ((s < 0 || s > 27) && below > (std::uint64_t(1) << sh) - m) {
        // 1 / 5^9 is more than m units (2^sh / m > 2^22): no value but a
        // whole number comes that close.
        if (s < -9) return false;
        ++q;
    }
    if (q >= kTenTo11) { // the estimate was one low
        q /= 10;
        ++exponent;
    }
    digits = q / 10 + (q % 10 >= 5 ? 1 : 0);
    return true;
}

// "00" to "99".
constexpr char kTwoDigits[] = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                              "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                              "8081828384858687888990919293949596979899";

void putTwoDigits(char* out, std::uint32_t v) {
    out[0] = kTwoDigits[2 * v];
    out[1] = kTwoDigits[2 * v + 1];
}

} // namespace

std::string floatText(float v) {
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    const bool negative = (bits >> 31) != 0;
    const int biased = static_cast<int>((bits >> 23) & 0xFF);
    const std::uint32_t fraction = bits & 0x7FFFFF;

    if (biased == 0xFF) {
        if (fraction == 0) return negative ? "-1.#INF" : "1.#INF";
        if (bits == 0xFFC00000u) return "-1.#IND";
        return negative ? "-1.#QNAN" : "1.#QNAN";
    }
    if (biased == 0 && fraction == 0) return "0.";

    std::uint64_t digits = 0;
    int exponent = 0;
    const std::uint32_t mantissa = biased != 0 ? (fraction | 0x800000u) : fraction;
    const int binaryExponent = (biased != 0 ? biased : 1) - 150;
    if (!roundTo10DigitsFast(mantissa, binaryExponent, digits, exponent))
        roundTo10Digits(mantissa, binaryExponent, digits, exponent);

    // The ten digits, d[0] first.
    char d[10];
    const auto high = static_cast<std::uint32_t>(digits / 100000000u); // 10 .. 99
    const auto low = static_cast<std::uint32_t>(digits % 100000000u);
    putTwoDigits(d, high);
    putTwoDigits(d + 2, low / 1000000u);
    putTwoDigits(d + 4, low / 10000u % 100u);
    putTwoDigits(d + 6, low / 100u % 100u);
    putTwoDigits(d + 8, low % 100u);

    // The text in one buffer: sign, digits with the point, the fraction's
    // trailing zeros dropped, the exponent.
    char out[24];
    char* o = out;
    if (negative) *o++ = '-';
    int last = 9; // the last digit kept
    if (exponent >= -1 && exponent <= 9) {
        while (last > exponent && d[last] == '0') --last;
        if (exponent == -1) {
            *o++ = '0';
            *o++ = '.';
        } else {
            std::memcpy(o, d, static_cast<std::size_t>(exponent + 1));
            o += exponent + 1;
            *o++ = '.';
        }
        std::memcpy(o, d + exponent + 1, static_cast<std::size_t>(last - exponent));
        o += last - exponent;
    } else {
        while (last > 0 && d[last] == '0') --last;
        *o++ = d[0];
        *o++ = '.';
        std::memcpy(o, d + 1, static_cast<std::size_t>(last));
        o += last;
        *o++ = 'e';
        *o++ = exponent < 0 ? '-' : '+';
        const int magnitude = exponent < 0 ? -exponent : exponent;
        *o++ = static_cast<char>('0' + magnitude / 100);
        putTwoDigits(o, static_cast<std::uint32_t>(magnitude % 100));
        o += 2;
    }
    return std::string(out, o);
}

std::string intText(std::int32_t n) {
    char buffer[12];
    char* p = buffer + sizeof buffer;
    std::uint32_t magnitude = n < 0 ? 0u - static_cast<std::uint32_t>(n) : static_cast<std::uint32_t>(n);
    do {
        *--p = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (n < 0) *--p = '-';
    return std::string(p, buffer + sizeof buffer);
}

std::string boolText(std::int32_t x) { return x != 0 ? "TRUE" : "FALSE"; }

} // namespace qem
