// Pages of a book written in code page 1252, read with 1252 as the ANSI code page.
#include "BookTestSupport.h"

using namespace booktest;
namespace fs = std::filesystem;
using ::testing::Pair;
using ::testing::UnorderedElementsAre;

namespace {

class CodePage1252Test : public ScratchTest {
protected:
    Book book;
};

TEST_F(CodePage1252Test, PagesAndImagesWithNonAsciiNamesAreFound)
{
    ASSERT_EQ(GetACP(), 1252u);
    ASSERT_EQ(book.LoadContents(DeviceTestBook("codepage-1252").c_str()), 1);
    book.ClearTempFolder();
    ASSERT_EQ(book.ExtractPage(book.contents[0].local, u"\\Temp"), 1);
    std::string source = ReadBytes(fs::path(LEAFWISE_BOOK_SOURCES) / "codepage-1252" / "café.htm");
    EXPECT_THAT(ScratchFiles(), UnorderedElementsAre(Pair("café.htm", ExpectedPageFile(source, 1252)),
                                                     Pair("déjà vu.gif", "GIF89a deja vu")));
    std::string page = ScratchFiles()["café.htm"];
    std::u16string text((const char16_t*)(page.data() + 2), (page.size() - 2) / 2);
    EXPECT_NE(text.find(u"Crème brûlée for €5 – “très bon”"), std::u16string::npos);
}

TEST_F(CodePage1252Test, AByteTheCodePageLeavesUndefinedStandsForItself)
{
    ASSERT_TRUE(book.Open(DeviceTestBook("codepage-1252").c_str()));
    WCHAR* text = book.ReadObjectText(*book.FindObject(u"/plain.htm"));
    ASSERT_NE(text, nullptr);
    EXPECT_NE(std::u16string(text).find(u"byte \u0081 here"), std::u16string::npos);
    free(text);
}

TEST_F(CodePage1252Test, AFixedCodePageWinsOverTheBooksLanguage)
{
    ASSERT_EQ(book.LoadContents(DeviceTestBook("codepage-936").c_str()), 1);
    EXPECT_EQ(book.codePage, 1252u);
    EXPECT_NE(Utf8(book.contents[0].title), "关于我们");
}

}  // namespace
