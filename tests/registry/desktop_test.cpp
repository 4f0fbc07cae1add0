// A file-type association written under HKEY_CLASSES_ROOT reaches the desktop.
#include <windows.h>

#include "desktop.h"
#include "scratch_home.h"
#include "../support/command.h"

#include <cstdio>
#include <tuple>

namespace {

// The program tells the platform of its file type before it writes the keys.
class DesktopTest : public ScratchHome {
protected:
    void SetUp() override {
        ScratchHome::SetUp();
        ASSERT_TRUE(RegisterDesktopFileType(u".chm", u"application/vnd.ms-htmlhelp;application/x-chm",
                                            u"leafwise-chmfile", nullptr));
    }
};

LONG SetDefault(LPCWSTR path, const std::u16string& text) {
    HKEY key = nullptr;
    LONG error = RegCreateKeyExW(HKEY_CLASSES_ROOT, path, 0, nullptr, 0, 0, nullptr, &key, nullptr);
    if (error) return error;
    error = RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           DWORD((text.size() + 1) * 2));
    RegCloseKey(key);
    return error;
}

bool HaveXdgMime() { return system("command -v xdg-mime >/dev/null 2>&1") == 0; }

TEST(DesktopExec, QuotedDevicePathBecomesTheHostPathAndPercentOneTheFile) {
    std::string exec, program;
    ASSERT_TRUE(lwreg::DesktopExec(u"\"\\opt\\Read Me\\leafwise\" %1", &exec, &program));
    EXPECT_EQ(program, "/opt/Read Me/leafwise");
    EXPECT_EQ(exec, "\"/opt/Read Me/leafwise\" %f");

    ASSERT_TRUE(lwreg::DesktopExec(u"\\usr\\bin\\viewer \"%1\" -x", &exec, &program));
    EXPECT_EQ(exec, "/usr/bin/viewer %f -x");
    // The shell passes the file even when the command does not name it.
    ASSERT_TRUE(lwreg::DesktopExec(u"\"\\usr\\bin\\viewer\"", &exec, &program));
    EXPECT_EQ(exec, "/usr/bin/viewer %f");
    // Characters the Exec rules reserve are quoted and escaped, '%' doubled,
    // and the backslash escaped once more for the file's string syntax.
    ASSERT_TRUE(lwreg::DesktopExec(u"\"\\opt\\a$b%c\" --opt=\"x y\" %1", &exec, &program));
    EXPECT_EQ(exec, "\"/opt/a\\\\$b%%c\" \"--opt=x y\" %f");

    EXPECT_FALSE(lwreg::DesktopExec(u"\"\\opt\\unterminated %1", &exec, &program));
    EXPECT_FALSE(lwreg::DesktopExec(u"   ", &exec, &program));
    EXPECT_FALSE(lwreg::DesktopExec(u"\"\\opt\\..\\etc\\x\" %1", &exec, &program));
}

TEST(MimeApps, DefaultIsSetAndEverythingElseKept) {
    const std::string before =
        "[Default Applications]\n"
        "text/html=browser.desktop;\n"
        "APPLICATION/X-CHM=old.desktop;\n"
        "\n"
        "[Added Associations]\n"
        "application/vnd.ms-htmlhelp=old.desktop;other.desktop;\n"
        "[Removed Associations]\n"
        "image/png=x.desktop;\n";
    std::string after = lwreg::SetDefaultApplication(
        before, "leafwise-chmfile.desktop", {"application/vnd.ms-htmlhelp", "application/x-chm"});
    EXPECT_EQ(after,
              "[Default Applications]\n"
              "text/html=browser.desktop;\n"
              "application/x-chm=leafwise-chmfile.desktop;\n"
              "application/vnd.ms-htmlhelp=leafwise-chmfile.desktop;\n"
              "\n"
              "[Added Associations]\n"
              "application/vnd.ms-htmlhelp=leafwise-chmfile.desktop;old.desktop;other.desktop;\n"
              "application/x-chm=leafwise-chmfile.desktop;\n"
              "[Removed Associations]\n"
              "image/png=x.desktop;\n");
    // Doing it again changes nothing.
    EXPECT_EQ(lwreg::SetDefaultApplication(after, "leafwise-chmfile.desktop",
                                           {"application/vnd.ms-htmlhelp", "application/x-chm"}),
              after);
    EXPECT_EQ(lwreg::SetDefaultApplication("", "a.desktop", {"x/y"}),
              "[Default Applications]\nx/y=a.desktop;\n\n[Added Associations]\nx/y=a.desktop;\n");
}

