// Pages and images written into the scratch folder, driven as the contents
// window drives the book: ClearTempFolder, then ExtractPage into "\Temp".
#include "BookTestSupport.h"

using namespace booktest;
namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;
using ::testing::UnorderedElementsAre;

namespace {

// The source of an object of a test book, as kept in tests/books.
std::string SourceOf(const std::string& book, const std::string& path)
{
    return ReadBytes(fs::path(LEAFWISE_BOOK_SOURCES) / book / path);
}

std::string Gif(const std::string& text) { return "GIF89a " + text + std::string("\0\xff\x01", 3); }

class ExtractTest : public ScratchTest {
protected:
    void Open(const std::string& name) { ASSERT_TRUE(book.Open(DeviceTestBook(name).c_str())) << name; }
    // Extracts as the windows do and returns ExtractPage's result.
    int Show(const std::u16string& page)
    {
        book.ClearTempFolder();
        return book.ExtractPage(page.c_str(), u"\\Temp");
    }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const auto& file : ScratchFiles())
            names.push_back(file.first);
        return names;
    }
    Book book;
};

TEST_F(ExtractTest, APageIsWrittenAsUtf16WithAByteOrderMarkUnderItsBaseName)
{
    Open("local-forms");
    ASSERT_EQ(Show(u"/html/sub/deep.htm"), 1);
    std::string source = SourceOf("local-forms", "html/sub/deep.htm");
    auto files = ScratchFiles();
    ASSERT_EQ(files.count("deep.htm"), 1u);
    EXPECT_EQ(files["deep.htm"], ExpectedPageFile(source, 1252));
    EXPECT_EQ(files["deep.htm"].size(), 2 + 2 * source.size());
}

// Each contents entry of local-forms, and what it finds (the page's text
// names it) or that it finds nothing.
TEST_F(ExtractTest, LookupsReduceBookSchemesParentsAndFallBackToHtml)
{
    ASSERT_EQ(book.LoadContents(DeviceTestBook("local-forms").c_str()), 1);
    const std::map<std::string, std::string> found = {
        {"ms-its", "top page"},
        {"ms-its lower case", "top page"},
        {"msitstore", "top page"},
        {"its", "top page"},
        {"ms-its without slash", "top page"},
        {"ms-its deeper", "sub page"},
        {"parent", "top page"},
        {"parent then ms-its", "sub page"},
        {"under html", "inner page"},
        {"under html deeper", "deep page"},
        {"html written out", "inner page"},
        {"other case", "top page"},
        {"escaped space", "spaced name"},
        {"plain space", "spaced name"},
        {"with fragment", "top page"},
        {"sub with fragment", "sub page"},
    };
    const std::vector<std::string> notFound = {"ms-its without separator", "parent twice", "leading slash", "missing"};
    size_t checked = 0;
    for (const TocEntry& entry : book.contents) {
        std::string name = Utf8(entry.title);
        SCOPED_TRACE(name + " -> " + Utf8(entry.local));
        int result = Show(entry.local);
        auto files = ScratchFiles();
        if (auto it = found.find(name); it != found.end()) {
            EXPECT_EQ(result, 1);
            ASSERT_EQ(files.size(), 1u);
            // The page's file keeps the base name of the path as given.
            std::u16string local = entry.local;
            EXPECT_EQ(files.begin()->first, Utf8(local.substr(local.rfind(u'/') + 1)));
            EXPECT_EQ(files.begin()->second.substr(0, 2), "\xFF\xFE");
            std::string text;
            for (size_t i = 2; i + 1 < files.begin()->second.size(); i += 2)
                text += files.begin()->second[i];
            EXPECT_NE(text.find(it->second), std::string::npos) << text;
            ++checked;
        } else if (std::find(notFound.begin(), notFound.end(), name) != notFound.end()) {
            EXPECT_EQ(result, 0);
            EXPECT_THAT(files, IsEmpty());
            ++checked;
        } else {
            // "folder" and "empty" name directory objects: found, but their
            // empty base name writes nothing.
            EXPECT_EQ(result, 1);
            EXPECT_THAT(files, IsEmpty());
            ++checked;
        }
    }
    EXPECT_EQ(checked, found.size() + notFound.size() + 2);
}

