// The plug-in boundary: every record and number the host and a module share.
//
// Everything here is plain data. On the real target (32-bit Windows) every
// field is 32 bits wide and sits at the offset the host expects; the
// static_asserts at the end of this file check that wherever pointers are
// 32 bits. On a 64-bit build the address-holding fields widen naturally, so
// the same code runs natively for tests.
//
// Threads: [dsp] marks what the host touches from its audio processing,
// [panel] what it touches from the panel's (GUI) thread.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && defined(__i386__)
#define QEM_CDECL __attribute__((cdecl))
#else
#define QEM_CDECL
#endif

namespace qem {

// A 32-bit argument or result that may carry an address (a text, a record,
// a device context). 32 bits on the target, pointer-sized elsewhere.
using HostWord = std::intptr_t;

// The host's request function. record is the calling half's own host
// record; opt carries a 32-bit float where a request passes one.
using HostCallback = HostWord(QEM_CDECL*)(void* record, std::int32_t op, HostWord index,
                                          HostWord value, void* ptr, float opt);

inline constexpr std::int32_t kInterfaceVersion = 2230;

// ---------------------------------------------------------------------------
// Module description
// ---------------------------------------------------------------------------

// Filled by getModuleProperties. Owned by the host; the texts the module
// writes are constants of the library.
struct ModuleProperties {
    const char* name;              // module name, e.g. "QEM Show Float"
    const char* identifier;        // same pointer as name
    const char* about;             // about text: title, credit, contact, description
    std::int32_t flags;            // written only by modules that set flags (0x40)
    std::int32_t hostReserved;     // never written by the module
    std::int32_t interfaceVersion; // kInterfaceVersion
};

enum ModuleType : std::int32_t {
    ModuleTypeDsp = 1,   // makeModule creates the DSP half
    ModuleTypePanel = 2, // makeModule creates the panel half
};

inline constexpr std::int32_t ModuleFlagVolts = 0x40; // meaning is the host's

// ---------------------------------------------------------------------------
// Pins
// ---------------------------------------------------------------------------

enum PinDataType : std::int32_t {
    DataList = 0,  // bound variable: int16_t, the chosen entry's value
    DataText = 1,  // bound variable: const char*, provided by the host
    DataMidi = 2,  // no variable: messages arrive as events
    DataBool = 4,  // bound variable: one byte, nonzero is true
    DataAudio = 5, // bound variable: const float*, current block
    DataFloat = 6, // bound variable: float
    DataInt = 8,   // bound variable: int32_t
};

enum PinDirection : std::int32_t {
    DirIn = 0,
    DirOut = 1,
    DirSetting = 3,
};

enum PinState : std::int32_t {
    StateStatic = 0,    // the value is not changing
    StateChanged = 1,   // the value changed once
    StateStreaming = 2, // the value changes every sample
};

// Flag bits the framework looks at; the others are the host's.
inline constexpr std::int32_t PinFlagPanel = 0x400;        // belongs to the panel half
inline constexpr std::int32_t PinFlagPanelAndDsp = 0x8000; // panel pin the DSP half binds too

// The flag sets the modules use.
inline constexpr std::int32_t PinFlagsDspToGuiOut = 0x30100; // "DSP 2 GUI - Out"
inline constexpr std::int32_t PinFlagsDspToGuiIn = 0x30500;  // "DSP 2 GUI - In"
inline constexpr std::int32_t PinFlagsInput = 0x20000;       // a module's own input
inline constexpr std::int32_t PinFlagsSetting = 0x28400;     // a setting both halves see

// Description of one pin, filled by getPinProperties [dsp, before open].
// The host zeroes it first; the module writes only the fields it uses.
struct PinProperties {
    void* variable;            // address of the module member holding the value; null for MIDI
    std::int32_t direction;    // PinDirection
    std::int32_t dataType;     // PinDataType
    const char* name;          // pin name
    const char* defaultValue;  // default value as text, or null
    const char* listChoices;   // "word=value,..." for DataList pins, else null
    std::int32_t flags;        // PinFlag bits
    std::int32_t reserved;     // never written
};

// ---------------------------------------------------------------------------
// DSP half
// ---------------------------------------------------------------------------

// A processing function [dsp]: object address (record offset 12), offset of
// the first sample within the current buffers, number of samples.
using ProcessEntry = void(QEM_CDECL*)(void* object, std::int32_t offset, std::int32_t count);

// The processing function as the host is told of it.
struct ProcessFunction {
    ProcessEntry entry;   // code address
    std::int32_t word1;   // 0 in every module
    std::int32_t word2;   // 0 in every module
    std::int32_t word3;   // 0 in every module
};

inline bool operator==(const ProcessFunction& a, const ProcessFunction& b) {
    return a.entry == b.entry && a.word1 == b.word1 && a.word2 == b.word2 && a.word3 == b.word3;
}

// Returned by DSP dispatcher op 13; stays valid after the call.
struct ProcessFunctionInfo {
    std::int32_t one;                 // 1
    std::int32_t size;                // 16, the size of a ProcessFunction
    const ProcessFunction* function;  // the object's current processing function
    std::int32_t zero;                // 0
};

enum DspEventType : std::int32_t {
    PinStateEvent = 0,
    MidiEvent = 2,
    CallEvent = 21,
};

// An event handed to the event entry, or passed with request 19 [dsp].
struct DspEvent {
    std::int32_t time;    // sample clock at which the event takes effect
    std::int32_t type;    // DspEventType; other types are ignored
    std::int32_t value1;  // pin state, or the packed MIDI message
    std::int32_t value2;  // MIDI: a 16-bit extra value in the low half
    HostWord value3;      // pin-state: DSP pin index; call: code address of the operation
    std::int32_t reserved; // 0 in events the modules build
};

using DspDispatcherEntry = HostWord(QEM_CDECL*)(void* record, std::int32_t op, HostWord index,
                                                HostWord value, void* ptr, float opt);
using DspEventEntry = void(QEM_CDECL*)(void* object, DspEvent* event);

inline constexpr std::uint32_t kDspRecordMagic = 0x5345504C; // "SEPL"
inline constexpr std::uint32_t kPanelRecordMagic = 0x5345504D; // "SEPM"

// The DSP half's host-facing record, embedded in the object; zeroed, then
// filled at construction. Only `process` changes afterwards.
struct DspHostRecord {
    std::uint32_t magic;          // kDspRecordMagic
    std::int32_t version;         // 1
    HostWord hostValue;           // makeModule's hostValue, kept for the host
    void* object;                 // the DSP-half object (first argument of process/event)
    HostWord reserved16;          // 0
    DspDispatcherEntry dispatcher; // dispatcher entry [main and dsp]
    ProcessEntry process;         // current processing function [dsp]
    DspEventEntry event;          // event entry [dsp]
    std::int32_t reserved32[4];   // 0
};

// DSP dispatcher ops.
enum DspOp : std::int32_t {
    DspOpOpen = 0,
    DspOpClose = 1,
    DspOpSetSampleRate = 2,
    DspOpSetBlockSize = 3,
    DspOpGetPinProperties = 6,
    DspOpHook8 = 8,
    DspOpHook12 = 12,
    DspOpProcessInfo = 13,
};

// Requests of the DSP half.
enum DspRequest : std::int32_t {
    DspReqPinState = 0,      // index pin, value state, ptr clock
    DspReqSampleClock = 3,   // result: current sample clock
    DspReqIdle = 10,         // nothing left to compute
    DspReqPinCount = 14,     // result: pins the host holds for this half
    DspReqScheduleCall = 19, // ptr: a DspEvent of type CallEvent, copied at once
    DspReqSendText = 21,     // index pin, ptr text: to panel pin "DSP 2 GUI - In"
    DspReqProcessChanged = 22, // re-read the processing function at record offset 24
};

// ---------------------------------------------------------------------------
// Panel half
// ---------------------------------------------------------------------------

using PanelDispatcherEntry = HostWord(QEM_CDECL*)(void* record, std::int32_t op, HostWord index,
                                                  HostWord value, void* ptr, float opt);

// The panel half's host-facing record, embedded in the object; zeroed, then
// filled at construction; never changed afterwards.
struct GuiHostRecord {
    std::uint32_t magic;             // kPanelRecordMagic
    std::int32_t version;            // 1
    PanelDispatcherEntry dispatcher; // dispatcher entry [panel]
    HostWord hostValue;              // makeModule's hostValue
    void* object;                    // the panel-half object
    std::int32_t reserved[5];        // 0
};

// The record passed with panel op 2. The panel reads words 0 and 2 only.
struct PaintInfo {
    std::int32_t width;        // word 0: panel width in pixels
    std::int32_t hostWord1;    // word 1: the host's
    HostWord fontSelector;     // word 2: passed back as the index of request 10
    std::int32_t hostWords[5]; // the host's
};

// Filled by the host during request 10. The panel reads backgroundColour
// only; the other bytes are the host's (the reference host documents its use).
struct FontInfo {
    std::int32_t hostWord0;
    std::int32_t hostWord1;
    std::int32_t backgroundColour; // COLORREF 0x00BBGGRR, or negative for no band
    std::uint8_t hostBytes[108];
};

// Panel dispatcher ops.
enum PanelOp : std::int32_t {
    PanelOpStart = 0,
    PanelOpClose = 1,
    PanelOpPaint = 2,
    PanelOp3 = 3,
    PanelOp4 = 4,
    PanelOp5 = 5,
    PanelOp6 = 6,
    PanelOpPinValueChanged = 7,
    PanelOp8 = 8,
    PanelOp9 = 9,
    PanelOp10 = 10,
    PanelOp11 = 11,
    PanelOpInputGone = 12,
};

// Requests of the panel half.
enum PanelRequest : std::int32_t {
    PanelReqRepaint = 0,
    PanelReqSetup3 = 3,      // index 100, value 30 at construction
    PanelReqSetup4 = 4,      // index 1 at construction
    PanelReqSetText = 6,     // index pin, ptr text
    PanelReqGetText = 7,     // index pin; result: terminated text
    PanelReqAddPin = 8,      // index data type, value direction, ptr name
    PanelReqFont = 10,       // index selector, value "tty", ptr FontInfo; result font handle
    PanelReqSetup11 = 11,    // at construction
    PanelReqGetValue = 14,   // index pin, ptr a 32-bit slot
    PanelReqSetValue = 15,   // index pin, integer in value or float in opt
    PanelReqSetChoices = 16, // index list pin, value 1000, ptr text
    PanelReqGetChoices = 17, // index list pin, value 1000, ptr UTF-16 buffer
};

inline constexpr int kChoicesCapacity = 1000; // UTF-16 units / bytes of a list text

// ---------------------------------------------------------------------------
// The two exports
// ---------------------------------------------------------------------------

using GetModulePropertiesFn = std::int32_t(QEM_CDECL*)(std::int32_t index, ModuleProperties* props);
using MakeModuleFn = void*(QEM_CDECL*)(std::int32_t index, std::int32_t type, HostCallback callback,
                                       HostWord hostValue);

// ---------------------------------------------------------------------------
// The layout the host relies on, checked where pointers are 32 bits.
// ---------------------------------------------------------------------------
#define QEM_AT(type, field, offset) static_assert(offsetof(type, field) == (offset), #type "." #field)
static_assert(sizeof(float) == 4 && sizeof(std::int32_t) == 4);
static_assert(sizeof(ProcessFunction) == 4 * sizeof(void*) || sizeof(void*) == 8);
#if UINTPTR_MAX == 0xFFFFFFFFu
QEM_AT(ModuleProperties, name, 0);
QEM_AT(ModuleProperties, identifier, 4);
QEM_AT(ModuleProperties, about, 8);
QEM_AT(ModuleProperties, flags, 12);
QEM_AT(ModuleProperties, hostReserved, 16);
QEM_AT(ModuleProperties, interfaceVersion, 20);
static_assert(sizeof(ModuleProperties) == 24);

QEM_AT(PinProperties, variable, 0);
QEM_AT(PinProperties, direction, 4);
QEM_AT(PinProperties, dataType, 8);
QEM_AT(PinProperties, name, 12);
QEM_AT(PinProperties, defaultValue, 16);
QEM_AT(PinProperties, listChoices, 20);
QEM_AT(PinProperties, flags, 24);
QEM_AT(PinProperties, reserved, 28);
static_assert(sizeof(PinProperties) == 32);

static_assert(sizeof(ProcessFunction) == 16);
static_assert(sizeof(ProcessFunctionInfo) == 16);
QEM_AT(ProcessFunctionInfo, function, 8);

QEM_AT(DspEvent, time, 0);
QEM_AT(DspEvent, type, 4);
QEM_AT(DspEvent, value1, 8);
QEM_AT(DspEvent, value2, 12);
QEM_AT(DspEvent, value3, 16);
QEM_AT(DspEvent, reserved, 20);
static_assert(sizeof(DspEvent) == 24);

QEM_AT(DspHostRecord, magic, 0);
QEM_AT(DspHostRecord, version, 4);
QEM_AT(DspHostRecord, hostValue, 8);
QEM_AT(DspHostRecord, object, 12);
QEM_AT(DspHostRecord, reserved16, 16);
QEM_AT(DspHostRecord, dispatcher, 20);
QEM_AT(DspHostRecord, process, 24);
QEM_AT(DspHostRecord, event, 28);
QEM_AT(DspHostRecord, reserved32, 32);
static_assert(sizeof(DspHostRecord) == 48);

QEM_AT(GuiHostRecord, magic, 0);
QEM_AT(GuiHostRecord, version, 4);
QEM_AT(GuiHostRecord, dispatcher, 8);
QEM_AT(GuiHostRecord, hostValue, 12);
QEM_AT(GuiHostRecord, object, 16);
QEM_AT(GuiHostRecord, reserved, 20);
static_assert(sizeof(GuiHostRecord) == 40);

QEM_AT(PaintInfo, width, 0);
QEM_AT(PaintInfo, fontSelector, 8);
#endif
QEM_AT(FontInfo, backgroundColour, 8);
static_assert(sizeof(FontInfo) == 120);
#undef QEM_AT

} // namespace qem
