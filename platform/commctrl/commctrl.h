// The device's common controls: what the program uses of the tree view, the
// list view and image lists. They are drawn by the platform with GDI on the
// window's surface and take their input from messages, like every window.
//
// The classes exist from the program's start, as in the device's core library:
// CreateWindowExW or a dialog template naming "SysTreeView32" or
// "SysListView32" finds them without any call. InitCommonControls(Ex) makes
// sure of it again (after a test took a class back, for instance).
#pragma once

#include <windef.h>
#include <winuser.h>

// ---- initialisation ----------------------------------------------------------------
#define ICC_LISTVIEW_CLASSES 0x00000001
#define ICC_TREEVIEW_CLASSES 0x00000002
#define ICC_BAR_CLASSES 0x00000004
#define ICC_TAB_CLASSES 0x00000008
#define ICC_UPDOWN_CLASS 0x00000010
#define ICC_PROGRESS_CLASS 0x00000020
#define ICC_WIN95_CLASSES 0x000000FF
#define ICC_DATE_CLASSES 0x00000100
#define ICC_COOL_CLASSES 0x00000400

typedef struct tagINITCOMMONCONTROLSEX {
    DWORD dwSize;
    DWORD dwICC;
} INITCOMMONCONTROLSEX, *LPINITCOMMONCONTROLSEX;

// Registers every common control of this platform.
void InitCommonControls();
// Registers the controls that dwICC names (the tree and the list are the ones
// this platform has; other flags are accepted and register nothing). FALSE with
// ERROR_INVALID_PARAMETER for a null record or a dwSize other than the record's.
BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init);
