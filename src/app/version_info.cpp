// Version resources: located, parsed and queried through version.dll.
#include "app/version_info.hpp"

#include "app/product.hpp"
#include "i18n/language.hpp"
#include "support/system_library.hpp"

#include <cwchar>
#include <utility>

namespace qz {

namespace {

constexpr WORD unicode_code_page = 1200;

struct resource_block {
    const void* view = nullptr;
    std::size_t size = 0;
};

// The program's own RT_VERSION resource; the module stays loaded for the whole
// process, so the block is used in place.
resource_block locate_program_block() noexcept
{
    const HMODULE module = GetModuleHandleW(nullptr);
    const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), RT_VERSION);
    if (!found)
        return {};
    const HGLOBAL loaded = LoadResource(module, found);
    const DWORD size = SizeofResource(module, found);
    const void* view = loaded ? LockResource(loaded) : nullptr;
    if (!view || size == 0)
        return {};
    return {view, size};
}

const resource_block& program_block() noexcept
{
    static const resource_block block = locate_program_block();
    return block;
}

void append_hex4(std::wstring& text, unsigned value)
{
    static constexpr wchar_t digits[] = L"0123456789abcdef";
    for (int shift = 12; shift >= 0; shift -= 4)
        text += digits[(value >> shift) & 0xF];
}

void replace_all(std::wstring& text, std::wstring_view from, std::wstring_view to)
{
    for (auto at = text.find(from); at != std::wstring::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// OEM editions of two product families show their own names.
std::wstring special_build_name(std::wstring name, std::uint16_t code, int language,
                                std::wstring_view special_build)
{
    constexpr int french = 0;
    constexpr int german = 2;
    if (code >= 0x0200 && code <= 0x02FF) {
        if (special_build == L"Kalvot" && language == german)
            replace_all(name, L"Lindqvar", L"Kalvot");
        else if (language != french)
            replace_all(name, L"Lindqvar", L"Dremont");
    } else if (code >= 0x0100 && code <= 0x01FF) {
        if (special_build == L"Pallun" && language == german)
            replace_all(name, L"Ferrow", L"Pallun");
    }
    return name;
}

// version.dll is no known library: it is loaded from System32 when first needed,
// never imported, so that a copy beside the setup program is not taken instead.
BOOL query_value(LPCVOID block, LPCWSTR sub_block, LPVOID* value, PUINT length) noexcept
{
    using query = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);
    static const query function = system_function_as<query>(L"version.dll", "VerQueryValueW");
    return function ? function(block, sub_block, value, length) : FALSE;
}

} // namespace

VersionInfo::VersionInfo(const std::wstring& file_path)
{
    using info_size = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
    using info = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
    static const auto get_size = system_function_as<info_size>(L"version.dll", "GetFileVersionInfoSizeW");
    static const auto get_info = system_function_as<info>(L"version.dll", "GetFileVersionInfoW");
    if (!get_size || !get_info)
        return;
    DWORD ignored = 0;
    const DWORD size = get_size(file_path.c_str(), &ignored);
    if (size == 0)
        return;
    buffer_.resize(size);
    if (!get_info(file_path.c_str(), 0, size, buffer_.data())) {
        buffer_.clear();
        return;
    }
    view_ = buffer_.data();
    size_ = size;
    parse();
}

VersionInfo::VersionInfo(const void* view, std::size_t size) : view_(view), size_(view ? size : 0)
{
    parse();
}

VersionInfo::VersionInfo(const VersionInfo& other)
{
    adopt(other);
}

VersionInfo& VersionInfo::operator=(const VersionInfo& other)
{
    if (this != &other)
        adopt(other);
    return *this;
}

