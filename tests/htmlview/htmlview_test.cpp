// The HTML viewer control, driven as a parent window drives it: pages by
// DTM_ADDTEXTW, pictures answered to NM_INLINE_IMAGE, links by taps and keys;
// what it shows is read back from the device's screen.
#include <htmlctrl.h>
#include <lwdevice.h>
#include <windows.h>

#include "../support/messages.h"
#include "../support/modal.h"
#include "bounds.h"
#include "gdi_qt.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <sys/inotify.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

namespace {

using lwtest::Matches;
using lwtest::Msg;
using lwtest::kParent;
using lwtest::kSent;
using lwtest::kText;

// A notification of the viewer as the recorder keeps it: its target (text)
// and cookie (item).
void DecodeNotice(const Msg& raw, Msg* msg)
{
    if (raw.message != WM_NOTIFY)
        return;
    auto* notice = reinterpret_cast<const NM_HTMLVIEW*>(raw.lParam);
    msg->text = notice->szTarget ? notice->szTarget : u"";
    msg->item = notice->dwCookie;
}

Msg Notice(UINT code, const std::u16string& target)
{
    return Msg{WM_NOTIFY, kParent | kSent, 0, 0, code}.Saying(target);
}

// How the parent answers a notification; by default it takes it and answers nothing.
std::function<LRESULT(HWND viewer, const NM_HTMLVIEW&)>& Answer()
{
    static std::function<LRESULT(HWND, const NM_HTMLVIEW&)> answer;
    return answer;
}

LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_NOTIFY)
        return DefWindowProcW(window, message, wParam, lParam);
    auto* notice = reinterpret_cast<const NM_HTMLVIEW*>(lParam);
    return Answer() ? Answer()(notice->hdr.hwndFrom, *notice) : 1;
}

HBITMAP Bitmap(int width, int height, QColor color)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return LwCreateBitmapFromImage(image, 32);
}

// Answers every picture with a bitmap of this colour (the control keeps a copy).
LRESULT AnswerWith(HWND viewer, const NM_HTMLVIEW& notice, QColor color, int width = 40, int height = 40)
{
    INLINEIMAGEINFO info{notice.dwCookie, height, width, Bitmap(width, height, color), FALSE};
    SendMessageW(viewer, DTM_SETIMAGE, 0, reinterpret_cast<LPARAM>(&info));
    DeleteObject(info.hbm);
    return 1;
}

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);

class HtmlView : public ::testing::Test {
protected:
    void SetUp() override
    {
        LwDeviceStart();
        ASSERT_TRUE(InitHTMLControl(GetModuleHandleW(nullptr)));
        WNDCLASSW wc{};
        if (!GetClassInfoW(nullptr, u"LwHtmlParent", &wc)) {
            wc.lpfnWndProc = ParentProc;
            wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
            wc.lpszClassName = u"LwHtmlParent";
            RegisterClassW(&wc);
        }
        MakeViewer(WS_VISIBLE);
        ASSERT_TRUE(viewer);
        Answer() = nullptr;
        lwtest::Drain();
        recorder.decode = DecodeNotice;
        recorder.Clear();
    }
    void TearDown() override
    {
        DestroyWindow(parent);
        lwtest::Drain();
        Answer() = nullptr;
    }

