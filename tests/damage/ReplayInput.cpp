// replay-input: runs fuzzer inputs as their fuzzer runs them and prints the
// time each took, so that a slow input found under the sanitizers can be
// timed in an ordinary build.
//
//   replay-input page|image|book FILE...      one line per file: MILLISECONDS FILE
#include "FuzzInputs.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

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
        auto start = std::chrono::steady_clock::now();
        fuzzinput::Run(target, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        printf("%.0f %s\n", ms, argv[k]);
        fflush(stdout);
    }
    return 0;
}
