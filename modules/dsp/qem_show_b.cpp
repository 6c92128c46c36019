// qem_show_b.sep: a boolean arriving on the DSP side, shown on the panel.
// Its getModuleProperties has always written the interface version before
// looking at the index; hosts may have come to rely on it, so it stays.
#include "framework/plugin_entry.h"
#include "modules/dsp/value_monitors.h"

QEM_MODULE(QEM_DESCRIPTION("QEM Show Bool", "1.0.2", "Shows value of incoming booleans.").writingVersionFirst(),
           qem::BoolMonitorDsp, qem::BoolMonitorPanel)
