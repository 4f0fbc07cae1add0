// The scratch folder: what ClearTempFolder, Close and destruction leave there.
#include "BookTestSupport.h"

#include <fstream>

using namespace booktest;
namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;

namespace {

class ScratchFolderTest : public ScratchTest {
protected:
    void Put(const fs::path& file, const std::string& bytes = "x")
    {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << bytes;
    }
};

TEST_F(ScratchFolderTest, ClearingDeletesTheFilesButNotTheSubFolders)
{
    Put(Scratch() / "page.htm");
    Put(Scratch() / "image with space.gif");
    Put(Scratch() / ".hidden");
    Put(Scratch() / "sub" / "kept.htm");
    Book book;
    book.ClearTempFolder();
    EXPECT_THAT(ScratchFiles(), IsEmpty());
    EXPECT_TRUE(fs::exists(Scratch() / "sub" / "kept.htm"));
    book.ClearTempFolder();  // an empty folder: nothing to do
    EXPECT_TRUE(fs::exists(Scratch() / "sub" / "kept.htm"));
}

TEST_F(ScratchFolderTest, ClearingRemovesLinksAndLongNamesButNeverWhatLinksPointTo)
{
    fs::path outside = Scratch().string() + "-outside";
    Put(outside / "file", "mine");
    fs::create_symlink(outside / "file", Scratch() / "to-file");
    fs::create_directory_symlink(outside, Scratch() / "to-folder");
    fs::create_symlink(outside / "nowhere", Scratch() / "dangling");
    Put(Scratch() / std::string(255, 'n'));  // the longest name a folder holds
    Book book;
    book.ClearTempFolder();
    EXPECT_TRUE(fs::is_empty(Scratch()));
    EXPECT_EQ(ReadBytes(outside / "file"), "mine");
    fs::remove_all(outside);
}

TEST_F(ScratchFolderTest, ClearingAMissingFolderDoesNothing)
{
    fs::path missing = Scratch() / "gone";
    setenv("LEAFWISE_TEMP", missing.c_str(), 1);
    Put(Scratch() / "beside.htm");
    Book book;
    book.ClearTempFolder();
    book.Close();  // never opened: only clears
    EXPECT_TRUE(fs::exists(Scratch() / "beside.htm"));
    EXPECT_TRUE(!fs::exists(missing) || fs::is_empty(missing));
}

TEST_F(ScratchFolderTest, CloseClearsTheFolderAndDestructionDoesNot)
{
    {
        Book book;
        ASSERT_EQ(book.LoadContents(DeviceTestBook("images").c_str()), 1);
        book.ClearTempFolder();
        ASSERT_EQ(book.ExtractPage(u"/top.htm", u"\\Temp"), 1);
        EXPECT_EQ(ScratchFiles().size(), 4u);
    }
    EXPECT_EQ(ScratchFiles().size(), 4u);
    Book book;
    ASSERT_EQ(book.LoadContents(DeviceTestBook("images").c_str()), 1);
    book.Close();
    EXPECT_THAT(ScratchFiles(), IsEmpty());
    EXPECT_EQ(book.chm, nullptr);
    EXPECT_TRUE(book.objects.empty());
    EXPECT_TRUE(book.contents.empty());
}

TEST_F(ScratchFolderTest, ExtractionOverwritesAFileOfTheSameName)
{
    Put(Scratch() / "b.gif", std::string(1000, 'o'));
    Book book;
    ASSERT_TRUE(book.Open(DeviceTestBook("images").c_str()));
    ASSERT_EQ(book.ExtractObject(u"/b.gif", u"\\Temp"), 1);
    EXPECT_THAT(ScratchFiles(), ElementsAre(Pair("b.gif", std::string("GIF89a top/b\0\xff\x01", 15))));
}

// The scratch folder is "\\Temp" below the device's root: files of the root
// whose names start with "Temp" are not its files.
TEST_F(ScratchFolderTest, ClearingLeavesTheRestOfTheDeviceAlone)
{
    fs::path root = Scratch() / "root";
    fs::path temp = Scratch() / "root" / "Temp";
    setenv("LEAFWISE_ROOT", root.c_str(), 1);
    setenv("LEAFWISE_TEMP", temp.c_str(), 1);
    for (const char* name : {"Temp.htm", "Temp.gif", "Templates.txt"})
        Put(root / name);
    Put(temp / "page.htm");
    Book book;
    book.ClearTempFolder();
    unsetenv("LEAFWISE_ROOT");
    EXPECT_FALSE(fs::exists(temp / "page.htm"));
    for (const char* name : {"Temp.htm", "Temp.gif", "Templates.txt"})
        EXPECT_TRUE(fs::exists(root / name)) << name;
}

}  // namespace