TEST_F(DesktopTest, CompleteAssociationRegistersTheDesktopEntry) {
    const std::string entryPath = root + "/data/applications/leafwise-chmfile.desktop";
    const std::string program = root + "/bin/leafwise";
    WriteFile(program, "");
    WriteFile(root + "/bin/leafwise.png", "not really a picture");
    std::u16string device;
    for (char c : program) device += c == '/' ? u'\\' : char16_t(c);

    // Nothing happens until the class has its command.
    ASSERT_EQ(SetDefault(u".chm", u"CHMFile"), ERROR_SUCCESS);
    ASSERT_EQ(SetDefault(u"CHMFile\\DefaultIcon", u"\"" + device + u"\", 0"), ERROR_SUCCESS);
    EXPECT_FALSE(std::filesystem::exists(entryPath));
    ASSERT_EQ(SetDefault(u"CHMFile\\Shell\\Open\\Command", u"\"" + device + u"\" %1"),
              ERROR_SUCCESS);

    std::string entry = ReadFile(entryPath);
    EXPECT_NE(entry.find("[Desktop Entry]\nType=Application\nName=Leafwise\n"), std::string::npos)
        << entry;
    EXPECT_NE(entry.find("\nExec=" + program + " %f\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nMimeType=application/vnd.ms-htmlhelp;application/x-chm;\n"),
              std::string::npos)
        << entry;
    EXPECT_NE(entry.find("\nIcon=" + root + "/bin/leafwise.png\n"), std::string::npos) << entry;
    std::string mimeapps = ReadFile(root + "/config/mimeapps.list");
    EXPECT_NE(mimeapps.find("application/vnd.ms-htmlhelp=leafwise-chmfile.desktop;"),
              std::string::npos);

    if (system("command -v desktop-file-validate >/dev/null 2>&1") == 0) {
        EXPECT_EQ(lwtest::CommandOutput("desktop-file-validate '" + entryPath + "' 2>&1"), "");
    }
    if (!HaveXdgMime()) GTEST_SKIP() << "xdg-mime (xdg-utils) is not installed";
    EXPECT_EQ(lwtest::CommandOutput("xdg-mime query default application/vnd.ms-htmlhelp"),
              "leafwise-chmfile.desktop");
    EXPECT_EQ(lwtest::CommandOutput("xdg-mime query default application/x-chm"), "leafwise-chmfile.desktop");
}

TEST_F(DesktopTest, RemovedEntryComesBackWhenTheAssociationIsWrittenAgain) {
    const std::string entryPath = root + "/data/applications/leafwise-chmfile.desktop";
    ASSERT_EQ(SetDefault(u".chm", u"CHMFile"), ERROR_SUCCESS);
    ASSERT_EQ(SetDefault(u"CHMFile\\Shell\\Open\\Command", u"\"\\usr\\bin\\leafwise\" %1"),
              ERROR_SUCCESS);
    ASSERT_TRUE(std::filesystem::remove(entryPath));
    ASSERT_EQ(SetDefault(u"CHMFile\\Shell\\Open\\Command", u"\"\\usr\\bin\\leafwise\" %1"),
              ERROR_SUCCESS);
    EXPECT_TRUE(std::filesystem::exists(entryPath));
}

TEST_F(DesktopTest, UnknownExtensionsAndOtherRootsLeaveTheDesktopAlone) {
    ASSERT_EQ(SetDefault(u".xyz", u"XyzFile"), ERROR_SUCCESS);
    ASSERT_EQ(SetDefault(u"XyzFile\\Shell\\Open\\Command", u"\"\\usr\\bin\\x\" %1"), ERROR_SUCCESS);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u".chm", 0, nullptr, 0, 0, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_FALSE(std::filesystem::exists(root + "/data/applications"));
    EXPECT_FALSE(std::filesystem::exists(root + "/config/mimeapps.list"));
}

// The desktop's MIME database names the type first; what the program told
// follows without repeats. A malformed telling fails and keeps the last one.
TEST_F(DesktopTest, DatabaseTypeLeadsAndBadTellingsChangeNothing) {
    setenv("XDG_DATA_DIRS", (root + "/relative:" + root + "/system").c_str(), 1);
    WriteFile(root + "/system/mime/globs2",
              "# comment\n50:text/x-other:*.CHMX\n60:application/x-case:*.Bk:cs\n"
              "50:application/x-book:*.BK\n40:application/x-light:*.bk\n");
    WriteFile(root + "/data/mime/globs2", "50:application/x-mine:*.bk\n");
    ASSERT_TRUE(RegisterDesktopFileType(u".bk", u"application/x-book;application/x-alias", u"bk", u""));
    // Equal weights: the user's own database wins; "*.Bk" is case-sensitive.
    EXPECT_EQ(lwreg::MimeTypesFor(u".BK"),
              (std::vector<std::string>{"application/x-mine", "application/x-book", "application/x-alias"}));
    std::filesystem::remove(root + "/data/mime/globs2");
    EXPECT_EQ(lwreg::MimeTypesFor(u".bk"), (std::vector<std::string>{"application/x-book", "application/x-alias"}));
    EXPECT_EQ(lwreg::DatabaseMimeType(".chm"), "");

    for (auto [extension, types, entry, installed] :
         {std::tuple<LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR>{u"bk", u"a/b", u"e", nullptr},
          {u".b/k", u"a/b", u"e", nullptr}, {u".bk", u"a/b;no-slash", u"e", nullptr},
          {u".bk", u"a/b", u"../e", nullptr}, {u".bk", u"a/b", u"", nullptr}, {u".bk", nullptr, u"e", nullptr},
          {u".bk", u"a/b", u"e", u"sub/x"},
          {u".bk", u"a/b;a/b;a/b;a/b;a/b;a/b;a/b;a/b;a/b;a/b;a/b;a/b;a/b;a/b;a/b;a/b;a/b", u"e", nullptr}}) {
        SetLastError(0xdead);
        EXPECT_FALSE(RegisterDesktopFileType(extension, types, entry, installed));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    }
    EXPECT_EQ(lwreg::MimeTypesFor(u".bk"), (std::vector<std::string>{"application/x-book", "application/x-alias"}));
    unsetenv("XDG_DATA_DIRS");
}

}  // namespace