TEST_F(ExtractTest, ImagesAreFoundByTheirSrcValueRelativeToThePage)
{
    Open("images");
    ASSERT_EQ(Show(u"/html/a.htm"), 1);
    auto files = ScratchFiles();
    EXPECT_EQ(files["a.htm"], ExpectedPageFile(SourceOf("images", "html/a.htm"), 1252));
    files.erase("a.htm");
    EXPECT_THAT(files, UnorderedElementsAre(
                           Pair("b.gif", Gif("html/b")),            // b.gif
                           Pair("c.gif", Gif("img/c")),             // ../img/c.gif
                           Pair("d.gif", Gif("html/d")),            // ./d.gif
                           Pair("e.gif", Gif("pics/e")),            // /pics/e.gif
                           Pair("f.gif", Gif("top/f")),             // ../../f.gif stops at the top
                           Pair("my pic.gif", Gif("html/my pic")),  // my%20pic.gif
                           Pair("g.gif", Gif("html/g")),            // <IMG
                           Pair("h.gif", Gif("html/h")),            // SRC=
                           Pair("i.gif", Gif("html/i")),            // src='i.gif'
                           Pair("j.gif", Gif("html/j")),            // src=j.gif alt="k.gif"
                           Pair("same.gif", Gif("img/same")),       // two of one base name: the last
                           Pair("l.gif", Gif("html/l")),            // a tag of 256 characters
                           Pair("m.gif", Gif("html/m")),            // and of 255
                           Pair("q.gif", Gif("html/q")),            // after title="src"
                           Pair("UPPER.gif", Gif("html/Upper")),    // case ignored, named as written
                           Pair("o.gif", Gif("html/dir/o"))));
    // Not written: a missing image, an empty src, a tag that never ends.
}

TEST_F(ExtractTest, AtTheTopOfTheBookParentFoldersStayAtTheTop)
{
    Open("images");
    ASSERT_EQ(Show(u"/top.htm"), 1);
    auto files = ScratchFiles();
    files.erase("top.htm");
    EXPECT_THAT(files, UnorderedElementsAre(Pair("b.gif", Gif("top/b")), Pair("f.gif", Gif("top/f")),
                                            Pair("e.gif", Gif("pics/e"))));
}

// The index answers as a walk of the list would, whatever the letter case
// (every letter, to the last of the alphabet) and however full its table.
TEST(ObjectIndexTest, FindsTheFirstOfAPathInAnyCaseAndMissesCleanly)
{
    std::vector<std::string> names = {"/Z.htm", "/Zebra/ABCDEFGHIJKLMNOPQRSTUVWXYZ.htm", "/z.htm"};
    for (int i = 0; names.size() < 16; ++i)  // a table of at least twice as many slots
        names.push_back("/page" + std::to_string(i) + ".htm");
    struct Named {
        const char* path;
    };
    std::vector<Named> objects;
    for (const std::string& name : names)
        objects.push_back({name.c_str()});
    ObjectIndex index;
    index.Build(objects);
    EXPECT_EQ(index.Find("/z.htm"), 0u);
    EXPECT_EQ(index.Find("/Z.HTM"), 0u);
    EXPECT_EQ(index.Find("/zebra/abcdefghijklmnopqrstuvwxyz.htm"), 1u);
    EXPECT_EQ(index.Find("/page12.htm"), 15u);
    EXPECT_EQ(index.Find("/missing.htm"), ObjectIndex::kNone);
    EXPECT_EQ(index.Find("/page12.htm2"), ObjectIndex::kNone);
}

