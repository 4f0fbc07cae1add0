// The keyword index: read from the book's .hhk object by object, and from the
// binary index that the compiler built from it when the .hhk is gone.
#include "BookTestSupport.h"

#include <fstream>

using namespace booktest;
using ::testing::ElementsAre;

namespace {

void Collect(const TocEntry& entry, size_t titleLength, size_t localLength, void* context)
{
    static_cast<std::vector<std::string>*>(context)->push_back(
        std::to_string(entry.level) + "|" + Utf8(std::u16string(entry.title, titleLength)) + "|" +
        Utf8(std::u16string(entry.local, localLength)));
}

std::vector<std::string> Keywords(Book& book)
{
    std::vector<std::string> entries;
    size_t count = book.ReadKeywordIndex(Collect, &entries);
    EXPECT_EQ(count, entries.size());
    return entries;
}

class KeywordIndexTest : public ScratchTest {};

// One entry per page of a keyword: its first Name (or its Keyword) wherever
// the Locals stand in the object; the Names after it title the pages.
TEST_F(KeywordIndexTest, EveryPageOfAKeywordIsAnEntryAndTheBinaryIndexListsTheSame)
{
    const std::vector<std::string> expected = {
        "1|blocks|/blocks.htm",      "1|cases|/cases.htm",    "1|cases|/words.htm", "1|references|/refs.htm",
        "1|tags|/inline.htm",        "2|block|/blocks.htm",   "2|inline|/inline.htm", "1|ties|/tie-a.htm",
        "1|ties|/tie-b.htm",         "1|words|/words.htm"};
    Book book;
    ASSERT_TRUE(book.Open(DeviceTestBook("search").c_str()));
    EXPECT_EQ(Keywords(book), expected);
    EXPECT_EQ(book.contents.size(), 0u);

    // With the .hhk renamed away (in the directory and in #SYSTEM), the
    // binary index answers: its keywords sorted, as the .hhk has them.
    std::string bytes = ReadBytes(TestBookHostPath("search"));
    const std::string name = "search.hhk";
    int renamed = 0;
    for (size_t at = bytes.find(name); at != std::string::npos; at = bytes.find(name, at + 1), ++renamed)
        bytes[at + name.size() - 1] = 'x';
    ASSERT_EQ(renamed, 2);
    std::ofstream(Scratch() / "binary-only.chm", std::ios::binary) << bytes;
    ASSERT_TRUE(book.Open(DevicePath((Scratch() / "binary-only.chm").string()).c_str()));
    EXPECT_EQ(Keywords(book), expected);

    // No index of either kind: nothing, and no callback is no reading.
    ASSERT_TRUE(book.Open(DeviceTestBook("images").c_str()));
    EXPECT_THAT(Keywords(book), ElementsAre());
    ASSERT_TRUE(book.Open(DeviceTestBook("search").c_str()));
    EXPECT_EQ(book.ReadKeywordIndex(nullptr, nullptr), 0u);
    EXPECT_EQ(book.contents.size(), 0u);
}

}  // namespace
