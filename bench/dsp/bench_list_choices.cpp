// What one list lookup costs: choiceSuffix reads the list from the host
// (request 17), converts it and parses it anew at every call, as the list
// monitors do at every value change.
//
//   cmake --build build/dsp-native --target bench_list_choices
//   build/dsp-native/bench/dsp/bench_list_choices
#include "modules/dsp/list_choices.h"

#include "framework/value_display.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

namespace {

using namespace qem;

// The list the minimal host answers request 17 with.
std::u16string gList;

HostWord QEM_CDECL minimalHost(void*, std::int32_t op, HostWord, HostWord value, void* ptr, float) {
    if (op != PanelReqGetChoices || ptr == nullptr || value <= 0) return 0;
    std::size_t n = std::min<std::size_t>(gList.size(), static_cast<std::size_t>(value) - 1);
    auto* out = static_cast<char16_t*>(ptr);
    std::memcpy(out, gList.data(), n * sizeof(char16_t));
    out[n] = 0;
    return static_cast<HostWord>(n);
}

class Panel : public ValueDisplay {
public:
    Panel() : ValueDisplay(&minimalHost, 0) {}
};

std::u16string widen(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// 999 bytes: "Item0,Item1,...", the last value named and one past it not.
std::string longList(std::int32_t* lastValue) {
    std::string s;
    std::int32_t n = 0;
    for (;; ++n) {
        std::string item = (n == 0 ? "" : ",") + std::string("Item") + std::to_string(n);
        if (s.size() + item.size() > 999) break;
        s += item;
    }
    s.append(999 - s.size(), 'x'); // pad the last name to exactly 999 bytes
    *lastValue = n - 1;
    return s;
}

void lookups(benchmark::State& state, const std::string& list, std::int32_t value) {
    gList = widen(list);
    Panel panel;
    for (auto _ : state) benchmark::DoNotOptimize(choiceSuffix(panel, 2, value));
    state.SetLabel(std::to_string(list.size()) + " bytes, " + choiceSuffix(panel, 2, value));
}

void BM_ChoiceSuffix_DefaultList(benchmark::State& state) {
    lookups(state, kDefaultListChoices, static_cast<std::int32_t>(state.range(0)));
}
BENCHMARK(BM_ChoiceSuffix_DefaultList)->Arg(0)->Arg(100)->Arg(-1);

void BM_ChoiceSuffix_999Bytes(benchmark::State& state) {
    std::int32_t last = 0;
    std::string list = longList(&last);
    lookups(state, list, state.range(0) == 0 ? last : last + 1);
}
BENCHMARK(BM_ChoiceSuffix_999Bytes)->Arg(0)->Arg(1); // 0: the last item, 1: no item

// The parts of a lookup on the 999-byte list, for where the time goes.
void BM_ReadChoicesText_999Bytes(benchmark::State& state) {
    std::int32_t last = 0;
    gList = widen(longList(&last));
    Panel panel;
    for (auto _ : state) benchmark::DoNotOptimize(readChoicesText(panel, 2));
}
BENCHMARK(BM_ReadChoicesText_999Bytes);

void BM_ChoiceSuffixOf_999Bytes(benchmark::State& state) {
    std::int32_t last = 0;
    std::string list = longList(&last);
    for (auto _ : state) benchmark::DoNotOptimize(choiceSuffixOf(list, last + 1));
}
BENCHMARK(BM_ChoiceSuffixOf_999Bytes);

void BM_ParseChoices_999Bytes(benchmark::State& state) {
    std::int32_t last = 0;
    std::string list = longList(&last);
    for (auto _ : state) benchmark::DoNotOptimize(parseChoices(list));
}
BENCHMARK(BM_ParseChoices_999Bytes);

} // namespace

BENCHMARK_MAIN();
