// The wizard frame's single object, tied to the five page objects.
#include "ui/wizard_pages.hpp"

#include "install/session.hpp"
#include "ui/end_page.hpp"
#include "ui/install_page.hpp"
#include "ui/main_frame.hpp"
#include "ui/mode_page.hpp"
#include "ui/options_page.hpp"
#include "ui/start_page.hpp"

namespace qz {

namespace {

wizard_page_set real_pages()
{
    wizard_page_set set;
    set.pages = {&start_page(), &mode_page(), &options_page(), &install_page(), &end_page()};
    set.show_summary = [] { install_page().show_summary(); };
    set.leave_options = [] { return options_page().accept_folder(); };
    set.do_installation = [] { return install_page().do_installation(); };
    set.build_end_text = [] { end_page().build_end_text(); };
    return set;
}

} // namespace

dlg_main& main_frame()
{
    static dlg_main frame = [] {
        // The message pump hands keyboard messages to the frame while the
        // installation runs.
        set_main_window_getter([] { return main_frame().hwnd; });
        return dlg_main(real_pages(), InstallSession::instance());
    }();
    return frame;
}

} // namespace qz
