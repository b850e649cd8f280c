#include "test_support/security.hpp"

#include "support/unique_resource.hpp"

#include <sddl.h>

namespace test_support {

std::wstring dacl_sddl(PSECURITY_DESCRIPTOR descriptor)
{
    wchar_t* text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                              &text, nullptr))
        return L"?";
    const qz::unique_hlocal owner(text);
    return text;
}

} // namespace test_support
