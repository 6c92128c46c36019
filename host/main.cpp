// qemhost: the reference host of the QEM Show deliverables.
//
//   qemhost info FILE
//   qemhost run FILE [SCRIPT...] [-e 'STEP; STEP'] [--trace] [--png OUT] [--background COLOUR] [--width N]
//   qemhost run FILE --midi FILE.mid [--running-mode N] [--trace] [--png OUT] ...
//   qemhost run FILE --audio SOUNDFILE [--channel N] [--trace] [--png OUT] ...
//   qemhost check FILE SCRIPT... [--timeout S] [--background COLOUR] [--width N]
//   qemhost demo [DIR] [--out DIR] [--gallery PNG] [--timeout S] [--background COLOUR] [--width N]
//   qemhost --version
//
// check and demo do their work in child processes (host/child.h).
//
// Exit status: 0 success, 1 a scenario failed or a script is bad, 2 a file
// could not be loaded as a deliverable, 64 a bad command line.
#include "host/child.h"
#include "host/demo.h"
#include "host/library.h"
#include "host/midi_file.h"
#include "host/scenario.h"
#include "host/session.h"
#include "host/sound_file.h"
#include "host/text.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <iomanip>
#include <optional>
#include <filesystem>
#include <iostream>
#include <sstream>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

using namespace qem;
using namespace qem::host;

constexpr int kExitFailed = 1;
constexpr int kExitLoad = 2;
constexpr int kExitUsage = 64;

std::string flagsText(std::int32_t flags) {
    return hexString(static_cast<std::uint32_t>(flags));
}

// The version the about text's title line gives ("<name> - v<version>").
std::string moduleVersion(const ModuleInfo& m) {
    std::string title = m.about.substr(0, m.about.find('\n'));
    std::string lead = m.name + " - v";
    if (title.compare(0, lead.size(), lead) == 0 && title.size() > lead.size()) return title.substr(lead.size());
    return "(the about text's title line gives none)";
}

int info(const std::string& file) {
    std::unique_ptr<Library> lib = Library::load(file);
    const ModuleInfo& m = lib->info();
    Trace quiet;
    SessionOptions options;
    options.autoPaint = false;
    Session session(*lib, quiet, options);
    session.create(true, true);
    session.start(false); // a panel-only module registers its pins at start

    bool described = false;
    for (const Pin& p : session.pins()) described = described || p.described >= 0;
    std::cout << "File:        " << file << '\n'
              << "Name:        " << quoteText(m.name) << '\n'
              << "Identifier:  " << quoteText(m.identifier) << (m.identifier == m.name ? " (same as the name)" : "") << '\n'
              << "Version:     " << moduleVersion(m) << '\n'
              << "Interface:   " << m.interfaceVersion
              << (m.interfaceVersion == kInterfaceVersion ? "" : " (this host speaks 2230)") << '\n'
              << "Flags:       " << flagsText(m.flags) << '\n'
              << "Halves:      "
              << (described ? "DSP and panel" : "panel only (the DSP half describes no pins)") << '\n'
              << "About:\n";
    std::istringstream about(m.about);
    for (std::string line; std::getline(about, line);) std::cout << "  | " << line << '\n';
    std::cout << "Pins" << (described ? "" : " (registered by the panel at start)") << ":\n";
    std::printf("  %-4s %-4s %-6s %-20s %-8s %-6s %-9s %s\n", "pin", "dsp", "panel", "name", "dir", "type", "flags",
                "default / choices");
    std::cout.flush();
    for (const Pin& p : session.pins()) {
        auto idx = [](int i) { return i >= 0 ? std::to_string(i) : std::string("-"); };
        std::string extra;
        if (p.defaultText) extra += "default " + quoteText(*p.defaultText);
        if (p.listChoices) extra += (extra.empty() ? "" : ", ") + std::string("choices ") + quoteText(*p.listChoices);
        std::printf("  %-4s %-4s %-6s %-20s %-8s %-6s %-9s %s\n", idx(p.described).c_str(), idx(p.dsp).c_str(),
                    idx(p.panel).c_str(), quoteText(p.name).c_str(), directionName(p.direction), dataTypeName(p.dataType),
                    p.described >= 0 ? hexString(static_cast<std::uint32_t>(p.flags), 5).c_str() : "-",
                    extra.c_str());
    }
    std::fflush(stdout);
    for (const std::string& n : session.notes()) std::cout << "note: " << n << '\n';
    return 0;
}

