// Cold start of Leafwise, to its painted main window, against a bare Qt Widgets
// program that opens one 240 x 320 window (coldstart_bare), measured in one run:
//
//   build/bench/coldstart build/app/leafwise build/bench/coldstart_bare [RUNS [TOOL BOOK]]
//
// Each run starts a fresh process of each. The bare program prints "painted" on
// its first paint; Leafwise is timed to the first WM_PAINT its main window gets,
// read from its message trace ($LEAFWISE_TRACE, kept to WM_PAINT) through a
// FIFO. Both clocks start just before fork. One discarded round warms the file
// cache; then RUNS rounds (default 15), alternating which program goes first.
// Prints the medians and their ratio (target: at most 1.3).
//
// With TOOL (leafwise-book) and BOOK (the huge benchmark book) each round also
// times Leafwise started with BOOK on its command line to the first paint of the
// contents window's tree, against the main window's cold start plus `TOOL
// contents BOOK` run to its end (target: at most 1.2).
#include <algorithm>
#include <chrono>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kLimitMs = 20000;

double Ms(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Reads from fd until a line starting with `prefix` arrives; false on end or
// after kLimitMs.
bool WaitForLine(int fd, const std::string& prefix)
{
    std::string pending;
    Clock::time_point start = Clock::now();
    char buffer[4096];
    for (;;) {
        int left = kLimitMs - static_cast<int>(Ms(start, Clock::now()));
        if (left <= 0)
            return false;
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, left) <= 0)
            continue;
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            return false;
        pending.append(buffer, n);
        size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            if (pending.compare(0, prefix.size(), prefix) == 0)
                return true;
            pending.erase(0, end + 1);
        }
    }
}

void Finish(pid_t child)
{
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
}

// The bare program: its stdout into a pipe, timed to "painted".
double TimeBare(const char* program)
{
    int out[2];
    if (pipe(out) != 0)
        return -1;
    Clock::time_point start = Clock::now();
    pid_t child = fork();
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        execl(program, program, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    bool painted = WaitForLine(out[0], "painted");
    Clock::time_point end = Clock::now();
    close(out[0]);
    Finish(child);
    return painted ? Ms(start, end) : -1;
}

// Leafwise: its trace into a FIFO, timed to the first line that starts with
// `painted` (the main window's first WM_PAINT unless a book is given).
double TimeLeafwise(const char* program, const std::string& scratch, const char* book = nullptr,
                    const std::string& painted = "Leafwise\tWM_PAINT")
{
    std::string fifo = scratch + "/trace";
    unlink(fifo.c_str());
    if (mkfifo(fifo.c_str(), 0600) != 0)
        return -1;
    // Our own idle writer keeps the FIFO from reporting its end before Leafwise opens it.
    int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    int keeper = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    Clock::time_point start = Clock::now();
    pid_t child = fork();
    if (child == 0) {
        setenv("LEAFWISE_TRACE", fifo.c_str(), 1);
        setenv("LEAFWISE_TRACE_ONLY", "WM_PAINT", 1);  // not a line for each of the tree's items
        // A runtime folder of its own: a Leafwise already running must not answer.
        setenv("LEAFWISE_RUNTIME", (scratch + "/run").c_str(), 1);
        execl(program, program, book, static_cast<char*>(nullptr));
        _exit(127);
    }
    bool seen = WaitForLine(reader, painted);
    Clock::time_point end = Clock::now();
    Finish(child);
    close(reader);
    close(keeper);
    unlink(fifo.c_str());
    return seen ? Ms(start, end) : -1;
}

// `TOOL contents BOOK` to its end, its output thrown away.
double TimeTool(const char* tool, const char* book)
{
    Clock::time_point start = Clock::now();
    pid_t child = fork();
    if (child == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        execl(tool, tool, "contents", book, static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = -1;
    waitpid(child, &status, 0);
    Clock::time_point end = Clock::now();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? Ms(start, end) : -1;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: %s LEAFWISE BARE [RUNS [TOOL BOOK]]\n", argv[0]);
        return 2;
    }
    const char* leafwise = argv[1];
    const char* bare = argv[2];
    int runs = argc > 3 ? atoi(argv[3]) : 15;
    if (runs < 1)
        runs = 1;
    const char* tool = argc > 5 ? argv[4] : nullptr;
    const char* book = argc > 5 ? argv[5] : nullptr;
    if (!getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY") && !getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);

    char pattern[] = "/tmp/leafwise-coldstart-XXXXXX";
    if (!mkdtemp(pattern)) {
        perror("mkdtemp");
        return 1;
    }
    std::string scratch = pattern;

    std::vector<double> bareTimes, leafwiseTimes, toolTimes, bookTimes;
    for (int round = -1; round < runs; ++round) {
        double b, l;
        if (round % 2 == 0) {
            b = TimeBare(bare);
            l = TimeLeafwise(leafwise, scratch);
        } else {
            l = TimeLeafwise(leafwise, scratch);
            b = TimeBare(bare);
        }
        if (b < 0 || l < 0) {
            fprintf(stderr, "round %d: %s did not paint within %d ms\n", round, b < 0 ? bare : leafwise, kLimitMs);
            return 1;
        }
        double t = 0, k = 0;
        if (book) {
            t = TimeTool(tool, book);
            k = TimeLeafwise(leafwise, scratch, book, "SysTreeView32\tWM_PAINT");
            if (t < 0 || k < 0) {
                fprintf(stderr, "round %d: %s\n", round, t < 0 ? "the tool failed" : "the contents tree never painted");
                return 1;
            }
        }
        if (round >= 0) {
            bareTimes.push_back(b);
            leafwiseTimes.push_back(l);
            toolTimes.push_back(t);
            bookTimes.push_back(k);
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);  // the lock file and sockets of the runs

    double bareMs = Median(bareTimes), leafwiseMs = Median(leafwiseTimes);
    double ratio = leafwiseMs / bareMs;
    printf("cold start to the painted window, median of %d runs (QT_QPA_PLATFORM=%s)\n", runs,
           getenv("QT_QPA_PLATFORM") ? getenv("QT_QPA_PLATFORM") : "default");
    printf("  bare Qt Widgets window  %8.1f ms\n", bareMs);
    printf("  Leafwise main window    %8.1f ms\n", leafwiseMs);
    printf("  ratio                   %8.2fx  (target <= 1.30x: %s)\n", ratio, ratio <= 1.3 ? "met" : "missed");
    if (book) {
        double toolMs = Median(toolTimes), bookMs = Median(bookTimes);
        double bookRatio = bookMs / (leafwiseMs + toolMs);
        printf("start with a book to its painted contents tree (%s)\n", book);
        printf("  main window + tool      %8.1f ms  (tool contents alone %.1f ms)\n", leafwiseMs + toolMs, toolMs);
        printf("  Leafwise with the book  %8.1f ms\n", bookMs);
        printf("  ratio                   %8.2fx  (target <= 1.20x: %s)\n", bookRatio,
               bookRatio <= 1.2 ? "met" : "missed");
    }
    return 0;
}
