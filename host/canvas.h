// What a panel paints into. For panel op 2 the host hands the module a
// device context from begin(); after the call, end() collects the draw list
// (the module's drawing calls, in order) and the picture.
//
// Natively the device context is the address of a RecordingDc that the
// module's drawing stand-in fills; the picture is the host's own simple
// rendering of that list (fills and stb_easy_font glyphs). On Windows it is
// a memory DC with a 32-bit top-down DIB section that the module draws on
// with the real GDI; the draw list comes from the module's drawing imports,
// which the host observes (gdi_hook_windows.h).
#pragma once

#include "framework/host_interface.h"
#include "framework/platform/recording_dc.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qem::host {

// One drawing call, as framework/platform/recording_dc.h records it.
struct DrawOp {
    std::int32_t kind = 0; // qem::gdi::RecordedKind
    std::int32_t a = 0, b = 0, c = 0, d = 0;
    std::uint32_t colour = 0;
    HostWord handle = 0;
    std::int32_t textLength = 0; // bytes the call passed
    std::string text;            // the bytes kept (up to the recording bound)
};

// Pixels as R, G, B, A bytes, rows top to bottom.
struct Image {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgba;
};

class Canvas {
public:
    static std::unique_ptr<Canvas> create();
    virtual ~Canvas() = default;

    // A fresh device context of width x height pixels, filled with the
    // host's panel colour (COLORREF), in the default state of a new DC.
    virtual HostWord begin(int width, int height, std::uint32_t panelColour) = 0;
    // Collects the draw list and the picture of the paint begun last.
    virtual void end() = 0;
    // The font handed out for request 10; created once, owned here.
    virtual HostWord font() = 0;
    virtual int fontHeight() const = 0;
    // How far one character of the font moves the pen, in pixels. The font
    // is fixed-pitch in both builds, of the same advance, so both builds
    // agree on how much text fits in a width.
    virtual int fontAdvance() = 0;

    const std::vector<DrawOp>& ops() const { return ops_; }
    int opsDropped() const { return opsDropped_; }
    const Image& image() const { return image_; }

protected:
    // Makes the record keep whole texts (RecordingDc::keepText) for this
    // canvas; call it on a fresh record.
    void keepTextsOf(gdi::RecordingDc& record);
    // Takes the draw list from a record the drawing calls filled.
    void readRecord(const gdi::RecordingDc& record);

    std::vector<DrawOp> ops_;
    int opsDropped_ = 0;
    std::map<int, std::string> longTexts_; // whole texts of the paint, by op index
    Image image_;
};

// The advance of the host's font: Courier New at 13 pixels on Windows
// (measured by the Windows canvas), and the native glyphs drawn to match.
inline constexpr int kFontAdvance = 7;

// Draws text in fixed-pitch glyphs of the native build (stb_easy_font's,
// one per cell of kFontAdvance pixels; bytes outside printable ASCII show
// as '?'), the top of the cell at y, cut at the image's edges.
void drawText(Image& image, int x, int y, std::string_view text, std::uint32_t colorref);

// The text the draw list shows: every textOut's bytes, in order.
std::string shownText(const std::vector<DrawOp>& ops);
// One line per drawing call, e.g. `fillRect(2, 0, 100, 15, colour=#000000)`.
std::string describeOp(const DrawOp& op, HostWord hostFont);
// Panels one under another, parted by a line of `gap` pixels.
Image stackImages(const std::vector<Image>& images, int gap, std::uint32_t gapRgb);
// Writes a PNG (stb_image_write); false when the file cannot be written.
bool writePng(const std::string& path, const Image& image);
// Reads a PNG as RGBA; an empty image when it cannot be read.
Image readPng(const std::string& path);

} // namespace qem::host
