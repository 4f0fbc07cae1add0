// Window classes and windows: the handle table, creation and destruction,
// window data, text, geometry and visibility.
#include "window.h"

#include "remote.h"
#include "surfacewidget.h"

#include <QApplication>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <unordered_map>

namespace lwuser {
namespace {

// Live windows by handle. Handles are even numbers counting up from 0x10000 and
// never reused, so a stale handle is recognised (and bit 0 stays free for
// SetForegroundWindow's "with owned windows" flag).
struct WindowTable {
    std::unordered_map<uintptr_t, std::unique_ptr<Window>> windows;
    std::vector<HWND> zOrder; // top-level layers, bottom to top
    uintptr_t next = 0x10000;
    std::map<std::pair<long long, unsigned long long>, HWND> remote;
};

WindowTable& table()
{
    static WindowTable* t = new WindowTable;
    return *t;
}

HWND NewHandle()
{
    HWND handle = reinterpret_cast<HWND>(table().next);
    table().next += 4;
    return handle;
}

} // namespace

Window* PeekWindowRecord(HWND window)
{
    auto& windows = table().windows;
    auto it = windows.find(reinterpret_cast<uintptr_t>(window));
    return it == windows.end() ? nullptr : it->second.get();
}

Window* FindWindowRecord(HWND window, bool allowRemote)
{
    Window* record = PeekWindowRecord(window);
    if (!record || (record->remote && !allowRemote)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return record;
}

std::vector<HWND> AllWindows()
{
    std::vector<HWND> all;
    for (auto& [handle, record] : table().windows)
        if (!record->remote)
            all.push_back(record->handle);
    std::sort(all.begin(), all.end()); // creation order
    return all;
}

const std::vector<HWND>& ZOrder()
{
    return table().zOrder;
}

void RaiseInZOrder(HWND window)
{
    auto& z = table().zOrder;
    auto it = std::find(z.begin(), z.end(), window);
    if (it == z.end())
        return;
    z.erase(it);
    z.push_back(window);
}

HWND RemoteWindowHandle(long long pid, unsigned long long handle)
{
    auto key = std::make_pair(pid, handle);
    auto it = table().remote.find(key);
    if (it != table().remote.end())
        return it->second;
    auto record = std::make_unique<Window>();
    record->handle = NewHandle();
    record->remote = true;
    record->remotePid = pid;
    record->remoteHandle = handle;
    HWND local = record->handle;
    table().windows.emplace(reinterpret_cast<uintptr_t>(local), std::move(record));
    table().remote.emplace(key, local);
    return local;
}

HWND TopLevelOf(HWND window)
{
    Window* record = PeekWindowRecord(window);
    while (record && (record->style & WS_CHILD) && record->parent) {
        Window* up = PeekWindowRecord(record->parent);
        if (!up)
            break;
        record = up;
    }
    return record ? record->handle : nullptr;
}

void TagWidget(QWidget* widget, HWND window)
{
    widget->setProperty("lwWindow", QVariant::fromValue(reinterpret_cast<quintptr>(window)));
}

HWND WindowOfWidget(const QObject* object)
{
    for (; object; object = object->parent()) {
        QVariant tag = object->property("lwWindow");
        if (tag.isValid()) {
            HWND window = reinterpret_cast<HWND>(tag.value<quintptr>());
            return PeekWindowRecord(window) ? window : nullptr;
        }
    }
    return nullptr;
}

void UseReentrantEventLoop()
{
    // Modal loops nest inside Qt's event handlers (a dialog opened from a timer,
    // a socket or an input event). GLib never re-enters a source that is being
    // dispatched, so with its dispatcher a nested loop would wait forever for
    // the timers and input of that source; Qt's own dispatcher has no such limit.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
}

void EnsureApplication()
{
    if (QCoreApplication::instance())
        return;
    // A program (or test) that made no QApplication of its own gets one that
    // lives as long as the process.
    static int argc = 1;
    static char* argv[] = {program_invocation_short_name, nullptr}; // the process's own name
    UseReentrantEventLoop();
    new QApplication(argc, argv);
}

} // namespace lwuser

using namespace lwuser;

// ---- creation and destruction --------------------------------------------------------

namespace {

QRect InitialRect(const WindowClass* c, bool child, int x, int y, int width, int height)
{
    if (c->placement == Placement::SoftKeys)
        return kSoftKeyArea;
    if (child) {
        if (x == CW_USEDEFAULT)
            x = y = 0;
        if (width == CW_USEDEFAULT)
            width = height = 0;
    } else {
        // On the device a default top-level window covers the work area.
        if (x == CW_USEDEFAULT) {
            x = kWorkArea.x();
            y = kWorkArea.y();
        }
        if (width == CW_USEDEFAULT) {
            width = kWorkArea.width();
            height = kWorkArea.height();
        }
    }
    return QRect(x, y, std::max(0, width), std::max(0, height));
}

void PlaceWidget(Window* w)
{
    if (!w->widget)
        return;
    QPoint offset;
    if (!(w->style & WS_CHILD))
        offset = DeviceOffsetFor(w->windowClass->placement);
    w->widget->setGeometry(w->rect.translated(-offset));
}

QWidget* MakeWidget(Window* w, Window* parent)
{
    QWidget* parentWidget = parent && (w->style & WS_CHILD) ? parent->widget.data()
                                                            : DeviceParentFor(w->windowClass->placement);
    QWidget* widget = w->windowClass->createWidget ? w->windowClass->createWidget(w->handle, parentWidget)
                                                   : new SurfaceWidget(w->handle, parentWidget);
    TagWidget(widget, w->handle);
    if (w->windowClass->createWidget)
        TakeInputFromMessages(widget);
    widget->hide();
    return widget;
}

// Forgets a window whose last message has been delivered.
void FreeWindow(HWND window)
{
    Window* w = PeekWindowRecord(window);
    if (Window* parent = PeekWindowRecord(w->parent)) {
        auto& list = parent->children;
        list.erase(std::remove(list.begin(), list.end(), window), list.end());
    }
    auto& z = table().zOrder;
    z.erase(std::remove(z.begin(), z.end(), window), z.end());
    for (HWND other : AllWindows()) {
        Window* o = PeekWindowRecord(other);
        if (o && o->softKeyBar == window)
            o->softKeyBar = nullptr;
    }
    KillTimer(window, 0); // forget its timers (id 0 is never used: see SetTimer)
    DiscardMessagesFor(window);
    ForgetWindow(window);
    if (w->widget) {
        w->widget->setProperty("lwWindow", QVariant());
        w->widget->deleteLater();
    }
    --w->windowClass->windows;
    table().windows.erase(reinterpret_cast<uintptr_t>(window));
    DeviceRefresh();
}

} // namespace

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param)
{
    EnsureApplication();
    WindowClass* c = FindClass(className);
    if (!c) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    Window* parentRecord = nullptr;
    if (parent && !(parentRecord = FindWindowRecord(parent)))
        return nullptr;
    bool child = (style & WS_CHILD) != 0;
    if (child && !parent) {
        SetLastError(ERROR_TLW_WITH_WSCHILD);
        return nullptr;
    }

    auto record = std::make_unique<Window>();
    Window* w = record.get();
    w->handle = NewHandle();
    w->windowClass = c;
    w->proc = c->proc;
    w->style = style & ~WS_VISIBLE; // shown at the end, as on Windows
    w->exStyle = exStyle;
    w->instance = instance;
    if (child) {
        w->parent = parent;
        w->id = reinterpret_cast<UINT_PTR>(menu);
    } else {
        w->owner = parent ? TopLevelOf(parent) : nullptr;
    }
    w->rect = InitialRect(c, child, x, y, width, height);
    w->extra.assign(static_cast<size_t>(c->windowExtra), 0);
    HWND handle = w->handle;
    table().windows.emplace(reinterpret_cast<uintptr_t>(handle), std::move(record));
    ++c->windows;
    if (child)
        parentRecord->children.push_back(handle);
    else if (c->placement == Placement::Normal)
        table().zOrder.push_back(handle);

    if (!child)
        StartRemoteServer(); // a top-level window can be found from other processes
    w->widget = MakeWidget(w, parentRecord);
    PlaceWidget(w);
    if (!c->createWidget)
        ResizeSurface(w);

    CREATESTRUCTW cs{param, instance, menu, parent, w->rect.height(), w->rect.width(), w->rect.y(), w->rect.x(),
                     static_cast<LONG>(style), windowName, className, exStyle};
    // WM_NCCREATE first, where a control attaches its state (DefWindowProcW
    // takes the text there); FALSE ends the creation, with WM_NCDESTROY.
    if (!Deliver(handle, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
        if (PeekWindowRecord(handle)) {
            Deliver(handle, WM_NCDESTROY, 0, 0);
            FreeWindow(handle);
        }
        return nullptr;
    }
    if (!PeekWindowRecord(handle))
        return nullptr;
    LRESULT created = Deliver(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs));
    if (!(w = PeekWindowRecord(handle)))
        return nullptr;
    if (created == -1) {
        DestroyWindow(handle);
        return nullptr;
    }
    w->created = true;
    QRect rect = w->rect;
    Deliver(handle, WM_SIZE, SIZE_RESTORED, MAKELPARAM(rect.width(), rect.height()));
    Deliver(handle, WM_MOVE, 0, MAKELPARAM(rect.x(), rect.y()));
    if (!PeekWindowRecord(handle))
        return nullptr;
    if (style & WS_VISIBLE)
        ShowWindow(handle, SW_SHOW);
    return PeekWindowRecord(handle) ? handle : nullptr;
}

