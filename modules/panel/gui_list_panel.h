// The panel-only list monitors: the value of a panel list pin shown as its
// number and its name, "3 - Three". Two forms of one class:
// - GuiList registers its list pin in the Gui direction and a second pin,
//   the "List Choices" text the user edits; at every start and every edit
//   it hands that text to the host as the list pin's choices (request 16),
//   so the user's names show at once;
// - RGuiList registers its list pin in the reverse direction and names the
//   values from whatever choices the host holds for it.
// The names are read back from the host (request 17) at every lookup.
#pragma once

#include "framework/value_display.h"

#include <cstdint>

namespace qem {

// What tells the two forms apart; a construction constant.
struct GuiListForm {
    PinDirection pinDirection;    // of the list pin
    bool hasChoicesPin;           // registers and hands over "List Choices"
    const char* constructionText; // shown until the first start
};

inline constexpr GuiListForm kGuiListForm{DirIn, true, "0.00"};
inline constexpr GuiListForm kRGuiListForm{DirOut, false, "0"};

class GuiListPanel : public ValueDisplay {
public:
    static constexpr std::int32_t kListPin = 0;    // "List"
    static constexpr std::int32_t kChoicesPin = 1; // "List Choices" (GuiList)

    GuiListPanel(HostCallback callback, HostWord hostValue, const GuiListForm& form);

    void onStart(bool pinsExist) override;
    void onPinValueChanged(PanelPin pin) override;
    void onInputGone(HostWord index) override;

    const GuiListForm& form() const { return form_; }
    float lastValue() const { return lastValue_; }

private:
    void handOverChoices();
    void showValue();

    const GuiListForm form_;
    float lastValue_ = 0; // the last value read, the form its name is looked up by
};

} // namespace qem
