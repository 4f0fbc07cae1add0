// Memory of Leafwise reading a big book, against a bare Qt Widgets window:
//
//   build/bench/bench_reading build/bench/coldstart_bare BOOK
//
// This program is Leafwise itself (the same application, contents and page
// windows) with a driver that, once the contents window is up with BOOK, presses
// "Browse" on its first entry, waits until the page window has been active for a
// moment, and reads the process's resident memory (VmRSS) and its peak (VmHWM);
// then "Cancel" and "Close" end the run. The bare program (coldstart_bare, kept
// running with "stay") is read once it has painted. Prints both and the ratio of
// Leafwise's resident memory to the bare window's plus a third of BOOK's size
// (target: at most 1). Headless (QT_QPA_PLATFORM=offscreen unless set).
#include <windows.h>

#include <lwdevice.h>

#include "ReaderApp.h"

#include <csignal>
#include <filesystem>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr UINT_PTR kTick = 1;
constexpr UINT kTickMs = 20;
constexpr int kSettleTicks = 10;  // the page window active this long before the reading
constexpr int kLimitTicks = 3000;

// kB of a /proc/<pid>/status field; -1 when it cannot be read.
long StatusKb(pid_t pid, const char* field)
{
    std::ifstream status("/proc/" + (pid ? std::to_string(pid) : std::string("self")) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field, 0) == 0)
            return atol(line.c_str() + strlen(field) + 1);
    return -1;
}

// The bare window's resident memory once it has painted.
long BareKb(const char* bare)
{
    int out[2];
    if (pipe(out) != 0)
        return -1;
    pid_t child = fork();
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        execl(bare, bare, "stay", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string heard;
    char buffer[256];
    ssize_t n;
    while (heard.find("painted\n") == std::string::npos && (n = read(out[0], buffer, sizeof buffer)) > 0)
        heard.append(buffer, n);
    long kb = heard.find("painted\n") != std::string::npos ? StatusKb(child, "VmRSS:") : -1;
    close(out[0]);
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    return kb;
}

bool ActiveClassIs(const char16_t* name)
{
    WCHAR className[64] = {};
    HWND active = GetActiveWindow();
    return active && GetClassNameW(active, className, 64) && std::u16string(className) == name;
}

struct Driver {
    enum Step { kBrowse, kSettle, kCancel, kClose, kDone } step = kBrowse;
    int ticks = 0;
    int settled = 0;
    long rssKb = -1;
    long peakKb = -1;
    bool pageShown = false;
} driver;

// Polled from its timer in whatever loop runs (the contents dialog's, the page's).
LRESULT CALLBACK DriverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_TIMER)
        return DefWindowProcW(window, message, wParam, lParam);
    if (++driver.ticks > kLimitTicks) {
        fprintf(stderr, "the windows did not come up in time\n");
        _exit(1);
    }
    switch (driver.step) {
    case Driver::kBrowse:
        if (ActiveClassIs(u"#32770")) {
            LwDevicePressKey(VK_F1);
            driver.step = Driver::kSettle;
        }
        break;
    case Driver::kSettle:
        if (ActiveClassIs(u"XTHtmlView") && ++driver.settled >= kSettleTicks) {
            driver.pageShown = true;
            driver.rssKb = StatusKb(0, "VmRSS:");
            driver.peakKb = StatusKb(0, "VmHWM:");
            driver.step = Driver::kCancel;
        }
        break;
    case Driver::kCancel:
        LwDevicePressKey(VK_F2);  // the page window's "Cancel"
        driver.step = Driver::kClose;
        break;
    case Driver::kClose:
        if (ActiveClassIs(u"#32770")) {
            LwDevicePressKey(VK_F2);  // "Close"
            driver.step = Driver::kDone;
            KillTimer(window, kTick);
        }
        break;
    case Driver::kDone:
        break;
    }
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int showCommand)
{
    // The command line is "BARE BOOK" as device paths; BOOK goes to Leafwise.
    std::u16string arguments = commandLine;
    size_t blank = arguments.find(u' ');
    if (blank == std::u16string::npos) {
        fprintf(stderr, "usage: bench_reading BARE BOOK\n");
        return 2;
    }
    std::u16string book = arguments.substr(blank + 1);
    char bare[MAX_PATH], bookHost[MAX_PATH];
    if (!DeviceToHostPath(arguments.substr(0, blank).c_str(), bare, MAX_PATH) ||
        !DeviceToHostPath(book.c_str(), bookHost, MAX_PATH)) {
        fprintf(stderr, "paths too long\n");
        return 2;
    }
    struct stat bookInfo;
    if (stat(bookHost, &bookInfo) != 0) {
        fprintf(stderr, "no book at %s\n", bookHost);
        return 2;
    }

    // A runtime folder of its own: a Leafwise already running must not answer.
    char runtime[] = "/tmp/leafwise-bench-reading-XXXXXX";
    if (!mkdtemp(runtime)) {
        perror("mkdtemp");
        return 1;
    }
    setenv("LEAFWISE_RUNTIME", runtime, 1);

    WNDCLASSW driverClass = {};
    driverClass.lpfnWndProc = DriverProc;
    driverClass.lpszClassName = u"BenchDriver";
    RegisterClassW(&driverClass);
    HWND timer = CreateWindowExW(0, u"BenchDriver", u"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    SetTimer(timer, kTick, kTickMs, nullptr);

    ReaderApp app;
    if (!app.Init(instance)) {
        fprintf(stderr, "Leafwise did not start (another instance in this runtime folder?)\n");
        return 1;
    }
    app.Run(book.c_str(), showCommand);
    if (!driver.pageShown) {
        fprintf(stderr, "the page window never showed\n");
        return 1;
    }

    std::error_code ignored;
    std::filesystem::remove_all(runtime, ignored);

    long bareKb = BareKb(bare);
    double budgetKb = bareKb + bookInfo.st_size / 3.0 / 1024;
    printf("memory with %s open and its first page shown\n", bookHost);
    printf("  Leafwise resident     %8.1f MB  (peak %.1f MB)\n", driver.rssKb / 1024.0, driver.peakKb / 1024.0);
    printf("  bare Qt window        %8.1f MB\n", bareKb / 1024.0);
    printf("  + a third of the book %8.1f MB\n", bookInfo.st_size / 3.0 / 1048576);
    printf("  ratio                 %8.2fx  (target <= 1.00x: %s)\n", driver.rssKb / budgetKb,
           driver.rssKb <= budgetKb ? "met" : "missed");
    return 0;
}
