// Speed and memory of the keyword index, search and export against their
// peers, each pair measured side by side (interleaved, medians). Run on
// demand, never as a test:
//
//   bench_find TOOL BARE CORPUS BOOKS [REPETITIONS]
//
// TOOL is leafwise-book, BARE is bare_chmlib, CORPUS the folder of the real
// books (pywin32.chm, svn-book.chm), BOOKS the folder that make-books.sh
// filled (huge.chm); python3-chm and libchm-bin (extract_chmLib) are the
// peers. It prints:
//   index    `TOOL index pywin32.chm` against `BARE pywin32.chm .hhk`, chmlib
//            opening the book and retrieving the .hhk (target <= 1.5x);
//   search   through the book's full-text index: SearchBook on a book opened
//            with its contents, against python3-chm's CHMFile.Search (whole
//            words) on a book loaded by LoadCHM, both from a fresh open each
//            time, the search alone timed (target: 5x faster at least); and
//            the same as a user runs it: `TOOL search BOOK WORD` against a
//            python3 process that loads the book, searches and prints;
//   scan     `TOOL search --scan BOOK the` against `BARE --pages BOOK`, every
//            page decompressed in storage order (target <= 1.3x), and the
//            peak memory of the scan of the huge book (target <= 64 MB);
//   export   `TOOL export BOOK DIR` against chmlib's `extract_chmLib BOOK DIR`
//            (target <= 1.2x), and the peak memory of the huge book's export
//            (target <= 64 MB). DIR is on a tmpfs ($XDG_RUNTIME_DIR, else
//            /dev/shm), made afresh for every run.
#include <windows.h>

#include <Book.h>
#include <Search.h>

#include "benchsupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// One search by python3-chm in a process of its own, after LoadCHM: the
// seconds that Search took, or a negative number.
const char kPythonSearch[] =
    "import sys, time\n"
    "import chm.chm as c\n"
    "f = c.CHMFile()\n"
    "if not f.LoadCHM(sys.argv[1]): sys.exit(1)\n"
    "t = time.perf_counter()\n"
    "found = f.Search(sys.argv[2].encode(), 1, 0)\n"
    "print(time.perf_counter() - t, len(found[1]) if found and found[1] else 0)\n";

// The same as a script runs it, printing what it found.
const char kPythonScript[] =
    "import sys\n"
    "import chm.chm as c\n"
    "f = c.CHMFile()\n"
    "f.LoadCHM(sys.argv[1])\n"
    "partial, found = f.Search(sys.argv[2].encode(), 1, 0)\n"
    "for title, url in sorted(found.items()): print(title, url)\n";

std::string WriteScript(const char* text, const char* name)
{
    std::string script = (fs::temp_directory_path() / (name + std::to_string(getpid()) + ".py")).string();
    if (FILE* file = fopen(script.c_str(), "w")) {
        fputs(text, file);
        fclose(file);
    }
    return script;
}

double PythonSearch(const std::string& book, const std::string& word, int* found)
{
    std::string script = WriteScript(kPythonSearch, "bench-find-");
    std::string command = "/usr/bin/python3 " + script + " '" + book + "' '" + word + "'";
    double seconds = -1;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        if (fscanf(pipe, "%lf %d", &seconds, found) != 2)
            seconds = -1;
        pclose(pipe);
    }
    unlink(script.c_str());
    return seconds * 1000;
}

// Process against process, interleaved: the medians and their ratio.
void Compare(const char* what, const std::vector<std::string>& ours, const std::vector<std::string>& peer,
             int repetitions, double target, const std::function<void()>& between = {})
{
    std::vector<double> a, b;
    for (int i = 0; i <= repetitions; ++i) {
        if (between)
            between();
        double t = RunTimed(ours);
        if (between)
            between();
        double p = RunTimed(peer);
        if (t < 0 || p < 0) {
            printf("  %s: a run failed (%s)\n", what, t < 0 ? ours[0].c_str() : peer[0].c_str());
            return;
        }
        if (i > 0) {  // the first round only warms the page cache
            a.push_back(t);
            b.push_back(p);
        }
    }
    printf("  %s: leafwise-book %.1f ms, %s %.1f ms, ratio %.2fx (target <= %.1fx)\n", what, Median(a),
           fs::path(peer[0]).filename().c_str(), Median(b), Median(a) / Median(b), target);
}

