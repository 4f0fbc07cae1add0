// The single-instance rule between real processes: the program started as a
// second instance, with this test process or another Leafwise as the first.
#include "appfixture.h"

#include "ReaderApp.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace apptest {
namespace {

using Clock = std::chrono::steady_clock;

class InstanceTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    }
    void TearDown() override
    {
        for (pid_t child : children) {
            kill(child, SIGTERM);
            waitpid(child, nullptr, 0);
        }
        AppTest::TearDown();
    }

    pid_t StartLeafwise(const char* argument = nullptr, const char* errorFile = nullptr)
    {
        pid_t child = fork();
        if (child == 0) {
            if (errorFile) {
                int fd = open(errorFile, O_WRONLY | O_CREAT | O_TRUNC, 0600);
                dup2(fd, 2);
            }
            execl(LEAFWISE_EXE, LEAFWISE_EXE, argument, static_cast<char*>(nullptr));
            _exit(127);
        }
        children.push_back(child);
        return child;
    }
    // Waits for the child's end, delivering this process's messages meanwhile (it
    // may be the instance the child is asking). -1 when it did not end in time.
    int WaitForExit(pid_t child, int limitMs)
    {
        int status = 0;
        bool ended = lwtest::PumpUntil([&] { return waitpid(child, &status, WNOHANG) == child; }, limitMs);
        if (!ended)
            return -1;
        children.erase(std::find(children.begin(), children.end(), child));
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    static HWND WaitForLeafwiseWindow(int limitMs)
    {
        HWND found = nullptr;
        lwtest::PumpUntil([&] { return (found = FindWindowW(u"Leafwise", u"Leafwise")) != nullptr; }, limitMs);
        return found;
    }
    static double Seconds(Clock::time_point since)
    {
        return std::chrono::duration<double>(Clock::now() - since).count();
    }

    std::vector<pid_t> children;
};

