// The tree view's inside checked whole after an operation, as Wine's tree view
// verifies its tree in its tests: every item reached from the root once, its
// links to parent, children and siblings agreeing, its depth one below its
// parent's, the count, the rows shown in display order with their numbers,
// the first row and the bar, and the selection. Test-only: it reads the
// tree's state (treeview.h) and changes nothing but the rows a paint would
// rebuild anyway.
#pragma once

#include "treeview.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <vector>

namespace lwtest {

inline ::testing::AssertionResult TreeIsSound(HWND window)
{
    using namespace lwcommctrl::treeview;
    Tree* tree = TreeOf(window);
    if (!tree)
        return ::testing::AssertionFailure() << "no tree behind the window";
    std::ostringstream problems;
    auto fail = [&](uint32_t index, const char* what) { problems << "item " << index << ": " << what << "\n"; };

    // Links, depth and reach, without recursion and without looping on a cycle.
    const Item& root = tree->items[kRoot];
    if (!root.live || root.parent != kNone || root.next != kNone || root.prev != kNone || !(root.state & TVIS_EXPANDED))
        fail(kRoot, "the root is not a live, expanded item without parent or siblings");
    std::set<uint32_t> reached;
    std::vector<uint32_t> pending{kRoot};
    while (!pending.empty() && problems.tellp() < 2000) {
        uint32_t at = pending.back();
        pending.pop_back();
        if (!reached.insert(at).second) {
            fail(at, "reached twice");
            continue;
        }
        const Item& item = tree->items[at];
        if (!item.live)
            fail(at, "dead but linked");
        if ((item.firstChild == kNone) != (item.lastChild == kNone))
            fail(at, "one of first and last child missing");
        if (at != kRoot && item.depth != (item.parent == kRoot ? 0 : tree->items[item.parent].depth + 1))
            fail(at, "depth is not its parent's plus one");
        if (item.firstChild != kNone && (item.children == 0 || item.children == I_CHILDRENCALLBACK))
            fail(at, "has children but no button");
        uint32_t previous = kNone;
        for (uint32_t child = item.firstChild; child != kNone; child = tree->items[child].next) {
            const Item& c = tree->items[child];
            if (c.parent != at)
                fail(child, "its parent does not hold it");
            if (c.prev != previous)
                fail(child, "its previous sibling is not the one before it");
            if (c.next == kNone && item.lastChild != child)
                fail(child, "last of its siblings but not its parent's last child");
            previous = child;
            pending.push_back(child);
            if (reached.size() + pending.size() > tree->items.size() + 1) {
                fail(child, "the siblings loop");
                break;
            }
        }
    }
    if (reached.size() - 1 != tree->count)
        problems << "count " << tree->count << " but " << reached.size() - 1 << " items reached\n";
    for (uint32_t index = 1; index < tree->items.size(); ++index)
        if (tree->items[index].live && !reached.count(index))
            fail(index, "live but not reached from the root");
    for (uint32_t index : tree->freeSlots)
        if (tree->items[index].live)
            fail(index, "free but live");

    // The rows: every shown item in display order, numbered; no other item numbered.
    EnsureRows(tree);
    std::vector<uint32_t> shown;
    std::vector<uint32_t> walk{};
    for (uint32_t child = root.lastChild; child != kNone; child = tree->items[child].prev)
        walk.push_back(child);
    while (!walk.empty()) {
        uint32_t at = walk.back();
        walk.pop_back();
        shown.push_back(at);
        if (tree->items[at].state & TVIS_EXPANDED)
            for (uint32_t child = tree->items[at].lastChild; child != kNone; child = tree->items[child].prev)
                walk.push_back(child);
    }
    if (shown != tree->rows)
        problems << "the rows are not the shown items in display order (" << tree->rows.size() << " rows, "
                 << shown.size() << " shown)\n";
    std::set<uint32_t> isShown(shown.begin(), shown.end());
    for (uint32_t index : reached)
        if (index != kRoot) {
            int row = tree->items[index].row;
            if (isShown.count(index) ? row < 0 || static_cast<size_t>(row) >= tree->rows.size() ||
                                           tree->rows[static_cast<size_t>(row)] != index
                                     : row != -1)
                fail(index, "its row number is wrong");
        }
    const lwcommctrl::ScrollBar& bar = tree->bar;
    if (bar.total != static_cast<int>(tree->rows.size()) || bar.pos < 0 || bar.pos > bar.MaxPos())
        problems << "the bar holds " << bar.total << " rows from " << bar.pos << "\n";
    uint32_t first = tree->rows.empty() ? kNone : tree->rows[static_cast<size_t>(bar.pos)];
    if (tree->firstVisible != first)
        problems << "the first row shown is not the bar's\n";

    // The selection: one item at most, marked, live, and on a row.
    for (uint32_t index : reached)
        if (index != kRoot && ((tree->items[index].state & TVIS_SELECTED) != 0) != (index == tree->selected))
            fail(index, "its selected mark disagrees with the selection");
    if (tree->selected != kNone && !isShown.count(tree->selected))
        fail(tree->selected, "selected but hidden");

    std::string text = problems.str();
    if (text.empty())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << text;
}

} // namespace lwtest
