// The reference host's Standard MIDI File reader: the shipped demo file,
// timing through tempo maps and SMPTE divisions, SysEx and meta handling,
// and a table of malformed files, each with the offset its error names.
#include "host/midi_file.h"
#include "tests/midi/midi_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace qem::host {
namespace {

using test::Bytes;
using test::SmfBuilder;
using test::events;

constexpr std::uint16_t kPpq = 96;

MidiFile parse(const Bytes& b) { return parseMidiFile(b); }

// A file of one track in format 0.
Bytes single(const Bytes& body, std::uint16_t division = kPpq) {
    return SmfBuilder().header(0, 1, division).track(body).bytes();
}

Bytes readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const std::string kDemoPath = std::string(QEM_MIDI_TEST_DIR) + "/demo.mid";

TEST(MidiFileDemo, CommittedFileIsWhatTheGeneratorWrites) {
    const Bytes committed = readAll(kDemoPath);
    ASSERT_FALSE(committed.empty()) << "cannot read " << kDemoPath;
    EXPECT_EQ(committed, test::demoMidiFile()) << "regenerate it with make_demo_mid " << kDemoPath;
}

TEST(MidiFileDemo, EventsTimesAndTempoMap) {
    const MidiFile f = readMidiFile(kDemoPath);
    EXPECT_EQ(f.format, 1);
    EXPECT_EQ(f.trackCount, 2);
    EXPECT_FALSE(f.smpte);
    ASSERT_EQ(f.tempoMap.size(), 2u);
    EXPECT_EQ(f.tempoMap[1].tick, 192);
    EXPECT_EQ(f.tempoMap[1].microsecondsPerQuarter, 250000u);

    const struct {
        std::int64_t tick;
        double seconds;
        std::uint32_t message;
        std::int64_t sample; // at 44100 Hz
    } expected[] = {
        {0, 0.0, 0x000005C0, 0},          {0, 0.0, 0x006407B0, 0},         {0, 0.0, 0x00643C90, 0},
        {48, 0.25, 0x00644090, 11025},    {96, 0.5, 0x00003C90, 22050},    {96, 0.5, 0x00004090, 22050},
        {192, 1.0, 0x007F40B0, 44100},    {192, 1.0, 0x004000E0, 44100},   {192, 1.0, 0x001043F0, 44100},
        {240, 1.125, 0x000000F8, 49613},  {288, 1.25, 0x00403C80, 55125},  {288, 1.25, 0x000040B0, 55125},
    };
    ASSERT_EQ(f.events.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(f.events[i].tick, expected[i].tick);
        EXPECT_DOUBLE_EQ(f.events[i].seconds, expected[i].seconds);
        EXPECT_EQ(static_cast<std::uint32_t>(f.events[i].message), expected[i].message);
        EXPECT_EQ(f.events[i].track, 1);
        EXPECT_EQ(secondsToSamples(f.events[i].seconds, 44100.0), expected[i].sample);
    }
    EXPECT_DOUBLE_EQ(f.lengthSeconds, 1.25); // the note track's End of Track, at tick 288
}

TEST(MidiFileTiming, TempoChangesAnywhereAndTheLastAtOneTickStands) {
    // Tempo events in the second track apply to the first too.
    const Bytes notes = events({{0x00, 0x90, 0x3C, 0x40}, {0x60, 0x80, 0x3C, 0x40}, {0x60, 0x90, 0x3E, 0x40},
                                {0x00, 0xFF, 0x2F, 0x00}});
    const Bytes tempos = events({{0x60, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40},   // tick 96: 1 s per quarter
                                 {0x00, 0xFF, 0x51, 0x03, 0x1E, 0x84, 0x80},   // same tick: 2 s, this one stands
                                 {0x00, 0xFF, 0x2F, 0x00}});
    const MidiFile f = parse(SmfBuilder().header(1, 2, kPpq).track(notes).track(tempos).bytes());
    ASSERT_EQ(f.events.size(), 3u);
    EXPECT_DOUBLE_EQ(f.events[0].seconds, 0.0);
    EXPECT_DOUBLE_EQ(f.events[1].seconds, 0.5); // 96 ticks at 120 bpm
    EXPECT_DOUBLE_EQ(f.events[2].seconds, 2.5); // then 96 ticks at 2 s per quarter
    ASSERT_EQ(f.tempoMap.size(), 1u);
    EXPECT_EQ(f.tempoMap[0].microsecondsPerQuarter, 2000000u);
    EXPECT_DOUBLE_EQ(f.secondsAt(240), 0.5 + 2.0 * 144 / 96);
    EXPECT_DOUBLE_EQ(f.lengthSeconds, 2.5);
}

TEST(MidiFileTiming, SmpteDivisions) {
    const Bytes body = events({{0x00, 0x90, 0x3C, 0x40},
                               {0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40}, // ignored under SMPTE time
                               {0x83, 0x68, 0x80, 0x3C, 0x40},             // 488 ticks
                               {0x00, 0xFF, 0x2F, 0x00}});
    const struct {
        std::int8_t fps;
        std::uint8_t ticksPerFrame;
        double ticksPerSecond;
    } rows[] = {{-24, 40, 960.0}, {-25, 40, 1000.0}, {-29, 80, 80 * 30000.0 / 1001.0}, {-30, 4, 120.0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.fps));
        const auto division = static_cast<std::uint16_t>((static_cast<std::uint8_t>(row.fps) << 8) | row.ticksPerFrame);
        const MidiFile f = parse(single(body, division));
        EXPECT_TRUE(f.smpte);
        ASSERT_EQ(f.events.size(), 2u);
        EXPECT_DOUBLE_EQ(f.events[1].seconds, 488 / row.ticksPerSecond);
    }
}

