#include "host/wav_file.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace qem::host {
namespace {

[[noreturn]] void fail(std::uint64_t at, const std::string& reason) { throw SoundFileError(at, reason); }

std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t le32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

std::string hex4(unsigned v) {
    char s[8];
    std::snprintf(s, sizeof s, "0x%04X", v & 0xFFFF);
    return s;
}

// A chunk identifier as it reads: printable bytes as they are, others as \xHH.
std::string chunkName(const std::uint8_t* id) {
    std::string s = "\"";
    for (int i = 0; i < 4; ++i) {
        if (id[i] >= 0x20 && id[i] < 0x7F && id[i] != '"' && id[i] != '\\') {
            s += static_cast<char>(id[i]);
        } else {
            char e[8];
            std::snprintf(e, sizeof e, "\\x%02X", id[i]);
            s += e;
        }
    }
    return s + "\"";
}

// Where the reader takes its bytes from. Callers check that what they read
// lies within size(); read() fails only on an error of the medium.
class Source {
public:
    virtual ~Source() = default;
    virtual std::uint64_t size() const = 0;
    virtual void read(std::uint64_t offset, std::uint8_t* out, std::size_t n) = 0;
};

class MemorySource : public Source {
public:
    MemorySource(const std::uint8_t* data, std::size_t size) : data_(data), size_(data != nullptr ? size : 0) {}
    std::uint64_t size() const override { return size_; }
    void read(std::uint64_t offset, std::uint8_t* out, std::size_t n) override {
        std::memcpy(out, data_ + offset, n);
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

class FileSource : public Source {
public:
    explicit FileSource(const std::string& path) : file_(std::fopen(path.c_str(), "rb"), &std::fclose) {
        if (!file_) fail(SoundFileError::kNoOffset, "cannot open the file");
        if (!seek(0, SEEK_END)) fail(SoundFileError::kNoOffset, "cannot find the file's size");
#ifdef _WIN32
        const long long end = _ftelli64(file_.get());
#else
        const long long end = ftello(file_.get());
#endif
        if (end < 0) fail(SoundFileError::kNoOffset, "cannot find the file's size");
        size_ = static_cast<std::uint64_t>(end);
    }
    std::uint64_t size() const override { return size_; }
    void read(std::uint64_t offset, std::uint8_t* out, std::size_t n) override {
        if (!seek(static_cast<long long>(offset), SEEK_SET) || std::fread(out, 1, n, file_.get()) != n)
            fail(offset, "read error (the file is unreadable here, or shrank while it was read)");
    }

private:
    bool seek(long long offset, int whence) {
#ifdef _WIN32
        return _fseeki64(file_.get(), offset, whence) == 0;
#else
        return fseeko(file_.get(), static_cast<off_t>(offset), whence) == 0;
#endif
    }

    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file_;
    std::uint64_t size_ = 0;
};

// The tail every WAVE_FORMAT_EXTENSIBLE subformat GUID of a WAVE format
// code shares: {0000xxxx-0000-0010-8000-00AA00389B71}, the code in front.
constexpr std::uint8_t kGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                        0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// Fields of the fmt chunk, by their offset in its body.
constexpr std::size_t kFmtChannels = 2, kFmtRate = 4, kFmtBits = 14, kFmtSubformat = 24;
constexpr std::size_t kFmtBasic = 16, kFmtExtensible = 40;

WavLayout layoutOf(Source& s) {
    const std::uint64_t size = s.size();
    if (size == 0) fail(0, "the file is empty");
    if (size < 12) fail(0, "the RIFF header is cut short (" + std::to_string(size) + " of 12 bytes)");
    std::uint8_t head[12];
    s.read(0, head, sizeof head);
    if (std::memcmp(head, "RIFX", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0)
        fail(0, "a big-endian (RIFX) WAV file; only little-endian RIFF files are read");
    if (std::memcmp(head, "RF64", 4) == 0) fail(0, "an RF64 file (WAV beyond 4 GiB) is not read");
    if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0)
        fail(0, "not a WAV file: it does not begin with \"RIFF\" and \"WAVE\"");

    WavLayout l;
    bool haveFmt = false, haveData = false;
    std::uint8_t fmt[kFmtExtensible] = {};
    std::uint32_t fmtLength = 0;
    std::uint64_t pos = 12;
    while (!haveFmt || !haveData) {
        if (pos >= size) // (past it when the last chunk's pad byte is missing)
            fail(size, std::string("the file ends without a ") + (haveFmt ? "data" : "fmt") + " chunk");
        if (size - pos < 8)
            fail(pos, "chunk header cut short by the end of the file (" + std::to_string(size - pos) + " of 8 bytes)");
        std::uint8_t header[8];
        s.read(pos, header, sizeof header);
        const std::uint32_t length = le32(header + 4);
        const std::uint64_t body = pos + 8;
        const std::uint64_t left = size - body;
        if (std::memcmp(header, "data", 4) == 0 && !haveData) {
            if (length > left)
                fail(pos, "the data chunk declares " + std::to_string(length) + " bytes but " + std::to_string(left) +
                              " follow: the file is cut short, or its writer never finished its header");
            l.dataOffset = body;
            l.dataBytes = length;
            haveData = true;
        } else if (length > left) {
            fail(pos, "chunk " + chunkName(header) + " of " + std::to_string(length) +
                          " bytes runs past the end of the file (" + std::to_string(left) + " bytes left)");
        } else if (std::memcmp(header, "fmt ", 4) == 0 && !haveFmt) {
            if (length < kFmtBasic)
                fail(pos, "fmt chunk of " + std::to_string(length) + " bytes (16 at least expected)");
            fmtLength = length;
            s.read(body, fmt, length < kFmtExtensible ? length : kFmtExtensible);
            l.fmtOffset = pos;
            haveFmt = true;
        }
        pos = body + length + (length & 1); // chunks are word aligned
    }

    const std::uint64_t fmtBody = l.fmtOffset + 8;
    l.formatTag = le16(fmt);
    l.encoding = l.formatTag;
    l.channels = le16(fmt + kFmtChannels);
    l.sampleRate = le32(fmt + kFmtRate);
    l.bitsPerSample = le16(fmt + kFmtBits);
    if (l.channels == 0) fail(fmtBody + kFmtChannels, "the file declares 0 channels");
    if (l.sampleRate < kMinSoundRate || l.sampleRate > kMaxSoundRate)
        fail(fmtBody + kFmtRate, "a sample rate of " + std::to_string(l.sampleRate) + " Hz (1 to 1000000 expected)");
    if (l.bitsPerSample == 0) fail(fmtBody + kFmtBits, "0 bits per sample");
    if (l.formatTag == kWavFormatExtensible) {
        if (fmtLength < kFmtExtensible)
            fail(l.fmtOffset, "fmt chunk of " + std::to_string(fmtLength) +
                                  " bytes, too short for WAVE_FORMAT_EXTENSIBLE (40 expected)");
        if (std::memcmp(fmt + kFmtSubformat + 2, kGuidTail, sizeof kGuidTail) != 0)
            fail(fmtBody + kFmtSubformat, "the WAVE_FORMAT_EXTENSIBLE subformat is not a WAVE format code");
        l.encoding = le16(fmt + kFmtSubformat);
    }
    if (l.decodable() && l.frames() == 0)
        fail(l.dataOffset - 8, "the data chunk holds no samples (" + std::to_string(l.dataBytes) +
                                   " bytes; a frame is " + std::to_string(l.frameBytes()) + ")");
    return l;
}

float decodeSample(const WavLayout& l, const std::uint8_t* p) {
    if (l.encoding == kWavFormatFloat) {
        if (l.bitsPerSample == 32) {
            float f;
            std::memcpy(&f, p, 4); // little endian, as both targets are
            return f;
        }
        double d;
        std::memcpy(&d, p, 8);
        return static_cast<float>(d);
    }
    switch (l.sampleBytes()) {
    case 1: return static_cast<float>(int{p[0]} - 128) * (1.0f / 128.0f);
    case 2: return static_cast<float>(static_cast<std::int16_t>(le16(p))) * (1.0f / 32768.0f);
    case 3: {
        const std::int32_t u = p[0] | p[1] << 8 | p[2] << 16;
        return static_cast<float>(u >= 0x800000 ? u - 0x1000000 : u) * (1.0f / 8388608.0f);
    }
    default: return static_cast<float>(static_cast<std::int32_t>(le32(p))) * (1.0f / 2147483648.0f);
    }
}

SoundChannel decode(Source& s, const WavLayout& l, int channel) {
    if (!l.decodable())
        fail(l.fmtOffset + 8, l.describe() + " is not an encoding this reader decodes "
                                             "(PCM of 8 to 32 bits, float of 32 or 64 bits)");
    checkSoundFormat(l.channels, l.sampleRate, l.frames(), channel);
    SoundChannel out;
    out.channels = l.channels;
    out.channel = channel;
    out.sampleRate = l.sampleRate;
    out.encoding = l.describe();
    const std::int64_t frames = l.frames();
    try {
        out.samples.resize(static_cast<std::size_t>(frames));
    } catch (const std::bad_alloc&) {
        fail(SoundFileError::kNoOffset, std::to_string(frames) + " frames do not fit in memory");
    }
    // Whole frames, about 64 KiB at a time.
    const std::int64_t frameBytes = l.frameBytes();
    const std::int64_t perPiece = frameBytes >= 65536 ? 1 : 65536 / frameBytes;
    std::vector<std::uint8_t> piece(static_cast<std::size_t>(perPiece * frameBytes));
    const std::size_t at = static_cast<std::size_t>(channel - 1) * static_cast<std::size_t>(l.sampleBytes());
    for (std::int64_t f = 0; f < frames; f += perPiece) {
        const std::int64_t n = frames - f < perPiece ? frames - f : perPiece;
        s.read(l.dataOffset + static_cast<std::uint64_t>(f * frameBytes), piece.data(),
               static_cast<std::size_t>(n * frameBytes));
        for (std::int64_t i = 0; i < n; ++i)
            out.samples[static_cast<std::size_t>(f + i)] =
                decodeSample(l, piece.data() + static_cast<std::size_t>(i * frameBytes) + at);
    }
    return out;
}

template <typename F>
auto named(const std::string& path, F&& read) {
    try {
        return read();
    } catch (const SoundFileError& e) {
        throw SoundFileError(e.offset(), e.reason(), path); // the same error, with the file named
    }
}

} // namespace

bool WavLayout::decodable() const {
    if (encoding == kWavFormatPcm) return bitsPerSample >= 1 && bitsPerSample <= 32;
    if (encoding == kWavFormatFloat) return bitsPerSample == 32 || bitsPerSample == 64;
    return false;
}

std::string WavLayout::describe() const {
    std::string s = formatTag == kWavFormatExtensible ? "WAV (extensible), " : "WAV, ";
    if (encoding == kWavFormatPcm) return s + std::to_string(bitsPerSample) + "-bit PCM";
    if (encoding == kWavFormatFloat) return s + std::to_string(bitsPerSample) + "-bit float";
    return s + "format " + hex4(encoding) + " of " + std::to_string(bitsPerSample) + " bits";
}

bool looksLikeWav(const std::uint8_t* data, std::size_t size) {
    return data != nullptr && size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WAVE", 4) == 0;
}

WavLayout parseWavLayout(const std::uint8_t* data, std::size_t size) {
    MemorySource s(data, size);
    return layoutOf(s);
}

SoundChannel parseWav(const std::uint8_t* data, std::size_t size, int channel) {
    MemorySource s(data, size);
    return decode(s, layoutOf(s), channel);
}

WavLayout readWavLayout(const std::string& path) {
    return named(path, [&] {
        FileSource s(path);
        return layoutOf(s);
    });
}

SoundChannel readWavFile(const std::string& path, int channel) {
    return named(path, [&] {
        FileSource s(path);
        return decode(s, layoutOf(s), channel);
    });
}

} // namespace qem::host
