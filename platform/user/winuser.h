// Windows, messages, dialogs, menus, cursors and message boxes of the device,
// over Qt 6 Widgets.
//
// What holds for every call here:
// - One thread runs the user interface, as on the device; nothing is locked.
//   Calls made before a QApplication exists create one, with Qt's own event
//   dispatcher (QT_NO_GLIB=1, unless set otherwise): modal loops nest inside
//   Qt's timer, socket and input handlers, which GLib's dispatcher would starve.
// - Handles are checked: a stale window handle, or one never handed out, makes
//   a call fail with its documented value (FALSE, 0, NULL) and
//   ERROR_INVALID_WINDOW_HANDLE; it never crashes. Window handles are even
//   numbers below 2^31, never reused within a process.
// - Calls set the last error only when they fail, as on Windows; a caller that
//   must tell a zero result from a failure clears it first.
// - The screen is the device window: 240 x 320 pixels, a title strip of 26 at
//   the top, the soft-key bar strip of 26 at the bottom, and the work area of
//   240 x 268 between them (screen coordinates start at the device's top-left).
// - Of the non-client messages only WM_NCCREATE and WM_NCDESTROY are sent, the
//   first and the last message of every window, where controls attach and free
//   their state; the others (painting, hit tests of a frame) are not.
//
// The message trace: when $LEAFWISE_TRACE names a file, every message delivered
// to a window procedure appends one UTF-8 line to it:
//     class <TAB> message <TAB> wParam <TAB> lParam [<TAB> "text"]
// with the message's name (its number in hex, 0x..., when unknown), both
// parameters in hex (0x...), and for the messages that carry text (WM_SETTEXT,
// WM_INITDIALOG with the dialog's title, and whatever a control registers) the
// text in double quotes. $LEAFWISE_TRACE_ONLY, a list of names separated by
// commas (WM_PAINT,WM_NOTIFY:NM_HOTSPOT), keeps only the messages so named; a
// notification is kept by its own name or by WM_NOTIFY.
#pragma once

#include <windef.h>
#include <winbase.h>
#include <wingdi.h>
#include <winresource.h>

// ---- handles and basic types ---------------------------------------------------
typedef struct HWND__* HWND;
typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef struct HMENU__* HMENU;
typedef HANDLE HACCEL;

typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef WORD ATOM;

typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);
// As on Windows CE, a dialog procedure answers a BOOL. Handles fit in it (see above),
// so WM_CTLCOLORSTATIC can still answer a brush.
typedef BOOL(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);

#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)MAKELONG(l, h))
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)MAKELONG(l, h))
#define MAKELRESULT(l, h) ((LRESULT)(DWORD)MAKELONG(l, h))

// ---- messages ------------------------------------------------------------------
#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_MOVE 0x0003
#define WM_SIZE 0x0005
#define WM_ACTIVATE 0x0006
#define WM_SETFOCUS 0x0007
#define WM_KILLFOCUS 0x0008
#define WM_ENABLE 0x000A
#define WM_SETREDRAW 0x000B
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_GETTEXTLENGTH 0x000E
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_ERASEBKGND 0x0014
#define WM_SYSCOLORCHANGE 0x0015
#define WM_SHOWWINDOW 0x0018
#define WM_SETCURSOR 0x0020
#define WM_SETFONT 0x0030
#define WM_GETFONT 0x0031
#define WM_WINDOWPOSCHANGED 0x0047
#define WM_NOTIFY 0x004E
#define WM_NCCREATE 0x0081
#define WM_NCDESTROY 0x0082
#define WM_GETDLGCODE 0x0087
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_SYSCOMMAND 0x0112
#define WM_TIMER 0x0113
#define WM_HSCROLL 0x0114
#define WM_VSCROLL 0x0115
#define WM_INITMENUPOPUP 0x0117
#define WM_CTLCOLORMSGBOX 0x0132
#define WM_CTLCOLOREDIT 0x0133
#define WM_CTLCOLORLISTBOX 0x0134
#define WM_CTLCOLORBTN 0x0135
#define WM_CTLCOLORDLG 0x0136
#define WM_CTLCOLORSCROLLBAR 0x0137
#define WM_CTLCOLORSTATIC 0x0138
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_LBUTTONDBLCLK 0x0203
#define WM_HOTKEY 0x0312
#define WM_USER 0x0400
#define WM_APP 0x8000

// WM_ACTIVATE, low word of wParam
#define WA_INACTIVE 0
#define WA_ACTIVE 1
#define WA_CLICKACTIVE 2

// WM_SIZE, wParam
#define SIZE_RESTORED 0

