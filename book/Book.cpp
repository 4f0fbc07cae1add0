// Opening a book, listing its objects, reading objects and the scratch folder.
#include "Book.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// No real page, picture or contents file comes near this; a larger length read
// from a book is damage, and is refused before anything is allocated for it.
constexpr ULONGLONG kMaxObjectLength = 256u * 1024 * 1024;

// Objects are converted to text a piece at a time, so that the raw bytes and
// the text of a large contents file are never held in memory together.
constexpr size_t kTextChunk = 64 * 1024;

// A cut between two pieces must not split a character. Bytes below 0x30 stand
// for themselves in every code page the device uses (no lead or trail byte of
// a double-byte or GB18030 character is that small).
size_t CharacterBoundary(const BYTE* bytes, size_t count)
{
    for (size_t i = count; i > 0; --i) {
        if (bytes[i - 1] < 0x30)
            return i;
    }
    return 0;
}

// The Free Pascal writer (chmcmd among its users) marks the second directory
// chunk as the first, so chmlib's enumeration can miss the contents file. Such
// books name it in their #SYSTEM object (record code 0), and chmlib's lookup
// still finds it. Only a name that ends in ".hhc" is taken.
const ObjectEntry* ContentsFileNamedBySystem(Book& book)
{
    const ObjectEntry* system = book.FindObject(u"/#SYSTEM");
    if (!system)
        return nullptr;
    BYTE* records = book.ReadObject(*system);
    if (!records)
        return nullptr;
    WCHAR name[MAX_PATH] = {};
    // A version, then records of a 16-bit code, a 16-bit length and the data.
    for (size_t at = 4; at + 4 <= system->length;) {
        size_t code = records[at] | records[at + 1] << 8;
        size_t length = records[at + 2] | records[at + 3] << 8;
        at += 4;
        if (length > system->length - at)
            break;
        if (code == 0) {
            size_t n = strnlen((const char*)records + at, length);
            if (n > 4 && n < MAX_PATH && _strnicmp((const char*)records + at + n - 4, ".hhc", 4) == 0)
                MultiByteToWideChar(CP_UTF8, 0, (const char*)records + at, (int)n, name, MAX_PATH - 1);
            break;
        }
        at += length;
    }
    free(records);
    return name[0] ? book.FindObject(name) : nullptr;
}

} // namespace

Book::Book() : chm(nullptr), extractReport{}, pageByteLimit(kMaxPageBytes), limits{}
{
    StringCchCopyW(tempFolder, MAX_PATH, u"\\Temp\\");
    bookPath[0] = 0;
}

Book::~Book()
{
    EmptyLists();
    if (chm) {
        chm_close(chm);
        chm = nullptr;
    }
}

void Book::EmptyLists()
{
    objects.clear();
    contents.clear();
    hiddenObjects.clear();
    index.Clear();
    pathPool.Clear();
    textPool.Clear();
}

int Book::LoadContents(LPCWSTR path)
{
    if (!Open(path))
        return 0;
    const ObjectEntry* contentsFile = FindContentsFile();
    if (!contentsFile)
        contentsFile = ContentsFileNamedBySystem(*this);
    if (!contentsFile)
        return 0;
    size_t length = 0;
    WCHAR* text = ReadObjectText(*contentsFile, &length);
    if (!text)
        return 1;
    ParseContents(text, length);
    free(text);
    return 1;
}

int Book::Open(LPCWSTR path)
{
    // A path that does not fit is refused rather than cut: a cut path names
    // another file.
    HRESULT copied = StringCchCopyW(bookPath, MAX_PATH, path ? path : u"");
    if (chm) {
        chm_close(chm);
        chm = nullptr;
    }
    EmptyLists();
    if (FAILED(copied) || !CheckContainer(bookPath, &limits))
        return 0;
    char hostPath[4096];
    if (!DeviceToHostPath(bookPath, hostPath, sizeof hostPath))
        return 0;
    chm = chm_open(hostPath);
    if (!chm)
        return 0;
    return ListObjects();
}

int Book::ListObjects()
{
    if (!chm)
        return 0;
    objects.clear();
    index.Clear();
    chm_enumerate(chm, CHM_ENUMERATE_ALL, EnumerateObject, this);
    return 1;
}

int Book::EnumerateObject(chmFile*, chmUnitInfo* unit, void* context)
{
    static_cast<Book*>(context)->AppendObject(*unit);
    return CHM_ENUMERATOR_CONTINUE;
}

