// Cold start of Leafwise, to its painted main window, against a bare Qt Widgets
// program that opens one 240 x 320 window (coldstart_bare), measured in one run:
//
//   build/bench/coldstart build/app/leafwise build/bench/coldstart_bare [RUNS]
//
// Each run starts a fresh process of each. The bare program prints "painted" on
// its first paint; Leafwise is timed to the first WM_PAINT its main window gets,
// read from its message trace ($LEAFWISE_TRACE) through a FIFO. Both clocks
// start just before fork. One discarded round warms the file cache; then RUNS
// rounds (default 15), alternating which program goes first. Prints the medians
// and their ratio (target: at most 1.3).
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

// Leafwise: its trace into a FIFO, timed to the main window's first WM_PAINT.
double TimeLeafwise(const char* program, const std::string& scratch)
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
        // A runtime folder of its own: a Leafwise already running must not answer.
        setenv("LEAFWISE_RUNTIME", (scratch + "/run").c_str(), 1);
        execl(program, program, static_cast<char*>(nullptr));
        _exit(127);
    }
    bool painted = WaitForLine(reader, "Leafwise\tWM_PAINT");
    Clock::time_point end = Clock::now();
    Finish(child);
    close(reader);
    close(keeper);
    unlink(fifo.c_str());
    return painted ? Ms(start, end) : -1;
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
        fprintf(stderr, "usage: %s LEAFWISE BARE [RUNS]\n", argv[0]);
        return 2;
    }
    const char* leafwise = argv[1];
    const char* bare = argv[2];
    int runs = argc > 3 ? atoi(argv[3]) : 15;
    if (runs < 1)
        runs = 1;
    if (!getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY") && !getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);

    char pattern[] = "/tmp/leafwise-coldstart-XXXXXX";
    if (!mkdtemp(pattern)) {
        perror("mkdtemp");
        return 1;
    }
    std::string scratch = pattern;

    std::vector<double> bareTimes, leafwiseTimes;
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
        if (round >= 0) {
            bareTimes.push_back(b);
            leafwiseTimes.push_back(l);
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
    return 0;
}
