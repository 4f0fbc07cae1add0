// The list view in report view, as the file browser uses it, and image lists:
// rows and states with the whole sequences of notifications, keys and taps,
// the image list's owner, and icons drawn through their masks.
#include "controlfixture.h"

#include <resource.h>

#include "gdi_qt.h"

using namespace lwtest;

namespace {

constexpr UINT kBoth = LVIS_SELECTED | LVIS_FOCUSED;

class List : public ControlTest {
protected:
    void SetUp() override
    {
        ControlTest::SetUp();
        list = MakeList(0);
    }
    HWND MakeList(DWORD style)
    {
        HWND made = MakeControl(WC_LISTVIEWW, LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_NOSORTHEADER | style);
        LVCOLUMNW column{};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
        column.cx = 176;
        column.pszText = const_cast<LPWSTR>(u"Name");
        SendMessageW(made, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
        return made;
    }
    int Insert(int index, LPCWSTR text, int image = 0, UINT state = 0, HWND to = nullptr)
    {
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_STATE;
        item.iItem = index;
        item.pszText = const_cast<LPWSTR>(text);
        item.iImage = image;
        item.state = state;
        item.stateMask = state;
        return static_cast<int>(SendMessageW(to ? to : list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    }
    void Rows(int count)
    {
        for (int i = 0; i < count; ++i)
            Insert(i, u"row");
        recorder.Clear();
    }
    BOOL SetState(int row, UINT state, UINT mask)
    {
        LVITEMW item{};
        item.state = state;
        item.stateMask = mask;
        return static_cast<BOOL>(SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)));
    }
    UINT State(int row) { return static_cast<UINT>(SendMessageW(list, LVM_GETITEMSTATE, row, kBoth)); }
    int NextWith(UINT flags, int start = -1) { return static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, start, flags)); }
    std::u16string Text(int row, int size = 64)
    {
        std::u16string buffer(static_cast<size_t>(size), u'#');
        LVITEMW item{};
        item.pszText = buffer.data();
        item.cchTextMax = size;
        SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
        return buffer.c_str();
    }

    HWND list = nullptr;
};

// The file browser's list of a big folder: 300 rows at its size, below the
// folder label.
class BigList : public List {
protected:
    void SetUp() override
    {
        List::SetUp();
        MoveWindow(list, 0, 18, 240, 250, TRUE);
        SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
        Rows(300);
        SetState(0, kBoth, kBoth);
        SetFocus(list);
        Drain();
        page = static_cast<int>(SendMessageW(list, LVM_GETCOUNTPERPAGE, 0, 0));
        recorder.Watch(list);
        recorder.Clear();
    }
    int Top() { return static_cast<int>(SendMessageW(list, LVM_GETTOPINDEX, 0, 0)); }
    // The middle of a row on the screen, in the list's client coordinates.
    POINT Middle(int row)
    {
        RECT rect{LVIR_BOUNDS, 0, 0, 0};
        SendMessageW(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rect));
        return POINT{60, (rect.top + rect.bottom) / 2};
    }
    // A tap or a key through the device; what it caused is what Take gives next.
    void Tap(POINT at)
    {
        ClientToScreen(list, &at);
        recorder.Clear();
        ASSERT_TRUE(LwDeviceTap(at.x, at.y));
        Drain();
    }
    void Press(UINT key)
    {
        recorder.Clear();
        LwDevicePressKey(key);
        Drain();
    }
    // What moving the only selection from one row to another tells the
    // parent: the old row loses its selection, the new one gains both, the
    // old one the focus.
    static std::vector<Msg> Moves(int from, int to)
    {
        return {Note(LVN_ITEMCHANGING, from, LVIS_FOCUSED), Note(LVN_ITEMCHANGED, from, LVIS_FOCUSED),
                Note(LVN_ITEMCHANGING, to, kBoth),          Note(LVN_ITEMCHANGING, from, 0),
                Note(LVN_ITEMCHANGED, from, 0),             Note(LVN_ITEMCHANGED, to, kBoth)};
    }

    int page = 0;
};

} // namespace

