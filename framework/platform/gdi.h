// The few drawing and text-conversion calls the panels make.
//
// On Windows these are the system's GDI and WideCharToMultiByte. Elsewhere a
// small stand-in records every call into the RecordingDc the device-context
// handle points at, so tests and the reference host can read back what a
// paint drew.
#pragma once

#include "framework/host_interface.h"

namespace qem::gdi {

using Handle = HostWord; // HDC, HBRUSH, HFONT or any selectable object

struct Rect {
    std::int32_t left, top, right, bottom;
};

inline constexpr int kTransparent = 1;   // SetBkMode: glyph cells leave the background alone
inline constexpr int kOpaque = 2;
inline constexpr std::uint32_t kAlignLeftTop = 0; // TA_LEFT | TA_TOP | TA_NOUPDATECP

Handle createSolidBrush(std::uint32_t colour);
// Fills left..right-1, top..bottom-1; false for an empty rectangle or a null brush.
bool fillRect(Handle dc, const Rect& rect, Handle brush);
// Returns the object that was selected before, or 0 when nothing was selected.
Handle selectObject(Handle dc, Handle object);
bool deleteObject(Handle object);
std::uint32_t setTextColor(Handle dc, std::uint32_t colour);
int setBkMode(Handle dc, int mode);
std::uint32_t setTextAlign(Handle dc, std::uint32_t align);
bool textOut(Handle dc, int x, int y, const char* text, int length);

// UTF-16 to the ANSI code page (code page 0, no flags, no default
// character). wideLength -1 converts up to and including the terminator.
// Returns the bytes written, or 0 when they did not fit; a failed
// conversion may leave a partly written, unterminated buffer, as Windows does.
int wideToAnsi(const char16_t* wide, int wideLength, char* out, int outCapacity);

} // namespace qem::gdi
