// Windows, messages, dialogs, resources and message boxes of the device, over Qt 6.
#pragma once

#include <windef.h>
#include <winbase.h>

// ---- handles ----------------------------------------------------------------
// Opaque handles: the platform hands out small tagged numbers, never pointers, so
// a stale or foreign handle is recognised and refused instead of dereferenced.
struct HWND__;
typedef HWND__* HWND;
struct HINSTANCE__;
typedef HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
struct HMENU__;
typedef HMENU__* HMENU;

typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;

// ---- message boxes ---------------------------------------------------------
#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_ABORTRETRYIGNORE 0x00000002L
#define MB_YESNOCANCEL 0x00000003L
#define MB_YESNO 0x00000004L
#define MB_RETRYCANCEL 0x00000005L
#define MB_ICONHAND 0x00000010L
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONASTERISK 0x00000040L
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_DEFBUTTON1 0x00000000L
#define MB_DEFBUTTON2 0x00000100L
#define MB_DEFBUTTON3 0x00000200L
#define MB_APPLMODAL 0x00000000L
#define MB_SYSTEMMODAL 0x00001000L
#define MB_TASKMODAL 0x00002000L
#define MB_SETFOREGROUND 0x00010000L
#define MB_TOPMOST 0x00040000L
#define MB_TYPEMASK 0x0000000FL
#define MB_ICONMASK 0x000000F0L

#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7

// Modal: runs its own message loop until the user answers, then returns the
// button's id (IDOK, IDCANCEL, IDYES, ...); 0 with ERROR_INVALID_PARAMETER for an
// unknown button type. The owner (may be NULL) is disabled meanwhile.
// Test hook: when $LEAFWISE_MESSAGEBOX_LOG names a file, no box is shown; one line
// "caption<TAB>text<TAB>flags-in-hex" (UTF-8) is appended to it and the default
// button's id is returned at once.
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
