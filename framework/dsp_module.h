// The DSP half's base: its host record, the dispatcher, pin binding and the
// requests a DSP half makes. Module DSP classes derive from DspModule and
// override only the hooks they need.
#pragma once

#include "framework/host_interface.h"

#include <cstdint>
#include <memory>

namespace qem {

class DspModule;

// One bound pin, in binding order: its place in the pin array is its DSP
// pin index.
struct DspPin {
    void* variable = nullptr;      // the bound member, or null
    DspModule* module = nullptr;   // the owner; null for a blank pin
    std::int32_t index = 0;        // DSP pin index
    std::int32_t state = StateStatic;

    // Reports a change of this pin to the host (request 0) [dsp].
    void sendState(std::int32_t clock, PinState newState) const;
};

// The code address of an operation that scheduleCall hands back to the
// module: a plain function taking the object, never a member pointer.
using CallOperation = void (*)(DspModule* module);

class DspModule {
public:
    DspModule(HostCallback callback, HostWord hostValue);
    DspModule(const DspModule&) = delete;
    DspModule& operator=(const DspModule&) = delete;

    // Virtual operations, in this order.
    virtual ~DspModule();
    virtual void onPinStateChanged(DspPin& pin);                       // [dsp]
    virtual void handleEvent(const DspEvent* event);                   // [dsp]
    virtual HostWord dispatch(std::int32_t op, HostWord index, HostWord value, void* ptr,
                              float opt);                              // host's entry
    virtual void open();                                               // binds the pins
    virtual void close();
    virtual void setSampleRate(float rate);
    virtual void setBlockSize(std::int32_t size);
    virtual float getSampleRate() const;
    virtual std::int32_t getBlockSize() const;
    virtual bool getPinProperties(std::int32_t index, PinProperties* props);
    virtual void onDspOp8();
    virtual void onDspOp8Index(HostWord index);
    virtual void onMidiEvent(std::int32_t time, std::int32_t message, std::int16_t extra); // [dsp]
    virtual void onDspOp12(HostWord value, HostWord index, void* ptr);

    DspHostRecord* record() { return &record_; }
    const ProcessFunction& processFunction() const { return process_; }
    std::int32_t pinCount() const { return pinCount_; }

    // Every DSP request goes through here; without a callback nothing is
    // sent and the result is 0.
    HostWord callHost(std::int32_t op, HostWord index = 0, HostWord value = 0, void* ptr = nullptr,
                      float opt = 0.0f);
    std::int32_t getSampleClock();
    void setProcessFunction(const ProcessFunction& fn);
    void scheduleCall(std::int32_t time, CallOperation operation);
    // The pin at DSP index i. An index outside the array yields a blank
    // scratch pin, so a stray index never reaches past the array.
    DspPin& pinAt(std::int32_t i);

    // The processing function that does nothing, and the idle one that only
    // sends request 10.
    static ProcessFunction emptyProcess();
    static ProcessFunction idleProcess();

    // A processing function that calls member Fn of the derived class.
    template <class Module, void (Module::*Fn)(std::int32_t offset, std::int32_t count)>
    static ProcessFunction processFor() {
        return {&processTrampoline<Module, Fn>, 0, 0, 0};
    }
    // A scheduled-call operation that calls member Fn of the derived class.
    template <class Module, void (Module::*Fn)()>
    static CallOperation operationFor() {
        return [](DspModule* m) { (static_cast<Module*>(m)->*Fn)(); };
    }

private:
    template <class Module, void (Module::*Fn)(std::int32_t, std::int32_t)>
    static void QEM_CDECL processTrampoline(void* object, std::int32_t offset, std::int32_t count) {
        (static_cast<Module*>(static_cast<DspModule*>(object))->*Fn)(offset, count);
    }

    HostCallback callback_;
    DspHostRecord record_;
    float sampleRate_ = 44100.0f;
    std::int32_t blockSize_ = 1024;
    std::unique_ptr<DspPin[]> pins_;
    std::int32_t pinCount_ = 0;
    ProcessFunction process_;
    ProcessFunctionInfo processInfo_{};
    DspPin strayPin_;
};

// The DSP half of a panel-only deliverable: no pins, the idle processing
// function.
class BareDsp : public DspModule {
public:
    using DspModule::DspModule;
    void open() override;
};

} // namespace qem
