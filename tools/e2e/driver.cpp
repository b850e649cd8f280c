// e2e-driver: works the running Install.exe from outside, the way a person would,
// and reads what the installation left on the machine. The test scripts of
// tools/e2e run it under Wine between their own steps (screenshots, checks).
//
//   e2e-driver COMMAND [ARGS...] [";" COMMAND [ARGS...]]...
//
// Commands stop at the first failure, print "e2e-driver: <what>" on stderr and exit
// with 1. Output is UTF-8, one item per line. Times are milliseconds.
//
// The wizard:
//   wait-wizard [MS]          wait until the wizard shows a page (default 20000)
//   wait-gone [MS]            wait until no wizard is on the screen
//   page                      print the number (0-4) of the page on show
//   expect-page N [MS]        wait until page N is on show (default 5000)
//   text ID|title             print a control's text (the page's, else the frame's)
//   texts                     print "ID=text" for every visible control with a text
//   enabled ID | checked ID   print 1 or 0
//   style ID                  print the window style (hexadecimal)
//   selection ID              print a list's selected position (CB_GETCURSEL)
//   progress                  print the install page's progress bar position
//   click ID                  BM_CLICK on a visible, enabled button
//   settext ID TEXT           WM_SETTEXT on a control (the folder edit box)
//   language INDEX            pick a catalogue language in the start page's list
//   wait-run N [MS]           wait until installation run N has ended (the log holds
//                             N run separators and Exit is enabled again)
//   watch-log TEXT [MS]       print each log line as it is completed (looking every 100 ms),
//                             after the milliseconds since this command began, until a line holds TEXT
//   size | rect               print the frame's outer size, or its screen rectangle
//   resize W H                give the frame a new outer size
//   close                     the frame's close box
//   about                     the "About" item of the system menu
//   about-box [MS]            wait for the About box; print its title and texts
//   msgbox [MS]               wait for a message box; print caption, text, buttons, default
//   no-msgbox [MS]            fail if a message box appears within MS (default 1000)
//   answer yes|no|ok|cancel|retry|skip   press that button of the message box
//   box-click ID              BM_CLICK on a control of the message box (a check box)
//   browser [MS]              wait for the folder dialog; print its edit box's text
//   browser-close ok|cancel [TEXT]  type TEXT into its edit box, then press the button
//   measure TEXT              print the text's one-line width in pixels in the dialogs' font
//   fit [about|box|removal]   check that every control's text fits (wizard, About box,
//                             message box, uninstaller's window); the last line is "clipped N"
// The uninstaller's progress window:
//   removal-end [MS]          wait until its Close button is enabled (default 60000);
//                             print "status=<status line>", then the log box's lines
//   removal-close             press its Close button
// The machine:
//   folders                   print the known folders the driver names in its output
//   reset [FOLDER...]         remove everything an installation may have made
//   state [FOLDER...]         print the files and registry values it may have made
//   reg KEY                   print a key's values and subkeys (HKLM\..., HKCU\...)
//   set-dword KEY NAME N | set-sz KEY NAME TEXT | set-binary KEY NAME HEX | delete-key KEY
//   check-files LISTING FOLDER [--update]   placed files against `packer list` output
//   resolve DESTINATION FOLDER   the folder a payload destination names, FOLDER for <InstallPath>
//   ulog FILE                 print Uninstall.ulog as text
//   lnk FILE                  print a shortcut's target, working folder and arguments
//   copy FROM TO | write FILE TEXT | attributes PATH | exists PATH
//   idle                      wait until the installer has painted what is on show,
//                             e.g. before a screenshot
//   hold FILE MS              hold a file open without sharing for MS (prints "held" first)
//   sleep MS
#include "machine.hpp"
#include "common/convert.hpp"
#include "text_fit.hpp"
#include "wizard.hpp"

#include <windows.h>
#include <commctrl.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cwchar>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace e2e;
using args = std::vector<std::wstring>;

