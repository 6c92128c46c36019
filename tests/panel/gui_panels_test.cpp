// The panel-only monitors, driven through their records: what a fresh start
// and a start with the pins existing register, write and read, in which
// order; the texts at construction, after start and after the input is
// gone; the Gui and RGui forms of each type side by side.
#include "modules/panel/gui_list_panel.h"
#include "modules/panel/gui_value_panels.h"

#include "modules/dsp/list_choices.h"
#include "tests/support/fake_host.h"
#include "tests/support/halves.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace qem {
namespace {

using test::FakeHost;
using test::PanelHalf;
using test::Request;

std::u16string widen(const std::string& s) {
    std::u16string w;
    for (unsigned char c : s) w += static_cast<char16_t>(c);
    return w;
}

// --- the value panels ----------------------------------------------------------

struct ValuePanelType {
    const char* name;
    std::function<PanelHalf(FakeHost&, PinDirection)> make;
    std::int32_t dataType;
    const char* pinName;
    std::int32_t writeOp; // the request writing the zero at a fresh start
    std::int32_t readOp;  // the request reading the pin
    const char* constructionText;
    const char* startText; // the zero, as the rule shows it
    const char* goneText;
};

template <class Panel>
PanelHalf makeValuePanel(FakeHost& host, PinDirection direction) {
    return PanelHalf::make<Panel>(host, direction);
}

const ValuePanelType kFloat{"Float", &makeValuePanel<GuiFloatPanel>, DataFloat, "Float", PanelReqSetValue,
                            PanelReqGetValue, "0.00", "0.", "0."};
const ValuePanelType kInt{"Int", &makeValuePanel<GuiIntPanel>, DataInt, "Int", PanelReqSetValue, PanelReqGetValue,
                          "0", "0", "0"};
const ValuePanelType kBool{"Bool", &makeValuePanel<GuiBoolPanel>, DataBool, "Bool", PanelReqSetValue,
                           PanelReqGetValue, "False", "FALSE", "FALSE"};
const ValuePanelType kText{"Text", &makeValuePanel<GuiTextPanel>, DataText, "Text", PanelReqSetText, PanelReqGetText,
                           "", "", ""};
const ValuePanelType* const kValueTypes[] = {&kFloat, &kInt, &kBool, &kText};

// Each type in both forms.
struct Form {
    const ValuePanelType* type;
    PinDirection direction;
};

std::vector<Form> allForms() {
    std::vector<Form> forms;
    for (const ValuePanelType* t : kValueTypes)
        for (PinDirection d : {DirIn, DirOut}) forms.push_back({t, d});
    return forms;
}

std::string formName(const Form& f) { return std::string(f.direction == DirIn ? "Gui" : "RGui") + f.type->name; }

TEST(GuiValuePanel, ConstructionTextUntilTheFirstStart) {
    for (const Form& f : allForms()) {
        SCOPED_TRACE(formName(f));
        FakeHost host;
        PanelHalf panel = f.type->make(host, f.direction);
        EXPECT_EQ(host.ops(), (std::vector<std::int32_t>{PanelReqSetup11, PanelReqSetup3, PanelReqSetup4}));
        EXPECT_EQ(panel.text(), f.type->constructionText);
    }
}

TEST(GuiValuePanel, AFreshStartRegistersWritesTheZeroAndShowsWhatThePinHolds) {
    for (const Form& f : allForms()) {
        SCOPED_TRACE(formName(f));
        FakeHost host;
        host.values[0] = 12345; // what a host might hold before the write
        host.texts[0] = "stale";
        PanelHalf panel = f.type->make(host, f.direction);
        host.clear();
        panel.start(false);
        ASSERT_EQ(host.ops(), (std::vector<std::int32_t>{PanelReqAddPin, f.type->writeOp, f.type->readOp}));
        const Request& add = host.requests[0];
        EXPECT_TRUE(add.is(PanelReqAddPin, f.type->dataType, f.direction));
        EXPECT_EQ(add.text, f.type->pinName);
        EXPECT_EQ(add.opt, 0.0f);
        const Request& write = host.requests[1];
        EXPECT_TRUE(write.is(f.type->writeOp, 0, 0));
        EXPECT_EQ(write.opt, 0.0f);
        if (f.type->writeOp == PanelReqSetText) {
            ASSERT_NE(write.ptr, nullptr); // the empty text, never null
            EXPECT_EQ(write.text, "");
        } else {
            EXPECT_EQ(write.ptr, nullptr);
        }
        EXPECT_EQ(host.requests[2].index, 0);
        EXPECT_EQ(panel.text(), f.type->startText);
        EXPECT_EQ(host.count(PanelReqRepaint), 0);
    }
}

TEST(GuiValuePanel, AStartWithThePinsExistingOnlyReadsThePin) {
    struct Held {
        const ValuePanelType* type;
        std::function<void(FakeHost&)> hold;
        const char* text;
    };
    const Held rows[] = {
        {&kFloat, [](FakeHost& h) { h.setFloat(0, 0.1f); }, "0.1000000015"},
        {&kFloat, [](FakeHost& h) { h.setFloat(0, 0.0f); }, "0."},
        {&kInt, [](FakeHost& h) { h.values[0] = -7; }, "-7"},
        {&kBool, [](FakeHost& h) { h.values[0] = 1; }, "TRUE"},
        {&kBool, [](FakeHost& h) { h.values[0] = 0; }, "FALSE"},
        {&kText, [](FakeHost& h) { h.texts[0] = "kept"; }, "kept"},
    };
    for (const Held& row : rows) {
        for (PinDirection d : {DirIn, DirOut}) {
            SCOPED_TRACE(formName({row.type, d}) + " -> " + row.text);
            FakeHost host;
            row.hold(host);
            PanelHalf panel = row.type->make(host, d);
            host.clear();
            panel.start(true);
            ASSERT_EQ(host.ops(), std::vector<std::int32_t>{row.type->readOp});
            EXPECT_EQ(host.requests[0].index, 0);
            EXPECT_EQ(panel.text(), row.text);
        }
    }
}

TEST(GuiValuePanel, EveryChangeReadsPin0WhicheverPinIsNamedAndRepaintsOnce) {
    for (const Form& f : allForms()) {
        SCOPED_TRACE(formName(f));
        FakeHost host;
        PanelHalf panel = f.type->make(host, f.direction);
        panel.start(false);
        host.values[0] = 1;
        host.texts[0] = "one";
        host.values[3] = 99;
        host.texts[3] = "three";
        for (std::int32_t named : {0, 3, -1}) {
            host.clear();
            panel.changed(named);
            ASSERT_EQ(host.ops(), (std::vector<std::int32_t>{f.type->readOp, PanelReqRepaint})) << named;
            EXPECT_EQ(host.requests[0].index, 0);
            EXPECT_NE(panel.text(), "three");
        }
    }
}

TEST(GuiValuePanel, InputGoneShowsTheFallbackWithoutTouchingThePin) {
    for (const Form& f : allForms()) {
        SCOPED_TRACE(formName(f));
        FakeHost host;
        PanelHalf panel = f.type->make(host, f.direction);
        panel.start(false);
        host.values[0] = 5;
        host.texts[0] = "five";
        panel.changed(0);
        host.clear();
        panel.gone(7);
        EXPECT_EQ(host.ops(), std::vector<std::int32_t>{PanelReqRepaint});
        EXPECT_EQ(panel.text(), f.type->goneText);
        EXPECT_EQ(host.values[0], 5);
    }
}

TEST(GuiValuePanel, ValuesShowByTheirRule) {
    struct Row {
        const ValuePanelType* type;
        std::function<void(FakeHost&)> set;
        std::string text;
    };
    auto real = [](float v) { return [v](FakeHost& h) { h.setFloat(0, v); }; };
    auto integer = [](std::int32_t v) { return [v](FakeHost& h) { h.values[0] = v; }; };
    auto text = [](std::string v) { return [v](FakeHost& h) { h.texts[0] = v; }; };
    const Row rows[] = {
        {&kFloat, real(0.1f), "0.1000000015"},
        {&kFloat, real(100.0f), "100."},
        {&kFloat, real(1e10f), "1.e+010"},
        {&kFloat, real(-0.0f), "0."},
        {&kFloat, integer(0x7F800000), "1.#INF"},
        {&kFloat, integer(static_cast<std::int32_t>(0xFFC00000u)), "-1.#IND"},
        {&kInt, integer(INT32_MIN), "-2147483648"},
        {&kInt, integer(INT32_MAX), "2147483647"},
        {&kBool, integer(1), "TRUE"},
        {&kBool, integer(-1), "TRUE"},
        {&kBool, integer(256), "TRUE"}, // all four bytes count
        {&kBool, integer(0), "FALSE"},
        {&kText, text("hello"), "hello"},
        {&kText, text("caf\xE9 \x80\xFF"), "caf\xE9 \x80\xFF"}, // bytes at or above 0x80 as they are
        {&kText, text("tab\tand\nline"), "tab\tand\nline"},
        {&kText, text(std::string(100000, 'x')), std::string(100000, 'x')},
    };
    for (const Row& row : rows) {
        for (PinDirection d : {DirIn, DirOut}) {
            SCOPED_TRACE(formName({row.type, d}) + " -> " + row.text.substr(0, 20));
            FakeHost host;
            PanelHalf panel = row.type->make(host, d);
            panel.start(false);
            row.set(host);
            panel.changed(0);
            EXPECT_EQ(panel.text(), row.text);
        }
    }
}

TEST(GuiValuePanel, AHostThatAnswersNothingShowsTheZero) {
    for (const Form& f : allForms()) {
        SCOPED_TRACE(formName(f));
        FakeHost host;
        // Request 14 leaves the slot as it is; request 7 answers null.
        host.answer = [](const Request& r) -> std::optional<HostWord> {
            if (r.op == PanelReqGetValue || r.op == PanelReqGetText) return 0;
            return std::nullopt;
        };
        PanelHalf panel = f.type->make(host, f.direction);
        panel.start(false);
        EXPECT_EQ(panel.text(), f.type->startText);
        panel.changed(0);
        EXPECT_EQ(panel.text(), f.type->startText);
    }
}

// --- the list panels -------------------------------------------------------------

struct ListForm {
    const char* name;
    const GuiListForm* form;
};
const ListForm kGuiList{"GuiList", &kGuiListForm};
const ListForm kRGuiList{"RGuiList", &kRGuiListForm};

class ListPanel : public ::testing::TestWithParam<ListForm> {
protected:
    bool gui() const { return GetParam().form->hasChoicesPin; }
    PanelHalf make() { return PanelHalf::make<GuiListPanel>(host, *GetParam().form); }
    // The requests since the last clear, by number.
    std::vector<std::int32_t> ops() const { return host.ops(); }

