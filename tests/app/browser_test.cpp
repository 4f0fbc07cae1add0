// The file browser driven as a user drives it: the listing and its order, the
// column, walking folders with "Open" and Back, paging, reading a book over
// the browser, paths past the limit; and the main menu's whole journey.
#include "appfixture.h"

#include "BookTestSupport.h"
#include "../support/command.h"
#include "../support/controlnotes.h"
#include "FileBrowser.h"
#include "ReaderApp.h"
#include "resource.h"

#include <commctrl.h>

#include <fstream>

namespace apptest {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::u16string>;
using Rows = std::vector<int>;

std::string ReadText(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Names RowTexts(HWND list)
{
    Names texts;
    int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        WCHAR text[MAX_PATH] = {};
        LVITEMW item = {};
        item.pszText = text;
        item.cchTextMax = MAX_PATH;
        SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
        texts.push_back(text);
    }
    return texts;
}

Rows RowImages(HWND list)
{
    Rows images;
    int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        LVITEMW item = {};
        item.mask = LVIF_IMAGE;
        item.iItem = row;
        SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        images.push_back(item.iImage);
    }
    return images;
}

Rows SelectedRows(HWND list)
{
    Rows rows;
    int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row)
        if (SendMessageW(list, LVM_GETITEMSTATE, row, LVIS_SELECTED))
            rows.push_back(row);
    return rows;
}

std::u16string Label(HWND dialog)
{
    WCHAR text[MAX_PATH] = {};
    GetDlgItemTextW(dialog, IDC_BROWSER_FOLDER, text, MAX_PATH);
    return text;
}

// Moves the only selection to the row named `name` with the arrow keys, as a
// user would; false when the list has no such row.
bool KeyTo(HWND list, const std::u16string& name)
{
    Names texts = RowTexts(list);
    auto found = std::find(texts.begin(), texts.end(), name);
    if (found == texts.end())
        return false;
    LwDevicePressKey(VK_HOME);
    for (auto row = texts.begin(); row != found; ++row)
        LwDevicePressKey(VK_DOWN);
    return true;
}

// Watches for a contents window over the browser: what it showed; closes it
// with "Close". It may never see one.
struct ContentsWatch {
    explicit ContentsWatch(const FileBrowser& browser)
        : watcher(lwtest::ModalCloser::Optional(
              [&browser] {
                  HWND active = GetActiveWindow();
                  return active && active != browser.dialog && lwtest::ModalCloser::ActiveClassIs(u"#32770");
              },
              [this] {
                  title = LwDeviceTitle();
                  items = SendDlgItemMessageW(GetActiveWindow(), 4098, TVM_GETCOUNT, 0, 0);
                  LwDevicePressKey(VK_F2);
              }))
    {
    }
    std::u16string title;
    LRESULT items = -1;
    std::unique_ptr<lwtest::ModalCloser> watcher;
};

class BrowserTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        std::string pattern = "/tmp/leafwise-browser-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        top = pattern;
        fs::create_directories(top / "device");
        fs::create_directories(top / "scratch");
        setenv("LEAFWISE_ROOT", (top / "device").c_str(), 1);
        setenv("LEAFWISE_TEMP", (top / "scratch").c_str(), 1);
    }
    void TearDown() override
    {
        unsetenv("LEAFWISE_ROOT");
        unsetenv("LEAFWISE_TEMP");
        AppTest::TearDown();
        std::error_code ignored;
        fs::remove_all(top, ignored);
    }

    // Files and folders (a trailing "/") below the device's root; a name
    // ending in ".chm" is a copy of a small book.
    void Make(std::initializer_list<std::string> names)
    {
        for (const std::string& name : names) {
            fs::path path = top / "device" / name;
            if (name.back() == '/') {
                fs::create_directories(path);
                continue;
            }
            fs::create_directories(path.parent_path());
            if (path.extension() == ".chm")
                fs::copy_file(booktest::TestBookHostPath("links"), path);
            else
                std::ofstream(path) << "x";
        }
    }

    // Runs the browser as "Open" does, on `folder`; `whileOpen` runs once its
    // list shows and must end it.
    void Browse(const std::u16string& folder, std::function<void(FileBrowser&)> whileOpen)
    {
        FileBrowser browser;
        browser.SetFilter(u"*.chm");
        browser.SetFolder(folder.c_str());
        browser.SetTitle(u"Select CHM File");
        lwtest::ModalCloser closer([&] { return browser.list && GetActiveWindow() == browser.dialog; },
                                   [&] { whileOpen(browser); });
        browser.RunModal(GetModuleHandleW(nullptr), nullptr);
    }

    fs::path top;
};

