// What the uninstaller's window says about an item left, and the in-use question.
#include "uninstall/removal_report.hpp"

#include "i18n/language.hpp"
#include "support/error.hpp"
#include "support/file_system.hpp"

#include <gtest/gtest.h>

namespace {

using qz::refusal;
using qz::removal_outcome;
using qz::removal_step;

TEST(removal_report, names_each_item_left_with_its_reason)
{
    qz::set_language(qz::language_english);
    const auto code = [](DWORD c) { return qz::system_error_code(c); };
    struct row {
        removal_step step;
        refusal reason;
        removal_outcome outcome;
        std::error_code error;
        std::vector<std::wstring> holders;
        std::wstring expected;
    };
    const row rows[] = {
        {removal_step::remove_file, refusal::none, removal_outcome::removed, {}, {}, L""},
        {removal_step::remove_file, refusal::none, removal_outcome::kept, {}, {}, L""},
        {removal_step::remove_file, refusal::none, removal_outcome::absent, {}, {}, L""},
        {removal_step::remove_file, refusal::none, removal_outcome::failed, code(ERROR_SHARING_VIOLATION),
         {L"Gradiva", L"Notepad"}, L"\"C:\\P\\a.dll\": in use by Gradiva, Notepad."},
        {removal_step::remove_file, refusal::none, removal_outcome::failed, code(ERROR_SHARING_VIOLATION), {},
         L"\"C:\\P\\a.dll\": in use by another program."},
        // Access denied counts as in use only when someone is known to hold the file.
        {removal_step::remove_file, refusal::none, removal_outcome::failed, code(ERROR_ACCESS_DENIED), {L"Gradiva"},
         L"\"C:\\P\\a.dll\": in use by Gradiva."},
        {removal_step::remove_file, refusal::none, removal_outcome::failed, code(ERROR_ACCESS_DENIED), {},
         L"\"C:\\P\\a.dll\": access denied."},
        {removal_step::remove_folder, refusal::none, removal_outcome::not_empty, {}, {},
         L"\"C:\\P\\a.dll\": the folder still holds files."},
        {removal_step::remove_file, refusal::outside_installation, removal_outcome::refused, {}, {},
         L"\"C:\\P\\a.dll\": refused, it lies outside the installation."},
        {removal_step::remove_file, refusal::not_local_absolute, removal_outcome::refused, {}, {},
         L"\"C:\\P\\a.dll\": refused, it is not a local path."},
        {removal_step::remove_folder, refusal::system_folder, removal_outcome::refused, {}, {},
         L"\"C:\\P\\a.dll\": refused, it is a system folder."},
        {removal_step::remove_file, refusal::none, removal_outcome::refused, code(qz::error_reparse_point), {},
         L"\"C:\\P\\a.dll\": refused, a link stands on the way."},
        {removal_step::unregister_file_types, refusal::no_main_program, removal_outcome::refused, {}, {},
         L"The file types could not be unregistered: the log names no main program."},
        {removal_step::remove_registration, refusal::none, removal_outcome::postponed, {}, {},
         L"\"The registration of 'Gradiva 7.18f' in Windows\": kept for a second uninstallation, since other items "
         L"are left."},
        {removal_step::remove_registration, refusal::none, removal_outcome::refused, code(ERROR_INVALID_DATA), {},
         L"\"The registration of 'Gradiva 7.18f' in Windows\": refused, it lies outside the installation."},
    };
    for (const row& r : rows) {
        qz::removal_action action;
        action.step = r.step;
        action.reason = r.reason;
        action.path = r.step == removal_step::remove_registration ? L"" : L"C:\\P\\a.dll";
        EXPECT_EQ(qz::left_item_text(action, {r.outcome, r.error}, r.holders), r.expected);
    }

    // Other errors carry their own text.
    qz::removal_action file;
    file.path = L"C:\\P\\a.dll";
    const std::wstring other = qz::left_item_text(file, {removal_outcome::failed, code(ERROR_DISK_FULL)}, {});
    EXPECT_TRUE(other.starts_with(L"\"C:\\P\\a.dll\": could not be removed (")) << other;
    EXPECT_EQ(other.find(L"{1}"), std::wstring::npos) << other;

    EXPECT_EQ(qz::in_use_question(L"C:\\P\\a.dll", {L"Gradiva"}),
              L"The file \"C:\\P\\a.dll\" is in use by Gradiva. Close it and choose Retry, or choose Skip to leave it.");
}

} // namespace
