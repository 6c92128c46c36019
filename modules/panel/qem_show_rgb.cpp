// qem_show_rgb.sep: a boolean on a panel pin of its own,
// registered in the reverse direction (an output).
#include "framework/plugin_entry.h"
#include "modules/panel/gui_value_panels.h"

QEM_MODULE(QEM_DESCRIPTION("QEM Show RGuiBool", "1.0.2", "Shows value of incoming booleans."), qem::BareDsp,
           qem::GuiBoolPanel, qem::DirOut)
