// The resource parsers on well-formed data, then on every truncation of it.
#include <gtest/gtest.h>

#include <functional>

#include "resbuilder.h"

namespace {

// Every strict prefix of `data` must be refused, never read past.
void ExpectEveryCutRefused(const std::vector<BYTE>& data, const std::function<bool(const void*, size_t)>& parse)
{
    for (size_t cut = 0; cut < data.size(); ++cut) {
        // A fresh allocation of exactly `cut` bytes, so ASan sees any overread.
        std::vector<BYTE> part(data.begin(), data.begin() + cut);
        EXPECT_FALSE(parse(part.empty() ? nullptr : part.data(), part.size())) << "cut at " << cut;
    }
}

// ---- dialog templates -------------------------------------------------------------

std::vector<BYTE> PlainDialog()
{
    Bytes b;
    b.D(0x80000040).D(0).W(2);                 // style (WS_POPUP | DS_SETFONT), ex style, 2 items
    b.W(0).W(0).W(110).W(114);                 // x, y, cx, cy
    b.W(0).W(0).S(u"");                        // no menu, dialog class, empty title
    b.W(9).S(u"System");                       // font
    b.Align(4);
    b.D(0x50020001).D(0).W(7).W(65).W(96).W(10).W(0xFFFF);
    b.W(0xFFFF).W(0x0082).S(u"www.leafwise.example").W(0);
    b.Align(4);
    b.D(0x50000003).D(0).W(14).W(23).W(20).W(20).W(0xFFFF);
    b.W(0xFFFF).W(0x0082).W(0xFFFF).W(105).W(0);
    return b.data;
}

TEST(DialogTemplate, PlainTemplateWithFontAndItems)
{
    DialogTemplate t;
    std::vector<BYTE> data = PlainDialog();
    ASSERT_TRUE(ParseDialogTemplate(data.data(), data.size(), &t));
    EXPECT_FALSE(t.extended);
    EXPECT_EQ(t.style, 0x80000040u);
    EXPECT_EQ(t.cx, 110);
    EXPECT_EQ(t.cy, 114);
    EXPECT_EQ(t.menuId, 0);
    EXPECT_TRUE(t.menuName.empty());
    EXPECT_EQ(t.classAtom, 0);
    EXPECT_TRUE(t.title.empty());
    EXPECT_TRUE(t.hasFont);
    EXPECT_EQ(t.pointSize, 9);
    EXPECT_EQ(t.faceName, u"System");
    ASSERT_EQ(t.items.size(), 2u);
    EXPECT_EQ(t.items[0].style, 0x50020001u);
    EXPECT_EQ(t.items[0].x, 7);
    EXPECT_EQ(t.items[0].y, 65);
    EXPECT_EQ(t.items[0].id, 0xFFFFu);
    EXPECT_EQ(t.items[0].classAtom, kDialogClassStatic);
    EXPECT_EQ(t.items[0].title, u"www.leafwise.example");
    EXPECT_EQ(t.items[1].titleId, 105);
    EXPECT_TRUE(t.items[1].title.empty());
}

TEST(DialogTemplate, ExtendedTemplateWithClassNamesAndCreationData)
{
    Bytes b;
    b.W(1).W(0xFFFF).D(77).D(0x8).D(0x80C00040).W(1);   // version, signature, help, ex style, style, 1 item
    b.W(-5 & 0xFFFF).W(3).W(100).W(50);
    b.S(u"MENUNAME").W(0xFFFF).W(0x8002).S(u"Title");
    b.W(8).W(700).B(1).B(2).S(u"Tahoma");
    b.Align(4);
    b.D(5).D(0x200).D(0x50010000).W(1).W(2).W(3).W(4).D(1000);
    b.S(u"SysListView32").S(u"");
    b.W(3).B(0xAA).B(0xBB).B(0xCC);
    DialogTemplate t;
    ASSERT_TRUE(ParseDialogTemplate(b.data.data(), b.data.size(), &t));
    EXPECT_TRUE(t.extended);
    EXPECT_EQ(t.helpId, 77u);
    EXPECT_EQ(t.exStyle, 0x8u);
    EXPECT_EQ(t.x, -5);
    EXPECT_EQ(t.menuName, u"MENUNAME");
    EXPECT_EQ(t.classAtom, 0x8002);
    EXPECT_EQ(t.title, u"Title");
    EXPECT_EQ(t.weight, 700);
    EXPECT_EQ(t.italic, 1);
    EXPECT_EQ(t.charset, 2);
    EXPECT_EQ(t.faceName, u"Tahoma");
    ASSERT_EQ(t.items.size(), 1u);
    EXPECT_EQ(t.items[0].helpId, 5u);
    EXPECT_EQ(t.items[0].exStyle, 0x200u);
    EXPECT_EQ(t.items[0].id, 1000u);
    EXPECT_EQ(t.items[0].className, u"SysListView32");
    EXPECT_EQ(t.items[0].creationData, (std::vector<BYTE>{0xAA, 0xBB, 0xCC}));
}

TEST(DialogTemplate, NoFontWithoutDsSetFont)
{
    Bytes b;
    b.D(0x80000000).D(0).W(0).W(0).W(0).W(10).W(10).W(0).W(0).S(u"T");
    DialogTemplate t;
    ASSERT_TRUE(ParseDialogTemplate(b.data.data(), b.data.size(), &t));
    EXPECT_FALSE(t.hasFont);
    EXPECT_TRUE(t.items.empty());
}

TEST(DialogTemplate, TruncatedOrOverCountedIsRefused)
{
    ExpectEveryCutRefused(PlainDialog(), [](const void* d, size_t n) {
        DialogTemplate t;
        return ParseDialogTemplate(d, n, &t);
    });
    std::vector<BYTE> data = PlainDialog();
    data[8] = 0xFF;  // item count 0xFF02 with room for two
    data[9] = 0xFF;
    DialogTemplate t;
    EXPECT_FALSE(ParseDialogTemplate(data.data(), data.size(), &t));
    // An unterminated title runs into the end of the data.
    Bytes b;
    b.D(0x80000000).D(0).W(0).W(0).W(0).W(10).W(10).W(0).W(0).W('T').W('T');
    EXPECT_FALSE(ParseDialogTemplate(b.data.data(), b.data.size(), &t));
}

// ---- menus -----------------------------------------------------------------------------

std::vector<BYTE> MainMenu()
{
    Bytes b;
    b.W(0).W(0);
    b.W(0x10).S(u"Menu");
    b.W(0).W(40014).S(u"Open");
    b.W(0).W(0).S(u"");                         // separator
    b.W(0x80).W(40022).S(u"About");
    b.W(0x80).W(2).S(u"Exit");
    return b.data;
}

TEST(MenuTemplate, PopupThenTopLevelItem)
{
    MenuTemplate m;
    std::vector<BYTE> data = MainMenu();
    ASSERT_TRUE(ParseMenuTemplate(data.data(), data.size(), &m));
    ASSERT_EQ(m.items.size(), 2u);
    EXPECT_TRUE(m.items[0].IsPopup());
    EXPECT_EQ(m.items[0].text, u"Menu");
    ASSERT_EQ(m.items[0].popup.size(), 3u);
    EXPECT_EQ(m.items[0].popup[0].id, 40014);
    EXPECT_EQ(m.items[0].popup[0].text, u"Open");
    EXPECT_EQ(m.items[0].popup[1].id, 0);
    EXPECT_TRUE(m.items[0].popup[1].text.empty());
    EXPECT_EQ(m.items[0].popup[2].text, u"About");
    EXPECT_FALSE(m.items[1].IsPopup());
    EXPECT_EQ(m.items[1].id, 2);
    EXPECT_EQ(m.items[1].text, u"Exit");
}

TEST(MenuTemplate, TruncatedExtendedOrTooDeepIsRefused)
{
    ExpectEveryCutRefused(MainMenu(), [](const void* d, size_t n) {
        MenuTemplate m;
        return ParseMenuTemplate(d, n, &m);
    });
    Bytes ex;
    ex.W(1).W(4).D(0);
    MenuTemplate m;
    EXPECT_FALSE(ParseMenuTemplate(ex.data.data(), ex.data.size(), &m));

    // Popups inside popups, deeper than any real menu: refused, and no deep recursion.
    Bytes deep;
    deep.W(0).W(0);
    for (int i = 0; i < 10000; ++i)
        deep.W(0x10).S(u"");
    EXPECT_FALSE(ParseMenuTemplate(deep.data.data(), deep.data.size(), &m));
}

// ---- soft-key bars -----------------------------------------------------------------------

std::vector<BYTE> MainBar()
{
    Bytes b;
    b.W(101).W(2);
    b.W(0xFFFE).W(40001).W(4).W(24).W(40003).W(0).W(0);
    b.W(0xFFFE).W(2).W(4).W(16).W(40005).W(0).W(0xFFFF);
    return b.data;
}

TEST(SoftKeyBar, TwoButtonsWordByWord)
{
    SoftKeyBarTemplate bar;
    std::vector<BYTE> data = MainBar();
    ASSERT_TRUE(ParseSoftKeyBar(data.data(), data.size(), &bar));
    EXPECT_EQ(bar.menuId, 101);
    ASSERT_EQ(bar.buttons.size(), 2u);
    EXPECT_EQ(bar.buttons[0].image, -2);
    EXPECT_EQ(bar.buttons[0].command, 40001);
    EXPECT_EQ(bar.buttons[0].state, 4);
    EXPECT_EQ(bar.buttons[0].style, 24);
    EXPECT_EQ(bar.buttons[0].captionId, 40003);
    EXPECT_EQ(bar.buttons[0].popupIndex, 0);
    EXPECT_EQ(bar.buttons[1].command, 2);
    EXPECT_EQ(bar.buttons[1].popupIndex, 0xFFFF);
}

TEST(SoftKeyBar, TruncatedOrOverCountedIsRefused)
{
    ExpectEveryCutRefused(MainBar(), [](const void* d, size_t n) {
        SoftKeyBarTemplate bar;
        return ParseSoftKeyBar(d, n, &bar);
    });
    std::vector<BYTE> data = MainBar();
    data[2] = 3;
    SoftKeyBarTemplate bar;
    EXPECT_FALSE(ParseSoftKeyBar(data.data(), data.size(), &bar));
}

// ---- bitmaps ---------------------------------------------------------------------------------

Bytes InfoHeader(int width, int height, int bits, DWORD compression = 0, DWORD colours = 0)
{
    Bytes b;
    b.D(40).D(width).D(height).W(1).W(bits).D(compression).D(0).D(0).D(0).D(colours).D(0);
    return b;
}

TEST(Dib, TwentyFourBitsBottomUpBecomesTopDown)
{
    // 3 x 2: stride 12 (9 bytes and 3 of padding). Bottom row first.
    Bytes b = InfoHeader(3, 2, 24);
    b.B(0x01).B(0x02).B(0x03).B(0x04).B(0x05).B(0x06).B(0x07).B(0x08).B(0x09).B(0).B(0).B(0);
    b.B(0xFF).B(0x00).B(0x00).B(0x00).B(0xFF).B(0x00).B(0x00).B(0x00).B(0xFF).B(0).B(0).B(0);
    DibImage image;
    ASSERT_TRUE(ParseDib(b.data.data(), b.data.size(), &image));
    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(image.bitsPerPixel, 24);
    ASSERT_EQ(image.pixels.size(), 6u);
    EXPECT_EQ(image.pixels[0], 0xFF0000FFu);  // top row: blue, green, red
    EXPECT_EQ(image.pixels[1], 0xFF00FF00u);
    EXPECT_EQ(image.pixels[2], 0xFFFF0000u);
    EXPECT_EQ(image.pixels[3], 0xFF030201u);
    EXPECT_EQ(image.pixels[5], 0xFF090807u);

    ExpectEveryCutRefused(b.data, [](const void* d, size_t n) {
        DibImage i;
        return ParseDib(d, n, &i);
    });
}

TEST(Dib, PaletteFormatsAndTopDown)
{
    // 1 bit, 10 x 1, top-down, two colours; then a 4-bit and an 8-bit row.
    Bytes one = InfoHeader(10, -1, 1);
    one.D(0x000000).D(0xFFFFFF);
    one.B(0b10100000).B(0b01000000).B(0).B(0);
    DibImage image;
    ASSERT_TRUE(ParseDib(one.data.data(), one.data.size(), &image));
    EXPECT_EQ(image.pixels[0], 0xFFFFFFFFu);
    EXPECT_EQ(image.pixels[1], 0xFF000000u);
    EXPECT_EQ(image.pixels[2], 0xFFFFFFFFu);
    EXPECT_EQ(image.pixels[9], 0xFFFFFFFFu);

    Bytes four = InfoHeader(2, 1, 4, 0, 3);
    four.D(0x112233).D(0x445566).D(0x778899);
    four.B(0x21).B(0).B(0).B(0);
    ASSERT_TRUE(ParseDib(four.data.data(), four.data.size(), &image));
    EXPECT_EQ(image.pixels[0], 0xFF778899u);
    EXPECT_EQ(image.pixels[1], 0xFF445566u);

    // An index past a short palette is black, not a read past the palette.
    Bytes eight = InfoHeader(1, 1, 8, 0, 1);
    eight.D(0xABCDEF).B(200).B(0).B(0).B(0);
    ASSERT_TRUE(ParseDib(eight.data.data(), eight.data.size(), &image));
    EXPECT_EQ(image.pixels[0], 0xFF000000u);
}

TEST(Dib, SixteenAndThirtyTwoBits)
{
    Bytes b16 = InfoHeader(2, 1, 16);
    b16.W(0x7C00).W(0x001F);  // 5-5-5: red, blue
    DibImage image;
    ASSERT_TRUE(ParseDib(b16.data.data(), b16.data.size(), &image));
    EXPECT_EQ(image.pixels[0], 0xFFFF0000u);
    EXPECT_EQ(image.pixels[1], 0xFF0000FFu);

    Bytes b565 = InfoHeader(1, 1, 16, 3);
    b565.D(0xF800).D(0x07E0).D(0x001F).W(0x07E0).W(0);
    ASSERT_TRUE(ParseDib(b565.data.data(), b565.data.size(), &image));
    EXPECT_EQ(image.pixels[0], 0xFF00FF00u);

    Bytes b32 = InfoHeader(1, 1, 32);
    b32.D(0x00123456);
    ASSERT_TRUE(ParseDib(b32.data.data(), b32.data.size(), &image));
    EXPECT_EQ(image.pixels[0], 0xFF123456u);
}

TEST(Dib, UnsupportedOrHostileHeadersAreRefused)
{
    DibImage image;
    auto refused = [&](Bytes b) { return !ParseDib(b.data.data(), b.data.size(), &image); };
    Bytes rle = InfoHeader(1, 1, 8, 1);
    rle.Raw(std::vector<BYTE>(1024 + 8, 0));
    EXPECT_TRUE(refused(rle));
    EXPECT_TRUE(refused(InfoHeader(0, 1, 24)));
    EXPECT_TRUE(refused(InfoHeader(1, 0, 24)));
    EXPECT_TRUE(refused(InfoHeader(-4, 1, 24)));
    EXPECT_TRUE(refused(InfoHeader(1, 1, 7)));
    EXPECT_TRUE(refused(InfoHeader(1, INT32_MIN, 24)));
    // Huge sizes with no bits behind them: refused before anything is allocated.
    EXPECT_TRUE(refused(InfoHeader(16384, 16384, 32)));
    EXPECT_TRUE(refused(InfoHeader(100000, 1, 24)));
    Bytes palette = InfoHeader(1, 1, 8, 0, 100000);
    palette.D(0);
    EXPECT_TRUE(refused(palette));
}

// ---- icons -----------------------------------------------------------------------------------------

std::vector<BYTE> IconGroup()
{
    Bytes b;
    b.W(0).W(1).W(2);
    b.B(32).B(32).B(16).B(0).W(1).W(4).D(744).W(1);
    b.B(16).B(16).B(16).B(0).W(1).W(4).D(296).W(2);
    return b.data;
}

TEST(IconGroup, EntriesAndTheBestFit)
{
    IconGroupTemplate group;
    std::vector<BYTE> data = IconGroup();
    ASSERT_TRUE(ParseIconGroup(data.data(), data.size(), &group));
    ASSERT_EQ(group.entries.size(), 2u);
    EXPECT_EQ(group.entries[0].width, 32);
    EXPECT_EQ(group.entries[0].colorCount, 16);
    EXPECT_EQ(group.entries[0].bitCount, 4);
    EXPECT_EQ(group.entries[0].id, 1);
    EXPECT_EQ(group.entries[1].id, 2);
    EXPECT_EQ(PickIconGroupEntry(group, 16, 16), 1);
    EXPECT_EQ(PickIconGroupEntry(group, 32, 32), 0);
    EXPECT_EQ(PickIconGroupEntry(group, 20, 20), 0);  // nearest larger
    EXPECT_EQ(PickIconGroupEntry(group, 64, 64), 0);  // else the largest
    EXPECT_EQ(PickIconGroupEntry(IconGroupTemplate(), 16, 16), -1);

    ExpectEveryCutRefused(data, [](const void* d, size_t n) {
        IconGroupTemplate g;
        return ParseIconGroup(d, n, &g);
    });
}

// A 4-bit 2 x 2 icon: colour bits, then the AND mask with the top-right pixel clear.
std::vector<BYTE> SmallIcon()
{
    Bytes b = InfoHeader(2, 4, 4, 0, 16);
    for (int i = 0; i < 16; ++i)
        b.D(i == 1 ? 0xFF0000 : i == 2 ? 0x00FF00 : 0);
    b.B(0x12).B(0).B(0).B(0);           // bottom row: red, green
    b.B(0x21).B(0).B(0).B(0);           // top row: green, red
    b.B(0x00).B(0).B(0).B(0);           // mask, bottom row: both opaque
    b.B(0x40).B(0).B(0).B(0);           // mask, top row: right pixel clear
    return b.data;
}

TEST(IconImage, MaskBecomesAlpha)
{
    IconImage icon;
    std::vector<BYTE> data = SmallIcon();
    ASSERT_TRUE(ParseIconImage(data.data(), data.size(), &icon));
    EXPECT_EQ(icon.width, 2);
    EXPECT_EQ(icon.height, 2);
    ASSERT_EQ(icon.pixels.size(), 4u);
    EXPECT_EQ(icon.pixels[0], 0xFF00FF00u);
    EXPECT_EQ(icon.pixels[1] >> 24, 0u);
    EXPECT_EQ(icon.pixels[2], 0xFFFF0000u);
    EXPECT_EQ(icon.pixels[3], 0xFF00FF00u);
}

TEST(IconImage, ThirtyTwoBitsKeepOwnAlphaAndPngIsHandedBack)
{
    Bytes b = InfoHeader(1, 2, 32);
    b.D(0x80102030).D(0x00000000);  // half-transparent pixel, then a mask row
    IconImage icon;
    ASSERT_TRUE(ParseIconImage(b.data.data(), b.data.size(), &icon));
    EXPECT_EQ(icon.pixels[0], 0x80102030u);

    std::vector<BYTE> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 1, 2, 3};
    ASSERT_TRUE(ParseIconImage(png.data(), png.size(), &icon));
    EXPECT_EQ(icon.png, png);
    EXPECT_TRUE(icon.pixels.empty());
}

