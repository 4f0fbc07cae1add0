// The "Associate" command end to end: registry values, the desktop's view of
// them, the message the user sees, and what happens when the hive is unwell.
#include "FileAssociation.h"

#include "RegKey.h"

#include "../registry/scratch_home.h"
#include "../support/command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace {

// The message box is the platform's own, answering at once into its log; a
// hidden window stands for the main window that owns it.
class FileAssociationTest : public ScratchHome {
protected:
    void SetUp() override {
        ScratchHome::SetUp();
        boxLog = root + "/boxes.log";
        setenv("LEAFWISE_MESSAGEBOX_LOG", boxLog.c_str(), 1);
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.lpszClassName = u"LwAssocOwner";
        RegisterClassW(&wc);
        mainWindow = CreateWindowExW(0, u"LwAssocOwner", u"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        ASSERT_TRUE(mainWindow);
        ASSERT_GT(GetModuleFileNameW(nullptr, program, MAX_PATH), 0u);
    }
    void TearDown() override {
        DestroyWindow(mainWindow);
        unsetenv("LEAFWISE_MESSAGEBOX_LOG");
        ScratchHome::TearDown();
    }

    std::u16string Value(LPCWSTR key) {
        RegKey k(HKEY_CLASSES_ROOT, key, FALSE);
        WideString text = k.QueryString(nullptr, nullptr);
        return text.Buffer() ? text.Buffer() : u"";
    }

    // One box since the last look, owned by the main window.
    void ExpectOneBox(const std::string& text, UINT type) {
        char line[256];
        snprintf(line, sizeof line, "Leafwise\t%s\t0x%x\t0x%llx\n", text.c_str(), type,
                 static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(mainWindow)));
        EXPECT_EQ(ReadFile(boxLog), line);
        std::remove(boxLog.c_str());
    }

    WCHAR program[MAX_PATH];
    HWND mainWindow = nullptr;
    std::string boxLog;
};

TEST_F(FileAssociationTest, WritesTheThreeValuesAndSaysSo) {
    FileAssociation(mainWindow);
    const std::u16string path = program;
    EXPECT_EQ(Value(u".chm"), u"CHMFile");
    EXPECT_EQ(Value(u"CHMFile\\DefaultIcon"), u"\"" + path + u"\", 0");
    EXPECT_EQ(Value(u"CHMFile\\Shell\\Open\\Command"), u"\"" + path + u"\" %1");
    ExpectOneBox("CHM File associate success!", MB_OK | MB_ICONINFORMATION);
    EXPECT_EQ(MB_OK | MB_ICONINFORMATION, 0x40);

    // Again: the same three values, byte for byte, and the same message.
    const std::string hive = ReadFile(HiveFile());
    FileAssociation(mainWindow);
    EXPECT_EQ(ReadFile(HiveFile()), hive);
    ExpectOneBox("CHM File associate success!", MB_OK | MB_ICONINFORMATION);
}