// WM_VSCROLL, low word of wParam (the high word holds the position of the
// SB_THUMB* codes)
#define SB_LINEUP 0
#define SB_LINEDOWN 1
#define SB_PAGEUP 2
#define SB_PAGEDOWN 3
#define SB_THUMBPOSITION 4
#define SB_THUMBTRACK 5
#define SB_TOP 6
#define SB_BOTTOM 7
#define SB_ENDSCROLL 8

// WM_HOTKEY: the low word of lParam holds these modifiers
#define MOD_ALT 0x0001
#define MOD_CONTROL 0x0002
#define MOD_SHIFT 0x0004
#define MOD_WIN 0x0008
#define MOD_KEYUP 0x1000

// Mouse key state (wParam of the mouse messages)
#define MK_LBUTTON 0x0001

// ---- virtual keys ----------------------------------------------------------------
#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_SHIFT 0x10
#define VK_CONTROL 0x11
#define VK_MENU 0x12
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20
#define VK_PRIOR 0x21
#define VK_NEXT 0x22
#define VK_END 0x23
#define VK_HOME 0x24
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#define VK_DELETE 0x2E
#define VK_MULTIPLY 0x6A
#define VK_ADD 0x6B
#define VK_SUBTRACT 0x6D
#define VK_F1 0x70
#define VK_F2 0x71
#define VK_F3 0x72
#define VK_F4 0x73
#define VK_F5 0x74
#define VK_F6 0x75
#define VK_F7 0x76
#define VK_F8 0x77
#define VK_F9 0x78
#define VK_F10 0x79
#define VK_F11 0x7A
#define VK_F12 0x7B

// ---- window classes ----------------------------------------------------------------
#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002
#define CS_DBLCLKS 0x0008
#define CS_NOCLOSE 0x0200

typedef struct tagWNDCLASSW {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground; // a brush, or a system colour index plus one
    LPCWSTR lpszMenuName;
    LPCWSTR lpszClassName;
} WNDCLASSW, *LPWNDCLASSW;
typedef WNDCLASSW WNDCLASS;

// Returns the class atom (non-zero in its low 16 bits). Class names compare
// without regard to case. Fails (0) with ERROR_CLASS_ALREADY_EXISTS when the
// name is taken, ERROR_INVALID_PARAMETER for a missing procedure or name, or
// negative extra bytes, or more than 256 extra window bytes.
ATOM RegisterClassW(const WNDCLASSW* windowClass);
#define RegisterClass RegisterClassW
// FALSE with ERROR_CLASS_DOES_NOT_EXIST; ERROR_CLASS_HAS_WINDOWS while a window of
// the class exists.
BOOL UnregisterClassW(LPCWSTR className, HINSTANCE instance);
// Fills the record of a registered class (the system classes included).
BOOL GetClassInfoW(HINSTANCE instance, LPCWSTR className, LPWNDCLASSW windowClass);
// The window's class name, cut to fit; 0 with ERROR_INVALID_WINDOW_HANDLE.
int GetClassNameW(HWND window, LPWSTR className, int size);

// ---- windows ------------------------------------------------------------------
#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_CLIPSIBLINGS 0x04000000L
#define WS_CLIPCHILDREN 0x02000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_DLGFRAME 0x00400000L
#define WS_VSCROLL 0x00200000L
#define WS_HSCROLL 0x00100000L
#define WS_SYSMENU 0x00080000L
#define WS_THICKFRAME 0x00040000L
#define WS_GROUP 0x00020000L
#define WS_TABSTOP 0x00010000L

#define WS_EX_DLGMODALFRAME 0x00000001L
#define WS_EX_TOPMOST 0x00000008L
#define WS_EX_WINDOWEDGE 0x00000100L
#define WS_EX_CLIENTEDGE 0x00000200L
#define WS_EX_CONTROLPARENT 0x00010000L
#define WS_EX_NOACTIVATE 0x08000000L

#define CW_USEDEFAULT ((int)0x80000000)

typedef struct tagCREATESTRUCTW {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCWSTR lpszName;
    LPCWSTR lpszClass;
    DWORD dwExStyle;
} CREATESTRUCTW, *LPCREATESTRUCTW;
typedef CREATESTRUCTW CREATESTRUCT;

