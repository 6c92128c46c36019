#include "host/scenario.h"

#include "host/text.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace qem::host {
namespace {

// --- reading lines ------------------------------------------------------

std::string trim(std::string_view s) {
    std::size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string_view::npos) return {};
    std::size_t b = s.find_last_not_of(" \t\r");
    return std::string(s.substr(a, b - a + 1));
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Splits one line into tokens; stops at a comment.
std::vector<Token> tokenize(std::string_view line, const std::string& where) {
    std::vector<Token> out;
    std::size_t i = 0;
    while (i < line.size()) {
        char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
            continue;
        }
        // A comment: the rest of a line that starts with '#', or of a line
        // after " # ". "#FF0000" and "dsp#1" are tokens.
        if (c == '#' && (out.empty() || i + 1 >= line.size() || line[i + 1] == ' ' || line[i + 1] == '\t')) break;
        Token t;
        // key=... where key is a plain word
        std::size_t j = i;
        while (j < line.size() && (std::isalnum(static_cast<unsigned char>(line[j])) || line[j] == '-' || line[j] == '_'))
            ++j;
        if (j > i && j < line.size() && line[j] == '=') {
            t.key = std::string(line.substr(i, j - i));
            i = j + 1;
        }
        if (i < line.size() && line[i] == '"') {
            t.quoted = true;
            ++i;
            bool closed = false;
            while (i < line.size()) {
                char d = line[i++];
                if (d == '"') {
                    closed = true;
                    break;
                }
                if (d != '\\') {
                    t.text += d;
                    continue;
                }
                if (i >= line.size()) break;
                char e = line[i++];
                switch (e) {
                case 'n': t.text += '\n'; break;
                case 'r': t.text += '\r'; break;
                case 't': t.text += '\t'; break;
                case '0': t.text += '\0'; break;
                case '\\': t.text += '\\'; break;
                case '"': t.text += '"'; break;
                case 'x': {
                    int h = i < line.size() ? hexDigit(line[i]) : -1;
                    int l = i + 1 < line.size() ? hexDigit(line[i + 1]) : -1;
                    if (h < 0 || l < 0) throw ScriptError(where + "bad escape '\\x' (two hex digits follow it)");
                    t.text += static_cast<char>(h * 16 + l);
                    i += 2;
                    break;
                }
                default: throw ScriptError(where + "unknown escape '\\" + std::string(1, e) + "'");
                }
            }
            if (!closed) throw ScriptError(where + "unterminated text '\"" + t.text + "'");
            if (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' && line[i] != '#')
                throw ScriptError(where + "text runs into '" + std::string(line.substr(i, 1)) + "'");
        } else {
            std::size_t start = i;
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
                if (line[i] == '"') throw ScriptError(where + "stray '\"' in '" + std::string(line.substr(start)) + "'");
                ++i;
            }
            t.text = std::string(line.substr(start, i - start));
            if (t.key.empty() && t.text.empty()) continue;
        }
        out.push_back(std::move(t));
    }
    return out;
}

// --- what each step takes -----------------------------------------------

struct StepShape {
    std::size_t minArgs, maxArgs;
    std::set<std::string> options;
};

const std::map<std::string, StepShape>& stepShapes() {
    static const std::map<std::string, StepShape> table = {
        {"create", {1, 1, {}}},
        {"rate", {1, 1, {}}},
        {"block", {1, 1, {}}},
        {"width", {1, 1, {}}},
        {"background", {1, 1, {}}},
        {"autopaint", {1, 1, {}}},
        {"start", {0, 1, {}}},
        {"reopen", {0, 0, {}}},
        {"close", {1, 1, {}}},
        {"set", {2, 2, {"state", "at"}}},
        {"choices", {2, 2, {}}},
        {"midi", {1, 3, {"extra", "at"}}},
        {"audio", {3, 5, {"state"}}},
        {"advance", {1, 1, {}}},
        {"gone", {0, 1, {}}},
        {"paint", {0, 0, {}}},
        {"png", {1, 1, {}}},
        {"mark", {1, 1, {}}},
        {"expect", {1, 6, {"index", "value", "ptr", "clock", "opt", "text", "time", "count", "since", "side"}}},
    };
    return table;
}

