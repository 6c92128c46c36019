// The session trace: every call into a module and every request out of
// it, one line each, in the order they happen, with arguments and results.
//
//   @0      panel -> op 2 paint(width=100, font selector=0)
//   @0        panel <- req 10 font(index=0, value="tty", ptr=FontInfo) = font
//   @0        draw textOut(7, 0, "0.")
//   @0      panel    = 0
//
// A call that makes no request of its own is one line with its result; a
// call that does gets its result on a closing line, under the requests it
// made. Lines start with the sample clock. Addresses are not printed, so a
// trace reads the same in every run and in both builds.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace qem::host {

class Trace {
public:
    explicit Trace(std::ostream* out = nullptr) : out_(out) {}
    bool on() const { return out_ != nullptr; }
    void setClock(std::function<std::int64_t()> clock) { clock_ = std::move(clock); }

    // A call into the module starts; end() gives its result.
    void begin(const std::string& who, const std::string& call);
    void end(const std::string& result);
    // A line inside the current call (a request, a draw operation, a note).
    void line(const std::string& who, const std::string& text);

private:
    void flushPending();
    void emit(int depth, const std::string& text);

    std::ostream* out_;
    std::function<std::int64_t()> clock_;
    struct Frame {
        std::string who, call;
        bool printed;
    };
    std::vector<Frame> frames_;
};

} // namespace qem::host
