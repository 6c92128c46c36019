// qem_show_l.sep: a DSP list value shown as its number and name.
#include "framework/plugin_entry.h"
#include "modules/dsp/list_monitor.h"

QEM_MODULE(QEM_DESCRIPTION("QEM Show List", "1.0.2",
                           "Shows value of incoming list choices.\n\n"
                           "Due to the nature of DSP List pins, the list provided is static. However, incoming "
                           "list choices will show their values, even if they are not among the list choices in "
                           "this module."),
           qem::ListMonitorDsp, qem::ListMonitorPanel)
