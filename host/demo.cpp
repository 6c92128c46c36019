#include "host/demo.h"

#include "host/child.h"
#include "host/canvas.h"
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

// The deliverables of a folder, in name order; an error text when there
// are none or the folder cannot be read.
std::vector<std::filesystem::path> deliverablesIn(const std::string& folder, std::string& error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path dir(platformPath(folder));
    std::vector<fs::path> files;
    if (!fs::is_directory(dir, ec)) {
        error = folder + ": no such folder";
        return files;
    }
    for (const auto& e : fs::directory_iterator(dir, ec)) {
        std::string ext = e.path().extension().string();
        if (e.is_regular_file(ec) && (ext == ".sep" || ext == ".sem")) files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    if (files.empty()) error = folder + ": no deliverables (.sep, .sem) in this folder";
    return files;
}

// Lines from the child to the parent: a row of the table, or a problem.
constexpr char kRowLine = 'R', kProblemLine = 'P';

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> out;
    std::size_t at = 0;
    for (;;) {
        std::size_t tab = line.find('\t', at);
        out.push_back(line.substr(at, tab == std::string::npos ? std::string::npos : tab - at));
        if (tab == std::string::npos) return out;
        at = tab + 1;
    }
}

// One picture of every panel: a tile per deliverable, its module's name
// over its panel after each step, three tiles to a row.
Image contactSheet(const std::vector<std::pair<std::string, Image>>& tiles) {
    constexpr int kColumns = 3, kMargin = 8, kLabel = 18;
    constexpr std::uint32_t kSheet = 0x202020, kInk = 0xE0E0E0; // COLORREF
    int tileWidth = 0;
    for (const auto& t : tiles) tileWidth = std::max(tileWidth, t.second.width);
    tileWidth = std::max(tileWidth, 160);
    std::vector<int> rowHeights;
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        if (i % kColumns == 0) rowHeights.push_back(0);
        rowHeights.back() = std::max(rowHeights.back(), kLabel + tiles[i].second.height);
    }
    Image sheet;
    sheet.width = kMargin + static_cast<int>(std::min<std::size_t>(tiles.size(), kColumns)) * (tileWidth + kMargin);
    sheet.height = kMargin;
    for (int h : rowHeights) sheet.height += h + kMargin;
    sheet.rgba.resize(static_cast<std::size_t>(sheet.width) * sheet.height * 4);
    for (std::size_t p = 0; p < sheet.rgba.size(); p += 4) {
        sheet.rgba[p] = kSheet & 0xFF;
        sheet.rgba[p + 1] = kSheet >> 8 & 0xFF;
        sheet.rgba[p + 2] = kSheet >> 16 & 0xFF;
        sheet.rgba[p + 3] = 255;
    }
    int y = kMargin;
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        int column = static_cast<int>(i % kColumns);
        int x = kMargin + column * (tileWidth + kMargin);
        drawText(sheet, x, y, tiles[i].first, kInk);
        const Image& im = tiles[i].second;
        for (int row = 0; row < im.height; ++row)
            std::copy_n(im.rgba.begin() + static_cast<std::ptrdiff_t>(row) * im.width * 4, im.width * 4,
                        sheet.rgba.begin() + (static_cast<std::ptrdiff_t>(y + kLabel + row) * sheet.width + x) * 4);
        if (column == kColumns - 1 || i + 1 == tiles.size()) y += rowHeights[i / kColumns] + kMargin;
    }
    return sheet;
}

} // namespace

// A panel width that shows the longest text the scenario expects whole:
// the text starts at x 7, and the host's font is fixed-pitch.
int widthToShow(const Script& script) {
    std::size_t longest = 0;
    for (const Step& s : script.steps)
        if (s.verb == "expect" && s.args.size() == 2 && s.args[0].text == "text")
            longest = std::max(longest, s.args[1].text.size());
    static const int advance = Canvas::create()->fontAdvance();
    return std::min(7 + static_cast<int>(longest) * advance + 8, 4096);
}

const char* demoScenario(const std::string& moduleName) {
    auto it = scenarios().find(moduleName);
    return it != scenarios().end() ? it->second : nullptr;
}