    FakeHost host;
};

TEST_P(ListPanel, ConstructionText) {
    PanelHalf panel = make();
    EXPECT_EQ(panel.text(), gui() ? "0.00" : "0");
    EXPECT_EQ(host.ops(), (std::vector<std::int32_t>{PanelReqSetup11, PanelReqSetup3, PanelReqSetup4}));
}

TEST_P(ListPanel, AFreshStartRegistersWritesHandsOverAndShows) {
    PanelHalf panel = make();
    host.clear();
    panel.start(false);
    std::vector<std::int32_t> expected;
    if (gui()) {
        expected = {PanelReqAddPin, PanelReqAddPin,  PanelReqSetText, PanelReqSetValue,
                    PanelReqGetText, PanelReqSetChoices, PanelReqGetValue, PanelReqGetChoices};
    } else {
        expected = {PanelReqAddPin, PanelReqSetValue, PanelReqGetValue, PanelReqGetChoices};
    }
    ASSERT_EQ(ops(), expected);
    const std::vector<Request>& r = host.requests;
    EXPECT_TRUE(r[0].is(PanelReqAddPin, DataList, gui() ? DirIn : DirOut));
    EXPECT_EQ(r[0].text, "List");
    if (gui()) {
        EXPECT_TRUE(r[1].is(PanelReqAddPin, DataText, DirSetting));
        EXPECT_EQ(r[1].text, "List Choices");
        EXPECT_TRUE(r[2].is(PanelReqSetText, 1, 0));
        EXPECT_EQ(r[2].text, kDefaultListChoices);
        EXPECT_TRUE(r[3].is(PanelReqSetValue, 0, 0));
        EXPECT_TRUE(r[4].is(PanelReqGetText, 1, 0));
        EXPECT_TRUE(r[5].is(PanelReqSetChoices, 0, 1000));
        EXPECT_EQ(r[5].text, kDefaultListChoices);
        EXPECT_EQ(panel.text(), "0 - Zero");
    } else {
        EXPECT_TRUE(r[1].is(PanelReqSetValue, 0, 0));
        EXPECT_EQ(panel.text(), "0 - ???") << "the host holds no choices for the pin";
    }
    EXPECT_TRUE(r[r.size() - 2].is(PanelReqGetValue, 0, 0));
    EXPECT_TRUE(r.back().is(PanelReqGetChoices, 0, 1000));
    EXPECT_EQ(host.count(PanelReqRepaint), 0);
}

TEST_P(ListPanel, AStartWithThePinsExistingHandsOverAgainAndShowsTheCurrentValue) {
    host.values[0] = 3;
    host.texts[1] = "Uno=1,Dos,Tres";
    host.choices[0] = widen("Zero=0,One,Two,Three");
    PanelHalf panel = make();
    host.clear();
    panel.start(true);
    if (gui()) {
        EXPECT_EQ(ops(), (std::vector<std::int32_t>{PanelReqGetText, PanelReqSetChoices, PanelReqGetValue,
                                                    PanelReqGetChoices}));
        EXPECT_EQ(panel.text(), "3 - Tres");
    } else {
        EXPECT_EQ(ops(), (std::vector<std::int32_t>{PanelReqGetValue, PanelReqGetChoices}));
        EXPECT_EQ(panel.text(), "3 - Three");
    }
}

TEST_P(ListPanel, ChangesByThePinTheHostNames) {
    PanelHalf panel = make();
    panel.start(false);
    host.values[0] = 20;
    host.clear();
    panel.changed(0);
    EXPECT_EQ(ops(), (std::vector<std::int32_t>{PanelReqGetValue, PanelReqGetChoices, PanelReqRepaint}));
    EXPECT_EQ(panel.text(), gui() ? "20 - Twenty" : "20 - ???");

    for (std::int32_t other : {2, 3, -1}) {
        host.clear();
        panel.changed(other);
        EXPECT_TRUE(host.requests.empty()) << other;
    }
}

TEST_P(ListPanel, InputGoneShowsTheNameOf0WithoutReadingThePin) {
    host.texts[1] = "Nil=0,Eins"; // GuiList hands this over at start
    host.choices[0] = widen("Nil=0,Eins");
    PanelHalf panel = make();
    panel.start(true);
    host.values[0] = 1;
    panel.changed(0);
    ASSERT_EQ(panel.text(), "1 - Eins");
    host.clear();
    panel.gone(5);
    EXPECT_EQ(ops(), (std::vector<std::int32_t>{PanelReqGetChoices, PanelReqRepaint}));
    EXPECT_EQ(panel.text(), "0 - Nil");
    EXPECT_EQ(panel.as<GuiListPanel>().lastValue(), 0.0f);
    EXPECT_EQ(host.values[0], 1);
}

TEST_P(ListPanel, TheLookupKeyIsTheValueKeptAsAFloat) {
    host.values[0] = 16777217;
    host.texts[1] = "Big=16777216";
    host.choices[0] = widen("Big=16777216");
    PanelHalf panel = make();
    panel.start(true);
    EXPECT_EQ(panel.text(), "16777217 - Big"); // the number is exact, the name is 16777216's
    EXPECT_EQ(panel.as<GuiListPanel>().lastValue(), 16777216.0f);
    host.values[0] = INT32_MIN;
    panel.changed(0);
    EXPECT_EQ(panel.text(), "-2147483648 - ???");
}

INSTANTIATE_TEST_SUITE_P(Forms, ListPanel, ::testing::Values(kGuiList, kRGuiList),
                         [](const auto& info) { return std::string(info.param.name); });

// GuiList's own list: the user's "List Choices" text names the values.
class GuiListChoices : public ::testing::Test {
protected:
    void SetUp() override { panel.start(false); }
    void edit(const std::string& choices) {
        host.texts[1] = choices;
        panel.changed(1);
    }
    void show(std::int32_t value) {
        host.values[0] = value;
        panel.changed(0);
    }

