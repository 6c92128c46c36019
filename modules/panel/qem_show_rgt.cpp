// qem_show_rgt.sep: a text on a panel pin of its own,
// registered in the reverse direction (an output).
#include "framework/plugin_entry.h"
#include "modules/panel/gui_value_panels.h"

QEM_MODULE(QEM_DESCRIPTION("QEM Show RGuiText", "1.0.2", "Shows value of incoming text."), qem::BareDsp,
           qem::GuiTextPanel, qem::DirOut)
