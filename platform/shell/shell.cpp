// The shell's calls: the soft-key bar from its resources, full-screen dialogs
// and forwarding the Back key.
#include "menubar.h"

#include "window.h"

namespace lwshell {
namespace {

// The device's SHMENUBARINFO is 36 bytes; ours is wider for 64-bit handles.
constexpr DWORD kDeviceMenuBarInfoSize = 36;
constexpr int kMaxCaption = 80;

std::u16string Caption(HINSTANCE instance, UINT id)
{
    WCHAR text[kMaxCaption] = {};
    LoadStringW(instance, id, text, kMaxCaption);
    return text;
}

// Keys from the bar's RCDATA record; false with the last error set.
bool KeysFromRecord(const SHMENUBARINFO& info, BarLayout* layout)
{
    HRSRC resource = FindResourceW(info.hInstRes, MAKEINTRESOURCEW(info.nToolBarId), RT_RCDATA);
    if (!resource)
        return false;
    HGLOBAL loaded = LoadResource(info.hInstRes, resource);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    SoftKeyBarTemplate record;
    if (!data || !ParseSoftKeyBar(data, SizeofResource(info.hInstRes, resource), &record)) {
        SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    bool needsMenu = false;
    for (size_t i = 0; i < record.buttons.size() && i < 2; ++i) {
        const SoftKeyButtonTemplate& button = record.buttons[i];
        SoftKey& key = layout->keys[i];
        key.present = true;
        key.caption = Caption(info.hInstRes, button.captionId);
        key.command = button.command;
        key.state = static_cast<BYTE>(button.state);
        key.style = static_cast<BYTE>(button.style);
        key.popupIndex = button.popupIndex;
        needsMenu = needsMenu || ((key.style & TBSTYLE_DROPDOWN) && key.popupIndex != NOMENU);
    }
    DWORD savedError = GetLastError();
    layout->menu = LoadMenuW(info.hInstRes, MAKEINTRESOURCEW(record.menuId));
    if (!needsMenu) {
        SetLastError(savedError); // a bar of plain keys does without its menu
        return true;
    }
    for (const SoftKey& key : layout->keys) {
        bool opensPopup = key.present && (key.style & TBSTYLE_DROPDOWN) && key.popupIndex != NOMENU;
        if (opensPopup && !GetSubMenu(layout->menu, key.popupIndex)) {
            SetLastError(ERROR_INVALID_DATA); // the record names a popup the menu lacks
            return false;
        }
    }
    return true;
}

// Keys from a menu's top-level items (SHCMBF_HMENU).
bool KeysFromMenu(const SHMENUBARINFO& info, BarLayout* layout)
{
    HMENU menu = LoadMenuW(info.hInstRes, MAKEINTRESOURCEW(info.nToolBarId));
    if (!menu)
        return false;
    layout->menu = menu;
    HRSRC resource = FindResourceW(info.hInstRes, MAKEINTRESOURCEW(info.nToolBarId), RT_MENU);
    HGLOBAL loaded = resource ? LoadResource(info.hInstRes, resource) : nullptr;
    MenuTemplate parsed;
    if (!loaded || !ParseMenuTemplate(LockResource(loaded), SizeofResource(info.hInstRes, resource), &parsed)) {
        SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    for (size_t i = 0; i < parsed.items.size() && i < 2; ++i) {
        const MenuItemTemplate& item = parsed.items[i];
        SoftKey& key = layout->keys[i];
        key.present = true;
        key.caption = item.text;
        key.command = item.id;
        key.state = (item.flags & MF_GRAYED) ? 0 : TBSTATE_ENABLED;
        key.style = static_cast<BYTE>(item.IsPopup() ? TBSTYLE_DROPDOWN | TBSTYLE_AUTOSIZE : TBSTYLE_AUTOSIZE);
        key.popupIndex = item.IsPopup() ? static_cast<WORD>(i) : static_cast<WORD>(NOMENU);
    }
    return true;
}

} // namespace
} // namespace lwshell

using namespace lwshell;

BOOL SHCreateMenuBar(SHMENUBARINFO* info)
{
    if (!info || (info->cbSize != kDeviceMenuBarInfoSize && info->cbSize != sizeof(SHMENUBARINFO))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!lwuser::FindWindowRecord(info->hwndParent))
        return FALSE;
    RegisterBarClass();
    BarLayout layout;
    layout.target = info->hwndParent;
    bool built = true;
    if (!(info->dwFlags & SHCMBF_EMPTYBAR))
        built = (info->dwFlags & SHCMBF_HMENU) ? KeysFromMenu(*info, &layout) : KeysFromRecord(*info, &layout);
    if (!built) {
        if (layout.menu)
            DestroyMenu(layout.menu);
        return FALSE;
    }
    HWND bar = CreateWindowExW(0, kBarClass, u"", 0, 0, 0, 0, 0, info->hwndParent, nullptr, info->hInstRes, &layout);
    if (!bar) {
        if (layout.menu)
            DestroyMenu(layout.menu);
        return FALSE;
    }
    // The bar is shown with the window it serves (the top-level window that holds it).
    if (lwuser::Window* owner = lwuser::PeekWindowRecord(lwuser::TopLevelOf(info->hwndParent)))
        owner->softKeyBar = bar;
    if (!(info->dwFlags & SHCMBF_HIDDEN))
        ShowWindow(bar, SW_SHOWNA);
    info->hwndMB = bar;
    return TRUE;
}

BOOL SHInitDialog(PSHINITDLGINFO info)
{
    if (!info) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!lwuser::FindWindowRecord(info->hDlg))
        return FALSE;
    if (!(info->dwMask & SHIDIM_FLAGS))
        return TRUE;
    QRect area = lwuser::kWorkArea;
    if (info->dwFlags & SHIDIF_FULLSCREENNOMENUBAR)
        area.setHeight(area.height() + lwuser::kSoftKeyHeight);
    if (info->dwFlags & (SHIDIF_SIZEDLG | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_FULLSCREENNOMENUBAR))
        MoveWindow(info->hDlg, area.x(), area.y(), area.width(), area.height(), TRUE);
    return TRUE;
}

void SHSendBackToFocusWindow(UINT message, WPARAM, LPARAM lParam)
{
    if (message != WM_HOTKEY || HIWORD(lParam) != VK_TBACK)
        return;
    HWND focus = GetFocus();
    if (!focus)
        return;
    if (LOWORD(lParam) & MOD_KEYUP) {
        SendMessageW(focus, WM_KEYUP, VK_BACK, static_cast<LPARAM>(0xC0000001));
        return;
    }
    SendMessageW(focus, WM_KEYDOWN, VK_BACK, 1);
    if (IsWindow(focus))
        SendMessageW(focus, WM_CHAR, u'\b', 1);
}