const std::map<std::string, std::pair<Half, std::int32_t>>& requestNames() {
    static const std::map<std::string, std::pair<Half, std::int32_t>> names = {
        {"pinState", {Half::Dsp, DspReqPinState}},
        {"sampleClock", {Half::Dsp, DspReqSampleClock}},
        {"idle", {Half::Dsp, DspReqIdle}},
        {"pinCount", {Half::Dsp, DspReqPinCount}},
        {"scheduleCall", {Half::Dsp, DspReqScheduleCall}},
        {"sendText", {Half::Dsp, DspReqSendText}},
        {"processChanged", {Half::Dsp, DspReqProcessChanged}},
        {"repaint", {Half::Panel, PanelReqRepaint}},
        {"setup3", {Half::Panel, PanelReqSetup3}},
        {"setup4", {Half::Panel, PanelReqSetup4}},
        {"setText", {Half::Panel, PanelReqSetText}},
        {"getText", {Half::Panel, PanelReqGetText}},
        {"addPin", {Half::Panel, PanelReqAddPin}},
        {"font", {Half::Panel, PanelReqFont}},
        {"setup11", {Half::Panel, PanelReqSetup11}},
        {"getValue", {Half::Panel, PanelReqGetValue}},
        {"setValue", {Half::Panel, PanelReqSetValue}},
        {"setChoices", {Half::Panel, PanelReqSetChoices}},
        {"getChoices", {Half::Panel, PanelReqGetChoices}},
    };
    return names;
}

std::string at(const Step& s) { return s.file + ":" + std::to_string(s.line) + ": "; }

[[noreturn]] void bad(const Step& s, const std::string& message) { throw ScriptError(at(s) + message); }

std::int64_t integerArg(const Step& s, const Token& t, std::int64_t lo, std::int64_t hi, const char* what) {
    auto v = parseInteger(t.text);
    if (!v || *v < lo || *v > hi)
        bad(s, "'" + t.text + "' is not " + what + " (" + std::to_string(lo) + " to " + std::to_string(hi) + ")");
    return *v;
}

double numberArg(const Step& s, const Token& t, const char* what) {
    auto v = parseDouble(t.text);
    if (!v || !std::isfinite(*v)) bad(s, "'" + t.text + "' is not " + std::string(what));
    return *v;
}

std::int32_t colourArg(const Step& s, const Token& t) {
    auto c = parseColour(t.text);
    if (!c) bad(s, "'" + t.text + "' is not a colour (#RRGGBB, 0x00BBGGRR or none)");
    return *c;
}

std::optional<std::int32_t> stateOption(const Step& s, std::optional<std::int32_t> fallback) {
    auto it = s.options.find("state");
    if (it == s.options.end()) return fallback;
    const std::string& v = it->second.text;
    if (v == "none") return std::nullopt;
    if (v == "static") return StateStatic;
    if (v == "changed") return StateChanged;
    if (v == "streaming") return StateStreaming;
    return static_cast<std::int32_t>(integerArg(s, it->second, -0x80000000ll, 0x7FFFFFFF, "a pin state"));
}

std::int64_t delayOption(const Step& s) {
    auto it = s.options.find("at");
    if (it == s.options.end()) return 0;
    std::string v = it->second.text;
    if (v.empty() || v[0] != '+') bad(s, "'at=" + v + "' needs a delay after now, as at=+100");
    return integerArg(s, Token{v.substr(1), "", false}, 0, 0x7FFFFFFF, "a delay in samples");
}

// The packed MIDI message: one hex number, or the status and data bytes.
std::int32_t midiMessage(const Step& s) {
    auto hexByte = [&](const Token& t, std::uint32_t max) {
        std::string h = t.text;
        if (h.size() > 2 && h[0] == '0' && (h[1] == 'x' || h[1] == 'X')) h = h.substr(2);
        if (h.empty() || h.size() > 8) bad(s, "'" + t.text + "' is not a hex MIDI value");
        std::uint32_t v = 0;
        for (char c : h) {
            int d = hexDigit(c);
            if (d < 0) bad(s, "'" + t.text + "' is not a hex MIDI value");
            v = v * 16 + static_cast<std::uint32_t>(d);
        }
        if (v > max) bad(s, "'" + t.text + "' is more than a byte");
        return v;
    };
    if (s.args.size() == 1) return static_cast<std::int32_t>(hexByte(s.args[0], 0xFFFFFFFFu));
    std::uint32_t m = 0;
    for (std::size_t i = 0; i < s.args.size(); ++i) m |= hexByte(s.args[i], 0xFF) << (8 * i);
    return static_cast<std::int32_t>(m);
}

