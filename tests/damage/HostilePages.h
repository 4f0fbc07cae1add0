// Pages and pictures made the way an attacker makes them, one family each:
// the shapes that once froze the viewer or fed Qt more than it can take, and
// the ones that always held. The hostile-page tests show each one; the
// benchmark bench_hostile times each one in a process of its own.
#pragma once

#include "PageDrive.h"

#include <string>
#include <vector>

namespace hostile {

struct Family {
    const char* name;
    std::u16string page;
    pagedrive::Pictures pictures;
    bool cut; // part of the page is left out, and the place is marked
};

// Every family, built anew (a few hundred MB of text in all: build one at a
// time through Build when memory matters).
std::vector<std::string> Names();
// The family of that name; an empty name when there is none.
Family Build(const std::string& name);

} // namespace hostile
