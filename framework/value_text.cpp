#include "framework/value_text.h"

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

void appendThreeDigits(std::string& s, int v) {
    s += static_cast<char>('0' + v / 100);
    s += static_cast<char>('0' + v / 10 % 10);
    s += static_cast<char>('0' + v % 10);
}

void stripFractionZeros(std::string& s) {
    while (!s.empty() && s.back() == '0') s.pop_back();
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

    std::uint64_t digits = 0;
    int exponent = -1;
    if (biased != 0 || fraction != 0) {
        std::uint32_t mantissa = biased != 0 ? (fraction | 0x800000u) : fraction;
        int binaryExponent = (biased != 0 ? biased : 1) - 150;
        roundTo10Digits(mantissa, binaryExponent, digits, exponent);
    }

    char d[11];
    for (int i = 9; i >= 0; --i) {
        d[i] = static_cast<char>('0' + digits % 10);
        digits /= 10;
    }
    d[10] = '\0';

    std::string s;
    if (negative && (biased != 0 || fraction != 0)) s += '-';
    if (exponent >= -1 && exponent <= 9) {
        if (exponent == -1) {
            s += "0.";
            s.append(d, 10);
        } else {
            s.append(d, static_cast<std::size_t>(exponent + 1));
            s += '.';
            s.append(d + exponent + 1);
        }
        stripFractionZeros(s);
    } else {
        s += d[0];
        s += '.';
        s.append(d + 1, 9);
        stripFractionZeros(s);
        s += exponent < 0 ? "e-" : "e+";
        appendThreeDigits(s, exponent < 0 ? -exponent : exponent);
    }
    return s;
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
