#include "host/signal.h"

#include "host/text.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <utility>

namespace qem::host {

double sinTurns(double x) {
    // Reduce to a quarter turn r in [-1/4, 1/4] with sin(2 pi x) = s * sin(2 pi r).
    double f = x - std::floor(x);   // [0, 1)
    if (f >= 0.5) f -= 1.0;         // [-1/2, 1/2)
    if (f > 0.25) f = 0.5 - f;      // sin(pi - a) = sin(a)
    else if (f < -0.25) f = -0.5 - f;
    const double kTwoPi = 6.283185307179586476925286766559;
    double y = f * kTwoPi;          // [-pi/2, pi/2]
    double y2 = y * y;
    // Taylor series to y^21: below 1e-16 relative error on this range.
    double term = y, sum = y;
    for (int k = 1; k <= 10; ++k) {
        term = -term * y2 / static_cast<double>((2 * k) * (2 * k + 1));
        sum = sum + term;
    }
    return sum;
}

Signal Signal::constant(float value) {
    Signal s;
    s.kind_ = Kind::Constant;
    s.a_ = value;
    return s;
}

Signal Signal::ramp(double from, double to, std::int64_t samples) {
    Signal s;
    s.kind_ = Kind::Ramp;
    s.a_ = from;
    s.b_ = to;
    s.n_ = samples > 0 ? samples : 1;
    return s;
}

Signal Signal::sine(double frequency, double amplitude, double offset, double sampleRate) {
    Signal s;
    s.kind_ = Kind::Sine;
    s.a_ = frequency;
    s.b_ = amplitude;
    s.c_ = offset;
    s.rate_ = sampleRate > 0 ? sampleRate : 44100;
    return s;
}

Signal Signal::file(const std::string& path, bool loop) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(path + ": cannot open the sample file");
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() % 4 != 0)
        throw std::runtime_error(path + ": " + std::to_string(bytes.size()) +
                                 " bytes is not a whole number of 32-bit float samples");
    Signal s;
    s.kind_ = Kind::File;
    s.loop_ = loop;
    s.path_ = path;
    s.samples_.resize(bytes.size() / 4);
    for (std::size_t i = 0; i < s.samples_.size(); ++i) {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + 4 * i);
        std::uint32_t bits = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
                             std::uint32_t(p[3]) << 24;
        std::memcpy(&s.samples_[i], &bits, 4);
    }
    return s;
}

Signal Signal::samples(std::vector<float> samples, std::string what) {
    Signal s;
    s.kind_ = Kind::File;
    s.samples_ = std::move(samples);
    s.what_ = std::move(what);
    return s;
}

float Signal::at(std::int64_t t) const {
    std::int64_t k = t - start_;
    if (k < 0) k = 0;
    switch (kind_) {
    case Kind::Constant: return static_cast<float>(a_);
    case Kind::Ramp:
        if (k >= n_) return static_cast<float>(b_);
        return static_cast<float>(a_ + (b_ - a_) * static_cast<double>(k) / static_cast<double>(n_));
    case Kind::Sine: {
        double turns = a_ * static_cast<double>(k) / rate_;
        return static_cast<float>(c_ + b_ * sinTurns(turns));
    }
    case Kind::File:
        if (samples_.empty()) return 0.0f;
        if (loop_) return samples_[static_cast<std::size_t>(k % static_cast<std::int64_t>(samples_.size()))];
        return k < static_cast<std::int64_t>(samples_.size()) ? samples_[static_cast<std::size_t>(k)] : 0.0f;
    }
    return 0.0f;
}

std::string Signal::describe() const {
    switch (kind_) {
    case Kind::Constant: return "const " + floatString(static_cast<float>(a_));
    case Kind::Ramp:
        return "ramp " + floatString(static_cast<float>(a_)) + " " + floatString(static_cast<float>(b_)) + " " +
               std::to_string(n_);
    case Kind::Sine:
        return "sine " + floatString(static_cast<float>(a_)) + " " + floatString(static_cast<float>(b_)) + " " +
               floatString(static_cast<float>(c_));
    case Kind::File:
        if (!what_.empty()) return what_;
        return "file " + quoteText(path_) + (loop_ ? " loop" : "");
    }
    return "?";
}

} // namespace qem::host