void validate(const Step& s) {
    auto shape = stepShapes().find(s.verb);
    if (shape == stepShapes().end()) bad(s, "unknown step '" + s.verb + "'");
    if (s.args.size() < shape->second.minArgs) bad(s, "'" + s.verb + "' needs more arguments");
    if (s.args.size() > shape->second.maxArgs) bad(s, "unexpected '" + s.args[shape->second.maxArgs].text + "'");
    for (const auto& [key, token] : s.options)
        if (!shape->second.options.count(key)) bad(s, "unknown option '" + key + "='");
    const auto& a = s.args;
    auto oneOf = [&](const Token& t, std::initializer_list<const char*> words) {
        for (const char* w : words)
            if (t.text == w) return;
        std::string list;
        for (const char* w : words) list += std::string(list.empty() ? "" : ", ") + w;
        bad(s, "'" + t.text + "' is not one of " + list);
    };
    if (s.verb == "create") oneOf(a[0], {"both", "dsp", "panel"});
    if (s.verb == "close") oneOf(a[0], {"both", "dsp", "panel"});
    if (s.verb == "autopaint") oneOf(a[0], {"on", "off"});
    if (s.verb == "start" && !a.empty()) oneOf(a[0], {"fresh", "pins-exist"});
    if (s.verb == "rate" && !(numberArg(s, a[0], "a sample rate") > 0)) bad(s, "'" + a[0].text + "' is not above 0");
    if (s.verb == "block") integerArg(s, a[0], 1, 1 << 20, "a block size");
    if (s.verb == "width") integerArg(s, a[0], 0, 4096, "a width");
    if (s.verb == "background") colourArg(s, a[0]);
    if (s.verb == "advance") integerArg(s, a[0], 0, 0x7FFFFFFF, "a number of samples");
    if (s.verb == "gone" && !a.empty()) integerArg(s, a[0], -0x80000000ll, 0x7FFFFFFF, "a pin index");
    if (s.verb == "set" || s.verb == "audio") {
        stateOption(s, std::nullopt);
        if (s.verb == "set") delayOption(s);
    }
    if (s.verb == "midi") {
        midiMessage(s);
        delayOption(s);
        if (auto it = s.options.find("extra"); it != s.options.end())
            integerArg(s, it->second, -0x8000, 0xFFFF, "a 16-bit extra value");
    }
    if (s.verb == "audio") {
        const std::string& kind = a[1].text;
        std::size_t n = a.size() - 2;
        if (kind == "const") {
            if (n != 1) bad(s, "audio const takes one value");
            if (!parseFloat(a[2].text)) bad(s, "'" + a[2].text + "' is not a float");
        } else if (kind == "ramp") {
            if (n != 3) bad(s, "audio ramp takes FROM TO SAMPLES");
            numberArg(s, a[2], "a number");
            numberArg(s, a[3], "a number");
            integerArg(s, a[4], 1, 0x7FFFFFFF, "a number of samples");
        } else if (kind == "sine") {
            if (n < 2 || n > 3) bad(s, "audio sine takes FREQUENCY AMPLITUDE [OFFSET]");
            for (std::size_t i = 2; i < a.size(); ++i) numberArg(s, a[i], "a number");
        } else if (kind == "file") {
            if (n < 1 || n > 2) bad(s, "audio file takes PATH [loop]");
            if (n == 2 && a[3].text != "loop") bad(s, "unexpected '" + a[3].text + "'");
        } else {
            bad(s, "'" + kind + "' is not one of const, ramp, sine, file");
        }
    }
    if (s.verb == "expect") {
        const std::string& what = a[0].text;
        std::size_t n = a.size() - 1;
        auto noOptions = [&] {
            if (!s.options.empty()) bad(s, "unknown option '" + s.options.begin()->first + "='");
        };
        if (what == "text" || what == "draw") {
            noOptions();
            if (n != 1) bad(s, "expect " + what + " takes one text");
        } else if (what == "repaints" || what == "notes") {
            if (n != 1) bad(s, "expect " + what + " takes a count");
            integerArg(s, a[1], 0, 0x7FFFFFFF, "a count");
            for (const auto& [key, token] : s.options)
                if (key != "since") bad(s, "unknown option '" + key + "='");
        } else if (what == "pin") {
            if (n != 2) bad(s, "expect pin takes PIN VALUE");
            for (const auto& [key, token] : s.options) {
                if (key != "side") bad(s, "unknown option '" + key + "='");
                if (token.text != "dsp" && token.text != "panel") bad(s, "'" + token.text + "' is not one of dsp, panel");
            }
        } else if (what == "choices") {
            noOptions();
            if (n != 2) bad(s, "expect choices takes PIN TEXT");
        } else if (what == "no" && n >= 1 && a[1].text == "draw") {
            noOptions();
            if (n != 2) bad(s, "expect no draw takes one text");
        } else if (what == "request" || (what == "no" && n >= 1 && a[1].text == "request")) {
            std::size_t first = what == "no" ? 2 : 1;
            std::size_t rest = a.size() - first;
            if (rest == 0) bad(s, "expect request needs a request (dsp 0, panel 10, repaint, ...)");
            const Token& t0 = a[first];
            if (t0.text == "dsp" || t0.text == "panel") {
                if (rest != 2) bad(s, "expect request " + t0.text + " needs one op number or name");
                const Token& op = a[first + 1];
                auto name = requestNames().find(op.text);
                if (name == requestNames().end()) integerArg(s, op, 0, 0x7FFFFFFF, "a request number");
                else if ((name->second.first == Half::Dsp) != (t0.text == "dsp"))
                    bad(s, "'" + op.text + "' is not a " + t0.text + " request");
            } else {
                if (rest != 1) bad(s, "unexpected '" + a[first + 1].text + "'");
                if (!requestNames().count(t0.text))
                    bad(s, "'" + t0.text + "' is not a request (dsp N, panel N, or a request name)");
            }
            for (const auto& [key, token] : s.options) {
                if (key == "since" || key == "text") continue;
                if (key == "side") bad(s, "unknown option 'side='");
                if (key == "opt") {
                    if (!parseFloat(token.text)) bad(s, "'" + token.text + "' is not a float");
                } else if (key == "count" && what == "no") {
                    bad(s, "'expect no request' takes no count");
                } else {
                    integerArg(s, token, -0x80000000ll, 0xFFFFFFFFll, "a number");
                }
            }
        } else {
            bad(s, "unknown expectation '" + what + "' (text, request, no request, repaints, pin, draw, no draw, choices, notes)");
        }
    }
}

