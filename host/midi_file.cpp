#include "host/midi_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

namespace qem::host {
namespace {

constexpr std::uint32_t kDefaultTempo = 500000; // 120 bpm

std::string hexByte(unsigned b) {
    const char* digits = "0123456789ABCDEF";
    return {'0', 'x', digits[(b >> 4) & 0xF], digits[b & 0xF]};
}

// Bounded reads over the file's bytes. Every read names its limit (the
// end of the current chunk, or of the file) and fails there, never past it.
class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    [[noreturn]] static void fail(std::size_t at, const std::string& reason) { throw MidiFileError(at, reason); }

    std::size_t pos() const { return pos_; }
    std::size_t size() const { return size_; }
    std::size_t left() const { return size_ - pos_; }
    void seek(std::size_t p) { pos_ = p; }

    std::uint8_t byte(std::size_t end, const char* what) {
        if (pos_ >= end) fail(pos_, std::string(what) + " cut short by the end of the " + limitName_);
        return data_[pos_++];
    }
    std::uint8_t peek(std::size_t end, const char* what) {
        if (pos_ >= end) fail(pos_, std::string(what) + " cut short by the end of the " + limitName_);
        return data_[pos_];
    }
    std::uint32_t be(int bytes, std::size_t end, const char* what) {
        std::uint32_t v = 0;
        for (int i = 0; i < bytes; ++i) v = (v << 8) | byte(end, what);
        return v;
    }
    // A variable-length quantity: at most four bytes, seven bits each.
    std::uint32_t vlq(std::size_t end, const char* what) {
        const std::size_t start = pos_;
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            std::uint8_t b = byte(end, what);
            v = (v << 7) | (b & 0x7F);
            if ((b & 0x80) == 0) return v;
        }
        fail(start, std::string(what) + " is a variable-length number longer than four bytes");
    }
    void skip(std::uint32_t n, std::size_t end, const char* what) {
        if (n > end - pos_)
            fail(pos_, std::string(what) + " of " + std::to_string(n) + " bytes runs past the end of the " +
                           limitName_ + " (" + std::to_string(end - pos_) + " bytes left)");
        pos_ += n;
    }
    const std::uint8_t* at(std::size_t p) const { return data_ + p; }

    // Names the limit of the reads that follow in messages: "file" or "track".
    void setLimitName(const char* name) { limitName_ = name; }

private:

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    const char* limitName_ = "file";
};

struct TempoEntry {
    std::int64_t tick;
    std::uint32_t tempo;
};

// Data bytes that follow a channel status: 1 or 2.
int dataBytesOf(unsigned status) {
    const unsigned kind = status & 0xF0;
    return kind == 0xC0 || kind == 0xD0 ? 1 : 2;
}

