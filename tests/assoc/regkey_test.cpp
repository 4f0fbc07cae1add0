#include "RegKey.h"

#include "../registry/scratch_home.h"

#include <sys/stat.h>

namespace {

using RegKeyTest = ScratchHome;

// What the registry itself holds, read past the wrapper.
LONG Probe(LPCWSTR key, LPCWSTR name, DWORD* type, DWORD* size) {
    HKEY handle = nullptr;
    LONG error = RegOpenKeyExW(HKEY_CLASSES_ROOT, key, 0, 0, &handle);
    if (error) return error;
    error = RegQueryValueExW(handle, name, nullptr, type, nullptr, size);
    RegCloseKey(handle);
    return error;
}

std::u16string Text(const WideString& s) { return s.Buffer() ? s.Buffer() : u"<null>"; }

TEST_F(RegKeyTest, SetStringWritesTheTextWithItsTerminator) {
    RegKey key(HKEY_CLASSES_ROOT, u"Test", TRUE);
    EXPECT_TRUE(key.SetString(nullptr, u"CHMFile"));
    EXPECT_TRUE(key.SetString(u"Empty", u""));
    EXPECT_FALSE(key.SetString(u"Null", nullptr));
    DWORD type = 0, size = 0;
    ASSERT_EQ(Probe(u"Test", nullptr, &type, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_SZ));
    EXPECT_EQ(size, DWORD(16));
    ASSERT_EQ(Probe(u"Test", u"Empty", &type, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, DWORD(2));
    EXPECT_EQ(Probe(u"Test", u"Null", &type, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Text(key.QueryString(nullptr, nullptr)), u"CHMFile");
}

TEST_F(RegKeyTest, MissingValueIsCreatedWithItsDefaultOnlyWhenThereIsOne) {
    RegKey key(HKEY_CLASSES_ROOT, u"Test", TRUE);
    WideString got = key.QueryString(u"Size", u"Medium");
    EXPECT_EQ(Text(got), u"Medium");
    DWORD type = 0, size = 0;
    ASSERT_EQ(Probe(u"Test", u"Size", &type, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_SZ));
    EXPECT_EQ(size, DWORD(14));
    // Asked again, the stored value comes back (not the new default).
    EXPECT_EQ(Text(key.QueryString(u"size", u"Other")), u"Medium");

    WideString none = key.QueryString(u"Missing", nullptr);
    EXPECT_EQ(Text(none), u"");
    EXPECT_EQ(none.Length(), 0u);
    EXPECT_EQ(Probe(u"Test", u"Missing", &type, &size), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegKeyTest, ValueOfAnotherTypeGivesTheDefaultAndIsLeftAlone) {
    HKEY raw = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"Test", 0, nullptr, 0, 0, nullptr, &raw, nullptr),
              ERROR_SUCCESS);
    DWORD number = 7;
    RegSetValueExW(raw, u"Count", 0, REG_DWORD, reinterpret_cast<BYTE*>(&number), 4);
    RegCloseKey(raw);

    RegKey key(HKEY_CLASSES_ROOT, u"Test", FALSE);
    EXPECT_EQ(Text(key.QueryString(u"Count", u"fallback")), u"fallback");
    EXPECT_EQ(Text(key.QueryString(u"Count", nullptr)), u"");
    DWORD type = 0, size = 0;
    ASSERT_EQ(Probe(u"Test", u"Count", &type, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_DWORD));
    EXPECT_EQ(size, DWORD(4));
}

TEST_F(RegKeyTest, LongAndUnterminatedStringsComeBackWhole) {
    std::u16string longText(700, u'p');
    RegKey key(HKEY_CLASSES_ROOT, u"Test", TRUE);
    ASSERT_TRUE(key.SetString(u"Long", longText.c_str()));
    EXPECT_EQ(Text(key.QueryString(u"Long", nullptr)), longText);

    HKEY raw = nullptr;
    RegOpenKeyExW(HKEY_CLASSES_ROOT, u"Test", 0, 0, &raw);
    RegSetValueExW(raw, u"Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>(u"abc"), 6);
    RegCloseKey(raw);
    WideString bare = key.QueryString(u"Bare", nullptr);
    EXPECT_EQ(Text(bare), u"abc");
    EXPECT_EQ(bare.Length(), 3u);
}

TEST_F(RegKeyTest, CloseTwiceGivesTrueThenFalse) {
    RegKey key(HKEY_CLASSES_ROOT, u"Test", TRUE);
    EXPECT_TRUE(key.Close());
    EXPECT_FALSE(key.Close());
    EXPECT_FALSE(key.SetString(nullptr, u"x"));
}

TEST_F(RegKeyTest, KeyThatCannotBeOpenedFailsEveryOperation) {
    RegKey missing(HKEY_CLASSES_ROOT, u"NotThere", FALSE);
    EXPECT_FALSE(missing.SetString(nullptr, u"x"));
    EXPECT_EQ(Text(missing.QueryString(u"v", u"default")), u"default");
    EXPECT_FALSE(missing.Close());
    DWORD type = 0, size = 0;
    EXPECT_EQ(Probe(u"NotThere", u"v", &type, &size), ERROR_FILE_NOT_FOUND);

    // A key that cannot be created, in a hive the user made read-only.
    { RegKey seed(HKEY_CLASSES_ROOT, u"Seed", TRUE); }
    const std::string before = ReadFile(HiveFile());
    chmod(HiveFile().c_str(), 0444);
    RegKey refused(HKEY_CLASSES_ROOT, u"New", TRUE);
    EXPECT_FALSE(refused.SetString(nullptr, u"x"));
    EXPECT_EQ(Text(refused.QueryString(u"v", u"default")), u"default");
    EXPECT_FALSE(refused.Close());
    EXPECT_EQ(ReadFile(HiveFile()), before);
}

}  // namespace
