#include "host/canvas.h"

#include "host/library.h"
#include "host/text.h"

#include "framework/platform/recording_dc.h"

#include <stb/stb_image_write.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace qem::host {

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
        op.text.assign(r.text, strnlen(r.text, gdi::kRecordedText));
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

} // namespace qem::host
