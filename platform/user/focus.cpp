// Activation and the keyboard focus.
#include "window.h"

#include "remote.h"

#include <QWidget>

#include <algorithm>

namespace lwuser {
namespace {

HWND activeWindow;
HWND focusWindow;

// Qt's keyboard focus stays on the device window, which hands every key to the
// focus window through the queue; no control's widget takes it, so no key
// skips the queue, the dialog manager or a subclass.
void ApplyQtFocus()
{
    if (QWidget* device = DeviceWidget())
        device->setFocus(Qt::OtherFocusReason);
}

HWND TopmostVisibleLayer()
{
    const auto& z = ZOrder();
    for (auto it = z.rbegin(); it != z.rend(); ++it)
        if (IsWindowVisible(*it))
            return *it;
    return nullptr;
}

bool IsOwnedBy(HWND window, HWND owner)
{
    for (int depth = 0; depth < 64; ++depth) { // owners cannot loop, but stay bounded
        Window* w = PeekWindowRecord(window);
        if (!w || !w->owner)
            return false;
        if (w->owner == owner)
            return true;
        window = w->owner;
    }
    return false;
}

} // namespace

void UpdateActivation()
{
    HWND target = TopmostVisibleLayer();
    if (target == activeWindow)
        return;
    HWND previous = activeWindow;
    activeWindow = target;
    DeviceRefresh();
    if (previous && IsWindow(previous)) {
        SendMessageW(previous, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0), reinterpret_cast<LPARAM>(target));
        // The focus leaves a window that is no longer active.
        if (activeWindow == target && focusWindow && TopLevelOf(focusWindow) == previous)
            SetFocus(nullptr);
    }
    if (target && activeWindow == target && IsWindow(target))
        SendMessageW(target, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 0), reinterpret_cast<LPARAM>(previous));
    if (activeWindow == target)
        ApplyQtFocus();
}

void ForgetWindow(HWND window)
{
    if (focusWindow == window)
        focusWindow = nullptr;
    if (activeWindow == window)
        activeWindow = nullptr;
}

} // namespace lwuser

using namespace lwuser;

HWND GetActiveWindow()
{
    return activeWindow;
}

HWND GetForegroundWindow()
{
    return activeWindow;
}

HWND SetActiveWindow(HWND window)
{
    if (!FindWindowRecord(window))
        return nullptr;
    HWND previous = activeWindow;
    RaiseInZOrder(TopLevelOf(window));
    DeviceRefresh();
    UpdateActivation();
    return previous;
}

BOOL SetForegroundWindow(HWND window)
{
    auto value = reinterpret_cast<uintptr_t>(window);
    bool withOwned = (value & 1) != 0;
    HWND handle = reinterpret_cast<HWND>(value & ~uintptr_t(1));
    Window* w = FindWindowRecord(handle, true);
    if (!w)
        return FALSE;
    if (w->remote)
        return RemoteSetForeground(w->remotePid, w->remoteHandle, withOwned) ? TRUE : FALSE;
    HWND top = TopLevelOf(handle);
    RaiseInZOrder(top);
    if (withOwned) {
        // The windows it owns come up with it, above it, in their present order.
        std::vector<HWND> owned;
        for (HWND layer : ZOrder())
            if (IsOwnedBy(layer, top))
                owned.push_back(layer);
        for (HWND layer : owned)
            RaiseInZOrder(layer);
    }
    DeviceRefresh();
    UpdateActivation();
    DeviceRaise();
    return TRUE;
}

HWND SetFocus(HWND window)
{
    if (window && !FindWindowRecord(window))
        return nullptr;
    HWND previous = focusWindow;
    if (previous == window)
        return previous;
    focusWindow = window;
    if (previous && IsWindow(previous))
        SendMessageW(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(window), 0);
    if (focusWindow != window)
        return previous; // the old focus window moved it elsewhere
    ApplyQtFocus();
    if (window)
        SendMessageW(window, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
    return previous;
}

HWND GetFocus()
{
    return focusWindow;
}
