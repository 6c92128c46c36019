// qem_show_rgl.sep: a panel list value, its pin registered in the reverse
// direction, named from the list choices the host holds for it.
#include "framework/plugin_entry.h"
#include "modules/panel/gui_list_panel.h"

QEM_MODULE(QEM_DESCRIPTION("QEM Show RGuiList", "1.0.2", "Shows value of incoming list choices."), qem::BareDsp,
           qem::GuiListPanel, qem::kRGuiListForm)
