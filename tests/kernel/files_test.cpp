#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <sys/stat.h>
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

TEST_F(DeviceFiles, ScratchFolderThatIsALinkOrForeignIsRefused)
{
    fs::create_directories(host / "elsewhere");
    fs::create_directory_symlink(host / "elsewhere", host / "temp");
    char mapped[512];
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0u, DeviceToHostPath(u"\\Temp\\a.htm", mapped, sizeof mapped));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ(nullptr, _wfopen(u"\\Temp\\a.htm", u"wb"));
    EXPECT_TRUE(fs::is_empty(host / "elsewhere"));
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

} // namespace
