// Tiny libraries for the host's tests, written against the boundary
// records only. One source, built once per kind (QEM_FIXTURE_KIND):
//
//   1  exports getModuleProperties only
//   2  getModuleProperties answers 0
//   3  makeModule answers null
//   4  the clock module: a DSP half that reports every call the host makes
//      into it as an unknown request, so a test can read back how the host
//      cut time into processing stretches and events:
//        request 100: process(offset in index, count in value, opt = the
//                     audio input's sample at offset)
//        request 101: MIDI event (index = event time, value = message)
//        request 102: scheduled call delivered (index = sample clock)
//        request 103: pin state (index = pin, value = state)
//      A MIDI message's status byte says what to do besides:
//        0xA0: send the idle request from the next processing call
//        0xC0: schedule a call d1 samples later
//        0xB0: schedule a call at the same sample, again from every call
//        0xD0: never return (a module that hangs)
//        0xE0: write through a null pointer (a module that crashes)
//      Its panel half answers every op with 0 and draws nothing.
//   5  records that are not what they claim: the DSP record's magic is
//      wrong, the panel record has no dispatcher
//   6  a sound module whose DSP half crashes in open
#include "framework/host_interface.h"

#include <cstdint>
#include <cstring>
#include <new>

#if defined(_WIN32)
#define FIXTURE_EXPORT extern "C" __declspec(dllexport)
#else
#define FIXTURE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

using namespace qem;

namespace {

constexpr const char* kName = "Host Fixture";

[[maybe_unused]] void crash() {
    volatile std::uintptr_t zero = 0; // not a constant: a real write to address 0
    *reinterpret_cast<volatile int*>(zero) = 1;
}

[[maybe_unused]] void hang() {
    volatile bool forever = true;
    while (forever) {
    }
}

#if QEM_FIXTURE_KIND == 4 || QEM_FIXTURE_KIND == 6
struct ClockDsp {
    DspHostRecord record;
    HostCallback callback;
    const float* audio = nullptr;
    bool idleNext = false;
    bool runaway = false;

    HostWord call(std::int32_t op, HostWord index = 0, HostWord value = 0, void* ptr = nullptr, float opt = 0) {
        return callback(&record, op, index, value, ptr, opt);
    }
    void schedule(std::int32_t time);
};

void QEM_CDECL fire(ClockDsp* self);

void ClockDsp::schedule(std::int32_t time) {
    DspEvent e{time, CallEvent, 0, 0, reinterpret_cast<HostWord>(&fire), 0};
    call(DspReqScheduleCall, 0, 0, &e);
    std::memset(&e, 0xEE, sizeof e); // the host must have copied it
}

void QEM_CDECL fire(ClockDsp* self) {
    auto clock = static_cast<std::int32_t>(self->call(DspReqSampleClock));
    self->call(102, clock);
    if (self->runaway) self->schedule(clock);
}

void QEM_CDECL process(void* object, std::int32_t offset, std::int32_t count) {
    auto* self = static_cast<ClockDsp*>(object);
    float sample = self->audio != nullptr ? self->audio[offset] : -1.0f;
    self->call(100, offset, count, nullptr, sample);
    if (self->idleNext) {
        self->idleNext = false;
        self->call(DspReqIdle);
    }
}

void QEM_CDECL dspEvent(void* object, DspEvent* e) {
    auto* self = static_cast<ClockDsp*>(object);
    switch (e->type) {
    case PinStateEvent: self->call(103, e->value3, e->value1); break;
    case MidiEvent: {
        self->call(101, e->time, e->value1);
        int status = e->value1 & 0xF0, d1 = (e->value1 >> 8) & 0xFF;
        auto clock = static_cast<std::int32_t>(self->call(DspReqSampleClock));
        if (status == 0xA0) self->idleNext = true;
        if (status == 0xD0) hang();
        if (status == 0xE0) crash();
        if (status == 0xC0) self->schedule(clock + d1);
        if (status == 0xB0) {
            self->runaway = true;
            self->schedule(clock);
        }
        break;
    }
    case CallEvent: reinterpret_cast<void(QEM_CDECL*)(ClockDsp*)>(e->value3)(self); break;
    default: break;
    }
}

HostWord QEM_CDECL dspDispatch(void* record, std::int32_t op, HostWord index, HostWord, void* ptr, float) {
    auto* self = static_cast<ClockDsp*>(static_cast<DspHostRecord*>(record)->object);
    switch (op) {
    case DspOpOpen:
        if (QEM_FIXTURE_KIND == 6) crash();
        self->record.process = &process;
        self->call(DspReqProcessChanged);
        self->call(DspReqPinCount);
        return 0;
    case DspOpClose: delete self; return 1;
    case DspOpGetPinProperties: {
        auto* p = static_cast<PinProperties*>(ptr);
        if (index == 0) *p = {&self->audio, DirIn, DataAudio, "Audio", nullptr, nullptr, PinFlagsInput, 0};
        else if (index == 1) *p = {nullptr, DirIn, DataMidi, "MIDI", nullptr, nullptr, PinFlagsInput, 0};
        else return 0;
        return 1;
    }
    default: return 0;
    }
}

void QEM_CDECL noProcess(void*, std::int32_t, std::int32_t) {}

struct QuietPanel {
    GuiHostRecord record;
};

HostWord QEM_CDECL panelDispatch(void* record, std::int32_t op, HostWord, HostWord, void*, float) {
    if (op == PanelOpClose) delete static_cast<QuietPanel*>(static_cast<GuiHostRecord*>(record)->object);
    return op == PanelOpClose ? 1 : 0;
}
#endif

} // namespace

