// Finding objects by the paths that contents files and pages use, and writing
// pages and their images into a folder.
#include "Book.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kLookupSize = MAX_PATH;  // bytes of a lookup path with its terminator
constexpr size_t kTagSize = 256;          // units of an img tag copy with its terminator

// Replaces every "%20" by a space, in place. No other escape is decoded: books
// write spaces in names this way and nothing else.
template <typename Unit>
void DecodeSpaces(Unit* text)
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

// Puts "/" in front of a lookup path unless it has one; false when it would not fit.
bool EnsureLeadingSlash(char* path)
{
    if (path[0] == '/')
        return true;
    size_t length = strlen(path);
    if (length + 2 > kLookupSize)
        return false;
    memmove(path + 1, path, length + 1);
    path[0] = '/';
    return true;
}

// Books refer to their own objects through the help system's URL schemes, with
// the book's file name in between: "ms-its:x.chm::/a.htm", "mk:@MSITStore:x.chm::/a.htm".
bool StartsWithBookScheme(const char* path)
{
    for (const char* scheme : {"/ms-its:", "/mk:@MSITStore:", "/its:"}) {
        if (_strnicmp(path, scheme, strlen(scheme)) == 0)
            return true;
    }
    return false;
}

const WCHAR* BaseName(const WCHAR* path)
{
    const WCHAR* base = path;
    for (const WCHAR* p = path; *p; ++p) {
        if (*p == '\\' || *p == '/')
            base = p + 1;
    }
    return base;
}

// Opens the destination of an object in `folder`, named by the base name of
// its book path. Null when there is no usable name: an empty, "." or ".." base
// name from a book would name the folder itself or its parent.
FILE* CreateDestination(LPCWSTR folder, LPCWSTR bookPath)
{
    const WCHAR* base = BaseName(bookPath);
    if (!*base || wcscmp(base, u".") == 0 || wcscmp(base, u"..") == 0)
        return nullptr;
    WCHAR fileName[MAX_PATH];
    if (FAILED(StringCchPrintfW(fileName, MAX_PATH, u"%s\\%s", folder, base)))
        return nullptr;
    return _wfopen(fileName, u"wb");
}

} // namespace

const ObjectEntry* Book::FindObject(LPCWSTR path)
{
    char lookup[kLookupSize];
    if (!path || WideCharToMultiByte(CP_UTF8, 0, path, -1, lookup, sizeof lookup, nullptr, nullptr) == 0)
        return nullptr;
    DecodeSpaces(lookup);
    if (!EnsureLeadingSlash(lookup))
        return nullptr;
    if (strncmp(lookup, "/..", 3) == 0)
        memmove(lookup, lookup + 3, strlen(lookup + 3) + 1);
    if (StartsWithBookScheme(lookup)) {
        if (const char* separator = strstr(lookup, "::"))
            memmove(lookup, separator + 2, strlen(separator + 2) + 1);
    }
    if (!EnsureLeadingSlash(lookup))
        return nullptr;
    auto find = [this](const char* path) -> const ObjectEntry* {
        char htmlPath[kLookupSize + 5];
        StringCchPrintfA(htmlPath, sizeof htmlPath, "/html%s", path);
        if (const ObjectEntry* entry = FindInList(path, htmlPath))
            return entry;
        return FindThroughChmlib(path, htmlPath);
    };
    if (const ObjectEntry* entry = find(lookup))
        return entry;
    // Contents entries and links name places inside pages ("page.htm#usage");
    // the page is the object before the "#". The whole name was tried first,
    // since names such as "/#SYSTEM" hold a "#" of their own, and a bare
    // "#top" names no page.
    char* name = strrchr(lookup, '/') + 1;
    char* fragment = strchr(name, '#');
    if (!fragment || fragment == name)
        return nullptr;
    *fragment = 0;
    return find(lookup);
}

const ObjectEntry* Book::FindInList(const char* path, const char* htmlPath)
{
    if (objects.empty())
        return nullptr;
    if (!index.Built())
        index.Build(objects);
    // The first object that matches either form, as a walk from the start finds it.
    size_t found = std::min(index.Find(path), index.Find(htmlPath));
    return found == ObjectIndex::kNone ? nullptr : &objects[found];
}

