// The page window: a top-level window of class "XTHtmlView" around the HTML
// viewer, showing one page of the open book from the scratch folder, with
// "OK" / "Cancel" soft keys. Links load further pages into the same window.
#pragma once

#include <windows.h>
#include <htmlctrl.h>

class Book;

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
    // folder inside the book, becomes the base of relative links. An unreadable
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
    // Shows the page a link names: web links do nothing, "#name" scrolls this
    // page, "page.htm#name" loads the page and scrolls to the anchor.
    void FollowLink(LPCWSTR target);
    // Empties the scratch folder, has the book write the page at `path` (a book
    // path; "page.htm#name" names a place in it) there and shows it, scrolled to
    // the anchor when the page has it, else at its top. False, and nothing done,
    // when there is no book or the page's name does not fit beside the folder.
    bool ShowBookPage(LPCWSTR path);
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
