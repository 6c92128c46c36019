// qem_show_i.sep: an integer arriving on the DSP side, shown on the panel.
#include "framework/plugin_entry.h"
#include "modules/dsp/value_monitors.h"

QEM_MODULE(QEM_DESCRIPTION("QEM Show Int", "1.0.2", "Shows value of incoming integers."), qem::IntMonitorDsp,
           qem::IntMonitorPanel)
