// The five deliverables as the host sees them: loaded from their files and
// reached only through the two exports.
#include "framework/plugin_entry.h"
#include "framework/value_display.h"
#include "tests/support/fake_host.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace qem {
namespace {

using test::FakeHost;

class Library {
public:
    explicit Library(std::string path) {
#if defined(_WIN32)
        if (!path.empty() && path[0] == '/') { // a build-tree path, as Wine sees it
            path = "Z:" + path;
            for (char& c : path)
                if (c == '/') c = '\\';
        }
        handle_ = LoadLibraryA(path.c_str());
#else
        handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
    }
    ~Library() {
#if defined(_WIN32)
        if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
#else
        if (handle_ != nullptr) dlclose(handle_);
#endif
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    bool loaded() const { return handle_ != nullptr; }
    template <class Fn>
    Fn get(const char* name) const {
#if defined(_WIN32)
        // Through void(*)(): FARPROC's own type says nothing about the export's.
        return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(static_cast<HMODULE>(handle_), name)));
#else
        return reinterpret_cast<Fn>(dlsym(handle_, name));
#endif
    }

private:
    void* handle_ = nullptr;
};

struct Deliverable {
    const char* path;
    const char* name;
    const char* description; // the about text after the contact line
    int aboutLines;
    bool versionBeforeIndex;
};

const Deliverable kDeliverables[] = {
    {QEM_SHOW_F, "QEM Show Float", "Shows value of incoming floats.", 6, false},
    {QEM_SHOW_I, "QEM Show Int", "Shows value of incoming integers.", 6, false},
    {QEM_SHOW_B, "QEM Show Bool", "Shows value of incoming booleans.", 6, true},
    {QEM_SHOW_T, "QEM Show Text", "Shows value of incoming text.", 6, false},
    {QEM_SHOW_L, "QEM Show List",
     "Shows value of incoming list choices.\n\nDue to the nature of DSP List pins, the list provided is "
     "static. However, incoming list choices will show their values, even if they are not among the "
     "list choices in this module.",
     8, false},
};

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        std::size_t nl = text.find('\n', start);
        lines.push_back(text.substr(start, nl - start));
        if (nl == std::string::npos) return lines;
        start = nl + 1;
    }
}

class Deliverables : public ::testing::TestWithParam<Deliverable> {
protected:
    void SetUp() override {
        ASSERT_TRUE(lib.loaded()) << GetParam().path;
        props = lib.get<GetModulePropertiesFn>("getModuleProperties");
        make = lib.get<MakeModuleFn>("makeModule");
        ASSERT_NE(props, nullptr);
        ASSERT_NE(make, nullptr);
    }
    static ModuleProperties filled() {
        ModuleProperties p;
        std::memset(&p, 0x5A, sizeof p);
        return p;
    }

    Library lib{GetParam().path};
    GetModulePropertiesFn props = nullptr;
    MakeModuleFn make = nullptr;
};

TEST_P(Deliverables, DescribeThemselvesAtIndex0) {
    const Deliverable& d = GetParam();
    ModuleProperties p = filled();
    const ModuleProperties before = p;
    ASSERT_EQ(props(0, &p), 1);
    EXPECT_STREQ(p.name, d.name);
    EXPECT_EQ(p.identifier, p.name); // the same pointer
    EXPECT_EQ(p.interfaceVersion, 2230);
    EXPECT_EQ(p.flags, before.flags); // none of these sets flags
    EXPECT_EQ(p.hostReserved, before.hostReserved);

    const std::string about = p.about;
    const std::vector<std::string> lines = linesOf(about);
    ASSERT_EQ(static_cast<int>(lines.size()), d.aboutLines) << about;
    EXPECT_EQ(lines[0], std::string(d.name) + " - v1.0.2");
    EXPECT_FALSE(lines[1].empty()); // credit
    EXPECT_EQ(lines[2], "");
    EXPECT_FALSE(lines[3].empty()); // contact
    EXPECT_EQ(lines[4], "");
    EXPECT_EQ(about.substr(about.size() - std::strlen(d.description)), d.description);
    EXPECT_EQ(about.find(d.description), about.size() - std::strlen(d.description));
    EXPECT_NE(about.back(), '\n');

    // The texts stay put: asking again gives the same pointers.
    ModuleProperties again = filled();
    props(0, &again);
    EXPECT_EQ(again.name, p.name);
    EXPECT_EQ(again.about, p.about);
}

TEST_P(Deliverables, OtherIndexesAnswer0AndWriteNothingButTheBoolsVersion) {
    for (std::int32_t index : {1, 2, -1}) {
        ModuleProperties p = filled();
        const ModuleProperties before = p;
        EXPECT_EQ(props(index, &p), 0) << index;
        ModuleProperties expected = before;
        if (GetParam().versionBeforeIndex) expected.interfaceVersion = 2230;
        EXPECT_EQ(p.name, expected.name) << index;
        EXPECT_EQ(p.identifier, expected.identifier) << index;
        EXPECT_EQ(p.about, expected.about) << index;
        EXPECT_EQ(p.flags, expected.flags) << index;
        EXPECT_EQ(p.hostReserved, expected.hostReserved) << index;
        EXPECT_EQ(p.interfaceVersion, expected.interfaceVersion) << index;
    }
}