TEST_F(BrowserTest, ListsFoldersThenBooksInCodeUnitOrderHiddenOnesToo)
{
    Make({"Zeta/", "alpha/", "x.chm/", ".hidden/", "B.chm", "a.chm", "Book.chm", "Book2.chm", ".secret.chm",
          "notes.txt", "chm", "sub/1.chm", "sub/2.chm", "sub/3.chm", "sub/4.chm", "sub/5.chm",
          "sub/6.chm", "sub/7.chm", "sub/inner/"});
    Names rows, subRows;
    Rows images, selected, subImages;
    int width = 0, subWidth = 0;
    std::u16string title, label, subLabel;
    std::vector<std::u16string> keys;
    COLORREF labelColour = 0, beyondText = 0;
    RECT labelPlace{};
    LRESULT extended = 0;
    std::vector<COLORREF> folderIcon; // row 1's icon as shown, row by row
    Browse(u"\\", [&](FileBrowser& browser) {
        rows = RowTexts(browser.list);
        images = RowImages(browser.list);
        selected = SelectedRows(browser.list);
        width = static_cast<int>(SendMessageW(browser.list, LVM_GETCOLUMNWIDTH, 0, 0));
        title = LwDeviceTitle();
        keys = LwDeviceSoftKeys();
        label = Label(browser.dialog);
        lwtest::Drain();  // painted
        POINT corner = OnScreen(browser.dialog, 170, 2);  // right of the label's text
        labelColour = LwDevicePixel(corner.x, corner.y);
        GetWindowRect(GetDlgItem(browser.dialog, IDC_BROWSER_FOLDER), &labelPlace);
        POINT origin = OnScreen(browser.dialog, 0, 0);
        labelPlace = {labelPlace.left - origin.x, labelPlace.top - origin.y, labelPlace.right - origin.x,
                      labelPlace.bottom - origin.y};
        extended = SendMessageW(browser.list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
        RECT row{LVIR_BOUNDS, 0, 0, 0}, icon{LVIR_ICON, 0, 0, 0};
        SendMessageW(browser.list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row));
        POINT far = OnScreen(browser.list, 150, (row.top + row.bottom) / 2);  // past the row's text
        beyondText = LwDevicePixel(far.x, far.y);
        SendMessageW(browser.list, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&icon));
        POINT at = OnScreen(browser.list, icon.left, icon.top + (icon.bottom - icon.top - 16) / 2);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                folderIcon.push_back(LwDevicePixel(at.x + x, at.y + y));
        LwDevicePressKey(VK_F2);
    });
    // The label over the list, 176 x 18 at the top left.
    EXPECT_EQ(labelPlace.left, 0);
    EXPECT_EQ(labelPlace.top, 0);
    EXPECT_EQ(labelPlace.right, 176);
    EXPECT_EQ(labelPlace.bottom, 18);
    // The whole row highlighted; the icons drawn through their masks, as a
    // masked image list draws them on the row's white.
    EXPECT_TRUE(extended & LVS_EX_FULLROWSELECT);
    EXPECT_EQ(beyondText, RGB(0, 0, 128));
    HIMAGELIST masked = ImageList_Create(16, 16, ILC_MASK, 1, 0);
    ImageList_AddIcon(masked, LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_FOLDER)));
    HDC memory = CreateCompatibleDC(nullptr);
    HBITMAP canvas = CreateCompatibleBitmap(memory, 16, 16);
    HGDIOBJ previous = SelectObject(memory, canvas);
    RECT all{0, 0, 16, 16};
    FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    ImageList_Draw(masked, 0, memory, 0, 0, ILD_NORMAL);
    std::vector<COLORREF> expectedIcon;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            expectedIcon.push_back(GetPixel(memory, x, y));
    SelectObject(memory, previous);
    DeleteObject(canvas);
    DeleteDC(memory);
    ImageList_Destroy(masked);
    EXPECT_EQ(folderIcon, expectedIcon);
    EXPECT_GT(std::count(expectedIcon.begin(), expectedIcon.end(), RGB(255, 255, 255)), 0) << "the icon has clear pixels";
    EXPECT_EQ(rows, (Names{u".hidden", u"Zeta", u"alpha", u"sub", u"x.chm", u".secret.chm", u"B.chm", u"Book.chm",
                           u"Book2.chm", u"a.chm"}));
    EXPECT_EQ(images, (Rows{0, 0, 0, 0, 0, 1, 1, 1, 1, 1}));
    EXPECT_EQ(selected, Rows{0});
    EXPECT_EQ(width, 170);  // from ten rows on
    EXPECT_EQ(title, u"Select CHM File");
    EXPECT_EQ(keys, (std::vector<std::u16string>{u"Open", u"Cancel"}));
    EXPECT_EQ(label, u"\\");
    EXPECT_EQ(labelColour, RGB(192, 192, 192));

    // Below the root ".." comes first; nine rows keep the wide column.
    Browse(u"\\sub", [&](FileBrowser& browser) {
        subRows = RowTexts(browser.list);
        subImages = RowImages(browser.list);
        subWidth = static_cast<int>(SendMessageW(browser.list, LVM_GETCOLUMNWIDTH, 0, 0));
        subLabel = Label(browser.dialog);
        LwDevicePressKey(VK_F2);
    });
    EXPECT_EQ(subRows, (Names{u"..", u"inner", u"1.chm", u"2.chm", u"3.chm", u"4.chm", u"5.chm", u"6.chm", u"7.chm"}));
    EXPECT_EQ(subImages, (Rows{0, 0, 1, 1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(subWidth, 176);
    EXPECT_EQ(subLabel, u"\\sub\\");
}

TEST_F(BrowserTest, OpenAndBackWalkTheFoldersAndBackAtTheRootStays)
{
    Make({"Books/Help/guide.chm", "Books/Other/"});
    std::vector<std::u16string> labels;
    Names rootRows;
    bool openAtRoot = false;
    Browse(u"\\", [&](FileBrowser& browser) {
        auto after = [&](std::function<void()> keys) {
            keys();
            lwtest::Drain();
            labels.push_back(Label(browser.dialog));
        };
        after([] { LwDevicePressKey(VK_F1); });                             // into \Books\ (row 0)
        after([&] {
            KeyTo(browser.list, u"Help");
            LwDevicePressKey(VK_F1);
        });
        after([] { LwDevicePressKey(VK_ESCAPE); });                         // Back
        after([] { LwDevicePressKey(VK_F1); });                             // ".." is row 0
        after([] { LwDevicePressKey(VK_ESCAPE); });                         // Back at the root
        rootRows = RowTexts(browser.list);
        openAtRoot = IsWindowVisible(browser.dialog) && GetActiveWindow() == browser.dialog;
        LwDevicePressKey(VK_F2);
    });
    EXPECT_EQ(labels, (std::vector<std::u16string>{u"\\Books\\", u"\\Books\\Help\\", u"\\Books\\", u"\\", u"\\"}));
    EXPECT_EQ(rootRows, Names{u"Books"});
    EXPECT_TRUE(openAtRoot);
}

TEST_F(BrowserTest, OpenWithNothingSelectedOrNothingListedDoesNothing)
{
    for (bool empty : {true, false}) {
        if (!empty)
            Make({"Books/"});
        Names rows;
        std::u16string label;
        Browse(u"\\", [&](FileBrowser& browser) {
            LVITEMW none = {};
            none.stateMask = LVIS_SELECTED;
            SendMessageW(browser.list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
            LwDevicePressKey(VK_F1);
            lwtest::Drain();
            rows = RowTexts(browser.list);
            label = Label(browser.dialog);
            LwDevicePressKey(VK_F2);
        });
        EXPECT_EQ(rows, empty ? Names{} : Names{u"Books"});
        EXPECT_EQ(label, u"\\");
    }
}

TEST_F(BrowserTest, LeftAndRightAddTheRowTenAwayToTheSelection)
{
    for (int i = 0; i < 25; ++i) {
        char name[16];
        snprintf(name, sizeof name, "b%02d.chm", i);
        fs::create_directories(top / "device");
        std::ofstream(top / "device" / name) << "x";
    }
    std::vector<Rows> seen;
    Browse(u"\\", [&](FileBrowser& browser) {
        auto after = [&](std::initializer_list<UINT> keys) {
            for (UINT key : keys)
                LwDevicePressKey(key);
            lwtest::Drain();
            seen.push_back(SelectedRows(browser.list));
        };
        after({VK_DOWN, VK_DOWN, VK_DOWN, VK_LEFT});  // from row 3
        after({VK_HOME, VK_DOWN, VK_RIGHT});          // from row 1
        after({VK_END, VK_UP, VK_UP, VK_RIGHT});      // from row 22, in the last ten
        after({VK_HOME, VK_END, VK_RIGHT});           // from the last row
        after({VK_HOME, VK_RIGHT, VK_RIGHT});         // twice: from the first selected row again
        after({VK_END, VK_UP, VK_LEFT, VK_LEFT});     // twice: from 13, the first selected row then
        LwDevicePressKey(VK_F2);
    });
    EXPECT_EQ(seen, (std::vector<Rows>{{0, 3}, {1, 11}, {22, 24}, {24}, {0, 10}, {3, 13, 23}}));
}

TEST_F(BrowserTest, ABookReadOverTheBrowserLeavesItAsItWas)
{
    // Host names that no device name spells as they stand: a backslash, and
    // bytes that are not UTF-8. Each is listed and read as itself.
    Make({"Books/a.chm", "Books/back\\slash.chm", "Books/\xff\xfe.chm", "Books/z.chm"});
    const std::u16string backslash = u"back\uF05Cslash.chm", bytes = std::u16string{0xDCFF, 0xDCFE} + u".chm";
    Names rows, rowsAfter;
    Rows selectedAfter;
    std::u16string labelAfter;
    std::vector<std::u16string> titles;
    std::vector<LRESULT> items;
    Browse(u"\\Books\\", [&](FileBrowser& browser) {
        rows = RowTexts(browser.list);
        for (const std::u16string& book : {backslash, bytes, std::u16string(u"z.chm")}) {
            ContentsWatch watch(browser);
            KeyTo(browser.list, book);
            LwDevicePressKey(VK_F1);
            lwtest::Drain();  // runs the contents window until the watch closes it
            titles.push_back(watch.title);
            items.push_back(watch.items);
        }
        rowsAfter = RowTexts(browser.list);
        selectedAfter = SelectedRows(browser.list);
        labelAfter = Label(browser.dialog);
        LwDevicePressKey(VK_F2);
    });
    EXPECT_EQ(rows, (Names{u"..", u"a.chm", backslash, u"z.chm", bytes}));
    EXPECT_EQ(titles, (Names{backslash, bytes, u"z.chm"}));
    EXPECT_EQ(items, (std::vector<LRESULT>{3, 3, 3}));
    EXPECT_EQ(rowsAfter, rows);
    EXPECT_EQ(selectedAfter, Rows{3});
    EXPECT_EQ(labelAfter, u"\\Books\\");
}

// A program missing the browser's soft keys, or its icons, still runs the
// browser and ends it on a close request: no rows, "Open" does nothing. Without
// its template the browser does not run at all.
TEST_F(BrowserTest, WithoutItsBarOrIconsItRunsEmptyAndStillEnds)
{
    Make({"Books/", "a.chm"});
    const std::pair<WORD, WORD> dialog{5, IDD_BROWSER}, strings{6, IDS_BROWSER_OPEN / 16 + 1},
        bar{10, IDR_BROWSER_MENUBAR}, menu{4, IDR_BROWSER_MENUBAR};
    for (bool withBar : {false, true}) {
        FileBrowser browser;
        bool hasList = true;
        Names rows{u"not read"};
        std::u16string title;
        lwtest::ModalCloser closer([&] { return browser.dialog && GetActiveWindow() == browser.dialog; },
                                   [&] {
                                       LwDevicePressKey(VK_F1);
                                       SendMessageW(browser.dialog, WM_COMMAND, IDOK, 0);
                                       lwtest::Drain();
                                       hasList = browser.list != nullptr;
                                       rows = RowTexts(browser.list);
                                       title = LwDeviceTitle();
                                       PostMessageW(browser.dialog, WM_CLOSE, 0, 0);
                                   });
        browser.RunModal(withBar ? ModuleWith({dialog, strings, bar, menu}) : ModuleWith({dialog, strings}), nullptr);
        EXPECT_EQ(hasList, withBar);  // the list comes before its icons
        EXPECT_EQ(rows, Names{}) << withBar;
        EXPECT_EQ(title, withBar ? u"Open" : u"") << withBar;  // the caption is set with the bar
    }
    FileBrowser browser;
    browser.RunModal(ModuleWith({strings, bar, menu}), nullptr);
    EXPECT_EQ(browser.dialog, nullptr);
}

// The browser's set-up and its paging, the whole sequences that the dialog,
// its folder label, soft-key bar and list get: full screen and soft keys,
// then the label moved, then the caption and the Back key, then the list; a
// page key finds the first selected row by asking each row's state.
TEST_F(BrowserTest, SetUpAndPagingInTheirOrder)
{
    using namespace lwtest;
    Make({"Books/", "Help/", "a.chm", "b.chm", "c.chm", "d.chm", "e.chm", "f.chm", "g.chm", "h.chm", "i.chm", "j.chm"});
    Recorder recorder;
    for (const char16_t* name : {u"#32770", u"static", u"menu_worker", WC_LISTVIEWW})
        recorder.WatchClass(name);
    recorder.decode = DecodeControlNote;
    std::vector<Msg> setUp, paging;
    HWND dialog = nullptr, label = nullptr, list = nullptr;
    Browse(u"\\", [&](FileBrowser& browser) {
        setUp = recorder.Take();
        dialog = browser.dialog;
        label = browser.label;
        list = browser.list;
        LwDevicePressKey(VK_DOWN);
        LwDevicePressKey(VK_RIGHT);
        lwtest::Drain();
        paging = recorder.Take();
        LwDevicePressKey(VK_F2);
    });
    ASSERT_FALSE(setUp.empty());
    HWND bar = nullptr;
    for (const Msg& m : setUp)
        bar = m.message == SHCMBM_OVERRIDEKEY ? m.window : bar;
    auto note = [&](UINT code, LPARAM item = 0, UINT how = 0) {
        return Msg{WM_NOTIFY, kSent | kItem | kHow, 0, 0, code, item, how}.At(dialog);
    };
    auto made = [](HWND window) {
        return std::vector<Msg>{Msg{WM_NCCREATE, kSent}.At(window), Msg{WM_CREATE, kSent}.At(window),
                                Msg{WM_SIZE, kSent}.At(window), Msg{WM_MOVE, kSent}.At(window)};
    };
    auto shown = [](HWND window) { return Msg{WM_SHOWWINDOW, kSent | kWParam, TRUE}.At(window); };
    std::vector<Msg> expected = made(dialog);
    expected.push_back(Msg{WM_SETFONT, kSent}.At(dialog));
    for (const Msg& m : made(label))
        expected.push_back(m);
    expected.insert(expected.end(), {shown(label), Msg{WM_SETFONT, kSent}.At(label), Msg{WM_INITDIALOG, kSent}.At(dialog),
                                     Msg{WM_SIZE, kSent}.At(dialog)});  // full screen
    for (const Msg& m : made(bar))
        expected.push_back(m);
    expected.insert(expected.end(), {shown(bar), Msg{WM_SIZE, kSent | kLParam, 0, MAKELPARAM(176, 18)}.At(label),
                                     Msg{WM_MOVE, kSent | kLParam, 0, 0}.At(label),
                                     Msg{WM_SETTEXT, kSent}.Saying(u"Select CHM File").At(dialog),
                                     Msg{SHCMBM_OVERRIDEKEY, kSent | kWParam | kLParam, VK_TBACK, 0x30003}.At(bar)});
    for (const Msg& m : made(list))
        expected.push_back(m);
    expected.insert(expected.end(), {shown(list), Msg{LVM_GETEXTENDEDLISTVIEWSTYLE, kSent}.At(list),
                                     Msg{LVM_SETEXTENDEDLISTVIEWSTYLE, kSent | kLParam, 0, LVS_EX_FULLROWSELECT}.At(list),
                                     Msg{LVM_SETIMAGELIST, kSent | kWParam, LVSIL_SMALL}.At(list),
                                     Msg{WM_SETFOCUS, kSent}.At(list), note(NM_SETFOCUS),
                                     Msg{WM_SETTEXT, kSent}.Saying(u"\\").At(label),
                                     Msg{LVM_DELETEALLITEMS, kSent}.At(list), note(LVN_DELETEALLITEMS, -1),
                                     Msg{LVM_DELETECOLUMN, kSent}.At(list), Msg{LVM_INSERTCOLUMNW, kSent}.At(list)});
    for (int row = 0; row < 12; ++row)
        expected.insert(expected.end(), {Msg{LVM_INSERTITEMW, kSent}.At(list), note(LVN_INSERTITEM, row)});
    const UINT both = LVIS_SELECTED | LVIS_FOCUSED;
    expected.insert(expected.end(), {Msg{LVM_SETITEMSTATE, kSent | kWParam, 0}.At(list), note(LVN_ITEMCHANGING, 0, both),
                                     note(LVN_ITEMCHANGED, 0, both), shown(dialog),
                                     Msg{WM_ACTIVATE, kSent | kWParam, WA_ACTIVE}.At(dialog)});
    // The label may paint before the browser is handed over, on a loaded
    // machine: painting reads its text and font.
    expected.insert(expected.end(), {Msg{WM_GETTEXTLENGTH, kSent | kOptional}.At(label),
                                     Msg{WM_GETTEXT, kSent | kOptional}.At(label),
                                     Msg{WM_GETFONT, kSent | kOptional}.At(label)});
    EXPECT_TRUE(Matches(setUp, expected)) << "set-up";

    // Down makes row 1 the selection; Right adds row 11, found from row 1.
    std::vector<Msg> keys = {Msg{WM_KEYDOWN, kPosted | kWParam, VK_DOWN}.At(list), note(LVN_KEYDOWN, 0, VK_DOWN),
                             note(LVN_ITEMCHANGING, 0, LVIS_FOCUSED), note(LVN_ITEMCHANGED, 0, LVIS_FOCUSED),
                             note(LVN_ITEMCHANGING, 1, both), note(LVN_ITEMCHANGING, 0, 0), note(LVN_ITEMCHANGED, 0, 0),
                             note(LVN_ITEMCHANGED, 1, both), Msg{WM_KEYUP, kPosted | kWParam, VK_DOWN}.At(list),
                             Msg{WM_KEYDOWN, kPosted | kWParam, VK_RIGHT}.At(list), note(LVN_KEYDOWN, 0, VK_RIGHT),
                             Msg{LVM_GETITEMCOUNT, kSent}.At(list),
                             Msg{LVM_GETITEMSTATE, kSent | kWParam | kLParam, 0, LVIS_SELECTED}.At(list),
                             Msg{LVM_GETITEMSTATE, kSent | kWParam | kLParam, 1, LVIS_SELECTED}.At(list),
                             Msg{LVM_SETITEMSTATE, kSent | kWParam, 11}.At(list), note(LVN_ITEMCHANGING, 11, both),
                             note(LVN_ITEMCHANGING, 1, LVIS_SELECTED), note(LVN_ITEMCHANGED, 1, LVIS_SELECTED),
                             note(LVN_ITEMCHANGED, 11, both), Msg{WM_KEYUP, kPosted | kWParam, VK_RIGHT}.At(list),
                             // the label painting, when the pump gets to it
                             Msg{WM_GETTEXTLENGTH, kSent | kOptional}.At(label),
                             Msg{WM_GETTEXT, kSent | kOptional}.At(label), Msg{WM_GETFONT, kSent | kOptional}.At(label)};
    EXPECT_TRUE(Matches(paging, keys)) << "paging";
}

TEST_F(BrowserTest, PathsPastTheLimitAreRefusedAndNothingChanges)
{
    // "\" + 200 + "\" leaves 57 of the 259 units: a 57-unit book fits, a
    // 58-unit one does not, nor a 57-unit folder with its backslash.
    const std::string deep(200, 'd');
    const std::string fits = std::string(53, 'c') + ".chm", tooLong = std::string(54, 'b') + ".chm";
    const std::string folder(57, 'f');
    Make({deep + "/" + fits, deep + "/" + tooLong, deep + "/" + folder + "/"});
    const std::u16string deepFolder = u"\\" + booktest::Wide(deep) + u"\\";
    std::vector<std::u16string> labels, titles;
    Browse(deepFolder, [&](FileBrowser& browser) {
        for (const std::string& name : {folder, tooLong, fits}) {
            ContentsWatch watch(browser);
            KeyTo(browser.list, booktest::Wide(name));
            LwDevicePressKey(VK_F1);
            lwtest::Drain();
            labels.push_back(Label(browser.dialog));
            titles.push_back(watch.title);
        }
        LwDevicePressKey(VK_F2);
    });
    EXPECT_EQ(labels, (std::vector<std::u16string>(3, deepFolder)));
    EXPECT_EQ(titles, (std::vector<std::u16string>{u"", u"", booktest::Wide(fits)}));

    // The set-up calls refuse what does not fit, and keep what they had.
    FileBrowser browser;
    EXPECT_FALSE(browser.SetFolder(std::u16string(259, u'p').c_str()));
    EXPECT_TRUE(browser.SetFolder(std::u16string(258, u'p').c_str()));
    EXPECT_EQ(std::u16string(browser.folder), std::u16string(258, u'p') + u"\\");
    EXPECT_TRUE(browser.SetFolder(u"\\a\\"));
    EXPECT_EQ(std::u16string(browser.folder), u"\\a\\");
    EXPECT_FALSE(browser.SetFilter(std::u16string(80, u'*').c_str()));
    EXPECT_FALSE(browser.SetTitle(nullptr));
    EXPECT_EQ(std::u16string(browser.filter), u"*.chm");
    EXPECT_EQ(std::u16string(browser.title), u"Open");
}

// The whole program by keys and taps, from the real root down to a page and
// back, then the menu's other commands, each run twice; Exit ends with 0.
class JourneyTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        std::string pattern = "/tmp/leafwise-journey-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        top = pattern;
        fs::create_directories(top / "Books");
        fs::create_directories(top / "scratch");
        fs::copy_file(booktest::TestBookHostPath("links"), top / "Books/links.chm");
        // The registry and the desktop's files in a home of the test's own.
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"})
            if (const char* value = getenv(name))
                saved.emplace_back(name, value);
        setenv("HOME", top.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (top / "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (top / "data").c_str(), 1);
        for (const char* name : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION", "LEAFWISE_ROOT"})
            unsetenv(name);
        setenv("LEAFWISE_TEMP", (top / "scratch").c_str(), 1);
        setenv("LEAFWISE_MESSAGEBOX_LOG", (top / "boxes.log").c_str(), 1);
    }
    void TearDown() override
    {
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "LEAFWISE_TEMP", "LEAFWISE_MESSAGEBOX_LOG"})
            unsetenv(name);
        for (const auto& [name, value] : saved)
            setenv(name.c_str(), value.c_str(), 1);
        AppTest::TearDown();
        std::error_code ignored;
        fs::remove_all(top, ignored);
    }

    // Steps run in order, each once its condition holds, from whichever
    // modal loop runs then.
    void Then(std::function<bool()> ready, std::function<void()> act)
    {
        int index = static_cast<int>(steps.size());
        steps.push_back(std::make_unique<lwtest::ModalCloser>(
            [this, index, ready] { return done == index && ready(); },
            [this, act] {
                ++done;
                act();
            },
            30000));
    }
    std::string Boxes() const { return ReadText((top / "boxes.log").string()); }

    fs::path top;
    std::vector<std::pair<std::string, std::string>> saved;
    std::vector<std::unique_ptr<lwtest::ModalCloser>> steps;
    int done = 0;
};

TEST_F(JourneyTest, MenuOpenWalkReadBackCancelAssociateAboutExit)
{
    ReaderApp app;
    registeredFor.push_back(GetModuleHandleW(nullptr));
    ASSERT_TRUE(app.Init(GetModuleHandleW(nullptr)));

    const std::u16string journey = booktest::Wide(top.filename().string());
    const std::u16string books = u"\\tmp\\" + journey + u"\\Books\\";
    auto mainShown = [&] { return IsWindowVisible(app.mainWindow) && GetActiveWindow() == app.mainWindow; };
    auto browserAt = [](const std::u16string& folder) {
        return [folder] { return LwDeviceTitle() == u"Select CHM File" && Label(GetActiveWindow()) == folder; };
    };
    auto list = [] { return GetDlgItem(GetActiveWindow(), kBrowserListId); };
    auto titled = [](const std::u16string& title) { return [title] { return LwDeviceTitle() == title; }; };
    auto page = [](const std::u16string& title) {
        return [title] { return lwtest::ModalCloser::ActiveClassIs(u"XTHtmlView") && LwDeviceTitle() == title; };
    };
    auto menu = [&](const std::u16string& item) {
        Then(mainShown, [] { LwDevicePressKey(VK_F1); });
        Then([] { return !LwDevicePopupItems().empty(); }, [item] { LwDeviceChoosePopupItem(item); });
    };
    auto walk = [&](const std::u16string& folder, const std::u16string& row) {
        Then(browserAt(folder), [&list, row] {
            EXPECT_TRUE(KeyTo(list(), row)) << booktest::Utf8(row);
            LwDevicePressKey(VK_F1);
        });
    };

    Rows selectedBefore, selectedAfter;
    menu(u"Open");
    walk(u"\\", u"tmp");
    walk(u"\\tmp\\", journey);
    walk(u"\\tmp\\" + journey + u"\\", u"Books");
    Then(browserAt(books), [&] {
        KeyTo(list(), u"links.chm");
        lwtest::Drain();
        selectedBefore = SelectedRows(list());
        LwDevicePressKey(VK_F1);
    });
    Then(titled(u"links.chm"), [] { LwDevicePressKey(VK_F1); });  // "Browse": page A
    Then(page(u"Page A"), [] {
        LwDevicePressKey(VK_TAB);  // to the link
        LwDevicePressKey(VK_RETURN);
    });
    Then(page(u"Page B"), [] { LwDevicePressKey(VK_F1); });      // "OK"
    Then(titled(u"links.chm"), [] { LwDevicePressKey(VK_F2); });  // "Close"
    Then(browserAt(books), [&] {
        selectedAfter = SelectedRows(list());
        for (int up = 0; up < 4; ++up)  // the last at the root does nothing
            LwDevicePressKey(VK_ESCAPE);
    });
    Then(browserAt(u"\\"), [] { LwDevicePressKey(VK_F2); });  // "Cancel"
    menu(u"Open");
    Then(browserAt(u"\\"), [] { LwDevicePressKey(VK_F2); });
    menu(u"Associate");
    menu(u"Associate");
    menu(u"About");
    Then(titled(u"About"), [] { LwDevicePressKey(VK_F1); });
    menu(u"About");
    Then(titled(u"About"), [] { LwDevicePressKey(VK_F1); });
    Then(mainShown, [] { LwDevicePressKey(VK_F2); });  // "Exit"

    EXPECT_EQ(app.Run(u"", SW_SHOW), 0);
    EXPECT_EQ(done, static_cast<int>(steps.size()));
    EXPECT_EQ(selectedAfter, selectedBefore);
    EXPECT_EQ(selectedBefore.size(), 1u);
    char line[256];
    snprintf(line, sizeof line, "Leafwise\tCHM File associate success!\t0x40\t0x%llx\n",
             static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(app.mainWindow)));
    EXPECT_EQ(Boxes(), std::string(line) + line);
    EXPECT_EQ(lwtest::CommandOutput("xdg-mime query default application/vnd.ms-htmlhelp"), "leafwise-chmfile.desktop");
    std::string entry = ReadText((top / "data/applications/leafwise-chmfile.desktop").string());
    EXPECT_NE(entry.find("\nExec=" + fs::read_symlink("/proc/self/exe").string() + " %f\n"), std::string::npos)
        << entry;
}

}  // namespace
}  // namespace apptest