    // The viewer in a parent window of this style (shown or not).
    void MakeViewer(DWORD parentStyle)
    {
        parent = CreateWindowExW(0, u"LwHtmlParent", u"Page", parentStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
        recorder.WatchParent(parent);
        viewer = CreateWindowExW(0, DISPLAYCLASS, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 240, 268, parent,
                                 reinterpret_cast<HMENU>(4100), GetModuleHandleW(nullptr), nullptr);
    }
    void Load(const std::u16string& html)
    {
        SendMessageW(viewer, DTM_CLEAR, 0, 0);
        SendMessageW(viewer, DTM_ADDTEXTW, FALSE, reinterpret_cast<LPARAM>(html.c_str()));
        SendMessageW(viewer, DTM_ENDOFSOURCE, 0, 0);
        lwtest::Drain();
    }
    COLORREF Pixel(int x, int y)
    {
        POINT p{x, y};
        ClientToScreen(viewer, &p);
        lwtest::Drain();
        return LwDevicePixel(p.x, p.y);
    }
    void Tap(int x, int y)
    {
        POINT p{x, y};
        ClientToScreen(viewer, &p);
        ASSERT_TRUE(LwDeviceTap(p.x, p.y));
        lwtest::Drain();
    }
    void Key(UINT key)
    {
        SendMessageW(viewer, WM_KEYDOWN, key, 1);
        SendMessageW(viewer, WM_KEYUP, key, 0xC0000001);
    }
    std::u16string Text()
    {
        std::u16string text(static_cast<size_t>(SendMessageW(viewer, WM_GETTEXTLENGTH, 0, 0)) + 1, u'\0');
        text.resize(static_cast<size_t>(SendMessageW(viewer, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
        return text;
    }
    // The viewer's notifications of one code (pictures asked for, links followed).
    std::vector<Msg> Of(UINT code)
    {
        std::vector<Msg> out;
        for (const Msg& m : recorder.Seen())
            if (m.message == WM_NOTIFY && m.code == code)
                out.push_back(m);
        return out;
    }

    lwtest::Recorder recorder;
    HWND parent = nullptr;
    HWND viewer = nullptr;
};

// Each picture is asked for in page order with its src as written, then the
// title follows; answers given at once, later, by failure, or never all show.
TEST_F(HtmlView, PicturesAreAskedForAndShownAsAnswered)
{
    Answer() = [](HWND v, const NM_HTMLVIEW& n) -> LRESULT {
        if (n.hdr.code != NM_INLINE_IMAGE)
            return 1;
        if (std::u16string(n.szTarget) == u"red.gif")
            return AnswerWith(v, n, Qt::red);
        if (std::u16string(n.szTarget) == u"../img/my%20pic.gif")
            return SendMessageW(v, DTM_IMAGEFAIL, 0, n.dwCookie), 1;
        return 1; // answered later
    };
    Load(u"\xFEFF<html><head><title> The \n title </title></head><body>"
         u"<img src=\"red.gif\"><img src=\"../img/my%20pic.gif\" width=\"30\" height=\"30\">"
         u"<img src=\"/later.png\" width=\"40\" height=\"40\"></body></html>");

    std::vector<Msg> notices = recorder.Take();
    EXPECT_TRUE(Matches(notices, {Notice(NM_TITLE, u"The title"), Notice(NM_INLINE_IMAGE, u"red.gif"),
                                  Notice(NM_INLINE_IMAGE, u"../img/my%20pic.gif"),
                                  Notice(NM_INLINE_IMAGE, u"/later.png")}));
    ASSERT_EQ(notices.size(), 4u);
    notices.erase(notices.begin());
    EXPECT_NE(notices[0].item, notices[1].item) << "each picture its own cookie";

    // Document margin 4: the red picture at 4..44, the mark at 44..74, the late one at 74..114.
    EXPECT_EQ(Pixel(20, 20), kRed);
    EXPECT_EQ(Pixel(47, 30), RGB(224, 224, 224)) << "the broken-picture mark, on the line's baseline";
    EXPECT_EQ(Pixel(90, 20), kWhite) << "an unanswered picture keeps its place empty";

    // An answer after the layout; the bitmap handed over with bOwnBitmap goes with it.
    HBITMAP owned = Bitmap(40, 40, Qt::blue);
    INLINEIMAGEINFO late{static_cast<DWORD>(notices[2].item), 40, 40, owned, TRUE};
    EXPECT_TRUE(SendMessageW(viewer, DTM_SETIMAGE, 0, reinterpret_cast<LPARAM>(&late)));
    BITMAP info;
    EXPECT_EQ(GetObjectW(owned, sizeof info, &info), 0) << "the control deleted the bitmap it owned";
    EXPECT_EQ(Pixel(90, 20), RGB(0, 0, 255));

    // Cookies of nothing, and a page's cookies once the page is gone, are refused.
    HBITMAP kept = Bitmap(4, 4, Qt::green);
    INLINEIMAGEINFO stale{static_cast<DWORD>(notices[0].item) + 100, 4, 4, kept, FALSE};
    EXPECT_FALSE(SendMessageW(viewer, DTM_SETIMAGE, 0, reinterpret_cast<LPARAM>(&stale)));
    EXPECT_FALSE(SendMessageW(viewer, DTM_IMAGEFAIL, 0, notices[0].item + 100));
    EXPECT_FALSE(SendMessageW(viewer, DTM_SETIMAGE, 0, 0));
    EXPECT_EQ(GetObjectW(kept, sizeof info, &info), static_cast<int>(sizeof info)) << "not owned: left alone";
    DeleteObject(kept);
    SendMessageW(viewer, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u""));
    EXPECT_FALSE(SendMessageW(viewer, DTM_IMAGEFAIL, 0, notices[2].item));
    EXPECT_EQ(SendMessageW(viewer, WM_GETTEXTLENGTH, 0, 0), 0);
}

// A picture answered while a long page is still being laid out (in steps,
// from the loop) must not end the layout there: the rest of the page is laid
// out and its pictures are asked for.
TEST_F(HtmlView, LongPagesAreLaidOutToTheirEndAroundAnsweredPictures)
{
    Answer() = [](HWND v, const NM_HTMLVIEW& n) -> LRESULT {
        return n.hdr.code == NM_INLINE_IMAGE ? AnswerWith(v, n, Qt::red) : 1;
    };
    std::u16string page = u"<img src=\"top.gif\">";
    for (int k = 0; k < 40; ++k)
        page += u"<p>lorem ipsum dolor sit amet lorem ipsum dolor sit amet lorem ipsum dolor sit amet</p>";
    Load(page + u"<img src=\"end.gif\">");
    EXPECT_TRUE(lwtest::PumpUntil([&] { return Of(NM_INLINE_IMAGE).size() == 2; }))
        << Of(NM_INLINE_IMAGE).size() << " of 2 pictures asked for";
}

// A parent that does not take the request leaves the mark; with shrink on (as
// it starts), a picture wider than the control is scaled to its width with its
// proportions.
TEST_F(HtmlView, UnansweredRequestsFailAndShrinkFitsWidePictures)
{
    Answer() = [](HWND, const NM_HTMLVIEW&) -> LRESULT { return 0; };
    Load(u"<img src=\"a.gif\">");
    EXPECT_EQ(Pixel(6, 12), RGB(224, 224, 224));

    Answer() = [](HWND v, const NM_HTMLVIEW& n) -> LRESULT { return AnswerWith(v, n, Qt::red, 900, 90); };
    SendMessageW(viewer, DTM_ENABLESHRINK, 0, FALSE);
    SendMessageW(viewer, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u"<img src=\"wide.gif\"><p>after</p>"));
    lwtest::Drain();
    EXPECT_EQ(Pixel(100, 60), kRed) << "at its own size the picture is 90 high";
    SendMessageW(viewer, DTM_ENABLESHRINK, 0, TRUE);
    EXPECT_EQ(Pixel(100, 20), kRed);
    EXPECT_NE(Pixel(100, 60), kRed) << "232 wide, so 23 high";
    EXPECT_EQ(Pixel(237, 20), kWhite) << "nothing past the width";
}

// Taps and keys follow links only through NM_HOTSPOT, with the href as written.
TEST_F(HtmlView, LinksAreFollowedByTapAndKeys)
{
    Load(u"<a href=\"Sub/Page.htm#part\">FIRSTLINK</a> plain text here<br>"
         u"<a href=\"HTTP://www.example.com/\">second</a> <a href=\"#top\">third</a>");
    Tap(200, 9); // plain text: the viewer takes the focus, nothing more
    EXPECT_TRUE(Matches(recorder.Take(), {{WM_KILLFOCUS, kParent | kSent}}));
    Tap(12, 9);
    EXPECT_TRUE(Matches(recorder.Take(), {Notice(NM_HOTSPOT, u"Sub/Page.htm#part")}));
    EXPECT_EQ(Pixel(5, 5), RGB(0, 0, 128)) << "the tapped link carries the focus mark";

    recorder.Clear();
    Key(VK_DOWN); // the next link in view
    Key(VK_RETURN);
    Key(VK_TAB);
    Key(VK_RETURN);
    SendMessageW(viewer, WM_KEYDOWN, VK_SHIFT, 1);
    Key(VK_TAB);
    Key(VK_TAB);
    SendMessageW(viewer, WM_KEYUP, VK_SHIFT, 0xC0000001);
    Key(VK_RETURN);
    EXPECT_TRUE(Matches(recorder.Take(), {Notice(NM_HOTSPOT, u"HTTP://www.example.com/"), Notice(NM_HOTSPOT, u"#top"),
                                          Notice(NM_HOTSPOT, u"Sub/Page.htm#part")}));
    EXPECT_EQ(SendMessageW(viewer, WM_GETDLGCODE, 0, 0) & DLGC_WANTARROWS, DLGC_WANTARROWS);
}

// Down scrolls a page without links in view; an anchor scrolls to itself.
TEST_F(HtmlView, KeysScrollAndAnchorsBringTheirPlaceToTheTop)
{
    std::u16string page = u"<p>top</p>";
    for (int k = 0; k < 60; ++k)
        page += u"<p>line</p>";
    page += u"<p style=\"background-color:#ff0000\"><a name=\"part\">PART</a><br>.<br>.<br>.</p><p id=\"other\">o</p>";
    for (int k = 0; k < 60; ++k)
        page += u"<p>line</p>";
    Load(page);
    EXPECT_FALSE(SendMessageW(viewer, DTM_ANCHORW, 0, reinterpret_cast<LPARAM>(u"missing")));
    EXPECT_NE(Pixel(100, 8), kRed);
    EXPECT_TRUE(SendMessageW(viewer, DTM_ANCHORW, 0, reinterpret_cast<LPARAM>(u"part")));
    EXPECT_EQ(Pixel(100, 8), kRed);
    EXPECT_TRUE(SendMessageW(viewer, DTM_ANCHORW, 0, reinterpret_cast<LPARAM>(u"other")));
    EXPECT_NE(Pixel(100, 8), kRed);

    Key(VK_HOME);
    EXPECT_NE(Pixel(100, 8), kRed);
    std::u16string before = Text();
    for (int k = 0; k < 200 && Pixel(100, 8) != kRed; ++k)
        Key(VK_DOWN);
    EXPECT_EQ(Pixel(100, 8), kRed) << "Down scrolls down to the red paragraph";
    EXPECT_EQ(Text(), before);

    // In a window not shown yet the place holds for the window's first show.
    DestroyWindow(parent);
    MakeViewer(0);
    Load(page);
    EXPECT_TRUE(SendMessageW(viewer, DTM_ANCHORW, 0, reinterpret_cast<LPARAM>(u"part")));
    ShowWindow(parent, SW_SHOW);
    EXPECT_EQ(Pixel(100, 8), kRed);
}

// Plain text is shown as written; WM_SETTEXT replaces the page; the byte-order
// mark never reaches the text.
TEST_F(HtmlView, TextInAndOut)
{
    SendMessageW(viewer, DTM_ADDTEXTW, TRUE, reinterpret_cast<LPARAM>(u"\xFEFF<b>bold?</b>"));
    SendMessageW(viewer, DTM_ENDOFSOURCE, 0, 0);
    EXPECT_EQ(Text(), u"<b>bold?</b>");
    SendMessageW(viewer, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u"<p>one</p><p>two</p>"));
    EXPECT_EQ(Text(), u"one\ntwo");
    // Pages that never open their body, or never close their head, show what follows it.
    SendMessageW(viewer, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u"<HEAD><TITLE>t</TITLE><META a=b><B>bold</B> text"));
    EXPECT_EQ(Text(), u"bold text");
    SendMessageW(viewer, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u"<head><title>t</title></head>after"));
    EXPECT_EQ(Text(), u"after");
    SendMessageW(viewer, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u"<head><title>t</title>x&#174 y&#x41z"));
    EXPECT_EQ(Text(), u"x\u00AE yAz");
    // A colour of bare hex digits is that colour, not black.
    SendMessageW(viewer, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u"<body bgcolor=ff0000><p>x</p>"));
    EXPECT_EQ(Pixel(20, 20), kRed);
    EXPECT_FALSE(SendMessageW(viewer, DTM_ADDTEXTW, 0, 0));
    SendMessageW(viewer, DTM_CLEAR, 0, 0);
    EXPECT_EQ(Text(), u"");
}