TEST(MidiFileEvents, RunningStatusAndLongDeltas) {
    const MidiFile f = parse(single(events({
        {0x00, 0xB3, 0x01, 0x10},        // mod wheel
        {0x00, 0x02, 0x20},              // running status: controller 2
        {0x81, 0x80, 0x00, 0x03, 0x30},  // delta 16384
        {0x00, 0xC1, 0x07},              // program change: one data byte
        {0x01, 0x08},                    // running status with one data byte
        {0xFF, 0xFF, 0xFF, 0x7F, 0xD2, 0x40}, // the largest delta, channel pressure
        {0x00, 0xFF, 0x2F, 0x00},
    })));
    const struct {
        std::int64_t tick;
        std::uint32_t message;
    } expected[] = {{0, 0x001001B3},     {0, 0x002002B3},     {16384, 0x003003B3},
                    {16384, 0x000007C1}, {16385, 0x000008C1}, {16385 + 0x0FFFFFFF, 0x000040D2}};
    ASSERT_EQ(f.events.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(f.events[i].tick, expected[i].tick) << i;
        EXPECT_EQ(static_cast<std::uint32_t>(f.events[i].message), expected[i].message) << i;
    }
    EXPECT_EQ(f.events[1].offset, 27u); // the running-status data byte
}

TEST(MidiFileEvents, SysExShowsItsFirstTwoDataBytes) {
    const struct {
        Bytes event;
        std::uint32_t message;
    } rows[] = {
        {{0x00, 0xF0, 0x05, 0x43, 0x10, 0x4C, 0x00, 0xF7}, 0x001043F0},
        {{0x00, 0xF0, 0x02, 0x7E, 0xF7}, 0x00007EF0}, // the closing F7 is no data byte
        {{0x00, 0xF0, 0x01, 0xF7}, 0x000000F0},
        {{0x00, 0xF0, 0x00}, 0x000000F0},
        {{0x00, 0xF0, 0x03, 0x7D, 0x7F, 0x01}, 0x007F7DF0}, // split SysEx: first packet only
    };
    for (const auto& row : rows) {
        const MidiFile f = parse(single(events({row.event, {0x00, 0xF7, 0x02, 0x05, 0xF7}, {0x00, 0xFF, 0x2F, 0x00}})));
        ASSERT_EQ(f.events.size(), 1u); // the F7 continuation is skipped
        EXPECT_EQ(static_cast<std::uint32_t>(f.events[0].message), row.message);
    }
}

