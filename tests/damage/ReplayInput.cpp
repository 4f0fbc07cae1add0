// replay-input: runs fuzzer inputs as their fuzzer runs them and prints the
// time each took, so that a slow input found under the sanitizers can be
// timed in an ordinary build. The processor time comes first: on a machine
// shared with other work it is what the input costs, whatever else runs.
//
//   replay-input page|image|book FILE...   one line per file: CPU_MS WALL_MS FILE
#include "FuzzInputs.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/resource.h>

int main(int argc, char** argv)
{
    if (argc < 3) {
        fputs("usage: replay-input page|image|book FILE...\n", stderr);
        return 2;
    }
    fuzzinput::Target target = strcmp(argv[1], "image") == 0  ? fuzzinput::Target::Image
                               : strcmp(argv[1], "book") == 0 ? fuzzinput::Target::BookPage
                                                              : fuzzinput::Target::Page;
    for (int k = 2; k < argc; ++k) {
        std::ifstream in(argv[k], std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        auto cpu = [] {
            rusage usage{};
            getrusage(RUSAGE_SELF, &usage);
            return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
                   (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
        };
        double cpuStart = cpu();
        auto start = std::chrono::steady_clock::now();
        fuzzinput::Run(target, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        printf("%.0f %.0f %s\n", cpu() - cpuStart, ms, argv[k]);
        fflush(stdout);
    }
    return 0;
}