BOOL DestroyWindow(HWND window)
{
    Window* w = FindWindowRecord(window);
    if (!w)
        return FALSE;
    if (w->destroying)
        return TRUE;
    w->destroying = true;

    // Owned windows go first, as on Windows (a dialog before its owner).
    for (HWND other : AllWindows()) {
        Window* o = PeekWindowRecord(other);
        if (o && o->owner == window && !o->destroying)
            DestroyWindow(other);
    }
    if (!(w = PeekWindowRecord(window)))
        return TRUE;

    bool topLevel = !(w->style & WS_CHILD);
    w->style &= ~WS_VISIBLE;
    if (w->widget)
        w->widget->hide();
    if (w->dialog)
        w->dialog->ended = true; // a modal loop ends with its window
    if (w->runsModalLoop)
        PostMessageW(nullptr, WM_NULL, 0, 0); // and must wake up to see it
    if (topLevel) {
        auto& z = table().zOrder;
        z.erase(std::remove(z.begin(), z.end(), window), z.end());
        UpdateActivation();
        DeviceRefresh();
    }
    if (GetFocus() && (GetFocus() == window || IsChild(window, GetFocus())))
        SetFocus(nullptr);

    Deliver(window, WM_DESTROY, 0, 0);

    if (!(w = PeekWindowRecord(window)))
        return TRUE;
    std::vector<HWND> children = w->children;
    for (HWND child : children)
        DestroyWindow(child);

    // The last message, after its children's: a control frees its state here.
    if (PeekWindowRecord(window))
        Deliver(window, WM_NCDESTROY, 0, 0);
    if (PeekWindowRecord(window))
        FreeWindow(window);
    return TRUE;
}

