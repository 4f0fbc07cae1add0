// Start-up, the single-instance rule and the main window with its splash.
#include "ReaderApp.h"

#include "DialogBase.h"
#include "FileAssociation.h"
#include "FileBrowser.h"
#include "FullScreen.h"
#include "resource.h"
#include "TocWindow.h"

ReaderApp* readerApp = nullptr;

const WCHAR kMainWindowClass[] = TEXT("Leafwise");
const WCHAR kMainWindowTitle[] = TEXT("Leafwise");

namespace {

constexpr int kInstanceTries = 5;
constexpr DWORD kInstanceWaitMs = 500;
constexpr int kSplashX = 10;
constexpr int kSplashY = 30;

}  // namespace

ReaderApp::ReaderApp() : instance(nullptr), mainWindow(nullptr) {}

HRESULT ActivateRunningInstance(LPCWSTR className, LPCWSTR title, bool* found)
{
    *found = false;
    for (int tries = kInstanceTries; tries > 0; --tries) {
        HANDLE mutex = CreateMutexW(nullptr, FALSE, className);
        if (!mutex)
            return E_FAIL;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return S_OK;  // first instance: the mutex stays open until the process ends

        // Another instance runs. Let go of our handle, so that when it ends the
        // next try creates the mutex afresh, and look for its main window.
        CloseHandle(mutex);
        HWND window = FindWindowW(className, title);
        if (!window) {
            Sleep(kInstanceWaitMs);
            window = FindWindowW(className, title);
        }
        if (window) {
            // The low bit asks for the windows it owns to come forward too.
            SetForegroundWindow(reinterpret_cast<HWND>(reinterpret_cast<ULONG_PTR>(window) | 1));
            *found = true;
            return S_OK;
        }
    }
    return E_FAIL;
}

bool ReaderApp::Init(HINSTANCE programInstance)
{
    bool found = false;
    if (FAILED(ActivateRunningInstance(kMainWindowClass, kMainWindowTitle, &found)) || found)
        return false;

    instance = programInstance;

    WNDCLASSW windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = instance;
    windowClass.hIcon = nullptr;
    windowClass.hCursor = nullptr;
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = kMainWindowClass;
    if (LOWORD(RegisterClassW(&windowClass)) == 0)
        return false;

    // WM_CREATE runs OnCreate inside this call; the window stays hidden until Run.
    HWND window = CreateWindowExW(0, kMainWindowClass, kMainWindowTitle, WS_CLIPCHILDREN, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, this);
    return window != nullptr;
}

namespace {

// The shell starts the program with a book's path as its whole command line,
// taken as it comes: quotes or a trailing blank make it no book.
bool NamesABook(LPCWSTR commandLine)
{
    static const WCHAR extension[] = TEXT(".chm");
    constexpr size_t kExtension = sizeof extension / sizeof extension[0] - 1;
    size_t length = wcslen(commandLine);
    return length > kExtension && _wcsicmp(commandLine + length - kExtension, extension) == 0;
}

}  // namespace

int ReaderApp::Run(LPCWSTR commandLine, int showCommand)
{
    if (NamesABook(commandLine)) {
        OpenBook(commandLine);
        DestroyWindow(mainWindow);  // never shown; its WM_QUIT is left unread
        return 0;
    }

    ShowWindow(mainWindow, showCommand);
    UpdateWindow(mainWindow);

    MSG message;
    for (;;) {
        BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0)
            return static_cast<int>(message.wParam);  // WM_QUIT: 0, posted by WM_DESTROY
        if (got < 0)
            return 0;  // a broken queue would otherwise spin here for ever
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void ReaderApp::OpenBook(LPCWSTR path)
{
    TocWindow contents;
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    contents.LoadBook(path);
    SetCursor(LoadCursorW(nullptr, IDC_NO));
    contents.RunModal(instance, mainWindow);
}

LRESULT ReaderApp::OnCreate(HWND window)
{
    mainWindow = window;

    // The bar lives with the window; its handle is not needed afterwards.
    return CreateSoftKeys(window, instance, IDR_MAIN_MENUBAR) ? 0 : -1;
}

LRESULT ReaderApp::OnPaint()
{
    PAINTSTRUCT paint;
    HDC screen = BeginPaint(mainWindow, &paint);
    HDC memory = CreateCompatibleDC(nullptr);
    HBITMAP splash = LoadBitmapW(instance, MAKEINTRESOURCEW(IDB_SPLASH));
    BITMAP size = {};
    GetObjectW(splash, sizeof size, &size);

    HGDIOBJ previous = SelectObject(memory, splash);
    // Fixed place, own size: the picture is never scaled or centred.
    BitBlt(screen, kSplashX, kSplashY, size.bmWidth, size.bmHeight, memory, 0, 0, SRCCOPY);
    SelectObject(memory, previous);

    DeleteDC(memory);
    DeleteObject(splash);
    EndPaint(mainWindow, &paint);
    return 0;
}

bool ReaderApp::OnCommand(WPARAM command)
{
    // The whole wParam is compared: a command from a control (non-zero high word)
    // never matches.
    switch (command) {
    case IDCANCEL:  // "Exit"
        DestroyWindow(mainWindow);
        return true;
    case IDM_OPEN:
        OpenFromBrowser();
        return true;
    case IDM_ASSOCIATE:
        FileAssociation(mainWindow);
        return true;
    case IDM_ABOUT: {
        AboutDialog about(instance, mainWindow);
        about.RunModal();  // its end code tells nothing here
        return true;
    }
    default:
        return false;
    }
}

void ReaderApp::OpenFromBrowser()
{
    FileBrowser browser;
    browser.SetFilter(TEXT("*.chm"));
    browser.SetFolder(TEXT("\\"));
    browser.SetTitle(TEXT("Select CHM File"));
    browser.RunModal(instance, mainWindow);  // a book chosen there is read there
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Messages that come before WM_CREATE (or to a window whose creation failed
    // before it) have no application object to go to.
    if (message != WM_CREATE && !readerApp)
        return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
    case WM_CREATE:
        readerApp = static_cast<ReaderApp*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        return readerApp->OnCreate(window);
    case WM_DESTROY:
        PostQuitMessage(0);
        // The application object may end before the messages that still come
        // (WM_NCDESTROY); none of them may reach it.
        readerApp = nullptr;
        return 1;
    case WM_PAINT:
        return readerApp->OnPaint();
    case WM_COMMAND:
        if (readerApp->OnCommand(wParam))
            return 1;
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
