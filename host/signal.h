// The audio a scenario feeds into an audio input pin: a constant, a ramp,
// a sine or samples read from a file. Every generator computes a sample
// from its absolute clock with plain IEEE double arithmetic only, so both
// builds feed bit-identical samples.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qem::host {

class Signal {
public:
    static Signal constant(float value);
    // From `from` to `to` in `samples` samples, then holds `to`.
    static Signal ramp(double from, double to, std::int64_t samples);
    static Signal sine(double frequency, double amplitude, double offset, double sampleRate);
    // Raw 32-bit little-endian floats; after the last one the signal is 0,
    // or starts again when `loop`. Throws std::runtime_error naming the file.
    static Signal file(const std::string& path, bool loop);
    // Samples already in memory (a sound file's channel); after the last one
    // the signal is 0. describe() gives `what`.
    static Signal samples(std::vector<float> samples, std::string what);

    // The sample at absolute clock t; the signal starts at `start`.
    float at(std::int64_t t) const;
    void startAt(std::int64_t start) { start_ = start; }
    std::string describe() const;

private:
    enum class Kind { Constant, Ramp, Sine, File };
    Kind kind_ = Kind::Constant;
    double a_ = 0, b_ = 0, c_ = 0, rate_ = 44100;
    std::int64_t n_ = 0;
    std::int64_t start_ = 0;
    bool loop_ = false;
    std::string path_;
    std::string what_; // describe()'s text for samples(), else empty
    std::vector<float> samples_;
};

// sin(2 pi x) from + - * and floor only: identical wherever doubles are
// IEEE and no operation is fused.
double sinTurns(double x);

} // namespace qem::host