// Some writers (the Free Pascal one among them) mark the second directory chunk
// as the first, and chmlib's enumeration then misses every object of the first
// one, while its own lookup still finds them.
const ObjectEntry* Book::FindThroughChmlib(const char* path, const char* htmlPath)
{
    if (!chm)
        return nullptr;
    for (const char* candidate : {path, htmlPath}) {
        for (const ObjectEntry& hidden : hiddenObjects) {
            if (_stricmp(hidden.path, candidate) == 0)
                return &hidden;
        }
        chmUnitInfo unit;
        if (strlen(candidate) >= MAX_PATH || chm_resolve_object(chm, candidate, &unit) == CHM_RESOLVE_FAILURE)
            continue;
        size_t length = strnlen(unit.path, sizeof unit.path);
        if (length >= MAX_PATH)
            continue;
        hiddenObjects.push_back({pathPool.Copy(unit.path, length), (DWORD)unit.length, (LONG)unit.space,
                                 (DWORD)unit.start});
        return &hiddenObjects.back();
    }
    return nullptr;
}

int Book::ExtractObject(LPCWSTR path, LPCWSTR folder)
{
    const ObjectEntry* entry = FindObject(path);
    if (!entry)
        return 0;
    BYTE* bytes = ReadObject(*entry);
    if (FILE* file = CreateDestination(folder, path)) {
        if (bytes)
            fwrite(bytes, 1, entry->length, file);
        fclose(file);
    }
    free(bytes);
    return 1;
}

bool ResolveImagePath(LPCWSTR pagePath, LPCWSTR value, LPWSTR result, size_t size)
{
    if (value[0] == '/')
        return SUCCEEDED(StringCchCopyW(result, size, value));
    WCHAR base[MAX_PATH];
    if (FAILED(StringCchCopyW(base, MAX_PATH, pagePath)))
        return false;
    if (WCHAR* slash = wcsrchr(base, '/'))
        *slash = 0;
    const WCHAR* rest = value;
    if (wcsncmp(value, u"./", 2) == 0) {
        rest = value + 2;
    } else if (value[0] == '.') {
        while (wcsncmp(rest, u"../", 3) == 0) {
            rest += 3;
            if (WCHAR* slash = wcsrchr(base, '/'))
                *slash = 0;
        }
    }
    return SUCCEEDED(StringCchPrintfW(result, size, u"%s/%s", base, rest));
}

int Book::ExtractPage(LPCWSTR pagePath, LPCWSTR folder)
{
    const ObjectEntry* entry = FindObject(pagePath);
    if (!entry)
        return 0;
    size_t length = 0;
    WCHAR* text = ReadObjectText(*entry, &length);
    if (!text)
        return 1;
    if (FILE* file = CreateDestination(folder, pagePath)) {
        const WCHAR byteOrderMark = 0xFEFF;
        fwrite(&byteOrderMark, sizeof byteOrderMark, 1, file);
        fwrite(text, sizeof(WCHAR), length, file);
        fclose(file);
    }

    // Every image that an img tag names goes beside the page. The tags are
    // found as written in lower case; "src" is the first one in the tag, and its
    // value is the first double-quoted text after it.
    for (const WCHAR* tag = wcsstr(text, u"<img"); tag; tag = wcsstr(tag, u"<img")) {
        const WCHAR* close = wcschr(tag, '>');
        if (!close)
            break;
        size_t tagLength = close - tag;
        const WCHAR* next = close;
        if (tagLength < kTagSize) {
            WCHAR copy[kTagSize] = {};
            WCHAR value[MAX_PATH] = {};
            memcpy(copy, tag, tagLength * sizeof(WCHAR));
            if (const WCHAR* src = wcsstr(copy, u"src")) {
                if (const WCHAR* quote = wcschr(src, '"')) {
                    StringCchCopyW(value, MAX_PATH, quote + 1);
                    if (WCHAR* end = wcschr(value, '"'))
                        *end = 0;
                }
                DecodeSpaces(value);
                WCHAR imagePath[MAX_PATH];
                if (value[0] && ResolveImagePath(pagePath, value, imagePath, MAX_PATH))
                    ExtractObject(imagePath, folder);
            }
        }
        tag = next;
    }
    free(text);
    return 1;
}
