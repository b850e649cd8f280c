// Who this package is: product name, version label, packaged version, the
// product code with the registry key name derived from it, and the captions
// built from them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qz {

inline constexpr std::wstring_view product_name = L"Gradiva";
inline constexpr std::wstring_view version_label = L"7.18f";
// File version 7.18.6.1: high 32 bits 7.18, low 32 bits 6.1. Compared with the
// file version of an installed product to tell an update from a downgrade.
inline constexpr std::uint64_t packaged_version = 0x0007001200060001;
// High byte: product family; low byte: major version.
inline constexpr std::uint16_t default_product_code = 0x0407;

// The process-wide product code; the session sets it once when it is built.
[[nodiscard]] std::uint16_t product_code() noexcept;
void set_product_code(std::uint16_t code) noexcept;

// Name of the product's Uninstall subkey, of the default installation folder's
// last component and prefix of its maker-key path value ("Gradiva 7" for 0x0407).
// Raises the assertion error for a code that names no product.
[[nodiscard]] std::wstring product_key_name(std::uint16_t code);

// "Gradiva" when name_only, else "Gradiva 7.18f".
[[nodiscard]] std::wstring product_label(bool name_only);

// Caption of the installer's message boxes: "Installer", or with the product
// "Installer – Gradiva 7.18f" (in the current language).
[[nodiscard]] std::wstring installer_title(bool with_product);

} // namespace qz
