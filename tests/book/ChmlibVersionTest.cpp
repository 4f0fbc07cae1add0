#include "ChmGuard.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

// The installed chmlib's upstream version ("2:0.40a-8" gives "0.40"), from
// its package; empty when no package answers.
std::string InstalledChmlib()
{
    for (const char* package : {"libchm1", "libchm-dev"}) {
        std::string command = std::string("dpkg-query -W -f='${Version}' ") + package + " 2>/dev/null";
        FILE* query = popen(command.c_str(), "r");
        if (!query)
            continue;
        char text[128] = {};
        size_t got = fread(text, 1, sizeof text - 1, query);
        pclose(query);
        std::string version(text, got);
        size_t epoch = version.find(':');
        if (epoch != std::string::npos)
            version.erase(0, epoch + 1);
        size_t end = version.find_first_not_of("0123456789.");
        version = version.substr(0, end);
        if (!version.empty())
            return version;
    }
    return {};
}

} // namespace

TEST(ChmlibVersionTest, TheInstalledChmlibIsTheOneTheGuardMirrors)
{
    std::string installed = InstalledChmlib();
    if (installed.empty())
        GTEST_SKIP() << "no package (libchm1, libchm-dev) gives chmlib's version";
    EXPECT_EQ(installed, kMirroredChmlib)
        << "chmlib " << installed << " is installed, but the container's check mirrors chmlib " << kMirroredChmlib
        << ": compare that release's buffer sizes and checks with those of book/container/ChmGuard.cpp, and its "
           "LZX decoder state with book/container/LzxWalk.cpp, then set kMirroredChmlib (ChmGuard.h)";
}
