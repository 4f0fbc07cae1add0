// The contents window and books named on the command line, driven as a user
// drives them: the caption, the tree's shape, "Browse", the Back key, and what
// "Close" and WM_CLOSE leave in the scratch folder.
#include "appfixture.h"

#include "BookTestSupport.h"
#include "ReaderApp.h"
#include "TocWindow.h"
#include "../support/messages.h"

#include <aygshell.h>
#include <commctrl.h>
#include <htmlctrl.h>
#include <strsafe.h>

namespace apptest {
namespace {

namespace fs = std::filesystem;
using booktest::DeviceTestBook;

class ContentsWindowTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        char pattern[] = "/tmp/leafwise-contents-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        scratch = pattern;
        setenv("LEAFWISE_TEMP", pattern, 1);
    }
    void TearDown() override
    {
        AppTest::TearDown();
        std::error_code ignored;
        fs::remove_all(scratch, ignored);
    }

    size_t ScratchFileCount() const
    {
        std::error_code ignored;
        return std::distance(fs::directory_iterator(scratch, ignored), fs::directory_iterator());
    }
    static HINSTANCE Program() { return GetModuleHandleW(nullptr); }
    static bool DialogActive() { return lwtest::ModalCloser::ActiveClassIs(u"#32770"); }
    static bool PageActive() { return lwtest::ModalCloser::ActiveClassIs(u"XTHtmlView"); }

    // Runs `contents` modally; `whileOpen` runs inside once its dialog is up and
    // must end it. The dialog's result.
    static INT_PTR RunContents(TocWindow* contents, std::function<void()> whileOpen)
    {
        lwtest::ModalCloser closer(DialogActive, std::move(whileOpen));
        return contents->RunModal(Program(), nullptr);
    }
    // Starts the program with `commandLine`; `whileShown` runs once the first
    // window (contents dialog or main window) is up and must end the program.
    // Each start is a first instance: a runtime folder of its own, the class gone after.
    int Launch(const std::u16string& commandLine, std::function<void(ReaderApp&)> whileShown)
    {
        std::string folder = runtime + "/XXXXXX";
        EXPECT_NE(mkdtemp(folder.data()), nullptr);
        setenv("LEAFWISE_RUNTIME", folder.c_str(), 1);
        ReaderApp app;
        EXPECT_TRUE(app.Init(Program()));
        int exitCode = -1;
        {
            lwtest::ModalCloser closer([&] { return DialogActive() || IsWindowVisible(app.mainWindow); },
                                       [&] { whileShown(app); });
            exitCode = app.Run(commandLine.c_str(), SW_SHOW);
        }
        UnregisterClassW(u"Leafwise", Program());
        return exitCode;
    }
    static HTREEITEM Next(HWND tree, UINT relation, HTREEITEM item = nullptr)
    {
        return reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
    }

    fs::path scratch;
};

TEST_F(ContentsWindowTest, BookOnTheCommandLineOpensAloneAndCloseEndsWithZero)
{
    // Capitals in the extension name a book as well.
    fs::path capitals = scratch.parent_path() / (scratch.filename().string() + "-IMAGES.CHM");
    fs::copy_file(booktest::TestBookHostPath("images"), capitals);
    std::u16string title;
    std::vector<std::u16string> keys;
    bool mainShown = true;
    LRESULT items = 0;
    int exitCode = Launch(booktest::DevicePath(capitals.string()), [&](ReaderApp& app) {
        title = LwDeviceTitle();
        keys = LwDeviceSoftKeys();
        mainShown = IsWindowVisible(app.mainWindow);
        items = SendDlgItemMessageW(GetActiveWindow(), kContentsTreeId, TVM_GETCOUNT, 0, 0);
        LwDevicePressKey(VK_F2);  // "Close"
    });
    fs::remove(capitals);
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(title, booktest::Wide(capitals.filename().string()));
    EXPECT_EQ(keys, (std::vector<std::u16string>{u"Browse", u"Close"}));
    EXPECT_FALSE(mainShown);
    EXPECT_EQ(items, 2);
    EXPECT_EQ(FindWindowW(u"Leafwise", u"Leafwise"), nullptr) << "the hidden main window is destroyed";
}

