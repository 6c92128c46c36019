#include "host/sound_file.h"

#include "host/wav_file.h"

#include <cstdio>
#include <iomanip>
#include <memory>
#include <sstream>

namespace qem::host {

#if QEM_SOUND_SNDFILE
// sound_file_sndfile.cpp: any format libsndfile reads.
SoundChannel readWithSndfile(const std::string& path, int channel);
#endif

SoundFileError::SoundFileError(std::uint64_t offset, const std::string& reason, const std::string& source)
    : std::runtime_error((source.empty() ? std::string() : source + ": ") +
                         (offset == kNoOffset ? std::string() : "byte offset " + std::to_string(offset) + ": ") +
                         reason),
      offset_(offset), reason_(reason) {}

void checkSoundFormat(int channels, double sampleRate, std::int64_t frames, int channel) {
    const auto fail = [](const std::string& reason) { throw SoundFileError(SoundFileError::kNoOffset, reason); };
    if (channels < 1) fail("the file declares " + std::to_string(channels) + " channels");
    if (!(sampleRate >= kMinSoundRate && sampleRate <= kMaxSoundRate)) {
        std::ostringstream rate;
        rate << std::setprecision(10) << sampleRate;
        fail("a sample rate of " + rate.str() + " Hz (1 to 1000000 expected)");
    }
    if (frames < 1) fail("the file holds no samples");
    if (frames > kMaxSoundFrames)
        fail(std::to_string(frames) + " frames, more than the " + std::to_string(kMaxSoundFrames) +
             " the host holds");
    if (channel < 1 || channel > channels)
        fail("there is no channel " + std::to_string(channel) + ": the file has " + std::to_string(channels) +
             (channels == 1 ? " channel (1)" : " channels (1 to " + std::to_string(channels) + ")"));
}

SoundChannel readSoundChannel(const std::string& path, int channel) {
    // What every build says alike: the file cannot be opened, or is empty.
    std::uint8_t head[12];
    std::size_t got = 0;
    {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
        if (!f) throw SoundFileError(SoundFileError::kNoOffset, "cannot open the file", path);
        got = std::fread(head, 1, sizeof head, f.get());
        if (got == 0 && std::ferror(f.get()))
            throw SoundFileError(SoundFileError::kNoOffset, "cannot read the file (is it a folder?)", path);
    }
    if (got == 0) throw SoundFileError(SoundFileError::kNoOffset, "the file is empty", path);
#if QEM_SOUND_SNDFILE
    // A WAV file's layout is checked by the host's own reader first, so its
    // faults read as in the win32 build (libsndfile plays a cut-short file).
    if (looksLikeWav(head, got)) readWavLayout(path);
    return readWithSndfile(path, channel);
#else
    return readWavFile(path, channel);
#endif
}

const char* soundReaderName() {
#if QEM_SOUND_SNDFILE
    return "libsndfile: WAV, AIFF, FLAC and the other formats it reads";
#else
    return "the host's own WAV reader: 8/16/24/32-bit PCM and 32/64-bit float WAV";
#endif
}

} // namespace qem::host
