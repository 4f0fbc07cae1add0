// Named mutexes between real processes: existence, a holder that ends, names.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr DWORD kMarker = 0xDEADBEEF;

// Each test gets a runtime folder of its own, so tests running side by side and a
// Leafwise the developer has open never see each other's mutexes.
class MutexTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/lw-mutex-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        setenv("LEAFWISE_RUNTIME", (folder + "/run").c_str(), 1);
    }
    void TearDown() override
    {
        unsetenv("LEAFWISE_RUNTIME");
        std::string command = "rm -rf '" + folder + "'";
        (void)system(command.c_str());
    }

    // A child that opens the mutex, says so through a pipe, and then waits for the
    // parent's word (or ends at once when `holdUntilTold` is false, without ever
    // closing its handle: only the process's end lets go).
    pid_t StartHolder(LPCWSTR name, int* tell)
    {
        int ready[2], go[2];
        EXPECT_EQ(pipe(ready), 0);
        EXPECT_EQ(pipe(go), 0);
        pid_t child = fork();
        if (child == 0) {
            // A bound, so a broken test cannot leave the child (and the suite) waiting.
            alarm(30);
            // Only the child's own ends stay open, or the parent's close never reaches it.
            close(ready[0]);
            close(go[1]);
            HANDLE mutex = CreateMutexW(nullptr, FALSE, name);
            char c = mutex && GetLastError() != ERROR_ALREADY_EXISTS ? 'y' : 'n';
            (void)!write(ready[1], &c, 1);
            (void)!read(go[0], &c, 1);
            _exit(0);
        }
        close(ready[1]);
        close(go[0]);
        char c = 0;
        EXPECT_EQ(read(ready[0], &c, 1), 1);
        EXPECT_EQ(c, 'y');
        close(ready[0]);
        *tell = go[1];
        return child;
    }
    static void Finish(pid_t child, int tell)
    {
        close(tell);
        int status = 0;
        waitpid(child, &status, 0);
    }

    std::string folder;
};

TEST_F(MutexTest, SecondHandleInAnotherProcessSeesItExists)
{
    int tell;
    pid_t holder = StartHolder(u"Leafwise", &tell);

    SetLastError(kMarker);
    HANDLE second = CreateMutexW(nullptr, FALSE, u"Leafwise");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(CloseHandle(second));

    // Names are case-sensitive, as on Windows.
    HANDLE other = CreateMutexW(nullptr, FALSE, u"leafwise");
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_SUCCESS);
    CloseHandle(other);

    // The holder ends without closing its handle: the mutex goes with it.
    Finish(holder, tell);
    SetLastError(kMarker);
    HANDLE fresh = CreateMutexW(nullptr, FALSE, u"Leafwise");
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_SUCCESS);
    CloseHandle(fresh);
}

TEST_F(MutexTest, HandlesInOneProcessCountAsWell)
{
    HANDLE first = CreateMutexW(nullptr, FALSE, u"Leafwise");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_SUCCESS);
    HANDLE second = CreateMutexW(nullptr, FALSE, u"Leafwise");
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(CloseHandle(first));
    // One handle is still open, so the name still exists.
    HANDLE third = CreateMutexW(nullptr, FALSE, u"Leafwise");
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
    CloseHandle(second);
    CloseHandle(third);
    HANDLE again = CreateMutexW(nullptr, FALSE, u"Leafwise");
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_SUCCESS);
    CloseHandle(again);

    SetLastError(kMarker);
    EXPECT_FALSE(CloseHandle(again));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
}

TEST_F(MutexTest, OwnershipStaysWithTheCreatingThread)
{
    HANDLE owned = CreateMutexW(nullptr, TRUE, u"Owned");
    ASSERT_NE(owned, nullptr);
    EXPECT_TRUE(ReleaseMutex(owned));
    SetLastError(kMarker);
    EXPECT_FALSE(ReleaseMutex(owned));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_OWNER);

    // Asking to own a mutex that exists already does not own it.
    HANDLE late = CreateMutexW(nullptr, TRUE, u"Owned");
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(ReleaseMutex(late));
    CloseHandle(late);
    CloseHandle(owned);

    HANDLE unnamed = CreateMutexW(nullptr, FALSE, nullptr);
    ASSERT_NE(unnamed, nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_SUCCESS);
    CloseHandle(unnamed);
}

TEST_F(MutexTest, HostileAndOverlongNamesStayInTheFolder)
{
    SetLastError(kMarker);
    EXPECT_EQ(CreateMutexW(nullptr, FALSE, u"Global\\Leafwise"), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_NAME);

    std::u16string tooLong(MAX_PATH + 1, u'x');
    EXPECT_EQ(CreateMutexW(nullptr, FALSE, tooLong.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILENAME_EXCED_RANGE);

    // Path-like and long names make lock files inside the runtime folder only.
    for (std::u16string name : {std::u16string(u"../../escape"), std::u16string(u"/etc/x"), std::u16string(u".."),
                                std::u16string(MAX_PATH, u'\u00e9')}) {
        HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
        ASSERT_NE(mutex, nullptr);
        HANDLE again = CreateMutexW(nullptr, FALSE, name.c_str());
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
        CloseHandle(again);
        CloseHandle(mutex);
    }
    std::string listing = folder + ".list";
    std::string command = "find '" + folder + "' -mindepth 1 -not -path '" + folder + "/run' -not -path '" + folder +
                          "/run/mutex-*' > '" + listing + "'";
    ASSERT_EQ(system(command.c_str()), 0);
    FILE* f = fopen(listing.c_str(), "r");
    ASSERT_NE(f, nullptr);
    char line[512];
    EXPECT_EQ(fgets(line, sizeof line, f), nullptr) << "stray file: " << line;
    fclose(f);
    unlink(listing.c_str());
}

TEST_F(MutexTest, RuntimeFolderThatIsALinkIsRefused)
{
    std::string target = folder + "/elsewhere";
    std::string link = folder + "/link";
    ASSERT_EQ(mkdir(target.c_str(), 0700), 0);
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    setenv("LEAFWISE_RUNTIME", link.c_str(), 1);
    SetLastError(kMarker);
    EXPECT_EQ(CreateMutexW(nullptr, FALSE, u"Leafwise"), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    char path[MAX_PATH];
    EXPECT_EQ(GetRuntimeFolder(path, sizeof path), 0u);
}

}  // namespace
