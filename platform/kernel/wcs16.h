// The runtime's wide-string functions for 16-bit WCHAR. Only functions that
// cannot overrun their destination are offered; copies go through <strsafe.h>.
// Case-insensitive comparisons fold ASCII letters only.
#pragma once

#include <windef.h>

size_t wcslen(LPCWSTR s);
int wcscmp(LPCWSTR a, LPCWSTR b);
int wcsncmp(LPCWSTR a, LPCWSTR b, size_t count);
int _wcsicmp(LPCWSTR a, LPCWSTR b);
int _wcsnicmp(LPCWSTR a, LPCWSTR b, size_t count);
const WCHAR* wcschr(LPCWSTR s, WCHAR c);
WCHAR* wcschr(LPWSTR s, WCHAR c);
const WCHAR* wcsrchr(LPCWSTR s, WCHAR c);
WCHAR* wcsrchr(LPWSTR s, WCHAR c);
const WCHAR* wcsstr(LPCWSTR s, LPCWSTR find);
WCHAR* wcsstr(LPWSTR s, LPCWSTR find);
WCHAR towlower(WCHAR c);
WCHAR towupper(WCHAR c);

int _stricmp(LPCSTR a, LPCSTR b);
int _strnicmp(LPCSTR a, LPCSTR b, size_t count);
