#include "support/error.hpp"

#include <stdexcept>

namespace qz {

void raise_system_error(DWORD code)
{
    throw std::system_error(system_error_code(code));
}

void raise_last_error()
{
    // A call that failed without saying why is still a failure, not "success".
    const DWORD error = GetLastError();
    raise_system_error(error == ERROR_SUCCESS ? static_cast<DWORD>(E_UNEXPECTED) : error);
}

void raise_assertion()
{
    throw std::logic_error("Debug Assertion Failed!");
}

namespace {

class compress_category_impl final : public std::error_category {
public:
    const char* name() const noexcept override { return "compress"; }
    std::string message(int value) const override
    {
        switch (static_cast<compress_errc>(value)) {
        case compress_errc::invalid_checksum: return "invalid checksum";
        case compress_errc::interrupted: return "interrupted";
        case compress_errc::bzip2_error: return "bzip2 error";
        case compress_errc::unexpected_error: return "unexpected error";
        default: return "unknown error";
        }
    }
};

} // namespace

const std::error_category& compress_category() noexcept
{
    static const compress_category_impl category;
    return category;
}

void raise_compress_error(compress_errc e)
{
    throw std::system_error(make_error_code(e));
}

} // namespace qz
