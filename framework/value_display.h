// The panel every module shows: one line of green text over an optional
// background band.
#pragma once

#include "framework/gui_module.h"
#include "framework/value_text.h"

#include <string>

namespace qem {

inline constexpr std::uint32_t kTextGreen = 0x0000FF00; // COLORREF of the text
inline constexpr int kTextX = 7;
inline constexpr int kBandLeft = 2;
inline constexpr int kBandBottom = 15;

class ValueDisplay : public GuiModule {
public:
    // Sends requests 11, 3 (100, 30) and 4 (1, 0).
    ValueDisplay(HostCallback callback, HostWord hostValue);
    ~ValueDisplay() override;

    void onStart(bool pinsExist) override;
    void paint(HostWord dc, const PaintInfo* info) override;
    void onInputGone(HostWord index) override;
    void onPinValueChanged(PanelPin pin) override;

    // The shown text: the one line every paint draws.
    const std::string& text() const { return text_; }

protected:
    // Replaces the shown text as a whole, without a repaint (as a start does).
    void replaceText(std::string text) { text_ = std::move(text); }
    // Replaces the shown text and asks the host to paint it (after a pin
    // change or an input-gone notice).
    void replaceTextAndRepaint(std::string text) {
        text_ = std::move(text);
        requestRepaint();
    }

private:
    std::string text_;
    FontInfo fontInfo_{};
};

} // namespace qem
