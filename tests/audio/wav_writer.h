// Small WAV files built byte by byte, for the sound file tests, the files
// the command tests play, and the fuzzer's seeds.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace qem::test {

using Bytes = std::vector<std::uint8_t>;

inline void putLe(Bytes& b, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// The fmt chunk's fields; the block align and byte rate follow from them.
struct WavFormat {
    std::uint16_t tag = 1;        // 1 PCM, 3 float, 0xFFFE extensible
    std::uint16_t channels = 1;
    std::uint32_t rate = 44100;
    std::uint16_t bits = 16;
    std::uint16_t subformat = 1;  // for the extensible tag
};

// The body of a fmt chunk: 16 bytes, or 40 for the extensible tag.
inline Bytes fmtBody(const WavFormat& f) {
    Bytes b;
    const std::uint32_t align = f.channels * ((f.bits + 7u) / 8u);
    putLe(b, f.tag, 2);
    putLe(b, f.channels, 2);
    putLe(b, f.rate, 4);
    putLe(b, std::uint64_t{f.rate} * align, 4);
    putLe(b, align, 2);
    putLe(b, f.bits, 2);
    if (f.tag == 0xFFFE) {
        putLe(b, 22, 2);     // extension size
        putLe(b, f.bits, 2); // valid bits
        putLe(b, 0, 4);      // channel mask
        putLe(b, f.subformat, 2);
        const std::uint8_t tail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                       0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        b.insert(b.end(), tail, tail + sizeof tail);
    }
    return b;
}

// A RIFF WAVE file of chunks in the order added; the RIFF length is filled
// in by bytes(). Chunks of odd length get their pad byte.
class WavBuilder {
public:
    WavBuilder& chunk(const char* id, const Bytes& body, std::uint32_t declared) {
        chunks_.insert(chunks_.end(), id, id + 4);
        putLe(chunks_, declared, 4);
        chunks_.insert(chunks_.end(), body.begin(), body.end());
        if (body.size() % 2 == 1) chunks_.push_back(0);
        return *this;
    }
    WavBuilder& chunk(const char* id, const Bytes& body) {
        return chunk(id, body, static_cast<std::uint32_t>(body.size()));
    }
    WavBuilder& fmt(const WavFormat& f) { return chunk("fmt ", fmtBody(f)); }
    WavBuilder& data(const Bytes& samples) { return chunk("data", samples); }
    Bytes bytes() const {
        Bytes b{'R', 'I', 'F', 'F'};
        putLe(b, chunks_.size() + 4, 4);
        b.insert(b.end(), {'W', 'A', 'V', 'E'});
        b.insert(b.end(), chunks_.begin(), chunks_.end());
        return b;
    }

private:
    Bytes chunks_;
};

// Sample bytes of a format from values in [-1, 1]: integers rounded and
// held within their range (8-bit stored unsigned), floats as they are.
inline Bytes encodeSamples(const WavFormat& f, const std::vector<double>& interleaved) {
    Bytes b;
    const bool isFloat = f.tag == 3 || (f.tag == 0xFFFE && f.subformat == 3);
    for (double v : interleaved) {
        if (isFloat && f.bits == 32) {
            float x = static_cast<float>(v);
            std::uint32_t u;
            std::memcpy(&u, &x, 4);
            putLe(b, u, 4);
        } else if (isFloat) {
            std::uint64_t u;
            std::memcpy(&u, &v, 8);
            putLe(b, u, 8);
        } else {
            const double full = std::ldexp(1.0, f.bits - 1);
            double n = std::nearbyint(v * full);
            n = n < -full ? -full : n > full - 1 ? full - 1 : n;
            auto i = static_cast<std::int64_t>(n);
            if (f.bits <= 8) i += 128;
            putLe(b, static_cast<std::uint64_t>(i), (f.bits + 7) / 8);
        }
    }
    return b;
}

// A whole file: format and interleaved samples.
inline Bytes wavFile(const WavFormat& f, const std::vector<double>& interleaved) {
    return WavBuilder().fmt(f).data(encodeSamples(f, interleaved)).bytes();
}

inline bool writeFile(const std::string& path, const Bytes& b) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    return static_cast<bool>(out);
}

} // namespace qem::test
