// The device as tests and tools see it: what it shows, and its keys and taps,
// driven the way a user drives them. Not part of the device API; free of Qt.
#pragma once

#include <winuser.h>

#include <functional>
#include <string>
#include <vector>

// Makes sure Qt runs (creates the QApplication when nobody has).
void LwDeviceStart();
// The text of the title strip (the active window's title).
std::u16string LwDeviceTitle();
// The captions of the soft keys shown, left then right; empty without a bar.
std::vector<std::u16string> LwDeviceSoftKeys();
// Presses and releases a device key: VK_F1 / VK_F2 the left / right soft key,
// VK_ESCAPE the Back key, any other key goes to the focus window. The messages
// it causes are queued; run a message loop (or LwDevicePump) to deliver them.
void LwDevicePressKey(UINT key);
// Presses (down), or releases (up), the Back key alone.
void LwDeviceBackKey(bool down);
// Taps the screen at (x, y), screen coordinates (the device's top-left is 0, 0).
// False when nothing is there.
bool LwDeviceTap(int x, int y);
// The items of the popup menu that is open (separators as empty strings); empty
// when none is open.
std::vector<std::u16string> LwDevicePopupItems();
// Chooses the open popup's item with this text (false when there is none);
// its WM_COMMAND is posted.
bool LwDeviceChoosePopupItem(const std::u16string& text);
// Where the open popup was placed, in screen coordinates, before the desktop
// keeps it on its screen; empty when none is open.
RECT LwDevicePopupPlace();
// Closes the open popup without a choice.
void LwDeviceClosePopup();
// The colour shown at (x, y) of the screen; CLR_INVALID outside it.
COLORREF LwDevicePixel(int x, int y);
// Writes what the device shows (at its scale) as a PNG file.
bool LwDeviceSaveScreenshot(const char* path);
// Delivers queued messages and Qt events until `done` returns true or `limitMs`
// passes; returns whether `done` held. For tests: no sleeps, a bound instead.
bool LwDevicePumpUntil(const std::function<bool()>& done, int limitMs);

// Tests' Spy++: `watch` sees every message delivered to a window procedure of
// this program, before the procedure (and before a subclass) gets it, once per
// delivery: `posted` when DispatchMessageW delivered it from the queue (posted
// messages, input, WM_PAINT, WM_TIMER), else it was sent (SendMessageW, or the
// window manager's own: WM_CREATE, WM_SIZE, WM_ACTIVATE, WM_ERASEBKGND in
// BeginPaint, ...). One watcher at a time; null stops watching.
typedef void (*LwMessageWatch)(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool posted);
void LwDeviceWatchMessages(LwMessageWatch watch);
// The trace's name of a message to a window ("WM_KEYDOWN"; the window's class
// names its messages of WM_USER and above: "TVM_EXPAND"), and of a WM_NOTIFY
// code ("TVN_SELCHANGEDW"); null when the platform has no name for it. A
// stale window gets the names common to all classes only.
const char* LwDeviceMessageName(HWND window, UINT message);
const char* LwDeviceNotifyName(UINT code);
