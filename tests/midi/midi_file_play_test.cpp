// A MIDI file played into the real deliverable through the reference host:
// the file's messages on the sample clock, at its tempo, and the line the
// panel shows after each instant that carries messages (the host paints
// once per instant, as a monitor's window would).
#include "host/library.h"
#include "host/midi_file.h"
#include "host/session.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace qem::host {
namespace {

using Changes = std::vector<std::pair<std::int64_t, std::string>>;

Changes play(std::int32_t runningMode) {
    std::unique_ptr<Library> lib = Library::load(platformPath(QEM_MIDI_DELIVERABLE));
    Trace trace;
    Session session(*lib, trace);
    session.start(false);
    Pin* mode = session.findPin("Running Mode");
    EXPECT_NE(mode, nullptr);
    session.setValue(*mode, PinValue{runningMode, {}}, StateChanged);

    const MidiFile file = readMidiFile(platformPath(std::string(QEM_MIDI_TEST_DIR) + "/demo.mid"));
    const MidiSchedule schedule = scheduleMidiFile(file, session.options().sampleRate, session.clock());
    for (const TimedMidiMessage& m : schedule.messages) session.sendMidi(m.sample, m.message);

    Changes changes{{session.clock(), session.shownText()}};
    for (const TimedMidiMessage& m : schedule.messages) {
        if (m.sample > session.clock() || m.sample == 0) session.advanceTo(m.sample);
        if (session.shownText() != changes.back().second) changes.emplace_back(session.clock(), session.shownText());
    }
    session.advanceTo(schedule.endSample);
    session.closeDsp();
    session.settle();
    changes.emplace_back(session.clock(), session.shownText());
    return changes;
}

TEST(MidiFilePlay, DemoFileHideTiming) {
    const Changes expected = {
        {0, "No Input"},
        {0, "Ch:1|St:NoteOn|Key:60 (C4)|Vel:100"},      // program, volume and note at once: the last shows
        {11025, "Ch:1|St:NoteOn|Key:64 (E4)|Vel:100"},  // 0.25 s at 120 bpm
        {22050, "Ch:1|St:NoteOff|Key:64 (E4)|Vel:0"},
        {44100, "SYSTEM: Begin SysEx|Vender ID:67|Data:16"},
        {55125, "Ch:1|St:CntrChange|Cntr:64 (Hold Pedal)|Value:0 (Off)"}, // 240 bpm after 1 s
        {55125, "No Input"},                            // the DSP half closed
    };
    EXPECT_EQ(play(1), expected);
}

TEST(MidiFilePlay, DemoFileShowAllShowsTheClock) {
    const Changes changes = play(0);
    ASSERT_EQ(changes.size(), 8u);
    EXPECT_EQ(changes[5], (std::pair<std::int64_t, std::string>{49613, "SYSTEM: MIDI Clock"})); // 1.125 s
}

TEST(MidiFilePlay, DemoFileHideSystem) {
    const Changes changes = play(2);
    ASSERT_EQ(changes.size(), 7u);
    EXPECT_EQ(changes[4], (std::pair<std::int64_t, std::string>{44100, "Ch:1|St:PitchBend|BendLSB:0|BendMSB:64"}));
}

} // namespace
} // namespace qem::host