TEST_F(ContentsWindowTest, CommandLinesThatNameNoBookShowTheMainWindow)
{
    std::u16string book = DeviceTestBook("images");
    for (const std::u16string& commandLine : {std::u16string(u".chm"), std::u16string(u".CHM"), u"\"" + book + u"\"",
                                              book + u" ", std::u16string(u"")}) {
        bool mainShown = false;
        int exitCode = Launch(commandLine, [&](ReaderApp& app) {
            mainShown = IsWindowVisible(app.mainWindow);
            LwDevicePressKey(VK_F2);  // "Exit"
        });
        EXPECT_EQ(exitCode, 0);
        EXPECT_TRUE(mainShown) << booktest::Utf8(commandLine);
    }
}

TEST_F(ContentsWindowTest, CaptionIsTheFileNameCutAtAWholeCharacter)
{
    struct Case {
        std::u16string path, title;
    };
    std::u16string long78(78, u'n');
    for (const Case& c : {Case{u"\\nowhere\\missing.chm", u"missing.chm"},
                          Case{u"no-folder.chm", u"no-folder.chm"},
                          Case{u"/only/forward/slashes.chm", u"/only/forward/slashes.chm"},
                          Case{u"\\books\\" + long78 + u"x.chm", long78 + u"x"},
                          Case{u"\\" + std::u16string(300, u'p') + u".chm", std::u16string(79, u'p')},
                          // A pair of surrogates across the 79-unit bound is left out whole.
                          Case{u"\\books\\" + long78 + u"\U0001F4D6.chm", long78}}) {
        TocWindow contents;
        EXPECT_FALSE(contents.LoadBook(c.path.c_str()));  // none of them exists
        EXPECT_EQ(std::u16string(contents.title), c.title);
        EXPECT_TRUE(contents.book.contents.empty());
    }
}

// Entries of these levels, in this order, titled by their index.
void AddEntries(Book* book, std::initializer_list<int> levels)
{
    static const std::u16string titles[] = {u"0", u"1", u"2", u"3", u"4", u"5", u"6", u"7", u"8", u"9", u"10"};
    int index = 0;
    for (int level : levels)
        book->contents.push_back(TocEntry{titles[index++].c_str(), u"", level, nullptr});
}

