// Search: pages read as a browser shows them, words folded and CJK runs
// matched inside text, results in order, and the book's own full-text index
// answering as the scan does.
#include "BookTestSupport.h"

#include <PageText.h>
#include <ReadAhead.h>
#include <Search.h>

using namespace booktest;

namespace {

SearchOptions Scan()
{
    SearchOptions options;
    options.scanOnly = true;
    return options;
}

// "hits|title|path" of each page found, in order.
std::vector<std::string> Lines(const SearchResult& result)
{
    std::vector<std::string> lines;
    for (const SearchHit& hit : result.pages)
        lines.push_back(std::to_string(hit.hits) + "|" + Utf8(hit.title) + "|" + hit.page->path);
    return lines;
}

// "title|path" of each page found, in order: the index counts hits in its own way.
std::vector<std::string> Places(const SearchResult& result)
{
    std::vector<std::string> places;
    for (const SearchHit& hit : result.pages)
        places.push_back(Utf8(hit.title) + "|" + hit.page->path);
    return places;
}

class SearchTest : public ScratchTest {
protected:
    void SetUp() override
    {
        ScratchTest::SetUp();
        ASSERT_EQ(book.LoadContents(DeviceTestBook("search").c_str()), 1);
    }

    std::vector<std::string> Find(const std::vector<std::u16string>& words, const SearchOptions& options = Scan())
    {
        return Lines(SearchBook(book, words, options));
    }