void Book::AppendObject(const chmUnitInfo& unit)
{
    // A path that does not fit the record is left out: cut short, it could be
    // mistaken for another object's name.
    size_t length = strnlen(unit.path, sizeof unit.path);
    if (length >= MAX_PATH)
        return;
    objects.push_back({pathPool.Copy(unit.path, length), (DWORD)unit.length, (LONG)unit.space,
                       (DWORD)unit.start});
}

const ObjectEntry* Book::FindContentsFile() const
{
    for (const ObjectEntry& entry : objects) {
        size_t length = strlen(entry.path);
        if (length > 4 && _stricmp(entry.path + length - 4, ".hhc") == 0)
            return &entry;
    }
    return nullptr;
}

bool Book::ResolveUnit(const ObjectEntry& entry, chmUnitInfo* unit)
{
    if (!chm || chm_resolve_object(chm, entry.path, unit) == CHM_RESOLVE_FAILURE)
        return false;
    return entry.length <= kMaxObjectLength && entry.length <= unit->length &&
           ObjectFits(limits, unit->space, unit->start, unit->length);
}

BYTE* Book::ReadObject(const ObjectEntry& entry)
{
    chmUnitInfo unit;
    if (!ResolveUnit(entry, &unit))
        return nullptr;
    BYTE* bytes = static_cast<BYTE*>(calloc((size_t)entry.length + 10, 1));
    if (!bytes)
        return nullptr;
    if (entry.length > 0)
        chm_retrieve_object(chm, &unit, bytes, 0, entry.length);
    return bytes;
}

WCHAR* Book::ReadObjectText(const ObjectEntry& entry, size_t* length)
{
    chmUnitInfo unit;
    if (!ResolveUnit(entry, &unit))
        return nullptr;
    // Every code page gives at most one UTF-16 unit per byte.
    size_t capacity = (size_t)entry.length + 100;
    WCHAR* text = static_cast<WCHAR*>(calloc(capacity, sizeof(WCHAR)));
    BYTE* chunk = static_cast<BYTE*>(malloc(2 * kTextChunk));
    if (!text || !chunk) {
        free(text);
        free(chunk);
        return nullptr;
    }
    size_t written = 0, carried = 0;
    ULONGLONG offset = 0;
    for (bool last = false; !last;) {
        size_t wanted = (size_t)std::min<ULONGLONG>(kTextChunk, entry.length - offset);
        LONGINT64 got = wanted ? chm_retrieve_object(chm, &unit, chunk + carried, offset, wanted) : 0;
        if (got < 0)
            got = 0;
        offset += got;
        size_t count = carried + (size_t)got;
        // The text ends at the first zero byte, at the object's end, or where a
        // read came up short (what was not read counts as zeros).
        last = (size_t)got < wanted || offset >= entry.length;
        if (const void* zero = memchr(chunk, 0, count)) {
            count = static_cast<const BYTE*>(zero) - chunk;
            last = true;
        }
        size_t cut = last ? count : CharacterBoundary(chunk, count);
        if (cut == 0 && count >= kTextChunk)
            cut = count;
        if (cut > 0) {
            int units = MultiByteToWideChar(CP_ACP, 0, (LPCSTR)chunk, (int)cut, text + written,
                                            (int)(capacity - 1 - written));
            written += units > 0 ? (size_t)units : 0;
        }
        carried = count - cut;
        memmove(chunk, chunk + cut, carried);
    }
    free(chunk);
    text[written] = 0;
    if (length)
        *length = written;
    // Give back what the conversion did not use (the bytes may have been
    // multi-byte characters or have stopped at a zero byte).
    if (WCHAR* shrunk = static_cast<WCHAR*>(realloc(text, (written + 100) * sizeof(WCHAR))))
        text = shrunk;
    return text;
}

void ClearFolder(LPCWSTR folder)
{
    WCHAR pattern[MAX_PATH];
    if (FAILED(StringCchPrintfW(pattern, MAX_PATH, u"%s*.*", folder)))
        return;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileExW(pattern, FindExInfoStandard, &found, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        WCHAR fileName[MAX_PATH];
        if (SUCCEEDED(StringCchPrintfW(fileName, MAX_PATH, u"%s%s", folder, found.cFileName)))
            DeleteFileW(fileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

void Book::ClearTempFolder() { ClearFolder(tempFolder); }

void Book::Close()
{
    if (chm) {
        chm_close(chm);
        chm = nullptr;
    }
    EmptyLists();
    ClearTempFolder();
}
