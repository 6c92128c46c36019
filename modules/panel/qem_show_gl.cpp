// qem_show_gl.sep: a panel list value shown as its number and name, from a
// list the user types into "List Choices".
#include "framework/plugin_entry.h"
#include "modules/panel/gui_list_panel.h"

QEM_MODULE(QEM_DESCRIPTION("QEM Show GuiList", "1.0.2",
                           "Shows value of incoming list choices.\n\n"
                           "You can enter your own list in the 'List Choices' field. The format is "
                           "'word=value,word=value', etc. For example, you could put 'Ichi=1,Ni,San,Shi,Go,Ju=10' "
                           "to count from 1 to 5, and 10, in Japanese. If no value is noted, then the value "
                           "increases by one for each number, as shown in the example."),
           qem::BareDsp, qem::GuiListPanel, qem::kGuiListForm)