// Creates a window of a registered or system class. A window without WS_CHILD is
// a top-level window: a layer of the device, owned by `parent` when one is given.
// A top-level window with CW_USEDEFAULT for its position and size covers the work
// area (x and y CW_USEDEFAULT: its top-left corner; width CW_USEDEFAULT: its size).
// For a child, `menu` is its control id. Messages, in order: WM_NCCREATE and
// WM_CREATE (both with the CREATESTRUCTW in lParam, during the call), WM_SIZE,
// WM_MOVE, and when WS_VISIBLE is set the steps of ShowWindow(SW_SHOW).
// DefWindowProcW's WM_NCCREATE takes the window's text and answers TRUE; an answer
// of FALSE ends the creation (WM_NCDESTROY follows) and the call returns NULL. A
// WM_CREATE answer of -1 destroys the window (WM_DESTROY, WM_NCDESTROY follow)
// and the call returns NULL.
// Fails (NULL) with ERROR_CANNOT_FIND_WND_CLASS, ERROR_INVALID_WINDOW_HANDLE (bad
// parent) or ERROR_TLW_WITH_WSCHILD (WS_CHILD without a parent).
HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
#define CreateWindowW(c, n, s, x, y, w, h, p, m, i, a) CreateWindowExW(0, c, n, s, x, y, w, h, p, m, i, a)
#define CreateWindowEx CreateWindowExW
#define CreateWindow CreateWindowW

// Order as on Windows: the windows that it owns are destroyed first; when it is the
// active window the next layer is activated (WM_ACTIVATE to both, see below); then
// WM_DESTROY reaches the window, then its children (each its own WM_DESTROY and
// WM_NCDESTROY), then WM_NCDESTROY the window itself, and the handle dies. A modal dialog destroyed this way ends its loop. Destroying a
// window that is already being destroyed does nothing and returns TRUE.
BOOL DestroyWindow(HWND window);
// TRUE for a live window of this process or of another instance found by FindWindowW.
BOOL IsWindow(HWND window);
BOOL IsChild(HWND parent, HWND window);
// The parent of a child, the owner of a top-level window; NULL for none (no error).
HWND GetParent(HWND window);

#define GW_HWNDFIRST 0
#define GW_HWNDLAST 1
#define GW_HWNDNEXT 2
#define GW_HWNDPREV 3
#define GW_OWNER 4
#define GW_CHILD 5
// GW_OWNER, GW_CHILD and the sibling relations (children in creation order).
HWND GetWindow(HWND window, UINT relation);

// Finds a top-level window by class and title, both compared without regard to
// case as on Windows; NULL for either matches any; the topmost match wins.
// Looks in this process first, then asks every other running program on the
// platform of the same user, over the local sockets ("window-<pid>") in the
// runtime folder of <winmutex.h>'s GetRuntimeFolder. A window found there gets a
// handle in this process on which IsWindow and SetForegroundWindow work and other
// calls fail (ERROR_INVALID_WINDOW_HANDLE). An instance that does not answer
// within 200 ms is passed over. NULL (no error set) when nothing matches.
HWND FindWindowW(LPCWSTR className, LPCWSTR windowName);
#define FindWindow FindWindowW

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_NORMAL 1
#define SW_SHOWMINIMIZED 2
#define SW_SHOWMAXIMIZED 3
#define SW_MAXIMIZE 3
#define SW_SHOWNOACTIVATE 4
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SW_SHOWMINNOACTIVE 7
#define SW_SHOWNA 8
#define SW_RESTORE 9
// Returns whether the window was visible before. Showing sends WM_SHOWWINDOW
// (TRUE), invalidates the window and, for a top-level window and unless the
// command is SW_SHOWNA or SW_SHOWNOACTIVATE, raises it to the top of the device
// and activates it. Hiding sends WM_SHOWWINDOW (FALSE) and activates the next
// layer if it was active. Minimising counts as hiding; maximising as showing.
BOOL ShowWindow(HWND window, int command);
// TRUE when the window and all its ancestors have WS_VISIBLE.
BOOL IsWindowVisible(HWND window);
// Sends WM_ENABLE. Returns whether the window was disabled before.
BOOL EnableWindow(HWND window, BOOL enable);
BOOL IsWindowEnabled(HWND window);

// Text: WM_SETTEXT / WM_GETTEXT are sent to the window (so a subclass sees them);
// DefWindowProcW stores and returns the text. A top-level window's text is the
// device's title while it is active. GetWindowTextW copies at most size - 1
// units and terminates; returns the units copied.
BOOL SetWindowTextW(HWND window, LPCWSTR text);
int GetWindowTextW(HWND window, LPWSTR text, int size);
int GetWindowTextLengthW(HWND window);
#define SetWindowText SetWindowTextW
#define GetWindowText GetWindowTextW

// Rectangles: client coordinates start at (0, 0); window rectangles are in screen
// coordinates. Windows have no border or caption here: the client area is the
// whole window.
BOOL GetClientRect(HWND window, LPRECT rect);
BOOL GetWindowRect(HWND window, LPRECT rect);
BOOL ClientToScreen(HWND window, LPPOINT point);
BOOL ScreenToClient(HWND window, LPPOINT point);
// Position relative to the parent's client area (a top-level window: the
// screen). Sends WM_SIZE and WM_MOVE when they change. With repaint, or when the
// class has CS_HREDRAW / CS_VREDRAW and the size changed, the whole window is
// invalidated. Negative sizes are taken as 0.
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);

