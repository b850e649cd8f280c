#include "uninstall/removal.hpp"

#include "app/product.hpp"
#include "support/error.hpp"
#include "support/file_system.hpp"
#include "support/path.hpp"
#include "support/registry.hpp"
#include "support/unlinked_removal.hpp"

#include <algorithm>
#include <exception>

namespace qz {

namespace {

constexpr int main_program_kind = 1;

bool has_code(const std::error_code& error, DWORD code)
{
    return error == system_error_code(code);
}

// What a removal's error means for the action.
removal_result judged(const std::error_code& error)
{
    if (!error)
        return {removal_outcome::removed, {}};
    if (has_code(error, ERROR_FILE_NOT_FOUND))
        return {removal_outcome::absent, {}};
    // Not the file the log names: a link on the way, or another kind of object.
    if (has_code(error, error_reparse_point) || has_code(error, ERROR_DIRECTORY) || has_code(error, ERROR_BAD_PATHNAME))
        return {removal_outcome::refused, error};
    return {removal_outcome::failed, error};
}

removal_result remove_file(const removal_action& action, removal_observer& observer)
{
    for (;;) {
        const removal_result result = judged(remove_unfollowed(action.base, action.path, false));
        if (result.outcome != removal_outcome::failed || !observer.retry(action, result.error))
            return result;
    }
}

removal_result unregister(const removal_action& action, const removal_system& system)
{
    if (!file_exists(action.path))
        return {removal_outcome::absent, {}};
    // The program runs elevated: only the file the log names, never a link's target.
    if (is_link(action.path))
        return {removal_outcome::refused, system_error_code(error_reparse_point)};
    if (!system.unregister)
        return {removal_outcome::failed, system_error_code(ERROR_NOT_SUPPORTED)};
    const std::error_code error = system.unregister(action.path);
    return {error ? removal_outcome::failed : removal_outcome::removed, error};
}

bool is_empty_key(const registry_key& key)
{
    DWORD subkeys = 0;
    DWORD values = 0;
    const LSTATUS status = RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                            &values, nullptr, nullptr, nullptr, nullptr);
    return status == ERROR_SUCCESS && subkeys == 0 && values == 0;
}

// The uninstall key and the product path value, when naming this log's main
// program, only while the key registers this uninstaller; the maker's key when
// empty then. Another installation's registration is left alone.
removal_result remove_registration(const removal_plan& plan, const removal_system& system)
{
    try {
        const std::wstring name = system.key.name.empty() ? product_key_name(product_code()) : system.key.name;
        const registry_key parent = open_key(system.key.root, system.key.parent);
        registry_key key = parent ? open_key(parent, name) : registry_key();
        if (!key)
            return {removal_outcome::absent, {}};
        std::wstring command;
        const bool ours = !plan.log_file.empty() && read_string(key, L"UninstallString", command)
                          && same_path(uninstall_string_folder(command), parent_folder(plan.log_file));
        key.reset();
        if (!ours)
            return {removal_outcome::refused, system_error_code(ERROR_INVALID_DATA)};
        bool removed = delete_tree(parent, name);

        if (registry_key maker = open_key(system.maker_root, system.maker_key)) {
            const std::wstring value_name = product_key_name(product_code()) + L" Path";
            std::wstring main_program;
            const auto names_it = [&](const log_entry& e) {
                return e.type == entry_type::file && e.kind == main_program_kind
                       && same_path(e.path.native(), main_program);
            };
            if (read_string(maker, value_name, main_program)
                && std::any_of(plan.entries.begin(), plan.entries.end(), names_it))
                removed = delete_value(maker, value_name) || removed;
            if (is_empty_key(maker)) {
                maker.reset();
                delete_tree(system.maker_root, system.maker_key);
            }
        }
        return {removed ? removal_outcome::removed : removal_outcome::absent, {}};
    } catch (const std::system_error& error) {
        return {removal_outcome::failed, error.code()};
    } catch (const std::exception&) {
        return {removal_outcome::failed, system_error_code(ERROR_OUTOFMEMORY)};
    }
}

// A folder that will not go: kept when it holds something kept on purpose.
removal_outcome folder_left(const removal_plan& plan, const std::vector<removal_result>& results, std::size_t index)
{
    const std::wstring& folder = plan.actions[index].path;
    for (std::size_t i = 0; i < index; ++i)
        if (results[i].outcome == removal_outcome::kept && is_within(plan.actions[i].path, folder))
            return removal_outcome::kept;
    return removal_outcome::not_empty;
}

bool to_remove_later(removal_outcome outcome)
{
    return outcome == removal_outcome::failed || outcome == removal_outcome::postponed
           || outcome == removal_outcome::not_empty;
}

} // namespace

