// leafwise-book: the book engine on the command line, for scripts, tests and
// people who want a page out of a book.
//
//   leafwise-book [--codepage N] objects BOOK
//   leafwise-book [--codepage N] contents BOOK
//   leafwise-book [--codepage N] index BOOK
//   leafwise-book [--codepage N] search [--scan] [--titles] BOOK WORD...
//   leafwise-book [--codepage N] extract [--clear] BOOK PAGE [FOLDER]
//   leafwise-book [--codepage N] export BOOK FOLDER
//   leafwise-book --help | -h | --version
#include <windows.h>

#include <Book.h>
#include <Export.h>
#include <Search.h>
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

const char kUsage[] =
    "usage: leafwise-book [--codepage N] objects BOOK\n"
    "       leafwise-book [--codepage N] contents BOOK\n"
    "       leafwise-book [--codepage N] index BOOK\n"
    "       leafwise-book [--codepage N] search [--scan] [--titles] BOOK WORD...\n"
    "       leafwise-book [--codepage N] extract [--clear] BOOK PAGE [FOLDER]\n"
    "       leafwise-book [--codepage N] export BOOK FOLDER\n";

// The tool's output, encoded straight into one buffer that is written out
// whenever it fills: a contents listing of a large book is tens of thousands
// of lines, and a string or a conversion call per field would cost more than
// reading the book. The buffer stays small and is reused, because each page a
// process touches for the first time costs a page fault; a buffer grown to
// hold a whole 2 MB listing cost more in faults than the encoding itself.
// Fields are UTF-8, with tab, newline, carriage return and backslash escaped.
class Output {
public:
    explicit Output(FILE* file) : file(file) {}

    // A field given as UTF-8, as chmlib reports paths; a byte that is not
    // part of a UTF-8 character is written \xNN, so the output stays UTF-8.
    void Field(const char* utf8)
    {
        size_t length = strlen(utf8);
        char* to = Room(4 * length);  // four bytes for a byte written \xNN
        for (size_t i = 0; i < length;) {
            const unsigned char c = (unsigned char)utf8[i];
            if (c < 0x80) {
                to += Escape(c, to);
                ++i;
            } else if (size_t n = CharacterLength(utf8 + i, length - i)) {
                memcpy(to, utf8 + i, n);
                to += n;
                i += n;
            } else {
                to += EscapeByte(c, to);
                ++i;
            }
        }
        used = to - bytes.get();
    }

    // A field given as UTF-16, encoded straight into the buffer. A unit that
    // stands for a host name's byte (U+DC80 + byte) is written \xNN; another
    // unpaired surrogate becomes U+FFFD, as the code-page conversion makes it.
    void Field(const WCHAR* text) { Field(text, wcslen(text)); }

    // `length` units of `text`.
    void Field(const WCHAR* text, size_t length)
    {
        const WCHAR* end = text + length;
        // Four bytes a unit at most: a byte written \xNN, a character of the
        // basic plane three, and a surrogate pair four for its two units.
        char* to = Room(4 * (end - text));
        for (const WCHAR* at = text; at < end;) {
#ifdef __SSE2__
            if (end - at >= 8 && CopyEightPlain(at, to)) {
                at += 8;
                to += 8;
                continue;
            }
#endif
            at = EncodeOne(at, end, to);
        }
        used = to - bytes.get();
    }

    void Number(long long value)
    {
        char* to = Room(24);
        used += std::to_chars(to, to + 24, value).ptr - to;
    }

    void Separator(char c)
    {
        *Room(1) = c;
        ++used;
    }

    // Writes out what the buffer holds; call once more at the end.
    void Flush()
    {
        if (used > 0)
            fwrite(bytes.get(), 1, used, file);
        used = 0;
    }

private:
    static constexpr size_t kBlock = 256 * 1024;

    // Room for `count` more bytes after what the buffer holds.
    char* Room(size_t count)
    {
        if (capacity - used < count) {
            Flush();
            if (capacity < count) {
                // Not zero-filled: only what is written is ever read.
                capacity = std::max(count, kBlock);
                bytes.reset(new char[capacity]);
            }
        }
        return bytes.get() + used;
    }

