// qem_show_v.sep: the mean of an audio input in volts, refreshed twenty
// times a second; the only module that reports flag 0x40.
#include "framework/plugin_entry.h"
#include "modules/dsp/volts_monitor.h"

QEM_MODULE(QEM_DESCRIPTION("QEM Show Volts", "1.0.3",
                           "Shows average value of incoming voltage, updating at a 20hz rate.")
               .withFlags(qem::ModuleFlagVolts),
           qem::VoltsMonitorDsp, qem::FloatMonitorPanel)
