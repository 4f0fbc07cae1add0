// The window manager's inside, shared by platform/user, platform/shell and the
// control libraries (never the program): window records, system classes, the
// device window and the message trace's name table.
//
// How a control of another platform library (commctrl, htmlview, ...) is built:
// - Its class. The library registers it with RegisterSystemClass from a
//   function RegisterXClass() and takes it back with UnregisterXClass()
//   (UnregisterSystemClass); registering twice is harmless (null the second
//   time). A class registered at the library's load (see commctrl.cpp) is found
//   by CreateWindowExW and by dialog templates without any call of the program.
//   Its message names go to the trace with RegisterMessageName/RegisterNotifyName
//   in the same function.
// - Its state. One struct per window, made at WM_NCCREATE and kept in the extra
//   window bytes (cbWndExtra = sizeof(LONG_PTR), slot 0), freed at WM_NCDESTROY
//   after the slot is cleared: those are a window's first and last messages. The
//   procedure is a flat switch that unpacks wParam/lParam and calls a handler.
// - Drawing. By default the window has a surface: the procedure paints it with
//   GDI in WM_PAINT (BeginPaint/EndPaint) and InvalidateRect asks for it. A
//   control drawn by a Qt widget instead passes createWidget to
//   RegisterSystemClass; the widget draws itself and gets WM_SIZE/WM_MOVE
//   geometry from the platform.
// - Input. Every key and tap arrives as a message (WM_KEYDOWN, WM_CHAR, WM_KEYUP;
//   WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK with CS_DBLCLKS, WM_MOUSEMOVE
//   while the stylus is down) through the queue, TranslateMessage, the dialog
//   manager (WM_GETDLGCODE) and the window's current procedure, so a subclass
//   sees it first and the trace shows it. A widget-drawn control's widget (and
//   every widget inside it) never gets Qt's focus, keys or mouse events
//   straight from Qt: its taps are posted as those messages, in the control's
//   client coordinates. To let the widget act on a message, the procedure calls
//   ReplayInput from its WM_KEYDOWN/WM_KEYUP/mouse cases. A control takes the
//   focus itself (SetFocus in its WM_LBUTTONDOWN), as Windows controls do, and
//   answers WM_GETDLGCODE with what it wants of the dialog manager's keys.
// - Notifying its parent. NotifyParent fills the NMHDR at the start of the
//   notification's record and sends WM_NOTIFY (wParam the control's id); the
//   trace names the code once it is registered with RegisterNotifyName.
#pragma once

#include <winuser.h>

#include <QEvent>
#include <QImage>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

namespace lwuser {

// Where a class's windows appear on the device.
enum class Placement {
    Normal,  // a child inside its parent, or a top-level layer of the device
    SoftKeys // the soft-key strip at the bottom, shown while its owner is active
};

struct WindowClass {
    std::u16string name;
    UINT style = 0;
    WNDPROC proc = nullptr;
    int classExtra = 0;
    int windowExtra = 0;
    HINSTANCE instance = nullptr;
    HICON icon = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
    std::u16string menuName;
    ATOM atom = 0;
    bool system = false;
    Placement placement = Placement::Normal;
    // A system control drawn by a Qt widget of its own (the HTML view) makes it
    // here; null means a surface that the window procedure paints with GDI.
    QWidget* (*createWidget)(HWND window, QWidget* parent) = nullptr;
    int windows = 0;
};

// What a dialog window carries besides a window's record.
struct DialogState {
    DLGPROC proc = nullptr;
    LONG_PTR msgResult = 0; // DWL_MSGRESULT
    LONG_PTR user = 0;      // DWL_USER
    bool modal = false;
    bool ended = false;
    INT_PTR result = 0;
    HWND savedFocus = nullptr; // the control that had the focus when the dialog lost activation
    HFONT font = nullptr;      // the template's font, made by the dialog
};

struct Window {
    HWND handle = nullptr;
    WindowClass* windowClass = nullptr;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    HINSTANCE instance = nullptr;
    HWND parent = nullptr; // children
    HWND owner = nullptr;  // top-level windows
    UINT_PTR id = 0;
    std::u16string text;
    QRect rect; // in the parent's client area, or on the screen for a top-level window
    LONG_PTR userData = 0;
    std::vector<BYTE> extra;
    std::vector<HWND> children; // creation order
    HFONT font = nullptr;
    bool destroying = false;
    bool created = false; // WM_CREATE answered

