// Contents files of the test books, loaded as the contents window loads them.
#include "BookTestSupport.h"
#include "StringPool.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace booktest;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

class ContentsTest : public ScratchTest {
protected:
    std::vector<std::string> Load(const std::string& name, int expectedResult = 1)
    {
        EXPECT_EQ(book.LoadContents(DeviceTestBook(name).c_str()), expectedResult) << name;
        return Entries(book);
    }
    Book book;
};

TEST_F(ContentsTest, TagsAndParametersMatchInAnyLetterCaseButOnlyWithTheirExactSpelling)
{
    // Lower, upper and mixed case all count; a list tag with an attribute, a
    // closing tag with a space, single quotes, doubled spaces and value before
    // name do not (the Local of the last item takes the name before it).
    EXPECT_THAT(Load("sitemap-case"), ElementsAre("1|lower|/a.htm", "2|upper|/b.htm", "2|mixed|/c.htm",
                                                  "1|mixed|/f.htm"));
}

TEST_F(ContentsTest, EntriesFollowTheOrderOfNamesLocalsAndListTags)
{
    EXPECT_THAT(Load("sitemap-order"),
                ElementsAre("0|Before the list|/a.htm",      // before the first <UL>
                            "1|Before the list|/b.htm",      // Local before Name takes the last name...
                            "1|Two locals|/c.htm",           // ...whose own name is overwritten by the next
                            "1|Two locals|/d.htm",           // two Locals, two entries
                            "1|Heading|",                    // a heading that opens a list
                            "2|Inner|/e.htm",
                            "1|Last heading|",               // a heading that closes one
                            "1|Sub|",                        // "Overwritten heading" left no entry
                            "2|Sub|/f.htm",
                            "1|Pending|",                    // a Local-first name, kept by the </UL>
                            "-1|After the close|/g.htm"));   // after unbalanced </UL>; "Lost" is dropped
}

TEST_F(ContentsTest, TitlesAndLocalsKeep255CharactersAndAreTakenVerbatim)
{
    std::vector<std::string> entries = Load("titles");
    ASSERT_EQ(entries.size(), 9u);
    for (const TocEntry& entry : book.contents)
        EXPECT_LE(wcslen(entry.title), 255u);

    std::u16string title255 = book.contents[0].title;
    EXPECT_EQ(title255.size(), 255u);
    EXPECT_EQ(title255.back(), u'Z');  // the whole title, to its last character
    std::u16string title256 = book.contents[1].title;
    EXPECT_EQ(title256.size(), 255u);  // one character too many: cut
    EXPECT_EQ(title256.find(u'Y'), std::u16string::npos);

    std::string name255 = std::string(251, 'n') + ".htm";
    EXPECT_EQ(entries[2], "1|Long local|/" + name255);
    EXPECT_EQ(entries[3], "1|Longer local, cut|/" + name255);  // "#beyond" lay past 255 characters
    EXPECT_EQ(entries[4], "1|Tab\there,\r back\\slash|/a.htm");
    EXPECT_EQ(entries[5], "1|Fish &amp; chips|/a.htm");      // no references decoded
    EXPECT_EQ(entries[6], "1|  spaced  |/a.htm");            // nothing trimmed
    EXPECT_EQ(entries[7], "1||/a.htm");                      // an empty name is a name
    EXPECT_EQ(entries[8], "0|Unclosed|/a.htm\n");            // runs to the end of the text
}

TEST_F(ContentsTest, TheFirstHhcObjectInDirectoryOrderIsTheContentsFile)
{
    // The project names Main.hhc; Extra.hhc comes first in the directory.
    EXPECT_THAT(Load("two-hhc"), ElementsAre("1|From Extra|/a.htm", "1|Second|/a.htm"));
    // .HHC counts in capitals; .hh and .hhcx, which come before it, do not.
    EXPECT_THAT(Load("caps-hhc"), ElementsAre("1|From .HHC|/a.htm"));
    ASSERT_NE(book.FindContentsFile(), nullptr);  // by the listing, not by #SYSTEM
    EXPECT_STREQ(book.FindContentsFile()->path, "/Contents.HHC");
}

TEST_F(ContentsTest, HeadingsBeforeAnEmptyListAndAtTheVeryEnd)
{
    auto parse = [this](const std::u16string& text) {
        book.contents.clear();
        book.ParseContents(text.c_str());
        return Entries(book);
    };
    const std::u16string heading = u"<LI><OBJECT><param name=\"Name\" value=\"H\"></OBJECT>";
    EXPECT_THAT(parse(heading + u"<UL></UL>"), ElementsAre("0|H|"));
    // The text ends exactly at the "</UL>" that keeps the heading.
    EXPECT_THAT(parse(u"<UL>" + heading + u"</UL>"), ElementsAre("0|H|"));
    EXPECT_THAT(parse(u"<UL>" + heading + u"</UL"), IsEmpty());
}