// Moving a vector keeps its storage, so the view and the fixed pointer stay valid.
VersionInfo::VersionInfo(VersionInfo&& other) noexcept
    : buffer_(std::move(other.buffer_)),
      view_(std::exchange(other.view_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      fixed_(std::exchange(other.fixed_, nullptr)),
      translations_(std::move(other.translations_))
{
    other.buffer_.clear();
    other.translations_.clear();
}

VersionInfo& VersionInfo::operator=(VersionInfo&& other) noexcept
{
    if (this != &other) {
        buffer_ = std::move(other.buffer_);
        view_ = std::exchange(other.view_, nullptr);
        size_ = std::exchange(other.size_, 0);
        fixed_ = std::exchange(other.fixed_, nullptr);
        translations_ = std::move(other.translations_);
        other.buffer_.clear();
        other.translations_.clear();
    }
    return *this;
}

VersionInfo VersionInfo::of_program()
{
    const resource_block& block = program_block();
    return VersionInfo(block.view, block.size);
}

// A copy of a file's block owns its own bytes; the program's block is shared.
void VersionInfo::adopt(const VersionInfo& other)
{
    buffer_ = other.buffer_;
    view_ = buffer_.empty() ? other.view_ : buffer_.data();
    size_ = other.size_;
    parse();
}

void VersionInfo::parse()
{
    fixed_ = nullptr;
    translations_.clear();
    if (size_ == 0)
        return;

    void* value = nullptr;
    UINT length = 0;
    if (query_value(view_, L"\\", &value, &length) && value && length >= sizeof(VS_FIXEDFILEINFO))
        fixed_ = static_cast<const VS_FIXEDFILEINFO*>(value);

    value = nullptr;
    length = 0;
    if (!query_value(view_, L"\\VarFileInfo\\Translation", &value, &length) || !value)
        return;
    // Pairs of language id and code page; only the UTF-16 string blocks are read.
    const auto* pairs = static_cast<const WORD*>(value);
    for (UINT i = 0; i < length / 4; ++i) {
        if (pairs[2 * i + 1] != unicode_code_page)
            continue;
        std::wstring id;
        append_hex4(id, pairs[2 * i]);
        append_hex4(id, pairs[2 * i + 1]);
        translations_.push_back(std::move(id));
    }
}

bool VersionInfo::is_program_block() const noexcept
{
    return view_ && buffer_.empty();
}

std::uint64_t VersionInfo::file_version() const noexcept
{
    if (!fixed_)
        return 0;
    return (std::uint64_t{fixed_->dwFileVersionMS} << 32) | fixed_->dwFileVersionLS;
}

std::wstring VersionInfo::string_value(std::wstring_view name) const
{
    if (size_ == 0 || translations_.empty())
        return {};
    std::wstring path = L"\\StringFileInfo\\";
    path += translations_.front();
    path += L'\\';
    path += name;
    void* value = nullptr;
    UINT length = 0;
    if (!query_value(view_, path.c_str(), &value, &length) || !value || length == 0)
        return {};
    // The length counts the terminating NUL; stop at the first one.
    const auto* text = static_cast<const wchar_t*>(value);
    return std::wstring(text, wcsnlen(text, length));
}

// The program's own block never changes, so its entry is read once per process;
// a file's block is asked each time, so one file's entry never leaks into another's name.
std::wstring VersionInfo::special_build() const
{
    if (is_program_block()) {
        static const std::wstring program_special_build = string_value(L"SpecialBuild");
        return program_special_build;
    }
    return string_value(L"SpecialBuild");
}

std::wstring VersionInfo::display_name() const
{
    std::wstring name = product_name();
    const std::uint16_t code = product_code();
    if (code < 0x0100 || code > 0x02FF)
        return name;
    return special_build_name(std::move(name), code, current_language(), special_build());
}

std::wstring VersionInfo::display_version() const
{
    std::wstring text = display_name();
    const std::wstring version = product_version();
    if (!version.empty()) {
        text += L' ';
        text += version;
    }

    const DWORD flags = fixed_ ? fixed_->dwFileFlags & fixed_->dwFileFlagsMask : 0;
    if (flags & VS_FF_PRERELEASE) {
        // French keeps its accent; every other language reads the plain word.
        const LANGID language = LANGIDFROMLCID(language_lcid(current_language()));
        if (PRIMARYLANGID(language) != LANG_FRENCH)
            replace_all(text, L"b\u00eata", L"beta");
    }
    if (flags & VS_FF_PRIVATEBUILD)
        text += L" \u2013 Private";
    if (flags & VS_FF_DEBUG)
        text += L" \u2013 Debug";
    return text;
}

} // namespace qz
