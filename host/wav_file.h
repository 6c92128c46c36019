// The host's own WAV reader: what the win32 qemhost.exe reads sound files
// with (it has no libsndfile), and what both builds check a WAV file's
// layout with before they play it.
//
// What it reads: a RIFF "WAVE" file's fmt and data chunks, wherever they
// stand among other chunks (which are skipped; a chunk of odd length has
// its pad byte), with the samples in
// - WAVE_FORMAT_PCM (1): 8-bit unsigned, 16-, 24- and 32-bit signed, little
//   endian (a sample of 9 to 15 bits is stored as 16, and so on, as the
//   format says);
// - WAVE_FORMAT_IEEE_FLOAT (3): 32- and 64-bit floats;
// - WAVE_FORMAT_EXTENSIBLE (0xFFFE) with either of those as its subformat.
// Integer samples become floats as libsndfile makes them: the value over
// 128, 32768, 8388608 or 2147483648 (8 to 32 bits); 64-bit floats are
// rounded to 32. The fmt chunk's block align and byte rate are not used:
// a frame is the channels times the sample's whole bytes, as libsndfile
// reads it too. A trailing part of a frame is not read.
//
// What it refuses, with a SoundFileError naming the byte offset where the
// fault lies: a file that is not RIFF WAVE (RIFX and RF64 included), lacks
// a fmt or a data chunk, has a chunk that runs past the end of the file (a
// data chunk that declares more bytes than follow is a cut-short file, or
// one whose writer never finished its header), zero channels, zero bits, a
// sample rate outside 1 Hz to 1 MHz (sound_file.h), or no whole frame.
// Decoding also refuses encodings other than the above. Every read is
// bounded by the data; memory stays proportional to the file's size (the
// decoded channel, at most kMaxSoundFrames samples).
#pragma once

#include "host/sound_file.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace qem::host {

inline constexpr std::uint16_t kWavFormatPcm = 0x0001;
inline constexpr std::uint16_t kWavFormatFloat = 0x0003;
inline constexpr std::uint16_t kWavFormatExtensible = 0xFFFE;

// Where a WAV file keeps its samples and how, as its header says.
struct WavLayout {
    std::uint16_t formatTag = 0;    // the fmt chunk's format tag
    std::uint16_t encoding = 0;     // the format tag, or an extensible file's subformat
    int channels = 0;
    std::uint32_t sampleRate = 0;
    int bitsPerSample = 0;          // as stored (an extensible file's container size)
    std::uint64_t fmtOffset = 0;    // the fmt chunk's header
    std::uint64_t dataOffset = 0;   // the first byte of the samples
    std::uint64_t dataBytes = 0;    // the data chunk's declared length
    int sampleBytes() const { return (bitsPerSample + 7) / 8; }
    std::int64_t frameBytes() const { return std::int64_t{channels} * sampleBytes(); }
    std::int64_t frames() const { return static_cast<std::int64_t>(dataBytes) / frameBytes(); }
    // PCM of 1 to 32 bits, or 32- or 64-bit float: what decoding reads.
    bool decodable() const;
    std::string describe() const; // e.g. "WAV, 24-bit PCM"
};

// "RIFF" and "WAVE" lead the bytes (at least 12 of them).
bool looksLikeWav(const std::uint8_t* data, std::size_t size);

// The layout of a WAV file in memory, for any encoding. Throws SoundFileError.
WavLayout parseWavLayout(const std::uint8_t* data, std::size_t size);
// One channel (counted from 1) of a WAV file in memory, decoded. Throws
// SoundFileError.
SoundChannel parseWav(const std::uint8_t* data, std::size_t size, int channel);

// The same from the file at path, read piecewise (the file is never held
// whole). Throw SoundFileError, whose what() then starts with the path.
WavLayout readWavLayout(const std::string& path);
SoundChannel readWavFile(const std::string& path, int channel);

} // namespace qem::host
