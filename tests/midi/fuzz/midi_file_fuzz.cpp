// libFuzzer harness for the MIDI file reader: any bytes either read or give
// a MidiFileError whose offset lies within them, with events (and their
// samples) in time order.
#include "host/midi_file.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const qem::host::MidiFile f = qem::host::parseMidiFile(data, size);
        double last = 0;
        for (const qem::host::MidiFileEvent& e : f.events) {
            if (e.seconds < last || e.offset >= size) std::abort();
            last = e.seconds;
        }
        const qem::host::MidiSchedule schedule = qem::host::scheduleMidiFile(f, 44100.0);
        for (std::size_t i = 1; i < schedule.messages.size(); ++i)
            if (schedule.messages[i].sample < schedule.messages[i - 1].sample) std::abort();
    } catch (const qem::host::MidiFileError& e) {
        if (e.offset() > size) std::abort();
    }
    return 0;
}