Step makeStep(const std::string& file, int line, const std::string& source) {
    Step s;
    s.file = file;
    s.line = line;
    s.source = trim(source);
    std::vector<Token> tokens = tokenize(source, file + ":" + std::to_string(line) + ": ");
    if (tokens.empty()) return s;
    if (!tokens[0].key.empty() || tokens[0].quoted) throw ScriptError(at(s) + "a step starts with its name, not '" + tokens[0].text + "'");
    s.verb = tokens[0].text;
    for (std::size_t i = 1; i < tokens.size(); ++i) {
        if (tokens[i].key.empty()) {
            if (!s.options.empty()) bad(s, "'" + tokens[i].text + "' after the options");
            s.args.push_back(std::move(tokens[i]));
        } else {
            std::string key = tokens[i].key;
            if (s.options.count(key)) bad(s, "option '" + key + "=' given twice");
            s.options[key] = std::move(tokens[i]);
        }
    }
    validate(s);
    return s;
}

} // namespace

Script parseScript(const std::string& text, const std::string& name, const std::string& dir) {
    Script script;
    script.name = name;
    script.dir = dir;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        Step s = makeStep(name, number, line);
        if (!s.verb.empty()) script.steps.push_back(std::move(s));
    }
    return script;
}

Script loadScript(const std::string& path) {
    std::ifstream in(platformPath(path), std::ios::binary);
    if (!in) throw ScriptError(path + ": cannot open the scenario");
    std::stringstream text;
    text << in.rdbuf();
    std::string dir = std::filesystem::path(path).parent_path().string();
    return parseScript(text.str(), path, dir);
}

