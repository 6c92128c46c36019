// The native build's sound files: whatever libsndfile reads.
#include "host/sound_file.h"

#include <sndfile.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <sstream>
#include <vector>

namespace qem::host {
namespace {

[[noreturn]] void fail(const std::string& reason) { throw SoundFileError(SoundFileError::kNoOffset, reason); }

// libsndfile plays a file whose sample data chunk declares more bytes than
// follow; its log says so ("SSND : 88208 (should be 920)"). The host's own
// check covers WAV; this one the other chunked formats (AIFF).
void refuseCutShort(SNDFILE* f) {
    std::vector<char> log(16384);
    sf_command(f, SFC_GET_LOG_INFO, log.data(), static_cast<int>(log.size()));
    std::istringstream lines(std::string(log.data(), strnlen(log.data(), log.size())));
    for (std::string line; std::getline(lines, line);) {
        char chunk[5] = {};
        long long declared = 0, present = 0;
        if (std::sscanf(line.c_str(), " %4s : %lld (should be %lld)", chunk, &declared, &present) == 3 &&
            (std::strcmp(chunk, "SSND") == 0 || std::strcmp(chunk, "data") == 0) && present < declared)
            fail(std::string("the ") + chunk + " chunk declares " + std::to_string(declared) + " bytes but " +
                 std::to_string(present) + " follow: the file is cut short, or its writer never finished its header");
    }
}

SoundChannel read(const std::string& path, int channel) {
    SF_INFO info{};
    std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> f(sf_open(path.c_str(), SFM_READ, &info), &sf_close);
    if (!f) fail(std::string("libsndfile cannot read it: ") + sf_strerror(nullptr));
    refuseCutShort(f.get());
    checkSoundFormat(info.channels, info.samplerate, info.frames, channel);

    const auto formatName = [](int format) {
        SF_FORMAT_INFO i{};
        i.format = format;
        return sf_command(nullptr, SFC_GET_FORMAT_INFO, &i, sizeof i) == 0 && i.name != nullptr
                   ? std::string(i.name)
                   : "format " + std::to_string(format);
    };

    SoundChannel out;
    out.channels = info.channels;
    out.channel = channel;
    out.sampleRate = info.samplerate;
    out.encoding = formatName(info.format & SF_FORMAT_TYPEMASK) + ", " + formatName(info.format & SF_FORMAT_SUBMASK);
    try {
        out.samples.resize(static_cast<std::size_t>(info.frames));
    } catch (const std::bad_alloc&) {
        fail(std::to_string(info.frames) + " frames do not fit in memory");
    }
    const sf_count_t perPiece = info.channels >= 4096 ? 1 : 4096 / info.channels;
    std::vector<float> piece(static_cast<std::size_t>(perPiece * info.channels));
    sf_count_t done = 0;
    while (done < info.frames) {
        const sf_count_t want = info.frames - done < perPiece ? info.frames - done : perPiece;
        const sf_count_t n = sf_readf_float(f.get(), piece.data(), want);
        for (sf_count_t i = 0; i < n; ++i)
            out.samples[static_cast<std::size_t>(done + i)] =
                piece[static_cast<std::size_t>(i * info.channels + channel - 1)];
        done += n;
        if (n < want) break;
    }
    if (done < info.frames || sf_error(f.get()) != SF_ERR_NO_ERROR)
        fail("the file ends after " + std::to_string(done) + " of its " + std::to_string(info.frames) +
             " frames: cut short or damaged (" + sf_strerror(f.get()) + ")");
    return out;
}

} // namespace

SoundChannel readWithSndfile(const std::string& path, int channel) {
    try {
        return read(path, channel);
    } catch (const SoundFileError& e) {
        throw SoundFileError(e.offset(), e.reason(), path);
    }
}

} // namespace qem::host
