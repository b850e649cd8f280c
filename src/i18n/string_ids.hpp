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

} // namespace qz
