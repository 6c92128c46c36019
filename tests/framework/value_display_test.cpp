// The shared panel: construction requests, text replacement and paint. The
// paint is checked on the recorded draw list natively; the real pixels are
// checked on the real DLL under Wine (probe_plugin_test).
#include "framework/value_display.h"
#include "tests/support/fake_host.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include "framework/platform/recording_dc.h"
#endif

namespace qem {
namespace {

using test::FakeHost;

class TextPanel : public ValueDisplay {
public:
    using ValueDisplay::ValueDisplay;
    using ValueDisplay::replaceText;
    using ValueDisplay::replaceTextAndRepaint;
};

TEST(ValueDisplay, ConstructionRequestsInOrder) {
    FakeHost host;
    auto* panel = new TextPanel(host.callback(), 0);
    ASSERT_EQ(host.requests.size(), 3u);
    EXPECT_TRUE(host.requests[0].is(PanelReqSetup11, 0, 0));
    EXPECT_TRUE(host.requests[1].is(PanelReqSetup3, 100, 30));
    EXPECT_TRUE(host.requests[2].is(PanelReqSetup4, 1, 0));
    EXPECT_EQ(panel->text(), "");
    EXPECT_EQ(panel->record()->dispatcher(panel->record(), PanelOp10, 0, 0, nullptr, 0), 0);
    panel->record()->dispatcher(panel->record(), PanelOpClose, 0, 0, nullptr, 0);
}

TEST(ValueDisplay, ReplacingWithRepaintAsksOnceWithoutNever) {
    FakeHost host;
    auto* panel = new TextPanel(host.callback(), 0);
    host.clear();
    panel->replaceText("a");
    EXPECT_EQ(host.count(PanelReqRepaint), 0);
    panel->replaceTextAndRepaint("b");
    EXPECT_EQ(host.count(PanelReqRepaint), 1);
    EXPECT_EQ(panel->text(), "b");
    panel->record()->dispatcher(panel->record(), PanelOpClose, 0, 0, nullptr, 0);
}

TEST(ValueDisplay, NullCallbackPanelIsSafe) {
    auto* panel = new TextPanel(nullptr, 0);
    panel->replaceTextAndRepaint("x");
    EXPECT_EQ(panel->record()->dispatcher(panel->record(), PanelOpClose, 0, 0, nullptr, 0), 1);
}

#ifndef _WIN32

struct PaintFixture : ::testing::Test {
    FakeHost host;
    TextPanel* panel = new TextPanel(host.callback(), 0);
    gdi::RecordingDc dc;
    PaintInfo info{100, 0, 7, {}};

    void SetUp() override {
        host.fontHandle = 0x5000;
        dc.selected = 0x4000; // the font the host's context holds
        host.clear();
    }
    void TearDown() override { panel->record()->dispatcher(panel->record(), PanelOpClose, 0, 0, nullptr, 0); }
    void paint() {
        dc.clearOps();
        panel->record()->dispatcher(panel->record(), PanelOpPaint, reinterpret_cast<HostWord>(&dc), 0, &info, 0);
    }
    std::vector<std::int32_t> kinds() const {
        std::vector<std::int32_t> k;
        for (int i = 0; i < dc.opCount; ++i) k.push_back(dc.ops[i].kind);
        return k;
    }
};

TEST_F(PaintFixture, BandFontGreenTransparentTextRestore) {
    host.backgroundColour = 0; // black band
    panel->replaceText("12.5");
    paint();

    ASSERT_EQ(host.requests.size(), 1u);
    const test::Request& font = host.requests[0];
    EXPECT_EQ(font.op, PanelReqFont);
    EXPECT_EQ(font.index, 7); // the selector from PaintInfo, unchanged
    EXPECT_EQ(font.text, "tty");
    EXPECT_NE(font.ptr, nullptr);

    using namespace gdi;
    ASSERT_EQ(kinds(), (std::vector<std::int32_t>{RecFillRect, RecSelectObject, RecSetTextColor, RecSetBkMode,
                                                  RecSetTextAlign, RecTextOut, RecSelectObject}));
    const RecordedOp* op = dc.ops;
    EXPECT_EQ((std::vector<int>{op[0].a, op[0].b, op[0].c, op[0].d}), (std::vector<int>{2, 0, 100, 15}));
    EXPECT_EQ(op[0].colour, 0u);
    EXPECT_EQ(op[1].handle, 0x5000);
    EXPECT_EQ(op[2].colour, 0x0000FF00u);
    EXPECT_EQ(op[3].a, gdi::kTransparent);
    EXPECT_EQ(op[4].a, 0);
    EXPECT_EQ(op[5].a, 7);
    EXPECT_EQ(op[5].b, 0);
    EXPECT_EQ(op[5].textLength, 4);
    EXPECT_STREQ(op[5].text, "12.5");
    EXPECT_EQ(op[6].handle, 0x4000); // the font selected before is back
    EXPECT_EQ(dc.selected, 0x4000);
    // Colour, mode and alignment stay set after the paint.
    EXPECT_EQ(dc.textColour, 0x0000FF00u);
    EXPECT_EQ(dc.bkMode, gdi::kTransparent);
}

TEST_F(PaintFixture, Variants) {
    using namespace gdi;
    const struct {
        const char* name;
        std::int32_t background;
        std::int32_t width;
        const char* text;
        HostWord font;
        std::vector<std::int32_t> kinds;
    } cases[] = {
        {"negative colour: no band", -1, 100, "x", 0x5000,
         {RecSelectObject, RecSetTextColor, RecSetBkMode, RecSetTextAlign, RecTextOut, RecSelectObject}},
        {"empty text draws nothing", 0x123456, 100, "", 0x5000,
         {RecFillRect, RecSelectObject, RecSetTextColor, RecSetBkMode, RecSetTextAlign, RecSelectObject}},
        {"width 2: empty band", 0, 2, "x", 0x5000,
         {RecSelectObject, RecSetTextColor, RecSetBkMode, RecSetTextAlign, RecTextOut, RecSelectObject}},
        {"no font: nothing selected or restored", -1, 100, "x", 0,
         {RecSetTextColor, RecSetBkMode, RecSetTextAlign, RecTextOut}},
    };
    for (const auto& c : cases) {
        host.backgroundColour = c.background;
        host.fontHandle = c.font;
        info.width = c.width;
        panel->replaceText(c.text);
        paint();
        EXPECT_EQ(kinds(), c.kinds) << c.name;
    }
}

TEST_F(PaintFixture, LongTextIsDrawnWholeOnOneLine) {
    std::string text(300, 'W');
    text[150] = '\n'; // control characters go to the text output as they are
    panel->replaceText(text);
    paint();
    const gdi::RecordedOp* out = nullptr;
    for (int i = 0; i < dc.opCount; ++i)
        if (dc.ops[i].kind == gdi::RecTextOut) out = &dc.ops[i];
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->textLength, 300);
    EXPECT_EQ(std::string(out->text), text);
}

TEST_F(PaintFixture, NoPaintInfoDrawsTextWithoutBand) {
    host.backgroundColour = 0;
    panel->replaceText("x");
    dc.clearOps();
    panel->record()->dispatcher(panel->record(), PanelOpPaint, reinterpret_cast<HostWord>(&dc), 0, nullptr, 0);
    EXPECT_EQ(dc.ops[0].kind, gdi::RecSelectObject);
    EXPECT_EQ(host.requests.back().index, 0);
}

#endif

} // namespace
} // namespace qem
