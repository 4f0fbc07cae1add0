// The tree view ("SysTreeView32"). Items live in blocks that never move and
// link to each other by index; their texts share blocks of storage too. The
// rows shown are rebuilt only when the shape of what is shown changed,
// walking only expanded branches, so filling a big tree under collapsed items
// costs one append per item, and painting a screen costs its rows whatever
// the tree's size.
#include "treeview.h"

#include <cstring>

namespace lwcommctrl::treeview {

// ---- handles --------------------------------------------------------------------------

HTREEITEM HandleOf(const Tree* tree, uint32_t index)
{
    if (index == kNone || index == kRoot)
        return nullptr;
    uint64_t value = (tree->id << 48) | (uint64_t{tree->items[index].generation} << 32) | index;
    return reinterpret_cast<HTREEITEM>(static_cast<uintptr_t>(value));
}

uint32_t IndexOf(const Tree* tree, HTREEITEM handle)
{
    auto value = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(handle));
    auto index = static_cast<uint32_t>(value & 0xFFFFFFFF);
    if ((value >> 48) != tree->id || index == kRoot || index >= tree->items.size())
        return kNone;
    const Item& item = tree->items[index];
    return item.live && item.generation == ((value >> 32) & 0xFFFF) ? index : kNone;
}

uint32_t ParentIndexOf(const Tree* tree, HTREEITEM handle)
{
    return handle == TVI_ROOT || handle == nullptr ? kRoot : IndexOf(tree, handle);
}

// ---- texts ----------------------------------------------------------------------------

std::u16string TextOf(const Tree* tree, uint32_t index)
{
    const Item& item = tree->items[index];
    return std::u16string(tree->texts.Of(item.textOffset, item.textLength), item.textLength);
}

void CompactTexts(Tree* tree)
{
    TextStore kept;
    for (uint32_t index = 0; index < tree->items.size(); ++index) {
        Item& item = tree->items[index];
        if (item.live && item.textLength)
            item.textOffset = kept.Add(tree->texts.At(item.textOffset), item.textLength);
    }
    tree->texts = std::move(kept);
    tree->deadText = 0;
}

void SetText(Tree* tree, uint32_t index, LPCWSTR text)
{
    size_t length = BoundedLength(text);
    Item& item = tree->items[index];
    if (length == 0) {
        tree->deadText += item.textLength;
    } else if (length <= item.textLength) {
        std::copy(text, text + length, tree->texts.At(item.textOffset));
        tree->deadText += item.textLength - length;
    } else {
        tree->deadText += item.textLength;
        item.textOffset = tree->texts.Add(text, length);
    }
    item.textLength = static_cast<uint32_t>(length);
    if (tree->deadText > kMaxCompactGarbage && tree->deadText > tree->texts.size() / 2)
        CompactTexts(tree);
}

// ---- shape ----------------------------------------------------------------------------

// Whether every ancestor is expanded, so the item has a row.
bool IsShown(const Tree* tree, uint32_t index)
{
    for (uint32_t up = tree->items[index].parent; up != kRoot; up = tree->items[up].parent)
        if (!Expanded(tree, up))
            return false;
    return true;
}

bool IsDescendant(const Tree* tree, uint32_t ancestor, uint32_t index)
{
    for (uint32_t up = tree->items[index].parent; up != kNone; up = tree->items[up].parent)
        if (up == ancestor)
            return true;
    return false;
}

uint32_t NextShown(const Tree* tree, uint32_t index)
{
    const Item& item = tree->items[index];
    if (Expanded(tree, index) && item.firstChild != kNone)
        return item.firstChild;
    for (uint32_t at = index; at != kRoot && at != kNone; at = tree->items[at].parent)
        if (tree->items[at].next != kNone)
            return tree->items[at].next;
    return kNone;
}

uint32_t LastShownBelow(const Tree* tree, uint32_t index)
{
    while (Expanded(tree, index) && tree->items[index].lastChild != kNone)
        index = tree->items[index].lastChild;
    return index == kRoot ? kNone : index;
}

uint32_t PrevShown(const Tree* tree, uint32_t index)
{
    const Item& item = tree->items[index];
    if (item.prev != kNone)
        return LastShownBelow(tree, item.prev);
    return item.parent == kRoot ? kNone : item.parent;
}

