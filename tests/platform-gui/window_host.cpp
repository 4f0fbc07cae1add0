// A small program on the platform that the tests run as another process:
//   window_host serve CLASS TITLE   a window of that class and title under a
//                                   cover window; prints "ready", then
//                                   "activated" each time the window becomes
//                                   active; ends on WM_CLOSE.
//   window_host trace               sends a fixed set of messages, and keys
//                                   and a tap to a tree and a list (run with
//                                   LEAFWISE_TRACE set), and ends.
#include <windows.h>

#include <commctrl.h>

#include "window.h"

#include "templates.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

bool ready = false;

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ACTIVATE && LOWORD(wParam) != WA_INACTIVE && ready) {
        printf("activated\n");
        fflush(stdout);
    }
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
}

void Register(LPCWSTR name)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = HostProc;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = name;
    RegisterClassW(&wc);
}

std::u16string Wide(const char* text)
{
    std::u16string out;
    for (; *text; ++text)
        out += static_cast<char16_t>(static_cast<unsigned char>(*text));
    return out;
}

int Serve(const char* className, const char* title)
{
    std::u16string wideClass = Wide(className), wideTitle = Wide(title);
    Register(wideClass.c_str());
    Register(u"LwHostCover");
    HWND window = CreateWindowExW(0, wideClass.c_str(), wideTitle.c_str(), WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
    CreateWindowExW(0, u"LwHostCover", u"Cover", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                    CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
    if (!window)
        return 2;
    ready = true;
    printf("ready\n");
    fflush(stdout);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

bool HotspotText(HWND, UINT, WPARAM, LPARAM lParam, std::u16string* text)
{
    *text = reinterpret_cast<const char16_t*>(reinterpret_cast<const NMHDR*>(lParam) + 1);
    return true;
}

BOOL CALLBACK EndAtOnce(HWND dialog, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG)
        EndDialog(dialog, 1);
    return message == WM_INITDIALOG;
}

int Trace()
{
    Register(u"LwHost");
    lwuser::RegisterNotifyName(1125, "NM_HOTSPOT", HotspotText);
    HWND window = CreateWindowExW(0, u"LwHost", u"Traced", 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
    SetWindowTextW(window, u"Say \"hi\"\\now\tand\u00e9");
    SendMessageW(window, WM_USER + 5, 1, 2);
    // Named once it has been seen without a name: a filter keeps it from then on.
    SendMessageW(window, WM_USER + 6, 0xAA, 0);
    lwuser::RegisterMessageName(u"LwHost", WM_USER + 6, "LWM_SIX");
    SendMessageW(window, WM_USER + 6, 0xAB, -1);
    struct {
        NMHDR header;
        char16_t target[16];
    } notify{{window, 4100, 1125}, u"page.htm#top"};
    SendMessageW(window, WM_NOTIFY, 4100, reinterpret_cast<LPARAM>(&notify));
    std::vector<BYTE> bytes = lwtest::DialogBytes(u"Dialog Title", WS_POPUP, 50, 50);
    DialogBoxIndirectParamW(nullptr, lwtest::AsTemplate(bytes), nullptr, EndAtOnce, 0);

    // The controls: what they are given, and input through the queue.
    HWND tree = CreateWindowExW(0, WC_TREEVIEWW, u"", WS_CHILD | WS_VISIBLE, 0, 0, 100, 100, window,
                                reinterpret_cast<HMENU>(4098), nullptr, nullptr);
    TVINSERTSTRUCTW insert{};
    insert.hParent = TVI_ROOT;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = const_cast<LPWSTR>(u"Chapter \"1\"");
    SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert));
    HWND list = CreateWindowExW(0, WC_LISTVIEWW, u"", WS_CHILD | WS_VISIBLE | LVS_REPORT, 100, 0, 100, 100, window,
                                reinterpret_cast<HMENU>(4099), nullptr, nullptr);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.pszText = const_cast<LPWSTR>(u"book.chm");
    SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    SetFocus(tree);
    PostMessageW(tree, WM_KEYDOWN, VK_RETURN, 1);
    PostMessageW(tree, WM_KEYDOWN, VK_BACK, 1);
    PostMessageW(tree, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessageW(tree, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    PostMessageW(list, WM_KEYDOWN, VK_DOWN, 1);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    DestroyWindow(window);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && !strcmp(argv[1], "serve"))
        return Serve(argv[2], argv[3]);
    if (argc == 2 && !strcmp(argv[1], "trace"))
        return Trace();
    fprintf(stderr, "usage: window_host serve CLASS TITLE | trace\n");
    return 2;
}