// Reads one MTrk chunk's events, from the reader's position up to end.
// Returns the tick of its End of Track (or of its last event).
std::int64_t readTrack(Reader& r, std::size_t end, std::int32_t track, std::vector<MidiFileEvent>& events,
                       std::vector<TempoEntry>& tempos) {
    r.setLimitName("track");
    std::int64_t tick = 0;
    unsigned running = 0;   // the last channel status, 0 before the first
    bool sysexOpen = false; // a SysEx message whose closing F7 is still to come
    while (r.pos() < end) {
        tick += r.vlq(end, "delta time");
        const std::size_t eventAt = r.pos();
        unsigned status = r.peek(end, "event");
        if (status < 0x80) {
            if (running == 0) Reader::fail(eventAt, "running status with no status byte before it");
            status = running; // the byte is the first data byte
        } else {
            r.byte(end, "event");
        }

        if (status < 0xF0) {
            running = status;
            std::uint32_t message = status;
            for (int i = 0; i < dataBytesOf(status); ++i) {
                const std::size_t dataAt = r.pos();
                const std::uint8_t d = r.byte(end, "channel message");
                if (d >= 0x80)
                    Reader::fail(dataAt, "data byte expected after status " + hexByte(status) + ", found " +
                                             hexByte(d));
                message |= static_cast<std::uint32_t>(d) << (8 * (i + 1));
            }
            events.push_back({tick, 0.0, static_cast<std::int32_t>(message), track, eventAt});
        } else if (status == 0xF0) {
            const std::uint32_t length = r.vlq(end, "SysEx length");
            const std::size_t dataAt = r.pos();
            r.skip(length, end, "SysEx");
            // The two bytes a MIDI pin carries after F0; the closing F7 is not one.
            std::uint32_t message = 0xF0;
            for (std::uint32_t i = 0; i < 2 && i < length; ++i) {
                const std::uint8_t d = *r.at(dataAt + i);
                if (d >= 0x80) break;
                message |= static_cast<std::uint32_t>(d) << (8 * (i + 1));
            }
            events.push_back({tick, 0.0, static_cast<std::int32_t>(message), track, eventAt});
            sysexOpen = length == 0 || *r.at(dataAt + length - 1) != 0xF7; // split into packets
        } else if (status == 0xF7) {
            const std::uint32_t length = r.vlq(end, "SysEx continuation or escape length");
            const std::size_t dataAt = r.pos();
            r.skip(length, end, "SysEx continuation or escape");
            if (sysexOpen) {
                // A further packet of a SysEx message the MIDI pin already showed.
                sysexOpen = length == 0 || *r.at(dataAt + length - 1) != 0xF7;
            } else if (length > 0 && *r.at(dataAt) >= 0x80 && *r.at(dataAt) != 0xF7) {
                // An escape: bytes sent as they are, such as a real-time
                // message between other events. Its status and the data
                // bytes that follow it (up to two) make the message.
                std::uint32_t message = *r.at(dataAt);
                for (std::uint32_t i = 1; i < 3 && i < length; ++i) {
                    const std::uint8_t d = *r.at(dataAt + i);
                    if (d >= 0x80) break;
                    message |= static_cast<std::uint32_t>(d) << (8 * i);
                }
                events.push_back({tick, 0.0, static_cast<std::int32_t>(message), track, eventAt});
            }
        } else if (status == 0xFF) {
            const std::uint8_t type = r.byte(end, "meta event");
            const std::uint32_t length = r.vlq(end, "meta event length");
            const std::size_t dataAt = r.pos();
            r.skip(length, end, "meta event");
            if (type == 0x51) {
                if (length != 3)
                    Reader::fail(eventAt, "Set Tempo meta event with " + std::to_string(length) +
                                              " data bytes (3 expected)");
                const std::uint8_t* p = r.at(dataAt);
                const std::uint32_t tempo = (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
                // A quarter note of no time would put every later event at one instant.
                if (tempo == 0) Reader::fail(eventAt, "Set Tempo of 0 microseconds per quarter note");
                tempos.push_back({tick, tempo});
            } else if (type == 0x2F) {
                return tick; // End of Track; anything after it in the chunk is not read
            }
        } else {
            Reader::fail(eventAt, "status byte " + hexByte(status) + " cannot stand in a MIDI file track");
        }
    }
    return tick;
}

double smpteTicksPerSecond(std::uint16_t division) {
    const int fps = -static_cast<std::int8_t>(division >> 8);
    const int ticksPerFrame = division & 0xFF;
    return (fps == 29 ? 30000.0 / 1001.0 : fps) * ticksPerFrame;
}

} // namespace

MidiFileError::MidiFileError(std::size_t offset, const std::string& reason, const std::string& source)
    : std::runtime_error((source.empty() ? std::string() : source + ": ") +
                         (offset == kNoOffset ? std::string() : "byte offset " + std::to_string(offset) + ": ") +
                         reason),
      offset_(offset), reason_(reason) {}

double MidiFile::secondsAt(std::int64_t tick) const {
    if (smpte) return static_cast<double>(tick) / smpteTicksPerSecond(division);
    if (division == 0) return 0;
    double seconds = 0;
    std::int64_t segmentTick = 0;
    std::uint32_t tempo = kDefaultTempo;
    for (const MidiTempoChange& c : tempoMap) {
        if (c.tick > tick) break;
        seconds += static_cast<double>(c.tick - segmentTick) * tempo / (1e6 * division);
        segmentTick = c.tick;
        tempo = c.microsecondsPerQuarter;
    }
    return seconds + static_cast<double>(tick - segmentTick) * tempo / (1e6 * division);
}

