// Bounded UTF-16 string helpers: the runtime's wcs* family for 16-bit WCHAR and
// the StringCch* copies and formatting.
#include <strsafe.h>
#include <wcs16.h>
#include <winerror.h>

#include <cstdio>
#include <cstring>

// Four units a step: whole contents files' titles and paths pass here.
size_t wcslen(LPCWSTR s)
{
    const WCHAR* at = s;
    for (;; at += 4) {
        if (!at[0])
            return at - s;
        if (!at[1])
            return at + 1 - s;
        if (!at[2])
            return at + 2 - s;
        if (!at[3])
            return at + 3 - s;
    }
}

int wcscmp(LPCWSTR a, LPCWSTR b)
{
    while (*a && *a == *b) {
        ++a;
        ++b;
    }
    return (int)(unsigned)*a - (int)(unsigned)*b;
}

int wcsncmp(LPCWSTR a, LPCWSTR b, size_t count)
{
    for (; count; --count, ++a, ++b) {
        if (*a != *b || !*a)
            return (int)(unsigned)*a - (int)(unsigned)*b;
    }
    return 0;
}

WCHAR towlower(WCHAR c) { return (c >= 'A' && c <= 'Z') ? WCHAR(c + 32) : c; }
WCHAR towupper(WCHAR c) { return (c >= 'a' && c <= 'z') ? WCHAR(c - 32) : c; }

int _wcsnicmp(LPCWSTR a, LPCWSTR b, size_t count)
{
    for (; count; --count, ++a, ++b) {
        WCHAR x = towlower(*a), y = towlower(*b);
        if (x != y || !x)
            return (int)x - (int)y;
    }
    return 0;
}

int _wcsicmp(LPCWSTR a, LPCWSTR b) { return _wcsnicmp(a, b, (size_t)-1); }

const WCHAR* wcschr(LPCWSTR s, WCHAR c)
{
    for (;; ++s) {
        if (*s == c)
            return s;
        if (!*s)
            return nullptr;
    }
}
WCHAR* wcschr(LPWSTR s, WCHAR c) { return const_cast<WCHAR*>(wcschr((LPCWSTR)s, c)); }

const WCHAR* wcsrchr(LPCWSTR s, WCHAR c)
{
    const WCHAR* last = nullptr;
    for (;; ++s) {
        if (*s == c)
            last = s;
        if (!*s)
            return last;
    }
}
WCHAR* wcsrchr(LPWSTR s, WCHAR c) { return const_cast<WCHAR*>(wcsrchr((LPCWSTR)s, c)); }

const WCHAR* wcsstr(LPCWSTR s, LPCWSTR find)
{
    if (!*find)
        return s;
    size_t n = wcslen(find);
    for (; (s = wcschr(s, find[0])) != nullptr; ++s) {
        if (wcsncmp(s, find, n) == 0)
            return s;
    }
    return nullptr;
}
WCHAR* wcsstr(LPWSTR s, LPCWSTR find) { return const_cast<WCHAR*>(wcsstr((LPCWSTR)s, find)); }

static char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }

int _strnicmp(LPCSTR a, LPCSTR b, size_t count)
{
    for (; count; --count, ++a, ++b) {
        unsigned char x = (unsigned char)AsciiLower(*a), y = (unsigned char)AsciiLower(*b);
        if (x != y || !x)
            return (int)x - (int)y;
    }
    return 0;
}

int _stricmp(LPCSTR a, LPCSTR b) { return _strnicmp(a, b, (size_t)-1); }

// ---- StringCch* ------------------------------------------------------------------

HRESULT StringCchCopyNW(LPWSTR dest, size_t size, LPCWSTR src, size_t count)
{
    if (!dest || size == 0)
        return STRSAFE_E_INVALID_PARAMETER;
    if (!src)
        src = u"";
    size_t i = 0;
    for (; i + 1 < size && i < count && src[i]; ++i)
        dest[i] = src[i];
    dest[i] = 0;
    bool cut = i < count && src[i] != 0;
    return cut ? STRSAFE_E_INSUFFICIENT_BUFFER : S_OK;
}

HRESULT StringCchCopyW(LPWSTR dest, size_t size, LPCWSTR src)
{
    return StringCchCopyNW(dest, size, src, (size_t)-1);
}

HRESULT StringCchLengthW(LPCWSTR s, size_t size, size_t* length)
{
    if (!s)
        return STRSAFE_E_INVALID_PARAMETER;
    size_t n = 0;
    while (n < size && s[n])
        ++n;
    if (n == size)
        return STRSAFE_E_INVALID_PARAMETER;
    if (length)
        *length = n;
    return S_OK;
}

