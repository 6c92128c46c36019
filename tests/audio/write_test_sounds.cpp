// Writes the sound files the command tests play, into the folder given:
//   write_test_sounds DIR          the files of tests/audio/CMakeLists.txt
//   write_test_sounds DIR corpus   the fuzzer's seeds (tests/audio/fuzz/corpus)
#include "tests/audio/wav_writer.h"

#include <cstdio>
#include <string>
#include <vector>

using namespace qem::test;

namespace {

std::vector<double> constant(double v, int frames, int channels = 1, double other = 0) {
    std::vector<double> s;
    for (int i = 0; i < frames; ++i) {
        s.push_back(v);
        for (int c = 1; c < channels; ++c) s.push_back(other);
    }
    return s;
}

Bytes patched(Bytes b, std::size_t at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    return b;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: write_test_sounds DIR [corpus]\n");
        return 64;
    }
    const std::string dir = argv[1];
    bool ok = true;
    auto write = [&](const char* name, const Bytes& b) { ok = writeFile(dir + "/" + name, b) && ok; };
    if (argc > 2 && std::string(argv[2]) == "corpus") {
        write("pcm16_mono.wav", wavFile({1, 1, 44100, 16}, {0.5, -0.5, 0.25, 0}));
        write("pcm8_stereo.wav", wavFile({1, 2, 8000, 8}, {0.5, -0.5, 1, -1}));
        write("pcm24_list.wav", WavBuilder()
                                    .chunk("LIST", Bytes(5, 'a'))
                                    .fmt({1, 1, 48000, 24})
                                    .data(encodeSamples({1, 1, 48000, 24}, {0.1, -0.1}))
                                    .bytes());
        write("float32_ext.wav", wavFile({0xFFFE, 2, 96000, 32, 3}, {0.5, -0.25}));
        write("float64.wav", wavFile({3, 1, 22050, 64}, {0.125}));
        write("pcm32_data_first.wav", WavBuilder()
                                          .data(encodeSamples({1, 1, 44100, 32}, {-1, 1}))
                                          .fmt({1, 1, 44100, 32})
                                          .bytes());
        return ok ? 0 : 1;
    }
    // Played by the Volts monitor: a mean known in advance.
    write("quarter.wav", wavFile({1, 1, 44100, 16}, constant(0.25, 22050)));              // 0.5 s of 0.25
    write("stereo48.wav", wavFile({1, 2, 48000, 24}, constant(0.5, 4800, 2, -0.125)));  // 0.1 s, two levels
    write("float22.wav", wavFile({3, 1, 22050, 32}, constant(0.75, 2205)));             // 0.1 s of 0.75
    // Refused.
    const Bytes good = wavFile({1, 1, 44100, 16}, constant(0.25, 100));
    write("empty.wav", {});
    write("truncated.wav", Bytes(good.begin(), good.end() - 51));
    write("zero_channels.wav", patched(good, 22, 0, 2));
    write("rate_zero.wav", patched(good, 24, 0, 4));
    write("rate_negative.wav", patched(good, 24, 0xFFFF3CB0u, 4)); // -50000 as a signed field
    write("rate_huge.wav", patched(good, 24, 2000000, 4));
    return ok ? 0 : 1;
}
