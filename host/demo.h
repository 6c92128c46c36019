// The demo: every deliverable in a folder runs a short built-in scenario
// that shows what it is for, keyed by its module name; one table of what
// each panel shows after each step, and one picture per module (its panel
// after every step, one under another).
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

namespace qem::host {

struct DemoOptions {
    std::string dir = "dist";
    std::string out = "build/demo"; // where the pictures go
    std::string gallery;            // a contact sheet of every panel, when not empty
    int width = 100;
    std::int32_t background = -1;
    std::string backgroundText = "none"; // the same, as the command line gave it
    double timeout = 60;                 // seconds one deliverable may take
};

// The built-in scenario of a module, or null for a module the demo does
// not know (it gets a plain start and paint).
const char* demoScenario(const std::string& moduleName);

// Runs the demo, each deliverable in a child process (child.h), printing
// each row of the table as it is done; the exit status: 0, 1 when a step
// did not show what it should or a deliverable's process crashed or hung,
// 2 when a file could not be loaded or the folder read.
int runDemo(const DemoOptions& options, std::ostream& out, std::ostream& err);

// The child's part: the deliverables from number `first` on (in name
// order), each reported as lines for the parent and ended by itemDoneLine.
int runDemoChild(const DemoOptions& options, int first, std::ostream& out);

} // namespace qem::host
