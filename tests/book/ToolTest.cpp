// leafwise-book run as a process: its output, exit status and messages.
#include "BookTestSupport.h"

#include <fstream>

using namespace booktest;
namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace {

class ToolTest : public ScratchTest {};

int CountLines(const std::string& text) { return (int)std::count(text.begin(), text.end(), '\n'); }

TEST_F(ToolTest, ObjectsListsPathLengthSectionAndStart)
{
    RunResult result = RunTool({"objects", TestBookHostPath("two-hhc")});
    EXPECT_EQ(result.status, 0);
    EXPECT_THAT(result.err, IsEmpty());
    EXPECT_THAT(result.out, HasSubstr("/a.htm\t28\t1\t"));
    EXPECT_THAT(result.out, HasSubstr("/Extra.hhc\t"));
    // In directory order: Extra.hhc before Main.hhc.
    EXPECT_LT(result.out.find("/Extra.hhc\t"), result.out.find("/Main.hhc\t"));
    Book book;
    ASSERT_TRUE(book.Open(DeviceTestBook("two-hhc").c_str()));
    EXPECT_EQ(CountLines(result.out), (int)book.objects.size());
}

TEST_F(ToolTest, ContentsEscapesTheSeparatorsInsideFields)
{
    RunResult result = RunTool({"contents", TestBookHostPath("titles")});
    EXPECT_EQ(result.status, 0);
    EXPECT_THAT(result.out, HasSubstr("1\tTab\\there,\\r back\\\\slash\t/a.htm\n"));
    EXPECT_THAT(result.out, HasSubstr("0\tUnclosed\t/a.htm\\n\n"));
    EXPECT_EQ(CountLines(result.out), 9);
}

TEST_F(ToolTest, ContentsOfABookWithoutContentsFileListItsPages)
{
    RunResult result = RunTool({"contents", TestBookHostPath("pages-only")});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out.substr(0, result.out.find('\n')), "1\tSecond\t/second.htm");
    EXPECT_EQ(CountLines(result.out), 4);
    EXPECT_THAT(result.err, IsEmpty());
}

