// Finding objects by the paths that contents files and pages use, and writing
// pages and their images into a folder.
#include "Book.h"
#include "BookPaths.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

namespace {

constexpr size_t kLookupSize = MAX_PATH;  // bytes of a lookup path with its terminator

bool IsTagSpace(WCHAR c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

WCHAR LowerAscii(WCHAR c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<WCHAR>(c + ('a' - 'A')) : c;
}

// The next img tag at or after `from`, in any letter case; null when there is none.
const WCHAR* NextImgTag(const WCHAR* from)
{
    for (const WCHAR* at = wcschr(from, '<'); at; at = wcschr(at + 1, '<')) {
        if (LowerAscii(at[1]) == 'i' && LowerAscii(at[2]) == 'm' && LowerAscii(at[3]) == 'g' &&
            (IsTagSpace(at[4]) || at[4] == '/' || at[4] == '>'))
            return at;
    }
    return nullptr;
}

// Reads the attributes of the img tag at `tag` as a browser does (names in
// any case, values in double, single or no quotes) up to the '>' that ends
// it, outside quoted values; returns that '>', or null when the tag never
// ends. `value` gets the first src value, or stays empty when there is none
// or it does not fit (a cut name could name another image).
const WCHAR* ReadImgTag(const WCHAR* tag, WCHAR* value, size_t size)
{
    value[0] = 0;
    bool seen = false;
    const WCHAR* at = tag + 4;
    while (*at && *at != '>') {
        if (IsTagSpace(*at) || *at == '/' || *at == '=') {
            ++at;
            continue;
        }
        const WCHAR* name = at;
        while (*at && !IsTagSpace(*at) && *at != '=' && *at != '>' && *at != '/')
            ++at;
        bool isSrc = at - name == 3 && LowerAscii(name[0]) == 's' && LowerAscii(name[1]) == 'r' &&
                     LowerAscii(name[2]) == 'c';
        while (IsTagSpace(*at))
            ++at;
        if (*at != '=')
            continue;
        for (++at; IsTagSpace(*at); ++at) {
        }
        WCHAR quote = *at == '"' || *at == '\'' ? *at : 0;
        const WCHAR* start = quote ? ++at : at;
        while (*at && (quote ? *at != quote : !IsTagSpace(*at) && *at != '>'))
            ++at;
        size_t length = static_cast<size_t>(at - start);
        if (isSrc && !seen && length < size) {
            memcpy(value, start, length * sizeof(WCHAR));
            value[length] = 0;
        }
        seen = seen || isSrc;
        if (quote && *at)
            ++at;
    }
    return *at == '>' ? at : nullptr;
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

// A base name from a book that names a file of its own: an empty, "." or
// ".." one would name the folder itself or its parent.
bool UsableBaseName(const WCHAR* base)
{
    return *base && wcscmp(base, u".") != 0 && wcscmp(base, u"..") != 0;
}

// WriteFile takes at most a DWORD's worth; pages run to hundreds of megabytes.
bool WriteAll(HANDLE file, const void* bytes, size_t size)
{
    constexpr size_t kPiece = 1u << 30;
    for (size_t done = 0; done < size;) {
        DWORD piece = (DWORD)std::min(kPiece, size - done), written = 0;
        if (!WriteFile(file, (const BYTE*)bytes + done, piece, &written, nullptr))
            return false;
        done += written;
    }
    return true;
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
        // A search looks up every contents entry: no formatting call here.
        char htmlPath[kLookupSize + 5];
        size_t length = strnlen(path, kLookupSize - 1);
        memcpy(htmlPath, "/html", 5);
        memcpy(htmlPath + 5, path, length);
        htmlPath[5 + length] = 0;
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
// one, while its own lookup still finds them. The container's check lists
// those objects, so chmlib is asked only for them: its lookup reads the
// directory from the file every time, and contents entries with a place in
// the page ("page.htm#part") miss the list first by the thousand.
const ObjectEntry* Book::FindThroughChmlib(const char* path, const char* htmlPath)
{
    if (!chm)
        return nullptr;
    for (const char* candidate : {path, htmlPath}) {
        for (const ObjectEntry& hidden : hiddenObjects) {
            if (_stricmp(hidden.path, candidate) == 0)
                return &hidden;
        }
        const std::vector<std::string>& unlistedPaths = container.Limits().unlistedPaths;
        bool unlisted = std::any_of(unlistedPaths.begin(), unlistedPaths.end(),
                                    [candidate](const std::string& path) { return _stricmp(path.c_str(), candidate) == 0; });
        chmUnitInfo unit;
        if (!unlisted || strlen(candidate) >= MAX_PATH || !container.Resolve(candidate, &unit))
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

// Writes folder\baseName, a head and a body, in one go. A file that could not
// be written whole is removed rather than left cut short; the first failure
// is kept in the report.
bool Book::WriteDestination(LPCWSTR folder, LPCWSTR baseName, const void* head, size_t headSize, const void* body,
                            size_t bodySize)
{
    WCHAR fileName[MAX_PATH];
    DWORD error = ERROR_SUCCESS;
    if (FAILED(StringCchPrintfW(fileName, MAX_PATH, u"%s\\%s", folder, baseName))) {
        error = ERROR_FILENAME_EXCED_RANGE;
    } else {
        // CREATE_ALWAYS replaces a link in the way instead of writing through it.
        HANDLE file = CreateFileW(fileName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            error = GetLastError();
        } else {
            if (!WriteAll(file, head, headSize) || !WriteAll(file, body, bodySize))
                error = GetLastError();
            CloseHandle(file);
            if (error != ERROR_SUCCESS)
                DeleteFileW(fileName);
        }
    }
    if (error == ERROR_SUCCESS) {
        ++extractReport.filesWritten;
        extractReport.bytesWritten += headSize + bodySize;
        return true;
    }
    if (extractReport.error == ERROR_SUCCESS) {
        extractReport.error = error ? error : ERROR_WRITE_FAULT;
        StringCchCopyW(extractReport.failedFile, MAX_PATH, baseName);
    }
    return false;
}

// The object's bytes as they are stored; an object that cannot be read gives
// an empty file.
bool Book::WriteObject(const ObjectEntry& entry, LPCWSTR baseName, LPCWSTR folder)
{
    if (!UsableBaseName(baseName))
        return false;
    BYTE* bytes = ReadObject(entry);
    bool written = WriteDestination(folder, baseName, nullptr, 0, bytes, bytes ? entry.length : 0);
    free(bytes);
    return written;
}

int Book::ExtractObject(LPCWSTR path, LPCWSTR folder)
{
    const ObjectEntry* entry = FindObject(path);
    if (!entry)
        return 0;
    WriteObject(*entry, PathBaseName(path), folder);
    return 1;
}

int Book::ExtractPage(LPCWSTR pagePath, LPCWSTR folder)
{
    extractReport = ExtractReport{};
    const ObjectEntry* entry = FindObject(pagePath);
    if (!entry)
        return 0;
    size_t length = 0;
    WCHAR* text = ReadObjectText(*entry, &length);
    if (!text)
        return 1;
    // What this page may write: the bound, or the disk's room when that is less.
    ULONGLONG budget = pageByteLimit;
    ULARGE_INTEGER room;
    if (GetDiskFreeSpaceExW(folder, &room, nullptr, nullptr))
        budget = std::min(budget, room.QuadPart);
    const WCHAR byteOrderMark = 0xFEFF;
    const WCHAR* pageBase = PathBaseName(pagePath);
    if (UsableBaseName(pageBase))
        WriteDestination(folder, pageBase, &byteOrderMark, sizeof byteOrderMark, text, length * sizeof(WCHAR));
    budget -= std::min(budget, extractReport.bytesWritten);

    // Every image that an img tag names goes beside the page. A page may name
    // one image many times: each object is written once under each name.
    std::set<std::pair<const ObjectEntry*, std::u16string>> written;
    for (const WCHAR* tag = NextImgTag(text); tag; tag = NextImgTag(tag)) {
        WCHAR value[MAX_PATH];
        tag = ReadImgTag(tag, value, MAX_PATH);
        if (!tag)
            break;
        DecodeSpaces(value);
        WCHAR imagePath[MAX_PATH];
        const ObjectEntry* image = nullptr;
        if (value[0] && ResolveImagePath(pagePath, value, imagePath, MAX_PATH))
            image = FindObject(imagePath);
        WCHAR name[MAX_PATH];
        if (image && ImageScratchName(imagePath, name, MAX_PATH) && written.emplace(image, name).second) {
            if (image->length > budget) {
                ++extractReport.imagesSkipped;
            } else {
                ULONGLONG before = extractReport.bytesWritten;
                WriteObject(*image, name, folder);
                budget -= std::min(budget, extractReport.bytesWritten - before);
            }
        }
    }
    free(text);
    return 1;
}
