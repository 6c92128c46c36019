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

// A panel that takes a construction argument, as the panel-only monitors
// take their pin direction.
struct ArgumentPanel : ValueDisplay {
    ArgumentPanel(HostCallback callback, HostWord hostValue, PinDirection direction, const char* text)
        : ValueDisplay(callback, hostValue), direction(direction) {
        replaceText(text);
    }
    PinDirection direction;
};

constexpr ModuleDescription kPlain = QEM_DESCRIPTION("QEM Test", "1.0.2", "Shows value of tests.");
constexpr ModuleDescription kFlagged = QEM_DESCRIPTION("QEM Flag", "1.0.3", "Flags.").withFlags(ModuleFlagVolts);
constexpr ModuleDescription kEager = QEM_DESCRIPTION("QEM Eager", "1.0.2", "Eager.").writingVersionFirst();

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

TEST(ModuleDescription, NameIsWrittenOnceForNameIdentifierAndTitle) {
    EXPECT_STREQ(kFlagged.name, "QEM Flag");
    EXPECT_EQ(std::string(kFlagged.about).rfind("QEM Flag - v1.0.3\n", 0), 0u);
    EXPECT_EQ(kFlagged.flags, ModuleFlagVolts);
    EXPECT_FALSE(kFlagged.versionBeforeIndex);
    EXPECT_TRUE(kEager.versionBeforeIndex);
    EXPECT_EQ(kEager.flags, 0);
}

TEST(MakeModule, HandsItsArgumentsToEveryPanelHalfAndNoneToTheDspHalf) {
    FakeHost host;
    auto make = [&](std::int32_t type) {
        return makeModuleHalf<BareDsp, ArgumentPanel>(0, type, host.callback(), 13, DirOut, "made");
    };
    auto* a = static_cast<GuiHostRecord*>(make(ModuleTypePanel));
    auto* b = static_cast<GuiHostRecord*>(make(ModuleTypePanel));
    auto* d = static_cast<DspHostRecord*>(make(ModuleTypeDsp));
    ASSERT_TRUE(a && b && d);
    for (GuiHostRecord* r : {a, b}) {
        auto& panel = *static_cast<ArgumentPanel*>(static_cast<GuiModule*>(r->object));
        EXPECT_EQ(panel.direction, DirOut);
        EXPECT_EQ(panel.text(), "made");
        EXPECT_EQ(r->hostValue, 13);
        EXPECT_EQ(r->dispatcher(r, PanelOpClose, 0, 0, nullptr, 0), 1);
    }
    EXPECT_EQ(d->magic, kDspRecordMagic);
    EXPECT_EQ(d->dispatcher(d, DspOpClose, 0, 0, nullptr, 0), 1);
    EXPECT_EQ(make(3), nullptr);
}

} // namespace
} // namespace qem
