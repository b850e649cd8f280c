#include "uninstall/removal_plan.hpp"

#include "app/product.hpp"
#include "support/file_system.hpp"
#include "support/path.hpp"

#include <windows.h>

#include <algorithm>
#include <iterator>
#include <map>

namespace qz {

namespace {

constexpr int uninstaller_kind = 2;
constexpr int main_program_kind = 1;
constexpr std::wstring_view maker_name = L"Varnholt";

bool is_file_entry(entry_type type)
{
    const int code = static_cast<int>(type);
    return code >= 1 && code <= 4;
}

bool is_link_entry(entry_type type)
{
    return type == entry_type::start_menu_link || type == entry_type::desktop_link;
}

// Two spellings of one path give one key: the file systems ignore case.
std::wstring path_key(const std::wstring& path)
{
    std::wstring key = normalized_path(path);
    if (!key.empty())
        CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
    return key;
}

std::size_t depth(const std::wstring& path)
{
    const std::wstring normal = normalized_path(path);
    return static_cast<std::size_t>(std::count(normal.begin(), normal.end(), L'\\'));
}

// A local absolute path with no second name for something else: no stream (":"),
// no element ending in "." or " " (dropped by Windows), no 8.3 name ("~" and a
// digit) and no "Sysnative" (the 64-bit system folder for a 32-bit program).
bool is_plain_path(const std::wstring& path)
{
    if (!is_local_absolute_path(path))
        return false;
    const std::wstring normal = normalized_path(path);
    std::size_t start = path_root_length(normal);
    if (normal.find(L':', start) != std::wstring::npos)
        return false;
    while (start < normal.size()) {
        std::size_t end = normal.find(L'\\', start);
        if (end == std::wstring::npos)
            end = normal.size();
        const std::wstring_view name = std::wstring_view(normal).substr(start, end - start);
        if (!name.empty() && (name.back() == L'.' || name.back() == L' '))
            return false;
        for (std::size_t tilde = name.find(L'~'); tilde != std::wstring_view::npos; tilde = name.find(L'~', tilde + 1))
            if (tilde + 1 < name.size() && name[tilde + 1] >= L'0' && name[tilde + 1] <= L'9')
                return false;
        if (same_path(name, L"Sysnative"))
            return false;
        start = end + 1;
    }
    return true;
}

class validator {
public:
    validator(const uninstall_log& log, const removal_options& options) : options_(options)
    {
        const std::wstring& install = log.install_path.native();
        if (is_plain_path(install) && !holds_system_folder(install))
            install_ = install;
        roots_.push_back(install_);
        // The log names its Start-menu folder itself: trusted only inside a link folder.
        const std::wstring& shortcuts = log.shortcut_path.native();
        const auto in_links = [&shortcuts](const std::wstring& links) { return is_within(shortcuts, links); };
        if (is_plain_path(shortcuts) && !holds_system_folder(shortcuts)
            && std::any_of(options.link_folders.begin(), options.link_folders.end(), in_links))
            shortcuts_ = shortcuts;
        roots_.push_back(shortcuts_);
        for (const log_entry& entry : log.previous_entries)
            if (entry.type == entry_type::folder && check(entry.type, entry.path.native()) == refusal::none)
                roots_.push_back(entry.path.native());
        link_folders_.insert(link_folders_.end(), options.link_folders.begin(), options.link_folders.end());
    }

    // Why `path` of an entry of `type` may not be touched, or none.
    [[nodiscard]] refusal check(entry_type type, const std::wstring& path) const
    {
        if (!is_plain_path(path))
            return refusal::not_local_absolute;
        if (holds_system_folder(path))
            return refusal::system_folder;
        if (type == entry_type::folder)
            return within_installation(path) || own_folder_name(path) ? refusal::none : refusal::outside_installation;
        const auto inside = [&path](const std::wstring& root) {
            return !root.empty() && is_within(path, root) && !same_path(path, root);
        };
        if (std::any_of(roots_.begin(), roots_.end(), inside))
            return refusal::none;
        if (is_link_entry(type) && own_shortcut_name(path)) {
            const std::wstring folder = parent_folder(path);
            const auto holds = [&folder](const std::wstring& links) { return same_path(folder, links); };
            if (std::any_of(link_folders_.begin(), link_folders_.end(), holds))
                return refusal::none;
        }
        return refusal::outside_installation;
    }