TEST_F(ContentsTest, ABookWithoutContentsFileIsListedFromItsKeywordIndex)
{
    EXPECT_THAT(Load("no-contents"), ElementsAre("1|Keyword|/a.htm"));
    EXPECT_EQ(book.FindContentsFile(), nullptr);
    EXPECT_EQ(book.ExtractPage(u"/a.htm", u"\\Temp"), 1);
    EXPECT_EQ(ScratchFiles().size(), 2u);  // the page and its image
}

TEST_F(ContentsTest, AnEmptyContentsFileLoadsWithNoEntries)
{
    EXPECT_THAT(Load("objects"), IsEmpty());
    ASSERT_NE(book.FindContentsFile(), nullptr);
    EXPECT_STREQ(book.FindContentsFile()->path, "/objects.hhc");
}

TEST_F(ContentsTest, ANonAsciiTitleAndLocalAreReadInTheAnsiCodePage)
{
    // This executable runs with code page 1252 (see CMakeLists.txt).
    ASSERT_EQ(GetACP(), 1252u);
    EXPECT_THAT(Load("codepage-1252"), ElementsAre("1|Café crème|/café.htm", "1|“Quoted” – naïve|/plain.htm",
                                                   "1|Price €5|/plain.htm"));
}

TEST_F(ContentsTest, ReopeningDropsTheFirstBookAndAFailedOpenLeavesItClosed)
{
    Load("sitemap-case");
    ASSERT_FALSE(book.contents.empty());
    EXPECT_THAT(Load("two-hhc"), ElementsAre("1|From Extra|/a.htm", "1|Second|/a.htm"));
    EXPECT_EQ(book.FindObject(u"/b.htm"), nullptr);  // a page of the first book only

    EXPECT_EQ(book.LoadContents(u"\\no\\such\\book.chm"), 0);
    EXPECT_EQ(book.chm, nullptr);
    EXPECT_TRUE(book.objects.empty());
    EXPECT_TRUE(book.contents.empty());

    // Not a container at all.
    std::string text = (Scratch() / "not-a-book.chm").string();
    FILE* file = fopen(text.c_str(), "wb");
    fputs("ITSF but not really", file);
    fclose(file);
    EXPECT_EQ(book.LoadContents(DevicePath(text).c_str()), 0);
    EXPECT_EQ(book.chm, nullptr);
}

TEST_F(ContentsTest, ABookPathLongerThanTheFieldIsRefused)
{
    std::u16string longPath = u"\\" + std::u16string(300, u'x') + u".chm";
    EXPECT_EQ(book.LoadContents(longPath.c_str()), 0);
    EXPECT_EQ(book.chm, nullptr);
    EXPECT_EQ(book.LoadContents(nullptr), 0);
}

// Bounds: one 255-character Name taken by 200,000 entries is stored once, so
// listing the contents of this 26 KB book stays far below what copying the
// title for each entry would take (100 MB).
TEST_F(ContentsTest, ATitleTakenByManyEntriesIsStoredOnce)
{
    ASSERT_EQ(book.LoadContents(DeviceTestBook("one-title").c_str()), 1);
    ASSERT_EQ(book.contents.size(), 200000u);
    EXPECT_EQ(Utf8(book.contents.front().title), std::string(255, 'T'));
    for (const TocEntry& entry : book.contents) {
        ASSERT_EQ(entry.title, book.contents.front().title);
        ASSERT_EQ(entry.local, book.contents.front().local);
    }
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "peak memory is not the program's own under AddressSanitizer";
#else
    pid_t child = fork();
    if (child == 0) {
        freopen("/dev/null", "w", stdout);
        execl(LEAFWISE_BOOK_TOOL, LEAFWISE_BOOK_TOOL, "contents", TestBookHostPath("one-title").c_str(), nullptr);
        _exit(127);
    }
    int status = 0;
    struct rusage usage = {};
    ASSERT_EQ(wait4(child, &status, 0, &usage), child);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_LT(usage.ru_maxrss, 64 * 1024) << "peak KB";
#endif
}

}  // namespace

namespace {

// The pool behind titles and paths: strings past its first blocks go into
// regions, a string bigger than a block into one of its own, and Trim gives
// back what the last region did not take; every string stays as it was.
TEST(StringPoolTest, StringsStayIntactAcrossRegionsAndTrim)
{
    auto text = [](int i) {
        std::string ascii = "entry " + std::to_string(i);
        return std::u16string(ascii.begin(), ascii.end());
    };
    StringPool pool;
    std::vector<const WCHAR*> kept;
    for (int i = 0; i < 120000; ++i) {
        std::u16string t = i == 50000 ? std::u16string(40000, u'L') : text(i);
        kept.push_back(pool.Copy(t.c_str(), t.size()));
    }
    pool.Trim();
    for (int i = 120000; i < 121000; ++i)
        kept.push_back(pool.Copy(text(i).c_str(), text(i).size()));
    for (int i = 0; i < 121000; ++i)
        ASSERT_EQ(i == 50000 ? std::u16string(40000, u'L') : text(i), kept[i]) << i;
}

} // namespace