#define HWND_TOP ((HWND)0)
#define HWND_BOTTOM ((HWND)1)
#define HWND_TOPMOST ((HWND)-1)
#define HWND_NOTOPMOST ((HWND)-2)
#define SWP_NOSIZE 0x0001
#define SWP_NOMOVE 0x0002
#define SWP_NOZORDER 0x0004
#define SWP_NOREDRAW 0x0008
#define SWP_NOACTIVATE 0x0010
#define SWP_SHOWWINDOW 0x0040
#define SWP_HIDEWINDOW 0x0080
// Moves and sizes as MoveWindow does; z-order among siblings: HWND_TOP and
// HWND_BOTTOM only (others keep the order); SWP_SHOWWINDOW / SWP_HIDEWINDOW as
// ShowWindow with SW_SHOWNA / SW_HIDE.
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags);

// ---- window data ------------------------------------------------------------------
#define GWL_WNDPROC (-4)
#define GWL_HINSTANCE (-6)
#define GWL_HWNDPARENT (-8)
#define GWL_ID (-12)
#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)
#define GWL_USERDATA (-21)
// A dialog's own slots (valid on dialog windows only)
#define DWL_MSGRESULT 0
#define DWL_DLGPROC 4
#define DWL_USER 8

// The slots are pointer-wide on this 64-bit platform (LONG_PTR, not LONG), so a
// pointer kept in GWL_USERDATA or GWL_WNDPROC survives as it does on the 32-bit
// device; the ...LongPtr names are the same calls.
// Positive indices address the class's extra window bytes (index + sizeof(LONG_PTR)
// must not pass cbWndExtra). Fails (0) with ERROR_INVALID_INDEX or
// ERROR_INVALID_WINDOW_HANDLE. SetWindowLongW returns the previous value and
// leaves the last error alone on success. GWL_WNDPROC replaces the window's
// procedure (subclassing; call the previous one with CallWindowProcW); on a
// dialog, DWL_DLGPROC replaces its dialog procedure. GWL_STYLE changes the bits
// only: the window is not shown, hidden or redrawn.
LONG_PTR GetWindowLongW(HWND window, int index);
LONG_PTR SetWindowLongW(HWND window, int index, LONG_PTR value);
#define GetWindowLongPtrW GetWindowLongW
#define SetWindowLongPtrW SetWindowLongW
#define GetWindowLong GetWindowLongW
#define SetWindowLong SetWindowLongW

// ---- messages and the queue --------------------------------------------------------
typedef struct tagMSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
} MSG, *LPMSG, *PMSG;

// Calls the window's procedure at once and returns its answer; 0 with
// ERROR_INVALID_WINDOW_HANDLE for a bad window (also a window of another process).
LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
#define SendMessage SendMessageW
// Queues the message for the window (NULL: for the thread itself, seen by
// GetMessageW with hwnd NULL). FALSE with ERROR_INVALID_WINDOW_HANDLE for a bad window.
BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
#define PostMessage PostMessageW
// WM_QUIT with this exit code is retrieved once the posted messages before it
// have been (GetMessageW then returns 0).
void PostQuitMessage(int exitCode);

// Waits for the next message of the thread, running Qt's events meanwhile. Order:
// posted messages (input included) first, then WM_QUIT, then WM_PAINT for a
// visible window with an invalid area. window / first / last filter the posted
// messages as on Windows (window NULL and 0, 0: everything). Returns 0 on WM_QUIT,
// otherwise non-zero; -1 with ERROR_INVALID_PARAMETER for a null msg.
BOOL GetMessageW(LPMSG msg, HWND window, UINT first, UINT last);
#define GetMessage GetMessageW
#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001
// As GetMessageW without waiting; FALSE when nothing is there.
BOOL PeekMessageW(LPMSG msg, HWND window, UINT first, UINT last, UINT remove);
#define PeekMessage PeekMessageW
// Posts WM_CHAR for a WM_KEYDOWN that types a character; returns whether it did.
BOOL TranslateMessage(const MSG* msg);
// Delivers a message to its window's procedure and returns the answer. A WM_PAINT
// whose procedure does not validate the window is not repeated (Windows would
// repeat it forever).
LRESULT DispatchMessageW(const MSG* msg);
#define DispatchMessage DispatchMessageW

