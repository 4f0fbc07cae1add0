// The contents window: a full-screen modal dialog whose only control is a tree
// of the book's contents, with the soft keys "Browse" (open the selected entry
// in a page window) and "Close" (end the reading of the book).
#pragma once

#include <windows.h>

#include "Book.h"
#include "PageWindow.h"

class TocWindow {
public:
    TocWindow();
    TocWindow(const TocWindow&) = delete;
    TocWindow& operator=(const TocWindow&) = delete;

    // Takes the caption from the path (the part after its last backslash; a
    // name longer than the caption holds is cut at a whole character), then
    // opens the book and reads its contents. The caption is set even when the
    // book cannot be read; the tree is then empty.
    bool LoadBook(LPCWSTR path);
    // Runs the contents dialog (template 103) owned by `owner`; returns when it
    // ends, with 2 for both "Close" and WM_CLOSE (-1 when it cannot be run).
    INT_PTR RunModal(HINSTANCE programInstance, HWND ownerWindow);

    // WM_INITDIALOG: full screen, soft keys, caption, Back key, tree. Stops at
    // the first shell call that fails; the dialog runs on regardless.
    bool InitDialog(HWND dialogWindow);
    // The tree over the whole client area, subclassed, filled and focused (its
    // first item selected). False when the tree cannot be made.
    bool CreateTree();
    // One item per contents entry, in list order: an entry hangs under the last
    // item inserted one level above it. A level below 1 hangs at the root; a
    // level above 31 under the last level-31 item.
    void FillTree();
    // "Browse": extracts the selected entry's page and shows it in a new page
    // window. Nothing selected: nothing happens.
    void ShowSelectedEntry();
    // "Close": empties the scratch folder, closes the book, ends the dialog.
    void CloseContents();

    HINSTANCE instance;
    HWND owner;
    HWND dialog;
    WCHAR title[80];
    HWND tree;
    PageWindow page;
    Book book;
};

BOOL CALLBACK ContentsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// The tree's subclass: asks the dialog manager for every key, Enter included.
LRESULT CALLBACK TreeKeyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The scratch folder every page is extracted into and read from.
extern const WCHAR kScratchFolder[];
// The tree's control id.
constexpr int kContentsTreeId = 4098;
