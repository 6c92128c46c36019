// Seeing what a module draws with the real GDI (Windows build).
//
// A memory DC gives the host the pixels of a paint, but not the text that
// was drawn. So the host redirects the module's own imports of the drawing
// calls the panels make (TextOutA, FillRect, SelectObject, SetTextColor,
// SetBkMode, SetTextAlign) to small recorders that note the call in a
// RecordingDc, the same record the native build reads, and then make the
// real call. Only the entries of the module's import address table change:
// the host's own GDI calls, and every other module, are untouched. This is
// how plug-in test hosts commonly observe drawing.
#pragma once

#include "framework/platform/recording_dc.h"

#include <windows.h>

namespace qem::host {

// Redirects the drawing imports of a loaded module. Safe to call once per
// module; a module without those imports is left as it is.
void hookModuleDrawing(HMODULE module);

// The DC whose drawing calls are recorded, and where to; (null, null) stops
// recording. Calls on any other DC pass straight through.
void recordDrawingOn(HDC dc, gdi::RecordingDc* record);

} // namespace qem::host