// What a window procedure hands on. Honours: WM_CLOSE (DestroyWindow),
// WM_ERASEBKGND (fills with the class brush; returns 1, or 0 without one),
// WM_PAINT (validates), WM_SETTEXT / WM_GETTEXT / WM_GETTEXTLENGTH,
// WM_SETFONT / WM_GETFONT, WM_ACTIVATE (focus to the window when it becomes
// active), WM_CTLCOLOR* (window text on the static colour; returns its brush).
// Everything else returns 0.
LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
#define DefWindowProc DefWindowProcW
// Calls a procedure that GetWindowLongW(GWL_WNDPROC) returned; 0 for a null one.
LRESULT CallWindowProcW(WNDPROC procedure, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
#define CallWindowProc CallWindowProcW

// Timers post WM_TIMER (wParam: the id) to the window every `elapse` ms; 0 for a
// bad window. TimerProc callbacks are not supported (the message is posted).
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, void* timerProc);
BOOL KillTimer(HWND window, UINT_PTR id);

// ---- painting ----------------------------------------------------------------------
typedef struct tagPAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
    BOOL fRestore;
    BOOL fIncUpdate;
    BYTE rgbReserved[32];
} PAINTSTRUCT, *LPPAINTSTRUCT;

// Every window paints on its own surface, shown by the device; children sit above
// their parent (WS_CLIPCHILDREN always holds). The invalid area is collected as
// a rectangle; NULL invalidates the whole client area.
BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);
BOOL ValidateRect(HWND window, const RECT* rect);
// Sends WM_PAINT at once when the window is visible and has an invalid area.
BOOL UpdateWindow(HWND window);
// Sends WM_ERASEBKGND first when the area was invalidated with erase (fErase then
// tells whether it was not erased), validates the area and returns a context on
// the window's surface. NULL with ERROR_INVALID_WINDOW_HANDLE.
HDC BeginPaint(HWND window, LPPAINTSTRUCT paint);
BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);
// A context on the window's surface at any time; give it back with ReleaseDC.
// NULL: a context on the screen that paints nowhere (for compatible contexts).
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);

// ---- activation and focus ------------------------------------------------------------
// Activation follows the device: the topmost visible, enabled top-level window is
// the active one. When it changes, WM_ACTIVATE goes first to the window that loses
// it (WA_INACTIVE, lParam: the window that gains it), then to the window that gains
// it (WA_ACTIVE, lParam: the window that lost it); either may be NULL.
HWND GetActiveWindow();
// Raises the window (a top-level window, or the top-level window of a child) to
// the top of the device and activates it; returns the previously active window.
HWND SetActiveWindow(HWND window);
HWND GetForegroundWindow();
// As SetActiveWindow, and brings the device window to the front of the desktop.
// A handle with its lowest bit set (handle | 1) brings the windows that the
// window owns forward too, above it. Works on a window of another instance found
// by FindWindowW (that instance does it). FALSE with ERROR_INVALID_WINDOW_HANDLE.
BOOL SetForegroundWindow(HWND window);
// Sends WM_KILLFOCUS to the window losing the focus (wParam: the new one), then
// WM_SETFOCUS to the new one (wParam: the old one). Returns the previous focus
// window; NULL with ERROR_INVALID_WINDOW_HANDLE for a bad window. NULL takes
// the focus away.
HWND SetFocus(HWND window);
HWND GetFocus();

// ---- dialogs ---------------------------------------------------------------------------
#define DS_ABSALIGN 0x01L
#define DS_SYSMODAL 0x02L
#define DS_SETFONT 0x40L
#define DS_MODALFRAME 0x80L
#define DS_SETFOREGROUND 0x200L
#define DS_CONTROL 0x0400L
#define DS_CENTER 0x0800L

#pragma pack(push, 2)
typedef struct {
    DWORD style;
    DWORD dwExtendedStyle;
    WORD cdit;
    short x;
    short y;
    short cx;
    short cy;
} DLGTEMPLATE;
typedef struct {
    DWORD style;
    DWORD dwExtendedStyle;
    short x;
    short y;
    short cx;
    short cy;
    WORD id;
} DLGITEMTEMPLATE;
#pragma pack(pop)
typedef DLGTEMPLATE* LPDLGTEMPLATEW;
typedef const DLGTEMPLATE* LPCDLGTEMPLATEW;
typedef LPCDLGTEMPLATEW LPCDLGTEMPLATE;

#define DLGC_WANTARROWS 0x0001
#define DLGC_WANTTAB 0x0002
#define DLGC_WANTALLKEYS 0x0004
#define DLGC_WANTMESSAGE 0x0004
#define DLGC_HASSETSEL 0x0008
#define DLGC_DEFPUSHBUTTON 0x0010
#define DLGC_UNDEFPUSHBUTTON 0x0020
#define DLGC_RADIOBUTTON 0x0040
#define DLGC_WANTCHARS 0x0080
#define DLGC_STATIC 0x0100
#define DLGC_BUTTON 0x2000

