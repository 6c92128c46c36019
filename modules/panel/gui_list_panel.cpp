#include "modules/panel/gui_list_panel.h"

#include "modules/dsp/list_choices.h"

namespace qem {

GuiListPanel::GuiListPanel(HostCallback callback, HostWord hostValue, const GuiListForm& form)
    : ValueDisplay(callback, hostValue), form_(form) {
    replaceText(form_.constructionText);
}

void GuiListPanel::onStart(bool pinsExist) {
    if (!pinsExist) {
        addPanelPin(DataList, form_.pinDirection, "List");
        if (form_.hasChoicesPin) {
            addPanelPin(DataText, DirSetting, "List Choices");
            pin(kChoicesPin).setText(kDefaultListChoices);
        }
        pin(kListPin).setInt(0);
    }
    // Fresh or not, the host's choices match "List Choices" before the
    // first text is built.
    if (form_.hasChoicesPin) handOverChoices();
    replaceText(numberAndChoice(*this, kListPin, pin(kListPin).getInt(), lastValue_));
}

void GuiListPanel::onPinValueChanged(PanelPin changed) {
    switch (changed.index) {
    case kChoicesPin: // an edit of "List Choices": the new names show at once
        handOverChoices();
        [[fallthrough]];
    case kListPin:
        showValue();
        return;
    default: // not a pin of this panel
        return;
    }
}

void GuiListPanel::onInputGone(HostWord) {
    replaceTextAndRepaint(numberAndChoice(*this, kListPin, 0, lastValue_));
}

// The "List Choices" text becomes the list pin's choices, whatever its form.
void GuiListPanel::handOverChoices() {
    const std::string choices = pin(kChoicesPin).getText();
    callHost(PanelReqSetChoices, kListPin, kChoicesCapacity, const_cast<char*>(choices.c_str()));
}

void GuiListPanel::showValue() {
    replaceTextAndRepaint(numberAndChoice(*this, kListPin, pin(kListPin).getInt(), lastValue_));
}

} // namespace qem
