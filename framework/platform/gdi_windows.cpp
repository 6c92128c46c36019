// The drawing calls on Windows: the system's own GDI.
#include "framework/platform/gdi.h"

#include <windows.h>

namespace qem::gdi {
namespace {
HDC asDc(Handle h) { return reinterpret_cast<HDC>(h); }
HGDIOBJ asObject(Handle h) { return reinterpret_cast<HGDIOBJ>(h); }
} // namespace

Handle createSolidBrush(std::uint32_t colour) {
    return reinterpret_cast<Handle>(CreateSolidBrush(static_cast<COLORREF>(colour)));
}

bool fillRect(Handle dc, const Rect& rect, Handle brush) {
    RECT r{rect.left, rect.top, rect.right, rect.bottom};
    return FillRect(asDc(dc), &r, reinterpret_cast<HBRUSH>(brush)) != 0;
}

Handle selectObject(Handle dc, Handle object) {
    return reinterpret_cast<Handle>(SelectObject(asDc(dc), asObject(object)));
}

bool deleteObject(Handle object) { return DeleteObject(asObject(object)) != 0; }

std::uint32_t setTextColor(Handle dc, std::uint32_t colour) {
    return SetTextColor(asDc(dc), static_cast<COLORREF>(colour));
}

int setBkMode(Handle dc, int mode) { return SetBkMode(asDc(dc), mode); }

std::uint32_t setTextAlign(Handle dc, std::uint32_t align) { return SetTextAlign(asDc(dc), align); }

bool textOut(Handle dc, int x, int y, const char* text, int length) {
    return TextOutA(asDc(dc), x, y, text, length) != 0;
}

int wideToAnsi(const char16_t* wide, int wideLength, char* out, int outCapacity) {
    return WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWCH>(wide), wideLength, out,
                               outCapacity, nullptr, nullptr);
}

} // namespace qem::gdi