BOOL IsWindow(HWND window)
{
    return PeekWindowRecord(window) != nullptr;
}

BOOL IsChild(HWND parent, HWND window)
{
    Window* w = PeekWindowRecord(window);
    while (w && (w->style & WS_CHILD)) {
        if (w->parent == parent)
            return TRUE;
        w = PeekWindowRecord(w->parent);
    }
    return FALSE;
}

HWND GetParent(HWND window)
{
    Window* w = FindWindowRecord(window);
    if (!w)
        return nullptr;
    return (w->style & WS_CHILD) ? w->parent : w->owner;
}

HWND GetWindow(HWND window, UINT relation)
{
    Window* w = FindWindowRecord(window);
    if (!w)
        return nullptr;
    if (relation == GW_OWNER)
        return (w->style & WS_CHILD) ? nullptr : w->owner;
    if (relation == GW_CHILD)
        return w->children.empty() ? nullptr : w->children.front();
    const std::vector<HWND>* siblings = &table().zOrder;
    if (Window* parent = PeekWindowRecord(w->parent); parent && (w->style & WS_CHILD))
        siblings = &parent->children;
    auto it = std::find(siblings->begin(), siblings->end(), window);
    if (it == siblings->end() || siblings->empty())
        return nullptr;
    switch (relation) {
    case GW_HWNDFIRST: return siblings->front();
    case GW_HWNDLAST: return siblings->back();
    case GW_HWNDNEXT: return it + 1 == siblings->end() ? nullptr : *(it + 1);
    case GW_HWNDPREV: return it == siblings->begin() ? nullptr : *(it - 1);
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
}

// ---- window data -----------------------------------------------------------------------

namespace {

bool ExtraSlot(Window* w, int index, LONG_PTR** slot)
{
    if (index < 0 || static_cast<size_t>(index) + sizeof(LONG_PTR) > w->extra.size())
        return false;
    *slot = reinterpret_cast<LONG_PTR*>(w->extra.data() + index);
    return true;
}

} // namespace

LONG_PTR GetWindowLongW(HWND window, int index)
{
    Window* w = FindWindowRecord(window);
    if (!w)
        return 0;
    if (w->dialog) {
        switch (index) {
        case DWL_MSGRESULT: return w->dialog->msgResult;
        case DWL_DLGPROC: return reinterpret_cast<LONG_PTR>(w->dialog->proc);
        case DWL_USER: return w->dialog->user;
        }
    }
    switch (index) {
    case GWL_WNDPROC: return reinterpret_cast<LONG_PTR>(w->proc);
    case GWL_HINSTANCE: return reinterpret_cast<LONG_PTR>(w->instance);
    case GWL_HWNDPARENT: return reinterpret_cast<LONG_PTR>((w->style & WS_CHILD) ? w->parent : w->owner);
    case GWL_ID: return static_cast<LONG_PTR>(w->id);
    case GWL_STYLE: return static_cast<LONG_PTR>(static_cast<LONG>(w->style));
    case GWL_EXSTYLE: return static_cast<LONG_PTR>(static_cast<LONG>(w->exStyle));
    case GWL_USERDATA: return w->userData;
    }
    LONG_PTR* slot;
    if (!ExtraSlot(w, index, &slot)) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    LONG_PTR value;
    std::memcpy(&value, slot, sizeof value);
    return value;
}

LONG_PTR SetWindowLongW(HWND window, int index, LONG_PTR value)
{
    Window* w = FindWindowRecord(window);
    if (!w)
        return 0;
    LONG_PTR previous = 0;
    if (w->dialog) {
        switch (index) {
        case DWL_MSGRESULT:
            previous = w->dialog->msgResult;
            w->dialog->msgResult = value;
            return previous;
        case DWL_DLGPROC:
            previous = reinterpret_cast<LONG_PTR>(w->dialog->proc);
            w->dialog->proc = reinterpret_cast<DLGPROC>(value);
            return previous;
        case DWL_USER:
            previous = w->dialog->user;
            w->dialog->user = value;
            return previous;
        }
    }
    switch (index) {
    case GWL_WNDPROC:
        if (!value) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        previous = reinterpret_cast<LONG_PTR>(w->proc);
        w->proc = reinterpret_cast<WNDPROC>(value);
        return previous;
    case GWL_HINSTANCE:
        previous = reinterpret_cast<LONG_PTR>(w->instance);
        w->instance = reinterpret_cast<HINSTANCE>(value);
        return previous;
    case GWL_ID:
        previous = static_cast<LONG_PTR>(w->id);
        w->id = static_cast<UINT_PTR>(value);
        return previous;
    case GWL_STYLE:
        previous = static_cast<LONG>(w->style);
        w->style = static_cast<DWORD>(value);
        return previous;
    case GWL_EXSTYLE:
        previous = static_cast<LONG>(w->exStyle);
        w->exStyle = static_cast<DWORD>(value);
        return previous;
    case GWL_USERDATA:
        previous = w->userData;
        w->userData = value;
        return previous;
    case GWL_HWNDPARENT:
        // Changing parents is not supported; the owner may change.
        if (w->style & WS_CHILD) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        previous = reinterpret_cast<LONG_PTR>(w->owner);
        w->owner = reinterpret_cast<HWND>(value);
        return previous;
    }
    LONG_PTR* slot;
    if (!ExtraSlot(w, index, &slot)) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    std::memcpy(&previous, slot, sizeof previous);
    std::memcpy(slot, &value, sizeof value);
    return previous;
}

// ---- text ------------------------------------------------------------------------------

BOOL SetWindowTextW(HWND window, LPCWSTR text)
{
    if (!FindWindowRecord(window))
        return FALSE;
    return SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

int GetWindowTextW(HWND window, LPWSTR text, int size)
{
    if (!FindWindowRecord(window))
        return 0;
    if (!text || size <= 0)
        return 0;
    text[0] = 0;
    return static_cast<int>(SendMessageW(window, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(text)));
}

int GetWindowTextLengthW(HWND window)
{
    if (!FindWindowRecord(window))
        return 0;
    return static_cast<int>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0));
}

