// The page window on a small book, driven as the contents window and a user
// drive it: "Browse" (extract, Create, LoadPage, Show), the viewer's
// notifications, soft keys, the Back key and activation. The viewer and the
// window are subclassed to see what passes between them.
#include <Book.h>
#include <PageWindow.h>
#include <lwdevice.h>

#include "../support/modal.h"
#include "BookTestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

struct Event {
    UINT message;  // a DTM_ message to the viewer, or the NM_ code of a notification from it
    std::u16string text;
    DWORD cookie = 0;
    SIZE size = {};
};

std::vector<Event>& Events()
{
    static std::vector<Event> events;
    return events;
}

WNDPROC viewerProc = nullptr;
WNDPROC windowProc = nullptr;

LRESULT CALLBACK RecordViewer(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Event event{message, {}};
    if (message == DTM_SETIMAGE) {
        auto* info = reinterpret_cast<const INLINEIMAGEINFO*>(lParam);
        BITMAP bitmap{};
        EXPECT_TRUE(GetObjectW(info->hbm, sizeof bitmap, &bitmap)) << "a live bitmap";
        event.cookie = info->dwCookie;
        event.size = {info->iOrigWidth, info->iOrigHeight};
        EXPECT_EQ(bitmap.bmWidth, info->iOrigWidth);
        EXPECT_FALSE(info->bOwnBitmap);
    } else if (message == DTM_IMAGEFAIL) {
        event.cookie = static_cast<DWORD>(lParam);
    } else if (message == WM_SETTEXT || message == DTM_ANCHORW) {
        event.text = reinterpret_cast<LPCWSTR>(lParam);
    } else if (message != DTM_ENDOFSOURCE) {
        return CallWindowProcW(viewerProc, window, message, wParam, lParam);
    }
    Events().push_back(event);
    return CallWindowProcW(viewerProc, window, message, wParam, lParam);
}

LRESULT CALLBACK RecordWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* notice = reinterpret_cast<const NM_HTMLVIEW*>(lParam);
    if (message == WM_NOTIFY && notice->hdr.code != NM_HOTSPOT)
        Events().push_back({notice->hdr.code, notice->szTarget, notice->dwCookie});
    return CallWindowProcW(windowProc, window, message, wParam, lParam);
}

class PageWindowTest : public booktest::ScratchTest {
protected:
    void SetUp() override
    {
        ScratchTest::SetUp();
        LwDeviceStart();
        ASSERT_TRUE(book.LoadContents(booktest::DeviceTestBook("links").c_str()));
        Events().clear();
    }
    void TearDown() override
    {
        if (IsWindow(page.window))
            page.Close();
        lwtest::Drain();
        ScratchTest::TearDown();
    }

