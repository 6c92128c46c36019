// qem_show_t.sep: a text arriving on the DSP side, shown on the panel.
#include "framework/plugin_entry.h"
#include "modules/dsp/value_monitors.h"

QEM_MODULE(QEM_DESCRIPTION("QEM Show Text", "1.0.2", "Shows value of incoming text."), qem::TextMonitorDsp,
           qem::TextMonitorPanel)