TEST_F(List, RowsAndColumnsGoWhereAskedAndInsertionsAreTold)
{
    EXPECT_EQ(Insert(0, u"first"), 0);
    EXPECT_EQ(Insert(5, u"last"), 1); // past the end: appended
    EXPECT_EQ(Insert(1, u"between"), 1);
    EXPECT_EQ(Insert(-1, u"nowhere"), -1);
    LVITEMW sub{};
    sub.iSubItem = 1;
    EXPECT_EQ(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&sub)), -1);
    EXPECT_EQ(Insert(3, u"chosen", 1, kBoth), 3);
    EXPECT_TRUE(Matches(Take(), {Note(LVN_INSERTITEM, 0),
                                 Note(LVN_INSERTITEM, 1),
                                 Note(LVN_INSERTITEM, 1),
                                 Note(LVN_INSERTITEM, 3),
                                 Note(LVN_ITEMCHANGING, 3, kBoth),
                                 Note(LVN_ITEMCHANGED, 3, kBoth)}));
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 4);
    EXPECT_EQ(Text(1), u"between");
    EXPECT_EQ(Text(2, 3), u"la"); // cut and terminated
    EXPECT_EQ(Text(9), u"");
    EXPECT_EQ(NextWith(LVNI_FOCUSED), 3);
    EXPECT_EQ(NextWith(LVNI_SELECTED, 3), -1);
    EXPECT_EQ(NextWith(LVNI_ALL, 1), 2);
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0), 176);
    EXPECT_FALSE(SendMessageW(list, LVM_DELETECOLUMN, 4, 0));
    EXPECT_TRUE(SendMessageW(list, LVM_DELETECOLUMN, 0, 0));
    EXPECT_EQ(SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT), 0);
    EXPECT_EQ(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0), LVS_EX_FULLROWSELECT);
}

TEST_F(List, StatesChangeWithTheirNotificationsOneFocusAndSelectionsAsTheStyleAllows)
{
    Rows(4);
    EXPECT_TRUE(SetState(0, kBoth, kBoth));
    EXPECT_TRUE(SetState(0, kBoth, kBoth)); // no change, no word
    EXPECT_TRUE(SetState(2, kBoth, kBoth)); // the focus moves; row 0 stays selected (the browser's paging)
    EXPECT_TRUE(Matches(Take(), {Note(LVN_ITEMCHANGING, 0, kBoth),
                                 Note(LVN_ITEMCHANGED, 0, kBoth),
                                 Note(LVN_ITEMCHANGING, 2, kBoth),
                                 Note(LVN_ITEMCHANGING, 0, LVIS_SELECTED),
                                 Note(LVN_ITEMCHANGED, 0, LVIS_SELECTED),
                                 Note(LVN_ITEMCHANGED, 2, kBoth)}));
    EXPECT_EQ(SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0), 2);
    EXPECT_FALSE(SetState(-1, LVIS_FOCUSED, LVIS_FOCUSED)); // never all focused
    EXPECT_TRUE(SetState(-1, 0, LVIS_SELECTED));
    EXPECT_TRUE(Matches(Take(), {Note(LVN_ITEMCHANGING, 0, 0),
                                 Note(LVN_ITEMCHANGED, 0, 0),
                                 Note(LVN_ITEMCHANGING, 2, LVIS_FOCUSED),
                                 Note(LVN_ITEMCHANGED, 2, LVIS_FOCUSED)}));
    Answers()[LVN_ITEMCHANGING] = TRUE;
    EXPECT_FALSE(SetState(1, LVIS_SELECTED, LVIS_SELECTED));
    EXPECT_EQ(State(1), 0u);
    EXPECT_FALSE(SetState(9, LVIS_SELECTED, LVIS_SELECTED));

    // A single-selection list keeps one selected row.
    list = MakeList(LVS_SINGLESEL);
    Rows(3);
    Answers().clear();
    SetState(0, LVIS_SELECTED, LVIS_SELECTED);
    Take();
    EXPECT_TRUE(SetState(1, LVIS_SELECTED, LVIS_SELECTED));
    EXPECT_TRUE(Matches(Take(), {Note(LVN_ITEMCHANGING, 1, LVIS_SELECTED),
                                 Note(LVN_ITEMCHANGING, 0, 0),
                                 Note(LVN_ITEMCHANGED, 0, 0),
                                 Note(LVN_ITEMCHANGED, 1, LVIS_SELECTED)}));
    EXPECT_FALSE(SetState(-1, LVIS_SELECTED, LVIS_SELECTED));
}

