// The contents tree of a big book: filled as the program fills it, against
// leafwise-book listing the same contents. Run on demand, never as a test:
//
//   bench_tree TOOL BOOK [REPETITIONS]
//
// TOOL is leafwise-book, BOOK the huge benchmark book (see bench_book.cpp for
// how they are made). The entries come from the book engine, as the contents
// window gets them. It prints:
//   fill    creating the tree, one TVM_INSERTITEMW per contents entry as the
//           contents window's FillTree sends them (a parent per level,
//           TVI_LAST, the title and the entry's address) and painting it once,
//           against `TOOL contents BOOK` (target <= 0.5x);
//   memory  bytes the filled and painted tree holds per item besides its
//           text (target <= 96): heap in use, from malloc's own count, plus
//           what is resident of the regions the tree maps for its items;
//   scroll  painting one screen of the tree scrolled to its middle, every item
//           shown, against the same on a tree of 100 items (target ~1x).
// Every figure is the median of the repetitions (default 9), the fill and the
// tool measured interleaved so that the machine's load hits both alike. Runs
// headless (QT_QPA_PLATFORM=offscreen unless set).
#include <windows.h>

#include <commctrl.h>

#include "benchsupport.h"

#include <cstdio>
#include <malloc.h>

namespace {

using Entries = std::vector<const TocEntry*>;

LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND MakeParent()
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = ParentProc;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = u"BenchParent";
    RegisterClassW(&wc);
    return CreateWindowExW(0, u"BenchParent", u"Bench", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
}

HWND MakeTree(HWND parent)
{
    RECT client;
    GetClientRect(parent, &client);
    // The contents window's tree: WS_CHILD | WS_VISIBLE | buttons, lines, lines at the root.
    return CreateWindowExW(0, WC_TREEVIEWW, u"TreeItem", 0x50000007, 0, 0, client.right, client.bottom, parent,
                           reinterpret_cast<HMENU>(4098), nullptr, nullptr);
}

// FillTree: a table of parents by level, each entry under the last item one
// level up. Levels outside the table are held to its ends here.
void Fill(HWND tree, const Entries& entries, UINT extraState = 0)
{
    HTREEITEM parents[32];
    std::fill(std::begin(parents), std::end(parents), TVI_ROOT);
    WCHAR text[256];
    for (const TocEntry* entry : entries) {
        int level = std::clamp(entry->level, 1, 31);
        size_t length = std::min<size_t>(wcslen(entry->title), 255);
        std::copy(entry->title, entry->title + length, text);
        text[length] = 0;
        TVINSERTSTRUCTW insert{};
        insert.hParent = parents[level - 1];
        insert.hInsertAfter = TVI_LAST;
        insert.item.mask = TVIF_TEXT | TVIF_PARAM | (extraState ? TVIF_STATE : 0);
        insert.item.pszText = text;
        insert.item.cchTextMax = static_cast<int>(length);
        insert.item.lParam = reinterpret_cast<LPARAM>(entry);
        insert.item.state = insert.item.stateMask = extraState;
        parents[level] = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
    }
}

// Resident bytes of the anonymous mappings that are not the heap: malloc's
// own big blocks and the regions of VirtualAlloc.
double MappedResident()
{
    FILE* maps = fopen("/proc/self/smaps", "r");
    if (!maps)
        return 0;
    char line[512];
    bool anonymous = false;
    double bytes = 0;
    while (fgets(line, sizeof line, maps)) {
        unsigned long start, end, inode;
        char path[256] = "";
        if (sscanf(line, "%lx-%lx %*s %*s %*s %lu %255s", &start, &end, &inode, path) >= 3)
            anonymous = inode == 0 && path[0] == 0;
        else if (unsigned long kb; anonymous && sscanf(line, "Rss: %lu kB", &kb) == 1)
            bytes += kb * 1024.0;
    }
    fclose(maps);
    return bytes;
}

// What the tree holds: malloc's blocks in use, and the regions (resident
// mappings less malloc's own big blocks).
double Held()
{
    struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks) + MappedResident() - static_cast<double>(info.hblkhd);
}

// Creating, filling and painting once, in ms; *heapPerItem gets the bytes
// the items hold besides their texts.
double FillOnce(HWND parent, const Entries& entries, double* heapPerItem)
{
    double before = Held();
    Clock::time_point start = Clock::now();
    HWND tree = MakeTree(parent);
    Fill(tree, entries);
    UpdateWindow(tree);
    double elapsed = Milliseconds(start);
    size_t text = 0;
    for (const TocEntry* entry : entries)
        text += std::min<size_t>(wcslen(entry->title), 255) * sizeof(char16_t);
    double held = Held() - before;
    *heapPerItem = (held - static_cast<double>(text)) / static_cast<double>(entries.size());
    DestroyWindow(tree);
    return elapsed;
}

// One screen painted with the tree scrolled to its middle, every item shown.
double ScrolledPaint(HWND parent, const Entries& entries, int repetitions)
{
    HWND tree = MakeTree(parent);
    Fill(tree, entries, TVIS_EXPANDED);
    SendMessageW(tree, WM_VSCROLL, SB_TOP, 0);
    UpdateWindow(tree);
    int middle = static_cast<int>(entries.size() / 2);
    for (int step = 0; step < middle / 10; ++step) // to the middle in pages, as a user would
        SendMessageW(tree, WM_VSCROLL, SB_PAGEDOWN, 0);
    UpdateWindow(tree);
    std::vector<double> times;
    for (int i = 0; i < repetitions; ++i) {
        InvalidateRect(tree, nullptr, TRUE);
        Clock::time_point start = Clock::now();
        UpdateWindow(tree);
        times.push_back(Milliseconds(start));
    }
    DestroyWindow(tree);
    return Median(times);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: %s TOOL BOOK [REPETITIONS]\n", argv[0]);
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::string tool = argv[1], book = argv[2];
    int repetitions = argc > 3 ? std::max(1, std::atoi(argv[3])) : 9;
    Book opened;
    opened.LoadContents(DevicePath(book).c_str());
    Entries entries;
    for (const TocEntry& entry : opened.contents)
        entries.push_back(&entry);
    if (entries.empty()) {
        fprintf(stderr, "no contents entries from %s\n", book.c_str());
        return 1;
    }
    HWND parent = MakeParent();
    std::vector<double> fills, tools;
    double heap = 0;
    for (int i = 0; i < repetitions; ++i) {
        fills.push_back(FillOnce(parent, entries, &heap));
        tools.push_back(RunTimed({tool, "contents", book}));
    }
    double fill = Median(fills), listing = Median(tools);
    printf("entries %zu\n", entries.size());
    printf("fill    %.1f ms against %.1f ms for `leafwise-book contents`: %.2fx (target <= 0.5x)\n", fill, listing,
           fill / listing);
    printf("memory  %.1f bytes per item besides its text (target <= 96)\n", heap);
    Entries small(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(100, entries.size())));
    double big = ScrolledPaint(parent, entries, 51);
    double little = ScrolledPaint(parent, small, 51);
    printf("scroll  %.3f ms a screen with %zu items against %.3f ms with %zu: %.2fx (target ~1x)\n", big,
           entries.size(), little, small.size(), big / little);
    DestroyWindow(parent);
    return 0;
}
