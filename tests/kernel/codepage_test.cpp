#include <windows.h>

#include <gtest/gtest.h>
#include <cstdio>
#include <string>

namespace {

std::u16string ToWide(UINT codePage, const std::string& bytes)
{
    int size = MultiByteToWideChar(codePage, 0, bytes.data(), (int)bytes.size(), nullptr, 0);
    std::u16string out(size, u'\0');
    EXPECT_EQ(size, MultiByteToWideChar(codePage, 0, bytes.data(), (int)bytes.size(), out.data(), size));
    return out;
}

std::string ToBytes(UINT codePage, const std::u16string& text, BOOL* usedDefault = nullptr)
{
    int size = WideCharToMultiByte(codePage, 0, text.data(), (int)text.size(), nullptr, 0, nullptr, nullptr);
    std::string out(size, '\0');
    WideCharToMultiByte(codePage, 0, text.data(), (int)text.size(), out.data(), size, nullptr, usedDefault);
    return out;
}

TEST(CodePage, Utf8RoundTripsEveryPlane)
{
    std::u16string text = u"a\u00e9\u4e2d\U0001F600z";
    EXPECT_EQ(ToBytes(CP_UTF8, text), "a\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80z");
    EXPECT_EQ(ToWide(CP_UTF8, "a\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80z"), text);
}

TEST(CodePage, InvalidUtf8BecomesReplacementAndGoesOn)
{
    // A stray continuation byte, overlong slashes of two and three bytes, an
    // encoded surrogate, a cut sequence.
    EXPECT_EQ(ToWide(CP_UTF8, "a\x80" "b\xc0\xaf" "c\xed\xa0\x80" "d\xe4\xb8"),
              u"a\ufffdb\ufffd\ufffdc\ufffd\ufffd\ufffdd\ufffd\ufffd");
    EXPECT_EQ(ToWide(CP_UTF8, "\xe0\x80\xaf"), u"\ufffd\ufffd\ufffd");
    // Four bytes past U+10FFFF name no character.
    EXPECT_EQ(ToWide(CP_UTF8, "\xf4\x90\x80\x80"), u"\ufffd\ufffd\ufffd\ufffd");
    // A lone surrogate has no UTF-8 form.
    EXPECT_EQ(ToBytes(CP_UTF8, std::u16string(1, u'\xd800') + u"x"), "\xef\xbf\xbdx");
    // Unless the caller asks to be told: then it fails, in UTF-8 and double-byte pages.
    WCHAR out[8];
    for (auto [codePage, bytes] : {std::pair<UINT, const char*>{CP_UTF8, "a\xed\xa0\x80"}, {936, "a\xd6"}}) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(0, MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, (int)strlen(bytes), out, 8));
        EXPECT_EQ((DWORD)ERROR_NO_UNICODE_TRANSLATION, GetLastError());
    }
    EXPECT_EQ(2, MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\xc3\xa9", 3, out, 8));
}

// Each length's smallest and largest characters are taken; one below the
// smallest (overlong) and the surrogates' range are refused.
TEST(CodePage, Utf8BoundsOfEachLengthAreExact)
{
    struct Case {
        const char* bytes;
        int units; // 0: refused
    };
    const Case cases[] = {
        {"\x7f", 1},             {"\xc1\xbf", 0},         {"\xc2\x80", 1},         {"\xdf\xbf", 1},
        {"\xe0\x9f\xbf", 0},     {"\xe0\xa0\x80", 1},     {"\xed\x9f\xbf", 1},     {"\xed\xa0\x80", 0},
        {"\xed\xbf\xbf", 0},     {"\xee\x80\x80", 1},     {"\xef\xbf\xbf", 1},     {"\xf0\x8f\xbf\xbf", 0},
        {"\xf0\x90\x80\x80", 2}, {"\xf4\x8f\xbf\xbf", 2}, {"\xf4\x90\x80\x80", 0}, {"\xf5\x80\x80\x80", 0},
    };
    WCHAR out[4];
    for (const Case& c : cases)
        EXPECT_EQ(c.units, MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, c.bytes, (int)strlen(c.bytes), out, 4))
            << testing::PrintToString(std::string(c.bytes));
}

