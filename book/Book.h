// The open book: chmlib handle, the list of every object in the container and
// the contents entries, plus page and image extraction into the scratch folder.
#pragma once

#include <windows.h>

#include <chm_lib.h>
#include <cstdlib>
#include <deque>
#include <optional>
#include <vector>

#include "BookPaths.h"
#include "GuardedChm.h"
#include "ObjectIndex.h"
#include "ObjectReader.h"
#include "StringPool.h"

// One object of the container's directory.
struct ObjectEntry {
    const char* path;  // as chmlib reports it (UTF-8), at most 259 bytes; owned by the Book
    DWORD length;      // low 32 bits of chmlib's length
    LONG space;        // content section
    DWORD start;       // low 32 bits of the offset in its section
};

// One contents entry. The texts are owned by the Book and stay put until the
// next LoadContents, Close or destruction, like the entry itself.
struct TocEntry {
    const WCHAR* title;  // at most 255 characters
    const WCHAR* local;  // "/" and at most 255 characters of the Local value, or empty
    int level;
    HANDLE treeItem;     // the tree item that shows the entry; set by the contents window
};

// What the last ExtractPage did, for a caller that reports failures (the
// windows do not; leafwise-book does).
struct ExtractReport {
    int filesWritten;          // the page and its images, each object once
    ULONGLONG bytesWritten;
    int imagesSkipped;         // did not fit in what was left of the page's byte budget
    DWORD error;               // ERROR_SUCCESS, or why the first failed file could not be written
    WCHAR failedFile[MAX_PATH];  // that file's name in the folder
};

template <typename Unit>
class SitemapScanner;

// Receives each contents entry as it is made, for a reader that lists the
// contents once and keeps none of them (see LoadContents). The entry's texts,
// of `titleLength` and `localLength` units before their terminators, last
// only for the call.
typedef void (*ContentsCallback)(const TocEntry& entry, size_t titleLength, size_t localLength, void* context);

// The objects of a binary table of contents, as read from a book (null and 0
// for one that is missing).
struct BinaryContents {
    struct Table {
        const BYTE* data;
        size_t size;

        // Whether `count` bytes at `offset` lie inside.
        bool Holds(ULONGLONG offset, ULONGLONG count) const;
        // The 32-bit little-endian number at `offset`, which the caller has checked.
        DWORD At(size_t offset) const;
        // The zero-terminated string at `offset`, cut at the table's end;
        // empty when the offset lies outside.
        const char* String(DWORD offset, size_t* length) const;
    };
    Table toc, topics, urls, urlStrings, strings;  // #TOCIDX, #TOPICS, #URLTBL, #URLSTR, #STRINGS
};

// The texts a #TOPICS record names: its title (#STRINGS) and its page's path
// (#URLTBL, #URLSTR), in the book's code page, cut at their tables' ends;
// empty where the record or a text lies outside its table. False when the
// record itself is not in #TOPICS.
struct TopicTexts {
    const char* title;
    size_t titleLength;
    const char* local;
    size_t localLength;
};
bool ReadTopic(const BinaryContents& tables, DWORD number, TopicTexts* texts);

class Book;

// An object read whole, freed with it (null and 0 when it cannot be read).
struct ObjectBytes {
    BYTE* data = nullptr;
    size_t size = 0;

    ObjectBytes() = default;
    ObjectBytes(const ObjectBytes&) = delete;
    ObjectBytes& operator=(const ObjectBytes&) = delete;
    ~ObjectBytes() { free(data); }

    bool Read(Book& book, LPCWSTR path);
    BinaryContents::Table Table() const { return {data, size}; }
};

class Book {
public:
    Book();
    virtual ~Book();

    // The contents come from the contents file (the first ".hhc" object, or
    // the one #SYSTEM names); a book without one is listed from its binary
    // table of contents, else its keyword index, else its pages. 1 when the
    // book was opened and one of these was found.
    int LoadContents(LPCWSTR path);
    // The same, with every entry handed to `callback` as it is made instead of
    // kept in `contents`, which stays empty: a listing of a large book then
    // never holds its entries all at once.
    int LoadContents(LPCWSTR path, ContentsCallback callback, void* context);
    int Open(LPCWSTR path);
    int ListObjects();
    const ObjectEntry* FindContentsFile() const;
    // Newly allocated with malloc (zero-padded bytes, or NUL-terminated UTF-16);
    // the caller frees it. Null when the object cannot be read. `length`, when
    // given, receives the text's length in units, up to its terminator. Text
    // is read in the charset it declares, else in `codePage`.
    BYTE* ReadObject(const ObjectEntry& entry);
    WCHAR* ReadObjectText(const ObjectEntry& entry, size_t* length = nullptr);
    void ClearTempFolder();
    void Close();

    void ParseContents(const WCHAR* text);
    // The same, for a caller that knows where the text's terminator is.
    void ParseContents(const WCHAR* text, size_t length);

    // Appends the entries of a binary table of contents, its texts read in
    // `codePage`. Every offset is checked against its table, a loop ends the
    // chain it closes, and entries deeper than 31 levels are left out.
    void ParseBinaryContents(const BinaryContents& tables);