// OUT for one script of several: "x.png" becomes "x-<script>.png".
std::string pngFor(const std::string& out, const std::string& script, bool several) {
    if (!several || out.empty()) return out;
    std::filesystem::path p(out);
    std::string stem = std::filesystem::path(script).stem().string();
    return (p.parent_path() / (p.stem().string() + "-" + stem + p.extension().string())).string();
}

// Runs scenario files (and inline steps), each in a fresh session. A script
// that does not parse fails alone; the others still run. Scripts are read
// before the module is loaded: when none parses, no module code runs.
// `first`: a child of check (see child.h) does the files from that one on
// and ends each with itemDoneLine; -1 for a run in this process.
int run(const std::string& file, const std::vector<std::string>& scripts, const std::string& inlineSteps,
        const ScriptDefines& defines, bool trace, const std::string& png, SessionOptions options, bool quiet,
        int first = -1) {
    struct Item {
        std::string name;
        std::optional<Script> script;
        std::string error; // when it does not parse
    };
    std::vector<Item> items;
    for (std::size_t i = first > 0 ? static_cast<std::size_t>(first) : 0; i < scripts.size(); ++i) {
        Item item{scripts[i], std::nullopt, {}};
        try {
            item.script = loadScript(scripts[i], defines);
        } catch (const ScriptError& e) {
            item.error = e.what();
        }
        items.push_back(std::move(item));
    }
    if (!inlineSteps.empty()) {
        Item item{"-e", std::nullopt, {}};
        try {
            item.script = parseInline(inlineSteps, defines);
        } catch (const ScriptError& e) {
            item.error = e.what();
        }
        items.push_back(std::move(item));
    }
    if (items.empty() && first < 0) items.push_back({"-e", parseInline("start"), {}});

    std::unique_ptr<Library> lib;
    int failed = 0;
    const bool several = items.size() > 1;
    for (const Item& item : items) {
        bool passed = false;
        if (!item.script) {
            std::cout.flush();
            std::cerr << item.error << '\n';
            std::cerr.flush();
        } else {
            if (!lib) lib = Library::load(file);
            RunOptions ro;
            ro.session = options;
            ro.trace = trace ? &std::cout : nullptr;
            ro.changes = quiet ? nullptr : &std::cout;
            ro.png = pngFor(png, item.script->name, several);
            ScenarioRunner runner(*lib, ro);
            RunResult result = runner.run(*item.script);
            for (const std::string& f : result.failures) std::cout << f << '\n';
            passed = result.passed;
        }
        if (!passed) ++failed;
        if (quiet) std::cout << (passed ? "PASS " : "FAIL ") << item.name << '\n';
        if (first >= 0) std::cout << itemDoneLine(passed ? 0 : 1) << '\n';
        std::cout.flush();
    }
    if (first < 0 && (several || quiet))
        std::cout << items.size() << " scenario(s), " << items.size() - failed << " passed, " << failed << " failed\n";
    return failed == 0 ? 0 : kExitFailed;
}

// check: the scenario files run in child processes (child.h), so a module
// that crashes or hangs in one fails that file alone.
int check(const std::string& file, const std::vector<std::string>& scripts, const std::vector<std::string>& defines,
          const std::string& background, int width, double timeout) {
    int failed = 0, passed = 0;
    bool unloadable = false;
    ChildItemHandlers h;
    h.line = [](int, const std::string& line) { std::cout << line << '\n' << std::flush; };
    h.done = [&](int, int status) { ++(status == 0 ? passed : failed); };
    h.failed = [&](int item, const ChildEnd& end) {
        if (end.kind == ChildEnd::Kind::Exited && end.code == kExitLoad) {
            unloadable = true; // the child said why on stderr; every file would fail the same way
            return false;
        }
        ++failed;
        std::cout << scripts[static_cast<std::size_t>(item)] << ": the scenario's process ended: " << end.describe()
                  << '\n'
                  << "FAIL " << scripts[static_cast<std::size_t>(item)] << '\n'
                  << std::flush;
        return true;
    };
    runItemsInChildren(
        static_cast<int>(scripts.size()),
        [&](int first) {
            std::vector<std::string> args = {"check", file};
            args.insert(args.end(), scripts.begin(), scripts.end());
            for (const std::string& d : defines) {
                args.push_back("--define");
                args.push_back(d);
            }
            for (std::string a : std::vector<std::string>{"--background", background, "--width",
                                                          std::to_string(width), "--child", std::to_string(first)})
                args.push_back(a);
            return args;
        },
        timeout, h);
    if (unloadable) return kExitLoad;
    std::cout << scripts.size() << " scenario(s), " << passed << " passed, " << failed << " failed\n";
    return failed == 0 ? 0 : kExitFailed;
}

