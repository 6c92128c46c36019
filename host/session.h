// A session: one module instance driven by the host.
//
// It creates the DSP half and the panel half (either may be left out),
// sets sample rate and block size, reads the pin descriptions, opens the
// DSP half and starts the panel, and closes both in the end. Between, it
// holds the values of every pin, answers every request the halves make
// (and records it), runs the sample clock and delivers events at their
// sample, routes "DSP 2 GUI - Out" to the panel's "DSP 2 GUI - In", and
// paints the panel on request.
//
// Panel pin numbering of a module with both halves: "DSP 2 GUI - Out" is
// panel pin 0 and "DSP 2 GUI - In" panel pin 1; then, in pin-table order,
// every further described pin that carries PinFlagPanel or is a DataList
// pin gets the next index. Pins a panel registers (request 8) follow, in
// the order registered: in a panel-only module they start at 0.
#pragma once

#include "framework/host_interface.h"
#include "host/canvas.h"
#include "host/library.h"
#include "host/signal.h"
#include "host/trace.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qem::host {

enum class Half { Dsp, Panel };

// Something a session cannot do (a step on a half that does not exist, a
// module that schedules calls without end). what() is one line.
class SessionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A pin value as the host holds it: the 32-bit slot (float bits, integer,
// boolean, list value) or the text of a text pin.
struct PinValue {
    std::int32_t bits = 0;
    std::string text;
    bool operator==(const PinValue&) const = default;
};

struct Pin {
    std::string name;
    std::int32_t direction = DirIn;
    std::int32_t dataType = DataFloat;
    std::int32_t flags = 0;
    std::optional<std::string> defaultText;
    std::optional<std::string> listChoices; // as described (8-bit)
    int described = -1; // index of its description (op 6); -1 for a registered panel pin
    int dsp = -1;       // DSP pin index, or -1
    int panel = -1;     // panel pin index, or -1
    void* variable = nullptr; // the DSP half's member (null when it has none or the half is gone)

    PinValue dspValue;     // what the host last wrote into or read from the variable
    PinValue panelValue;   // the panel pin's value
    std::u16string choices; // the panel pin's list choices
    std::vector<float> buffer;     // audio: the current block
    std::optional<Signal> signal;  // audio input: what feeds the buffer

    // Both halves see it, and a write on one side reaches the other.
    bool shared() const { return dsp >= 0 && panel >= 0 && direction != DirOut; }
};

// One request a half made, as recorded.
struct Request {
    Half half = Half::Dsp;
    std::int32_t op = 0;
    HostWord index = 0, value = 0, ptr = 0;
    float opt = 0;
    std::optional<std::string> text; // the text it passed (ptr, or value for the font request)
    std::int32_t eventTime = 0;      // request 19: the time of the event
    HostWord result = 0;
    std::int64_t clock = 0;
};

// The requests a session answered, numbered from 0 in the order made. It
// keeps only the latest: its owner lets the older go once it looks at them
// no more (Session::forgetRequestsBefore), and past `limit` kept requests
// the oldest go anyway, so a long session's log stays small. Reading one
// that is gone is a SessionError; the trace is written as requests are
// made and loses nothing.
class RequestLog {
public:
    explicit RequestLog(std::size_t limit) : limit_(limit > 0 ? limit : 1) {}
    std::size_t size() const { return first_ + kept_.size(); } // made so far, kept or not
    std::size_t firstKept() const { return first_; }
    std::size_t limit() const { return limit_; }
    const Request& operator[](std::size_t n) const;
    // The kept requests, oldest first.
    std::deque<Request>::const_iterator begin() const { return kept_.begin(); }
    std::deque<Request>::const_iterator end() const { return kept_.end(); }

    void add(Request r);
    void forgetBefore(std::size_t n);

private:
    std::deque<Request> kept_;
    std::size_t first_ = 0; // the number of kept_.front()
    std::size_t limit_;
};

struct SessionOptions {
    float sampleRate = 44100.0f;
    int blockSize = 1024;
    int width = 100;                  // PaintInfo width and canvas width
    std::int32_t background = -1;     // FontInfo.backgroundColour: COLORREF, or negative for none
    std::uint32_t panelColour = 0x303030; // the host's panel behind the module's drawing (COLORREF)
    bool autoPaint = true;            // paint after start and whenever a repaint is pending
    std::size_t requestLogLimit = std::size_t(1) << 20; // requests kept at most (see RequestLog)
};

class Session;

// One host request a half may make: the one place that says what the host
// answers and how the trace shows it. Session::requestTable() holds a row
// for every request the host knows; a new request is a new row.
struct RequestKind {
    Half half;
    std::int32_t op;
    const char* name; // as scenarios and the trace name it
    // Answers the request; may keep what it passed in r.text or r.eventTime.
    HostWord (*answer)(Session& session, Request& r, void* ptr);
    // What the trace shows after "req N name(": the arguments, then ") = "
    // and the result (r.result is set by then).
    std::string (*describe)(Session& session, const Request& r, void* ptr);
};

// The row of a request, or null when the host does not know it.
const RequestKind* findRequest(Half half, std::int32_t op);
const RequestKind* findRequest(std::string_view name);

class Session {
public:
    Session(const Library& library, Trace& trace, SessionOptions options = {});
    ~Session(); // closes what is still open
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // --- life ---------------------------------------------------------
    // makeModule for each half asked for. A null record is a LoadError.
    void create(bool dsp, bool panel);
    // Sample rate, block size, pin descriptions, DSP open (op 0), panel
    // start (op 0, index 1 when pinsExist), then a first paint. Creates
    // both halves when none was created.
    void start(bool pinsExist);
    // A new panel instance in place of the old, started with the pins
    // existing (the host keeps the panel pins and their values).
    void reopenPanel();
    void closeDsp();
    void closePanel();
    void closeAll();
    bool hasDsp() const { return dsp_ != nullptr; }
    bool hasPanel() const { return panel_ != nullptr; }
    bool started() const { return started_; }

    // --- settings -----------------------------------------------------
    void setSampleRate(float rate); // before start, or sent at once (op 2)
    void setBlockSize(int size);    // before start only
    void setWidth(int width);
    void setBackground(std::int32_t colour);
    void setAutoPaint(bool on) { options_.autoPaint = on; }
    // Whether the host calls the processing function while the clock runs
    // (on until turned off); events are delivered at their sample either way,
    // as a host delivers them to a module it does not process.
    void setProcessing(bool on) { processing_ = on; }
    const SessionOptions& options() const { return options_; }

    // --- pins ---------------------------------------------------------
    // By name, or "dsp#N" / "panel#N" for a pin index. Null when unknown.
    Pin* findPin(std::string_view ref);
    const std::vector<Pin>& pins() const { return pins_; }
    // The value reaches the DSP variable (with a pin-state event of `state`,
    // unless state is none) and the panel pin (with op 7 for settings and
    // panel-only pins), now or `delay` samples from now.
    void setValue(Pin& pin, const PinValue& value, std::optional<std::int32_t> state, std::int64_t delay = 0);
    // The host's list choices of a panel pin (as request 16 would set them).
    void setChoices(Pin& pin, std::string_view ansi);
    // Feeds an audio input from the current sample on, with a pin-state event.
    void feedAudio(Pin& pin, Signal signal, std::optional<std::int32_t> state);
    // The value the host holds now: the DSP variable, read afresh, or the
    // panel pin's value.
    PinValue readPin(const Pin& pin, Half side);

    // --- time and events ------------------------------------------------
    std::int64_t clock() const { return clock_; }
    // A MIDI message for the DSP half, delivered at `time` (absolute).
    void sendMidi(std::int64_t time, std::int32_t message, std::int16_t extra = 0);
    // Runs the clock: processing stretches between events, events at their
    // sample, blocks refilled at their start.
    void advance(std::int64_t samples);
    void advanceTo(std::int64_t time);
    // Delivers what is due now, then paints if a repaint is pending.
    void settle();
    // The DSP half has made the idle request and no event is queued: until
    // the host sends it something, nothing more happens.
    bool dspAtRest() const { return asleep_ && queue_.empty(); }
    // Called once for every value the DSP half hands the panel (request 0
    // or 21 for "DSP 2 GUI - Out"), after the panel has heard of it (op 7)
    // and, with autopaint on, painted at once if it asked to: a player that
    // prints every report reads shownText() and clock() there.
    void setReportListener(std::function<void()> listener) { reportListener_ = std::move(listener); }

    // --- panel --------------------------------------------------------
    void inputGone(HostWord index);
    void paint();
    bool painted() const { return paints_ > 0; }
    int paints() const { return paints_; }
    const std::string& shownText() const { return shown_; }
    const std::vector<DrawOp>& lastDraw() const { return canvas_->ops(); }
    const Image& lastImage() const { return canvas_->image(); }
    HostWord hostFont() { return canvas_->font(); }

    // --- what happened --------------------------------------------------
    const RequestLog& requests() const { return requests_; }
    // The owner looks at no request numbered below n any more.
    void forgetRequestsBefore(std::size_t n) { requests_.forgetBefore(n); }
    // Host observations about the module (a request for an unknown pin...).
    const std::vector<std::string>& notes() const { return notes_; }

    // Every request the host knows, one row each (see RequestKind).
    static std::span<const RequestKind> requestTable();

    // For tests: the request entry modules are given, and the records.
    static HostCallback callback();
    void* dspRecord() const { return dsp_; }
    void* panelRecord() const { return panel_; }

private:
    struct Queued {
        DspEvent event{};
        int pin = -1;       // a pin whose value is written as the event is delivered
        PinValue value;
    };

    static HostWord QEM_CDECL entry(void* record, std::int32_t op, HostWord index, HostWord value, void* ptr,
                                    float opt);
    HostWord unknownRequest(const Request& r);
    static std::string plainArgs(const Request& r);

    void* makeHalf(Half half, HostWord* id);
    static std::string recordProblem(Half half, const void* record, HostWord id);
    void describe();
    void numberPins();
    void bindDsp();
    HostWord dspCall(std::int32_t op, HostWord index, HostWord value, void* ptr, float opt, const std::string& what);
    HostWord panelCall(std::int32_t op, HostWord index, HostWord value, void* ptr, float opt,
                       const std::string& what);
    void applyValue(Pin& pin, const PinValue& value);
    void deliver(const Queued& q);
    void process(std::int32_t offset, std::int32_t count);
    void afterDspCall();
    void deliverDue();
    void ensureBlock();
    void beginBlock(std::int64_t start);
    void fillAudio(Pin& pin, std::int64_t from);
    void enqueue(Queued q);
    void checkTime(std::int64_t time) const;
    void writeVariable(Pin& pin);
    void forwardToDsp(Pin& pin);
    PinValue readVariable(const Pin& pin) const;
    void routeToPanel(const PinValue& value);
    void note(const std::string& text);
    Pin* panelPin(HostWord index);
    Pin* dspPin(HostWord index);
    std::string fnName(const void* address);
    std::string callName(HostWord address);
    std::string who(Half half) const { return half == Half::Dsp ? "dsp  " : "panel"; }

    const Library& library_;
    Trace& trace_;
    SessionOptions options_;
    std::unique_ptr<Canvas> canvas_;

    DspHostRecord* dsp_ = nullptr;
    GuiHostRecord* panel_ = nullptr;
    HostWord dspId_ = 0, panelId_ = 0;
    ProcessEntry process_ = nullptr;
    bool described_ = false;
    bool started_ = false;
    bool dspOpen_ = false;
    bool panelStarted_ = false;
    bool asleep_ = false;
    bool processing_ = true;
    int dspDepth_ = 0;

    std::vector<Pin> pins_;
    // Every text a DSP text variable was given: a module may keep the
    // pointer (the text monitor hands it on), so none is freed before the
    // session ends.
    std::set<std::string> dspTexts_;
    int panelPinCount_ = 0;
    int dspPinCount_ = 0;
    int canvasHeight_ = 30;

    std::int64_t clock_ = 0;
    std::int64_t blockStart_ = 0;
    bool blockFilled_ = false;
    std::map<std::pair<std::int64_t, std::uint64_t>, Queued> queue_;
    std::uint64_t sequence_ = 0;
    std::vector<int> panelNotices_; // panel pins whose change the panel is still to hear of
    std::function<void()> reportListener_;

    bool repaintPending_ = false;
    int paints_ = 0;
    std::string shown_;

    RequestLog requests_;
    std::vector<std::string> notes_;
    std::map<const void*, int> fnNames_;
    std::map<HostWord, int> callNames_;
};

const char* dataTypeName(std::int32_t type);
const char* directionName(std::int32_t direction);
std::string pinValueText(const Pin& pin, const PinValue& value);

} // namespace qem::host
