#include "framework/plugin_entry.h"
#include "framework/value_display.h"
#include "tests/support/fake_host.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <vector>

namespace qem {
namespace {

using test::FakeHost;

struct TestPanel : ValueDisplay {
    using ValueDisplay::ValueDisplay;
};

constexpr ModuleDescription kPlain{"QEM Test", QEM_ABOUT("QEM Test", "1.0.2", "Shows value of tests."), 0, false};
constexpr ModuleDescription kFlagged{"QEM Flag", "about", ModuleFlagVolts, false};
constexpr ModuleDescription kEager{"QEM Eager", "about", 0, true};

std::vector<std::string> lines(const char* text) {
    std::vector<std::string> out;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

ModuleProperties pattern() {
    ModuleProperties p;
    std::memset(&p, 0xA5, sizeof p);
    return p;
}

TEST(ModuleProperties, IndexZeroFillsTheRecord) {
    ModuleProperties p = pattern();
    const ModuleProperties untouched = pattern();
    EXPECT_EQ(fillModuleProperties(kPlain, 0, &p), 1);
    EXPECT_STREQ(p.name, "QEM Test");
    EXPECT_EQ(p.identifier, p.name); // the same pointer
    EXPECT_EQ(p.interfaceVersion, 2230);
    EXPECT_EQ(p.flags, untouched.flags);
    EXPECT_EQ(p.hostReserved, untouched.hostReserved);
    EXPECT_EQ(lines(p.about), (std::vector<std::string>{"QEM Test - v1.0.2", QEM_CREDIT_LINE, "", QEM_CONTACT_LINE,
                                                        "", "Shows value of tests."}));
    EXPECT_NE(p.about[std::strlen(p.about) - 1], '\n');

    ModuleProperties f = pattern();
    EXPECT_EQ(fillModuleProperties(kFlagged, 0, &f), 1);
    EXPECT_EQ(f.flags, 0x40);
    EXPECT_EQ(f.hostReserved, untouched.hostReserved);
}

TEST(ModuleProperties, OtherIndexesWriteNothing) {
    for (std::int32_t index : {1, -1, 2}) {
        ModuleProperties p = pattern();
        const ModuleProperties untouched = pattern();
        EXPECT_EQ(fillModuleProperties(kPlain, index, &p), 0);
        EXPECT_EQ(std::memcmp(&p, &untouched, sizeof p), 0);

        ModuleProperties e = pattern();
        EXPECT_EQ(fillModuleProperties(kEager, index, &e), 0);
        EXPECT_EQ(e.interfaceVersion, 2230); // written before the index is looked at
        EXPECT_EQ(e.name, untouched.name);
    }
    EXPECT_EQ(fillModuleProperties(kPlain, 0, nullptr), 0);
}

TEST(MakeModule, CreatesIndependentHalvesOfIndexZeroOnly) {
    FakeHost host;
    auto make = makeModuleHalf<BareDsp, TestPanel>;
    EXPECT_EQ(make(1, ModuleTypeDsp, host.callback(), 0), nullptr);
    EXPECT_EQ(make(1, ModuleTypePanel, host.callback(), 0), nullptr);
    EXPECT_EQ(make(0, 3, host.callback(), 0), nullptr);
    EXPECT_EQ(make(0, 0, host.callback(), 0), nullptr);
    EXPECT_TRUE(host.requests.empty()); // nothing was created

    auto* d1 = static_cast<DspHostRecord*>(make(0, ModuleTypeDsp, host.callback(), 11));
    auto* d2 = static_cast<DspHostRecord*>(make(0, ModuleTypeDsp, host.callback(), 12));
    auto* p1 = static_cast<GuiHostRecord*>(make(0, ModuleTypePanel, host.callback(), 13));
    ASSERT_TRUE(d1 && d2 && p1);
    EXPECT_NE(d1, d2);
    EXPECT_EQ(d1->magic, kDspRecordMagic);
    EXPECT_EQ(d1->hostValue, 11);
    EXPECT_EQ(d2->hostValue, 12);
    EXPECT_EQ(p1->magic, kPanelRecordMagic);
    EXPECT_EQ(p1->hostValue, 13);
    EXPECT_EQ(host.count(PanelReqSetup11), 1); // the panel constructor ran
    for (DspHostRecord* d : {d1, d2}) EXPECT_EQ(d->dispatcher(d, DspOpClose, 0, 0, nullptr, 0), 1);
    EXPECT_EQ(p1->dispatcher(p1, PanelOpClose, 0, 0, nullptr, 0), 1);
}

} // namespace
} // namespace qem