// Plays a Standard MIDI File into the module at the file's tempo on the
// sample clock and prints every change of the shown text with its time, as
// a terminal MIDI monitor does. Messages at one instant are delivered
// together, so the panel shows the last of them.
int playMidi(const std::string& file, const std::string& midiPath, std::optional<int> runningMode, bool trace,
             const std::string& png, SessionOptions options) {
    MidiFile song;
    try {
        song = readMidiFile(platformPath(midiPath));
    } catch (const MidiFileError& e) {
        std::cerr << "qemhost: " << e.what() << '\n';
        return kExitLoad;
    }
    std::unique_ptr<Library> lib = Library::load(file);
    Trace tracer(trace ? &std::cout : nullptr);
    Session session(*lib, tracer, options);
    session.start(false);
    if (runningMode) {
        Pin* mode = session.findPin("Running Mode");
        if (mode == nullptr) {
            std::cerr << "qemhost: " << file << ": --running-mode needs a \"Running Mode\" pin, which it has not\n";
            return kExitUsage;
        }
        session.setValue(*mode, PinValue{*runningMode, {}}, StateChanged);
    }
    const MidiSchedule schedule = scheduleMidiFile(song, session.options().sampleRate, session.clock());
    for (const TimedMidiMessage& m : schedule.messages) session.sendMidi(m.sample, m.message);

    std::string shown = session.shownText();
    auto print = [&] {
        double seconds = static_cast<double>(session.clock()) / session.options().sampleRate;
        std::cout << std::fixed << std::setprecision(6) << std::setw(12) << seconds << " s  @" << session.clock()
                  << "  " << quoteText(shown) << '\n';
    };
    print();
    for (const TimedMidiMessage& m : schedule.messages) {
        if (m.sample > session.clock() || m.sample == 0) session.advanceTo(m.sample);
        session.forgetRequestsBefore(session.requests().size()); // nothing here looks back at them
        if (session.shownText() != shown) {
            shown = session.shownText();
            print();
        }
    }
    session.advanceTo(std::max<std::int64_t>(schedule.endSample, session.clock()));
    std::cout << schedule.messages.size() << " message(s) played in "
              << static_cast<double>(session.clock()) / session.options().sampleRate << " s\n";
    if (!png.empty() && session.painted() && !writePng(png, session.lastImage())) {
        std::cerr << "qemhost: " << png << ": cannot write the picture\n";
        return kExitFailed;
    }
    return 0;
}

