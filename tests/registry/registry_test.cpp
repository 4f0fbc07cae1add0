// The registry calls as a program relies on them, over a hive in a scratch home.
#include <windows.h>

#include "hivefile.h"
#include "scratch_home.h"

#include <pwd.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace {

using RegistryTest = ScratchHome;

constexpr LONG kMarker = 0x5A5A;

LONG SetString(HKEY key, LPCWSTR name, const std::u16string& text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          DWORD((text.size() + 1) * 2));
}

std::u16string QueryString(HKEY key, LPCWSTR name) {
    WCHAR buffer[256] = {};
    DWORD size = sizeof buffer;
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return u"<none>";
    return buffer;
}

HKEY Create(LPCWSTR path, DWORD* disposition = nullptr) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              disposition),
              ERROR_SUCCESS);
    return key;
}

TEST_F(RegistryTest, CreateReportsNewThenExistingAndMakesParents) {
    DWORD disposition = 0;
    HKEY key = Create(u"CHMFile\\Shell\\Open\\Command", &disposition);
    EXPECT_EQ(disposition, DWORD(REG_CREATED_NEW_KEY));
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    // Names compare without regard to case, as on the device.
    key = Create(u"chmfile\\SHELL\\open\\command", &disposition);
    EXPECT_EQ(disposition, DWORD(REG_OPENED_EXISTING_KEY));
    RegCloseKey(key);

    // A trailing backslash names the same key.
    key = Create(u"CHMFile\\Shell\\Open\\Command\\", &disposition);
    EXPECT_EQ(disposition, DWORD(REG_OPENED_EXISTING_KEY));
    RegCloseKey(key);

    HKEY parent = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"CHMFile\\Shell", 0, 0, &parent), ERROR_SUCCESS);
    RegCloseKey(parent);
    // A key whose name starts another's is not there because that one is.
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"CHMFile\\She", 0, 0, &parent), ERROR_FILE_NOT_FOUND);

    // A new key is on disk at once, parents included, in the case first written.
    std::string hive = ReadFile(HiveFile());
    EXPECT_NE(hive.find("[HKEY_CLASSES_ROOT\\CHMFile\\Shell\\Open\\Command]"), std::string::npos);
    EXPECT_NE(hive.find("[HKEY_CLASSES_ROOT\\CHMFile\\Shell]"), std::string::npos);
}

TEST_F(RegistryTest, OpenAndCreateRefuseWhatTheyCannotDo) {
    HKEY key = HKEY(1);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"NoSuchKey", 0, 0, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(RegOpenKeyExW(HKEY(0x1234), u"x", 0, 0, &key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"x", 0, 0, nullptr), ERROR_INVALID_PARAMETER);
    for (LPCWSTR bad : {u"\\Leading", u"a\\\\b", u"tab\there"}) {
        key = HKEY(1);
        EXPECT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, bad, 0, nullptr, 0, 0, nullptr, &key, nullptr),
                  ERROR_BAD_PATHNAME);
        EXPECT_EQ(key, nullptr);
    }
    std::u16string tooLong(256, u'k');
    EXPECT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, tooLong.c_str(), 0, nullptr, 0, 0, nullptr, &key,
                              nullptr),
              ERROR_BAD_PATHNAME);
    // Nothing was written by the refusals.
    EXPECT_FALSE(std::filesystem::exists(HiveFile()));
}

