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
    std::string out;              // where the pictures go; empty: <dir>/demo
    int width = 100;
    std::int32_t background = -1;
};

// The built-in scenario of a module, or null for a module the demo does
// not know (it gets a plain start and paint).
const char* demoScenario(const std::string& moduleName);

// Runs the demo; the exit status: 0, 1 when a step did not show what it
// should, 2 when a file could not be loaded or the folder read.
int runDemo(const DemoOptions& options, std::ostream& out, std::ostream& err);

} // namespace qem::host