TEST(CodePage, SingleByteCodePagesUseTheWindowsTables)
{
    EXPECT_EQ(ToWide(1252, "\x80\x93\xe9"), u"\u20ac\u201c\u00e9");
    // Bytes that 1252 leaves undefined keep their value, as on Windows.
    EXPECT_EQ(ToWide(1252, "\x81\x8d"), u"\u0081\u008d");
    EXPECT_EQ(ToWide(1251, "\xcf\xf0\xe8"), u"\u041f\u0440\u0438");
    BOOL usedDefault = FALSE;
    EXPECT_EQ(ToBytes(1252, u"\u00e9\u4e2d", &usedDefault), "\xe9?");
    EXPECT_TRUE(usedDefault);
}

TEST(CodePage, DoubleByteCodePagesSurviveDamage)
{
    EXPECT_EQ(ToWide(936, "\xd6\xd0\xce\xc4"), u"\u4e2d\u6587");
    EXPECT_EQ(ToWide(932, "\x93\xfa\x96\x7b"), u"\u65e5\u672c");
    // A lead byte at the very end is cut; conversion still reports what it had.
    EXPECT_EQ(ToWide(936, "a\xd6"), u"a\ufffd");
    EXPECT_EQ(ToBytes(936, u"\u4e2d"), "\xd6\xd0");
}

TEST(CodePage, TerminatorAndBufferRules)
{
    WCHAR small[3];
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, 0, "abcd", -1, small, 3));
    EXPECT_EQ((DWORD)ERROR_INSUFFICIENT_BUFFER, GetLastError());
    // A single-byte code page needs a unit for every byte.
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0, MultiByteToWideChar(1252, 0, "abcd", 4, small, 3));
    EXPECT_EQ((DWORD)ERROR_INSUFFICIENT_BUFFER, GetLastError());
    EXPECT_EQ(3, MultiByteToWideChar(1252, 0, "abc", 3, small, 3));
    // -1 counts the terminator.
    EXPECT_EQ(5, MultiByteToWideChar(CP_UTF8, 0, "abcd", -1, nullptr, 0));
    EXPECT_EQ(5, MultiByteToWideChar(1252, 0, "abcd", -1, nullptr, 0));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, 0, "abcd", 0, small, 3));
    EXPECT_EQ((DWORD)ERROR_INVALID_PARAMETER, GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0, MultiByteToWideChar(99999, 0, "abcd", -1, nullptr, 0));
    EXPECT_EQ((DWORD)ERROR_INVALID_PARAMETER, GetLastError());
}

// The ANSI code page is fixed at the first conversion, so each locale is
// tried in a process of its own.
TEST(CodePage, AnsiCodePageFollowsTheSettingThenTheLocale)
{
    struct Case {
        const char* environment;
        UINT codePage;
    };
    for (Case c : {Case{"LANG=zh_TW.UTF-8", 950}, Case{"LANG=zh_CN.UTF-8", 936}, Case{"LANG=ja_JP", 932},
                   Case{"LANG=ru_RU.UTF-8", 1251}, Case{"LANG=C.UTF-8", 1252}, Case{"LANG=", 1252},
                   Case{"LANG=zh_TW LC_ALL=ko_KR.UTF-8", 949}, Case{"LANG=ru_RU LEAFWISE_CODEPAGE=1253", 1253},
                   Case{"LANG=el_GR.UTF-8", 1253}, Case{"LANG=ru_RU LEAFWISE_CODEPAGE=0", 1251}}) {
        std::string command = std::string("env -u LC_ALL -u LC_CTYPE -u LEAFWISE_CODEPAGE ") + c.environment +
                              " " ACP_HOST;
        FILE* child = popen(command.c_str(), "r");
        ASSERT_NE(child, nullptr);
        unsigned printed = 0;
        EXPECT_EQ(fscanf(child, "%u", &printed), 1) << c.environment;
        pclose(child);
        EXPECT_EQ(printed, c.codePage) << c.environment;
    }
}

// The answer of GetLocaleInfoW(LOCALE_IDEFAULTANSICODEPAGE), or "fails".
std::string AnsiCodePageOf(LCID locale)
{
    WCHAR digits[8];
    int n = GetLocaleInfoW(locale, LOCALE_IDEFAULTANSICODEPAGE, digits, 8);
    return n > 0 ? std::string(digits, digits + n - 1) : "fails";
}

