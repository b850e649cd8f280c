// The ids of the program's strings (src/resources/strings), with their English text.
#pragma once

namespace qz {

// Installer
inline constexpr unsigned msg_installer = 1000;
// OK
inline constexpr unsigned msg_ok_button = 1001;
// Cancel
inline constexpr unsigned msg_cancel = 1002;
// About '{0}'
inline constexpr unsigned msg_about = 1003;
// Exit
inline constexpr unsigned msg_exit_button = 1004;
// Back
inline constexpr unsigned msg_back = 1005;
// Next
inline constexpr unsigned msg_next = 1006;
// Install
inline constexpr unsigned msg_install_button = 1007;
// Browse...
inline constexpr unsigned msg_browse = 1008;
// Installation Folder Selection
inline constexpr unsigned msg_folder_selection = 1010;
// OK
inline constexpr unsigned msg_ok = 1011;
// Failed
inline constexpr unsigned msg_failed = 1012;
// Error
inline constexpr unsigned msg_error = 1013;
// Select Installation Langage
inline constexpr unsigned msg_select_language = 1014;
// Installation Method
inline constexpr unsigned msg_method = 1015;
// Quick Installation (Recommended)
inline constexpr unsigned msg_quick = 1016;
// Advanced Installation
inline constexpr unsigned msg_advanced = 1017;
// {0} Examples
inline constexpr unsigned msg_sample_folder = 1018;
// Help
inline constexpr unsigned msg_help = 1019;
// '{0}' Installation.
inline constexpr unsigned msg_installation = 1100;
// Update from '{0}' to '{1}'.
inline constexpr unsigned msg_update = 1101;
// '{0}' is already installed.
inline constexpr unsigned msg_already_installed = 1102;
// A more recent Version ({0}) is already installed.
inline constexpr unsigned msg_newer_installed = 1103;
// Do you confirm Reinstallation ?
inline constexpr unsigned msg_reinstall_question = 1104;
// Click on '{0}' to continue or on '{1}' to exit Installation.
inline constexpr unsigned msg_continue_or_exit = 1105;
// Click on '{0}' to continue.
inline constexpr unsigned msg_continue = 1106;
// Click on '{0}' to exit Installation.
inline constexpr unsigned msg_exit = 1107;
// Click on '{0}' to start Installation.
inline constexpr unsigned msg_start_installation = 1108;
// {0} is protected by copyright law and international treaties.
inline constexpr unsigned msg_legal_notice = 1109;
// Installation is not complete.\n\nDo you still confirm exit Installation ?
inline constexpr unsigned msg_exit_question = 1110;
// Select '{0}' Installation Folder.
inline constexpr unsigned msg_select_folder = 1111;
// Create a Shortcut in the Start Menu.
inline constexpr unsigned msg_create_start_menu_shortcut = 1112;
// Create a Shortcut on the Desktop.
inline constexpr unsigned msg_create_desktop_shortcut = 1113;
// Preparing Installation...
inline constexpr unsigned msg_preparing = 1114;
// Copying File "{0}"...
inline constexpr unsigned msg_copying = 1115;
// Shortcuts Creation...
inline constexpr unsigned msg_shortcuts = 1117;
// Registry Data Writing...
inline constexpr unsigned msg_registry = 1118;
// Installation Data Writing...
inline constexpr unsigned msg_installation_data = 1119;
// Installation is complete.
inline constexpr unsigned msg_complete = 1120;
// Installation failed (Error Code {0}).
inline constexpr unsigned msg_installation_failed = 1121;
// Installation Options
inline constexpr unsigned msg_options = 1122;
// Installation Folder: "{0}".
inline constexpr unsigned msg_folder = 1123;
// Creating a Shortcut in the Start Menu.
inline constexpr unsigned msg_creating_start_menu_shortcut = 1124;
// Creating a Shortcut on the Desktop.
inline constexpr unsigned msg_creating_desktop_shortcut = 1125;
// You should have Administrator Rights in order to proceed to Installation.
inline constexpr unsigned msg_administrator_rights = 1126;
// You should close '{0}' before continuing Installation.
inline constexpr unsigned msg_close_product = 1127;
// '{0}' will be installed in the selected Langage, but the Installer, still under translation, shall run in English.
inline constexpr unsigned msg_installer_untranslated = 1129;
// Updating DirectX...
inline constexpr unsigned msg_directx = 1131;
// Rollback: could not restore "{0}" ({1}).
inline constexpr unsigned msg_rollback_failed = 1132;
// The installation could not be fully undone. The saved copies are in "{0}".
inline constexpr unsigned msg_rollback_incomplete = 1133;
// The Installation Folder cannot be "{0}": choose a folder of its own on a local drive, such as "{1}".
inline constexpr unsigned msg_folder_refused = 1134;

// The uninstaller's texts:
// {0} Uninstall
inline constexpr unsigned msg_uninstall_title = 1135;
// Do you want to completely remove '{0}' and all of its components?
inline constexpr unsigned msg_remove_question = 1136;
// Also remove shared libraries and sample projects
inline constexpr unsigned msg_remove_shared = 1137;
// Yes
inline constexpr unsigned msg_yes = 1138;
// No
inline constexpr unsigned msg_no = 1139;
// Unregistering the file types...
inline constexpr unsigned msg_unregistering_file_types = 1140;
// Removing "{0}"...
inline constexpr unsigned msg_removing = 1141;
// Removing the registration...
inline constexpr unsigned msg_removing_registration = 1142;
// '{0}' was successfully removed from your computer.
inline constexpr unsigned msg_removed = 1143;
// These items could not be removed:
inline constexpr unsigned msg_not_removed = 1144;
// "{0}": in use by {1}.
inline constexpr unsigned msg_left_in_use_by = 1145;
// "{0}": in use by another program.
inline constexpr unsigned msg_left_in_use = 1146;
// "{0}": the folder still holds files.
inline constexpr unsigned msg_left_not_empty = 1147;
// "{0}": refused, it lies outside the installation.
inline constexpr unsigned msg_left_outside = 1148;
// "{0}": refused, a link stands on the way.
inline constexpr unsigned msg_left_link = 1149;
// "{0}": refused, it is not a local path.
inline constexpr unsigned msg_left_not_local = 1150;
// "{0}": refused, it is a system folder.
inline constexpr unsigned msg_left_system_folder = 1151;
// "{0}": access denied.
inline constexpr unsigned msg_left_access_denied = 1152;
// "{0}": could not be removed ({1}).
inline constexpr unsigned msg_left_error = 1153;
// "{0}": kept for a second uninstallation, since other items are left.
inline constexpr unsigned msg_left_postponed = 1154;
// The file types could not be unregistered: the log names no main program.
inline constexpr unsigned msg_no_main_program = 1155;
// The file types could not be unregistered ({0}).
inline constexpr unsigned msg_unregister_failed = 1156;
// The registration of '{0}' in Windows
inline constexpr unsigned msg_registration_item = 1157;
// The file "{0}" is in use by {1}. Close it and choose Retry, or choose Skip to leave it.
inline constexpr unsigned msg_in_use_by_question = 1158;
// The file "{0}" is in use by another program. Close it and choose Retry, or choose Skip to leave it.
inline constexpr unsigned msg_in_use_question = 1159;
// Retry
inline constexpr unsigned msg_retry = 1160;
// Skip
inline constexpr unsigned msg_skip = 1161;
// Close
inline constexpr unsigned msg_close = 1162;
// No uninstall log was found in "{0}". Nothing was removed.
inline constexpr unsigned msg_no_log = 1163;
// The uninstall log "{0}" is damaged. Nothing was removed.
inline constexpr unsigned msg_damaged_log = 1164;

} // namespace qz