TEST(MidiFileEvents, F7ContinuesAnOpenSysExOrEscapesMessages) {
    const struct {
        const char* what;
        Bytes track;
        std::vector<std::uint32_t> messages;
    } rows[] = {
        {"an escaped clock", {0x00, 0xF7, 0x01, 0xF8}, {0xF8}},
        {"an escaped song position", {0x00, 0xF7, 0x03, 0xF2, 0x10, 0x20}, {0x002010F2}},
        {"data bytes stop at the next status", {0x00, 0xF7, 0x03, 0x90, 0x3C, 0xF8}, {0x00003C90}},
        {"escaped data bytes alone", {0x00, 0xF7, 0x02, 0x3C, 0x40}, {}},
        {"an empty escape", {0x00, 0xF7, 0x00}, {}},
        {"a SysEx in packets: the rest is no message",
         {0x00, 0xF0, 0x02, 0x43, 0x10, 0x00, 0xF7, 0x02, 0xF8, 0xF7, 0x00, 0xF7, 0x01, 0xF8},
         {0x001043F0, 0xF8}},
        {"after a complete SysEx, an escape", {0x00, 0xF0, 0x01, 0xF7, 0x00, 0xF7, 0x01, 0xFE}, {0xF0, 0xFE}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Bytes body = row.track;
        body.insert(body.end(), {0x00, 0xFF, 0x2F, 0x00});
        const MidiFile f = parse(single(body));
        std::vector<std::uint32_t> got;
        for (const MidiFileEvent& e : f.events) got.push_back(static_cast<std::uint32_t>(e.message));
        EXPECT_EQ(got, row.messages);
    }
}

TEST(MidiFileEvents, MetaEventsSkippedRunningStatusKeptEndOfTrackEnds) {
    const MidiFile f = parse(single(events({
        {0x00, 0x90, 0x3C, 0x40},
        test::text(0, 0x01, "a text event"),
        {0x00, 0x3E, 0x40},             // running status after a meta event
        {0x00, 0xF0, 0x01, 0xF7},
        {0x00, 0x40, 0x40},             // and after a SysEx event
        {0x00, 0xFF, 0x7F, 0x00},       // sequencer-specific, empty
        {0x10, 0xFF, 0x2F, 0x00},
        {0x00, 0xF8, 0xF8, 0xF8},       // after End of Track: not read
    })));
    ASSERT_EQ(f.events.size(), 4u);
    EXPECT_EQ(static_cast<std::uint32_t>(f.events[1].message), 0x00403E90u);
    EXPECT_EQ(static_cast<std::uint32_t>(f.events[3].message), 0x00404090u);
    EXPECT_DOUBLE_EQ(f.lengthSeconds, 16 * 0.5 / kPpq);
}

TEST(MidiFileEvents, TracksMergeByTimeInTrackOrderAndOtherChunksAreSkipped) {
    const MidiFile f = parse(SmfBuilder()
                                 .header(1, 2, kPpq)
                                 .chunk("XFIH", {1, 2, 3})
                                 .track(events({{0x10, 0x90, 0x01, 0x01}, {0x10, 0x90, 0x03, 0x01}})) // no End of Track
                                 .chunk("MTrX", {})
                                 .track(events({{0x10, 0x91, 0x02, 0x01}, {0x00, 0xFF, 0x2F, 0x00}}))
                                 .raw({'j', 'u', 'n', 'k'})
                                 .bytes());
    ASSERT_EQ(f.events.size(), 3u);
    EXPECT_EQ(f.events[0].message & 0xFFFF, 0x0190);
    EXPECT_EQ(f.events[0].track, 0);
    EXPECT_EQ(f.events[1].message & 0xFFFF, 0x0291);
    EXPECT_EQ(f.events[1].track, 1);
    EXPECT_EQ(f.events[2].message & 0xFFFF, 0x0390);
    EXPECT_EQ(f.events[2].tick, 32);
}

TEST(MidiFileEvents, LongerHeaderAndNoTracks) {
    const Bytes longer = {'M', 'T', 'h', 'd', 0, 0, 0, 8, 0, 0, 0, 1, 0, 96, 0xAA, 0xBB,
                          'M', 'T', 'r', 'k', 0, 0, 0, 4, 0x00, 0xFF, 0x2F, 0x00};
    EXPECT_EQ(parse(longer).trackCount, 1);
    EXPECT_TRUE(parse(SmfBuilder().header(1, 0, kPpq).bytes()).events.empty());
}

struct BadFile {
    const char* name;
    Bytes bytes;
    std::size_t offset;
    const char* reason; // a part of the message
};

TEST(MidiFileErrors, NameTheOffset) {
    const Bytes hdr = SmfBuilder().header(0, 1, kPpq).bytes(); // 14 bytes; a track's events start at 22
    auto withTrack = [&](const Bytes& body) { return SmfBuilder().header(0, 1, kPpq).track(body).bytes(); };
    auto cat = [](Bytes a, const Bytes& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const BadFile cases[] = {
        {"empty", {}, 0, "does not begin with \"MThd\""},
        {"RIFF wrapper", {'R', 'I', 'F', 'F', 0, 0, 0, 0}, 0, "does not begin with \"MThd\""},
        {"header cut", {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1}, 10, "header chunk cut short by the end of the file"},
        {"header length cut", {'M', 'T', 'h', 'd', 0, 0}, 6, "cut short"},
        {"short header", {'M', 'T', 'h', 'd', 0, 0, 0, 5, 0, 0, 0, 1, 0}, 4, "header chunk of 5 bytes"},
        {"format 2", SmfBuilder().header(2, 1, kPpq).bytes(), 8, "format 2"},
        {"format 7", SmfBuilder().header(7, 1, kPpq).bytes(), 8, "unknown format 7"},
        {"division 0", SmfBuilder().header(0, 1, 0).bytes(), 12, "0 ticks per quarter note"},
        {"SMPTE 23 fps", SmfBuilder().header(0, 1, 0xE928).bytes(), 12, "23 frames per second"},
        {"SMPTE 0 ticks", SmfBuilder().header(0, 1, 0xE700).bytes(), 13, "0 ticks per frame"},
        {"tracks missing", SmfBuilder().header(1, 3, kPpq).track({0x00, 0xFF, 0x2F, 0x00}).bytes(), 26,
         "ends after 1 of 3 tracks"},
        {"chunk header cut", cat(hdr, {'M', 'T', 'r', 'k', 0, 0}), 14, "chunk header cut short"},
        {"track past end", cat(hdr, {'M', 'T', 'r', 'k', 0, 0, 0, 9, 0x00, 0x90, 0x3C}), 14,
         "track of 9 bytes runs past the end of the file (3 bytes left)"},
        {"running status first", withTrack({0x00, 0x3C, 0x40}), 23, "running status with no status byte"},
        {"status in data", withTrack({0x00, 0x90, 0x3C, 0x90, 0x40}), 25, "data byte expected after status 0x90"},
        {"event cut", withTrack({0x00, 0x90, 0x3C}), 25, "channel message cut short by the end of the track"},
        {"delta cut", withTrack({0x00, 0x90, 0x3C, 0x40, 0x81}), 27, "delta time cut short by the end of the track"},
        {"delta too long", withTrack({0xFF, 0xFF, 0xFF, 0xFF, 0x00}), 22, "longer than four bytes"},
        {"SysEx past end", withTrack({0x00, 0xF0, 0x05, 0x43}), 25, "SysEx of 5 bytes runs past the end of the track"},
        {"SysEx length cut", withTrack({0x00, 0xF0, 0x85}), 25, "SysEx length cut short"},
        {"meta past end", withTrack({0x00, 0xFF, 0x03, 0x10, 0x41}), 26, "meta event of 16 bytes runs past"},
        {"meta type cut", withTrack({0x00, 0xFF}), 24, "meta event cut short"},
        {"tempo too short", withTrack({0x00, 0xFF, 0x51, 0x02, 0x07, 0xA1}), 23, "Set Tempo meta event with 2"},
        {"tempo 0", withTrack({0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x51, 0x03, 0x00, 0x00, 0x00}), 27,
         "Set Tempo of 0 microseconds"},
        {"clock in a track", withTrack({0x00, 0xF8}), 23, "status byte 0xF8 cannot stand"},
        {"quarter frame in a track", withTrack({0x00, 0xF1, 0x00}), 23, "status byte 0xF1"},
    };
    for (const BadFile& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            parse(c.bytes);
            ADD_FAILURE() << "parsed";
        } catch (const MidiFileError& e) {
            EXPECT_EQ(e.offset(), c.offset) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
            EXPECT_EQ(std::string(e.what()).rfind("byte offset " + std::to_string(c.offset) + ": ", 0), 0u)
                << e.what();
            EXPECT_EQ(std::string(e.what()).find('\n'), std::string::npos);
        }
    }
}

// Every cut of the demo file, and every byte of it replaced, either reads or
// fails with an offset inside the data: never a crash or a read past it.
TEST(MidiFileErrors, EveryPrefixAndEveryByteChanged) {
    const Bytes demo = test::demoMidiFile();
    for (std::size_t n = 0; n < demo.size(); ++n) {
        const Bytes cut(demo.begin(), demo.begin() + static_cast<std::ptrdiff_t>(n));
        try {
            parse(cut);
            ADD_FAILURE() << "a cut of " << n << " bytes parsed";
        } catch (const MidiFileError& e) {
            EXPECT_LE(e.offset(), n) << e.what();
        }
    }
    for (std::size_t i = 0; i < demo.size(); ++i) {
        for (std::uint8_t v : {0x00, 0x01, 0x7F, 0x80, 0x81, 0xF0, 0xF7, 0xFF}) {
            Bytes changed = demo;
            changed[i] = v;
            try {
                const MidiFile f = parse(changed);
                EXPECT_LE(f.events.size(), changed.size());
            } catch (const MidiFileError& e) {
                EXPECT_LE(e.offset(), changed.size()) << e.what();
            }
        }
    }
}

TEST(MidiFileErrors, UnreadableFileNamesItself) {
    const std::string path = std::string(QEM_MIDI_TEST_DIR) + "/no-such-file.mid";
    try {
        readMidiFile(path);
        ADD_FAILURE() << "read";
    } catch (const MidiFileError& e) {
        EXPECT_EQ(e.offset(), MidiFileError::kNoOffset);
        EXPECT_EQ(std::string(e.what()), path + ": cannot open the file");
    }
}

TEST(MidiFileErrors, FileErrorsCarryTheNameAndTheOffset) {
    const std::string path = testing::TempDir() + "qem_midi_cut.mid";
    const Bytes demo = test::demoMidiFile();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(demo.data(), 1, 40, f);
    std::fclose(f);
    try {
        readMidiFile(path);
        ADD_FAILURE() << "read";
    } catch (const MidiFileError& e) {
        EXPECT_EQ(e.offset(), 14u);
        EXPECT_EQ(std::string(e.what()).rfind(path + ": byte offset 14: track of ", 0), 0u) << e.what();
    }
    std::remove(path.c_str());
}

TEST(MidiFileTiming, ScheduleOnTheSampleClock) {
    const MidiFile f = parseMidiFile(test::demoMidiFile());
    const MidiSchedule at48k = scheduleMidiFile(f, 48000.0, 1000);
    ASSERT_EQ(at48k.messages.size(), f.events.size());
    const std::int64_t samples[] = {0, 0, 0, 12000, 24000, 24000, 48000, 48000, 48000, 54000, 60000, 60000};
    for (std::size_t i = 0; i < std::size(samples); ++i) {
        EXPECT_EQ(at48k.messages[i].sample, 1000 + samples[i]) << i;
        EXPECT_EQ(at48k.messages[i].message, f.events[i].message) << i;
    }
    EXPECT_EQ(at48k.endSample, 1000 + 60000);
}

TEST(MidiFileTiming, SecondsToSamples) {
    EXPECT_EQ(secondsToSamples(0.0, 44100.0), 0);
    EXPECT_EQ(secondsToSamples(1.0, 44100.0), 44100);
    EXPECT_EQ(secondsToSamples(0.5 / 44100.0, 44100.0), 1); // halves round up
    EXPECT_EQ(secondsToSamples(1.0 / 3.0, 48000.0), 16000);
    EXPECT_EQ(secondsToSamples(3600.0, 96000.0), 345600000);
}

} // namespace
} // namespace qem::host