    Book book;
};

TEST_F(SearchTest, PagesAreReadAsABrowserShowsThem)
{
    const struct {
        std::vector<std::u16string> words;
        std::vector<std::string> found;
    } cases[] = {
        // Inline tags join a word, block tags part it (blocks.htm has "wo"
        // and "rd" in every kind); scripts, styles, comments and attributes
        // are no text.
        {{u"word"}, {"3|Inline tags|/inline.htm"}},
        {{u"tag", u"apart"}, {"2|Block tags|/blocks.htm"}},
        // References are decoded; what only looks like one stays text.
        {{u"dog"}, {"2|References|/refs.htm"}},
        {{u"café", u"Jerry"}, {"2|References|/refs.htm"}},
        {{u"bold", u"bogus"}, {"2|References|/refs.htm"}},
        // Case folding beyond ASCII, final sigma included.
        {{u"ÄRGER"}, {"3|Letter cases|/cases.htm"}},
        {{u"σοφία", u"ΛΌΓΟΣ"}, {"4|Letter cases|/cases.htm"}},
        // A CJK word inside runs, across a wrapped line and an inline tag,
        // but not across other text or a block.
        {{u"压缩"}, {"3|Chinese|/cjk.htm"}},
        {{u"7-Zip"}, {"2|Chinese|/cjk.htm"}},
        // Apostrophes drop out of words; words begun with a digit keep their dots.
        {{u"what's"}, {"3|Words|/words.htm"}},
        {{u"1.0.2", u"2.gz", u"txt", u"snake_case"}, {"4|Words|/words.htm"}},
        // Ties in contents order, then pages outside it, titled by their own title.
        {{u"tie"}, {"1|Tie, first in the contents|/tie-b.htm", "1|Tie, second|/tie-a.htm",
                    "1|Hidden gem & more|/hidden.htm"}},
        {{u"tie", u"nowhere"}, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Find(c.words), c.found) << Utf8(c.words[0]);
}

TEST_F(SearchTest, TitlesOnlyMatchTheTitlesShown)
{
    SearchOptions titles = Scan();
    titles.titlesOnly = true;
    // The contents' titles, not the pages' own ("Inline", "Blocks").
    EXPECT_EQ(Find({u"tags"}, titles), (std::vector<std::string>{"1|Inline tags|/inline.htm", "1|Block tags|/blocks.htm"}));
    EXPECT_EQ(Find({u"GEM"}, titles), std::vector<std::string>{"1|Hidden gem & more|/hidden.htm"});
    EXPECT_EQ(Find({u"word"}, titles), std::vector<std::string>{});
    titles.scanOnly = false;
    EXPECT_EQ(Find({u"gem"}, titles), std::vector<std::string>{"1|Hidden gem & more|/hidden.htm"});
}

// chmcmd indexes the book's text in its own way (it breaks words at every
// tag and reference): where it holds a word, it answers with the pages the
// scan finds; where it does not, or cannot (a CJK run), the scan answers.
TEST_F(SearchTest, TheBooksIndexFindsThePagesTheScanFinds)
{
    for (const std::vector<std::u16string>& words : std::vector<std::vector<std::u16string>>{
             {u"tie"}, {u"Apart"}, {u"jerry", u"tom"}, {u"version"}, {u"word"}, {u"a", u"tie"}}) {
        SearchResult index = SearchBook(book, words, {}), scan = SearchBook(book, words, Scan());
        EXPECT_TRUE(index.throughIndex) << Utf8(words[0]);
        EXPECT_FALSE(scan.throughIndex);
        EXPECT_EQ(Places(index), Places(scan)) << Utf8(words[0]);
        EXPECT_FALSE(index.pages.empty());
    }
    for (const std::vector<std::u16string>& words :
         std::vector<std::vector<std::u16string>>{{u"压缩"}, {u"dog"}, {u"tie", u"café"}, {u"absent"}}) {
        SearchResult result = SearchBook(book, words, {});
        EXPECT_FALSE(result.throughIndex) << Utf8(words[0]);
        EXPECT_EQ(Lines(result), Find(words)) << Utf8(words[0]);
    }
}

// A page is read to its end, however long, once every word has been found.
TEST(ScanTest, ALongPageIsCountedToItsEnd)
{
    Book book;
    ASSERT_EQ(book.LoadContents(DeviceTestBook("zeros").c_str()), 1);
    EXPECT_EQ(Lines(SearchBook(book, {u"needle"}, Scan())), std::vector<std::string>{"2|long|/long.htm"});
}

TEST_F(SearchTest, WordsWithNothingToFindAreRefused)
{
    EXPECT_EQ(SearchBook(book, {u"...", u"&&"}, {}).status, SearchStatus::kNothingToFind);
    EXPECT_EQ(SearchBook(book, {u"tie", std::u16string(kMaxWordUnits + 1, u'a')}, {}).status,
              SearchStatus::kWordTooLong);
    EXPECT_EQ(SearchBook(book, {std::u16string(kMaxWordUnits, u'a')}, {}).status, SearchStatus::kDone);
}

// The scanner keeps its place from one piece of a page to the next: a page
// cut anywhere, inside a tag, a reference or a surrogate pair, reads the same.
TEST(TermCounterTest, APageCutAnywhereReadsTheSame)
{
    const std::u16string page =
        u"<html><head><title>T &amp;\n t</title><script>s = \"</scr\" + \"ipt>word\";</script></head>"
        u"<body>w<b>or</b>d &#119;ord &#X77;ord wo&shy;rd <!-- word --> \U0001F600word "
        u"<a title='>word'>x</a>压<i>缩</i> 压\n缩</body>";
    std::vector<SearchTerm> terms;
    ASSERT_TRUE(ParseSearchWords({u"word", u"压缩"}, &terms));
    TermCounter counter(terms);
    counter.Feed(page.data(), page.size());
    counter.End();
    EXPECT_EQ(counter.Hits(), 7u);
    EXPECT_EQ(Utf8(counter.Title()), "T & t");
    for (size_t cut = 0; cut <= page.size(); ++cut) {
        counter.Reset();
        counter.Feed(page.data(), cut);
        counter.Feed(page.data() + cut, page.size() - cut);
        counter.End();
        ASSERT_EQ(counter.Hits(), 7u) << cut;
        ASSERT_EQ(Utf8(counter.Title()), "T & t") << cut;
    }
}

// The scan and the export read objects ahead on a thread of its own: each
// object comes in order, as its own reader gives it as text or whole,
// whether the one before it was read to its end, in part or not at all (a
// large book's many pages, a contents file of many pieces, texts that end at
// a zero byte long before the object does), and the read-ahead may end while
// its thread waits with the queue full.
TEST(ReadAheadTest, GivesEachObjectAsItsReaderDoes)
{
    auto bytesOf = [](ByteSource& source, size_t most) {
        std::string bytes;
        BYTE piece[4099];
        while (!source.Done() && bytes.size() < most)
            bytes.append((const char*)piece, source.Next(piece, std::min(sizeof piece, most - bytes.size())));
        return bytes;
    };
    for (const char* name : {"large", "one-title", "zeros"}) {
        Book book;
        ASSERT_EQ(book.LoadContents(DeviceTestBook(name).c_str()), 1);
        std::vector<const ObjectEntry*> objects = book.AllObjects();
        // Read first, while the container is this thread's alone: as text,
        // and whole.
        std::vector<std::string> text, whole;
        for (const ObjectEntry* object : objects) {
            std::optional<ObjectReader> reader = book.ReaderFor(*object);
            ASSERT_TRUE(reader);
            text.push_back(bytesOf(*reader, SIZE_MAX));
            whole.emplace_back(reader->Length(), '\0');
            ASSERT_EQ(reader->ReadAt(0, (BYTE*)whole.back().data(), whole.back().size()), whole.back().size());
        }
        for (size_t shift = 0; shift < 4; ++shift) {
            ReadAhead ahead(book, objects);
            for (size_t i = 0; i < objects.size(); ++i) {
                ReadAhead::Object* object = ahead.NextObject();
                ASSERT_NE(object, nullptr);
                ASSERT_TRUE(object->Readable());
                size_t way = (i + shift) % 4;
                if (way == 3) {
                    BYTE head[1024];
                    ASSERT_EQ(std::string((const char*)head, object->Head(head, sizeof head)),
                              whole[i].substr(0, sizeof head));
                    std::string bytes;
                    const BYTE* piece;
                    size_t count;
                    while (object->NextPiece(&piece, &count))
                        bytes.append((const char*)piece, count);
                    ASSERT_EQ(bytes, whole[i]) << name << objects[i]->path;
                    EXPECT_FALSE(object->CameShort());
                    continue;
                }
                size_t most = way == 0 ? SIZE_MAX : way == 1 ? 70000 : 0;
                ASSERT_EQ(bytesOf(*object, most), text[i].substr(0, most)) << name << objects[i]->path;
            }
            EXPECT_EQ(ahead.NextObject(), nullptr);
        }
        ReadAhead stoppedEarly(book, objects);
        ASSERT_NE(stoppedEarly.NextObject(), nullptr);
        Sleep(50);
    }
}

}  // namespace