Script parseInline(const std::string& steps) {
    Script script{"-e", ".", {}};
    std::string current;
    bool inText = false;
    int number = 0;
    auto flush = [&] {
        ++number;
        Step s = makeStep("-e", number, current);
        if (!s.verb.empty()) script.steps.push_back(std::move(s));
        current.clear();
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        char c = steps[i];
        if (c == '"' && (i == 0 || steps[i - 1] != '\\')) inText = !inText;
        if ((c == ';' || c == '\n') && !inText) {
            flush();
            continue;
        }
        current += c;
    }
    flush();
    return script;
}

// ---------------------------------------------------------------------------
// Running
// ---------------------------------------------------------------------------

namespace {

class Run {
public:
    Run(const Library& lib, const RunOptions& options, const Script& script, Trace& trace)
        : options_(options), script_(script), session_(lib, trace, options.session) {}

    Session& session() { return session_; }

    // Carries out one step; a problem of the step throws StepError.
    void step(const Step& s) {
        if (s.verb == "mark") {
            marks_[s.args[0].text] = session_.requests().size();
            return;
        }
        if (s.verb == "expect") {
            expect(s);
            return;
        }
        window_ = session_.requests().size();
        const auto& a = s.args;
        const std::string& v = s.verb;
        if (v == "create") {
            session_.create(a[0].text != "panel", a[0].text != "dsp");
        } else if (v == "rate") {
            session_.setSampleRate(static_cast<float>(*parseDouble(a[0].text)));
        } else if (v == "block") {
            session_.setBlockSize(static_cast<int>(*parseInteger(a[0].text)));
        } else if (v == "width") {
            session_.setWidth(static_cast<int>(*parseInteger(a[0].text)));
        } else if (v == "background") {
            session_.setBackground(colourArg(s, a[0]));
        } else if (v == "autopaint") {
            session_.setAutoPaint(a[0].text == "on");
        } else if (v == "start") {
            session_.start(!a.empty() && a[0].text == "pins-exist");
        } else if (v == "reopen") {
            session_.reopenPanel();
        } else if (v == "close") {
            if (a[0].text != "panel") session_.closeDsp();
            if (a[0].text != "dsp") session_.closePanel();
        } else if (v == "set") {
            needStarted(s);
            Pin& pin = pinArg(s, a[0]);
            session_.setValue(pin, valueFor(s, pin, a[1]), stateOption(s, StateChanged), delayOption(s));
        } else if (v == "choices") {
            needStarted(s);
            session_.setChoices(pinArg(s, a[0]), a[1].text);
        } else if (v == "midi") {
            needStarted(s);
            std::int16_t extra = 0;
            if (auto it = s.options.find("extra"); it != s.options.end())
                extra = static_cast<std::int16_t>(*parseInteger(it->second.text));
            session_.sendMidi(session_.clock() + delayOption(s), midiMessage(s), extra);
        } else if (v == "audio") {
            needStarted(s);
            Pin& pin = pinArg(s, a[0]);
            const std::string& kind = a[1].text;
            std::optional<std::int32_t> state = stateOption(s, kind == "const" ? StateChanged : StateStreaming);
            Signal signal = Signal::constant(0);
            if (kind == "const") {
                signal = Signal::constant(*parseFloat(a[2].text));
            } else if (kind == "ramp") {
                signal = Signal::ramp(*parseDouble(a[2].text), *parseDouble(a[3].text), *parseInteger(a[4].text));
            } else if (kind == "sine") {
                signal = Signal::sine(*parseDouble(a[2].text), *parseDouble(a[3].text),
                                      a.size() > 4 ? *parseDouble(a[4].text) : 0.0, session_.options().sampleRate);
            } else {
                std::filesystem::path path(a[2].text);
                if (path.is_relative() && !script_.dir.empty()) path = std::filesystem::path(script_.dir) / path;
                try {
                    signal = Signal::file(platformPath(path.string()), a.size() > 3);
                } catch (const std::runtime_error& e) {
                    throw ScriptError(at(s) + e.what());
                }
            }
            session_.feedAudio(pin, std::move(signal), state);
        } else if (v == "advance") {
            session_.advance(*parseInteger(a[0].text));
        } else if (v == "gone") {
            needStarted(s);
            session_.inputGone(a.empty() ? 0 : static_cast<HostWord>(*parseInteger(a[0].text)));
        } else if (v == "paint") {
            session_.paint();
        } else if (v == "png") {
            if (!session_.painted()) bad(s, "nothing painted yet");
            if (!writePng(a[0].text, session_.lastImage())) bad(s, "cannot write '" + a[0].text + "'");
        }
        session_.settle();
    }

