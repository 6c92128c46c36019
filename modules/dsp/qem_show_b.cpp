// qem_show_b.sep: a boolean arriving on the DSP side, shown on the panel.
// Its getModuleProperties has always written the interface version before
// looking at the index; hosts may have come to rely on it, so it stays.
#include "framework/plugin_entry.h"
#include "modules/dsp/value_monitors.h"

namespace {
constexpr qem::ModuleDescription kDescription{
    "QEM Show Bool", QEM_ABOUT("QEM Show Bool", "1.0.2", "Shows value of incoming booleans."), 0,
    /*versionBeforeIndex=*/true};
} // namespace

QEM_MODULE(kDescription, qem::BoolMonitorDsp, qem::BoolMonitorPanel)
