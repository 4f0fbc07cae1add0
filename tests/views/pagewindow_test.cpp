// The page window on a small book, driven as the contents window and a user
// drive it: "Browse" (extract, Create, LoadPage, Show), the viewer's
// notifications, soft keys, the Back key and activation. The viewer and the
// window are subclassed to see what passes between them.
#include <Book.h>
#include <PageWindow.h>
#include <lwdevice.h>

#include "../support/messages.h"
#include "../support/modal.h"
#include "BookTestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

using lwtest::Matches;
using lwtest::Msg;
using lwtest::Note;
using namespace lwtest; // the recorder's flags

// What passes between the page window and its viewer, decoded while alive: a
// picture's cookie (item) and size (how: width, height), a failed picture's
// cookie, an anchor's name, a notice's target (text) and cookie.
void DecodeViewer(const Msg& raw, Msg* msg)
{
    if (raw.message == WM_NOTIFY) {
        auto* notice = reinterpret_cast<const NM_HTMLVIEW*>(raw.lParam);
        UINT code = notice->hdr.code;
        if (code == NM_HOTSPOT || code == NM_INLINE_IMAGE || code == NM_TITLE) {
            msg->text = notice->szTarget ? notice->szTarget : u"";
            msg->item = notice->dwCookie;
        }
    } else if (raw.message == DTM_SETIMAGE) {
        auto* info = reinterpret_cast<const INLINEIMAGEINFO*>(raw.lParam);
        BITMAP bitmap{};
        EXPECT_TRUE(GetObjectW(info->hbm, sizeof bitmap, &bitmap)) << "a live bitmap";
        EXPECT_EQ(bitmap.bmWidth, info->iOrigWidth);
        EXPECT_EQ(bitmap.bmHeight, info->iOrigHeight);
        EXPECT_FALSE(info->bOwnBitmap);
        msg->item = info->dwCookie;
        msg->how = MAKELONG(info->iOrigWidth, info->iOrigHeight);
    } else if (raw.message == DTM_IMAGEFAIL) {
        msg->item = raw.lParam;
    } else if (raw.message == DTM_ANCHORW) {
        msg->text = reinterpret_cast<LPCWSTR>(raw.lParam);
    }
}

// A notice from the viewer with its target, and the viewer's answers.
Msg Notice(UINT code, const std::u16string& target, DWORD cookie = 0)
{
    return Msg{WM_NOTIFY, kParent | kSent | (cookie ? kItem : 0u), 0, 0, code, cookie}.Saying(target);
}
Msg Picture(DWORD cookie, int width, int height)
{
    return Msg{DTM_SETIMAGE, kSent | kItem | kHow, 0, 0, 0, cookie, static_cast<UINT>(MAKELONG(width, height))};
}
// The viewer asks for the pictures it reaches from the message loop.
const Msg kAsksForPictures{WM_USER + 0x710, kPosted};

// The page as LoadPage hands it over (the viewer and the caption emptied
// first), and the title it makes the caption.
std::vector<Msg> PageLoaded(const std::u16string& title)
{
    return {Msg{WM_SETTEXT, kSent}.Saying(u""), Msg{WM_SETTEXT, kParent | kSent}.Saying(u""), {DTM_ADDTEXTW, kSent},
            {DTM_ENDOFSOURCE, kSent}, Notice(NM_TITLE, title), Msg{WM_SETTEXT, kParent | kSent}.Saying(title)};
}

class PageWindowTest : public booktest::ScratchTest {
protected:
    void SetUp() override
    {
        ScratchTest::SetUp();
        LwDeviceStart();
        ASSERT_TRUE(book.LoadContents(booktest::DeviceTestBook("links").c_str()));
        recorder.decode = DecodeViewer;
    }
    void TearDown() override
    {
        if (IsWindow(page.window))
            page.Close();
        lwtest::Drain();
        ScratchTest::TearDown();
    }

