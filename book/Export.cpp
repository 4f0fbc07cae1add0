// Exporting a book: every object into a folder held open, made by name
// relative to it, in the order the book stores them (so that the compressed
// section is decoded once from start to end), pages converted to UTF-8 a
// piece at a time; then the contents page.
#include "Export.h"

#include "Charset.h"
#include "ReadAhead.h"
#include "Search.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

// The bytes of a host file name.
constexpr size_t kMaxNameBytes = 255;
// Names tried for one file or folder before the export gives up.
constexpr int kMaxVariants = 1000;
// An extension longer than this is part of the name, not kept apart.
constexpr size_t kMaxExtension = 16;
// Where a page declares its charset (as Charset.cpp reads it).
constexpr size_t kDeclarationWindow = 1024;
const BYTE kUtf8Mark[] = {0xEF, 0xBB, 0xBF};

size_t Utf8Length(const std::u16string& name)
{
    size_t bytes = 0;
    for (char16_t c : name)
        bytes += c < 0x80 ? 1 : c < 0x800 || (c >= 0xD800 && c <= 0xDFFF) ? 2 : 3;
    return bytes;
}

// `name`, with "~n" before its extension when n > 1, cut (never inside a
// character) so that it fits in a host name.
std::u16string Variant(const std::u16string& name, int n)
{
    size_t dot = name.rfind(u'.');
    if (dot == std::u16string::npos || dot == 0 || name.size() - dot > kMaxExtension)
        dot = name.size();
    std::u16string stem = name.substr(0, dot), extension = name.substr(dot);
    std::u16string suffix;
    if (n > 1) {
        for (char c : "~" + std::to_string(n))
            suffix.push_back((char16_t)c);
    }
    while (!stem.empty() && Utf8Length(stem) + Utf8Length(suffix) + Utf8Length(extension) > kMaxNameBytes) {
        stem.pop_back();
        if (!stem.empty() && stem.back() >= 0xD800 && stem.back() <= 0xDBFF)
            stem.pop_back();
    }
    return stem + suffix + extension;
}

// A component of a book path as a name: UTF-8, else the book's code page
// (as the pages that link to it are read); control characters made "_".
std::u16string NameOf(const char* bytes, size_t length, UINT codePage)
{
    WCHAR wide[MAX_PATH];
    int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, (int)length, wide, MAX_PATH);
    if (units <= 0)
        units = MultiByteToWideChar(codePage, 0, bytes, (int)length, wide, MAX_PATH);
    std::u16string name(wide, (size_t)std::max(units, 0));
    for (char16_t& c : name) {
        if (c < 0x20 || c == 0x7F)
            c = u'_';
    }
    return name;
}

// The components of a book path below the folder: "\" separates as "/"
// does, "." stays, ".." goes up, but never above the folder.
std::vector<std::u16string> Components(const char* path, UINT codePage)
{
    std::vector<std::u16string> parts;
    for (const char* at = path; *at;) {
        const char* end = at;
        while (*end && *end != '/' && *end != '\\')
            ++end;
        size_t length = end - at;
        if (length == 2 && at[0] == '.' && at[1] == '.') {
            if (!parts.empty())
                parts.pop_back();
        } else if (length > 0 && !(length == 1 && at[0] == '.')) {
            parts.push_back(NameOf(at, length, codePage));
        }
        at = *end ? end + 1 : end;
    }
    return parts;
}

std::u16string Join(const std::vector<std::u16string>& parts, size_t count)
{
    std::u16string joined;
    for (size_t i = 0; i < count; ++i) {
        if (i)
            joined += u'/';
        joined += parts[i];
    }
    return joined;
}

// Text for the contents page: HTML-escaped, or a link target.
void AppendEscaped(std::string* out, const std::string& text)
{
    for (char c : text) {
        switch (c) {
        case '&': *out += "&amp;"; break;
        case '<': *out += "&lt;"; break;
        case '>': *out += "&gt;"; break;
        case '"': *out += "&quot;"; break;
        default: *out += c;
        }
    }
}

void AppendLink(std::string* out, const std::string& path)
{
    static const char kHex[] = "0123456789ABCDEF";
    for (unsigned char c : path) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || strchr("-._~/!$()*+,;=:@", c)) {
            *out += (char)c;
        } else {
            *out += '%';
            *out += kHex[c >> 4];
            *out += kHex[c & 15];
        }
    }
}