// Dialog units: one horizontal unit is 6/4 pixel and one vertical unit 12/8
// pixel, the device's system font, whatever the template's font says.
//
// Runs a modal dialog from a template in memory (DLGTEMPLATE or DLGTEMPLATEEX,
// the form FindResourceW / LoadResource / LockResource give), and returns the
// code given to EndDialog. Steps: the dialog window (class "#32770" unless the
// template names one) and its controls are created hidden; WM_SETFONT; then
// WM_INITDIALOG with `param` in lParam (a TRUE answer puts the focus on the first
// control with WS_TABSTOP); the owner is disabled, the dialog shown and activated;
// its own message loop runs (keys pass through IsDialogMessageW) until EndDialog
// or the window's destruction; the owner is enabled again and the dialog destroyed.
// A WM_QUIT ends the loop too (it is posted again for the outer loop).
// Fails with -1: ERROR_INVALID_PARAMETER (null template or procedure),
// ERROR_INVALID_DATA (a template that does not parse), ERROR_INVALID_WINDOW_HANDLE
// (bad owner). Controls of an unknown class are left out.
// Bounds: a template handed in from a loaded resource is read within that
// resource only; any other pointer is read up to 64 KiB.
INT_PTR DialogBoxIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW dialogTemplate, HWND owner,
                                DLGPROC dialogProc, LPARAM param);
#define DialogBoxIndirectParam DialogBoxIndirectParamW
#define DialogBoxIndirectW(i, t, o, p) DialogBoxIndirectParamW(i, t, o, p, 0)
// The same dialog, modeless: created (and shown when the template has WS_VISIBLE)
// and returned; NULL on the failures above.
HWND CreateDialogIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW dialogTemplate, HWND owner,
                                DLGPROC dialogProc, LPARAM param);
// Ends a modal dialog with `result`: its loop stops when control returns to it.
// The owner is enabled again at once. FALSE with ERROR_INVALID_WINDOW_HANDLE for a
// window that is not a dialog.
BOOL EndDialog(HWND dialog, INT_PTR result);
// The window procedure of the dialog class: it calls the dialog procedure
// (DWL_MSGRESULT is reset to 0 first) and answers DWL_MSGRESULT when that returns
// TRUE (the BOOL itself for WM_INITDIALOG and WM_CTLCOLOR*). When it returns
// FALSE, the default processing: WM_ERASEBKGND fills with the brush that
// WM_CTLCOLORDLG gives; WM_CLOSE posts WM_COMMAND IDCANCEL (the dialog is not
// destroyed); the focus control is remembered when the dialog loses activation
// and given back when it gains it (else the first WS_TABSTOP control, else the
// dialog); the rest as DefWindowProcW.
LRESULT DefDlgProcW(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Keys for a dialog: Escape gives WM_COMMAND IDCANCEL, Enter IDOK, unless the
// focused control asks for them through WM_GETDLGCODE (DLGC_WANTALLKEYS, or
// DLGC_WANTMESSAGE). Returns TRUE when the message was used up (also when it was
// simply dispatched to a window of the dialog).
BOOL IsDialogMessageW(HWND dialog, LPMSG msg);
// The child with this control id; NULL with ERROR_CONTROL_ID_NOT_FOUND.
HWND GetDlgItem(HWND dialog, int id);
int GetDlgCtrlID(HWND window);
LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);
BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text);
UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR text, int size);
// Converts a rectangle from the dialog units above to pixels.
BOOL MapDialogRect(HWND dialog, LPRECT rect);

// ---- static controls (class "static") ------------------------------------------------
#define SS_LEFT 0x00000000L
#define SS_CENTER 0x00000001L
#define SS_RIGHT 0x00000002L
#define SS_ICON 0x00000003L
#define SS_BLACKRECT 0x00000004L
#define SS_GRAYRECT 0x00000005L
#define SS_WHITERECT 0x00000006L
#define SS_LEFTNOWORDWRAP 0x0000000CL
#define SS_BITMAP 0x0000000EL
#define SS_TYPEMASK 0x0000001FL
#define SS_NOPREFIX 0x00000080L
#define SS_NOTIFY 0x00000100L
#define SS_CENTERIMAGE 0x00000200L
#define STM_SETICON 0x0170
#define STM_GETICON 0x0171
#define STM_SETIMAGE 0x0172
#define STM_GETIMAGE 0x0173
#define STN_CLICKED 0
#define IMAGE_BITMAP 0
#define IMAGE_ICON 1
// A static draws, on each WM_PAINT, its parent's WM_CTLCOLORSTATIC brush as the
// background and its text in the context's colours: SS_LEFT / SS_CENTER / SS_RIGHT
// wrap words; SS_CENTERIMAGE puts one line in the vertical middle; SS_LEFTNOWORDWRAP
// one line. SS_ICON shows the icon named by its text ("#105", an ordinal from a
// dialog template, or a name), at its own size in the top-left corner (centred
// with SS_CENTERIMAGE); SS_BITMAP likewise with a bitmap. The rectangle styles fill.
// With SS_NOTIFY a tap sends WM_COMMAND STN_CLICKED to the parent.