TEST_F(RegistryTest, QueryFollowsTheSizeProtocol) {
    HKEY key = Create(u".chm");
    ASSERT_EQ(SetString(key, nullptr, u"CHMFile"), ERROR_SUCCESS);

    // A probe without a buffer gives type and size and succeeds.
    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueExW(key, nullptr, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_SZ));
    EXPECT_EQ(size, DWORD(16));

    // Too small a buffer, even by one byte: the size needed, the buffer untouched.
    BYTE small[16] = {1, 2, 3, 4};
    for (DWORD room : {4u, 15u}) {
        size = room;
        type = 0;
        EXPECT_EQ(RegQueryValueExW(key, u"", nullptr, &type, small, &size), ERROR_MORE_DATA);
        EXPECT_EQ(size, DWORD(16));
        EXPECT_EQ(type, DWORD(REG_SZ));
        EXPECT_EQ(small[0], 1);
    }

    EXPECT_EQ(QueryString(key, u""), u"CHMFile");
    EXPECT_EQ(RegQueryValueExW(key, nullptr, nullptr, nullptr, small, nullptr),
              ERROR_INVALID_PARAMETER);

    // A missing value leaves the caller's variables as they were.
    type = kMarker;
    size = kMarker;
    EXPECT_EQ(RegQueryValueExW(key, u"Missing", nullptr, &type, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(type, DWORD(kMarker));
    EXPECT_EQ(size, DWORD(kMarker));
    RegCloseKey(key);
}

TEST_F(RegistryTest, ValuesOfEveryKindComeBackByteForByte) {
    HKEY key = Create(u"Kinds");
    const DWORD number = 0xDEADBEEF;
    const BYTE binary[] = {0, 1, 2, 0xFF};
    // Not clean strings: an odd byte count, and whole units without a terminator.
    const BYTE rawString[] = {'a', 0, 'b'};
    const BYTE unterminated[] = {'a', 0, 'b', 0};
    const std::u16string tricky = u"quote \" back\\slash \n tab\t \U0001F600 \xD800 end";
    ASSERT_EQ(RegSetValueExW(key, u"Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                             4),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, u"Binary", 0, REG_BINARY, binary, sizeof binary), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, u"Raw", 0, REG_SZ, rawString, sizeof rawString), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, u"Unterminated", 0, REG_SZ, unterminated, sizeof unterminated), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, u"Empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, u"Multi", 0, REG_MULTI_SZ,
                             reinterpret_cast<const BYTE*>(u"a\0b\0"), 10),
              ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, u"Tricky \"name\"", tricky), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, u"x", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
    RegCloseKey(key);

    // Through a fresh handle, after the hive has been read back from disk.
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"KINDS", 0, 0, &key), ERROR_SUCCESS);
    auto read = [&](LPCWSTR name, DWORD* type) {
        std::vector<BYTE> data(64);
        DWORD size = DWORD(data.size());
        EXPECT_EQ(RegQueryValueExW(key, name, nullptr, type, data.data(), &size), ERROR_SUCCESS);
        data.resize(size);
        return data;
    };
    DWORD type = 0;
    EXPECT_EQ(read(u"number", &type), std::vector<BYTE>({0xEF, 0xBE, 0xAD, 0xDE}));
    EXPECT_EQ(type, DWORD(REG_DWORD));
    EXPECT_EQ(read(u"Binary", &type), std::vector<BYTE>(binary, binary + 4));
    EXPECT_EQ(read(u"Raw", &type), std::vector<BYTE>(rawString, rawString + 3));
    EXPECT_EQ(read(u"Unterminated", &type), std::vector<BYTE>(unterminated, unterminated + 4));
    EXPECT_EQ(type, DWORD(REG_SZ));
    EXPECT_TRUE(read(u"Empty", &type).empty());
    EXPECT_EQ(read(u"Multi", &type).size(), 10u);
    EXPECT_EQ(type, DWORD(REG_MULTI_SZ));
    EXPECT_EQ(QueryString(key, u"tricky \"NAME\""), tricky);
    RegCloseKey(key);

    // The hive stays readable text.
    std::string hive = ReadFile(HiveFile());
    EXPECT_NE(hive.find("\"Number\"=dword:deadbeef"), std::string::npos) << hive;
    EXPECT_NE(hive.find("\"Binary\"=hex:00,01,02,ff"), std::string::npos) << hive;
}

TEST_F(RegistryTest, EachRootKeyHasItsOwnKeys) {
    const HKEY roots[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE};
    const char16_t* texts[] = {u"classes", u"user", u"machine"};
    for (int i = 0; i < 3; ++i) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(roots[i], u"Same", 0, nullptr, 0, 0, nullptr, &key, nullptr), ERROR_SUCCESS);
        EXPECT_EQ(SetString(key, nullptr, texts[i]), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    for (int i = 0; i < 3; ++i) {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExW(roots[i], u"Same", 0, 0, &key), ERROR_SUCCESS);
        EXPECT_EQ(QueryString(key, nullptr), texts[i]);
        RegCloseKey(key);
    }
    std::string hive = ReadFile(HiveFile());
    for (const char* section : {"[HKEY_CLASSES_ROOT\\Same]", "[HKEY_CURRENT_USER\\Same]", "[HKEY_LOCAL_MACHINE\\Same]"})
        EXPECT_NE(hive.find(section), std::string::npos) << section << "\n" << hive;
}

// The base-directory rules ignore a relative HOME; the user's home then
// comes from the password database.
TEST_F(RegistryTest, RelativeHomeGivesWayToThePasswordDatabase) {
    setenv("HOME", "relative/home", 1);
    unsetenv("XDG_CONFIG_HOME");
    const passwd* user = getpwuid(getuid());
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(lwreg::HivePath(), std::string(user->pw_dir) + "/.config/leafwise/registry.reg");
}

