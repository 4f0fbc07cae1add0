// The tree view against Windows' behaviour: items and their walks, the whole
// sequences of notifications for selection, expansion, keys, taps and
// deletion, and what the screen shows; a big tree at the contents window's
// size, scrolled and paged, driven through the queue. The tree's inside is
// checked whole after every operation (treecheck.h).
#include "controlfixture.h"
#include "treecheck.h"

#include <cstring>
#include <map>

using namespace lwtest;

namespace {

class Tree : public ControlTest {
protected:
    void SetUp() override
    {
        ControlTest::SetUp();
        tree = MakeControl(WC_TREEVIEWW, TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT);
        ASSERT_TRUE(tree);
    }
    void TearDown() override
    {
        Check();
        ControlTest::TearDown();
    }
    // The tree's inside, after an operation (nothing when a test destroyed it,
    // or while it fills thousands of items).
    void Check()
    {
        if (checkEach && IsWindow(tree))
            EXPECT_TRUE(TreeIsSound(tree));
    }
    LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam)
    {
        LRESULT result = SendMessageW(tree, message, wParam, lParam);
        Check();
        return result;
    }
    HTREEITEM Insert(HTREEITEM parentItem, LPCWSTR text, HTREEITEM after = TVI_LAST, LPARAM param = 0)
    {
        TVINSERTSTRUCTW insert{};
        insert.hParent = parentItem;
        insert.hInsertAfter = after;
        insert.item.mask = TVIF_TEXT | TVIF_PARAM;
        insert.item.pszText = const_cast<LPWSTR>(text);
        insert.item.lParam = param;
        return reinterpret_cast<HTREEITEM>(Send(TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
    }
    HTREEITEM Next(UINT relation, HTREEITEM item = nullptr)
    {
        return reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
    }
    std::u16string Text(HTREEITEM item, int size = 64)
    {
        std::u16string buffer(static_cast<size_t>(size), u'#');
        TVITEMW get{};
        get.mask = TVIF_TEXT;
        get.hItem = item;
        get.pszText = buffer.data();
        get.cchTextMax = size;
        if (!SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&get)))
            return u"<none>";
        return buffer.c_str();
    }
    UINT State(HTREEITEM item) { return static_cast<UINT>(SendMessageW(tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), 0xFFFF)); }
    LRESULT Expand(HTREEITEM item, UINT how) { return Send(TVM_EXPAND, how, reinterpret_cast<LPARAM>(item)); }
    LRESULT Select(HTREEITEM item) { return Send(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item)); }
    LRESULT Key(UINT key) { return Send(WM_KEYDOWN, key, 1); }
    // A key of the device, through the queue to the focused tree; what it
    // caused is what Take gives next.
    void Press(UINT key)
    {
        recorder.Clear();
        LwDevicePressKey(key);
        Drain();
        Check();
    }
    // A tap at a point of the tree's client area, through the device; what it
    // caused is what Take gives next.
    void Tap(int x, int y)
    {
        POINT at{x, y};
        ClientToScreen(tree, &at);
        recorder.Clear();
        ASSERT_TRUE(LwDeviceTap(at.x, at.y));
        Drain();
        Check();
    }
    // An item's row rectangle (the text's with `text`); empty when it has no row on screen.
    RECT RowRect(HTREEITEM item, bool text = false)
    {
        RECT rect{};
        std::memcpy(&rect, &item, sizeof item); // the item goes in the rectangle's first bytes
        if (!SendMessageW(tree, TVM_GETITEMRECT, text, reinterpret_cast<LPARAM>(&rect)))
            return RECT{};
        return rect;
    }
    int RowHeight() { return static_cast<int>(SendMessageW(tree, TVM_GETITEMHEIGHT, 0, 0)); }
    // A — A1 (A1a) — A2; B — B1.
    void Build()
    {
        a = Insert(TVI_ROOT, u"A");
        a1 = Insert(a, u"A1");
        a1a = Insert(a1, u"A1a");
        a2 = Insert(a, u"A2");
        b = Insert(TVI_ROOT, u"B");
        b1 = Insert(b, u"B1");
        recorder.Clear();
    }
    static LPARAM W(HTREEITEM item) { return reinterpret_cast<LPARAM>(item); }

    HWND tree = nullptr;
    HTREEITEM a, a1, a1a, a2, b, b1;
    bool checkEach = true;
};

// A book's contents as the contents window holds it: 300 chapters at the
// root, every tenth with two sections (collapsed), in the window's real
// size, where the last row shows only in part.
class BigTree : public Tree {
protected:
    void SetUp() override
    {
        Tree::SetUp();
        for (int i = 0; i < 300; ++i) {
            std::u16string title = u"Chapter " + std::u16string(1, static_cast<char16_t>(u'0' + i % 10));
            chapters.push_back(Insert(TVI_ROOT, title.c_str()));
            if (i % 10 == 0)
                for (LPCWSTR section : {u"Section one", u"Section two"})
                    sections[i].push_back(Insert(chapters.back(), section));
        }
        page = static_cast<int>(SendMessageW(tree, TVM_GETVISIBLECOUNT, 0, 0));
        SetFocus(tree); // selects the first chapter
        Drain();
        recorder.Watch(tree);
        recorder.Clear();
    }
    HTREEITEM First() { return Next(TVGN_FIRSTVISIBLE); }
    // The rows of one key pressed through the queue that moves the selection.
    static std::vector<Msg> KeyMoves(UINT key, HTREEITEM to)
    {
        return {{WM_KEYDOWN, kPosted | kWParam, key},
                Note(TVN_KEYDOWN, 0, key),
                Note(TVN_SELCHANGINGW, W(to), TVC_BYKEYBOARD),
                Note(TVN_SELCHANGEDW, W(to), TVC_BYKEYBOARD),
                {WM_KEYUP, kPosted | kWParam, key}};
    }

