// The tree view's inside, shared by its two files: treeview.cpp (items,
// their messages and notifications) and treeview_view.cpp (geometry,
// painting, keys and taps). Private to platform/commctrl.
#pragma once

#include "controls.h"
#include "typeahead.h"

#include <blockarena.h>
#include <window.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

namespace lwcommctrl::treeview {

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

// Items in blocks that never move: a growing tree is never copied, the room
// kept ahead stays under one block, and an item stays where it is while a
// notification's answer adds others.
class ItemStore {
public:
    Item& operator[](uint32_t index) { return blocks_[index >> kShift][index & kMask]; }
    const Item& operator[](uint32_t index) const { return blocks_[index >> kShift][index & kMask]; }
    uint32_t size() const { return size_; }
    void emplace_back()
    {
        if ((size_ & kMask) == 0)
            blocks_.push_back(static_cast<Item*>(arena_.Take(kBlock * sizeof(Item))));
        new (&(*this)[size_++]) Item{};
    }
    void Trim() { arena_.Trim(); }

private:
    static_assert(std::is_trivially_destructible_v<Item>); // the arena frees the blocks whole
    static constexpr uint32_t kShift = 10;
    static constexpr uint32_t kBlock = 1u << kShift;
    static constexpr uint32_t kMask = kBlock - 1;
    BlockArena arena_;
    std::vector<Item*> blocks_;
    uint32_t size_ = 0;
};

// The items' texts, in blocks too; a text never straddles two, so it is one
// run of units. An offset is the block in its high half, the place in its low.
class TextStore {
public:
    const char16_t* At(uint32_t offset) const { return blocks_[offset >> 16] + (offset & 0xFFFF); }
    char16_t* At(uint32_t offset) { return blocks_[offset >> 16] + (offset & 0xFFFF); }
    // A text to read; an empty one has no storage.
    const char16_t* Of(uint32_t offset, uint32_t length) const { return length ? At(offset) : u""; }
    // Where `length` units (at most a block) go.
    uint32_t Add(const char16_t* text, size_t length)
    {
        if (blocks_.empty() || used_ + length > kBlock) {
            blocks_.push_back(static_cast<char16_t*>(arena_.Take(kBlock * sizeof(char16_t))));
            used_ = 0;
        }
        auto offset = static_cast<uint32_t>(((blocks_.size() - 1) << 16) | used_);
        std::copy(text, text + length, At(offset));
        used_ += length;
        total_ += length;
        return offset;
    }
    // Units stored, the dead ones included.
    size_t size() const { return total_; }
    void Trim() { arena_.Trim(); }

private:
    static constexpr size_t kBlock = 0x10000;
    BlockArena arena_;
    std::vector<char16_t*> blocks_;
    size_t used_ = 0;
    size_t total_ = 0;
};
static_assert(kMaxItemText <= 0x10000);

struct Tree {
    HWND window = nullptr;
    uint64_t id = 0; // in every handle, so another tree's handles are refused
    HFONT font = nullptr;
    int rowHeight = 16;
    int width = 0;
    int height = 0;
    bool focused = false;
    ItemStore items; // items[kRoot] is the invisible root
    std::vector<uint32_t> freeSlots;
    TextStore texts;
    size_t deadText = 0;
    uint32_t count = 0;
    uint32_t selected = kNone;
    uint32_t firstVisible = kNone;
    std::vector<uint32_t> rows;
    bool rowsStale = true;
    bool inserting = false; // in a run of TVM_INSERTITEMW, the stores filling
    uint32_t reveal = kNone; // an item just expanded, whose children are to come into view
    ScrollBar bar;
    TypeAhead typeAhead;
};

inline Tree* TreeOf(HWND window)
{
    return reinterpret_cast<Tree*>(GetWindowLongW(window, 0));
}

inline DWORD StyleOf(const Tree* tree)
{
    return static_cast<DWORD>(GetWindowLongW(tree->window, GWL_STYLE));
}

// The tree is still this window's (a notification's answer may have destroyed it).
inline bool Alive(HWND window, const Tree* tree)
{
    return IsWindow(window) && TreeOf(window) == tree;
}

inline bool Expanded(const Tree* tree, uint32_t index)
{
    return (tree->items[index].state & TVIS_EXPANDED) != 0;
}

inline bool HasChildren(const Tree* tree, uint32_t index)
{
    int children = tree->items[index].children;
    return children != 0 && children != I_CHILDRENCALLBACK;
}

inline int PageRows(const Tree* tree)
{
    return std::max(0, tree->height / tree->rowHeight);
}

inline RECT ClientRect(const Tree* tree)
{
    return RECT{0, 0, tree->width, tree->height};
}

// ---- treeview.cpp ------------------------------------------------------------------------
HTREEITEM HandleOf(const Tree* tree, uint32_t index);
// The item of a handle, kNone for a stale, foreign or made-up one.
uint32_t IndexOf(const Tree* tree, HTREEITEM handle);
// Display order, going into expanded items only; kNone past the ends.
uint32_t NextShown(const Tree* tree, uint32_t index);
uint32_t PrevShown(const Tree* tree, uint32_t index);
uint32_t LastShownBelow(const Tree* tree, uint32_t index);
// The item `steps` rows on (back when negative), stopping at the ends.
uint32_t StepShown(const Tree* tree, uint32_t index, int steps);
// Rebuilds the rows when the shape of what is shown changed, and keeps the
// first row shown within the rows, without a gap below the last one.
void EnsureRows(Tree* tree);
void Redraw(Tree* tree);
void SetFirstRow(Tree* tree, int row);
// byUser: a key or a tap, which always notifies (TVM_EXPAND only the first time).
bool Expand(Tree* tree, uint32_t index, bool byUser);
bool Collapse(Tree* tree, uint32_t index, bool byUser);
bool Toggle(Tree* tree, uint32_t index, bool byUser);
void ExpandAllBelow(Tree* tree, uint32_t index);
// Moves the caret (kNone: none). False when the parent refused the change.
bool Select(Tree* tree, uint32_t index, UINT cause);

// ---- treeview_view.cpp -------------------------------------------------------------------
uint32_t HitTest(Tree* tree, POINT at, UINT* flags);
LRESULT OnHitTest(Tree* tree, TVHITTESTINFO* info);
BOOL OnGetItemRect(Tree* tree, BOOL textOnly, RECT* rect);
void OnPaint(Tree* tree);
void OnKeyDown(Tree* tree, UINT key);
// A typed character: incremental search among the items shown.
void OnChar(Tree* tree, char16_t c);
LRESULT OnGetISearchString(const Tree* tree, LPWSTR buffer);
void OnButtonDown(Tree* tree, int x, int y);
void OnDoubleTap(Tree* tree, int x, int y);
void OnSetFocus(Tree* tree);
void OnKillFocus(Tree* tree);
void OnVScroll(Tree* tree, WPARAM wParam);
void OnSize(Tree* tree, int width, int height);
void OnSetFont(Tree* tree, HFONT font, bool redraw);

} // namespace lwcommctrl::treeview
