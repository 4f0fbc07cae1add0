// The file browser: one folder as a list of "..", folders and books.
#include "FileBrowser.h"

#include "FullScreen.h"
#include "TocWindow.h"
#include "resource.h"

#include <aygshell.h>
#include <strsafe.h>

#include <algorithm>
#include <string>

namespace {

constexpr WCHAR kRoot[] = TEXT("\\");
constexpr WCHAR kUp[] = TEXT("..");
constexpr int kBrowserEnded = 2;  // "Cancel" and a close request alike
constexpr int kLabelWidth = 176;
constexpr int kLabelHeight = 18;
constexpr DWORD kListStyle = WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_NOSORTHEADER;
constexpr int kIconSize = 16;
constexpr int kFolderImage = 0;
constexpr int kBookImage = 1;
// From ten rows on the list shows its scroll bar; the column leaves it room.
constexpr size_t kRowsForNarrowColumn = 10;
constexpr int kWideColumn = 176;
constexpr int kNarrowColumn = 170;
constexpr int kPageRows = 10;
// A folder of up to 259 units and a filter of up to 79: a search pattern
// always fits whole, never cut into one that matches something else.
constexpr size_t kPatternRoom = MAX_PATH + 80;

bool IsDotName(LPCWSTR name)
{
    return wcscmp(name, TEXT(".")) == 0 || wcscmp(name, kUp) == 0;
}

// Copies `text` into `dest` of `size` units, or changes nothing (FALSE) when
// it does not fit whole.
BOOL CopyWhole(LPWSTR dest, size_t size, LPCWSTR text)
{
    size_t length = 0;
    if (!text || FAILED(StringCchLengthW(text, size, &length)))
        return FALSE;
    StringCchCopyW(dest, size, text);
    return TRUE;
}

// Appends, as rows of `kind`, the names the search for `pattern` reports, in
// code-unit order (upper case before lower), each once. The book pass skips
// folders: a folder named x.chm is only a folder.
void AppendFound(LPCWSTR pattern, FINDEX_SEARCH_OPS operation, int kind, std::vector<BrowserEntry>* entries)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileExW(pattern, FindExInfoStandard, &found, operation, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return;
    std::vector<std::u16string> names;
    do {
        size_t length = 0;
        if (FAILED(StringCchLengthW(found.cFileName, MAX_PATH, &length)))
            continue;
        if (kind == kBookEntry && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        if (!IsDotName(found.cFileName))
            names.emplace_back(found.cFileName, length);
    } while (FindNextFileW(search, &found));
    FindClose(search);

    // char16_t compares as an unsigned 16-bit unit, a prefix first.
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    entries->reserve(entries->size() + names.size());
    for (const std::u16string& name : names) {
        BrowserEntry entry;
        StringCchCopyW(entry.name, MAX_PATH, name.c_str());
        entry.kind = kind;
        entries->push_back(entry);
    }
}

void SetRowState(HWND list, int row, UINT state)
{
    LVITEMW item = {};
    item.state = state;
    item.stateMask = state;
    SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

bool RowSelected(HWND list, int row)
{
    return (SendMessageW(list, LVM_GETITEMSTATE, row, LVIS_SELECTED) & LVIS_SELECTED) != 0;
}

}  // namespace

FileBrowser::FileBrowser()
    : instance(nullptr), owner(nullptr), dialog(nullptr), label(nullptr), list(nullptr), images(nullptr),
      folder{}, chosenPath{}, filter{}, title{}
{
    StringCchCopyW(folder, MAX_PATH, kRoot);
    StringCchCopyW(filter, 80, TEXT("*.chm"));
    StringCchCopyW(title, 80, TEXT("Open"));
}

BOOL FileBrowser::SetFolder(LPCWSTR path)
{
    size_t length = 0;
    if (!path || FAILED(StringCchLengthW(path, MAX_PATH, &length)))
        return FALSE;
    bool endsInBackslash = length > 0 && path[length - 1] == u'\\';
    if (length + (endsInBackslash ? 0 : 1) >= MAX_PATH)
        return FALSE;  // no room for the backslash and the terminator
    StringCchCopyW(folder, MAX_PATH, path);
    if (!endsInBackslash)
        StringCchCatW(folder, MAX_PATH, kRoot);
    return TRUE;
}

BOOL FileBrowser::SetFilter(LPCWSTR pattern)
{
    return CopyWhole(filter, 80, pattern);
}

BOOL FileBrowser::SetTitle(LPCWSTR text)
{
    return CopyWhole(title, 80, text);
}

void FileBrowser::RunModal(HINSTANCE programInstance, HWND ownerWindow)
{
    instance = programInstance;
    owner = ownerWindow;
    // A missing template is left for the platform to refuse; nothing comes back.
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(IDD_BROWSER), RT_DIALOG);
    HGLOBAL loaded = LoadResource(instance, found);
    DialogBoxIndirectParamW(instance, static_cast<LPCDLGTEMPLATEW>(loaded), owner, FileBrowserDialogProc,
                            reinterpret_cast<LPARAM>(this));
}

void FileBrowser::InitDialog(HWND dialogWindow)
{
    dialog = dialogWindow;
    HWND bar = FullScreenWithSoftKeys(dialog, instance, IDR_BROWSER_MENUBAR);
    if (!bar)
        return;  // no label placed, no list: "Open" finds nothing, "Cancel" still ends it
    label = GetDlgItem(dialog, IDC_BROWSER_FOLDER);
    MoveWindow(label, 0, 0, kLabelWidth, kLabelHeight, TRUE);
    CaptionAndBackKey(dialog, bar, title);
    CreateList();
}

bool FileBrowser::CreateList()
{
    RECT client = {};
    GetClientRect(dialog, &client);
    list = CreateWindowExW(0, WC_LISTVIEW, TEXT("ListItem"), kListStyle, 0, kLabelHeight, client.right,
                           client.bottom - kLabelHeight, dialog,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(kBrowserListId)), instance, nullptr);
    if (!list)
        return false;
    LRESULT extended = SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, extended | LVS_EX_FULLROWSELECT);

    images = ImageList_Create(kIconSize, kIconSize, ILC_MASK, 0, 0);
    if (!images)
        return false;
    HICON folderIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_FOLDER));
    HICON bookIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_BOOK));
    if (!folderIcon || !bookIcon || ImageList_AddIcon(images, folderIcon) != kFolderImage ||
        ImageList_AddIcon(images, bookIcon) != kBookImage) {
        // Not yet the list's: nobody else would free it.
        ImageList_Destroy(images);
        images = nullptr;
        return false;
    }
    // The list owns it from here (no LVS_SHAREIMAGELISTS) and destroys it with itself.
    SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));
    SetFocus(list);
    ListFolder();
    ShowList();
    return true;
}

