// Every packed message the formatter can be given (status 0..255, both data
// bytes 0..255): the line is the same every time, printable ASCII only,
// never cut short, and starts with the right channel field or a system text.
#include "modules/midi/midi_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace qem {
namespace {

// "Ch:" and the channel, then "|": the whole first field.
std::string channelField(std::uint32_t status) { return "Ch:" + std::to_string((status & 0xF) + 1) + "|"; }

// QEM_MIDI_EXHAUSTIVE_STRIDE=n checks every n-th pair of data bytes for
// every status byte (a quicker run on slow targets); unset or 1 checks all.
std::uint32_t dataStride() {
    const char* s = std::getenv("QEM_MIDI_EXHAUSTIVE_STRIDE");
    long n = s != nullptr ? std::strtol(s, nullptr, 10) : 1;
    return n >= 1 && n <= 65536 ? static_cast<std::uint32_t>(n) : 1;
}

TEST(FormatMidiMessageExhaustive, EveryPackedMessage) {
    const std::uint32_t stride = dataStride();
    std::uint64_t failures = 0;
    std::uint64_t checked = 0;
    for (std::uint32_t status = 0; status < 256; ++status) {
        const bool system = (status & 0xF0) == 0xF0;
        const std::string expectedStart = system ? std::string("SYSTEM: ") : channelField(status);
        for (std::uint32_t data = 0; data < 0x10000; data += stride) {
            const auto message = static_cast<std::int32_t>(status | (data << 8));
            const std::string first = formatMidiMessage(message);
            const std::string second = formatMidiMessage(message);
            ++checked;
            bool printable = true;
            for (char c : first) printable = printable && c >= 0x20 && c <= 0x7E;
            const bool ok = first == second && printable && first.size() < kMaxMidiTextLength &&
                            first.compare(0, expectedStart.size(), expectedStart) == 0;
            if (!ok && ++failures <= 10) {
                ADD_FAILURE() << "message 0x" << std::hex << message << ": \"" << first << "\" then \"" << second
                              << "\"";
            }
        }
    }
    EXPECT_EQ(failures, 0u);
    EXPECT_EQ(checked, std::uint64_t{256} * ((0x10000 + stride - 1) / stride));
}

} // namespace
} // namespace qem