uint32_t StepShown(const Tree* tree, uint32_t index, int steps)
{
    for (; steps > 0; --steps) {
        uint32_t next = NextShown(tree, index);
        if (next == kNone)
            break;
        index = next;
    }
    for (; steps < 0; ++steps) {
        uint32_t prev = PrevShown(tree, index);
        if (prev == kNone)
            break;
        index = prev;
    }
    return index;
}

// As many of an expanded item's children as fit come into view, the item
// staying on screen. Called once the rows are current.
void RevealChildren(Tree* tree, uint32_t index)
{
    const Item& item = tree->items[index];
    if (!item.live || item.row < 0 || item.firstChild == kNone || tree->items[item.firstChild].row < 0)
        return;
    int children = tree->items[item.lastChild].row - tree->items[item.firstChild].row + 1;
    int position = item.row - tree->bar.pos;
    int below = PageRows(tree) - position - 1;
    if (position > 0 && children > below)
        SetFirstRow(tree, tree->bar.pos + std::min(children - below, position));
}

void EnsureRows(Tree* tree)
{
    if (tree->rowsStale) {
        for (uint32_t index : tree->rows)
            tree->items[index].row = -1;
        tree->rows.clear();
        for (uint32_t at = tree->items[kRoot].firstChild; at != kNone; at = NextShown(tree, at)) {
            tree->items[at].row = static_cast<int>(tree->rows.size());
            tree->rows.push_back(at);
        }
        tree->rowsStale = false;
    }
    uint32_t first = tree->firstVisible;
    while (first != kNone && tree->items[first].row < 0) // hidden: its shown ancestor stands in
        first = tree->items[first].parent == kRoot ? kNone : tree->items[first].parent;
    tree->bar.total = static_cast<int>(tree->rows.size());
    tree->bar.page = PageRows(tree);
    int top = first == kNone ? 0 : tree->items[first].row;
    tree->bar.pos = std::clamp(top, 0, tree->bar.MaxPos());
    tree->firstVisible = tree->rows.empty() ? kNone : tree->rows[tree->bar.pos];
    // The scroll an expansion asked for waits for the rows: expanding many
    // items costs one rebuild, not one each.
    if (tree->reveal != kNone) {
        uint32_t expanded = tree->reveal;
        tree->reveal = kNone;
        RevealChildren(tree, expanded);
    }
}

void Redraw(Tree* tree)
{
    InvalidateRect(tree->window, nullptr, TRUE);
}

void ShapeChanged(Tree* tree)
{
    tree->rowsStale = true;
    Redraw(tree);
}

void SetFirstRow(Tree* tree, int row)
{
    EnsureRows(tree);
    if (tree->rows.empty())
        return;
    row = std::clamp(row, 0, tree->bar.MaxPos());
    if (row != tree->bar.pos) {
        tree->bar.pos = row;
        tree->firstVisible = tree->rows[row];
        Redraw(tree);
    }
}

// ---- notifications --------------------------------------------------------------------

// Fills an item of a notification; its text lives in `text` meanwhile.
void Describe(const Tree* tree, uint32_t index, UINT mask, TVITEMW* out, std::u16string* text)
{
    *out = TVITEMW{};
    if (index == kNone)
        return;
    const Item& item = tree->items[index];
    out->mask = mask;
    out->hItem = HandleOf(tree, index);
    out->state = item.state;
    out->cChildren = item.children;
    out->lParam = item.param;
    if (mask & TVIF_TEXT) {
        *text = TextOf(tree, index);
        out->pszText = text->data();
        out->cchTextMax = static_cast<int>(text->size()) + 1;
    }
}

LRESULT NotifyItems(Tree* tree, UINT code, UINT action, UINT mask, uint32_t oldItem, uint32_t newItem)
{
    NMTREEVIEWW note{};
    std::u16string oldText, newText;
    note.action = action;
    Describe(tree, oldItem, mask, &note.itemOld, &oldText);
    Describe(tree, newItem, mask, &note.itemNew, &newText);
    return lwuser::NotifyParent(tree->window, code, &note.hdr);
}

constexpr UINT kExpandMask = TVIF_HANDLE | TVIF_STATE | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
constexpr UINT kSelectMask = TVIF_TEXT | TVIF_HANDLE | TVIF_STATE | TVIF_PARAM;

// ---- expanding and selecting ------------------------------------------------------------