// A folder named on the command line may hold the user's files: it is
// created when missing and written when empty, and emptied only on request.
TEST_F(ToolTest, ExtractCreatesAMissingFolderAndRefusesAFullOneUnlessCleared)
{
    const std::string images = TestBookHostPath("images");
    fs::path folder = Scratch() / "out";
    RunResult result = RunTool({"extract", images, "/top.htm", folder.string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "b.gif\ne.gif\nf.gif\ntop.htm\n");

    fs::create_directories(folder / "sub");
    std::ofstream(folder / "stale.htm") << "old";
    result = RunTool({"extract", images, "/html/a.htm", folder.string()});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(CountLines(result.err), 1);
    EXPECT_THAT(result.err, HasSubstr(folder.string()));
    EXPECT_TRUE(fs::exists(folder / "stale.htm") && fs::exists(folder / "top.htm"));

    result = RunTool({"extract", "--clear", images, "/html/a.htm", folder.string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_FALSE(fs::exists(folder / "stale.htm") || fs::exists(folder / "top.htm"));
    EXPECT_TRUE(fs::exists(folder / "sub") && fs::exists(folder / "a.htm"));

    // "." is refused like any folder that holds something.
    fs::path here = fs::current_path();
    fs::current_path(folder);
    result = RunTool({"extract", images, "/top.htm", "."});
    fs::current_path(here);
    EXPECT_EQ(result.status, 2);
    EXPECT_FALSE(fs::exists(folder / "top.htm"));

    // Only one level is created.
    result = RunTool({"extract", images, "/top.htm", (Scratch() / "a" / "b").string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_FALSE(fs::exists(Scratch() / "a"));

    // Without a folder: the scratch folder, emptied first.
    std::ofstream(Scratch() / "old.htm") << "old";
    result = RunTool({"extract", images, "/html/a.htm"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_THAT(result.out, HasSubstr("my pic.gif\n"));
    EXPECT_TRUE(fs::exists(Scratch() / "a.htm"));
    EXPECT_FALSE(fs::exists(Scratch() / "old.htm"));
}

TEST_F(ToolTest, FailuresNameTheBookOrThePage)
{
    std::string missing = (Scratch() / "missing.chm").string();
    for (const char* command : {"objects", "contents"}) {
        RunResult result = RunTool({command, missing});
        EXPECT_EQ(result.status, 1) << command;
        EXPECT_EQ(CountLines(result.err), 1);
        EXPECT_THAT(result.err, HasSubstr(missing));
        EXPECT_THAT(result.out, IsEmpty());
    }
    RunResult result = RunTool({"extract", TestBookHostPath("images"), "/nothere.htm", Scratch().string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(CountLines(result.err), 1);
    EXPECT_THAT(result.err, HasSubstr("/nothere.htm"));
    EXPECT_THAT(result.out, IsEmpty());
}

TEST_F(ToolTest, UsageErrorsExitWithTwo)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, {"objects"}, {"contents", "a", "b"}, {"extract", "book"}, {"extract", "a", "b", "c", "d"}, {"dump", "x"},
             {"--clear", "contents", "a"}, {"--codepage", "99999", "objects", "a"}, {"--codepage", "x", "objects", "a"},
             {"--verbose", "objects", "a"}}) {
        RunResult result = RunTool(args);
        EXPECT_EQ(result.status, 2);
        EXPECT_THAT(result.err, ::testing::AnyOf(HasSubstr("usage"), HasSubstr("not a code page")));
        EXPECT_THAT(result.out, IsEmpty());
    }
}

// The suite fixes code page 1252; --codepage fixes another for one run.
TEST_F(ToolTest, OutputIsUtf8WhateverTheCodePage)
{
    RunResult result = RunTool({"--codepage", "936", "contents", TestBookHostPath("codepage-936")});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "1\t关于我们\t/关于我们.htm\n1\t标签手册\t/html/标签.htm\n");
    result = RunTool({"contents", TestBookHostPath("codepage-936")});
    EXPECT_NE(result.out, "1\t关于我们\t/关于我们.htm\n1\t标签手册\t/html/标签.htm\n");
    result = RunTool({"--codepage", "1252", "contents", TestBookHostPath("codepage-1252")});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "1\tCafé crème\t/café.htm\n1\t“Quoted” – naïve\t/plain.htm\n1\tPrice €5\t/plain.htm\n");
}

// Links: a link planted in the scratch folder, pointing nowhere or at a file
// of the user's, is removed by the clear or replaced by the write, never
// written through.
TEST_F(ToolTest, ExtractNeverWritesThroughALink)
{
    fs::path outside = Scratch().parent_path() / (Scratch().filename().string() + "-outside");
    fs::create_directories(outside);
    std::ofstream(outside / "victim") << "mine";
    fs::create_symlink(outside / "created", Scratch() / "top.htm");
    fs::create_symlink(outside / "victim", Scratch() / "b.gif");
    RunResult result = RunTool({"extract", TestBookHostPath("images"), "/top.htm"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_FALSE(fs::exists(outside / "created"));
    EXPECT_EQ(ReadBytes(outside / "victim"), "mine");
    EXPECT_FALSE(fs::is_symlink(Scratch() / "top.htm"));
    EXPECT_EQ(ScratchFiles().size(), 4u);
    fs::remove_all(outside);
}

// Failures: each ends with 1 and one line, and leaves no file cut short; a
// page that is not there clears nothing.
TEST_F(ToolTest, ExtractFailuresEndWithOneAndLeaveNothingHalfWritten)
{
    std::ofstream(Scratch() / ".kept") << "x";
    RunResult result = RunTool({"extract", TestBookHostPath("images"), "/typo.htm"});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(fs::exists(Scratch() / ".kept"));

    // The page's name is taken by a folder, which the clear leaves alone.
    fs::create_directory(Scratch() / "top.htm");
    result = RunTool({"extract", TestBookHostPath("images"), "/top.htm"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(CountLines(result.err), 1);
    EXPECT_THAT(result.err, HasSubstr("top.htm"));
    EXPECT_THAT(result.out, IsEmpty());
    fs::remove(Scratch() / "top.htm");

    // A write that runs out of room (here the file size limit, 8 KB): the
    // 10 KB image is not left cut short.
    result = booktest::Run({"/bin/sh", "-c", "trap '' XFSZ; ulimit -f 16; exec \"$0\" \"$@\"", LEAFWISE_BOOK_TOOL, "extract",
                  TestBookHostPath("repeats"), "/page.htm"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(CountLines(result.err), 1);
    EXPECT_THAT(result.err, HasSubstr("big.gif"));
    EXPECT_FALSE(fs::exists(Scratch() / "big.gif"));
    EXPECT_TRUE(fs::exists(Scratch() / "page.htm"));
}

// Private folders and aliases: a scratch folder that is a link, and a folder
// whose device path is the scratch folder's, are refused with one line and
// touch nothing; a host name with a backslash is a folder of its own.
TEST_F(ToolTest, ExtractRefusesFoldersItCannotTrustOrName)
{
    fs::path elsewhere = Scratch().string() + "-elsewhere";
    fs::create_directories(elsewhere / "root/books");
    std::ofstream(elsewhere / "kept") << "x";
    fs::create_directory_symlink(elsewhere, elsewhere / "link");
    RunResult result;
    for (const auto& [temp, reason] : {std::pair<fs::path, std::string>{elsewhere / "link", "it is a link"},
                                       {elsewhere / "missing/temp", "it cannot be made"}}) {
        setenv("LEAFWISE_TEMP", temp.c_str(), 1);
        result = RunTool({"extract", TestBookHostPath("images"), "/top.htm"});
        setenv("LEAFWISE_TEMP", Scratch().c_str(), 1);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(CountLines(result.err), 1) << result.err;
        EXPECT_THAT(result.err, HasSubstr(temp.string() + " is refused: " + reason));
    }
    EXPECT_TRUE(fs::exists(elsewhere / "kept"));

    fs::copy_file(TestBookHostPath("images"), elsewhere / "root/books/images.chm");
    setenv("LEAFWISE_ROOT", (elsewhere / "root").c_str(), 1);
    result = RunTool({"extract", (elsewhere / "root/books/images.chm").string(), "/top.htm",
                      (elsewhere / "root/temp/out").string()});
    unsetenv("LEAFWISE_ROOT");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(CountLines(result.err), 1) << result.err;
    EXPECT_THAT(result.err, HasSubstr("root/temp/out: hidden by the scratch folder"));
    EXPECT_THAT(ScratchFiles(), IsEmpty());

    fs::create_directories(Scratch() / "X/Y");
    fs::create_directories(Scratch() / "X\\Y");
    std::ofstream(Scratch() / "X/Y/kept") << "x";
    result = RunTool({"extract", TestBookHostPath("images"), "/top.htm", (Scratch() / "X\\Y").string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(fs::exists(Scratch() / "X\\Y/top.htm"));
    EXPECT_TRUE(fs::exists(Scratch() / "X/Y/kept"));
    fs::remove_all(elsewhere);
}

// Output is UTF-8 only: a byte of an object's name that is not UTF-8 (here
// patched into the book's directory) is written \xNN.
TEST_F(ToolTest, NamesThatAreNotUtf8AreWrittenEscaped)
{
    std::string book = ReadBytes(TestBookHostPath("objects"));
    size_t at = book.find("/before.gif");
    ASSERT_NE(at, std::string::npos);
    book[at + 1] = '\xff';
    std::ofstream(Scratch() / "patched.chm", std::ios::binary) << book;
    RunResult result = RunTool({"objects", (Scratch() / "patched.chm").string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_THAT(result.out, HasSubstr("/\\xffefore.gif\t"));
    EXPECT_GT(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, result.out.data(), (int)result.out.size(), nullptr, 0), 0);
}

// index, search and export print their lines, and nothing on standard error
// when it is not a terminal (no progress line).
TEST_F(ToolTest, IndexSearchAndExportPrintTheirLines)
{
    const std::string book = TestBookHostPath("search");
    RunResult result = RunTool({"index", book});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(CountLines(result.out), 10);
    EXPECT_EQ(result.out.substr(0, result.out.find('\n', result.out.find('\n') + 1) + 1),
              "1\tblocks\t/blocks.htm\n1\tcases\t/cases.htm\n");
    const std::string ties =
        "1\tTie, first in the contents\t/tie-b.htm\n1\tTie, second\t/tie-a.htm\n1\tHidden gem & more\t/hidden.htm\n";
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"search", book, "TIE"}, {"search", "--scan", book, "tie"}, {"--scan", "search", book, "tie"}}) {
        result = RunTool(args);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out, ties);
        EXPECT_THAT(result.err, IsEmpty());
    }
    result = RunTool({"search", "--titles", book, "gem"});
    EXPECT_EQ(result.out, "1\tHidden gem & more\t/hidden.htm\n");
    result = RunTool({"search", book, "nowhere", "tie"});
    EXPECT_EQ(result.status, 0);
    EXPECT_THAT(result.out, IsEmpty());

    fs::path out = Scratch() / "out";
    result = RunTool({"export", book, out.string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "index.html\n");
    EXPECT_THAT(result.err, IsEmpty());
    EXPECT_TRUE(fs::exists(out / "tie-a.htm") && fs::exists(out / "search.hhc"));
    EXPECT_FALSE(fs::exists(out / "#SYSTEM") || fs::exists(out / "$FIftiMain"));
    EXPECT_THAT(ReadBytes(out / "index.html"), HasSubstr("<li><a href=\"tie-b.htm#first\">Tie, first in the contents</a>"));
    // A page that declares its charset now declares UTF-8; one that declares
    // none begins with the UTF-8 mark.
    EXPECT_THAT(ReadBytes(out / "cases.htm"), HasSubstr("content=\"text/html; charset=utf-8\""));
    EXPECT_EQ(ReadBytes(out / "tie-a.htm").substr(0, 9), "\xEF\xBB\xBF<html>");
}

TEST_F(ToolTest, SearchAndExportRefuseWhatTheyCannotUse)
{
    const std::string book = TestBookHostPath("search");
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"index"}, {"index", book, "x"}, {"search", book}, {"export", book}, {"export", book, "a", "b"},
             {"--titles", "contents", book}, {"--scan", "export", book, "dir"}, {"--clear", "search", book, "x"}}) {
        RunResult result = RunTool(args);
        EXPECT_EQ(result.status, 2) << args[0];
        EXPECT_THAT(result.err, HasSubstr("usage"));
    }
    RunResult result = RunTool({"search", book, "...", "&"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "leafwise-book: search: no letter or digit to look for\n");

    // Each failure: one line, status 1, and nothing made or left behind.
    std::string missing = (Scratch() / "missing.chm").string();
    fs::path out = Scratch() / "out";
    std::ofstream(Scratch() / "victim") << "mine";
    fs::create_directories(Scratch() / "full");
    std::ofstream(Scratch() / "full" / "kept.txt") << "x";
    fs::create_directories(Scratch() / "planted");
    fs::create_symlink(Scratch() / "victim", Scratch() / "planted" / "index.html");
    fs::create_directories(Scratch() / "empty");
    fs::create_directory_symlink(Scratch() / "empty", Scratch() / "linked");
    for (const auto& [args, message] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"search", missing, "tie"}, "cannot open book " + missing},
             {{"index", missing}, "cannot open book " + missing},
             {{"export", missing, out.string()}, "cannot open book " + missing},
             {{"export", book, (Scratch() / "no" / "out").string()}, "no such folder"},
             {{"export", book, (Scratch() / "full").string()}, "not empty"},
             {{"export", book, (Scratch() / "planted").string()}, "not empty"},
             {{"export", book, (Scratch() / "linked").string()}, "a link is in the way"},
             {{"export", book, (Scratch() / "victim").string()}, "not a folder"}}) {
        RunResult failed = RunTool(args);
        EXPECT_EQ(failed.status, 1) << message;
        EXPECT_EQ(CountLines(failed.err), 1) << failed.err;
        EXPECT_THAT(failed.err, HasSubstr(message));
        EXPECT_THAT(failed.out, IsEmpty());
    }
    EXPECT_FALSE(fs::exists(out) || fs::exists(Scratch() / "no"));
    EXPECT_TRUE(fs::is_empty(Scratch() / "empty"));
    EXPECT_EQ(ReadBytes(Scratch() / "victim"), "mine");
    EXPECT_EQ(std::distance(fs::directory_iterator(Scratch() / "full"), fs::directory_iterator()), 1);

    // A write that runs out of room (the file size limit, 8 KB): the 10 KB
    // image is not left cut short, and the export stops there.
    result = booktest::Run({"/bin/sh", "-c", "trap '' XFSZ; ulimit -f 16; exec \"$0\" \"$@\"", LEAFWISE_BOOK_TOOL,
                            "export", TestBookHostPath("repeats"), out.string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(CountLines(result.err), 1);
    EXPECT_THAT(result.err, HasSubstr("big.gif"));
    EXPECT_THAT(result.err, HasSubstr("no room left on the disk"));
    EXPECT_FALSE(fs::exists(out / "big.gif"));
    EXPECT_FALSE(fs::exists(out / "index.html"));
}

}  // namespace