    void fail(const Step& s, const std::string& message) { failures_.push_back(at(s) + message); }
    std::vector<std::string>& failures() { return failures_; }

private:
    void needStarted(const Step& s) {
        if (!session_.started()) bad(s, "'" + s.verb + "' needs a started session (start first)");
    }

    Pin& pinArg(const Step& s, const Token& t) {
        Pin* pin = session_.findPin(t.text);
        if (pin == nullptr) {
            std::string known;
            for (const Pin& p : session_.pins()) known += (known.empty() ? "" : ", ") + quoteText(p.name);
            bad(s, "no pin " + quoteText(t.text) + (known.empty() ? " (the module has no pins)" : " (pins: " + known + ")"));
        }
        return *pin;
    }

    PinValue valueFor(const Step& s, const Pin& pin, const Token& t) {
        PinValue v;
        auto wrong = [&](const char* what) {
            bad(s, "'" + t.text + "' is not " + what + " for pin " + quoteText(pin.name));
        };
        switch (pin.dataType) {
        case DataText: v.text = t.text; break;
        case DataFloat: {
            auto f = parseFloat(t.text);
            if (!f) wrong("a float");
            v.bits = std::bit_cast<std::int32_t>(*f);
            break;
        }
        case DataBool:
            if (t.text == "true" || t.text == "TRUE") v.bits = 1;
            else if (t.text == "false" || t.text == "FALSE") v.bits = 0;
            else if (auto i = parseInteger(t.text); i && *i >= -0x80000000ll && *i <= 0xFFFFFFFFll)
                v.bits = static_cast<std::int32_t>(static_cast<std::uint32_t>(*i));
            else wrong("a boolean");
            break;
        default: {
            auto i = parseInteger(t.text);
            if (!i || *i < -0x80000000ll || *i > 0xFFFFFFFFll) wrong("a 32-bit integer");
            if (pin.dataType == DataList && pin.dsp >= 0 && (*i < -32768 || *i > 32767))
                wrong("a 16-bit list value");
            v.bits = static_cast<std::int32_t>(static_cast<std::uint32_t>(*i));
        }
        }
        return v;
    }

    std::size_t windowStart(const Step& s) {
        auto it = s.options.find("since");
        if (it == s.options.end()) return window_;
        auto m = marks_.find(it->second.text);
        if (m == marks_.end()) bad(s, "no mark '" + it->second.text + "'");
        return m->second;
    }

