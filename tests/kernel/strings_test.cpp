#include <windows.h>

#include <gtest/gtest.h>

namespace {

TEST(StringSafe, CopiesAreCutAndTerminated)
{
    WCHAR buffer[4];
    EXPECT_EQ(STRSAFE_E_INSUFFICIENT_BUFFER, StringCchCopyW(buffer, 4, u"abcdef"));
    EXPECT_EQ(std::u16string(u"abc"), buffer);
    EXPECT_EQ(S_OK, StringCchCopyW(buffer, 4, u"abc"));
    EXPECT_EQ(STRSAFE_E_INSUFFICIENT_BUFFER, StringCchCatW(buffer, 4, u"d"));
    EXPECT_EQ(std::u16string(u"abc"), buffer);
    EXPECT_EQ(S_OK, StringCchCopyNW(buffer, 4, u"xyz", 2));
    EXPECT_EQ(std::u16string(u"xy"), buffer);
    char narrow[4];
    EXPECT_EQ(STRSAFE_E_INSUFFICIENT_BUFFER, StringCchPrintfA(narrow, 4, "/html%s", "/a.htm"));
    EXPECT_STREQ("/ht", narrow);
}

TEST(StringSafe, FormatsTheConversionsTheProgramUses)
{
    WCHAR buffer[64];
    EXPECT_EQ(S_OK, StringCchPrintfW(buffer, 64, u"%s\\%s", u"\\Temp", u"a.htm"));
    EXPECT_EQ(std::u16string(u"\\Temp\\a.htm"), buffer);
    EXPECT_EQ(S_OK, StringCchPrintfW(buffer, 64, u"%d|%u|%x|%04X|%c|%hs|%%", -5, 7u, 255u, 10u, u'Z', "n"));
    EXPECT_EQ(std::u16string(u"-5|7|ff|000A|Z|n|%"), buffer);
    EXPECT_EQ(STRSAFE_E_INSUFFICIENT_BUFFER, StringCchPrintfW(buffer, 6, u"%s*.*", u"\\Temp\\"));
    EXPECT_EQ(std::u16string(u"\\Temp"), buffer);
}

TEST(WideStrings, SearchAndCompare)
{
    const WCHAR* text = u"<IMG src=\"a\"><img src=\"b\">";
    EXPECT_EQ(text + 13, wcsstr(text, u"<img"));
    EXPECT_EQ(nullptr, wcsstr(text, u"<imgx"));
    EXPECT_EQ(0, _wcsnicmp(u"<ul>", u"<UL>", 4));
    EXPECT_NE(0, _wcsnicmp(u"<ul", u"<UL>", 4));  // the shorter text ends first
    EXPECT_EQ(0, _wcsicmp(u"Guide.CHM", u"guide.chm"));
    EXPECT_EQ(0, _wcsicmp(u"AZ.HTM", u"az.htm"));  // both ends of the alphabet
    // Only ASCII letters fold: a Cyrillic capital is not its small letter.
    EXPECT_NE(0, _wcsicmp(u"\u041f", u"\u043f"));
    EXPECT_EQ(0, _stricmp("/HTML/A.htm", "/html/a.HTM"));
    EXPECT_EQ(text + 12, wcschr(text, '>'));
    EXPECT_EQ(text + 25, wcsrchr(text, '>'));
}

} // namespace
