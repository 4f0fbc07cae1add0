// Books read in their own language's code page on a device whose ANSI code
// page is 1252 (LEAFWISE_CODEPAGE unset, an en_US locale). Its own executable:
// the code page is fixed at the first conversion.
#include "BookTestSupport.h"

#include <BookDamage.h>

#include <algorithm>
#include <cstring>

using namespace booktest;
namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;
using ::testing::Pair;

namespace {

class CodePage936Test : public ScratchTest {
protected:
    Book book;
};

// A book without contents lists its pages, ".HTM" as ".htm", titled (a
// <TITLE> as a <title>) in the book's code page when a page declares none.
TEST_F(CodePage936Test, ListedPagesAreTitledInTheBooksCodePage)
{
    ASSERT_EQ(book.LoadContents(DeviceTestBook("pages-936").c_str()), 1);
    EXPECT_THAT(Entries(book), ElementsAre("1|中文 Title|/A.HTM", "1|b.htm|/b.htm"));
}

TEST_F(CodePage936Test, TitlesLocalsAndPagesAreReadInTheBooksCodePage)
{
    ASSERT_EQ(GetACP(), 1252u);
    ASSERT_EQ(book.LoadContents(DeviceTestBook("codepage-936").c_str()), 1);
    EXPECT_EQ(book.codePage, 936u);  // LCID 0x804
    EXPECT_THAT(Entries(book), ElementsAre("1|关于我们|/关于我们.htm", "1|标签手册|/html/标签.htm"));

    // The Local values were GBK bytes; the objects are named in UTF-8.
    book.ClearTempFolder();
    ASSERT_EQ(book.ExtractPage(book.contents[0].local, u"\\Temp"), 1);
    std::string source = ReadBytes(fs::path(LEAFWISE_BOOK_SOURCES) / "codepage-936" / "关于我们.htm");
    EXPECT_THAT(ScratchFiles(), UnorderedElementsAre(Pair("关于我们.htm", ExpectedPageFile(source, 936)),
                                                     Pair("标志.gif", "GIF89a logo")));
    std::string page = ScratchFiles()["关于我们.htm"];
    std::u16string text((const char16_t*)(page.data() + 2), (page.size() - 2) / 2);
    EXPECT_NE(text.find(u"关于我们：翱云科技"), std::u16string::npos);

    book.ClearTempFolder();
    ASSERT_EQ(book.ExtractPage(book.contents[1].local, u"\\Temp"), 1);
    EXPECT_EQ(ScratchFiles().count("标签.htm"), 1u);
}

// The language is #SYSTEM's LCID, else the header's, else the device's.
TEST_F(CodePage936Test, TheLanguageOfSystemElseOfTheHeaderElseTheDevice)
{
    damage::Bytes built = damage::ReadHostFile(TestBookHostPath("codepage-936"));
    const std::string record = std::string("\x04\x00\x24\x00\x04\x08\x00\x00", 8);  // code 4, 36 bytes, 0x804
    auto found = std::search(built.begin(), built.end(), record.begin(), record.end());
    ASSERT_NE(found, built.end());
    size_t lcid = found - built.begin() + 4;
    auto load = [&](uint16_t system, uint16_t header) {
        damage::Bytes patched = built;
        memcpy(&patched[lcid], &system, 2);
        memcpy(&patched[0x14], &header, 2);
        std::string host = (Scratch() / "patched.chm").string();
        EXPECT_TRUE(damage::WriteHostFile(host, patched));
        EXPECT_EQ(book.LoadContents(DevicePath(host).c_str()), 1);
        return book.codePage;
    };
    EXPECT_EQ(load(0x419, 0x804), 1251u);
    EXPECT_EQ(load(0, 0x804), 936u);
    EXPECT_EQ(load(0x439, 0x804), 936u);  // Hindi has no ANSI code page
    EXPECT_EQ(load(0, 0), (UINT)CP_ACP);
    // Read as 1252, the titles come out wrong, the non-ASCII page is not
    // found, and nothing breaks.
    ASSERT_EQ(book.contents.size(), 2u);
    EXPECT_NE(Utf8(book.contents[0].title), "关于我们");
    EXPECT_EQ(book.ExtractPage(book.contents[0].local, u"\\Temp"), 0);
}

// With its contents file renamed away, a book is listed from its binary
// table of contents, texts in the book's code page.
TEST_F(CodePage936Test, ABookWithoutContentsFileIsListedFromItsBinaryContents)
{
    damage::Bytes built = damage::ReadHostFile(TestBookHostPath("binary-toc"));
    const std::string name = "binary-toc.hhc";
    int renamed = 0;
    for (auto at = built.begin(); (at = std::search(at, built.end(), name.begin(), name.end())) != built.end(); ++renamed)
        at[name.size() - 1] = 'x';
    ASSERT_EQ(renamed, 2);  // in the directory and in #SYSTEM
    std::string host = (Scratch() / "binary-only.chm").string();
    ASSERT_TRUE(damage::WriteHostFile(host, built));
    ASSERT_EQ(book.LoadContents(DevicePath(host).c_str()), 1);
    EXPECT_EQ(book.FindContentsFile(), nullptr);
    EXPECT_THAT(Entries(book), ElementsAre("1|First|/a.htm", "1|Heading|", "2|Глава|/b.htm", "3|Deep|/c.htm#part",
                                           "1|Last|/c.htm"));
    std::vector<std::string> kept = Entries(book);
    int result = 0;
    EXPECT_EQ(EntriesHandedOut(book, DevicePath(host).c_str(), &result), kept);
}

// A contents file is converted 64 KB at a time, each piece cut where no
// character can be split; here a title's first character straddles the 64 KB
// mark, so that a cut taken there would split it.
TEST_F(CodePage936Test, AContentsFileOverSixtyFourKilobytesReadsIntact)
{
    damage::Bytes healthy = damage::ReadHostFile(std::string(LEAFWISE_CORPUS) + "/pychm-example-nb.chm");
    if (healthy.empty())
        GTEST_SKIP() << "no corpus at " << LEAFWISE_CORPUS;
    auto item = [](const std::string& name) {
        return "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"" + name +
               "\"><param name=\"Local\" value=\"a.htm\"></OBJECT>\n";
    };
    // The file declares its code page: the book's is 1252.
    std::string text = "<meta charset=\"gbk\">\n<UL>\n";
    size_t fillers = 0;
    for (; text.size() + 2 * item("filler").size() < 65536; ++fillers)
        text += item("filler");
    const std::string opening = item("");
    text.append(65535 - text.size() - opening.find("value=\"\">") - 7, ' ');
    // 丂 (81 40, a trail byte in ASCII's range) from byte 65535 on, then 中 (D6 D0).
    text += item("\x81\x40\xD6\xD0") + "</UL>\n";
    ASSERT_EQ(text.substr(65535, 2), "\x81\x40");

    damage::CraftedBook crafted(healthy);
    crafted.Put("/Documents/Table of Contents.hhc", text);
    crafted.Put("/big.htm", text);  // a page is converted in the same 64 KB pieces
    damage::Bytes built = crafted.Build();
    ASSERT_TRUE(crafted.ok);
    std::string host = (Scratch() / "large-936.chm").string();
    ASSERT_TRUE(damage::WriteHostFile(host, built));
    ASSERT_EQ(book.LoadContents(DevicePath(host).c_str()), 1);
    std::vector<std::string> entries = Entries(book);
    ASSERT_EQ(entries.size(), fillers + 1);
    EXPECT_EQ(entries.back(), "1|丂中|/a.htm");
    EXPECT_EQ(entries[fillers - 1], "1|filler|/a.htm");
    WCHAR* page = book.ReadObjectText(*book.FindObject(u"/big.htm"));
    ASSERT_NE(page, nullptr);
    EXPECT_NE(std::u16string(page).find(u"value=\"丂中\""), std::u16string::npos);
    free(page);
}

}  // namespace
