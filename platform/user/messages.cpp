// Messages: the thread's queue, sending, the message loop's calls, timers and
// the default window procedure.
#include "window.h"

#include "lwdevice.h"

#include "gdi_qt.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QTimer>

#include <deque>
#include <map>
#include <unordered_map>

namespace lwuser {
namespace {

struct Queue {
    std::deque<MSG> posted;
    bool quitPending = false;
    int quitCode = 0;
    DWORD stamp = 0; // MSG.time: a running count, so a message can be told apart
    // The character a posted WM_KEYDOWN types, by its stamp (for TranslateMessage).
    std::unordered_map<DWORD, char16_t> typed;
};

Queue& queue()
{
    static Queue* q = new Queue;
    return *q;
}

LwMessageWatch watcher = nullptr;
bool fromQueue = false; // set by DispatchMessageW for the one Deliver it makes

bool Matches(const MSG& msg, HWND window, UINT first, UINT last)
{
    if (window && msg.hwnd != window && !IsChild(window, msg.hwnd))
        return false;
    if (first == 0 && last == 0)
        return true;
    return msg.message >= first && msg.message <= last;
}

bool InRange(UINT message, UINT first, UINT last)
{
    return (first == 0 && last == 0) || (message >= first && message <= last);
}

bool TakeMessage(LPMSG msg, HWND window, UINT first, UINT last, bool remove)
{
    Queue& q = queue();
    for (auto it = q.posted.begin(); it != q.posted.end(); ++it) {
        if (!Matches(*it, window, first, last))
            continue;
        *msg = *it;
        if (remove)
            q.posted.erase(it);
        return true;
    }
    if (q.quitPending && InRange(WM_QUIT, first, last)) {
        *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(q.quitCode), 0, ++q.stamp, {0, 0}};
        if (remove)
            q.quitPending = false;
        return true;
    }
    if (InRange(WM_PAINT, first, last)) {
        HWND paint = NextWindowToPaint();
        if (paint && (!window || paint == window || IsChild(window, paint))) {
            *msg = MSG{paint, WM_PAINT, 0, 0, ++q.stamp, {0, 0}};
            return true;
        }
    }
    return false;
}

void RunQtEvents(bool wait)
{
    EnsureApplication();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents(wait ? QEventLoop::WaitForMoreEvents : QEventLoop::AllEvents);
}

} // namespace

void DiscardMessagesFor(HWND window)
{
    auto& posted = queue().posted;
    for (auto it = posted.begin(); it != posted.end();) {
        if (it->hwnd == window)
            it = posted.erase(it);
        else
            ++it;
    }
}

void WakeMessageLoop()
{
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
        dispatcher->wakeUp();
}

bool PumpOnce(bool wait)
{
    MSG msg;
    RunQtEvents(false);
    if (!TakeMessage(&msg, nullptr, 0, 0, true)) {
        if (!wait)
            return false;
        RunQtEvents(true);
        if (!TakeMessage(&msg, nullptr, 0, 0, true))
            return false;
    }
    if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam)); // for the loop that owns it
        return false;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    return true;
}

LRESULT NotifyParent(HWND control, UINT code, NMHDR* header)
{
    Window* w = PeekWindowRecord(control);
    if (!w || !header)
        return 0;
    header->hwndFrom = control;
    header->idFrom = w->id;
    header->code = code;
    HWND parent = (w->style & WS_CHILD) ? w->parent : w->owner;
    return parent ? SendMessageW(parent, WM_NOTIFY, static_cast<WPARAM>(w->id), reinterpret_cast<LPARAM>(header)) : 0;
}

LRESULT Deliver(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    bool posted = fromQueue;
    fromQueue = false;
    Window* w = PeekWindowRecord(window);
    if (!w || w->remote)
        return 0;
    TraceMessage(window, message, wParam, lParam);
    if (watcher)
        watcher(window, message, wParam, lParam, posted);
    WNDPROC proc = w->proc; // the record may die inside the call: read it first
    return proc ? proc(window, message, wParam, lParam) : 0;
}

