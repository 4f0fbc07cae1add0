// The modal-dialog base and the About dialog.
#include "DialogBase.h"

#include "FullScreen.h"
#include "resource.h"

std::vector<AboutDialog*> openDialogs;

namespace {

constexpr int kEndedByButton = 2;
constexpr int kEndedByBack = 7;

// Every end of the About dialog: forget the open entry, then end the dialog.
BOOL EndAbout(HWND dialog, int code)
{
    if (!openDialogs.empty())
        openDialogs.pop_back();
    EndDialog(dialog, code);
    return TRUE;
}

BOOL OnInitAbout(HWND dialog, AboutDialog* about)
{
    if (!about)
        return TRUE;  // run without its object: nothing to record or set up
    openDialogs.push_back(about);
    AboutDialog* current = openDialogs.back();
    current->dialog = dialog;
    current->InitFullScreen();  // a refused set-up leaves the dialog usable as it is
    return TRUE;
}

}  // namespace

DialogBase::DialogBase(HINSTANCE instance, HWND parent) : instance(instance), parent(parent), dialog(nullptr) {}

DialogBase::~DialogBase() = default;

AboutDialog::AboutDialog(HINSTANCE instance, HWND parent) : DialogBase(instance, parent) {}

int AboutDialog::RunModal()
{
    // A missing template is left for the platform to refuse: it then returns -1.
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(IDD_ABOUT), RT_DIALOG);
    HGLOBAL loaded = LoadResource(instance, found);
    return static_cast<int>(DialogBoxIndirectParamW(instance, static_cast<LPCDLGTEMPLATEW>(loaded), parent,
                                                    AboutDialogProc, reinterpret_cast<LPARAM>(this)));
}

bool AboutDialog::InitFullScreen()
{
    return InitFullScreenDialog(dialog, instance, IDR_ABOUT_MENUBAR, TEXT("About"));
}

BOOL CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInitAbout(dialog, reinterpret_cast<AboutDialog*>(lParam));
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)
            return EndAbout(dialog, kEndedByButton);
        return FALSE;
    case WM_CLOSE:
        return EndAbout(dialog, kEndedByButton);
    case WM_HOTKEY:
        if (HIWORD(lParam) == VK_TBACK)
            return EndAbout(dialog, kEndedByBack);
        return FALSE;
    default:
        return FALSE;
    }
}
