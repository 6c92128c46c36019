// Writes the demo MIDI file: make_demo_mid tests/midi/demo.mid
// (midi_file_test checks that the committed file is what this writes).
#include "tests/midi/midi_fixture.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_demo_mid FILE.mid\n");
        return 2;
    }
    const qem::test::Bytes bytes = qem::test::demoMidiFile();
    std::FILE* f = std::fopen(argv[1], "wb");
    if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
        std::fprintf(stderr, "make_demo_mid: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
