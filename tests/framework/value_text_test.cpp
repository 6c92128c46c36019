#include "framework/value_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

namespace qem {
namespace {

struct FloatCase {
    std::uint32_t bits;
    const char* text;
};

float fromBits(std::uint32_t b) { return std::bit_cast<float>(b); }
std::uint32_t bitsOf(float f) { return std::bit_cast<std::uint32_t>(f); }

TEST(FloatText, WorkedExamplesAndBoundaries) {
    const FloatCase cases[] = {
        {bitsOf(0.0f), "0."},
        {bitsOf(1.0f), "1."},
        {bitsOf(-2.5f), "-2.5"},
        {bitsOf(0.5f), "0.5"},
        {bitsOf(100.0f), "100."},
        {bitsOf(0.1f), "0.1000000015"},
        {bitsOf(1.0f / 3.0f), "0.3333333433"},
        {bitsOf(12345.678f), "12345.67773"},
        {bitsOf(1e9f), "1000000000."},
        {bitsOf(1e10f), "1.e+010"},
        {bitsOf(0.05f), "5.000000075e-002"},
        {bitsOf(0.01f), "9.999999776e-003"},
        {0x80000000u, "0."},               // negative zero
        {0x7F800000u, "1.#INF"},
        {0xFF800000u, "-1.#INF"},
        {0xFFC00000u, "-1.#IND"},          // the indefinite NaN
        {0x7FC00000u, "1.#QNAN"},
        {0xFFC00001u, "-1.#QNAN"},         // sign and a payload: not indefinite
        {0x7F800001u, "1.#QNAN"},          // signalling NaN
        {0xFF800001u, "-1.#QNAN"},
        // Around 0.1: the float just below 0.1 is already scientific.
        {bitsOf(0.1f) - 1, "9.999999404e-002"},
        // Around 1e10: the float just below is still fixed.
        {bitsOf(1e10f) - 1, "9999998976."},
        {bitsOf(std::numeric_limits<float>::max()), "3.402823466e+038"},
        {bitsOf(-std::numeric_limits<float>::max()), "-3.402823466e+038"},
        {bitsOf(std::numeric_limits<float>::min()), "1.175494351e-038"},   // smallest normal
        {0x007FFFFFu, "1.175494211e-038"},                                   // largest subnormal
        {0x00000001u, "1.401298464e-045"},                                   // smallest subnormal
        {0x80000001u, "-1.401298464e-045"},
        // An exact tie at the eleventh digit (2^-15 = 3.0517578125e-05) rounds up.
        {bitsOf(std::ldexp(1.0f, -15)), "3.051757813e-005"},
        {bitsOf(16777216.0f), "16777216."},
        {bitsOf(123456789.0f), "123456792."},
        {bitsOf(0.125f), "0.125"},
        {bitsOf(-0.75f), "-0.75"},
    };
    for (const FloatCase& c : cases) EXPECT_EQ(floatText(fromBits(c.bits)), c.text) << std::hex << c.bits;
}

// Rounding to ten digits never carries into a new leading digit: that
// would take a float within 5e-11 (relative) below a power of ten, and the
// closest there is lies 1.8e-10 below 1e-23. The largest float below each
// power of ten 10^k keeps the leading digit 9 and the exponent k - 1.
TEST(FloatText, NoFloatRoundsUpToThePowerOfTenAboveIt) {
    for (int k = -44; k <= 38; ++k) {
        const double power = std::pow(10.0, k); // far closer to 10^k than any two floats are
        float below = static_cast<float>(power);
        while (static_cast<double>(below) >= power) below = std::nextafter(below, 0.0f);
        const std::string text = floatText(below);
        SCOPED_TRACE(text);
        if (k == 0) {
            EXPECT_EQ(text.rfind("0.9", 0), 0u);
        } else if (k >= 1 && k <= 10) {
            EXPECT_EQ(text[0], '9');
            EXPECT_EQ(text.find('.'), static_cast<std::size_t>(k)) << "integer digits below 10^" << k;
        } else {
            char exponent[8];
            std::snprintf(exponent, sizeof exponent, "e%c%03d", k - 1 < 0 ? '-' : '+', std::abs(k - 1));
            EXPECT_EQ(text.rfind("9.", 0), 0u);
            EXPECT_NE(text.find(exponent), std::string::npos) << "exponent below 10^" << k;
        }
    }
}

TEST(IntText, SignedDecimal) {
    const std::pair<std::int32_t, const char*> cases[] = {
        {0, "0"}, {-5, "-5"}, {7, "7"}, {2147483647, "2147483647"}, {INT32_MIN, "-2147483648"}, {1000, "1000"},
    };
    for (auto [n, text] : cases) EXPECT_EQ(intText(n), text) << n;
}

TEST(BoolText, NonzeroIsTrue) {
    const std::pair<std::int32_t, const char*> cases[] = {
        {0, "FALSE"}, {1, "TRUE"}, {-1, "TRUE"}, {256, "TRUE"}, {INT32_MIN, "TRUE"},
    };
    for (auto [x, text] : cases) EXPECT_EQ(boolText(x), text) << x;
}

} // namespace
} // namespace qem
