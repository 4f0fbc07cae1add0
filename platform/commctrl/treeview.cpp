// The tree view ("SysTreeView32"). Items live in one array and link to each
// other by index; their texts share one buffer. The rows shown are rebuilt
// only when the shape of what is shown changed, walking only expanded
// branches, so filling a big tree under collapsed items costs one append per
// item, and painting a screen costs its rows whatever the tree's size.
#include "controls.h"

#include <window.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace lwcommctrl {
namespace {

constexpr uint32_t kNone = 0xFFFFFFFF;
constexpr uint32_t kRoot = 0;
constexpr int kIndent = 19;
constexpr int kButtonSize = 9;
constexpr int kTextMargin = 2;
constexpr size_t kMaxCompactGarbage = 64 * 1024; // units of dead text kept before the buffer is compacted

struct Item {
    uint32_t parent = kNone;
    uint32_t firstChild = kNone;
    uint32_t lastChild = kNone;
    uint32_t next = kNone;
    uint32_t prev = kNone;
    uint32_t textOffset = 0;
    uint32_t textLength = 0;
    UINT state = 0;
    int children = 0;       // cChildren: whether a button shows
    int row = -1;           // index in the rows shown, -1 when not shown
    uint16_t generation = 0; // told apart from an earlier item of the slot
    uint16_t depth = 0;     // 0 for the items at the root
    bool live = false;
    LPARAM param = 0;
};
// The share of an item besides its text, kept small for trees of tens of thousands.
static_assert(sizeof(Item) <= 56);

struct Tree {
    HWND window = nullptr;
    uint64_t id = 0; // in every handle, so another tree's handles are refused
    HFONT font = nullptr;
    int rowHeight = 16;
    int width = 0;
    int height = 0;
    bool focused = false;
    std::vector<Item> items; // items[kRoot] is the invisible root
    std::vector<uint32_t> freeSlots;
    std::u16string texts;
    size_t deadText = 0;
    uint32_t count = 0;
    uint32_t selected = kNone;
    uint32_t firstVisible = kNone;
    std::vector<uint32_t> rows;
    bool rowsStale = true;
    ScrollBar bar;
};

Tree* TreeOf(HWND window)
{
    return reinterpret_cast<Tree*>(GetWindowLongW(window, 0));
}

DWORD StyleOf(const Tree* tree)
{
    return static_cast<DWORD>(GetWindowLongW(tree->window, GWL_STYLE));
}

// ---- handles --------------------------------------------------------------------------

HTREEITEM HandleOf(const Tree* tree, uint32_t index)
{
    if (index == kNone || index == kRoot)
        return nullptr;
    uint64_t value = (tree->id << 48) | (uint64_t{tree->items[index].generation} << 32) | index;
    return reinterpret_cast<HTREEITEM>(static_cast<uintptr_t>(value));
}

// The item of a handle, kNone for a stale, foreign or made-up one.
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
    return tree->texts.substr(item.textOffset, item.textLength);
}

void CompactTexts(Tree* tree)
{
    std::u16string kept;
    kept.reserve(tree->texts.size() - tree->deadText);
    for (Item& item : tree->items) {
        if (!item.live)
            continue;
        uint32_t offset = static_cast<uint32_t>(kept.size());
        kept.append(tree->texts, item.textOffset, item.textLength);
        item.textOffset = offset;
    }
    tree->texts = std::move(kept);
    tree->deadText = 0;
}

void SetText(Tree* tree, uint32_t index, LPCWSTR text)
{
    size_t length = BoundedLength(text);
    Item& item = tree->items[index];
    if (length <= item.textLength) {
        std::copy(text, text + length, tree->texts.begin() + item.textOffset);
        tree->deadText += item.textLength - length;
    } else {
        tree->deadText += item.textLength;
        item.textOffset = static_cast<uint32_t>(tree->texts.size());
        tree->texts.append(text, length);
    }
    item.textLength = static_cast<uint32_t>(length);
    if (tree->deadText > kMaxCompactGarbage && tree->deadText > tree->texts.size() / 2)
        CompactTexts(tree);
}

// ---- shape ----------------------------------------------------------------------------

bool Expanded(const Tree* tree, uint32_t index)
{
    return (tree->items[index].state & TVIS_EXPANDED) != 0;
}

bool HasChildren(const Tree* tree, uint32_t index)
{
    int children = tree->items[index].children;
    return children != 0 && children != I_CHILDRENCALLBACK;
}

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

// The next item in display order, going into expanded items only.
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

// The item `steps` rows on (back when negative), stopping at the ends.
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

int PageRows(const Tree* tree)
{
    return std::max(0, tree->height / tree->rowHeight);
}

