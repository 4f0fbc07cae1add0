// Speed and memory of the book engine against chmlib doing the bare minimum.
// Run on demand, never as a test:
//
//   bench_book TOOL BARE BOOKS [REPETITIONS]
//
// TOOL is leafwise-book, BARE is bare_chmlib, BOOKS the folder that
// make-books.sh filled (large.chm, huge.chm; quirk/ holds the copies that keep
// chmcmd's listing fault). For each form of the books it prints:
//   contents  `TOOL contents huge.chm` against `BARE huge.chm` (target <= 1.5x),
//             and enum_chmLib on the same book;
//   extract   ExtractPage of a page with ten or more images against chmlib's
//             chm_resolve_object + chm_retrieve_object of the same objects, on
//             the large and the huge book (target <= 1.5x, flat), and the
//             lookup of an image that is not in the book;
//   memory    peak resident size of `TOOL contents huge.chm` against a third
//             of the book's size (via /usr/bin/time -v).
// Every figure is the median of the repetitions (default 9 for processes, 41
// in process), measured interleaved so that the machine's load hits all alike.
//
// The scratch folder (LEAFWISE_TEMP) is made on a tmpfs: $XDG_RUNTIME_DIR when
// it is set, else /dev/shm. The program's own default is the runtime folder,
// a tmpfs on Linux desktops as the device's \Temp is RAM; on disk each of the
// files an extraction writes would cost a file creation that the bare reader
// never pays.
#include <windows.h>

#include <Book.h>
#include "benchsupport.h"
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>
namespace fs = std::filesystem;

namespace {

void BenchContents(const std::string& tool, const std::string& bare, const std::string& book, int repetitions)
{
    std::vector<double> toolTimes, bareTimes, enumTimes;
    for (int i = 0; i < repetitions + 1; ++i) {
        double t = RunTimed({tool, "contents", book});
        double b = RunTimed({bare, book});
        double e = RunTimed({"enum_chmLib", book});
        if (t < 0 || b < 0) {
            printf("  contents: a run failed (%s)\n", t < 0 ? "leafwise-book" : "bare_chmlib");
            return;
        }
        if (i == 0)
            continue;  // the first round only warms the page cache
        toolTimes.push_back(t);
        bareTimes.push_back(b);
        enumTimes.push_back(e);
    }
    double t = Median(toolTimes), b = Median(bareTimes), e = Median(enumTimes);
    printf("  contents huge: leafwise-book %.1f ms, bare chmlib %.1f ms, ratio %.2fx (target <= 1.5x); "
           "enum_chmLib %.1f ms\n",
           t, b, t / b, e);
}

void BenchExtract(const std::string& bookFile, const char* label, int repetitions)
{
    Book book;
    if (!book.LoadContents(DevicePath(bookFile).c_str())) {
        printf("  extract %s: cannot load the book\n", label);
        return;
    }
    ImagePage target = FindImagePage(book, 10);
    if (target.objects.empty()) {
        printf("  extract %s: no page with ten images\n", label);
        return;
    }
    chmFile* chm = chm_open(bookFile.c_str());
    std::vector<unsigned char> buffer;
    std::vector<double> engine, bare, missing, bareMissing;
    for (int i = 0; i < repetitions + 1; ++i) {
        book.ClearTempFolder();
        Clock::time_point start = Clock::now();
        book.ExtractPage(target.page.c_str(), u"\\Temp");
        double e = Milliseconds(start);

        start = Clock::now();
        for (const std::string& path : target.objects) {
            chmUnitInfo unit;
            if (chm_resolve_object(chm, path.c_str(), &unit) != CHM_RESOLVE_SUCCESS)
                continue;
            buffer.resize(unit.length);
            chm_retrieve_object(chm, &unit, buffer.data(), 0, unit.length);
        }
        double b = Milliseconds(start);

        start = Clock::now();
        const ObjectEntry* none = book.FindObject(u"/no/such/image-in-this-book.gif");
        double m = Milliseconds(start);
        start = Clock::now();
        chmUnitInfo unit;
        int bareResult = chm_resolve_object(chm, "/no/such/image-in-this-book.gif", &unit);
        double bm = Milliseconds(start);
        if (none || bareResult == CHM_RESOLVE_SUCCESS)
            printf("  extract %s: the missing image was found?\n", label);
        if (i == 0)
            continue;
        engine.push_back(e);
        bare.push_back(b);
        missing.push_back(m);
        bareMissing.push_back(bm);
    }
    chm_close(chm);
    book.ClearTempFolder();
    double e = Median(engine), b = Median(bare);
    char page[4 * MAX_PATH];
    WideCharToMultiByte(CP_UTF8, 0, target.page.c_str(), -1, page, sizeof page, nullptr, nullptr);
    printf("  extract %s, page %s\n", label, page);
    printf("  extract %s (%zu objects: a page and %zu images; %zu objects listed): ExtractPage %.3f ms, "
           "bare chmlib %.3f ms, ratio %.2fx (target <= 1.5x); missing image: FindObject %.1f us, "
           "bare chm_resolve_object %.1f us\n",
           label, book.objects.size() ? target.objects.size() : 0, target.objects.size() - 1,
           book.objects.size(), e, b, e / b, Median(missing) * 1000, Median(bareMissing) * 1000);
}

void BenchMemory(const std::string& tool, const std::string& book)
{
    long peakKb = PeakResidentKb({tool, "contents", book});
    if (peakKb < 0) {
        printf("  memory: /usr/bin/time -v failed\n");
        return;
    }
    double bookMb = fs::file_size(book) / 1048576.0;
    printf("  memory contents huge: peak %.1f MB, book %.1f MB, peak/book %.2f (target <= 0.33)\n",
           peakKb / 1024.0, bookMb, peakKb / 1024.0 / bookMb);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        fputs("usage: bench_book TOOL BARE BOOKS [REPETITIONS]\n", stderr);
        return 2;
    }
    std::string tool = fs::absolute(argv[1]), bare = fs::absolute(argv[2]), books = argv[3];
    int repetitions = argc > 4 ? atoi(argv[4]) : 9;
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    std::string scratch = std::string(runtime && *runtime ? runtime : "/dev/shm") + "/bench-book-XXXXXX";
    if (!mkdtemp(scratch.data())) {
        perror(("mkdtemp " + scratch).c_str());
        return 1;
    }
    setenv("LEAFWISE_TEMP", scratch.c_str(), 1);

    for (const auto& [label, folder] : {std::pair<const char*, std::string>{"fixed", books},
                                        std::pair<const char*, std::string>{"quirk", books + "/quirk"}}) {
        std::string huge = folder + "/huge.chm", large = folder + "/large.chm";
        if (!fs::exists(huge) || !fs::exists(large)) {
            printf("%s: no books in %s\n", label, folder.c_str());
            continue;
        }
        printf("%s books (%s)\n", label, folder.c_str());
        BenchContents(tool, bare, huge, repetitions);
        BenchExtract(large, "large", repetitions * 4 + 5);
        BenchExtract(huge, "huge", repetitions * 4 + 5);
        BenchMemory(tool, huge);
    }
    fs::remove_all(scratch);
    return 0;
}