    // The deepest system folder above `path`, else its drive root.
    [[nodiscard]] std::wstring base_of(const std::wstring& path) const
    {
        std::wstring base = normalized_path(path_root(path));
        for (const std::wstring& folder : options_.system_folders)
            if (is_within(path, folder) && !same_path(path, folder) && normalized_path(folder).size() > base.size())
                base = normalized_path(folder);
        return base;
    }

private:
    [[nodiscard]] bool within_installation(const std::wstring& folder) const
    {
        return (!install_.empty() && is_within(folder, install_)) || (!shortcuts_.empty() && is_within(folder, shortcuts_));
    }

    // In the installation's shared folders elsewhere ("Varnholt", "Gradiva Examples"),
    // or one of them.
    [[nodiscard]] static bool own_folder_name(const std::wstring& path)
    {
        for (std::wstring folder = normalized_path(path); folder.size() > path_root_length(folder);
             folder = parent_folder(folder)) {
            const std::wstring_view name = file_name(folder);
            const auto starts = [&name](std::wstring_view prefix) {
                return name.size() >= prefix.size() && same_path(name.substr(0, prefix.size()), prefix);
            };
            if (starts(product_name) || starts(maker_name))
                return true;
        }
        return false;
    }

    [[nodiscard]] bool holds_system_folder(const std::wstring& path) const
    {
        if (normalized_path(path).size() <= path_root_length(path))
            return true; // a drive root
        return std::any_of(options_.system_folders.begin(), options_.system_folders.end(),
                           [&path](const std::wstring& folder) { return is_within(folder, path); });
    }

    // "Gradiva....lnk": the product's name first, a shortcut last.
    [[nodiscard]] static bool own_shortcut_name(const std::wstring& path)
    {
        const std::wstring_view name = file_name(path);
        const std::wstring_view extension = L".lnk";
        return name.size() > product_name.size() + extension.size()
               && same_path(name.substr(0, product_name.size()), product_name)
               && same_path(name.substr(name.size() - extension.size()), extension);
    }

