// qem_show_i.sep: an integer arriving on the DSP side, shown on the panel.
#include "framework/plugin_entry.h"
#include "modules/dsp/value_monitors.h"

namespace {
constexpr qem::ModuleDescription kDescription{
    "QEM Show Int", QEM_ABOUT("QEM Show Int", "1.0.2", "Shows value of incoming integers.")};
} // namespace

QEM_MODULE(kDescription, qem::IntMonitorDsp, qem::IntMonitorPanel)