    const ObjectEntry* FindObject(LPCWSTR path);
    // Every object of the open book, each once: those that chmlib's
    // enumeration lists, in its order, then those it misses.
    std::vector<const ObjectEntry*> AllObjects();
    // A reader of the object's bytes; none when it cannot be read (not in
    // the book, or outside its section). Each read is checked for the blocks
    // it needs, and comes up short where they cannot be decoded. It serves
    // until the book is opened again or closed.
    std::optional<ObjectReader> ReaderFor(const ObjectEntry& entry);
    // The title that #SYSTEM gives the book, in its code page; empty when none.
    const char* Title() const { return title ? title : ""; }

    // The open book's keyword index, each entry handed to `callback` as
    // contents entries are (the keyword as its title): from the .hhk that
    // #SYSTEM or #WINDOWS names, else the first .hhk object, else the binary
    // keyword index. A keyword with several pages gives an entry for each.
    // Returns the entries handed out.
    size_t ReadKeywordIndex(ContentsCallback callback, void* context);

    int ExtractObject(LPCWSTR path, LPCWSTR folder);
    int ExtractPage(LPCWSTR pagePath, LPCWSTR folder);

    // Bytes one page and its images may write at most (the disk's free room
    // bounds it further); an image past it is skipped.
    static constexpr ULONGLONG kMaxPageBytes = 4ull * 1024 * 1024 * 1024;

    WCHAR tempFolder[MAX_PATH];
    WCHAR bookPath[MAX_PATH];
    chmFile* chm;  // the container's handle while a book is open, else null
    std::deque<ObjectEntry> objects;
    std::deque<TocEntry> contents;
    ExtractReport extractReport;
    ULONGLONG pageByteLimit;  // kMaxPageBytes, lowered by tests
    // The code page of the book's own text, set by Open: the ANSI code page of
    // its language (LCID of #SYSTEM, else of the container's header) as the
    // platform gives it, else CP_ACP. A text that declares its charset is read in that.
    UINT codePage;
    // The code page the contents' titles were read in: the one the contents
    // file (or keyword index) declares, else codePage.
    UINT contentsCodePage;

private:
    template <typename Unit>
    friend class SitemapScanner;

    void ReadSystem();
    const ObjectEntry* FindKeywordFile();
    void ParseBinaryKeywords();
    // The contents of the open book, from the first source that lists any.
    int ReadContents();
    const ObjectEntry* NamedBySystem(const char* name, const char* extension);
    // `keywords`: the file is a keyword index, whose entries take the
    // object's Keyword parameter, else its first Name, as their title.
    void ParseSitemap(const ObjectEntry& file, bool keywords = false);
    int LoadBinaryContents();
    int LoadKeywordIndex();
    int LoadPageList();
    // Appends an entry of `titleLength` units of `title` and, unless `local`
    // is null, "/" and `localLength` units of `local`; or hands it to the
    // contents callback. `*keptTitle` is the stored copy of `title` once there
    // is one: entries that take the same title share it, and the caller
    // clears it when its title changes.
    void AppendEntry(const WCHAR* title, size_t titleLength, const WCHAR** keptTitle, const WCHAR* local,
                     size_t localLength, int level);

    void EmptyLists();
    void AppendObject(const chmUnitInfo& unit);
    bool ResolveUnit(const ObjectEntry& entry, chmUnitInfo* unit);
    const ObjectEntry* FindInList(const char* path, const char* htmlPath);
    const ObjectEntry* FindThroughChmlib(const char* path, const char* htmlPath);
    static int EnumerateObject(chmFile* chm, chmUnitInfo* unit, void* context);
    bool WriteObject(const ObjectEntry& entry, LPCWSTR baseName, LPCWSTR folder);
    bool WriteDestination(LPCWSTR folder, LPCWSTR baseName, const void* head, size_t headSize, const void* body,
                          size_t bodySize);

    GuardedChm container;  // the only way to chmlib's retrieval
    StringPool pathPool;
    StringPool textPool;
    ObjectIndex index;                    // over `objects`, built at the first lookup
    std::deque<ObjectEntry> hiddenObjects;  // found by chmlib's lookup, missed by its enumeration
    // What #SYSTEM names, in the book's code page (null when it does not).
    const char* namedContentsFile = nullptr;
    const char* namedIndexFile = nullptr;
    const char* defaultTopic = nullptr;
    const char* title = nullptr;
    const WCHAR* noPath = nullptr;    // the empty path of entries without a page, once stored
    const WCHAR* rootPath = nullptr;  // the "/" of entries with an empty Local value
    ContentsCallback contentsCallback = nullptr;  // set while LoadContents hands entries out
    void* callbackContext = nullptr;
    size_t entriesMade = 0;  // by the contents source being read, kept or handed out
};

// Up to a title's length (255 units) of text converted from `codePage`; only
// the bytes that can make that many characters are converted. Returns the units.
size_t WidenTitle(UINT codePage, const char* bytes, size_t length, WCHAR* text);
// Whether an object path ends in `extension` (ASCII case ignored) and is longer.
bool PathEndsWith(const char* path, const char* extension);

// Deletes the files directly inside a folder (given with its trailing
// backslash); sub-folders and files that cannot be deleted stay.
void ClearFolder(LPCWSTR folder);
// Whether a folder (given with its trailing backslash) holds any file or folder.
bool FolderHoldsAnything(LPCWSTR folder);
