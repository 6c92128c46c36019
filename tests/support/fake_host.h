// An in-process stand-in for the host, for unit tests of module halves
// built straight from their classes. It records every request and answers
// the ones the modules rely on from a few maps the test can set.
//
// One FakeHost is active at a time (the callback has no user data of its
// own before the half's record exists); tests are single-threaded.
#pragma once

#include "framework/host_interface.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qem::test {

struct Request {
    void* record;
    std::int32_t op;
    HostWord index;
    HostWord value;
    void* ptr;
    float opt;
    std::string text; // the text ptr (or value, for request 10) pointed at, where it is one

    bool is(std::int32_t o, HostWord i, HostWord v) const { return op == o && index == i && value == v; }
};

class FakeHost {
public:
    enum class Half { Dsp, Panel };

    explicit FakeHost(Half half = Half::Panel) : half_(half) { active() = this; }
    ~FakeHost() {
        if (active() == this) active() = nullptr;
    }
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    HostCallback callback() const { return &FakeHost::entry; }

    // --- what the test sets ---------------------------------------------
    std::int32_t sampleClock = 0;              // DSP request 3
    HostWord pinCount = 0;                     // DSP request 14
    std::map<std::int32_t, std::int32_t> values; // panel pins: 32-bit slot of request 14 / 15
    std::map<std::int32_t, std::string> texts;   // panel pins: texts of requests 6 / 7
    std::map<std::int32_t, std::u16string> choices; // list choices of requests 16 / 17
    bool nullText = false;                     // request 7 answers null
    std::int32_t backgroundColour = -1;        // FontInfo field set by request 10
    HostWord fontHandle = 0;                   // result of request 10
    // A test may answer any request itself; nullopt falls back to the above.
    std::function<std::optional<HostWord>(const Request&)> answer;

    // --- what the test reads --------------------------------------------
    std::vector<Request> requests;
    std::vector<DspEvent> scheduled;           // copies of request 19's events

    int count(std::int32_t op) const {
        int n = 0;
        for (const Request& r : requests) n += r.op == op;
        return n;
    }
    std::vector<std::int32_t> ops() const {
        std::vector<std::int32_t> out;
        for (const Request& r : requests) out.push_back(r.op);
        return out;
    }
    void clear() {
        requests.clear();
        scheduled.clear();
    }
    void setFloat(std::int32_t pin, float v) {
        std::int32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        values[pin] = bits;
    }
    float getFloat(std::int32_t pin) {
        float v;
        std::memcpy(&v, &values[pin], sizeof v);
        return v;
    }

private:
    static FakeHost*& active() {
        static FakeHost* host = nullptr;
        return host;
    }

    static HostWord QEM_CDECL entry(void* record, std::int32_t op, HostWord index, HostWord value, void* ptr,
                                    float opt) {
        FakeHost* host = active();
        return host != nullptr ? host->handle(record, op, index, value, ptr, opt) : 0;
    }

    HostWord handle(void* record, std::int32_t op, HostWord index, HostWord value, void* ptr, float opt) {
        Request r{record, op, index, value, ptr, opt, {}};
        bool panel = half_ == Half::Panel;
        if (ptr != nullptr && ((panel && (op == PanelReqSetText || op == PanelReqAddPin || op == PanelReqSetChoices)) ||
                               (!panel && op == DspReqSendText)))
            r.text = static_cast<const char*>(ptr);
        if (panel && op == PanelReqFont && value != 0) r.text = reinterpret_cast<const char*>(value);
        requests.push_back(r);
        if (!panel && op == DspReqScheduleCall && ptr != nullptr) scheduled.push_back(*static_cast<DspEvent*>(ptr));
        if (answer) {
            if (std::optional<HostWord> a = answer(r)) return *a;
        }
        return panel ? panelAnswer(r) : dspAnswer(r);
    }

    HostWord dspAnswer(const Request& r) {
        switch (r.op) {
        case DspReqSampleClock: return sampleClock;
        case DspReqPinCount: return pinCount;
        default: return 0;
        }
    }

    HostWord panelAnswer(const Request& r) {
        auto pin = static_cast<std::int32_t>(r.index);
        switch (r.op) {
        case PanelReqSetText: texts[pin] = r.text; return 0;
        case PanelReqGetText:
            if (nullText) return 0;
            return reinterpret_cast<HostWord>(texts[pin].c_str());
        case PanelReqGetValue:
            if (r.ptr != nullptr) *static_cast<std::int32_t*>(r.ptr) = values[pin];
            return 0;
        case PanelReqSetValue:
            if (r.opt != 0.0f || std::signbit(r.opt)) setFloat(pin, r.opt);
            else values[pin] = static_cast<std::int32_t>(r.value);
            return 0;
        case PanelReqFont:
            if (r.ptr != nullptr) static_cast<FontInfo*>(r.ptr)->backgroundColour = backgroundColour;
            return fontHandle;
        case PanelReqSetChoices: {
            std::u16string wide;
            for (unsigned char c : r.text) wide += static_cast<char16_t>(c);
            choices[pin] = wide;
            return 0;
        }
        case PanelReqGetChoices: {
            auto* out = static_cast<char16_t*>(r.ptr);
            if (out == nullptr || r.value <= 0) return 0;
            const std::u16string& list = choices[pin];
            std::size_t n = std::min<std::size_t>(list.size(), static_cast<std::size_t>(r.value) - 1);
            std::memcpy(out, list.data(), n * sizeof(char16_t));
            out[n] = 0;
            return static_cast<HostWord>(n);
        }
        default: return 0;
        }
    }

    Half half_;
};

} // namespace qem::test
