// qem_show_f.sep: a float arriving on the DSP side, shown on the panel.
#include "framework/plugin_entry.h"
#include "modules/dsp/value_monitors.h"

namespace {
constexpr qem::ModuleDescription kDescription{
    "QEM Show Float", QEM_ABOUT("QEM Show Float", "1.0.2", "Shows value of incoming floats.")};
} // namespace

QEM_MODULE(kDescription, qem::FloatMonitorDsp, qem::FloatMonitorPanel)
