// floatText against the independent oracle on every 4099th of the 2^32 bit
// patterns (about a million, both signs, every exponent, subnormals, NaNs);
// 4099 is prime, so the stride walks through every mantissa residue. The
// whole range runs on demand: bench/framework/float_text_exhaustive.
#include "framework/value_text.h"
#include "tests/support/float_text_oracle.h"

#include <gtest/gtest.h>

#include <cfenv>

namespace qem {
namespace {

TEST(FloatTextOracle, AgreesOnAStrideOfAllBitPatterns) {
    const int saved = std::fegetround();
    std::fesetround(FE_TOWARDZERO); // the oracle's truncating conversion
    int differences = 0;
    std::uint64_t checked = 0;
    for (std::uint64_t b = 0; b < (std::uint64_t(1) << 32); b += 4099, ++checked) {
        const auto bits = static_cast<std::uint32_t>(b);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        const std::string want = test::floatTextOracle(bits);
        const std::string got = floatText(f);
        if (got != want && ++differences <= 20) ADD_FAILURE() << std::hex << "0x" << bits << ": floatText " << got
                                                              << ", oracle " << want;
    }
    std::fesetround(saved);
    EXPECT_EQ(differences, 0) << "of " << checked << " patterns";
}

} // namespace
} // namespace qem
