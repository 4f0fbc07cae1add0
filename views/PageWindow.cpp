// The page window: loads page files from the scratch folder into the HTML
// viewer and answers the viewer's links, pictures and title.
#include "PageWindow.h"

#include "Book.h"
#include "BookPaths.h"
#include "DecodedImage.h"
#include "FileStream.h"
#include "FullScreen.h"
#include "resource.h"

#include <aygshell.h>

#include <cstdlib>

PageWindow* currentPageWindow = nullptr;

namespace {

const WCHAR kPageWindowClass[] = TEXT("XTHtmlView");
constexpr UINT_PTR kViewerId = 4100;
// The viewer shows at most 4M units of a page; a page file is read up to a
// little more than that, so that a hostile book cannot make it hold more.
constexpr DWORD kMaxPageBytes = 16u << 20;

WCHAR resolvedLink[MAX_PATH];

void SlashesToBackslashes(LPWSTR path)
{
    for (; *path; ++path) {
        if (*path == '/')
            *path = '\\';
    }
}

// Web links are not followed: any "www." or "http://", in any letter case.
bool IsWebLink(LPCWSTR target)
{
    for (LPCWSTR p = target; *p; ++p) {
        if (_wcsnicmp(p, u"www.", 4) == 0 || _wcsnicmp(p, u"http://", 7) == 0)
            return true;
    }
    return false;
}

bool IsAsciiLetter(WCHAR c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// A target that starts with a URL scheme ("mailto:", "https:", "ms-its:").
bool HasScheme(LPCWSTR target)
{
    if (!IsAsciiLetter(target[0]))
        return false;
    LPCWSTR p = target + 1;
    while (IsAsciiLetter(*p) || (*p >= '0' && *p <= '9') || *p == '+' || *p == '-' || *p == '.')
        ++p;
    return *p == ':';
}

// The page a link through the help system's own schemes names in the book
// `bookPath` ("ms-its:book.chm::/page.htm", the book's file named with or
// without its folder, in any letter case): the part after "::". Null for a
// link into another book, or one without "::".
LPCWSTR PageOfThisBook(LPCWSTR target, LPCWSTR bookPath)
{
    for (LPCWSTR scheme : {u"ms-its:", u"its:", u"mk:@MSITStore:"}) {
        size_t length = wcslen(scheme);
        if (_wcsnicmp(target, scheme, length) != 0)
            continue;
        LPCWSTR name = target + length;
        LPCWSTR separator = wcsstr(name, u"::");
        if (!separator)
            return nullptr;
        for (LPCWSTR p = name; p < separator; ++p) {
            if (*p == '/' || *p == '\\')
                name = p + 1;
        }
        LPCWSTR bookName = PathBaseName(bookPath);
        size_t nameLength = static_cast<size_t>(separator - name);
        if (nameLength == 0 || nameLength != wcslen(bookName) || _wcsnicmp(name, bookName, nameLength) != 0)
            return nullptr;
        return separator + 2;
    }
    return nullptr;
}

}  // namespace

PageWindow::PageWindow()
    : instance(nullptr), window(nullptr), viewer(nullptr), pageText(nullptr), book(nullptr),
      currentFolder(), baseFolder()
{
}

PageWindow::~PageWindow()
{
    // A window that outlived its object would answer links from a book that is gone.
    if (currentPageWindow == this) {
        if (IsWindow(window))
            DestroyWindow(window);
        currentPageWindow = nullptr;
    }
    free(pageText);
}

bool PageWindow::Create(Book* openBook, HINSTANCE programInstance, LPCWSTR scratchFolder)
{
    book = openBook;
    instance = programInstance;
    if (FAILED(StringCchCopyW(baseFolder, MAX_PATH, scratchFolder)))
        return false;

    WNDCLASSW windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = PageWindowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = instance;
    windowClass.hIcon = nullptr;
    windowClass.hCursor = nullptr;
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = kPageWindowClass;
    RegisterClassW(&windowClass);  // fails harmlessly when an earlier page window declared it

    // No WS_VISIBLE: the window shows once its page is loaded.
    HWND created = CreateWindowExW(0, kPageWindowClass, TEXT(""), WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                                   CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, this);
    return created != nullptr;
}

LRESULT PageWindow::OnCreate(HWND createdWindow)
{
    window = createdWindow;

    HWND bar = CreateSoftKeys(window, instance, IDR_PAGE_MENUBAR);
    if (!bar)
        return -1;
    if (!CreateViewer())
        return -1;
    // The Back key comes as WM_HOTKEY, where it is swallowed.
    OverrideBackKey(bar);
    return 0;
}

bool PageWindow::CreateViewer()
{
    if (!InitHTMLControl(instance))
        return false;
    RECT client;
    GetClientRect(window, &client);
    viewer = CreateWindowExW(0, DISPLAYCLASS, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, client.left,
                             client.top, client.right - client.left, client.bottom - client.top, window,
                             reinterpret_cast<HMENU>(kViewerId), instance, nullptr);
    SetFocus(viewer);
    PostMessageW(viewer, DTM_ENABLESHRINK, 0, TRUE);
    return true;
}

bool PageWindow::LoadPage(LPCWSTR folder, LPCWSTR fileName)
{
    WCHAR path[MAX_PATH];
    if (FAILED(StringCchPrintfW(path, MAX_PATH, TEXT("%s\\%s"), baseFolder, fileName)) ||
        FAILED(StringCchCopyW(currentFolder, MAX_PATH, folder)))
        return false;
    SlashesToBackslashes(path);

    SendMessageW(viewer, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(TEXT("")));
    // The caption waits for this page's title: a page without one shows none,
    // not the title of the page before it.
    SetWindowTextW(window, TEXT(""));
    free(pageText);
    pageText = nullptr;

    bool result = false;
    FileStream stream;
    if (stream.Open(path, FileStream::kRead) == 0) {
        DWORD length = stream.Length();
        if (length > kMaxPageBytes)
            length = kMaxPageBytes;
        // Whole units and a zero unit after them, also for a file of odd length.
        pageText = static_cast<BYTE*>(calloc(length + 3, 1));
        if (pageText) {
            if (length != 0) {
                DWORD read = 0;
                ReadFile(stream.Handle(), pageText, length, &read, nullptr);
            }
            // An empty file is an empty page, handed over all the same.
            SendMessageW(viewer, DTM_ADDTEXTW, 0, reinterpret_cast<LPARAM>(pageText));
            SendMessageW(viewer, DTM_ENDOFSOURCE, 0, 0);
            result = true;
        }
        stream.Close();
    }
    SetFocus(viewer);
    return result;
}

void PageWindow::Show()
{
    ShowWindow(window, SW_SHOW);
}

void PageWindow::Close()
{
    DestroyWindow(window);
}

LRESULT PageWindow::OnNotify(UINT_PTR id, NMHDR* notification)
{
    if (id != kViewerId || !notification)
        return 0;
    auto* page = reinterpret_cast<const NM_HTMLVIEW*>(notification);
    LPCWSTR target = page->szTarget ? page->szTarget : TEXT("");
    switch (notification->code) {
    case NM_HOTSPOT:
        FollowLink(target);
        break;
    case NM_INLINE_IMAGE:
        OnInlineImage(page);
        break;
    case NM_TITLE:
        SetWindowTextW(window, target);
        break;
    default:
        break;
    }
    return 1;
}

void PageWindow::FollowLink(LPCWSTR target)
{
    if (IsWebLink(target))
        return;
    // What a link with a scheme names lies outside the book ("mailto:",
    // "javascript:", "https://", another book), unless it is a page of this
    // book named through the help system's scheme: that page, from the root.
    WCHAR inBook[MAX_PATH];
    if (HasScheme(target)) {
        LPCWSTR page = book ? PageOfThisBook(target, book->bookPath) : nullptr;
        if (!page || FAILED(StringCchPrintfW(inBook, MAX_PATH, page[0] == '/' ? TEXT("%s") : TEXT("/%s"), page)))
            return;
        target = inBook;
    }
    // An anchor of the page shown: scroll to it, nothing is loaded.
    if (target[0] == '#') {
        SendMessageW(viewer, DTM_ANCHORW, 0, reinterpret_cast<LPARAM>(target + 1));
        return;
    }
    LPCWSTR resolved = ResolveLink(target);
    BookPage linked;
    if (!book || !resolved || !LocateBookPage(*book, resolved, FolderSeparators::kSlash, baseFolder, &linked))
        return;
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    WriteBookPage(*book, linked, baseFolder);
    OpenBookPage(linked);
    SetCursor(LoadCursorW(nullptr, IDC_NO));
}

void PageWindow::OpenBookPage(const BookPage& page)
{
    LoadPage(page.folder, page.fileName);
    if (page.anchor[0])
        SendMessageW(viewer, DTM_ANCHORW, 0, reinterpret_cast<LPARAM>(page.anchor));
}

bool LocateBookPage(Book& book, LPCWSTR path, FolderSeparators separators, LPCWSTR scratchFolder, BookPage* page)
{
    *page = BookPage{};
    if (FAILED(StringCchCopyW(page->path, MAX_PATH, path)))
        return false;
    // "page.htm#part": the page is the object before the "#", when the book
    // finds it so; a name that holds a "#" of its own is taken whole.
    WCHAR* name = page->path + (PathBaseName(page->path) - page->path);
    if (WCHAR* mark = wcschr(name, '#'); mark && mark != name) {
        const ObjectEntry* whole = book.FindObject(page->path);
        *mark = 0;
        if (whole && whole == book.FindObject(page->path))
            StringCchCopyW(page->anchor, MAX_PATH, mark + 1);
        else
            *mark = '#';
    }

    StringCchCopyW(page->folder, MAX_PATH, page->path);
    WCHAR* cut = wcsrchr(page->folder, '/');
    if (separators == FolderSeparators::kSlashOrBackslash) {
        WCHAR* backslash = wcsrchr(page->folder, '\\');
        if (backslash && (!cut || backslash > cut))
            cut = backslash;
    }
    if (cut)
        *cut = 0;
    StringCchCopyW(page->fileName, MAX_PATH, PathBaseName(page->path));
    // A name that does not fit beside the scratch folder would be read cut short.
    WCHAR file[MAX_PATH];
    return SUCCEEDED(StringCchPrintfW(file, MAX_PATH, TEXT("%s\\%s"), scratchFolder, page->fileName));
}

void WriteBookPage(Book& book, const BookPage& page, LPCWSTR scratchFolder)
{
    book.ClearTempFolder();
    book.ExtractPage(page.path, scratchFolder);
}

LPCWSTR PageWindow::ResolveLink(LPCWSTR target)
{
    resolvedLink[0] = 0;
    if (target[0] == 0)
        return resolvedLink;
    if (!ResolveBookPath(currentFolder, target, resolvedLink, MAX_PATH)) {
        resolvedLink[0] = 0;
        return nullptr;
    }
    return resolvedLink;
}

void PageWindow::OnInlineImage(const NM_HTMLVIEW* notification)
{
    HWND from = notification->hdr.hwndFrom;
    WCHAR name[MAX_PATH];
    WCHAR path[MAX_PATH];
    LPCWSTR target = notification->szTarget ? notification->szTarget : TEXT("");
    bool named = ImageScratchName(target, name, MAX_PATH);
    if (named) {
        named = SUCCEEDED(StringCchPrintfW(path, MAX_PATH, TEXT("%s\\%s"), baseFolder, name));
        SlashesToBackslashes(path);
    }

    HDC dc = GetDC(window);
    DecodedImage image;
    HBITMAP bitmap = nullptr;
    if (named && image.Decode(dc, path))
        bitmap = image.Render(image.Width(), image.Height(), image.Width(), image.Height());
    if (bitmap) {
        INLINEIMAGEINFO info = {};
        info.dwCookie = notification->dwCookie;
        info.iOrigHeight = image.Height();
        info.iOrigWidth = image.Width();
        info.hbm = bitmap;
        info.bOwnBitmap = FALSE;
        SendMessageW(from, DTM_SETIMAGE, 0, reinterpret_cast<LPARAM>(&info));
        // The viewer keeps a copy of the pixels; this bitmap is ours to delete.
        DeleteObject(bitmap);
    } else {
        SendMessageW(from, DTM_IMAGEFAIL, 0, notification->dwCookie);
    }
    ReleaseDC(window, dc);
}

LRESULT CALLBACK PageWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CREATE) {
        auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        currentPageWindow = static_cast<PageWindow*>(create->lpCreateParams);
        return currentPageWindow->OnCreate(window);
    }
    PageWindow* page = currentPageWindow;
    if (!page)
        return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
    case WM_ACTIVATE:
        // Another window became active: the page window ends.
        if (LOWORD(wParam) == WA_INACTIVE)
            DestroyWindow(window);
        return 0;
    case WM_NOTIFY:
        return page->OnNotify(wParam, reinterpret_cast<NMHDR*>(lParam));
    case WM_COMMAND:
        if (wParam == IDOK || wParam == IDCANCEL) {
            page->Close();
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    case WM_HOTKEY:
        return 1;  // the Back key, swallowed
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
