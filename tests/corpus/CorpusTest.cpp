// Every corpus book, read as the program reads it and checked against 7z.
#include "CorpusSupport.h"

#include <algorithm>
#include <cctype>

using namespace booktest;
using namespace corpustest;
namespace fs = std::filesystem;

namespace {

std::string Lower(std::string text)
{
    for (char& c : text)
        c = (char)tolower((unsigned char)c);
    return text;
}

class CorpusTest : public CorpusBookTest {
protected:
    // 7z's copy of every object, extracted once per test into its own folder.
    const std::map<std::string, std::string>& Reference()
    {
        if (!extracted) {
            reference = ExtractWith7z(path, Scratch() / "7z");
            extracted = true;
        }
        return reference;
    }

    Book book;

private:
    std::map<std::string, std::string> reference;
    bool extracted = false;
};

// Contents load (or are absent), every page extracts, and a sample of pages
// and all their images match 7z's copy of the objects.
TEST_P(CorpusTest, ContentsPagesAndImages)
{
    const CorpusBook& expected = GetParam();
    EXPECT_EQ(book.LoadContents(DevicePath(path).c_str()), expected.hasContents ? 1 : 0);
    EXPECT_EQ(book.contents.size(), expected.entries);
    if (book.chm) {
        EXPECT_EQ(book.codePage ? book.codePage : GetACP(), expected.codePage);
    }
    // The titles are the book's own text: nothing undecodable, and in a book
    // of another script than Latin, its non-ASCII titles show that script
    // (read as 1252, none would).
    bool ownScript = true;
    for (const TocEntry& entry : book.contents) {
        std::u16string title = entry.title;
        EXPECT_EQ(title.find(u'\uFFFD'), std::u16string::npos) << Utf8(title);
        if (expected.codePage != 1252 && std::any_of(title.begin(), title.end(), [](char16_t c) { return c >= 0x80; }))
            ownScript = std::any_of(title.begin(), title.end(), [](char16_t c) { return (c >= 0x400 && c < 0x2000) || c >= 0x3000; });
        if (!ownScript)
            break;
    }
    EXPECT_TRUE(ownScript);

    std::map<std::string, std::string> reference = Reference();
    // Base names of the book's objects (case ignored), to check images against.
    std::multimap<std::string, const std::string*> byBaseName;
    for (const auto& [objectPath, bytes] : reference)
        byBaseName.emplace(Lower(objectPath.substr(objectPath.rfind('/') + 1)), &bytes);

    size_t found = 0, sampled = 0;
    const size_t sampleEvery = std::max<size_t>(1, book.contents.size() / 25);
    for (size_t i = 0; i < book.contents.size(); ++i) {
        const TocEntry& entry = book.contents[i];
        if (!entry.local[0])
            continue;
        book.ClearTempFolder();
        if (!book.ExtractPage(entry.local, u"\\Temp"))
            continue;
        ++found;
        if (i % sampleEvery != 0 || reference.empty())
            continue;
        SCOPED_TRACE(Utf8(entry.local));
        const ObjectEntry* object = book.FindObject(entry.local);
        ASSERT_NE(object, nullptr);
        if (object->path[strlen(object->path) - 1] == '/')
            continue;  // a folder (an empty Local names the root): nothing is written
        auto source = reference.find(object->path);
        ASSERT_NE(source, reference.end()) << "7z has no " << object->path;
        std::u16string local = entry.local;
        std::string pageName = Utf8(local.substr(local.find_last_of(u"/\\") + 1));
        std::map<std::string, std::string> files = ScratchFiles();
        if (pageName.size() > 200)
            continue;  // does not fit "\Temp\" and a name in MAX_PATH: not written
        ASSERT_EQ(files.count(pageName), 1u);
        // The mark of a UTF-8 page is not part of its text; one page of
        // autoit-adfs-zh declares gb2312 where the others declare UTF-8.
        std::string bytes = source->second;
        unsigned pageCodePage = object->path == std::string("/html/ACNfunction_notes.htm") ? 936 : expected.pageCodePage;
        if (bytes.rfind("\xEF\xBB\xBF", 0) == 0)
            bytes.erase(0, 3);
        EXPECT_TRUE(files[pageName] == ExpectedPageFile(bytes, pageCodePage));
        files.erase(pageName);
        for (const auto& [name, bytes] : files) {
            auto [first, last] = byBaseName.equal_range(Lower(name));
            EXPECT_TRUE(std::any_of(first, last, [&](const auto& object) { return *object.second == bytes; }))
                << "image " << name << " is no object of the book";
        }
        ++sampled;
    }
    EXPECT_EQ(found, expected.pagesFound);
    if (!reference.empty() && found > 0) {
        EXPECT_GT(sampled, 0u);
    }
}

// Every object that 7z sees is found by its path and reads as 7z reads it,
// including those that chmlib's enumeration misses.
TEST_P(CorpusTest, EveryObjectIsFoundAndReadAsSevenZipReadsIt)
{
    ASSERT_TRUE(book.Open(DevicePath(path).c_str()) || std::string(GetParam().name) == "truncated-oom");
    const std::map<std::string, std::string>& reference = Reference();
    if (std::string(GetParam().name) == "truncated-oom") {
        EXPECT_TRUE(reference.empty());  // 7z refuses it too
        return;
    }
    ASSERT_FALSE(reference.empty());
    size_t checked = 0;
    for (const auto& [objectPath, bytes] : reference) {
        if (objectPath.size() >= MAX_PATH || objectPath.find("%20") != std::string::npos)
            continue;
        SCOPED_TRACE(objectPath);
        const ObjectEntry* object = book.FindObject(Wide(objectPath).c_str());
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(Lower(object->path), Lower(objectPath));
        ASSERT_EQ(object->length, bytes.size());
        BYTE* read = book.ReadObject(*object);
        ASSERT_NE(read, nullptr);
        EXPECT_TRUE(memcmp(read, bytes.data(), bytes.size()) == 0);
        free(read);
        ++checked;
    }
    EXPECT_GT(checked, 0u);
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusTest, ::testing::ValuesIn(kCorpusBooks, kCorpusBooks + kCorpusBookCount),
                         [](const ::testing::TestParamInfo<CorpusBook>& info) { return ParamName(info.param.name); });

// The three things the corpus shows that users expect to work.
class CorpusPointsTest : public ScratchTest {
protected:
    void SetUp() override
    {
        ScratchTest::SetUp();
        if (!CorpusPresent())
            GTEST_SKIP() << "no corpus at " << LEAFWISE_CORPUS_DIR;
    }
    void Load(const char* name) { ASSERT_EQ(book.LoadContents(DevicePath(CorpusPath(name)).c_str()), 1) << name; }
    size_t PagesFound()
    {
        size_t found = 0;
        for (const TocEntry& entry : book.contents) {
            book.ClearTempFolder();
            found += entry.local[0] && book.ExtractPage(entry.local, u"\\Temp");
        }
        return found;
    }
    Book book;
};

// The Free Pascal writer marks chunk 1 as the first listing chunk; chmlib's
// enumeration then lists 2 of the book's objects. The rest are found through
// chmlib's lookup.
TEST_F(CorpusPointsTest, FpcBookPagesAreFoundThroughChmlib)
{
    std::string path = CorpusPath("fpc-fpdoc");
    ASSERT_EQ(book.LoadContents(DevicePath(path).c_str()), 1);  // no contents file: its pages are listed
    EXPECT_EQ(book.objects.size(), 2u);
    ASSERT_FALSE(book.contents.empty());
    EXPECT_EQ(Utf8(book.contents[0].local), "/fpdoc/fpdoc.html");  // the default topic
    std::map<std::string, std::string> reference = ExtractWith7z(path, Scratch() / "7z");
    size_t pages = 0;
    for (const auto& [objectPath, bytes] : reference) {
        if (objectPath.size() < 5 || objectPath.compare(objectPath.size() - 5, 5, ".html") != 0)
            continue;
        SCOPED_TRACE(objectPath);
        book.ClearTempFolder();
        ASSERT_EQ(book.ExtractPage(Wide(objectPath).c_str(), u"\\Temp"), 1);
        std::string name = objectPath.substr(objectPath.rfind('/') + 1);
        EXPECT_TRUE(ScratchFiles()[name] == ExpectedPageFile(bytes, 1252));
        ++pages;
    }
    EXPECT_GT(pages, 100u);
}

// Every contents entry of pywin32.chm reads mk:@MSITStore:PyWin32.chm::/page.
TEST_F(CorpusPointsTest, PyWin32MsitstoreEntriesResolve)
{
    Load("pywin32");
    ASSERT_EQ(book.contents.size(), 4196u);
    for (const TocEntry& entry : book.contents)
        ASSERT_EQ(Utf8(entry.local).rfind("/mk:@MSITStore:PyWin32.chm::/", 0), 0u) << Utf8(entry.local);
    EXPECT_EQ(PagesFound(), 4187u);  // nine pages are missing from the book itself
    // The three schemes name the same object, in any letter case; the
    // contents' PyWin32.html is stored as /PyWin32.HTML.
    const ObjectEntry* page = book.FindObject(u"/mk:@MSITStore:PyWin32.chm::/PyWin32.html");
    ASSERT_NE(page, nullptr);
    EXPECT_STREQ(page->path, "/PyWin32.HTML");
    EXPECT_EQ(book.FindObject(u"/MS-ITS:PyWin32.chm::/pywin32.html"), page);
    EXPECT_EQ(book.FindObject(u"/its:other.chm::/PYWIN32.HTML"), page);
    EXPECT_EQ(book.FindObject(u"/MK:@msitstore:C:\\Python\\PyWin32.chm::/PyWin32.html"), page);
}

// Page names stored as UTF-8, named in the contents in the book's code page.
TEST_F(CorpusPointsTest, ChineseBookFindsItsPagesInItsCodePage)
{
    Load("pbootcms-tags-zh");
    ASSERT_EQ(book.contents.size(), 32u);
    EXPECT_EQ(PagesFound(), 32u);
    bool chineseTitle = false;
    for (const TocEntry& entry : book.contents)
        chineseTitle |= Utf8(entry.title).find("关于我们") != std::string::npos;
    EXPECT_TRUE(chineseTitle);
}

TEST_F(CorpusPointsTest, RussianBookFindsItsPagesInItsCodePage)
{
    Load("taper-ru-htm2chm");
    ASSERT_EQ(book.contents.size(), 5u);
    EXPECT_EQ(PagesFound(), 5u);
    book.ClearTempFolder();
    ASSERT_EQ(book.ExtractPage(book.contents[1].local, u"\\Temp"), 1);
    bool cyrillicName = false;
    for (const auto& file : ScratchFiles())
        cyrillicName |= file.first.find("\xD0") != std::string::npos;  // UTF-8 of U+0400..U+043F
    EXPECT_TRUE(cyrillicName);
}

}  // namespace