// Watches a folder for any file being opened or read.
class OpenWatch {
public:
    explicit OpenWatch(const std::string& folder)
    {
        fd_ = inotify_init1(IN_NONBLOCK);
        inotify_add_watch(fd_, folder.c_str(), IN_OPEN | IN_ACCESS);
    }
    ~OpenWatch() { close(fd_); }
    bool Opened()
    {
        char buffer[4096];
        return read(fd_, buffer, sizeof buffer) > 0;
    }

private:
    int fd_;
};

// Nothing a page names is ever read: pictures, style sheets, scripts, frames,
// backgrounds, by path or by URL.
TEST_F(HtmlView, LoadsNothingThePageNames)
{
    char pattern[] = "/tmp/leafwise-htmlview-XXXXXX";
    ASSERT_TRUE(mkdtemp(pattern));
    std::string folder = pattern;
    for (const char* name : {"pic.png", "style.css", "script.js", "frame.htm", "back.png", "a.png@2x.png"})
        std::ofstream(folder + "/" + name) << "p { color: red }";
    std::u16string f = QString::fromStdString(folder).toStdU16String();
    OpenWatch watch(folder);
    Answer() = [](HWND v, const NM_HTMLVIEW& n) -> LRESULT {
        return n.hdr.code == NM_INLINE_IMAGE ? SendMessageW(v, DTM_IMAGEFAIL, 0, n.dwCookie), 1 : 1;
    };
    Load(u"<html><head><link rel=\"stylesheet\" type=\"text/css\" href=\"file://" + f + u"/style.css\">"
         u"<link rel=stylesheet href=\"" + f + u"/style.css\"><style>@import url(" + f + u"/style.css);"
         u" body { background-image: url(" + f + u"/back.png) }</style>"
         u"<script src=\"" + f + u"/script.js\">document.write('x')</script></head>"
         u"<body background=\"" + f + u"/back.png\"><img src=\"/etc/passwd\"><img src=\"" + f + u"/pic.png\">"
         u"<img src=\"file://" + f + u"/a.png\"><iframe src=\"" + f + u"/frame.htm\"></iframe>"
         u"<table background=\"" + f + u"/back.png\"><tr><td>cell</td></tr></table></body></html>");
    Pixel(10, 10); // painted
    EXPECT_FALSE(watch.Opened());
    EXPECT_EQ(Of(NM_INLINE_IMAGE).size(), 3u);
    EXPECT_EQ(Of(NM_INLINE_IMAGE)[0].text, u"/etc/passwd");
    std::filesystem::remove_all(folder);
}

