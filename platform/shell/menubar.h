// The soft-key bar control ("menu_worker"). Private to platform/shell.
#pragma once

#include <aygshell.h>

#include <string>

namespace lwshell {

struct SoftKey {
    bool present = false;
    std::u16string caption;
    UINT command = 0;
    BYTE state = 0;
    BYTE style = 0;
    WORD popupIndex = NOMENU;
};

// What SHCreateMenuBar hands to the bar's WM_CREATE.
struct BarLayout {
    HWND target = nullptr; // gets the commands and WM_HOTKEY
    HMENU menu = nullptr;  // the bar takes it over
    SoftKey keys[2];
};

extern const WCHAR kBarClass[];
// The bar's class in the class table (SHCreateMenuBar registers it on first use).
void RegisterBarClass();
void UnregisterBarClass();

} // namespace lwshell
