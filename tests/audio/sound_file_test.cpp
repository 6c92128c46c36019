// The host's WAV reader and the checks every sound file passes: each
// encoding scaled as libsndfile scales it, one channel of many, chunks
// skipped, and a table of faulty files, each with the offset its error
// names. Runs in both builds (under Wine the reader is what qemhost.exe
// plays files with).
#include "host/sound_file.h"
#include "host/wav_file.h"
#include "tests/audio/wav_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

namespace qem::host {
namespace {

using test::Bytes;
using test::putLe;
using test::WavBuilder;
using test::WavFormat;

std::uint32_t bitsOf(float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

void expectSameBits(const std::vector<float>& got, const std::vector<float>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i)
        EXPECT_EQ(bitsOf(got[i]), bitsOf(want[i])) << "sample " << i << ": " << got[i] << " for " << want[i];
}

Bytes ints(std::initializer_list<std::int64_t> values, int bytes) {
    Bytes b;
    for (std::int64_t v : values) putLe(b, static_cast<std::uint64_t>(v), bytes);
    return b;
}

Bytes floats32(std::initializer_list<float> values) {
    Bytes b;
    for (float v : values) putLe(b, bitsOf(v), 4);
    return b;
}

Bytes floats64(std::initializer_list<double> values) {
    Bytes b;
    for (double v : values) {
        std::uint64_t u;
        std::memcpy(&u, &v, 8);
        putLe(b, u, 8);
    }
    return b;
}

std::string tempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() / ("qem_sound_file_test_" + name)).string();
}

