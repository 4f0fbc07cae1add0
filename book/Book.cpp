// Opening a book, listing its objects, reading objects and the scratch folder.
#include "Book.h"

#include "ObjectReader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// Records of #SYSTEM that the book engine reads.
enum SystemRecord : WORD {
    kContentsFileRecord = 0,
    kIndexFileRecord = 1,
    kDefaultTopicRecord = 2,
    kTitleRecord = 3,
    kLanguageRecord = 4,  // begins with the book's LCID
};

// The ANSI code page of a language, when the platform converts it; 0 for no
// language (LCID 0) or one without an ANSI code page.
UINT AnsiCodePageOf(LCID language)
{
    WCHAR digits[8];
    if (language == 0 || GetLocaleInfoW(language, LOCALE_IDEFAULTANSICODEPAGE, digits, 8) == 0)
        return 0;
    UINT codePage = 0;
    for (const WCHAR* at = digits; *at >= '0' && *at <= '9' && codePage < 100000; ++at)
        codePage = codePage * 10 + (*at - '0');
    return codePage && IsValidCodePage(codePage) ? codePage : 0;
}

} // namespace

Book::Book() : chm(nullptr), extractReport{}, pageByteLimit(kMaxPageBytes), codePage(CP_ACP),
      contentsCodePage(CP_ACP)
{
    StringCchCopyW(tempFolder, MAX_PATH, u"\\Temp\\");
    bookPath[0] = 0;
}

Book::~Book()
{
    EmptyLists();
}

void Book::EmptyLists()
{
    objects.clear();
    contents.clear();
    hiddenObjects.clear();
    index.Clear();
    pathPool.Clear();
    textPool.Clear();
    namedContentsFile = namedIndexFile = defaultTopic = title = nullptr;
    noPath = rootPath = nullptr;
    entriesMade = 0;
    codePage = CP_ACP;
    contentsCodePage = CP_ACP;
}

int Book::LoadContents(LPCWSTR path) { return LoadContents(path, nullptr, nullptr); }

int Book::LoadContents(LPCWSTR path, ContentsCallback callback, void* context)
{
    if (!Open(path))
        return 0;
    contentsCallback = callback;
    callbackContext = context;
    int found = ReadContents();
    textPool.Trim();
    contentsCallback = nullptr;
    callbackContext = nullptr;
    return found;
}

int Book::ReadContents()
{
    contentsCodePage = codePage;
    const ObjectEntry* contentsFile = FindContentsFile();
    // The Free Pascal writer (chmcmd among its users) marks the second
    // directory chunk as the first, so chmlib's enumeration can miss the
    // contents file; #SYSTEM names it, and chmlib's lookup still finds it.
    if (!contentsFile)
        contentsFile = NamedBySystem(namedContentsFile, ".hhc");
    if (contentsFile) {
        ParseSitemap(*contentsFile);
        return 1;
    }
    // Without a contents file a book is still read through what else lists
    // its pages.
    return LoadBinaryContents() || LoadKeywordIndex() || LoadPageList();
}

int Book::Open(LPCWSTR path)
{
    // A path that does not fit is refused rather than cut: a cut path names
    // another file.
    HRESULT copied = StringCchCopyW(bookPath, MAX_PATH, path ? path : u"");
    container.Close();
    chm = nullptr;
    EmptyLists();
    if (FAILED(copied) || !container.Open(bookPath))
        return 0;
    chm = container.Handle();
    if (!ListObjects())
        return 0;
    ReadSystem();
    pathPool.Trim();
    return 1;
}

// #SYSTEM: a version, then records of a 16-bit code, a 16-bit length and the
// data. It is looked up through chmlib rather than the object list, which
// would be indexed for it: most books need no other lookup to list their contents.
void Book::ReadSystem()
{
    LCID language = 0;
    chmUnitInfo unit;
    BYTE* records = nullptr;
    if (container.Resolve("/#SYSTEM", &unit)) {
        ObjectEntry system{"/#SYSTEM", (DWORD)unit.length, (LONG)unit.space, (DWORD)unit.start};
        records = ReadObject(system);
    }
    size_t size = records ? (size_t)unit.length : 0;
    for (size_t at = 4; at + 4 <= size;) {
        WORD code = records[at] | records[at + 1] << 8;
        size_t length = records[at + 2] | records[at + 3] << 8;
        at += 4;
        if (length > size - at)
            break;
        const char* data = (const char*)records + at;
        auto text = [&] { return pathPool.Copy(data, strnlen(data, std::min<size_t>(length, MAX_PATH - 1))); };
        if (code == kContentsFileRecord)
            namedContentsFile = text();
        else if (code == kIndexFileRecord)
            namedIndexFile = text();
        else if (code == kDefaultTopicRecord)
            defaultTopic = text();
        else if (code == kTitleRecord)
            title = text();
        else if (code == kLanguageRecord && length >= 4)
            language = records[at] | records[at + 1] << 8 | records[at + 2] << 16 | (DWORD)records[at + 3] << 24;
        at += length;
    }
    free(records);
    // The book's language, from #SYSTEM, else from the container's header.
    codePage = AnsiCodePageOf(language);
    if (!codePage)
        codePage = AnsiCodePageOf(container.Limits().language);
}

