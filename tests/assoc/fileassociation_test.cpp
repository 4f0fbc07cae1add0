// The "Associate" command end to end: registry values, the desktop's view of
// them, the message the user sees, and what happens when the hive is unwell.
#include "FileAssociation.h"

#include "RegKey.h"
#include "messagebox_double.h"

#include "../registry/scratch_home.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

const HWND kMainWindow = reinterpret_cast<HWND>(0x1234);

class FileAssociationTest : public ScratchHome {
protected:
    void SetUp() override {
        ScratchHome::SetUp();
        RecordedBoxes().clear();
        ASSERT_GT(GetModuleFileNameW(nullptr, program, MAX_PATH), 0u);
    }

    std::u16string Value(LPCWSTR key) {
        RegKey k(HKEY_CLASSES_ROOT, key, FALSE);
        WideString text = k.QueryString(nullptr, nullptr);
        return text.Buffer() ? text.Buffer() : u"";
    }

    void ExpectOneBox(LPCWSTR text, UINT type) {
        ASSERT_EQ(RecordedBoxes().size(), 1u);
        const RecordedBox& box = RecordedBoxes()[0];
        EXPECT_EQ(box.owner, kMainWindow);
        EXPECT_EQ(box.text, text);
        EXPECT_EQ(box.caption, u"Leafwise");
        EXPECT_EQ(box.type, type);
        RecordedBoxes().clear();
    }

    static std::string Output(const std::string& command) {
        std::string out;
        if (FILE* pipe = popen(command.c_str(), "r")) {
            char buffer[256];
            while (fgets(buffer, sizeof buffer, pipe)) out += buffer;
            pclose(pipe);
        }
        while (!out.empty() && out.back() == '\n') out.pop_back();
        return out;
    }

    WCHAR program[MAX_PATH];
};

TEST_F(FileAssociationTest, WritesTheThreeValuesAndSaysSo) {
    FileAssociation(kMainWindow);
    const std::u16string path = program;
    EXPECT_EQ(Value(u".chm"), u"CHMFile");
    EXPECT_EQ(Value(u"CHMFile\\DefaultIcon"), u"\"" + path + u"\", 0");
    EXPECT_EQ(Value(u"CHMFile\\Shell\\Open\\Command"), u"\"" + path + u"\" %1");
    ExpectOneBox(u"CHM File associate success!", MB_OK | MB_ICONINFORMATION);
    EXPECT_EQ(MB_OK | MB_ICONINFORMATION, 0x40);

    // Again: the same three values, byte for byte, and the same message.
    const std::string hive = ReadFile(HiveFile());
    FileAssociation(kMainWindow);
    EXPECT_EQ(ReadFile(HiveFile()), hive);
    ExpectOneBox(u"CHM File associate success!", MB_OK | MB_ICONINFORMATION);
}

TEST_F(FileAssociationTest, DesktopOpensChmFilesWithTheProgram) {
    FileAssociation(kMainWindow);
    char host[4096];
    ssize_t n = readlink("/proc/self/exe", host, sizeof host - 1);
    ASSERT_GT(n, 0);
    host[n] = 0;
    std::string entry = ReadFile(root + "/data/applications/leafwise-chmfile.desktop");
    EXPECT_NE(entry.find("\nExec=" + std::string(host) + " %f\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("MimeType=application/vnd.ms-htmlhelp;"), std::string::npos) << entry;
    if (system("command -v xdg-mime >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "xdg-mime (xdg-utils) is not installed";
    EXPECT_EQ(Output("xdg-mime query default application/vnd.ms-htmlhelp"),
              "leafwise-chmfile.desktop");
}

TEST_F(FileAssociationTest, HiveThatCannotBeWrittenGivesTheFailureAndLosesNothing) {
    {
        RegKey other(HKEY_CLASSES_ROOT, u".txt", TRUE);
        other.SetString(nullptr, u"txtfile");
    }
    const std::string before = ReadFile(HiveFile());
    chmod(HiveFile().c_str(), 0444);

    FileAssociation(kMainWindow);
    ExpectOneBox(u"CHM File association failed!", MB_OK | MB_ICONERROR);
    EXPECT_EQ(ReadFile(HiveFile()), before);
    EXPECT_EQ(Value(u".txt"), u"txtfile");
    EXPECT_FALSE(std::filesystem::exists(root + "/data/applications/leafwise-chmfile.desktop"));
}

TEST_F(FileAssociationTest, DamagedHiveIsKeptAsideAndTheAssociationStillMade) {
    const std::string damaged = "[HKEY_CLASSES_ROOT\\.chm]\n@=\"unterminated\n";
    WriteFile(HiveFile(), damaged);
    testing::internal::CaptureStderr();
    FileAssociation(kMainWindow);
    std::string said = testing::internal::GetCapturedStderr();

    std::vector<std::string> kept = FilesStartingWith("registry.reg.damaged-");
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(ReadFile(kept[0]), damaged);
    EXPECT_NE(said.find(kept[0]), std::string::npos) << said;
    EXPECT_EQ(Value(u".chm"), u"CHMFile");
    ExpectOneBox(u"CHM File associate success!", MB_OK | MB_ICONINFORMATION);
}

// A program whose own path cannot be told (here: outside the device's root)
// would register a command naming nothing; that is a failure, not a success.
TEST_F(FileAssociationTest, UnknownProgramPathIsAFailure) {
    setenv("LEAFWISE_ROOT", (root + "/device").c_str(), 1);
    std::filesystem::create_directories(root + "/device");
    FileAssociation(kMainWindow);
    unsetenv("LEAFWISE_ROOT");
    ExpectOneBox(u"CHM File association failed!", MB_OK | MB_ICONERROR);
    EXPECT_EQ(Value(u"CHMFile\\Shell\\Open\\Command"), u"");
    EXPECT_FALSE(std::filesystem::exists(root + "/data/applications/leafwise-chmfile.desktop"));
}

}  // namespace
