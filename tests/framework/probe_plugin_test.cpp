// The test plug-in, loaded from its file exactly as a host loads a
// deliverable: its two exports, both halves driven through their records,
// single-precision arithmetic and, on Windows, the paint on real pixels and
// the DLL's export and import tables.
#include "framework/host_interface.h"
#include "tests/support/fake_host.h"
#include "tests/support/halves.h"
#include "tests/support/plugin_library.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <string>

#ifdef _WIN32
#include "tests/framework/pe_image.h"
#include <windows.h>
#else
#include "framework/platform/recording_dc.h"
#endif

namespace qem {
namespace {

using test::DspHalf;
using test::FakeHost;
using test::PanelHalf;
using test::PluginLibrary;

#ifdef _WIN32
// The probe's file; the PE reader wants the Windows form.
std::string pluginPath() {
    std::string path = QEM_PROBE_PLUGIN;
    if (!path.empty() && path[0] == '/') {
        std::replace(path.begin(), path.end(), '/', '\\');
        path = "Z:" + path;
    }
    return path;
}
#endif

struct ProbeFixture : ::testing::Test {
    PluginLibrary lib{QEM_PROBE_PLUGIN};
    void SetUp() override {
        ASSERT_TRUE(lib.loaded()) << lib.path();
        ASSERT_NE(lib.getModuleProperties, nullptr);
        ASSERT_NE(lib.makeModule, nullptr);
    }
};

TEST_F(ProbeFixture, Description) {
    ModuleProperties p{};
    EXPECT_EQ(lib.getModuleProperties(0, &p), 1);
    EXPECT_STREQ(p.name, "QEM Test Probe");
    EXPECT_EQ(p.interfaceVersion, 2230);
    EXPECT_EQ(std::string(p.about).rfind("QEM Test Probe - v0.0.1\n", 0), 0u);
    EXPECT_EQ(lib.getModuleProperties(1, &p), 0);
    FakeHost host;
    EXPECT_EQ(lib.makeModule(1, 1, host.callback(), 0), nullptr);
    EXPECT_EQ(lib.makeModule(0, 3, host.callback(), 0), nullptr);
}

TEST_F(ProbeFixture, DspHalfComputesInSinglePrecisionAndSchedulesCalls) {
    FakeHost host{FakeHost::Half::Dsp};
    host.pinCount = 6; // "DSP 2 GUI - In" is the panel's
    DspHalf dsp = DspHalf::make(lib.makeModule, host.callback(), 5);
    ASSERT_TRUE(dsp.made());
    EXPECT_EQ(dsp.record()->hostValue, 5);

    PinProperties pins[8]{};
    int described = 0;
    while (described < 8 && dsp.describe(described, pins[described])) ++described;
    ASSERT_EQ(described, 7);
    dsp.open();
    EXPECT_EQ(host.count(DspReqProcessChanged), 1);

    // (1 + 2^-12)^2 - (1 + 2^-11) is 0 when the product is rounded to single
    // precision, 2^-24 when x87 keeps it in extended precision.
    *static_cast<float*>(pins[2].variable) = 1.0f + std::ldexp(1.0f, -12);
    *static_cast<float*>(pins[3].variable) = 1.0f + std::ldexp(1.0f, -12);
    *static_cast<float*>(pins[4].variable) = -(1.0f + std::ldexp(1.0f, -11));
    host.sampleClock = 100;
    dsp.pinEvent(3, StateChanged, 100); // DSP pin 3 is "C"
    ASSERT_EQ(host.count(DspReqPinState), 1);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(*static_cast<float*>(pins[0].variable)), 0u);

    // A MIDI message comes back through a scheduled call after d1 samples.
    *static_cast<std::int16_t*>(pins[5].variable) = 1;
    dsp.midi(0x0190, 100);
    ASSERT_EQ(host.scheduled.size(), 1u);
    EXPECT_EQ(host.scheduled[0].time, 101);
    dsp.deliver(host.scheduled[0]);
    EXPECT_EQ(*static_cast<float*>(pins[0].variable), 401.0f);