TEST_F(List, KeyDownReachesTheParentBeforeTheSelectionMovesAndTheFocusStaysInView)
{
    Rows(40);
    SetState(0, kBoth, kBoth);
    Take();
    int selectedAtKey = -2;
    OnNote() = [&](const NMHDR* header) {
        if (header->code == LVN_KEYDOWN)
            selectedAtKey = NextWith(LVNI_SELECTED);
    };
    SendMessageW(list, WM_KEYDOWN, VK_DOWN, 1);
    EXPECT_EQ(selectedAtKey, 0);
    EXPECT_TRUE(Matches(Take(), {Note(LVN_KEYDOWN, 0, VK_DOWN),
                                 Note(LVN_ITEMCHANGING, 0, LVIS_FOCUSED),
                                 Note(LVN_ITEMCHANGED, 0, LVIS_FOCUSED),
                                 Note(LVN_ITEMCHANGING, 1, kBoth),
                                 Note(LVN_ITEMCHANGING, 0, 0),
                                 Note(LVN_ITEMCHANGED, 0, 0),
                                 Note(LVN_ITEMCHANGED, 1, kBoth)}));
    int page = static_cast<int>(SendMessageW(list, LVM_GETCOUNTPERPAGE, 0, 0));
    SendMessageW(list, WM_KEYDOWN, VK_END, 1);
    EXPECT_EQ(NextWith(LVNI_FOCUSED), 39);
    EXPECT_EQ(SendMessageW(list, LVM_GETTOPINDEX, 0, 0), 40 - page);
    SendMessageW(list, WM_KEYDOWN, VK_HOME, 1);
    SendMessageW(list, WM_KEYDOWN, VK_NEXT, 1); // to the page's last row
    EXPECT_EQ(NextWith(LVNI_SELECTED), page - 1);
    SendMessageW(list, WM_KEYDOWN, VK_NEXT, 1); // from there, a page on
    EXPECT_EQ(NextWith(LVNI_SELECTED), 2 * page - 2);
    EXPECT_EQ(SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0), 1);
    SendMessageW(list, WM_KEYDOWN, VK_UP, 1);
    EXPECT_EQ(NextWith(LVNI_FOCUSED), 2 * page - 3);
    SendMessageW(list, WM_KEYDOWN, VK_LEFT, 1); // the parent's to act on (paging)
    EXPECT_EQ(NextWith(LVNI_FOCUSED), 2 * page - 3);
    Take();
    SendMessageW(list, WM_KEYDOWN, VK_RETURN, 1);
    EXPECT_TRUE(Matches(Take(), {Note(LVN_KEYDOWN, 0, VK_RETURN), Note(NM_RETURN), Note(LVN_ITEMACTIVATE, 2 * page - 3)}));
}

TEST_F(List, TapsSelectOneRowAndClickOnReleaseDoubleTapsActivate)
{
    Rows(5);
    RECT row{LVIR_BOUNDS, 0, 0, 0};
    ASSERT_TRUE(SendMessageW(list, LVM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&row)));
    int middle = (row.top + row.bottom) / 2;
    ASSERT_TRUE(LwDeviceTap(60, 26 + middle));
    Drain();
    EXPECT_TRUE(Matches(Take(), {Note(LVN_ITEMCHANGING, 2, kBoth),
                                 Note(LVN_ITEMCHANGED, 2, kBoth),
                                 ParentLosesFocus(),
                                 Note(NM_SETFOCUS),
                                 Note(NM_CLICK, 2)}));
    // A tap on one of several selected rows leaves them until the release.
    SetState(4, LVIS_SELECTED, LVIS_SELECTED);
    Take();
    SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(60, middle));
    EXPECT_EQ(SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0), 2);
    SendMessageW(list, WM_LBUTTONUP, 0, MAKELPARAM(60, middle));
    EXPECT_EQ(SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0), 1);
    Take();
    SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(60, middle));
    EXPECT_TRUE(Matches(Take(), {Note(NM_DBLCLK, 2), Note(LVN_ITEMACTIVATE, 2)}));
}