std::string Utf8(const WCHAR* text, size_t length)
{
    std::string out(3 * length + 1, '\0');
    int bytes = length ? WideCharToMultiByte(CP_UTF8, 0, text, (int)length, out.data(), (int)out.size(), nullptr,
                                             nullptr)
                       : 0;
    out.resize(bytes > 0 ? bytes : 0);
    return out;
}

std::string Utf8(const std::u16string& text) { return Utf8(text.data(), text.size()); }

class Exporter {
public:
    Exporter(Book& book, HANDLE root, ExportReport& report) : book(book), root(root), report(report) {}
    ~Exporter() { CloseChain(0); }
    Exporter(const Exporter&) = delete;
    Exporter& operator=(const Exporter&) = delete;

    // Writes one object from its bytes; false when the export has to stop.
    bool Export(const ObjectEntry& object, ReadAhead::Object& bytes)
    {
        std::vector<std::u16string> parts = Components(object.path, book.codePage);
        if (parts.empty())
            return true;  // it names the folder itself
        HANDLE folder = FolderFor(parts);
        if (folder == INVALID_HANDLE_VALUE)
            return false;
        if (!bytes.Readable()) {
            Unreadable(object);
            return true;
        }
        std::u16string name;
        HANDLE file = NewFile(folder, parts.back(), &name);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        std::u16string relative = Relative(name);
        Copy copied = IsPagePath(object.path) ? CopyPage(bytes, file) : CopyBytes(bytes, file);
        CloseHandle(file);
        if (copied != Copy::kDone) {
            DeleteFileInFolderW(folder, name.c_str());
            if (copied == Copy::kUnreadable) {
                Unreadable(object);
                return true;
            }
            Fail(writeError, relative);
            return false;
        }
        ++report.filesWritten;
        written[&object] = relative;
        return true;
    }

    bool WriteContentsPage()
    {
        CloseChain(0);
        std::string page = ContentsPage();
        std::u16string name;
        HANDLE file = NewFile(root, u"index.html", &name);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        bool done = WriteAll(file, page.data(), page.size());
        CloseHandle(file);
        if (!done) {
            DeleteFileInFolderW(root, name.c_str());
            Fail(writeError, name);
            return false;
        }
        ++report.filesWritten;
        report.contentsPage = name;
        return true;
    }

private:
    enum class Copy { kDone, kUnreadable, kWriteFailed };

    struct OpenFolder {
        std::u16string key;   // the book's path of the folder
        std::u16string name;  // the name it has on the disk
        HANDLE handle;
    };

    void Fail(DWORD error, const std::u16string& name)
    {
        report.error = error ? error : ERROR_WRITE_FAULT;
        report.failedName = name;
    }

    void Unreadable(const ObjectEntry& object)
    {
        if (report.unreadable++ == 0)
            report.firstUnreadable = object.path;
    }

    void CloseChain(size_t keep)
    {
        for (size_t i = chain.size(); i > keep; --i)
            CloseHandle(chain[i - 1].handle);
        chain.resize(std::min(keep, chain.size()));
    }

    std::u16string Relative(const std::u16string& name) const
    {
        std::u16string path;
        for (const OpenFolder& folder : chain)
            path += folder.name + u"/";
        return path + name;
    }

    // The folder of the object whose path is `parts`: the chain of the last
    // object's folders is kept open as far as the two share it.
    HANDLE FolderFor(const std::vector<std::u16string>& parts)
    {
        size_t depth = parts.size() - 1, same = 0;
        while (same < chain.size() && same < depth && chain[same].key == Join(parts, same + 1))
            ++same;
        CloseChain(same);
        for (size_t i = same; i < depth; ++i) {
            std::u16string key = Join(parts, i + 1);
            HANDLE parent = i == 0 ? root : chain[i - 1].handle;
            auto renamedTo = renamed.find(key);
            std::u16string name;
            HANDLE folder = INVALID_HANDLE_VALUE;
            // A file of the export may hold the folder's name (a book with
            // both /a and /a/b): the folder takes the next free name.
            for (int n = 1; n <= kMaxVariants && folder == INVALID_HANDLE_VALUE; ++n) {
                name = renamedTo != renamed.end() ? renamedTo->second : Variant(parts[i], n);
                folder = CreateFileInFolderW(parent, name.c_str(), OPEN_ALWAYS, FILE_ATTRIBUTE_DIRECTORY);
                if (folder == INVALID_HANDLE_VALUE && (GetLastError() != ERROR_DIRECTORY || renamedTo != renamed.end()))
                    break;
            }
            if (folder == INVALID_HANDLE_VALUE) {
                Fail(GetLastError(), Relative(name));
                return INVALID_HANDLE_VALUE;
            }
            if (name != parts[i])
                renamed[key] = name;
            chain.push_back({key, name, folder});
        }
        return depth == 0 ? root : chain.back().handle;
    }

