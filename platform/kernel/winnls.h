// National-language support: what a locale says about text. Only the ANSI code
// page of a locale and the shape of a code page are answered; the code-page
// conversions are in winbase.h.
#pragma once

#include <windef.h>

typedef DWORD LCID;
typedef DWORD LCTYPE;

#define LOCALE_NEUTRAL 0x0000
#define LOCALE_USER_DEFAULT 0x0400
#define LOCALE_SYSTEM_DEFAULT 0x0800
#define LOCALE_IDEFAULTANSICODEPAGE 0x00001004

#define ERROR_INVALID_FLAGS 1004L

// LOCALE_IDEFAULTANSICODEPAGE only: the ANSI code page that Windows gives the
// locale's language, as decimal digits ("936"), or "0" for a language that
// has none (Hindi, Armenian, Georgian, ...). The sort part of the LCID is
// ignored. LOCALE_NEUTRAL and the two defaults answer GetACP(). With
// LEAFWISE_CODEPAGE set, that code page is every locale's ANSI code page, as
// it is the device's. Returns the units written with the terminator (the units
// needed when `size` is 0); 0 with ERROR_INVALID_PARAMETER for a language this
// platform does not know, ERROR_INVALID_FLAGS for another LCTYPE,
// ERROR_INSUFFICIENT_BUFFER when the digits do not fit.
int GetLocaleInfoW(LCID locale, LCTYPE type, LPWSTR data, int size);

// Whether MultiByteToWideChar and WideCharToMultiByte convert this code page.
// CP_ACP counts as valid.
BOOL IsValidCodePage(UINT codePage);

#define MAX_DEFAULTCHAR 2
#define MAX_LEADBYTES 12

typedef struct _cpinfo {
    UINT MaxCharSize;
    BYTE DefaultChar[MAX_DEFAULTCHAR];
    BYTE LeadByte[MAX_LEADBYTES];
} CPINFO, *LPCPINFO;

// MaxCharSize: 1 for a single-byte code page, 2 for a double-byte one (932,
// 936, 949, 950, 1361, 20932, 51949), 4 for UTF-8 and GB18030 (54936);
// DefaultChar "?". LeadByte is not reported: always all zero. CP_ACP answers
// for GetACP(). FALSE with ERROR_INVALID_PARAMETER for a code page that
// IsValidCodePage refuses, or no record.
BOOL GetCPInfo(UINT codePage, LPCPINFO info);
