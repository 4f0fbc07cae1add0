// The hive's text form: what a person may write into it, and what a damaged
// file does to the parser.
#include "hive.h"

#include <gtest/gtest.h>

namespace {

using lwreg::Hive;

std::vector<BYTE> Utf16(std::u16string_view text) {
    std::vector<BYTE> data;
    for (char16_t c : text) {
        data.push_back(BYTE(c));
        data.push_back(BYTE(c >> 8));
    }
    data.insert(data.end(), {0, 0});
    return data;
}

TEST(HiveText, AcceptsWhatAPersonOrAnExportWrites) {
    const char* text =
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
        "; a comment\r\n"
        "\r\n"
        "[hkey_classes_root\\.chm]\r\n"
        "@=\"CHMFile\"\r\n"
        "  \"Path\" = str(2):\"%HOME%\\\\x\"\r\n"
        "\"Count\"=dword:0000002A\r\n"
        "\"Long\"=hex(7):61,00,\\\r\n"
        "  00,00\r\n"
        "[HKEY_CLASSES_ROOT\\.CHM]\r\n"
        "\"Count\"=dword:00000001\r\n";
    Hive hive;
    std::string error;
    ASSERT_TRUE(lwreg::Parse(text, &hive, &error)) << error;
    const lwreg::Key* key = hive.Find(u"HKEY_CLASSES_ROOT\\.Chm");
    ASSERT_NE(key, nullptr);
    // The root is spelled canonically; sections of one key merge, later wins.
    EXPECT_EQ(key->path, u"HKEY_CLASSES_ROOT\\.chm");
    EXPECT_EQ(key->FindValue(u"")->data, Utf16(u"CHMFile"));
    EXPECT_EQ(key->FindValue(u"path")->type, 2u);
    EXPECT_EQ(key->FindValue(u"path")->data, Utf16(u"%HOME%\\x"));
    EXPECT_EQ(key->FindValue(u"count")->data, std::vector<BYTE>({1, 0, 0, 0}));
    EXPECT_EQ(key->FindValue(u"Long")->type, 7u);
    EXPECT_EQ(key->FindValue(u"Long")->data, std::vector<BYTE>({0x61, 0, 0, 0}));
}

TEST(HiveText, RejectsWhatIsNotAHive) {
    const char* damaged[] = {
        "@=\"value before any key\"\n",
        "[HKEY_NOWHERE\\x]\n",
        "[HKEY_CLASSES_ROOT\\a\\\\b]\n",
        "[HKEY_CLASSES_ROOT\\open\n",
        "[HKEY_CLASSES_ROOT\\k]\n\"unterminated=\"x\n",
        "[HKEY_CLASSES_ROOT\\k]\n@=dword:12\n",
        "[HKEY_CLASSES_ROOT\\k]\n@=hex:100\n",
        "[HKEY_CLASSES_ROOT\\k]\n@=\"bad escape \\q\"\n",
        "[HKEY_CLASSES_ROOT\\k]\n@=\"\xC0\xAF overlong\"\n",
        "[HKEY_CLASSES_ROOT\\k]\n@=\"x\" trailing\n",
        "[HKEY_CLASSES_ROOT\\k]\njust words\n",
    };
    for (const char* text : damaged) {
        Hive hive;
        std::string error;
        EXPECT_FALSE(lwreg::Parse(text, &hive, &error)) << text;
        EXPECT_NE(error.find("line "), std::string::npos) << text;
    }
}

TEST(HiveText, WritesWhatItReadsBack) {
    Hive hive;
    hive.Create(u"HKEY_CURRENT_USER\\Software\\Ünïcode \U0001F4D6", nullptr)
        .SetValue(u"Name \"quoted\"", 1, Utf16(u"a\\b\r\n\x01 \xDC00 z"));
    lwreg::Key& key = hive.Create(u"HKEY_CLASSES_ROOT\\.chm", nullptr);
    key.SetValue(u"", 1, Utf16(u"CHMFile"));
    key.SetValue(u"Odd", 1, {0x41});
    key.SetValue(u"Number", 4, {1, 2, 3, 4});
    key.SetValue(u"Big", 0x20, {9});
    std::string text = lwreg::Serialize(hive);

    Hive back;
    std::string error;
    ASSERT_TRUE(lwreg::Parse(text, &back, &error)) << error << "\n" << text;
    EXPECT_EQ(lwreg::Serialize(back), text);
    EXPECT_TRUE(back.Exists(u"HKEY_CURRENT_USER\\SOFTWARE"));
    EXPECT_NE(text.find("@=\"CHMFile\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"Big\"=hex(20):09"), std::string::npos) << text;
}

TEST(HiveText, KeyPathsAreCheckedAndCaseFolded) {
    std::u16string canonical;
    EXPECT_TRUE(lwreg::ValidKeyPath(u"hkey_local_machine\\A\\b", &canonical));
    EXPECT_EQ(canonical, u"HKEY_LOCAL_MACHINE\\A\\b");
    EXPECT_FALSE(lwreg::ValidKeyPath(u"HKEY_LOCAL_MACHINE\\", &canonical));
    EXPECT_FALSE(lwreg::ValidKeyPath(u"HKEY_LOCAL_MACHINE\\a\nb", &canonical));
    EXPECT_TRUE(lwreg::ValidKeyPath(u"HKEY_USERS\\" + std::u16string(255, u'x'), &canonical));
    EXPECT_FALSE(lwreg::ValidKeyPath(u"HKEY_USERS\\" + std::u16string(256, u'x'), &canonical));
    EXPECT_TRUE(lwreg::EqualNames(u"Ärger", u"äRGER"));
    // A view that ends inside a sequence is not UTF-8, whatever lies beyond it.
    std::u16string text;
    EXPECT_FALSE(lwreg::FromUtf8(std::string_view("\xC3\xA9", 1), &text));
    EXPECT_FALSE(lwreg::FromUtf8(std::string_view("a\xE2\x82\xAC", 3), &text));
    EXPECT_TRUE(lwreg::FromUtf8(std::string_view("a\xE2\x82\xAC", 4), &text));
    EXPECT_EQ(text, u"a\u20AC");
    EXPECT_FALSE(lwreg::EqualNames(u"a", u"b"));
}

// Every cut and every flipped byte of a real hive gives a refusal that names
// its line, or a hive that writes out as text that reads back the same; under
// the sanitizers this also proves no read goes astray.
TEST(HiveText, CutAndFlippedFilesGiveAHiveOrARefusal) {
    Hive hive;
    lwreg::Key& key = hive.Create(u"HKEY_CLASSES_ROOT\\CHMFile\\Shell\\Open\\Command", nullptr);
    key.SetValue(u"", 1, Utf16(u"\"\\Program Files\\Leafwise.exe\" %1"));
    key.SetValue(u"Data", 3, {1, 2, 3});
    key.SetValue(u"Number", 4, {1, 2, 3, 4});
    const std::string good = lwreg::Serialize(hive);
    auto check = [](const std::string& text) {
        Hive out;
        std::string error;
        if (!lwreg::Parse(text, &out, &error)) {
            EXPECT_EQ(error.rfind("line ", 0), 0u) << text;
            return;
        }
        std::string written = lwreg::Serialize(out);
        Hive back;
        EXPECT_TRUE(lwreg::Parse(written, &back, &error)) << error << "\n" << text;
        EXPECT_EQ(lwreg::Serialize(back), written);
    };
    for (size_t cut = 0; cut < good.size(); ++cut)
        check(good.substr(0, cut));
    for (size_t at = 0; at < good.size(); ++at) {
        for (unsigned char flip : {0x01, 0x20, 0x80, 0xFF}) {
            std::string bad = good;
            bad[at] = char(bad[at] ^ flip);
            check(bad);
        }
    }
}

}  // namespace
