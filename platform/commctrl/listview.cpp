// The list view ("SysListView32") in report view: rows of an icon and a text
// under one column, the selection and focus states with their notifications
// in the order Windows sends them.
#include "controls.h"
#include "typeahead.h"

#include <window.h>

#include <algorithm>
#include <vector>

namespace lwcommctrl {
namespace {

constexpr int kMargin = 2;       // before the icon, and between icon and text
constexpr int kNoImage = -1;

struct Row {
    std::u16string text;
    int image = kNoImage;
    UINT state = 0;
    LPARAM param = 0;
};

struct Column {
    std::u16string text;
    int width = 0;
    int format = LVCFMT_LEFT;
};

struct List {
    HWND window = nullptr;
    HFONT font = nullptr;
    int rowHeight = 16;
    int width = 0;
    int height = 0;
    bool focused = false;
    DWORD exStyle = 0;
    HIMAGELIST smallImages = nullptr;
    HIMAGELIST normalImages = nullptr;
    HIMAGELIST stateImages = nullptr;
    std::vector<Column> columns;
    std::vector<Row> rows;
    int focusedRow = -1;
    int pressedRow = -1; // a tap on a selected row: made the only selection on release
    bool buttonDown = false;
    ScrollBar bar; // pos is the top row
    TypeAhead typeAhead;
};

List* ListOf(HWND window)
{
    return reinterpret_cast<List*>(GetWindowLongW(window, 0));
}

DWORD StyleOf(const List* list)
{
    return static_cast<DWORD>(GetWindowLongW(list->window, GWL_STYLE));
}

bool Alive(HWND window, const List* list)
{
    return IsWindow(window) && ListOf(window) == list;
}

bool ValidRow(const List* list, int row)
{
    return row >= 0 && static_cast<size_t>(row) < list->rows.size();
}

int HeaderHeight(const List* list)
{
    return (StyleOf(list) & LVS_NOCOLUMNHEADER) ? 0 : list->rowHeight;
}

int PageRows(const List* list)
{
    return std::max(0, (list->height - HeaderHeight(list)) / list->rowHeight);
}

void UpdateBar(List* list)
{
    list->bar.total = static_cast<int>(list->rows.size());
    list->bar.page = PageRows(list);
    list->bar.pos = std::clamp(list->bar.pos, 0, list->bar.MaxPos());
}

void Redraw(List* list)
{
    UpdateBar(list);
    InvalidateRect(list->window, nullptr, TRUE);
}

void SetTopRow(List* list, int row)
{
    UpdateBar(list);
    row = std::clamp(row, 0, list->bar.MaxPos());
    if (row != list->bar.pos) {
        list->bar.pos = row;
        Redraw(list);
    }
}

BOOL EnsureVisible(List* list, int row)
{
    if (!ValidRow(list, row))
        return FALSE;
    UpdateBar(list);
    int top = list->bar.pos;
    int page = std::max(1, PageRows(list));
    if (row < top)
        SetTopRow(list, row);
    else if (row >= top + page)
        SetTopRow(list, row - page + 1);
    return TRUE;
}

// ---- notifications --------------------------------------------------------------------

LRESULT NotifyRow(List* list, UINT code, int row, UINT newState = 0, UINT oldState = 0, UINT changed = 0)
{
    NMLISTVIEW note{};
    note.iItem = row;
    note.uNewState = newState;
    note.uOldState = oldState;
    note.uChanged = changed;
    if (ValidRow(list, row))
        note.lParam = list->rows[static_cast<size_t>(row)].param;
    return lwuser::NotifyParent(list->window, code, &note.hdr);
}

LRESULT NotifyActivate(List* list, UINT code, int row, POINT at)
{
    NMITEMACTIVATE note{};
    note.iItem = row;
    note.ptAction = at;
    if (ValidRow(list, row))
        note.lParam = list->rows[static_cast<size_t>(row)].param;
    return lwuser::NotifyParent(list->window, code, &note.hdr);
}

// ---- states ---------------------------------------------------------------------------

bool SetRowState(List* list, int row, UINT state, UINT mask);

void DeselectAllBut(List* list, int keep)
{
    HWND window = list->window;
    for (size_t i = 0; i < list->rows.size() && Alive(window, list); ++i)
        if (static_cast<int>(i) != keep && (list->rows[i].state & LVIS_SELECTED))
            SetRowState(list, static_cast<int>(i), 0, LVIS_SELECTED);
}

// Changes one row's state with LVN_ITEMCHANGING (which may refuse) and
// LVN_ITEMCHANGED, and what follows from it: one focused row, one selected
// row in a LVS_SINGLESEL list, the focused row in view.
bool SetRowState(List* list, int row, UINT state, UINT mask)
{
    if (!ValidRow(list, row))
        return false;
    HWND window = list->window;
    UINT old = list->rows[static_cast<size_t>(row)].state;
    UINT next = (old & ~mask) | (state & mask);
    if (next == old)
        return true;
    if (NotifyRow(list, LVN_ITEMCHANGING, row, next, old, LVIF_STATE) || !Alive(window, list) || !ValidRow(list, row))
        return false;
    list->rows[static_cast<size_t>(row)].state = next;
    UINT changed = old ^ next;
    if ((changed & next & LVIS_SELECTED) && (StyleOf(list) & LVS_SINGLESEL)) {
        DeselectAllBut(list, row);
        if (!Alive(window, list) || !ValidRow(list, row))
            return false;
    }
    if (changed & LVIS_FOCUSED) {
        if (next & LVIS_FOCUSED) {
            if (list->focusedRow != -1 && list->focusedRow != row)
                SetRowState(list, list->focusedRow, 0, LVIS_FOCUSED);
            if (!Alive(window, list) || !ValidRow(list, row))
                return false;
            list->focusedRow = row;
            EnsureVisible(list, row);
        } else if (list->focusedRow == row) {
            list->focusedRow = -1;
        }
    }
    Redraw(list);
    if (ValidRow(list, row))
        NotifyRow(list, LVN_ITEMCHANGED, row, next, old, LVIF_STATE);
    return true;
}

// The row alone selected, and focused.
void SelectOnly(List* list, int row)
{
    HWND window = list->window;
    DeselectAllBut(list, row);
    if (Alive(window, list))
        SetRowState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

BOOL OnSetItemState(List* list, int row, const LVITEMW* item)
{
    if (!item)
        return FALSE;
    if (row != -1)
        return SetRowState(list, row, item->state, item->stateMask) ? TRUE : FALSE;
    // Every row: never all focused, nor all selected in a single-selection list.
    UINT on = item->state & item->stateMask;
    if ((on & LVIS_FOCUSED) || ((on & LVIS_SELECTED) && (StyleOf(list) & LVS_SINGLESEL)))
        return FALSE;
    HWND window = list->window;
    BOOL all = TRUE;
    for (size_t i = 0; i < list->rows.size() && Alive(window, list); ++i)
        if (!SetRowState(list, static_cast<int>(i), item->state, item->stateMask))
            all = FALSE;
    return all;
}

int OnGetNextItem(const List* list, int start, UINT flags)
{
    UINT wanted = flags & (LVNI_FOCUSED | LVNI_SELECTED);
    auto matches = [&](int row) { return (list->rows[static_cast<size_t>(row)].state & wanted) == wanted; };
    int count = static_cast<int>(list->rows.size());
    if (flags & LVNI_ABOVE) {
        for (int row = std::min(start, count) - 1; row >= 0; --row)
            if (matches(row))
                return row;
        return -1;
    }
    for (int row = std::max(start + 1, 0); row < count; ++row)
        if (matches(row))
            return row;
    return -1;
}

// ---- rows and columns -----------------------------------------------------------------

int OnInsertItem(List* list, const LVITEMW* item)
{
    if (!item || item->iItem < 0 || item->iSubItem != 0)
        return -1;
    int index = std::min(item->iItem, static_cast<int>(list->rows.size()));
    Row row;
    if (item->mask & LVIF_TEXT)
        row.text.assign(item->pszText ? item->pszText : u"", BoundedLength(item->pszText));
    if (item->mask & LVIF_IMAGE)
        row.image = item->iImage;
    if (item->mask & LVIF_PARAM)
        row.param = item->lParam;
    UINT wanted = (item->mask & LVIF_STATE) ? item->state & item->stateMask : 0;
    // Focus and selection come after LVN_INSERTITEM, with their own notifications.
    row.state = wanted & ~(LVIS_FOCUSED | LVIS_SELECTED);
    list->rows.insert(list->rows.begin() + index, std::move(row));
    if (list->focusedRow >= index)
        ++list->focusedRow;
    if (list->pressedRow >= index)
        ++list->pressedRow;
    Redraw(list);
    HWND window = list->window;
    NotifyRow(list, LVN_INSERTITEM, index);
    if (!Alive(window, list))
        return -1;
    if (wanted & (LVIS_FOCUSED | LVIS_SELECTED))
        SetRowState(list, index, wanted, LVIS_FOCUSED | LVIS_SELECTED);
    return index;
}

void Forget(List* list, int row)
{
    list->rows.erase(list->rows.begin() + row);
    if (list->focusedRow == row)
        list->focusedRow = -1;
    else if (list->focusedRow > row)
        --list->focusedRow;
    if (list->pressedRow == row)
        list->pressedRow = -1;
    else if (list->pressedRow > row)
        --list->pressedRow;
}

BOOL OnDeleteItem(List* list, int row)
{
    if (!ValidRow(list, row))
        return FALSE;
    HWND window = list->window;
    NotifyRow(list, LVN_DELETEITEM, row);
    if (!Alive(window, list) || !ValidRow(list, row))
        return FALSE;
    Forget(list, row);
    Redraw(list);
    return TRUE;
}

BOOL OnDeleteAllItems(List* list)
{
    HWND window = list->window;
    // Focus and selection go without notifications, as on Windows.
    list->focusedRow = -1;
    list->pressedRow = -1;
    bool quiet = NotifyRow(list, LVN_DELETEALLITEMS, -1) != 0;
    if (!Alive(window, list))
        return FALSE;
    for (int row = static_cast<int>(list->rows.size()) - 1; row >= 0; --row) {
        if (!quiet) {
            NotifyRow(list, LVN_DELETEITEM, row);
            if (!Alive(window, list))
                return FALSE;
        }
        if (ValidRow(list, row))
            list->rows.erase(list->rows.begin() + row);
    }
    list->bar.pos = 0;
    Redraw(list);
    return TRUE;
}

int OnInsertColumn(List* list, int index, const LVCOLUMNW* column)
{
    if (!column || index < 0)
        return -1;
    index = std::min(index, static_cast<int>(list->columns.size()));
    Column added;
    if (column->mask & LVCF_WIDTH)
        added.width = std::max(0, column->cx);
    if (column->mask & LVCF_FMT)
        added.format = column->fmt;
    if (column->mask & LVCF_TEXT)
        added.text.assign(column->pszText ? column->pszText : u"", BoundedLength(column->pszText));
    list->columns.insert(list->columns.begin() + index, std::move(added));
    Redraw(list);
    return index;
}

BOOL OnDeleteColumn(List* list, int index)
{
    if (index < 0 || static_cast<size_t>(index) >= list->columns.size())
        return FALSE;
    list->columns.erase(list->columns.begin() + index);
    Redraw(list);
    return TRUE;
}

int OnGetItemText(const List* list, int row, LVITEMW* item)
{
    if (!item)
        return 0;
    if (!ValidRow(list, row) || item->iSubItem != 0)
        return CopyText(u"", 0, item->pszText, item->cchTextMax);
    const std::u16string& text = list->rows[static_cast<size_t>(row)].text;
    return CopyText(text.data(), text.size(), item->pszText, item->cchTextMax);
}

BOOL OnGetItem(const List* list, LVITEMW* item)
{
    if (!item || !ValidRow(list, item->iItem) || item->iSubItem != 0)
        return FALSE;
    const Row& row = list->rows[static_cast<size_t>(item->iItem)];
    if (item->mask & LVIF_TEXT)
        CopyText(row.text.data(), row.text.size(), item->pszText, item->cchTextMax);
    if (item->mask & LVIF_IMAGE)
        item->iImage = row.image;
    if (item->mask & LVIF_PARAM)
        item->lParam = row.param;
    if (item->mask & LVIF_STATE)
        item->state = row.state & item->stateMask;
    return TRUE;
}

HIMAGELIST OnSetImageList(List* list, int which, HIMAGELIST images)
{
    HIMAGELIST* slot = which == LVSIL_SMALL    ? &list->smallImages
                       : which == LVSIL_NORMAL ? &list->normalImages
                       : which == LVSIL_STATE  ? &list->stateImages
                                               : nullptr;
    if (!slot)
        return nullptr;
    HIMAGELIST previous = *slot;
    *slot = images;
    if (which == LVSIL_SMALL) {
        int cx = 0, cy = 0;
        ImageList_GetIconSize(images, &cx, &cy);
        list->rowHeight = std::max(RowHeight(list->window, list->font), cy + 2);
        Redraw(list);
    }
    return previous;
}

HIMAGELIST OnGetImageList(const List* list, int which)
{
    return which == LVSIL_SMALL    ? list->smallImages
           : which == LVSIL_NORMAL ? list->normalImages
           : which == LVSIL_STATE  ? list->stateImages
                                   : nullptr;
}

DWORD OnSetExtendedStyle(List* list, DWORD mask, DWORD style)
{
    DWORD previous = list->exStyle;
    if (!mask)
        mask = 0xFFFFFFFF;
    list->exStyle = (previous & ~mask) | (style & mask);
    Redraw(list);
    return previous;
}

int OnGetColumnWidth(const List* list, int index)
{
    return index >= 0 && static_cast<size_t>(index) < list->columns.size() ? list->columns[index].width : 0;
}

UINT OnGetItemState(const List* list, int row, UINT mask)
{
    return ValidRow(list, row) ? list->rows[static_cast<size_t>(row)].state & mask : 0;
}

int OnGetSelectedCount(const List* list)
{
    return static_cast<int>(std::count_if(list->rows.begin(), list->rows.end(),
                                          [](const Row& r) { return (r.state & LVIS_SELECTED) != 0; }));
}

// ---- geometry and painting ------------------------------------------------------------

int ColumnWidth(const List* list)
{
    return list->columns.empty() ? 0 : list->columns[0].width;
}

int RowTop(const List* list, int row)
{
    return HeaderHeight(list) + (row - list->bar.pos) * list->rowHeight;
}

int IconWidth(const List* list)
{
    int cx = 0, cy = 0;
    return ImageList_GetIconSize(list->smallImages, &cx, &cy) ? cx : 0;
}

BOOL OnGetItemRect(const List* list, int row, RECT* rect)
{
    if (!rect || !ValidRow(list, row))
        return FALSE;
    int top = RowTop(list, row);
    int iconRight = kMargin + IconWidth(list);
    switch (rect->left) {
    case LVIR_ICON: *rect = RECT{kMargin, top, iconRight, top + list->rowHeight}; break;
    case LVIR_LABEL: *rect = RECT{iconRight + kMargin, top, ColumnWidth(list), top + list->rowHeight}; break;
    default: *rect = RECT{0, top, ColumnWidth(list), top + list->rowHeight}; break;
    }
    return TRUE;
}

RECT ClientRect(const List* list)
{
    return RECT{0, 0, list->width, list->height};
}

int RowAt(const List* list, int y)
{
    int header = HeaderHeight(list);
    if (y < header)
        return -1;
    int row = list->bar.pos + (y - header) / list->rowHeight;
    return ValidRow(list, row) ? row : -1;
}

void DrawHeader(const List* list, HDC dc, int right)
{
    int height = HeaderHeight(list);
    if (!height)
        return;
    RECT strip{0, 0, right, height};
    FillRect(dc, &strip, GetSysColorBrush(COLOR_BTNFACE));
    int left = 0;
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    for (const Column& column : list->columns) {
        RECT cell{left + kMargin, 0, std::min(right, left + column.width), height};
        DrawTextW(dc, column.text.c_str(), static_cast<int>(column.text.size()), &cell,
                  DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        left += column.width;
        RECT divider{left - 1, 0, left, height};
        FillRect(dc, &divider, GetSysColorBrush(COLOR_BTNSHADOW));
    }
}

void DrawRow(const List* list, HDC dc, int index, DWORD style, int right)
{
    const Row& row = list->rows[static_cast<size_t>(index)];
    int top = RowTop(list, index);
    int bottom = top + list->rowHeight;
    int column = std::min(ColumnWidth(list), right);
    bool selected = (row.state & LVIS_SELECTED) != 0;
    bool highlight = selected && list->focused;
    bool grey = selected && !list->focused && (style & LVS_SHOWSELALWAYS);
    int iconWidth = IconWidth(list);
    int textLeft = kMargin + iconWidth + kMargin;
    if (highlight || grey) {
        SIZE size{};
        GetTextExtentPoint32W(dc, row.text.c_str(), static_cast<int>(row.text.size()), &size);
        int left = (list->exStyle & LVS_EX_FULLROWSELECT) ? 0 : textLeft - 1;
        int end = (list->exStyle & LVS_EX_FULLROWSELECT) ? column : std::min(column, textLeft + size.cx + 1);
        RECT band{left, top, end, bottom};
        FillRect(dc, &band, GetSysColorBrush(highlight ? COLOR_HIGHLIGHT : COLOR_BTNFACE));
    }
    if (list->smallImages && row.image >= 0) {
        int cx = 0, cy = 0;
        ImageList_GetIconSize(list->smallImages, &cx, &cy);
        // A selected row's icon is tinted with the highlight, as on Windows.
        ImageList_Draw(list->smallImages, row.image, dc, kMargin, top + (list->rowHeight - cy) / 2,
                       highlight ? ILD_SELECTED : ILD_NORMAL);
    }
    SetTextColor(dc, GetSysColor(highlight ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    RECT box{textLeft, top, column, bottom};
    DrawTextW(dc, row.text.c_str(), static_cast<int>(row.text.size()), &box,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

void OnPaint(List* list)
{
    UpdateBar(list);
    RowPainter painter(list->window, list->font, ClientRect(list), list->bar);
    if (!painter.dc())
        return;
    DrawHeader(list, painter.dc(), painter.right());
    // Report view shows rows only under a column, as on Windows.
    if (list->columns.empty())
        return;
    DWORD style = StyleOf(list);
    int shown = PageRows(list) + 1;
    for (int row = list->bar.pos; row < list->bar.pos + shown && ValidRow(list, row); ++row)
        DrawRow(list, painter.dc(), row, style, painter.right());
}

// ---- keys, taps and focus ---------------------------------------------------------------

void OnKeyDown(List* list, UINT key)
{
    HWND window = list->window;
    NMLVKEYDOWN note{};
    note.wVKey = static_cast<WORD>(key);
    // The parent hears of the key before the list acts on it.
    lwuser::NotifyParent(window, LVN_KEYDOWN, &note.hdr);
    if (!Alive(window, list))
        return;
    int count = static_cast<int>(list->rows.size());
    int focused = list->focusedRow;
    int top = list->bar.pos;
    int page = std::max(1, PageRows(list));
    int target = -1;
    switch (key) {
    case VK_RETURN:
        if (count > 0 && focused != -1) {
            NotifySimple(window, NM_RETURN);
            if (Alive(window, list))
                NotifyActivate(list, LVN_ITEMACTIVATE, list->focusedRow, POINT{0, 0});
        }
        return;
    case VK_HOME: target = count > 0 ? 0 : -1; break;
    case VK_END: target = count - 1; break;
    case VK_UP: target = OnGetNextItem(list, focused, LVNI_ABOVE); break;
    case VK_DOWN: target = OnGetNextItem(list, focused, LVNI_BELOW); break;
    case VK_PRIOR: target = std::max(0, focused == top ? top - page + 1 : top); break;
    case VK_NEXT: target = std::min(count - 1, focused == top + page - 1 ? focused + page - 1 : top + page - 1); break;
    default: return;
    }
    if (ValidRow(list, target) && target != focused)
        SelectOnly(list, target);
}

void OnChar(List* list, char16_t c)
{
    if (!list->typeAhead.Type(c))
        return;
    int found = list->typeAhead.Find(static_cast<int>(list->rows.size()), list->focusedRow, [list](int row) {
        return std::u16string_view(list->rows[static_cast<size_t>(row)].text);
    });
    if (found >= 0)
        SelectOnly(list, found);
}

LRESULT OnGetISearchString(const List* list, LPWSTR buffer)
{
    return static_cast<LRESULT>(list->typeAhead.Copy(buffer));
}

void OnButtonDown(List* list, int x, int y)
{
    HWND window = list->window;
    if (ScrollBarMouse(window, &list->bar, ClientRect(list), WM_LBUTTONDOWN, x, y)) {
        SetFocus(window);
        return;
    }
    list->buttonDown = true;
    int row = RowAt(list, y);
    if (row >= 0 && x < ColumnWidth(list)) {
        bool selected = (list->rows[static_cast<size_t>(row)].state & LVIS_SELECTED) != 0;
        if (selected && !(StyleOf(list) & LVS_SINGLESEL)) {
            // A tap on one of several selected rows keeps them until the release.
            list->pressedRow = row;
            SetRowState(list, row, LVIS_FOCUSED, LVIS_FOCUSED);
        } else if (!selected) {
            SelectOnly(list, row);
        }
    } else {
        DeselectAllBut(list, -1);
    }
    if (Alive(window, list) && !list->focused)
        SetFocus(window);
}

void OnButtonUp(List* list, int x, int y)
{
    HWND window = list->window;
    if (ScrollBarMouse(window, &list->bar, ClientRect(list), WM_LBUTTONUP, x, y) || !list->buttonDown)
        return;
    int row = x < ColumnWidth(list) ? RowAt(list, y) : -1;
    NotifyActivate(list, NM_CLICK, row, POINT{x, y});
    if (!Alive(window, list))
        return;
    list->buttonDown = false;
    if (row != -1 && row == list->pressedRow)
        SelectOnly(list, row);
    list->pressedRow = -1;
}

void OnDoubleTap(List* list, int x, int y)
{
    HWND window = list->window;
    if (ScrollBarMouse(window, &list->bar, ClientRect(list), WM_LBUTTONDBLCLK, x, y))
        return;
    int row = x < ColumnWidth(list) ? RowAt(list, y) : -1;
    NotifyActivate(list, NM_DBLCLK, row, POINT{x, y});
    if (Alive(window, list) && row != -1)
        NotifyActivate(list, LVN_ITEMACTIVATE, row, POINT{x, y});
}

void OnSize(List* list, int width, int height)
{
    list->width = width;
    list->height = height;
    Redraw(list);
}

void OnSetFont(List* list, HFONT font, bool redraw)
{
    list->font = font;
    list->rowHeight = RowHeight(list->window, font);
    if (redraw)
        Redraw(list);
}

void OnVScroll(List* list, WPARAM wParam)
{
    if (LOWORD(wParam) == SB_ENDSCROLL)
        return;
    UpdateBar(list);
    SetTopRow(list, ScrollTarget(list->bar, wParam));
}

void OnSetFocus(List* list)
{
    if (list->focused)
        return;
    HWND window = list->window;
    NotifySimple(window, NM_SETFOCUS);
    if (!Alive(window, list))
        return;
    list->focused = true;
    Redraw(list);
}

void OnKillFocus(List* list)
{
    if (!list->focused)
        return;
    HWND window = list->window;
    NotifySimple(window, NM_KILLFOCUS);
    if (!Alive(window, list))
        return;
    list->focused = false;
    list->buttonDown = false;
    Redraw(list);
}

// ---- life -------------------------------------------------------------------------------

void OnNcCreate(HWND window)
{
    auto* list = new List;
    list->window = window;
    list->rowHeight = RowHeight(window, nullptr);
    SetWindowLongW(window, 0, reinterpret_cast<LONG_PTR>(list));
}

void OnNcDestroy(HWND window)
{
    List* list = ListOf(window);
    SetWindowLongW(window, 0, 0);
    if (list && !(GetWindowLongW(window, GWL_STYLE) & LVS_SHAREIMAGELISTS)) {
        ImageList_Destroy(list->smallImages);
        ImageList_Destroy(list->normalImages);
        ImageList_Destroy(list->stateImages);
    }
    delete list;
}

LRESULT CALLBACK ListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        OnNcCreate(window);
        return DefWindowProcW(window, message, wParam, lParam);
    }
    List* list = ListOf(window);
    if (!list)
        return DefWindowProcW(window, message, wParam, lParam);
    auto x = static_cast<short>(LOWORD(lParam));
    auto y = static_cast<short>(HIWORD(lParam));
    auto row = static_cast<int>(wParam);
    switch (message) {
    case LVM_INSERTCOLUMNW:
        return OnInsertColumn(list, row, reinterpret_cast<const LVCOLUMNW*>(lParam));
    case LVM_DELETECOLUMN:
        return OnDeleteColumn(list, row);
    case LVM_GETCOLUMNWIDTH:
        return OnGetColumnWidth(list, row);
    case LVM_INSERTITEMW:
        return OnInsertItem(list, reinterpret_cast<const LVITEMW*>(lParam));
    case LVM_DELETEITEM:
        return OnDeleteItem(list, row);
    case LVM_DELETEALLITEMS:
        return OnDeleteAllItems(list);
    case LVM_GETITEMCOUNT:
        return static_cast<LRESULT>(list->rows.size());
    case LVM_GETITEMSTATE:
        return OnGetItemState(list, row, static_cast<UINT>(lParam));
    case LVM_SETITEMSTATE:
        return OnSetItemState(list, row, reinterpret_cast<const LVITEMW*>(lParam));
    case LVM_GETNEXTITEM:
        return OnGetNextItem(list, row, static_cast<UINT>(lParam));
    case LVM_GETITEMTEXTW:
        return OnGetItemText(list, row, reinterpret_cast<LVITEMW*>(lParam));
    case LVM_GETITEMW:
        return OnGetItem(list, reinterpret_cast<LVITEMW*>(lParam));
    case LVM_GETITEMRECT:
        return OnGetItemRect(list, row, reinterpret_cast<RECT*>(lParam));
    case LVM_ENSUREVISIBLE:
        return EnsureVisible(list, row);
    case LVM_GETTOPINDEX:
        return list->bar.pos;
    case LVM_GETCOUNTPERPAGE:
        return PageRows(list);
    case LVM_GETSELECTEDCOUNT:
        return OnGetSelectedCount(list);
    case LVM_SETEXTENDEDLISTVIEWSTYLE:
        return OnSetExtendedStyle(list, static_cast<DWORD>(wParam), static_cast<DWORD>(lParam));
    case LVM_GETEXTENDEDLISTVIEWSTYLE:
        return list->exStyle;
    case LVM_SETIMAGELIST:
        return reinterpret_cast<LRESULT>(OnSetImageList(list, row, reinterpret_cast<HIMAGELIST>(lParam)));
    case LVM_GETIMAGELIST:
        return reinterpret_cast<LRESULT>(OnGetImageList(list, row));
    case LVM_GETISEARCHSTRINGW:
        return OnGetISearchString(list, reinterpret_cast<LPWSTR>(lParam));
    case WM_PAINT:
        OnPaint(list);
        return 0;
    case WM_ERASEBKGND:
        return 1; // WM_PAINT fills everything
    case WM_SIZE:
        OnSize(list, LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_SETFONT:
        OnSetFont(list, reinterpret_cast<HFONT>(wParam), LOWORD(lParam) != 0);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(list->font);
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_KEYDOWN:
        OnKeyDown(list, static_cast<UINT>(wParam));
        return 0;
    case WM_CHAR:
        OnChar(list, static_cast<char16_t>(wParam));
        return 0;
    case WM_LBUTTONDOWN:
        OnButtonDown(list, x, y);
        return 0;
    case WM_LBUTTONUP:
        OnButtonUp(list, x, y);
        return 0;
    case WM_LBUTTONDBLCLK:
        OnDoubleTap(list, x, y);
        return 0;
    case WM_MOUSEMOVE:
        ScrollBarMouse(window, &list->bar, ClientRect(list), message, x, y);
        return 0;
    case WM_VSCROLL:
        OnVScroll(list, wParam);
        return 0;
    case WM_SETFOCUS:
        OnSetFocus(list);
        return 0;
    case WM_KILLFOCUS:
        OnKillFocus(list);
        return 0;
    case WM_DESTROY:
        OnDeleteAllItems(list);
        return 0;
    case WM_NCDESTROY:
        OnNcDestroy(window);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace

void RegisterListViewClass()
{
    WNDCLASSW wc{};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = ListProc;
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.lpszClassName = WC_LISTVIEWW;
    if (!lwuser::RegisterSystemClass(wc))
        return;
    struct Name {
        UINT message;
        const char* name;
    };
    static const Name kNames[] = {
        {LVM_GETIMAGELIST, "LVM_GETIMAGELIST"},
        {LVM_SETIMAGELIST, "LVM_SETIMAGELIST"},
        {LVM_GETITEMCOUNT, "LVM_GETITEMCOUNT"},
        {LVM_DELETEITEM, "LVM_DELETEITEM"},
        {LVM_DELETEALLITEMS, "LVM_DELETEALLITEMS"},
        {LVM_GETNEXTITEM, "LVM_GETNEXTITEM"},
        {LVM_GETITEMRECT, "LVM_GETITEMRECT"},
        {LVM_ENSUREVISIBLE, "LVM_ENSUREVISIBLE"},
        {LVM_DELETECOLUMN, "LVM_DELETECOLUMN"},
        {LVM_GETCOLUMNWIDTH, "LVM_GETCOLUMNWIDTH"},
        {LVM_GETTOPINDEX, "LVM_GETTOPINDEX"},
        {LVM_GETCOUNTPERPAGE, "LVM_GETCOUNTPERPAGE"},
        {LVM_SETITEMSTATE, "LVM_SETITEMSTATE"},
        {LVM_GETITEMSTATE, "LVM_GETITEMSTATE"},
        {LVM_GETSELECTEDCOUNT, "LVM_GETSELECTEDCOUNT"},
        {LVM_SETEXTENDEDLISTVIEWSTYLE, "LVM_SETEXTENDEDLISTVIEWSTYLE"},
        {LVM_GETEXTENDEDLISTVIEWSTYLE, "LVM_GETEXTENDEDLISTVIEWSTYLE"},
        {LVM_GETITEMW, "LVM_GETITEMW"},
        {LVM_GETITEMTEXTW, "LVM_GETITEMTEXTW"},
        {LVM_GETISEARCHSTRINGW, "LVM_GETISEARCHSTRINGW"},
    };
    for (const Name& n : kNames)
        lwuser::RegisterMessageName(WC_LISTVIEWW, n.message, n.name);
    lwuser::RegisterMessageName(WC_LISTVIEWW, LVM_INSERTITEMW, "LVM_INSERTITEMW", TraceListItemText);
    lwuser::RegisterMessageName(WC_LISTVIEWW, LVM_INSERTCOLUMNW, "LVM_INSERTCOLUMNW", TraceListColumnText);
    lwuser::RegisterNotifyName(LVN_ITEMCHANGING, "LVN_ITEMCHANGING");
    lwuser::RegisterNotifyName(LVN_ITEMCHANGED, "LVN_ITEMCHANGED");
    lwuser::RegisterNotifyName(LVN_INSERTITEM, "LVN_INSERTITEM");
    lwuser::RegisterNotifyName(LVN_DELETEITEM, "LVN_DELETEITEM");
    lwuser::RegisterNotifyName(LVN_DELETEALLITEMS, "LVN_DELETEALLITEMS");
    lwuser::RegisterNotifyName(LVN_ITEMACTIVATE, "LVN_ITEMACTIVATE");
    lwuser::RegisterNotifyName(LVN_KEYDOWN, "LVN_KEYDOWN");
}

void UnregisterListViewClass()
{
    lwuser::UnregisterSystemClass(WC_LISTVIEWW);
}

} // namespace lwcommctrl