// ---- message boxes -----------------------------------------------------------------------
#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_ABORTRETRYIGNORE 0x00000002L
#define MB_YESNOCANCEL 0x00000003L
#define MB_YESNO 0x00000004L
#define MB_RETRYCANCEL 0x00000005L
#define MB_ICONHAND 0x00000010L
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONASTERISK 0x00000040L
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_DEFBUTTON1 0x00000000L
#define MB_DEFBUTTON2 0x00000100L
#define MB_DEFBUTTON3 0x00000200L
#define MB_APPLMODAL 0x00000000L
#define MB_SYSTEMMODAL 0x00001000L
#define MB_TASKMODAL 0x00002000L
#define MB_SETFOREGROUND 0x00010000L
#define MB_TOPMOST 0x00040000L
#define MB_TYPEMASK 0x0000000FL
#define MB_ICONMASK 0x000000F0L
#define MB_DEFMASK 0x00000F00L

#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7

// Modal: a layer of the device (class "MessageBox") with the text, an icon mark
// and one button per answer; its own loop runs until a button is chosen, and the
// button's id (IDOK, IDCANCEL, IDYES, ...) is returned. Escape (the Back key)
// answers IDCANCEL when there is a Cancel button, IDOK for MB_OK, and is ignored
// otherwise. A WM_COMMAND with a button's id posted to the box answers it.
// The owner (may be NULL) is disabled meanwhile. 0 with ERROR_INVALID_PARAMETER
// for an unknown button type; ERROR_INVALID_WINDOW_HANDLE for a bad owner.
// Test hook: when $LEAFWISE_MESSAGEBOX_LOG names a file, no box is shown; one line
// "caption<TAB>text<TAB>0x<flags in hex><TAB>0x<owner's handle in hex>" (UTF-8;
// tab, newline and backslash in the texts written \t, \n, \\) is appended to it
// and the default button's id is returned at once.
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
#define MessageBox MessageBoxW

// ---- cursors, icons, bitmaps -------------------------------------------------------------
#define IDC_ARROW MAKEINTRESOURCEW(32512)
#define IDC_IBEAM MAKEINTRESOURCEW(32513)
#define IDC_WAIT MAKEINTRESOURCEW(32514)
#define IDC_CROSS MAKEINTRESOURCEW(32515)
#define IDC_UPARROW MAKEINTRESOURCEW(32516)
#define IDC_SIZEALL MAKEINTRESOURCEW(32646)
#define IDC_NO MAKEINTRESOURCEW(32648)
#define IDC_APPSTARTING MAKEINTRESOURCEW(32650)
#define IDC_HELP MAKEINTRESOURCEW(32651)
#define IDI_APPLICATION MAKEINTRESOURCEW(32512)

// System cursors only (instance NULL, an IDC_ id): a shared handle that is never
// freed. NULL with ERROR_RESOURCE_NAME_NOT_FOUND otherwise.
HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name);
#define LoadCursor LoadCursorW
// IDC_WAIT shows the desktop's busy cursor over the whole program; any other
// cursor (IDC_NO, IDC_ARROW, ...) the normal pointer, since the device shows no
// pointer. NULL does the same as IDC_ARROW. Returns the previous cursor.
HCURSOR SetCursor(HCURSOR cursor);
HCURSOR GetCursor();

// A bitmap from an RT_BITMAP resource (any depth the DIB parser reads); the
// caller frees it with DeleteObject. GetObjectW reports the resource's depth.
// NULL with the resource's error (ERROR_RESOURCE_NAME_NOT_FOUND, ...) or
// ERROR_INVALID_DATA for a damaged bitmap.
HBITMAP LoadBitmapW(HINSTANCE instance, LPCWSTR name);
#define LoadBitmap LoadBitmapW
// An icon from an RT_GROUP_ICON resource, its 32 x 32 image (or the nearest); a
// shared handle, as on Windows: DestroyIcon on it is harmless.
HICON LoadIconW(HINSTANCE instance, LPCWSTR name);
#define LoadIcon LoadIconW
#define LR_DEFAULTCOLOR 0x0000
#define LR_DEFAULTSIZE 0x0040
// IMAGE_ICON (an icon of the nearest size to cx x cy, 0: 32 x 32; a new handle
// to destroy) and IMAGE_BITMAP (as LoadBitmapW).
HANDLE LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int cx, int cy, UINT flags);
BOOL DestroyIcon(HICON icon);
BOOL DrawIcon(HDC dc, int x, int y, HICON icon);
#define DI_NORMAL 0x0003
// Scales to width x height (0: the icon's own size); blends the icon's mask.
BOOL DrawIconEx(HDC dc, int x, int y, HICON icon, int width, int height, UINT step, HBRUSH flicker,
                UINT flags);

