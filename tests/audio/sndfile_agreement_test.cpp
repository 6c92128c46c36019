// The native build only: the host's WAV reader gives every sample bit for
// bit as libsndfile gives it (so both builds of qemhost feed a module the
// same floats), and the formats only libsndfile reads (AIFF, FLAC) reach
// the host, cut-short ones refused.
#include "host/sound_file.h"
#include "host/wav_file.h"
#include "tests/audio/wav_writer.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace qem::host {
namespace {

using test::Bytes;
using test::WavFormat;

std::string tempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() / ("qem_sndfile_agreement_" + name)).string();
}

// Channel `channel` (from 1) of a file as libsndfile reads it into floats.
std::vector<float> sndfileChannel(const std::string& path, int channel) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
    if (f == nullptr) return {};
    std::vector<float> all(static_cast<std::size_t>(info.frames * info.channels));
    EXPECT_EQ(sf_readf_float(f, all.data(), info.frames), info.frames);
    sf_close(f);
    std::vector<float> out;
    for (sf_count_t i = 0; i < info.frames; ++i) out.push_back(all[static_cast<std::size_t>(i * info.channels + channel - 1)]);
    return out;
}

// Sample values meant to find a scaling fault: every 8- and 16-bit code,
// the ends and their neighbours, and spread values (with 32-bit ones that
// do not fit a float's 24 bits, where the rounding shows).
std::vector<double> probeValues(int bits, bool isFloat) {
    std::vector<double> v;
    std::mt19937 rng(bits);
    if (isFloat) {
        for (double d : {0.0, -0.0, 1.0, -1.0, 1e-40, 3.4e38, 1e39, 0.1, 1.0 / 3, 2.5, -7.0}) v.push_back(d);
        std::uniform_real_distribution<double> u(-2.0, 2.0);
        for (int i = 0; i < 4000; ++i) v.push_back(u(rng));
        return v;
    }
    const std::int64_t full = std::int64_t{1} << (bits - 1);
    if (bits <= 16) {
        for (std::int64_t i = -full; i < full; ++i) v.push_back(static_cast<double>(i) / full);
        return v;
    }
    for (std::int64_t i : {-full, -full + 1, std::int64_t{-1}, std::int64_t{0}, std::int64_t{1}, full - 2, full - 1})
        v.push_back(static_cast<double>(i) / full);
    std::uniform_int_distribution<std::int64_t> u(-full, full - 1);
    for (int i = 0; i < 20000; ++i) v.push_back(static_cast<double>(u(rng)) / full);
    return v;
}

TEST(SndfileAgreement, WavSamplesBitForBit) {
    const WavFormat formats[] = {
        {1, 1, 8000, 8},  {1, 2, 44100, 16}, {1, 1, 48000, 24},      {1, 2, 96000, 32},
        {3, 1, 44100, 32}, {3, 2, 44100, 64}, {0xFFFE, 2, 44100, 24, 1}, {0xFFFE, 1, 44100, 32, 3},
    };
    for (const WavFormat& f : formats) {
        const bool isFloat = f.tag == 3 || (f.tag == 0xFFFE && f.subformat == 3);
        SCOPED_TRACE(std::to_string(f.bits) + (isFloat ? "-bit float" : "-bit PCM") +
                     (f.tag == 0xFFFE ? " extensible" : "") + ", " + std::to_string(f.channels) + " channel(s)");
        const std::vector<double> values = probeValues(f.bits, isFloat);
        // Channel 1 the probe values, channel 2 (if any) the same reversed.
        std::vector<double> interleaved;
        for (std::size_t i = 0; i < values.size(); ++i) {
            interleaved.push_back(values[i]);
            if (f.channels == 2) interleaved.push_back(values[values.size() - 1 - i]);
        }
        const std::string path = tempPath("probe.wav");
        ASSERT_TRUE(test::writeFile(path, test::wavFile(f, interleaved)));
        for (int channel = 1; channel <= f.channels; ++channel) {
            const std::vector<float> ours = readWavFile(path, channel).samples;
            const std::vector<float> theirs = sndfileChannel(path, channel);
            ASSERT_EQ(ours.size(), theirs.size());
            EXPECT_EQ(std::memcmp(ours.data(), theirs.data(), ours.size() * sizeof(float)), 0);
            for (std::size_t i = 0; i < ours.size(); ++i) {
                if (std::memcmp(&ours[i], &theirs[i], sizeof(float)) != 0) {
                    ADD_FAILURE() << "channel " << channel << " sample " << i << ": " << ours[i] << " but libsndfile "
                                  << theirs[i];
                    break;
                }
            }
            // And what the native qemhost plays is libsndfile's.
            EXPECT_EQ(readSoundChannel(path, channel).samples, theirs);
        }
        std::filesystem::remove(path);
    }
}

