// qem_show_rgf.sep: a float on a panel pin of its own,
// registered in the reverse direction (an output).
#include "framework/plugin_entry.h"
#include "modules/panel/gui_value_panels.h"

QEM_MODULE(QEM_DESCRIPTION("QEM Show RGuiFloat", "1.0.2", "Shows value of incoming floats."), qem::BareDsp,
           qem::GuiFloatPanel, qem::DirOut)
