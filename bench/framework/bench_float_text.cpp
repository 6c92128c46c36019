// floatText against the same rule built on the standard library: on
// snprintf("%.9e"), what an author would write, and on std::to_chars with
// precision 9, the fastest standard form. Over random bit patterns (every
// exponent, subnormals, NaNs) and over everyday values. The set-up checks
// that each baseline writes exactly floatText's text for every input.
//
//   tools/bench   (or: build/bench/bench/framework/bench_float_text)
#include "bench/support/baselines.h"
#include "bench/support/bench_table.h"
#include "framework/value_text.h"

#include <bit>
#include <cstdio>

namespace {

using namespace qem;
using TextFn = std::string (*)(float);

const std::vector<float> kRandom = bench::randomBitPatterns(4096);
const std::vector<float> kEveryday = bench::everydayValues(4096);

void texts(benchmark::State& state, TextFn fn, const std::vector<float>* inputs) {
    for (float v : *inputs) {
        if (fn == &floatText) break;
        std::string want = floatText(v), got = fn(v);
        if (got != want) {
            char what[160];
            std::snprintf(what, sizeof what, "0x%08X: baseline %s, floatText %s", std::bit_cast<std::uint32_t>(v),
                          got.c_str(), want.c_str());
            state.SkipWithError(what);
            return;
        }
    }
    const std::size_t mask = inputs->size() - 1; // a power of two
    std::size_t i = 0;
    const long before = bench::allocations();
    for (auto _ : state) {
        std::string text = fn((*inputs)[i]);
        benchmark::DoNotOptimize(text.data());
        i = (i + 1) & mask;
    }
    state.counters["allocs"] = static_cast<double>(bench::allocations() - before);
}

BENCHMARK_CAPTURE(texts, floatText/random, &floatText, &kRandom);
BENCHMARK_CAPTURE(texts, snprintf/random, &bench::floatTextBySnprintf, &kRandom);
BENCHMARK_CAPTURE(texts, to_chars/random, &bench::floatTextByToChars, &kRandom);
BENCHMARK_CAPTURE(texts, floatText/everyday, &floatText, &kEveryday);
BENCHMARK_CAPTURE(texts, snprintf/everyday, &bench::floatTextBySnprintf, &kEveryday);
BENCHMARK_CAPTURE(texts, to_chars/everyday, &bench::floatTextByToChars, &kEveryday);

} // namespace

int main(int argc, char** argv) {
    bench::Table t;
    t.run(argc, argv);
    for (const char* set : {"random", "everyday"}) {
        const std::string inputs = std::string(set) == "random" ? "random bit patterns" : "everyday values";
        t.ratio("floatText, " + inputs, std::string("texts/floatText/") + set, "snprintf rule",
                std::string("texts/snprintf/") + set, 0.5);
        t.ratio("floatText, " + inputs, std::string("texts/floatText/") + set, "to_chars rule",
                std::string("texts/to_chars/") + set, 1.0);
    }
    return t.finish();
}
