// Bounded string copies and formatting. Every call writes at most `size`
// units including the terminator and always terminates a non-empty buffer;
// text that does not fit is cut and STRSAFE_E_INSUFFICIENT_BUFFER returned.
#pragma once

#include <windef.h>
#include <cstdarg>

#define STRSAFE_E_INSUFFICIENT_BUFFER ((HRESULT)0x8007007AL)
#define STRSAFE_E_INVALID_PARAMETER ((HRESULT)0x80070057L)

HRESULT StringCchCopyW(LPWSTR dest, size_t size, LPCWSTR src);
// Copies at most `count` units of src.
HRESULT StringCchCopyNW(LPWSTR dest, size_t size, LPCWSTR src, size_t count);
HRESULT StringCchCatW(LPWSTR dest, size_t size, LPCWSTR src);
// Length without terminator; fails when no terminator lies within `size` units.
HRESULT StringCchLengthW(LPCWSTR s, size_t size, size_t* length);
// Conversions: %s (wide string), %hs (8-bit string), %c (wide character),
// %d %i %u %x %X with optional "l", "0" flag and width, %%. Others are copied.
HRESULT StringCchPrintfW(LPWSTR dest, size_t size, LPCWSTR format, ...);
HRESULT StringCchVPrintfW(LPWSTR dest, size_t size, LPCWSTR format, va_list args);

HRESULT StringCchCopyA(LPSTR dest, size_t size, LPCSTR src);
HRESULT StringCchCatA(LPSTR dest, size_t size, LPCSTR src);
// The C library's conversions.
HRESULT StringCchPrintfA(LPSTR dest, size_t size, LPCSTR format, ...)
    __attribute__((format(printf, 3, 4)));