TEST(WavDecode, EachEncodingScaledAsLibsndfileScalesIt) {
    const float k31 = std::ldexp(1.0f, -31);
    const struct {
        const char* name;
        WavFormat format;
        Bytes samples;
        std::vector<float> expected;
        const char* encoding;
    } cases[] = {
        {"8-bit is unsigned, over 128", {1, 1, 8000, 8}, {0, 1, 127, 128, 129, 255},
         {-1.0f, -127.0f / 128, -1.0f / 128, 0.0f, 1.0f / 128, 127.0f / 128}, "WAV, 8-bit PCM"},
        {"16-bit over 32768", {1, 1, 44100, 16}, ints({-32768, -1, 0, 1, 32767}, 2),
         {-1.0f, -1.0f / 32768, 0.0f, 1.0f / 32768, 32767.0f / 32768}, "WAV, 16-bit PCM"},
        {"12-bit stored as 16", {1, 1, 44100, 12}, ints({0x7FF0, -0x8000, 0x0010}, 2),
         {32752.0f / 32768, -1.0f, 16.0f / 32768}, "WAV, 12-bit PCM"},
        {"24-bit over 8388608, sign from the third byte", {1, 1, 48000, 24},
         ints({-8388608, -1, 0, 1, 8388607, 0x123456}, 3),
         {-1.0f, -1.0f / 8388608, 0.0f, 1.0f / 8388608, 8388607.0f / 8388608, 0x123456 / 8388608.0f},
         "WAV, 24-bit PCM"},
        {"32-bit rounded to float, then over 2^31", {1, 1, 96000, 32},
         ints({std::numeric_limits<std::int32_t>::min(), -1, 0, 1, std::numeric_limits<std::int32_t>::max(),
               16777217},
              4),
         {-1.0f, -k31, 0.0f, k31, 1.0f, std::ldexp(1.0f, -7)}, "WAV, 32-bit PCM"},
        {"32-bit float as stored, beyond 1 too", {3, 1, 44100, 32}, floats32({0.5f, -0.25f, 1.5f, -0.0f}),
         {0.5f, -0.25f, 1.5f, -0.0f}, "WAV, 32-bit float"},
        {"64-bit float rounded to 32", {3, 1, 44100, 64}, floats64({0.1, 1e-50, -3.0}),
         {0.1f, 0.0f, -3.0f}, "WAV, 64-bit float"},
        {"extensible 24-bit PCM", {0xFFFE, 1, 44100, 24, 1}, ints({-8388608, 4194304}, 3), {-1.0f, 0.5f},
         "WAV (extensible), 24-bit PCM"},
        {"extensible 32-bit float", {0xFFFE, 1, 44100, 32, 3}, floats32({0.75f, -2.0f}), {0.75f, -2.0f},
         "WAV (extensible), 32-bit float"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes file = WavBuilder().fmt(c.format).data(c.samples).bytes();
        const SoundChannel s = parseWav(file.data(), file.size(), 1);
        EXPECT_EQ(s.channels, 1);
        EXPECT_EQ(s.sampleRate, c.format.rate);
        EXPECT_EQ(s.encoding, c.encoding);
        expectSameBits(s.samples, c.expected);
    }
}

TEST(WavDecode, OneChannelOfManyCountedFromOne) {
    const WavFormat f{1, 3, 44100, 16};
    const Bytes file = WavBuilder().fmt(f).data(ints({1, 2, 3, 4, 5, 6}, 2)).bytes();
    const struct {
        int channel;
        std::vector<float> expected;
    } cases[] = {{1, {1.0f / 32768, 4.0f / 32768}}, {2, {2.0f / 32768, 5.0f / 32768}}, {3, {3.0f / 32768, 6.0f / 32768}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.channel);
        const SoundChannel s = parseWav(file.data(), file.size(), c.channel);
        EXPECT_EQ(s.channels, 3);
        EXPECT_EQ(s.channel, c.channel);
        expectSameBits(s.samples, c.expected);
    }
}

TEST(WavLayout, ChunksAroundTheSamplesAreSkipped) {
    const WavFormat f{1, 1, 44100, 16};
    const Bytes two = ints({0x4000, -0x4000}, 2);
    Bytes partial = two;
    partial.push_back(0x7F); // half a frame more: not read
    const struct {
        const char* name;
        Bytes file;
    } cases[] = {
        {"a LIST chunk before fmt", WavBuilder().chunk("LIST", Bytes(10, 'x')).fmt(f).data(two).bytes()},
        {"an odd chunk and its pad byte", WavBuilder().fmt(f).chunk("junk", Bytes(3, 0xFF)).data(two).bytes()},
        {"data before fmt", WavBuilder().data(two).fmt(f).bytes()},
        {"a part of a frame at the end of data", WavBuilder().fmt(f).data(partial).bytes()},
        {"chunks after data, one cut short", [&] {
             Bytes b = WavBuilder().fmt(f).data(two).chunk("id3 ", Bytes(4, 1)).bytes();
             b.insert(b.end(), {'L', 'I', 'S', 'T', 0xFF, 0xFF});
             return b;
         }()},
        {"a second fmt chunk after the first is ignored",
         WavBuilder().fmt(f).chunk("fmt ", test::fmtBody({1, 2, 8000, 8})).data(two).bytes()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const SoundChannel s = parseWav(c.file.data(), c.file.size(), 1);
        EXPECT_EQ(s.sampleRate, 44100);
        expectSameBits(s.samples, {0.5f, -0.5f});
    }
}

// A file whose fmt chunk is changed at one byte offset (from the start of
// the file) to a 16-bit value or a 32-bit value.
Bytes patched(Bytes b, std::size_t at, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    return b;
}

const WavFormat kMono16{1, 1, 44100, 16};
const Bytes kGood = test::wavFile(kMono16, {0.5, -0.5}); // fmt header at 12, body at 20, data header at 36

struct BadFile {
    const char* name;
    Bytes bytes;
    std::uint64_t offset;
    const char* reason;
};

std::vector<BadFile> badFiles() {
    Bytes extensible = WavBuilder().fmt({0xFFFE, 1, 44100, 16, 1}).data(ints({1}, 2)).bytes();
    extensible[20 + 24 + 2] ^= 0xFF; // the GUID's tail
    return {
        {"empty", {}, 0, "the file is empty"},
        {"a RIFF header cut short", {'R', 'I', 'F', 'F'}, 0, "the RIFF header is cut short (4 of 12 bytes)"},
        {"not RIFF", {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1}, 0, "not a WAV file"},
        {"big-endian RIFX", {'R', 'I', 'F', 'X', 4, 0, 0, 0, 'W', 'A', 'V', 'E'}, 0, "big-endian (RIFX)"},
        {"RF64", {'R', 'F', '6', '4', 4, 0, 0, 0, 'W', 'A', 'V', 'E'}, 0, "an RF64 file"},
        {"no chunk at all", Bytes(kGood.begin(), kGood.begin() + 12), 12, "the file ends without a fmt chunk"},
        {"no data chunk", WavBuilder().fmt(kMono16).bytes(), 36, "the file ends without a data chunk"},
        {"an odd chunk's pad byte missing at the end", [] {
             Bytes b = WavBuilder().chunk("LIST", Bytes(5, 'a')).bytes();
             b.pop_back();
             return b;
         }(), 25, "the file ends without a fmt chunk"},
        {"a chunk header cut short", Bytes(kGood.begin(), kGood.begin() + 17), 12,
         "chunk header cut short by the end of the file (5 of 8 bytes)"},
        {"a fmt chunk of 14 bytes", WavBuilder().chunk("fmt ", Bytes(14, 1)).data(ints({1}, 2)).bytes(), 12,
         "fmt chunk of 14 bytes (16 at least expected)"},
        {"a fmt chunk past the end", Bytes(kGood.begin(), kGood.begin() + 30), 12,
         "chunk \"fmt \" of 16 bytes runs past the end of the file (10 bytes left)"},
        {"a binary chunk name past the end", WavBuilder().chunk("\x01xy\"", {}, 100).bytes(), 12,
         "chunk \"\\x01xy\\x22\" of 100 bytes runs past the end of the file (0 bytes left)"},
        {"data cut short", Bytes(kGood.begin(), kGood.end() - 1), 36,
         "the data chunk declares 4 bytes but 3 follow: the file is cut short"},
        {"a header never finished", patched(kGood, 40, 0xFFFFFFFF, 4), 36,
         "declares 4294967295 bytes but 4 follow"},
        {"zero channels", patched(kGood, 22, 0, 2), 22, "the file declares 0 channels"},
        {"a sample rate of 0", patched(kGood, 24, 0, 4), 24, "a sample rate of 0 Hz (1 to 1000000 expected)"},
        {"a negative sample rate as a signed field", patched(kGood, 24, 0x80000000u, 4), 24,
         "a sample rate of 2147483648 Hz"},
        {"a sample rate above 1 MHz", patched(kGood, 24, 1000001, 4), 24, "a sample rate of 1000001 Hz"},
        {"0 bits per sample", patched(kGood, 34, 0, 2), 34, "0 bits per sample"},
        {"an extensible fmt chunk of 16 bytes", patched(kGood, 20, 0xFFFE, 2), 12,
         "fmt chunk of 16 bytes, too short for WAVE_FORMAT_EXTENSIBLE (40 expected)"},
        {"an extensible subformat of another kind", extensible, 44, "subformat is not a WAVE format code"},
        {"no whole frame", WavBuilder().fmt(kMono16).data({0x01}).bytes(), 36, "the data chunk holds no samples"},
        {"no frame at all", WavBuilder().fmt(kMono16).data({}).bytes(), 36, "the data chunk holds no samples"},
        {"A-law", WavBuilder().fmt({6, 1, 8000, 8}).data({0x55}).bytes(), 20,
         "WAV, format 0x0006 of 8 bits is not an encoding this reader decodes"},
        {"48-bit PCM", WavBuilder().fmt({1, 1, 8000, 48}).data(Bytes(6, 0)).bytes(), 20,
         "WAV, 48-bit PCM is not an encoding"},
        {"16-bit float", WavBuilder().fmt({3, 1, 8000, 16}).data(Bytes(2, 0)).bytes(), 20,
         "WAV, 16-bit float is not an encoding"},
    };
}

TEST(WavBadFile, EachFaultNamesItsByteOffset) {
    for (const BadFile& c : badFiles()) {
        SCOPED_TRACE(c.name);
        try {
            parseWav(c.bytes.data(), c.bytes.size(), 1);
            ADD_FAILURE() << "read without an error";
        } catch (const SoundFileError& e) {
            EXPECT_EQ(e.offset(), c.offset) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
            EXPECT_EQ(std::string(e.what()).rfind("byte offset " + std::to_string(c.offset) + ": ", 0), 0u)
                << e.what();
        }
    }
}

// What qemhost meets: the file's name leads the line. Natively the file
// goes to libsndfile after the WAV check, which must have caught it first
// (libsndfile alone plays a cut-short file, and says nothing clear of a
// sample rate of 0).
TEST(SoundFile, FaultsOfAFileNameItInEitherBuild) {
    for (const BadFile& c : badFiles()) {
        SCOPED_TRACE(c.name);
        const std::string path = tempPath("bad.wav");
        ASSERT_TRUE(test::writeFile(path, c.bytes));
        // Natively libsndfile reads what is not RIFF WAVE (RIFX and RF64
        // among it) and the encodings the host's reader does not decode.
        const bool encodingOnly = c.offset == 20 || (!c.bytes.empty() && !looksLikeWav(c.bytes.data(), c.bytes.size()));
        try {
            const SoundChannel s = readSoundChannel(path, 1);
#if QEM_SOUND_SNDFILE
            EXPECT_TRUE(encodingOnly) << "read without an error";
#else
            ADD_FAILURE() << "read without an error";
#endif
        } catch (const SoundFileError& e) {
#if QEM_SOUND_SNDFILE
            const bool offsetNamed = !c.bytes.empty() && !encodingOnly; // else libsndfile's word
            if (encodingOnly) {
                EXPECT_NE(std::string(e.what()).find("libsndfile cannot read it: "), std::string::npos) << e.what();
            }
#else
            const bool offsetNamed = !c.bytes.empty();
#endif
            const std::string lead = offsetNamed ? path + ": byte offset " : path + ": ";
            EXPECT_EQ(std::string(e.what()).rfind(lead, 0), 0u) << e.what();
            if (!encodingOnly) {
                EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
            }
        }
        std::filesystem::remove(path);
    }
}

TEST(SoundFile, AChannelTheFileLacks) {
    const std::string path = tempPath("stereo.wav");
    ASSERT_TRUE(test::writeFile(path, test::wavFile({1, 2, 44100, 16}, {0.5, -0.5})));
    for (int channel : {0, -1, 3}) {
        SCOPED_TRACE(channel);
        try {
            readSoundChannel(path, channel);
            ADD_FAILURE() << "read without an error";
        } catch (const SoundFileError& e) {
            EXPECT_EQ(std::string(e.what()), path + ": there is no channel " + std::to_string(channel) +
                                                 ": the file has 2 channels (1 to 2)");
        }
    }
    EXPECT_EQ(readSoundChannel(path, 2).samples, std::vector<float>{-0.5f});
    std::filesystem::remove(path);
}

TEST(SoundFile, AFileThatCannotBeRead) {
    const std::string missing = tempPath("missing.wav");
    const std::string folder = std::filesystem::temp_directory_path().string();
    const struct {
        std::string path;
        const char* reason;
    } cases[] = {{missing, "cannot open the file"}, {folder, "cannot "}}; // a folder: open or read
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        try {
            readSoundChannel(c.path, 1);
            ADD_FAILURE() << "read without an error";
        } catch (const SoundFileError& e) {
            EXPECT_EQ(std::string(e.what()).rfind(c.path + ": " + c.reason, 0), 0u) << e.what();
        }
    }
}

// Read piecewise from the file (several 64 KiB pieces, the last a part of
// one), each sample lands where it belongs.
TEST(SoundFile, ALongFileReadInPieces) {
    const WavFormat f{1, 2, 48000, 24};
    const int frames = 30000; // 180000 bytes of frames of 6 bytes
    std::vector<double> interleaved;
    std::vector<float> expected;
    for (int i = 0; i < frames; ++i) {
        const std::int32_t left = (i * 277) % 8388608 - 4194304, right = -(i % 1000);
        interleaved.push_back(left / 8388608.0);
        interleaved.push_back(right / 8388608.0);
        expected.push_back(static_cast<float>(right) / 8388608.0f);
    }
    const std::string path = tempPath("long.wav");
    ASSERT_TRUE(test::writeFile(path, test::wavFile(f, interleaved)));
    const SoundChannel s = readSoundChannel(path, 2);
    EXPECT_EQ(s.sampleRate, 48000);
    expectSameBits(s.samples, expected);
    expectSameBits(readWavFile(path, 2).samples, expected);
    std::filesystem::remove(path);
}

// The bounds every reader's result passes (libsndfile's too, whose sample
// rate is a signed integer and whose frame count can be anything).
TEST(SoundFile, FormatBounds) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        int channels;
        double rate;
        std::int64_t frames;
        int channel;
        const char* error; // null: accepted
    } cases[] = {
        {1, 44100, 1, 1, nullptr},
        {2, 1, kMaxSoundFrames, 2, nullptr},
        {1, 1000000, 1, 1, nullptr},
        {0, 44100, 1, 1, "the file declares 0 channels"},
        {-3, 44100, 1, 1, "the file declares -3 channels"},
        {1, 0.5, 1, 1, "a sample rate of 0.5"},
        {1, -44100, 1, 1, "a sample rate of -44100"},
        {1, 1000000.5, 1, 1, "a sample rate of 1000000.5"},
        {1, nan, 1, 1, "a sample rate of"},
        {1, 44100, 0, 1, "the file holds no samples"},
        {1, 44100, kMaxSoundFrames + 1, 1, "268435457 frames, more than the 268435456 the host holds"},
        {1, 44100, 1, 0, "there is no channel 0: the file has 1 channel (1)"},
        {4, 44100, 1, 5, "there is no channel 5: the file has 4 channels (1 to 4)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.channels) + " channels, " + std::to_string(c.rate) + " Hz, " +
                     std::to_string(c.frames) + " frames, channel " + std::to_string(c.channel));
        try {
            checkSoundFormat(c.channels, c.rate, c.frames, c.channel);
            EXPECT_EQ(c.error, nullptr) << "accepted";
        } catch (const SoundFileError& e) {
            ASSERT_NE(c.error, nullptr) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.error), std::string::npos) << e.what();
        }
    }
}

} // namespace
} // namespace qem::host
