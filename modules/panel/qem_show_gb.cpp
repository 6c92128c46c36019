// qem_show_gb.sep: a boolean on a panel pin of its own,
// registered as an input.
#include "framework/plugin_entry.h"
#include "modules/panel/gui_value_panels.h"

QEM_MODULE(QEM_DESCRIPTION("QEM Show GuiBool", "1.0.2", "Shows value of incoming booleans."), qem::BareDsp,
           qem::GuiBoolPanel, qem::DirIn)
