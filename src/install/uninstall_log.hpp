// The installation's undo journal and its file "Uninstall.ulog".
//
// Every change to the machine is recorded before it is made (an add operation)
// and finished after it (`complete`). A failed installation walks the journal
// back with `rollback`; a successful one stores it with `write` for the
// uninstaller. `read` loads the log of an earlier installation at start-up.
#pragma once

#include "app/installed_version.hpp"

#include <windows.h>

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace qz {

// What an entry records. Code 3 has no name: the installer never records it,
// but accepts it in an earlier log and carries it over.
enum class entry_type : int {
    folder = 0,          // a folder this run created
    file = 1,            // a payload file about to be written
    start_menu_link = 2, // a Start-menu shortcut about to be made
    desktop_link = 4,    // a desktop shortcut about to be made
    uninstall_key = 5,   // the product's uninstall registry key about to be written
    file_types = 6,      // the product about to register its file types
    directx_update = 7,  // the DirectX update about to run
};

struct log_entry {
    entry_type type = entry_type::folder;
    // Folder, file or shortcut file concerned; empty for types 5, 6 and 7.
    std::filesystem::path path;
    // Temporary file holding what the change replaced; empty when nothing was saved.
    std::filesystem::path backup;
    bool done = false;
    // Type 1: the payload entry kind (0 to 4); -1 for every other type.
    int kind = -1;
    // Type 5: the key existed before this run. A rollback never deletes such a
    // key, even when it could not be saved. Not written to the log file.
    bool existed = false;

    friend bool operator==(const log_entry&, const log_entry&) = default;
};

// Where the product's uninstall key lives. The default is the real one;
// tests point it at a sandbox key.
struct uninstall_key_location {
    HKEY root = HKEY_LOCAL_MACHINE;
    std::wstring parent{uninstall_parent_key};
    // Subkey name below `parent`; empty: product_key_name(product_code()).
    std::wstring name;

    [[nodiscard]] std::wstring key_name() const;
};

struct uninstall_log {
    // Installation folder of the earlier log; empty if none or no longer a folder.
    std::filesystem::path install_path;
    // Start-menu folder of the earlier log; same rule.
    std::filesystem::path shortcut_path;
    // True when no earlier log was read, else whether it holds a desktop shortcut.
    bool desktop_shortcut = true;
    // Entries of the earlier log, in file order.
    std::vector<log_entry> previous_entries;
    // Entries of this run, in the order the changes were made.
    std::vector<log_entry> entries;
    // An add operation appended an entry that `complete` has not finished yet.
    bool pending = false;
    // Product label of the earlier log's Install line, without its update remark.
    std::wstring previous_install;
    // Registry location restored by the rollback of a type-5 entry.
    uninstall_key_location key_location;
    // Where backups and the saved registry key go: the installation's private
    // temporary folder. Empty: the user's temporary folder.
    std::wstring backup_folder;
    // The folders of this run's payload files, journalled or not (an update keeps
    // some as they are). `write` carries an earlier entry over only when it lies
    // in one of them, in the installation or Start-menu folder, or in the folder
    // of one of this run's entries: the uninstaller removes what the log names.
    std::vector<std::wstring> destination_folders;

    // Loads an earlier log (an empty path only resets the object). Its folders
    // are taken only when they are local absolute paths of existing folders. Raises
    // std::ios_base::failure on a file that cannot be opened or read, or is
    // malformed; what was parsed up to the bad line stays in the object.
    void read(const std::filesystem::path& log_file);

    // Creates a folder and its missing parents, journalling each one created
    // (parents first). True when the folder exists as a folder afterwards.
    bool create_folders(const std::filesystem::path& folder);

    // Before a payload file is written: creates its folder and journals the
    // file; an existing file is copied (copy_backup) or moved to a backup.
    // When that backup fails, a file to be copied is left out of the journal
    // (it is never overwritten), and one to be moved raises
    // std::filesystem::filesystem_error with nothing journalled: the file must
    // not be written then.
    void add_file(const std::filesystem::path& file, int kind, bool copy_backup);
    // Before a shortcut is made in `folder`: which 0 is the Start menu,
    // anything else the desktop. The earlier log's shortcut of that type is
    // moved to a backup when it is one of ours (a ".lnk" file named after the
    // product, not a link) below `base`, the system folder of such shortcuts
    // (empty: `folder`).
    void add_shortcut(int which, const std::filesystem::path& folder, const std::filesystem::path& base = {});
    void add_directx_update();
    void add_file_types();
    // Before the uninstall values are written: `key` is the product's existing
    // uninstall key, saved to a hive file, or nullptr when the key was just
    // created (a rollback then deletes it).
    void add_uninstall_key(HKEY key);

    // Finishes the pending entry; a non-empty path replaces its path (the
    // shortcut file made). Does nothing when no entry is pending.
    void complete(bool ok, const std::filesystem::path& path = {});

    // Merges the earlier log's entries into this run's and writes the log
    // file; deletes every backup whatever happens, but one: a shortcut entry
    // without a path (not made) has its backup, the earlier shortcut, moved
    // back to the earlier entry's path, and that entry takes its place; when
    // the move fails again, the backup is kept and stays named in the entry.
    // False when writing failed.
    [[nodiscard]] bool write(const std::filesystem::path& log_file, const std::filesystem::path& install_folder,
                             const std::filesystem::path& start_menu_folder);

    // The pending shortcut could not be made: the earlier shortcut that its
    // entry moved aside goes back, and the entry becomes the earlier log's, so
    // that the new log keeps it. When it cannot go back, the entry stays (not
    // done, with its backup) for the rollback.
    void abandon_shortcut();

    // What an undo step that failed reports: the file, folder or key, and why.
    using undo_report = std::function<void(const std::wstring& what, const std::error_code& error)>;

    // Undoes this run's entries, last first. Goes on past a failure, reporting
    // each one (by its path; a shortcut never made by the backup that holds the
    // earlier one); a backup that could not be put back is kept. Afterwards
    // `entries` holds only the entries that could not be undone (a second call
    // tries them again), and the first failure is raised
    // (std::filesystem::filesystem_error). `releasing` is called with each
    // folder before it is removed, to let go of what holds it open.
    using folder_release = std::function<void(const std::wstring& folder)>;
    void rollback(const undo_report& report = {}, const folder_release& releasing = {});
};

// Copies (copy) or moves `source` to a fresh "qz-%%%%%.tmp" name in `folder` (empty:
// the user's temporary folder) and returns that name, or an empty path on
// failure. An empty source only makes the name, creating nothing.
[[nodiscard]] std::filesystem::path make_backup(const std::filesystem::path& source, bool copy,
                                                const std::wstring& folder = {});

// The temporary folder (or `folder`) joined with `pattern` in which every '%' is
// replaced by a random lower-case hex digit. Raises the system error when the
// temporary folder cannot be determined.
[[nodiscard]] std::filesystem::path unique_temp_path(std::wstring_view pattern, const std::wstring& folder = {});

} // namespace qz
