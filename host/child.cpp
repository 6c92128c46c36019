#include "host/child.h"

#include "host/text.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace qem::host {
namespace {

constexpr const char* kDoneMark = "\x1F" "qemhost item done ";

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

#ifdef _WIN32
const char* exceptionName(unsigned code) {
    switch (code) {
    case 0xC0000005: return "access violation";
    case 0xC000001D: return "illegal instruction";
    case 0xC0000094: return "integer division by zero";
    case 0xC00000FD: return "stack overflow";
    case 0xC0000409: return "stack buffer overrun";
    case 0x80000003: return "breakpoint";
    case 0xC0000374: return "heap corruption";
    default: return nullptr;
    }
}

// The command line CreateProcess passes, quoted as the C runtime splits it.
std::wstring quoteArg(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') out.append(backslashes * 2 + 1, L'\\');
        else out.append(backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

std::wstring widen(const std::string& s) {
    int n = MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n - 1 : 0), L'\0');
    if (n > 1) MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, out.data(), n);
    return out;
}

LONG WINAPI endOnCrash(EXCEPTION_POINTERS* info) {
    // The exception code becomes the exit status: the parent names it.
    TerminateProcess(GetCurrentProcess(), info->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}
#endif

} // namespace

std::string ChildEnd::describe() const {
    switch (kind) {
    case Kind::Exited: return "exit status " + std::to_string(code);
    case Kind::TimedOut: {
        std::string s = floatString(static_cast<float>(limit));
        return "no answer within " + s + " s (stopped)";
    }
    case Kind::NotStarted: return "the child process could not be started";
    case Kind::Signalled:
#ifdef _WIN32
        if (const char* name = exceptionName(code)) return "exception " + hexString(code) + " (" + name + ")";
        return "exception " + hexString(code);
#else
    {
        const char* name = sigabbrev_np(static_cast<int>(code));
        return "killed by signal " + std::to_string(code) + (name != nullptr ? " (SIG" + std::string(name) + ")" : "");
    }
#endif
    }
    return "?";
}

std::string itemDoneLine(int status) { return kDoneMark + std::to_string(status); }

#ifdef _WIN32

struct ChildProcess::State {
    HANDLE process = nullptr;
    HANDLE out = nullptr; // read end of the child's standard output
    bool ended = false;
};

