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

// --- running ------------------------------------------------------------

// One scenario run: a session and what the expectations look at.
class Run {
public:
    Run(const Library& lib, const RunOptions& options, const Script& script, Trace& trace)
        : options_(options), script_(script), session_(lib, trace, options.session) {}

    Session& session() { return session_; }

    // Carries out one step; a step that cannot be carried out throws
    // ScriptError or SessionError, a failed expectation is noted.
    void step(const Step& s);

    void fail(const Step& s, const std::string& message) { failures_.push_back(at(s) + message); }
    std::vector<std::string>& failures() { return failures_; }

    // The table of steps and the table of expectations (below).
    struct Verb;
    struct Expectation;
    static const std::vector<Verb>& verbs();
    static const std::vector<Expectation>& expectations();

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

    void expectRequest(const Step& s, bool none) {
        const auto& a = s.args;
        std::size_t first = none ? 2 : 1;
        Half half;
        std::int32_t op;
        if (a[first].text == "dsp" || a[first].text == "panel") {
            half = a[first].text == "dsp" ? Half::Dsp : Half::Panel;
            const RequestKind* name = findRequest(a[first + 1].text);
            op = name != nullptr ? name->op : static_cast<std::int32_t>(*parseInteger(a[first + 1].text));
        } else {
            const RequestKind* name = findRequest(a[first].text);
            half = name->half;
            op = name->op;
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
        if (const RequestKind* kind = findRequest(half, op)) name += " (" + std::string(kind->name) + ")";
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

// A step of the language: the one place that says what it takes, how it is
// checked when the script is read, and what it does. A new step is a new row.
struct Run::Verb {
    const char* name;
    std::size_t minArgs, maxArgs;          // positional arguments
    std::set<std::string> options;         // key= options it takes
    void (*check)(const Step& s);          // when the script is read; the shape is checked before
    void (*action)(Run& run, const Step& s); // when it runs
    bool looks = false;                    // an expectation or a mark: looks, does not act
};

// An expectation ("expect WHAT ..."), the same way: its name ("no draw" for
// "expect no draw"), its check and what it compares.
struct Run::Expectation {
    const char* name;
    void (*check)(const Step& s, const std::string& what, std::size_t n);
    void (*action)(Run& run, const Step& s);
};

// Which row of the expectation table a step names: "expect no X" is "no X".
std::string expectationName(const Step& s) {
    const auto& a = s.args;
    return a[0].text == "no" && a.size() > 1 ? "no " + a[1].text : a[0].text;
}

void oneOf(const Step& s, const Token& t, std::initializer_list<const char*> words) {
    for (const char* w : words)
        if (t.text == w) return;
    std::string list;
    for (const char* w : words) list += std::string(list.empty() ? "" : ", ") + w;
    bad(s, "'" + t.text + "' is not one of " + list);
}

const std::vector<Run::Verb>& Run::verbs() {
    auto none = [](const Step&) {};
    static const std::vector<Verb> table = {
        {"create", 1, 1, {}, [](const Step& s) { oneOf(s, s.args[0], {"both", "dsp", "panel"}); },
         [](Run& r, const Step& s) { r.session_.create(s.args[0].text != "panel", s.args[0].text != "dsp"); }},
        {"rate", 1, 1, {},
         [](const Step& s) {
             double rate = numberArg(s, s.args[0], "a sample rate");
             if (!(rate > 0)) bad(s, "'" + s.args[0].text + "' is not above 0");
             // The module gets a 32-bit float.
             if (!std::isfinite(static_cast<float>(rate)) || !(static_cast<float>(rate) > 0))
                 bad(s, "'" + s.args[0].text + "' is not a sample rate a 32-bit float can hold");
         },
         [](Run& r, const Step& s) { r.session_.setSampleRate(static_cast<float>(*parseDouble(s.args[0].text))); }},
        {"block", 1, 1, {}, [](const Step& s) { integerArg(s, s.args[0], 1, 1 << 20, "a block size"); },
         [](Run& r, const Step& s) { r.session_.setBlockSize(static_cast<int>(*parseInteger(s.args[0].text))); }},
        {"width", 1, 1, {}, [](const Step& s) { integerArg(s, s.args[0], 0, 4096, "a width"); },
         [](Run& r, const Step& s) { r.session_.setWidth(static_cast<int>(*parseInteger(s.args[0].text))); }},
        {"background", 1, 1, {}, [](const Step& s) { colourArg(s, s.args[0]); },
         [](Run& r, const Step& s) { r.session_.setBackground(colourArg(s, s.args[0])); }},
        {"autopaint", 1, 1, {}, [](const Step& s) { oneOf(s, s.args[0], {"on", "off"}); },
         [](Run& r, const Step& s) { r.session_.setAutoPaint(s.args[0].text == "on"); }},
        {"processing", 1, 1, {}, [](const Step& s) { oneOf(s, s.args[0], {"on", "off"}); },
         [](Run& r, const Step& s) { r.session_.setProcessing(s.args[0].text == "on"); }},
        {"start", 0, 1, {},
         [](const Step& s) {
             if (!s.args.empty()) oneOf(s, s.args[0], {"fresh", "pins-exist"});
         },
         [](Run& r, const Step& s) { r.session_.start(!s.args.empty() && s.args[0].text == "pins-exist"); }},
        {"reopen", 0, 0, {}, none, [](Run& r, const Step&) { r.session_.reopenPanel(); }},
        {"close", 1, 1, {}, [](const Step& s) { oneOf(s, s.args[0], {"both", "dsp", "panel"}); },
         [](Run& r, const Step& s) {
             if (s.args[0].text != "panel") r.session_.closeDsp();
             if (s.args[0].text != "dsp") r.session_.closePanel();
         }},
        {"set", 2, 2, {"state", "at"},
         [](const Step& s) {
             stateOption(s, std::nullopt);
             delayOption(s);
         },
         [](Run& r, const Step& s) {
             r.needStarted(s);
             Pin& pin = r.pinArg(s, s.args[0]);
             r.session_.setValue(pin, r.valueFor(s, pin, s.args[1]), stateOption(s, StateChanged), delayOption(s));
         }},
        {"choices", 2, 2, {}, none,
         [](Run& r, const Step& s) {
             r.needStarted(s);
             r.session_.setChoices(r.pinArg(s, s.args[0]), s.args[1].text);
         }},
        {"midi", 1, 3, {"extra", "at"},
         [](const Step& s) {
             midiMessage(s);
             delayOption(s);
             if (auto it = s.options.find("extra"); it != s.options.end())
                 integerArg(s, it->second, -0x8000, 0xFFFF, "a 16-bit extra value");
         },
         [](Run& r, const Step& s) {
             r.needStarted(s);
             std::int16_t extra = 0;
             if (auto it = s.options.find("extra"); it != s.options.end())
                 extra = static_cast<std::int16_t>(*parseInteger(it->second.text));
             r.session_.sendMidi(r.session_.clock() + delayOption(s), midiMessage(s), extra);
         }},
        {"audio", 3, 5, {"state"},
         [](const Step& s) {
             const auto& a = s.args;
             stateOption(s, std::nullopt);
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
         },
         [](Run& r, const Step& s) {
             const auto& a = s.args;
             r.needStarted(s);
             Pin& pin = r.pinArg(s, a[0]);
             const std::string& kind = a[1].text;
             std::optional<std::int32_t> state = stateOption(s, kind == "const" ? StateChanged : StateStreaming);
             Signal signal = Signal::constant(0);
             if (kind == "const") {
                 signal = Signal::constant(*parseFloat(a[2].text));
             } else if (kind == "ramp") {
                 signal = Signal::ramp(*parseDouble(a[2].text), *parseDouble(a[3].text), *parseInteger(a[4].text));
             } else if (kind == "sine") {
                 signal = Signal::sine(*parseDouble(a[2].text), *parseDouble(a[3].text),
                                       a.size() > 4 ? *parseDouble(a[4].text) : 0.0, r.session_.options().sampleRate);
             } else {
                 std::filesystem::path path(a[2].text);
                 if (path.is_relative() && !r.script_.dir.empty()) path = std::filesystem::path(r.script_.dir) / path;
                 try {
                     signal = Signal::file(platformPath(path.string()), a.size() > 3);
                 } catch (const std::runtime_error& e) {
                     throw ScriptError(at(s) + e.what());
                 }
             }
             r.session_.feedAudio(pin, std::move(signal), state);
         }},
        {"advance", 1, 1, {}, [](const Step& s) { integerArg(s, s.args[0], 0, 0x7FFFFFFF, "a number of samples"); },
         [](Run& r, const Step& s) { r.session_.advance(*parseInteger(s.args[0].text)); }},
        {"gone", 0, 1, {},
         [](const Step& s) {
             if (!s.args.empty()) integerArg(s, s.args[0], -0x80000000ll, 0x7FFFFFFF, "a pin index");
         },
         [](Run& r, const Step& s) {
             r.needStarted(s);
             r.session_.inputGone(s.args.empty() ? 0 : static_cast<HostWord>(*parseInteger(s.args[0].text)));
         }},
        {"paint", 0, 0, {}, none, [](Run& r, const Step&) { r.session_.paint(); }},
        {"png", 1, 1, {}, none,
         [](Run& r, const Step& s) {
             if (!r.session_.painted()) bad(s, "nothing painted yet");
             if (!writePng(s.args[0].text, r.session_.lastImage())) bad(s, "cannot write '" + s.args[0].text + "'");
         }},
        {"mark", 1, 1, {}, none, [](Run& r, const Step& s) { r.marks_[s.args[0].text] = r.session_.requests().size(); },
         true},
        {"expect", 1, 6, {"index", "value", "ptr", "clock", "opt", "text", "time", "count", "since", "side"},
         [](const Step& s) {
             const std::string what = expectationName(s);
             for (const Expectation& e : expectations())
                 if (what == e.name) return e.check(s, what, s.args.size() - 1);
             bad(s, "unknown expectation '" + s.args[0].text +
                        "' (text, request, no request, repaints, pin, draw, no draw, choices, notes)");
         },
         [](Run& r, const Step& s) {
             const std::string what = expectationName(s);
             for (const Expectation& e : expectations())
                 if (what == e.name) return e.action(r, s);
         },
         true},
    };
    return table;
}

const std::vector<Run::Expectation>& Run::expectations() {
    static const auto oneText = [](const Step& s, const std::string& what, std::size_t n) {
        if (!s.options.empty()) bad(s, "unknown option '" + s.options.begin()->first + "='");
        if (n != 1) bad(s, "expect " + what + " takes one text");
    };
    static const auto count = [](const Step& s, const std::string& what, std::size_t n) {
        if (n != 1) bad(s, "expect " + what + " takes a count");
        integerArg(s, s.args[1], 0, 0x7FFFFFFF, "a count");
        for (const auto& [key, token] : s.options)
            if (key != "since") bad(s, "unknown option '" + key + "='");
    };
    static const auto request = [](const Step& s, const std::string& what, std::size_t) {
        const auto& a = s.args;
        bool none = what != "request";
        std::size_t first = none ? 2 : 1;
        std::size_t rest = a.size() - first;
        if (rest == 0) bad(s, "expect request needs a request (dsp 0, panel 10, repaint, ...)");
        const Token& t0 = a[first];
        if (t0.text == "dsp" || t0.text == "panel") {
            if (rest != 2) bad(s, "expect request " + t0.text + " needs one op number or name");
            const Token& op = a[first + 1];
            const RequestKind* name = findRequest(op.text);
            if (name == nullptr) integerArg(s, op, 0, 0x7FFFFFFF, "a request number");
            else if ((name->half == Half::Dsp) != (t0.text == "dsp"))
                bad(s, "'" + op.text + "' is not a " + t0.text + " request");
        } else {
            if (rest != 1) bad(s, "unexpected '" + a[first + 1].text + "'");
            if (findRequest(t0.text) == nullptr)
                bad(s, "'" + t0.text + "' is not a request (dsp N, panel N, or a request name)");
        }
        for (const auto& [key, token] : s.options) {
            if (key == "since" || key == "text") continue;
            if (key == "side") bad(s, "unknown option 'side='");
            if (key == "opt") {
                if (!parseFloat(token.text)) bad(s, "'" + token.text + "' is not a float");
            } else if (key == "count" && none) {
                bad(s, "'expect no request' takes no count");
            } else {
                integerArg(s, token, -0x80000000ll, 0xFFFFFFFFll, "a number");
            }
        }
    };
    static const std::vector<Expectation> table = {
        {"text", oneText,
         [](Run& r, const Step& s) {
             const auto& a = s.args;
             Session& session = r.session_;
             if (!session.painted())
                 return r.fail(s, "expected text " + quoteText(a[1].text) + " but nothing was painted yet");
             if (session.shownText() != a[1].text)
                 r.fail(s, "expected text " + quoteText(a[1].text) + " but the panel shows " + quoteText(session.shownText()));
         }},
        {"request", request, [](Run& r, const Step& s) { r.expectRequest(s, false); }},
        {"no request", request, [](Run& r, const Step& s) { r.expectRequest(s, true); }},
        {"repaints", count,
         [](Run& r, const Step& s) {
             std::size_t from = r.windowStart(s);
             auto want = *parseInteger(s.args[1].text);
             std::int64_t n = 0;
             const auto& rs = r.session_.requests();
             for (std::size_t i = from; i < rs.size(); ++i) n += rs[i].half == Half::Panel && rs[i].op == PanelReqRepaint;
             if (n != want)
                 r.fail(s, "expected " + std::to_string(want) + " repaint request(s), got " + std::to_string(n));
         }},
        {"pin",
         [](const Step& s, const std::string&, std::size_t n) {
             if (n != 2) bad(s, "expect pin takes PIN VALUE");
             for (const auto& [key, token] : s.options) {
                 if (key != "side") bad(s, "unknown option '" + key + "='");
                 if (token.text != "dsp" && token.text != "panel")
                     bad(s, "'" + token.text + "' is not one of dsp, panel");
             }
         },
         [](Run& r, const Step& s) {
             const auto& a = s.args;
             Session& session = r.session_;
             Pin& pin = r.pinArg(s, a[1]);
             Half side = pin.dsp >= 0 && session.hasDsp() ? Half::Dsp : Half::Panel;
             if (auto it = s.options.find("side"); it != s.options.end())
                 side = it->second.text == "dsp" ? Half::Dsp : Half::Panel;
             if (side == Half::Dsp && pin.dsp < 0) bad(s, quoteText(pin.name) + " is not a DSP pin");
             if (side == Half::Panel && pin.panel < 0) bad(s, quoteText(pin.name) + " is not a panel pin");
             PinValue want = r.valueFor(s, pin, a[2]);
             PinValue got = session.readPin(pin, side);
             bool same = pin.dataType == DataText ? got.text == want.text : got.bits == want.bits;
             if (side == Half::Dsp && pin.dataType == DataBool) same = (got.bits & 0xFF) == (want.bits & 0xFF);
             if (side == Half::Dsp && pin.dataType == DataList)
                 same = static_cast<std::int16_t>(got.bits) == static_cast<std::int16_t>(want.bits);
             if (!same)
                 r.fail(s, "expected pin " + quoteText(pin.name) + " = " + pinValueText(pin, want) + " but it holds " +
                               pinValueText(pin, got));
         }},
        {"draw", oneText,
         [](Run& r, const Step& s) {
             Session& session = r.session_;
             if (!session.painted()) return r.fail(s, "expected a drawing call but nothing was painted yet");
             std::string all;
             for (const DrawOp& op : session.lastDraw()) {
                 std::string line = describeOp(op, session.hostFont());
                 if (line.find(s.args[1].text) != std::string::npos) return;
                 all += "\n    " + line;
             }
             r.fail(s, "no drawing call of the last paint contains " + quoteText(s.args[1].text) + "; it drew:" +
                           (all.empty() ? " nothing" : all));
         }},
        {"no draw",
         [](const Step& s, const std::string&, std::size_t n) {
             if (!s.options.empty()) bad(s, "unknown option '" + s.options.begin()->first + "='");
             if (n != 2) bad(s, "expect no draw takes one text");
         },
         [](Run& r, const Step& s) {
             Session& session = r.session_;
             if (!session.painted()) return r.fail(s, "nothing was painted yet");
             for (const DrawOp& op : session.lastDraw()) {
                 std::string line = describeOp(op, session.hostFont());
                 if (line.find(s.args[2].text) != std::string::npos)
                     return r.fail(s, "the last paint drew " + line + ", which contains " + quoteText(s.args[2].text));
             }
         }},
        {"choices",
         [](const Step& s, const std::string&, std::size_t n) {
             if (!s.options.empty()) bad(s, "unknown option '" + s.options.begin()->first + "='");
             if (n != 2) bad(s, "expect choices takes PIN TEXT");
         },
         [](Run& r, const Step& s) {
             Pin& pin = r.pinArg(s, s.args[1]);
             std::string got = wideToAnsiText(pin.choices);
             if (got != s.args[2].text)
                 r.fail(s, "expected the list choices of " + quoteText(pin.name) + " to be " + quoteText(s.args[2].text) +
                               " but they are " + quoteText(got));
         }},
        {"notes", count,
         [](Run& r, const Step& s) {
             auto want = *parseInteger(s.args[1].text);
             auto n = static_cast<std::int64_t>(r.session_.notes().size());
             if (n != want) {
                 std::string list;
                 for (const std::string& note : r.session_.notes()) list += "\n    " + note;
                 r.fail(s, "expected " + std::to_string(want) + " host note(s), got " + std::to_string(n) + list);
             }
         }},
    };
    return table;
}

const Run::Verb* findVerb(const std::string& name) {
    for (const Run::Verb& v : Run::verbs())
        if (name == v.name) return &v;
    return nullptr;
}

void Run::step(const Step& s) {
    const Verb* verb = findVerb(s.verb);
    if (!verb->looks) window_ = session_.requests().size();
    verb->action(*this, s);
    if (!verb->looks) session_.settle();
}

void validate(const Step& s) {
    const Run::Verb* verb = findVerb(s.verb);
    if (verb == nullptr) bad(s, "unknown step '" + s.verb + "'");
    if (s.args.size() < verb->minArgs) bad(s, "'" + s.verb + "' needs more arguments");
    if (s.args.size() > verb->maxArgs) bad(s, "unexpected '" + s.args[verb->maxArgs].text + "'");
    for (const auto& [key, token] : s.options)
        if (!verb->options.count(key)) bad(s, "unknown option '" + key + "='");
    verb->check(s);
}

bool isDefineName(std::string_view name) {
    if (name.empty()) return false;
    for (char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-') return false;
    return true;
}

// The line with every ${NAME} replaced by its value.
std::string substitute(const std::string& source, const ScriptDefines& defines, const std::string& where) {
    std::string out;
    std::size_t at = 0;
    for (;;) {
        std::size_t open = source.find("${", at);
        if (open == std::string::npos) return out + source.substr(at);
        std::size_t close = source.find('}', open + 2);
        if (close == std::string::npos) throw ScriptError(where + "'${' without its '}'");
        const std::string name = source.substr(open + 2, close - open - 2);
        auto it = defines.find(name);
        if (!isDefineName(name) || it == defines.end())
            throw ScriptError(where + "no value for ${" + name + "} (give one: --define " + name + "=VALUE)");
        out += source.substr(at, open - at) + it->second;
        at = close + 1;
    }
}

Step makeStep(const std::string& file, int line, const std::string& written, const ScriptDefines& defines) {
    Step s;
    s.file = file;
    s.line = line;
    const std::string where = file + ":" + std::to_string(line) + ": ";
    const std::string source = substitute(written, defines, where);
    s.source = trim(source);
    std::vector<Token> tokens = tokenize(source, where);
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

bool addDefine(const std::string& assignment, ScriptDefines& defines) {
    std::size_t eq = assignment.find('=');
    if (eq == std::string::npos || !isDefineName(std::string_view(assignment).substr(0, eq))) return false;
    defines[assignment.substr(0, eq)] = assignment.substr(eq + 1);
    return true;
}

Script parseScript(const std::string& text, const std::string& name, const std::string& dir,
                   const ScriptDefines& defines) {
    Script script;
    script.name = name;
    script.dir = dir;
    // Editors on Windows may start a UTF-8 file with a byte order mark.
    constexpr std::string_view kBom = "\xEF\xBB\xBF";
    std::istringstream in(text.compare(0, kBom.size(), kBom) == 0 ? text.substr(kBom.size()) : text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        Step s = makeStep(name, number, line, defines);
        if (!s.verb.empty()) script.steps.push_back(std::move(s));
    }
    return script;
}

Script loadScript(const std::string& path, const ScriptDefines& defines) {
    std::error_code ec;
    if (std::filesystem::is_directory(platformPath(path), ec))
        throw ScriptError(path + ": is a folder, not a scenario");
    std::ifstream in(platformPath(path), std::ios::binary);
    if (!in) throw ScriptError(path + ": cannot open the scenario");
    std::stringstream text;
    text << in.rdbuf();
    std::string dir = std::filesystem::path(path).parent_path().string();
    return parseScript(text.str(), path, dir, defines);
}

Script parseInline(const std::string& steps, const ScriptDefines& defines) {
    Script script{"-e", ".", {}};
    std::string current;
    bool inText = false;
    int number = 0;
    auto flush = [&] {
        ++number;
        Step s = makeStep("-e", number, current, defines);
        if (!s.verb.empty()) script.steps.push_back(std::move(s));
        current.clear();
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        char c = steps[i];
        if (inText && c == '\\' && i + 1 < steps.size()) {
            // An escape inside a text: the next byte is part of it ("\\", "\"").
            current += c;
            current += steps[++i];
            continue;
        }
        if (c == '"') inText = !inText;
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