    FakeHost host;
    PanelHalf panel = PanelHalf::make<GuiListPanel>(host, kGuiListForm);
};

TEST_F(GuiListChoices, AnEditShowsTheNewNamesAtOnce) {
    show(3);
    ASSERT_EQ(panel.text(), "3 - Three");
    host.clear();
    edit("Ichi=1,Ni,San,Shi,Go,Ju=10");
    EXPECT_EQ(host.ops(), (std::vector<std::int32_t>{PanelReqGetText, PanelReqSetChoices, PanelReqGetValue,
                                                     PanelReqGetChoices, PanelReqRepaint}));
    EXPECT_EQ(host.requests[1].text, "Ichi=1,Ni,San,Shi,Go,Ju=10");
    EXPECT_EQ(panel.text(), "3 - San");
    show(10);
    EXPECT_EQ(panel.text(), "10 - Ju");
    show(0);
    EXPECT_EQ(panel.text(), "0 - ???");
    panel.gone();
    EXPECT_EQ(panel.text(), "0 - ???");
}

TEST_F(GuiListChoices, AnEmptyListNamesNothing) {
    edit("");
    EXPECT_EQ(host.choices[0], u"");
    show(0);
    EXPECT_EQ(panel.text(), "0 - ???");
    show(1);
    EXPECT_EQ(panel.text(), "1 - ???");
}

TEST_F(GuiListChoices, ANullChoicesTextIsHandedOverAsTheEmptyText) {
    host.nullText = true;
    host.clear();
    edit("ignored");
    const Request* handOver = nullptr;
    for (const Request& r : host.requests)
        if (r.op == PanelReqSetChoices) handOver = &r;
    ASSERT_NE(handOver, nullptr);
    ASSERT_NE(handOver->ptr, nullptr);
    EXPECT_EQ(handOver->text, "");
    EXPECT_EQ(panel.text(), "0 - ???");
}

TEST_F(GuiListChoices, LongAndStrangeListsAreHandedOverWholeAndReadWithinTheLimit) {
    // A list whose last item starts at byte `at`: it is named only when it
    // lies within the 999 bytes a lookup reads back.
    auto listWithLastItemAt = [](std::size_t at) {
        std::string list = "A=1,";
        list += std::string(at - list.size() - 1, 'p') + ",";
        return list + "Z=7";
    };
    struct Row {
        std::string list;
        std::int32_t value;
        std::string text;
    };
    const Row rows[] = {
        {listWithLastItemAt(995), 7, "7 - Z"},   // ends at byte 998
        {listWithLastItemAt(996), 7, "7 - Z"},   // ends at byte 999, the last one read
        {listWithLastItemAt(997), 0, "0 - Z"},   // its last byte is cut: "Z=" reads as Z = 0
        {listWithLastItemAt(5000), 7, "7 - ???"},
        {listWithLastItemAt(5000), 1, "1 - A"},
        {"\xE9t\xE9=1,d\xFCr=2,\xFF", 2, "2 - d\xFCr"}, // bytes above 0x80 in names
        {",,,=,==,=x,", 1, "1 - =="},                      // an "=" first is part of the name
        {",,,=,==,=x,", 0, "0 - ="},
        {"x=99999999999999999999,y", INT32_MAX, "2147483647 - x"},
        // -2147483647 is kept as the float -2^31, so it is named as INT32_MIN.
        {"a=-0x80000000,b", INT32_MIN + 1, "-2147483647 - a"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.list.substr(0, 40) + "... (" + std::to_string(row.list.size()) + " bytes)");
        edit(row.list);
        const Request* handOver = nullptr;
        for (const Request& r : host.requests)
            if (r.op == PanelReqSetChoices) handOver = &r;
        ASSERT_NE(handOver, nullptr);
        EXPECT_EQ(handOver->text, row.list) << "the panel hands over the whole text";
        EXPECT_EQ(handOver->value, 1000);
        show(row.value);
        EXPECT_EQ(panel.text(), row.text);
        host.clear();
    }
}

} // namespace
} // namespace qem