bool Expand(Tree* tree, uint32_t index, bool byUser)
{
    if (!HasChildren(tree, index))
        return false;
    HWND window = tree->window;
    Item* item = &tree->items[index];
    // TVM_EXPAND tells the parent only the first time; keys and taps always do.
    bool notify = byUser || !(item->state & TVIS_EXPANDEDONCE);
    if (notify && NotifyItems(tree, TVN_ITEMEXPANDINGW, TVE_EXPAND, kExpandMask, kNone, index))
        return false;
    if (!Alive(window, tree) || !tree->items[index].live)
        return false;
    item = &tree->items[index];
    if (item->firstChild == kNone)
        return false;
    bool wasExpanded = (item->state & TVIS_EXPANDED) != 0;
    item->state |= TVIS_EXPANDED;
    if (!wasExpanded) {
        ShapeChanged(tree);
        tree->reveal = index;
    }
    if (notify) {
        NotifyItems(tree, TVN_ITEMEXPANDEDW, TVE_EXPAND, kExpandMask, kNone, index);
        if (Alive(window, tree) && tree->items[index].live)
            tree->items[index].state |= TVIS_EXPANDEDONCE;
    }
    return true;
}

bool Collapse(Tree* tree, uint32_t index, bool byUser)
{
    if (!HasChildren(tree, index))
        return false;
    HWND window = tree->window;
    if (byUser && NotifyItems(tree, TVN_ITEMEXPANDINGW, TVE_COLLAPSE, kExpandMask, kNone, index))
        return false;
    if (!Alive(window, tree) || !tree->items[index].live || tree->items[index].firstChild == kNone)
        return false;
    bool wasExpanded = (tree->items[index].state & TVIS_EXPANDED) != 0;
    tree->items[index].state &= ~TVIS_EXPANDED;
    if (!wasExpanded)
        return false;
    // A selection that disappears moves to the collapsed item, without
    // notifications, as Windows does.
    if (tree->selected != kNone && IsDescendant(tree, index, tree->selected)) {
        tree->items[tree->selected].state &= ~TVIS_SELECTED;
        tree->items[index].state |= TVIS_SELECTED;
        tree->selected = index;
    }
    ShapeChanged(tree);
    if (byUser)
        NotifyItems(tree, TVN_ITEMEXPANDEDW, TVE_COLLAPSE, kExpandMask, kNone, index);
    return true;
}

bool Toggle(Tree* tree, uint32_t index, bool byUser)
{
    return Expanded(tree, index) ? Collapse(tree, index, byUser) : Expand(tree, index, byUser);
}

void ExpandAllBelow(Tree* tree, uint32_t index)
{
    // Depth-first with a stack of its own: a deep tree must not run the call stack out.
    std::vector<uint32_t> pending{index};
    HWND window = tree->window;
    while (!pending.empty() && Alive(window, tree)) {
        uint32_t at = pending.back();
        pending.pop_back();
        if (!tree->items[at].live)
            continue;
        Expand(tree, at, true);
        if (!Alive(window, tree))
            return;
        for (uint32_t child = tree->items[at].firstChild; child != kNone; child = tree->items[child].next)
            if (HasChildren(tree, child))
                pending.push_back(child);
    }
    if (Alive(window, tree))
        tree->reveal = index; // the top item's children come into view, not the last one's
}

// Brings an item into view: its parents are expanded (as by the user) and the
// rows scroll. True when they scrolled.
bool EnsureVisible(Tree* tree, uint32_t index)
{
    HWND window = tree->window;
    // The nearest parent first, as Windows goes.
    std::vector<uint32_t> collapsed;
    for (uint32_t up = tree->items[index].parent; up != kRoot; up = tree->items[up].parent)
        if (!Expanded(tree, up))
            collapsed.push_back(up);
    for (uint32_t up : collapsed) {
        Expand(tree, up, true);
        if (!Alive(window, tree) || !tree->items[index].live)
            return false;
    }
    EnsureRows(tree);
    int row = tree->items[index].row;
    if (row < 0)
        return false;
    int top = tree->bar.pos;
    int page = std::max(1, PageRows(tree));
    int wanted = row < top ? row : row >= top + page ? row - page + 1 : top;
    if (wanted == top)
        return false;
    SetFirstRow(tree, wanted);
    return true;
}