// Hostile pages are cut where they pass a bound, the cut marked, and leave
// the control working.
TEST_F(HtmlView, HostilePagesAreCutAndTheControlAnswers)
{
    std::u16string same, distinct, tables, lists;
    for (int k = 0; k < 100000; ++k)
        same += u"<img src=\"x.gif\">";
    for (size_t k = 0; k < lwhtml::kMaxImages + 5; ++k)
        distinct += u"<img src=\"" + QString::number(k).toStdU16String() + u".gif\">";
    for (int k = 0; k < 10000; ++k) {
        tables += u"<table><tr><td>t";
        lists += u"<ul><li>l";
    }
    Load(same);
    EXPECT_EQ(Of(NM_INLINE_IMAGE).size(), 1u) << "one request for every tag that names the picture";
    recorder.Clear();
    Load(distinct);
    EXPECT_EQ(Of(NM_INLINE_IMAGE).size(), lwhtml::kMaxImages);
    // A cut never parts a surrogate pair: the character that passes goes whole.
    std::u16string paragraph;
    while (paragraph.size() < lwhtml::kMaxParagraph)
        paragraph += paragraph.size() % 100 == 99 ? u' ' : u'a';

    const std::u16string mark = std::u16string(u"\n") + lwhtml::kCutMark;
    const std::pair<std::u16string, std::u16string> cuts[] = {
        {tables, std::u16string(lwhtml::kMaxTableDepth, u't')},
        {lists, std::u16string(lwhtml::kMaxIndentDepth, u'l')},
        {std::u16string(5u << 20, u'a'), std::u16string(lwhtml::kMaxWord, u'a')},
        {paragraph + u"\U0001F600", paragraph},
    };
    for (const auto& [page, shown] : cuts) {
        SendMessageW(viewer, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(page.c_str()));
        std::u16string text = Text();
        text.erase(std::remove(text.begin(), text.end(), u'\n'), text.end());
        EXPECT_EQ(text, shown + lwhtml::kCutMark);
    }
    SendMessageW(viewer, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u"<p>fine</p>"));
    EXPECT_EQ(Text(), u"fine");
}

