#include "framework/value_display.h"

#include "framework/platform/gdi.h"

namespace qem {
namespace {
constexpr char kFontClass[] = "tty";
} // namespace

ValueDisplay::ValueDisplay(HostCallback callback, HostWord hostValue) : GuiModule(callback, hostValue) {
    callHost(PanelReqSetup11);
    callHost(PanelReqSetup3, 100, 30);
    callHost(PanelReqSetup4, 1, 0);
}

ValueDisplay::~ValueDisplay() = default;

void ValueDisplay::onStart(bool) {}
void ValueDisplay::onInputGone(HostWord) {}
void ValueDisplay::onPinValueChanged(PanelPin) {}

void ValueDisplay::paint(HostWord dc, const PaintInfo* info) {
    // A host that passes no PaintInfo gets the text without a band.
    const std::int32_t width = info != nullptr ? info->width : 0;
    const HostWord selector = info != nullptr ? info->fontSelector : 0;

    auto font = static_cast<gdi::Handle>(
        callHost(PanelReqFont, selector, reinterpret_cast<HostWord>(kFontClass), &fontInfo_));

    if (fontInfo_.backgroundColour >= 0) {
        gdi::Handle brush = gdi::createSolidBrush(static_cast<std::uint32_t>(fontInfo_.backgroundColour));
        gdi::fillRect(dc, {kBandLeft, 0, width, kBandBottom}, brush);
        gdi::deleteObject(brush);
    }

    gdi::Handle previous = gdi::selectObject(dc, font);
    gdi::setTextColor(dc, kTextGreen);
    gdi::setBkMode(dc, gdi::kTransparent);
    gdi::setTextAlign(dc, gdi::kAlignLeftTop);
    if (!text_.empty()) gdi::textOut(dc, kTextX, 0, text_.data(), static_cast<int>(text_.size()));
    if (previous != 0) gdi::selectObject(dc, previous);
}

} // namespace qem