// An object that #SYSTEM names (in the book's code page), when its name ends
// in `extension`.
const ObjectEntry* Book::NamedBySystem(const char* name, const char* extension)
{
    size_t length = name ? strlen(name) : 0;
    size_t extensionLength = strlen(extension);
    if (length <= extensionLength || _stricmp(name + length - extensionLength, extension) != 0)
        return nullptr;
    WCHAR wide[MAX_PATH] = {};
    if (MultiByteToWideChar(codePage, 0, name, (int)length, wide, MAX_PATH - 1) == 0)
        return nullptr;
    return FindObject(wide);
}

int Book::ListObjects()
{
    if (!chm)
        return 0;
    objects.clear();
    index.Clear();
    container.Enumerate(EnumerateObject, this);
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
    if (!container.Resolve(entry.path, unit))
        return false;
    // ObjectFits caps the unit's length (kMaxObjectLength), and so the entry's.
    return entry.length <= unit->length && ObjectFits(container.Limits(), unit->space, unit->start, unit->length);
}

std::optional<ObjectReader> Book::ReaderFor(const ObjectEntry& entry)
{
    if (!chm || entry.length > kMaxObjectLength)
        return std::nullopt;
    chmUnitInfo unit;
    // The record is the directory's own, as the enumeration or the lookup
    // gave it; its 32-bit start is exact when the sections are that small,
    // and chmlib's lookup (which reads the directory from the file each
    // time) is spared for each of the thousands of pages a search or an
    // export reads.
    const ContainerLimits& limits = container.Limits();
    if (limits.section0Size <= 0xFFFFFFFF && limits.section1Size <= 0xFFFFFFFF) {
        unit.start = entry.start;
        unit.length = entry.length;
        unit.space = entry.space;
        unit.flags = 0;
        StringCchCopyA(unit.path, sizeof unit.path, entry.path);
    } else if (!container.Resolve(entry.path, &unit) || entry.length > unit.length) {
        return std::nullopt;
    }
    if (!ExtentFits(limits, unit.space, unit.start, unit.length))
        return std::nullopt;
    // The blocks are checked as they are read: a search reads a few nodes of
    // a full-text index of megabytes.
    return ObjectReader(container, unit, entry.length);
}

std::vector<const ObjectEntry*> Book::AllObjects()
{
    std::vector<const ObjectEntry*> all;
    const std::vector<std::string>& unlisted = container.Limits().unlistedPaths;
    all.reserve(objects.size() + unlisted.size());
    for (const ObjectEntry& object : objects)
        all.push_back(&object);
    for (const std::string& path : unlisted) {
        WCHAR wide[MAX_PATH];
        if (MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide, MAX_PATH) <= 0)
            continue;
        const ObjectEntry* object = FindObject(wide);
        // The lookup ignores case and may land on a listed object.
        if (object && strcmp(object->path, path.c_str()) == 0 &&
            std::find(all.begin() + objects.size(), all.end(), object) == all.end())
            all.push_back(object);
    }
    return all;
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
        container.Retrieve(unit, bytes, 0, entry.length);
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
    if (!text)
        return nullptr;
    TextReader reader(ObjectReader(container, unit, entry.length), codePage);
    size_t written = 0;
    while (!reader.Done())
        written += reader.Next(text + written, capacity - 1 - written);
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
        // Room for the folder and the longest name a search reports: a file
        // of a 255-character name is the folder's as much as any other.
        WCHAR fileName[2 * MAX_PATH];
        if (SUCCEEDED(StringCchPrintfW(fileName, 2 * MAX_PATH, u"%s%s", folder, found.cFileName)))
            DeleteFileW(fileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

bool FolderHoldsAnything(LPCWSTR folder)
{
    WCHAR pattern[MAX_PATH];
    WIN32_FIND_DATAW found;
    if (FAILED(StringCchPrintfW(pattern, MAX_PATH, u"%s*.*", folder)))
        return true;
    HANDLE search = FindFirstFileW(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    return true;
}

void Book::ClearTempFolder() { ClearFolder(tempFolder); }

void Book::Close()
{
    container.Close();
    chm = nullptr;
    EmptyLists();
    ClearTempFolder();
}