// A file libsndfile writes, in a format only it reads here.
std::string writeWithSndfile(const std::string& name, int format, int rate, const std::vector<short>& samples) {
    const std::string path = tempPath(name);
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
    if (f != nullptr) {
        sf_write_short(f, samples.data(), static_cast<sf_count_t>(samples.size()));
        sf_close(f);
    }
    return path;
}

Bytes readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(SndfileFormats, AiffAndFlacReachTheHost) {
    std::vector<short> samples;
    for (int i = 0; i < 5000; ++i) samples.push_back(static_cast<short>((i * 37) % 65536 - 32768));
    const struct {
        const char* name;
        int format;
        const char* encoding;
    } cases[] = {
        {"x.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, "AIFF (Apple/SGI), Signed 16 bit PCM"},
        {"x.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, "FLAC (Free Lossless Audio Codec), Signed 16 bit PCM"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = writeWithSndfile(c.name, c.format, 32000, samples);
        const SoundChannel s = readSoundChannel(path, 1);
        EXPECT_EQ(s.sampleRate, 32000);
        EXPECT_EQ(s.encoding, c.encoding);
        ASSERT_EQ(s.samples.size(), samples.size());
        for (std::size_t i = 0; i < samples.size(); ++i)
            ASSERT_EQ(s.samples[i], static_cast<float>(samples[i]) / 32768.0f) << "sample " << i;
        std::filesystem::remove(path);
    }
}

TEST(SndfileFormats, FaultsOfOtherFormats) {
    std::vector<short> samples; // noise, so that FLAC has frames to cut
    std::mt19937 rng(7);
    for (int i = 0; i < 20000; ++i) samples.push_back(static_cast<short>(rng() % 20000) - 10000);
    const std::string aiff = writeWithSndfile("good.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 44100, samples);
    const std::string flac = writeWithSndfile("good.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, samples);
    const Bytes aiffBytes = readBytes(aiff), flacBytes = readBytes(flac);
    std::filesystem::remove(aiff);
    std::filesystem::remove(flac);
    const std::size_t comm = std::string(aiffBytes.begin(), aiffBytes.end()).find("COMM");
    ASSERT_NE(comm, std::string::npos);
    auto aiffWith = [&](std::size_t at, Bytes field) {
        Bytes b = aiffBytes;
        std::copy(field.begin(), field.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
        return b;
    };
    // COMM: id, length, channels (2), frames (4), bits (2), rate (80-bit float).
    const Bytes twoMegahertz = {0x40, 0x13, 0xF4, 0x24, 0, 0, 0, 0, 0, 0}; // 2^20 x 1.9073486328125
    const struct {
        const char* name;
        Bytes bytes;
        const char* reason;
    } cases[] = {
        {"cut.aiff", Bytes(aiffBytes.begin(), aiffBytes.begin() + 1000),
         "the SSND chunk declares 40008 bytes but "},
        {"cut.flac", Bytes(flacBytes.begin(), flacBytes.begin() + static_cast<std::ptrdiff_t>(flacBytes.size() / 2)),
         "frames: cut short or damaged"},
        {"header.flac", Bytes(flacBytes.begin(), flacBytes.begin() + 30), "libsndfile cannot read it: "},
        {"channels.aiff", aiffWith(comm + 8, {0, 0}), "libsndfile cannot read it: "},
        {"rate.aiff", aiffWith(comm + 16, twoMegahertz), "a sample rate of 2000000 Hz (1 to 1000000 expected)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = tempPath(c.name);
        ASSERT_TRUE(test::writeFile(path, c.bytes));
        try {
            readSoundChannel(path, 1);
            ADD_FAILURE() << "read without an error";
        } catch (const SoundFileError& e) {
            EXPECT_EQ(std::string(e.what()).rfind(path + ": ", 0), 0u) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
        }
        std::filesystem::remove(path);
    }
}

} // namespace
} // namespace qem::host
