// A Standard MIDI File reader for the reference host: turns a .mid file
// into the packed messages a MIDI pin carries, each with its time.
//
// What it reads:
// - formats 0 and 1 (the tracks of format 1 play together, merged by time);
//   format 2 (independent sequences) is refused;
// - divisions in ticks per quarter note, with the file's tempo map (every
//   Set Tempo meta event of any track; 120 bpm until the first), and SMPTE
//   divisions (frames per second x ticks per frame; 29 means 29.97 drop
//   frame), where tempo events do not change time; a tempo of 0 is refused;
// - channel messages with and without running status;
// - SysEx: an F0 event becomes the packed message a MIDI pin shows for it,
//   status F0 with the first two data bytes that follow it (0 where the
//   message is shorter; the closing F7 is not a data byte). An F7 event
//   after a SysEx message that has not ended is a further packet of it and
//   is skipped; any other F7 event is an escape of bytes sent as they are:
//   when they start with a status byte, its status and up to two data bytes
//   become a message (a real-time message such as the MIDI clock F8 gets
//   into a file this way); escaped data bytes alone are skipped;
// - meta events: Set Tempo builds the tempo map, End of Track ends the track
//   (a track whose chunk ends without one ends there), all others are
//   skipped. Running status survives meta and SysEx events, as many writers
//   expect it to.
// Chunks other than MThd and MTrk are skipped; bytes after the last declared
// track are ignored.
//
// A file that breaks these rules, or ends early, gives a MidiFileError that
// names the byte offset where reading stopped. Every read is bounded by the
// data: a malformed file never reads past its end, and memory stays
// proportional to the file's size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace qem::host {

// A malformed or unreadable file. what() is one line, e.g.
// "song.mid: byte offset 22: running status with no status byte before it".
class MidiFileError : public std::runtime_error {
public:
    static constexpr std::size_t kNoOffset = static_cast<std::size_t>(-1);
    // source, when given, is the file's name and leads the message.
    MidiFileError(std::size_t offset, const std::string& reason, const std::string& source = {});
    // Where reading stopped, or kNoOffset when the file could not be read at all.
    std::size_t offset() const { return offset_; }
    const std::string& reason() const { return reason_; }

private:
    std::size_t offset_;
    std::string reason_;
};

struct MidiFileEvent {
    std::int64_t tick;    // absolute time in the file's ticks
    double seconds;       // the same time through the tempo map
    std::int32_t message; // packed: status, data byte 1 << 8, data byte 2 << 16
    std::int32_t track;   // index of the MTrk chunk it came from
    std::size_t offset;   // byte offset of the event's status (or first data byte) in the file
};

struct MidiTempoChange {
    std::int64_t tick;
    std::uint32_t microsecondsPerQuarter;
};

struct MidiFile {
    int format = 0;         // 0 or 1
    int trackCount = 0;     // MTrk chunks read
    std::uint16_t division = 0; // raw division word of the header
    bool smpte = false;     // division is frames per second x ticks per frame
    std::vector<MidiFileEvent> events;      // every message, by time; file order among equal times
    std::vector<MidiTempoChange> tempoMap;  // by tick; empty means 120 bpm throughout
    double lengthSeconds = 0;               // time of the latest End of Track (or last event)

    // Seconds at tick through this file's division and tempo map.
    double secondsAt(std::int64_t tick) const;
};

// Reads a whole file from memory. Throws MidiFileError.
MidiFile parseMidiFile(const std::uint8_t* data, std::size_t size);
MidiFile parseMidiFile(const std::vector<std::uint8_t>& bytes);

// Reads the file at path (at most kMaxMidiFileSize bytes). Throws
// MidiFileError, whose what() then starts with the path.
MidiFile readMidiFile(const std::string& path);
inline constexpr std::size_t kMaxMidiFileSize = 16u << 20;

// The sample at which a time in seconds falls at rate (rounded to nearest).
std::int64_t secondsToSamples(double seconds, double sampleRate);

// The file's messages on a sample clock: what a host hands a MIDI pin.
struct TimedMidiMessage {
    std::int64_t sample;  // start + the event's time at the sample rate
    std::int32_t message; // packed
};
struct MidiSchedule {
    std::vector<TimedMidiMessage> messages; // by sample, file order among equal samples
    std::int64_t endSample = 0;             // start + the file's length
};
MidiSchedule scheduleMidiFile(const MidiFile& file, double sampleRate, std::int64_t start = 0);

} // namespace qem::host
