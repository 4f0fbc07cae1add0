// A book written in code page 936, read with 936 as the ANSI code page. Its
// own executable: the code page is fixed at the first conversion.
#include "BookTestSupport.h"

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

}  // namespace
