// qem_show_gt.sep: a text on a panel pin of its own,
// registered as an input.
#include "framework/plugin_entry.h"
#include "modules/panel/gui_value_panels.h"

QEM_MODULE(QEM_DESCRIPTION("QEM Show GuiText", "1.0.2", "Shows value of incoming text."), qem::BareDsp,
           qem::GuiTextPanel, qem::DirIn)
