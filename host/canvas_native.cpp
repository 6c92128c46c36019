// The canvas of the native build: a RecordingDc, and a simple picture of
// what it recorded.
#include "host/canvas.h"

#include "framework/platform/recording_dc.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace qem::host {
namespace {

// The font "handle" of the native build: a tag the module only passes on.
constexpr HostWord kNativeFont = 0x464E54; // "FNT"
constexpr int kNativeFontHeight = 13;

class NativeCanvas final : public Canvas {
public:
    NativeCanvas() : dc_(std::make_unique<gdi::RecordingDc>()) {}

    HostWord begin(int width, int height, std::uint32_t panelColour) override {
        *dc_ = gdi::RecordingDc{};
        keepTextsOf(*dc_);
        width_ = std::max(width, 1);
        height_ = std::max(height, 1);
        panelColour_ = panelColour;
        return reinterpret_cast<HostWord>(dc_.get());
    }

    void end() override {
        readRecord(*dc_);
        render();
    }

    HostWord font() override { return kNativeFont; }
    int fontHeight() const override { return kNativeFontHeight; }
    int fontAdvance() override { return kFontAdvance; }

private:
    void put(int x, int y, std::uint32_t colorref) {
        if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
        std::uint8_t* p = &image_.rgba[(static_cast<std::size_t>(y) * width_ + x) * 4];
        p[0] = colorref & 0xFF;
        p[1] = colorref >> 8 & 0xFF;
        p[2] = colorref >> 16 & 0xFF;
        p[3] = 255;
    }
    void fill(int left, int top, int right, int bottom, std::uint32_t colorref) {
        for (int y = std::max(top, 0); y < std::min(bottom, height_); ++y)
            for (int x = std::max(left, 0); x < std::min(right, width_); ++x) put(x, y, colorref);
    }

    // Replays the list: fills as they are, text in the host's fixed-pitch
    // glyphs (drawText), cut at the canvas edge.
    void render() {
        image_.width = width_;
        image_.height = height_;
        image_.rgba.assign(static_cast<std::size_t>(width_) * height_ * 4, 0);
        fill(0, 0, width_, height_, panelColour_);
        std::uint32_t textColour = 0;
        for (const DrawOp& op : ops_) {
            if (op.kind == gdi::RecFillRect) fill(op.a, op.b, op.c, op.d, op.colour);
            if (op.kind == gdi::RecSetTextColor) textColour = op.colour;
            if (op.kind == gdi::RecTextOut) drawText(image_, op.a, op.b, op.text, textColour);
        }
    }

    std::unique_ptr<gdi::RecordingDc> dc_;
    int width_ = 1, height_ = 1;
    std::uint32_t panelColour_ = 0;
};

} // namespace

std::unique_ptr<Canvas> Canvas::create() { return std::make_unique<NativeCanvas>(); }

} // namespace qem::host