// Rebuilds the rows when the shape of what is shown changed, and keeps the
// first row shown within the rows, without a gap below the last one.
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

void ScrollChildrenIntoView(Tree* tree, uint32_t index)
{
    // As many of the new children as fit come into view, the item staying on screen.
    EnsureRows(tree);
    const Item& item = tree->items[index];
    if (item.row < 0 || item.firstChild == kNone)
        return;
    int children = tree->items[item.lastChild].row - tree->items[item.firstChild].row + 1;
    int position = item.row - tree->bar.pos;
    int below = PageRows(tree) - position - 1;
    if (position > 0 && children > below)
        SetFirstRow(tree, tree->bar.pos + std::min(children - below, position));
}

bool Expand(Tree* tree, uint32_t index, bool byUser)
{
    if (!HasChildren(tree, index))
        return false;
    Item* item = &tree->items[index];
    // TVM_EXPAND tells the parent only the first time; keys and taps always do.
    bool notify = byUser || !(item->state & TVIS_EXPANDEDONCE);
    if (notify && NotifyItems(tree, TVN_ITEMEXPANDINGW, TVE_EXPAND, kExpandMask, kNone, index))
        return false;
    if (!IsWindow(tree->window) || !tree->items[index].live)
        return false;
    item = &tree->items[index];
    if (item->firstChild == kNone)
        return false;
    bool wasExpanded = (item->state & TVIS_EXPANDED) != 0;
    item->state |= TVIS_EXPANDED;
    if (!wasExpanded) {
        ShapeChanged(tree);
        ScrollChildrenIntoView(tree, index);
    }
    if (notify) {
        NotifyItems(tree, TVN_ITEMEXPANDEDW, TVE_EXPAND, kExpandMask, kNone, index);
        if (IsWindow(tree->window) && tree->items[index].live)
            tree->items[index].state |= TVIS_EXPANDEDONCE;
    }
    return true;
}

bool Collapse(Tree* tree, uint32_t index, bool byUser)
{
    if (!HasChildren(tree, index))
        return false;
    if (byUser && NotifyItems(tree, TVN_ITEMEXPANDINGW, TVE_COLLAPSE, kExpandMask, kNone, index))
        return false;
    if (!IsWindow(tree->window) || !tree->items[index].live || tree->items[index].firstChild == kNone)
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
    // Breadth-first with a list of its own: a deep tree must not run the stack out.
    std::vector<uint32_t> pending{index};
    HWND window = tree->window;
    while (!pending.empty() && IsWindow(window) && TreeOf(window) == tree) {
        uint32_t at = pending.back();
        pending.pop_back();
        if (!tree->items[at].live)
            continue;
        Expand(tree, at, true);
        for (uint32_t child = tree->items[at].firstChild; child != kNone; child = tree->items[child].next)
            if (HasChildren(tree, child))
                pending.push_back(child);
    }
}