    // The idle processing function.
    host.clear();
    dsp.process(0, 64);
    EXPECT_EQ(host.ops(), std::vector<std::int32_t>{DspReqIdle});
    EXPECT_EQ(dsp.close(), 1);
}

TEST_F(ProbeFixture, PanelHalfShowsTheValueOfPinOne) {
    FakeHost host;
    PanelHalf panel = PanelHalf::make(lib.makeModule, host.callback(), 0);
    ASSERT_TRUE(panel.made());
    EXPECT_EQ(host.ops(), (std::vector<std::int32_t>{PanelReqSetup11, PanelReqSetup3, PanelReqSetup4}));
    panel.start();
    host.setFloat(1, 0.1f);
    host.clear();
    panel.changed(1);
    EXPECT_EQ(host.ops(), (std::vector<std::int32_t>{PanelReqGetValue, PanelReqRepaint}));
    EXPECT_EQ(panel.text(), "0.1000000015");
    EXPECT_EQ(panel.close(), 1);
}

#ifdef _WIN32

// Paints the panel into a 32-bit top-down memory bitmap.
struct Canvas {
    static constexpr int kWidth = 100, kHeight = 24;
    HDC dc = CreateCompatibleDC(nullptr);
    std::uint32_t* pixels = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    Canvas() {
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = kWidth;
        bi.bmiHeader.biHeight = -kHeight;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bitmap = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&pixels), nullptr, 0);
        old = SelectObject(dc, bitmap);
        std::fill(pixels, pixels + kWidth * kHeight, 0x00FFFFFFu); // white (BGRA in memory)
    }
    ~Canvas() {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    std::uint32_t at(int x, int y) const { return pixels[y * kWidth + x] & 0x00FFFFFFu; }
    bool isGreen(int x, int y) const { // glyph pixels: green, no red or blue (antialiasing blends only green)
        std::uint32_t p = at(x, y);
        return (p & 0x00FF00) != 0 && (p & 0xFF0000) == 0 && (p & 0xFF) == 0;
    }
};

TEST_F(ProbeFixture, PaintOnRealPixels) {
    const struct {
        std::int32_t background;
        std::uint32_t bandPixel; // as stored in the bitmap (0x00RRGGBB)
    } cases[] = {{0x000000FF, 0x00FF0000}, {0, 0}, {-1, 0x00FFFFFF}};
    HFONT font = CreateFontA(14, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, NONANTIALIASED_QUALITY,
                             FIXED_PITCH | FF_MODERN, "Courier New");
    for (const auto& c : cases) {
        FakeHost host;
        host.backgroundColour = c.background;
        host.fontHandle = reinterpret_cast<HostWord>(font);
        PanelHalf panel = PanelHalf::make(lib.makeModule, host.callback(), 0);
        panel.start();
        host.setFloat(1, 88888.0f);
        panel.changed(1);

        Canvas canvas;
        PaintInfo info{60, 0, 0, {}};
        panel.paint(reinterpret_cast<HostWord>(canvas.dc), &info);

        // The band covers x 2..59, y 0..14 (where no glyph is); nothing else.
        EXPECT_EQ(canvas.at(2, 0), c.bandPixel) << c.background;
        EXPECT_EQ(canvas.at(59, 0), c.bandPixel);
        EXPECT_EQ(canvas.at(3, 14), c.bandPixel);
        EXPECT_EQ(canvas.at(1, 0), 0x00FFFFFFu);
        EXPECT_EQ(canvas.at(60, 0), 0x00FFFFFFu);
        EXPECT_EQ(canvas.at(3, 15), 0x00FFFFFFu);

        // Green glyph pixels, none left of x 7.
        int firstGreen = Canvas::kWidth, green = 0;
        for (int y = 0; y < Canvas::kHeight; ++y)
            for (int x = 0; x < Canvas::kWidth; ++x)
                if (canvas.isGreen(x, y)) {
                    ++green;
                    firstGreen = std::min(firstGreen, x);
                }
        EXPECT_GT(green, 20);
        EXPECT_GE(firstGreen, 7);
        EXPECT_LE(firstGreen, 9);
        // The host's font is selected back out: the DC holds its own again.
        EXPECT_NE(GetCurrentObject(canvas.dc, OBJ_FONT), font);
        panel.close();
    }
    DeleteObject(font);
}

TEST(ProbeDll, ExportsAndImportsOnlyWhatTheHostAndWindowsProvide) {
    std::string path = pluginPath();
    test::PeTables t = test::readPeTables(path);
    ASSERT_EQ(t.error, "") << path;
    EXPECT_EQ(t.machine, 0x14C);
    EXPECT_TRUE(t.dll);
    EXPECT_EQ(t.exportName, "qem_test_probe.sep");
    std::vector<std::string> exports = t.exports;
    std::sort(exports.begin(), exports.end());
    EXPECT_EQ(exports, (std::vector<std::string>{"getModuleProperties", "makeModule"}));
    for (std::string dll : t.imports) {
        for (char& ch : dll) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        EXPECT_TRUE(dll == "KERNEL32.DLL" || dll == "USER32.DLL" || dll == "GDI32.DLL" || dll == "MSVCRT.DLL") << dll;
    }
    EXPECT_FALSE(t.imports.empty());
}

#endif

} // namespace
} // namespace qem
