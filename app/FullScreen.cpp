// The shell's set-up of the program's windows.
#include "FullScreen.h"

#include <aygshell.h>

HWND CreateSoftKeys(HWND parent, HINSTANCE instance, UINT barId)
{
    SHMENUBARINFO bar = {};
    bar.cbSize = sizeof bar;
    bar.hwndParent = parent;
    bar.dwFlags = 0;
    bar.nToolBarId = barId;
    bar.hInstRes = instance;
    bar.nBmpId = 0;
    bar.cBmpImages = 0;
    bar.clrBk = 0;
    return SHCreateMenuBar(&bar) ? bar.hwndMB : nullptr;
}

void OverrideBackKey(HWND bar)
{
    SendMessageW(bar, SHCMBM_OVERRIDEKEY, VK_TBACK,
                 MAKELPARAM(SHMBOF_NODEFAULT | SHMBOF_NOTIFY, SHMBOF_NODEFAULT | SHMBOF_NOTIFY));
}

bool InitFullScreenDialog(HWND dialog, HINSTANCE instance, UINT barId, LPCWSTR caption)
{
    HWND bar = FullScreenWithSoftKeys(dialog, instance, barId);
    if (!bar)
        return false;
    CaptionAndBackKey(dialog, bar, caption);
    return true;
}

HWND FullScreenWithSoftKeys(HWND dialog, HINSTANCE instance, UINT barId)
{
    SHINITDLGINFO fullScreen = {};
    fullScreen.dwMask = SHIDIM_FLAGS;
    fullScreen.hDlg = dialog;
    fullScreen.dwFlags = SHIDIF_SIZEDLGFULLSCREEN;
    if (!SHInitDialog(&fullScreen))
        return nullptr;
    return CreateSoftKeys(dialog, instance, barId);
}

void CaptionAndBackKey(HWND dialog, HWND bar, LPCWSTR caption)
{
    SetWindowTextW(dialog, caption);
    OverrideBackKey(bar);
}
