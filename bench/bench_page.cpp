// "Browse" to the page painted, against the least any viewer does. Run on
// demand, never as a test:
//
//   bench_page BOOK [REPETITIONS]
//
// On the first contents page of BOOK with ten or more images, in one process:
//   Browse  what the contents window does for "Browse": the scratch folder
//           emptied, ExtractPage, a page window created, LoadPage (the viewer
//           asks for every picture, each decoded from the scratch folder), the
//           window shown, and the device painted;
//   bare    ExtractPage of the same page, then a bare QTextBrowser of the
//           page window's size laying out the same HTML with the same images
//           (their bytes handed over from memory) and painted.
// It prints the medians of both (default 21 repetitions, interleaved, after
// one round that warms the caches) and their ratio (target <= 1.5x). The
// scratch folder is made on a tmpfs, as in bench_book.
#include <windows.h>

#include <Book.h>
#include <PageWindow.h>
#include <lwdevice.h>

#include "benchsupport.h"

#include <QApplication>
#include <QTextBrowser>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Delivers what is queued now, and not what that posts in turn: the bare
// viewer gets one round of Qt's events likewise.
void DeliverPending()
{
    constexpr UINT kSentinel = WM_APP + 1;
    PostMessageW(nullptr, kSentinel, 0, 0);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) && message.message != kSentinel) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void Drain()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// ShowSelectedEntry's steps for one entry, and the device painted.
double Browse(Book& book, PageWindow& page, const std::u16string& local)
{
    Clock::time_point start = Clock::now();
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    book.ClearTempFolder();
    book.ExtractPage(local.c_str(), u"\\Temp");
    page.Create(&book, GetModuleHandleW(nullptr), u"\\Temp");
    size_t split = local.find_last_of(u"/\\");
    std::u16string folder = split == std::u16string::npos ? local : local.substr(0, split);
    std::u16string name = split == std::u16string::npos ? local : local.substr(split + 1);
    page.LoadPage(folder.c_str(), name.c_str());
    SetCursor(LoadCursorW(nullptr, IDC_NO));
    page.Show();
    DeliverPending();
    LwDevicePixel(0, 0);  // renders the whole device
    return Milliseconds(start);
}

struct BareInput {
    QString html;
    std::vector<std::pair<QUrl, QByteArray>> images;
};

double Bare(Book& book, const std::u16string& local, const BareInput& input)
{
    Clock::time_point start = Clock::now();
    book.ExtractPage(local.c_str(), u"\\Temp");
    QWidget screen;
    screen.resize(240, 320);
    auto* browser = new QTextBrowser(&screen);
    browser->setGeometry(0, 26, 240, 268);
    for (const auto& [url, bytes] : input.images)
        browser->document()->addResource(QTextDocument::ImageResource, url, bytes);
    browser->setHtml(input.html);
    screen.show();
    QApplication::processEvents();
    screen.grab();
    return Milliseconds(start);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: %s BOOK [REPETITIONS]\n", argv[0]);
        return 2;
    }
    int repetitions = argc > 2 ? std::max(1, atoi(argv[2])) : 21;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    std::string scratch = (fs::path(runtime ? runtime : "/dev/shm") / ("bench-page-" + std::to_string(getpid()))).string();
    fs::create_directories(scratch);
    fs::permissions(scratch, fs::perms::owner_all);
    setenv("LEAFWISE_TEMP", scratch.c_str(), 1);
    LwDeviceStart();

    Book book;
    if (!book.LoadContents(DevicePath(argv[1]).c_str())) {
        fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    ImagePage target = FindImagePage(book, 10);
    if (target.objects.empty()) {
        fprintf(stderr, "no page with ten images in %s\n", argv[1]);
        return 1;
    }

    // The bare viewer's input, read once: the page's text and its images' bytes.
    BareInput input;
    const ObjectEntry* pageObject = book.FindObject(target.page.c_str());
    WCHAR* text = book.ReadObjectText(*pageObject);
    input.html = QString::fromUtf16(text);
    free(text);
    for (size_t k = 1; k < target.objects.size(); ++k) {
        const ObjectEntry* image = book.FindObject(QString::fromStdString(target.objects[k]).toStdU16String().c_str());
        BYTE* bytes = image ? book.ReadObject(*image) : nullptr;
        if (bytes)
            input.images.push_back({QUrl(QString::fromStdU16String(target.sources[k - 1])),
                                    QByteArray(reinterpret_cast<const char*>(bytes), image->length)});
        free(bytes);
    }

    std::vector<double> ours, bare;
    for (int i = 0; i < repetitions + 1; ++i) {
        PageWindow page;
        double o = Browse(book, page, target.page);
        page.Close();
        Drain();
        double b = Bare(book, target.page, input);
        if (i == 0)
            continue;
        ours.push_back(o);
        bare.push_back(b);
    }
    book.ClearTempFolder();
    fs::remove_all(scratch);

    double o = Median(ours), b = Median(bare);
    printf("page %s: %zu images\n", QString::fromStdU16String(target.page).toUtf8().constData(),
           target.objects.size() - 1);
    printf("Browse to painted %.2f ms, ExtractPage + bare QTextBrowser %.2f ms, ratio %.2fx (target <= 1.5x)\n", o,
           b, o / b);
    return 0;
}