TEST_F(RegistryTest, HandlesAreChecked) {
    HKEY key = Create(u"Handles");
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    // A closed handle stays dead even after other keys are opened.
    HKEY other = Create(u"Other");
    EXPECT_EQ(SetString(key, nullptr, u"x"), ERROR_INVALID_HANDLE);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key, nullptr, nullptr, nullptr, nullptr, &size),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(SetString(nullptr, nullptr, u"x"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_CLASSES_ROOT), ERROR_SUCCESS);
    RegCloseKey(other);
}

TEST_F(RegistryTest, ReadOnlyHiveRefusesWritesAndStaysAsItWas) {
    HKEY key = Create(u"Kept");
    ASSERT_EQ(SetString(key, nullptr, u"old"), ERROR_SUCCESS);
    const std::string before = ReadFile(HiveFile());
    chmod(HiveFile().c_str(), 0444);

    EXPECT_EQ(SetString(key, nullptr, u"new"), ERROR_ACCESS_DENIED);
    HKEY created = HKEY(1);
    EXPECT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"Fresh", 0, nullptr, 0, 0, nullptr, &created,
                              nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(created, nullptr);
    // Opening what exists needs no write.
    DWORD disposition = 0;
    HKEY again = Create(u"Kept", &disposition);
    EXPECT_EQ(disposition, DWORD(REG_OPENED_EXISTING_KEY));
    EXPECT_EQ(QueryString(again, nullptr), u"old");
    EXPECT_EQ(ReadFile(HiveFile()), before);
    RegCloseKey(again);
    RegCloseKey(key);
}

TEST_F(RegistryTest, DamagedHiveIsKeptAsideAndNamedOnStderr) {
    const std::string damaged = "[HKEY_CLASSES_ROOT\\Good]\n@=\"fine\"\nthis is not a value\n";
    WriteFile(HiveFile(), damaged);

    testing::internal::CaptureStderr();
    HKEY key = HKEY(1);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"Good", 0, 0, &key), ERROR_FILE_NOT_FOUND);
    std::string said = testing::internal::GetCapturedStderr();

    std::vector<std::string> kept = FilesStartingWith("registry.reg.damaged-");
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(ReadFile(kept[0]), damaged);
    EXPECT_NE(said.find(kept[0]), std::string::npos) << said;
    EXPECT_NE(said.find("line 3"), std::string::npos) << said;

    // The registry goes on with an empty hive; a second damaged hive in the
    // same second gets a name of its own and the first is not replaced.
    key = Create(u"After");
    RegCloseKey(key);
    WriteFile(HiveFile(), "\xFF\xFE garbage");
    testing::internal::CaptureStderr();
    key = Create(u"Again");
    testing::internal::GetCapturedStderr();
    RegCloseKey(key);
    kept = FilesStartingWith("registry.reg.damaged-");
    ASSERT_EQ(kept.size(), 2u);
    std::string contents = ReadFile(kept[0]) + ReadFile(kept[1]);
    EXPECT_NE(contents.find(damaged), std::string::npos);
    EXPECT_NE(contents.find("garbage"), std::string::npos);
    EXPECT_NE(ReadFile(HiveFile()).find("[HKEY_CLASSES_ROOT\\Again]"), std::string::npos);
}

TEST_F(RegistryTest, HiveThatIsAFolderIsMovedAsideToo) {
    std::filesystem::create_directories(HiveFile() + "/inside");
    WriteFile(HiveFile() + "/inside/keep.txt", "precious");
    testing::internal::CaptureStderr();
    HKEY key = Create(u"Key");
    testing::internal::GetCapturedStderr();
    RegCloseKey(key);
    std::vector<std::string> kept = FilesStartingWith("registry.reg.damaged-");
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(ReadFile(kept[0] + "/inside/keep.txt"), "precious");
}

// Two processes writing at once each re-read the hive under the lock, so
// neither loses the other's values.
TEST_F(RegistryTest, ConcurrentWritersFromTwoProcessesBothKeepTheirValues) {
    constexpr int kWrites = 20;
    HKEY key = Create(u"Shared");
    RegCloseKey(key);
    std::vector<pid_t> children;
    for (char16_t writer : {u'a', u'b'}) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            HKEY mine = nullptr;
            if (RegOpenKeyExW(HKEY_CLASSES_ROOT, u"Shared", 0, 0, &mine) != ERROR_SUCCESS) _exit(2);
            for (int i = 0; i < kWrites; ++i) {
                std::u16string name = {writer, char16_t(u'A' + i)};
                if (SetString(mine, name.c_str(), name) != ERROR_SUCCESS) _exit(3);
            }
            _exit(0);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"Shared", 0, 0, &key), ERROR_SUCCESS);
    for (char16_t writer : {u'a', u'b'})
        for (int i = 0; i < kWrites; ++i) {
            std::u16string name = {writer, char16_t(u'A' + i)};
            EXPECT_EQ(QueryString(key, name.c_str()), name);
        }
    RegCloseKey(key);
    EXPECT_TRUE(FilesStartingWith("registry.reg.tmp").empty());
}