void BenchSearch(const std::string& toolPath, const std::string& bookFile, const std::vector<std::string>& words,
                 int repetitions)
{
    for (const std::string& word : words) {
        std::vector<double> ours, theirs;
        size_t pages = 0;
        int found = 0;
        bool throughIndex = true;
        for (int i = 0; i <= repetitions; ++i) {
            double python = PythonSearch(bookFile, word, &found);
            Book book;
            book.LoadContents(DevicePath(bookFile).c_str());
            Clock::time_point start = Clock::now();
            SearchResult result = SearchBook(book, {std::u16string(word.begin(), word.end())}, {});
            double ms = Milliseconds(start);
            pages = result.pages.size();
            throughIndex = throughIndex && result.throughIndex;
            if (python < 0) {
                printf("  search %s: python3-chm failed\n", word.c_str());
                return;
            }
            if (i > 0) {
                ours.push_back(ms);
                theirs.push_back(python);
            }
        }
        printf("  search %s \"%s\": SearchBook %.2f ms (%zu pages%s), CHMFile.Search %.2f ms (%d pages), "
               "%.1fx faster (target >= 5x)\n",
               fs::path(bookFile).filename().c_str(), word.c_str(), Median(ours), pages,
               throughIndex ? ", through the index" : ", NOT through the index", Median(theirs), found,
               Median(theirs) / Median(ours));
        std::string script = WriteScript(kPythonScript, "bench-find-script-");
        std::vector<double> tool, python;
        for (int i = 0; i <= repetitions; ++i) {
            double t = RunTimed({toolPath, "search", bookFile, word});
            double p = RunTimed({"/usr/bin/python3", script, bookFile, word});
            if (i > 0 && t >= 0 && p >= 0) {
                tool.push_back(t);
                python.push_back(p);
            }
        }
        unlink(script.c_str());
        printf("  search %s \"%s\" as processes: leafwise-book %.1f ms, python3 %.1f ms, %.1fx faster\n",
               fs::path(bookFile).filename().c_str(), word.c_str(), Median(tool), Median(python),
               Median(python) / Median(tool));
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 5) {
        fputs("usage: bench_find TOOL BARE CORPUS BOOKS [REPETITIONS]\n", stderr);
        return 2;
    }
    std::string tool = fs::absolute(argv[1]), bare = fs::absolute(argv[2]);
    std::string corpus = fs::absolute(argv[3]), books = fs::absolute(argv[4]);
    int repetitions = argc > 5 ? atoi(argv[5]) : 9;
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    std::string scratch = std::string(runtime && *runtime ? runtime : "/dev/shm") + "/bench-find-XXXXXX";
    if (!mkdtemp(scratch.data())) {
        perror(("mkdtemp " + scratch).c_str());
        return 1;
    }
    setenv("LEAFWISE_TEMP", (scratch + "/temp").c_str(), 1);
    std::string pywin32 = corpus + "/pywin32.chm", svnBook = corpus + "/svn-book.chm", huge = books + "/huge.chm";

    printf("index\n");
    Compare("index pywin32", {tool, "index", pywin32}, {bare, pywin32, ".hhk"}, repetitions, 1.5);

    printf("search through the book's index\n");
    BenchSearch(tool, pywin32, {"window", "handle", "registry"}, repetitions);
    BenchSearch(tool, svnBook, {"commit", "repository"}, repetitions);

    printf("search by scan\n");
    for (const std::string& book : {pywin32, huge}) {
        std::string what = "scan " + fs::path(book).filename().string();
        Compare(what.c_str(), {tool, "search", "--scan", book, "the"}, {bare, "--pages", book},
                book == huge ? std::max(3, repetitions / 3) : repetitions, 1.3);
    }
    printf("  memory scan huge: peak %.1f MB (target <= 64 MB)\n",
           PeakResidentKb({tool, "search", "--scan", huge, "the"}) / 1024.0);

    printf("export\n");
    std::string out = scratch + "/out";
    auto clear = [&out] { fs::remove_all(out); };
    for (const std::string& book : {pywin32, huge}) {
        std::string what = "export " + fs::path(book).filename().string();
        Compare(what.c_str(), {tool, "export", book, out}, {"extract_chmLib", book, out},
                book == huge ? std::max(3, repetitions / 3) : repetitions, 1.2, clear);
    }
    clear();
    printf("  memory export huge: peak %.1f MB (target <= 64 MB)\n",
           PeakResidentKb({tool, "export", huge, out}) / 1024.0);
    fs::remove_all(scratch);
    return 0;
}
