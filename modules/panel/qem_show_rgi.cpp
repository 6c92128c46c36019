// qem_show_rgi.sep: an integer on a panel pin of its own,
// registered in the reverse direction (an output).
#include "framework/plugin_entry.h"
#include "modules/panel/gui_value_panels.h"

QEM_MODULE(QEM_DESCRIPTION("QEM Show RGuiInt", "1.0.2", "Shows value of incoming integers."), qem::BareDsp,
           qem::GuiIntPanel, qem::DirOut)