std::wstring uninstall_string_folder(const std::wstring& command)
{
    std::wstring path = command;
    if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"')
        path = path.substr(1, path.size() - 2);
    return is_local_absolute_path(path) ? parent_folder(path) : std::wstring();
}

std::wstring registered_folder(const uninstall_key_location& key)
{
    try {
        const registry_key parent = open_key(key.root, key.parent);
        const registry_key own = parent ? open_key(parent, key.key_name()) : registry_key();
        std::wstring command;
        return own && read_string(own, L"UninstallString", command) ? uninstall_string_folder(command) : std::wstring();
    } catch (const std::exception&) {
        return {};
    }
}

std::vector<removal_result> run_removal(const removal_plan& plan, const removal_system& system,
                                        removal_observer& observer)
{
    std::vector<removal_result> results(plan.actions.size());
    bool postpone = false;
    for (std::size_t i = 0; i < plan.actions.size(); ++i) {
        const removal_action& action = plan.actions[i];
        observer.starting(action);
        removal_result& result = results[i];
        if (action.verdict == removal_verdict::refuse) {
            result = {removal_outcome::refused, {}};
        } else if (action.verdict == removal_verdict::keep) {
            result = {removal_outcome::kept, {}};
        } else if (action.last_group && postpone) {
            result = {removal_outcome::postponed, {}};
        } else {
            switch (action.step) {
            case removal_step::unregister_file_types:
                result = unregister(action, system);
                break;
            case removal_step::remove_file:
            case removal_step::remove_log:
                result = remove_file(action, observer);
                if (result.outcome == removal_outcome::failed && !action.last_group)
                    postpone = true;
                break;
            case removal_step::remove_registration:
                result = remove_registration(plan, system);
                break;
            case removal_step::remove_folder:
                result = judged(remove_unfollowed(action.base, action.path, true));
                if (has_code(result.error, ERROR_DIR_NOT_EMPTY))
                    result = {folder_left(plan, results, i), {}};
                break;
            }
        }
        observer.finished(action, result);
    }

    // The uninstaller and the log stay for a second run, the log naming what is left.
    if (postpone && !plan.log_file.empty()) {
        uninstall_log rest;
        rest.entries = remaining_entries(plan, results);
        rest.previous_install = plan.previous_install;
        // The reader refuses an empty header folder; one that is gone reads as empty.
        // The log's own folder stands in (the installer takes only a Start-menu
        // folder as such).
        const std::wstring install = plan.install_path.empty() ? parent_folder(plan.log_file) : plan.install_path;
        (void)rest.write(plan.log_file, install, plan.shortcut_path.empty() ? install : plan.shortcut_path);
    }
    return results;
}

std::vector<log_entry> remaining_entries(const removal_plan& plan, const std::vector<removal_result>& results)
{
    std::vector<bool> left(plan.entries.size(), false);
    bool registration_left = false;
    for (std::size_t i = 0; i < plan.actions.size() && i < results.size(); ++i)
        if (to_remove_later(results[i].outcome)) {
            registration_left |= plan.actions[i].step == removal_step::remove_registration;
            for (const std::size_t entry : plan.actions[i].entries)
                left[entry] = true;
        }
    // The product path value goes only when it names the log's main program, so
    // the second run needs that entry too, though the file is gone.
    for (std::size_t i = 0; registration_left && i < plan.entries.size(); ++i)
        if (plan.entries[i].type == entry_type::file && plan.entries[i].kind == main_program_kind)
            left[i] = true;
    std::vector<log_entry> rest;
    for (std::size_t i = 0; i < plan.entries.size(); ++i)
        if (left[i])
            rest.push_back(plan.entries[i]);
    return rest;
}

int removal_exit_code(bool started, const std::vector<removal_result>& results) noexcept
{
    if (!started || results.empty())
        return 2;
    const auto is = [](removal_outcome outcome) {
        return [outcome](const removal_result& r) { return r.outcome == outcome; };
    };
    if (std::none_of(results.begin(), results.end(), [](const removal_result& r) { return is_left(r.outcome); }))
        return 0;
    return std::any_of(results.begin(), results.end(), is(removal_outcome::removed)) ? 1 : 2;
}

} // namespace qz
