// The file browser: the full-screen "Select CHM File" dialog. It lists one
// folder of the device (".." first except at the root, then the folders, then
// the books that match the filter), walks down and up the folder tree, and
// reads the chosen book itself in the contents window.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <vector>

// One row of the list.
struct BrowserEntry {
    WCHAR name[MAX_PATH];
    int kind;  // kFolderEntry (folders and "..") or kBookEntry
};

constexpr int kFolderEntry = 1;
constexpr int kBookEntry = 2;

class FileBrowser {
public:
    FileBrowser();
    FileBrowser(const FileBrowser&) = delete;
    FileBrowser& operator=(const FileBrowser&) = delete;

    // The folder to list first; a backslash is added when it does not end in
    // one. FALSE, and nothing changes, for a null path or one that does not
    // fit in 259 units with its backslash.
    BOOL SetFolder(LPCWSTR path);
    // The pattern of the book rows ("*.chm"), and the caption. FALSE, and
    // nothing changes, for a null text or one longer than 79 units.
    BOOL SetFilter(LPCWSTR pattern);
    BOOL SetTitle(LPCWSTR text);
    // Runs the dialog (template 105) owned by `ownerWindow` until "Cancel" or a
    // close request. A book chosen meanwhile is read in a contents window
    // modal over the browser; the browser then shows as it was.
    void RunModal(HINSTANCE programInstance, HWND ownerWindow);

    // WM_INITDIALOG: full screen, soft keys, folder label, caption, Back key,
    // list. Stops at the first step that fails; the dialog runs on as it is.
    void InitDialog(HWND dialogWindow);
    // The list with its two icons, focused and filled. False when the list,
    // the image list or an icon cannot be made.
    bool CreateList();
    // Rebuilds `entries` from the folder: "..", folders, books, each group in
    // code-unit order.
    void ListFolder();
    // Refills the label and the list from `entries`; the first row selected.
    void ShowList();
    // To the parent folder; nothing at the root.
    void GoUp();
    // "Open": acts on the selected rows (a folder is entered, ".." goes up, a
    // book is read).
    void OpenSelection();
    // VK_LEFT / VK_RIGHT: ten rows up or down, added to the selection.
    void PageSelection(WORD key);

    HINSTANCE instance;
    HWND owner;
    HWND dialog;
    HWND label;
    HWND list;
    HIMAGELIST images;
    WCHAR folder[MAX_PATH];
    WCHAR chosenPath[MAX_PATH];
    WCHAR filter[80];
    WCHAR title[80];
    std::vector<BrowserEntry> entries;
};

BOOL CALLBACK FileBrowserDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The list's control id.
constexpr int kBrowserListId = 4098;