    // A new file for `wanted` in the folder, under the first free variant of
    // its name; nothing that is there is ever opened or replaced.
    HANDLE NewFile(HANDLE folder, const std::u16string& wanted, std::u16string* name)
    {
        for (int n = 1; n <= kMaxVariants; ++n) {
            *name = Variant(wanted, n);
            HANDLE file = CreateFileInFolderW(folder, name->c_str(), CREATE_NEW, 0);
            if (file != INVALID_HANDLE_VALUE)
                return file;
            if (GetLastError() != ERROR_FILE_EXISTS)
                break;
        }
        Fail(GetLastError(), Relative(*name));
        return INVALID_HANDLE_VALUE;
    }

    bool WriteAll(HANDLE file, const void* bytes, size_t size)
    {
        for (size_t done = 0; done < size;) {
            DWORD piece = (DWORD)std::min<size_t>(size - done, 1u << 30), wrote = 0;
            if (!WriteFile(file, (const BYTE*)bytes + done, piece, &wrote, nullptr)) {
                writeError = GetLastError();
                return false;
            }
            done += wrote;
        }
        report.bytesWritten += size;
        return true;
    }

    Copy CopyBytes(ReadAhead::Object& bytes, HANDLE file)
    {
        const BYTE* piece;
        size_t count;
        while (bytes.NextPiece(&piece, &count)) {
            if (bytes.CameShort())
                return Copy::kUnreadable;
            if (!WriteAll(file, piece, count))
                return Copy::kWriteFailed;
        }
        return Copy::kDone;
    }

    // A page in UTF-8: read as the book's reader reads it (in the charset
    // it declares, else the book's), with that declaration made "utf-8".
    Copy CopyPage(ReadAhead::Object& bytes, HANDLE file)
    {
        BYTE head[kDeclarationWindow];
        size_t headLength = bytes.Head(head, sizeof head);
        size_t mark = 0, nameAt = 0, nameLength = 0;
        UINT declared = DeclaredCodePage(head, headLength, &mark, &nameAt, &nameLength);
        if ((mark > 0 || nameLength == 0) && !WriteAll(file, kUtf8Mark, sizeof kUtf8Mark))
            return Copy::kWriteFailed;
        // The declaration's place in the converted text.
        size_t unitsBefore = 0;
        if (nameLength > 0) {
            int units = MultiByteToWideChar(declared ? declared : book.codePage, 0, (LPCSTR)head + mark,
                                            (int)(nameAt - mark), nullptr, 0);
            unitsBefore = units > 0 ? (size_t)units : 0;
        }
        TextReader text(bytes, book.codePage);
        bool first = true;
        while (!text.Done()) {
            size_t count = text.Next(units, TextReader::kMaxPieceUnits);
            size_t cut = count, resume = count;
            if (first && nameLength > 0 && unitsBefore + nameLength <= count &&
                std::all_of(units + unitsBefore, units + unitsBefore + nameLength, [](WCHAR c) { return c < 0x80; })) {
                cut = unitsBefore;
                resume = unitsBefore + nameLength;
            }
            first = false;
            if (!WriteUtf8(file, units, cut))
                return Copy::kWriteFailed;
            if (resume != cut &&
                (!WriteAll(file, "utf-8", 5) || !WriteUtf8(file, units + resume, count - resume)))
                return Copy::kWriteFailed;
        }
        return text.CameShort() ? Copy::kUnreadable : Copy::kDone;
    }

    bool WriteUtf8(HANDLE file, const WCHAR* text, size_t count)
    {
        if (count == 0)
            return true;
        int bytes = WideCharToMultiByte(CP_UTF8, 0, text, (int)count, utf8, (int)sizeof utf8, nullptr, nullptr);
        return bytes > 0 && WriteAll(file, utf8, (size_t)bytes);
    }

