// Incremental search in the tree and the list: characters typed in quick
// succession select the item whose text begins with them, as on Windows. Each
// text is posted whole before the queue is delivered, so its characters come
// within the control's second; a pause is waited out by asking the control
// for its search until it has none.
#include "controlfixture.h"

using namespace lwtest;

namespace {

// Subclass of the control under test: the characters it was given.
std::u16string& Seen()
{
    static std::u16string seen;
    return seen;
}
WNDPROC controlProc = nullptr;

LRESULT CALLBACK SeeChars(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CHAR)
        Seen() += static_cast<char16_t>(wParam);
    return CallWindowProcW(controlProc, window, message, wParam, lParam);
}

class TypeAheadTest : public ControlTest {
protected:
    // Makes the control, focused, subclassed to see its characters.
    void Make(LPCWSTR className, DWORD style)
    {
        control = MakeControl(className, style);
        ASSERT_TRUE(control);
        Seen().clear();
        controlProc =
            reinterpret_cast<WNDPROC>(SetWindowLongW(control, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(SeeChars)));
        SetFocus(control);
        Drain();
        searchMessage = className == std::u16string(WC_TREEVIEWW) ? TVM_GETISEARCHSTRINGW : LVM_GETISEARCHSTRINGW;
    }
    // Posts the characters to the control's queue, then delivers them.
    void Type(const std::u16string& text)
    {
        for (char16_t c : text)
            PostMessageW(control, WM_CHAR, c, 1);
        Drain();
    }
    std::u16string Search()
    {
        auto length = static_cast<size_t>(SendMessageW(control, searchMessage, 0, 0));
        std::u16string text(length + 1, u'#');
        EXPECT_EQ(static_cast<size_t>(SendMessageW(control, searchMessage, 0, reinterpret_cast<LPARAM>(text.data()))),
                  length);
        EXPECT_EQ(text[length], u'\0');
        text.resize(length);
        return text;
    }
    bool Pause()
    {
        return PumpUntil([this] { return SendMessageW(control, searchMessage, 0, 0) == 0; }, 5000);
    }

    HWND control = nullptr;
    UINT searchMessage = 0;
};

class TreeTypeAhead : public TypeAheadTest {
protected:
    void SetUp() override
    {
        TypeAheadTest::SetUp();
        Make(WC_TREEVIEWW, TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT);
    }
    HTREEITEM Insert(HTREEITEM parentItem, LPCWSTR text)
    {
        TVINSERTSTRUCTW insert{};
        insert.hParent = parentItem;
        insert.hInsertAfter = TVI_LAST;
        insert.item.mask = TVIF_TEXT;
        insert.item.pszText = const_cast<LPWSTR>(text);
        auto made = SendMessageW(control, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert));
        return reinterpret_cast<HTREEITEM>(made);
    }
    HTREEITEM Selected()
    {
        return reinterpret_cast<HTREEITEM>(SendMessageW(control, TVM_GETNEXTITEM, TVGN_CARET, 0));
    }
};

