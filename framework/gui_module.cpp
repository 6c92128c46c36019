#include "framework/gui_module.h"

#include <cstring>

namespace qem {
namespace {

HostWord QEM_CDECL panelDispatcherEntry(void* record, std::int32_t op, HostWord index, HostWord value,
                                        void* ptr, float opt) {
    auto* object = static_cast<GuiModule*>(static_cast<GuiHostRecord*>(record)->object);
    try {
        return object->dispatch(op, index, value, ptr, opt);
    } catch (...) {
        return 0; // nothing is thrown across the boundary
    }
}

} // namespace

std::int32_t PanelPin::getInt() const {
    std::int32_t slot = 0;
    module->callHost(PanelReqGetValue, index, 0, &slot);
    return slot;
}

float PanelPin::getFloat() const {
    std::int32_t bits = getInt();
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

void PanelPin::setInt(std::int32_t v) const { module->callHost(PanelReqSetValue, index, v); }

void PanelPin::setFloat(float v) const { module->callHost(PanelReqSetValue, index, 0, nullptr, v); }

std::string PanelPin::getText() const {
    auto* text = reinterpret_cast<const char*>(module->callHost(PanelReqGetText, index));
    return text != nullptr ? std::string(text) : std::string();
}

void PanelPin::setText(const std::string& text) const {
    module->callHost(PanelReqSetText, index, 0, const_cast<char*>(text.c_str()));
}

GuiModule::GuiModule(HostCallback callback, HostWord hostValue) : callback_(callback) {
    std::memset(&record_, 0, sizeof record_);
    record_.magic = kPanelRecordMagic;
    record_.version = 1;
    record_.dispatcher = &panelDispatcherEntry;
    record_.hostValue = hostValue;
    record_.object = this;
}

GuiModule::~GuiModule() = default;

HostWord GuiModule::dispatch(std::int32_t op, HostWord index, HostWord value, void* ptr, float opt) {
    switch (op) {
    case PanelOpStart:
        onStart(index == 1);
        return 0;
    case PanelOpClose:
        onClose();
        delete this;
        return 1;
    case PanelOpPaint:
        paint(index, static_cast<const PaintInfo*>(ptr));
        return 0;
    case PanelOp3:
        onPanelOp3(ptr, opt, {index, value});
        return 0;
    case PanelOp4:
        onPanelOp4(ptr, opt, {index, value});
        return 0;
    case PanelOp5:
        onPanelOp5(ptr, opt, {index, value});
        return 0;
    case PanelOp6:
        onPanelOp6(value, index, ptr);
        return 0;
    case PanelOpPinValueChanged:
        onPinValueChanged(PanelPin{static_cast<std::int32_t>(index), this});
        return 0;
    case PanelOp8:
        onPanelOp8(ptr);
        return 0;
    case PanelOp9:
        onPanelOp9(ptr);
        return 0;
    case PanelOp10:
        return onPanelOp10() ? 1 : 0;
    case PanelOp11:
        onPanelOp11(index);
        return 0;
    case PanelOpInputGone:
        onInputGone(index);
        return 0;
    default:
        return 0;
    }
}

void GuiModule::onStart(bool) {}
void GuiModule::onClose() {}
void GuiModule::paint(HostWord, const PaintInfo*) {}
void GuiModule::onPanelOp3(void*, float, PanelPoint) {}
void GuiModule::onPanelOp4(void*, float, PanelPoint) {}
void GuiModule::onPanelOp5(void*, float, PanelPoint) {}
void GuiModule::onPanelOp8(void*) {}
void GuiModule::onPanelOp9(void*) {}
bool GuiModule::onPanelOp10() { return false; }
void GuiModule::onPanelOp11(HostWord) {}
void GuiModule::onInputGone(HostWord) {}
void GuiModule::onPanelOp6(HostWord, HostWord, void*) {}
void GuiModule::onPinValueChanged(PanelPin) {}

HostWord GuiModule::callHost(std::int32_t op, HostWord index, HostWord value, void* ptr, float opt) {
    if (callback_ == nullptr) return 0;
    return callback_(&record_, op, index, value, ptr, opt);
}

void GuiModule::addPanelPin(PinDataType dataType, PinDirection direction, const char* name) {
    callHost(PanelReqAddPin, dataType, direction, const_cast<char*>(name));
}

void GuiModule::requestRepaint() { callHost(PanelReqRepaint); }

} // namespace qem