FIXTURE_EXPORT std::int32_t QEM_CDECL getModuleProperties(std::int32_t index, ModuleProperties* props) {
#if QEM_FIXTURE_KIND == 2
    (void)index;
    (void)props;
    return 0;
#else
    if (index != 0) return 0;
    props->name = kName;
    props->identifier = kName;
    props->about = "A library for the host's tests.";
    props->interfaceVersion = kInterfaceVersion;
    return 1;
#endif
}

#if QEM_FIXTURE_KIND != 1
FIXTURE_EXPORT void* QEM_CDECL makeModule(std::int32_t index, std::int32_t type, HostCallback callback,
                                          HostWord hostValue) {
#if QEM_FIXTURE_KIND == 4 || QEM_FIXTURE_KIND == 6
    if (index != 0) return nullptr;
    if (type == ModuleTypeDsp) {
        auto* self = new (std::nothrow) ClockDsp{};
        if (self == nullptr) return nullptr;
        self->callback = callback;
        self->record.magic = kDspRecordMagic;
        self->record.version = 1;
        self->record.hostValue = hostValue;
        self->record.object = self;
        self->record.dispatcher = &dspDispatch;
        self->record.process = &noProcess;
        self->record.event = &dspEvent;
        return &self->record;
    }
    if (type == ModuleTypePanel) {
        auto* self = new (std::nothrow) QuietPanel{};
        if (self == nullptr) return nullptr;
        self->record.magic = kPanelRecordMagic;
        self->record.version = 1;
        self->record.dispatcher = &panelDispatch;
        self->record.hostValue = hostValue;
        self->record.object = self;
        return &self->record;
    }
    return nullptr;
#elif QEM_FIXTURE_KIND == 5
    (void)callback;
    if (index != 0) return nullptr;
    static DspHostRecord dsp{};
    static GuiHostRecord panel{};
    if (type == ModuleTypeDsp) {
        dsp = DspHostRecord{};
        dsp.magic = kPanelRecordMagic; // the other half's
        dsp.version = 1;
        dsp.hostValue = hostValue;
        return &dsp;
    }
    if (type == ModuleTypePanel) {
        panel = GuiHostRecord{};
        panel.magic = kPanelRecordMagic;
        panel.version = 1;
        panel.hostValue = hostValue;
        return &panel; // no dispatcher
    }
    return nullptr;
#else
    (void)index;
    (void)type;
    (void)callback;
    (void)hostValue;
    return nullptr;
#endif
}
#endif
