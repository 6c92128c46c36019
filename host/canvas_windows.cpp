// The canvas of the Windows build: a memory DC with a 32-bit top-down DIB
// section, a real fixed-pitch font, and the drawing imports of the module
// observed (gdi_hook_windows.h).
#include "host/canvas.h"

#include "host/gdi_hook_windows.h"

#include <algorithm>
#include <cstring>

namespace qem::host {
namespace {

constexpr int kFontHeight = 13;

class WindowsCanvas final : public Canvas {
public:
    WindowsCanvas() : record_(std::make_unique<gdi::RecordingDc>()) {}
    ~WindowsCanvas() override {
        release();
        if (font_ != nullptr) DeleteObject(font_);
    }

    HostWord begin(int width, int height, std::uint32_t panelColour) override {
        release();
        width_ = std::max(width, 1);
        height_ = std::max(height, 1);
        dc_ = CreateCompatibleDC(nullptr);
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = width_;
        bi.bmiHeader.biHeight = -height_; // top-down rows
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        bitmap_ = CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&pixels_), nullptr, 0);
        if (dc_ == nullptr || bitmap_ == nullptr || pixels_ == nullptr) {
            release();
            return 0;
        }
        oldBitmap_ = SelectObject(dc_, bitmap_);
        // BGRX in memory.
        std::uint32_t bgrx = (panelColour & 0xFF) << 16 | (panelColour & 0xFF00) | (panelColour >> 16 & 0xFF);
        std::fill(pixels_, pixels_ + static_cast<std::size_t>(width_) * height_, bgrx);
        *record_ = gdi::RecordingDc{};
        keepTextsOf(*record_);
        recordDrawingOn(dc_, record_.get());
        return reinterpret_cast<HostWord>(dc_);
    }

    void end() override {
        recordDrawingOn(nullptr, nullptr);
        readRecord(*record_);
        image_ = Image{};
        if (dc_ == nullptr) return;
        GdiFlush();
        image_.width = width_;
        image_.height = height_;
        image_.rgba.resize(static_cast<std::size_t>(width_) * height_ * 4);
        for (std::size_t i = 0; i < static_cast<std::size_t>(width_) * height_; ++i) {
            std::uint32_t p = pixels_[i];
            image_.rgba[4 * i] = p >> 16 & 0xFF;
            image_.rgba[4 * i + 1] = p >> 8 & 0xFF;
            image_.rgba[4 * i + 2] = p & 0xFF;
            image_.rgba[4 * i + 3] = 255;
        }
        release();
    }

    HostWord font() override {
        if (font_ == nullptr)
            font_ = CreateFontA(kFontHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY,
                                FIXED_PITCH | FF_MODERN, "Courier New");
        return reinterpret_cast<HostWord>(font_);
    }
    int fontHeight() const override { return kFontHeight; }
    int fontAdvance() override {
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(font()));
        SIZE size{};
        GetTextExtentPoint32A(dc, "MMMMMMMMMM", 10, &size);
        SelectObject(dc, old);
        DeleteDC(dc);
        return size.cx / 10;
    }

private:
    void release() {
        if (dc_ != nullptr) {
            if (oldBitmap_ != nullptr) SelectObject(dc_, oldBitmap_);
            DeleteDC(dc_);
        }
        if (bitmap_ != nullptr) DeleteObject(bitmap_);
        dc_ = nullptr;
        bitmap_ = nullptr;
        oldBitmap_ = nullptr;
        pixels_ = nullptr;
    }

    std::unique_ptr<gdi::RecordingDc> record_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ oldBitmap_ = nullptr;
    std::uint32_t* pixels_ = nullptr;
    HFONT font_ = nullptr;
    int width_ = 1, height_ = 1;
};

} // namespace

std::unique_ptr<Canvas> Canvas::create() { return std::make_unique<WindowsCanvas>(); }

} // namespace qem::host
