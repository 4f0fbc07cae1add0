#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <string>
#include <sys/stat.h>
#include <vector>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A device whose root and scratch folder are fresh host folders.
class DeviceFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/lw-kernel-XXXXXX";
        host = mkdtemp(pattern);
        fs::create_directories(host / "root" / "Books");
        setenv("LEAFWISE_ROOT", (host / "root").c_str(), 1);
        setenv("LEAFWISE_TEMP", (host / "temp").c_str(), 1);
    }
    void TearDown() override { fs::remove_all(host); }

    std::set<std::u16string> List(const WCHAR* pattern, FINDEX_SEARCH_OPS op = FindExSearchNameMatch)
    {
        std::set<std::u16string> names;
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileExW(pattern, FindExInfoStandard, &found, op, nullptr, 0);
        if (search == INVALID_HANDLE_VALUE)
            return names;
        do
            names.insert(found.cFileName);
        while (FindNextFileW(search, &found));
        EXPECT_EQ((DWORD)ERROR_NO_MORE_FILES, GetLastError());
        FindClose(search);
        return names;
    }

    fs::path host;
};

TEST_F(DeviceFiles, PathsMapOntoTheRootAndThePrivateScratchFolder)
{
    char mapped[512];
    ASSERT_GT(DeviceToHostPath(u"\\Books\\guide.chm", mapped, sizeof mapped), 0u);
    EXPECT_EQ(host / "root/Books/guide.chm", mapped);
    ASSERT_GT(DeviceToHostPath(u"\\temp\\page.htm", mapped, sizeof mapped), 0u);
    EXPECT_EQ(host / "temp/page.htm", mapped);
    struct stat info;
    ASSERT_EQ(0, stat((host / "temp").c_str(), &info));
    EXPECT_EQ(0700u, info.st_mode & 0777);

    WCHAR device[MAX_PATH];
    ASSERT_GT(HostToDevicePath((host / "root/Books/x.chm").c_str(), device, MAX_PATH), 0u);
    EXPECT_EQ(std::u16string(u"\\Books\\x.chm"), device);
    ASSERT_GT(HostToDevicePath((host / "temp/a.gif").c_str(), device, MAX_PATH), 0u);
    EXPECT_EQ(std::u16string(u"\\Temp\\a.gif"), device);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0u, HostToDevicePath("/etc/passwd", device, MAX_PATH));
    EXPECT_NE(0xdeadbeef, GetLastError());
}

TEST_F(DeviceFiles, NoPathLeavesTheFolderItNames)
{
    char mapped[512];
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0u, DeviceToHostPath(u"\\Temp\\..\\..\\etc\\passwd", mapped, sizeof mapped));
    EXPECT_EQ((DWORD)ERROR_INVALID_NAME, GetLastError());
    EXPECT_EQ(0u, DeviceToHostPath(u"\\Books\\.", mapped, sizeof mapped));
    EXPECT_EQ(nullptr, _wfopen(u"\\Temp\\..\\escaped", u"wb"));
    EXPECT_FALSE(fs::exists(host / "escaped"));
    // Too small a buffer is a failure, never a cut path: the terminator needs its byte.
    std::string full = (host / "root/Books/guide.chm").string();
    EXPECT_EQ(0u, DeviceToHostPath(u"\\Books\\guide.chm", mapped, (DWORD)full.size()));
    EXPECT_EQ(full.size(), DeviceToHostPath(u"\\Books\\guide.chm", mapped, (DWORD)full.size() + 1));
    WCHAR device[12];  // "\Books\x.chm" is 12 units
    EXPECT_EQ(0u, HostToDevicePath((host / "root/Books/x.chm").c_str(), device, 12));
    // A sibling whose name starts with the root's is not below the root.
    fs::create_directories(host / "rootX");
    EXPECT_EQ(0u, HostToDevicePath((host / "rootX/a.chm").c_str(), device, 12));
}