    std::vector<HTREEITEM> chapters;
    std::map<int, std::vector<HTREEITEM>> sections;
    int page = 0;
};

} // namespace

TEST_F(Tree, InsertionPlacesItemsAndTheWalksFindThem)
{
    Build();
    HTREEITEM z = Insert(TVI_ROOT, u"Z", TVI_FIRST);
    HTREEITEM bc = Insert(b, u"c", TVI_SORT);
    HTREEITEM ba = Insert(b, u"a", TVI_SORT); // b1 "B1" sorts after "a", before "c"
    HTREEITEM a15 = Insert(a, u"A1.5", a1);
    HTREEITEM stray = Insert(a, u"stray", b1); // not a child of A: goes last
    EXPECT_EQ(Insert(reinterpret_cast<HTREEITEM>(0x1234), u"x"), nullptr);
    EXPECT_TRUE(Matches(Take(), {})) << "insertion notifies nobody";
    EXPECT_EQ(Send(TVM_GETCOUNT, 0, 0), 11);

    EXPECT_EQ(Next(TVGN_ROOT), z);
    EXPECT_EQ(Next(TVGN_CHILD), z); // no item: the first root item
    EXPECT_EQ(Next(TVGN_NEXT, z), a);
    EXPECT_EQ(Next(TVGN_PREVIOUS, a), z);
    EXPECT_EQ(Next(TVGN_PREVIOUS, z), nullptr);
    EXPECT_EQ(Next(TVGN_CHILD, a), a1);
    EXPECT_EQ(Next(TVGN_NEXT, a1), a15);
    EXPECT_EQ(Next(TVGN_NEXT, a15), a2);
    EXPECT_EQ(Next(TVGN_NEXT, a2), stray);
    EXPECT_EQ(Next(TVGN_PARENT, a1a), a1);
    EXPECT_EQ(Next(TVGN_PARENT, a), nullptr);
    EXPECT_EQ(Next(TVGN_CHILD, b), ba);
    EXPECT_EQ(Next(TVGN_NEXT, ba), b1);
    EXPECT_EQ(Next(TVGN_NEXT, b1), bc);
    EXPECT_EQ(Next(TVGN_CHILD, a2), nullptr);

    // Visible walks go into expanded items only.
    EXPECT_EQ(Next(TVGN_FIRSTVISIBLE), z);
    EXPECT_EQ(Next(TVGN_NEXTVISIBLE, a), b);
    EXPECT_EQ(Next(TVGN_LASTVISIBLE), b);
    Expand(a, TVE_EXPAND);
    Expand(a1, TVE_EXPAND);
    std::vector<HTREEITEM> down;
    for (HTREEITEM at = Next(TVGN_FIRSTVISIBLE); at; at = Next(TVGN_NEXTVISIBLE, at))
        down.push_back(at);
    EXPECT_EQ(down, (std::vector<HTREEITEM>{z, a, a1, a1a, a15, a2, stray, b}));
    std::vector<HTREEITEM> up;
    for (HTREEITEM at = Next(TVGN_LASTVISIBLE); at; at = Next(TVGN_PREVIOUSVISIBLE, at))
        up.push_back(at);
    EXPECT_EQ(up, (std::vector<HTREEITEM>{b, stray, a2, a15, a1a, a1, a, z}));
}