void FileBrowser::ListFolder()
{
    entries.clear();
    if (wcscmp(folder, kRoot) != 0) {
        BrowserEntry up;
        StringCchCopyW(up.name, MAX_PATH, kUp);
        up.kind = kFolderEntry;
        entries.push_back(up);
    }
    WCHAR pattern[kPatternRoom];
    StringCchPrintfW(pattern, kPatternRoom, TEXT("%s*.*"), folder);
    AppendFound(pattern, FindExSearchLimitToDirectories, kFolderEntry, &entries);
    StringCchPrintfW(pattern, kPatternRoom, TEXT("%s%s"), folder, filter);
    AppendFound(pattern, FindExSearchNameMatch, kBookEntry, &entries);
}

void FileBrowser::ShowList()
{
    SetWindowTextW(label, folder);
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    SendMessageW(list, LVM_DELETECOLUMN, 0, 0);

    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
    column.fmt = LVCFMT_LEFT;
    column.cx = entries.size() >= kRowsForNarrowColumn ? kNarrowColumn : kWideColumn;
    column.pszText = const_cast<LPWSTR>(TEXT("Name"));
    SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));

    for (size_t i = 0; i < entries.size(); ++i) {
        LVITEMW item = {};
        item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_STATE;
        item.iItem = static_cast<int>(i);
        item.pszText = entries[i].name;
        item.iImage = entries[i].kind == kBookEntry ? kBookImage : kFolderImage;
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    if (!entries.empty())
        SetRowState(list, 0, LVIS_SELECTED | LVIS_FOCUSED);
}