// ---- geometry --------------------------------------------------------------------------

BOOL GetClientRect(HWND window, LPRECT rect)
{
    Window* w = FindWindowRecord(window);
    if (!w)
        return FALSE;
    if (!rect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *rect = RECT{0, 0, w->rect.width(), w->rect.height()};
    return TRUE;
}

namespace {

// The window's top-left corner in screen coordinates.
QPoint ScreenOrigin(Window* w)
{
    QPoint origin = w->rect.topLeft();
    while ((w->style & WS_CHILD) && (w = PeekWindowRecord(w->parent)))
        origin += w->rect.topLeft();
    return origin;
}

} // namespace

BOOL GetWindowRect(HWND window, LPRECT rect)
{
    Window* w = FindWindowRecord(window);
    if (!w)
        return FALSE;
    if (!rect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    QPoint origin = ScreenOrigin(w);
    *rect = RECT{origin.x(), origin.y(), origin.x() + w->rect.width(), origin.y() + w->rect.height()};
    return TRUE;
}

BOOL ClientToScreen(HWND window, LPPOINT point)
{
    Window* w = FindWindowRecord(window);
    if (!w || !point)
        return FALSE;
    QPoint origin = ScreenOrigin(w);
    point->x += origin.x();
    point->y += origin.y();
    return TRUE;
}

BOOL ScreenToClient(HWND window, LPPOINT point)
{
    Window* w = FindWindowRecord(window);
    if (!w || !point)
        return FALSE;
    QPoint origin = ScreenOrigin(w);
    point->x -= origin.x();
    point->y -= origin.y();
    return TRUE;
}

namespace {

BOOL Reposition(HWND window, const QRect& rect, bool repaint)
{
    Window* w = FindWindowRecord(window);
    if (!w)
        return FALSE;
    QRect old = w->rect;
    QRect next(rect.topLeft(), QSize(std::max(0, rect.width()), std::max(0, rect.height())));
    if (next == old)
        return TRUE;
    w->rect = next;
    PlaceWidget(w);
    bool resized = next.size() != old.size();
    if (resized && !w->windowClass->createWidget)
        ResizeSurface(w);
    bool redrawAll = repaint || (resized && (w->windowClass->style & (CS_HREDRAW | CS_VREDRAW)));
    if (redrawAll)
        InvalidateRect(window, nullptr, TRUE);
    if (resized)
        Deliver(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(next.width(), next.height()));
    if (next.topLeft() != old.topLeft() && PeekWindowRecord(window))
        Deliver(window, WM_MOVE, 0, MAKELPARAM(next.x(), next.y()));
    return TRUE;
}

} // namespace

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint)
{
    return Reposition(window, QRect(x, y, width, height), repaint != FALSE);
}

BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags)
{
    Window* w = FindWindowRecord(window);
    if (!w)
        return FALSE;
    QRect rect = w->rect;
    if (!(flags & SWP_NOMOVE))
        rect.moveTo(x, y);
    if (!(flags & SWP_NOSIZE))
        rect.setSize(QSize(width, height));
    if (!Reposition(window, rect, !(flags & SWP_NOREDRAW)))
        return FALSE;
    if (!(flags & SWP_NOZORDER) && (w = PeekWindowRecord(window))) {
        std::vector<HWND>* siblings = &table().zOrder;
        if (Window* parent = PeekWindowRecord(w->parent); parent && (w->style & WS_CHILD))
            siblings = &parent->children;
        auto it = std::find(siblings->begin(), siblings->end(), window);
        if (it != siblings->end() && (insertAfter == HWND_TOP || insertAfter == HWND_BOTTOM)) {
            siblings->erase(it);
            if (insertAfter == HWND_TOP)
                siblings->push_back(window);
            else
                siblings->insert(siblings->begin(), window);
            if (w->widget) {
                if (insertAfter == HWND_TOP)
                    w->widget->raise();
                else
                    w->widget->lower();
            }
            if (!(w->style & WS_CHILD)) {
                DeviceRefresh();
                UpdateActivation();
            }
        }
    }
    if (flags & SWP_SHOWWINDOW)
        ShowWindow(window, SW_SHOWNA);
    else if (flags & SWP_HIDEWINDOW)
        ShowWindow(window, SW_HIDE);
    return TRUE;
}