// One answer shows at every img tag that names the picture, each at its own size.
TEST_F(HtmlView, EachPictureIsAskedForOnceAndShownWhereverNamed)
{
    Answer() = [](HWND v, const NM_HTMLVIEW& n) -> LRESULT {
        return n.hdr.code == NM_INLINE_IMAGE && std::u16string(n.szTarget) == u"a.gif" ? AnswerWith(v, n, Qt::red) : 1;
    };
    Load(u"<img src=\"a.gif\" width=\"20\" height=\"20\"><img src=\"b.gif\" width=\"20\" height=\"20\">"
         u"<img src=\"a.gif\" width=\"40\" height=\"40\">");
    std::vector<Msg> asked = Of(NM_INLINE_IMAGE);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].text, u"a.gif");
    EXPECT_EQ(asked[1].text, u"b.gif");
    // Margin 4, on one baseline: a at 4..24, b at 24..44 (both 24..44 down), a again at 44..84.
    EXPECT_EQ(Pixel(10, 38), kRed);
    EXPECT_EQ(Pixel(30, 38), kWhite);
    EXPECT_EQ(Pixel(80, 10), kRed);
    SendMessageW(viewer, DTM_IMAGEFAIL, 0, asked[0].item);
    EXPECT_EQ(Pixel(80, 10), RGB(224, 224, 224)) << "every tag of the source takes the mark";
}