TEST_F(FileAssociationTest, DesktopOpensChmFilesWithTheProgram) {
    FileAssociation(mainWindow);
    char host[4096];
    ssize_t n = readlink("/proc/self/exe", host, sizeof host - 1);
    ASSERT_GT(n, 0);
    host[n] = 0;
    std::string entry = ReadFile(root + "/data/applications/leafwise-chmfile.desktop");
    EXPECT_NE(entry.find("\nExec=" + std::string(host) + " %f\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("MimeType=application/vnd.ms-htmlhelp;"), std::string::npos) << entry;
    if (system("command -v xdg-mime >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "xdg-mime (xdg-utils) is not installed";
    EXPECT_EQ(lwtest::CommandOutput("xdg-mime query default application/vnd.ms-htmlhelp"),
              "leafwise-chmfile.desktop");
}

// An installed Leafwise comes with its own entry. When that entry, where the
// desktop looks (a staged XDG_DATA_DIRS here), starts this very program, it
// becomes the default and no second entry is written; one that starts another
// copy (this program being a build tree's), or is marked deleted, leaves the
// user entry as before.
TEST_F(FileAssociationTest, InstalledEntryThatStartsThisProgramIsMadeTheDefault)
{
    char host[4096];
    ssize_t n = readlink("/proc/self/exe", host, sizeof host - 1);
    ASSERT_GT(n, 0);
    host[n] = 0;
    const std::filesystem::path self(host);
    const std::string systemData = root + "/system";
    const std::string installed = systemData + "/applications/example.leafwise.Leafwise.desktop";
    const std::string own = root + "/data/applications/leafwise-chmfile.desktop";
    const std::string entry = "[Desktop Entry]\nType=Application\nName=Leafwise\n"
                              "MimeType=application/vnd.ms-htmlhelp;application/x-chm;\nExec=";
    setenv("XDG_DATA_DIRS", systemData.c_str(), 1);
    const std::string path = getenv("PATH") ? getenv("PATH") : "";

    // Another program file, on this program's file system where the scratch
    // folder shares it.
    const std::string another = root + "/another-leafwise";
    WriteFile(another, "#!/bin/sh\n");
    chmod(another.c_str(), 0755);
    WriteFile(installed, entry + another + " %f\n");
    FileAssociation(mainWindow);
    ExpectOneBox("CHM File associate success!", MB_OK | MB_ICONINFORMATION);
    EXPECT_NE(ReadFile(own).find("\nNoDisplay=true\n"), std::string::npos);
    EXPECT_NE(ReadFile(root + "/config/mimeapps.list").find("application/vnd.ms-htmlhelp=leafwise-chmfile.desktop;"),
              std::string::npos);

    std::filesystem::remove(own);
    WriteFile(installed, entry + self.filename().string() + " %f\n");
    setenv("PATH", (self.parent_path().string() + ":" + path).c_str(), 1);
    FileAssociation(mainWindow);
    ExpectOneBox("CHM File associate success!", MB_OK | MB_ICONINFORMATION);
    EXPECT_FALSE(std::filesystem::exists(own)) << "a second entry for the same program";
    const std::string mimeapps = ReadFile(root + "/config/mimeapps.list");
    EXPECT_NE(mimeapps.find("application/vnd.ms-htmlhelp=example.leafwise.Leafwise.desktop;\n"), std::string::npos)
        << mimeapps;
    EXPECT_NE(mimeapps.find("application/x-chm=example.leafwise.Leafwise.desktop;\n"), std::string::npos);
    if (system("command -v xdg-mime >/dev/null 2>&1") == 0) {
        EXPECT_EQ(lwtest::CommandOutput("xdg-mime query default application/vnd.ms-htmlhelp"),
                  "example.leafwise.Leafwise.desktop");
    }

    // An entry marked deleted (Hidden) is none, whatever it starts.
    WriteFile(installed, entry + self.filename().string() + " %f\nHidden=true\n");
    FileAssociation(mainWindow);
    ExpectOneBox("CHM File associate success!", MB_OK | MB_ICONINFORMATION);
    EXPECT_TRUE(std::filesystem::exists(own));
    EXPECT_NE(ReadFile(root + "/config/mimeapps.list").find("application/vnd.ms-htmlhelp=leafwise-chmfile.desktop;"),
              std::string::npos);
    setenv("PATH", path.c_str(), 1);
    unsetenv("XDG_DATA_DIRS");
}

TEST_F(FileAssociationTest, HiveThatCannotBeWrittenGivesTheFailureAndLosesNothing) {
    {
        RegKey other(HKEY_CLASSES_ROOT, u".txt", TRUE);
        other.SetString(nullptr, u"txtfile");
    }
    const std::string before = ReadFile(HiveFile());
    chmod(HiveFile().c_str(), 0444);

    FileAssociation(mainWindow);
    ExpectOneBox("CHM File association failed!", MB_OK | MB_ICONERROR);
    EXPECT_EQ(ReadFile(HiveFile()), before);
    EXPECT_EQ(Value(u".txt"), u"txtfile");
    EXPECT_FALSE(std::filesystem::exists(root + "/data/applications/leafwise-chmfile.desktop"));
}

// Each value counts: with the other two already in place, a read-only hive
// fails only the missing ".chm" value, and that alone is a failure.
TEST_F(FileAssociationTest, AMissingExtensionValueAloneIsAFailure) {
    FileAssociation(mainWindow);
    std::remove(boxLog.c_str());
    const std::string complete = ReadFile(HiveFile());
    std::string withoutExtension = complete;
    size_t section = withoutExtension.find("[HKEY_CLASSES_ROOT\\.chm]\n@=\"CHMFile\"\n");
    ASSERT_NE(section, std::string::npos) << complete;
    withoutExtension.erase(section, std::string("[HKEY_CLASSES_ROOT\\.chm]\n@=\"CHMFile\"\n").size());
    WriteFile(HiveFile(), withoutExtension);
    chmod(HiveFile().c_str(), 0444);

    FileAssociation(mainWindow);
    ExpectOneBox("CHM File association failed!", MB_OK | MB_ICONERROR);
    EXPECT_EQ(Value(u".chm"), u"");
    EXPECT_EQ(Value(u"CHMFile\\DefaultIcon"), u"\"" + std::u16string(program) + u"\", 0");
}

TEST_F(FileAssociationTest, DamagedHiveIsKeptAsideAndTheAssociationStillMade) {
    const std::string damaged = "[HKEY_CLASSES_ROOT\\.chm]\n@=\"unterminated\n";
    WriteFile(HiveFile(), damaged);
    testing::internal::CaptureStderr();
    FileAssociation(mainWindow);
    std::string said = testing::internal::GetCapturedStderr();

    std::vector<std::string> kept = FilesStartingWith("registry.reg.damaged-");
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(ReadFile(kept[0]), damaged);
    EXPECT_NE(said.find(kept[0]), std::string::npos) << said;
    EXPECT_EQ(Value(u".chm"), u"CHMFile");
    ExpectOneBox("CHM File associate success!", MB_OK | MB_ICONINFORMATION);
}

// A program whose own path cannot be told (here: outside the device's root)
// would register a command naming nothing; that is a failure, not a success,
// and no value is written.
TEST_F(FileAssociationTest, UnknownProgramPathIsAFailure) {
    setenv("LEAFWISE_ROOT", (root + "/device").c_str(), 1);
    std::filesystem::create_directories(root + "/device");
    FileAssociation(mainWindow);
    unsetenv("LEAFWISE_ROOT");
    ExpectOneBox("CHM File association failed!", MB_OK | MB_ICONERROR);
    EXPECT_FALSE(std::filesystem::exists(HiveFile())) << "nothing is written, not even the extension's value";
    EXPECT_FALSE(std::filesystem::exists(root + "/data/applications/leafwise-chmfile.desktop"));
}

}  // namespace