// ---- visibility --------------------------------------------------------------------------

BOOL ShowWindow(HWND window, int command)
{
    Window* w = FindWindowRecord(window);
    if (!w)
        return FALSE;
    bool wasVisible = (w->style & WS_VISIBLE) != 0;
    bool show = command != SW_HIDE && command != SW_MINIMIZE && command != SW_SHOWMINIMIZED &&
                command != SW_SHOWMINNOACTIVE;
    bool activate = show && command != SW_SHOWNA && command != SW_SHOWNOACTIVATE;
    bool topLevel = !(w->style & WS_CHILD) && w->windowClass->placement == Placement::Normal;

    if (show != wasVisible) {
        Deliver(window, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
        if (!(w = PeekWindowRecord(window)))
            return wasVisible;
        if (show) {
            w->style |= WS_VISIBLE;
            if (w->widget)
                w->widget->show();
            InvalidateRect(window, nullptr, TRUE);
        } else {
            w->style &= ~WS_VISIBLE;
            if (w->widget)
                w->widget->hide();
        }
    }
    if (topLevel) {
        if (activate) {
            RaiseInZOrder(window);
        } else if (show && !wasVisible) {
            // Shown without activation: just below the active window.
            auto& z = table().zOrder;
            HWND active = GetActiveWindow();
            auto self = std::find(z.begin(), z.end(), window);
            auto at = std::find(z.begin(), z.end(), active);
            if (self != z.end() && at != z.end() && self > at) {
                z.erase(self);
                z.insert(std::find(z.begin(), z.end(), active), window);
            }
        }
        DeviceRefresh();
        UpdateActivation();
    } else if (w->windowClass->placement == Placement::SoftKeys) {
        DeviceRefresh();
    }
    return wasVisible;
}

BOOL IsWindowVisible(HWND window)
{
    Window* w = PeekWindowRecord(window);
    if (!w || w->remote)
        return FALSE;
    while (w) {
        if (!(w->style & WS_VISIBLE))
            return FALSE;
        if (!(w->style & WS_CHILD))
            return TRUE;
        w = PeekWindowRecord(w->parent);
    }
    return FALSE;
}

BOOL EnableWindow(HWND window, BOOL enable)
{
    Window* w = FindWindowRecord(window);
    if (!w)
        return FALSE;
    bool wasDisabled = (w->style & WS_DISABLED) != 0;
    if (wasDisabled == !enable)
        return wasDisabled;
    if (enable)
        w->style &= ~WS_DISABLED;
    else
        w->style |= WS_DISABLED;
    if (w->widget)
        w->widget->setEnabled(enable != FALSE);
    Deliver(window, WM_ENABLE, enable ? TRUE : FALSE, 0);
    return wasDisabled;
}

BOOL IsWindowEnabled(HWND window)
{
    Window* w = FindWindowRecord(window);
    return w && !(w->style & WS_DISABLED);
}

int GetSystemMetrics(int index)
{
    switch (index) {
    case SM_CXSCREEN: return kScreenWidth;
    case SM_CYSCREEN: return kScreenHeight;
    case SM_CXICON:
    case SM_CYICON: return 32;
    case SM_CXSMICON:
    case SM_CYSMICON: return 16;
    default: return 0;
    }
}
