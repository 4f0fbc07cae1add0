// The modal-dialog base and the About dialog.
#pragma once

#include <windows.h>
#include <aygshell.h>

#include <vector>

// A dialog object: knows where its resources come from and who owns it, and runs
// one dialog modally from a dialog template resource.
class DialogBase {
public:
    DialogBase(HINSTANCE instance, HWND parent);
    virtual ~DialogBase();
    // Blocks until the dialog has ended; its end code, or the platform's failure
    // value (-1) when the dialog cannot be run.
    virtual int RunModal() = 0;

    HINSTANCE instance;
    HWND parent;
    HWND dialog;   // set by the dialog procedure at WM_INITDIALOG
};

// The program's icon, name, version and web address, full screen, with the soft
// keys "OK" and "Cancel". Ends with 2 on OK, Cancel or close, 7 on the Back key.
class AboutDialog : public DialogBase {
public:
    AboutDialog(HINSTANCE instance, HWND parent);
    int RunModal() override;
    // Full screen, soft-key bar, title and Back key; false when the shell refused
    // the first two (the dialog runs on regardless).
    bool InitFullScreen();
};

BOOL CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The About dialogs whose dialogs are open: at most one, as the dialog is modal.
extern std::vector<AboutDialog*> openDialogs;
