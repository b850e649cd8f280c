// What runs when an exception leaves the program or a noexcept function: the end,
// at once. The C++ library's default handler writes the exception's type to the
// standard error output, which a windowed program does not have, and brings in the
// symbol demangler for that (some 45 KB). Linked into each program directly (not
// from a library), this definition takes the place of the library's own.

#include <cstdlib>
#include <exception>

namespace __gnu_cxx {
void __verbose_terminate_handler()
{
    std::abort();
}
} // namespace __gnu_cxx
