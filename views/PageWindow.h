// The page window: a top-level window of class "XTHtmlView" around the HTML
// viewer, showing one page of the open book from the scratch folder, with
// "OK" / "Cancel" soft keys. Links load further pages into the same window.
#pragma once

#include <windows.h>
#include <htmlctrl.h>

class Book;

// Where a contents entry or a link leads inside the book.
struct BookPage {
    WCHAR path[MAX_PATH];      // the page's object ("page.htm#part" without "#part")
    WCHAR folder[MAX_PATH];    // the base of the page's relative links
    WCHAR fileName[MAX_PATH];  // the page's base name: its file in the scratch folder
    WCHAR anchor[MAX_PATH];    // the place shown at the top ("part"), or empty
};

// How a book path's folder is cut from it: at its last "/" (a link), or at
// its last "/" or backslash (a contents entry).
enum class FolderSeparators { kSlash, kSlashOrBackslash };

// Works out where `path` leads: "page.htm#part" names the page and a place in
// it, when the book finds it so (a name that holds a "#" of its own is taken
// whole). False when the path or the page's file does not fit beside the
// scratch folder: such a page is never written.
bool LocateBookPage(Book& book, LPCWSTR path, FolderSeparators separators, LPCWSTR scratchFolder, BookPage* page);
// Empties the scratch folder and has the book write the page there.
void WriteBookPage(Book& book, const BookPage& page, LPCWSTR scratchFolder);

class PageWindow {
public:
    PageWindow();
    virtual ~PageWindow();
    PageWindow(const PageWindow&) = delete;
    PageWindow& operator=(const PageWindow&) = delete;

    // Creates the hidden window (its soft-key bar and viewer with it) for a book
    // whose pages are extracted into `scratchFolder` ("\Temp"). False when the
    // window could not be made, or the folder does not fit its buffer.
    bool Create(Book* openBook, HINSTANCE programInstance, LPCWSTR scratchFolder);
    // Shows the page file `fileName` of the scratch folder; `folder`, the page's
    // folder inside the book, becomes the base of relative links. The caption
    // is emptied until the page's title arrives (NM_TITLE). An unreadable
    // file leaves the viewer empty (false). A folder or file name that does not
    // fit its buffer changes nothing (false).
    bool LoadPage(LPCWSTR folder, LPCWSTR fileName);
    void Show();
    void Close();

    LRESULT OnCreate(HWND createdWindow);
    bool CreateViewer();
    // WM_NOTIFY from the viewer (id 4100): links, pictures, the title. 1 for
    // the viewer's notifications, 0 for any other control's.
    LRESULT OnNotify(UINT_PTR id, NMHDR* notification);
    // Shows the page a link names: links out of the book (the web, mail,
    // scripts, another book: any scheme but the help system's naming this
    // book) do nothing, "#name" scrolls this page, "page.htm#name" loads the
    // page and scrolls to the anchor.
    void FollowLink(LPCWSTR target);
    // Shows a page that WriteBookPage wrote: LoadPage, then the anchor's place
    // at the top when the page has it.
    void OpenBookPage(const BookPage& page);
    // The book path a link names from `currentFolder`, in one process-wide
    // buffer valid until the next call; null (and the buffer empty) when the
    // path does not fit in it.
    LPCWSTR ResolveLink(LPCWSTR target);
    // Decodes the picture the viewer asks for from the scratch folder and
    // answers with DTM_SETIMAGE, or DTM_IMAGEFAIL.
    void OnInlineImage(const NM_HTMLVIEW* notification);

    HINSTANCE instance;
    HWND window;
    HWND viewer;
    BYTE* pageText;  // the page file last loaded and two zero bytes; owned
    Book* book;      // not owned
    WCHAR currentFolder[MAX_PATH];
    WCHAR baseFolder[MAX_PATH];
};

LRESULT CALLBACK PageWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The page window that the window procedure works on: the one created last.
extern PageWindow* currentPageWindow;
