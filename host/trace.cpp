#include "host/trace.h"

#include <cstdio>
#include <vector>

namespace qem::host {

void Trace::emit(int depth, const std::string& text) {
    char clock[32];
    std::snprintf(clock, sizeof clock, "@%-7lld", static_cast<long long>(clock_ ? clock_() : 0));
    *out_ << clock << std::string(static_cast<std::size_t>(depth) * 2, ' ') << text << '\n';
}

void Trace::flushPending() {
    for (std::size_t i = 0; i < frames_.size(); ++i) {
        Frame& f = frames_[i];
        if (!f.printed) {
            emit(static_cast<int>(i), f.who + " -> " + f.call);
            f.printed = true;
        }
    }
}

void Trace::begin(const std::string& who, const std::string& call) {
    if (!on()) return;
    frames_.push_back({who, call, false});
}

void Trace::end(const std::string& result) {
    if (!on() || frames_.empty()) return;
    Frame f = frames_.back();
    frames_.pop_back();
    int depth = static_cast<int>(frames_.size());
    if (!f.printed) {
        flushPending();
        emit(depth, f.who + " -> " + f.call + (result.empty() ? "" : " = " + result));
    } else {
        emit(depth, f.who + std::string(f.who.size() < 5 ? 5 - f.who.size() : 0, ' ') + "    = " +
                        (result.empty() ? "(done)" : result));
    }
}

void Trace::line(const std::string& who, const std::string& text) {
    if (!on()) return;
    flushPending();
    emit(static_cast<int>(frames_.size()), who + " " + text);
}

} // namespace qem::host