TEST_F(InstanceTest, SecondStartBringsTheFirstForwardAndEndsWithZero)
{
    // This process is the first instance; another window of its own is on top.
    ReaderApp app;
    registeredFor.push_back(GetModuleHandleW(nullptr));
    ASSERT_TRUE(app.Init(GetModuleHandleW(nullptr)));
    ShowWindow(app.mainWindow, SW_SHOW);
    WNDCLASSW otherClass = {};
    otherClass.lpfnWndProc = DefWindowProcW;
    otherClass.lpszClassName = u"Other";
    RegisterClassW(&otherClass);
    // The main window owns a dialog (as About is), and a stranger covers both.
    HWND about = CreateWindowExW(0, u"Other", u"About", 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                 CW_USEDEFAULT, app.mainWindow, nullptr, nullptr, nullptr);
    ShowWindow(about, SW_SHOW);
    HWND other = CreateWindowExW(0, u"Other", u"Other", 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                 CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
    ShowWindow(other, SW_SHOW);
    lwtest::Drain();
    ASSERT_EQ(GetForegroundWindow(), other);

    Clock::time_point start = Clock::now();
    // Even naming a book, which the second start never opens.
    pid_t second = StartLeafwise("/nowhere/book.chm");
    EXPECT_EQ(WaitForExit(second, 10000), 0);
    EXPECT_LT(Seconds(start), 5.0);
    // The main window comes forward with the dialog it owns above it.
    lwtest::PumpUntil([&] { return GetForegroundWindow() == about; }, 2000);
    EXPECT_EQ(GetForegroundWindow(), about);

    DestroyWindow(other);
    DestroyWindow(about);
    UnregisterClassW(u"Other", nullptr);
    DestroyWindow(app.mainWindow);
}

TEST_F(InstanceTest, TwoProgramsTheSecondEndsAtOnce)
{
    pid_t first = StartLeafwise();
    ASSERT_NE(WaitForLeafwiseWindow(10000), nullptr) << "the first Leafwise never showed its window";
    Clock::time_point start = Clock::now();
    pid_t second = StartLeafwise();
    EXPECT_EQ(WaitForExit(second, 10000), 0);
    EXPECT_LT(Seconds(start), 5.0);
    EXPECT_EQ(waitpid(first, nullptr, WNOHANG), 0) << "the first Leafwise must run on";
}

TEST_F(InstanceTest, MutexWithoutWindowGivesUpAfterFiveTries)
{
    // Held by this process, which shows no Leafwise window.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, u"Leafwise");
    ASSERT_NE(mutex, nullptr);
    Clock::time_point start = Clock::now();
    pid_t second = StartLeafwise();
    EXPECT_EQ(WaitForExit(second, 20000), 0);
    double elapsed = Seconds(start);
    EXPECT_GE(elapsed, 2.4) << "five tries of 500 ms each";
    EXPECT_LT(elapsed, 10.0);
    EXPECT_EQ(FindWindowW(u"Leafwise", u"Leafwise"), nullptr);
    CloseHandle(mutex);
}

TEST_F(InstanceTest, WhenTheFirstEndsWhileTheSecondWaitsTheSecondStarts)
{
    // A first instance (a child holding the mutex, without a window) that ends
    // while the second is between tries.
    // Close-on-exec, or the second Leafwise would keep the holder's pipe open.
    int go[2];
    ASSERT_EQ(pipe2(go, O_CLOEXEC), 0);
    pid_t holder = fork();
    if (holder == 0) {
        alarm(30);  // never outlives a broken test by much
        close(go[1]);
        CreateMutexW(nullptr, FALSE, u"Leafwise");
        char c;
        (void)!read(go[0], &c, 1);
        _exit(0);
    }
    close(go[0]);
    children.push_back(holder);
    // Until the holder has it, the second would simply start.
    ASSERT_TRUE(lwtest::PumpUntil(
        [] {
            HANDLE probe = CreateMutexW(nullptr, FALSE, u"Leafwise");
            bool held = GetLastError() == ERROR_ALREADY_EXISTS;
            CloseHandle(probe);
            return held;
        },
        5000));

    pid_t second = StartLeafwise();
    lwtest::PumpUntil([] { return false; }, 700);  // the second is waiting now
    EXPECT_EQ(waitpid(second, nullptr, WNOHANG), 0);
    close(go[1]);                                   // the first instance ends
    EXPECT_EQ(WaitForExit(holder, 5000), 0);

    EXPECT_NE(WaitForLeafwiseWindow(10000), nullptr) << "the second Leafwise did not start";
    EXPECT_EQ(waitpid(second, nullptr, WNOHANG), 0) << "and it runs";
}

// A holder of the mutex whose instance socket takes the connection and never
// answers (a hung or hostile process) costs one short wait, not two seconds
// for every question of every try.
TEST_F(InstanceTest, SilentHolderDelaysTheStartLittle)
{
    int ready[2], go[2];
    ASSERT_EQ(pipe2(ready, O_CLOEXEC), 0);
    ASSERT_EQ(pipe2(go, O_CLOEXEC), 0);
    pid_t holder = fork();
    if (holder == 0) {
        alarm(30);
        close(ready[0]);
        close(go[1]);
        CreateMutexW(nullptr, FALSE, u"Leafwise");
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        snprintf(address.sun_path, sizeof address.sun_path, "%s/window-%d", runtime.c_str(), (int)getpid());
        int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        if (bind(fd, (sockaddr*)&address, sizeof address) == 0 && listen(fd, 8) == 0)
            (void)!write(ready[1], "y", 1);
        char c;
        (void)!read(go[0], &c, 1);
        _exit(0);
    }
    close(ready[1]);
    close(go[0]);
    children.push_back(holder);
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    close(ready[0]);

    Clock::time_point start = Clock::now();
    pid_t second = StartLeafwise();
    EXPECT_EQ(WaitForExit(second, 60000), 0);
    // Five tries of 500 ms and one 200 ms wait come to 2.7 s; the bound leaves
    // room for a loaded machine and still tells them from the 40 s that two
    // seconds per question of every try cost.
    EXPECT_LT(Seconds(start), 8.0);
    close(go[1]);
}

// A runtime folder that others can write into would let them hold the
// program's mutex: it is refused, and the program says so.
TEST_F(InstanceTest, RuntimeFolderOthersCanWriteIsRefusedAloud)
{
    ASSERT_EQ(chmod(runtime.c_str(), 0777), 0);
    std::string errorFile = runtime + ".stderr";
    pid_t child = StartLeafwise(nullptr, errorFile.c_str());
    EXPECT_EQ(WaitForExit(child, 10000), 0);
    std::stringstream said;
    said << std::ifstream(errorFile).rdbuf();
    unlink(errorFile.c_str());
    EXPECT_NE(said.str().find("runtime folder " + runtime + " is refused: other users can write into it"),
              std::string::npos)
        << said.str();
}

}  // namespace
}  // namespace apptest
