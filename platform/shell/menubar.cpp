// The soft-key bar control: two keys drawn with GDI in the device's bottom
// strip, their popups and the keys it may take over.
#include "menubar.h"

#include "window.h"

#include <map>

namespace lwshell {

const WCHAR kBarClass[] = u"menu_worker";

namespace {

// Hot-key ids in WM_HOTKEY's wParam, as the device numbers its keys.
constexpr WPARAM kHotKeyLeft = 0;
constexpr WPARAM kHotKeyRight = 1;
constexpr WPARAM kHotKeyBack = 2;

// The bar's state, attached at WM_CREATE (extra window bytes, slot 0) and
// detached at WM_DESTROY before it is freed.
struct Bar {
    HWND target = nullptr;
    HMENU menu = nullptr;
    SoftKey keys[2];
    std::map<UINT, WORD> overrides; // key -> SHMBOF_ flags
    int pressed = -1;               // the half held down by a tap
};

Bar* BarOf(HWND window)
{
    return reinterpret_cast<Bar*>(GetWindowLongW(window, 0));
}

LRESULT OnCreate(HWND window, const CREATESTRUCTW* create)
{
    auto* layout = static_cast<BarLayout*>(create->lpCreateParams);
    auto* bar = new Bar;
    if (layout) {
        bar->target = layout->target;
        bar->menu = layout->menu;
        bar->keys[0] = layout->keys[0];
        bar->keys[1] = layout->keys[1];
    }
    SetWindowLongW(window, 0, reinterpret_cast<LONG_PTR>(bar));
    return 0;
}

void OnDestroy(HWND window)
{
    Bar* bar = BarOf(window);
    SetWindowLongW(window, 0, 0);
    if (bar && bar->menu)
        DestroyMenu(bar->menu);
    delete bar;
}

void OnPaint(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    Bar* bar = BarOf(window);
    if (!dc || !bar) {
        EndPaint(window, &paint);
        return;
    }
    RECT client;
    GetClientRect(window, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    int half = client.right / 2;
    SetBkMode(dc, TRANSPARENT);
    for (int i = 0; i < 2; ++i) {
        RECT key{i == 0 ? 0 : half, 0, i == 0 ? half : client.right, client.bottom};
        const SoftKey& softKey = bar->keys[i];
        if (!softKey.present)
            continue;
        bool down = bar->pressed == i;
        if (down)
            FillRect(dc, &key, GetSysColorBrush(COLOR_HIGHLIGHT));
        bool enabled = (softKey.state & TBSTATE_ENABLED) != 0;
        SetTextColor(dc, GetSysColor(down ? COLOR_HIGHLIGHTTEXT : enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
        DrawTextW(dc, softKey.caption.c_str(), -1, &key, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    RECT line{half, 4, half + 1, client.bottom - 4};
    FillRect(dc, &line, GetSysColorBrush(COLOR_BTNSHADOW));
    EndPaint(window, &paint);
}

WORD Override(Bar* bar, UINT key)
{
    auto it = bar->overrides.find(key);
    return it == bar->overrides.end() ? 0 : it->second;
}

void PressKey(HWND window, int index)
{
    Bar* bar = BarOf(window);
    if (!bar || index < 0 || index > 1)
        return;
    WORD flags = Override(bar, index == 0 ? VK_TSOFT1 : VK_TSOFT2);
    if (flags & SHMBOF_NOTIFY)
        PostMessageW(bar->target, WM_HOTKEY, index == 0 ? kHotKeyLeft : kHotKeyRight,
                     MAKELPARAM(0, index == 0 ? VK_TSOFT1 : VK_TSOFT2));
    if (flags & SHMBOF_NODEFAULT)
        return;
    const SoftKey& key = bar->keys[index];
    if (!key.present || !(key.state & TBSTATE_ENABLED))
        return;
    HMENU popup = (key.style & TBSTYLE_DROPDOWN) && key.popupIndex != NOMENU ? GetSubMenu(bar->menu, key.popupIndex)
                                                                             : nullptr;
    if (popup) {
        RECT area;
        GetWindowRect(window, &area);
        UINT align = index == 0 ? TPM_LEFTALIGN : TPM_RIGHTALIGN;
        TrackPopupMenuEx(popup, align | TPM_BOTTOMALIGN, index == 0 ? area.left : area.right, area.top, bar->target,
                         nullptr);
        return;
    }
    PostMessageW(bar->target, WM_COMMAND, MAKEWPARAM(key.command, 0), 0);
}

void BackKey(HWND window, bool down)
{
    Bar* bar = BarOf(window);
    if (!bar)
        return;
    WORD flags = Override(bar, VK_TBACK);
    if (flags & SHMBOF_NOTIFY)
        PostMessageW(bar->target, WM_HOTKEY, kHotKeyBack, MAKELPARAM(down ? 0 : MOD_KEYUP, VK_TBACK));
    if (flags & SHMBOF_NODEFAULT)
        return;
    // The Back key's own action: Escape to the focus window (a dialog makes it Cancel).
    HWND focus = GetFocus();
    HWND target = focus ? focus : bar->target;
    lwuser::PostKey(target, down ? WM_KEYDOWN : WM_KEYUP, VK_ESCAPE, down ? 1 : static_cast<LPARAM>(0xC0000001), 0);
}

LRESULT OverrideKey(HWND window, UINT key, LPARAM lParam)
{
    Bar* bar = BarOf(window);
    if (!bar)
        return 0;
    WORD mask = LOWORD(lParam);
    WORD values = HIWORD(lParam);
    WORD previous = Override(bar, key);
    bar->overrides[key] = static_cast<WORD>((previous & ~mask) | (values & mask));
    return previous;
}

LRESULT KeyText(HWND window, WPARAM index, std::u16string* text)
{
    Bar* bar = BarOf(window);
    if (!bar || index > 1 || !text || !bar->keys[index].present)
        return FALSE;
    *text = bar->keys[index].caption;
    return TRUE;
}

void OnTap(HWND window, UINT message, int x)
{
    Bar* bar = BarOf(window);
    if (!bar)
        return;
    RECT client;
    GetClientRect(window, &client);
    int side = x < client.right / 2 ? 0 : 1;
    if (message == WM_LBUTTONDOWN) {
        bar->pressed = side;
        InvalidateRect(window, nullptr, TRUE);
        return;
    }
    bool press = bar->pressed == side;
    bar->pressed = -1;
    InvalidateRect(window, nullptr, TRUE);
    if (press)
        PressKey(window, side);
}

LRESULT CALLBACK BarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return OnCreate(window, reinterpret_cast<const CREATESTRUCTW*>(lParam));
    case WM_DESTROY:
        OnDestroy(window);
        return 0;
    case WM_PAINT:
        OnPaint(window);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
        OnTap(window, message, static_cast<short>(LOWORD(lParam)));
        return 0;
    case lwuser::kMsgSoftKey:
        PressKey(window, static_cast<int>(wParam));
        return 0;
    case lwuser::kMsgBackKey:
        BackKey(window, wParam != 0);
        return 0;
    case lwuser::kMsgSoftKeyText:
        return KeyText(window, wParam, reinterpret_cast<std::u16string*>(lParam));
    case SHCMBM_OVERRIDEKEY:
        return OverrideKey(window, static_cast<UINT>(wParam), lParam);
    case SHCMBM_GETMENU:
        if (Bar* bar = BarOf(window))
            return reinterpret_cast<LRESULT>(bar->menu);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace

void RegisterBarClass()
{
    if (lwuser::FindClass(kBarClass))
        return;
    WNDCLASSW wc{};
    wc.lpfnWndProc = BarProc;
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.lpszClassName = kBarClass;
    lwuser::RegisterSystemClass(wc, lwuser::Placement::SoftKeys);
    lwuser::RegisterMessageName(kBarClass, SHCMBM_OVERRIDEKEY, "SHCMBM_OVERRIDEKEY");
    lwuser::RegisterMessageName(kBarClass, SHCMBM_GETMENU, "SHCMBM_GETMENU");
    lwuser::RegisterMessageName(kBarClass, lwuser::kMsgSoftKey, "LW_SOFTKEY");
    lwuser::RegisterMessageName(kBarClass, lwuser::kMsgBackKey, "LW_BACKKEY");
    lwuser::RegisterMessageName(kBarClass, lwuser::kMsgSoftKeyText, "LW_SOFTKEYTEXT");
}

void UnregisterBarClass()
{
    lwuser::UnregisterSystemClass(kBarClass);
}

} // namespace lwshell
