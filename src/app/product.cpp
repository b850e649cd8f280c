// Product identity.
#include "app/product.hpp"

#include "i18n/language.hpp"
#include "i18n/string_ids.hpp"
#include "support/error.hpp"

namespace qz {

namespace {

constinit std::uint16_t current_product_code = default_product_code;

} // namespace

std::uint16_t product_code() noexcept
{
    return current_product_code;
}

void set_product_code(std::uint16_t code) noexcept
{
    current_product_code = code;
}

std::wstring product_key_name(std::uint16_t code)
{
    // The maker's whole product line; the same installer sources serve every product.
    if (code >= 0x0506)
        return L"Brisel";
    switch (code) {
    case 0x0102: return L"Ferrow 2";
    case 0x0103: return L"Ferrow 3";
    case 0x0205: return L"Lindqvar 5";
    case 0x0306: return L"Tessmir 6";
    case 0x0307: return L"Tessmir 7";
    case 0x0308: return L"Tessmir 8";
    case 0x0406: return L"Gradiva 6";
    case 0x0407: return L"Gradiva 7";
    case 0x0504: return L"Orvane 4";
    case 0x0505: return L"Orvane 5";
    default: break;
    }
    if (code >= 0x0002 && code <= 0x0101)
        return L"Ferrow";
    if (code >= 0x0104 && code <= 0x0303)
        return L"Lindqvar 6";
    raise_assertion();
}

std::wstring product_label(bool name_only)
{
    std::wstring label{product_name};
    if (!name_only) {
        label += L' ';
        label += version_label;
    }
    return label;
}

std::wstring installer_title(bool with_product)
{
    std::wstring title = load_string(msg_installer);
    if (with_product) {
        title += L" \u2013 ";
        title += product_label(false);
    }
    return title;
}

} // namespace qz
