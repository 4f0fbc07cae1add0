// leafwise-book: the book engine on the command line, for scripts, tests and
// people who want a page out of a book.
//
//   leafwise-book objects BOOK
//   leafwise-book contents BOOK
//   leafwise-book extract BOOK PAGE [FOLDER]
#include <windows.h>

#include <Book.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: leafwise-book objects BOOK\n"
    "       leafwise-book contents BOOK\n"
    "       leafwise-book extract BOOK PAGE [FOLDER]\n";

// A field of the output: UTF-8, with the separators escaped.
std::string Field(const char* utf8)
{
    std::string out;
    for (const char* p = utf8;;) {
        // Whole spans without a character to escape are copied at once.
        size_t span = strcspn(p, "\t\n\r\\");
        out.append(p, span);
        p += span;
        switch (*p) {
        case 0: return out;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\\': out += "\\\\"; break;
        }
        ++p;
    }
}

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
        fprintf(stderr, "leafwise-book: %s %s: path not usable\n", what, host);
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
    std::string out;
    for (const ObjectEntry& entry : book.objects) {
        out += Field(entry.path);
        out += '\t' + std::to_string(entry.length) + '\t' + std::to_string(entry.space) + '\t' +
               std::to_string(entry.start) + '\n';
    }
    fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}

int ListContents(const char* bookPath)
{
    Book book;
    WCHAR path[MAX_PATH];
    if (!DevicePath(bookPath, path, "book"))
        return 1;
    // A book without a contents file lists nothing; only an unusable file fails.
    if (!book.LoadContents(path) && !book.chm) {
        fprintf(stderr, "leafwise-book: cannot open book %s\n", bookPath);
        return 1;
    }
    std::string out;
    for (const TocEntry& entry : book.contents) {
        out += std::to_string(entry.level) + '\t' + Field(Utf8(entry.title).c_str()) + '\t' +
               Field(Utf8(entry.local).c_str()) + '\n';
    }
    fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}

int Extract(const char* bookPath, const char* page, const char* hostFolder)
{
    Book book;
    WCHAR folder[MAX_PATH];
    if (hostFolder) {
        if (!DevicePath(hostFolder, folder, "folder"))
            return 1;
    } else {
        StringCchCopyW(folder, MAX_PATH, u"\\Temp");
    }
    size_t length = wcslen(folder);
    while (length > 1 && folder[length - 1] == '\\')
        folder[--length] = 0;
    WCHAR folderWithSlash[MAX_PATH];
    if (FAILED(StringCchPrintfW(folderWithSlash, MAX_PATH, u"%s\\", folder))) {
        fprintf(stderr, "leafwise-book: folder %s: path too long\n", hostFolder);
        return 1;
    }
    if (!OpenBook(book, bookPath))
        return 1;
    ClearFolder(folderWithSlash);
    if (!book.ExtractPage(Wide(page).c_str(), folder)) {
        fprintf(stderr, "leafwise-book: page %s is not in book %s\n", page, bookPath);
        return 1;
    }
    // The folder was emptied first, so what it holds now is what was written.
    std::vector<std::string> names;
    WCHAR pattern[MAX_PATH];
    WIN32_FIND_DATAW found;
    StringCchPrintfW(pattern, MAX_PATH, u"%s*.*", folderWithSlash);
    HANDLE search = FindFirstFileW(pattern, &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                names.push_back(Utf8(found.cFileName));
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names)
        printf("%s\n", Field(name.c_str()).c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::string command = argc > 1 ? argv[1] : "";
    if (command == "objects" && argc == 3)
        return ListObjects(argv[2]);
    if (command == "contents" && argc == 3)
        return ListContents(argv[2]);
    if (command == "extract" && (argc == 4 || argc == 5))
        return Extract(argv[2], argv[3], argc == 5 ? argv[4] : nullptr);
    fputs(kUsage, stderr);
    return 2;
}
