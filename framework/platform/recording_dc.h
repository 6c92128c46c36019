// The device context of the non-Windows builds: a plain record that the
// drawing stand-in fills and the caller reads back. Host and module are
// separate binaries built from this one header, so it holds only fixed-size
// plain data.
#pragma once

#include "framework/platform/gdi.h"

namespace qem::gdi {

inline constexpr std::uint32_t kRecordingDcMagic = 0x52434443; // "RCDC"
inline constexpr int kRecordedOps = 32;
inline constexpr int kRecordedText = 4096;

enum RecordedKind : std::int32_t {
    RecFillRect = 1,     // a b c d: rectangle; colour: brush colour
    RecSelectObject = 2, // handle: object selected; a: 1 if it replaced something
    RecSetTextColor = 3, // colour
    RecSetBkMode = 4,    // a: mode
    RecSetTextAlign = 5, // a: alignment
    RecTextOut = 6,      // a b: x y; text, textLength (bytes passed)
};

struct RecordedOp {
    std::int32_t kind;
    std::int32_t a, b, c, d;
    std::uint32_t colour;
    HostWord handle;
    std::int32_t textLength;         // bytes the call passed; more than kRecordedText-1 are cut here
    char text[kRecordedText];        // terminated copy of the first bytes
};

struct RecordingDc {
    std::uint32_t magic = kRecordingDcMagic;
    HostWord selected = 0;           // the object selected now (a font)
    std::uint32_t textColour = 0;    // as Windows starts a DC: black text
    std::int32_t bkMode = kOpaque;
    std::uint32_t textAlign = 0;
    std::int32_t opCount = 0;        // ops recorded
    std::int32_t opsDropped = 0;     // ops past kRecordedOps
    RecordedOp ops[kRecordedOps];
    // Optional, set by the reader of the record: textOut hands it the whole
    // text of a call longer than RecordedOp::text holds (op: its index in
    // ops), so no text is cut. The text is the caller's, valid during the
    // call only: the reader copies it.
    void (*keepText)(void* reader, std::int32_t op, const char* text, std::int32_t length) = nullptr;
    void* reader = nullptr;

    void clearOps() { opCount = 0; opsDropped = 0; }
};

// Brush handles of the stand-in carry their colour above this tag.
inline constexpr HostWord kBrushTag = HostWord(1) << (sizeof(HostWord) * 8 - 2);

} // namespace qem::gdi
