// qem_show_gi.sep: an integer on a panel pin of its own,
// registered as an input.
#include "framework/plugin_entry.h"
#include "modules/panel/gui_value_panels.h"

QEM_MODULE(QEM_DESCRIPTION("QEM Show GuiInt", "1.0.2", "Shows value of incoming integers."), qem::BareDsp,
           qem::GuiIntPanel, qem::DirIn)
