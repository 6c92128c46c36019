// What every deliverable promises its host, checked on the real library
// through its two exports: the module description and about text, the two
// halves and their records, and nothing made for any other index or type.
// One row per deliverable; the build's own list of deliverables must match
// the table row for row.
#include "deliverable_files.h"
#include "framework/host_interface.h"
#include "tests/support/fake_host.h"
#include "tests/support/halves.h"
#include "tests/support/plugin_library.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace qem {
namespace {

using test::DspHalf;
using test::FakeHost;
using test::PanelHalf;
using test::PluginLibrary;

constexpr std::int32_t kUntouched = 0x5A5A5A5A; // what the host left in the record

struct Contract {
    const char* target; // its build target, and its file name without the extension
    const char* extension;
    const char* name;
    const char* version;
    std::int32_t flags;      // offset 12 after index 0: kUntouched unless the module sets flags
    bool versionBeforeIndex; // offset 20 is written for every index
    int contactLines;
    std::vector<std::string> paragraphs; // the description
    bool panelOnly;
};

const std::string kList = "Shows value of incoming list choices.";
const std::string kFloats = "Shows value of incoming floats.";
const std::string kIntegers = "Shows value of incoming integers.";
const std::string kBooleans = "Shows value of incoming booleans.";
const std::string kTexts = "Shows value of incoming text.";

const Contract kContracts[] = {
    {"qem_show_m", "sem", "QEM Show MIDI", "1.0.3", kUntouched, false, 2,
     {"Shows value of incoming MIDI messages, with the option to strip out timing or all system messages."}, false},
    {"qem_show_f", "sep", "QEM Show Float", "1.0.2", kUntouched, false, 1, {kFloats}, false},
    {"qem_show_i", "sep", "QEM Show Int", "1.0.2", kUntouched, false, 1, {kIntegers}, false},
    {"qem_show_b", "sep", "QEM Show Bool", "1.0.2", kUntouched, true, 1, {kBooleans}, false},
    {"qem_show_t", "sep", "QEM Show Text", "1.0.2", kUntouched, false, 1, {kTexts}, false},
    {"qem_show_v", "sep", "QEM Show Volts", "1.0.3", 0x40, false, 1,
     {"Shows average value of incoming voltage, updating at a 20hz rate."}, false},
    {"qem_show_l", "sep", "QEM Show List", "1.0.2", kUntouched, false, 1,
     {kList, "Due to the nature of DSP List pins, the list provided is static. However, incoming list choices "
             "will show their values, even if they are not among the list choices in this module."},
     false},
    {"qem_show_gf", "sep", "QEM Show GuiFloat", "1.0.2", kUntouched, false, 1, {kFloats}, true},
    {"qem_show_rgf", "sep", "QEM Show RGuiFloat", "1.0.2", kUntouched, false, 1, {kFloats}, true},
    {"qem_show_gi", "sep", "QEM Show GuiInt", "1.0.2", kUntouched, false, 1, {kIntegers}, true},
    {"qem_show_rgi", "sep", "QEM Show RGuiInt", "1.0.2", kUntouched, false, 1, {kIntegers}, true},
    {"qem_show_gb", "sep", "QEM Show GuiBool", "1.0.2", kUntouched, false, 1, {kBooleans}, true},
    {"qem_show_rgb", "sep", "QEM Show RGuiBool", "1.0.2", kUntouched, false, 1, {kBooleans}, true},
    {"qem_show_gt", "sep", "QEM Show GuiText", "1.0.2", kUntouched, false, 1, {kTexts}, true},
    {"qem_show_rgt", "sep", "QEM Show RGuiText", "1.0.2", kUntouched, false, 1, {kTexts}, true},
    {"qem_show_gl", "sep", "QEM Show GuiList", "1.0.2", kUntouched, false, 1,
     {kList, "You can enter your own list in the 'List Choices' field. The format is 'word=value,word=value', "
             "etc. For example, you could put 'Ichi=1,Ni,San,Shi,Go,Ju=10' to count from 1 to 5, and 10, in "
             "Japanese. If no value is noted, then the value increases by one for each number, as shown in the "
             "example."},
     true},
    {"qem_show_rgl", "sep", "QEM Show RGuiList", "1.0.2", kUntouched, false, 1, {kList}, true},
};

std::string pathOf(const char* target) {
    for (const DeliverableFile& f : kDeliverableFiles)
        if (std::string(f.target) == target) return f.path;
    return {};
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines(1);
    for (char c : text) {
        if (c == '\n') lines.emplace_back();
        else lines.back() += c;
    }
    return lines;
}

ModuleProperties untouched() {
    ModuleProperties p;
    std::memset(&p, 0x5A, sizeof p);
    return p;
}

TEST(DeliverableContract, EveryDeliverableOfTheBuildHasItsRow) {
    std::set<std::string> built, rows;
    for (const DeliverableFile& f : kDeliverableFiles) built.insert(f.target);
    for (const Contract& c : kContracts) rows.insert(c.target);
    EXPECT_EQ(built, rows);
}

class Deliverable : public ::testing::TestWithParam<Contract> {
protected:
    void SetUp() override {
        ASSERT_TRUE(lib.loaded()) << GetParam().target << " at '" << lib.path() << "'";
        ASSERT_NE(lib.getModuleProperties, nullptr);
        ASSERT_NE(lib.makeModule, nullptr);
        const std::string file = std::string(GetParam().target) + "." + GetParam().extension;
        ASSERT_GE(lib.path().size(), file.size());
        EXPECT_EQ(lib.path().substr(lib.path().size() - file.size()), file);
    }
    PluginLibrary lib{pathOf(GetParam().target)};
};

TEST_P(Deliverable, DescribesItselfAtIndex0) {
    const Contract& c = GetParam();
    ModuleProperties p = untouched();
    ASSERT_EQ(lib.getModuleProperties(0, &p), 1);
    EXPECT_STREQ(p.name, c.name);
    EXPECT_EQ(p.identifier, p.name); // the same pointer
    EXPECT_EQ(p.flags, c.flags);
    EXPECT_EQ(p.hostReserved, kUntouched);
    EXPECT_EQ(p.interfaceVersion, 2230);

    // Title, credit, then each contact line and the description after an
    // empty line; paragraphs parted by an empty line; no final line feed.
    const std::vector<std::string> lines = linesOf(p.about);
    std::vector<std::string> expected{std::string(c.name) + " - v" + c.version};
    ASSERT_GT(lines.size(), 1u) << p.about;
    expected.push_back(lines[1]);
    EXPECT_FALSE(lines[1].empty()) << "credit line";
    for (int i = 0; i < c.contactLines; ++i) {
        std::size_t at = expected.size() + 1;
        expected.push_back("");
        expected.push_back(at < lines.size() ? lines[at] : "");
        EXPECT_FALSE(expected.back().empty()) << "contact line " << i;
    }
    for (const std::string& paragraph : c.paragraphs) {
        expected.push_back("");
        expected.push_back(paragraph);
    }
    EXPECT_EQ(lines, expected) << p.about;

    // The texts are constants: asked again, the same pointers.
    ModuleProperties again = untouched();
    lib.getModuleProperties(0, &again);
    EXPECT_EQ(again.name, p.name);
    EXPECT_EQ(again.about, p.about);
}

TEST_P(Deliverable, OtherIndexesAnswer0AndWriteNothing) {
    for (std::int32_t index : {1, 2, -1, 0x7FFFFFFF}) {
        SCOPED_TRACE(index);
        ModuleProperties p = untouched();
        EXPECT_EQ(lib.getModuleProperties(index, &p), 0);
        ModuleProperties expected = untouched();
        if (GetParam().versionBeforeIndex) expected.interfaceVersion = 2230; // the Bool monitor's extra write
        EXPECT_EQ(std::memcmp(&p, &expected, sizeof p), 0);
    }
}

TEST_P(Deliverable, MakesItsTwoHalvesAndNothingElse) {
    FakeHost host;
    const std::pair<std::int32_t, std::int32_t> others[] = {{1, ModuleTypeDsp}, {1, ModuleTypePanel},
                                                            {-1, ModuleTypeDsp}, {0, 0}, {0, 3}, {0, -1}};
    for (auto [index, type] : others)
        EXPECT_EQ(lib.makeModule(index, type, host.callback(), 5), nullptr) << index << "/" << type;
    EXPECT_TRUE(host.requests.empty()) << "nothing was constructed";

    FakeHost dspHost(FakeHost::Half::Dsp);
    DspHalf a = DspHalf::make(lib.makeModule, dspHost.callback(), 1234);
    DspHalf b = DspHalf::make(lib.makeModule, dspHost.callback(), 1234);
    ASSERT_TRUE(a.made() && b.made());
    EXPECT_NE(a.record(), b.record());
    const DspHostRecord& d = *a.record();
    EXPECT_EQ(d.magic, kDspRecordMagic);
    EXPECT_EQ(d.version, 1);
    EXPECT_EQ(d.hostValue, 1234);
    EXPECT_NE(d.object, nullptr);
    EXPECT_EQ(d.reserved16, 0);
    EXPECT_NE(d.dispatcher, nullptr);
    EXPECT_NE(d.process, nullptr);
    EXPECT_NE(d.event, nullptr);
    for (std::int32_t w : d.reserved32) EXPECT_EQ(w, 0);
    EXPECT_TRUE(dspHost.requests.empty()) << "a DSP half asks nothing before open";
    // A panel-only module's DSP half describes no pins.
    PinProperties pin;
    EXPECT_EQ(a.describe(0, pin), !GetParam().panelOnly);
    EXPECT_EQ(a.close(), 1);
    EXPECT_EQ(b.close(), 1);

    FakeHost panelHost;
    PanelHalf panel = PanelHalf::make(lib.makeModule, panelHost.callback(), 99);
    ASSERT_TRUE(panel.made());
    const GuiHostRecord& g = *panel.record();
    EXPECT_EQ(g.magic, kPanelRecordMagic);
    EXPECT_EQ(g.version, 1);
    EXPECT_NE(g.dispatcher, nullptr);
    EXPECT_EQ(g.hostValue, 99);
    EXPECT_NE(g.object, nullptr);
    for (std::int32_t w : g.reserved) EXPECT_EQ(w, 0);
    ASSERT_EQ(panelHost.requests.size(), 3u);
    EXPECT_TRUE(panelHost.requests[0].is(PanelReqSetup11, 0, 0));
    EXPECT_TRUE(panelHost.requests[1].is(PanelReqSetup3, 100, 30));
    EXPECT_TRUE(panelHost.requests[2].is(PanelReqSetup4, 1, 0));
    for (const test::Request& r : panelHost.requests) EXPECT_EQ(r.record, panel.record());
    EXPECT_EQ(panel.op(PanelOp10), 0);
    EXPECT_EQ(panel.op(13), 0);
    EXPECT_EQ(panel.close(), 1);
}

// The bare DSP half of the panel-only deliverables.
using PanelOnlyDeliverable = Deliverable;

std::vector<Contract> panelOnly() {
    std::vector<Contract> rows;
    for (const Contract& c : kContracts)
        if (c.panelOnly) rows.push_back(c);
    return rows;
}

TEST_P(PanelOnlyDeliverable, ItsDspHalfOnlyGoesIdle) {
    FakeHost host(FakeHost::Half::Dsp);
    host.pinCount = 3; // more than it describes: the entries stay blank
    DspHalf dsp = DspHalf::make(lib.makeModule, host.callback());
    dsp.open();
    EXPECT_EQ(host.ops(), (std::vector<std::int32_t>{DspReqProcessChanged, DspReqPinCount}));
    host.clear();
    dsp.process(0, 64);
    dsp.pinEvent(0, StateChanged); // names a blank pin: nothing happens
    EXPECT_EQ(host.ops(), std::vector<std::int32_t>{DspReqIdle});
}

auto targetName = [](const auto& info) { return std::string(info.param.target); };
INSTANTIATE_TEST_SUITE_P(All, Deliverable, ::testing::ValuesIn(kContracts), targetName);
INSTANTIATE_TEST_SUITE_P(All, PanelOnlyDeliverable, ::testing::ValuesIn(panelOnly()), targetName);

} // namespace
} // namespace qem