// Private folders: looked at without following a link (a trailing slash
// included) and ours alone, else refused, with one line on stderr that names
// the folder and the reason, however often they are asked for.
TEST_F(DeviceFiles, PrivateFoldersThatOthersCouldUseAreRefusedAloud)
{
    fs::create_directories(host / "elsewhere");
    fs::create_directory_symlink(host / "elsewhere", host / "link");
    fs::create_directory_symlink(host / "elsewhere", host / "slashed");
    fs::create_directories(host / "open");
    fs::permissions(host / "open", fs::perms::all);
    fs::create_directories(host / "group");
    fs::permissions(host / "group", fs::perms::owner_all | fs::perms::group_write);
    std::ofstream(host / "plain") << "a file";
    const std::vector<std::pair<std::string, std::string>> refused = {
        {(host / "link").string(), "it is a link"},
        {(host / "slashed").string() + "/", "it is a link"},
        {(host / "open").string(), "other users can write into it"},
        {(host / "group").string(), "other users can write into it"}, // its group's, too
        {(host / "plain").string(), "it is not a folder"},
    };
    char mapped[512];
    for (const auto& [folder, reason] : refused) {
        setenv("LEAFWISE_TEMP", folder.c_str(), 1);
        testing::internal::CaptureStderr();
        SetLastError(0xdeadbeef);
        EXPECT_EQ(0u, DeviceToHostPath(u"\\Temp\\a.htm", mapped, sizeof mapped)) << folder;
        EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
        EXPECT_EQ(nullptr, _wfopen(u"\\Temp\\a.htm", u"wb"));
        std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(1, std::count(said.begin(), said.end(), '\n')) << said;
        std::string named = folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder;
        EXPECT_NE(std::string::npos, said.find("scratch folder " + named + " is refused: " + reason)) << said;
    }
    EXPECT_TRUE(fs::is_empty(host / "elsewhere"));

    setenv("LEAFWISE_RUNTIME", (host / "open").c_str(), 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(nullptr, CreateMutexW(nullptr, FALSE, u"Leafwise"));
    EXPECT_NE(std::string::npos, testing::internal::GetCapturedStderr().find("runtime folder"));
    unsetenv("LEAFWISE_RUNTIME");
}

TEST_F(DeviceFiles, HandlesReadWriteSeekAndRefuseStaleUse)
{
    HANDLE file = CreateFileW(u"\\Books\\data.bin", GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD done = 0;
    EXPECT_TRUE(WriteFile(file, "0123456789", 10, &done, nullptr));
    EXPECT_EQ(10u, done);
    EXPECT_EQ(10u, GetFileSize(file, nullptr));
    EXPECT_EQ(4u, SetFilePointer(file, 4, nullptr, FILE_BEGIN));
    char buffer[16] = {};
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(6u, done);
    EXPECT_STREQ("456789", buffer);
    EXPECT_TRUE(CloseHandle(file));

    // Opening an existing file "always" says it existed; a new one does not.
    for (auto [name, error] : {std::pair{u"\\Books\\data.bin", ERROR_ALREADY_EXISTS}, {u"\\Books\\new.bin", ERROR_SUCCESS}}) {
        SetLastError(0xdeadbeef);
        HANDLE again = CreateFileW(name, GENERIC_READ, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, again);
        EXPECT_EQ((DWORD)error, GetLastError());
        CloseHandle(again);
    }
    SetLastError(0xdeadbeef);
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileW(u"\\Books", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReadFile(file, buffer, 1, &done, nullptr));
    EXPECT_EQ((DWORD)ERROR_INVALID_HANDLE, GetLastError());
    EXPECT_FALSE(CloseHandle(file));
    EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));

    SetLastError(0xdeadbeef);
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              CreateFileW(u"\\Books\\missing.chm", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());
}

TEST_F(DeviceFiles, SearchMatchesWithoutCaseAndSeparatesFolders)
{
    for (const char* name : {"b.chm", "A.CHM", "notes.txt", "noext"})
        std::ofstream(host / "root/Books" / name) << "x";
    fs::create_directory(host / "root/Books/x.chm");
    fs::create_directory(host / "root/Books/Sub");

    EXPECT_EQ((std::set<std::u16string>{u"A.CHM", u"b.chm", u"x.chm"}), List(u"\\Books\\*.chm"));
    EXPECT_EQ((std::set<std::u16string>{u"x.chm", u"Sub"}), List(u"\\Books\\*.*", FindExSearchLimitToDirectories));
    EXPECT_EQ(6u, List(u"\\Books\\*.*").size());  // also names without a dot; never "." or ".."

    WIN32_FIND_DATAW found;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileW(u"\\Books\\*.pdf", &found));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileW(u"\\Nowhere\\*.*", &found));
    EXPECT_EQ((DWORD)ERROR_PATH_NOT_FOUND, GetLastError());
}

