#include "host/demo.h"

#include "host/scenario.h"
#include "host/text.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <system_error>
#include <vector>

namespace qem::host {
namespace {

// Each scenario shows the module's purpose in a few steps; the
// expectations are the module's own documented texts, so the demo is also
// a quick check of every deliverable.
const std::map<std::string, const char*>& scenarios() {
    static const std::map<std::string, const char*> table = {
        {"QEM Show MIDI", R"scn(start
expect text "No Input"
midi 90 3C 64
expect text "Ch:1|St:NoteOn|Key:60 (C4)|Vel:100"
midi B0 40 7F
expect text "Ch:1|St:CntrChange|Cntr:64 (Hold Pedal)|Value:127 (On)"
midi F8
expect text "Ch:1|St:CntrChange|Cntr:64 (Hold Pedal)|Value:127 (On)"
set "Running Mode" 0
midi F8
expect text "SYSTEM: MIDI Clock"
gone
expect text "No Input"
)scn"},
        {"QEM Show Float", R"scn(start
expect text "0."
set Float 0.1
expect text "0.1000000015"
set Float 12345.678
expect text "12345.67773"
set Float 1e10
expect text "1.e+010"
gone
expect text "0."
)scn"},
        {"QEM Show Int", R"scn(start
expect text "0"
set Int -5
expect text "-5"
set Int 2147483647
expect text "2147483647"
gone
expect text "0"
)scn"},
        {"QEM Show Bool", R"scn(start
expect text "FALSE"
set Bool 1
expect text "TRUE"
set Bool 0
expect text "FALSE"
)scn"},
        {"QEM Show Text", R"scn(start
expect text ""
set Text "Hello, patch"
expect text "Hello, patch"
set Text "a longer line than the panel is wide"
expect text "a longer line than the panel is wide"
gone
expect text ""
)scn"},
        {"QEM Show Volts", R"scn(start
audio Volts const 0.25 state=streaming
advance 2205
expect text "2.5"
audio Volts sine 441 0.5 -0.1
advance 4410
audio Volts const 1.0
advance 4410
)scn"},
        {"QEM Show List", R"scn(start
expect text "0 - Zero"
set List 3
expect text "3 - Three"
set List 20
expect text "20 - Twenty"
set List 11
expect text "11 - ???"
gone
expect text "0 - Zero"
)scn"},
        {"QEM Show GuiFloat", R"scn(start
expect text "0."
set Float 0.1
expect text "0.1000000015"
set Float 100
expect text "100."
reopen
expect text "100."
gone
expect text "0."
)scn"},
        {"QEM Show RGuiFloat", R"scn(start
expect text "0."
set Float -2.5
expect text "-2.5"
gone
expect text "0."
)scn"},
        {"QEM Show GuiInt", R"scn(start
expect text "0"
set Int -2147483648
expect text "-2147483648"
gone
expect text "0"
)scn"},
        {"QEM Show RGuiInt", R"scn(start
expect text "0"
set Int 42
expect text "42"
gone
expect text "0"
)scn"},
        {"QEM Show GuiBool", R"scn(start
expect text "FALSE"
set Bool 256
expect text "TRUE"
gone
expect text "FALSE"
)scn"},
        {"QEM Show RGuiBool", R"scn(start
expect text "FALSE"
set Bool -1
expect text "TRUE"
set Bool 0
expect text "FALSE"
)scn"},
        {"QEM Show GuiText", R"scn(start
expect text ""
set Text "Hello, panel"
expect text "Hello, panel"
gone
expect text ""
)scn"},
        {"QEM Show RGuiText", R"scn(start
expect text ""
set Text "reverse pin"
expect text "reverse pin"
gone
expect text ""
)scn"},
        {"QEM Show GuiList", R"scn(start
expect text "0 - Zero"
set List 3
expect text "3 - Three"
set "List Choices" "Ichi=1,Ni,San,Shi,Go,Ju=10"
expect text "3 - San"
set List 10
expect text "10 - Ju"
gone
expect text "0 - ???"
)scn"},
        {"QEM Show RGuiList", R"scn(start
expect text "0 - ???"
choices List "Zero=0,One,Two,Three"
set List 3
expect text "3 - Three"
gone
expect text "0 - Zero"
)scn"},
        {"QEM Test Probe", R"scn(start
expect text "probe"
set A 2
set B 3
set C 1
expect text "7."
midi 000290
advance 2
expect text "657."
reopen
expect text "probe again"
gone
expect text "gone"
)scn"},
    };
    return table;
}

std::string padded(std::string s, std::size_t width) {
    if (s.size() < width) s += std::string(width - s.size(), ' ');
    return s;
}

struct Row {
    std::string file, module, step, shows;
};

} // namespace

const char* demoScenario(const std::string& moduleName) {
    auto it = scenarios().find(moduleName);
    return it != scenarios().end() ? it->second : nullptr;
}

int runDemo(const DemoOptions& options, std::ostream& out, std::ostream& err) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path dir(platformPath(options.dir));
    if (!fs::is_directory(dir, ec)) {
        err << "qemhost: " << options.dir << ": no such folder\n";
        return 2;
    }
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(dir, ec)) {
        std::string ext = e.path().extension().string();
        if (e.is_regular_file(ec) && (ext == ".sep" || ext == ".sem")) files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        err << "qemhost: " << options.dir << ": no deliverables (.sep, .sem) in this folder\n";
        return 2;
    }
    fs::path outDir = options.out.empty() ? dir / "demo" : fs::path(platformPath(options.out));
    fs::create_directories(outDir, ec);
    if (!fs::is_directory(outDir, ec)) {
        err << "qemhost: " << outDir.string() << ": cannot make the picture folder\n";
        return 2;
    }

    int status = 0;
    std::vector<Row> rows;
    std::vector<std::string> problems;
    for (const fs::path& file : files) {
        std::string name = file.filename().string();
        std::unique_ptr<Library> lib;
        try {
            lib = Library::load(file.string());
        } catch (const LoadError& e) {
            rows.push_back({name, "(not loaded)", "load", e.cause()});
            problems.push_back(e.what());
            status = 2;
            continue;
        }
        const std::string& module = lib->info().name;
        const char* text = demoScenario(module);
        Script script = parseScript(text != nullptr ? text : "start\npaint\n", name, "");

        RunOptions run;
        run.session.width = options.width;
        run.session.background = options.background;
        ScenarioRunner runner(*lib, run);
        std::vector<Image> pictures;
        bool first = true;
        runner.afterStep = [&](const Step& s, Session& session) {
            rows.push_back({first ? name : "", first ? module : "", s.source,
                            session.painted() ? quoteText(session.shownText()) : "(not painted)"});
            first = false;
            if (session.painted()) pictures.push_back(session.lastImage());
        };
        try {
            RunResult result = runner.run(script);
            for (const std::string& f : result.failures) {
                problems.push_back(f);
                if (status == 0) status = 1;
            }
        } catch (const LoadError& e) {
            rows.push_back({first ? name : "", first ? module : "", "create", e.cause()});
            problems.push_back(e.what());
            status = 2;
            continue;
        }
        fs::path png = outDir / (file.stem().string() + ".png");
        if (!pictures.empty() && !writePng(png.string(), stackImages(pictures, 2, 0x808080))) {
            problems.push_back(png.string() + ": cannot write the picture");
            if (status == 0) status = 1;
        }
    }

    std::size_t wFile = 4, wModule = 6, wStep = 4;
    for (const Row& r : rows) {
        wFile = std::max(wFile, r.file.size());
        wModule = std::max(wModule, r.module.size());
        wStep = std::max(wStep, std::min<std::size_t>(r.step.size(), 40));
    }
    out << padded("File", wFile) << "  " << padded("Module", wModule) << "  " << padded("Step", wStep) << "  Shows\n";
    for (const Row& r : rows)
        out << padded(r.file, wFile) << "  " << padded(r.module, wModule) << "  " << padded(r.step, wStep) << "  "
            << r.shows << '\n';
    out << "\nPictures of every panel, after each step: " << outDir.string() << '\n';
    for (const std::string& p : problems) out << "problem: " << p << '\n';
    return status;
}

} // namespace qem::host