    // The contents tree as nested lists; an entry's level is taken as it
    // comes, but never deeper than one below the entry before it.
    std::string ContentsPage()
    {
        WCHAR title[MAX_PATH];
        int units = MultiByteToWideChar(book.codePage, 0, book.Title(), -1, title, MAX_PATH);
        std::string name = units > 1 ? Utf8(title, units - 1) : "Contents";
        std::string page = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>";
        AppendEscaped(&page, name);
        page += "</title></head>\n<body>\n<h1>";
        AppendEscaped(&page, name);
        page += "</h1>\n";
        int open = 0;
        for (const TocEntry& entry : book.contents) {
            int level = std::clamp(entry.level, 1, open + 1);
            if (level > open) {
                page += "<ul>\n";
                ++open;
            } else {
                for (; open > level; --open)
                    page += "</li></ul>\n";
                page += "</li>\n";
            }
            page += "<li>";
            std::string text = Utf8(entry.title, wcslen(entry.title)), link = LinkOf(entry.local);
            if (link.empty()) {
                AppendEscaped(&page, text);
            } else {
                page += "<a href=\"";
                AppendEscaped(&page, link);
                page += "\">";
                AppendEscaped(&page, text);
                page += "</a>";
            }
        }
        for (; open > 0; --open)
            page += "</li></ul>\n";
        page += "</body></html>\n";
        return page;
    }

    // The file a contents entry's page was written to, with the place in it
    // that the entry names ("page.htm#part"); empty when none was written.
    std::string LinkOf(const WCHAR* local)
    {
        const ObjectEntry* page = local[0] ? book.FindObject(local) : nullptr;
        auto file = page ? written.find(page) : written.end();
        if (file == written.end())
            return {};
        std::string link;
        AppendLink(&link, Utf8(file->second));
        std::u16string whole(local);
        size_t slash = whole.rfind(u'/'), hash = whole.find(u'#', slash == std::u16string::npos ? 0 : slash);
        if (hash != std::u16string::npos && hash + 1 < whole.size() &&
            book.FindObject(whole.substr(0, hash).c_str()) == page) {
            link += '#';
            AppendLink(&link, Utf8(whole.substr(hash + 1)));
        }
        return link;
    }

    Book& book;
    HANDLE root;
    ExportReport& report;
    std::vector<OpenFolder> chain;
    std::unordered_map<std::u16string, std::u16string> renamed;  // book folder path -> the name it took
    std::unordered_map<const ObjectEntry*, std::u16string> written;  // relative paths, for the contents page
    DWORD writeError = ERROR_SUCCESS;
    WCHAR units[TextReader::kMaxPieceUnits];
    char utf8[3 * TextReader::kMaxPieceUnits];
};

// The folder ready for an export: made when missing (one level), refused
// when it holds anything. ERROR_SUCCESS, or why not.
DWORD PrepareFolder(LPCWSTR folder)
{
    DWORD attributes = GetFileAttributesW(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return CreateDirectoryW(folder, nullptr) ? ERROR_SUCCESS : GetLastError();
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return ERROR_DIRECTORY;
    WCHAR withSlash[MAX_PATH];
    if (FAILED(StringCchPrintfW(withSlash, MAX_PATH, u"%s\\", folder)))
        return ERROR_FILENAME_EXCED_RANGE;
    return FolderHoldsAnything(withSlash) ? ERROR_DIR_NOT_EMPTY : ERROR_SUCCESS;
}

} // namespace

ExportReport ExportBook(Book& book, LPCWSTR folder, ExportProgress progress, void* context)
{
    ExportReport report;
    if ((report.error = PrepareFolder(folder)) != ERROR_SUCCESS)
        return report;
    HANDLE root = OpenFolderW(folder);
    if (root == INVALID_HANDLE_VALUE) {
        report.error = GetLastError();
        return report;
    }
    // The book's own objects, each path once, in the order they are stored.
    std::vector<const ObjectEntry*> objects;
    std::unordered_map<std::string, bool> paths;
    for (const ObjectEntry* object : book.AllObjects()) {
        const char* path = object->path;
        size_t length = strlen(path);
        bool own = path[0] == '/' && path[1] != '#' && path[1] != '$' && length > 1 && path[length - 1] != '/';
        if (own && paths.emplace(path, true).second)
            objects.push_back(object);
    }
    std::stable_sort(objects.begin(), objects.end(), [](const ObjectEntry* a, const ObjectEntry* b) {
        return a->space != b->space ? a->space < b->space : a->start < b->start;
    });
    {
        auto exporter = std::make_unique<Exporter>(book, root, report);
        // The next objects are decoded while one is written.
        ReadAhead ahead(book, objects);
        bool going = true;
        for (size_t i = 0; i < objects.size() && going; ++i) {
            if (progress)
                progress(i, objects.size(), context);
            going = exporter->Export(*objects[i], *ahead.NextObject());
        }
        if (going)
            exporter->WriteContentsPage();
        if (progress)
            progress(objects.size(), objects.size(), context);
    }
    CloseHandle(root);
    return report;
}
