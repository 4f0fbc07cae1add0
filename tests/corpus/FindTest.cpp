// Searching and exporting the corpus books: the book's own index and the scan
// find the same pages, words of every script are found where 7z's copy of a
// page holds them, and an export holds every object, its pages in UTF-8 with
// the text that iconv reads out of the book's.
#include "CorpusSupport.h"

#include <Export.h>
#include <Search.h>

#include <set>

using namespace booktest;
using namespace corpustest;
namespace fs = std::filesystem;

namespace {

struct Found {
    const char* word;    // as typed
    const char* inText;  // as the page writes it (here and there as references)
    const char* page;    // a page that holds it
};

struct Queries {
    const char* book;
    // Words that the book's index answers, with the pages the scan finds.
    std::vector<std::vector<const char*>> throughIndex;
    std::vector<Found> found;
};

const Queries kQueries[] = {
    {"7zip-help-zh", {}, {{"压缩", "压缩", "/fm/plugins/7-zip/add.htm"}, {"ZIP", "zip", "/general/formats.htm"}}},
    {"autohotkey-ko", {{"send"}, {"window", "title"}}, {{"스크립트", "스크립트", "/docs/Scripts.htm"}}},
    {"autoit-adfs-zh", {}, {{"函数", "函数", "/html/acnfunctions.htm"}}},
    {"ms-htmlhelp-activex-ref", {{"button"}, {"alink"}, {"window", "type"}}, {}},
    {"ms-ime-japanese", {}, {{"変換", "変換", "/glossary_cl.htm"}}},
    {"ms-ime-tradchinese-en", {}, {{"注音", "&#27880;&#38899;", "/Articles/TC/IMEPinyinHanyu.htm"}, {"PHONETIC", "Phonetic", "/Articles/TC/IMEIntroNPH.htm"}}},
    {"pbootcms-tags-zh", {{"pbootcms"}}, {{"标签", "标签", "/留言板.htm"}}},
    {"pychm-example-nb", {{"page"}}, {}},
    {"pywin32", {{"window"}, {"registry"}, {"handle", "window"}}, {}},
    {"sasplanet-ru", {{"sas"}}, {{"КАРТА", "Карта", "/Topic260.htm"}}},
    {"svn-book", {{"commit"}, {"repository"}, {"merge", "branch"}}, {}},
    {"taper-ru-htm2chm", {}, {{"импорт", "Импорт", "/Импорт из WAV.htm"}}},
};

std::vector<std::u16string> Words(const std::vector<const char*>& words)
{
    std::vector<std::u16string> wide;
    for (const char* word : words)
        wide.push_back(Wide(word));
    return wide;
}

std::set<std::string> Paths(const SearchResult& result)
{
    std::set<std::string> paths;
    for (const SearchHit& hit : result.pages)
        paths.insert(hit.page->path);
    return paths;
}

// The code page a page of the book is read in, as CorpusTest has it.
unsigned PageCodePage(const CorpusBook& book, const std::string& path)
{
    return path == "/html/ACNfunction_notes.htm" ? 936 : book.pageCodePage;
}

// UTF-16 text (as ExpectedPageFile gives it) without its mark and its tags.
std::u16string TextOf(const std::string& utf16le)
{
    std::u16string text;
    bool inTag = false;
    for (size_t i = 2; i + 1 < utf16le.size(); i += 2) {
        char16_t c = (unsigned char)utf16le[i] | (unsigned char)utf16le[i + 1] << 8;
        if (c == u'<')
            inTag = true;
        else if (c == u'>' && inTag)
            inTag = false;
        else if (!inTag && c != 0xFEFF)
            text.push_back(c);
    }
    return text;
}

std::string PercentDecoded(const std::string& link)
{
    std::string path;
    for (size_t i = 0; i < link.size(); ++i) {
        if (link[i] == '%' && i + 2 < link.size()) {
            path += (char)std::stoi(link.substr(i + 1, 2), nullptr, 16);
            i += 2;
        } else {
            path += link[i];
        }
    }
    return path;
}

// A result's titles and order as the contents give them, every entry looked
// up: each page that a contents entry names has the first such entry's
// title, when it has one, and pages of as many hits come in contents order.
void ExpectContentsTitlesAndOrder(Book& book, const SearchResult& result, const char* word)
{
    std::map<const ObjectEntry*, size_t> first;
    for (size_t i = 0; i < book.contents.size(); ++i) {
        if (const ObjectEntry* page = book.contents[i].local[0] ? book.FindObject(book.contents[i].local) : nullptr)
            first.emplace(page, i);
    }
    auto place = [&](const ObjectEntry* page) { return first.count(page) ? first[page] : SIZE_MAX; };
    for (size_t i = 0; i < result.pages.size(); ++i) {
        const SearchHit& hit = result.pages[i];
        size_t at = place(hit.page);
        if (at != SIZE_MAX && book.contents[at].title[0]) {
            EXPECT_EQ(Utf8(hit.title), Utf8(book.contents[at].title)) << word << " " << hit.page->path;
        }
        if (i > 0 && result.pages[i - 1].hits == hit.hits) {
            EXPECT_LE(place(result.pages[i - 1].page), at) << word << " " << hit.page->path;
        }
    }
}

class FindTest : public CorpusBookTest {
protected:
    void SetUp() override
    {
        CorpusBookTest::SetUp();
        if (!IsSkipped())
            book.LoadContents(DevicePath(path).c_str());
    }

