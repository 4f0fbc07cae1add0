// The least work that listing a book's contents needs, with chmlib alone:
// open the book, enumerate its directory, retrieve the contents file's bytes.
// The yardstick for `leafwise-book contents` (see bench_book).
//
//   bare_chmlib BOOK
#include <chm_lib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Listing {
    size_t objects = 0;
    std::string contentsFile;  // the first path that ends in ".hhc"
};

int Enumerate(chmFile*, chmUnitInfo* unit, void* context)
{
    Listing* listing = static_cast<Listing*>(context);
    ++listing->objects;
    size_t length = strlen(unit->path);
    if (listing->contentsFile.empty() && length > 4 && strcasecmp(unit->path + length - 4, ".hhc") == 0)
        listing->contentsFile = unit->path;
    return CHM_ENUMERATOR_CONTINUE;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        fputs("usage: bare_chmlib BOOK\n", stderr);
        return 2;
    }
    chmFile* chm = chm_open(argv[1]);
    if (!chm) {
        fprintf(stderr, "bare_chmlib: cannot open %s\n", argv[1]);
        return 1;
    }
    Listing listing;
    chm_enumerate(chm, CHM_ENUMERATE_ALL, Enumerate, &listing);
    chmUnitInfo unit;
    if (listing.contentsFile.empty() || chm_resolve_object(chm, listing.contentsFile.c_str(), &unit) != CHM_RESOLVE_SUCCESS) {
        fprintf(stderr, "bare_chmlib: no contents file in %s\n", argv[1]);
        chm_close(chm);
        return 1;
    }
    std::vector<unsigned char> bytes(unit.length);
    LONGINT64 got = chm_retrieve_object(chm, &unit, bytes.data(), 0, unit.length);
    printf("%zu objects, %s: %lld bytes\n", listing.objects, listing.contentsFile.c_str(), (long long)got);
    chm_close(chm);
    return 0;
}