// Posts a key message from the device, remembering the character it types.
void PostKey(HWND window, UINT message, WPARAM key, LPARAM lParam, char16_t typed)
{
    if (!PostMessageW(window, message, key, lParam))
        return;
    if (typed && message == WM_KEYDOWN)
        queue().typed[queue().posted.back().time] = typed;
}

} // namespace lwuser

using namespace lwuser;

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!FindWindowRecord(window))
        return 0;
    return Deliver(window, message, wParam, lParam);
}

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (window && !FindWindowRecord(window))
        return FALSE;
    Queue& q = queue();
    q.posted.push_back(MSG{window, message, wParam, lParam, ++q.stamp, {0, 0}});
    WakeMessageLoop();
    return TRUE;
}

void PostQuitMessage(int exitCode)
{
    queue().quitPending = true;
    queue().quitCode = exitCode;
    WakeMessageLoop();
}

BOOL GetMessageW(LPMSG msg, HWND window, UINT first, UINT last)
{
    if (!msg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (window && !FindWindowRecord(window))
        return -1;
    for (;;) {
        RunQtEvents(false);
        if (TakeMessage(msg, window, first, last, true))
            return msg->message == WM_QUIT ? FALSE : TRUE;
        RunQtEvents(true);
    }
}

BOOL PeekMessageW(LPMSG msg, HWND window, UINT first, UINT last, UINT remove)
{
    if (!msg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    RunQtEvents(false);
    return TakeMessage(msg, window, first, last, (remove & PM_REMOVE) != 0) ? TRUE : FALSE;
}

BOOL TranslateMessage(const MSG* msg)
{
    if (!msg || msg->message != WM_KEYDOWN)
        return FALSE;
    auto& typed = queue().typed;
    auto it = typed.find(msg->time);
    if (it == typed.end())
        return FALSE;
    char16_t ch = it->second;
    typed.erase(it);
    if (!FindWindowRecord(msg->hwnd))
        return FALSE;
    // The character comes next, before input queued after the key (its release),
    // as Windows orders it.
    Queue& q = queue();
    q.posted.push_front(MSG{msg->hwnd, WM_CHAR, ch, msg->lParam, ++q.stamp, {0, 0}});
    return TRUE;
}

LRESULT DispatchMessageW(const MSG* msg)
{
    return Dispatch(msg, true);
}

LRESULT lwuser::Dispatch(const MSG* msg, bool posted)
{
    if (!msg || !msg->hwnd)
        return 0;
    queue().typed.erase(msg->time); // a key that was not translated types nothing
    Window* w = FindWindowRecord(msg->hwnd);
    if (!w)
        return 0;
    fromQueue = posted;
    if (msg->message != WM_PAINT)
        return Deliver(msg->hwnd, msg->message, msg->wParam, msg->lParam);
    unsigned before = w->paintCount;
    LRESULT result = Deliver(msg->hwnd, WM_PAINT, 0, 0);
    // A procedure that never begins painting would get WM_PAINT forever.
    if ((w = PeekWindowRecord(msg->hwnd)) && w->paintCount == before) {
        w->invalid = QRect();
        w->eraseNeeded = false;
    }
    return result;
}

void LwDeviceWatchMessages(LwMessageWatch watch)
{
    watcher = watch;
}

LRESULT CallWindowProcW(WNDPROC procedure, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!procedure)
        return 0;
    return procedure(window, message, wParam, lParam);
}

// ---- timers ------------------------------------------------------------------------

namespace {

std::map<std::pair<HWND, UINT_PTR>, QTimer*>& timers()
{
    static auto* t = new std::map<std::pair<HWND, UINT_PTR>, QTimer*>;
    return *t;
}

} // namespace

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, void*)
{
    if (!window) {
        // Thread timers need a TimerProc, which is not supported.
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!FindWindowRecord(window))
        return 0;
    EnsureApplication();
    if (id == 0)
        id = 1; // id 0 marks "all timers" inside the platform
    auto key = std::make_pair(window, id);
    QTimer*& timer = timers()[key];
    if (!timer) {
        timer = new QTimer;
        QObject::connect(timer, &QTimer::timeout, [window, id] {
            // Like Windows, one WM_TIMER at most waits in the queue per timer.
            for (const MSG& m : queue().posted)
                if (m.hwnd == window && m.message == WM_TIMER && m.wParam == id)
                    return;
            PostMessageW(window, WM_TIMER, id, 0);
        });
    }
    timer->start(static_cast<int>(std::max<UINT>(elapse, 10)));
    return id;
}

