// libFuzzer harness for the host's WAV reader: any bytes either read or give
// a SoundFileError whose offset lies within them; a layout read lies within
// the bytes, and decoding gives one sample per frame of the first and the
// last channel.
#include "host/wav_file.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qem::host;
    try {
        const WavLayout l = parseWavLayout(data, size);
        if (l.dataOffset > size || l.dataBytes > size - l.dataOffset || l.channels < 1) std::abort();
        for (int channel : {1, l.channels}) {
            const SoundChannel s = parseWav(data, size, channel);
            if (static_cast<std::int64_t>(s.samples.size()) != l.frames() || s.channel != channel) std::abort();
        }
    } catch (const SoundFileError& e) {
        if (e.offset() != SoundFileError::kNoOffset && e.offset() > size) std::abort();
    }
    return 0;
}
