// The drawing stand-in of the non-Windows builds (see gdi.h).
#include "framework/platform/gdi.h"
#include "framework/platform/recording_dc.h"

#include <algorithm>
#include <cstring>

namespace qem::gdi {
namespace {

RecordingDc* recording(Handle dc) {
    auto* rec = reinterpret_cast<RecordingDc*>(dc);
    return rec != nullptr && rec->magic == kRecordingDcMagic ? rec : nullptr;
}

RecordedOp* append(RecordingDc& rec, RecordedKind kind) {
    if (rec.opCount >= kRecordedOps) {
        ++rec.opsDropped;
        return nullptr;
    }
    RecordedOp& op = rec.ops[rec.opCount++];
    op = RecordedOp{};
    op.kind = kind;
    return &op;
}

bool isBrush(Handle h) { return (h & kBrushTag) != 0; }

// Windows-1252 bytes 0x80..0x9F, as UTF-16 (0 where the code page has none).
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char toCp1252(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
    for (int i = 0; i < 32; ++i)
        if (kCp1252High[i] == c && c != 0) return static_cast<char>(0x80 + i);
    return '?';
}

} // namespace

Handle createSolidBrush(std::uint32_t colour) { return kBrushTag | static_cast<Handle>(colour); }

bool fillRect(Handle dc, const Rect& rect, Handle brush) {
    RecordingDc* rec = recording(dc);
    if (rec == nullptr || !isBrush(brush)) return false;
    if (rect.right <= rect.left || rect.bottom <= rect.top) return true; // nothing to fill
    if (RecordedOp* op = append(*rec, RecFillRect)) {
        op->a = rect.left;
        op->b = rect.top;
        op->c = rect.right;
        op->d = rect.bottom;
        op->colour = static_cast<std::uint32_t>(brush & ~kBrushTag);
    }
    return true;
}

Handle selectObject(Handle dc, Handle object) {
    RecordingDc* rec = recording(dc);
    if (rec == nullptr || object == 0) return 0;
    Handle before = rec->selected;
    rec->selected = object;
    if (RecordedOp* op = append(*rec, RecSelectObject)) {
        op->handle = object;
        op->a = before != 0;
    }
    return before;
}

bool deleteObject(Handle object) { return isBrush(object); }

std::uint32_t setTextColor(Handle dc, std::uint32_t colour) {
    RecordingDc* rec = recording(dc);
    if (rec == nullptr) return 0xFFFFFFFFu;
    std::uint32_t before = rec->textColour;
    rec->textColour = colour;
    if (RecordedOp* op = append(*rec, RecSetTextColor)) op->colour = colour;
    return before;
}

int setBkMode(Handle dc, int mode) {
    RecordingDc* rec = recording(dc);
    if (rec == nullptr) return 0;
    int before = rec->bkMode;
    rec->bkMode = mode;
    if (RecordedOp* op = append(*rec, RecSetBkMode)) op->a = mode;
    return before;
}

std::uint32_t setTextAlign(Handle dc, std::uint32_t align) {
    RecordingDc* rec = recording(dc);
    if (rec == nullptr) return 0xFFFFFFFFu;
    std::uint32_t before = rec->textAlign;
    rec->textAlign = align;
    if (RecordedOp* op = append(*rec, RecSetTextAlign)) op->a = static_cast<std::int32_t>(align);
    return before;
}

bool textOut(Handle dc, int x, int y, const char* text, int length) {
    RecordingDc* rec = recording(dc);
    if (rec == nullptr || length < 0 || (length > 0 && text == nullptr)) return false;
    if (RecordedOp* op = append(*rec, RecTextOut)) {
        op->a = x;
        op->b = y;
        op->textLength = length;
        int kept = std::min(length, kRecordedText - 1);
        if (kept > 0) std::memcpy(op->text, text, static_cast<std::size_t>(kept));
        op->text[kept] = '\0';
        if (kept < length && rec->keepText != nullptr) rec->keepText(rec->reader, rec->opCount - 1, text, length);
    }
    return true;
}

int wideToAnsi(const char16_t* wide, int wideLength, char* out, int outCapacity) {
    if (wide == nullptr || out == nullptr || outCapacity <= 0) return 0;
    int written = 0;
    for (int i = 0; wideLength < 0 || i < wideLength; ++i) {
        char16_t c = wide[i];
        if (written == outCapacity) return 0; // did not fit: left unterminated
        out[written++] = toCp1252(c);
        if (wideLength < 0 && c == 0) break;
    }
    return written;
}

} // namespace qem::gdi
