// qem_show_gf.sep: a float on a panel pin of its own,
// registered as an input.
#include "framework/plugin_entry.h"
#include "modules/panel/gui_value_panels.h"

QEM_MODULE(QEM_DESCRIPTION("QEM Show GuiFloat", "1.0.2", "Shows value of incoming floats."), qem::BareDsp,
           qem::GuiFloatPanel, qem::DirIn)
