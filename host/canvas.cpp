#include "host/canvas.h"

#include "host/library.h"
#include "host/text.h"

#include "framework/platform/recording_dc.h"

#include <stb/stb_easy_font.h>
#include <stb/stb_image.h>
#include <stb/stb_image_write.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace qem::host {

void Canvas::keepTextsOf(gdi::RecordingDc& record) {
    longTexts_.clear();
    record.reader = this;
    record.keepText = [](void* reader, std::int32_t op, const char* text, std::int32_t length) {
        static_cast<Canvas*>(reader)->longTexts_[op].assign(text, static_cast<std::size_t>(length));
    };
}

void Canvas::readRecord(const gdi::RecordingDc& record) {
    ops_.clear();
    int n = std::clamp(record.opCount, 0, gdi::kRecordedOps);
    for (int i = 0; i < n; ++i) {
        const gdi::RecordedOp& r = record.ops[i];
        DrawOp op;
        op.kind = r.kind;
        op.a = r.a;
        op.b = r.b;
        op.c = r.c;
        op.d = r.d;
        op.colour = r.colour;
        op.handle = r.handle;
        op.textLength = r.textLength;
        if (auto whole = longTexts_.find(i); whole != longTexts_.end()) op.text = std::move(whole->second);
        else op.text.assign(r.text, strnlen(r.text, gdi::kRecordedText));
        ops_.push_back(std::move(op));
    }
    opsDropped_ = record.opsDropped;
}

std::string shownText(const std::vector<DrawOp>& ops) {
    std::string text;
    for (const DrawOp& op : ops)
        if (op.kind == gdi::RecTextOut) text += op.text;
    return text;
}

namespace {
std::string rgb(std::uint32_t colorref) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "#%02X%02X%02X", colorref & 0xFF, (colorref >> 8) & 0xFF,
                  (colorref >> 16) & 0xFF);
    return buffer;
}
} // namespace

std::string describeOp(const DrawOp& op, HostWord hostFont) {
    switch (op.kind) {
    case gdi::RecFillRect:
        return "fillRect(" + std::to_string(op.a) + ", " + std::to_string(op.b) + ", " + std::to_string(op.c) + ", " +
               std::to_string(op.d) + ", colour=" + rgb(op.colour) + ")";
    case gdi::RecSelectObject:
        return std::string("selectObject(") + (op.handle == hostFont ? "host font" : "previous object") + ")";
    case gdi::RecSetTextColor: return "setTextColor(" + rgb(op.colour) + ")";
    case gdi::RecSetBkMode:
        return "setBkMode(" + std::string(op.a == 1 ? "TRANSPARENT" : op.a == 2 ? "OPAQUE" : std::to_string(op.a)) + ")";
    case gdi::RecSetTextAlign: return "setTextAlign(" + std::to_string(op.a) + ")";
    case gdi::RecTextOut: {
        std::string s = "textOut(" + std::to_string(op.a) + ", " + std::to_string(op.b) + ", " + quoteText(op.text);
        if (static_cast<std::size_t>(op.textLength) != op.text.size())
            s += ", length=" + std::to_string(op.textLength);
        return s + ")";
    }
    default: return "op " + std::to_string(op.kind);
    }
}

void drawText(Image& image, int x, int y, std::string_view text, std::uint32_t colorref) {
    if (image.width <= 0 || image.height <= 0) return;
    auto fill = [&](int left, int top, int right, int bottom) {
        for (int py = std::max(top, 0); py < std::min(bottom, image.height); ++py)
            for (int px = std::max(left, 0); px < std::min(right, image.width); ++px) {
                std::uint8_t* p = &image.rgba[(static_cast<std::size_t>(py) * image.width + px) * 4];
                p[0] = colorref & 0xFF;
                p[1] = colorref >> 8 & 0xFF;
                p[2] = colorref >> 16 & 0xFF;
                p[3] = 255;
            }
    };
    // stb_easy_font's glyphs are about 5 units wide and 7 high (more with
    // descenders): scaled to the cell's width and about the Windows font's
    // height.
    constexpr float kScaleX = (kFontAdvance - 1) / 5.0f;
    constexpr float kScaleY = 1.5f;
    // Only the cells that can reach the visible width.
    std::size_t cells = x >= image.width ? 0 : static_cast<std::size_t>((image.width - x) / kFontAdvance + 1);
    for (std::size_t i = 0; i < text.size() && i < cells; ++i) {
        const int cell = x + static_cast<int>(i) * kFontAdvance;
        if (cell + kFontAdvance <= 0) continue;
        char glyph[2] = {text[i], 0};
        if (static_cast<unsigned char>(glyph[0]) < 32 || static_cast<unsigned char>(glyph[0]) > 126) glyph[0] = '?';
        // One glyph at a time: a buffer of 64 quads is far more than any holds.
        char vertices[64 * 64];
        int quads = stb_easy_font_print(0, 0, glyph, nullptr, vertices, sizeof vertices);
        for (int q = 0; q < quads; ++q) {
            float v0[2], v2[2];
            std::memcpy(v0, vertices + q * 64, sizeof v0);
            std::memcpy(v2, vertices + q * 64 + 32, sizeof v2);
            int x0 = cell + static_cast<int>(std::floor(v0[0] * kScaleX));
            int x1 = std::min(cell + static_cast<int>(std::ceil(v2[0] * kScaleX)), cell + kFontAdvance);
            int y0 = y + 2 + static_cast<int>(std::floor(v0[1] * kScaleY));
            int y1 = y + 2 + static_cast<int>(std::ceil(v2[1] * kScaleY));
            fill(x0, y0, x1, y1);
        }
    }
}

Image stackImages(const std::vector<Image>& images, int gap, std::uint32_t gapRgb) {
    Image out;
    for (const Image& im : images) {
        out.width = std::max(out.width, im.width);
        out.height += im.height;
    }
    if (!images.empty()) out.height += gap * static_cast<int>(images.size() - 1);
    out.rgba.assign(static_cast<std::size_t>(out.width) * out.height * 4, 0);
    for (std::size_t i = 0; i < out.rgba.size(); i += 4) {
        out.rgba[i] = gapRgb >> 16 & 0xFF;
        out.rgba[i + 1] = gapRgb >> 8 & 0xFF;
        out.rgba[i + 2] = gapRgb & 0xFF;
        out.rgba[i + 3] = 255;
    }
    int y0 = 0;
    for (const Image& im : images) {
        for (int y = 0; y < im.height; ++y)
            std::copy_n(im.rgba.begin() + static_cast<std::ptrdiff_t>(y) * im.width * 4, im.width * 4,
                        out.rgba.begin() + (static_cast<std::ptrdiff_t>(y0 + y) * out.width) * 4);
        y0 += im.height + gap;
    }
    return out;
}

bool writePng(const std::string& path, const Image& image) {
    if (image.width <= 0 || image.height <= 0) return false;
    return stbi_write_png(platformPath(path).c_str(), image.width, image.height, 4, image.rgba.data(),
                          image.width * 4) != 0;
}

Image readPng(const std::string& path) {
    Image image;
    int w = 0, h = 0, n = 0;
    unsigned char* data = stbi_load(platformPath(path).c_str(), &w, &h, &n, 4);
    if (data == nullptr) return image;
    image.width = w;
    image.height = h;
    image.rgba.assign(data, data + static_cast<std::size_t>(w) * h * 4);
    stbi_image_free(data);
    return image;
}

} // namespace qem::host