bool Select(Tree* tree, uint32_t index, UINT cause)
{
    HWND window = tree->window;
    uint32_t previous = tree->selected;
    if (previous == index) {
        if (index != kNone)
            EnsureVisible(tree, index);
        return true;
    }
    if (NotifyItems(tree, TVN_SELCHANGINGW, cause, kSelectMask, previous, index) || !Alive(window, tree))
        return false;
    if (previous != kNone && tree->items[previous].live)
        tree->items[previous].state &= ~TVIS_SELECTED;
    if (index != kNone && !tree->items[index].live)
        return false;
    if (index != kNone)
        tree->items[index].state |= TVIS_SELECTED;
    tree->selected = index;
    if (index != kNone)
        EnsureVisible(tree, index);
    if (!Alive(window, tree))
        return false;
    Redraw(tree);
    NotifyItems(tree, TVN_SELCHANGEDW, cause, kSelectMask,
                    (previous != kNone && tree->items[previous].live) ? previous : kNone, tree->selected);
    return true;
}

// ---- inserting and deleting -------------------------------------------------------------

uint32_t NewItem(Tree* tree)
{
    uint32_t index;
    if (!tree->freeSlots.empty()) {
        index = tree->freeSlots.back();
        tree->freeSlots.pop_back();
        uint16_t generation = static_cast<uint16_t>(tree->items[index].generation + 1);
        tree->items[index] = Item{};
        tree->items[index].generation = generation;
    } else {
        index = tree->items.size();
        tree->items.emplace_back();
    }
    tree->items[index].live = true;
    return index;
}

void LinkAfter(Tree* tree, uint32_t index, uint32_t parent, uint32_t after)
{
    Item& item = tree->items[index];
    Item& up = tree->items[parent];
    item.parent = parent;
    item.prev = after;
    item.next = after == kNone ? up.firstChild : tree->items[after].next;
    if (item.next != kNone)
        tree->items[item.next].prev = index;
    else
        up.lastChild = index;
    if (after != kNone)
        tree->items[after].next = index;
    else
        up.firstChild = index;
}

void Unlink(Tree* tree, uint32_t index)
{
    Item& item = tree->items[index];
    Item& up = tree->items[item.parent];
    if (item.prev != kNone)
        tree->items[item.prev].next = item.next;
    else
        up.firstChild = item.next;
    if (item.next != kNone)
        tree->items[item.next].prev = item.prev;
    else
        up.lastChild = item.prev;
    if (up.firstChild == kNone && up.children > 0)
        up.children = 0;
}

