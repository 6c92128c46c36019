// Work done in child processes, so that a module that crashes, aborts or
// hangs costs only the item it was busy with: one failed row, and the
// items after it still run.
//
// The parent starts this very program again with arguments of its choice
// (fork and exec natively, CreateProcess on Windows) and reads the child's
// standard output line by line; the child's standard error is the parent's.
// A child does a list of items in order, starting at the one it is told,
// prints what each gives and ends each with itemDoneLine(status). When a
// child dies or stays silent over one item longer than the time limit, the
// parent reports that item as failed with the cause and starts a new child
// for the items after it.
//
//   parent                                   child
//   runItemsInChildren(3, args, limit, h)    qemhost ... --child 0
//     h.line(0, "...")                 <-    prints item 0's lines
//     h.done(0, 0)                     <-    itemDoneLine(0)
//     h.failed(1, "killed by signal 11 (SIGSEGV)")   (crashes in item 1)
//                                            qemhost ... --child 2
//     h.line(2, "...") ...
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qem::host {

// How a child process ended.
struct ChildEnd {
    enum class Kind {
        Exited,     // code: its exit status
        Signalled,  // code: the signal (natively) or the exception code (Windows)
        TimedOut,   // it was stopped after the time limit
        NotStarted, // the program could not be started again
    };
    Kind kind = Kind::Exited;
    unsigned code = 0;
    double limit = 0; // the time limit, for TimedOut

    // One line, e.g. "killed by signal 11 (SIGSEGV)", "exception 0xC0000005
    // (access violation)", "no answer within 60 s", "exit status 3".
    std::string describe() const;
};

// One child process running this program.
class ChildProcess {
public:
    // Starts this program with args (args[0] is the first argument, not
    // the program). A child that cannot be started ends as NotStarted.
    static std::unique_ptr<ChildProcess> start(const std::vector<std::string>& args);
    ~ChildProcess(); // stops the child if it still runs
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    enum class Read { Line, End, TimedOut };
    // The next line of its standard output (without the line end), waiting
    // at most `seconds`; End when the output is closed.
    Read readLine(std::string& line, double seconds);
    // Waits for the child to end (stopping it first when `stop`).
    ChildEnd finish(bool stop);

    struct State;

private:
    ChildProcess() = default;
    std::unique_ptr<State> state_;
    std::string pending_;
};

// The line a child prints after each item, with the item's status.
std::string itemDoneLine(int status);

struct ChildItemHandlers {
    std::function<void(int item, const std::string& line)> line; // a line the child printed for the item
    std::function<void(int item, int status)> done;              // the child finished the item
    // The child died over the item, or hung; false stops the run there.
    std::function<bool(int item, const ChildEnd& end)> failed;
};

// Runs items 0 to count-1 in children, as the comment at the top says.
// args(first) gives the arguments of a child that starts at item `first`;
// limit is the time one item may take, in seconds.
void runItemsInChildren(int count, const std::function<std::vector<std::string>(int first)>& args, double limit,
                        const ChildItemHandlers& handlers);

// Prepares this process to be a child: a crash ends it at once with its
// code (on Windows no error dialog and no debugger), and it writes no core
// file. Call it first thing in a child.
void becomeChild();

} // namespace qem::host
