// The least work that reading a book needs, with chmlib alone: open the book,
// enumerate its directory, then either retrieve one sitemap's bytes (the first
// object whose path ends in the extension: ".hhc" for the contents, ".hhk"
// for the keyword index), or every page (.htm, .html) in the order the book
// stores them, which decompresses each block once. The yardsticks for
// `leafwise-book contents`, `index` and `search --scan` (see bench_book,
// bench_find).
//
//   bare_chmlib BOOK [EXTENSION]
//   bare_chmlib --pages BOOK
#include <chm_lib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool EndsWith(const char* path, const char* extension)
{
    size_t length = strlen(path), extensionLength = strlen(extension);
    return length > extensionLength && strcasecmp(path + length - extensionLength, extension) == 0;
}

struct Listing {
    const char* extension;
    size_t objects = 0;
    std::string sitemap;  // the first path that ends in the extension
    std::vector<chmUnitInfo> pages;
};

int Enumerate(chmFile*, chmUnitInfo* unit, void* context)
{
    Listing* listing = static_cast<Listing*>(context);
    ++listing->objects;
    if (listing->sitemap.empty() && EndsWith(unit->path, listing->extension))
        listing->sitemap = unit->path;
    if (unit->path[0] == '/' && (EndsWith(unit->path, ".htm") || EndsWith(unit->path, ".html")))
        listing->pages.push_back(*unit);
    return CHM_ENUMERATOR_CONTINUE;
}

}  // namespace

int main(int argc, char** argv)
{
    bool pages = argc == 3 && strcmp(argv[1], "--pages") == 0;
    if (argc < 2 || argc > 3 || (argc == 3 && !pages && argv[2][0] != '.')) {
        fputs("usage: bare_chmlib BOOK [EXTENSION]\n       bare_chmlib --pages BOOK\n", stderr);
        return 2;
    }
    const char* book = pages ? argv[2] : argv[1];
    chmFile* chm = chm_open(book);
    if (!chm) {
        fprintf(stderr, "bare_chmlib: cannot open %s\n", book);
        return 1;
    }
    Listing listing;
    listing.extension = !pages && argc == 3 ? argv[2] : ".hhc";
    chm_enumerate(chm, CHM_ENUMERATE_ALL, Enumerate, &listing);
    if (pages) {
        std::sort(listing.pages.begin(), listing.pages.end(), [](const chmUnitInfo& a, const chmUnitInfo& b) {
            return a.space != b.space ? a.space < b.space : a.start < b.start;
        });
        std::vector<unsigned char> bytes;
        unsigned long long total = 0;
        for (chmUnitInfo& unit : listing.pages) {
            bytes.resize(unit.length);
            total += chm_retrieve_object(chm, &unit, bytes.data(), 0, unit.length);
        }
        printf("%zu pages: %llu bytes\n", listing.pages.size(), total);
        chm_close(chm);
        return 0;
    }
    chmUnitInfo unit;
    if (listing.sitemap.empty() || chm_resolve_object(chm, listing.sitemap.c_str(), &unit) != CHM_RESOLVE_SUCCESS) {
        fprintf(stderr, "bare_chmlib: no %s file in %s\n", listing.extension, book);
        chm_close(chm);
        return 1;
    }
    std::vector<unsigned char> bytes(unit.length);
    LONGINT64 got = chm_retrieve_object(chm, &unit, bytes.data(), 0, unit.length);
    printf("%zu objects, %s: %lld bytes\n", listing.objects, listing.sitemap.c_str(), (long long)got);
    chm_close(chm);
    return 0;
}