// "?" stands for exactly one character, "*" for any run of them.
TEST_F(DeviceFiles, QuestionMarkMatchesExactlyOneCharacter)
{
    fs::create_directories(host / "root/Quiz");
    for (const char* name : {"a.chm", "ab.chm", ".chm", "a.ch", "abc.chmx"})
        std::ofstream(host / "root/Quiz" / name) << "x";
    EXPECT_EQ((std::set<std::u16string>{u"a.chm"}), List(u"\\Quiz\\?.chm"));
    EXPECT_EQ((std::set<std::u16string>{u"ab.chm"}), List(u"\\Quiz\\??.chm"));
    EXPECT_EQ((std::set<std::u16string>{u"a.chm", u"ab.chm"}), List(u"\\Quiz\\?*.chm"));
    EXPECT_EQ((std::set<std::u16string>{u"a.ch"}), List(u"\\Quiz\\a.c?"));
    EXPECT_EQ((std::set<std::u16string>{u"abc.chmx"}), List(u"\\Quiz\\*.chm?"));
}

TEST_F(DeviceFiles, NothingIsWrittenThroughALink)
{
    fs::path books = host / "root/Books";
    std::ofstream(host / "victim.txt") << "keep";
    fs::create_symlink(host / "victim.txt", books / "to-victim");
    fs::create_symlink(host / "created-elsewhere", books / "dangling");

    // Create-or-truncate replaces the link by a file of its own.
    HANDLE file = CreateFileW(u"\\Books\\to-victim", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_TRUE(WriteFile(file, "new", 3, nullptr, nullptr));
    CloseHandle(file);
    FILE* stream = _wfopen(u"\\Books\\dangling", u"wb");
    ASSERT_NE(nullptr, stream);
    fclose(stream);
    EXPECT_FALSE(fs::is_symlink(books / "to-victim"));
    EXPECT_FALSE(fs::is_symlink(books / "dangling"));
    EXPECT_EQ(4u, fs::file_size(host / "victim.txt"));
    EXPECT_FALSE(fs::exists(host / "created-elsewhere"));

    // Other writes refuse a link; reads follow it.
    fs::create_symlink(host / "victim.txt", books / "link");
    for (DWORD creation : {(DWORD)OPEN_EXISTING, (DWORD)OPEN_ALWAYS, (DWORD)TRUNCATE_EXISTING}) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileW(u"\\Books\\link", GENERIC_WRITE, 0, nullptr, creation, 0, nullptr));
        EXPECT_EQ((DWORD)ERROR_CANT_ACCESS_FILE, GetLastError());
    }
    EXPECT_EQ(nullptr, _wfopen(u"\\Books\\link", u"ab"));
    // So does an open for reading that may create or truncate.
    fs::create_symlink(host / "created-elsewhere", books / "dangling-too");
    for (auto [name, creation] : {std::pair{u"\\Books\\dangling-too", (DWORD)OPEN_ALWAYS},
                                  std::pair{u"\\Books\\link", (DWORD)TRUNCATE_EXISTING}})
        EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileW(name, GENERIC_READ, 0, nullptr, creation, 0, nullptr));
    EXPECT_FALSE(fs::exists(host / "created-elsewhere"));
    EXPECT_EQ(4u, fs::file_size(host / "victim.txt"));
    file = CreateFileW(u"\\Books\\link", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, file);
    CloseHandle(file);
    // A FIFO in a file's place is refused at once, for reading or writing.
    ASSERT_EQ(0, mkfifo((books / "fifo").c_str(), 0600));
    EXPECT_EQ(nullptr, _wfopen(u"\\Books\\fifo", u"rb"));
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileW(u"\\Books\\fifo", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));

    // Links are listed, a dangling one too, and deleting one deletes the link.
    fs::create_symlink(host / "nowhere", books / "gone");
    fs::create_directory_symlink(host, books / "up");
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(u"\\Books\\gone", &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    EXPECT_EQ((DWORD)(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT), found.dwFileAttributes);
    FindClose(search);
    EXPECT_EQ((std::set<std::u16string>{u"up"}), List(u"\\Books\\*.*", FindExSearchLimitToDirectories));
    for (const WCHAR* name : {u"\\Books\\gone", u"\\Books\\up", u"\\Books\\link"})
        EXPECT_TRUE(DeleteFileW(name));
    EXPECT_TRUE(fs::exists(host / "victim.txt"));
    EXPECT_TRUE(fs::exists(host / "root"));
    EXPECT_FALSE(fs::is_symlink(books / "up"));
}

