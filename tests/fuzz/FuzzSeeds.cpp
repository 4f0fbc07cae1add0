// fuzz-seeds: the seed corpora of the page fuzzers, taken from real books at
// build time (never committed): the pages and pictures each book holds, and
// the small books themselves.
//
//   fuzz-seeds OUT BOOK...     writes OUT/page, OUT/image and OUT/book
#include <Book.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

// Enough of each book to cover its kinds of page and picture, and small
// inputs: libFuzzer mutates small files far faster.
constexpr size_t kPagesPerBook = 40;
constexpr size_t kPicturesPerBook = 40;
constexpr DWORD kMaxPageBytes = 64 * 1024;
constexpr DWORD kMaxPictureBytes = 256 * 1024;
constexpr uintmax_t kMaxBookBytes = 1024 * 1024;

bool EndsWith(std::string text, std::initializer_list<const char*> suffixes)
{
    for (char& c : text)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    for (const char* suffix : suffixes) {
        size_t n = strlen(suffix);
        if (text.size() > n && text.compare(text.size() - n, n, suffix) == 0)
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        fputs("usage: fuzz-seeds OUT BOOK...\n", stderr);
        return 2;
    }
    fs::path out = argv[1];
    for (const char* kind : {"page", "image", "book"})
        fs::create_directories(out / kind);
    for (int k = 2; k < argc; ++k) {
        fs::path bookPath = fs::absolute(argv[k]);
        std::string name = bookPath.stem().string();
        if (fs::file_size(bookPath) <= kMaxBookBytes)
            fs::copy_file(bookPath, out / "book" / bookPath.filename(), fs::copy_options::overwrite_existing);
        WCHAR device[MAX_PATH];
        if (!HostToDevicePath(bookPath.c_str(), device, MAX_PATH))
            continue;
        Book book;
        book.LoadContents(device);
        size_t pages = 0, pictures = 0;
        for (const ObjectEntry& object : book.objects) {
            bool page = EndsWith(object.path, {".htm", ".html"}) && object.length <= kMaxPageBytes && pages < kPagesPerBook;
            bool picture = EndsWith(object.path, {".gif", ".jpg", ".jpeg", ".png", ".bmp", ".ico"}) &&
                           object.length <= kMaxPictureBytes && pictures < kPicturesPerBook;
            if (!page && !picture)
                continue;
            BYTE* bytes = book.ReadObject(object);
            if (!bytes)
                continue;
            std::string file = name + "-" + std::to_string(page ? pages++ : pictures++);
            std::ofstream(out / (page ? "page" : "image") / file, std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes), object.length);
            free(bytes);
        }
        book.Close();
    }
    return 0;
}