    // The length of the UTF-8 character at `at` (at most `left` bytes), or 0
    // when the bytes there are not one.
    static size_t CharacterLength(const char* at, size_t left)
    {
        unsigned char c = (unsigned char)at[0];
        size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
        WCHAR units[2];
        if (n == 0 || n > left || MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, at, (int)n, units, 2) <= 0)
            return 0;
        return n;
    }

    static size_t EscapeByte(unsigned char c, char* to)
    {
        static const char kHex[] = "0123456789abcdef";
        to[0] = '\\';
        to[1] = 'x';
        to[2] = kHex[c >> 4];
        to[3] = kHex[c & 15];
        return 4;
    }

    // Writes an ASCII unit, escaped when it is a separator; returns the bytes written.
    static size_t Escape(unsigned char c, char* to)
    {
        char escaped = c == '\t' ? 't' : c == '\n' ? 'n' : c == '\r' ? 'r' : c == '\\' ? '\\' : 0;
        if (!escaped) {
            to[0] = (char)c;
            return 1;
        }
        to[0] = '\\';
        to[1] = escaped;
        return 2;
    }

#ifdef __SSE2__
    // Titles and paths are nearly all printable ASCII, which needs neither an
    // escape nor encoding: eight such units are tested and copied at once.
    // False (nothing written) when any of the eight at `at` is another unit.
    static bool CopyEightPlain(const WCHAR* at, char* to)
    {
        __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        // Signed comparisons: units from 0x8000 up count as negative, below 0x20.
        __m128i printable = _mm_and_si128(_mm_cmpgt_epi16(units, _mm_set1_epi16(0x1F)),
                                          _mm_cmplt_epi16(units, _mm_set1_epi16(0x80)));
        __m128i plain = _mm_andnot_si128(_mm_cmpeq_epi16(units, _mm_set1_epi16('\\')), printable);
        if (_mm_movemask_epi8(plain) != 0xFFFF)
            return false;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(to), _mm_packus_epi16(units, units));
        return true;
    }
#endif

    // Encodes the unit at `at` (with the low surrogate after it, when it is a
    // pair's high one) and advances `to`; returns where the next unit is.
    static const WCHAR* EncodeOne(const WCHAR* at, const WCHAR* end, char*& to)
    {
        unsigned c = at[0];
        if (c < 0x80) {
            to += Escape((unsigned char)c, to);
            return at + 1;
        }
        if (c >= 0xD800 && c <= 0xDBFF && end - at >= 2 && at[1] >= 0xDC00 && at[1] <= 0xDFFF) {
            unsigned cp = 0x10000 + ((c - 0xD800) << 10) + (at[1] - 0xDC00);
            *to++ = (char)(0xF0 | (cp >> 18));
            *to++ = (char)(0x80 | ((cp >> 12) & 0x3F));
            *to++ = (char)(0x80 | ((cp >> 6) & 0x3F));
            *to++ = (char)(0x80 | (cp & 0x3F));
            return at + 2;
        }
        // A host name's byte that is not UTF-8 reaches here as U+DC80 + byte.
        if (c >= 0xDC80 && c <= 0xDCFF) {
            to += EscapeByte((unsigned char)(c - 0xDC00), to);
            return at + 1;
        }
        if (c >= 0xD800 && c <= 0xDFFF)
            c = 0xFFFD;
        if (c < 0x800) {
            *to++ = (char)(0xC0 | (c >> 6));
        } else {
            *to++ = (char)(0xE0 | (c >> 12));
            *to++ = (char)(0x80 | ((c >> 6) & 0x3F));
        }
        *to++ = (char)(0x80 | (c & 0x3F));
        return at + 1;
    }

    FILE* file;
    std::unique_ptr<char[]> bytes;
    size_t capacity = 0;
    size_t used = 0;
};

std::string Utf8(const WCHAR* text)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1)
        return {};
    std::string out(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.resize(size - 1);
    return out;
}

std::u16string Wide(const char* utf8)
{
    int size = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::u16string out(size > 0 ? size : 1, u'\0');
    if (size > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8, -1, out.data(), size);
    out.resize(out.size() - 1);
    return out;
}

// The device form of a host path; false (with a message) when it has none.
bool DevicePath(const char* host, WCHAR* device, const char* what)
{
    if (HostToDevicePath(host, device, MAX_PATH) == 0) {
        const char* why = GetLastError() == ERROR_BAD_PATHNAME ? "hidden by the scratch folder \\Temp"
                                                                : "path not usable";
        fprintf(stderr, "leafwise-book: %s %s: %s\n", what, host, why);
        return false;
    }
    return true;
}

bool OpenBook(Book& book, const char* hostPath)
{
    WCHAR path[MAX_PATH];
    if (!DevicePath(hostPath, path, "book") || !book.Open(path)) {
        fprintf(stderr, "leafwise-book: cannot open book %s\n", hostPath);
        return false;
    }
    return true;
}

