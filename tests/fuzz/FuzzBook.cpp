// libFuzzer over the book engine. Each input is written to a book file under a
// private device root and opened by its device path, as the program opens a
// book; the contents and pages go to a private scratch folder.
#include <windows.h>

#include <BookDamage.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/stat.h>

namespace {

// Pages per input: enough to reach images and the index, few enough to keep
// every run short.
constexpr size_t kPagesPerInput = 12;

std::string root;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char folder[] = "/tmp/leafwise-fuzz-XXXXXX";
    if (!mkdtemp(folder))
        abort();
    root = folder;
    std::string temp = root + "/temp";
    mkdir(temp.c_str(), 0700);
    setenv("LEAFWISE_ROOT", root.c_str(), 1);
    setenv("LEAFWISE_TEMP", temp.c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!damage::WriteHostFile(root + "/book.chm", damage::Bytes(data, data + size)))
        abort();
    damage::ExerciseBook(u"\\book.chm", u"\\Temp", kPagesPerInput);
    return 0;
}
