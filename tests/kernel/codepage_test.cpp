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
                   Case{"LANG=zh_TW LC_ALL=ko_KR.UTF-8", 949}, Case{"LANG=ru_RU LEAFWISE_CODEPAGE=1253", 1253}}) {
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

} // namespace