    void expect(const Step& s) {
        const auto& a = s.args;
        const std::string& what = a[0].text;
        if (what == "text") {
            if (!session_.painted()) return fail(s, "expected text " + quoteText(a[1].text) + " but nothing was painted yet");
            if (session_.shownText() != a[1].text)
                fail(s, "expected text " + quoteText(a[1].text) + " but the panel shows " + quoteText(session_.shownText()));
        } else if (what == "draw") {
            if (!session_.painted()) return fail(s, "expected a drawing call but nothing was painted yet");
            std::string all;
            for (const DrawOp& op : session_.lastDraw()) {
                std::string line = describeOp(op, session_.hostFont());
                if (line.find(a[1].text) != std::string::npos) return;
                all += "\n    " + line;
            }
            fail(s, "no drawing call of the last paint contains " + quoteText(a[1].text) + "; it drew:" +
                        (all.empty() ? " nothing" : all));
        } else if (what == "no" && a[1].text == "draw") {
            if (!session_.painted()) return fail(s, "nothing was painted yet");
            for (const DrawOp& op : session_.lastDraw()) {
                std::string line = describeOp(op, session_.hostFont());
                if (line.find(a[2].text) != std::string::npos)
                    return fail(s, "the last paint drew " + line + ", which contains " + quoteText(a[2].text));
            }
        } else if (what == "repaints") {
            std::size_t from = windowStart(s);
            auto want = *parseInteger(a[1].text);
            std::int64_t n = 0;
            const auto& rs = session_.requests();
            for (std::size_t i = from; i < rs.size(); ++i) n += rs[i].half == Half::Panel && rs[i].op == PanelReqRepaint;
            if (n != want)
                fail(s, "expected " + std::to_string(want) + " repaint request(s), got " + std::to_string(n));
        } else if (what == "notes") {
            auto want = *parseInteger(a[1].text);
            auto n = static_cast<std::int64_t>(session_.notes().size());
            if (n != want) {
                std::string list;
                for (const std::string& note : session_.notes()) list += "\n    " + note;
                fail(s, "expected " + std::to_string(want) + " host note(s), got " + std::to_string(n) + list);
            }
        } else if (what == "pin") {
            Pin& pin = pinArg(s, a[1]);
            Half side = pin.dsp >= 0 && session_.hasDsp() ? Half::Dsp : Half::Panel;
            if (auto it = s.options.find("side"); it != s.options.end())
                side = it->second.text == "dsp" ? Half::Dsp : Half::Panel;
            if (side == Half::Dsp && pin.dsp < 0) bad(s, quoteText(pin.name) + " is not a DSP pin");
            if (side == Half::Panel && pin.panel < 0) bad(s, quoteText(pin.name) + " is not a panel pin");
            PinValue want = valueFor(s, pin, a[2]);
            PinValue got = session_.readPin(pin, side);
            bool same = pin.dataType == DataText ? got.text == want.text : got.bits == want.bits;
            if (side == Half::Dsp && pin.dataType == DataBool) same = (got.bits & 0xFF) == (want.bits & 0xFF);
            if (side == Half::Dsp && pin.dataType == DataList)
                same = static_cast<std::int16_t>(got.bits) == static_cast<std::int16_t>(want.bits);
            if (!same)
                fail(s, "expected pin " + quoteText(pin.name) + " = " + pinValueText(pin, want) + " but it holds " +
                            pinValueText(pin, got));
        } else if (what == "choices") {
            Pin& pin = pinArg(s, a[1]);
            std::string got = wideToAnsiText(pin.choices);
            if (got != a[2].text)
                fail(s, "expected the list choices of " + quoteText(pin.name) + " to be " + quoteText(a[2].text) +
                            " but they are " + quoteText(got));
        } else {
            expectRequest(s, what == "no");
        }
    }