TEST_F(Tree, ItemsReadAndChangeWithinTheirBuffersAndStaleHandlesAreRefused)
{
    Build();
    EXPECT_EQ(Text(a1), u"A1");
    EXPECT_EQ(Text(a1, 2), u"A"); // cut and terminated
    TVITEMW get{};
    get.mask = TVIF_CHILDREN;
    get.hItem = a;
    ASSERT_TRUE(Send(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&get)));
    EXPECT_EQ(get.cChildren, 1); // the first child gave A its button
    EXPECT_EQ(get.state, 0u);    // state and lParam come whatever the mask

    TVITEMW set{};
    set.mask = TVIF_TEXT | TVIF_PARAM;
    set.hItem = a1;
    std::u16string longer(3000, u'x');
    set.pszText = longer.data();
    set.lParam = 77;
    ASSERT_TRUE(Send(TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&set)));
    EXPECT_EQ(Text(a1, 4000).size(), static_cast<size_t>(kMaxItemText));
    set.mask = TVIF_TEXT;
    set.pszText = LPSTR_TEXTCALLBACKW; // not supported: an empty text
    Send(TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&set));
    EXPECT_EQ(Text(a1), u"");
    get = TVITEMW{};
    get.hItem = a1;
    Send(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&get));
    EXPECT_EQ(get.lParam, 77);
    // Texts changed again and again: the dead ones are dropped, the others kept.
    for (int i = 0; i < 200; ++i) {
        std::u16string text(static_cast<size_t>(500 + i % 2 * 500), static_cast<char16_t>(u'a' + i % 26));
        set.pszText = text.data();
        Send(TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&set));
    }
    EXPECT_EQ(Text(a1, 2000), std::u16string(1000, u'a' + 199 % 26));
    EXPECT_EQ(Text(a1a), u"A1a");
    EXPECT_EQ(Text(b1), u"B1");

    // A deleted item's handle stays refused, even when its slot is taken again;
    // so is another tree's.
    Send(TVM_DELETEITEM, 0, W(a2));
    HTREEITEM again = Insert(a, u"again");
    EXPECT_NE(again, a2);
    EXPECT_EQ(Text(a2), u"<none>");
    EXPECT_FALSE(Send(TVM_DELETEITEM, 0, W(a2)));
    EXPECT_EQ(Next(TVGN_NEXT, a2), nullptr);
    HWND other = MakeControl(WC_TREEVIEWW, 0);
    EXPECT_FALSE(SendMessageW(other, TVM_EXPAND, TVE_EXPAND, W(a)));
    EXPECT_FALSE(Send(TVM_GETITEMW, 0, 0));
}

TEST_F(Tree, SelectingExpandsTheParentsAndTheParentMayRefuse)
{
    Build();
    EXPECT_TRUE(Select(a1a));
    EXPECT_TRUE(Matches(Take(), {Note(TVN_SELCHANGINGW, W(a1a), TVC_UNKNOWN),
                                 Note(TVN_ITEMEXPANDINGW, W(a1), TVE_EXPAND),
                                 Note(TVN_ITEMEXPANDEDW, W(a1), TVE_EXPAND),
                                 Note(TVN_ITEMEXPANDINGW, W(a), TVE_EXPAND),
                                 Note(TVN_ITEMEXPANDEDW, W(a), TVE_EXPAND),
                                 Note(TVN_SELCHANGEDW, W(a1a), TVC_UNKNOWN)}));
    EXPECT_EQ(Next(TVGN_CARET), a1a);
    EXPECT_TRUE(State(a1a) & TVIS_SELECTED);
    EXPECT_TRUE(Select(a1a)); // the same: nothing said
    EXPECT_TRUE(Matches(Take(), {}));

    Answers()[TVN_SELCHANGINGW] = TRUE;
    EXPECT_FALSE(Select(b));
    EXPECT_TRUE(Matches(Take(), {Note(TVN_SELCHANGINGW, W(b), TVC_UNKNOWN)}));
    EXPECT_EQ(Next(TVGN_CARET), a1a);
    EXPECT_FALSE(State(b) & TVIS_SELECTED);
}

TEST_F(Tree, TvmExpandNotifiesOnlyTheFirstTimeAndCollapsingMovesTheSelectionQuietly)
{
    Build();
    EXPECT_TRUE(Expand(a, TVE_EXPAND));
    EXPECT_TRUE(Matches(Take(), {Note(TVN_ITEMEXPANDINGW, W(a), TVE_EXPAND), Note(TVN_ITEMEXPANDEDW, W(a), TVE_EXPAND)}));
    EXPECT_EQ(State(a) & (TVIS_EXPANDED | TVIS_EXPANDEDONCE), static_cast<UINT>(TVIS_EXPANDED | TVIS_EXPANDEDONCE));
    Select(a2);
    Take();
    EXPECT_TRUE(Expand(a, TVE_COLLAPSE));
    EXPECT_TRUE(Expand(a, TVE_TOGGLE));
    EXPECT_TRUE(Expand(a, TVE_TOGGLE));
    EXPECT_TRUE(Matches(Take(), {})) << "TVM_EXPAND is silent once the item was expanded";
    EXPECT_EQ(Next(TVGN_CARET), a) << "the hidden selection moved to the collapsed item";
    EXPECT_FALSE(Expand(a2, TVE_EXPAND)) << "no children, no expansion";

    Answers()[TVN_ITEMEXPANDINGW] = TRUE;
    EXPECT_FALSE(Expand(b, TVE_EXPAND));
    EXPECT_FALSE(State(b) & TVIS_EXPANDED);
}