TEST(IconImage, CutColourBitsAreRefusedOddHeightToo)
{
    std::vector<BYTE> data = SmallIcon();
    // Cut inside the header, palette or colour bits (not the optional mask).
    for (size_t cut = 0; cut < 40 + 64 + 8; ++cut) {
        std::vector<BYTE> part(data.begin(), data.begin() + cut);
        IconImage icon;
        EXPECT_FALSE(ParseIconImage(part.data(), part.size(), &icon)) << cut;
    }
    Bytes odd = InfoHeader(2, 3, 24);
    odd.Raw(std::vector<BYTE>(64, 0));
    IconImage icon;
    EXPECT_FALSE(ParseIconImage(odd.data.data(), odd.data.size(), &icon));
}

}  // namespace

namespace {

TEST(DialogTemplate, PredefinedClassNamesBecomeAtoms)
{
    Bytes b;
    b.D(0x80000000).D(0).W(2).W(0).W(0).W(10).W(10).W(0).W(0).S(u"");
    b.Align(4).D(0x50000000).D(0).W(0).W(0).W(1).W(1).W(1).S(u"STATIC").S(u"a").W(0);
    b.Align(4).D(0x50000000).D(0).W(0).W(0).W(1).W(1).W(2).S(u"Statics").S(u"b").W(0);
    DialogTemplate t;
    ASSERT_TRUE(ParseDialogTemplate(b.data.data(), b.data.size(), &t));
    EXPECT_EQ(t.items[0].classAtom, kDialogClassStatic);
    EXPECT_TRUE(t.items[0].className.empty());
    EXPECT_EQ(t.items[1].classAtom, 0);
    EXPECT_EQ(t.items[1].className, u"Statics");
}

}  // namespace