BOOL KillTimer(HWND window, UINT_PTR id)
{
    auto& all = timers();
    bool found = false;
    for (auto it = all.begin(); it != all.end();) {
        if (it->first.first == window && (id == 0 || it->first.second == id)) {
            it->second->stop();
            it->second->deleteLater();
            it = all.erase(it);
            found = true;
        } else {
            ++it;
        }
    }
    return found ? TRUE : FALSE;
}

// ---- the default window procedure ----------------------------------------------------------

namespace {

LRESULT ColorControl(HWND, UINT message, HDC dc)
{
    int background = COLOR_WINDOW;
    int text = COLOR_WINDOWTEXT;
    if (message == WM_CTLCOLORSTATIC || message == WM_CTLCOLORDLG || message == WM_CTLCOLORMSGBOX) {
        background = COLOR_STATIC;
        text = COLOR_STATICTEXT;
    } else if (message == WM_CTLCOLORBTN || message == WM_CTLCOLORSCROLLBAR) {
        background = COLOR_BTNFACE;
        text = COLOR_BTNTEXT;
    }
    SetTextColor(dc, GetSysColor(text));
    SetBkColor(dc, GetSysColor(background));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(background));
}

LRESULT OnSetText(Window* w, LPCWSTR text)
{
    // A resource ordinal is no text (a static's icon name is read at its creation).
    w->text = text && !IS_INTRESOURCE(text) ? text : u"";
    if (!(w->style & WS_CHILD))
        DeviceRefresh(); // the title strip shows the active window's text
    return TRUE;
}

LRESULT OnGetText(Window* w, WPARAM size, LPWSTR buffer)
{
    if (!buffer || size == 0)
        return 0;
    size_t copied = std::min<size_t>(w->text.size(), size - 1);
    std::copy(w->text.begin(), w->text.begin() + static_cast<std::ptrdiff_t>(copied), buffer);
    buffer[copied] = 0;
    return static_cast<LRESULT>(copied);
}

LRESULT OnEraseBackground(Window* w, HDC dc)
{
    HBRUSH brush = w->windowClass->background;
    if (!brush)
        return 0;
    RECT client{0, 0, w->rect.width(), w->rect.height()};
    FillRect(dc, &client, brush);
    return 1;
}

} // namespace

LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Window* w = FindWindowRecord(window);
    if (!w)
        return 0;
    switch (message) {
    case WM_NCCREATE: {
        // The window takes its text here, as on Windows; an ordinal (a dialog
        // item's 0xFFFF, id) is no text.
        auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        LPCWSTR text = create ? create->lpszName : nullptr;
        if (text && !IS_INTRESOURCE(text) && text[0] != 0xFFFF)
            w->text = text;
        return TRUE;
    }
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_ERASEBKGND:
        return OnEraseBackground(w, reinterpret_cast<HDC>(wParam));
    case WM_PAINT: {
        PAINTSTRUCT paint;
        if (BeginPaint(window, &paint))
            EndPaint(window, &paint);
        return 0;
    }
    case WM_SETTEXT:
        return OnSetText(w, reinterpret_cast<LPCWSTR>(lParam));
    case WM_GETTEXT:
        return OnGetText(w, wParam, reinterpret_cast<LPWSTR>(lParam));
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(w->text.size());
    case WM_SETFONT:
        w->font = reinterpret_cast<HFONT>(wParam);
        if (LOWORD(lParam))
            InvalidateRect(window, nullptr, TRUE);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(w->font);
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE)
            SetFocus(window);
        return 0;
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
        return ColorControl(window, message, reinterpret_cast<HDC>(wParam));
    default:
        return 0;
    }
}