TEST_F(List, DeletingAllTellsEachRowUnlessTheParentDeclines)
{
    Rows(3);
    SetState(1, kBoth, kBoth);
    Take();
    EXPECT_TRUE(SendMessageW(list, LVM_DELETEALLITEMS, 0, 0));
    EXPECT_TRUE(Matches(Take(), {Note(LVN_DELETEALLITEMS, -1),
                                 Note(LVN_DELETEITEM, 2),
                                 Note(LVN_DELETEITEM, 1),
                                 Note(LVN_DELETEITEM, 0)}));
    EXPECT_EQ(NextWith(LVNI_FOCUSED), -1);
    Rows(3);
    Answers()[LVN_DELETEALLITEMS] = TRUE;
    EXPECT_TRUE(SendMessageW(list, LVM_DELETEALLITEMS, 0, 0));
    EXPECT_TRUE(Matches(Take(), {Note(LVN_DELETEALLITEMS, -1)}));
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 0);
}

TEST_F(List, ItsImageListsDieWithItUnlessShared)
{
    HIMAGELIST owned = ImageList_Create(16, 16, ILC_MASK, 0, 0);
    HIMAGELIST shared = ImageList_Create(16, 16, ILC_MASK, 0, 0);
    EXPECT_EQ(SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(owned)), 0);
    HWND sharing = MakeList(LVS_SHAREIMAGELISTS);
    SendMessageW(sharing, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(shared));
    DestroyWindow(list);
    DestroyWindow(sharing);
    EXPECT_FALSE(ImageList_Destroy(owned)) << "already destroyed by its list";
    EXPECT_TRUE(ImageList_Destroy(shared));
}

TEST_F(List, RowsShowTheirIconsThroughTheMasksAndTheWholeRowHighlighted)
{
    HINSTANCE self = GetModuleHandleW(nullptr);
    auto folder = static_cast<HICON>(LoadImageW(self, MAKEINTRESOURCEW(IDI_FOLDER), IMAGE_ICON, 16, 16, 0));
    auto book = static_cast<HICON>(LoadImageW(self, MAKEINTRESOURCEW(IDI_BOOK), IMAGE_ICON, 16, 16, 0));
    ASSERT_TRUE(folder && book);
    HIMAGELIST images = ImageList_Create(16, 16, ILC_MASK, 0, 0);
    EXPECT_EQ(ImageList_AddIcon(images, folder), 0);
    EXPECT_EQ(ImageList_AddIcon(images, book), 1);
    SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    Insert(0, u"..", 0);
    Insert(1, u"a.chm", 1);
    RECT icon{LVIR_ICON, 0, 0, 0};
    ASSERT_TRUE(SendMessageW(list, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&icon)));
    // The book icon's own pixels where it is opaque, the row's white where its mask is clear.
    const QImage* picture = LwIconImage(book);
    int top = icon.top + (icon.bottom - icon.top - 16) / 2;
    int opaque = 0, clear = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            QRgb want = picture->pixel(x, y);
            if (qAlpha(want) == 255 && opaque < 20) {
                EXPECT_EQ(Pixel(icon.left + x, top + y), RGB(qRed(want), qGreen(want), qBlue(want)));
                ++opaque;
            } else if (qAlpha(want) == 0 && clear < 20) {
                EXPECT_EQ(Pixel(icon.left + x, top + y), RGB(255, 255, 255));
                ++clear;
            }
        }
    }
    EXPECT_GT(opaque, 0);
    EXPECT_GT(clear, 0);
    // Selected and focused: navy across the column, the icon tinted.
    SetFocus(list);
    SetState(1, kBoth, kBoth);
    int middle = (icon.top + icon.bottom) / 2;
    EXPECT_EQ(Pixel(170, middle), RGB(0, 0, 128));
    EXPECT_EQ(Pixel(200, middle), RGB(255, 255, 255)) << "the column ends at 176";
    DestroyIcon(folder);
    DestroyIcon(book);
}