    void expectRequest(const Step& s, bool none) {
        const auto& a = s.args;
        std::size_t first = none ? 2 : 1;
        Half half;
        std::int32_t op;
        if (a[first].text == "dsp" || a[first].text == "panel") {
            half = a[first].text == "dsp" ? Half::Dsp : Half::Panel;
            auto name = requestNames().find(a[first + 1].text);
            op = name != requestNames().end() ? name->second.second : static_cast<std::int32_t>(*parseInteger(a[first + 1].text));
        } else {
            auto name = requestNames().at(a[first].text);
            half = name.first;
            op = name.second;
        }
        auto num = [&](const char* key) -> std::optional<std::int64_t> {
            auto it = s.options.find(key);
            if (it == s.options.end()) return std::nullopt;
            return parseInteger(it->second.text);
        };
        auto index = num("index"), value = num("value"), time = num("time"), count = num("count");
        auto ptr = num("ptr");
        if (!ptr) ptr = num("clock");
        std::optional<float> opt;
        if (auto it = s.options.find("opt"); it != s.options.end()) opt = parseFloat(it->second.text);
        std::optional<std::string> text;
        if (auto it = s.options.find("text"); it != s.options.end()) text = it->second.text;

        std::size_t from = windowStart(s);
        const auto& rs = session_.requests();
        std::int64_t matches = 0, sameOp = 0;
        std::string seen;
        for (std::size_t i = from; i < rs.size(); ++i) {
            const Request& r = rs[i];
            if (r.half != half || r.op != op) continue;
            ++sameOp;
            if (seen.size() < 600) {
                seen += "\n    index=" + std::to_string(r.index);
                if (!(r.half == Half::Panel && r.op == PanelReqFont)) seen += " value=" + std::to_string(r.value);
                if (r.op == DspReqPinState && r.half == Half::Dsp) seen += " clock=" + std::to_string(r.ptr);
                if (r.op == DspReqScheduleCall && r.half == Half::Dsp) seen += " time=" + std::to_string(r.eventTime);
                if (r.opt != 0) seen += " opt=" + floatString(r.opt);
                if (r.text) seen += " text=" + quoteText(*r.text);
            }
            if (index && r.index != *index) continue;
            if (value && r.value != *value) continue;
            if (ptr && r.ptr != *ptr) continue;
            if (time && r.eventTime != *time) continue;
            if (opt && std::bit_cast<std::uint32_t>(r.opt) != std::bit_cast<std::uint32_t>(*opt) &&
                !(r.opt == 0 && *opt == 0))
                continue;
            if (text && r.text != *text) continue;
            ++matches;
        }
        std::string name = std::string(half == Half::Dsp ? "dsp" : "panel") + " request " + std::to_string(op);
        for (const auto& [word, id] : requestNames())
            if (id.first == half && id.second == op) name += " (" + word + ")";
        std::string since = s.options.count("since") ? " since mark '" + s.options.at("since").text + "'"
                                                     : " in the last step";
        if (none) {
            if (matches != 0)
                fail(s, "expected no matching " + name + since + ", got " + std::to_string(matches) + ":" + seen);
        } else if (count) {
            if (matches != *count)
                fail(s, "expected " + std::to_string(*count) + " matching " + name + since + ", got " +
                            std::to_string(matches) + (sameOp ? ":" + seen : ""));
        } else if (matches == 0) {
            fail(s, "expected a matching " + name + since + ", got none" +
                        (sameOp ? " (" + std::to_string(sameOp) + " with other arguments:" + seen + ")" : ""));
        }
    }

    const RunOptions& options_;
    const Script& script_;
    Session session_;
    std::size_t window_ = 0;
    std::map<std::string, std::size_t> marks_;
    std::vector<std::string> failures_;
};

} // namespace

RunResult ScenarioRunner::run(const Script& script) {
    RunResult result;
    Trace trace(options_.trace);
    if (trace.on()) {
        const ModuleInfo& m = library_.info();
        trace.line("lib  ", "-> getModuleProperties(0) = 1 (at load) name=" + quoteText(m.name) + " version=" +
                                std::to_string(m.interfaceVersion) + " flags=" +
                                hexString(static_cast<std::uint32_t>(m.flags)));
    }
    Run run(library_, options_, script, trace);
    Session& session = run.session();
    std::string lastShown;
    bool shownOnce = false;
    std::size_t notesSeen = 0;
    auto report = [&](const Step& s) {
        if (options_.changes == nullptr) return;
        for (; notesSeen < session.notes().size(); ++notesSeen)
            *options_.changes << at(s) << "note: " << session.notes()[notesSeen] << '\n';
        if (session.painted() && (!shownOnce || session.shownText() != lastShown)) {
            *options_.changes << at(s) << "@" << session.clock() << " " << quoteText(session.shownText()) << '\n';
            lastShown = session.shownText();
            shownOnce = true;
        }
    };
    for (const Step& s : script.steps) {
        try {
            run.step(s);
        } catch (const ScriptError& e) {
            run.failures().push_back(e.what());
            break;
        } catch (const SessionError& e) {
            run.fail(s, e.what());
            break;
        }
        if (!s.isExpectation()) {
            report(s);
            if (afterStep) afterStep(s, session);
        }
    }
    result.shown = session.shownText();
    if (!options_.png.empty() && session.painted() && !writePng(options_.png, session.lastImage()))
        run.failures().push_back(options_.png + ": cannot write the picture");
    session.closeAll();
    result.failures = run.failures();
    result.passed = result.failures.empty();
    return result;
}

} // namespace qem::host
