// The contents window: the book's contents as a tree, "Browse" and "Close".
#include "TocWindow.h"

#include "FullScreen.h"
#include "References.h"
#include "resource.h"

#include <aygshell.h>
#include <commctrl.h>
#include <strsafe.h>

const WCHAR kScratchFolder[] = TEXT("\\Temp");

namespace {

constexpr INT_PTR kContentsEnded = 2;  // both "Close" and WM_CLOSE
constexpr int kTreeStyle = WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT;
constexpr int kLevels = 32;  // slot 0 is the root, slots 1 to 31 the last item of each level
constexpr size_t kItemText = 256;

// The tree's own procedure, kept when CreateTree subclasses it (one contents
// window at a time).
WNDPROC previousTreeProc = nullptr;

bool IsTrailSurrogate(WCHAR c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Copies `source` into `dest` of `size` units; a text that does not fit is cut
// before the character that would not fit whole (never half a surrogate pair).
void CopyWholeCharacters(LPWSTR dest, size_t size, LPCWSTR source)
{
    if (SUCCEEDED(StringCchCopyW(dest, size, source)))
        return;
    size_t kept = size - 1;
    if (kept > 0 && IsTrailSurrogate(source[kept]))
        --kept;  // dest[kept - 1] is the lead of the pair that was cut
    dest[kept] = 0;
}

// The parent-table slot an entry of `level` hangs under: levels out of 1..31
// are kept inside the table (below 1 at the root, above 31 under level 31).
int ParentSlot(int level)
{
    if (level < 1)
        return 0;
    if (level >= kLevels)
        return kLevels - 1;
    return level - 1;
}

}  // namespace

TocWindow::TocWindow() : instance(nullptr), owner(nullptr), dialog(nullptr), title{}, tree(nullptr) {}

bool TocWindow::LoadBook(LPCWSTR path)
{
    // Only a backslash separates: a device path never holds "/".
    LPCWSTR separator = wcsrchr(path, u'\\');
    CopyWholeCharacters(title, sizeof title / sizeof title[0], separator ? separator + 1 : path);
    return book.LoadContents(path) != 0;
}

INT_PTR TocWindow::RunModal(HINSTANCE programInstance, HWND ownerWindow)
{
    instance = programInstance;
    owner = ownerWindow;
    // A missing template is left for the platform to refuse: it then returns -1.
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(IDD_CONTENTS), RT_DIALOG);
    HGLOBAL loaded = LoadResource(instance, found);
    return DialogBoxIndirectParamW(instance, static_cast<LPCDLGTEMPLATEW>(loaded), owner, ContentsDialogProc,
                                   reinterpret_cast<LPARAM>(this));
}

bool TocWindow::InitDialog(HWND dialogWindow)
{
    dialog = dialogWindow;

    if (!InitFullScreenDialog(dialog, instance, IDR_CONTENTS_MENUBAR, title))
        return false;
    return CreateTree();
}

bool TocWindow::CreateTree()
{
    RECT client = {};
    GetClientRect(dialog, &client);
    tree = CreateWindowExW(0, WC_TREEVIEW, TEXT("TreeItem"), kTreeStyle, 0, 0, client.right, client.bottom, dialog,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(kContentsTreeId)), instance, nullptr);
    if (!tree)
        return false;
    previousTreeProc =
        reinterpret_cast<WNDPROC>(SetWindowLongW(tree, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(TreeKeyProc)));
    // Filled before it takes the focus: a tree that gets the focus with items
    // selects the first, so the keys and "Browse" work at once.
    FillTree();
    SetFocus(tree);
    return true;
}

void TocWindow::FillTree()
{
    HTREEITEM parents[kLevels];
    for (HTREEITEM& parent : parents)
        parent = TVI_ROOT;

    for (TocEntry& entry : book.contents) {
        TVINSERTSTRUCTW insert = {};
        insert.hParent = parents[ParentSlot(entry.level)];
        insert.hInsertAfter = TVI_LAST;
        insert.item.mask = TVIF_TEXT | TVIF_PARAM;
        // The book keeps each title within 255 units, as the book writes it, and
        // the tree copies it: only a title with a character reference ("&amp;")
        // is copied here, to show it decoded as a reader would see it.
        WCHAR shown[kItemText];
        LPCWSTR text = entry.title;
        if (wcschr(text, u'&')) {
            DecodeReferences(text, book.contentsCodePage, shown, kItemText);
            text = shown;
        }
        insert.item.pszText = const_cast<LPWSTR>(text);
        insert.item.cchTextMax = kItemText;
        insert.item.lParam = reinterpret_cast<LPARAM>(&entry);
        auto item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));

        entry.treeItem = item;
        // The table is never reset when the level falls: a deeper entry hangs under
        // the last item one level above it, whichever branch that is. An entry past
        // the table's last level is a leaf.
        int slot = entry.level < 1 ? 1 : entry.level;
        if (slot < kLevels)
            parents[slot] = item;
    }
}

void TocWindow::ShowSelectedEntry()
{
    auto selected = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    if (!selected)
        return;
    TVITEMW item = {};
    item.mask = TVIF_PARAM;
    item.hItem = selected;
    if (!SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
        return;

    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    const TocEntry* entry = reinterpret_cast<const TocEntry*>(item.lParam);
    // The page is written before its window exists, and opened at the place
    // the entry names ("page.htm#part"). A page whose name does not fit beside
    // the scratch folder is shown empty, as any page that is not there.
    BookPage shown;
    bool located = LocateBookPage(book, entry->local, FolderSeparators::kSlashOrBackslash, kScratchFolder, &shown);
    if (located)
        WriteBookPage(book, shown, kScratchFolder);
    else
        book.ClearTempFolder();
    page.Create(&book, instance, kScratchFolder);
    if (located)
        page.OpenBookPage(shown);
    SetCursor(LoadCursorW(nullptr, IDC_NO));
    page.Show();
}

void TocWindow::CloseContents()
{
    book.ClearTempFolder();
    book.Close();
    EndDialog(dialog, kContentsEnded);
}

BOOL CALLBACK ContentsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* contents = reinterpret_cast<TocWindow*>(GetWindowLongW(dialog, GWL_USERDATA));
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongW(dialog, GWL_USERDATA, lParam);
        if (lParam)
            reinterpret_cast<TocWindow*>(lParam)->InitDialog(dialog);
        return TRUE;  // a refused set-up leaves the dialog running as it is
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE && contents)
            SetFocus(contents->tree);
        return TRUE;
    case WM_CLOSE:
        // Leaves the scratch folder and the book as they are: the caller's
        // destruction of the TocWindow closes the book.
        EndDialog(dialog, kContentsEnded);
        return TRUE;
    case WM_COMMAND:
        if (!contents)
            return FALSE;
        if (LOWORD(wParam) == IDOK) {
            contents->ShowSelectedEntry();
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            contents->CloseContents();
            return TRUE;
        }
        return FALSE;
    case WM_HOTKEY:
        if (HIWORD(lParam) != VK_TBACK)
            return FALSE;
        // The Back key goes to the focused control: the tree moves to the parent item.
        SHSendBackToFocusWindow(message, wParam, lParam);
        return TRUE;
    default:
        return FALSE;
    }
}

LRESULT CALLBACK TreeKeyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_GETDLGCODE)
        return DLGC_WANTALLKEYS;
    return CallWindowProcW(previousTreeProc, window, message, wParam, lParam);
}