void print(const std::wstring& line)
{
    const std::string bytes = qz::to_utf8(line) + "\n";
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

std::string narrow(const std::wstring& text) { return qz::to_utf8(text); }

const std::wstring& arg(const args& a, std::size_t i, const char* what)
{
    if (i >= a.size())
        throw step_failed(std::string("missing argument: ") + what);
    return a[i];
}

int number(const std::wstring& text)
{
    wchar_t* end = nullptr;
    const long value = std::wcstol(text.c_str(), &end, 0);
    if (text.empty() || *end != L'\0')
        throw step_failed("not a number: " + narrow(text));
    return static_cast<int>(value);
}

milliseconds timeout_arg(const args& a, std::size_t i, int fallback)
{
    return milliseconds(i < a.size() ? number(a[i]) : fallback);
}

HWND wizard() { return wait_wizard(milliseconds(5000)); }

HWND control_arg(const args& a)
{
    const std::wstring& id = arg(a, 0, "control id");
    return id == L"title" ? wizard() : control(wizard(), number(id));
}

// Position of each catalogue language in the start page's list.
int language_position(int language)
{
    static const std::map<int, int> positions{{0, 0},  {1, 1},  {2, 2},   {3, 3},   {4, 4},   {5, 5},  {12, 6},
                                              {19, 7}, {9, 8},  {23, 9},  {14, 10}, {7, 11},  {18, 12}};
    const auto found = positions.find(language);
    if (found == positions.end())
        throw step_failed("language " + std::to_string(language) + " is not offered in the list");
    return found->second;
}

int count_of(const std::wstring& text, const std::wstring& part)
{
    int n = 0;
    for (auto at = text.find(part); at != std::wstring::npos; at = text.find(part, at + part.size()))
        ++n;
    return n;
}

void print_lines(const std::vector<std::wstring>& lines)
{
    for (const std::wstring& line : lines)
        print(line);
}

std::wstring escape_newlines(std::wstring text)
{
    for (std::size_t at = 0; (at = text.find_first_of(L"\r\n", at)) != std::wstring::npos;)
        text.replace(at, 1, text[at] == L'\n' ? L"\\n" : L"\\r");
    return text;
}

// The folder dialog once the installer has filled its edit box (at
// BFFM_INITIALIZED): text typed before would be overwritten.
HWND wait_folder_dialog(milliseconds timeout)
{
    HWND box = nullptr;
    const bool ready = wait_until(timeout, [&] {
        box = find_folder_dialog();
        const HWND edit = box ? find_edit_child(box) : nullptr;
        // Sent, not read from the window: another process's edit text is not its caption.
        DWORD_PTR length = 0;
        return edit && SendMessageTimeoutW(edit, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 1000, &length) && length > 0;
    });
    if (!ready)
        throw step_failed(box ? "the folder dialog's edit box stayed empty" : "no folder dialog appeared");
    return box;
}

HWND wait_message_box(milliseconds timeout)
{
    HWND box = nullptr;
    if (!wait_until(timeout, [&] { return (box = find_message_box()) != nullptr; }))
        throw step_failed("no message box appeared");
    return box;
}

// A static control that shows a picture; its text is a resource id.
bool is_picture(HWND window)
{
    const DWORD type = static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)) & SS_TYPEMASK;
    return class_name(window) == L"Static" && (type == SS_BITMAP || type == SS_ICON || type == SS_ENHMETAFILE);
}

// The measurements hold only if the driver's font is the program's: a button of
// known width in dialog units (the frame's Next, 66; the uninstaller's first
// button, 50) must have the width that the font's base units give.
void print_font_check(HWND button, int dialog_units)
{
    RECT r{};
    GetWindowRect(button, &r);
    const int expected = dialog_units_to_pixels_x(dialog_units);
    print((r.right - r.left == expected ? L"font check: the layout matches (button " : L"FONT MISMATCH: button ") +
          std::to_wstring(r.right - r.left) + L" px, expected " + std::to_wstring(expected) + L")");
}

HWND removal_window()
{
    HWND window = nullptr;
    if (!wait_until(milliseconds(5000), [&] { return (window = find_removal_window()) != nullptr; }))
        throw step_failed("no uninstaller window");
    return window;
}

