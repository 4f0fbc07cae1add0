// What a page declares of its charset, and the contents of books without a
// contents file: binary table of contents, keyword index, list of pages.
#include "BookTestSupport.h"

#include <cstring>

using namespace booktest;
namespace fs = std::filesystem;
using ::testing::ElementsAre;

namespace {

class ContentsSourcesTest : public ScratchTest {
protected:
    Book book;
};

TEST_F(ContentsSourcesTest, APageIsReadInTheCharsetItDeclaresElseInTheBooks)
{
    ASSERT_EQ(book.LoadContents(DeviceTestBook("charsets").c_str()), 1);
    // The contents file declares UTF-8 in a book of code page 1252.
    EXPECT_THAT(Entries(book), ElementsAre("1|Mark 中文|/bom.htm", "1|Café|/caps.htm"));
    const std::pair<const char*, unsigned> pages[] = {
        {"bom.htm", 65001},      // the mark wins over the meta tag after it, and is not part of the text
        {"caps.htm", 65001},     // <META CHARSET=UTF-8>
        {"equiv.htm", 950},      // Content-Type after a name= and another http-equiv, charset after q=1
        {"late.htm", 1252},      // declared past the first 1,024 bytes
        {"unknown.htm", 1252},   // a charset nobody converts
    };
    for (const auto& [name, codePage] : pages) {
        SCOPED_TRACE(name);
        book.ClearTempFolder();
        ASSERT_EQ(book.ExtractPage(Wide(std::string("/") + name).c_str(), u"\\Temp"), 1);
        std::string source = ReadBytes(fs::path(LEAFWISE_BOOK_SOURCES) / "charsets" / name);
        if (source.rfind("\xEF\xBB\xBF", 0) == 0)
            source.erase(0, 3);
        EXPECT_TRUE(ScratchFiles()[name] == ExpectedPageFile(source, codePage));
    }
}

TEST_F(ContentsSourcesTest, ABookOfPagesOnlyListsThemDefaultTopicFirst)
{
    ASSERT_EQ(book.LoadContents(DeviceTestBook("pages-only").c_str()), 1);
    EXPECT_THAT(Entries(book), ElementsAre("1|Second|/second.htm",  // the default topic
                                           "1|First page title|/first.htm",
                                           "1|untitled.html|/sub/untitled.html",  // no <title>: its name
                                           "1|Café 中|/utf8.htm"));             // a title of a UTF-8 page
    EXPECT_EQ(book.ExtractPage(book.contents[2].local, u"\\Temp"), 1);
}

// An index is found whatever the case of its name's end (pages too: see
// CodePage936Test).
TEST_F(ContentsSourcesTest, AKeywordIndexIsFoundWhateverTheCaseOfItsName)
{
    ASSERT_EQ(book.LoadContents(DeviceTestBook("upper-index").c_str()), 1);
    EXPECT_THAT(Entries(book), ElementsAre("1|Upper keyword|/PAGE.HTM"));
}

// A reader that lists the contents once gets them as they are made, and the
// book keeps none: the same entries, whatever source lists them.
TEST_F(ContentsSourcesTest, EntriesHandedOutAreTheEntriesKept)
{
    for (const char* name : {"titles", "sitemap-order", "charsets", "no-contents", "pages-only", "objects"}) {
        SCOPED_TRACE(name);
        int kept = book.LoadContents(DeviceTestBook(name).c_str());
        std::vector<std::string> entries = Entries(book);
        int handedOut = 0;
        EXPECT_EQ(EntriesHandedOut(book, DeviceTestBook(name).c_str(), &handedOut), entries);
        EXPECT_EQ(handedOut, kept);
        EXPECT_TRUE(book.contents.empty());
    }
}

// The tables of a binary table of contents: a header whose first number is
// the offset of the first entry, entries of 20 bytes (24 with children), one
// topic, one URL and their strings.
struct Tables {
    std::vector<BYTE> toc = std::vector<BYTE>(16), topics, urls, urlStrings, strings{0};

    static void Put32(std::vector<BYTE>& table, size_t at, DWORD value)
    {
        if (table.size() < at + 4)
            table.resize(at + 4);
        for (int i = 0; i < 4; ++i)
            table[at + i] = (BYTE)(value >> (8 * i));
    }
    DWORD String(const char* text)
    {
        DWORD at = (DWORD)strings.size();
        strings.insert(strings.end(), text, text + strlen(text) + 1);
        return at;
    }
    // An entry at `at`: a heading (its title in #STRINGS) or, with a topic, a page.
    void Entry(DWORD at, bool page, DWORD number, DWORD next, DWORD child = 0)
    {
        Put32(toc, at + 4, (page ? 0x8 : 0) | (child ? 0x4 : 0));
        Put32(toc, at + 8, number);
        Put32(toc, at + 16, next);
        if (child)
            Put32(toc, at + 20, child);
    }
    BinaryContents View() const
    {
        auto view = [](const std::vector<BYTE>& t) { return BinaryContents::Table{t.data(), t.size()}; };
        return {view(toc), view(topics), view(urls), view(urlStrings), view(strings)};
    }
};

TEST_F(ContentsSourcesTest, DamagedBinaryTablesEndTheirChainsAndNeverLoop)
{
    Tables t;
    Tables::Put32(t.toc, 0, 0x40);
    // Topic 0: title "Page", URL 0, whose #URLSTR record has the path at 8.
    Tables::Put32(t.topics, 4, t.String("Page"));
    Tables::Put32(t.topics, 12, 0);
    Tables::Put32(t.urls, 8, 0);
    t.urlStrings.resize(8);
    const char path[] = "a.htm";
    t.urlStrings.insert(t.urlStrings.end(), path, path + sizeof path);
    t.Entry(0x40, false, t.String("Heading"), 0x80, 0x60);
    t.Entry(0x60, true, 0, 0x60);        // a child whose next sibling is itself
    t.Entry(0x80, true, 7, 0xA0);        // a topic past #TOPICS: no title, no page
    t.Entry(0xA0, false, 9999, 0x40);    // a string past #STRINGS, then back to the first
    book.ParseBinaryContents(t.View());
    EXPECT_THAT(Entries(book), ElementsAre("1|Heading|", "2|Page|/a.htm", "1||", "1||"));

    // Entries that point past the table, or are cut by its end.
    for (DWORD first : {0x7FFFFFF0u, (DWORD)t.toc.size() - 10, 3u}) {
        Tables cut = t;
        Tables::Put32(cut.toc, 0, first);
        book.contents.clear();
        book.ParseBinaryContents(cut.View());
        EXPECT_LE(book.contents.size(), 1u) << first;
    }
    book.contents.clear();
    book.ParseBinaryContents({});
    EXPECT_TRUE(book.contents.empty());
}

TEST_F(ContentsSourcesTest, BinaryContentsNestAtMost31Levels)
{
    Tables t;
    Tables::Put32(t.toc, 0, 0x40);
    DWORD title = t.String("Deep");
    for (DWORD i = 0; i < 40; ++i)
        t.Entry(0x40 + 24 * i, false, title, 0, 0x40 + 24 * (i + 1));
    t.Entry(0x40 + 24 * 40, false, title, 0);
    book.ParseBinaryContents(t.View());
    ASSERT_EQ(book.contents.size(), 31u);
    EXPECT_EQ(book.contents.back().level, 31);
}

}  // namespace
