// The application object, the single-instance rule and the main window.
#pragma once

#include <windows.h>
#include <aygshell.h>

class ReaderApp {
public:
    ReaderApp();

    // True when this is the only running instance and the main window exists
    // (created hidden, with its soft-key bar).
    bool Init(HINSTANCE instance);
    // A command line longer than four units that ends in ".chm" (any case) is
    // a book: it is read at once and 0 returned, the main window never shown.
    // Otherwise shows the main window and runs the message loop; the exit code.
    int Run(LPCWSTR commandLine, int showCommand);
    // Reads the book in the contents window, modal over the main window; returns
    // when it closes. A book that cannot be read shows an empty tree.
    void OpenBook(LPCWSTR path);

    // WM_CREATE of the main window: 0, or -1 when the soft-key bar cannot be made.
    LRESULT OnCreate(HWND window);
    // WM_PAINT: the splash picture.
    LRESULT OnPaint();
    // WM_COMMAND: true when the whole wParam named one of the main window's
    // commands: "Exit", and the menu's "Open", "Associate" and "About".
    bool OnCommand(WPARAM command);
    // "Open": the file browser on the root folder, modal over the main window.
    void OpenFromBrowser();

    HINSTANCE instance;   // the program's own; every resource comes from it
    HWND mainWindow;      // set while the main window is being created
};

// Looks for a running instance by the named mutex `className`. S_OK with *found
// false: this is the first instance (the mutex stays open for the process's
// life). S_OK with *found true: the other instance's main window was brought
// forward. E_FAIL when the mutex cannot be made, or the other instance shows no
// window in five tries of 500 ms.
HRESULT ActivateRunningInstance(LPCWSTR className, LPCWSTR title, bool* found);

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The application object that MainWindowProc works on, taken at WM_CREATE.
extern ReaderApp* readerApp;

// Names the main window is found by; the mutex has the class's name.
extern const WCHAR kMainWindowClass[];
extern const WCHAR kMainWindowTitle[];
