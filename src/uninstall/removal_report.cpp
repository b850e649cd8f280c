#include "uninstall/removal_report.hpp"

#include "app/product.hpp"
#include "i18n/error_code_text.hpp"
#include "i18n/language.hpp"
#include "i18n/string_ids.hpp"
#include "support/error.hpp"

namespace qz {

namespace {

bool has_code(const std::error_code& error, DWORD code)
{
    return error == system_error_code(code);
}

std::wstring joined(const std::vector<std::wstring>& names)
{
    std::wstring text;
    for (const std::wstring& name : names)
        text += (text.empty() ? L"" : L", ") + name;
    return text;
}

std::wstring item_name(const removal_action& action)
{
    if (action.step == removal_step::remove_registration)
        return format_message(load_string(msg_registration_item), {product_label(false)});
    return action.path;
}

std::wstring error_text(const std::error_code& error)
{
    if (error.category() == std::system_category())
        return error_code_text(static_cast<DWORD>(error.value()));
    return error_code_text(static_cast<DWORD>(E_UNEXPECTED));
}

unsigned refusal_text(refusal reason, const std::error_code& error)
{
    switch (reason) {
    case refusal::not_local_absolute: return msg_left_not_local;
    case refusal::outside_installation: return msg_left_outside;
    case refusal::system_folder: return msg_left_system_folder;
    case refusal::no_main_program: return msg_no_main_program;
    case refusal::none: break;
    }
    // Refused while acting: a link on the way, or another installation's registration.
    return has_code(error, ERROR_INVALID_DATA) ? msg_left_outside : msg_left_link;
}

} // namespace

std::wstring removal_status_text(const removal_action& action)
{
    switch (action.step) {
    case removal_step::unregister_file_types: return load_string(msg_unregistering_file_types);
    case removal_step::remove_registration: return load_string(msg_removing_registration);
    default: return format_message(load_string(msg_removing), {action.path});
    }
}

bool is_in_use(const std::error_code& error, const std::vector<std::wstring>& holders) noexcept
{
    return has_code(error, ERROR_SHARING_VIOLATION) || has_code(error, ERROR_LOCK_VIOLATION)
           || (has_code(error, ERROR_ACCESS_DENIED) && !holders.empty());
}

std::wstring in_use_question(const std::wstring& path, const std::vector<std::wstring>& holders)
{
    if (holders.empty())
        return format_message(load_string(msg_in_use_question), {path});
    return format_message(load_string(msg_in_use_by_question), {path, joined(holders)});
}

std::wstring left_item_text(const removal_action& action, const removal_result& result,
                            const std::vector<std::wstring>& holders)
{
    const std::wstring item = item_name(action);
    switch (result.outcome) {
    case removal_outcome::removed:
    case removal_outcome::absent:
    case removal_outcome::kept: return {};
    case removal_outcome::postponed: return format_message(load_string(msg_left_postponed), {item});
    case removal_outcome::not_empty: return format_message(load_string(msg_left_not_empty), {item});
    case removal_outcome::refused: return format_message(load_string(refusal_text(action.reason, result.error)), {item});
    case removal_outcome::failed: break;
    }
    if (action.step == removal_step::unregister_file_types)
        return format_message(load_string(msg_unregister_failed), {error_text(result.error)});
    if (is_in_use(result.error, holders))
        return holders.empty() ? format_message(load_string(msg_left_in_use), {item})
                               : format_message(load_string(msg_left_in_use_by), {item, joined(holders)});
    if (has_code(result.error, ERROR_ACCESS_DENIED))
        return format_message(load_string(msg_left_access_denied), {item});
    return format_message(load_string(msg_left_error), {item, error_text(result.error)});
}

} // namespace qz
