// The resource module: finding, loading and sizing resources, the string table,
// and what damaged images and foreign handles give.
#include <gtest/gtest.h>

#include "resbuilder.h"

namespace {

constexpr DWORD kMarker = 0xDEADBEEF;

class ModuleTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        if (module)
            FreeResourceImage(module);
    }
    HMODULE Load(const ResImage& res) { return module = LoadResourceImage(res.image.data.data(), res.image.data.size()); }
    HMODULE module = nullptr;
};

TEST_F(ModuleTest, FindsLoadsAndSizesByIntegerId)
{
    ResImage res;
    res.Add(10, 101, {1, 2, 3, 4, 5}).Add(5, 109, {9, 9});
    ASSERT_NE(Load(res), nullptr);

    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(101), RT_RCDATA);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(SizeofResource(module, found), 5u);
    const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data[0], 1);
    EXPECT_EQ(data[4], 5);
    EXPECT_EQ(ResourceExtent(data), 5u);
    EXPECT_EQ(ResourceExtent(data + 3), 2u);

    HRSRC dialog = FindResourceW(module, MAKEINTRESOURCEW(109), RT_DIALOG);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(SizeofResource(module, dialog), 2u);
}

TEST_F(ModuleTest, MissingResourcesSayWhatIsMissing)
{
    ResImage res;
    res.Add(10, 101, {1, 2});
    ASSERT_NE(Load(res), nullptr);

    SetLastError(kMarker);
    EXPECT_EQ(FindResourceW(module, MAKEINTRESOURCEW(102), RT_RCDATA), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_RESOURCE_NAME_NOT_FOUND);

    SetLastError(kMarker);
    EXPECT_EQ(FindResourceW(module, MAKEINTRESOURCEW(101), RT_DIALOG), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_RESOURCE_TYPE_NOT_FOUND);

    SetLastError(kMarker);
    EXPECT_EQ(FindResourceW(module, u"NAMED", RT_RCDATA), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_RESOURCE_NAME_NOT_FOUND);
}

TEST_F(ModuleTest, ForeignAndStaleHandlesAreRefused)
{
    ResImage res;
    res.Add(10, 101, {1, 2}).Add(10, 102, {3});
    ASSERT_NE(Load(res), nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(101), RT_RCDATA);
    ASSERT_NE(found, nullptr);

    int notAModule = 0;
    SetLastError(kMarker);
    EXPECT_EQ(FindResourceW(reinterpret_cast<HMODULE>(&notAModule), MAKEINTRESOURCEW(101), RT_RCDATA), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);

    // A resource handle of one module is nothing to another.
    SetLastError(kMarker);
    EXPECT_EQ(LoadResource(GetModuleHandleW(nullptr), found), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    EXPECT_EQ(SizeofResource(module, reinterpret_cast<HRSRC>(reinterpret_cast<BYTE*>(found) + 1)), 0u);
    EXPECT_EQ(LoadResource(module, nullptr), nullptr);

    ASSERT_TRUE(FreeResourceImage(module));
    HMODULE freed = module;
    module = nullptr;
    EXPECT_EQ(FindResourceW(freed, MAKEINTRESOURCEW(101), RT_RCDATA), nullptr);
    EXPECT_FALSE(FreeResourceImage(freed));
    EXPECT_FALSE(FreeResourceImage(GetModuleHandleW(nullptr)));
}

TEST_F(ModuleTest, StringNamedRecordsAreSkippedNotFatal)
{
    ResImage res;
    res.AddNamedType(u"SHMENUBAR", 7, {1, 2, 3}).Add(10, 7, {4});
    ASSERT_NE(Load(res), nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(7), RT_RCDATA);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(SizeofResource(module, found), 1u);
}

TEST_F(ModuleTest, CutImageKeepsTheRecordsBeforeTheCut)
{
    ResImage res;
    res.Add(10, 1, {1, 2, 3, 4}).Add(10, 2, std::vector<BYTE>(40, 7));
    const std::vector<BYTE>& whole = res.image.data;
    // Every cut length: the first record survives once it is whole, the second never
    // does, and nothing reads past the cut.
    size_t firstEnds = 32 + 32 + 4;
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        std::vector<BYTE> part(whole.begin(), whole.begin() + cut);
        HMODULE m = LoadResourceImage(part.data(), part.size());
        ASSERT_NE(m, nullptr) << cut;
        EXPECT_EQ(FindResourceW(m, MAKEINTRESOURCEW(1), RT_RCDATA) != nullptr, cut >= firstEnds) << cut;
        EXPECT_EQ(FindResourceW(m, MAKEINTRESOURCEW(2), RT_RCDATA), nullptr) << cut;
        FreeResourceImage(m);
    }
}

