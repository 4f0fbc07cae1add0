// Registration of the common controls, at the library's load and on request.
#include <commctrl.h>

namespace {

void Register(DWORD classes)
{
    // Each control registers its own class and trace names here as it joins.
    (void)classes;
}

// The device's core library has its common controls from start-up: a program
// creates a tree or a list without calling InitCommonControls. Registering at
// load does the same; CMakeLists.txt makes the linker keep this object in every
// program that links the library, even one that calls nothing of it.
const bool registeredAtLoad = (Register(ICC_WIN95_CLASSES), true);

} // namespace

extern "C" const bool* const lwCommonControlsAtLoad = &registeredAtLoad;

void InitCommonControls()
{
    Register(ICC_WIN95_CLASSES);
}

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init)
{
    if (!init || init->dwSize != sizeof(INITCOMMONCONTROLSEX)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Register(init->dwICC);
    return TRUE;
}