// Plays one channel of a sound file into the module's audio input, streaming
// from sample 0 at the file's sample rate, and prints every report the
// module hands its panel with its time. Where the file ends the input falls
// silent and static (0 from that sample on, with a static pin state), as a
// player that stops; the clock runs on until the module has settled (made
// the idle request with nothing queued), at most one second more.
int playAudio(const std::string& file, const std::string& soundPath, int channel, bool trace,
              const std::string& png, SessionOptions options) {
    SoundChannel sound;
    try {
        sound = readSoundChannel(platformPath(soundPath), channel);
    } catch (const SoundFileError& e) {
        std::cerr << "qemhost: " << SoundFileError(e.offset(), e.reason(), soundPath).what() << '\n';
        return kExitLoad;
    }
    std::unique_ptr<Library> lib = Library::load(file);
    Trace tracer(trace ? &std::cout : nullptr);
    options.sampleRate = static_cast<float>(sound.sampleRate);
    Session session(*lib, tracer, options);
    int reports = 0;
    session.setReportListener([&] {
        ++reports;
        double seconds = static_cast<double>(session.clock()) / sound.sampleRate;
        std::cout << std::fixed << std::setprecision(6) << std::setw(12) << seconds << " s  @" << session.clock()
                  << "  " << quoteText(session.shownText()) << '\n';
    });
    session.start(false);
    Pin* input = nullptr;
    for (const Pin& p : session.pins())
        if (input == nullptr && p.dsp >= 0 && p.dataType == DataAudio && p.direction == DirIn)
            input = session.findPin("dsp#" + std::to_string(p.dsp));
    if (input == nullptr) {
        std::cerr << "qemhost: " << file << ": --audio needs an audio input pin, which it has not\n";
        return kExitUsage;
    }
    const auto frames = static_cast<std::int64_t>(sound.samples.size());
    const std::string what = "sound " + quoteText(soundPath) + " channel " + std::to_string(channel);
    session.feedAudio(*input, Signal::samples(std::move(sound.samples), what), StateStreaming);
    // A second at a time, letting go of the requests behind: nothing here
    // looks back at them, and a long file would otherwise keep them all.
    for (std::int64_t at = 0; at < frames;) {
        at = std::min(frames, at + static_cast<std::int64_t>(sound.sampleRate));
        session.advanceTo(at);
        session.forgetRequestsBefore(session.requests().size());
    }
    session.feedAudio(*input, Signal::constant(0.0f), StateStatic); // the file is over
    const auto tail = frames + static_cast<std::int64_t>(sound.sampleRate);
    const std::int64_t block = session.options().blockSize;
    while (!session.dspAtRest() && session.clock() < tail) // to block ends, as a host's blocks run
        session.advanceTo(std::min(tail, (session.clock() / block + 1) * block));

    std::cout << frames << " frame(s) of channel " << channel << " of " << sound.channels << " (" << sound.encoding
              << ", " << std::defaultfloat << sound.sampleRate << " Hz) played in " << std::fixed
              << static_cast<double>(frames) / sound.sampleRate
              << " s; " << reports << " report(s); "
              << (session.dspAtRest() ? "the module settled by " : "the module had not settled by ")
              << static_cast<double>(session.clock()) / sound.sampleRate << " s\n";
    if (!png.empty() && session.painted() && !writePng(png, session.lastImage())) {
        std::cerr << "qemhost: " << png << ": cannot write the picture\n";
        return kExitFailed;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY); // the same bytes as the native build
#endif
    CLI::App app{"qemhost: the reference host of the QEM Show monitor plug-ins.\n"
                 "Loads a deliverable (.sep/.sem), drives it through its two exports, traces every call,\n"
                 "and pictures its panel. Exit status: 0 ok, 1 a scenario failed, 2 a file could not be\n"
                 "loaded, 64 a bad command line."};
    app.require_subcommand(1);
    // Options start with '-' in both builds: under Windows CLI11 would also
    // take "/work/x.sep" for an option, and Wine passes Unix paths as they are.
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", std::string("qemhost ") + QEM_SHOW_VERSION + " (QEM Show)");
    const std::string scenarioHelp =
        "Scenarios: one step per line (start, set PIN VALUE, midi ..., advance N, expect text \"T\", ...);\n"
        "the language is described in host/README.md, section \"Scenarios\".";

    std::string file, dir = "dist", out = "build/demo", png, inlineSteps, background = "none";
    std::vector<std::string> scripts;
    bool trace = false;
    int width = 100;
    std::string midiPath;
    std::optional<int> runningMode;
    std::string audioPath;
    int channel = 1;
    std::string gallery;
    double timeout = 60;
    int child = -1;
    std::vector<std::string> defineArgs;

    auto addLook = [&](CLI::App* cmd) {
        cmd->add_option("--background", background,
                        "Background band colour the font request reports: #RRGGBB, 0x00BBGGRR, or none")
            ->capture_default_str();
        cmd->add_option("--width", width, "Panel width in pixels passed with the paint")
            ->check(CLI::Range(0, 4096))
            ->capture_default_str();
    };

    auto addChild = [&](CLI::App* cmd) {
        cmd->add_option("--timeout", timeout, "Seconds one scenario (demo: one deliverable) may take")
            ->check(CLI::Range(0.1, 86400.0))
            ->capture_default_str();
        cmd->add_option("--child", child, "Internal: a child process doing the items from this one on")
            ->group("");
    };

    CLI::App* infoCmd = app.add_subcommand("info", "Show a deliverable's description, halves and pin table");
    infoCmd->add_option("FILE", file, "The deliverable (.sep or .sem)")->required();

    CLI::App* runCmd = app.add_subcommand(
        "run", "Run scenarios (each in a fresh module instance) and print every change of the shown text");
    runCmd->add_option("FILE", file, "The deliverable (.sep or .sem)")->required();
    runCmd->add_option("SCRIPT", scripts, "Scenario files; none and no -e: just start and paint");
    runCmd->add_option("-e,--steps", inlineSteps, "Steps given inline, parted by ';', e.g. 'start; set Float 1'");
    runCmd->add_flag("--trace", trace, "Print every call into the module and every request out of it");
    runCmd->add_option("--png", png, "Save the last paint as a PNG (several scripts: OUT-<script>.png)");
    CLI::Option* midiOpt =
        runCmd->add_option("--midi", midiPath, "Play a Standard MIDI File (format 0 or 1) into the module instead")
            ->excludes("SCRIPT")
            ->excludes("--steps");
    runCmd->add_option("--running-mode", runningMode, "With --midi: the \"Running Mode\" setting (0, 1, 2, ...)")
        ->needs(midiOpt)
        ->check(CLI::Range(-32768, 32767));
    CLI::Option* audioOpt =
        runCmd
            ->add_option("--audio", audioPath,
                         std::string("Play one channel of a sound file into the module's audio input instead: streaming "
                                     "from sample 0 at the file's sample rate, static (0) from its end on; print "
                                     "every report with its time, and a summary once the module has settled. "
                                     "Reads with ") +
                             soundReaderName())
            ->excludes("SCRIPT")
            ->excludes("--steps")
            ->excludes(midiOpt);
    runCmd->add_option("--channel", channel, "With --audio: the channel to play, counted from 1")
        ->needs(audioOpt)
        ->capture_default_str();
    const char* defineHelp = "A value for ${NAME} in the scenarios (NAME=VALUE; may be given again)";
    runCmd->add_option("-D,--define", defineArgs, defineHelp);
    addLook(runCmd);
    runCmd->footer(scenarioHelp);

    CLI::App* checkCmd = app.add_subcommand(
        "check", "Run scenarios quietly: one PASS/FAIL line each, failures with file:line (for CTest)");
    checkCmd->add_option("FILE", file, "The deliverable (.sep or .sem)")->required();
    checkCmd->add_option("SCRIPT", scripts, "Scenario files")->required();
    checkCmd->add_option("-D,--define", defineArgs, defineHelp);
    addLook(checkCmd);
    addChild(checkCmd);
    checkCmd->footer("Each scenario runs in a child process: one that crashes or hangs fails alone.\n" + scenarioHelp);

    CLI::App* demoCmd = app.add_subcommand(
        "demo", "Run a short built-in scenario for every deliverable in DIR; print one table, save the pictures");
    demoCmd->add_option("DIR", dir, "Folder of deliverables")->capture_default_str();
    demoCmd->add_option("--out", out, "Folder for the pictures")->capture_default_str();
    demoCmd->add_option("--gallery", gallery, "Also write one PNG of every panel after its steps, a contact sheet");
    addLook(demoCmd);
    addChild(demoCmd);
    demoCmd->footer("Each deliverable runs in a child process: one that crashes or hangs gives one failed row.\n" +
                    scenarioHelp);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int code = app.exit(e);
        return code == 0 ? 0 : kExitUsage;
    }

    SessionOptions options;
    options.width = width;
    auto colour = parseColour(background);
    if (!colour) {
        std::cerr << "qemhost: --background " << background << ": not a colour (#RRGGBB, 0x00BBGGRR or none)\n";
        return kExitUsage;
    }
    options.background = *colour;
    ScriptDefines defines;
    for (const std::string& d : defineArgs) {
        if (!addDefine(d, defines)) {
            std::cerr << "qemhost: --define " << d << ": not NAME=VALUE\n";
            return kExitUsage;
        }
    }

    try {
        if (*infoCmd) return info(file);
        if (*runCmd && !midiPath.empty()) return playMidi(file, midiPath, runningMode, trace, png, options);
        if (*runCmd && !audioPath.empty()) return playAudio(file, audioPath, channel, trace, png, options);
        if (*runCmd) return run(file, scripts, inlineSteps, defines, trace, png, options, false);
        if (*checkCmd && child >= 0) {
            becomeChild();
            return run(file, scripts, "", defines, false, "", options, true, child);
        }
        if (*checkCmd) return check(file, scripts, defineArgs, background, width, timeout);
        if (*demoCmd) {
            DemoOptions d;
            d.dir = dir;
            d.out = out;
            d.gallery = gallery;
            d.width = width;
            d.background = options.background;
            d.backgroundText = background;
            d.timeout = timeout;
            if (child >= 0) {
                becomeChild();
                return runDemoChild(d, child, std::cout);
            }
            return runDemo(d, std::cout, std::cerr);
        }
    } catch (const LoadError& e) {
        std::cout.flush();
        if (child >= 0) std::cerr.flush();
        std::cerr << "qemhost: " << e.what() << '\n';
        return kExitLoad;
    } catch (const std::exception& e) {
        std::cout.flush();
        std::cerr << "qemhost: " << e.what() << '\n';
        return kExitFailed;
    }
    return 0;
}