// One table for both sides of a picture: the page writer resolves an img
// src (spaces decoded as it reads the tag) to the object it writes and names
// the file; the page window, told the src as written, names the file it opens.
// A link written the same way resolves from the page's folder to the same path.
TEST_F(ExtractTest, ThePageWriterAndThePageWindowNameAndResolveAlike)
{
    struct Row {
        const char16_t* page;
        const char16_t* src;
        const char16_t* object;
        const char16_t* scratchName;
    } rows[] = {
        {u"/html/a.htm", u"b.gif", u"/html/b.gif", u"b.gif"},
        {u"/html/a.htm", u"../img/b.gif", u"/img/b.gif", u"b.gif"},
        {u"/html/a.htm", u"./b.gif", u"/html/b.gif", u"b.gif"},
        {u"/html/a.htm", u"/pics/b.gif", u"/pics/b.gif", u"b.gif"},
        {u"/html/a.htm", u"../../b.gif", u"/b.gif", u"b.gif"},
        {u"/html/a.htm", u"./../b.gif", u"/html/../b.gif", u"b.gif"},  // only the one "./" goes
        {u"/html/a.htm", u".b.gif", u"/html/.b.gif", u".b.gif"},
        {u"/html/a.htm", u"my%20pic.gif", u"/html/my pic.gif", u"my pic.gif"},
        {u"/html/a.htm", u"../my%20pics/a%20b.gif", u"/my pics/a b.gif", u"a b.gif"},
        {u"/html/a.htm", u"%2520.gif", u"/html/%2520.gif", u"%2520.gif"},  // no other escape
        {u"/html/a.htm", u"sub\\b.gif", u"/html/sub\\b.gif", u"b.gif"},    // a backslash ends a folder too
        {u"a.htm", u"b.gif", u"a.htm/b.gif", u"b.gif"},                       // no "/": the page path is the base
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(Utf8(row.page) + " + " + Utf8(row.src));
        WCHAR decoded[MAX_PATH], object[MAX_PATH], written[MAX_PATH], opened[MAX_PATH];
        ASSERT_TRUE(SUCCEEDED(StringCchCopyW(decoded, MAX_PATH, row.src)));
        DecodeSpaces(decoded);
        ASSERT_TRUE(ResolveImagePath(row.page, decoded, object, MAX_PATH));
        EXPECT_EQ(std::u16string(object), row.object);
        ASSERT_TRUE(ImageScratchName(object, written, MAX_PATH));
        ASSERT_TRUE(ImageScratchName(row.src, opened, MAX_PATH));
        EXPECT_EQ(std::u16string(written), row.scratchName) << "the writer's name";
        EXPECT_EQ(std::u16string(opened), row.scratchName) << "the page window's name";

        std::u16string folder = row.page;
        folder.resize(folder.find_last_of(u'/') == std::u16string::npos ? folder.size() : folder.find_last_of(u'/'));
        WCHAR link[MAX_PATH];
        ASSERT_TRUE(ResolveBookPath(folder.c_str(), decoded, link, MAX_PATH));
        EXPECT_EQ(std::u16string(link), row.object) << "a link";
    }
    // A joined path that does not fit is refused, not cut.
    WCHAR out[MAX_PATH];
    std::u16string longValue(MAX_PATH, u'x');
    EXPECT_FALSE(ResolveImagePath(u"/html/a.htm", longValue.c_str(), out, MAX_PATH));
    EXPECT_FALSE(ResolveBookPath(u"/html", longValue.c_str(), out, MAX_PATH));
    EXPECT_FALSE(ImageScratchName(longValue.c_str(), out, MAX_PATH));
}

TEST_F(ExtractTest, EmptyObjectsAndZeroBytes)
{
    Open("objects");
    // An empty page: the byte-order mark alone.
    ASSERT_EQ(Show(u"/empty.htm"), 1);
    EXPECT_THAT(ScratchFiles(), ElementsAre(Pair("empty.htm", std::string("\xFF\xFE"))));
    // A zero byte ends the text: the image named after it is not seen.
    ASSERT_EQ(Show(u"/zero.htm"), 1);
    auto files = ScratchFiles();
    EXPECT_EQ(files["zero.htm"], ExpectedPageFile(SourceOf("objects", "zero.htm"), 1252));
    EXPECT_EQ(files["zero.htm"].find(std::string("a\0f\0t\0e\0r\0", 10)), std::string::npos);
    EXPECT_EQ(files.count("before.gif"), 1u);
    EXPECT_EQ(files.count("after.gif"), 0u);

    ASSERT_NE(book.FindObject(u"/empty.gif"), nullptr);
    BYTE* bytes = book.ReadObject(*book.FindObject(u"/empty.gif"));
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(std::string((char*)bytes, 10), std::string(10, '\0'));
    free(bytes);
    WCHAR* text = book.ReadObjectText(*book.FindObject(u"/empty.htm"));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text[0], 0);
    free(text);
}

