// What every window of the program asks of the shell: a soft-key bar from a bar
// resource, and for a dialog the full-screen recipe around it.
#pragma once

#include <windows.h>

// Creates the soft-key bar `barId` (bar record and menu of that id in
// `instance`) for `parent`: flags 0, no bitmap. The bar's window, or NULL.
HWND CreateSoftKeys(HWND parent, HINSTANCE instance, UINT barId);

// Has the soft-key bar send the Back key to its parent as WM_HOTKEY (VK_TBACK
// in the high word of lParam) instead of the key's default action.
void OverrideBackKey(HWND bar);

// Makes the dialog cover the screen, gives it the soft keys `barId` and the
// caption, and takes over the Back key (OverrideBackKey).
// Stops at the first shell call that fails and returns false; the dialog runs
// on as it is.
bool InitFullScreenDialog(HWND dialog, HINSTANCE instance, UINT barId, LPCWSTR caption);
// The same in two steps, for a dialog that places its controls in between:
// the full screen and the soft keys (the bar's window, or NULL when a shell
// call failed), then the caption and the Back key.
HWND FullScreenWithSoftKeys(HWND dialog, HINSTANCE instance, UINT barId);
void CaptionAndBackKey(HWND dialog, HWND bar, LPCWSTR caption);
