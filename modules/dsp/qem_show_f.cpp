// qem_show_f.sep: a float arriving on the DSP side, shown on the panel.
#include "framework/plugin_entry.h"
#include "modules/dsp/value_monitors.h"

QEM_MODULE(QEM_DESCRIPTION("QEM Show Float", "1.0.2", "Shows value of incoming floats."), qem::FloatMonitorDsp,
           qem::FloatMonitorPanel)