int runDemoChild(const DemoOptions& options, int first, std::ostream& out) {
    namespace fs = std::filesystem;
    std::string error;
    std::vector<fs::path> files = deliverablesIn(options.dir, error);
    fs::path outDir(platformPath(options.out));
    for (std::size_t i = static_cast<std::size_t>(std::max(first, 0)); i < files.size(); ++i) {
        const fs::path& file = files[i];
        const std::string name = file.filename().string();
        int status = 0;
        auto row = [&](const std::string& module, const std::string& step, const std::string& shows) {
            out << kRowLine << '\t' << name << '\t' << module << '\t' << step << '\t' << shows << '\n' << std::flush;
        };
        auto problem = [&](const std::string& text) { out << kProblemLine << '\t' << text << '\n' << std::flush; };
        std::unique_ptr<Library> lib;
        try {
            lib = Library::load(file.string());
        } catch (const LoadError& e) {
            row("(not loaded)", "load", e.cause());
            problem(e.what());
            out << itemDoneLine(2) << '\n' << std::flush;
            continue;
        }
        const std::string& module = lib->info().name;
        const char* text = demoScenario(module);
        Script script = parseScript(text != nullptr ? text : "start\npaint\n", name, "");

        RunOptions run;
        run.session.width = std::max(options.width, widthToShow(script));
        run.session.background = options.background;
        ScenarioRunner runner(*lib, run);
        std::vector<Image> pictures;
        runner.afterStep = [&](const Step& s, Session& session) {
            row(module, s.source, session.painted() ? quoteText(session.shownText()) : "(not painted)");
            if (session.painted()) pictures.push_back(session.lastImage());
        };
        try {
            RunResult result = runner.run(script);
            for (const std::string& f : result.failures) {
                problem(f);
                status = 1;
            }
        } catch (const LoadError& e) {
            row(module, "create", e.cause());
            problem(e.what());
            out << itemDoneLine(2) << '\n' << std::flush;
            continue;
        }
        fs::path png = outDir / (file.stem().string() + ".png");
        if (!pictures.empty() && !writePng(png.string(), stackImages(pictures, 2, 0x808080))) {
            problem(png.string() + ": cannot write the picture");
            status = 1;
        }
        out << itemDoneLine(status) << '\n' << std::flush;
    }
    return 0;
}

int runDemo(const DemoOptions& options, std::ostream& out, std::ostream& err) {
    namespace fs = std::filesystem;
    std::error_code ec;
    std::string error;
    std::vector<fs::path> files = deliverablesIn(options.dir, error);
    if (files.empty()) {
        err << "qemhost: " << error << '\n';
        return 2;
    }
    fs::path outDir(platformPath(options.out));
    fs::create_directories(outDir, ec);
    if (!fs::is_directory(outDir, ec)) {
        err << "qemhost: " << options.out << ": cannot make the picture folder\n";
        return 2;
    }

    // Columns wide enough for every file name, the longest module names and
    // most steps; each row is printed as its child reports it.
    std::size_t wFile = 4;
    for (const fs::path& f : files) wFile = std::max(wFile, f.filename().string().size());
    const std::size_t wModule = 18, wStep = 40;
    out << padded("File", wFile) << "  " << padded("Module", wModule) << "  " << padded("Step", wStep) << "  Shows\n"
        << std::flush;
    std::string lastFile, lastModule;
    auto printRow = [&](const std::string& file, const std::string& module, const std::string& step,
                        const std::string& shows) {
        bool newFile = file != lastFile;
        out << padded(newFile ? file : "", wFile) << "  " << padded(newFile || module != lastModule ? module : "", wModule)
            << "  " << padded(step, wStep) << "  " << shows << '\n'
            << std::flush;
        lastFile = file;
        lastModule = module;
    };

    int status = 0;
    auto worse = [&](int s) {
        if (s == 2 || (s == 1 && status == 0)) status = s;
    };
    std::vector<std::string> problems;
    std::vector<std::string> modules(files.size());
    ChildItemHandlers h;
    h.line = [&](int item, const std::string& line) {
        std::vector<std::string> f = fields(line);
        if (f.size() == 5 && f[0].size() == 1 && f[0][0] == kRowLine) {
            printRow(f[1], f[2], f[3], f[4]);
            modules[static_cast<std::size_t>(item)] = f[2];
        } else if (f.size() >= 2 && f[0].size() == 1 && f[0][0] == kProblemLine) {
            problems.push_back(line.substr(2));
        } else {
            out << line << '\n'; // anything else the child printed
        }
    };
    h.done = [&](int, int s) { worse(s); };
    h.failed = [&](int item, const ChildEnd& end) {
        std::string name = files[static_cast<std::size_t>(item)].filename().string();
        printRow(name, modules[static_cast<std::size_t>(item)], "(its process ended)", end.describe());
        problems.push_back(name + ": the deliverable's process ended: " + end.describe());
        worse(1);
        return true;
    };
    runItemsInChildren(
        static_cast<int>(files.size()),
        [&](int first) {
            return std::vector<std::string>{"demo",         options.dir,
                                            "--out",        options.out,
                                            "--width",      std::to_string(options.width),
                                            "--background", options.backgroundText,
                                            "--child",      std::to_string(first)};
        },
        options.timeout, h);

    out << "\nPictures of every panel, after each step: " << outDir.string() << '\n';
    if (!options.gallery.empty()) {
        std::vector<std::pair<std::string, Image>> tiles;
        for (std::size_t i = 0; i < files.size(); ++i) {
            Image im = readPng((outDir / (files[i].stem().string() + ".png")).string());
            if (im.width == 0) continue; // the deliverable drew nothing
            std::string label = modules[i].empty() ? files[i].filename().string() : modules[i];
            tiles.emplace_back(label, std::move(im));
        }
        if (tiles.empty() || !writePng(options.gallery, contactSheet(tiles))) {
            problems.push_back(options.gallery + ": cannot write the contact sheet");
            worse(1);
        } else {
            out << "Contact sheet of every panel: " << options.gallery << '\n';
        }
    }
    for (const std::string& p : problems) out << "problem: " << p << '\n';
    return status;
}

} // namespace qem::host
