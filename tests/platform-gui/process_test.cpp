// Other processes: finding and raising another instance's window, and the
// message trace that a program writes.
#include "fixture.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <QDir>
#include <QTemporaryDir>

#include <fstream>
#include <sstream>
#include <unistd.h>

using namespace lwtest;

namespace {

class Processes : public WindowTest {
protected:
    void TearDown() override
    {
        if (host.state() != QProcess::NotRunning) {
            host.kill();
            host.waitForFinished(5000);
        }
        WindowTest::TearDown();
    }
    bool StartHost(const QStringList& arguments)
    {
        host.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        host.start(QStringLiteral(WINDOW_HOST), arguments);
        return host.waitForStarted(5000);
    }
    // Waits for a line from the host, delivering this process's messages meanwhile.
    bool HostSaid(const QByteArray& line, int limitMs = 5000)
    {
        return PumpUntil(
            [&] {
                host.waitForReadyRead(10);
                heard += host.readAllStandardOutput();
                return heard.contains(line + "\n");
            },
            limitMs);
    }
    QProcess host;
    QByteArray heard;
};

} // namespace

TEST_F(Processes, FindWindowReachesAnotherInstanceAndBringsItsWindowForward)
{
    ASSERT_TRUE(StartHost({"serve", "LwFarClass", "Far Title"}));
    ASSERT_TRUE(HostSaid("ready")) << heard.constData();
    HWND far = FindWindowW(u"LwFarClass", u"Far Title");
    ASSERT_TRUE(far);
    EXPECT_TRUE(IsWindow(far));
    EXPECT_EQ(FindWindowW(u"LwFarClass", u"Far Title"), far); // one handle per remote window
    EXPECT_EQ(FindWindowW(u"LwFarClass", u"Other Title"), nullptr);

    heard.clear();
    auto flagged = reinterpret_cast<HWND>(reinterpret_cast<uintptr_t>(far) | 1);
    EXPECT_TRUE(SetForegroundWindow(flagged));
    EXPECT_TRUE(HostSaid("activated")) << heard.constData();

    // Only finding and raising cross the process boundary.
    SetLastError(0xdeadbeef);
    EXPECT_EQ(SendMessageW(far, WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(Processes, InstanceThatEndedIsNotFound)
{
    ASSERT_TRUE(StartHost({"serve", "LwGoneClass", "Gone"}));
    ASSERT_TRUE(HostSaid("ready"));
    host.kill();
    host.waitForFinished(5000);
    EXPECT_EQ(FindWindowW(u"LwGoneClass", u"Gone"), nullptr);
}

// The lines of the trace that `window_host trace` writes; `only` is the filter.
std::vector<std::string> HostTrace(QProcess& host, const QString& only = QString())
{
    // A file of this process's own: ctest runs the trace tests side by side.
    std::string path = ::testing::TempDir() + "/lw-trace-" + std::to_string(getpid()) + ".log";
    std::remove(path.c_str());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LEAFWISE_TRACE", QString::fromStdString(path));
    if (!only.isEmpty())
        environment.insert("LEAFWISE_TRACE_ONLY", only);
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    host.setProcessEnvironment(environment);
    host.start(QStringLiteral(WINDOW_HOST), {"trace"});
    EXPECT_TRUE(host.waitForFinished(10000));
    EXPECT_EQ(host.exitCode(), 0);
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    std::remove(path.c_str());
    return lines;
}

TEST_F(Processes, TraceWritesOneLinePerDeliveredMessage)
{
    std::vector<std::string> lines = HostTrace(host);
    auto has = [&](const std::string& start) {
        for (const std::string& line : lines)
            if (line.rfind(start, 0) == 0)
                return true;
        return false;
    };
    auto find = [&](const std::string& part) -> std::string {
        for (const std::string& line : lines)
            if (line.find(part) != std::string::npos)
                return line;
        return "";
    };
    EXPECT_TRUE(has("LwHost\tWM_CREATE\t0x0\t0x"));
    EXPECT_TRUE(has("LwHost\tWM_SIZE\t0x0\t0x10c00f0")); // 240 x 268
    std::string setText = find("WM_SETTEXT");
    EXPECT_NE(setText.find("\t\"Say \\\"hi\\\"\\\\now\\tand\xc3\xa9\""), std::string::npos) << setText;
    EXPECT_TRUE(has("LwHost\t0x0405\t0x1\t0x2"));
    EXPECT_TRUE(has("LwHost\tLWM_SIX\t0xab\t0xffffffffffffffff"));
    std::string notify = find("WM_NOTIFY");
    EXPECT_EQ(notify.rfind("LwHost\tWM_NOTIFY:NM_HOTSPOT\t0x1004\t0x", 0), 0u) << notify;
    EXPECT_NE(notify.find("\t\"page.htm#top\""), std::string::npos) << notify;
    std::string init = find("WM_INITDIALOG");
    EXPECT_EQ(init.rfind("#32770\tWM_INITDIALOG\t0x0\t0x0\t\"Dialog Title\"", 0), 0u) << init;
    EXPECT_TRUE(has("LwHost\tWM_DESTROY\t0x0\t0x0"));
    EXPECT_TRUE(has("LwHost\tWM_NCCREATE\t0x0\t0x"));
    // The controls' lines: insertions with their texts, input, notifications by name.
    std::string inserted = find("TVM_INSERTITEMW");
    EXPECT_EQ(inserted.rfind("SysTreeView32\tTVM_INSERTITEMW\t0x0\t0x", 0), 0u) << inserted;
    EXPECT_NE(inserted.find("\t\"Chapter \\\"1\\\"\""), std::string::npos) << inserted;
    EXPECT_NE(find("LVM_INSERTITEMW").find("\t\"book.chm\""), std::string::npos);
    EXPECT_TRUE(has("SysTreeView32\tWM_KEYDOWN\t0xd\t0x1"));
    EXPECT_TRUE(has("SysTreeView32\tWM_KEYDOWN\t0x8\t0x1"));
    EXPECT_TRUE(has("SysTreeView32\tWM_LBUTTONDOWN\t0x1\t0x50005"));
    EXPECT_TRUE(has("LwHost\tWM_NOTIFY:TVN_KEYDOWN\t0x1002\t0x"));
    EXPECT_TRUE(has("LwHost\tWM_NOTIFY:NM_RETURN\t0x1002\t0x"));
    EXPECT_TRUE(has("LwHost\tWM_NOTIFY:NM_CLICK\t0x1002\t0x"));
    EXPECT_TRUE(has("LwHost\tWM_NOTIFY:LVN_KEYDOWN\t0x1003\t0x"));
    EXPECT_TRUE(has("LwHost\tWM_NCDESTROY\t0x0\t0x0"));
}

TEST_F(Processes, MainHandsWinMainTheCommandLineAndReturnsItsResult)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QString base = QDir(folder.path()).canonicalPath();
    { std::ofstream(base.toStdString() + "/book.chm") << "x"; }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("LEAFWISE_ROOT");
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    host.setProcessEnvironment(environment);
    host.setWorkingDirectory(base);
    // A plain word; a relative file that exists; an absolute one; a relative path
    // that does not exist but holds a "/"; a word with a space in it.
    host.start(QStringLiteral(CMDLINE_HOST), {"plain", "book.chm", base + "/book.chm", "sub/page.chm", "two words"});
    ASSERT_TRUE(host.waitForFinished(10000));
    EXPECT_EQ(host.exitCode(), 3);
    QString device = QString(base).replace('/', '\\');
    QString expected = "[plain " + device + "\\book.chm " + device + "\\book.chm " + device +
                       "\\sub\\page.chm two words] instance=1 previous=1 show=5\n";
    EXPECT_EQ(QString::fromUtf8(host.readAllStandardOutput()), expected);
}

TEST_F(Processes, TraceKeepsOnlyTheNamedMessages)
{
    std::vector<std::string> lines = HostTrace(host, "WM_SETTEXT,NM_RETURN,,LWM_SIX,WM_NOTIFY:NM_CLICK");
    std::vector<std::string> kept;
    for (const std::string& line : lines)
        kept.push_back(line.substr(0, line.find('\t', line.find('\t') + 1)));
    EXPECT_EQ(kept, (std::vector<std::string>{"LwHost\tWM_SETTEXT", "LwHost\tLWM_SIX", "LwHost\tWM_NOTIFY:NM_RETURN",
                                              "LwHost\tWM_NOTIFY:NM_CLICK"}));
}
