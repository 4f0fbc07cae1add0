// Every test process gets a runtime folder of its own, so FindWindowW never
// meets windows of programs (or other tests) running on the same machine.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

const bool isolated = [] {
    if (getenv("LEAFWISE_TEST_SHARED_RUNTIME"))
        return false;
    std::string folder = "/tmp/leafwise-gui-test-XXXXXX";
    if (!mkdtemp(folder.data()))
        return false;
    setenv("LEAFWISE_RUNTIME", folder.c_str(), 1);
    static std::string made = folder;
    atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(made, ignored);
    });
    return true;
}();

} // namespace