    Book book;
};

TEST_P(FindTest, TheIndexAndTheScanFindTheSamePagesAndEveryScriptIsFound)
{
    const Queries* queries = nullptr;
    for (const Queries& q : kQueries) {
        if (strcmp(q.book, GetParam().name) == 0)
            queries = &q;
    }
    if (!queries)
        GTEST_SKIP() << "no queries for this book";
    SearchOptions scan;
    scan.scanOnly = true;
    for (const std::vector<const char*>& words : queries->throughIndex) {
        SearchResult index = SearchBook(book, Words(words), {});
        EXPECT_TRUE(index.throughIndex) << words[0];
        EXPECT_FALSE(index.pages.empty()) << words[0];
        EXPECT_EQ(Paths(index), Paths(SearchBook(book, Words(words), scan))) << words[0];
        ExpectContentsTitlesAndOrder(book, index, words[0]);
    }
    std::map<std::string, std::string> reference = ExtractWith7z(path, Scratch() / "7z");
    for (const Found& found : queries->found) {
        SearchResult result = SearchBook(book, {Wide(found.word)}, {});
        EXPECT_EQ(Paths(result).count(found.page), 1u) << found.word;
        // 7z's copy of the page, read by iconv, holds the word.
        std::string page = ExpectedPageFile(reference[found.page], PageCodePage(GetParam(), found.page));
        std::u16string inText = Wide(found.inText);
        EXPECT_NE(TextOf(page).find(inText), std::u16string::npos) << found.word;
    }
}

TEST_P(FindTest, EveryObjectIsExportedAndEveryPageIsUtf8WithTheSameText)
{
    if (!book.chm) {
        EXPECT_FALSE(GetParam().hasContents);
        return;  // truncated-oom: the tool refuses it before an export begins
    }
    ExportReport report = ExportBook(book, u"\\Temp\\export");
    ASSERT_EQ(report.error, (DWORD)ERROR_SUCCESS) << Utf8(report.failedName);
    EXPECT_EQ(report.unreadable, 0u) << report.firstUnreadable;
    fs::path folder = Scratch() / "export";
    std::set<std::string> exported;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file())
            exported.insert("/" + fs::relative(entry.path(), folder).string());
    }
    std::map<std::string, std::string> reference = ExtractWith7z(path, Scratch() / "7z");
    std::set<std::string> expected = {"/" + Utf8(report.contentsPage)};
    for (const auto& [objectPath, bytes] : reference) {
        if (objectPath[1] != '#' && objectPath[1] != '$')
            expected.insert(objectPath);
    }
    EXPECT_EQ(exported, expected);

    for (const auto& [objectPath, bytes] : reference) {
        if (!exported.count(objectPath))
            continue;
        std::string written = ReadBytes(folder / objectPath.substr(1));
        if (!IsPagePath(objectPath.c_str())) {
            EXPECT_TRUE(written == bytes) << objectPath;
            continue;
        }
        EXPECT_GT(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, written.data(), (int)written.size(), nullptr, 0) +
                      written.empty(),
                  0)
            << objectPath << " is not UTF-8";
        std::string source = bytes;
        if (source.rfind("\xEF\xBB\xBF", 0) == 0)
            source.erase(0, 3);
        EXPECT_TRUE(TextOf(ExpectedPageFile(written, 65001)) ==
                    TextOf(ExpectedPageFile(source, PageCodePage(GetParam(), objectPath))))
            << objectPath;
    }

    // Every link of the contents page leads to a file of the export.
    std::string contents = ReadBytes(folder / Utf8(report.contentsPage));
    size_t links = 0;
    for (size_t at = contents.find("href=\""); at != std::string::npos; at = contents.find("href=\"", at + 1)) {
        std::string link = contents.substr(at + 6, contents.find('"', at + 6) - at - 6);
        link = PercentDecoded(link.substr(0, link.find('#')));
        EXPECT_TRUE(fs::is_regular_file(folder / link)) << link;
        ++links;
    }
    EXPECT_GE(links, std::min<size_t>(GetParam().pagesFound, 1));
}

INSTANTIATE_TEST_SUITE_P(Corpus, FindTest, ::testing::ValuesIn(kCorpusBooks, kCorpusBooks + kCorpusBookCount),
                         [](const ::testing::TestParamInfo<CorpusBook>& info) { return ParamName(info.param.name); });

}  // namespace