std::unique_ptr<ChildProcess> ChildProcess::start(const std::vector<std::string>& args) {
    std::unique_ptr<ChildProcess> child(new ChildProcess);
    child->state_ = std::make_unique<State>();
    wchar_t self[32768];
    DWORD n = GetModuleFileNameW(nullptr, self, 32768);
    if (n == 0 || n >= 32768) return child;
    std::wstring command = quoteArg(self);
    for (const std::string& a : args) command += L" " + quoteArg(widen(a));

    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return child;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE err = nullptr;
    DuplicateHandle(GetCurrentProcess(), GetStdHandle(STD_ERROR_HANDLE), GetCurrentProcess(), &err, 0, TRUE,
                    DUPLICATE_SAME_ACCESS);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = nullptr;
    si.hStdOutput = writeEnd;
    si.hStdError = err;
    PROCESS_INFORMATION pi{};
    BOOL ok = CreateProcessW(self, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(writeEnd);
    if (err != nullptr) CloseHandle(err);
    if (!ok) {
        CloseHandle(readEnd);
        return child;
    }
    CloseHandle(pi.hThread);
    child->state_->process = pi.hProcess;
    child->state_->out = readEnd;
    return child;
}

ChildProcess::~ChildProcess() {
    if (state_ && state_->process != nullptr && !state_->ended) finish(true);
    if (state_ && state_->out != nullptr) CloseHandle(state_->out);
    if (state_ && state_->process != nullptr) CloseHandle(state_->process);
}

ChildProcess::Read ChildProcess::readLine(std::string& line, double seconds) {
    const auto begun = Clock::now();
    for (;;) {
        if (std::size_t nl = pending_.find('\n'); nl != std::string::npos) {
            line = pending_.substr(0, nl);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            pending_.erase(0, nl + 1);
            return Read::Line;
        }
        if (state_->out == nullptr) return Read::End;
        DWORD available = 0;
        if (!PeekNamedPipe(state_->out, nullptr, 0, nullptr, &available, nullptr)) {
            // Closed: whatever is left is the last line.
            if (!pending_.empty()) {
                line = std::move(pending_);
                pending_.clear();
                return Read::Line;
            }
            return Read::End;
        }
        if (available > 0) {
            char buffer[4096];
            DWORD got = 0;
            if (ReadFile(state_->out, buffer, std::min<DWORD>(available, sizeof buffer), &got, nullptr) && got > 0)
                pending_.append(buffer, got);
            continue;
        }
        if (secondsSince(begun) >= seconds) return Read::TimedOut;
        Sleep(2);
    }
}

ChildEnd ChildProcess::finish(bool stop) {
    ChildEnd end;
    if (state_->process == nullptr) {
        end.kind = ChildEnd::Kind::NotStarted;
        return end;
    }
    if (stop && !state_->ended) TerminateProcess(state_->process, 0xC000013A);
    WaitForSingleObject(state_->process, INFINITE);
    state_->ended = true;
    DWORD code = 0;
    GetExitCodeProcess(state_->process, &code);
    // Exception codes have the two top bits set; exit statuses do not.
    end.kind = (code & 0xC0000000u) != 0 ? ChildEnd::Kind::Signalled : ChildEnd::Kind::Exited;
    end.code = code;
    return end;
}

void becomeChild() {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(&endOnCrash);
}

#else

struct ChildProcess::State {
    pid_t pid = -1;
    int out = -1; // read end of the child's standard output
    bool ended = false;
};

std::unique_ptr<ChildProcess> ChildProcess::start(const std::vector<std::string>& args) {
    std::unique_ptr<ChildProcess> child(new ChildProcess);
    child->state_ = std::make_unique<State>();
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return child;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    std::vector<std::string> all = {"/proc/self/exe"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        return child;
    }
    child->state_->pid = pid;
    child->state_->out = fds[0];
    return child;
}

ChildProcess::~ChildProcess() {
    if (state_ && state_->pid > 0 && !state_->ended) finish(true);
    if (state_ && state_->out >= 0) close(state_->out);
}

ChildProcess::Read ChildProcess::readLine(std::string& line, double seconds) {
    const auto begun = Clock::now();
    for (;;) {
        if (std::size_t nl = pending_.find('\n'); nl != std::string::npos) {
            line = pending_.substr(0, nl);
            pending_.erase(0, nl + 1);
            return Read::Line;
        }
        if (state_->out < 0) return Read::End;
        double left = seconds - secondsSince(begun);
        if (left <= 0) return Read::TimedOut;
        pollfd p{state_->out, POLLIN, 0};
        int ready = poll(&p, 1, static_cast<int>(left * 1000) + 1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) continue; // the loop sees the time run out
        char buffer[4096];
        ssize_t got = read(state_->out, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            close(state_->out);
            state_->out = -1;
            if (!pending_.empty()) {
                line = std::move(pending_);
                pending_.clear();
                return Read::Line;
            }
            return Read::End;
        }
        pending_.append(buffer, static_cast<std::size_t>(got));
    }
}

ChildEnd ChildProcess::finish(bool stop) {
    ChildEnd end;
    if (state_->pid <= 0) {
        end.kind = ChildEnd::Kind::NotStarted;
        return end;
    }
    if (stop && !state_->ended) kill(state_->pid, SIGKILL);
    int status = 0;
    while (waitpid(state_->pid, &status, 0) < 0 && errno == EINTR) {
    }
    state_->ended = true;
    if (WIFSIGNALED(status)) {
        end.kind = ChildEnd::Kind::Signalled;
        end.code = static_cast<unsigned>(WTERMSIG(status));
    } else {
        end.code = static_cast<unsigned>(WEXITSTATUS(status));
    }
    return end;
}

void becomeChild() {
    rlimit none{0, 0};
    setrlimit(RLIMIT_CORE, &none);
}

#endif

void runItemsInChildren(int count, const std::function<std::vector<std::string>(int first)>& args, double limit,
                        const ChildItemHandlers& handlers) {
    const std::string mark = kDoneMark;
    int next = 0;
    while (next < count) {
        std::unique_ptr<ChildProcess> child = ChildProcess::start(args(next));
        std::string line;
        bool timedOut = false;
        for (;;) {
            ChildProcess::Read r = child->readLine(line, limit);
            if (r == ChildProcess::Read::TimedOut) {
                timedOut = true;
                break;
            }
            if (r == ChildProcess::Read::End) break;
            if (line.compare(0, mark.size(), mark) == 0) {
                auto status = parseInteger(std::string_view(line).substr(mark.size()));
                handlers.done(next, status ? static_cast<int>(*status) : 1);
                ++next;
                continue;
            }
            if (next < count) handlers.line(next, line);
        }
        ChildEnd end = child->finish(timedOut);
        if (timedOut) {
            end.kind = ChildEnd::Kind::TimedOut;
            end.limit = limit;
        }
        if (next >= count) break;
        // The child ended before it finished item `next`: that item failed.
        if (end.kind == ChildEnd::Kind::Exited && end.code == 0) end.code = 1; // ended early without a cause
        if (!handlers.failed(next, end)) break;
        ++next;
    }
}

} // namespace qem::host
