#include "install/shortcuts.hpp"

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <filesystem>

#include "support/com_ptr.hpp"
#include "support/error.hpp"
#include "support/path.hpp"

namespace qz {

namespace {

std::wstring link_path(const std::wstring& target, const std::wstring& folder, const std::wstring& name)
{
    std::wstring path = folder;
    if (!path.empty() && !is_path_separator(path.back()))
        path += L'\\';
    path += name.empty() ? std::filesystem::path(target).stem().wstring() : name;
    path += L".lnk";
    return path;
}

} // namespace

std::wstring working_folder_of(const std::wstring& target)
{
    const std::size_t last = target.find_last_of(L"\\/");
    if (last == std::wstring::npos)
        return target.size() >= 2 && target[1] == L':' ? target.substr(0, 2) : std::wstring();
    std::wstring folder = target.substr(0, last + 1);
    const std::size_t root = path_root_length(folder);
    while (folder.size() > root && is_path_separator(folder.back()))
        folder.pop_back();
    return folder;
}

std::wstring create_shortcut(const std::wstring& target, const std::wstring& folder, const std::wstring& name)
{
    const com_initializer com;

    com_ptr<IShellLinkW> link;
    check_hresult(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   link.put_void()));
    if (!link)
        raise_system_error(E_POINTER);

    // Only target and working folder are set; the shell's defaults apply to the rest.
    // Their results are not examined: Save reports a link it cannot write.
    (void)link->SetPath(target.c_str());
    (void)link->SetWorkingDirectory(working_folder_of(target).c_str());

    com_ptr<IPersistFile> file;
    const HRESULT hr = link.query(file);
    if (FAILED(hr) && hr != E_NOINTERFACE)
        raise_system_error(hr);
    if (!file)
        raise_system_error(E_POINTER);

    std::wstring path = link_path(target, folder, name);
    check_hresult(file->Save(path.c_str(), TRUE));
    return path;
}

} // namespace qz
