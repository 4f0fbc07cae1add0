#include "BookTestSupport.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iconv.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace booktest {

void ScratchTest::SetUp()
{
    char pattern[] = "/tmp/leafwise-book-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    scratch = pattern;
    setenv("LEAFWISE_TEMP", pattern, 1);
}

void ScratchTest::TearDown()
{
    std::error_code ignored;
    fs::remove_all(scratch, ignored);
}

std::map<std::string, std::string> ScratchTest::ScratchFiles() const
{
    std::map<std::string, std::string> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(scratch)) {
        if (entry.is_regular_file())
            files[entry.path().filename().string()] = ReadBytes(entry.path());
    }
    return files;
}

std::string TestBookHostPath(const std::string& name) { return std::string(LEAFWISE_TEST_BOOKS) + "/" + name + ".chm"; }

std::u16string DevicePath(const std::string& hostPath)
{
    WCHAR device[MAX_PATH];
    if (HostToDevicePath(hostPath.c_str(), device, MAX_PATH) == 0)
        return {};
    return device;
}

std::u16string DeviceTestBook(const std::string& name) { return DevicePath(TestBookHostPath(name)); }

std::u16string Wide(const std::string& utf8)
{
    if (utf8.empty())
        return {};
    std::u16string out(utf8.size(), u'\0');
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), out.data(), (int)out.size());
    out.resize(n > 0 ? n : 0);
    return out;
}

std::string Utf8(const std::u16string& text)
{
    if (text.empty())
        return {};
    std::string out(text.size() * 3, '\0');
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), out.data(), (int)out.size(), nullptr,
                                nullptr);
    out.resize(n > 0 ? n : 0);
    return out;
}

std::string Utf8(const WCHAR* text) { return text ? Utf8(std::u16string(text)) : std::string(); }

std::vector<std::string> Entries(const Book& book)
{
    std::vector<std::string> entries;
    for (const TocEntry& entry : book.contents)
        entries.push_back(std::to_string(entry.level) + "|" + Utf8(entry.title) + "|" + Utf8(entry.local));
    return entries;
}

std::vector<std::string> EntriesHandedOut(Book& book, LPCWSTR path, int* result)
{
    std::vector<std::string> entries;
    auto take = [](const TocEntry& entry, size_t titleLength, size_t localLength, void* context) {
        // The lengths must be the texts' own.
        std::string title = titleLength == wcslen(entry.title) ? Utf8(entry.title) : "(length)";
        std::string local = localLength == wcslen(entry.local) ? Utf8(entry.local) : "(length)";
        static_cast<std::vector<std::string>*>(context)->push_back(std::to_string(entry.level) + "|" + title +
                                                                   "|" + local);
    };
    *result = book.LoadContents(path, take, &entries);
    return entries;
}

std::string ReadBytes(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

namespace {

std::string CharsetOf(unsigned codePage)
{
    switch (codePage) {
    case 932: case 936: case 949: case 950:
        return "CP" + std::to_string(codePage);
    case 65001:
        return "UTF-8";
    default:
        return "CP" + std::to_string(codePage);
    }
}

bool IsSingleByte(unsigned codePage) { return codePage != 932 && codePage != 936 && codePage != 949 && codePage != 950 && codePage != 65001; }

void PutUnit(std::string& out, unsigned unit)
{
    out += (char)(unit & 0xFF);
    out += (char)(unit >> 8);
}

}  // namespace

std::string ExpectedPageFile(const std::string& bytes, unsigned codePage)
{
    std::string text = bytes.substr(0, bytes.find('\0'));
    std::string out = "\xFF\xFE";
    iconv_t cd = iconv_open("UTF-16LE", CharsetOf(codePage).c_str());
    if (cd == (iconv_t)-1) {
        ADD_FAILURE() << "iconv has no code page " << codePage;
        return out;
    }
    char* in = text.data();
    size_t inLeft = text.size();
    std::string chunk(64 * 1024, '\0');
    while (inLeft > 0) {
        char* to = chunk.data();
        size_t toLeft = chunk.size();
        size_t result = iconv(cd, &in, &inLeft, &to, &toLeft);
        int error = result == (size_t)-1 ? errno : 0;
        out.append(chunk.data(), to - chunk.data());
        if (error == EILSEQ || error == EINVAL) {
            PutUnit(out, IsSingleByte(codePage) ? (unsigned char)*in : 0xFFFD);
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        } else if (error && error != E2BIG) {
            ADD_FAILURE() << "iconv failed: " << error;
            break;
        }
    }
    iconv_close(cd);
    return out;
}

RunResult Run(const std::vector<std::string>& argv)
{
    RunResult result;
    char outName[] = "/tmp/leafwise-run-out-XXXXXX";
    char errName[] = "/tmp/leafwise-run-err-XXXXXX";
    int outFile = mkstemp(outName);
    int errFile = mkstemp(errName);
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outFile, 1);
    posix_spawn_file_actions_adddup2(&actions, errFile, 2);
    pid_t pid;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    close(outFile);
    close(errFile);
    result.out = ReadBytes(outName);
    result.err = ReadBytes(errName);
    unlink(outName);
    unlink(errName);
    return result;
}

RunResult RunTool(const std::vector<std::string>& arguments)
{
    std::vector<std::string> argv{LEAFWISE_BOOK_TOOL};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return Run(argv);
}

}  // namespace booktest
