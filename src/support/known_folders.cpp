#include "support/known_folders.hpp"

#include "support/error.hpp"
#include "support/unique_resource.hpp"

#include <knownfolders.h>
#include <shlobj.h>

namespace qz {

HRESULT known_folder(REFKNOWNFOLDERID id, std::wstring& path) noexcept
{
    wchar_t* buffer = nullptr;
    const HRESULT hr = SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &buffer);
    const unique_cotask_string owned(buffer); // freed on every return, failure included
    if (FAILED(hr))
        return hr;
    try {
        path = buffer ? buffer : L"";
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

std::wstring documents_folder()
{
    static const std::wstring cached = [] {
        std::wstring result;
        check_hresult(known_folder(FOLDERID_Documents, result));
        return result;
    }();
    return cached;
}

} // namespace qz