// Brings an item into view: its parents are expanded (as by the user) and the
// rows scroll. True when they scrolled.
bool EnsureVisible(Tree* tree, uint32_t index)
{
    // The nearest parent first, as Windows goes.
    std::vector<uint32_t> collapsed;
    for (uint32_t up = tree->items[index].parent; up != kRoot; up = tree->items[up].parent)
        if (!Expanded(tree, up))
            collapsed.push_back(up);
    for (uint32_t up : collapsed) {
        Expand(tree, up, true);
        if (!IsWindow(tree->window) || TreeOf(tree->window) != tree || !tree->items[index].live)
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

// Moves the caret. False when the parent refused the change.
bool Select(Tree* tree, uint32_t index, UINT cause)
{
    uint32_t previous = tree->selected;
    if (previous == index) {
        if (index != kNone)
            EnsureVisible(tree, index);
        return true;
    }
    if (NotifyItems(tree, TVN_SELCHANGINGW, cause, kSelectMask, previous, index))
        return false;
    if (!IsWindow(tree->window))
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
    Redraw(tree);
    if (IsWindow(tree->window))
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
        index = static_cast<uint32_t>(tree->items.size());
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
    const char16_t* other = tree->texts.data() + item.textOffset;
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
    if (tree->items[parent].children == 0)
        tree->items[parent].children = 1;
    // An item put before the first row shown takes its place, as on Windows.
    if (tree->firstVisible == kNone || (after == kNone && originalFirst != kNone && tree->firstVisible == originalFirst))
        tree->firstVisible = index;
    // Only what shows needs the rows again: most of a big tree goes in under
    // collapsed items.
    bool parentShown = parent == kRoot || IsShown(tree, parent);
    if (parent == kRoot || (parentShown && Expanded(tree, parent)))
        ShapeChanged(tree);
    else if (parentShown)
        Redraw(tree); // its button
    return HandleOf(tree, index);
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
        if (!IsWindow(window) || TreeOf(window) != tree)
            return;
        Item& item = tree->items[it->index];
        if (!item.live || item.generation != it->generation)
            continue;
        NotifyItems(tree, TVN_DELETEITEMW, TVC_UNKNOWN, TVIF_HANDLE | TVIF_PARAM, it->index, kNone);
        if (!IsWindow(window) || TreeOf(window) != tree)
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
        while (tree->items[kRoot].firstChild != kNone && IsWindow(tree->window) && TreeOf(tree->window) == tree)
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
    RemoveSubtree(tree, index);
    if (!IsWindow(tree->window) || TreeOf(tree->window) != tree)
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
        CopyText(tree->texts.data() + item.textOffset, item.textLength, out->pszText, out->cchTextMax);
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
    GetTextExtentPoint32W(dc, tree->texts.data() + item.textOffset, static_cast<int>(item.textLength), &size);
    return size.cx;
}

RECT ClientRect(const Tree* tree)
{
    return RECT{0, 0, tree->width, tree->height};
}

int ContentRight(const Tree* tree)
{
    return tree->bar.Shown() ? std::max(0, tree->width - kScrollBarWidth) : tree->width;
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
    const char16_t* text = tree->texts.data() + item.textOffset;
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
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(tree->window, &paint);
    if (!dc)
        return;
    EnsureRows(tree);
    DWORD style = StyleOf(tree);
    int right = ContentRight(tree);
    RECT content{0, 0, right, tree->height};
    FillRect(dc, &content, GetSysColorBrush(COLOR_WINDOW));
    HGDIOBJ previousFont = SelectObject(dc, ControlFont(tree->font));
    SetBkMode(dc, TRANSPARENT);
    int shown = tree->height / tree->rowHeight + 1; // the last one may show in part
    for (int row = 0; row < shown; ++row) {
        size_t at = static_cast<size_t>(tree->bar.pos + row);
        if (at >= tree->rows.size())
            break;
        DrawRow(tree, dc, tree->rows[at], row * tree->rowHeight, style, right);
    }
    SelectObject(dc, previousFont);
    DrawScrollBar(dc, ScrollBarArea(ClientRect(tree), tree->bar), tree->bar);
    EndPaint(tree->window, &paint);
}

// ---- keys, taps and focus ---------------------------------------------------------------

void OnKeyDown(Tree* tree, UINT key)
{
    NMTVKEYDOWN note{};
    note.wVKey = static_cast<WORD>(key);
    HWND window = tree->window;
    lwuser::NotifyParent(window, TVN_KEYDOWN, &note.hdr);
    if (!IsWindow(window) || TreeOf(window) != tree)
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
    if (IsWindow(window) && TreeOf(window) == tree && target != kNone && target != current)
        Select(tree, target, TVC_BYKEYBOARD);
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
    if (!IsWindow(window) || TreeOf(window) != tree)
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
    if (ScrollBarMouse(window, &tree->bar, ClientRect(tree), WM_LBUTTONDBLCLK, x, y))
        return;
    UINT flags;
    uint32_t index = HitTest(tree, POINT{x, y}, &flags);
    if (index == kNone)
        return;
    uint16_t generation = tree->items[index].generation;
    if (NotifySimple(window, NM_DBLCLK) || !IsWindow(window) || TreeOf(window) != tree)
        return;
    if (tree->items[index].live && tree->items[index].generation == generation &&
        (flags & (TVHT_ONITEMLABEL | TVHT_ONITEMICON | TVHT_ONITEMBUTTON)))
        Toggle(tree, index, true);
}

void OnSetFocus(Tree* tree)
{
    tree->focused = true;
    if (tree->selected == kNone) {
        EnsureRows(tree);
        if (tree->firstVisible != kNone)
            Select(tree, tree->firstVisible, TVC_UNKNOWN);
    }
    Redraw(tree);
    NotifySimple(tree->window, NM_SETFOCUS);
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
    case TVM_GETITEMSTATE: {
        uint32_t index = IndexOf(tree, reinterpret_cast<HTREEITEM>(wParam));
        return index == kNone ? 0 : tree->items[index].state & static_cast<UINT>(lParam);
    }
    case TVM_SELECTITEM:
        return OnSelectItem(tree, static_cast<UINT>(wParam), reinterpret_cast<HTREEITEM>(lParam));
    case TVM_EXPAND:
        return OnExpandMessage(tree, static_cast<UINT>(wParam), reinterpret_cast<HTREEITEM>(lParam));
    case TVM_ENSUREVISIBLE: {
        uint32_t index = IndexOf(tree, reinterpret_cast<HTREEITEM>(lParam));
        return index != kNone && EnsureVisible(tree, index);
    }
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

} // namespace

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
