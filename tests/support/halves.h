// The one way tests drive a module half: through its host record, exactly
// as a host does (the dispatcher, the event entry, the processing function
// at offset 24), whether the half was made in-process from its class or by
// a library's makeModule. A driver owns its half and closes it (op 1) when
// it goes, unless the test closed it first.
#pragma once

#include "framework/gui_module.h"
#include "framework/host_interface.h"
#include "framework/plugin_entry.h"
#include "framework/value_display.h"
#include "tests/support/fake_host.h"

#include <string>
#include <utility>

namespace qem::test {

class DspHalf {
public:
    // A half of class Dsp, made as makeModule makes it, reporting to host.
    template <class Dsp>
    static DspHalf make(FakeHost& host, HostWord hostValue = 77) {
        return DspHalf(makeHalf<Dsp>(host.callback(), hostValue));
    }
    // A half made by a library's makeModule (null when it made none).
    static DspHalf make(MakeModuleFn makeModule, HostCallback callback, HostWord hostValue = 77) {
        return DspHalf(makeModule(0, ModuleTypeDsp, callback, hostValue));
    }
    explicit DspHalf(void* record) : rec_(static_cast<DspHostRecord*>(record)) {}
    DspHalf(DspHalf&& other) noexcept : rec_(std::exchange(other.rec_, nullptr)) {}
    DspHalf& operator=(DspHalf&& other) noexcept {
        std::swap(rec_, other.rec_);
        return *this;
    }
    ~DspHalf() {
        if (rec_ != nullptr) close();
    }

    bool made() const { return rec_ != nullptr; }
    DspHostRecord* record() const { return rec_; }
    template <class Dsp>
    Dsp& as() const {
        return *static_cast<Dsp*>(static_cast<DspModule*>(rec_->object));
    }

    HostWord op(std::int32_t o, HostWord index = 0, HostWord value = 0, void* ptr = nullptr, float opt = 0) {
        return rec_->dispatcher(rec_, o, index, value, ptr, opt);
    }
    void open() { op(DspOpOpen); }
    HostWord close() {
        DspHostRecord* rec = std::exchange(rec_, nullptr);
        return rec->dispatcher(rec, DspOpClose, 0, 0, nullptr, 0);
    }

    // Description index `index` into a zeroed record; false when there is none.
    bool describe(std::int32_t index, PinProperties& p) {
        p = PinProperties{};
        return op(DspOpGetPinProperties, index, 0, &p) == 1;
    }
    void* variable(std::int32_t index) {
        PinProperties p;
        return describe(index, p) ? p.variable : nullptr;
    }
    template <class T>
    T& variableAs(std::int32_t index) {
        return *static_cast<T*>(variable(index));
    }

    void event(DspEvent e) { rec_->event(rec_->object, &e); }
    void pinEvent(std::int32_t dspPin, std::int32_t state, std::int32_t time = 0) {
        event({time, PinStateEvent, state, 0, dspPin, 0});
    }
    void midi(std::int32_t message, std::int32_t time = 5, std::int32_t extra = 0) {
        event({time, MidiEvent, message, extra, 0, 0});
    }
    // A call the half scheduled with request 19, delivered back to it.
    void deliver(const DspEvent& scheduled) { event(scheduled); }
    // The current processing function, as the host calls it.
    void process(std::int32_t offset, std::int32_t count) { rec_->process(rec_->object, offset, count); }

private:
    DspHostRecord* rec_;
};

class PanelHalf {
public:
    template <class Panel, class... Args>
    static PanelHalf make(FakeHost& host, const Args&... args) {
        return PanelHalf(makeHalf<Panel>(host.callback(), 9, args...));
    }
    static PanelHalf make(MakeModuleFn makeModule, HostCallback callback, HostWord hostValue = 9) {
        return PanelHalf(makeModule(0, ModuleTypePanel, callback, hostValue));
    }
    explicit PanelHalf(void* record) : rec_(static_cast<GuiHostRecord*>(record)) {}
    PanelHalf(PanelHalf&& other) noexcept : rec_(std::exchange(other.rec_, nullptr)) {}
    PanelHalf& operator=(PanelHalf&& other) noexcept {
        std::swap(rec_, other.rec_);
        return *this;
    }
    ~PanelHalf() {
        if (rec_ != nullptr) close();
    }

    bool made() const { return rec_ != nullptr; }
    GuiHostRecord* record() const { return rec_; }
    template <class Panel>
    Panel& as() const {
        return *static_cast<Panel*>(static_cast<GuiModule*>(rec_->object));
    }
    // The shown text. Every panel is a ValueDisplay; a library built by the
    // same compiler from the same headers shares its layout.
    const std::string& text() const { return as<ValueDisplay>().text(); }

    HostWord op(std::int32_t o, HostWord index = 0, HostWord value = 0, void* ptr = nullptr, float opt = 0) {
        return rec_->dispatcher(rec_, o, index, value, ptr, opt);
    }
    void start(bool pinsExist = false) { op(PanelOpStart, pinsExist ? 1 : 0); }
    void changed(std::int32_t panelPin) { op(PanelOpPinValueChanged, panelPin); }
    void gone(std::int32_t index = 0) { op(PanelOpInputGone, index); }
    void paint(HostWord dc, const PaintInfo* info) { op(PanelOpPaint, dc, 0, const_cast<PaintInfo*>(info)); }
    HostWord close() {
        GuiHostRecord* rec = std::exchange(rec_, nullptr);
        return rec->dispatcher(rec, PanelOpClose, 0, 0, nullptr, 0);
    }

private:
    GuiHostRecord* rec_;
};

} // namespace qem::test
