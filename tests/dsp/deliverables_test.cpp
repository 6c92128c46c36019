// One value's road through each DSP monitor's library, reached only
// through its exports: the DSP half hands its input over, the host carries
// it to the panel's pin 1, and the panel shows it.
#include "framework/host_interface.h"
#include "tests/support/fake_host.h"
#include "tests/support/halves.h"
#include "tests/support/plugin_library.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

namespace qem {
namespace {

using test::DspHalf;
using test::FakeHost;
using test::PanelHalf;
using test::PluginLibrary;

// --- one value's road through each library's exports --------------------------

struct Road {
    const char* path;
    std::function<void(void* input)> setInput;  // writes the DSP input variable
    std::string shown;                          // the panel's text at the end
};

// The DSP half forwards; what it hands over becomes the panel's pin 1.
struct Handover {
    std::int32_t slot = 0;        // pin-change modules: the out variable's 4 bytes
    std::string text;             // the text monitor: request 21's text
};

Handover runDsp(MakeModuleFn make, const std::function<void(void*)>& setInput, bool isText) {
    FakeHost host(FakeHost::Half::Dsp);
    host.pinCount = 2;
    host.sampleClock = 100;
    DspHalf dsp = DspHalf::make(make, host.callback());
    EXPECT_TRUE(dsp.made());
    if (!dsp.made()) return {};
    PinProperties out{}, in{};
    dsp.describe(0, out);
    dsp.describe(2, in);
    dsp.open();
    setInput(in.variable);
    dsp.pinEvent(1, StateChanged, 100);
    Handover h;
    if (isText) {
        EXPECT_EQ(host.count(DspReqSendText), 1);
        for (const test::Request& r : host.requests)
            if (r.op == DspReqSendText) h.text = r.text;
    } else {
        EXPECT_EQ(host.count(DspReqPinState), 1);
        std::size_t size = out.dataType == DataBool ? 1 : 4;
        std::memcpy(&h.slot, out.variable, size);
    }
    return h;
}

std::string runPanel(MakeModuleFn make, const Handover& h, bool isList) {
    FakeHost host;
    host.values[1] = h.slot;
    host.texts[1] = h.text;
    if (isList) host.choices[2] = u"Zero=0,One,Two,Three,Four,Five,Six,Seven,Eight,Nine,Ten,Twenty=20,Fifty=50,One Hundred=100";
    PanelHalf panel = PanelHalf::make(make, host.callback());
    EXPECT_TRUE(panel.made());
    if (!panel.made()) return {};
    panel.start();
    host.clear();
    panel.changed(1);
    EXPECT_EQ(host.count(PanelReqRepaint), 1);
    return panel.text();
}

TEST(DeliverableRoads, AValueCrossesEachLibraryFromInputToPanelText) {
    static const char* const kText = "from the DSP side";
    const Road roads[] = {
        {QEM_SHOW_F, [](void* v) { *static_cast<float*>(v) = 0.1f; }, "0.1000000015"},
        {QEM_SHOW_I, [](void* v) { *static_cast<std::int32_t*>(v) = -2147483647 - 1; }, "-2147483648"},
        {QEM_SHOW_B, [](void* v) { *static_cast<std::uint8_t*>(v) = 1; }, "TRUE"},
        {QEM_SHOW_B, [](void* v) { *static_cast<std::uint8_t*>(v) = 0; }, "FALSE"},
        {QEM_SHOW_T, [](void* v) { *static_cast<const char**>(v) = kText; }, kText},
        {QEM_SHOW_T, [](void* v) { *static_cast<const char**>(v) = nullptr; }, ""},
        {QEM_SHOW_L, [](void* v) { *static_cast<std::int16_t*>(v) = 3; }, "3 - Three"},
        {QEM_SHOW_L, [](void* v) { *static_cast<std::int16_t*>(v) = -32768; }, "-32768 - ???"},
    };
    for (const Road& road : roads) {
        SCOPED_TRACE(std::string(road.path) + " -> " + road.shown);
        PluginLibrary lib(road.path);
        ASSERT_TRUE(lib.loaded());
        ASSERT_NE(lib.makeModule, nullptr);
        bool isText = std::string(road.path) == QEM_SHOW_T;
        bool isList = std::string(road.path) == QEM_SHOW_L;
        Handover h = runDsp(lib.makeModule, road.setInput, isText);
        EXPECT_EQ(runPanel(lib.makeModule, h, isList), road.shown);
    }
}

} // namespace
} // namespace qem
