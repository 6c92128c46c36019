// Scenarios: a small line-oriented language that drives a session and
// checks what the module does. One step per line (or per ';' on the
// command line); '#' starts a comment. See host/README.md for every step.
//
//   start
//   set Float 0.1
//   expect text "0.1000000015"
//   expect request dsp pinState index=0 count=1
//   expect repaints 1
//
// A script is parsed whole before it runs, so a bad line fails the run
// before any module code is called; a step that cannot be carried out
// (an unknown pin, a value the pin cannot take) fails it where it stands.
// Every failure reads "file:line: message", naming the bad token.
#pragma once

#include "host/session.h"

#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace qem::host {

struct Token {
    std::string text;   // the value, escapes resolved
    std::string key;    // for key=value tokens
    bool quoted = false;
};

struct Step {
    std::string file;
    int line = 0;
    std::string source; // the line as written, trimmed
    std::string verb;   // "set", "expect", ...
    std::vector<Token> args;                 // positional arguments
    std::map<std::string, Token> options;    // key=value arguments
    bool isExpectation() const { return verb == "expect" || verb == "mark"; }
};

struct Script {
    std::string name; // file name, or "-e"
    std::string dir;  // where relative input files are looked up
    std::vector<Step> steps;
};

// A script that does not parse. what() is "file:line: message".
class ScriptError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Values for ${NAME} in a script, as `--define NAME=VALUE` gives them: one
// scenario file serves several deliverables (the Gui and RGui forms of a
// monitor differ only in the direction they register). ${NAME} is replaced
// in the line before it is read; a name without a value is a ScriptError.
using ScriptDefines = std::map<std::string, std::string>;

Script parseScript(const std::string& text, const std::string& name, const std::string& dir,
                   const ScriptDefines& defines = {});
Script loadScript(const std::string& path, const ScriptDefines& defines = {}); // ScriptError when unreadable or bad
// "step; step; ..." as given to run -e.
Script parseInline(const std::string& steps, const ScriptDefines& defines = {});
// NAME=VALUE into defines; false when it is not of that form (NAME: letters,
// digits, '_' and '-').
bool addDefine(const std::string& assignment, ScriptDefines& defines);

struct RunOptions {
    SessionOptions session;
    std::ostream* trace = nullptr;    // the session trace, when wanted
    std::ostream* changes = nullptr;  // each change of the shown text, and the host's notes
    std::string png;                  // the last paint, saved here at the end
};

struct RunResult {
    bool passed = true;
    std::vector<std::string> failures; // "file:line: message"
    std::string shown;                 // what the panel showed at the end
};

class ScenarioRunner {
public:
    ScenarioRunner(const Library& library, RunOptions options) : library_(library), options_(std::move(options)) {}
    // Called after every step that is not an expectation.
    std::function<void(const Step&, Session&)> afterStep;
    // Runs the script in a fresh session. LoadError (makeModule answered
    // null) is thrown on; everything else ends up in the result.
    RunResult run(const Script& script);

private:
    const Library& library_;
    RunOptions options_;
};

} // namespace qem::host
