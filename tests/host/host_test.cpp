// The host library's pieces: loading and its errors, how the clock cuts
// time into processing stretches and events, the answers to requests, pin
// numbering, and the scenario parser's error reports.
#include "host/canvas.h"
#include "host/library.h"
#include "host/scenario.h"
#include "host/session.h"
#include "host/signal.h"
#include "host/text.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace qem::host {
namespace {

// --- loading --------------------------------------------------------------

TEST(Library, LoadErrorsNameTheFileAndTheCause) {
    const struct {
        std::string path;
        std::string cause;
    } cases[] = {
        {QEM_FIXTURE_DIR "/no_such_file.sep", "no such file"},
        {QEM_NOT_A_LIBRARY, "not a"},
        {QEM_FIXTURE_NO_MAKE_MODULE, "lacks the export makeModule"},
        {QEM_FIXTURE_NO_MODULE, "getModuleProperties(0) answered 0"},
        {QEM_FIXTURE_DIR, "is a directory"},
    };
    for (const auto& c : cases) {
        try {
            Library::load(c.path);
            ADD_FAILURE() << c.path << " loaded";
        } catch (const LoadError& e) {
            std::string what = e.what();
            EXPECT_EQ(what.rfind(c.path + ": ", 0), 0u) << what;
            EXPECT_NE(what.find(c.cause), std::string::npos) << what;
            EXPECT_EQ(what.find('\n'), std::string::npos) << what;
        }
    }
}

// A file cut short would fault inside the loader (SIGBUS natively); its
// own headers show it, so it is refused before the loader sees it.
TEST(Library, AFileCutShortIsRefusedBeforeTheLoaderMapsIt) {
    std::ifstream in(QEM_PROBE, std::ios::binary);
    const std::string whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(whole.size(), 4096u);
    for (std::size_t keep : {std::size_t{40}, std::size_t{600}, whole.size() / 2, whole.size() * 3 / 4}) {
        const std::string path = std::string(QEM_FIXTURE_DIR) + "/cut_" + std::to_string(keep) + ".sep";
        std::ofstream(path, std::ios::binary) << whole.substr(0, keep);
        try {
            Library::load(path);
            ADD_FAILURE() << keep << " bytes loaded";
        } catch (const LoadError& e) {
            EXPECT_NE(e.cause().find("is cut short: "), std::string::npos) << e.what();
            EXPECT_NE(e.cause().find("the file has " + std::to_string(keep) + " bytes"), std::string::npos) << e.what();
        }
    }
}

// Records that are not what makeModule claims: refused before anything in
// them is called.
TEST(Library, RecordsWithAWrongMagicOrANullEntryAreRefused) {
    auto lib = Library::load(QEM_FIXTURE_BAD_RECORDS);
    Trace quiet;
    const struct {
        bool dsp;
        const char* cause;
    } cases[] = {
        {true, "makeModule(0, 1) returned a DSP record that has the magic 0x5345504D (0x5345504C expected)"},
        {false, "makeModule(0, 2) returned a panel record that has no dispatcher"},
    };
    for (const auto& c : cases) {
        Session session(*lib, quiet);
        try {
            session.create(c.dsp, !c.dsp);
            ADD_FAILURE() << "created";
        } catch (const LoadError& e) {
            EXPECT_EQ(e.cause(), c.cause);
        }
        EXPECT_FALSE(session.hasDsp() || session.hasPanel());
    }
}

TEST(Library, MakeModuleAnsweringNullIsALoadErrorOfTheSession) {
    auto lib = Library::load(QEM_FIXTURE_NULL_MAKE_MODULE);
    EXPECT_EQ(lib->info().name, "Host Fixture");
    Trace quiet;
    Session session(*lib, quiet);
    try {
        session.create(true, false);
        ADD_FAILURE() << "created";
    } catch (const LoadError& e) {
        EXPECT_NE(std::string(e.what()).find("makeModule(0, 1) returned null"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(session.hasDsp());
}

TEST(Library, ReadsTheDescription) {
    auto lib = Library::load(QEM_PROBE);
    EXPECT_EQ(lib->info().name, "QEM Test Probe");
    EXPECT_EQ(lib->info().identifier, "QEM Test Probe");
    EXPECT_EQ(lib->info().interfaceVersion, 2230);
    EXPECT_EQ(lib->info().about.rfind("QEM Test Probe - v0.0.1\n", 0), 0u);
}

// --- the clock ------------------------------------------------------------

// What the clock module reported, in order: "P<offset>+<count>" for a
// processing call, "M<time>" a MIDI event, "C<clock>" a scheduled call.
std::string timeline(const Session& s, std::size_t from = 0) {
    std::string out;
    const auto& rs = s.requests();
    for (std::size_t i = from; i < rs.size(); ++i) {
        const Request& r = rs[i];
        if (r.half != Half::Dsp) continue;
        if (r.op == 100) out += " P" + std::to_string(r.index) + "+" + std::to_string(r.value);
        if (r.op == 101) out += " M" + std::to_string(r.index);
        if (r.op == 102) out += " C" + std::to_string(r.index);
    }
    return out.empty() ? out : out.substr(1);
}

struct ClockFixture : ::testing::Test {
    std::unique_ptr<Library> lib = Library::load(QEM_FIXTURE_CLOCK);
    Trace quiet;
    SessionOptions options() {
        SessionOptions o;
        o.blockSize = 8;
        o.autoPaint = false;
        return o;
    }
};

TEST_F(ClockFixture, EventsCutTheBlocksIntoStretchesAtTheirSample) {
    Session s(*lib, quiet, options());
    s.create(true, false);
    s.start(false);
    s.sendMidi(3, 0x90);
    s.sendMidi(11, 0x90);
    s.sendMidi(11, 0x80); // two at one sample: in the order sent, no empty stretch between
    s.advance(16);
    EXPECT_EQ(timeline(s), "P0+3 M3 P3+5 P0+3 M11 M11 P3+5");
    EXPECT_EQ(s.clock(), 16);
}

TEST_F(ClockFixture, AdvancingPartOfABlockGoesOnAtTheRightOffset) {
    Session s(*lib, quiet, options());
    s.create(true, false);
    s.start(false);
    s.advance(5);
    s.advance(6);
    s.sendMidi(s.clock(), 0x90); // due now: delivered before anything runs on
    s.advance(0);
    EXPECT_EQ(timeline(s), "P0+5 P5+3 P0+3 M11");
}

TEST_F(ClockFixture, ScheduledCallsComeBackAtTheirTimeThroughTheEventEntry) {
    Session s(*lib, quiet, options());
    s.create(true, false);
    s.start(false);
    s.sendMidi(2, 0x05C0); // schedules a call 5 samples after the event: at 7
    s.advance(10);
    EXPECT_EQ(timeline(s), "P0+2 M2 P2+5 C7 P7+1 P0+2");
    // The event the module passed was copied at once (it scrambles it after).
    for (const Request& r : s.requests()) {
        if (r.op == DspReqScheduleCall) {
            EXPECT_EQ(r.eventTime, 7);
        }
    }
}

TEST_F(ClockFixture, TheIdleRequestStopsProcessingUntilTheNextEvent) {
    Session s(*lib, quiet, options());
    s.create(true, false);
    s.start(false);
    s.sendMidi(1, 0xA0); // idle from the next processing call on
    s.sendMidi(20, 0x90);
    s.advance(24);
    EXPECT_EQ(timeline(s), "P0+1 M1 P1+7 M20 P4+4");
}

TEST_F(ClockFixture, AudioBuffersHoldTheBlockAndAreRefilledAtEachBlock) {
    Session s(*lib, quiet, options());
    s.create(true, false);
    s.start(false);
    Pin* audio = s.findPin("Audio");
    ASSERT_NE(audio, nullptr);
    s.feedAudio(*audio, Signal::ramp(0, 64, 64), StateStreaming); // sample t holds t
    s.sendMidi(4, 0x90);
    s.sendMidi(12, 0x90);
    std::size_t from = s.requests().size();
    s.advance(16);
    std::vector<float> firstSamples;
    for (std::size_t i = from; i < s.requests().size(); ++i)
        if (s.requests()[i].op == 100) firstSamples.push_back(s.requests()[i].opt);
    EXPECT_EQ(firstSamples, (std::vector<float>{0, 4, 8, 12}));
    // The pin-state event of the feed reached the module.
    bool stateSeen = false;
    for (const Request& r : s.requests()) stateSeen = stateSeen || (r.op == 103 && r.index == 0 && r.value == 2);
    EXPECT_TRUE(stateSeen);
}

TEST_F(ClockFixture, CallsScheduledWithoutEndAtOneSampleStopTheSession) {
    Session s(*lib, quiet, options());
    s.create(true, false);
    s.start(false);
    s.sendMidi(0, 0xB0);
    EXPECT_THROW(s.advance(8), SessionError);
}

TEST_F(ClockFixture, TheClockDoesNotRunBackwardsOrPast32Bits) {
    Session s(*lib, quiet, options());
    s.create(true, false);
    s.start(false);
    EXPECT_THROW(s.advance(-1), SessionError);
    EXPECT_THROW(s.advanceTo(0x80000000ll), SessionError);
    // An event past the clock's end would wrap to a time long past and
    // come due at once.
    s.advance(1);
    Pin* audio = s.findPin("Audio");
    ASSERT_NE(audio, nullptr);
    EXPECT_THROW(s.sendMidi(0x80000000ll, 0x90), SessionError);
    std::size_t before = s.requests().size();
    EXPECT_THROW(s.sendMidi(s.clock() + 0x7FFFFFFF, 0x90), SessionError);
    s.advance(0);
    EXPECT_EQ(timeline(s, before), "");
    EXPECT_NO_THROW(s.sendMidi(0x7FFFFFFF, 0x90)); // the last sample the clock reaches
    EXPECT_THROW(s.setSampleRate(INFINITY), SessionError);
    EXPECT_THROW(s.setSampleRate(NAN), SessionError);
}

// --- requests ---------------------------------------------------------------

struct ProbeFixture : ::testing::Test {
    std::unique_ptr<Library> lib = Library::load(QEM_PROBE);
    Trace quiet;
    std::unique_ptr<Session> s;
    void SetUp() override {
        SessionOptions o;
        o.autoPaint = false;
        s = std::make_unique<Session>(*lib, quiet, o);
        s->start(false);
    }
    HostWord panel(std::int32_t op, HostWord index = 0, HostWord value = 0, void* ptr = nullptr, float opt = 0) {
        return Session::callback()(s->panelRecord(), op, index, value, ptr, opt);
    }
    HostWord dsp(std::int32_t op, HostWord index = 0, HostWord value = 0, void* ptr = nullptr, float opt = 0) {
        return Session::callback()(s->dspRecord(), op, index, value, ptr, opt);
    }
};

TEST_F(ProbeFixture, PinsAreNumberedForBothHalves) {
    const struct {
        const char* name;
        int dsp, panel;
    } pins[] = {{"DSP 2 GUI - Out", 0, 0}, {"DSP 2 GUI - In", -1, 1}, {"A", 1, -1}, {"B", 2, -1},
                {"C", 3, -1},           {"Mode", 4, 2},            {"MIDI", 5, -1}};
    for (const auto& p : pins) {
        Pin* pin = s->findPin(p.name);
        ASSERT_NE(pin, nullptr) << p.name;
        EXPECT_EQ(pin->dsp, p.dsp) << p.name;
        EXPECT_EQ(pin->panel, p.panel) << p.name;
    }
    EXPECT_EQ(dsp(DspReqPinCount), 6);
    // A pin the panel registers comes after the described ones.
    EXPECT_EQ(panel(PanelReqAddPin, DataFloat, DirIn, const_cast<char*>("Extra")), 3);
    EXPECT_EQ(s->findPin("panel#3"), s->findPin("Extra"));
    // -1 is what a pin without an index holds: it names none.
    EXPECT_EQ(s->findPin("dsp#-1"), nullptr);
    EXPECT_EQ(s->findPin("panel#-1"), nullptr);
    // A value due past the end of the 32-bit clock is refused, not wrapped.
    s->advance(1);
    EXPECT_THROW(s->setValue(*s->findPin("A"), PinValue{}, StateChanged, 0x7FFFFFFF), SessionError);
    // The setting holds its default on both sides.
    EXPECT_EQ(s->readPin(*s->findPin("Mode"), Half::Dsp).bits, 1);
    EXPECT_EQ(s->readPin(*s->findPin("Mode"), Half::Panel).bits, 1);
}

TEST_F(ProbeFixture, ListChoicesAreAnsweredWithinTheCapacityAndAlwaysTerminated) {
    // Panel pin 2 ("Mode") holds its declared choices "Off=0,On".
    const struct {
        HostWord capacity;
        std::u16string expected; // what the buffer holds up to its terminator
        HostWord result;
    } cases[] = {{100, u"Off=0,On", 8}, {9, u"Off=0,On", 8}, {8, u"Off=0,O", 7}, {4, u"Off", 3}, {1, u"", 0}};
    for (const auto& c : cases) {
        char16_t buffer[128];
        std::fill(std::begin(buffer), std::end(buffer), u'#');
        EXPECT_EQ(panel(PanelReqGetChoices, 2, c.capacity, buffer), c.result) << c.capacity;
        EXPECT_EQ(std::u16string(buffer), c.expected) << c.capacity;
        EXPECT_EQ(buffer[c.capacity], u'#') << "written past the capacity " << c.capacity;
    }
    char16_t untouched[2] = {u'#', u'#'};
    EXPECT_EQ(panel(PanelReqGetChoices, 2, 0, untouched), 0);
    EXPECT_EQ(untouched[0], u'#');
    EXPECT_EQ(panel(PanelReqGetChoices, 2, -5, untouched), 0);
    EXPECT_EQ(untouched[0], u'#');
    EXPECT_EQ(panel(PanelReqGetChoices, 2, 1000, nullptr), 0);
    // A pin without choices, or none at all, answers the empty text.
    char16_t none[4] = {u'#', u'#', u'#', u'#'};
    EXPECT_EQ(panel(PanelReqGetChoices, 7, 4, none), 0);
    EXPECT_EQ(none[0], 0);
}

TEST_F(ProbeFixture, ChoicesHandedOverComeBackAsUtf16) {
    char text[] = "Caf\xE9=1,\x80uro";
    panel(PanelReqSetChoices, 2, 1000, text);
    char16_t buffer[32];
    EXPECT_EQ(panel(PanelReqGetChoices, 2, 32, buffer), 11);
    EXPECT_EQ(std::u16string(buffer), u"Caf\u00E9=1,\u20ACuro");
}

TEST_F(ProbeFixture, PinValuesGoInAndOutOfTheSlot) {
    // Float pins take the float of opt, others the integer of value.
    panel(PanelReqSetValue, 1, 0, nullptr, 2.5f);
    std::int32_t slot = 0;
    panel(PanelReqGetValue, 1, 0, &slot);
    EXPECT_EQ(std::bit_cast<float>(slot), 2.5f);
    panel(PanelReqSetValue, 2, 2, nullptr, 0.0f);
    panel(PanelReqGetValue, 2, 0, &slot);
    EXPECT_EQ(slot, 2);
    // The setting reaches the DSP variable as well.
    EXPECT_EQ(s->readPin(*s->findPin("Mode"), Half::Dsp).bits, 2);
    // Unknown pins: a zero slot, an empty text (never null), and a note each.
    slot = 7;
    panel(PanelReqGetValue, 9, 0, &slot);
    EXPECT_EQ(slot, 0);
    auto text = reinterpret_cast<const char*>(panel(PanelReqGetText, 9));
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(s->notes().size(), 2u);
    // Text set and read back.
    char hello[] = "hello";
    panel(PanelReqSetText, 1, 0, hello);
    EXPECT_STREQ(reinterpret_cast<const char*>(panel(PanelReqGetText, 1)), "hello");
}

TEST_F(ProbeFixture, TheFontRequestFillsFontInfo) {
    FontInfo info;
    std::memset(&info, 0x55, sizeof info);
    HostWord font = panel(PanelReqFont, 0, reinterpret_cast<HostWord>("tty"), &info);
    EXPECT_NE(font, 0);
    EXPECT_EQ(info.backgroundColour, -1); // none by default
    EXPECT_EQ(info.hostBytes[107], 0);    // the whole record is the host's
    s->setBackground(0x000000FF);
    panel(PanelReqFont, 0, reinterpret_cast<HostWord>("tty"), &info);
    EXPECT_EQ(info.backgroundColour, 0x000000FF);
}

TEST_F(ProbeFixture, RequestsOfUnknownRecordsAreAnswered0) {
    DspHostRecord stranger{};
    stranger.magic = kDspRecordMagic;
    stranger.hostValue = 12345;
    EXPECT_EQ(Session::callback()(&stranger, DspReqPinCount, 0, 0, nullptr, 0), 0);
    std::uint32_t garbage[16] = {};
    EXPECT_EQ(Session::callback()(garbage, DspReqPinCount, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(Session::callback()(nullptr, DspReqPinCount, 0, 0, nullptr, 0), 0);
}

// --- scenario parsing ---------------------------------------------------------

TEST(Scenario, BadLinesNameTheFileTheLineAndTheToken) {
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"start\nsett A 1", "x.scn:2: unknown step 'sett'"},
        {"set A", "x.scn:1: 'set' needs more arguments"},
        {"advance -1", "x.scn:1: '-1' is not a number of samples"},
        {"advance 10 20", "x.scn:1: unexpected '20'"},
        {"midi 9G 3C", "x.scn:1: '9G' is not a hex MIDI value"},
        {"midi 90 3C 100", "x.scn:1: '100' is more than a byte"},
        {"set \"A 1", "x.scn:1: unterminated text"},
        {"set A \"1\"x", "x.scn:1: text runs into 'x'"},
        {"background #12345", "x.scn:1: '#12345' is not a colour"},
        {"set A 1 when=now", "x.scn:1: unknown option 'when='"},
        {"set A 1 at=100", "x.scn:1: 'at=100' needs a delay after now"},
        {"set A 1 state=loud", "x.scn:1: 'loud' is not a pin state"},
        {"audio V saw 1", "x.scn:1: 'saw' is not one of const, ramp, sine, file"},
        {"expect frob", "x.scn:1: unknown expectation 'frob'"},
        {"expect request panel pinState", "x.scn:1: 'pinState' is not a panel request"},
        {"expect request dsp", "x.scn:1: expect request dsp needs one op number or name"},
        {"expect repaints many", "x.scn:1: 'many' is not a count"},
        {"expect text \"a\" \"b\"", "x.scn:1: expect text takes one text"},
        {"create all", "x.scn:1: 'all' is not one of both, dsp, panel"},
        {"set A \"\\q\"", "x.scn:1: unknown escape '\\q'"},
        {"rate 1e300", "x.scn:1: '1e300' is not a sample rate a 32-bit float can hold"},
        {"rate 1e-50", "x.scn:1: '1e-50' is not a sample rate a 32-bit float can hold"},
        {"\xEF\xBB\xBF\xEF\xBB\xBFstart", "x.scn:1: unknown step '\xEF\xBB\xBFstart'"}, // one mark only
    };
    for (const auto& c : cases) {
        try {
            parseScript(c.text, "x.scn", "");
            ADD_FAILURE() << c.text << " parsed";
        } catch (const ScriptError& e) {
            EXPECT_EQ(std::string(e.what()).rfind(c.message, 0), 0u) << e.what();
        }
    }
}

TEST(Scenario, TokensKeepQuotedTextsWhole) {
    Script s = parseScript("set \"Running Mode\" 2 # comment\nexpect text \"a \\\"b\\\"\\x41\\n\"\n\n# only a comment\n",
                           "x.scn", "");
    ASSERT_EQ(s.steps.size(), 2u);
    EXPECT_EQ(s.steps[0].args[0].text, "Running Mode");
    EXPECT_EQ(s.steps[0].line, 1);
    EXPECT_EQ(s.steps[1].args[1].text, "a \"b\"A\n");
    EXPECT_EQ(s.steps[1].line, 2);
    Script e = parseInline("start; set Text \"a;b\"; expect text \"a;b\"");
    ASSERT_EQ(e.steps.size(), 3u);
    EXPECT_EQ(e.steps[1].args[1].text, "a;b");
    // An escaped backslash ends before the closing quote: the ';' after it parts steps.
    Script b = parseInline(R"(set Text "a\\"; expect text "a\\"; set Text "\";")");
    ASSERT_EQ(b.steps.size(), 3u);
    EXPECT_EQ(b.steps[0].args[1].text, "a\\");
    EXPECT_EQ(b.steps[1].args[1].text, "a\\");
    EXPECT_EQ(b.steps[2].args[1].text, "\";");
    // A file saved with a UTF-8 byte order mark reads as without one.
    Script bom = parseScript("\xEF\xBB\xBFstart\nexpect text \"0.\"\n", "x.scn", "");
    ASSERT_EQ(bom.steps.size(), 2u);
    EXPECT_EQ(bom.steps[0].verb, "start");
}

TEST(Scenario, DefinesFillInTheirValuesAndAMissingOneIsAnError) {
    ScriptDefines defines;
    ASSERT_TRUE(addDefine("direction=1", defines));
    ASSERT_TRUE(addDefine("pin=Float", defines));
    EXPECT_FALSE(addDefine("no value", defines));
    EXPECT_FALSE(addDefine("=1", defines));
    Script s = parseScript("expect request addPin value=${direction} text=\"${pin}\"\nset ${pin} 0.${direction}\n",
                           "x.scn", "", defines);
    ASSERT_EQ(s.steps.size(), 2u);
    EXPECT_EQ(s.steps[0].options.at("value").text, "1");
    EXPECT_EQ(s.steps[0].options.at("text").text, "Float");
    EXPECT_EQ(s.steps[1].source, "set Float 0.1");
    const std::pair<const char*, const char*> bad[] = {
        {"set ${other} 1", "x.scn:1: no value for ${other} (give one: --define other=VALUE)"},
        {"set ${pin 1", "x.scn:1: '${' without its '}'"},
    };
    for (auto [text, message] : bad) {
        try {
            parseScript(text, "x.scn", "", defines);
            ADD_FAILURE() << text;
        } catch (const ScriptError& e) {
            EXPECT_EQ(std::string(e.what()), message);
        }
    }
}

TEST(Scenario, AFolderIsNotAScenario) {
    try {
        loadScript(QEM_FIXTURE_DIR);
        ADD_FAILURE() << "a folder loaded as a scenario";
    } catch (const ScriptError& e) {
        EXPECT_EQ(std::string(e.what()), std::string(QEM_FIXTURE_DIR) + ": is a folder, not a scenario");
    }
}

// --- the picture ------------------------------------------------------------

// The text monitor's panel after one set: what it shows and its picture.
struct Painted {
    std::string shown;
    Image image;
};
Painted paintText(const char* deliverable, const std::string& pin, const PinValue& value, int width) {
    auto lib = Library::load(deliverable);
    Trace quiet;
    SessionOptions o;
    o.width = width;
    Session s(*lib, quiet, o);
    s.start(false);
    s.setValue(*s.findPin(pin), value, StateChanged);
    s.settle();
    return {s.shownText(), s.lastImage()};
}

// Pixels of the panel's green text in the cell of character i (x from 7).
int inkInCell(const Image& im, int i) {
    int ink = 0;
    for (int y = 0; y < im.height; ++y)
        for (int x = 7 + i * kFontAdvance; x < 7 + (i + 1) * kFontAdvance && x < im.width; ++x) {
            const std::uint8_t* p = &im.rgba[(static_cast<std::size_t>(y) * im.width + x) * 4];
            ink += p[1] > 0xA0 && p[0] < 0x60 && p[2] < 0x60; // green on the panel's grey
        }
    return ink;
}

TEST(Picture, TheFontIsFixedPitchOfTheSameAdvanceInBothBuilds) {
    EXPECT_EQ(Canvas::create()->fontAdvance(), kFontAdvance);
}

TEST(Picture, EveryGlyphOfADenseTextIsDrawnInItsCell) {
    PinValue eights;
    eights.text = std::string(16, '8');
    Painted p = paintText(QEM_TEXT_MONITOR, "Text", eights, 7 + 16 * kFontAdvance + 5);
    ASSERT_EQ(p.shown, eights.text);
    for (int i = 0; i < 16; ++i) EXPECT_GT(inkInCell(p.image, i), 8) << "glyph " << i;
}

TEST(Picture, TheFloatExampleFitsA100PixelPanel) {
    PinValue tenth;
    tenth.bits = std::bit_cast<std::int32_t>(0.1f);
    Painted p = paintText(QEM_FLOAT_MONITOR, "Float", tenth, 100);
    ASSERT_EQ(p.shown, "0.1000000015");
    EXPECT_GT(inkInCell(p.image, 11), 0) << "the last '5' is cut";
}

TEST(Picture, ALongTextIsRecordedWhole) {
    PinValue longText;
    for (int i = 0; longText.text.size() < 20000; ++i) longText.text += std::to_string(i) + ",";
    Painted p = paintText(QEM_TEXT_MONITOR, "Text", longText, 100);
    EXPECT_EQ(p.shown, longText.text);
}

// --- small pieces -----------------------------------------------------------

TEST(Text, NumbersReadAsScenariosWriteThem) {
    EXPECT_EQ(std::bit_cast<std::uint32_t>(*parseFloat("0.1")), 0x3DCCCCCDu);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(*parseFloat("bits:0xFFC00000")), 0xFFC00000u);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(*parseFloat("-0")), 0x80000000u);
    EXPECT_EQ(*parseFloat("1e-50"), 0.0f);
    EXPECT_EQ(*parseFloat("1e39"), INFINITY);
    EXPECT_EQ(*parseFloat("-inf"), -INFINITY);
    EXPECT_FALSE(parseFloat("1.5x"));
    EXPECT_FALSE(parseFloat("--1"));
    EXPECT_EQ(*parseInteger("0xFFFFFFFF"), 0xFFFFFFFFll);
    EXPECT_EQ(*parseInteger("-2147483648"), -2147483648ll);
    EXPECT_FALSE(parseInteger("12a"));
    EXPECT_EQ(*parseColour("#FF8000"), 0x000080FF);
    EXPECT_EQ(*parseColour("none"), -1);
    EXPECT_EQ(quoteText(std::string("a\"\\\n\x01\xE9", 6)), "\"a\\\"\\\\\\n\\x01\\xE9\"");
}

TEST(Signal, SineMatchesTheLibrarySineAndTheOtherShapesHoldTheirEnds) {
    double worst = 0;
    for (int i = -4000; i <= 4000; ++i) {
        double x = i / 997.0;
        worst = std::max(worst, std::fabs(sinTurns(x) - std::sin(2 * 3.14159265358979323846 * x)));
    }
    EXPECT_LT(worst, 1e-14);
    Signal ramp = Signal::ramp(-1, 1, 4);
    ramp.startAt(10);
    EXPECT_EQ(ramp.at(10), -1.0f);
    EXPECT_EQ(ramp.at(12), 0.0f);
    EXPECT_EQ(ramp.at(14), 1.0f);
    EXPECT_EQ(ramp.at(1000), 1.0f);
    Signal sine = Signal::sine(441, 0.5, 0.25, 44100); // 100 samples a period
    EXPECT_EQ(sine.at(0), 0.25f);
    EXPECT_EQ(sine.at(25), 0.75f);
    EXPECT_EQ(sine.at(75), -0.25f);
}

} // namespace
} // namespace qem::host