class ListTypeAhead : public TypeAheadTest {
protected:
    void SetUp() override
    {
        TypeAheadTest::SetUp();
        Make(WC_LISTVIEWW, LVS_REPORT | LVS_NOCOLUMNHEADER);
        LVCOLUMNW column{};
        column.mask = LVCF_WIDTH;
        column.cx = 176;
        SendMessageW(control, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    }
    void Insert(LPCWSTR text)
    {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = 0x7FFF;
        item.pszText = const_cast<LPWSTR>(text);
        SendMessageW(control, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    int Focused()
    {
        return static_cast<int>(SendMessageW(control, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    }
    int SelectedCount() { return static_cast<int>(SendMessageW(control, LVM_GETSELECTEDCOUNT, 0, 0)); }
};

} // namespace

// "ab" stays on the first item that begins with it, a pause starts afresh with
// "c"; one letter typed again steps through the items that begin with it (a
// run of it tried whole first: "aa" finds "Aardvark"), skipping what a
// collapsed branch holds until it is expanded; no match leaves the selection.
TEST_F(TreeTypeAhead, SearchesTheItemsShownFromTheSelection)
{
    HTREEITEM apple = Insert(TVI_ROOT, u"apple");
    HTREEITEM abacus = Insert(TVI_ROOT, u"Abacus");
    HTREEITEM cherry = Insert(TVI_ROOT, u"cherry");
    HTREEITEM aardvark = Insert(TVI_ROOT, u"Aardvark");
    HTREEITEM zed = Insert(TVI_ROOT, u"Zed");
    HTREEITEM abyss = Insert(zed, u"abyss");
    HTREEITEM apples = Insert(TVI_ROOT, u"\u042F\u0431\u043B\u043E\u043A\u043E");  // "Яблоко"
    SendMessageW(control, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(apple));
    Take();

    Type(u"ab");
    EXPECT_EQ(Selected(), abacus);
    EXPECT_EQ(Search(), u"ab");
    EXPECT_TRUE(Matches(Take(), {Note(TVN_SELCHANGINGW, ItemOf(abacus), TVC_BYKEYBOARD),
                                 Note(TVN_SELCHANGEDW, ItemOf(abacus), TVC_BYKEYBOARD)}));
    ASSERT_TRUE(Pause());
    EXPECT_EQ(Search(), u"");
    Type(u"c");
    EXPECT_EQ(Selected(), cherry);

    ASSERT_TRUE(Pause());
    Type(u"aa");
    EXPECT_EQ(Selected(), aardvark) << "the run whole";
    Type(u"a");
    EXPECT_EQ(Selected(), apple) << "on past the branch's abyss, round to the top";
    Type(u"a");
    EXPECT_EQ(Selected(), abacus);

    ASSERT_TRUE(Pause());
    Take();
    Type(u"q");
    EXPECT_EQ(Selected(), abacus) << "nothing begins with q";
    EXPECT_EQ(Search(), u"q");
    EXPECT_TRUE(Matches(Take(), {}));
    ASSERT_TRUE(Pause());
    Type(u"ax");
    EXPECT_EQ(Selected(), aardvark) << "\"a\" steps on, and nothing begins with \"ax\"";

    ASSERT_TRUE(Pause());
    SendMessageW(control, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(zed));
    SendMessageW(control, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(aardvark));
    Type(u"a");
    EXPECT_EQ(Selected(), abyss) << "shown now";

    ASSERT_TRUE(Pause());
    Type(u"\u044F");  // "я": case-blind in any script
    EXPECT_EQ(Selected(), apples);
    EXPECT_EQ(Seen(), u"abcaaaaqaxa\u044F") << "every character through the subclass";
}

// Characters come as the device types them: a key becomes WM_CHAR through the
// queue (the subclass sees it); control characters and a leading space do not
// search, a space inside a search does.
TEST_F(TreeTypeAhead, KeysTypeThroughTheQueueAndOnlyPrintableCharactersSearch)
{
    Insert(TVI_ROOT, u"one");
    HTREEITEM getting = Insert(TVI_ROOT, u"Getting Help");
    HTREEITEM started = Insert(TVI_ROOT, u"Getting Started");
    HTREEITEM spaced = Insert(TVI_ROOT, u" spaced");
    SendMessageW(control, TVM_SELECTITEM, TVGN_CARET, 0);
    SendMessageW(control, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(spaced));

    for (char key : std::string("GETTING S"))  // the virtual keys of letters and of the space are their codes
        LwDevicePressKey(static_cast<UINT>(key));
    Drain();
    EXPECT_EQ(Seen(), u"getting s");
    EXPECT_EQ(Selected(), started);
    EXPECT_EQ(Search(), u"getting s");

    ASSERT_TRUE(Pause());
    Type(u" \b\t\x1B\x7F");
    EXPECT_EQ(Search(), u"");
    EXPECT_EQ(Selected(), started);
    Type(u"g");
    EXPECT_EQ(Selected(), getting) << "on from the selection, round to the top";
}

// The list searches its rows from the focused one; the row found becomes the
// only selection, focused.
TEST_F(ListTypeAhead, SearchesTheRowsFromTheFocusedOne)
{
    for (LPCWSTR row : {u"..", u"Books", u"apple", u"beta", u"Alpha"})
        Insert(row);
    LVITEMW both{};
    both.state = both.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(control, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&both));
    both.stateMask = LVIS_SELECTED;
    SendMessageW(control, LVM_SETITEMSTATE, 3, reinterpret_cast<LPARAM>(&both));  // two selected rows

    Type(u"be");
    EXPECT_EQ(Focused(), 3);
    EXPECT_EQ(SelectedCount(), 1);
    EXPECT_EQ(Search(), u"be");
    ASSERT_TRUE(Pause());
    Type(u"a");
    EXPECT_EQ(Focused(), 4);
    Type(u"a");
    EXPECT_EQ(Focused(), 2) << "round to the top";
    ASSERT_TRUE(Pause());
    Type(u"z");
    EXPECT_EQ(Focused(), 2);
    EXPECT_EQ(SelectedCount(), 1);
    EXPECT_EQ(Search(), u"z");
    EXPECT_EQ(Seen(), u"beaaz");
}
