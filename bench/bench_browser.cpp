// The file browser opening a big folder, against find and sort listing it.
// Run on demand, never as a test:
//
//   bench_browser [REPETITIONS]
//
// It makes, in a folder of its own under /tmp, a folder "big" of 5,000 books
// and 500 folders and a folder "small" of 50 books and 5 folders, points the
// device's root there (LEAFWISE_ROOT), and runs the browser on the root. Each
// round selects "big" (then "small"), presses "Open" and paints the list and
// its label: that is the time measured, from the command to the painted list;
// Back then returns to the root. Between the rounds it runs
// `find FOLDER -maxdepth 1 -printf '%y %f\n' | LC_ALL=C sort` on the same
// folder. It prints:
//   big        "Open" on the big folder against find | sort (target <= 3x);
//   small      the same for the small folder (for reference);
//   per entry  the big folder's time per row against the small folder's
//              (target <= 1x: nothing grows faster than the rows).
// Every figure is the median of the repetitions (default 9), the browser and
// find measured interleaved so that the machine's load hits both alike.
// Headless (QT_QPA_PLATFORM=offscreen unless set).
#include <windows.h>

#include <commctrl.h>
#include <aygshell.h>
#include <lwdevice.h>

#include "FileBrowser.h"
#include "benchtiming.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Folder {
    const char16_t* name;  // its row
    const char* hostName;
    int books;
    int folders;
    std::vector<double> opens;  // ms, "Open" to the painted list
    std::vector<double> finds;  // ms, find | sort
    bool listedWhole = true;
};

// Names in no order of their own, mixed case and lengths, so the sort works.
void MakeFolder(const fs::path& path, int books, int folders)
{
    fs::create_directories(path);
    const char* stems[] = {"Guide", "notes", "Manual", "reference", "API", "tutorial"};
    unsigned seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    for (int i = 0; i < books; ++i) {
        char name[64];
        snprintf(name, sizeof name, "%s %05u-%d.chm", stems[next() % 6], next() % 100000, i);
        std::ofstream(path / name) << "x";
    }
    for (int i = 0; i < folders; ++i) {
        char name[64];
        snprintf(name, sizeof name, "%s %04u-%d", stems[next() % 6], next() % 10000, i);
        fs::create_directory(path / name);
    }
}

// find | sort on `folder`, its output thrown away; -1 when it failed.
double RunFind(const fs::path& folder)
{
    std::string script = "find '" + folder.string() + "' -maxdepth 1 -printf '%y %f\\n' | LC_ALL=C sort";
    return RunTimed({"/bin/sh", "-c", script});
}

// From the root: the folder's row alone selected, "Open", the list and label painted; then Back.
double OpenTimed(FileBrowser& browser, Folder& folder)
{
    int row = -1;
    for (size_t i = 0; i < browser.entries.size(); ++i)
        if (std::u16string(browser.entries[i].name) == folder.name)
            row = static_cast<int>(i);
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(browser.list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(browser.list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
    UpdateWindow(browser.list);

    Clock::time_point start = Clock::now();
    SendMessageW(browser.dialog, WM_COMMAND, IDOK, 0);
    UpdateWindow(browser.label);
    UpdateWindow(browser.list);
    double elapsed = Milliseconds(start);

    // "..", the folders, the books.
    if (browser.entries.size() != static_cast<size_t>(1 + folder.folders + folder.books))
        folder.listedWhole = false;
    SendMessageW(browser.dialog, WM_HOTKEY, 0, MAKELPARAM(0, VK_TBACK));
    UpdateWindow(browser.list);
    return elapsed;
}

struct Run {
    FileBrowser* browser;
    fs::path root;
    std::vector<Folder>* folders;
    int repetitions;
    bool done = false;
} run;

// Measures from inside the browser's own loop once it shows, then ends it.
LRESULT CALLBACK DriverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_TIMER)
        return DefWindowProcW(window, message, wParam, lParam);
    FileBrowser& browser = *run.browser;
    if (!browser.list || GetActiveWindow() != browser.dialog)
        return 0;
    KillTimer(window, 1);
    for (int i = 0; i < run.repetitions; ++i) {
        for (Folder& folder : *run.folders) {
            folder.opens.push_back(OpenTimed(browser, folder));
            folder.finds.push_back(RunFind(run.root / folder.hostName));
        }
    }
    run.done = true;
    PostMessageW(browser.dialog, WM_COMMAND, IDCANCEL, 0);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    char top[] = "/tmp/leafwise-bench-browser-XXXXXX";
    if (!mkdtemp(top)) {
        perror("mkdtemp");
        return 1;
    }
    fs::path root = top;
    std::vector<Folder> folders = {{u"big", "big", 5000, 500, {}, {}}, {u"small", "small", 50, 5, {}, {}}};
    for (const Folder& folder : folders)
        MakeFolder(root / folder.hostName, folder.books, folder.folders);
    setenv("LEAFWISE_ROOT", top, 1);
    LwDeviceStart();

    WNDCLASSW driverClass = {};
    driverClass.lpfnWndProc = DriverProc;
    driverClass.lpszClassName = u"BenchDriver";
    RegisterClassW(&driverClass);
    HWND timer = CreateWindowExW(0, u"BenchDriver", u"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    SetTimer(timer, 1, 10, nullptr);

    FileBrowser browser;
    browser.SetFilter(u"*.chm");
    browser.SetFolder(u"\\");
    browser.SetTitle(u"Select CHM File");
    run = {&browser, root, &folders, repetitions};
    browser.RunModal(GetModuleHandleW(nullptr), nullptr);
    DestroyWindow(timer);
    std::error_code ignored;
    fs::remove_all(root, ignored);
    if (!run.done) {
        fprintf(stderr, "the browser never showed\n");
        return 1;
    }

    double perEntry[2];
    for (size_t i = 0; i < folders.size(); ++i) {
        const Folder& folder = folders[i];
        int rows = 1 + folder.books + folder.folders;
        double open = Median(folder.opens), find = Median(folder.finds);
        perEntry[i] = open / rows;
        printf("%-10s %5d rows: \"Open\" to the painted list %.2f ms against %.2f ms for find | sort: %.2fx%s%s\n",
               folder.hostName, rows, open, find, open / find, i == 0 ? " (target <= 3x)" : "",
               folder.listedWhole ? "" : " (NOT every row listed)");
    }
    printf("per entry  %.2f us against %.2f us for the small folder: %.2fx (target <= 1x)\n", perEntry[0] * 1000,
           perEntry[1] * 1000, perEntry[0] / perEntry[1]);
    return 0;
}
