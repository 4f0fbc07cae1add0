// The soft-key bar control ("menu_worker"). Private to platform/shell.
#pragma once

#include <aygshell.h>

#include <string>

namespace lwshell {

struct SoftKeySpec {
    bool present = false;
    std::u16string caption;
    UINT command = 0;
    BYTE state = 0;
    BYTE style = 0;
    WORD popupIndex = NOMENU;
};

// What SHCreateMenuBar hands to the bar's WM_CREATE.
struct BarSpec {
    HWND target = nullptr; // gets the commands and WM_HOTKEY
    HMENU menu = nullptr;  // the bar takes it over
    SoftKeySpec keys[2];
};

extern const WCHAR kBarClass[];
void RegisterBarClass();

} // namespace lwshell
