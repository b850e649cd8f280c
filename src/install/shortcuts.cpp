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
    return join_path(folder, (name.empty() ? std::filesystem::path(target).stem().wstring() : name) + L".lnk");
}

} // namespace

std::wstring working_folder_of(const std::wstring& target)
{
    return parent_folder(target);
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