void FileBrowser::GoUp()
{
    size_t length = wcslen(folder);
    if (length <= 2)
        return;  // the root: no parent, and no refresh either
    for (size_t i = length - 1; i-- > 0;) {
        if (folder[i] == u'\\') {
            folder[i + 1] = 0;
            break;
        }
    }
    ListFolder();
    ShowList();
}

void FileBrowser::OpenSelection()
{
    int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count && static_cast<size_t>(i) < entries.size(); ++i) {
        if (!RowSelected(list, i))
            continue;
        const BrowserEntry& entry = entries[i];
        if (entry.kind == kFolderEntry && wcscmp(entry.name, kUp) == 0) {
            GoUp();
            return;  // the new listing has only its first row selected
        }
        // The folder, the name and (for a folder) its backslash within 259
        // units: a longer path is refused rather than cut into another one.
        size_t room = MAX_PATH - wcslen(folder);
        size_t nameLength = wcslen(entry.name);
        if (entry.kind == kFolderEntry) {
            if (nameLength + 1 >= room)
                continue;
            StringCchCatW(folder, MAX_PATH, entry.name);
            StringCchCatW(folder, MAX_PATH, kRoot);
            ListFolder();
            ShowList();
            return;
        }
        if (nameLength >= room)
            continue;
        StringCchPrintfW(chosenPath, MAX_PATH, TEXT("%s%s"), folder, entry.name);
        TocWindow contents;
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        contents.LoadBook(chosenPath);  // a book that cannot be read shows an empty tree
        SetCursor(LoadCursorW(nullptr, IDC_NO));
        contents.RunModal(instance, dialog);
    }
}

void FileBrowser::PageSelection(WORD key)
{
    int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    if (count <= 0)
        return;  // row -1 would mean every row
    // The first selected row, asked of each row in turn.
    int current = 0;
    for (int row = 0; row < count; ++row) {
        if (RowSelected(list, row)) {
            current = row;
            break;
        }
    }
    int target = key == VK_LEFT ? std::max(current - kPageRows, 0) : std::min(current + kPageRows, count - 1);
    // Added to the selection: "Open" acts on every selected row.
    SetRowState(list, target, LVIS_SELECTED | LVIS_FOCUSED);
}

namespace {

BOOL OnNotify(FileBrowser* browser, const NMHDR* header)
{
    if (header->idFrom != kBrowserListId || header->code != LVN_KEYDOWN)
        return TRUE;
    WORD key = reinterpret_cast<const NMLVKEYDOWN*>(header)->wVKey;
    if (key != VK_LEFT && key != VK_RIGHT)
        return TRUE;
    browser->PageSelection(key);
    return 0;
}

BOOL OnHotKey(FileBrowser* browser, LPARAM lParam)
{
    if (HIWORD(lParam) != VK_TBACK)
        return FALSE;
    if (LOWORD(lParam) == 0)  // the press; the release comes with MOD_KEYUP
        browser->GoUp();
    return TRUE;
}

}  // namespace

BOOL CALLBACK FileBrowserDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        auto* browser = reinterpret_cast<FileBrowser*>(lParam);
        SetWindowLongW(dialog, GWL_USERDATA, lParam);
        if (browser)
            browser->InitDialog(dialog);
        return TRUE;
    }
    // Messages before WM_INITDIALOG find no object yet.
    auto* browser = reinterpret_cast<FileBrowser*>(GetWindowLongW(dialog, GWL_USERDATA));
    if (!browser)
        return FALSE;
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            browser->OpenSelection();
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, kBrowserEnded);
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        EndDialog(dialog, kBrowserEnded);
        return TRUE;
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE && browser->list)
            SetFocus(browser->list);
        return TRUE;
    case WM_NOTIFY:
        return OnNotify(browser, reinterpret_cast<const NMHDR*>(lParam));
    case WM_CTLCOLORSTATIC:
        // The folder label on light grey.
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return static_cast<BOOL>(reinterpret_cast<INT_PTR>(GetStockObject(LTGRAY_BRUSH)));
    case WM_HOTKEY:
        return OnHotKey(browser, lParam);
    default:
        return FALSE;
    }
}
