// Hostile pages, each shown as the page window shows a page, in a process of
// its own. Run on demand, never as a test:
//
//   bench_hostile [FAMILY ...]      (default: every family)
//
// For each family (tests/damage/HostilePages.cpp) it prints the time from
// LoadPage to the shown window painted ("shown"), to the whole page laid out
// with every picture asked for ("settled"), and the peak resident memory of
// the process, with the memory it had before the page for comparison; and the
// processor time the page took, which a machine shared with other work does
// not inflate as it does the clock. A page
// that passes 120 s or 3 GB is stopped there and reported so.
#include "HostilePages.h"

#include <lwdevice.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <signal.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "benchtiming.h"

namespace {

constexpr int kLimitSeconds = 120;
constexpr long kLimitKilobytes = 3L << 20;

long ResidentKilobytes(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return atol(line.c_str() + 6);
    return 0;
}

double ProcessorMilliseconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

// The child: one family, its figures on stdout.
int RunFamily(const std::string& name)
{
    pagedrive::Start();
    hostile::Family family = hostile::Build(name);
    if (!family.name[0])
        return 2;
    pagedrive::WritePage(family.page, family.pictures);
    family.page.clear();
    family.page.shrink_to_fit();
    long before = ResidentKilobytes(getpid());
    pagedrive::Options options;
    options.settleLimitMs = kLimitSeconds * 1000;
    double cpuBefore = ProcessorMilliseconds();
    pagedrive::Outcome outcome = pagedrive::ShowPage(options);
    printf("%.0f %.0f %ld %d %zu %.0f\n", outcome.shownMs, outcome.settledMs, before, outcome.settled ? 1 : 0,
           outcome.text.size(), ProcessorMilliseconds() - cpuBefore);
    fflush(stdout);
    _exit(0); // the page window and Qt are not torn down: the figures are out
}

void Measure(const char* self, const std::string& name)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return;
    pid_t child = fork();
    if (child == 0) {
        dup2(pipeEnds[1], 1);
        close(pipeEnds[0]);
        execl(self, self, "--child", name.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeEnds[1]);
    Clock::time_point start = Clock::now();
    const char* stopped = nullptr;
    int status = 0;
    rusage usage{};
    while (wait4(child, &status, WNOHANG, &usage) == 0) {
        if (Milliseconds(start) > kLimitSeconds * 1000.0)
            stopped = "stopped at 120 s";
        else if (ResidentKilobytes(child) > kLimitKilobytes)
            stopped = "stopped at 3 GB";
        if (stopped) {
            kill(child, SIGKILL);
            wait4(child, &status, 0, &usage);
            break;
        }
        usleep(20000);
    }
    char line[256] = {};
    ssize_t got = read(pipeEnds[0], line, sizeof line - 1);
    close(pipeEnds[0]);
    double shown = 0, settled = 0, processor = 0;
    long before = 0;
    int done = 0;
    size_t text = 0;
    double peakMb = usage.ru_maxrss / 1024.0;
    if (stopped || got <= 0 || sscanf(line, "%lf %lf %ld %d %zu %lf", &shown, &settled, &before, &done, &text, &processor) != 6) {
        printf("%-28s %s (%.0f s, peak %.0f MB)\n", name.c_str(), stopped ? stopped : "failed",
               Milliseconds(start) / 1000, peakMb);
    } else {
        printf("%-28s shown %6.0f ms  settled %6.0f ms%s (%6.0f ms of processor)  peak %5.0f MB (%3.0f MB before "
               "the page)  text %zu\n",
               name.c_str(), shown, settled, done ? "" : " (not settled)", processor, peakMb, before / 1024.0, text);
    }
    fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && strcmp(argv[1], "--child") == 0)
        return RunFamily(argv[2]);
    std::vector<std::string> names;
    for (int k = 1; k < argc; ++k)
        names.push_back(argv[k]);
    if (names.empty())
        names = hostile::Names();
    for (const std::string& name : names)
        Measure("/proc/self/exe", name);
    return 0;
}
