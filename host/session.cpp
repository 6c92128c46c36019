#include "host/session.h"

#include "host/text.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <span>

namespace qem::host {
namespace {

constexpr std::size_t kTextBound = 65536; // texts a module hands over (pin texts, list choices)
constexpr std::size_t kNameBound = 1024;  // pin names
constexpr int kMaxDescribedPins = 256;
constexpr std::size_t kMaxQueued = 1 << 20;
constexpr int kMaxDeliveriesAtOneSample = 100000;
constexpr const char* kDspToGuiOut = "DSP 2 GUI - Out";
constexpr const char* kDspToGuiIn = "DSP 2 GUI - In";

// Every half ever made, by the host value it was given: the request entry
// finds its session through the host value in the half's record.
struct HalfEntry {
    Session* session;
    Half half;
};
std::map<HostWord, HalfEntry>& registry() {
    static std::map<HostWord, HalfEntry> halves;
    return halves;
}
HostWord nextId() {
    static HostWord id = 0x51E0;
    return ++id;
}

std::int32_t parseDefault(std::int32_t type, const std::string& text) {
    if (type == DataFloat) {
        if (auto f = parseFloat(text)) return std::bit_cast<std::int32_t>(*f);
        // "0." and the like: read as far as a number goes.
        if (auto d = parseDouble(text.substr(0, text.find_first_not_of("+-0123456789.eE"))))
            return std::bit_cast<std::int32_t>(static_cast<float>(*d));
        return 0;
    }
    if (text == "true" || text == "TRUE") return 1;
    if (auto i = parseInteger(text)) return static_cast<std::int32_t>(*i);
    return 0;
}

} // namespace

const char* dataTypeName(std::int32_t type) {
    switch (type) {
    case DataList: return "list";
    case DataText: return "text";
    case DataMidi: return "midi";
    case DataBool: return "bool";
    case DataAudio: return "audio";
    case DataFloat: return "float";
    case DataInt: return "int";
    default: return "?";
    }
}

const char* directionName(std::int32_t direction) {
    switch (direction) {
    case DirIn: return "in";
    case DirOut: return "out";
    case DirSetting: return "setting";
    default: return "?";
    }
}

std::string pinValueText(const Pin& pin, const PinValue& v) {
    switch (pin.dataType) {
    case DataFloat: return floatString(std::bit_cast<float>(v.bits));
    case DataText: return quoteText(v.text);
    case DataAudio: return "(audio)";
    case DataMidi: return "(midi)";
    default: return std::to_string(v.bits);
    }
}

// ---------------------------------------------------------------------------
// Life
// ---------------------------------------------------------------------------

const Request& RequestLog::operator[](std::size_t n) const {
    if (n < first_ || n >= size())
        throw SessionError("request " + std::to_string(n) + " is not kept (the log holds " + std::to_string(first_) +
                           " to " + std::to_string(size()) + ", at most " + std::to_string(limit_) + ")");
    return kept_[n - first_];
}

void RequestLog::add(Request r) {
    if (kept_.size() >= limit_) forgetBefore(size() - limit_ + 1);
    kept_.push_back(std::move(r));
}

void RequestLog::forgetBefore(std::size_t n) {
    for (; first_ < n && !kept_.empty(); ++first_) kept_.pop_front();
}

Session::Session(const Library& library, Trace& trace, SessionOptions options)
    : library_(library), trace_(trace), options_(options), canvas_(Canvas::create()),
      requests_(options.requestLogLimit) {
    trace_.setClock([this] { return clock_; });
}

Session::~Session() {
    try {
        closeAll();
    } catch (...) {
    }
    for (HostWord id : {dspId_, panelId_}) registry().erase(id);
    trace_.setClock(nullptr);
}

HostCallback Session::callback() { return &Session::entry; }

void* Session::makeHalf(Half half, HostWord* id) {
    *id = nextId();
    registry()[*id] = {this, half};
    std::int32_t type = half == Half::Dsp ? ModuleTypeDsp : ModuleTypePanel;
    trace_.begin(who(half), "makeModule(0, " + std::to_string(type) + ")");
    void* record = library_.makeModule()(0, type, &Session::entry, *id);
    trace_.end(record != nullptr ? (half == Half::Dsp ? "DSP record" : "panel record") : "null");
    if (record == nullptr) {
        registry().erase(*id);
        *id = 0;
        throw LoadError(library_.path(), std::string("makeModule(0, ") + std::to_string(type) + ") returned null: no " +
                                             (half == Half::Dsp ? "DSP" : "panel") + " half");
    }
    if (std::string problem = recordProblem(half, record, *id); !problem.empty()) {
        // Nothing of a record that is not one is called, not even its close.
        registry().erase(*id);
        *id = 0;
        throw LoadError(library_.path(), std::string("makeModule(0, ") + std::to_string(type) + ") returned " +
                                             (half == Half::Dsp ? "a DSP" : "a panel") + " record that " + problem);
    }
    return record;
}

// What is wrong with a record makeModule returned: its magic, its version,
// the host value it was to keep, an entry point left null (the processing
// function may be: open installs it). Empty when it is sound.
std::string Session::recordProblem(Half half, const void* record, HostWord id) {
    std::uint32_t magic;
    std::int32_t version;
    std::memcpy(&magic, record, sizeof magic);
    std::memcpy(&version, static_cast<const char*>(record) + 4, sizeof version);
    const std::uint32_t want = half == Half::Dsp ? kDspRecordMagic : kPanelRecordMagic;
    if (magic != want) return "has the magic " + hexString(magic) + " (" + hexString(want) + " expected)";
    if (version != 1) return "is of version " + std::to_string(version) + " (1 expected)";
    if (half == Half::Dsp) {
        DspHostRecord r;
        std::memcpy(&r, record, sizeof r);
        if (r.hostValue != id) return "does not keep the host value it was given";
        if (r.dispatcher == nullptr) return "has no dispatcher";
        if (r.event == nullptr) return "has no event entry";
    } else {
        GuiHostRecord r;
        std::memcpy(&r, record, sizeof r);
        if (r.hostValue != id) return "does not keep the host value it was given";
        if (r.dispatcher == nullptr) return "has no dispatcher";
    }
    return {};
}

void Session::create(bool dsp, bool panel) {
    if (started_) throw SessionError("the halves are created before start");
    if (dsp && dsp_ == nullptr) {
        dsp_ = static_cast<DspHostRecord*>(makeHalf(Half::Dsp, &dspId_));
        process_ = dsp_->process;
        fnName(reinterpret_cast<const void*>(process_));
    }
    if (panel && panel_ == nullptr) panel_ = static_cast<GuiHostRecord*>(makeHalf(Half::Panel, &panelId_));
}

void Session::describe() {
    if (described_) return;
    described_ = true;
    DspHostRecord* record = dsp_;
    HostWord transientId = 0;
    if (record == nullptr) {
        // A panel alone still needs the pin table: read it from a DSP half
        // made for the purpose, as a host reads a module's pins once.
        try {
            record = static_cast<DspHostRecord*>(makeHalf(Half::Dsp, &transientId));
        } catch (const LoadError&) {
            return; // no DSP half: the panel registers what it needs
        }
    }
    for (int i = 0; i < kMaxDescribedPins; ++i) {
        PinProperties props{};
        trace_.begin("dsp  ", "op 6 getPinProperties(index=" + std::to_string(i) + ")");
        HostWord ok = record->dispatcher(record, DspOpGetPinProperties, i, 0, &props, 0.0f);
        if (ok == 0) {
            trace_.end("0");
            break;
        }
        Pin pin;
        pin.name = boundedText(props.name, kNameBound);
        pin.direction = props.direction;
        pin.dataType = props.dataType;
        pin.flags = props.flags;
        if (props.defaultValue != nullptr) pin.defaultText = boundedText(props.defaultValue, kTextBound);
        if (props.listChoices != nullptr) pin.listChoices = boundedText(props.listChoices, kTextBound);
        pin.described = i;
        pin.variable = record == dsp_ ? props.variable : nullptr;
        std::string summary = quoteText(pin.name) + " " + directionName(pin.direction) + " " + dataTypeName(pin.dataType) +
                              " flags=" + hexString(static_cast<std::uint32_t>(pin.flags), 5);
        if (pin.defaultText) summary += " default=" + quoteText(*pin.defaultText);
        if (pin.listChoices) summary += " choices=" + quoteText(*pin.listChoices);
        if (props.variable == nullptr && pin.dataType != DataMidi) summary += " no variable";
        trace_.end("1 " + summary);
        pins_.push_back(std::move(pin));
    }
    if (transientId != 0) {
        trace_.begin("dsp  ", "op 1 close");
        HostWord r = record->dispatcher(record, DspOpClose, 0, 0, nullptr, 0.0f);
        trace_.end(std::to_string(r));
        registry().erase(transientId);
    }
    numberPins();
}

void Session::numberPins() {
    // DSP indexes: every pin but those of the panel alone, in table order.
    for (Pin& p : pins_) {
        bool panelOnly = (p.flags & PinFlagPanel) != 0 && (p.flags & PinFlagPanelAndDsp) == 0;
        if (!panelOnly) p.dsp = dspPinCount_++;
    }
    // Panel indexes: the two hand-over pins first, then panel and list pins.
    for (const char* name : {kDspToGuiOut, kDspToGuiIn}) {
        for (Pin& p : pins_)
            if (p.panel < 0 && p.name == name) {
                p.panel = panelPinCount_++;
                break;
            }
    }
    for (Pin& p : pins_) {
        if (p.panel >= 0) continue;
        if ((p.flags & PinFlagPanel) != 0 || p.dataType == DataList) p.panel = panelPinCount_++;
    }
    // Initial values: the described defaults, and list choices as UTF-16.
    for (Pin& p : pins_) {
        if (p.defaultText) {
            if (p.dataType == DataText) {
                p.dspValue.text = p.panelValue.text = *p.defaultText;
            } else {
                p.dspValue.bits = p.panelValue.bits = parseDefault(p.dataType, *p.defaultText);
            }
        }
        if (p.listChoices) p.choices = ansiToWide(*p.listChoices);
    }
}

void Session::bindDsp() {
    for (Pin& p : pins_) {
        if (p.dsp < 0 || p.variable == nullptr) continue;
        if (p.dataType == DataAudio) {
            p.buffer.assign(static_cast<std::size_t>(options_.blockSize), 0.0f);
            const float* data = p.buffer.data();
            std::memcpy(p.variable, &data, sizeof data);
            continue;
        }
        if (p.direction != DirOut) writeVariable(p);
    }
}

void Session::start(bool pinsExist) {
    if (started_) throw SessionError("already started (reopen starts a new panel instance)");
    if (dsp_ == nullptr && panel_ == nullptr) create(true, true);
    started_ = true;
    if (dsp_ != nullptr) {
        dspCall(DspOpSetSampleRate, 0, 0, nullptr, options_.sampleRate,
                "op 2 setSampleRate(opt=" + floatString(options_.sampleRate) + ")");
        dspCall(DspOpSetBlockSize, 0, options_.blockSize, nullptr, 0.0f,
                "op 3 setBlockSize(value=" + std::to_string(options_.blockSize) + ")");
    }
    describe();
    if (dsp_ != nullptr) {
        bindDsp();
        beginBlock(clock_);
        dspCall(DspOpOpen, 0, 0, nullptr, 0.0f, "op 0 open");
        dspOpen_ = dsp_ != nullptr;
        afterDspCall();
    }
    if (panel_ != nullptr) {
        panelCall(PanelOpStart, pinsExist ? 1 : 0, 0, nullptr, 0.0f,
                  std::string("op 0 start(index=") + (pinsExist ? "1: pins exist" : "0: fresh") + ")");
        panelStarted_ = panel_ != nullptr;
    }
    deliverDue();
    if (options_.autoPaint && panel_ != nullptr) paint();
}

void Session::reopenPanel() {
    if (!started_) throw SessionError("reopen needs a started session");
    closePanel();
    panel_ = static_cast<GuiHostRecord*>(makeHalf(Half::Panel, &panelId_));
    panelCall(PanelOpStart, 1, 0, nullptr, 0.0f, "op 0 start(index=1: pins exist)");
    panelStarted_ = panel_ != nullptr;
    settle();
    if (options_.autoPaint && panel_ != nullptr) paint();
}

void Session::closeDsp() {
    if (dsp_ == nullptr) return;
    dspCall(DspOpClose, 0, 0, nullptr, 0.0f, "op 1 close");
    dsp_ = nullptr;
    dspOpen_ = false;
    registry().erase(dspId_);
    dspId_ = 0;
    queue_.clear(); // every queued event was for the DSP half
    for (Pin& p : pins_) p.variable = nullptr;
    afterDspCall();
}

void Session::closePanel() {
    if (panel_ == nullptr) return;
    panelCall(PanelOpClose, 0, 0, nullptr, 0.0f, "op 1 close");
    panel_ = nullptr;
    panelStarted_ = false;
    repaintPending_ = false;
    registry().erase(panelId_);
    panelId_ = 0;
}

void Session::closeAll() {
    closeDsp();
    closePanel();
}

// ---------------------------------------------------------------------------
// Settings
// ---------------------------------------------------------------------------

void Session::setSampleRate(float rate) {
    if (!(rate > 0) || !std::isfinite(rate)) throw SessionError("the sample rate must be a finite number above 0");
    options_.sampleRate = rate;
    if (started_ && dsp_ != nullptr) {
        dspCall(DspOpSetSampleRate, 0, 0, nullptr, rate, "op 2 setSampleRate(opt=" + floatString(rate) + ")");
        afterDspCall();
    }
}

void Session::setBlockSize(int size) {
    if (started_) throw SessionError("the block size is set before start");
    if (size < 1 || size > 1 << 20) throw SessionError("the block size must be 1 to 1048576");
    options_.blockSize = size;
}

void Session::setWidth(int width) {
    if (width < 0 || width > 4096) throw SessionError("the width must be 0 to 4096");
    options_.width = width;
}

void Session::setBackground(std::int32_t colour) { options_.background = colour; }

// ---------------------------------------------------------------------------
// Pins
// ---------------------------------------------------------------------------

Pin* Session::findPin(std::string_view ref) {
    auto indexed = [&](std::string_view prefix, int Pin::*field) -> Pin* {
        auto n = parseInteger(ref.substr(prefix.size()));
        if (!n || *n < 0) return nullptr; // -1 stands for "no index" in Pin
        for (Pin& p : pins_)
            if (p.*field == *n) return &p;
        return nullptr;
    };
    if (ref.substr(0, 4) == "dsp#") return indexed("dsp#", &Pin::dsp);
    if (ref.substr(0, 6) == "panel#") return indexed("panel#", &Pin::panel);
    for (Pin& p : pins_)
        if (p.name == ref) return &p;
    return nullptr;
}

Pin* Session::panelPin(HostWord index) {
    for (Pin& p : pins_)
        if (p.panel >= 0 && p.panel == index) return &p;
    return nullptr;
}

Pin* Session::dspPin(HostWord index) {
    for (Pin& p : pins_)
        if (p.dsp >= 0 && p.dsp == index) return &p;
    return nullptr;
}

// A panel write to a pin both halves see: the DSP variable takes the value
// and, once the DSP half is open, hears of it with a pin-state event.
void Session::forwardToDsp(Pin& pin) {
    writeVariable(pin);
    if (!dspOpen_) return;
    Queued q;
    q.event = {static_cast<std::int32_t>(clock_), PinStateEvent, StateChanged, 0, pin.dsp, 0};
    enqueue(std::move(q));
}

void Session::writeVariable(Pin& p) {
    if (p.variable == nullptr) return;
    switch (p.dataType) {
    case DataFloat:
    case DataInt: std::memcpy(p.variable, &p.dspValue.bits, 4); break;
    case DataBool: *static_cast<std::uint8_t*>(p.variable) = static_cast<std::uint8_t>(p.dspValue.bits & 0xFF); break;
    case DataList: {
        auto v = static_cast<std::int16_t>(p.dspValue.bits);
        std::memcpy(p.variable, &v, sizeof v);
        break;
    }
    case DataText: {
        const char* data = dspTexts_.insert(p.dspValue.text).first->c_str();
        std::memcpy(p.variable, &data, sizeof data);
        break;
    }
    default: break;
    }
}

PinValue Session::readVariable(const Pin& p) const {
    PinValue v = p.dspValue;
    if (p.variable == nullptr) return v;
    switch (p.dataType) {
    case DataFloat:
    case DataInt: std::memcpy(&v.bits, p.variable, 4); break;
    case DataBool: v.bits = *static_cast<const std::uint8_t*>(p.variable); break;
    case DataList: {
        std::int16_t s;
        std::memcpy(&s, p.variable, sizeof s);
        v.bits = s;
        break;
    }
    case DataText: {
        const char* text;
        std::memcpy(&text, p.variable, sizeof text);
        v.text = boundedText(text, kTextBound);
        break;
    }
    default: break;
    }
    return v;
}

PinValue Session::readPin(const Pin& pin, Half side) {
    if (side == Half::Dsp) return pin.dsp >= 0 && dsp_ != nullptr ? readVariable(pin) : pin.dspValue;
    return pin.panelValue;
}

void Session::setValue(Pin& pin, const PinValue& value, std::optional<std::int32_t> state, std::int64_t delay) {
    if (pin.dataType == DataMidi || pin.dataType == DataAudio)
        throw SessionError(quoteText(pin.name) + " is " + (pin.dataType == DataMidi ? "a MIDI" : "an audio") +
                           " pin: use " + (pin.dataType == DataMidi ? "midi" : "audio"));
    if (delay < 0) throw SessionError("a value cannot be set in the past");
    checkTime(clock_ + delay);
    if (pin.dsp < 0 && pin.panel < 0) throw SessionError(quoteText(pin.name) + " is a pin of neither half");
    std::optional<std::int32_t> event = pin.dsp >= 0 ? state : std::nullopt;
    Queued q;
    q.event = {static_cast<std::int32_t>(clock_ + delay), event ? PinStateEvent : -1, event.value_or(0), 0, pin.dsp, 0};
    if (delay > 0) {
        // Both sides take the value when its time comes.
        q.pin = static_cast<int>(&pin - pins_.data());
        q.value = value;
        enqueue(std::move(q));
        return;
    }
    applyValue(pin, value);
    if (event && dsp_ != nullptr) enqueue(std::move(q));
}

void Session::applyValue(Pin& pin, const PinValue& value) {
    if (pin.dsp >= 0) {
        pin.dspValue = value;
        writeVariable(pin);
    }
    if (pin.panel >= 0) {
        pin.panelValue = value;
        // The panel hears of its own pins and of settings; an input of the
        // DSP side reaches it through the DSP half.
        bool notify = pin.dsp < 0 || pin.direction == DirSetting;
        if (notify && panelStarted_) {
            panelCall(PanelOpPinValueChanged, pin.panel, 0, nullptr, 0.0f,
                      trace_.on() ? "op 7 pinValueChanged(index=" + std::to_string(pin.panel) + ")" : std::string());
        }
    }
}

void Session::setChoices(Pin& pin, std::string_view ansi) {
    if (pin.panel < 0) throw SessionError(quoteText(pin.name) + " is not a panel pin");
    pin.choices = ansiToWide(ansi);
}

void Session::feedAudio(Pin& pin, Signal signal, std::optional<std::int32_t> state) {
    if (pin.dataType != DataAudio) throw SessionError(quoteText(pin.name) + " is not an audio pin");
    if (pin.dsp < 0) throw SessionError(quoteText(pin.name) + " is not a DSP pin");
    if (!started_) throw SessionError("audio is fed after start");
    ensureBlock();
    signal.startAt(clock_);
    pin.signal = std::move(signal);
    fillAudio(pin, clock_);
    trace_.line("host ", "audio " + quoteText(pin.name) + " " + pin.signal->describe());
    if (state && dsp_ != nullptr) {
        Queued q;
        q.event = {static_cast<std::int32_t>(clock_), PinStateEvent, *state, 0, pin.dsp, 0};
        enqueue(std::move(q));
    }
}

// ---------------------------------------------------------------------------
// Time and events
// ---------------------------------------------------------------------------

// Event times are 32-bit samples: a time past the clock's end would wrap
// and come due at once.
void Session::checkTime(std::int64_t time) const {
    if (time > 0x7FFFFFFF)
        throw SessionError("sample " + std::to_string(time) + " is past the end of the 32-bit sample clock (2147483647)");
}

void Session::enqueue(Queued q) {
    if (queue_.size() >= kMaxQueued) throw SessionError("more than a million events queued");
    std::int64_t time = q.event.time;
    queue_.emplace(std::make_pair(time, sequence_++), std::move(q));
}

void Session::sendMidi(std::int64_t time, std::int32_t message, std::int16_t extra) {
    if (dsp_ == nullptr) throw SessionError("MIDI needs a DSP half");
    if (time < clock_) time = clock_;
    checkTime(time);
    Queued q;
    q.event = {static_cast<std::int32_t>(time), MidiEvent, message, static_cast<std::uint16_t>(extra), 0, 0};
    enqueue(std::move(q));
}

void Session::beginBlock(std::int64_t start) {
    blockStart_ = start;
    blockFilled_ = true;
    for (Pin& p : pins_) {
        if (p.dataType != DataAudio || p.buffer.empty()) continue;
        if (p.signal && p.direction != DirOut) fillAudio(p, start);
        else std::fill(p.buffer.begin(), p.buffer.end(), 0.0f);
    }
}

void Session::ensureBlock() {
    if (!blockFilled_ || clock_ >= blockStart_ + options_.blockSize) {
        if (blockFilled_ && repaintPending_ && options_.autoPaint && panelStarted_) paint(); // a frame per block
        beginBlock(clock_);
    }
}

void Session::fillAudio(Pin& p, std::int64_t from) {
    if (!p.signal || p.buffer.empty()) return;
    std::int64_t first = std::max<std::int64_t>(from - blockStart_, 0);
    for (std::int64_t i = first; i < static_cast<std::int64_t>(p.buffer.size()); ++i)
        p.buffer[static_cast<std::size_t>(i)] = p.signal->at(blockStart_ + i);
}

void Session::deliver(const Queued& q) {
    if (q.pin >= 0) applyValue(pins_[static_cast<std::size_t>(q.pin)], q.value);
    if (q.event.type < 0 || dsp_ == nullptr || !dspOpen_) return;
    DspEvent event = q.event; // the module may only use it during the call
    std::string what; // for the trace only
    if (trace_.on()) switch (event.type) {
    case PinStateEvent:
        what = "event pinState(time=" + std::to_string(event.time) + ", pin=" + std::to_string(event.value3) +
               ", state=" + std::to_string(event.value1) + ")";
        break;
    case MidiEvent:
        what = "event midi(time=" + std::to_string(event.time) + ", message=" +
               hexString(static_cast<std::uint32_t>(event.value1), 6) + ", extra=" + std::to_string(event.value2) + ")";
        break;
    case CallEvent:
        what = "event call(time=" + std::to_string(event.time) + ", " + callName(event.value3) + ")";
        break;
    default: what = "event type " + std::to_string(event.type); break;
    }
    asleep_ = false; // an event wakes a half that went idle
    ++dspDepth_;
    trace_.begin("dsp  ", what);
    dsp_->event(dsp_->object, &event);
    trace_.end("");
    --dspDepth_;
    afterDspCall();
}

void Session::process(std::int32_t offset, std::int32_t count) {
    if (dsp_ == nullptr || !dspOpen_ || process_ == nullptr || asleep_ || !processing_ || count <= 0) return;
    ++dspDepth_;
    if (trace_.on())
        trace_.begin("dsp  ", "process " + fnName(reinterpret_cast<const void*>(process_)) + "(offset=" +
                                  std::to_string(offset) + ", count=" + std::to_string(count) + ")");
    process_(dsp_->object, offset, count);
    trace_.end("");
    --dspDepth_;
    afterDspCall();
}

void Session::deliverDue() {
    int delivered = 0;
    std::int64_t at = clock_;
    while (!queue_.empty() && queue_.begin()->first.first <= clock_) {
        ensureBlock();
        Queued q = std::move(queue_.begin()->second);
        queue_.erase(queue_.begin());
        if (++delivered > kMaxDeliveriesAtOneSample)
            throw SessionError("the module keeps scheduling calls at sample " + std::to_string(at) +
                               " (more than 100000 events at one sample)");
        deliver(q);
    }
    afterDspCall();
}

void Session::advance(std::int64_t samples) {
    if (samples < 0) throw SessionError("the clock does not run backwards");
    advanceTo(clock_ + samples);
}

void Session::advanceTo(std::int64_t target) {
    if (target > 0x7FFFFFFF) throw SessionError("the sample clock would pass 2^31 - 1");
    if (target < clock_) throw SessionError("the clock does not run backwards");
    if (!started_) {
        clock_ = target;
        return;
    }
    while (clock_ < target) {
        ensureBlock();
        deliverDue();
        std::int64_t end = std::min(target, blockStart_ + options_.blockSize);
        if (!queue_.empty()) end = std::min(end, std::max(queue_.begin()->first.first, clock_ + 1));
        process(static_cast<std::int32_t>(clock_ - blockStart_), static_cast<std::int32_t>(end - clock_));
        clock_ = end;
    }
    settle();
}

void Session::settle() {
    deliverDue();
    if (options_.autoPaint && repaintPending_ && panelStarted_) paint();
}

// After a call into the DSP half: the panel hears of the pins the DSP half
// changed (a host hands them to its panel thread the same way, after the
// audio call).
void Session::afterDspCall() {
    if (dspDepth_ > 0) return;
    std::vector<int> notices;
    notices.swap(panelNotices_);
    for (int index : notices) {
        if (!panelStarted_ || panel_ == nullptr) break;
        panelCall(PanelOpPinValueChanged, index, 0, nullptr, 0.0f,
                  trace_.on() ? "op 7 pinValueChanged(index=" + std::to_string(index) + ")" : std::string());
        if (reportListener_) {
            if (options_.autoPaint && repaintPending_) paint();
            reportListener_();
        }
    }
}

void Session::routeToPanel(const PinValue& value) {
    Pin* in = panelPin(1);
    if (in == nullptr) return;
    in->panelValue = value;
    panelNotices_.push_back(1);
}

// ---------------------------------------------------------------------------
// Panel
// ---------------------------------------------------------------------------

void Session::inputGone(HostWord index) {
    if (panel_ == nullptr) throw SessionError("there is no panel half");
    panelCall(PanelOpInputGone, index, 0, nullptr, 0.0f, "op 12 inputGone(index=" + std::to_string(index) + ")");
}

void Session::paint() {
    if (panel_ == nullptr) throw SessionError("there is no panel half to paint");
    repaintPending_ = false;
    HostWord dc = canvas_->begin(options_.width, canvasHeight_, options_.panelColour);
    PaintInfo info{};
    info.width = options_.width;
    info.fontSelector = 0;
    trace_.begin("panel", "op 2 paint(width=" + std::to_string(info.width) + ", font selector=0)");
    HostWord r = panel_->dispatcher(panel_, PanelOpPaint, dc, 0, &info, 0.0f);
    canvas_->end();
    ++paints_;
    shown_ = host::shownText(canvas_->ops());
    if (trace_.on()) {
        for (const DrawOp& op : canvas_->ops()) trace_.line("draw", describeOp(op, canvas_->font()));
        if (canvas_->opsDropped() > 0)
            trace_.line("draw", "(" + std::to_string(canvas_->opsDropped()) + " more calls not recorded)");
    }
    trace_.end(std::to_string(r));
}

// ---------------------------------------------------------------------------
// Calls into the halves
// ---------------------------------------------------------------------------

HostWord Session::dspCall(std::int32_t op, HostWord index, HostWord value, void* ptr, float opt,
                          const std::string& what) {
    if (dsp_ == nullptr) return 0;
    ++dspDepth_;
    trace_.begin("dsp  ", what);
    HostWord r = dsp_->dispatcher(dsp_, op, index, value, ptr, opt);
    trace_.end(std::to_string(r));
    --dspDepth_;
    return r;
}

HostWord Session::panelCall(std::int32_t op, HostWord index, HostWord value, void* ptr, float opt,
                            const std::string& what) {
    if (panel_ == nullptr) return 0;
    trace_.begin("panel", what);
    HostWord r = panel_->dispatcher(panel_, op, index, value, ptr, opt);
    trace_.end(std::to_string(r));
    return r;
}

// ---------------------------------------------------------------------------
// Requests
// ---------------------------------------------------------------------------

HostWord QEM_CDECL Session::entry(void* record, std::int32_t op, HostWord index, HostWord value, void* ptr,
                                  float opt) {
    if (record == nullptr) return 0;
    try {
        std::uint32_t magic;
        std::memcpy(&magic, record, sizeof magic);
        HostWord id = 0;
        Half half;
        if (magic == kDspRecordMagic) {
            id = static_cast<DspHostRecord*>(record)->hostValue;
            half = Half::Dsp;
        } else if (magic == kPanelRecordMagic) {
            id = static_cast<GuiHostRecord*>(record)->hostValue;
            half = Half::Panel;
        } else {
            return 0;
        }
        auto it = registry().find(id);
        if (it == registry().end() || it->second.half != half) return 0;
        Session& s = *it->second.session;
        Request r;
        r.half = half;
        r.op = op;
        r.index = index;
        r.value = value;
        r.ptr = reinterpret_cast<HostWord>(ptr);
        r.opt = opt;
        r.clock = s.clock_;
        bool transient = half == Half::Dsp && id != s.dspId_;
        if (transient) return 0; // the half that only describes the pins
        const RequestKind* kind = findRequest(half, op);
        r.result = kind != nullptr ? kind->answer(s, r, ptr) : s.unknownRequest(r);
        if (s.trace_.on())
            s.trace_.line(s.who(half) + " <-", "req " + std::to_string(op) + " " +
                                                   (kind != nullptr ? kind->name : "unknown") + "(" +
                                                   (kind != nullptr ? kind->describe(s, r, ptr) : plainArgs(r)));
        const HostWord result = r.result;
        s.requests_.add(std::move(r));
        return result;
    } catch (...) {
        return 0; // nothing is thrown into the module
    }
}

namespace {

// The trace's argument list: "a, b) = result".
std::string argsThen(const std::vector<std::string>& args, const std::string& tail) {
    std::string s;
    for (std::size_t i = 0; i < args.size(); ++i) s += (i ? ", " : "") + args[i];
    return s + ") = " + tail;
}

} // namespace

// The arguments a request passed that are not 0, for a request without a
// description of its own.
std::string Session::plainArgs(const Request& r) {
    std::vector<std::string> args;
    if (r.index != 0) args.push_back("index=" + std::to_string(r.index));
    if (r.value != 0) args.push_back("value=" + std::to_string(r.value));
    if (r.ptr != 0) args.push_back("ptr");
    if (r.opt != 0) args.push_back("opt=" + floatString(r.opt));
    return argsThen(args, std::to_string(r.result));
}

HostWord Session::unknownRequest(const Request& r) {
    note(std::string(r.half == Half::Dsp ? "DSP" : "panel") + " request " + std::to_string(r.op) +
         " is not one the host knows");
    return 0;
}

// Every request the host knows, one row each: what it answers and how the
// trace shows it. A request not in the table is answered 0 and noted.
std::span<const RequestKind> Session::requestTable() {
    using S = Session;
    using R = Request;
    auto plain = [](S&, const R& r, void*) { return plainArgs(r); };
    static const RequestKind table[] = {
        // --- DSP half -------------------------------------------------------
        {Half::Dsp, DspReqPinState, "pinState",
         // The host reads the pin's variable; pin 0 ("DSP 2 GUI - Out")
         // goes on to the panel's pin 1.
         [](S& s, R& r, void*) -> HostWord {
             Pin* pin = s.dspPin(r.index);
             if (pin == nullptr) {
                 s.note("pin state of DSP pin " + std::to_string(r.index) + ", which does not exist");
                 return 0;
             }
             pin->dspValue = s.readVariable(*pin);
             if (pin->panel >= 0) pin->panelValue = pin->dspValue;
             if (pin->dsp == 0) s.routeToPanel(pin->dspValue);
             return 0;
         },
         [](S& s, const R& r, void*) {
             std::vector<std::string> args = {"pin=" + std::to_string(r.index), "state=" + std::to_string(r.value),
                                              "clock=" + std::to_string(r.ptr)};
             if (const Pin* p = s.dspPin(r.index)) args.push_back(quoteText(p->name) + " " + pinValueText(*p, p->dspValue));
             return argsThen(args, std::to_string(r.result));
         }},
        {Half::Dsp, DspReqSampleClock, "sampleClock",
         [](S& s, R&, void*) -> HostWord { return static_cast<std::int32_t>(s.clock_); }, plain},
        {Half::Dsp, DspReqIdle, "idle",
         [](S& s, R&, void*) -> HostWord {
             s.asleep_ = true;
             return 0;
         },
         plain},
        {Half::Dsp, DspReqPinCount, "pinCount", [](S& s, R&, void*) -> HostWord { return s.dspPinCount_; }, plain},
        {Half::Dsp, DspReqScheduleCall, "scheduleCall",
         [](S& s, R& r, void* ptr) -> HostWord {
             if (ptr == nullptr) {
                 s.note("scheduleCall without an event");
                 return 0;
             }
             Queued q;
             std::memcpy(&q.event, ptr, sizeof q.event); // copied at once: it lives on the module's stack
             r.eventTime = q.event.time;
             if (q.event.time < s.clock_) s.note("a call scheduled in the past (" + std::to_string(q.event.time) + ")");
             s.enqueue(std::move(q));
             return 0;
         },
         [](S& s, const R& r, void* ptr) {
             std::vector<std::string> args;
             if (ptr != nullptr) {
                 DspEvent e;
                 std::memcpy(&e, ptr, sizeof e);
                 args.push_back("event time=" + std::to_string(e.time) + " type=" + std::to_string(e.type) + " " +
                                s.callName(e.value3));
             }
             return argsThen(args, std::to_string(r.result));
         }},
        {Half::Dsp, DspReqSendText, "sendText",
         [](S& s, R& r, void* ptr) -> HostWord {
             std::string text = boundedText(static_cast<const char*>(ptr), kTextBound);
             r.text = text;
             if (Pin* pin = s.dspPin(r.index)) pin->dspValue.text = text;
             if (r.index == 0) {
                 PinValue v;
                 v.text = text;
                 s.routeToPanel(v);
             }
             return 0;
         },
         [](S&, const R& r, void*) {
             return argsThen({"pin=" + std::to_string(r.index), quoteText(r.text.value_or(""))}, std::to_string(r.result));
         }},
        {Half::Dsp, DspReqProcessChanged, "processChanged",
         [](S& s, R&, void*) -> HostWord {
             if (s.dsp_ != nullptr) s.process_ = s.dsp_->process;
             s.asleep_ = false;
             return 0;
         },
         [](S& s, const R& r, void*) {
             return argsThen({"now " + s.fnName(reinterpret_cast<const void*>(s.process_))}, std::to_string(r.result));
         }},

        // --- panel half -----------------------------------------------------
        {Half::Panel, PanelReqRepaint, "repaint",
         [](S& s, R&, void*) -> HostWord {
             s.repaintPending_ = true;
             return 0;
         },
         plain},
        {Half::Panel, PanelReqSetup3, "setup3",
         // The panel's size: the height becomes the canvas height (the
         // width is the user's, 100 unless set).
         [](S& s, R& r, void*) -> HostWord {
             if (r.value > 0 && r.value <= 1000) s.canvasHeight_ = static_cast<int>(r.value);
             return 0;
         },
         plain},
        {Half::Panel, PanelReqSetup4, "setup4", [](S&, R&, void*) -> HostWord { return 0; }, plain},
        {Half::Panel, PanelReqSetText, "setText",
         [](S& s, R& r, void* ptr) -> HostWord {
             std::string text = boundedText(static_cast<const char*>(ptr), kTextBound);
             r.text = text;
             Pin* pin = s.panelPin(r.index);
             if (pin == nullptr) {
                 s.note("setText on panel pin " + std::to_string(r.index) + ", which does not exist");
                 return 0;
             }
             pin->panelValue.text = text;
             if (pin->shared()) {
                 pin->dspValue.text = text;
                 s.forwardToDsp(*pin);
             }
             return 0;
         },
         [](S&, const R& r, void*) {
             return argsThen({"pin=" + std::to_string(r.index), quoteText(r.text.value_or(""))}, std::to_string(r.result));
         }},
        {Half::Panel, PanelReqGetText, "getText",
         // Never null: an unknown pin's text is empty.
         [](S& s, R& r, void*) -> HostWord {
             static const char kEmpty[] = "";
             Pin* pin = s.panelPin(r.index);
             if (pin == nullptr) {
                 s.note("getText of panel pin " + std::to_string(r.index) + ", which does not exist");
                 return reinterpret_cast<HostWord>(kEmpty);
             }
             return reinterpret_cast<HostWord>(pin->panelValue.text.c_str());
         },
         [](S&, const R& r, void*) {
             return "pin=" + std::to_string(r.index) + ") = " +
                    quoteText(boundedText(reinterpret_cast<const char*>(r.result), kTextBound));
         }},
        {Half::Panel, PanelReqAddPin, "addPin",
         [](S& s, R& r, void* ptr) -> HostWord {
             Pin pin;
             pin.name = boundedText(static_cast<const char*>(ptr), kNameBound);
             r.text = pin.name;
             pin.dataType = static_cast<std::int32_t>(r.index);
             pin.direction = static_cast<std::int32_t>(r.value);
             pin.panel = s.panelPinCount_++;
             s.pins_.push_back(std::move(pin));
             return s.pins_.back().panel;
         },
         [](S&, const R& r, void*) {
             return argsThen({std::string("type=") + dataTypeName(static_cast<std::int32_t>(r.index)),
                              std::string("direction=") + directionName(static_cast<std::int32_t>(r.value)),
                              quoteText(r.text.value_or(""))},
                             std::to_string(r.result));
         }},
        {Half::Panel, PanelReqFont, "font",
         // FontInfo: word 0 the font height, the background colour, all else 0.
         [](S& s, R& r, void* ptr) -> HostWord {
             r.text = boundedText(reinterpret_cast<const char*>(r.value), 64);
             if (ptr != nullptr) {
                 FontInfo info{};
                 info.hostWord0 = s.canvas_->fontHeight();
                 info.backgroundColour = s.options_.background;
                 std::memcpy(ptr, &info, sizeof info);
             }
             return s.canvas_->font();
         },
         [](S& s, const R& r, void* ptr) {
             return argsThen({"index=" + std::to_string(r.index), "value=" + quoteText(r.text.value_or("")),
                              ptr != nullptr ? "ptr=FontInfo" : "ptr=null"},
                             std::string("font") +
                                 (s.options_.background >= 0
                                      ? ", background " + hexString(static_cast<std::uint32_t>(s.options_.background))
                                      : ", no background"));
         }},
        {Half::Panel, PanelReqSetup11, "setup11", [](S&, R&, void*) -> HostWord { return 0; }, plain},
        {Half::Panel, PanelReqGetValue, "getValue",
         [](S& s, R& r, void* ptr) -> HostWord {
             Pin* pin = s.panelPin(r.index);
             std::int32_t bits = pin != nullptr ? pin->panelValue.bits : 0;
             if (pin == nullptr) s.note("getValue of panel pin " + std::to_string(r.index) + ", which does not exist");
             if (ptr != nullptr) std::memcpy(ptr, &bits, sizeof bits);
             return 0;
         },
         [](S& s, const R& r, void* ptr) {
             std::int32_t bits = 0;
             if (ptr != nullptr) std::memcpy(&bits, ptr, sizeof bits);
             std::string shown = std::to_string(bits);
             if (const Pin* p = s.panelPin(r.index)) {
                 PinValue v;
                 v.bits = bits;
                 shown = pinValueText(*p, v);
             }
             return "pin=" + std::to_string(r.index) + ") -> slot " + shown;
         }},
        {Half::Panel, PanelReqSetValue, "setValue",
         // Float pins take opt, other pins value.
         [](S& s, R& r, void*) -> HostWord {
             Pin* pin = s.panelPin(r.index);
             if (pin == nullptr) {
                 s.note("setValue on panel pin " + std::to_string(r.index) + ", which does not exist");
                 return 0;
             }
             pin->panelValue.bits = pin->dataType == DataFloat ? std::bit_cast<std::int32_t>(r.opt)
                                                               : static_cast<std::int32_t>(r.value);
             if (pin->shared()) {
                 pin->dspValue.bits = pin->panelValue.bits;
                 s.forwardToDsp(*pin);
             }
             return 0;
         },
         [](S&, const R& r, void*) {
             return argsThen({"pin=" + std::to_string(r.index), "value=" + std::to_string(r.value),
                              "opt=" + floatString(r.opt)},
                             std::to_string(r.result));
         }},
        {Half::Panel, PanelReqSetChoices, "setChoices",
         [](S& s, R& r, void* ptr) -> HostWord {
             std::string text = boundedText(static_cast<const char*>(ptr), kTextBound);
             r.text = text;
             Pin* pin = s.panelPin(r.index);
             if (pin == nullptr) {
                 s.note("setChoices on panel pin " + std::to_string(r.index) + ", which does not exist");
                 return 0;
             }
             pin->choices = ansiToWide(text);
             return 0;
         },
         [](S&, const R& r, void*) {
             return argsThen({"pin=" + std::to_string(r.index), "value=" + std::to_string(r.value),
                              quoteText(r.text.value_or(""))},
                             std::to_string(r.result));
         }},
        {Half::Panel, PanelReqGetChoices, "getChoices",
         // Within the caller's capacity (value, in UTF-16 units), always
         // terminated; the result is the number of units before the 0.
         [](S& s, R& r, void* ptr) -> HostWord {
             auto* out = static_cast<char16_t*>(ptr);
             if (out == nullptr || r.value <= 0) return 0;
             Pin* pin = s.panelPin(r.index);
             if (pin == nullptr) s.note("getChoices of panel pin " + std::to_string(r.index) + ", which does not exist");
             std::u16string_view list = pin != nullptr ? std::u16string_view(pin->choices) : std::u16string_view();
             std::size_t n = std::min<std::size_t>(list.size(), static_cast<std::size_t>(r.value) - 1);
             if (n > 0) std::memcpy(out, list.data(), n * sizeof(char16_t));
             out[n] = 0;
             r.text = wideToAnsiText(list.substr(0, n));
             return static_cast<HostWord>(n);
         },
         [](S&, const R& r, void*) {
             return "pin=" + std::to_string(r.index) + ", capacity=" + std::to_string(r.value) + ") = " +
                    std::to_string(r.result) + " " + quoteText(r.text.value_or(""));
         }},
    };
    return table;
}

const RequestKind* findRequest(Half half, std::int32_t op) {
    for (const RequestKind& k : Session::requestTable())
        if (k.half == half && k.op == op) return &k;
    return nullptr;
}

const RequestKind* findRequest(std::string_view name) {
    for (const RequestKind& k : Session::requestTable())
        if (name == k.name) return &k;
    return nullptr;
}

void Session::note(const std::string& text) {
    notes_.push_back(text);
    trace_.line("note:", text);
}

std::string Session::fnName(const void* address) {
    if (address == nullptr) return "null";
    auto [it, added] = fnNames_.emplace(address, static_cast<int>(fnNames_.size()) + 1);
    return "fn#" + std::to_string(it->second);
}

std::string Session::callName(HostWord address) {
    auto [it, added] = callNames_.emplace(address, static_cast<int>(callNames_.size()) + 1);
    return "operation#" + std::to_string(it->second);
}

} // namespace qem::host