int ListObjects(const char* bookPath)
{
    Book book;
    if (!OpenBook(book, bookPath))
        return 1;
    Output out(stdout);
    for (const ObjectEntry& entry : book.objects) {
        out.Field(entry.path);
        out.Separator('\t');
        out.Number(entry.length);
        out.Separator('\t');
        out.Number(entry.space);
        out.Separator('\t');
        out.Number(entry.start);
        out.Separator('\n');
    }
    out.Flush();
    return 0;
}

// Each entry is written as it is parsed: the listing never holds the book's
// entries, whose texts would cost more in first-touch page faults than in
// their encoding.
void WriteEntry(const TocEntry& entry, size_t titleLength, size_t localLength, void* context)
{
    Output& out = *static_cast<Output*>(context);
    out.Number(entry.level);
    out.Separator('\t');
    out.Field(entry.title, titleLength);
    out.Separator('\t');
    out.Field(entry.local, localLength);
    out.Separator('\n');
}

int ListContents(const char* bookPath)
{
    Book book;
    WCHAR path[MAX_PATH];
    if (!DevicePath(bookPath, path, "book"))
        return 1;
    Output out(stdout);
    // A book without a contents file lists nothing; only an unusable file fails.
    if (!book.LoadContents(path, WriteEntry, &out) && !book.chm) {
        fprintf(stderr, "leafwise-book: cannot open book %s\n", bookPath);
        return 1;
    }
    out.Flush();
    return 0;
}

int ListKeywords(const char* bookPath)
{
    Book book;
    if (!OpenBook(book, bookPath))
        return 1;
    Output out(stdout);
    book.ReadKeywordIndex(WriteEntry, &out);
    out.Flush();
    return 0;
}

// A progress line on a terminal, rewritten in place: only for work that
// lasts (from half a second on), a few times a second, and wiped at the end.
// Nothing when standard error is not a terminal.
class Progress {
public:
    Progress(const char* doing, const char* things) : doing(doing), things(things), shown(isatty(2)) {}
    ~Progress()
    {
        if (drawn)
            fputs("\r\x1b[K", stderr);
    }

    static void Report(size_t done, size_t total, void* context)
    {
        Progress& progress = *static_cast<Progress*>(context);
        DWORD now = GetTickCount();
        if (!progress.shown || now - progress.start < kDelay || now - progress.last < kInterval)
            return;
        progress.last = now;
        progress.drawn = true;
        fprintf(stderr, "\rleafwise-book: %s %zu of %zu %s\x1b[K", progress.doing, done, total, progress.things);
        fflush(stderr);
    }

private:
    static constexpr DWORD kDelay = 500, kInterval = 100;  // ms

    const char* doing;
    const char* things;
    bool shown;
    bool drawn = false;
    DWORD start = GetTickCount();
    DWORD last = 0;
};

// Opens a book for a command that reads it whole: with its contents, which
// give its pages' titles and order.
bool LoadBook(Book& book, const char* hostPath, WCHAR* path)
{
    if (!DevicePath(hostPath, path, "book"))
        return false;
    if (!book.LoadContents(path) && !book.chm) {
        fprintf(stderr, "leafwise-book: cannot open book %s\n", hostPath);
        return false;
    }
    return true;
}

int Search(const char* bookPath, const std::vector<std::string>& arguments, const SearchOptions& options)
{
    std::vector<std::u16string> words;
    for (const std::string& argument : arguments)
        words.push_back(Wide(argument.c_str()));
    Book book;
    WCHAR path[MAX_PATH];
    if (!LoadBook(book, bookPath, path))
        return 1;
    SearchResult result;
    {
        Progress progress("searching", "pages");
        result = SearchBook(book, words, options, Progress::Report, &progress);
    }
    if (result.status != SearchStatus::kDone) {
        fprintf(stderr, "leafwise-book: search: %s\n", result.status == SearchStatus::kWordTooLong
                                                          ? "a word is too long"
                                                          : "no letter or digit to look for");
        return 2;
    }
    Output out(stdout);
    for (const SearchHit& hit : result.pages) {
        out.Number((long long)hit.hits);
        out.Separator('\t');
        out.Field(hit.title.data(), hit.title.size());
        out.Separator('\t');
        out.Field(hit.page->path);
        out.Separator('\n');
    }
    out.Flush();
    return 0;
}

// Why a file or folder could not be used, in words.
const char* Reason(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND: case ERROR_PATH_NOT_FOUND: return "no such folder";
    case ERROR_ACCESS_DENIED: return "access denied";
    case ERROR_CANT_ACCESS_FILE: return "a link is in the way";
    case ERROR_DISK_FULL: return "no room left on the disk";
    case ERROR_FILENAME_EXCED_RANGE: return "path too long";
    case ERROR_INVALID_NAME: return "not a usable name";
    case ERROR_DIRECTORY: return "not a folder";
    case ERROR_DIR_NOT_EMPTY: return "not empty";
    case ERROR_FILE_EXISTS: case ERROR_ALREADY_EXISTS: return "already there";
    default: return "write failed";
    }
}


