// The tree view on the screen: where items are, how they are drawn, and what
// keys and taps do to them.
#include "treeview.h"

#include <cstring>

namespace lwcommctrl::treeview {

// ---- geometry ---------------------------------------------------------------------------

bool LinesAtRoot(DWORD style)
{
    return (style & TVS_LINESATROOT) && (style & (TVS_HASLINES | TVS_HASBUTTONS));
}

// Left edge of an item's line column (negative at the root without lines there).
int LinesLeft(const Item& item, DWORD style)
{
    return kIndent * (LinesAtRoot(style) ? item.depth : item.depth - 1);
}

int TextLeft(const Item& item, DWORD style)
{
    return LinesLeft(item, style) + kIndent;
}

int TextWidth(Tree* tree, HDC dc, uint32_t index)
{
    SIZE size{};
    const Item& item = tree->items[index];
    GetTextExtentPoint32W(dc, tree->texts.Of(item.textOffset, item.textLength), static_cast<int>(item.textLength), &size);
    return size.cx;
}

uint32_t HitTest(Tree* tree, POINT at, UINT* flags)
{
    EnsureRows(tree);
    *flags = 0;
    if (at.x < 0)
        *flags |= TVHT_TOLEFT;
    else if (at.x >= tree->width)
        *flags |= TVHT_TORIGHT;
    if (at.y < 0)
        *flags |= TVHT_ABOVE;
    else if (at.y >= tree->height)
        *flags |= TVHT_BELOW;
    if (*flags)
        return kNone;
    size_t row = static_cast<size_t>(tree->bar.pos + at.y / tree->rowHeight);
    if (row >= tree->rows.size()) {
        *flags = TVHT_NOWHERE;
        return kNone;
    }
    uint32_t index = tree->rows[row];
    const Item& item = tree->items[index];
    DWORD style = StyleOf(tree);
    int textLeft = TextLeft(item, style);
    HDC dc = GetDC(tree->window);
    HGDIOBJ previous = SelectObject(dc, ControlFont(tree->font));
    int textRight = textLeft + TextWidth(tree, dc, index) + 2 * kTextMargin;
    SelectObject(dc, previous);
    ReleaseDC(tree->window, dc);
    if (at.x >= textRight)
        *flags = TVHT_ONITEMRIGHT;
    else if (at.x >= textLeft)
        *flags = TVHT_ONITEMLABEL;
    else if (at.x >= LinesLeft(item, style) && (style & TVS_HASBUTTONS))
        *flags = TVHT_ONITEMBUTTON;
    else
        *flags = TVHT_ONITEMINDENT;
    return index;
}

LRESULT OnHitTest(Tree* tree, TVHITTESTINFO* info)
{
    if (!info)
        return 0;
    uint32_t index = HitTest(tree, info->pt, &info->flags);
    info->hItem = HandleOf(tree, index);
    return reinterpret_cast<LRESULT>(info->hItem);
}

BOOL OnGetItemRect(Tree* tree, BOOL textOnly, RECT* rect)
{
    if (!rect)
        return FALSE;
    HTREEITEM handle;
    std::memcpy(&handle, rect, sizeof handle); // the item comes in the rectangle's first bytes
    uint32_t index = IndexOf(tree, handle);
    if (index == kNone)
        return FALSE;
    EnsureRows(tree);
    const Item& item = tree->items[index];
    if (item.row < 0)
        return FALSE;
    int top = (item.row - tree->bar.pos) * tree->rowHeight;
    *rect = RECT{0, top, tree->width, top + tree->rowHeight};
    if (textOnly) {
        HDC dc = GetDC(tree->window);
        HGDIOBJ previous = SelectObject(dc, ControlFont(tree->font));
        rect->left = TextLeft(item, StyleOf(tree));
        rect->right = rect->left + TextWidth(tree, dc, index) + 2 * kTextMargin;
        SelectObject(dc, previous);
        ReleaseDC(tree->window, dc);
    }
    return TRUE;
}

// ---- painting ---------------------------------------------------------------------------

// Dotted lines as Windows draws them: every other pixel, on even coordinates
// of the content, so the dots stay in place when the rows scroll.
void DottedVertical(HDC dc, int x, int top, int bottom, int rowOffset, COLORREF color)
{
    for (int y = top; y < bottom; ++y)
        if (((y + rowOffset) & 1) == 0)
            SetPixel(dc, x, y, color);
}

void DottedHorizontal(HDC dc, int left, int right, int y, COLORREF color)
{
    for (int x = left; x < right; ++x)
        if ((x & 1) == 0)
            SetPixel(dc, x, y, color);
}

void DrawButton(HDC dc, int centreX, int centreY, bool expanded)
{
    RECT box{centreX - kButtonSize / 2, centreY - kButtonSize / 2, centreX + kButtonSize / 2 + 1,
             centreY + kButtonSize / 2 + 1};
    FillRect(dc, &box, GetSysColorBrush(COLOR_WINDOW));
    HBRUSH frame = GetSysColorBrush(COLOR_BTNSHADOW);
    RECT edges[] = {{box.left, box.top, box.right, box.top + 1},
                    {box.left, box.bottom - 1, box.right, box.bottom},
                    {box.left, box.top, box.left + 1, box.bottom},
                    {box.right - 1, box.top, box.right, box.bottom}};
    for (const RECT& edge : edges)
        FillRect(dc, &edge, frame);
    HBRUSH sign = GetSysColorBrush(COLOR_WINDOWTEXT);
    RECT minus{centreX - 2, centreY, centreX + 3, centreY + 1};
    FillRect(dc, &minus, sign);
    if (!expanded) {
        RECT bar{centreX, centreY - 2, centreX + 1, centreY + 3};
        FillRect(dc, &bar, sign);
    }
}

void DrawRow(Tree* tree, HDC dc, uint32_t index, int top, DWORD style, int right)
{
    const Item& item = tree->items[index];
    int bottom = top + tree->rowHeight;
    int middle = top + tree->rowHeight / 2;
    int rowOffset = tree->bar.pos * tree->rowHeight;
    COLORREF line = GetSysColor(COLOR_GRAYTEXT);
    if (style & TVS_HASLINES) {
        // The ancestors' lines pass through when more of their siblings follow.
        uint32_t at = item.parent;
        while (at != kRoot) {
            const Item& up = tree->items[at];
            int x = LinesLeft(up, style) + kIndent / 2;
            if (up.next != kNone && x >= 0 && x < right)
                DottedVertical(dc, x, top, bottom, rowOffset, line);
            at = up.parent;
        }
        int left = LinesLeft(item, style);
        if (left >= 0 && left < right) {
            int x = left + kIndent / 2;
            bool fromAbove = item.prev != kNone || item.parent != kRoot;
            DottedVertical(dc, x, fromAbove ? top : middle, item.next != kNone ? bottom : middle + 1, rowOffset, line);
            DottedHorizontal(dc, x, std::min(left + kIndent, right), middle, line);
        }
    }
    int left = LinesLeft(item, style);
    if ((style & TVS_HASBUTTONS) && HasChildren(tree, index) && left >= 0 && left + kIndent / 2 < right)
        DrawButton(dc, left + kIndent / 2, middle, Expanded(tree, index));

    int textLeft = TextLeft(item, style);
    if (textLeft >= right)
        return;
    const char16_t* text = tree->texts.Of(item.textOffset, item.textLength);
    int width = TextWidth(tree, dc, index);
    RECT label{textLeft, top, std::min(right, textLeft + width + 2 * kTextMargin), bottom};
    bool selected = index == tree->selected;
    bool highlight = selected && tree->focused;
    bool grey = selected && !tree->focused && (style & TVS_SHOWSELALWAYS);
    if (highlight || grey)
        FillRect(dc, &label, GetSysColorBrush(highlight ? COLOR_HIGHLIGHT : COLOR_BTNFACE));
    SetTextColor(dc, GetSysColor(highlight ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    RECT box{textLeft + kTextMargin, top, right, bottom};
    // A long title is cut at the edge, as on Windows (no ellipsis).
    DrawTextW(dc, text, static_cast<int>(item.textLength), &box, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

void OnPaint(Tree* tree)
{
    EnsureRows(tree);
    RowPainter painter(tree->window, tree->font, ClientRect(tree), tree->bar);
    if (!painter.dc())
        return;
    DWORD style = StyleOf(tree);
    int shown = tree->height / tree->rowHeight + 1; // the last one may show in part
    for (int row = 0; row < shown; ++row) {
        size_t at = static_cast<size_t>(tree->bar.pos + row);
        if (at >= tree->rows.size())
            break;
        DrawRow(tree, painter.dc(), tree->rows[at], row * tree->rowHeight, style, painter.right());
    }
}

// ---- keys, taps and focus ---------------------------------------------------------------

void OnKeyDown(Tree* tree, UINT key)
{
    NMTVKEYDOWN note{};
    note.wVKey = static_cast<WORD>(key);
    HWND window = tree->window;
    lwuser::NotifyParent(window, TVN_KEYDOWN, &note.hdr);
    if (!Alive(window, tree))
        return;
    uint32_t current = tree->selected;
    if (current == kNone)
        return;
    uint32_t target = kNone;
    int page = PageRows(tree);
    switch (key) {
    case VK_UP:
        target = PrevShown(tree, current);
        if (target == kNone)
            target = tree->items[kRoot].firstChild;
        break;
    case VK_DOWN: target = NextShown(tree, current); break;
    case VK_HOME: target = tree->items[kRoot].firstChild; break;
    case VK_END: target = LastShownBelow(tree, kRoot); break;
    case VK_PRIOR: target = StepShown(tree, current, -page); break;
    case VK_NEXT: target = StepShown(tree, current, page); break;
    case VK_LEFT:
        if (Expanded(tree, current))
            Collapse(tree, current, true);
        else if (tree->items[current].parent != kRoot)
            target = tree->items[current].parent;
        break;
    case VK_RIGHT:
        if (HasChildren(tree, current)) {
            if (!Expanded(tree, current))
                Expand(tree, current, true);
            else
                target = tree->items[current].firstChild;
        }
        break;
    case VK_BACK:
        if (tree->items[current].parent != kRoot)
            target = tree->items[current].parent;
        break;
    case VK_ADD: Expand(tree, current, true); break;
    case VK_SUBTRACT: Collapse(tree, current, true); break;
    case VK_MULTIPLY: ExpandAllBelow(tree, current); break;
    case VK_RETURN: NotifySimple(window, NM_RETURN); break;
    default: break;
    }
    if (Alive(window, tree) && target != kNone && target != current)
        Select(tree, target, TVC_BYKEYBOARD);
}

void OnChar(Tree* tree, char16_t c)
{
    if (!tree->typeAhead.Type(c))
        return;
    // Only what shows is searched: a collapsed branch keeps its items.
    EnsureRows(tree);
    int current = tree->selected == kNone ? -1 : tree->items[tree->selected].row;
    int found = tree->typeAhead.Find(static_cast<int>(tree->rows.size()), current, [tree](int row) {
        const Item& item = tree->items[tree->rows[static_cast<size_t>(row)]];
        return std::u16string_view(tree->texts.Of(item.textOffset, item.textLength), item.textLength);
    });
    if (found >= 0 && found != current)
        Select(tree, tree->rows[static_cast<size_t>(found)], TVC_BYKEYBOARD);
}

LRESULT OnGetISearchString(const Tree* tree, LPWSTR buffer)
{
    return static_cast<LRESULT>(tree->typeAhead.Copy(buffer));
}

void OnButtonDown(Tree* tree, int x, int y)
{
    HWND window = tree->window;
    if (ScrollBarMouse(window, &tree->bar, ClientRect(tree), WM_LBUTTONDOWN, x, y)) {
        SetFocus(window);
        return;
    }
    UINT flags;
    uint32_t index = HitTest(tree, POINT{x, y}, &flags);
    uint16_t generation = index == kNone ? 0 : tree->items[index].generation;
    bool clicked = NotifySimple(window, NM_CLICK) != 0; // a non-zero answer keeps the tree from acting
    if (!Alive(window, tree))
        return;
    bool stillThere = index != kNone && tree->items[index].live && tree->items[index].generation == generation;
    if (!clicked && stillThere) {
        if (flags & TVHT_ONITEMBUTTON)
            Toggle(tree, index, true);
        else if (flags & (TVHT_ONITEMLABEL | TVHT_ONITEMICON))
            Select(tree, index, TVC_BYMOUSE);
    }
    if (IsWindow(window))
        SetFocus(window);
}

void OnDoubleTap(Tree* tree, int x, int y)
{
    HWND window = tree->window;
    SetFocus(window);
    if (!Alive(window, tree) || ScrollBarMouse(window, &tree->bar, ClientRect(tree), WM_LBUTTONDBLCLK, x, y))
        return;
    UINT flags;
    uint32_t index = HitTest(tree, POINT{x, y}, &flags);
    if (index == kNone)
        return;
    uint16_t generation = tree->items[index].generation;
    if (NotifySimple(window, NM_DBLCLK) || !Alive(window, tree))
        return;
    if (tree->items[index].live && tree->items[index].generation == generation &&
        (flags & (TVHT_ONITEMLABEL | TVHT_ONITEMICON | TVHT_ONITEMBUTTON)))
        Toggle(tree, index, true);
}

void OnSetFocus(Tree* tree)
{
    HWND window = tree->window;
    tree->focused = true;
    if (tree->selected == kNone) {
        EnsureRows(tree);
        if (tree->firstVisible != kNone)
            Select(tree, tree->firstVisible, TVC_UNKNOWN);
        if (!Alive(window, tree))
            return;
    }
    Redraw(tree);
    NotifySimple(window, NM_SETFOCUS);
}

void OnKillFocus(Tree* tree)
{
    tree->focused = false;
    Redraw(tree);
    NotifySimple(tree->window, NM_KILLFOCUS);
}

void OnVScroll(Tree* tree, WPARAM wParam)
{
    EnsureRows(tree);
    if (LOWORD(wParam) != SB_ENDSCROLL)
        SetFirstRow(tree, ScrollTarget(tree->bar, wParam));
}

void OnSize(Tree* tree, int width, int height)
{
    tree->width = width;
    tree->height = height;
    EnsureRows(tree);
    Redraw(tree);
}

void OnSetFont(Tree* tree, HFONT font, bool redraw)
{
    tree->font = font;
    tree->rowHeight = RowHeight(tree->window, font);
    tree->rowsStale = true;
    if (redraw)
        Redraw(tree);
}

} // namespace lwcommctrl::treeview