TEST(ImageLists, RefuseBadInputAndDrawMaskedUnmaskedAndBlended)
{
    LwDeviceStart();
    SetLastError(0xdeadbeef);
    EXPECT_EQ(ImageList_Create(0, 16, ILC_MASK, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    auto bogus = reinterpret_cast<HIMAGELIST>(static_cast<uintptr_t>(0x4321));
    EXPECT_EQ(ImageList_GetImageCount(bogus), 0);
    EXPECT_EQ(ImageList_AddIcon(bogus, nullptr), -1);
    EXPECT_FALSE(ImageList_Draw(bogus, 0, nullptr, 0, 0, ILD_NORMAL));

    // A 32 x 4 strip: two images, red and green; the mask clears the first two columns of each.
    QImage strip(32, 4, QImage::Format_RGB32);
    strip.fill(Qt::red);
    for (int y = 0; y < 4; ++y)
        for (int x = 16; x < 32; ++x)
            strip.setPixel(x, y, qRgb(0, 255, 0));
    QImage maskBits(32, 4, QImage::Format_RGB32);
    maskBits.fill(Qt::black);
    for (int y = 0; y < 4; ++y)
        for (int x : {0, 1, 16, 17})
            maskBits.setPixel(x, y, qRgb(255, 255, 255));
    HBITMAP bitmap = LwCreateBitmapFromImage(strip, 24);
    HBITMAP mask = LwCreateBitmapFromImage(maskBits, 1);
    HIMAGELIST masked = ImageList_Create(16, 4, ILC_MASK | ILC_COLOR4, 0, 0);
    HIMAGELIST plain = ImageList_Create(16, 4, ILC_COLOR24, 0, 0);
    EXPECT_EQ(ImageList_Add(masked, bitmap, mask), 0);
    EXPECT_EQ(ImageList_Add(plain, bitmap, mask), 0);
    EXPECT_EQ(ImageList_GetImageCount(masked), 2);
    EXPECT_EQ(ImageList_ReplaceIcon(masked, 5, nullptr), -1);

    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP canvas = CreateCompatibleBitmap(dc, 16, 4);
    HGDIOBJ previous = SelectObject(dc, canvas);
    RECT all{0, 0, 16, 4};
    FillRect(dc, &all, GetSysColorBrush(COLOR_WINDOW));
    EXPECT_TRUE(ImageList_Draw(masked, 1, dc, 0, 0, ILD_NORMAL));
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 255, 255)); // through the mask
    EXPECT_EQ(GetPixel(dc, 5, 0), RGB(0, 255, 0));
    EXPECT_TRUE(ImageList_Draw(plain, 1, dc, 0, 0, ILD_NORMAL));
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(0, 0, 0)); // no mask: drawn whole, black where clear
    EXPECT_TRUE(ImageList_Draw(masked, 0, dc, 0, 0, ILD_SELECTED));
    EXPECT_NE(GetPixel(dc, 5, 0), RGB(255, 0, 0)); // tinted with the highlight
    EXPECT_FALSE(ImageList_Draw(masked, 2, dc, 0, 0, ILD_NORMAL));
    SelectObject(dc, previous);
    DeleteObject(canvas);
    DeleteDC(dc);
    DeleteObject(bitmap);
    DeleteObject(mask);
    EXPECT_TRUE(ImageList_Destroy(masked));
    EXPECT_TRUE(ImageList_Destroy(plain));
    EXPECT_FALSE(ImageList_Destroy(masked));
}

