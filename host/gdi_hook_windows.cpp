#include "host/gdi_hook_windows.h"

#include <algorithm>
#include <cstring>

namespace qem::host {
namespace {

HDC g_dc = nullptr;
gdi::RecordingDc* g_record = nullptr;

gdi::RecordedOp* append(HDC dc, gdi::RecordedKind kind) {
    if (g_record == nullptr || dc != g_dc) return nullptr;
    if (g_record->opCount >= gdi::kRecordedOps) {
        ++g_record->opsDropped;
        return nullptr;
    }
    gdi::RecordedOp& op = g_record->ops[g_record->opCount++];
    op = gdi::RecordedOp{};
    op.kind = kind;
    return &op;
}

// The real functions, as the host itself links them.
using TextOutFn = BOOL(WINAPI*)(HDC, int, int, LPCSTR, int);
using FillRectFn = int(WINAPI*)(HDC, const RECT*, HBRUSH);
using SelectObjectFn = HGDIOBJ(WINAPI*)(HDC, HGDIOBJ);
using SetTextColorFn = COLORREF(WINAPI*)(HDC, COLORREF);
using SetBkModeFn = int(WINAPI*)(HDC, int);
using SetTextAlignFn = UINT(WINAPI*)(HDC, UINT);

BOOL WINAPI recordTextOutA(HDC dc, int x, int y, LPCSTR text, int length) {
    if (gdi::RecordedOp* op = append(dc, gdi::RecTextOut)) {
        op->a = x;
        op->b = y;
        op->textLength = length;
        // Only the bytes the module said it passes are read.
        int kept = text != nullptr ? std::clamp(length, 0, gdi::kRecordedText - 1) : 0;
        if (kept > 0) std::memcpy(op->text, text, static_cast<std::size_t>(kept));
        op->text[kept] = '\0';
        if (kept < length && text != nullptr && g_record->keepText != nullptr)
            g_record->keepText(g_record->reader, g_record->opCount - 1, text, length);
    }
    return TextOutA(dc, x, y, text, length);
}

int WINAPI recordFillRect(HDC dc, const RECT* rect, HBRUSH brush) {
    if (rect != nullptr && rect->right > rect->left && rect->bottom > rect->top) {
        LOGBRUSH lb{};
        if (GetObjectA(brush, sizeof lb, &lb) == sizeof lb) {
            if (gdi::RecordedOp* op = append(dc, gdi::RecFillRect)) {
                op->a = rect->left;
                op->b = rect->top;
                op->c = rect->right;
                op->d = rect->bottom;
                op->colour = lb.lbColor;
            }
        }
    }
    return FillRect(dc, rect, brush);
}

HGDIOBJ WINAPI recordSelectObject(HDC dc, HGDIOBJ object) {
    HGDIOBJ before = SelectObject(dc, object);
    if (object != nullptr) {
        if (gdi::RecordedOp* op = append(dc, gdi::RecSelectObject)) {
            op->handle = reinterpret_cast<HostWord>(object);
            op->a = before != nullptr && before != HGDI_ERROR;
        }
    }
    return before;
}

COLORREF WINAPI recordSetTextColor(HDC dc, COLORREF colour) {
    if (gdi::RecordedOp* op = append(dc, gdi::RecSetTextColor)) op->colour = colour;
    return SetTextColor(dc, colour);
}

int WINAPI recordSetBkMode(HDC dc, int mode) {
    if (gdi::RecordedOp* op = append(dc, gdi::RecSetBkMode)) op->a = mode;
    return SetBkMode(dc, mode);
}

UINT WINAPI recordSetTextAlign(HDC dc, UINT align) {
    if (gdi::RecordedOp* op = append(dc, gdi::RecSetTextAlign)) op->a = static_cast<std::int32_t>(align);
    return SetTextAlign(dc, align);
}

struct Redirect {
    const char* dll;
    const char* name;
    void* recorder;
    void* real;
};

Redirect* redirects() {
    static Redirect table[] = {
        {"gdi32.dll", "TextOutA", reinterpret_cast<void*>(&recordTextOutA), nullptr},
        {"user32.dll", "FillRect", reinterpret_cast<void*>(&recordFillRect), nullptr},
        {"gdi32.dll", "SelectObject", reinterpret_cast<void*>(&recordSelectObject), nullptr},
        {"gdi32.dll", "SetTextColor", reinterpret_cast<void*>(&recordSetTextColor), nullptr},
        {"gdi32.dll", "SetBkMode", reinterpret_cast<void*>(&recordSetBkMode), nullptr},
        {"gdi32.dll", "SetTextAlign", reinterpret_cast<void*>(&recordSetTextAlign), nullptr},
        {nullptr, nullptr, nullptr, nullptr},
    };
    static bool resolved = false;
    if (!resolved) {
        for (Redirect* r = table; r->name != nullptr; ++r)
            if (HMODULE m = GetModuleHandleA(r->dll))
                r->real = reinterpret_cast<void*>(GetProcAddress(m, r->name));
        resolved = true;
    }
    return table;
}

void patch(void** slot, void* value) {
    DWORD old = 0;
    if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old)) return;
    *slot = value;
    VirtualProtect(slot, sizeof *slot, old, &old);
}

} // namespace

void hookModuleDrawing(HMODULE module) {
    if (module == nullptr) return;
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return;
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE) return;
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0 || dir.Size == 0) return;

    Redirect* table = redirects();
    for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); imp->Name != 0; ++imp) {
        const char* dll = reinterpret_cast<const char*>(base + imp->Name);
        auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
        auto* names = imp->OriginalFirstThunk != 0
                          ? reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->OriginalFirstThunk)
                          : nullptr;
        for (; slot->u1.Function != 0; ++slot, names = names != nullptr ? names + 1 : nullptr) {
            for (Redirect* r = table; r->name != nullptr; ++r) {
                if (_stricmp(dll, r->dll) != 0) continue;
                bool match;
                if (names != nullptr && !IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
                    auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
                    match = std::strcmp(reinterpret_cast<const char*>(byName->Name), r->name) == 0;
                } else {
                    match = r->real != nullptr && reinterpret_cast<void*>(slot->u1.Function) == r->real;
                }
                if (match) patch(reinterpret_cast<void**>(&slot->u1.Function), r->recorder);
            }
        }
    }
}

void recordDrawingOn(HDC dc, gdi::RecordingDc* record) {
    g_dc = dc;
    g_record = record;
}

} // namespace qem::host
