// What one list lookup costs: choiceSuffix reads the list from the host
// (request 17), converts it and parses it anew at every call, as the list
// monitors do at every value change. Against the read alone (the request
// and the conversion, which no lookup can skip), on the default list and
// on a 999-byte one; and how the lookup and parseChoices grow with the
// list, from 10 to 999 bytes (a straight line is expected).
//
//   tools/bench   (or: build/bench/bench/dsp/bench_list_choices)
#include "modules/dsp/list_choices.h"

#include "bench/support/bench_table.h"
#include "framework/value_display.h"

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

// `bytes` bytes: "Item0,Item1,...", the last name padded with x to the
// length; *lastValue is the value of the last item.
std::string listOf(std::size_t bytes, std::int32_t* lastValue) {
    std::string s;
    std::int32_t n = 0;
    for (;; ++n) {
        std::string item = (n == 0 ? "" : ",") + std::string("Item") + std::to_string(n);
        if (s.size() + item.size() > bytes) break;
        s += item;
    }
    s.append(bytes - s.size(), 'x');
    *lastValue = n - 1;
    return s;
}

constexpr std::int32_t kNotInTheList = -1; // every item is read, none matches

void lookups(benchmark::State& state, const std::string& list, std::int32_t value) {
    gList = widen(list);
    Panel panel;
    for (auto _ : state) benchmark::DoNotOptimize(choiceSuffix(panel, 2, value));
    state.SetLabel(std::to_string(list.size()) + " bytes, " + choiceSuffix(panel, 2, value));
}

void reads(benchmark::State& state, const std::string& list) {
    gList = widen(list);
    Panel panel;
    for (auto _ : state) benchmark::DoNotOptimize(readChoicesText(panel, 2));
}

const std::string kDefault = kDefaultListChoices;
std::int32_t gLast999 = 0;
const std::string k999 = listOf(999, &gLast999);

void BM_ChoiceSuffix_Default(benchmark::State& state) { lookups(state, kDefault, 100); } // the last item
void BM_Read_Default(benchmark::State& state) { reads(state, kDefault); }
void BM_ChoiceSuffix_999(benchmark::State& state) { lookups(state, k999, kNotInTheList); }
void BM_Read_999(benchmark::State& state) { reads(state, k999); }
BENCHMARK(BM_ChoiceSuffix_Default);
BENCHMARK(BM_Read_Default);
BENCHMARK(BM_ChoiceSuffix_999);
BENCHMARK(BM_Read_999);

constexpr int kSizes[] = {10, 30, 100, 300, 999};

void BM_ChoiceSuffix_Bytes(benchmark::State& state) {
    std::int32_t last = 0;
    lookups(state, listOf(static_cast<std::size_t>(state.range(0)), &last), kNotInTheList);
}
void BM_ParseChoices_Bytes(benchmark::State& state) {
    std::int32_t last = 0;
    const std::string list = listOf(static_cast<std::size_t>(state.range(0)), &last);
    for (auto _ : state) benchmark::DoNotOptimize(parseChoices(list));
}
BENCHMARK(BM_ChoiceSuffix_Bytes)->Arg(10)->Arg(30)->Arg(100)->Arg(300)->Arg(999);
BENCHMARK(BM_ParseChoices_Bytes)->Arg(10)->Arg(30)->Arg(100)->Arg(300)->Arg(999);

// A least-squares line through (bytes, ns), and the slopes of its upper and
// lower stretches: a cost that grows faster than the list shows a steeper
// upper stretch (about three times as steep, were it quadratic).
void growth(bench::Table& t, const std::string& what, const std::string& name) {
    double x[5], y[5];
    for (int i = 0; i < 5; ++i) {
        const bench::Measure* m = t.find(name + "/" + std::to_string(kSizes[i]));
        if (m == nullptr) return;
        x[i] = kSizes[i];
        y[i] = m->ns;
    }
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (int i = 0; i < 5; ++i) {
        sx += x[i];
        sy += y[i];
        sxx += x[i] * x[i];
        sxy += x[i] * y[i];
    }
    const double slope = (5 * sxy - sx * sy) / (5 * sxx - sx * sx), intercept = (sy - slope * sx) / 5;
    const double upper = (y[4] - y[3]) / (x[4] - x[3]), lower = (y[3] - y[2]) / (x[3] - x[2]);
    t.row(what + ", 10 to 999 bytes: fit " + bench::figure(slope) + " ns/byte + " + bench::timeText(intercept),
          "300-999 bytes " + bench::figure(upper) + " ns/byte", "100-300 bytes " + bench::figure(lower) + " ns/byte",
          upper / lower, "ratio <= 1.5 (linear)", upper / lower <= 1.5);
    std::string points = what + ", ns at 10 30 100 300 999 bytes:";
    for (double v : y) points += " " + bench::figure(v);
    t.note(points);
}

} // namespace

int main(int argc, char** argv) {
    bench::Table t;
    t.run(argc, argv);
    t.ratio("choiceSuffix, default list (" + std::to_string(kDefault.size()) + " bytes), its last item",
            "BM_ChoiceSuffix_Default", "request 17 and conversion alone", "BM_Read_Default", 3);
    t.ratio("choiceSuffix, a 999-byte list, no item matches", "BM_ChoiceSuffix_999", "request 17 and conversion alone",
            "BM_Read_999", 3);
    growth(t, "choiceSuffix", "BM_ChoiceSuffix_Bytes");
    growth(t, "parseChoices", "BM_ParseChoices_Bytes");
    return t.finish();
}