    // What "Browse" does for a contents entry, with the viewer and the window
    // watched before the page is loaded.
    void Browse(const std::u16string& local)
    {
        book.ClearTempFolder();
        book.ExtractPage(local.c_str(), u"\\Temp");
        ASSERT_TRUE(page.Create(&book, GetModuleHandleW(nullptr), u"\\Temp"));
        recorder.Clear();
        recorder.Watch(page.viewer);
        recorder.WatchParent(page.window);
        size_t split = local.find_last_of(u"/");
        page.LoadPage(local.substr(0, split).c_str(), local.substr(split + 1).c_str());
        page.Show();
        lwtest::Drain();
    }
    // The viewer's notification of a followed link.
    void Follow(const std::u16string& target)
    {
        recorder.Clear();
        NM_HTMLVIEW notice{};
        notice.hdr = {page.viewer, 4100, NM_HOTSPOT};
        notice.szTarget = target.c_str();
        SendMessageW(page.window, WM_NOTIFY, 4100, reinterpret_cast<LPARAM>(&notice));
        lwtest::Drain();
    }
    std::u16string Caption()
    {
        WCHAR caption[80] = {};
        GetWindowTextW(page.window, caption, 80);
        return caption;
    }
    std::u16string Shown()
    {
        WCHAR text[512] = {};
        GetWindowTextW(page.viewer, text, 512);
        return text;
    }
    bool Reloaded() const { return recorder.Count(page.viewer, WM_SETTEXT) > 0; }
    Book book;
    PageWindow page;
    lwtest::Recorder recorder;
};

// Every picture is asked for by its src and answered from the scratch folder
// by its bare name: GIF, JPEG, PNG, BMP, a name with %20; a missing one fails.
TEST_F(PageWindowTest, ShowsThePageWithItsPicturesAndTitle)
{
    Browse(u"/html/a.htm");
    std::vector<Msg> expected = PageLoaded(u"Page A");
    expected.insert(expected.end(), {{WM_SHOWWINDOW, kParent | kSent | kWParam, TRUE},
                                     {WM_ACTIVATE, kParent | kSent | kWParam, WA_ACTIVE},
                                     {DTM_ENABLESHRINK, kPosted | kLParam, 0, TRUE}, // wide pages shrink to the screen
                                     kAsksForPictures,
                                     Notice(NM_INLINE_IMAGE, u"red.gif", 1), Picture(1, 8, 6),
                                     Notice(NM_INLINE_IMAGE, u"green.jpg", 2), Picture(2, 10, 5),
                                     Notice(NM_INLINE_IMAGE, u"blue.png", 3), Picture(3, 12, 4),
                                     Notice(NM_INLINE_IMAGE, u"black.bmp", 4), Picture(4, 6, 3),
                                     Notice(NM_INLINE_IMAGE, u"my%20pic.gif", 5), Picture(5, 5, 5),
                                     Notice(NM_INLINE_IMAGE, u"missing.gif", 6), {DTM_IMAGEFAIL, kSent | kLParam, 0, 6}});
    EXPECT_TRUE(Matches(recorder.Take(), expected));

    EXPECT_EQ(Caption(), u"Page A");
    EXPECT_EQ(LwDeviceTitle(), u"Page A");
    EXPECT_EQ(Shown().substr(0, 8), u"BBBBBBBB");
    EXPECT_EQ(std::u16string(page.currentFolder), u"/html");
}

// The bitmap handed to the viewer is the page window's to delete: many pages
// with pictures leave the number of GDI objects where it was.
TEST_F(PageWindowTest, PicturesLeakNoBitmap)
{
    Browse(u"/html/a.htm");
    DWORD objects = LwGdiObjectCount();
    for (int k = 0; k < 200; ++k) {
        book.ClearTempFolder();
        book.ExtractPage(u"/html/a.htm", u"\\Temp");
        page.LoadPage(u"/html", u"a.htm");
        lwtest::Drain();
    }
    EXPECT_EQ(LwGdiObjectCount(), objects);
}