int CompareTexts(const Tree* tree, uint32_t a, const char16_t* text, size_t length)
{
    const Item& item = tree->items[a];
    const char16_t* other = tree->texts.Of(item.textOffset, item.textLength);
    for (size_t i = 0; i < std::min<size_t>(item.textLength, length); ++i) {
        auto x = towlower(other[i]), y = towlower(text[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return item.textLength < length ? -1 : item.textLength > length ? 1 : 0;
}

HTREEITEM OnInsertItem(Tree* tree, const TVINSERTSTRUCTW* insert)
{
    if (!insert)
        return nullptr;
    uint32_t parent = ParentIndexOf(tree, insert->hParent);
    if (parent == kNone)
        return nullptr;
    const TVITEMW& fields = insert->item;
    uint32_t originalFirst = tree->items[parent].firstChild;
    uint32_t after;
    if (insert->hInsertAfter == TVI_FIRST) {
        after = kNone;
    } else if (insert->hInsertAfter == TVI_SORT) {
        after = tree->items[parent].lastChild;
        LPCWSTR text = fields.mask & TVIF_TEXT ? fields.pszText : nullptr;
        size_t length = BoundedLength(text);
        for (uint32_t child = originalFirst; child != kNone; child = tree->items[child].next)
            if (CompareTexts(tree, child, text ? text : u"", length) > 0) {
                after = tree->items[child].prev;
                break;
            }
    } else {
        // A handle that is not one of the parent's children means the end.
        uint32_t sibling = IndexOf(tree, insert->hInsertAfter);
        after = sibling != kNone && tree->items[sibling].parent == parent ? sibling : tree->items[parent].lastChild;
    }

    tree->inserting = true;
    uint32_t index = NewItem(tree);
    Item& item = tree->items[index];
    item.depth = parent == kRoot ? 0 : static_cast<uint16_t>(std::min(0xFFFF, tree->items[parent].depth + 1));
    if (fields.mask & TVIF_PARAM)
        item.param = fields.lParam;
    if (fields.mask & TVIF_STATE)
        item.state = fields.state & fields.stateMask & ~TVIS_SELECTED;
    if (fields.mask & TVIF_CHILDREN)
        item.children = fields.cChildren;
    if (fields.mask & TVIF_TEXT)
        SetText(tree, index, fields.pszText);
    LinkAfter(tree, index, parent, after);
    ++tree->count;
    bool buttonAppears = tree->items[parent].children == 0;
    if (buttonAppears)
        tree->items[parent].children = 1;
    // An item put before the first row shown takes its place, as on Windows.
    if (tree->firstVisible == kNone || (after == kNone && originalFirst != kNone && tree->firstVisible == originalFirst))
        tree->firstVisible = index;
    // Only what shows needs the rows again: most of a big tree goes in under
    // collapsed items, which change nothing on the screen after their first.
    if (parent == kRoot || (Expanded(tree, parent) && IsShown(tree, parent)))
        ShapeChanged(tree);
    else if (buttonAppears && IsShown(tree, parent))
        Redraw(tree); // its button
    return HandleOf(tree, index);
}

// The stores give back the room they hold beyond what they took.
void EndInsertions(Tree* tree)
{
    tree->inserting = false;
    tree->items.Trim();
    tree->texts.Trim();
}

void FreeItem(Tree* tree, uint32_t index)
{
    // The slot's generation moves on when it is taken again (NewItem), so
    // handles to this item stay refused.
    Item& item = tree->items[index];
    tree->deadText += item.textLength;
    item.live = false;
    item.textLength = 0;
    item.row = -1;
    tree->freeSlots.push_back(index);
    --tree->count;
    if (tree->selected == index)
        tree->selected = kNone;
    if (tree->firstVisible == index)
        tree->firstVisible = kNone;
}

// Every item of a subtree, each before its children (the last child's
// subtree first): reversed, children come before parents, in sibling order.
std::vector<uint32_t> SubtreeOf(const Tree* tree, uint32_t top)
{
    std::vector<uint32_t> order;
    std::vector<uint32_t> pending{top};
    while (!pending.empty()) {
        uint32_t at = pending.back();
        pending.pop_back();
        order.push_back(at);
        for (uint32_t child = tree->items[at].firstChild; child != kNone; child = tree->items[child].next)
            pending.push_back(child);
    }
    return order;
}

// Removes an item and everything below it, children first, each with
// TVN_DELETEITEMW. The parent may act during a notification, even delete
// items itself: each item is looked up again before it goes.
void RemoveSubtree(Tree* tree, uint32_t top)
{
    struct Slot {
        uint32_t index;
        uint16_t generation;
    };
    std::vector<Slot> order;
    for (uint32_t index : SubtreeOf(tree, top))
        order.push_back({index, tree->items[index].generation});
    HWND window = tree->window;
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        if (!Alive(window, tree))
            return;
        Item& item = tree->items[it->index];
        if (!item.live || item.generation != it->generation)
            continue;
        NotifyItems(tree, TVN_DELETEITEMW, TVC_UNKNOWN, TVIF_HANDLE | TVIF_PARAM, it->index, kNone);
        if (!Alive(window, tree))
            return;
        Item& again = tree->items[it->index];
        if (!again.live || again.generation != it->generation)
            continue;
        // Children the parent added during the notification go without one.
        if (again.firstChild != kNone) {
            std::vector<uint32_t> added = SubtreeOf(tree, it->index);
            for (auto child = added.rbegin(); child + 1 != added.rend(); ++child)
                FreeItem(tree, *child);
        }
        Unlink(tree, it->index);
        FreeItem(tree, it->index);
    }
    ShapeChanged(tree);
}

BOOL OnDeleteItem(Tree* tree, HTREEITEM handle)
{
    if (handle == TVI_ROOT || handle == nullptr) {
        HWND window = tree->window;
        while (Alive(window, tree) && tree->items[kRoot].firstChild != kNone)
            RemoveSubtree(tree, tree->items[kRoot].firstChild);
        return TRUE;
    }
    uint32_t index = IndexOf(tree, handle);
    if (index == kNone)
        return FALSE;
    const Item& item = tree->items[index];
    uint32_t newSelection = kNone;
    if (tree->selected != kNone && (tree->selected == index || IsDescendant(tree, index, tree->selected)))
        newSelection = item.next != kNone ? item.next : item.parent != kRoot ? item.parent : item.prev;
    uint32_t newFirst = tree->firstVisible;
    if (newFirst == index || (newFirst != kNone && IsDescendant(tree, index, newFirst)))
        newFirst = item.next != kNone ? item.next : item.prev != kNone ? item.prev : item.parent;
    uint16_t selectionGeneration = newSelection == kNone ? 0 : tree->items[newSelection].generation;
    HWND window = tree->window;
    RemoveSubtree(tree, index);
    if (!Alive(window, tree))
        return TRUE;
    if (newFirst != kNone && newFirst < tree->items.size() && tree->items[newFirst].live)
        tree->firstVisible = newFirst == kRoot ? kNone : newFirst;
    if (tree->selected == kNone && newSelection != kNone && newSelection < tree->items.size() &&
        tree->items[newSelection].live && tree->items[newSelection].generation == selectionGeneration)
        Select(tree, newSelection, TVC_UNKNOWN);
    return TRUE;
}

// ---- reading and changing items ---------------------------------------------------------

BOOL OnGetItem(Tree* tree, TVITEMW* out)
{
    if (!out)
        return FALSE;
    uint32_t index = IndexOf(tree, out->hItem);
    if (index == kNone)
        return FALSE;
    const Item& item = tree->items[index];
    // As on Windows, state and lParam are always filled.
    out->state = item.state;
    out->lParam = item.param;
    if (out->mask & TVIF_CHILDREN)
        out->cChildren = item.children;
    if (out->mask & TVIF_TEXT)
        CopyText(tree->texts.Of(item.textOffset, item.textLength), item.textLength, out->pszText, out->cchTextMax);
    return TRUE;
}

BOOL OnSetItem(Tree* tree, const TVITEMW* in)
{
    if (!in)
        return FALSE;
    uint32_t index = IndexOf(tree, in->hItem);
    if (index == kNone)
        return FALSE;
    Item& item = tree->items[index];
    UINT wasExpanded = item.state & TVIS_EXPANDED;
    if (in->mask & TVIF_PARAM)
        item.param = in->lParam;
    if (in->mask & TVIF_CHILDREN)
        item.children = in->cChildren;
    if (in->mask & TVIF_STATE)
        item.state = (item.state & ~in->stateMask) | (in->state & in->stateMask);
    if (in->mask & TVIF_TEXT)
        SetText(tree, index, in->pszText);
    if ((tree->items[index].state & TVIS_EXPANDED) != wasExpanded)
        tree->rowsStale = true;
    Redraw(tree);
    return TRUE;
}

LRESULT OnGetNextItem(Tree* tree, UINT relation, HTREEITEM handle)
{
    uint32_t found = kNone;
    switch (relation) {
    case TVGN_ROOT: found = tree->items[kRoot].firstChild; break;
    case TVGN_CARET: found = tree->selected; break;
    case TVGN_FIRSTVISIBLE: EnsureRows(tree); found = tree->firstVisible; break;
    case TVGN_LASTVISIBLE: found = LastShownBelow(tree, kRoot); break;
    case TVGN_CHILD:
        if (!handle)
            found = tree->items[kRoot].firstChild;
        break;
    default: break;
    }
    if (relation == TVGN_ROOT || relation == TVGN_CARET || relation == TVGN_FIRSTVISIBLE ||
        relation == TVGN_LASTVISIBLE || relation == TVGN_DROPHILITE || (relation == TVGN_CHILD && !handle))
        return reinterpret_cast<LRESULT>(HandleOf(tree, found));
    uint32_t index = IndexOf(tree, handle);
    if (index == kNone)
        return 0;
    const Item& item = tree->items[index];
    switch (relation) {
    case TVGN_NEXT: found = item.next; break;
    case TVGN_PREVIOUS: found = item.prev; break;
    case TVGN_PARENT: found = item.parent == kRoot ? kNone : item.parent; break;
    case TVGN_CHILD: found = item.firstChild; break;
    case TVGN_NEXTVISIBLE: found = NextShown(tree, index); break;
    case TVGN_PREVIOUSVISIBLE: found = PrevShown(tree, index); break;
    default: break;
    }
    return reinterpret_cast<LRESULT>(HandleOf(tree, found));
}

BOOL OnSelectItem(Tree* tree, UINT how, HTREEITEM handle)
{
    uint32_t index = handle ? IndexOf(tree, handle) : kNone;
    if (handle && index == kNone)
        return FALSE;
    switch (how) {
    case TVGN_CARET:
        return Select(tree, index, TVC_UNKNOWN) ? TRUE : FALSE;
    case TVGN_FIRSTVISIBLE:
        if (index == kNone)
            return FALSE;
        EnsureVisible(tree, index);
        EnsureRows(tree);
        SetFirstRow(tree, tree->items[index].row);
        return TRUE;
    case TVGN_DROPHILITE:
        return TRUE; // no drop target is drawn
    default:
        return FALSE;
    }
}

UINT OnGetItemState(const Tree* tree, HTREEITEM handle, UINT mask)
{
    uint32_t index = IndexOf(tree, handle);
    return index == kNone ? 0 : tree->items[index].state & mask;
}

BOOL OnEnsureVisible(Tree* tree, HTREEITEM handle)
{
    uint32_t index = IndexOf(tree, handle);
    return index != kNone && EnsureVisible(tree, index);
}

LRESULT OnExpandMessage(Tree* tree, UINT action, HTREEITEM handle)
{
    uint32_t index = IndexOf(tree, handle);
    if (index == kNone)
        return FALSE;
    switch (action & TVE_TOGGLE) {
    case TVE_COLLAPSE: return Collapse(tree, index, false);
    case TVE_EXPAND: return Expand(tree, index, false);
    case TVE_TOGGLE: return Toggle(tree, index, false);
    default: return FALSE;
    }
}

// ---- life -------------------------------------------------------------------------------

uint64_t NextTreeId()
{
    static uint64_t next = 0;
    next = next % 0x7FFF + 1; // 15 bits: a handle never reaches TVI_ROOT's range
    return next;
}

LRESULT OnNcCreate(HWND window)
{
    auto* tree = new Tree;
    tree->window = window;
    tree->id = NextTreeId();
    tree->items.emplace_back();
    tree->items[kRoot].live = true;
    tree->items[kRoot].state = TVIS_EXPANDED;
    tree->rowHeight = RowHeight(window, nullptr);
    SetWindowLongW(window, 0, reinterpret_cast<LONG_PTR>(tree));
    return TRUE;
}

void OnNcDestroy(HWND window)
{
    Tree* tree = TreeOf(window);
    SetWindowLongW(window, 0, 0);
    delete tree;
}

LRESULT CALLBACK TreeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        OnNcCreate(window);
        return DefWindowProcW(window, message, wParam, lParam);
    }
    Tree* tree = TreeOf(window);
    if (!tree)
        return DefWindowProcW(window, message, wParam, lParam);
    // A run of insertions (a contents window fills its tree in one go) ends
    // at the first other message.
    if (tree->inserting && message != TVM_INSERTITEMW)
        EndInsertions(tree);
    auto x = static_cast<short>(LOWORD(lParam));
    auto y = static_cast<short>(HIWORD(lParam));
    switch (message) {
    case TVM_INSERTITEMW:
        return reinterpret_cast<LRESULT>(OnInsertItem(tree, reinterpret_cast<const TVINSERTSTRUCTW*>(lParam)));
    case TVM_DELETEITEM:
        return OnDeleteItem(tree, reinterpret_cast<HTREEITEM>(lParam));
    case TVM_GETNEXTITEM:
        return OnGetNextItem(tree, static_cast<UINT>(wParam), reinterpret_cast<HTREEITEM>(lParam));
    case TVM_GETITEMW:
        return OnGetItem(tree, reinterpret_cast<TVITEMW*>(lParam));
    case TVM_SETITEMW:
        return OnSetItem(tree, reinterpret_cast<const TVITEMW*>(lParam));
    case TVM_GETITEMSTATE:
        return OnGetItemState(tree, reinterpret_cast<HTREEITEM>(wParam), static_cast<UINT>(lParam));
    case TVM_SELECTITEM:
        return OnSelectItem(tree, static_cast<UINT>(wParam), reinterpret_cast<HTREEITEM>(lParam));
    case TVM_EXPAND:
        return OnExpandMessage(tree, static_cast<UINT>(wParam), reinterpret_cast<HTREEITEM>(lParam));
    case TVM_ENSUREVISIBLE:
        return OnEnsureVisible(tree, reinterpret_cast<HTREEITEM>(lParam));
    case TVM_GETISEARCHSTRINGW:
        return OnGetISearchString(tree, reinterpret_cast<LPWSTR>(lParam));
    case TVM_GETCOUNT:
        return tree->count;
    case TVM_GETVISIBLECOUNT:
        return PageRows(tree);
    case TVM_GETITEMHEIGHT:
        return tree->rowHeight;
    case TVM_GETINDENT:
        return kIndent;
    case TVM_GETITEMRECT:
        return OnGetItemRect(tree, static_cast<BOOL>(wParam), reinterpret_cast<RECT*>(lParam));
    case TVM_HITTEST:
        return OnHitTest(tree, reinterpret_cast<TVHITTESTINFO*>(lParam));
    case WM_PAINT:
        OnPaint(tree);
        return 0;
    case WM_ERASEBKGND:
        return 1; // WM_PAINT fills everything
    case WM_SIZE:
        OnSize(tree, LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_SETFONT:
        OnSetFont(tree, reinterpret_cast<HFONT>(wParam), LOWORD(lParam) != 0);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(tree->font);
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_KEYDOWN:
        OnKeyDown(tree, static_cast<UINT>(wParam));
        return 0;
    case WM_CHAR:
        OnChar(tree, static_cast<char16_t>(wParam));
        return 0;
    case WM_LBUTTONDOWN:
        OnButtonDown(tree, x, y);
        return 0;
    case WM_LBUTTONDBLCLK:
        OnDoubleTap(tree, x, y);
        return 0;
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
        ScrollBarMouse(window, &tree->bar, ClientRect(tree), message, x, y);
        return 0;
    case WM_VSCROLL:
        OnVScroll(tree, wParam);
        return 0;
    case WM_SETFOCUS:
        OnSetFocus(tree);
        return 0;
    case WM_KILLFOCUS:
        OnKillFocus(tree);
        return 0;
    case WM_DESTROY:
        OnDeleteItem(tree, TVI_ROOT);
        return 0;
    case WM_NCDESTROY:
        OnNcDestroy(window);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace lwcommctrl::treeview

namespace lwcommctrl {

using treeview::TreeProc;

void RegisterTreeViewClass()
{
    WNDCLASSW wc{};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = TreeProc;
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.lpszClassName = WC_TREEVIEWW;
    if (!lwuser::RegisterSystemClass(wc))
        return;
    struct Name {
        UINT message;
        const char* name;
    };
    static const Name kNames[] = {
        {TVM_DELETEITEM, "TVM_DELETEITEM"},   {TVM_EXPAND, "TVM_EXPAND"},
        {TVM_GETITEMRECT, "TVM_GETITEMRECT"}, {TVM_GETCOUNT, "TVM_GETCOUNT"},
        {TVM_GETINDENT, "TVM_GETINDENT"},     {TVM_GETNEXTITEM, "TVM_GETNEXTITEM"},
        {TVM_SELECTITEM, "TVM_SELECTITEM"},   {TVM_GETVISIBLECOUNT, "TVM_GETVISIBLECOUNT"},
        {TVM_HITTEST, "TVM_HITTEST"},         {TVM_ENSUREVISIBLE, "TVM_ENSUREVISIBLE"},
        {TVM_GETITEMHEIGHT, "TVM_GETITEMHEIGHT"}, {TVM_GETITEMSTATE, "TVM_GETITEMSTATE"},
        {TVM_GETITEMW, "TVM_GETITEMW"},       {TVM_SETITEMW, "TVM_SETITEMW"},
        {TVM_GETISEARCHSTRINGW, "TVM_GETISEARCHSTRINGW"},
    };
    for (const Name& n : kNames)
        lwuser::RegisterMessageName(WC_TREEVIEWW, n.message, n.name);
    lwuser::RegisterMessageName(WC_TREEVIEWW, TVM_INSERTITEMW, "TVM_INSERTITEMW", TraceTreeInsertText);
    lwuser::RegisterNotifyName(TVN_SELCHANGINGW, "TVN_SELCHANGINGW");
    lwuser::RegisterNotifyName(TVN_SELCHANGEDW, "TVN_SELCHANGEDW");
    lwuser::RegisterNotifyName(TVN_ITEMEXPANDINGW, "TVN_ITEMEXPANDINGW");
    lwuser::RegisterNotifyName(TVN_ITEMEXPANDEDW, "TVN_ITEMEXPANDEDW");
    lwuser::RegisterNotifyName(TVN_DELETEITEMW, "TVN_DELETEITEMW");
    lwuser::RegisterNotifyName(TVN_KEYDOWN, "TVN_KEYDOWN");
}

void UnregisterTreeViewClass()
{
    lwuser::UnregisterSystemClass(WC_TREEVIEWW);
}

} // namespace lwcommctrl