// Names: every host name is listed, under a device name that leads back to
// that very file, whatever bytes it holds.
TEST_F(DeviceFiles, EveryHostNameIsListedAndActedOnUnderItsDeviceName)
{
    fs::path books = host / "root/Books";
    // A sub-folder "a" whose "x" leads out, beside a file whose name says "a\x\...".
    fs::create_directories(books / "a");
    fs::create_directory_symlink(host, books / "a/x");
    std::ofstream(host / "victim.txt") << "keep";
    const std::map<std::string, std::u16string> names = {
        {"a\\x\\victim.txt", u"a\uF05Cx\uF05Cvictim.txt"},
        {"bad\xff.htm", u"bad\xDCFF.htm"},
        {"\xef\xbf\xbd.htm", u"\uFFFD.htm"},
        {"\xef\x81\x9c", u"\xDCEF\xDC81\xDC9C"},  // U+F05C itself: byte by byte
        {"\xed\xa0\x80.htm", u"\xDCED\xDCA0\xDC80.htm"},  // an encoded surrogate names no character
        {"q?:\x01", u"q\uF03F\uF03A\uF001"},
        {"caf\xc3\xa9 \xf0\x9f\x98\x80", u"caf\u00e9 \U0001F600"},
    };
    for (const auto& [hostName, deviceName] : names)
        std::ofstream(books / hostName) << hostName;
    std::set<std::u16string> expected = {u"a"};
    for (const auto& [hostName, deviceName] : names)
        expected.insert(deviceName);
    ASSERT_EQ(expected, List(u"\\Books\\*.*"));

    for (const auto& [hostName, deviceName] : names) {
        std::u16string path = u"\\Books\\" + deviceName;
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file) << hostName;
        char buffer[64] = {};
        DWORD read = 0;
        ReadFile(file, buffer, sizeof buffer - 1, &read, nullptr);
        CloseHandle(file);
        EXPECT_EQ(hostName, buffer);
        EXPECT_TRUE(DeleteFileW(path.c_str())) << hostName;
        EXPECT_FALSE(fs::exists(books / hostName)) << hostName;
    }
    EXPECT_TRUE(fs::exists(host / "victim.txt"));

    // Host paths take the same names there and back; a lone surrogate that no
    // byte stands for names nothing.
    WCHAR device[MAX_PATH];
    char mapped[512];
    ASSERT_GT(HostToDevicePath((books / "X\\Y/bad\xff").c_str(), device, MAX_PATH), 0u);
    EXPECT_EQ(std::u16string(u"\\Books\\X\uF05CY\\bad\xDCFF"), device);
    ASSERT_GT(DeviceToHostPath(device, mapped, sizeof mapped), 0u);
    EXPECT_EQ(books / "X\\Y/bad\xff", mapped);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0u, DeviceToHostPath(u"\\Books\\\xD800.htm", mapped, sizeof mapped));
    EXPECT_EQ((DWORD)ERROR_INVALID_NAME, GetLastError());
}

// Aliases: a host folder under the root whose device form is the scratch
// folder's name is refused, never taken for the scratch folder.
TEST_F(DeviceFiles, HostPathsHiddenByTheScratchFolderAreRefused)
{
    WCHAR device[MAX_PATH];
    for (const char* hidden : {"root/Temp/book.chm", "root/temp/out", "root/TEMP"}) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(0u, HostToDevicePath((host / hidden).c_str(), device, MAX_PATH)) << hidden;
        EXPECT_EQ((DWORD)ERROR_BAD_PATHNAME, GetLastError()) << hidden;
    }
    EXPECT_GT(HostToDevicePath((host / "root/Temporary/x").c_str(), device, MAX_PATH), 0u);
}

TEST_F(DeviceFiles, DeleteTakesFilesNotFolders)
{
    std::ofstream(host / "root/Books/gone.htm") << "x";
    EXPECT_TRUE(DeleteFileW(u"\\Books\\gone.htm"));
    EXPECT_FALSE(fs::exists(host / "root/Books/gone.htm"));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteFileW(u"\\Books"));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_TRUE(fs::exists(host / "root/Books"));
}

