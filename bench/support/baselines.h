// What each text path is measured against: the same rule written the way
// an author would with the standard library, giving exactly the same text,
// and the inputs both are measured on. Shared by the benchmarks (whose
// set-up checks every input) and by a test that checks the same inputs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qem::bench {

// floatText's rule on snprintf("%.9e") and on std::to_chars(precision 9):
// the ten digits the library rounds, reshaped to the rule's text. The
// library rounds an exact tie to even where the rule rounds half away from
// zero; a tie is told from the float's bits and then printed with one more
// digit (exact, as a tie has only eleven) and rounded up.
std::string floatTextBySnprintf(float v);
std::string floatTextByToChars(float v);

// formatMidiMessage's line, written with snprintf.
std::string midiTextBySnprintf(std::int32_t message);

// Inputs, the same in every run.
std::vector<float> randomBitPatterns(std::size_t n);  // any 32 bits: NaNs, subnormals, all exponents
std::vector<float> everydayValues(std::size_t n);     // what patches carry: +-1000, knobs 0..1, steps, integers
std::vector<std::int32_t> realisticMidiMix(std::size_t n); // a played keyboard with a sequencer's clock

} // namespace qem::bench
