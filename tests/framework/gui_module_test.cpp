#include "framework/gui_module.h"
#include "tests/support/fake_host.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <vector>

namespace qem {
namespace {

using test::FakeHost;

class HookPanel : public GuiModule {
public:
    std::vector<std::string> calls;
    static inline int destroyed = 0;
    using GuiModule::GuiModule;
    ~HookPanel() override { ++destroyed; }

    void onStart(bool pinsExist) override { calls.push_back(pinsExist ? "start existing" : "start fresh"); }
    void onClose() override { calls.push_back("close"); }
    void paint(HostWord dc, const PaintInfo* info) override {
        calls.push_back("paint " + std::to_string(dc) + " " + std::to_string(info != nullptr ? info->width : -1));
    }
    void onPanelOp3(void*, float opt, PanelPoint p) override { point("op3", opt, p); }
    void onPanelOp4(void*, float opt, PanelPoint p) override { point("op4", opt, p); }
    void onPanelOp5(void*, float opt, PanelPoint p) override { point("op5", opt, p); }
    void onPanelOp6(HostWord value, HostWord index, void*) override {
        calls.push_back("op6 " + std::to_string(value) + " " + std::to_string(index));
    }
    void onPanelOp11(HostWord index) override { calls.push_back("op11 " + std::to_string(index)); }
    void onInputGone(HostWord index) override { calls.push_back("gone " + std::to_string(index)); }
    void onPinValueChanged(PanelPin pin) override {
        calls.push_back("changed " + std::to_string(pin.index) + (pin.module == this ? " self" : " other"));
    }

private:
    void point(const char* name, float opt, PanelPoint p) {
        calls.push_back(std::string(name) + " " + std::to_string(p.x) + "," + std::to_string(p.y) + " " +
                        std::to_string(static_cast<int>(opt)));
    }
};

HostWord dispatchTo(GuiModule& m, std::int32_t op, HostWord index = 0, HostWord value = 0, void* ptr = nullptr,
                    float opt = 0) {
    GuiHostRecord* r = m.record();
    return r->dispatcher(r, op, index, value, ptr, opt);
}

struct PanelFixture : ::testing::Test {
    FakeHost host;
    HookPanel* panel = new HookPanel(host.callback(), 42);
    void TearDown() override {
        if (panel != nullptr) dispatchTo(*panel, PanelOpClose);
    }
};

TEST_F(PanelFixture, Record) {
    const GuiHostRecord& r = *panel->record();
    EXPECT_EQ(r.magic, 0x5345504Du);
    EXPECT_EQ(r.version, 1);
    EXPECT_EQ(r.hostValue, 42);
    EXPECT_EQ(r.object, static_cast<GuiModule*>(panel));
    EXPECT_NE(r.dispatcher, nullptr);
    for (std::int32_t w : r.reserved) EXPECT_EQ(w, 0);
    EXPECT_TRUE(host.requests.empty()); // the base itself asks nothing
}

TEST_F(PanelFixture, DispatcherOps) {
    PaintInfo info{120, 0, 3, {}};
    const struct {
        std::int32_t op;
        HostWord index, value;
        void* ptr;
        float opt;
        const char* call;
    } cases[] = {
        {PanelOpStart, 1, 0, nullptr, 0, "start existing"},
        {PanelOpStart, 0, 0, nullptr, 0, "start fresh"},
        {PanelOpStart, 2, 0, nullptr, 0, "start fresh"},
        {PanelOpStart, -1, 0, nullptr, 0, "start fresh"},
        {PanelOpPaint, 1234, 0, &info, 0, "paint 1234 120"},
        {PanelOp3, 5, 6, nullptr, 7, "op3 5,6 7"},
        {PanelOp4, -5, 6, nullptr, 1, "op4 -5,6 1"},
        {PanelOp5, 0, 9, nullptr, 2, "op5 0,9 2"},
        {PanelOp6, 4, 8, nullptr, 0, "op6 8 4"},
        {PanelOpPinValueChanged, 3, 0, nullptr, 0, "changed 3 self"},
        {PanelOp11, 2, 0, nullptr, 0, "op11 2"},
        {PanelOpInputGone, 6, 0, nullptr, 0, "gone 6"},
    };
    for (const auto& c : cases) {
        panel->calls.clear();
        EXPECT_EQ(dispatchTo(*panel, c.op, c.index, c.value, c.ptr, c.opt), 0) << c.call;
        EXPECT_EQ(panel->calls, std::vector<std::string>{c.call});
    }
    panel->calls.clear();
    EXPECT_EQ(dispatchTo(*panel, PanelOp10), 0); // the default answers false
    for (std::int32_t op : {13, 14, 100, -1}) EXPECT_EQ(dispatchTo(*panel, op, 1, 1), 0) << op;
    EXPECT_TRUE(panel->calls.empty());
}

TEST_F(PanelFixture, CloseRunsOnCloseThenDestroys) {
    int before = HookPanel::destroyed;
    EXPECT_EQ(dispatchTo(*panel, PanelOpClose), 1);
    panel = nullptr;
    EXPECT_EQ(HookPanel::destroyed, before + 1);
}

TEST_F(PanelFixture, PinRequests) {
    PanelPin pin = panel->pin(3);
    EXPECT_EQ(pin.index, 3);
    EXPECT_EQ(pin.module, panel);

    host.setFloat(3, 0.1f);
    EXPECT_EQ(pin.getFloat(), 0.1f);
    EXPECT_EQ(pin.getInt(), std::bit_cast<std::int32_t>(0.1f)); // same request, same four bytes
    pin.setInt(-7);
    pin.setFloat(2.5f);
    pin.setText("");
    host.texts[3] = "hello";
    EXPECT_EQ(pin.getText(), "hello");
    panel->addPanelPin(DataFloat, DirOut, "Float");
    panel->requestRepaint();

    ASSERT_EQ(host.requests.size(), 8u);
    const test::Request* r = host.requests.data();
    EXPECT_TRUE(r[0].is(PanelReqGetValue, 3, 0));
    EXPECT_TRUE(r[1].is(PanelReqGetValue, 3, 0));
    EXPECT_TRUE(r[2].is(PanelReqSetValue, 3, -7));
    EXPECT_EQ(r[2].opt, 0.0f);
    EXPECT_TRUE(r[3].is(PanelReqSetValue, 3, 0));
    EXPECT_EQ(r[3].opt, 2.5f);
    EXPECT_EQ(r[3].ptr, nullptr);
    EXPECT_TRUE(r[4].is(PanelReqSetText, 3, 0));
    ASSERT_NE(r[4].ptr, nullptr); // an empty text is an empty string, never null
    EXPECT_EQ(r[4].text, "");
    EXPECT_TRUE(r[5].is(PanelReqGetText, 3, 0));
    EXPECT_TRUE(r[6].is(PanelReqAddPin, DataFloat, DirOut));
    EXPECT_EQ(r[6].text, "Float");
    EXPECT_TRUE(r[7].is(PanelReqRepaint, 0, 0));
    EXPECT_EQ(r[7].ptr, nullptr);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(r[i].record, panel->record());
}

TEST_F(PanelFixture, NullTextAnswerReadsAsEmpty) {
    host.nullText = true;
    EXPECT_EQ(panel->pin(0).getText(), "");
}

TEST(GuiModule, WithoutCallbackRequestsAreNotSent) {
    auto* panel = new HookPanel(nullptr, 0);
    panel->requestRepaint();
    EXPECT_EQ(panel->pin(0).getInt(), 0);
    EXPECT_EQ(panel->pin(0).getText(), "");
    EXPECT_EQ(dispatchTo(*panel, PanelOpClose), 1);
}

} // namespace
} // namespace qem
