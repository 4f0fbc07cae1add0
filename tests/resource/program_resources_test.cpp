// Leafwise's compiled resources, as the program finds them in its own module.
#include <gtest/gtest.h>

#include <windows.h>

#include "resource.h"

#include <fstream>
#include <iterator>
#include <map>
#include <vector>

namespace {

template <typename T, typename Parse>
T Parsed(WORD id, LPCWSTR type, Parse parse)
{
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
    T out;
    EXPECT_NE(found, nullptr) << "resource " << id;
    if (!found)
        return out;
    const void* data = LockResource(LoadResource(module, found));
    EXPECT_TRUE(parse(data, SizeofResource(module, found), &out)) << "resource " << id;
    return out;
}

std::u16string String(UINT id)
{
    WCHAR text[80];
    LoadStringW(GetModuleHandleW(nullptr), id, text, 80);
    return text;
}

TEST(ProgramResources, MainMenuAndBar)
{
    auto menu = Parsed<MenuTemplate>(IDR_MAIN_MENUBAR, RT_MENU, ParseMenuTemplate);
    ASSERT_EQ(menu.items.size(), 2u);
    ASSERT_TRUE(menu.items[0].IsPopup());
    EXPECT_EQ(menu.items[0].text, u"Menu");
    ASSERT_EQ(menu.items[0].popup.size(), 3u);
    EXPECT_EQ(menu.items[0].popup[0].text, u"Open");
    EXPECT_EQ(menu.items[0].popup[0].id, 40014);
    EXPECT_EQ(menu.items[0].popup[1].text, u"Associate");
    EXPECT_EQ(menu.items[0].popup[1].id, 40027);
    EXPECT_EQ(menu.items[0].popup[2].text, u"About");
    EXPECT_EQ(menu.items[0].popup[2].id, 40022);
    EXPECT_TRUE(menu.items[0].popup[2].flags & 0x80);  // end of the popup
    EXPECT_EQ(menu.items[1].text, u"Exit");
    EXPECT_EQ(menu.items[1].id, 2);

    auto bar = Parsed<SoftKeyBarTemplate>(IDR_MAIN_MENUBAR, RT_RCDATA, ParseSoftKeyBar);
    EXPECT_EQ(bar.menuId, 101);
    ASSERT_EQ(bar.buttons.size(), 2u);
    const SoftKeyButtonTemplate& left = bar.buttons[0];
    EXPECT_EQ(left.image, -2);
    EXPECT_EQ(left.command, 40001);
    EXPECT_EQ(left.state, 4);
    EXPECT_EQ(left.style, 24);
    EXPECT_EQ(left.captionId, 40003);
    EXPECT_EQ(left.reserved, 0);
    EXPECT_EQ(left.popupIndex, 0);
    const SoftKeyButtonTemplate& right = bar.buttons[1];
    EXPECT_EQ(right.image, -2);
    EXPECT_EQ(right.command, 2);
    EXPECT_EQ(right.state, 4);
    EXPECT_EQ(right.style, 16);
    EXPECT_EQ(right.captionId, 40005);
    EXPECT_EQ(right.popupIndex, 65535);
}

struct TwoKeyBar {
    WORD id;
    UINT leftString;
    const char16_t* left;
    UINT rightString;
    const char16_t* right;
};

void PrintTo(const TwoKeyBar& bar, std::ostream* out)
{
    *out << "bar " << bar.id;
}

class TwoKeyBars : public ::testing::TestWithParam<TwoKeyBar> {};

TEST_P(TwoKeyBars, CommandOneAndTwoWithTheirCaptions)
{
    const TwoKeyBar& want = GetParam();
    auto bar = Parsed<SoftKeyBarTemplate>(want.id, RT_RCDATA, ParseSoftKeyBar);
    EXPECT_EQ(bar.menuId, want.id);
    ASSERT_EQ(bar.buttons.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(bar.buttons[i].image, -2);
        EXPECT_EQ(bar.buttons[i].command, i + 1);
        EXPECT_EQ(bar.buttons[i].state, 4);
        EXPECT_EQ(bar.buttons[i].style, 16);
        EXPECT_EQ(bar.buttons[i].popupIndex, 65535);
    }
    EXPECT_EQ(bar.buttons[0].captionId, want.leftString);
    EXPECT_EQ(bar.buttons[1].captionId, want.rightString);
    EXPECT_EQ(String(want.leftString), want.left);
    EXPECT_EQ(String(want.rightString), want.right);

    auto menu = Parsed<MenuTemplate>(want.id, RT_MENU, ParseMenuTemplate);
    ASSERT_EQ(menu.items.size(), 2u);
    EXPECT_EQ(menu.items[0].text, want.left);
    EXPECT_EQ(menu.items[0].id, 1);
    EXPECT_EQ(menu.items[1].text, want.right);
    EXPECT_EQ(menu.items[1].id, 2);
}

INSTANTIATE_TEST_SUITE_P(Bars, TwoKeyBars,
                         ::testing::Values(TwoKeyBar{102, 40007, u"OK", 40009, u"Cancel"},
                                           TwoKeyBar{104, 40011, u"Browse", 40013, u"Close"},
                                           TwoKeyBar{107, 40020, u"Open", 40018, u"Cancel"},
                                           TwoKeyBar{110, 40024, u"OK", 40026, u"Cancel"}),
                         [](const ::testing::TestParamInfo<TwoKeyBar>& info) { return "Bar" + std::to_string(info.param.id); });

TEST(ProgramResources, MainWindowCaptions)
{
    EXPECT_EQ(String(40003), u"Menu");
    EXPECT_EQ(String(40005), u"Exit");
}

TEST(ProgramResources, AboutTemplate)
{
    auto t = Parsed<DialogTemplate>(IDD_ABOUT, RT_DIALOG, ParseDialogTemplate);
    EXPECT_FALSE(t.extended);
    EXPECT_EQ(t.style, 0x80000040u);
    EXPECT_EQ(t.exStyle, 0u);
    EXPECT_EQ(t.x, 0);
    EXPECT_EQ(t.y, 0);
    EXPECT_EQ(t.cx, 110);
    EXPECT_EQ(t.cy, 114);
    EXPECT_EQ(t.menuId, 0);
    EXPECT_EQ(t.classAtom, 0);
    EXPECT_TRUE(t.className.empty());
    EXPECT_TRUE(t.title.empty());
    EXPECT_EQ(t.pointSize, 9);
    EXPECT_EQ(t.faceName, u"System");
    ASSERT_EQ(t.items.size(), 3u);
    for (const DialogItemTemplate& item : t.items) {
        EXPECT_EQ(item.classAtom, kDialogClassStatic);
        EXPECT_EQ(item.id, 65535u);
    }
    EXPECT_FALSE(t.items[0].title.empty());
    EXPECT_EQ(t.items[0].style, 0x50020001u);
    EXPECT_EQ((std::vector<int>{t.items[0].x, t.items[0].y, t.items[0].cx, t.items[0].cy}),
              (std::vector<int>{7, 65, 96, 10}));
    EXPECT_EQ(t.items[1].title, u"Leafwise v1.4");
    EXPECT_EQ(t.items[1].style, 0x50020200u);
    EXPECT_EQ((std::vector<int>{t.items[1].x, t.items[1].y, t.items[1].cx, t.items[1].cy}),
              (std::vector<int>{37, 28, 63, 9}));
    EXPECT_EQ(t.items[2].titleId, IDI_LEAFWISE);
    EXPECT_EQ(t.items[2].style, 0x50000003u);
    EXPECT_EQ((std::vector<int>{t.items[2].x, t.items[2].y, t.items[2].cx, t.items[2].cy}),
              (std::vector<int>{14, 23, 20, 20}));
}

TEST(ProgramResources, ContentsAndBrowserTemplates)
{
    auto contents = Parsed<DialogTemplate>(IDD_CONTENTS, RT_DIALOG, ParseDialogTemplate);
    EXPECT_EQ(contents.style, 0x80000040u);
    EXPECT_EQ(contents.cx, 99);
    EXPECT_EQ(contents.cy, 106);
    EXPECT_TRUE(contents.title.empty());
    EXPECT_EQ(contents.pointSize, 10);
    EXPECT_EQ(contents.faceName, u"System");
    EXPECT_TRUE(contents.items.empty());

    auto browser = Parsed<DialogTemplate>(IDD_BROWSER, RT_DIALOG, ParseDialogTemplate);
    EXPECT_EQ(browser.style, 0x80000040u);
    EXPECT_EQ(browser.cx, 114);
    EXPECT_EQ(browser.cy, 110);
    EXPECT_TRUE(browser.title.empty());
    EXPECT_EQ(browser.pointSize, 10);
    EXPECT_EQ(browser.faceName, u"System");
    ASSERT_EQ(browser.items.size(), 1u);
    EXPECT_EQ(browser.items[0].id, 1000u);
    EXPECT_EQ(browser.items[0].classAtom, kDialogClassStatic);
    EXPECT_TRUE(browser.items[0].title.empty());
    EXPECT_EQ(browser.items[0].style, 0x50020200u);
}

TEST(ProgramResources, SplashIs155By48At24Bits)
{
    auto splash = Parsed<DibImage>(IDB_SPLASH, RT_BITMAP, ParseDib);
    EXPECT_EQ(splash.width, 155);
    EXPECT_EQ(splash.height, 48);
    EXPECT_EQ(splash.bitsPerPixel, 24);
}

TEST(ProgramResources, IconsAndTheirImages)
{
    struct Want {
        WORD id;
        std::vector<int> sizes;
    };
    for (const Want& want : {Want{IDI_LEAFWISE, {32, 16}}, Want{IDI_BOOK, {16}}, Want{IDI_FOLDER, {16}}}) {
        auto group = Parsed<IconGroupTemplate>(want.id, RT_GROUP_ICON, ParseIconGroup);
        ASSERT_EQ(group.entries.size(), want.sizes.size()) << want.id;
        for (size_t i = 0; i < want.sizes.size(); ++i) {
            const IconGroupEntry& entry = group.entries[i];
            EXPECT_EQ(entry.width, want.sizes[i]);
            EXPECT_EQ(entry.height, want.sizes[i]);
            EXPECT_EQ(entry.colorCount, 16);
            auto image = Parsed<IconImage>(entry.id, RT_ICON, ParseIconImage);
            EXPECT_EQ(image.width, want.sizes[i]);
            EXPECT_EQ(image.height, want.sizes[i]);
            EXPECT_EQ(image.bitsPerPixel, 4);
            // Drawn on a clear ground: some pixels show, some let the background through.
            size_t clear = 0;
            for (uint32_t p : image.pixels)
                clear += (p >> 24) == 0;
            EXPECT_GT(clear, 0u);
            EXPECT_LT(clear, image.pixels.size());
        }
    }
}

// The About box's "Leafwise v1.4" is the version everywhere: the version
// resource that --version prints, the build's, the package's and the
// software centres' release.
TEST(ProgramResources, EveryVersionIsTheAboutBoxs)
{
    auto about = Parsed<DialogTemplate>(IDD_ABOUT, RT_DIALOG, ParseDialogTemplate);
    std::u16string aboutVersion;
    for (const DialogItemTemplate& item : about.items)
        if (item.title.rfind(u"Leafwise v", 0) == 0)
            aboutVersion = item.title.substr(10);
    ASSERT_FALSE(aboutVersion.empty());
    const std::string version(aboutVersion.begin(), aboutVersion.end());
    EXPECT_EQ(version, LEAFWISE_VERSION) << "CMake's project version";

    auto strings = Parsed<VersionStrings>(VS_VERSION_INFO, RT_VERSION, ParseVersionStrings);
    std::map<std::u16string, std::u16string> values(strings.values.begin(), strings.values.end());
    EXPECT_EQ(values[u"ProductName"], u"Leafwise");
    EXPECT_EQ(values[u"ProductVersion"], aboutVersion);
    EXPECT_EQ(values[u"FileVersion"], aboutVersion);
    EXPECT_EQ(values[u"Comments"].rfind(u"Usage: leafwise", 0), 0u);

    auto readText = [](const std::string& path) {
        std::ifstream in(path);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return text;
    };
    std::string changelog = readText(LEAFWISE_SOURCE_DIR "/debian/changelog");
    EXPECT_EQ(changelog.substr(0, changelog.find('\n')).rfind("leafwise (" + version + ") ", 0), 0u) << changelog;
    std::string metainfo = readText(LEAFWISE_SOURCE_DIR "/desktop/example.leafwise.Leafwise.metainfo.xml");
    size_t release = metainfo.find("<release ");
    ASSERT_NE(release, std::string::npos);
    EXPECT_EQ(metainfo.find("version=\"", release), metainfo.find("version=\"" + version + "\"", release));
}

// The version resource cut at every length, or with its block lengths
// inflated, reads no byte outside itself: it parses, or fails.
TEST(ProgramResources, DamagedVersionResourceFailsCleanly)
{
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION);
    ASSERT_NE(found, nullptr);
    const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    const std::vector<BYTE> whole(data, data + SizeofResource(module, found));
    VersionStrings out;
    for (size_t size = 0; size < whole.size(); ++size) {
        std::vector<BYTE> cut(whole.begin(), whole.begin() + size);
        ParseVersionStrings(cut.data(), cut.size(), &out);
    }
    for (size_t at = 0; at + 1 < whole.size(); at += 2) {
        std::vector<BYTE> flipped = whole;
        flipped[at] ^= 0xFF;
        ParseVersionStrings(flipped.data(), flipped.size(), &out);
    }
    EXPECT_FALSE(ParseVersionStrings(whole.data(), 5, &out));
    EXPECT_TRUE(ParseVersionStrings(whole.data(), whole.size(), &out));
}

}  // namespace
