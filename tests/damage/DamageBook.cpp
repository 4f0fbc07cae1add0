// damage-book: writes a damaged copy of a book, the same damage for the same
// seed, so that a damaged copy that a test or a person found can be made again.
//
//   damage-book flip BOOK COPY SEED       24 to 47 bytes changed anywhere
//   damage-book cut BOOK COPY LENGTH      the first LENGTH bytes
#include <cstdio>
#include <cstdlib>
#include <string>

#include "BookDamage.h"

int main(int argc, char** argv)
{
    if (argc != 5) {
        fputs("usage: damage-book flip BOOK COPY SEED | cut BOOK COPY LENGTH\n", stderr);
        return 2;
    }
    std::string mode = argv[1];
    damage::Bytes book = damage::ReadHostFile(argv[2]);
    unsigned long long number = strtoull(argv[4], nullptr, 0);
    if (book.empty()) {
        fprintf(stderr, "damage-book: cannot read %s\n", argv[2]);
        return 1;
    }
    if (mode == "flip") {
        damage::Corruptor corruptor(number);
        corruptor.FlipBytes(&book, 24 + corruptor.Below(24));
    } else if (mode == "cut" && number <= book.size()) {
        book.resize(number);
    } else {
        fputs("usage: damage-book flip BOOK COPY SEED | cut BOOK COPY LENGTH\n", stderr);
        return 2;
    }
    if (!damage::WriteHostFile(argv[3], book)) {
        fprintf(stderr, "damage-book: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