TEST_F(RegistryTest, AnotherProcessesWriteIsSeenThroughAnOpenHandle) {
    HKEY key = Create(u"Live");
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        HKEY theirs = nullptr;
        RegCreateKeyExW(HKEY_CLASSES_ROOT, u"Live", 0, nullptr, 0, 0, nullptr, &theirs, nullptr);
        _exit(SetString(theirs, u"v", u"from child") == ERROR_SUCCESS ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(QueryString(key, u"v"), u"from child");
    RegCloseKey(key);
}

// Limits: a write past any bound fails with its error and changes nothing,
// and whatever the writer wrote the next read accepts.
TEST_F(RegistryTest, WritesPastTheLimitsFailAndChangeNothing) {
    HKEY key = Create(u"Limits");
    const std::u16string longest(LW_REG_MAX_VALUE_NAME, u'n');
    ASSERT_EQ(SetString(key, longest.c_str(), u"x"), ERROR_SUCCESS);
    const std::string before = ReadFile(HiveFile());
    const std::u16string tooLong(LW_REG_MAX_VALUE_NAME + 1, u'n');
    EXPECT_EQ(SetString(key, tooLong.c_str(), u"x"), ERROR_INVALID_PARAMETER);
    std::vector<BYTE> data(LW_REG_MAX_DATA + 1, 0xAB);
    EXPECT_EQ(RegSetValueExW(key, u"big", 0, REG_BINARY, data.data(), DWORD(data.size())),
              ERROR_INVALID_PARAMETER);
    HKEY sub = nullptr;
    const std::u16string longKey = u"Limits\\" + std::u16string(256, u'k');
    EXPECT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, longKey.c_str(), 0, nullptr, 0, 0, nullptr, &sub, nullptr),
              ERROR_BAD_PATHNAME);
    EXPECT_EQ(ReadFile(HiveFile()), before);

    // Values of the largest size until the hive is full: the one that does
    // not fit fails, and the hive keeps every value before it. The first few
    // are put straight into the file, as the writer writes them.
    RegCloseKey(key);
    std::string hive = before + "\n[HKEY_CLASSES_ROOT\\Limits]\n";
    std::string hex;
    for (size_t i = 0; i < LW_REG_MAX_DATA; ++i) hex += i ? ",ab" : "ab";
    const int kPrewritten = 4;
    for (int i = 0; i < kPrewritten; ++i) hive += "\"v" + std::string(1, char('A' + i)) + "\"=hex:" + hex + "\n";
    WriteFile(HiveFile(), hive);
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"Limits", 0, 0, &key), ERROR_SUCCESS);
    data.resize(LW_REG_MAX_DATA);
    LONG result = ERROR_SUCCESS;
    int stored = kPrewritten;
    for (; stored < 40; ++stored) {
        std::u16string name = u"v" + std::u16string(1, char16_t(u'A' + stored));
        result = RegSetValueExW(key, name.c_str(), 0, REG_BINARY, data.data(), DWORD(data.size()));
        if (result != ERROR_SUCCESS) break;
    }
    EXPECT_EQ(result, ERROR_NO_SYSTEM_RESOURCES);
    EXPECT_GT(stored, kPrewritten);
    RegCloseKey(key);
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"Limits", 0, 0, &key), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"vA", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, DWORD(LW_REG_MAX_DATA));
    EXPECT_EQ(QueryString(key, longest.c_str()), u"x");
    EXPECT_TRUE(FilesStartingWith("registry.reg.damaged").empty());
    RegCloseKey(key);
}

// A hive kept as a link stays a link: the file it leads to takes the write.
TEST_F(RegistryTest, LinkedHiveIsWrittenThroughToItsTarget) {
    const std::string target = root + "/dotfiles/registry.reg";
    WriteFile(target, "[HKEY_CLASSES_ROOT\\Old]\n@=\"kept\"\n");
    std::filesystem::create_directories(HiveFolder());
    std::filesystem::create_symlink("../../dotfiles/registry.reg", HiveFile());
    HKEY key = Create(u"New");
    ASSERT_EQ(SetString(key, nullptr, u"written"), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_TRUE(std::filesystem::is_symlink(HiveFile()));
    const std::string written = ReadFile(target);
    EXPECT_NE(written.find("\"kept\""), std::string::npos);
    EXPECT_NE(written.find("\"written\""), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(target + ".tmp"));
}

}  // namespace
