// Sound files for the reference host: one channel of a recording as the
// 32-bit float samples an audio pin carries, with the file's sample rate.
//
// The native build reads through libsndfile (WAV, AIFF, FLAC and the other
// formats it knows); the win32 build, which has no libsndfile, reads WAV
// with the host's own reader (wav_file.h). Both refuse, with one line naming
// the file and the cause, a file that is empty, cut short, holds no
// channels or no samples, or gives a sample rate outside 1 Hz to 1 MHz, and
// a channel the file does not have. WAV files get the same checks of their
// layout in both builds, so their errors read alike and name a byte offset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace qem::host {

// A file that cannot be read or played. what() is one line, e.g.
// "take.wav: byte offset 40: the data chunk declares 88200 bytes but 956 follow".
class SoundFileError : public std::runtime_error {
public:
    static constexpr std::uint64_t kNoOffset = static_cast<std::uint64_t>(-1);
    // source, when given, is the file's name and leads the message.
    SoundFileError(std::uint64_t offset, const std::string& reason, const std::string& source = {});
    // Where reading stopped, or kNoOffset when the cause has no place in the file.
    std::uint64_t offset() const { return offset_; }
    const std::string& reason() const { return reason_; }

private:
    std::uint64_t offset_;
    std::string reason_;
};

// Sample rates a file may give. Below 1 Hz a rate cannot time a sample (0,
// negative); the fastest audio formats in use run at 768 kHz, so a rate
// above 1 MHz is a damaged field, not a recording. Within the range every
// integer rate is exact in the single-precision rate the host hands a module.
inline constexpr double kMinSoundRate = 1.0;
inline constexpr double kMaxSoundRate = 1000000.0;

// The longest channel the host holds: 2^28 frames (1 GiB of floats; 101
// minutes at 44.1 kHz), well inside the host's 31-bit sample clock.
inline constexpr std::int64_t kMaxSoundFrames = std::int64_t{1} << 28;

struct SoundChannel {
    int channels = 0;          // channels in the file
    int channel = 0;           // the one read, counted from 1
    double sampleRate = 0;     // frames per second
    std::string encoding;      // e.g. "WAV, 16-bit PCM"
    std::vector<float> samples; // the channel's samples, one per frame
};

// Checks what every reader checks of a file's format: at least one channel,
// a sample rate in range, at least one frame and at most kMaxSoundFrames, and
// channel (counted from 1) among the file's. Throws SoundFileError without
// an offset.
void checkSoundFormat(int channels, double sampleRate, std::int64_t frames, int channel);

// Reads one channel (counted from 1) of the file at path. Throws
// SoundFileError, whose what() starts with the path.
SoundChannel readSoundChannel(const std::string& path, int channel);

// What readSoundChannel reads with in this build, for --help:
// "libsndfile (WAV, AIFF, FLAC, ...)" or the host's own WAV reader.
const char* soundReaderName();

} // namespace qem::host