TEST_F(Tree, KeysNotifyFirstThenMoveExpandAndCollapse)
{
    Build();
    SetFocus(tree); // nothing selected: the first visible item is
    EXPECT_TRUE(Matches(Take(), {ParentLosesFocus(),
                                 Note(TVN_SELCHANGINGW, W(a), TVC_UNKNOWN),
                                 Note(TVN_SELCHANGEDW, W(a), TVC_UNKNOWN),
                                 Note(NM_SETFOCUS)}));
    Key(VK_RIGHT); // collapsed: expands
    EXPECT_TRUE(Matches(Take(), {Note(TVN_KEYDOWN, 0, VK_RIGHT),
                                 Note(TVN_ITEMEXPANDINGW, W(a), TVE_EXPAND),
                                 Note(TVN_ITEMEXPANDEDW, W(a), TVE_EXPAND)}));
    Key(VK_RIGHT); // expanded: to the first child
    EXPECT_TRUE(Matches(Take(), {Note(TVN_KEYDOWN, 0, VK_RIGHT),
                                 Note(TVN_SELCHANGINGW, W(a1), TVC_BYKEYBOARD),
                                 Note(TVN_SELCHANGEDW, W(a1), TVC_BYKEYBOARD)}));
    Key(VK_LEFT); // collapsed, with a child: to the parent, nothing expands or collapses
    Key(VK_RIGHT);
    EXPECT_TRUE(Matches(Take(), {Note(TVN_KEYDOWN, 0, VK_LEFT),
                                 Note(TVN_SELCHANGINGW, W(a), TVC_BYKEYBOARD),
                                 Note(TVN_SELCHANGEDW, W(a), TVC_BYKEYBOARD),
                                 Note(TVN_KEYDOWN, 0, VK_RIGHT),
                                 Note(TVN_SELCHANGINGW, W(a1), TVC_BYKEYBOARD),
                                 Note(TVN_SELCHANGEDW, W(a1), TVC_BYKEYBOARD)}));
    EXPECT_FALSE(State(a1) & TVIS_EXPANDED);
    Key(VK_DOWN);
    EXPECT_EQ(Next(TVGN_CARET), a2);
    Key(VK_BACK);
    EXPECT_EQ(Next(TVGN_CARET), a);
    Key(VK_LEFT); // expanded: collapses, and the parent hears it as from the user
    EXPECT_TRUE(Matches(Take(), {Note(TVN_KEYDOWN, 0, VK_DOWN),
                                 Note(TVN_SELCHANGINGW, W(a2), TVC_BYKEYBOARD),
                                 Note(TVN_SELCHANGEDW, W(a2), TVC_BYKEYBOARD),
                                 Note(TVN_KEYDOWN, 0, VK_BACK),
                                 Note(TVN_SELCHANGINGW, W(a), TVC_BYKEYBOARD),
                                 Note(TVN_SELCHANGEDW, W(a), TVC_BYKEYBOARD),
                                 Note(TVN_KEYDOWN, 0, VK_LEFT),
                                 Note(TVN_ITEMEXPANDINGW, W(a), TVE_COLLAPSE),
                                 Note(TVN_ITEMEXPANDEDW, W(a), TVE_COLLAPSE)}));
    Key(VK_MULTIPLY); // everything below A
    EXPECT_TRUE(State(a) & TVIS_EXPANDED);
    EXPECT_TRUE(State(a1) & TVIS_EXPANDED);
    Key(VK_SUBTRACT);
    EXPECT_FALSE(State(a) & TVIS_EXPANDED);
    Take();
    Key(VK_ADD); // by the user: told again, though A was expanded before
    EXPECT_TRUE(Matches(Take(), {Note(TVN_KEYDOWN, 0, VK_ADD),
                                 Note(TVN_ITEMEXPANDINGW, W(a), TVE_EXPAND),
                                 Note(TVN_ITEMEXPANDEDW, W(a), TVE_EXPAND)}));
    Key(VK_END);
    EXPECT_EQ(Next(TVGN_CARET), b);
    Key(VK_HOME);
    EXPECT_EQ(Next(TVGN_CARET), a);
    Key(VK_NEXT); // a page down: the last item when fewer rows than a page
    EXPECT_EQ(Next(TVGN_CARET), b);
    Key(VK_PRIOR);
    EXPECT_EQ(Next(TVGN_CARET), a);
    Take();
    Key(VK_RETURN);
    EXPECT_TRUE(Matches(Take(), {Note(TVN_KEYDOWN, 0, VK_RETURN), Note(NM_RETURN)}));
}

TEST_F(Tree, TapsSelectToggleOnTheButtonAndDoubleTapsToggle)
{
    Build();
    RECT row{};
    std::memcpy(&row, &b, sizeof b); // the item goes in the rectangle's first bytes
    ASSERT_TRUE(Send(TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&row)));
    int middle = (row.top + row.bottom) / 2;
    ASSERT_TRUE(LwDeviceTap(row.left + 4, 26 + middle)); // on B's text
    Drain();
    EXPECT_TRUE(Matches(Take(), {Note(NM_CLICK),
                                 Note(TVN_SELCHANGINGW, W(b), TVC_BYMOUSE),
                                 Note(TVN_SELCHANGEDW, W(b), TVC_BYMOUSE),
                                 ParentLosesFocus(),
                                 Note(NM_SETFOCUS)}));
    Send(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(19 / 2, middle)); // B's button
    EXPECT_TRUE(Matches(Take(), {Note(NM_CLICK),
                                 Note(TVN_ITEMEXPANDINGW, W(b), TVE_EXPAND),
                                 Note(TVN_ITEMEXPANDEDW, W(b), TVE_EXPAND)}));
    Send(WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(row.left + 4, middle));
    EXPECT_TRUE(Matches(Take(), {Note(NM_DBLCLK),
                                 Note(TVN_ITEMEXPANDINGW, W(b), TVE_COLLAPSE),
                                 Note(TVN_ITEMEXPANDEDW, W(b), TVE_COLLAPSE)}));
    Answers()[NM_DBLCLK] = TRUE; // the parent handled it
    Send(WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(row.left + 4, middle));
    EXPECT_TRUE(Matches(Take(), {Note(NM_DBLCLK)}));
}

