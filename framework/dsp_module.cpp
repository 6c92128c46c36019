#include "framework/dsp_module.h"

#include <cstring>
#include <new>

namespace qem {
namespace {

HostWord QEM_CDECL dspDispatcherEntry(void* record, std::int32_t op, HostWord index, HostWord value,
                                      void* ptr, float opt) {
    auto* object = static_cast<DspModule*>(static_cast<DspHostRecord*>(record)->object);
    try {
        return object->dispatch(op, index, value, ptr, opt);
    } catch (...) {
        return 0; // nothing is thrown across the boundary
    }
}

void QEM_CDECL dspEventEntry(void* object, DspEvent* event) {
    try {
        static_cast<DspModule*>(object)->handleEvent(event);
    } catch (...) {
    }
}

void QEM_CDECL nothingProcess(void*, std::int32_t, std::int32_t) {}

void QEM_CDECL idleProcessEntry(void* object, std::int32_t, std::int32_t) {
    static_cast<DspModule*>(object)->callHost(DspReqIdle);
}

} // namespace

void DspPin::sendState(std::int32_t clock, PinState newState) const {
    if (module == nullptr) return; // a blank pin reports nothing
    module->callHost(DspReqPinState, index, newState,
                     reinterpret_cast<void*>(static_cast<HostWord>(clock)));
}

ProcessFunction DspModule::emptyProcess() { return {&nothingProcess, 0, 0, 0}; }
ProcessFunction DspModule::idleProcess() { return {&idleProcessEntry, 0, 0, 0}; }

DspModule::DspModule(HostCallback callback, HostWord hostValue)
    : callback_(callback), process_(emptyProcess()) {
    std::memset(&record_, 0, sizeof record_);
    record_.magic = kDspRecordMagic;
    record_.version = 1;
    record_.hostValue = hostValue;
    record_.object = this;
    record_.dispatcher = &dspDispatcherEntry;
    record_.process = process_.entry;
    record_.event = &dspEventEntry;
}

DspModule::~DspModule() = default;

void DspModule::onPinStateChanged(DspPin&) {}

void DspModule::handleEvent(const DspEvent* event) {
    if (event == nullptr) return;
    switch (event->type) {
    case PinStateEvent: {
        // A pin the array does not hold is ignored, never read past the array.
        HostWord i = event->value3;
        if (i < 0 || i >= pinCount_) return;
        DspPin& pin = pins_[i];
        pin.state = event->value1;
        onPinStateChanged(pin);
        if (event->value1 == StateChanged) pin.state = StateStatic;
        break;
    }
    case MidiEvent:
        onMidiEvent(event->time, event->value1, static_cast<std::int16_t>(event->value2 & 0xFFFF));
        break;
    case CallEvent:
        if (event->value3 != 0) reinterpret_cast<CallOperation>(event->value3)(this);
        break;
    default:
        break;
    }
}

HostWord DspModule::dispatch(std::int32_t op, HostWord index, HostWord value, void* ptr, float opt) {
    switch (op) {
    case DspOpOpen:
        open();
        return 0;
    case DspOpClose:
        close();
        delete this;
        return 1;
    case DspOpSetSampleRate:
        setSampleRate(opt);
        return 0;
    case DspOpSetBlockSize:
        setBlockSize(static_cast<std::int32_t>(value));
        return 0;
    case DspOpGetPinProperties:
        return getPinProperties(static_cast<std::int32_t>(index), static_cast<PinProperties*>(ptr)) ? 1 : 0;
    case DspOpHook8:
        onDspOp8();
        if (index > 0) onDspOp8Index(index);
        return 0;
    case DspOpHook12:
        onDspOp12(value, index, ptr);
        return 0;
    case DspOpProcessInfo:
        processInfo_ = {1, 16, &process_, 0};
        return reinterpret_cast<HostWord>(&processInfo_);
    default:
        return 0;
    }
}

void DspModule::open() {
    HostWord n = callHost(DspReqPinCount);
    if (n > 0 && n <= 0x10000) {
        pins_.reset(new (std::nothrow) DspPin[static_cast<std::size_t>(n)]);
        pinCount_ = pins_ ? static_cast<std::int32_t>(n) : 0;
    }
    PinProperties props{};
    std::int32_t k = 0;
    for (std::int32_t d = 0; k < pinCount_ && getPinProperties(d, &props); ++d) {
        bool panelOnly = (props.flags & PinFlagPanel) != 0 && (props.flags & PinFlagPanelAndDsp) == 0;
        if (!panelOnly) {
            pins_[k] = DspPin{props.variable, this, k, StateStatic};
            ++k;
        }
        props = PinProperties{};
    }
}

void DspModule::close() {}
void DspModule::setSampleRate(float rate) { sampleRate_ = rate; }
void DspModule::setBlockSize(std::int32_t size) { blockSize_ = size; }
float DspModule::getSampleRate() const { return sampleRate_; }
std::int32_t DspModule::getBlockSize() const { return blockSize_; }
bool DspModule::getPinProperties(std::int32_t, PinProperties*) { return false; }
void DspModule::onDspOp8() {}
void DspModule::onDspOp8Index(HostWord) {}
void DspModule::onMidiEvent(std::int32_t, std::int32_t, std::int16_t) {}
void DspModule::onDspOp12(HostWord, HostWord, void*) {}

HostWord DspModule::callHost(std::int32_t op, HostWord index, HostWord value, void* ptr, float opt) {
    if (callback_ == nullptr) return 0;
    return callback_(&record_, op, index, value, ptr, opt);
}

std::int32_t DspModule::getSampleClock() { return static_cast<std::int32_t>(callHost(DspReqSampleClock)); }

void DspModule::setProcessFunction(const ProcessFunction& fn) {
    if (fn.entry == process_.entry && (fn.entry == nullptr || fn == process_)) return;
    process_ = fn;
    record_.process = fn.entry;
    callHost(DspReqProcessChanged);
}

void DspModule::scheduleCall(std::int32_t time, CallOperation operation) {
    DspEvent event{time, CallEvent, 0, 0, reinterpret_cast<HostWord>(operation), 0};
    callHost(DspReqScheduleCall, 0, 0, &event);
}

DspPin& DspModule::pinAt(std::int32_t i) {
    if (i >= 0 && i < pinCount_) return pins_[i];
    strayPin_ = DspPin{};
    return strayPin_;
}

void BareDsp::open() {
    setProcessFunction(idleProcess());
    DspModule::open();
}

} // namespace qem