TEST_P(Deliverables, MakeModuleMakesBothHalvesAndNothingElse) {
    FakeHost host(FakeHost::Half::Dsp);
    EXPECT_EQ(make(1, ModuleTypeDsp, host.callback(), 0), nullptr);
    EXPECT_EQ(make(1, ModuleTypePanel, host.callback(), 0), nullptr);
    EXPECT_EQ(make(-1, ModuleTypeDsp, host.callback(), 0), nullptr);
    EXPECT_EQ(make(0, 0, host.callback(), 0), nullptr);
    EXPECT_EQ(make(0, 3, host.callback(), 0), nullptr);
    EXPECT_TRUE(host.requests.empty());

    auto* d1 = static_cast<DspHostRecord*>(make(0, ModuleTypeDsp, host.callback(), 1234));
    auto* d2 = static_cast<DspHostRecord*>(make(0, ModuleTypeDsp, host.callback(), 1234));
    ASSERT_NE(d1, nullptr);
    ASSERT_NE(d2, nullptr);
    EXPECT_NE(d1, d2);
    EXPECT_EQ(d1->magic, kDspRecordMagic);
    EXPECT_EQ(d1->hostValue, 1234);
    EXPECT_EQ(d1->dispatcher(d1, DspOpClose, 0, 0, nullptr, 0), 1);
    EXPECT_EQ(d2->dispatcher(d2, DspOpClose, 0, 0, nullptr, 0), 1);

    FakeHost panelHost;
    auto* g = static_cast<GuiHostRecord*>(make(0, ModuleTypePanel, panelHost.callback(), 99));
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->magic, kPanelRecordMagic);
    EXPECT_EQ(g->hostValue, 99);
    EXPECT_EQ(panelHost.ops(), (std::vector<std::int32_t>{PanelReqSetup11, PanelReqSetup3, PanelReqSetup4}));
    EXPECT_EQ(g->dispatcher(g, PanelOpClose, 0, 0, nullptr, 0), 1);
}

INSTANTIATE_TEST_SUITE_P(Dsp, Deliverables, ::testing::ValuesIn(kDeliverables),
                         [](const auto& info) {
                             std::string n = info.param.name + 9; // after "QEM Show "
                             return n;
                         });

// --- one value's road through each library's exports --------------------------

struct Road {
    const Deliverable* deliverable;
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
    auto* rec = static_cast<DspHostRecord*>(make(0, ModuleTypeDsp, host.callback(), 0));
    EXPECT_NE(rec, nullptr);
    if (rec == nullptr) return {};
    auto call = [&](std::int32_t op, HostWord index, void* ptr) { return rec->dispatcher(rec, op, index, 0, ptr, 0); };
    PinProperties out{}, in{};
    call(DspOpGetPinProperties, 0, &out);
    call(DspOpGetPinProperties, 2, &in);
    call(DspOpOpen, 0, nullptr);
    setInput(in.variable);
    DspEvent e{100, PinStateEvent, StateChanged, 0, 1, 0};
    rec->event(rec->object, &e);
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
    call(DspOpClose, 0, nullptr);
    return h;
}

std::string runPanel(MakeModuleFn make, const Handover& h, bool isList) {
    FakeHost host;
    host.values[1] = h.slot;
    host.texts[1] = h.text;
    if (isList) host.choices[2] = u"Zero=0,One,Two,Three,Four,Five,Six,Seven,Eight,Nine,Ten,Twenty=20,Fifty=50,One Hundred=100";
    auto* rec = static_cast<GuiHostRecord*>(make(0, ModuleTypePanel, host.callback(), 0));
    EXPECT_NE(rec, nullptr);
    if (rec == nullptr) return {};
    rec->dispatcher(rec, PanelOpStart, 0, 0, nullptr, 0);
    host.clear();
    rec->dispatcher(rec, PanelOpPinValueChanged, 1, 0, nullptr, 0);
    EXPECT_EQ(host.count(PanelReqRepaint), 1);
    // Same compiler, same framework headers: the panel's text is readable.
    std::string shown = static_cast<ValueDisplay*>(static_cast<GuiModule*>(rec->object))->text();
    rec->dispatcher(rec, PanelOpClose, 0, 0, nullptr, 0);
    return shown;
}

TEST(DeliverableRoads, AValueCrossesEachLibraryFromInputToPanelText) {
    static const char* const kText = "from the DSP side";
    const Road roads[] = {
        {&kDeliverables[0], [](void* v) { *static_cast<float*>(v) = 0.1f; }, "0.1000000015"},
        {&kDeliverables[1], [](void* v) { *static_cast<std::int32_t*>(v) = -2147483647 - 1; }, "-2147483648"},
        {&kDeliverables[2], [](void* v) { *static_cast<std::uint8_t*>(v) = 1; }, "TRUE"},
        {&kDeliverables[2], [](void* v) { *static_cast<std::uint8_t*>(v) = 0; }, "FALSE"},
        {&kDeliverables[3], [](void* v) { *static_cast<const char**>(v) = kText; }, kText},
        {&kDeliverables[3], [](void* v) { *static_cast<const char**>(v) = nullptr; }, ""},
        {&kDeliverables[4], [](void* v) { *static_cast<std::int16_t*>(v) = 3; }, "3 - Three"},
        {&kDeliverables[4], [](void* v) { *static_cast<std::int16_t*>(v) = -32768; }, "-32768 - ???"},
    };
    for (const Road& road : roads) {
        SCOPED_TRACE(std::string(road.deliverable->name) + " -> " + road.shown);
        Library lib(road.deliverable->path);
        ASSERT_TRUE(lib.loaded());
        auto make = lib.get<MakeModuleFn>("makeModule");
        ASSERT_NE(make, nullptr);
        bool isText = road.deliverable == &kDeliverables[3];
        bool isList = road.deliverable == &kDeliverables[4];
        Handover h = runDsp(make, road.setInput, isText);
        EXPECT_EQ(runPanel(make, h, isList), road.shown);
    }
}

} // namespace
} // namespace qem