// Links resolve against the shown page's folder inside the book, the first
// by a tap on the page itself.
TEST_F(PageWindowTest, LinksResolveFromThePagesFolder)
{
    Browse(u"/html/a.htm");
    POINT link{10, 8};
    ClientToScreen(page.viewer, &link);
    ASSERT_TRUE(LwDeviceTap(link.x, link.y));
    lwtest::Drain();
    EXPECT_EQ(Caption(), u"Page B");

    struct Step {
        const char16_t* target;
        const char16_t* caption;
        const char16_t* folder;
    };
    const Step steps[] = {
        {u"./b.htm", u"Page B", u"/html"},     {u"../top.htm", u"Top", u""},
        {u"../html/b.htm", u"Page B", u"/html"}, {u"../../top.htm", u"Top", u""},
        {u"/html/b.htm", u"Page B", u"/html"}, {u"sub/c.htm", u"Page C", u"/html/sub"},
        {u"d.htm", u"Page D", u"/html/sub"},   {u"../b.htm", u"Page B", u"/html"},
    };
    for (const Step& step : steps) {
        Follow(step.target);
        EXPECT_EQ(Caption(), step.caption) << booktest::Utf8(step.target);
        EXPECT_EQ(std::u16string(page.currentFolder), step.folder) << booktest::Utf8(step.target);
    }
    EXPECT_EQ(Shown().substr(0, 9), u"line 1 of");
}

// A followed link, the whole sequence: the page is written in place of the one
// shown (the scratch folder as LoadPage finds it, beside the first message)
// and loaded, its caption emptied until its title comes.
TEST_F(PageWindowTest, AFollowedLinkWritesItsPageThenLoadsIt)
{
    Browse(u"/html/a.htm");
    std::vector<std::map<std::string, std::string>> scratchAtLoad;
    recorder.decode = [&](const Msg& raw, Msg* msg) {
        DecodeViewer(raw, msg);
        if (raw.message == WM_SETTEXT && msg->window == page.viewer)
            scratchAtLoad.push_back(ScratchFiles());
    };
    Follow(u"sub/c.htm");
    std::vector<Msg> expected = {Notice(NM_HOTSPOT, u"sub/c.htm")};
    for (const Msg& loaded : PageLoaded(u"Page C"))
        expected.push_back(loaded);
    EXPECT_TRUE(Matches(recorder.Take(), expected));
    ASSERT_EQ(scratchAtLoad.size(), 1u);
    EXPECT_EQ(scratchAtLoad[0].size(), 1u);
    EXPECT_EQ(scratchAtLoad[0].count("c.htm"), 1u);
}

// "#name" scrolls the page shown without loading it; "page.htm#name" loads the
// page and scrolls. Web links, and links whose path does not fit, do nothing.
TEST_F(PageWindowTest, AnchorsScrollAndSomeLinksDoNothing)
{
    Browse(u"/html/b.htm");
    Follow(u"#part");
    const Msg link = Notice(NM_HOTSPOT, u"#part");
    EXPECT_TRUE(Matches(recorder.Take(), {link, Msg{DTM_ANCHORW, kSent}.Saying(u"part")}));

    Follow(u"../top.htm");
    Follow(u"html/b.htm#part");
    std::vector<Msg> expected = {Notice(NM_HOTSPOT, u"html/b.htm#part")};
    for (const Msg& loaded : PageLoaded(u"Page B"))
        expected.push_back(loaded);
    expected.push_back(Msg{DTM_ANCHORW, kSent}.Saying(u"part"));
    EXPECT_TRUE(Matches(recorder.Take(), expected));

    std::u16string tooLong = u"sub/" + std::u16string(300, u'x') + u".htm";
    std::u16string besideTemp = u"/" + std::u16string(255, u'n');  // fits a book path, not "\Temp\" + name
    for (const std::u16string& target : {std::u16string(u"http://example.com/b.htm"), std::u16string(u"HTTP://B.HTM"),
                                         std::u16string(u"www.example.com"), std::u16string(u"WwW.b.htm"),
                                         std::u16string(u"pages/wWw.htm"), tooLong, besideTemp}) {
        Follow(target);
        EXPECT_TRUE(Matches(recorder.Take(), {Notice(NM_HOTSPOT, target)})) << booktest::Utf8(target);
        EXPECT_EQ(Caption(), u"Page B");
    }
}

// An empty page file is an empty page: the viewer gets it all the same.
TEST_F(PageWindowTest, AnEmptyPageFileIsHandedToTheViewer)
{
    Browse(u"/html/a.htm");
    std::ofstream(Scratch() / "empty.htm", std::ios::binary).flush();
    recorder.Clear();
    EXPECT_TRUE(page.LoadPage(u"/html", u"empty.htm"));
    lwtest::Drain();
    EXPECT_TRUE(Matches(recorder.Take(), {Msg{WM_SETTEXT, kSent}.Saying(u""), Msg{WM_SETTEXT, kParent | kSent}.Saying(u""),
                                          {DTM_ADDTEXTW, kSent}, {DTM_ENDOFSOURCE, kSent}}));
    EXPECT_EQ(Shown(), u"");
}

