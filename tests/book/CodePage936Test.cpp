// A book written in code page 936, read with 936 as the ANSI code page. Its
// own executable: the code page is fixed at the first conversion.
#include "BookTestSupport.h"

#include <BookDamage.h>

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

TEST_F(CodePage936Test, TitlesLocalsAndPagesAreReadInTheBooksCodePage)
{
    ASSERT_EQ(GetACP(), 936u);
    ASSERT_EQ(book.LoadContents(DeviceTestBook("codepage-936").c_str()), 1);
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

TEST_F(CodePage936Test, ABookOfAnotherCodePageMisreadsButDoesNotFail)
{
    // Code page 1252 bytes read as 936: the titles come out wrong, the
    // non-ASCII page is not found, and nothing breaks.
    ASSERT_EQ(book.LoadContents(DeviceTestBook("codepage-1252").c_str()), 1);
    ASSERT_EQ(book.contents.size(), 3u);
    EXPECT_NE(Utf8(book.contents[0].title), "Café crème");
    book.ClearTempFolder();
    EXPECT_EQ(book.ExtractPage(book.contents[0].local, u"\\Temp"), 0);
    EXPECT_EQ(book.ExtractPage(u"/plain.htm", u"\\Temp"), 1);
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
    std::string text = "<UL>\n";
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
    damage::Bytes built = crafted.Build();
    ASSERT_TRUE(crafted.ok);
    std::string host = (Scratch() / "large-936.chm").string();
    ASSERT_TRUE(damage::WriteHostFile(host, built));
    ASSERT_EQ(book.LoadContents(DevicePath(host).c_str()), 1);
    std::vector<std::string> entries = Entries(book);
    ASSERT_EQ(entries.size(), fillers + 1);
    EXPECT_EQ(entries.back(), "1|丂中|/a.htm");
    EXPECT_EQ(entries[fillers - 1], "1|filler|/a.htm");
}

}  // namespace
