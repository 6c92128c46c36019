// The panel half's base: its host record, the dispatcher and the panel pin
// requests. Module panel classes derive from ValueDisplay, which derives
// from GuiModule.
#pragma once

#include "framework/host_interface.h"

#include <cstdint>
#include <string>

namespace qem {

class GuiModule;

// A light handle on one panel pin; every read and write goes to the host.
struct PanelPin {
    std::int32_t index;
    GuiModule* module;

    std::int32_t getInt() const;   // request 14, the slot's 4 bytes as an integer
    float getFloat() const;        // request 14, the same 4 bytes as a float
    void setInt(std::int32_t v) const;  // request 15, v in value
    void setFloat(float v) const;       // request 15, v in opt
    std::string getText() const;   // request 7; a null answer reads as the empty text
    void setText(const std::string& text) const; // request 6, never a null pointer
};

struct PanelPoint {
    HostWord x, y;
};

class GuiModule {
public:
    GuiModule(HostCallback callback, HostWord hostValue);
    GuiModule(const GuiModule&) = delete;
    GuiModule& operator=(const GuiModule&) = delete;

    // Virtual operations, in this order; all [panel].
    virtual ~GuiModule();
    virtual HostWord dispatch(std::int32_t op, HostWord index, HostWord value, void* ptr, float opt);
    virtual void onStart(bool pinsExist);
    virtual void onClose();
    virtual void paint(HostWord dc, const PaintInfo* info);
    virtual void onPanelOp3(void* ptr, float opt, PanelPoint point);
    virtual void onPanelOp4(void* ptr, float opt, PanelPoint point);
    virtual void onPanelOp5(void* ptr, float opt, PanelPoint point);
    virtual void onPanelOp8(void* ptr);
    virtual void onPanelOp9(void* ptr);
    virtual bool onPanelOp10();
    virtual void onPanelOp11(HostWord index);
    virtual void onInputGone(HostWord index);
    virtual void onPanelOp6(HostWord value, HostWord index, void* ptr);
    virtual void onPinValueChanged(PanelPin pin);

    GuiHostRecord* record() { return &record_; }

    // Every panel request goes through here. Without a callback nothing is
    // sent and the result is 0.
    HostWord callHost(std::int32_t op, HostWord index = 0, HostWord value = 0, void* ptr = nullptr,
                      float opt = 0.0f);
    void addPanelPin(PinDataType dataType, PinDirection direction, const char* name);
    PanelPin pin(std::int32_t index) { return PanelPin{index, this}; }
    void requestRepaint();

private:
    HostCallback callback_;
    GuiHostRecord record_;
};

} // namespace qem