    const removal_options& options_;
    std::wstring install_;
    std::wstring shortcuts_;
    std::vector<std::wstring> roots_;
    std::vector<std::wstring> link_folders_;
};

} // namespace

removal_plan plan_removal(const uninstall_log& log, const std::wstring& log_file, const removal_options& options)
{
    removal_plan plan;
    plan.entries = log.previous_entries;
    plan.log_file = log_file;
    plan.install_path = log.install_path.native();
    plan.shortcut_path = log.shortcut_path.native();
    plan.previous_install = log.previous_install;

    const validator rules(log, options);
    std::vector<removal_action> files;
    std::vector<removal_action> last_group;
    std::vector<removal_action> folders;
    std::vector<std::size_t> file_types;
    std::vector<std::size_t> registration;

    const auto verdict_of = [&](removal_action& action, entry_type type) {
        action.reason = rules.check(type, action.path);
        if (action.reason != refusal::none)
            action.verdict = removal_verdict::refuse;
        else if ((action.kind == 3 || action.kind == 4) && !options.remove_shared)
            action.verdict = removal_verdict::keep;
        if (action.verdict != removal_verdict::refuse)
            action.base = rules.base_of(action.path);
    };

    // Last entry first; a path seen again joins the action already made for it.
    std::map<std::wstring, std::pair<int, std::size_t>> index; // key -> (group, position in it)
    for (std::size_t i = plan.entries.size(); i-- > 0;) {
        const log_entry& entry = plan.entries[i];
        if (entry.type == entry_type::file_types) {
            file_types.push_back(i);
            continue;
        }
        if (entry.type == entry_type::uninstall_key) {
            registration.push_back(i);
            continue;
        }
        if (entry.type != entry_type::folder && !is_file_entry(entry.type))
            continue; // the DirectX update: the runtime belongs to Windows
        const std::wstring& path = entry.path.native();
        if (path.empty())
            continue; // a shortcut that was never made
        const std::wstring key = path_key(path) + (entry.type == entry_type::folder ? L"\\" : L"");
        const auto known = index.find(key);
        if (known != index.end()) {
            auto& group = known->second.first == 0 ? files : known->second.first == 1 ? last_group : folders;
            group[known->second.second].entries.push_back(i);
            continue;
        }

        removal_action action;
        action.path = path;
        action.entries = {i};
        if (entry.type == entry_type::folder) {
            action.step = removal_step::remove_folder;
            verdict_of(action, entry.type);
            index.emplace(key, std::pair{2, folders.size()});
            folders.push_back(std::move(action));
            continue;
        }
        action.step = removal_step::remove_file;
        if (entry.type == entry_type::file || static_cast<int>(entry.type) == 3)
            action.kind = entry.kind;
        verdict_of(action, entry.type);
        // The main program goes with the last group: while anything is left, the
        // product stays detectable, so that a reinstall takes the shortened log over.
        if (action.kind == uninstaller_kind || action.kind == main_program_kind) {
            action.last_group = true;
            index.emplace(key, std::pair{1, last_group.size()});
            last_group.push_back(std::move(action));
        } else {
            index.emplace(key, std::pair{0, files.size()});
            files.push_back(std::move(action));
        }
    }

    if (!file_types.empty()) {
        removal_action action;
        action.step = removal_step::unregister_file_types;
        action.entries = file_types;
        // It runs elevated: only the product's own program in the registered folder.
        const std::wstring expected = log_file.empty() ? std::wstring() : join_path(parent_folder(log_file), main_program_name);
        const auto main = std::find_if(last_group.begin(), last_group.end(), [&expected](const removal_action& a) {
            return a.kind == main_program_kind && a.verdict == removal_verdict::act && !expected.empty()
                   && same_path(a.path, expected);
        });
        if (main == last_group.end()) {
            action.verdict = removal_verdict::refuse;
            action.reason = refusal::no_main_program;
        } else {
            action.path = main->path;
            action.base = main->base;
        }
        plan.actions.push_back(std::move(action));
    }
    std::move(files.begin(), files.end(), std::back_inserter(plan.actions));

    if (!registration.empty()) {
        removal_action action;
        action.step = removal_step::remove_registration;
        action.entries = registration;
        action.last_group = true;
        plan.actions.push_back(std::move(action));
    }
    std::move(last_group.begin(), last_group.end(), std::back_inserter(plan.actions));
    if (!log_file.empty()) {
        removal_action action;
        action.step = removal_step::remove_log;
        action.path = log_file;
        action.last_group = true;
        if (!is_plain_path(log_file)) {
            action.verdict = removal_verdict::refuse;
            action.reason = refusal::not_local_absolute;
        } else {
            action.base = rules.base_of(log_file);
        }
        plan.actions.push_back(std::move(action));
    }

    // Deepest first; among equals, the later entry first (the walk's order).
    std::stable_sort(folders.begin(), folders.end(), [](const removal_action& a, const removal_action& b) {
        return depth(a.path) > depth(b.path);
    });
    std::move(folders.begin(), folders.end(), std::back_inserter(plan.actions));
    // Without a file to remove the product stays: nothing is done, the log stays.
    const auto has_file = [](const removal_action& a) {
        return a.step == removal_step::remove_file && a.verdict != removal_verdict::refuse;
    };
    if (std::none_of(plan.actions.begin(), plan.actions.end(), has_file))
        plan.actions.clear();
    return plan;
}

} // namespace qz