// A parent may destroy the list from any notification; the list stops there.
TEST_F(List, ParentThatDestroysTheListDuringANotificationEndsItCleanly)
{
    for (UINT code : {LVN_ITEMCHANGING, LVN_ITEMCHANGED, LVN_KEYDOWN, LVN_INSERTITEM, LVN_DELETEITEM, NM_SETFOCUS}) {
        list = MakeList(LVS_SINGLESEL);
        Rows(3);
        HWND doomed = list;
        OnNote() = [code, doomed](const NMHDR* header) {
            if (header->code == code)
                DestroyWindow(doomed);
        };
        SetState(0, kBoth, kBoth);
        SendMessageW(list, WM_KEYDOWN, VK_DOWN, 1);
        SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 5));
        Insert(0, u"more");
        SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
        EXPECT_FALSE(IsWindow(doomed)) << code;
        OnNote() = nullptr;
    }
}

// On a scrolled list a tap selects the row under the stylus, drawn
// highlighted across the row.
TEST_F(BigList, TapOnAScrolledListSelectsTheRowUnderTheStylus)
{
    SendMessageW(list, WM_VSCROLL, SB_PAGEDOWN, 0);
    SendMessageW(list, WM_VSCROLL, SB_PAGEDOWN, 0);
    int top = Top();
    ASSERT_EQ(top, 2 * page);
    int row = top + 3;
    POINT middle = Middle(row);
    Tap(middle);
    std::vector<Msg> expected = {{WM_LBUTTONDOWN, kPosted | kLParam, 0, MAKELPARAM(middle.x, middle.y)}};
    for (const Msg& note : Moves(0, row))
        expected.push_back(note);
    expected.insert(expected.end(), {{WM_LBUTTONUP, kPosted}, Note(NM_CLICK, row)});
    EXPECT_TRUE(Matches(Take(), expected));
    EXPECT_EQ(NextWith(LVNI_SELECTED), row);
    EXPECT_EQ(NextWith(LVNI_FOCUSED), row);
    EXPECT_EQ(Top(), top);
    EXPECT_EQ(Pixel(170, 18 + middle.y), RGB(0, 0, 128));
    EXPECT_EQ(Pixel(170, 18 + Middle(row + 1).y), RGB(255, 255, 255));

    // Down from the last row shown whole scrolls by one row.
    Tap(Middle(top + page - 1));
    EXPECT_EQ(Top(), top);
    Press(VK_DOWN);
    EXPECT_EQ(NextWith(LVNI_FOCUSED), top + page);
    EXPECT_EQ(Top(), top + 1);
}

// Page Up from the screen's top row goes a screen up, less one row, and
// scrolls it to the top; from any other row it goes to the top row.
TEST_F(BigList, PageUpFromTheTopRowGoesAScreenUp)
{
    SendMessageW(list, WM_VSCROLL, SB_PAGEDOWN, 0);
    SendMessageW(list, WM_VSCROLL, SB_PAGEDOWN, 0);
    int top = Top();
    Tap(Middle(top + 2));
    Press(VK_PRIOR);
    EXPECT_TRUE(Matches(Take(), [&] {
        std::vector<Msg> moves = {{WM_KEYDOWN, kPosted | kWParam, VK_PRIOR}, Note(LVN_KEYDOWN, 0, VK_PRIOR)};
        for (const Msg& note : Moves(top + 2, top))
            moves.push_back(note);
        moves.push_back({WM_KEYUP, kPosted | kWParam, VK_PRIOR});
        return moves;
    }()));
    EXPECT_EQ(Top(), top);
    Press(VK_PRIOR);
    EXPECT_EQ(NextWith(LVNI_FOCUSED), top - page + 1);
    EXPECT_EQ(Top(), top - page + 1);
    EXPECT_EQ(SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0), 1);
}