// Makes FOLDER ready for an extraction: created when it is missing (one
// level), used when empty, emptied of its files with --clear, and otherwise
// refused, so that no file of the user's is ever lost to a page. Returns 0,
// or the exit status.
// Whether the platform has said why a folder cannot be used: it names a
// refused scratch folder, with the reason, once, for every path in it.
bool SaidByThePlatform(const WCHAR* folder, DWORD error)
{
    bool inScratch = _wcsnicmp(folder, u"\\Temp", 5) == 0 && (folder[5] == 0 || folder[5] == '\\');
    return inScratch && error == ERROR_ACCESS_DENIED;
}

int PrepareFolder(const char* hostFolder, const WCHAR* folder, const WCHAR* folderWithSlash, bool clear)
{
    DWORD attributes = GetFileAttributesW(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (CreateDirectoryW(folder, nullptr))
            return 0;
        DWORD error = GetLastError();
        if (!SaidByThePlatform(folder, error))
            fprintf(stderr, "leafwise-book: folder %s: %s\n", hostFolder, Reason(error));
        return 1;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        fprintf(stderr, "leafwise-book: folder %s: not a folder\n", hostFolder);
        return 1;
    }
    if (clear) {
        ClearFolder(folderWithSlash);
    } else if (FolderHoldsAnything(folderWithSlash)) {
        fprintf(stderr, "leafwise-book: folder %s is not empty (--clear empties it)\n", hostFolder);
        return 2;
    }
    return 0;
}

int Extract(const char* bookPath, const char* page, const char* hostFolder, bool clear)
{
    Book book;
    WCHAR folder[MAX_PATH];
    if (hostFolder) {
        if (!DevicePath(hostFolder, folder, "folder"))
            return 1;
    } else {
        StringCchCopyW(folder, MAX_PATH, u"\\Temp");
    }
    const char* folderName = hostFolder ? hostFolder : "\\Temp";
    size_t length = wcslen(folder);
    while (length > 1 && folder[length - 1] == '\\')
        folder[--length] = 0;
    WCHAR folderWithSlash[MAX_PATH];
    if (FAILED(StringCchPrintfW(folderWithSlash, MAX_PATH, u"%s\\", folder))) {
        fprintf(stderr, "leafwise-book: folder %s: path too long\n", folderName);
        return 1;
    }
    if (!OpenBook(book, bookPath))
        return 1;
    // Nothing is cleared for a page that is not there.
    std::u16string pagePath = Wide(page);
    if (!book.FindObject(pagePath.c_str())) {
        fprintf(stderr, "leafwise-book: page %s is not in book %s\n", page, bookPath);
        return 1;
    }
    if (hostFolder) {
        if (int status = PrepareFolder(hostFolder, folder, folderWithSlash, clear))
            return status;
    } else {
        // The scratch folder is the program's own, emptied before every page.
        DWORD attributes = GetFileAttributesW(folder);
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            DWORD error = attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : ERROR_PATH_NOT_FOUND;
            if (!SaidByThePlatform(folder, error))
                fprintf(stderr, "leafwise-book: folder %s: %s\n", folderName, Reason(error));
            return 1;
        }
        ClearFolder(folderWithSlash);
    }
    book.ExtractPage(pagePath.c_str(), folder);
    const ExtractReport& report = book.extractReport;
    if (report.error != ERROR_SUCCESS) {
        fprintf(stderr, "leafwise-book: cannot write %s in %s: %s\n", Utf8(report.failedFile).c_str(), folderName,
                Reason(report.error));
        return 1;
    }
    if (report.imagesSkipped > 0) {
        fprintf(stderr, "leafwise-book: %d images of %s not written: no room left for them\n", report.imagesSkipped,
                page);
        return 1;
    }
    // The folder was emptied first, so what it holds now is what was written.
    std::vector<std::u16string> names;
    WCHAR pattern[MAX_PATH];
    WIN32_FIND_DATAW found;
    StringCchPrintfW(pattern, MAX_PATH, u"%s*.*", folderWithSlash);
    HANDLE search = FindFirstFileW(pattern, &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                names.push_back(found.cFileName);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    std::sort(names.begin(), names.end());
    Output out(stdout);
    for (const std::u16string& name : names) {
        out.Field(name.c_str());
        out.Separator('\n');
    }
    out.Flush();
    return 0;
}