// ---- menus -------------------------------------------------------------------------------
#define MF_STRING 0x00000000L
#define MF_GRAYED 0x00000001L
#define MF_DISABLED 0x00000002L
#define MF_CHECKED 0x00000008L
#define MF_POPUP 0x00000010L
#define MF_SEPARATOR 0x00000800L
#define MF_BYCOMMAND 0x00000000L
#define MF_BYPOSITION 0x00000400L
#define TPM_LEFTALIGN 0x0000L
#define TPM_CENTERALIGN 0x0004L
#define TPM_RIGHTALIGN 0x0008L
#define TPM_TOPALIGN 0x0000L
#define TPM_VCENTERALIGN 0x0010L
#define TPM_BOTTOMALIGN 0x0020L
#define TPM_RETURNCMD 0x0100L
#define TPM_NONOTIFY 0x0080L

HMENU CreateMenu();
HMENU CreatePopupMenu();
// MF_STRING (newItem: the command id), MF_POPUP (newItem: the HMENU, now owned by
// this menu), MF_SEPARATOR; MF_GRAYED / MF_CHECKED honoured.
BOOL AppendMenuW(HMENU menu, UINT flags, UINT_PTR newItem, LPCWSTR text);
#define AppendMenu AppendMenuW
// Frees the menu and the popups it owns. FALSE with ERROR_INVALID_MENU_HANDLE.
BOOL DestroyMenu(HMENU menu);
HMENU GetSubMenu(HMENU menu, int position);
int GetMenuItemCount(HMENU menu);
// A menu from an RT_MENU resource; the caller destroys it.
HMENU LoadMenuW(HINSTANCE instance, LPCWSTR name);
// Opens the popup at (x, y) in screen coordinates, aligned by the TPM_ flags.
// Unlike Windows the call returns at once: the chosen item's WM_COMMAND (id in
// the low word of wParam, lParam 0) is posted to `owner` when the user picks it;
// nothing is sent when the popup is dismissed. With TPM_RETURNCMD the call waits
// for the choice and returns the id (0: dismissed) instead of posting. The popup
// is copied: the menu may be destroyed at once. FALSE for a bad menu or owner.
BOOL TrackPopupMenuEx(HMENU menu, UINT flags, int x, int y, HWND owner, void* params);

// ---- notifications -------------------------------------------------------------------------
typedef struct tagNMHDR {
    HWND hwndFrom;
    UINT_PTR idFrom;
    UINT code;
} NMHDR, *LPNMHDR;

// ---- the screen ---------------------------------------------------------------------------------
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
#define SM_CXICON 11
#define SM_CYICON 12
#define SM_CXSMICON 49
#define SM_CYSMICON 50
// The device's: 240 x 320, icons 32 and 16; 0 for another index.
int GetSystemMetrics(int index);

// ---- last-error codes of this library ------------------------------------------------------
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#define ERROR_INVALID_MENU_HANDLE 1401L
#define ERROR_INVALID_CURSOR_HANDLE 1402L
#define ERROR_TLW_WITH_WSCHILD 1406L
#define ERROR_CANNOT_FIND_WND_CLASS 1407L
#define ERROR_WINDOW_OF_OTHER_THREAD 1408L
#define ERROR_CLASS_ALREADY_EXISTS 1410L
#define ERROR_CLASS_DOES_NOT_EXIST 1411L
#define ERROR_CLASS_HAS_WINDOWS 1412L
#define ERROR_INVALID_INDEX 1413L
#define ERROR_CONTROL_ID_NOT_FOUND 1421L
#define ERROR_NOT_CHILD_WINDOW 1442L

// ---- the program's entry ---------------------------------------------------------------------
// The platform's main starts Qt, and calls the program's
//     int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int show);
// with GetModuleHandleW(NULL), NULL, the command line (argv[1..] joined by single
// spaces; an argument that names an existing host file or folder, or holds a
// "/", is made absolute and turned into its device form), and SW_SHOW. Its
// result is the process's exit code.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int show);
