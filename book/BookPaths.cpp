#include "BookPaths.h"

namespace {

template <typename Unit>
void DecodeSpacesIn(Unit* text)
{
    for (Unit* at = text; *at; ++at) {
        if (at[0] == '%' && at[1] == '2' && at[2] == '0') {
            *at = ' ';
            Unit* rest = at + 3;
            Unit* to = at + 1;
            while ((*to++ = *rest++) != 0) {
            }
        }
    }
}

} // namespace

void DecodeSpaces(LPSTR text)
{
    DecodeSpacesIn(text);
}

void DecodeSpaces(LPWSTR text)
{
    DecodeSpacesIn(text);
}

LPCWSTR PathBaseName(LPCWSTR path)
{
    LPCWSTR base = path;
    for (LPCWSTR p = path; *p; ++p) {
        if (*p == '/' || *p == '\\')
            base = p + 1;
    }
    return base;
}

bool ImageScratchName(LPCWSTR src, LPWSTR name, size_t size)
{
    if (FAILED(StringCchCopyW(name, size, PathBaseName(src))))
        return false;
    DecodeSpaces(name);
    return true;
}

bool ResolveBookPath(LPCWSTR folder, LPCWSTR target, LPWSTR result, size_t size)
{
    if (target[0] == '/')
        return SUCCEEDED(StringCchCopyW(result, size, target));
    WCHAR base[MAX_PATH];
    if (FAILED(StringCchCopyW(base, MAX_PATH, folder)))
        return false;
    LPCWSTR rest = target;
    if (wcsncmp(target, u"./", 2) == 0) {
        rest = target + 2;
    } else {
        while (wcsncmp(rest, u"../", 3) == 0) {
            rest += 3;
            if (WCHAR* slash = wcsrchr(base, '/'))
                *slash = 0;
        }
    }
    return SUCCEEDED(StringCchPrintfW(result, size, u"%s/%s", base, rest));
}

bool ResolveImagePath(LPCWSTR pagePath, LPCWSTR value, LPWSTR result, size_t size)
{
    WCHAR folder[MAX_PATH];
    if (FAILED(StringCchCopyW(folder, MAX_PATH, pagePath)))
        return false;
    if (WCHAR* slash = wcsrchr(folder, '/'))
        *slash = 0;
    return ResolveBookPath(folder, value, result, size);
}