// A page without a title shows no caption after a link, as it shows none from
// the contents: not the title of the page before it.
TEST_F(PageWindowTest, APageWithoutATitleHasNoCaption)
{
    Browse(u"/html/a.htm");
    ASSERT_EQ(Caption(), u"Page A");
    Follow(u"schemes.htm");
    EXPECT_TRUE(Reloaded());
    EXPECT_EQ(Caption(), u"");
    EXPECT_EQ(LwDeviceTitle(), u"");
}

// A tapped link whose scheme is not the book's own, or that names another
// book, leaves the page and the scratch folder as they are; one that names
// this book through the help system's scheme shows its page.
TEST_F(PageWindowTest, LinksOutOfTheBookDoNothing)
{
    Browse(u"/html/schemes.htm");
    // The page's ten links are red blocks, one to a line.
    std::vector<POINT> links;
    auto findLinks = [&] {
        links.clear();
        RECT client;
        GetClientRect(page.viewer, &client);
        bool inside = false;
        for (int y = 0; y < client.bottom; ++y) {
            POINT at{20, y};
            ClientToScreen(page.viewer, &at);
            bool red = LwDevicePixel(at.x, at.y) == RGB(255, 0, 0);
            if (red && !inside)
                links.push_back(at);
            inside = red;
        }
        return links.size() == 10;
    };
    ASSERT_TRUE(lwtest::PumpUntil(findLinks));
    std::map<std::string, std::string> files = ScratchFiles();
    ASSERT_EQ(files.size(), 2u) << "the page and its picture";
    const char16_t* targets[] = {u"https://example.com/html/b.htm", u"mailto:someone@example.com",
                                 u"javascript:void(0)", u"ftp://example.com/html/b.htm", u"news:comp.lang.c",
                                 u"file:///C:/html/b.htm", u"ms-its:other.chm::/html/b.htm",
                                 u"JavaScript:history.back()", u"mk:@MSITStore:Other.chm::/top.htm"};
    for (size_t k = 0; k < 9; ++k) {
        recorder.Clear();
        ASSERT_TRUE(LwDeviceTap(links[k].x, links[k].y + 3));
        lwtest::Drain();
        EXPECT_TRUE(Matches(recorder.Take(), {{WM_LBUTTONDOWN, kPosted}, {WM_LBUTTONUP, kPosted},
                                              Notice(NM_HOTSPOT, targets[k])}));
        EXPECT_EQ(ScratchFiles(), files) << booktest::Utf8(targets[k]);
        EXPECT_EQ(std::u16string(page.currentFolder), u"/html");
    }
    ASSERT_TRUE(LwDeviceTap(links[9].x, links[9].y + 3));  // "ms-its:links.chm::/html/b.htm"
    lwtest::Drain();
    EXPECT_EQ(Caption(), u"Page B");
    Follow(u"mk:@MSITStore:\\device\\LINKS.CHM::top.htm");
    EXPECT_EQ(Caption(), u"Top");
    EXPECT_EQ(std::u16string(page.currentFolder), u"");
}

// The Back key is swallowed; "OK", "Cancel" and another window's activation end the window.
TEST_F(PageWindowTest, BackIsSwallowedAndTheWindowEndsOnOkCancelOrDeactivation)
{
    Browse(u"/html/a.htm");
    LwDeviceBackKey(true);
    LwDeviceBackKey(false);
    lwtest::Drain();
    EXPECT_TRUE(IsWindow(page.window));
    EXPECT_EQ(Shown().substr(0, 8), u"BBBBBBBB");

    LwDevicePressKey(VK_F1);
    lwtest::Drain();
    EXPECT_FALSE(IsWindow(page.window)) << "OK";

    Browse(u"/html/a.htm");
    LwDevicePressKey(VK_F2);
    lwtest::Drain();
    EXPECT_FALSE(IsWindow(page.window)) << "Cancel";

    Browse(u"/html/a.htm");
    HWND other = CreateWindowExW(0, u"static", u"other", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                 CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
    lwtest::Drain();
    EXPECT_FALSE(IsWindow(page.window)) << "another window became active";
    DestroyWindow(other);
}

} // namespace