TEST_F(ExtractTest, PathsAtAndPastTheLengthOfARecord)
{
    Open("objects");
    std::string name = std::string(251, 'p') + ".htm";
    std::string at259 = "/dd/" + name, at260 = "/ddd/" + name;
    bool listed259 = false, listed260 = false;
    for (const ObjectEntry& entry : book.objects) {
        EXPECT_LT(strlen(entry.path), (size_t)MAX_PATH);
        listed259 |= at259 == entry.path;
        listed260 |= at260 == entry.path;
    }
    EXPECT_TRUE(listed259);
    EXPECT_FALSE(listed260);  // left out rather than cut
    EXPECT_NE(book.FindObject(Wide(at259).c_str()), nullptr);
    EXPECT_EQ(book.FindObject(Wide(at260).c_str()), nullptr);
    EXPECT_EQ(book.FindObject(Wide("/ddd/" + name + name).c_str()), nullptr);

    // Found, but "\Temp\" and a 255-character name do not fit a file name:
    // nothing is written, and the page still counts as found.
    EXPECT_EQ(Show(Wide(at259)), 1);
    EXPECT_THAT(ScratchFiles(), IsEmpty());
    // The same for an image of such a name; the empty image is written empty.
    ASSERT_EQ(Show(u"/images.htm"), 1);
    EXPECT_THAT(Names(), ElementsAre("empty.gif", "images.htm"));
    EXPECT_EQ(ScratchFiles()["empty.gif"], "");
}

TEST_F(ExtractTest, ExtractObjectWritesTheBytesUnchanged)
{
    Open("images");
    EXPECT_EQ(book.ExtractObject(u"/html/my%20pic.gif", u"\\Temp"), 1);
    EXPECT_EQ(book.ExtractObject(u"/html/nothere.gif", u"\\Temp"), 0);
    EXPECT_THAT(ScratchFiles(), ElementsAre(Pair("my%20pic.gif", Gif("html/my pic"))));
    // A missing folder: found, nothing written.
    EXPECT_EQ(book.ExtractObject(u"/html/b.gif", u"\\Temp\\nowhere"), 1);
    EXPECT_EQ(book.ExtractPage(u"/html/a.htm", u"\\Temp\\nowhere"), 1);
    EXPECT_FALSE(fs::exists(Scratch() / "nowhere"));
}

TEST_F(ExtractTest, NothingIsFoundInAClosedBook)
{
    EXPECT_EQ(book.FindObject(u"/a.htm"), nullptr);
    EXPECT_EQ(Show(u"/a.htm"), 0);
    Open("images");
    book.Close();
    EXPECT_EQ(Show(u"/html/a.htm"), 0);
    EXPECT_THAT(ScratchFiles(), IsEmpty());
}

TEST_F(ExtractTest, HostileLookupPathsFindNothingAndWriteNothingOutside)
{
    Open("images");
    std::u16string tooLong = u"/" + std::u16string(300, u'a');
    std::u16string wideTooLong = u"/" + std::u16string(100, u'\u4e2d');  // 300 bytes in UTF-8
    std::u16string noRoomForSlash(259, u'a');  // fits the lookup, but not with a "/" in front
    for (const std::u16string& path : {tooLong, wideTooLong, noRoomForSlash, std::u16string(u"/../../../../etc/passwd"),
                                       std::u16string(u"\\..\\..\\x.htm"), std::u16string(u"/."), std::u16string(u"#top")}) {
        EXPECT_EQ(book.FindObject(path.c_str()), nullptr) << Utf8(path);
        EXPECT_EQ(Show(path), 0);
    }
    EXPECT_EQ(book.FindObject(nullptr), nullptr);
    // "/.." reduces to "/", the book's root folder: found, and its empty base
    // name writes nothing; neither does a ".." base name.
    EXPECT_EQ(Show(u"/.."), 1);
    EXPECT_EQ(book.ExtractObject(u"/html/..", u"\\Temp"), 0);
    EXPECT_THAT(ScratchFiles(), IsEmpty());
}