// A folder held open: files and folders made in it by name never reach
// outside it, and nothing that is in the way (a link, a file, a folder) is
// followed, reopened or replaced.
TEST_F(DeviceFiles, WhatIsMadeInAHeldFolderStaysInIt)
{
    fs::create_directories(host / "root/out");
    fs::create_directories(host / "elsewhere");
    HANDLE out = OpenFolderW(u"\\out");
    ASSERT_NE(out, INVALID_HANDLE_VALUE);
    auto fails = [](HANDLE handle, DWORD error) {
        bool failed = handle == INVALID_HANDLE_VALUE;
        if (!failed)
            CloseHandle(handle);
        return failed && GetLastError() == error;
    };
    for (const WCHAR* name : {u"", u".", u"..", u"a\\b", u"a/b", u"..\\up"}) {
        SetLastError(0xdeadbeef);
        EXPECT_TRUE(fails(CreateFileInFolderW(out, name, CREATE_NEW, 0), ERROR_INVALID_NAME));
        EXPECT_TRUE(fails(CreateFileInFolderW(out, name, OPEN_ALWAYS, FILE_ATTRIBUTE_DIRECTORY), ERROR_INVALID_NAME));
    }
    EXPECT_TRUE(fails(CreateFileInFolderW(out, std::u16string(256, u'n').c_str(), CREATE_NEW, 0),
                      ERROR_FILENAME_EXCED_RANGE));

    HANDLE file = CreateFileInFolderW(out, u"page.htm", CREATE_NEW, 0);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, "text", 4, &written, nullptr));
    CloseHandle(file);
    EXPECT_TRUE(fails(CreateFileInFolderW(out, u"page.htm", CREATE_NEW, 0), ERROR_FILE_EXISTS));
    EXPECT_TRUE(fails(CreateFileInFolderW(out, u"page.htm", CREATE_ALWAYS, 0), ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(fails(CreateFileInFolderW(out, u"page.htm", OPEN_ALWAYS, FILE_ATTRIBUTE_DIRECTORY), ERROR_DIRECTORY));
    std::ifstream in(host / "root/out/page.htm");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "text");

    // Links planted in the folder: to a folder, and to nowhere yet.
    fs::create_directory_symlink(host / "elsewhere", host / "root/out/link");
    fs::create_symlink(host / "elsewhere/new", host / "root/out/dangling");
    EXPECT_TRUE(fails(CreateFileInFolderW(out, u"dangling", CREATE_NEW, 0), ERROR_FILE_EXISTS));
    EXPECT_TRUE(fails(CreateFileInFolderW(out, u"link", OPEN_ALWAYS, FILE_ATTRIBUTE_DIRECTORY), ERROR_CANT_ACCESS_FILE));
    EXPECT_FALSE(fs::exists(host / "elsewhere/new"));

    HANDLE sub = CreateFileInFolderW(out, u"sub", CREATE_NEW, FILE_ATTRIBUTE_DIRECTORY);
    ASSERT_NE(sub, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(fails(CreateFileInFolderW(out, u"sub", CREATE_NEW, FILE_ATTRIBUTE_DIRECTORY), ERROR_ALREADY_EXISTS));
    HANDLE again = CreateFileInFolderW(out, u"sub", OPEN_ALWAYS, FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    // A name the device cannot write stands for its host byte.
    HANDLE odd = CreateFileInFolderW(again, u"\xDCFF.gif", CREATE_NEW, 0);
    EXPECT_NE(odd, INVALID_HANDLE_VALUE);
    CloseHandle(odd);
    EXPECT_TRUE(fs::exists(host / "root/out/sub/\xff.gif"));
    CloseHandle(again);

    EXPECT_TRUE(DeleteFileInFolderW(out, u"dangling"));
    EXPECT_FALSE(fs::is_symlink(host / "root/out/dangling"));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteFileInFolderW(out, u"sub"));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_FALSE(DeleteFileInFolderW(out, u"../page.htm"));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_NAME);
    // A folder handle is no file, and a closed one is no folder.
    EXPECT_FALSE(WriteFile(sub, "x", 1, &written, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    CloseHandle(sub);
    EXPECT_TRUE(fails(CreateFileInFolderW(sub, u"late.htm", CREATE_NEW, 0), ERROR_INVALID_HANDLE));
    EXPECT_FALSE(DeleteFileInFolderW(sub, u"late.htm"));
    CloseHandle(out);

    // Only a folder is held, never through a link in its last component.
    fs::create_directory_symlink(host / "elsewhere", host / "root/linked");
    EXPECT_TRUE(fails(OpenFolderW(u"\\linked"), ERROR_CANT_ACCESS_FILE));
    EXPECT_TRUE(fails(OpenFolderW(u"\\out\\page.htm"), ERROR_DIRECTORY));
    EXPECT_TRUE(fails(OpenFolderW(u"\\missing"), ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(fails(OpenFolderW(u"\\out\\..\\out"), ERROR_INVALID_NAME));
    EXPECT_EQ(std::distance(fs::directory_iterator(host / "elsewhere"), fs::directory_iterator()), 0);
}

} // namespace