// LVM_GETNEXTITEM searches from the row after (below) or before (above) the
// start, never the start itself; -1 starts from the first row.
TEST_F(List, NextItemSearchesUpAndDownFromTheGivenRow)
{
    Rows(10);
    SetState(3, LVIS_SELECTED, LVIS_SELECTED);
    SetState(7, kBoth, kBoth);
    struct Case {
        int start;
        UINT flags;
        int found;
    };
    const Case cases[] = {
        {-1, LVNI_SELECTED, 3},           {3, LVNI_SELECTED, 7},
        {7, LVNI_SELECTED, -1},           {7, LVNI_SELECTED | LVNI_ABOVE, 3},
        {8, LVNI_SELECTED | LVNI_ABOVE, 7}, {3, LVNI_SELECTED | LVNI_ABOVE, -1},
        {10, LVNI_SELECTED | LVNI_ABOVE, 7}, {9, LVNI_FOCUSED | LVNI_ABOVE, 7},
        {5, LVNI_ABOVE, 4},               {5, LVNI_BELOW, 6},
        {1, LVNI_ABOVE, 0},               {0, LVNI_ABOVE, -1},
        {2, LVNI_SELECTED | LVNI_BELOW, 3}, {0, LVNI_FOCUSED, 7},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NextWith(c.flags, c.start), c.found) << c.start << " " << c.flags;
}

// The highlight's share in ILD_BLEND50 (ILD_SELECTED) and ILD_BLEND25
// (ILD_FOCUS), on the image only; and the mask's threshold: a mask pixel
// lighter than middle grey makes the image's pixel clear.
TEST(ImageLists, BlendsTakeTheirShareOfTheHighlightAndTheMaskSplitsAtMiddleGrey)
{
    LwDeviceStart();
    QImage picture(16, 1, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QImage maskBits(16, 1, QImage::Format_RGB32);
    const int greys[] = {0, 127, 128, 255};
    for (int x = 0; x < 16; ++x)
        maskBits.setPixel(x, 0, qRgb(greys[x / 4], greys[x / 4], greys[x / 4]));
    HBITMAP bitmap = LwCreateBitmapFromImage(picture, 24);
    HBITMAP mask = LwCreateBitmapFromImage(maskBits, 24);
    HIMAGELIST images = ImageList_Create(16, 1, ILC_MASK | ILC_COLOR24, 1, 0);
    ASSERT_EQ(ImageList_Add(images, bitmap, mask), 0);

    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP canvas = CreateCompatibleBitmap(dc, 16, 1);
    HGDIOBJ previous = SelectObject(dc, canvas);
    struct Case {
        UINT style;
        int red, blue; // the image's pixel; the highlight is navy (0, 0, 128)
    };
    for (const Case& c : {Case{ILD_NORMAL, 255, 0}, Case{ILD_BLEND50, 128, 64}, Case{ILD_BLEND25, 191, 32}}) {
        RECT all{0, 0, 16, 1};
        FillRect(dc, &all, GetSysColorBrush(COLOR_WINDOW));
        ASSERT_TRUE(ImageList_Draw(images, 0, dc, 0, 0, c.style));
        for (int x : {0, 4, 8, 12}) {
            COLORREF got = GetPixel(dc, x, 0);
            bool clear = x >= 8;
            SCOPED_TRACE(testing::Message() << "style " << c.style << " grey " << greys[x / 4]);
            EXPECT_NEAR(GetRValue(got), clear ? 255 : c.red, 1);
            EXPECT_EQ(GetGValue(got), clear ? 255 : 0);
            EXPECT_NEAR(GetBValue(got), clear ? 255 : c.blue, 1);
        }
    }
    SelectObject(dc, previous);
    DeleteObject(canvas);
    DeleteDC(dc);
    DeleteObject(bitmap);
    DeleteObject(mask);
    ImageList_Destroy(images);
}

// A row put in at the focused row's place pushes the focus down with its
// row: keys act from there.
TEST_F(List, InsertingAtTheFocusedRowMovesTheFocusAlong)
{
    Rows(5);
    SetState(2, kBoth, kBoth);
    Insert(2, u"new");
    EXPECT_EQ(NextWith(LVNI_FOCUSED), 3);
    SendMessageW(list, WM_KEYDOWN, VK_DOWN, 1);
    EXPECT_EQ(NextWith(LVNI_FOCUSED), 4);
    EXPECT_EQ(SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0), 1);
}