    // Painting: the surface the procedure paints on, and what is invalid of it.
    std::shared_ptr<QImage> surface;
    QRect invalid;
    bool eraseNeeded = false;
    unsigned paintCount = 0; // BeginPaint calls, to tell whether a WM_PAINT validated
    QPointer<QWidget> widget;

    std::shared_ptr<DialogState> dialog; // dialogs only; a modal loop keeps its own reference
    HWND softKeyBar = nullptr;           // the bar shown while this window is active
    bool runsModalLoop = false;          // a modal loop waits on this window (dialog, message box)

    // A window of another instance, found by FindWindowW.
    bool remote = false;
    long long remotePid = 0;
    unsigned long long remoteHandle = 0;
};

// ---- records ---------------------------------------------------------------------
// The live window of a handle, or null with ERROR_INVALID_WINDOW_HANDLE set.
// Remote windows are refused unless allowRemote.
Window* FindWindowRecord(HWND window, bool allowRemote = false);
// As FindWindowRecord without touching the last error.
Window* PeekWindowRecord(HWND window);
// Every live local window, for walks (top-level windows in z-order first).
std::vector<HWND> AllWindows();
// Top-level layers from the bottom to the top of the device.
const std::vector<HWND>& ZOrder();
void RaiseInZOrder(HWND window);
// A remote window's local handle (made once per remote window).
HWND RemoteWindowHandle(long long pid, unsigned long long handle);

// Registers a class of the platform's own (static, soft-key bar, controls). Returns
// its record, or null when the name is taken.
WindowClass* RegisterSystemClass(const WNDCLASSW& windowClass, Placement placement = Placement::Normal,
                                 QWidget* (*createWidget)(HWND, QWidget*) = nullptr);
// Takes a platform class back; false with ERROR_CLASS_DOES_NOT_EXIST (also for a
// program's class) or ERROR_CLASS_HAS_WINDOWS.
bool UnregisterSystemClass(LPCWSTR name);
// A class by name (case-insensitive) or atom; null when none. This library's
// own classes (dialog, static, message box) exist from the first lookup.
WindowClass* FindClass(LPCWSTR name);

// The top-level window that holds a window (itself for a top-level one).
HWND TopLevelOf(HWND window);
// The window a widget (or one of its ancestors) stands for; NULL for none.
HWND WindowOfWidget(const QObject* widget);
// Marks a widget as the face of a window (done for every window's widget).
void TagWidget(QWidget* widget, HWND window);
// Creates the QApplication when the program did not.
void EnsureApplication();
// Chooses Qt's event dispatcher that lets modal loops nest anywhere; call it
// before the QApplication is made.
void UseReentrantEventLoop();

// ---- delivery ----------------------------------------------------------------------
// Writes the trace line and calls the window's procedure.
LRESULT Deliver(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// DispatchMessageW's work; `posted` false for a message the platform sends
// that way (UpdateWindow's WM_PAINT), so the tests' watch sees it sent.
LRESULT Dispatch(const MSG* msg, bool posted);
// Fills hwndFrom, idFrom and code of `header` (the start of the notification's
// record) and sends WM_NOTIFY to the control's parent; its answer, 0 without one.
LRESULT NotifyParent(HWND control, UINT code, NMHDR* header);
// Posts a key message from the device; `typed` is the character TranslateMessage
// makes of a WM_KEYDOWN (0: none).
void PostKey(HWND window, UINT message, WPARAM key, LPARAM lParam, char16_t typed);
// Drops every queued message for a window that dies.
void DiscardMessagesFor(HWND window);
// Wakes a waiting GetMessageW.
void WakeMessageLoop();
// Runs Qt's pending events and what is queued, without waiting; for modal
// loops that watch a condition (message boxes, TrackPopupMenuEx with TPM_RETURNCMD).
bool PumpOnce(bool wait);

// ---- input -------------------------------------------------------------------------
// The device's virtual key of a desktop key, and back; 0 for none.
UINT VirtualKeyOf(int qtKey);
int QtKeyOf(UINT vk);
// Posts the mouse message of a desktop mouse event at `at` (client coordinates):
// the left button only; moves only while it is down; a double click is
// WM_LBUTTONDBLCLK for a CS_DBLCLKS class, else WM_LBUTTONDOWN. Nothing when
// the window is disabled.
void PostMouse(HWND window, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons, QPoint at,
               bool enabled);
// Holds a widget-drawn window's widget, and every widget it makes inside it,
// to input from messages: no Qt focus, taps posted as messages, keys, wheel and
// context-menu events dropped.
void TakeInputFromMessages(QWidget* widget);
// Hands a key (WM_KEYDOWN, WM_KEYUP) or mouse message (client coordinates) to a
// widget-drawn window's widget as the Qt event it stands for, the mouse's to the
// widget under the point. False for another message, a key Qt has no code for,
// or a window without a widget of its own.
bool ReplayInput(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// ---- painting ----------------------------------------------------------------------
// Gives the window a surface of its client size (keeping what it can of the old one).
void ResizeSurface(Window* window);
// Some visible window with an invalid area, or NULL.
HWND NextWindowToPaint();

// ---- activation --------------------------------------------------------------------
// Recomputes the active window from the device's layers and sends WM_ACTIVATE.
void UpdateActivation();
// Forgets a dying window as focus or active window (no messages).
void ForgetWindow(HWND window);

// ---- the device ----------------------------------------------------------------------
constexpr int kScreenWidth = 240;
constexpr int kScreenHeight = 320;
constexpr int kTitleHeight = 26;
constexpr int kSoftKeyHeight = 26;
constexpr QRect kWorkArea{0, kTitleHeight, kScreenWidth, kScreenHeight - kTitleHeight - kSoftKeyHeight};
constexpr QRect kSoftKeyArea{0, kScreenHeight - kSoftKeyHeight, kScreenWidth, kSoftKeyHeight};

// The parent widget for a window's widget of this placement, top-level or bar.
QWidget* DeviceParentFor(Placement placement);
// Where a top-level rectangle (screen coordinates) sits inside that parent.
QPoint DeviceOffsetFor(Placement placement);
// Refreshes what the device shows: layer order, title strip, soft-key strip.
void DeviceRefresh();
// The device's desktop window (made on first use).
QWidget* DeviceWidget();
// Brings the device window to the front of the desktop.
void DeviceRaise();

// Private messages of the soft-key bar class ("menu_worker"), posted by the device.
constexpr UINT kMsgSoftKey = WM_USER + 0x700; // wParam: 0 left, 1 right
constexpr UINT kMsgBackKey = WM_USER + 0x701; // wParam: 1 press, 0 release
// Sent by the device to read a caption: wParam 0 left, 1 right; lParam a
// std::u16string* to fill. Answers TRUE when the key exists.
constexpr UINT kMsgSoftKeyText = WM_USER + 0x702;

// ---- the trace ------------------------------------------------------------------------
// Gives the text a message carries, for the trace; false when it carries none.
typedef bool (*TraceTextFn)(HWND window, UINT message, WPARAM wParam, LPARAM lParam, std::u16string* text);
// Names a message for the trace, for windows of one class (className non-null:
// messages of WM_USER and above mean different things per class) or for all.
// A text function, when given, adds the quoted text.
void RegisterMessageName(LPCWSTR className, UINT message, const char* name, TraceTextFn text = nullptr);
// Names a WM_NOTIFY code; its text function gets the WM_NOTIFY's parameters.
void RegisterNotifyName(UINT code, const char* name, TraceTextFn text = nullptr);
// Writes one trace line, when the trace is on.
void TraceMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace lwuser