TEST_F(ModuleTest, ImpossibleSizesEndTheImage)
{
    ResImage res;
    res.Add(10, 1, {1, 2, 3, 4}).Add(10, 2, {5, 6, 7, 8});
    std::vector<BYTE> image = res.image.data;
    // The second record's data size claims four gigabytes.
    size_t second = 32 + 32 + 4;
    image[second + 0] = image[second + 1] = image[second + 2] = image[second + 3] = 0xFF;
    HMODULE m = LoadResourceImage(image.data(), image.size());
    EXPECT_NE(FindResourceW(m, MAKEINTRESOURCEW(1), RT_RCDATA), nullptr);
    EXPECT_EQ(FindResourceW(m, MAKEINTRESOURCEW(2), RT_RCDATA), nullptr);
    FreeResourceImage(m);

    // A header size below the fixed fields.
    image = res.image.data;
    image[second + 4] = 8;
    m = LoadResourceImage(image.data(), image.size());
    EXPECT_EQ(FindResourceW(m, MAKEINTRESOURCEW(2), RT_RCDATA), nullptr);
    FreeResourceImage(m);

    SetLastError(kMarker);
    EXPECT_EQ(LoadResourceImage(nullptr, 10), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
}

TEST_F(ModuleTest, ProgramModuleWithoutImageHasNoResources)
{
    HMODULE program = GetModuleHandleW(nullptr);
    EXPECT_NE(program, nullptr);
    EXPECT_EQ(GetModuleHandleW(u"leafwise.exe"), program);
    EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(1), RT_RCDATA), nullptr);
    WCHAR text[8] = u"x";
    EXPECT_EQ(LoadStringW(nullptr, 1, text, 8), 0);
    EXPECT_EQ(text[0], 0);
}

class StringTableTest : public ModuleTest {
protected:
    void SetUp() override
    {
        // Block 2501 holds ids 40000..40015.
        ResImage res;
        std::vector<std::u16string> block(16);
        block[3] = u"Menu";
        block[5] = u"Exit";
        block[15] = u"Last";
        res.Add(6, 40000 / 16 + 1, StringBlock(block));
        Load(res);
    }
};

TEST_F(StringTableTest, CopiesTerminatesAndCounts)
{
    WCHAR text[16];
    EXPECT_EQ(LoadStringW(module, 40003, text, 16), 4);
    EXPECT_EQ(std::u16string(text), u"Menu");
    EXPECT_EQ(LoadStringW(module, 40005, text, 16), 4);
    EXPECT_EQ(std::u16string(text), u"Exit");
    EXPECT_EQ(LoadStringW(module, 40015, text, 16), 4);
    EXPECT_EQ(std::u16string(text), u"Last");
}

TEST_F(StringTableTest, ShortBufferCutsAndStillTerminates)
{
    WCHAR text[4] = {1, 1, 1, 1};
    EXPECT_EQ(LoadStringW(module, 40003, text, 3), 2);
    EXPECT_EQ(std::u16string(text), u"Me");
    EXPECT_EQ(text[3], 1);  // nothing written past the given size
    EXPECT_EQ(LoadStringW(module, 40003, text, 1), 0);
    EXPECT_EQ(text[0], 0);
}

TEST_F(StringTableTest, ZeroSizeGivesAPointerIntoTheResource)
{
    const WCHAR* direct = nullptr;
    EXPECT_EQ(LoadStringW(module, 40005, reinterpret_cast<LPWSTR>(&direct), 0), 4);
    ASSERT_NE(direct, nullptr);
    EXPECT_EQ(std::u16string(direct, 4), u"Exit");
}

TEST_F(StringTableTest, MissingAndEmptyStringsGiveZero)
{
    WCHAR text[8] = u"x";
    SetLastError(kMarker);
    EXPECT_EQ(LoadStringW(module, 40004, text, 8), 0);  // empty in its block
    EXPECT_EQ(text[0], 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_RESOURCE_NAME_NOT_FOUND);
    EXPECT_EQ(LoadStringW(module, 40016, text, 8), 0);  // no such block
    EXPECT_EQ(LoadStringW(module, 0x10000 + 40003, text, 8), 0);  // beyond any block
    EXPECT_EQ(LoadStringW(module, 40003, nullptr, 8), 0);
    EXPECT_EQ(LoadStringW(module, 40003, text, -1), 0);
}

TEST_F(ModuleTest, TruncatedStringBlockFindsOnlyWhatIsWhole)
{
    std::vector<std::u16string> strings(16);
    strings[0] = u"First";
    strings[1] = u"Second";
    std::vector<BYTE> block = StringBlock(strings);
    block.resize(2 + 10 + 2 + 6);  // "First" whole, "Second" cut after three units
    ResImage res;
    res.Add(6, 1, block);
    ASSERT_NE(Load(res), nullptr);
    WCHAR text[16];
    EXPECT_EQ(LoadStringW(module, 0, text, 16), 5);
    EXPECT_EQ(LoadStringW(module, 1, text, 16), 0);
    EXPECT_EQ(LoadStringW(module, 15, text, 16), 0);
}

}  // namespace