int Export(const char* bookPath, const char* hostFolder)
{
    Book book;
    WCHAR path[MAX_PATH], folder[MAX_PATH];
    if (!DevicePath(hostFolder, folder, "folder") || !LoadBook(book, bookPath, path))
        return 1;
    size_t length = wcslen(folder);
    while (length > 1 && folder[length - 1] == '\\')
        folder[--length] = 0;
    ExportReport report;
    {
        Progress progress("exporting", "files");
        report = ExportBook(book, folder, Progress::Report, &progress);
    }
    if (report.error != ERROR_SUCCESS) {
        if (SaidByThePlatform(folder, report.error))
            return 1;
        if (report.failedName.empty())
            fprintf(stderr, "leafwise-book: folder %s: %s\n", hostFolder, Reason(report.error));
        else
            fprintf(stderr, "leafwise-book: cannot write %s in %s: %s\n", Utf8(report.failedName.c_str()).c_str(),
                    hostFolder, Reason(report.error));
        return 1;
    }
    if (report.unreadable > 0) {
        fprintf(stderr, "leafwise-book: %zu objects of %s cannot be read, the first %s; the rest is in %s\n",
                report.unreadable, bookPath, report.firstUnreadable.c_str(), hostFolder);
        return 1;
    }
    Output out(stdout);
    out.Field(report.contentsPage.data(), report.contentsPage.size());
    out.Separator('\n');
    out.Flush();
    return 0;
}

int Usage()
{
    fputs(kUsage, stderr);
    return 2;
}

// Asked for, the usage goes to stdout and is no error.
int Help()
{
    fputs(kUsage, stdout);
    fputs("       leafwise-book --help | --version\n"
          "\n"
          "Lists a CHM book's objects, its contents or its keyword index, finds the pages\n"
          "that hold some words, writes a page and its pictures into a folder (the\n"
          "scratch folder without FOLDER), or exports the whole book into an empty\n"
          "FOLDER. Fields are UTF-8, separated by tabs. Exit status: 0 on success, 1 when\n"
          "the book, the page or a file fails, 2 on a usage error or a FOLDER that extract\n"
          "finds not empty. See leafwise-book(1).\n",
          stdout);
    return fflush(stdout) == 0 && !ferror(stdout) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> arguments;
    const char* codePage = nullptr;
    bool clear = false;
    SearchOptions search;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "--codepage" && i + 1 < argc)
            codePage = argv[++i];
        else if (argument == "--clear")
            clear = true;
        else if (argument == "--scan")
            search.scanOnly = true;
        else if (argument == "--titles")
            search.titlesOnly = true;
        else if (argument == "--help" || argument == "-h")
            return Help();
        else if (argument == "--version") {
            printf("leafwise-book (Leafwise) %s\n", LEAFWISE_VERSION);
            return fflush(stdout) == 0 && !ferror(stdout) ? 0 : 1;
        }
        else if (argument.rfind("--", 0) == 0)
            return Usage();
        else
            arguments.push_back(argument);
    }
    if (codePage) {
        // The code page the user fixes stands for the device's, for every
        // book's language too: the platform reads it from its setting, before
        // anything is converted.
        char* end = nullptr;
        unsigned long value = strtoul(codePage, &end, 10);
        if (!*codePage || *end || value == 0 || value > 65535 || !IsValidCodePage((UINT)value)) {
            fprintf(stderr, "leafwise-book: --codepage %s: not a code page this machine converts\n", codePage);
            return 2;
        }
        setenv("LEAFWISE_CODEPAGE", std::to_string(value).c_str(), 1);
    }
    std::string command = arguments.empty() ? "" : arguments[0];
    size_t count = arguments.size();
    bool searching = search.scanOnly || search.titlesOnly;
    if (command == "search" && count >= 3 && !clear)
        return Search(arguments[1].c_str(), std::vector<std::string>(arguments.begin() + 2, arguments.end()), search);
    if (searching)
        return Usage();
    if (command == "objects" && count == 2 && !clear)
        return ListObjects(arguments[1].c_str());
    if (command == "contents" && count == 2 && !clear)
        return ListContents(arguments[1].c_str());
    if (command == "index" && count == 2 && !clear)
        return ListKeywords(arguments[1].c_str());
    if (command == "extract" && (count == 3 || count == 4))
        return Extract(arguments[1].c_str(), arguments[2].c_str(), count == 4 ? arguments[3].c_str() : nullptr, clear);
    if (command == "export" && count == 3 && !clear)
        return Export(arguments[1].c_str(), arguments[2].c_str());
    return Usage();
}