MidiFile parseMidiFile(const std::uint8_t* data, std::size_t size) {
    Reader r(data, data != nullptr ? size : 0);
    MidiFile file;

    // Header chunk.
    if (r.left() < 4 || std::memcmp(r.at(0), "MThd", 4) != 0)
        Reader::fail(0, "not a Standard MIDI File: it does not begin with \"MThd\"");
    r.seek(4);
    const std::uint32_t headerLength = r.be(4, r.size(), "header chunk");
    if (headerLength < 6) Reader::fail(4, "header chunk of " + std::to_string(headerLength) + " bytes (6 expected)");
    const std::size_t headerData = r.pos();
    const std::uint32_t format = r.be(2, r.size(), "header chunk");
    const std::uint32_t declaredTracks = r.be(2, r.size(), "header chunk");
    file.division = static_cast<std::uint16_t>(r.be(2, r.size(), "header chunk"));
    r.seek(headerData);
    r.skip(headerLength, r.size(), "header chunk");
    if (format == 2) Reader::fail(headerData, "format 2 (independent sequences) is not supported");
    if (format > 2) Reader::fail(headerData, "unknown format " + std::to_string(format));
    file.format = static_cast<int>(format);
    file.smpte = (file.division & 0x8000) != 0;
    if (file.smpte) {
        const int fps = -static_cast<std::int8_t>(file.division >> 8);
        if (fps != 24 && fps != 25 && fps != 29 && fps != 30)
            Reader::fail(headerData + 4, "SMPTE division of " + std::to_string(fps) +
                                             " frames per second (24, 25, 29 or 30 expected)");
        if ((file.division & 0xFF) == 0) Reader::fail(headerData + 5, "SMPTE division of 0 ticks per frame");
    } else if (file.division == 0) {
        Reader::fail(headerData + 4, "division of 0 ticks per quarter note");
    }

    // Track chunks; others are skipped.
    std::vector<TempoEntry> tempos;
    std::int64_t endTick = 0;
    while (file.trackCount < static_cast<int>(declaredTracks)) {
        const std::size_t chunkAt = r.pos();
        if (r.left() == 0)
            Reader::fail(chunkAt, "the file ends after " + std::to_string(file.trackCount) + " of " +
                                      std::to_string(declaredTracks) + " tracks");
        if (r.left() < 8) Reader::fail(chunkAt, "chunk header cut short by the end of the file");
        const bool isTrack = std::memcmp(r.at(chunkAt), "MTrk", 4) == 0;
        r.seek(chunkAt + 4);
        const std::uint32_t length = r.be(4, r.size(), "chunk header");
        if (length > r.left())
            Reader::fail(chunkAt, std::string(isTrack ? "track" : "chunk") + " of " + std::to_string(length) +
                                      " bytes runs past the end of the file (" + std::to_string(r.left()) +
                                      " bytes left)");
        const std::size_t end = r.pos() + length;
        if (isTrack) {
            endTick = std::max(endTick, readTrack(r, end, file.trackCount, file.events, tempos));
            r.setLimitName("file");
            ++file.trackCount;
        }
        r.seek(end);
    }

    // The tempo map: by tick, the last change at one tick standing.
    std::stable_sort(tempos.begin(), tempos.end(),
                     [](const TempoEntry& a, const TempoEntry& b) { return a.tick < b.tick; });
    for (const TempoEntry& t : tempos) {
        if (!file.tempoMap.empty() && file.tempoMap.back().tick == t.tick) file.tempoMap.back().microsecondsPerQuarter = t.tempo;
        else file.tempoMap.push_back({t.tick, t.tempo});
    }

    // Events of all tracks by time; ties stay in track order, then file order.
    std::stable_sort(file.events.begin(), file.events.end(),
                     [](const MidiFileEvent& a, const MidiFileEvent& b) { return a.tick < b.tick; });
    if (file.smpte) {
        for (MidiFileEvent& e : file.events) e.seconds = file.secondsAt(e.tick);
    } else {
        // One sweep through the tempo map.
        std::size_t next = 0;
        double segmentSeconds = 0;
        std::int64_t segmentTick = 0;
        std::uint32_t tempo = kDefaultTempo;
        const double perTick = 1e6 * file.division;
        for (MidiFileEvent& e : file.events) {
            while (next < file.tempoMap.size() && file.tempoMap[next].tick <= e.tick) {
                segmentSeconds += static_cast<double>(file.tempoMap[next].tick - segmentTick) * tempo / perTick;
                segmentTick = file.tempoMap[next].tick;
                tempo = file.tempoMap[next].microsecondsPerQuarter;
                ++next;
            }
            e.seconds = segmentSeconds + static_cast<double>(e.tick - segmentTick) * tempo / perTick;
        }
    }
    file.lengthSeconds = file.secondsAt(endTick);
    return file;
}

MidiFile parseMidiFile(const std::vector<std::uint8_t>& bytes) { return parseMidiFile(bytes.data(), bytes.size()); }

MidiFile readMidiFile(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!f) throw MidiFileError(MidiFileError::kNoOffset, "cannot open the file", path);
    std::vector<std::uint8_t> bytes;
    std::uint8_t buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f.get())) > 0) {
        if (bytes.size() + n > kMaxMidiFileSize)
            throw MidiFileError(MidiFileError::kNoOffset,
                                "larger than " + std::to_string(kMaxMidiFileSize >> 20) +
                                    " MiB, too large for a MIDI file",
                                path);
        bytes.insert(bytes.end(), buf, buf + n);
    }
    if (std::ferror(f.get())) throw MidiFileError(MidiFileError::kNoOffset, "read error", path);
    try {
        return parseMidiFile(bytes);
    } catch (const MidiFileError& e) {
        throw MidiFileError(e.offset(), e.reason(), path); // the same error, with the file named
    }
}

std::int64_t secondsToSamples(double seconds, double sampleRate) {
    return static_cast<std::int64_t>(std::llround(seconds * sampleRate));
}

MidiSchedule scheduleMidiFile(const MidiFile& file, double sampleRate, std::int64_t start) {
    MidiSchedule schedule;
    schedule.messages.reserve(file.events.size());
    for (const MidiFileEvent& e : file.events)
        schedule.messages.push_back({start + secondsToSamples(e.seconds, sampleRate), e.message});
    schedule.endSample = start + secondsToSamples(file.lengthSeconds, sampleRate);
    return schedule;
}

} // namespace qem::host