TEST_F(Tree, DeletionNotifiesChildrenFirstAndMovesTheSelection)
{
    Build();
    Select(a1a);
    Take();
    EXPECT_TRUE(Send(TVM_DELETEITEM, 0, W(a1)));
    EXPECT_TRUE(Matches(Take(), {Note(TVN_DELETEITEMW, W(a1a)),
                                 Note(TVN_DELETEITEMW, W(a1)),
                                 Note(TVN_SELCHANGINGW, W(a2), TVC_UNKNOWN),
                                 Note(TVN_SELCHANGEDW, W(a2), TVC_UNKNOWN)}));
    EXPECT_EQ(Send(TVM_GETCOUNT, 0, 0), 4);
    EXPECT_TRUE(Send(TVM_DELETEITEM, 0, W(TVI_ROOT)));
    EXPECT_TRUE(Matches(Take(), {Note(TVN_DELETEITEMW, W(a2)),
                                 Note(TVN_DELETEITEMW, W(a)),
                                 Note(TVN_DELETEITEMW, W(b1)),
                                 Note(TVN_DELETEITEMW, W(b))}));
    EXPECT_EQ(Send(TVM_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(Next(TVGN_CARET), nullptr);

    // Destroying the tree deletes what is left, each with its notification.
    HTREEITEM last = Insert(TVI_ROOT, u"last");
    DestroyWindow(tree);
    EXPECT_TRUE(Matches(Take(), {Note(TVN_DELETEITEMW, W(last))}));
}

TEST_F(Tree, ManyRowsScrollAndTheBarSendsWmVscroll)
{
    std::vector<HTREEITEM> items;
    for (int i = 0; i < 100; ++i)
        items.push_back(Insert(TVI_ROOT, u"row"));
    int page = static_cast<int>(Send(TVM_GETVISIBLECOUNT, 0, 0));
    ASSERT_GT(page, 5);
    EXPECT_TRUE(Send(TVM_ENSUREVISIBLE, 0, W(items[50])));
    EXPECT_EQ(Next(TVGN_FIRSTVISIBLE), items[50 - page + 1]);
    EXPECT_FALSE(Send(TVM_ENSUREVISIBLE, 0, W(items[50]))); // already in view
    Send(WM_VSCROLL, SB_BOTTOM, 0);
    EXPECT_EQ(Next(TVGN_FIRSTVISIBLE), items[100 - page]); // no gap below the last row
    Send(WM_VSCROLL, SB_TOP, 0);
    // Expanding the last row on screen brings its children into view.
    for (int i = 0; i < 5; ++i)
        Insert(items[static_cast<size_t>(page - 1)], u"child");
    Expand(items[static_cast<size_t>(page - 1)], TVE_EXPAND);
    EXPECT_EQ(Next(TVGN_FIRSTVISIBLE), items[5]);
    Expand(items[static_cast<size_t>(page - 1)], TVE_COLLAPSE);
    Send(WM_VSCROLL, SB_TOP, 0);

    // A tap low on the bar pages down, through the tree's own WM_VSCROLL.
    recorder.Watch(tree);
    Take();
    Send(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(235, 200));
    // The tap gives the tree the focus, which selects the first row shown.
    EXPECT_TRUE(Matches(Take(), {{WM_LBUTTONDOWN, kSent},
                                 {WM_VSCROLL, kSent | kWParam, SB_PAGEDOWN},
                                 ParentLosesFocus(),
                                 {WM_SETFOCUS, kSent},
                                 Note(TVN_SELCHANGINGW, W(items[static_cast<size_t>(page)]), TVC_UNKNOWN),
                                 Note(TVN_SELCHANGEDW, W(items[static_cast<size_t>(page)]), TVC_UNKNOWN),
                                 Note(NM_SETFOCUS)}));
    EXPECT_EQ(Next(TVGN_FIRSTVISIBLE), items[static_cast<size_t>(page)]);
    EXPECT_NE(Pixel(235, 100), RGB(255, 255, 255)) << "the bar is drawn at the right edge";
}

TEST_F(Tree, ScreenShowsLinesButtonsAndTheHighlightWhileFocused)
{
    Build();
    HTREEITEM wide = Insert(TVI_ROOT, std::u16string(200, u'W').c_str()); // far wider than the tree
    MoveWindow(tree, 0, 0, 120, 268, TRUE);
    Expand(a, TVE_EXPAND); // rows: A, A1, A2, B, WWW...
    Select(b);
    int height = static_cast<int>(Send(TVM_GETITEMHEIGHT, 0, 0));
    int middleA = height / 2;
    int middleB = 3 * height + height / 2;
    int centre = 19 / 2;
    // A's button: a grey frame, white inside, a black minus (expanded);
    // B's (collapsed) has the plus bar too.
    EXPECT_EQ(Pixel(centre - 4, middleA), RGB(128, 128, 128));
    EXPECT_EQ(Pixel(centre - 2, middleA - 2), RGB(255, 255, 255));
    EXPECT_EQ(Pixel(centre, middleA), RGB(0, 0, 0));
    EXPECT_EQ(Pixel(centre, middleA - 2), RGB(255, 255, 255));
    EXPECT_EQ(Pixel(centre, middleB - 2), RGB(0, 0, 0));
    // A's dotted line runs down past its children towards B.
    int lineY = height + height / 2 - 3;
    EXPECT_TRUE(Pixel(centre, lineY) == RGB(128, 128, 128) || Pixel(centre, lineY + 1) == RGB(128, 128, 128));
    // The selected B: navy under its text while the tree has the focus, not
    // without, grey with TVS_SHOWSELALWAYS.
    SetFocus(tree);
    EXPECT_EQ(Pixel(19 + 1, middleB), RGB(0, 0, 128));
    SetFocus(parent);
    EXPECT_EQ(Pixel(19 + 1, middleB), RGB(255, 255, 255));
    SetWindowLongW(tree, GWL_STYLE, GetWindowLongW(tree, GWL_STYLE) | TVS_SHOWSELALWAYS);
    InvalidateRect(tree, nullptr, TRUE);
    EXPECT_EQ(Pixel(19 + 1, middleB), RGB(192, 192, 192));
    // The long title is cut at the tree's edge: the parent beside stays white.
    int middleLong = 4 * height + height / 2;
    bool inked = false;
    for (int x = 19; x < 120 && !inked; ++x)
        inked = inked || Pixel(x, middleLong) != RGB(255, 255, 255);
    EXPECT_TRUE(inked);
    for (int x = 121; x < 240; x += 6)
        EXPECT_EQ(Pixel(x, middleLong), RGB(255, 255, 255)) << x;
    // A shown item's first child brings its button (the plus bar) at once.
    EXPECT_NE(Pixel(centre, middleLong - 2), RGB(0, 0, 0));
    Insert(wide, u"W1");
    EXPECT_EQ(Pixel(centre, middleLong - 2), RGB(0, 0, 0));
}

// A big tree gives back the room it took ahead when it paints; the items
// and texts it holds, and those added after, stay as they were.
TEST_F(Tree, ItemsStayWhenABigTreeGrowsAfterPainting)
{
    auto name = [](int i) {
        std::string ascii = "Chapter of the book, item " + std::to_string(i);
        return std::u16string(ascii.begin(), ascii.end());
    };
    std::vector<HTREEITEM> items;
    checkEach = false;
    for (int batch = 0; batch < 2; ++batch) {
        for (int i = 0; i < 15000; ++i) {
            int number = batch * 15000 + i;
            items.push_back(Insert(i % 100 ? items[number - i % 100] : TVI_ROOT, name(number).c_str()));
        }
        UpdateWindow(tree);
    }
    for (size_t i = 0; i < items.size(); i += 997)
        ASSERT_EQ(Text(items[i]), name(static_cast<int>(i))) << i;
    EXPECT_EQ(Text(items.back()), name(static_cast<int>(items.size()) - 1));
    EXPECT_EQ(Send(TVM_GETCOUNT, 0, 0), 30000);
    checkEach = true;
}

// A parent may destroy the tree from any notification; the tree stops there.
TEST_F(Tree, ParentThatDestroysTheTreeDuringANotificationEndsItCleanly)
{
    for (UINT code : {TVN_SELCHANGINGW, TVN_SELCHANGEDW, TVN_ITEMEXPANDINGW, TVN_ITEMEXPANDEDW, TVN_KEYDOWN,
                      TVN_DELETEITEMW, NM_SETFOCUS, NM_CLICK}) {
        tree = MakeControl(WC_TREEVIEWW, TVS_HASBUTTONS | TVS_LINESATROOT);
        Build();
        HWND doomed = tree;
        OnNote() = [code, doomed](const NMHDR* header) {
            if (header->code == code)
                DestroyWindow(doomed);
        };
        SetFocus(tree);
        Key(VK_DOWN);
        Key(VK_MULTIPLY);
        Send(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(25, 5));
        Select(b1);
        Send(TVM_DELETEITEM, 0, W(a));
        EXPECT_FALSE(IsWindow(doomed)) << code;
        OnNote() = nullptr;
    }
}

// An item put under a collapsed parent, or under an expanded one that is
// itself hidden, adds no row; the rows come when the branch opens.
TEST_F(Tree, ItemsUnderCollapsedOrHiddenParentsAddNoRow)
{
    Build();
    Expand(a1, TVE_EXPAND); // expanded, but hidden under the collapsed A
    int height = RowHeight();
    EXPECT_EQ(RowRect(b).top, height);
    HTREEITEM underA = Insert(a, u"under A");
    HTREEITEM underA1 = Insert(a1, u"under A1");
    EXPECT_EQ(Next(TVGN_NEXTVISIBLE, a), b);
    EXPECT_EQ(RowRect(b).top, height) << "B stays on the second row";
    EXPECT_EQ(RowRect(underA).bottom, 0) << "no row";
    Expand(a, TVE_EXPAND);
    std::vector<HTREEITEM> rows;
    for (HTREEITEM at = Next(TVGN_FIRSTVISIBLE); at; at = Next(TVGN_NEXTVISIBLE, at))
        rows.push_back(at);
    EXPECT_EQ(rows, (std::vector<HTREEITEM>{a, a1, a1a, underA1, a2, underA, b}));
    EXPECT_EQ(RowRect(b).top, 6 * height);
}

// Collapsing a branch that holds the selection, by a tap on its button or by
// a key, moves the selection to the collapsed item.
TEST_F(Tree, CollapsingTheSelectedBranchMovesTheSelectionToIt)
{
    Build();
    Select(a1a);
    SetFocus(tree);
    Take();
    RECT rowA = RowRect(a);
    Tap(19 / 2, (rowA.top + rowA.bottom) / 2); // A's button
    EXPECT_TRUE(Matches(Take(), {Note(NM_CLICK),
                                 Note(TVN_ITEMEXPANDINGW, W(a), TVE_COLLAPSE),
                                 Note(TVN_ITEMEXPANDEDW, W(a), TVE_COLLAPSE)}));
    EXPECT_EQ(Next(TVGN_CARET), a);
    Select(a1a);
    Select(a1);
    Key(VK_SUBTRACT); // the selected item itself: it stays
    Select(a1a);
    Key(VK_LEFT); // no children: to the parent
    EXPECT_EQ(Next(TVGN_CARET), a1);
    Select(a1a);
    Take();
    Key(VK_SUBTRACT); // a leaf: nothing
    EXPECT_TRUE(Matches(Take(), {Note(TVN_KEYDOWN, 0, VK_SUBTRACT)}));
    EXPECT_EQ(Next(TVGN_CARET), a1a);
}

// Lines and buttons at the root come with TVS_LINESATROOT only (the contents
// window's tree has it): without it the root items' text starts at the left
// edge and no button or line is drawn for them.
TEST_F(Tree, LinesAtRootDrawTheRootItemsButtonsAndLines)
{
    for (bool atRoot : {true, false}) {
        DestroyWindow(tree);
        tree = MakeControl(WC_TREEVIEWW, TVS_HASBUTTONS | TVS_HASLINES | (atRoot ? TVS_LINESATROOT : 0));
        Build();
        Expand(a, TVE_EXPAND);
        int height = RowHeight();
        int middle = height / 2;
        EXPECT_EQ(RowRect(a, true).left, atRoot ? 19 : 0) << atRoot;
        EXPECT_EQ(RowRect(a1, true).left, atRoot ? 38 : 19) << atRoot;
        COLORREF minus = Pixel(19 / 2, middle);
        COLORREF line = Pixel(19 / 2 + 1 + 2 * 3, middle); // on the dotted line right of the button
        if (atRoot) {
            EXPECT_EQ(minus, RGB(0, 0, 0)) << "A's button";
            EXPECT_EQ(line, RGB(128, 128, 128)) << "A's line";
        }
        // A's text starts at the edge without lines at the root: ink, not a button's frame.
        bool frame = false;
        for (int x = 19 / 2 - 4; x <= 19 / 2 + 4; ++x)
            frame = frame || Pixel(x, middle - 4) == RGB(128, 128, 128);
        EXPECT_EQ(frame, atRoot) << "the button's top edge";
        // A1's button (A1a below it) stands one indent further in, either way.
        int middleA1 = height + middle;
        EXPECT_EQ(Pixel((atRoot ? 19 : 0) + 19 / 2, middleA1), RGB(0, 0, 0)) << atRoot;
    }
}

// Page Down and Page Up move the selection by the rows the screen shows
// whole (the last row, cut by the window's edge, does not count), from the
// selected row, and scroll so that it is shown whole.
TEST_F(BigTree, PageKeysMoveByTheRowsShownWholeFromTheSelection)
{
    int height = RowHeight();
    ASSERT_NE(268 % height, 0) << "the fixture wants a last row shown in part";
    EXPECT_EQ(page, 268 / height);
    EXPECT_EQ(Next(TVGN_CARET), chapters[0]);
    Press(VK_NEXT);
    EXPECT_TRUE(Matches(Take(), KeyMoves(VK_NEXT, chapters[page])));
    EXPECT_EQ(First(), chapters[1]) << "one row up, the selection at the bottom";
    Press(VK_NEXT);
    EXPECT_EQ(Next(TVGN_CARET), chapters[2 * page]);
    EXPECT_EQ(First(), chapters[page + 1]);
    Press(VK_PRIOR);
    EXPECT_EQ(Next(TVGN_CARET), chapters[page]);
    EXPECT_EQ(First(), chapters[page]) << "the selection at the top";
    Take();
    Press(VK_PRIOR);
    EXPECT_TRUE(Matches(Take(), KeyMoves(VK_PRIOR, chapters[0])));
    EXPECT_EQ(First(), chapters[0]);
}

// Down from the last row shown whole scrolls by one row; Up from the top row
// by one back.
TEST_F(BigTree, StepsPastTheScreensEdgesScrollByOneRow)
{
    Select(chapters[static_cast<size_t>(page - 1)]);
    EXPECT_EQ(First(), chapters[0]) << "the last row shown whole needs no scroll";
    Take();
    Press(VK_DOWN);
    EXPECT_TRUE(Matches(Take(), KeyMoves(VK_DOWN, chapters[static_cast<size_t>(page)])));
    EXPECT_EQ(First(), chapters[1]);
    Press(VK_DOWN);
    EXPECT_EQ(First(), chapters[2]);
    for (int k = 0; k < page; ++k)
        Press(VK_UP);
    EXPECT_EQ(Next(TVGN_CARET), chapters[1]);
    EXPECT_EQ(First(), chapters[1]);
    Press(VK_UP);
    EXPECT_EQ(First(), chapters[0]);
}

// On a scrolled tree a tap acts on the row under the stylus, by the part of
// the row it hits: the label selects, the button toggles, the indent and the
// blank beyond the label do neither; the selected label is drawn highlighted.
TEST_F(BigTree, TapsOnAScrolledTreeActOnThePartOfTheRowUnderTheStylus)
{
    Send(WM_VSCROLL, SB_PAGEDOWN, 0);
    Send(WM_VSCROLL, SB_PAGEDOWN, 0);
    size_t top = static_cast<size_t>(2 * page);
    ASSERT_EQ(First(), chapters[top]);
    size_t parentRow = (top / 10 + 1) * 10; // the next chapter with sections, on screen
    ASSERT_LT(parentRow - top, static_cast<size_t>(page - 3));
    Expand(chapters[parentRow], TVE_EXPAND);
    ASSERT_EQ(First(), chapters[top]) << "its sections fit below it";
    int height = RowHeight();
    int rowOf = static_cast<int>(parentRow - top);
    HTREEITEM section = sections[static_cast<int>(parentRow)][1];
    int sectionMiddle = (rowOf + 2) * height + height / 2;
    RECT label = RowRect(section, true);
    ASSERT_EQ(label.left, 38);
    Take();

    struct Case {
        const char* part;
        int x;
        UINT flags;
        bool selects;
        bool collapses;
    };
    const Case cases[] = {
        {"indent", 4, TVHT_ONITEMINDENT, false, false},
        {"blank beyond the label", label.right + 4, TVHT_ONITEMRIGHT, false, false},
        {"label", label.left + 3, TVHT_ONITEMLABEL, true, false},
    };
    for (const Case& c : cases) {
        TVHITTESTINFO hit{{c.x, sectionMiddle}, 0, nullptr};
        EXPECT_EQ(reinterpret_cast<HTREEITEM>(Send(TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit))), section) << c.part;
        EXPECT_EQ(hit.flags, c.flags) << c.part;
        Tap(c.x, sectionMiddle);
        std::vector<Msg> expected = {{WM_LBUTTONDOWN, kPosted | kLParam, 0, MAKELPARAM(c.x, sectionMiddle)},
                                     Note(NM_CLICK)};
        if (c.selects)
            expected.insert(expected.end(), {Note(TVN_SELCHANGINGW, W(section), TVC_BYMOUSE),
                                             Note(TVN_SELCHANGEDW, W(section), TVC_BYMOUSE)});
        expected.push_back({WM_LBUTTONUP, kPosted});
        EXPECT_TRUE(Matches(Take(), expected)) << c.part;
        EXPECT_EQ(Next(TVGN_CARET), c.selects ? section : chapters[0]) << c.part;
    }
    EXPECT_EQ(Pixel(label.left + 1, sectionMiddle), RGB(0, 0, 128)) << "the tapped label is highlighted";

    // The parent's button, on its scrolled row: a collapse that takes the selection along.
    int parentMiddle = rowOf * height + height / 2;
    TVHITTESTINFO hit{{19 / 2, parentMiddle}, 0, nullptr};
    Send(TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit));
    EXPECT_EQ(hit.flags, static_cast<UINT>(TVHT_ONITEMBUTTON));
    Tap(19 / 2, parentMiddle);
    EXPECT_FALSE(State(chapters[parentRow]) & TVIS_EXPANDED);
    EXPECT_EQ(Next(TVGN_CARET), chapters[parentRow]);
    EXPECT_EQ(First(), chapters[top]);

    // The row the window's edge cuts: a tap there selects it and shows it whole.
    int cut = page * height + 2;
    Tap(19 + 4, cut);
    EXPECT_EQ(Next(TVGN_CARET), chapters[top + static_cast<size_t>(page)]);
    EXPECT_EQ(First(), chapters[top + 1]);
}

// A branch that closes while the tree shows its end scrolls the rows back
// down: no empty rows below the last one.
TEST_F(BigTree, ClosingABranchAtTheEndLeavesNoEmptyRows)
{
    ASSERT_GE(page, 12);
    Expand(chapters[290], TVE_EXPAND); // two more rows, above the last screen
    Send(WM_VSCROLL, SB_BOTTOM, 0);
    EXPECT_EQ(First(), chapters[static_cast<size_t>(302 - page)]);
    Expand(chapters[290], TVE_COLLAPSE);
    EXPECT_EQ(First(), chapters[static_cast<size_t>(300 - page)]);
    EXPECT_EQ(RowRect(chapters[299]).bottom, page * RowHeight());
}