void print_fit(const text_fit_report& report)
{
    print(L"font " + report.font_face + L", dialog base units " + std::to_wstring(report.base_units.cx) + L"x" +
          std::to_wstring(report.base_units.cy));
    for (const text_fit& fit : report.controls) {
        const std::wstring size = L" need " + std::to_wstring(fit.needed.cx) + L"x" + std::to_wstring(fit.needed.cy) +
                                  L" have " + std::to_wstring(fit.available.cx) + L"x" +
                                  std::to_wstring(fit.available.cy);
        print((fit.fits ? L"fits    " : L"CLIPPED ") + std::to_wstring(fit.id) + L" " + fit.class_name + size + L" \"" +
              escape_newlines(fit.text) + L"\"");
    }
    print(L"clipped " + std::to_wstring(report.clipped));
}

std::vector<std::uint8_t> hex_bytes(const std::wstring& text)
{
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::wcstoul(text.substr(i, 2).c_str(), nullptr, 16)));
    return bytes;
}

using command = std::function<void(const args&)>;

const std::map<std::wstring, command>& commands()
{
    static const std::map<std::wstring, command> table{
        {L"wait-wizard", [](const args& a) { (void)wait_wizard(timeout_arg(a, 0, 20000)); }},
        {L"wait-gone",
         [](const args& a) {
             if (!wait_until(timeout_arg(a, 0, 10000), [] { return find_wizard() == nullptr; }))
                 throw step_failed("the wizard is still on the screen");
         }},
        {L"page", [](const args&) { print(std::to_wstring(page_number(visible_page(wizard())))); }},
        {L"expect-page",
         [](const args& a) {
             const int wanted = number(arg(a, 0, "page"));
             int seen = -1;
             if (!wait_until(timeout_arg(a, 1, 5000),
                             [&] { return (seen = page_number(visible_page(wizard()))) == wanted; }))
                 throw step_failed("page " + std::to_string(seen) + " is on show, not " + std::to_string(wanted));
         }},
        {L"text", [](const args& a) { print(window_text(control_arg(a))); }},
        {L"texts",
         [](const args&) {
             for (HWND window : descendants(wizard()))
                 if (IsWindowVisible(window) && class_name(window) != L"#32770" && !is_picture(window)) {
                     const std::wstring text = window_text(window);
                     if (!text.empty())
                         print(std::to_wstring(GetDlgCtrlID(window)) + L"=" + escape_newlines(text));
                 }
         }},
        {L"enabled", [](const args& a) { print(IsWindowEnabled(control_arg(a)) ? L"1" : L"0"); }},
        {L"checked",
         [](const args& a) {
             print(std::to_wstring(SendMessageW(control_arg(a), BM_GETCHECK, 0, 0)));
         }},
        {L"style",
         [](const args& a) {
             wchar_t text[16];
             std::swprintf(text, 16, L"%08lx", static_cast<unsigned long>(GetWindowLongW(control_arg(a), GWL_STYLE)));
             print(text);
         }},
        {L"selection",
         [](const args& a) { print(std::to_wstring(SendMessageW(control_arg(a), CB_GETCURSEL, 0, 0))); }},
        {L"progress",
         [](const args&) { print(std::to_wstring(SendMessageW(control(wizard(), 1014), PBM_GETPOS, 0, 0))); }},
        {L"click", [](const args& a) { click(control_arg(a)); }},
        {L"settext",
         [](const args& a) {
             const std::wstring& text = arg(a, 1, "text");
             DWORD_PTR result = 0;
             if (!SendMessageTimeoutW(control_arg(a), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                                      SMTO_ABORTIFHUNG, 5000, &result))
                 throw step_failed("WM_SETTEXT was not answered");
         }},
        {L"language",
         [](const args& a) {
             const HWND page = visible_page(wizard());
             const HWND list = GetDlgItem(page, id_language);
             if (!list || page_number(page) != 0)
                 throw step_failed("the language list is not on show");
             const int position = language_position(number(arg(a, 0, "language index")));
             if (SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(position), 0) != position)
                 throw step_failed("CB_SETCURSEL failed");
             // Posted: the change may show a message box.
             PostMessageW(page, WM_COMMAND, MAKEWPARAM(id_language, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
         }},
        {L"wait-run",
         [](const args& a) {
             const int runs = number(arg(a, 0, "run number"));
             const std::wstring separator(45, L'\u2500');
             const HWND frame = wizard();
             const HWND log = control(frame, id_log);
             if (!wait_until(timeout_arg(a, 1, 60000), [&] {
                     return count_of(window_text(log), separator) >= runs && IsWindowEnabled(GetDlgItem(frame, id_exit));
                 }))
                 throw step_failed("installation run " + std::to_string(runs) + " did not end");
         }},
        {L"watch-log",
         [](const args& a) {
             const std::wstring& until = arg(a, 0, "text");
             const HWND log = control(wizard(), id_log);
             const auto start = std::chrono::steady_clock::now();
             std::size_t done = window_text(log).size(); // only what comes after
             bool seen = false;
             // Every 100 ms, not every 20: each look makes the installer copy its log.
             const auto slowly = [&](milliseconds timeout, const auto& condition) {
                 return wait_until(timeout, [&] { return condition() || (Sleep(80), false); });
             };
             if (!slowly(timeout_arg(a, 1, 600000), [&] {
                     const std::wstring text = window_text(log);
                     const auto ms = std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - start);
                     for (std::size_t end; !seen && (end = text.find(L"\r\n", done)) != std::wstring::npos; done = end + 2) {
                         const std::wstring line = text.substr(done, end - done);
                         print(std::to_wstring(ms.count()) + L"\t" + line);
                         seen = line.find(until) != std::wstring::npos;
                     }
                     return seen;
                 }))
                 throw step_failed("the log did not show " + narrow(until));
         }},
        {L"size",
         [](const args&) {
             RECT r{};
             GetWindowRect(wizard(), &r);
             print(std::to_wstring(r.right - r.left) + L" " + std::to_wstring(r.bottom - r.top));
         }},
        {L"rect",
         [](const args&) {
             RECT r{};
             GetWindowRect(wizard(), &r);
             print(std::to_wstring(r.left) + L" " + std::to_wstring(r.top) + L" " + std::to_wstring(r.right - r.left) +
                   L" " + std::to_wstring(r.bottom - r.top));
         }},
        {L"resize",
         [](const args& a) {
             const int width = number(arg(a, 0, "width"));
             const int height = number(arg(a, 1, "height"));
             if (!SetWindowPos(wizard(), nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE))
                 throw step_failed("SetWindowPos failed");
         }},
        {L"close", [](const args&) { PostMessageW(wizard(), WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {L"about", [](const args&) { PostMessageW(wizard(), WM_SYSCOMMAND, 16, 0); }},
        {L"about-box",
         [](const args& a) {
             HWND box = nullptr;
             if (!wait_until(timeout_arg(a, 0, 5000), [&] { return (box = find_about_box()) != nullptr; }))
                 throw step_failed("no About box appeared");
             print(L"title=" + window_text(box));
             for (HWND window : descendants(box)) {
                 const std::wstring text = window_text(window);
                 if (!text.empty())
                     print(std::to_wstring(GetDlgCtrlID(window)) + L"=" + escape_newlines(text));
             }
         }},
        {L"msgbox",
         [](const args& a) {
             const HWND box = wait_message_box(timeout_arg(a, 0, 5000));
             print(L"caption=" + window_text(box));
             print(L"text=" + escape_newlines(window_text(GetDlgItem(box, id_message_text))));
             std::wstring buttons;
             std::wstring default_button;
             for (const auto& [id, name] : std::map<int, const wchar_t*>{
                      {IDOK, L"ok"}, {IDCANCEL, L"cancel"}, {IDRETRY, L"retry"}, {IDIGNORE, L"skip"},
                      {IDYES, L"yes"}, {IDNO, L"no"}})
                 if (const HWND button = GetDlgItem(box, id); button && IsWindowVisible(button)) {
                     buttons += (buttons.empty() ? L"" : L",") + std::wstring(name);
                     if ((GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
                         default_button = name;
                 }
             print(L"buttons=" + buttons);
             print(L"default=" + default_button);
         }},
        {L"no-msgbox",
         [](const args& a) {
             if (wait_until(timeout_arg(a, 0, 1000), [] { return find_message_box() != nullptr; }))
                 throw step_failed("a message box appeared: " + narrow(window_text(GetDlgItem(
                                                                     find_message_box(), id_message_text))));
         }},
        {L"answer",
         [](const args& a) {
             static const std::map<std::wstring, int> ids{
                 {L"ok", IDOK},   {L"cancel", IDCANCEL}, {L"retry", IDRETRY},
                 {L"skip", IDIGNORE}, {L"yes", IDYES}, {L"no", IDNO}};
             const auto id = ids.find(arg(a, 0, "button"));
             if (id == ids.end())
                 throw step_failed("unknown button " + narrow(a[0]));
             HWND box = nullptr;
             if (!wait_until(milliseconds(5000), [&] { return (box = find_message_box()) || (box = find_about_box()); }))
                 throw step_failed("no message box to answer");
             const HWND button = GetDlgItem(box, id->second);
             if (!button)
                 throw step_failed("the box has no " + narrow(a[0]) + " button");
             click(button);
             if (!wait_until(milliseconds(5000), [&] { return !IsWindow(box) || !IsWindowVisible(box); }))
                 throw step_failed("the box did not close");
         }},
        {L"browser",
         [](const args& a) {
             const HWND box = wait_folder_dialog(timeout_arg(a, 0, 5000));
             print(L"edit=" + window_text(find_edit_child(box)));
         }},
        {L"browser-close",
         [](const args& a) {
             const std::wstring& which = arg(a, 0, "button");
             if (which != L"ok" && which != L"cancel")
                 throw step_failed("unknown button " + narrow(which));
             const HWND box = wait_folder_dialog(milliseconds(5000));
             if (a.size() > 1)
                 SendMessageW(find_edit_child(box), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(a[1].c_str()));
             click(GetDlgItem(box, which == L"ok" ? IDOK : IDCANCEL));
             if (!wait_until(milliseconds(5000), [&] { return !IsWindow(box) || !IsWindowVisible(box); }))
                 throw step_failed("the folder dialog did not close");
         }},
        {L"box-click",
         [](const args& a) {
             const HWND box = wait_message_box(milliseconds(5000));
             const HWND item = GetDlgItem(box, number(arg(a, 0, "control id")));
             if (!item)
                 throw step_failed("the box has no such control");
             click(item);
         }},
        {L"fit",
         [](const args& a) {
             const std::wstring which = a.empty() ? L"" : a[0];
             HWND target = nullptr;
             if (which == L"box") {
                 target = wait_message_box(milliseconds(5000));
                 // The uninstaller's questions: No 50 units wide, or Skip 72.
                 const HWND no = GetDlgItem(target, IDNO);
                 print_font_check(no ? no : GetDlgItem(target, IDIGNORE), no ? 50 : 72);
             } else if (which == L"removal") {
                 target = removal_window();
                 print_font_check(GetDlgItem(target, IDCANCEL), 50);
             } else {
                 const HWND frame = wizard();
                 target = frame;
                 if (which == L"about" && !(target = find_about_box()))
                     throw step_failed("no About box");
                 print_font_check(GetDlgItem(frame, id_next), 66);
             }
             print_fit(check_text_fit(target));
         }},
        {L"removal-end",
         [](const args& a) {
             const HWND window = removal_window();
             const HWND close = GetDlgItem(window, IDCANCEL);
             if (!wait_until(timeout_arg(a, 0, 60000), [&] { return IsWindowEnabled(close) != FALSE; }))
                 throw step_failed("the removal did not end");
             print(L"status=" + window_text(GetDlgItem(window, 1003)));
             std::wstring log = window_text(GetDlgItem(window, id_log));
             for (std::size_t at; (at = log.find(L'\r')) != std::wstring::npos;)
                 log.erase(at, 1);
             print(log);
         }},
        {L"removal-close", [](const args&) { click(GetDlgItem(removal_window(), IDCANCEL)); }},
        {L"hold",
         [](const args& a) {
             const HANDLE file = CreateFileW(arg(a, 0, "file").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                             FILE_ATTRIBUTE_NORMAL, nullptr);
             if (file == INVALID_HANDLE_VALUE)
                 throw step_failed("the file cannot be opened");
             print(L"held");
             std::fflush(stdout);
             Sleep(static_cast<DWORD>(number(arg(a, 1, "milliseconds"))));
             CloseHandle(file);
         }},
        {L"measure",
         [](const args& a) {
             const std::wstring& text = arg(a, 0, "text");
             print(std::to_wstring(text_width(text)) + L" " + text);
         }},
        {L"folders",
         [](const args&) {
             for (const named_folder& folder : machine_folders())
                 print(folder.name + L"=" + folder.path);
         }},
        {L"reset", [](const args& a) { reset_machine(a); }},
        {L"state", [](const args& a) { print_lines(machine_state(a)); }},
        {L"reg", [](const args& a) { print_lines(registry_dump(arg(a, 0, "key"))); }},
        {L"set-dword",
         [](const args& a) {
             const auto value = static_cast<DWORD>(number(arg(a, 2, "value")));
             const auto* bytes = reinterpret_cast<const std::uint8_t*>(&value);
             set_registry_value(arg(a, 0, "key"), arg(a, 1, "name"), REG_DWORD, {bytes, bytes + 4});
         }},
        {L"set-sz",
         [](const args& a) {
             const std::wstring& text = arg(a, 2, "text");
             const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.c_str());
             set_registry_value(arg(a, 0, "key"), arg(a, 1, "name"), REG_SZ,
                                {bytes, bytes + 2 * (text.size() + 1)});
         }},
        {L"set-binary",
         [](const args& a) {
             set_registry_value(arg(a, 0, "key"), arg(a, 1, "name"), REG_BINARY, hex_bytes(arg(a, 2, "bytes")));
         }},
        {L"delete-key", [](const args& a) { delete_registry_key(arg(a, 0, "key")); }},
        {L"resolve", [](const args& a) { print(resolve(arg(a, 0, "destination"), arg(a, 1, "installation folder"))); }},
        {L"check-files",
         [](const args& a) {
             std::vector<std::wstring> lines;
             const bool ok = check_payload_files(arg(a, 0, "listing"), arg(a, 1, "installation folder"),
                                                 a.size() > 2 && a[2] == L"--update", lines);
             print_lines(lines);
             if (!ok)
                 throw step_failed("the placed files differ from the payload");
         }},
        {L"ulog", [](const args& a) { print_lines(read_uninstall_log(arg(a, 0, "file"))); }},
        {L"lnk", [](const args& a) { print_lines(read_shortcut(arg(a, 0, "file"))); }},
        {L"copy", [](const args& a) { copy_file(arg(a, 0, "source"), arg(a, 1, "target")); }},
        {L"write", [](const args& a) { write_file(arg(a, 0, "file"), narrow(arg(a, 1, "text"))); }},
        {L"attributes",
         [](const args& a) {
             const DWORD attrs = GetFileAttributesW(arg(a, 0, "path").c_str());
             wchar_t text[16];
             std::swprintf(text, 16, L"%04lx", static_cast<unsigned long>(attrs));
             print(attrs == INVALID_FILE_ATTRIBUTES ? L"missing" : text);
         }},
        {L"exists",
         [](const args& a) {
             print(GetFileAttributesW(arg(a, 0, "path").c_str()) == INVALID_FILE_ATTRIBUTES ? L"0" : L"1");
         }},
        {L"idle",
         [](const args&) {
             HWND window = find_message_box();
             if (!window)
                 window = find_about_box();
             if (!window)
                 window = find_removal_window();
             if (!window)
                 window = wizard();
             // The window's thread handles this only once it takes messages again;
             // the forced repaint then runs on that thread before the call returns.
             DWORD_PTR result = 0;
             if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result))
                 throw step_failed("the installer does not answer");
             RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
             // Wine copies a window's pixels to the X server shortly after painting.
             Sleep(250);
         }},
        {L"sleep", [](const args& a) { Sleep(static_cast<DWORD>(number(arg(a, 0, "milliseconds")))); }},
    };
    return table;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    _setmode(_fileno(stdout), _O_BINARY);
    std::vector<args> steps(1);
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], L";") == 0)
            steps.emplace_back();
        else
            steps.back().push_back(argv[i]);
    }
    std::wstring current;
    try {
        for (args& step : steps) {
            if (step.empty())
                continue;
            current = step.front();
            const auto found = commands().find(current);
            if (found == commands().end())
                throw step_failed("unknown command");
            step.erase(step.begin());
            found->second(step);
        }
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "e2e-driver: %s: %s\n", narrow(current).c_str(), e.what());
        return 1;
    }
    std::fflush(stdout);
    return argc > 1 ? 0 : 2;
}
