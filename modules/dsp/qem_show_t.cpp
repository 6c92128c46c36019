// qem_show_t.sep: a text arriving on the DSP side, shown on the panel.
#include "framework/plugin_entry.h"
#include "modules/dsp/value_monitors.h"

namespace {
constexpr qem::ModuleDescription kDescription{
    "QEM Show Text", QEM_ABOUT("QEM Show Text", "1.0.2", "Shows value of incoming text.")};
} // namespace

QEM_MODULE(kDescription, qem::TextMonitorDsp, qem::TextMonitorPanel)
