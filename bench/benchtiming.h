// What every benchmark shares: wall-clock timing, medians, and timing a
// program run to its end.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using Clock = std::chrono::steady_clock;

inline double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

inline double Milliseconds(Clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

// Runs a program (found on PATH when not a path) with its output thrown away,
// standard error into `errFile` when given; the wall time in ms, or -1 when it
// failed.
inline double RunTimed(const std::vector<std::string>& argv, const char* errFile = nullptr)
{
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errFile ? errFile : "/dev/null", O_WRONLY | O_CREAT | O_TRUNC, 0600);
    Clock::time_point start = Clock::now();
    pid_t pid;
    int status = -1;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) == 0)
        waitpid(pid, &status, 0);
    double elapsed = Milliseconds(start);
    posix_spawn_file_actions_destroy(&actions);
    return status == 0 ? elapsed : -1;
}

// The peak resident size in KB of a program run to its end (through
// /usr/bin/time -v), or -1 when it failed.
inline long PeakResidentKb(const std::vector<std::string>& argv)
{
    std::string report = "/tmp/bench-time-" + std::to_string(getpid());
    std::vector<std::string> timed = {"/usr/bin/time", "-v"};
    timed.insert(timed.end(), argv.begin(), argv.end());
    long peakKb = -1;
    if (RunTimed(timed, report.c_str()) >= 0) {
        if (FILE* file = fopen(report.c_str(), "r")) {
            char line[512];
            const char kField[] = "Maximum resident set size (kbytes):";
            while (fgets(line, sizeof line, file)) {
                if (const char* field = strstr(line, kField))
                    peakKb = atol(field + strlen(kField));
            }
            fclose(file);
        }
    }
    unlink(report.c_str());
    return peakKb;
}