TEST_F(ContentsWindowTest, TreeFollowsTheLevelsAndBackGoesToTheParent)
{
    TocWindow contents;
    StringCchCopyW(contents.title, 80, u"Levels");
    // 1,2,3,1,3: the fifth hangs under the level-2 item of the first branch.
    // Level 0 hangs at the root and takes level 1's place; 31 has no level-30
    // item above it; 40 and 32 hang under the last level-31 item.
    AddEntries(&contents.book, {1, 2, 3, 1, 3, 0, 2, 31, 40, 32, -1});
    std::vector<int> parents;  // index of each entry's parent item, -1 for the root
    HTREEITEM selectedAfterBack = nullptr;
    bool openAfterBack = false;
    std::u16string caption;
    LONG style = 0, exStyle = -1;
    RECT treeRect{}, client{};
    WCHAR text[16] = {};
    INT_PTR result = RunContents(&contents, [&] {
        caption = LwDeviceTitle();
        style = GetWindowLongW(contents.tree, GWL_STYLE);
        exStyle = GetWindowLongW(contents.tree, GWL_EXSTYLE);
        GetWindowTextW(contents.tree, text, 16);
        GetWindowRect(contents.tree, &treeRect);
        GetClientRect(contents.dialog, &client);
        std::deque<TocEntry>& entries = contents.book.contents;
        for (const TocEntry& entry : entries) {
            HTREEITEM parent = Next(contents.tree, TVGN_PARENT, static_cast<HTREEITEM>(entry.treeItem));
            int found = -1;
            for (size_t i = 0; i < entries.size(); ++i)
                if (entries[i].treeItem == parent)
                    found = static_cast<int>(i);
            parents.push_back(found);
            TVITEMW item = {};
            item.mask = TVIF_PARAM;
            item.hItem = static_cast<HTREEITEM>(entry.treeItem);
            SendMessageW(contents.tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
            EXPECT_EQ(item.lParam, reinterpret_cast<LPARAM>(&entry));
        }
        SendMessageW(contents.tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(entries[4].treeItem));
        LwDevicePressKey(VK_ESCAPE);
        lwtest::PumpUntil([&] { return Next(contents.tree, TVGN_CARET) != entries[4].treeItem; }, 1000);
        selectedAfterBack = Next(contents.tree, TVGN_CARET);
        openAfterBack = IsWindowVisible(contents.dialog);
        PostMessageW(contents.dialog, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(result, 2);
    EXPECT_EQ(caption, u"Levels");
    // The tree: lines and buttons, lines at the root too, over the whole dialog.
    EXPECT_EQ(style, static_cast<LONG>(WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT));
    EXPECT_EQ(exStyle, 0);
    EXPECT_EQ(std::u16string(text), u"TreeItem");
    EXPECT_EQ(treeRect.right - treeRect.left, client.right);
    EXPECT_EQ(treeRect.bottom - treeRect.top, client.bottom);
    EXPECT_EQ(client.bottom, 268);
    EXPECT_EQ(parents, (std::vector<int>{-1, 0, 1, -1, 1, -1, 5, -1, 7, 7, -1}));
    EXPECT_EQ(selectedAfterBack, contents.book.contents[1].treeItem);
    EXPECT_TRUE(openAfterBack);
}

// The tree shows a title as a reader sees it, its character references
// decoded (in a cp1251 book the Latin-1 ones are its bytes); the book keeps
// the title as written.
TEST_F(ContentsWindowTest, TreeShowsTitlesWithTheirReferencesDecoded)
{
    TocWindow contents;
    contents.book.contentsCodePage = 1251;
    for (const char16_t* title : {u"AT&amp;T &unknown;", u"&Egrave;&igrave;&iuml;&icirc;&eth;&ograve;", u"plain"})
        contents.book.contents.push_back(TocEntry{title, u"", 1, nullptr});
    std::vector<std::u16string> shown;
    RunContents(&contents, [&] {
        for (const TocEntry& entry : contents.book.contents) {
            WCHAR text[256] = {};
            TVITEMW item = {};
            item.mask = TVIF_TEXT;
            item.hItem = static_cast<HTREEITEM>(entry.treeItem);
            item.pszText = text;
            item.cchTextMax = 256;
            SendMessageW(contents.tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
            shown.push_back(text);
        }
        PostMessageW(contents.dialog, WM_CLOSE, 0, 0);  // "Close" would empty the book
    });
    EXPECT_EQ(shown,
              (std::vector<std::u16string>{u"AT&T &unknown;", u"\u0418\u043C\u043F\u043E\u0440\u0442", u"plain"}));
    EXPECT_EQ(std::u16string(contents.book.contents[0].title), u"AT&amp;T &unknown;");
}

TEST_F(ContentsWindowTest, BrowseWithNothingSelectedDoesNothing)
{
    // A book that cannot be read: the dialog opens with an empty tree.
    TocWindow contents;
    contents.LoadBook(u"\\nowhere\\gone.chm");
    HWND pageAfterEmpty = nullptr, pageAfterDeselect = nullptr;
    std::u16string caption;
    RunContents(&contents, [&] {
        caption = LwDeviceTitle();
        SendMessageW(contents.dialog, WM_COMMAND, IDOK, 0);
        pageAfterEmpty = contents.page.window;
        // A book with entries, none of them selected.
        AddEntries(&contents.book, {1, 1});
        contents.FillTree();
        SendMessageW(contents.tree, TVM_SELECTITEM, TVGN_CARET, 0);
        SendMessageW(contents.dialog, WM_COMMAND, IDOK, 0);
        pageAfterDeselect = contents.page.window;
        LwDevicePressKey(VK_F2);
    });
    EXPECT_EQ(caption, u"gone.chm");
    EXPECT_EQ(pageAfterEmpty, nullptr);
    EXPECT_EQ(pageAfterDeselect, nullptr);
}

// The plain text the page window's viewer shows.
std::u16string ViewerText(HWND viewer)
{
    WCHAR text[256] = {};
    GetWindowTextW(viewer, text, 256);
    return text;
}

// "Browse" shows the selected entry's page over the dialog, titled by the page,
// written once under its own name; an entry that names a place far down its
// page (the red paragraph "b.htm#part") opens the page with that place at the
// top, one whose name the page lacks at its top. An entry without a page gives
// an empty page. The page's folder ends at the last "/" or backslash. The
// page window's "Cancel" brings the dialog back.
TEST_F(ContentsWindowTest, BrowseShowsTheSelectedEntrysPage)
{
    TocWindow contents;
    contents.LoadBook(DeviceTestBook("links").c_str());
    for (const char16_t* local : {u"", u"/html/b.htm#part", u"/html/b.htm#nowhere", u"/html/sub\\c.htm"})
        contents.book.contents.push_back(TocEntry{u"Entry", local, 1, nullptr});
    struct Shown {
        std::u16string title, text;
        std::vector<std::string> files;
        bool redAtTop = false;
        std::u16string folder;
    };
    std::vector<Shown> shown;
    RunContents(&contents, [&] {
        for (size_t entry : {1, 3, 4, 5, 6}) {  // "C" in /html/sub, the heading, the places in B, sub\c.htm
            SendMessageW(contents.tree, TVM_SELECTITEM, TVGN_CARET,
                         reinterpret_cast<LPARAM>(contents.book.contents[entry].treeItem));
            LwDevicePressKey(VK_F1);
            EXPECT_TRUE(lwtest::PumpUntil(PageActive));
            lwtest::PumpUntil([&] { return !ViewerText(contents.page.viewer).empty(); }, entry == 3 ? 100 : 3000);
            POINT top = OnScreen(contents.page.viewer, 100, 8);
            bool red = lwtest::PumpUntil([&] { return LwDevicePixel(top.x, top.y) == RGB(255, 0, 0); },
                                         entry == 4 ? 3000 : 100);
            std::vector<std::string> files;
            for (const fs::directory_entry& file : fs::directory_iterator(scratch))
                files.push_back(file.path().filename().string());
            shown.push_back(
                {LwDeviceTitle(), ViewerText(contents.page.viewer), files, red, contents.page.currentFolder});
            LwDevicePressKey(VK_F2);  // the page window's "Cancel"
            EXPECT_TRUE(lwtest::PumpUntil(DialogActive));
        }
        LwDevicePressKey(VK_F2);
    });
    ASSERT_EQ(shown.size(), 5u);
    EXPECT_EQ(shown[0].title, u"Page C");
    EXPECT_EQ(shown[0].text.substr(0, 8), u"C in sub");
    EXPECT_EQ(shown[0].files, std::vector<std::string>{"c.htm"});
    EXPECT_EQ(shown[1].text, u"");
    EXPECT_TRUE(shown[1].files.empty());
    for (size_t k : {2, 3}) {
        EXPECT_EQ(shown[k].title, u"Page B");
        EXPECT_EQ(shown[k].files, std::vector<std::string>{"b.htm"});
        EXPECT_EQ(shown[k].redAtTop, k == 2);
    }
    EXPECT_EQ(shown[4].folder, u"/html/sub");
}

// "Browse", the whole sequence that the page window, its soft-key bar and its
// viewer get, for an entry and for a heading: the page is written before the
// window is made (the files that WM_CREATE finds in the scratch folder are
// decoded as its text), then loaded, then the window shown.
TEST_F(ContentsWindowTest, BrowseWritesThePageThenMakesLoadsAndShowsItsWindow)
{
    using namespace lwtest;
    TocWindow contents;
    contents.LoadBook(DeviceTestBook("links").c_str());  // A, C (html/sub/c.htm), Top
    contents.book.contents.push_back(TocEntry{u"Heading", u"", 1, nullptr});
    Recorder recorder;
    for (const char16_t* name : {u"XTHtmlView", u"menu_worker", DISPLAYCLASS})
        recorder.WatchClass(name);
    HWND bar = nullptr;
    recorder.decode = [&](const Msg& raw, Msg* msg) {
        WCHAR name[32] = {};
        GetClassNameW(msg->window, name, 32);
        if (raw.message == WM_NCCREATE && std::u16string(name) == u"menu_worker")
            bar = msg->window;
        if (raw.message == WM_CREATE && std::u16string(name) == u"XTHtmlView") {
            for (const fs::directory_entry& file : fs::directory_iterator(scratch))
                msg->text += booktest::Wide(file.path().filename().string()) + u" ";
        }
    };
    struct Round {
        std::vector<Msg> seen;
        HWND page, viewer, bar;
    } rounds[2];
    RunContents(&contents, [&] {
        for (Round& round : rounds) {
            recorder.Clear();
            const TocEntry& entry = contents.book.contents[&round == rounds ? 1 : 3];
            SendMessageW(contents.tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(entry.treeItem));
            SendMessageW(contents.dialog, WM_COMMAND, IDOK, 0);
            lwtest::Drain();
            round = {recorder.Take(), contents.page.window, contents.page.viewer, bar};
            SendMessageW(contents.page.window, WM_COMMAND, IDCANCEL, 0);
            EXPECT_TRUE(lwtest::PumpUntil(DialogActive));
        }
        LwDevicePressKey(VK_F2);
    });
    // A child made and shown: the bar, then the viewer.
    auto child = [](HWND window) {
        return std::vector<Msg>{Msg{WM_NCCREATE, kSent}.At(window), Msg{WM_CREATE, kSent}.At(window),
                                Msg{WM_SIZE, kSent}.At(window), Msg{WM_MOVE, kSent}.At(window),
                                Msg{WM_SHOWWINDOW, kSent | kWParam, TRUE}.At(window)};
    };
    for (Round& round : rounds) {
        bool heading = &round != rounds;
        HWND page = round.page, viewer = round.viewer;
        std::vector<Msg> expected = {Msg{WM_NCCREATE, kSent}.At(page),
                                     Msg{WM_CREATE, kSent}.Saying(heading ? u"" : u"c.htm ").At(page)};
        for (HWND made : {round.bar, viewer}) {
            std::vector<Msg> messages = child(made);
            expected.insert(expected.end(), messages.begin(), messages.end());
        }
        const Msg backKey{SHCMBM_OVERRIDEKEY, kSent | kWParam | kLParam, VK_ESCAPE, 0x30003};
        expected.insert(expected.end(), {Msg{WM_SETFOCUS, kSent}.At(viewer), backKey.At(round.bar),
                                         Msg{WM_SIZE, kSent}.At(page), Msg{WM_MOVE, kSent}.At(page)});
        expected.push_back(Msg{WM_SETTEXT, kSent}.Saying(u"").At(viewer));
        expected.push_back(Msg{WM_SETTEXT, kSent}.Saying(u"").At(page));
        if (!heading) {
            expected.insert(expected.end(), {Msg{DTM_ADDTEXTW, kSent}.At(viewer),
                                             Msg{DTM_ENDOFSOURCE, kSent}.At(viewer),
                                             Msg{WM_NOTIFY, kSent, 0, 0, NM_TITLE}.At(page),
                                             Msg{WM_SETTEXT, kSent}.Saying(u"Page C").At(page)});
        }
        expected.insert(expected.end(), {Msg{WM_SHOWWINDOW, kSent | kWParam, TRUE}.At(page),
                                         Msg{WM_ACTIVATE, kSent | kWParam, WA_ACTIVE}.At(page),
                                         Msg{DTM_ENABLESHRINK, kPosted | kLParam, 0, TRUE}.At(viewer)});
        EXPECT_TRUE(Matches(round.seen, expected)) << (heading ? "heading" : "entry");
    }
}

// "Close" empties the scratch folder and closes the book; WM_CLOSE leaves both
// for the TocWindow's destruction.
TEST_F(ContentsWindowTest, CloseEmptiesTheScratchFolderAndWmCloseLeavesIt)
{
    for (bool byCloseKey : {true, false}) {
        TocWindow contents;
        contents.LoadBook(DeviceTestBook("images").c_str());
        size_t filesWhileOpen = 0;
        INT_PTR result = RunContents(&contents, [&] {
            LwDevicePressKey(VK_F1);  // "Browse": the first entry is selected
            EXPECT_TRUE(lwtest::PumpUntil(PageActive));
            filesWhileOpen = ScratchFileCount();
            LwDevicePressKey(VK_F2);
            EXPECT_TRUE(lwtest::PumpUntil(DialogActive));
            if (byCloseKey)
                LwDevicePressKey(VK_F2);
            else
                PostMessageW(contents.dialog, WM_CLOSE, 0, 0);
        });
        EXPECT_EQ(result, 2);
        EXPECT_GE(filesWhileOpen, 2u) << "the page and its images";
        EXPECT_EQ(ScratchFileCount(), byCloseKey ? 0u : filesWhileOpen);
        EXPECT_EQ(contents.book.chm == nullptr, byCloseKey);
    }
}

}  // namespace
}  // namespace apptest
