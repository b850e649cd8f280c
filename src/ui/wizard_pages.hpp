// The wizard's dialog objects: one per class for the whole process, created on
// first use by these accessors and destroyed at process exit. Each page's
// accessor is defined beside its class; main_frame() in ui/wizard_pages.cpp,
// which ties the frame to the pages. Include a class's own header to use its members.
#pragma once

namespace qz {

class dlg_main;
class dlg_start;
class dlg_mode;
class dlg_options;
class dlg_install;
class dlg_end;

[[nodiscard]] dlg_main& main_frame();      // the wizard frame, template 101
[[nodiscard]] dlg_start& start_page();     // page 0, template 132
[[nodiscard]] dlg_mode& mode_page();       // page 1, template 136
[[nodiscard]] dlg_options& options_page(); // page 2, template 133
[[nodiscard]] dlg_install& install_page(); // page 3, template 135
[[nodiscard]] dlg_end& end_page();         // page 4, template 137

} // namespace qz
