// The interface, class and known-folder identifiers that the programs use, defined
// here. The system's uuid library holds all of Windows' identifiers in one object of
// some 85 KB, which any one of them would bring in whole; each identifier defined
// here is an object of its own, and the linker keeps only those that are used.

#include <initguid.h>

#include <shlguid.h>
#include <shobjidl.h> // with the known folders