// chmcmd marks the second directory chunk as the first, so chmlib's
// enumeration misses every object of the first; they are found through
// chmlib's own lookup.
TEST_F(ExtractTest, ALargeChmcmdBookFindsWhatTheEnumerationMissed)
{
    Open("large");
    size_t pagesListed = 0;
    for (const ObjectEntry& entry : book.objects)
        pagesListed += strncmp(entry.path, "/section", 8) == 0 && strstr(entry.path, ".htm");
    ASSERT_LT(pagesListed, 3000u) << "the book no longer shows the listing fault";
    for (int section = 0; section < 30; section += 7) {
        for (int page = 0; page < 100; page += 13) {
            std::string path = "/section" + std::to_string(section) + "/page" + std::to_string(page) + ".htm";
            SCOPED_TRACE(path);
            ASSERT_EQ(Show(Wide(path)), 1);
            int image = (section * 100 + page) % 20;
            std::string gif = "picture" + std::to_string(image) + ".gif";
            auto files = ScratchFiles();
            EXPECT_EQ(files.size(), 2u);
            EXPECT_EQ(files["page" + std::to_string(page) + ".htm"],
                      ExpectedPageFile("<html><body><h1>Section " + std::to_string(section) + ", page " +
                                           std::to_string(page) + "</h1><img src=\"../img/" + gif +
                                           "\"></body></html>\n",
                                       1252));
            EXPECT_EQ(files[gif], "GIF89a picture " + std::to_string(image));
        }
    }
    // A lookup through chmlib is remembered, and returns the same entry again.
    const ObjectEntry* first = book.FindObject(u"/img/picture3.gif");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(book.FindObject(u"/IMG/Picture3.GIF"), first);
    EXPECT_EQ(book.FindObject(u"/img/picture99.gif"), nullptr);
}

TEST_F(ExtractTest, ALargeChmcmdBookLoadsItsContents)
{
    // Its contents file, large.HHC, lies in the directory chunk that the
    // enumeration skips; #SYSTEM names it.
    ASSERT_EQ(book.LoadContents(DeviceTestBook("large").c_str()), 1);
    ASSERT_EQ(book.contents.size(), 30u + 3000u);
    EXPECT_EQ(Entries(book)[0], "1|Section 0|");
    EXPECT_EQ(Entries(book)[1], "2|Page 0.0|/section0/page0.htm");
    EXPECT_EQ(Entries(book).back(), "2|Page 29.99|/section29/page99.htm");
}

// Bounds: one page naming one image many times writes it once; the page's
// byte budget skips an image that does not fit and still writes what does.
TEST_F(ExtractTest, EachObjectIsWrittenOnceAndTheBudgetSkipsWhatDoesNotFit)
{
    Open("repeats");
    ASSERT_EQ(Show(u"/page.htm"), 1);
    // The page, a.gif once for its 101 tags, pics/a.gif under the same name
    // (a different object: it replaces it), big.gif and small.gif.
    EXPECT_EQ(book.extractReport.filesWritten, 5);
    EXPECT_EQ(book.extractReport.error, (DWORD)ERROR_SUCCESS);
    auto files = ScratchFiles();
    EXPECT_EQ(files["a.gif"], SourceOf("repeats", "pics/a.gif"));
    EXPECT_EQ(files["big.gif"], SourceOf("repeats", "big.gif"));

    book.pageByteLimit = files["page.htm"].size() + 100;
    ASSERT_EQ(Show(u"/page.htm"), 1);
    EXPECT_EQ(book.extractReport.imagesSkipped, 1);
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.gif", "page.htm", "small.gif"}));
}

}  // namespace