    // What "Browse" does for a contents entry, with the recorders in place
    // before the page is loaded.
    void Browse(const std::u16string& local)
    {
        book.ClearTempFolder();
        book.ExtractPage(local.c_str(), u"\\Temp");
        ASSERT_TRUE(page.Create(&book, GetModuleHandleW(nullptr), u"\\Temp"));
        viewerProc = reinterpret_cast<WNDPROC>(SetWindowLongW(page.viewer, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(RecordViewer)));
        windowProc = reinterpret_cast<WNDPROC>(SetWindowLongW(page.window, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(RecordWindow)));
        size_t split = local.find_last_of(u"/");
        page.LoadPage(local.substr(0, split).c_str(), local.substr(split + 1).c_str());
        page.Show();
        lwtest::Drain();
    }
    // The viewer's notification of a followed link.
    void Follow(const std::u16string& target)
    {
        Events().clear();
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
    bool Reloaded()
    {
        for (const Event& e : Events())
            if (e.message == WM_SETTEXT)
                return true;
        return false;
    }

    Book book;
    PageWindow page;
};

// Every picture is asked for by its src and answered from the scratch folder
// by its bare name: GIF, JPEG, PNG, BMP, a name with %20; a missing one fails.
TEST_F(PageWindowTest, ShowsThePageWithItsPicturesAndTitle)
{
    Browse(u"/html/a.htm");
    std::vector<std::u16string> asked;
    std::vector<Event> answers;
    for (const Event& e : Events()) {
        if (e.message == NM_INLINE_IMAGE)
            asked.push_back(e.text);
        if (e.message == DTM_SETIMAGE || e.message == DTM_IMAGEFAIL)
            answers.push_back(e);
    }
    EXPECT_EQ(asked, (std::vector<std::u16string>{u"red.gif", u"green.jpg", u"blue.png", u"black.bmp",
                                                  u"my%20pic.gif", u"missing.gif"}));
    ASSERT_EQ(answers.size(), 6u);
    const SIZE sizes[] = {{8, 6}, {10, 5}, {12, 4}, {6, 3}, {5, 5}};
    for (size_t k = 0; k < 5; ++k) {
        EXPECT_EQ(answers[k].message, static_cast<UINT>(DTM_SETIMAGE)) << k;
        EXPECT_EQ(answers[k].size.cx, sizes[k].cx) << k;
        EXPECT_EQ(answers[k].size.cy, sizes[k].cy) << k;
    }
    EXPECT_EQ(answers[5].message, static_cast<UINT>(DTM_IMAGEFAIL));
    EXPECT_EQ(answers[5].cookie, answers[4].cookie + 1);

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

// "#name" scrolls the page shown without loading it; "page.htm#name" loads the
// page and scrolls. Web links, and links whose path does not fit, do nothing.
TEST_F(PageWindowTest, AnchorsScrollAndSomeLinksDoNothing)
{
    Browse(u"/html/b.htm");
    Follow(u"#part");
    EXPECT_FALSE(Reloaded());
    ASSERT_EQ(Events().size(), 1u);
    EXPECT_EQ(Events()[0].message, static_cast<UINT>(DTM_ANCHORW));
    EXPECT_EQ(Events()[0].text, u"part");

    Follow(u"../top.htm");
    Follow(u"html/b.htm#part");
    EXPECT_EQ(Caption(), u"Page B");
    ASSERT_FALSE(Events().empty());
    EXPECT_EQ(Events().back().message, static_cast<UINT>(DTM_ANCHORW));
    EXPECT_EQ(Events().back().text, u"part");

    std::u16string tooLong = u"sub/" + std::u16string(300, u'x') + u".htm";
    std::u16string besideTemp = u"/" + std::u16string(255, u'n');  // fits a book path, not "\Temp\" + name
    for (const std::u16string& target : {std::u16string(u"http://example.com/b.htm"), std::u16string(u"HTTP://B.HTM"),
                                         std::u16string(u"www.example.com"), std::u16string(u"WwW.b.htm"),
                                         std::u16string(u"pages/wWw.htm"), tooLong, besideTemp}) {
        Follow(target);
        EXPECT_TRUE(Events().empty()) << booktest::Utf8(target);
        EXPECT_EQ(Caption(), u"Page B");
    }
}

// An empty page file is an empty page: the viewer gets it all the same.
TEST_F(PageWindowTest, AnEmptyPageFileIsHandedToTheViewer)
{
    Browse(u"/html/a.htm");
    std::ofstream(Scratch() / "empty.htm", std::ios::binary).flush();
    Events().clear();
    EXPECT_TRUE(page.LoadPage(u"/html", u"empty.htm"));
    ASSERT_EQ(Events().size(), 2u);
    EXPECT_EQ(Events()[0].message, static_cast<UINT>(WM_SETTEXT));
    EXPECT_EQ(Events()[1].message, static_cast<UINT>(DTM_ENDOFSOURCE));
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
    const char* targets[] = {"https:", "mailto:", "javascript:", "ftp:", "news:", "file:", "ms-its:other.chm",
                             "JavaScript:", "mk:@MSITStore:Other.chm"};
    for (size_t k = 0; k < 9; ++k) {
        Events().clear();
        ASSERT_TRUE(LwDeviceTap(links[k].x, links[k].y + 3));
        lwtest::Drain();
        EXPECT_FALSE(Reloaded()) << targets[k];
        EXPECT_EQ(ScratchFiles(), files) << targets[k];
        EXPECT_EQ(std::u16string(page.currentFolder), u"/html") << targets[k];
    }
    Events().clear();
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