// Run with LEAFWISE_CODEPAGE unset (see CMakeLists.txt).
TEST(Locale, AnsiCodePageOfEachLanguageAsWindowsGivesIt)
{
    const std::pair<LCID, const char*> expected[] = {
        {0x0804, "936"},  {0x1004, "936"},  {0x0404, "950"},  {0x0C04, "950"},  {0x1404, "950"},
        {0x0411, "932"},  {0x0412, "949"},  {0x0419, "1251"}, {0x0422, "1251"}, {0x0C1A, "1251"},
        {0x081A, "1250"}, {0x041A, "1250"}, {0x0415, "1250"}, {0x0408, "1253"}, {0x041F, "1254"},
        {0x042C, "1254"}, {0x082C, "1251"}, {0x040D, "1255"}, {0x0401, "1256"}, {0x0429, "1256"},
        {0x0425, "1257"}, {0x042A, "1258"}, {0x041E, "874"},  {0x0409, "1252"}, {0x0C07, "1252"},
        {0x0809, "1252"}, {0x0414, "1252"}, {0x0439, "0"},    {0x0437, "0"},
        {0x00020804, "936"},  // a sort order does not change the language
        {0x007F, "1252"}, {0x04FF, "fails"},
    };
    for (const auto& [locale, codePage] : expected)
        EXPECT_EQ(AnsiCodePageOf(locale), codePage) << std::hex << locale;
    EXPECT_EQ(AnsiCodePageOf(LOCALE_USER_DEFAULT), std::to_string(GetACP()));

    SetLastError(0xdeadbeef);
    EXPECT_EQ(0, GetLocaleInfoW(0x04FF, LOCALE_IDEFAULTANSICODEPAGE, nullptr, 0));
    EXPECT_EQ((DWORD)ERROR_INVALID_PARAMETER, GetLastError());
    EXPECT_EQ(5, GetLocaleInfoW(0x0419, LOCALE_IDEFAULTANSICODEPAGE, nullptr, 0));
    WCHAR small[4];
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0, GetLocaleInfoW(0x0419, LOCALE_IDEFAULTANSICODEPAGE, small, 4));
    EXPECT_EQ((DWORD)ERROR_INSUFFICIENT_BUFFER, GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0, GetLocaleInfoW(0x0419, 0x1005, small, 4));
    EXPECT_EQ((DWORD)ERROR_INVALID_FLAGS, GetLastError());
}

TEST(Locale, ValidCodePagesAreThoseTheConversionsKnow)
{
    for (UINT codePage : {0u, 874u, 932u, 936u, 949u, 950u, 1250u, 1258u, 20866u, 21866u, 54936u, 65001u})
        EXPECT_TRUE(IsValidCodePage(codePage)) << codePage;
    for (UINT codePage : {1u, 99999u, 65000u})
        EXPECT_FALSE(IsValidCodePage(codePage)) << codePage;
    EXPECT_EQ(ToWide(20866, "\xf0\xd2\xc9"), u"\u041f\u0440\u0438");

    // What GetCPInfo says of their shape.
    UINT acp = GetACP();
    for (auto [codePage, size] : {std::pair{1251u, 1u}, {874u, 1u}, {20866u, 1u}, {932u, 2u}, {950u, 2u},
                                  {65001u, 4u}, {54936u, 4u}, {0u, 0u}}) {
        CPINFO info = {}, resolved = {};
        info.LeadByte[0] = 0x55;
        ASSERT_TRUE(GetCPInfo(codePage, &info)) << codePage;
        ASSERT_TRUE(GetCPInfo(codePage ? codePage : acp, &resolved));
        EXPECT_EQ(info.MaxCharSize, size ? size : resolved.MaxCharSize) << codePage;
        EXPECT_EQ(info.DefaultChar[0], '?');
        EXPECT_EQ(info.LeadByte[0], 0) << "never reported";
    }
    CPINFO info = {};
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetCPInfo(99999, &info));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
}

// A fixed code page is every language's ANSI code page, as it is the device's.
TEST(Locale, FixedCodePageIsEveryLanguagesAnsiCodePage)
{
    std::string command = std::string("env LEAFWISE_CODEPAGE=1251 ") + ACP_HOST + " 0x804 0x409 0x439 0x4FF";
    FILE* child = popen(command.c_str(), "r");
    ASSERT_NE(child, nullptr);
    char line[128] = {};
    EXPECT_NE(fgets(line, sizeof line, child), nullptr);
    pclose(child);
    EXPECT_STREQ(line, "1251 1251 1251 1251 fails\n");
}

} // namespace
