// Registration of the common controls, at the library's load and on request.
#include "controls.h"

#include <window.h>

namespace {

void Register(DWORD classes)
{
    if (classes & ICC_TREEVIEW_CLASSES)
        lwcommctrl::RegisterTreeViewClass();
    if (classes & ICC_LISTVIEW_CLASSES)
        lwcommctrl::RegisterListViewClass();
    // The notifications both controls send.
    lwuser::RegisterNotifyName(NM_CLICK, "NM_CLICK");
    lwuser::RegisterNotifyName(NM_DBLCLK, "NM_DBLCLK");
    lwuser::RegisterNotifyName(NM_RETURN, "NM_RETURN");
    lwuser::RegisterNotifyName(NM_SETFOCUS, "NM_SETFOCUS");
    lwuser::RegisterNotifyName(NM_KILLFOCUS, "NM_KILLFOCUS");
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
