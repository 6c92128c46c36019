// The DSP half allocates nothing once it is open: every operator new of
// this program is counted while MIDI messages, forwarded and dropped, pin
// changes and processing calls reach an open half.
#include "modules/midi/midi_monitor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long> gAllocations{0};
}

void* operator new(std::size_t n) {
    ++gAllocations;
    if (void* p = std::malloc(n != 0 ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    ++gAllocations;
    return std::malloc(n != 0 ? n : 1);
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept { return operator new(n, t); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

extern "C" void* QEM_CDECL makeModule(std::int32_t index, std::int32_t type, qem::HostCallback callback,
                                      qem::HostWord hostValue);

namespace qem {
namespace {

// A host that stores nothing: it answers the clock and the pin count and
// counts the pin reports.
struct QuietHost {
    static inline std::int32_t clock = 0;
    static inline long reports = 0;
    static HostWord QEM_CDECL entry(void*, std::int32_t op, HostWord, HostWord, void*, float) {
        switch (op) {
        case DspReqSampleClock: return ++clock;
        case DspReqPinCount: return 4;
        case DspReqPinState: ++reports; return 0;
        default: return 0;
        }
    }
};

TEST(MidiMonitorDspAllocation, NoneAfterOpen) {
    auto* rec = static_cast<DspHostRecord*>(makeModule(0, ModuleTypeDsp, &QuietHost::entry, 0));
    ASSERT_NE(rec, nullptr);
    rec->dispatcher(rec, DspOpOpen, 0, 0, nullptr, 0);
    PinProperties p{};
    rec->dispatcher(rec, DspOpGetPinProperties, 3, 0, &p, 0);
    auto* mode = static_cast<std::int16_t*>(p.variable);
    QuietHost::reports = 0;

    const long before = gAllocations.load();
    long expectedReports = 0;
    for (std::int16_t m : std::initializer_list<std::int16_t>{ShowAll, HideTiming, HideSystem, 5}) {
        *mode = m;
        DspEvent change{0, PinStateEvent, StateChanged, 0, 2, 0};
        rec->event(rec->object, &change);
        for (std::uint32_t i = 0; i < 50000; ++i) {
            // Notes, controllers, clocks, sysex and the rest of the system messages.
            const std::uint32_t status = 0x80 + (i * 7) % 0x80;
            const auto message = static_cast<std::int32_t>(status | ((i & 0x7F) << 8) | (((i >> 7) & 0x7F) << 16));
            DspEvent ev{static_cast<std::int32_t>(i), MidiEvent, message, 0, 0, 0};
            rec->event(rec->object, &ev);
            expectedReports += MidiMonitorDsp::forwards(m, message) ? 1 : 0;
            DspEvent clockEvent{static_cast<std::int32_t>(i), MidiEvent, 0xF8, 0, 0, 0};
            rec->event(rec->object, &clockEvent);
            expectedReports += m == HideTiming || m == HideSystem ? 0 : 1;
            if (i % 64 == 0) rec->process(rec->object, 0, 64);
        }
    }
    const long during = gAllocations.load() - before;

    EXPECT_EQ(during, 0);
    EXPECT_EQ(QuietHost::reports, expectedReports); // dropped ones sent nothing
    EXPECT_GT(expectedReports, 0);
    EXPECT_LT(expectedReports, 4 * 2 * 50000);
    rec->dispatcher(rec, DspOpClose, 0, 0, nullptr, 0);
}

TEST(MidiMonitorDspAllocation, TheCounterSeesAllocations) {
    static int* volatile sink = nullptr; // keeps the pair from being optimised away
    const long before = gAllocations.load();
    sink = new int(3);
    delete sink;
    EXPECT_EQ(gAllocations.load() - before, 1);
}

} // namespace
} // namespace qem