HRESULT StringCchCatW(LPWSTR dest, size_t size, LPCWSTR src)
{
    size_t used = 0;
    if (FAILED(StringCchLengthW(dest, size, &used)))
        return STRSAFE_E_INVALID_PARAMETER;
    return StringCchCopyW(dest + used, size - used, src);
}

namespace {

// Appends to a bounded buffer; remembers whether anything was cut.
struct WideSink {
    LPWSTR dest;
    size_t size;
    size_t used = 0;
    bool cut = false;

    void Put(WCHAR c)
    {
        if (used + 1 < size)
            dest[used++] = c;
        else
            cut = true;
    }
    void PutAscii(const char* s)
    {
        while (*s)
            Put((WCHAR)(unsigned char)*s++);
    }
};

} // namespace

HRESULT StringCchVPrintfW(LPWSTR dest, size_t size, LPCWSTR format, va_list args)
{
    if (!dest || size == 0 || !format)
        return STRSAFE_E_INVALID_PARAMETER;
    WideSink out{dest, size};
    for (const WCHAR* f = format; *f; ++f) {
        if (*f != '%') {
            out.Put(*f);
            continue;
        }
        const WCHAR* start = f++;
        bool zeroPad = false, narrow = false;
        int width = 0;
        if (*f == '0') {
            zeroPad = true;
            ++f;
        }
        while (*f >= '0' && *f <= '9')
            width = width * 10 + (*f++ - '0');
        if (*f == 'h') {
            narrow = true;
            ++f;
        } else if (*f == 'l') {
            ++f;
        }
        char number[32];
        switch (*f) {
        case '%':
            out.Put('%');
            continue;
        case 's':
            if (narrow) {
                const char* s = va_arg(args, const char*);
                out.PutAscii(s ? s : "(null)");
            } else {
                const WCHAR* s = va_arg(args, const WCHAR*);
                for (s = s ? s : u"(null)"; *s; ++s)
                    out.Put(*s);
            }
            continue;
        case 'c':
            out.Put((WCHAR)va_arg(args, int));
            continue;
        case 'd':
        case 'i':
            snprintf(number, sizeof number, zeroPad ? "%0*d" : "%*d", width, va_arg(args, int));
            out.PutAscii(number);
            continue;
        case 'u':
            snprintf(number, sizeof number, zeroPad ? "%0*u" : "%*u", width, va_arg(args, unsigned));
            out.PutAscii(number);
            continue;
        case 'x':
        case 'X':
            snprintf(number, sizeof number, *f == 'x' ? (zeroPad ? "%0*x" : "%*x") : (zeroPad ? "%0*X" : "%*X"),
                     width, va_arg(args, unsigned));
            out.PutAscii(number);
            continue;
        default:
            // Unknown conversion: copy it as written.
            for (const WCHAR* p = start; p <= f && *p; ++p)
                out.Put(*p);
            if (!*f)
                --f;
            continue;
        }
    }
    dest[out.used] = 0;
    return out.cut ? STRSAFE_E_INSUFFICIENT_BUFFER : S_OK;
}

HRESULT StringCchPrintfW(LPWSTR dest, size_t size, LPCWSTR format, ...)
{
    va_list args;
    va_start(args, format);
    HRESULT hr = StringCchVPrintfW(dest, size, format, args);
    va_end(args);
    return hr;
}

HRESULT StringCchCopyA(LPSTR dest, size_t size, LPCSTR src)
{
    if (!dest || size == 0)
        return STRSAFE_E_INVALID_PARAMETER;
    if (!src)
        src = "";
    size_t i = 0;
    for (; i + 1 < size && src[i]; ++i)
        dest[i] = src[i];
    dest[i] = 0;
    return src[i] ? STRSAFE_E_INSUFFICIENT_BUFFER : S_OK;
}

HRESULT StringCchCatA(LPSTR dest, size_t size, LPCSTR src)
{
    if (!dest)
        return STRSAFE_E_INVALID_PARAMETER;
    size_t used = strnlen(dest, size);
    if (used == size)
        return STRSAFE_E_INVALID_PARAMETER;
    return StringCchCopyA(dest + used, size - used, src);
}

HRESULT StringCchPrintfA(LPSTR dest, size_t size, LPCSTR format, ...)
{
    if (!dest || size == 0 || !format)
        return STRSAFE_E_INVALID_PARAMETER;
    va_list args;
    va_start(args, format);
    int n = vsnprintf(dest, size, format, args);
    va_end(args);
    if (n < 0) {
        dest[0] = 0;
        return STRSAFE_E_INVALID_PARAMETER;
    }
    return (size_t)n >= size ? STRSAFE_E_INSUFFICIENT_BUFFER : S_OK;
}
