// The Pocket PC shell of the device: full-screen dialogs, the soft-key bar and
// the Back key.
//
// The soft-key bar is a window of class "menu_worker" owned by the window it
// serves; the device shows it in its bottom strip while that window is active.
// Its left key is pressed by a tap on its left half or by F1, its right key by
// the right half or F2; the Back key is Escape.
#pragma once

#include <windef.h>
#include <winuser.h>

// ---- soft-key bar -----------------------------------------------------------------------
#define SHCMBF_EMPTYBAR 0x0001
#define SHCMBF_HIDDEN 0x0002
#define SHCMBF_HIDESIPBUTTON 0x0004
#define SHCMBF_COLORBK 0x0008
#define SHCMBF_HMENU 0x0010

typedef struct tagSHMENUBARINFO {
    DWORD cbSize;       // 36 on the device; sizeof(SHMENUBARINFO) here; both accepted
    HWND hwndParent;
    DWORD dwFlags;
    UINT nToolBarId;
    HINSTANCE hInstRes;
    int nBmpId;
    int cBmpImages;
    HWND hwndMB;        // out: the bar
    COLORREF clrBk;
} SHMENUBARINFO, *PSHMENUBARINFO;

// The record's buttons (from <commctrl.h> on the device).
#ifndef TBSTATE_ENABLED
#define TBSTATE_ENABLED 0x04
#endif
#ifndef TBSTYLE_DROPDOWN
#define TBSTYLE_DROPDOWN 0x0008
#endif
#ifndef TBSTYLE_AUTOSIZE
#define TBSTYLE_AUTOSIZE 0x0010
#endif
#ifndef I_IMAGENONE
#define I_IMAGENONE (-2)
#endif
#ifndef NOMENU
#define NOMENU 0xFFFF
#endif

// Builds the bar from the RCDATA record nToolBarId of hInstRes (menu id, button
// count, seven words per button: image, command, state, style, caption string id,
// 0, popup index), the menu the record names and the caption strings. The first
// button is the left key, the second the right key; further buttons are not
// shown. A key with TBSTYLE_DROPDOWN and a popup index opens that popup of the
// menu above the key, and the item chosen posts its WM_COMMAND (id in the low
// word, lParam 0) to hwndParent; any other key posts its command the same way.
// A key without TBSTATE_ENABLED does nothing. A missing caption string shows an
// empty key. SHCMBF_EMPTYBAR makes a bar without keys; SHCMBF_HMENU takes the
// keys from the top-level items of menu nToolBarId instead of a record;
// SHCMBF_HIDDEN creates the bar hidden. Bitmaps and colours are ignored.
// TRUE with hwndMB set. FALSE (hwndMB untouched) with ERROR_INVALID_PARAMETER
// (null record, unknown cbSize), ERROR_INVALID_WINDOW_HANDLE (bad parent), the
// resource lookup's error (ERROR_RESOURCE_NAME_NOT_FOUND, ...) for a missing
// record, or ERROR_INVALID_DATA for a damaged one or a popup index that the menu
// does not have.
BOOL SHCreateMenuBar(SHMENUBARINFO* info);

// Messages to the bar.
#define SHCMBM_SETSUBMENU (WM_USER + 400)
#define SHCMBM_GETSUBMENU (WM_USER + 401)
#define SHCMBM_GETMENU (WM_USER + 402)
// wParam: the key (VK_TBACK; VK_TSOFT1 / VK_TSOFT2 for the soft keys); lParam:
// MAKELPARAM(mask, values) of SHMBOF_ flags. Answers the key's previous flags.
// SHMBOF_NODEFAULT drops the key's own action (Back: Escape to the focus window;
// soft keys: their command); SHMBOF_NOTIFY posts WM_HOTKEY to hwndParent on each
// press (low word of lParam 0) and release (MOD_KEYUP), with the key in the high
// word of lParam and, in wParam, the key's hot-key id: 0 left, 1 right, 2 Back.
#define SHCMBM_OVERRIDEKEY (WM_USER + 403)
#define SHMBOF_NODEFAULT 0x00000001
#define SHMBOF_NOTIFY 0x00000002

#define VK_TBACK VK_ESCAPE
#define VK_TSOFT1 VK_F1
#define VK_TSOFT2 VK_F2

// Sends the Back key to the window with the keyboard focus, given a WM_HOTKEY
// with VK_TBACK in the high word of lParam: WM_KEYDOWN VK_BACK then WM_CHAR '\b'
// on a press, WM_KEYUP VK_BACK on a release. Anything else is ignored, as is a
// call when no window has the focus.
void SHSendBackToFocusWindow(UINT message, WPARAM wParam, LPARAM lParam);

// ---- full-screen dialogs ------------------------------------------------------------------
#define SHIDIM_FLAGS 0x0001
#define SHIDIF_DONEBUTTON 0x0001
#define SHIDIF_SIZEDLG 0x0002
#define SHIDIF_SIZEDLGFULLSCREEN 0x0004
#define SHIDIF_SIPDOWN 0x0008
#define SHIDIF_FULLSCREENNOMENUBAR 0x0010
#define SHIDIF_EMPTYMENU 0x0020

typedef struct tagSHINITDLGINFO {
    DWORD dwMask;
    HWND hDlg;
    DWORD dwFlags;
} SHINITDLGINFO, *PSHINITDLGINFO;

// With SHIDIM_FLAGS: SHIDIF_SIZEDLG and SHIDIF_SIZEDLGFULLSCREEN make the window
// cover the work area (240 x 268 below the title strip), whatever its size was;
// SHIDIF_FULLSCREENNOMENUBAR covers the soft-key strip as well. Other flags
// (the Done button, the input panel) are accepted and ignored.
// FALSE with ERROR_INVALID_PARAMETER (null record) or ERROR_INVALID_WINDOW_HANDLE.
BOOL SHInitDialog(PSHINITDLGINFO info);
