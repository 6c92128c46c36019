// The standard-library forms the benchmarks measure floatText and
// formatMidiMessage against must write the very same text, or their ratio
// compares different work: on the benchmarks' own inputs, on a stride of
// every float, on exact ties (which the library rounds to even and the
// rule half away from zero), and on every packed MIDI message.
#include "bench/support/baselines.h"
#include "framework/value_text.h"
#include "modules/midi/midi_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdlib>

namespace qem {
namespace {

using FloatForm = std::string (*)(float);

struct Form {
    const char* name;
    FloatForm text;
};
const Form kForms[] = {{"snprintf", &bench::floatTextBySnprintf}, {"to_chars", &bench::floatTextByToChars}};

// Counts (and shows the first few of) the inputs where a form differs.
int differences(const Form& form, const std::vector<float>& inputs) {
    int n = 0;
    for (float v : inputs) {
        const std::string want = floatText(v), got = form.text(v);
        if (got != want && ++n <= 5)
            ADD_FAILURE() << form.name << " 0x" << std::hex << std::bit_cast<std::uint32_t>(v) << ": " << got
                          << ", floatText " << want;
    }
    return n;
}

TEST(FloatTextBaselines, SameTextOnTheBenchmarkInputsAndAStrideOfAllFloats) {
    std::vector<float> stride;
    for (std::uint64_t b = 0; b < (std::uint64_t(1) << 32); b += 65537) // prime: every exponent, both signs
        stride.push_back(std::bit_cast<float>(static_cast<std::uint32_t>(b)));
    for (const Form& form : kForms) {
        EXPECT_EQ(differences(form, bench::randomBitPatterns(4096)), 0) << form.name;
        EXPECT_EQ(differences(form, bench::everydayValues(4096)), 0) << form.name;
        EXPECT_EQ(differences(form, stride), 0) << form.name;
    }
}

TEST(FloatTextBaselines, ExactTiesRoundHalfAwayFromZero) {
    // Each has exactly eleven significant digits, the last a 5, and an even
    // tenth digit: rounding to even would keep it.
    struct Tie {
        std::uint32_t bits;
        const char* text;
    };
    const Tie ties[] = {
        {0x40A7C800u, "5.243164063"},  // 5.2431640625
        {0xC0A7C800u, "-5.243164063"}, // away from zero on the negative side too
        {0x42454A00u, "49.32226563"},  // 49.322265625
        {0x44164E40u, "601.2226563"},  // 601.22265625
        {0x457A2320u, "4002.195313"},  // 4002.1953125
    };
    for (const Tie& t : ties) {
        const float v = std::bit_cast<float>(t.bits);
        EXPECT_EQ(floatText(v), t.text);
        for (const Form& form : kForms) EXPECT_EQ(form.text(v), t.text) << form.name;
    }
}

// QEM_MIDI_EXHAUSTIVE_STRIDE=n checks every n-th pair of data bytes for
// every status byte (as the formatter's own exhaustive test does).
TEST(MidiTextBaseline, SameLineForEveryPackedMessage) {
    const char* s = std::getenv("QEM_MIDI_EXHAUSTIVE_STRIDE");
    const long stride = s != nullptr && std::atol(s) >= 1 ? std::atol(s) : 1;
    int n = 0;
    auto check = [&](std::int32_t m) {
        const std::string want = formatMidiMessage(m), got = bench::midiTextBySnprintf(m);
        if (got != want && ++n <= 5) ADD_FAILURE() << std::hex << "0x" << m << ": \"" << got << "\", formatMidiMessage \"" << want << "\"";
    };
    for (std::int32_t m : bench::realisticMidiMix(4096)) check(m);
    for (std::uint32_t status = 0; status < 256; ++status)
        for (std::uint32_t data = 0; data < 65536; data += static_cast<std::uint32_t>(stride))
            check(static_cast<std::int32_t>(status | (data << 8)));
    EXPECT_EQ(n, 0);
}

} // namespace
} // namespace qem