// Run by TraceNamesMessagesAndTargets in a process of its own, whose trace
// file is set before its first message.
TEST_F(HtmlView, TraceChild)
{
    if (!getenv("LW_HTMLVIEW_TRACE_CHILD"))
        GTEST_SKIP() << "runs inside TraceNamesMessagesAndTargets";
    Load(u"<title>Traced</title><img src=\"a.gif\">");
    SendMessageW(viewer, DTM_ANCHORW, 0, reinterpret_cast<LPARAM>(u"here"));
}

TEST(HtmlViewTrace, TraceNamesMessagesAndTargets)
{
    std::string path = ::testing::TempDir() + "/lw-htmlview-trace-" + std::to_string(getpid()) + ".log";
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LEAFWISE_TRACE", QString::fromStdString(path));
    environment.insert("LW_HTMLVIEW_TRACE_CHILD", "1");
    child.setProcessEnvironment(environment);
    child.start("/proc/self/exe", {"--gtest_filter=HtmlView.TraceChild"});
    ASSERT_TRUE(child.waitForFinished(30000));
    EXPECT_EQ(child.exitCode(), 0);
    std::ifstream file(path);
    std::string trace((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    for (const char* line : {"DISPLAYCLASS\tDTM_ADDTEXTW\t0x0\t", "\"<title>Traced</title><img src=\\\"a.gif\\\">\"",
                             "DISPLAYCLASS\tDTM_ENDOFSOURCE", "LwHtmlParent\tWM_NOTIFY:NM_TITLE\t0x1004\t",
                             "\t\"Traced\"", "LwHtmlParent\tWM_NOTIFY:NM_INLINE_IMAGE\t0x1004\t", "\t\"a.gif\"",
                             "DISPLAYCLASS\tDTM_ANCHORW\t0x0\t"})
        EXPECT_NE(trace.find(line), std::string::npos) << line;
    std::filesystem::remove(path);
}

} // namespace

namespace {

// A page of 80 lines, each on its own colour, so a view's place shows in its pixels.
std::u16string StripedPage()
{
    std::u16string page;
    for (int k = 0; k < 80; ++k) {
        char line[96];
        snprintf(line, sizeof line, "<p style=\"background-color:#%02x%02x80; margin:0\">line</p>", k * 3, 255 - k * 3);
        page += QString::fromLatin1(line).toStdU16String();
    }
    return page;
}

} // namespace

// Page Up takes back what Page Down scrolled; Home goes to the top.
TEST_F(HtmlView, PageUpAndPageDownScrollByTheSameScreen)
{
    Load(StripedPage());
    auto view = [&] {
        std::vector<COLORREF> column;
        for (int y = 0; y < 260; y += 7)
            column.push_back(Pixel(120, y));
        return column;
    };
    std::vector<COLORREF> top = view();
    Key(VK_NEXT);
    std::vector<COLORREF> one = view();
    EXPECT_NE(one, top);
    Key(VK_HOME);
    Key(VK_DOWN); // without links, a line
    std::vector<COLORREF> line = view();
    EXPECT_NE(line, top);
    EXPECT_NE(line, one);
    Key(VK_NEXT);
    Key(VK_HOME);
    Key(VK_NEXT);
    EXPECT_EQ(view(), one);
    Key(VK_NEXT);
    EXPECT_NE(view(), one);
    Key(VK_PRIOR);
    EXPECT_EQ(view(), one);
    Key(VK_PRIOR);
    EXPECT_EQ(view(), top);
    Key(VK_PRIOR); // at the top already
    EXPECT_EQ(view(), top);
}

// The link under the stylus is followed when the stylus is lifted on it:
// pressed on one link and lifted on another, or lifted off it, nothing is.
// Runs of one link in different styles are one link to the keys.
TEST_F(HtmlView, TapsFollowTheLinkPressedAndLiftedOnAndRunsOfOneLinkAreOne)
{
    Load(u"<p><a href=\"one.htm\">FIRST<b>BOLD</b></a> gap <a href=\"two.htm\">SECOND</a></p>"
         u"<p>plain words</p><p><a href=\"three.htm\">THIRD</a></p>");
    auto press = [&](POINT down, POINT up) {
        SendMessageW(viewer, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(down.x, down.y));
        SendMessageW(viewer, WM_LBUTTONUP, 0, MAKELPARAM(up.x, up.y));
        lwtest::Drain();
    };
    const POINT first{10, 9}, bold{50, 9}, plain{20, 30};
    int secondX = 0;
    for (int x = 60; x < 230 && !secondX; ++x) // the second link starts right of the gap
        if (Pixel(x, 9) != kWhite && Pixel(x - 1, 9) == kWhite && x > 110)
            secondX = x + 2;
    ASSERT_GT(secondX, 0);
    const POINT second{secondX, 9};
    press(first, second);
    press(first, plain);
    press(plain, first);
    EXPECT_TRUE(Of(NM_HOTSPOT).empty());
    press(first, bold); // one link across its runs
    press(second, second);
    std::vector<Msg> followed = Of(NM_HOTSPOT);
    ASSERT_EQ(followed.size(), 2u);
    EXPECT_EQ(followed[0].text, u"one.htm");
    EXPECT_EQ(followed[1].text, u"two.htm");

    // Tab walks the links: the bold run is not a link of its own.
    recorder.Clear();
    Load(u"<p><a href=\"one.htm\">FIRST<b>BOLD</b><i>ITALIC</i></a> <a href=\"two.htm\">SECOND</a></p>");
    Key(VK_TAB);
    Key(VK_TAB);
    Key(VK_RETURN);
    ASSERT_EQ(Of(NM_HOTSPOT).size(), 1u);
    EXPECT_EQ(Of(NM_HOTSPOT)[0].text, u"two.htm");
}

// Tab goes forwards, backwards while Shift is held, forwards again once it
// is released; a new page starts without a focused link.
TEST_F(HtmlView, TabFollowsShiftAndANewPageStartsWithoutAFocusedLink)
{
    const std::u16string links = u"<a href=\"1\">one</a> <a href=\"2\">two</a> <a href=\"3\">three</a>";
    Load(links);
    Key(VK_TAB);
    Key(VK_TAB);
    Key(VK_TAB); // three
    SendMessageW(viewer, WM_KEYDOWN, VK_SHIFT, 1);
    Key(VK_TAB); // two
    SendMessageW(viewer, WM_KEYUP, VK_SHIFT, 0xC0000001);
    Key(VK_TAB); // three again
    Key(VK_RETURN);
    ASSERT_EQ(Of(NM_HOTSPOT).size(), 1u);
    EXPECT_EQ(Of(NM_HOTSPOT)[0].text, u"3");

    recorder.Clear();
    Load(links);
    Key(VK_RETURN);
    EXPECT_TRUE(Of(NM_HOTSPOT).empty()) << "no link is focused on a new page";
    EXPECT_EQ(Pixel(5, 5), kWhite) << "and none is marked";
    Key(VK_TAB);
    Key(VK_RETURN);
    ASSERT_EQ(Of(NM_HOTSPOT).size(), 1u);
    EXPECT_EQ(Of(NM_HOTSPOT)[0].text, u"1") << "the first link, not the next of the last page's";
}

// A picture with only its width given keeps its proportions at that width.
TEST_F(HtmlView, PictureWithOnlyItsWidthKeepsItsProportions)
{
    Answer() = [](HWND v, const NM_HTMLVIEW& n) -> LRESULT {
        return n.hdr.code == NM_INLINE_IMAGE ? AnswerWith(v, n, Qt::red, 40, 20) : 1;
    };
    Load(u"<img src=\"a.gif\" width=\"80\"><p>after</p>");
    // Document margin 4: the picture at 4..84 across, 4..44 down.
    EXPECT_EQ(Pixel(80, 8), kRed);
    EXPECT_EQ(Pixel(80, 40), kRed);
    EXPECT_NE(Pixel(80, 48), kRed) << "80 wide, so 40 high";
    EXPECT_NE(Pixel(88, 8), kRed);
    Load(u"<img src=\"b.gif\" height=\"10\"><p>after</p>");
    EXPECT_EQ(Pixel(22, 12), kRed);
    EXPECT_NE(Pixel(26, 8), kRed) << "10 high, so 20 wide";
}

// On a scrolled page a tap acts on what is shown under it.
TEST_F(HtmlView, TapsOnAScrolledPageFollowTheLinkShownThere)
{
    std::u16string page;
    for (int k = 0; k < 60; ++k)
        page += u"<p>line</p>";
    Load(page + u"<p><a name=\"here\"></a><a href=\"far.htm\">FARLINK</a></p>" + page);
    ASSERT_TRUE(SendMessageW(viewer, DTM_ANCHORW, 0, reinterpret_cast<LPARAM>(u"here")));
    recorder.Clear();
    Tap(12, 9);
    EXPECT_TRUE(Matches(recorder.Take(), {{WM_KILLFOCUS, kParent | kSent}, Notice(NM_HOTSPOT, u"far.htm")}));
}
