// Reader of Windows version resources: the program's own (display text, legal
// notice, application id) and that of another file (the installed product).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qz {

// A parsed version block. A block that cannot be located or read leaves the
// object empty: size 0, every string empty, file version 0. Nothing is raised
// for that.
class VersionInfo {
public:
    VersionInfo() noexcept = default;
    // Reads the version block of the file at `file_path`.
    explicit VersionInfo(const std::wstring& file_path);

    VersionInfo(const VersionInfo& other);
    VersionInfo& operator=(const VersionInfo& other);
    VersionInfo(VersionInfo&& other) noexcept;
    VersionInfo& operator=(VersionInfo&& other) noexcept;
    ~VersionInfo() = default;

    // The program's own version resource (id 1), used in place; it is located
    // once per process.
    [[nodiscard]] static VersionInfo of_program();

    [[nodiscard]] std::size_t size() const noexcept { return size_; }
    // The block's fixed information, or null when it has none.
    [[nodiscard]] const VS_FIXEDFILEINFO* fixed() const noexcept { return fixed_; }
    // "llllcccc" (lower-case hex) for each translation with code page 1200, in block order.
    [[nodiscard]] const std::vector<std::wstring>& translations() const noexcept { return translations_; }

    // The fixed file version (not the product version) as MS << 32 | LS; 0 without fixed information.
    [[nodiscard]] std::uint64_t file_version() const noexcept;

    // String entry `name` of the first UTF-16 translation; empty when missing.
    [[nodiscard]] std::wstring string_value(std::wstring_view name) const;
    [[nodiscard]] std::wstring product_name() const { return string_value(L"ProductName"); }
    [[nodiscard]] std::wstring product_version() const { return string_value(L"ProductVersion"); }
    [[nodiscard]] std::wstring legal_notice() const { return string_value(L"LegalCopyright"); }

    // The product name with the special-build renamings of the current product code and language.
    [[nodiscard]] std::wstring display_name() const;
    // display_name, the product version and the build-flag suffixes
    // (for the program itself: "Install 3.01").
    [[nodiscard]] std::wstring display_version() const;

private:
    VersionInfo(const void* view, std::size_t size);
    void parse();
    void adopt(const VersionInfo& other);
    [[nodiscard]] bool is_program_block() const noexcept;
    [[nodiscard]] std::wstring special_build() const;

    std::vector<std::byte> buffer_;  // the block read from a file; empty for the program's own
    const void* view_ = nullptr;
    std::size_t size_ = 0;
    const VS_FIXEDFILEINFO* fixed_ = nullptr;
    std::vector<std::wstring> translations_;
};

} // namespace qz
