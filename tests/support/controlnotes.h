// What the tree view's and the list view's notifications carry, for the
// message recorder (messages.h): recorder.decode = DecodeControlNote.
#pragma once

#include "messages.h"

#include <commctrl.h>

namespace lwtest {

// A tree item as a notification's item.
inline LPARAM ItemOf(HTREEITEM item)
{
    return reinterpret_cast<LPARAM>(item);
}

// The item and how of a tree's or list's notification: the tree's item and
// action, the list's row and new state, the key of a TVN_/LVN_KEYDOWN, and the
// row of a list's NM_CLICK and NM_DBLCLK.
inline void DecodeControlNote(const Msg& raw, Msg* msg)
{
    if (raw.message != WM_NOTIFY || !raw.lParam)
        return;
    auto* header = reinterpret_cast<const NMHDR*>(raw.lParam);
    UINT code = header->code;
    if (code == TVN_KEYDOWN || code == LVN_KEYDOWN) {
        msg->how = reinterpret_cast<const NMTVKEYDOWN*>(header)->wVKey;
    } else if (code <= TVN_SELCHANGINGW && code >= TVN_DELETEITEMW) {
        auto* tree = reinterpret_cast<const NMTREEVIEWW*>(header);
        const TVITEMW& item = code == TVN_DELETEITEMW ? tree->itemOld : tree->itemNew;
        msg->item = reinterpret_cast<LPARAM>(item.hItem);
        msg->how = tree->action;
    } else if (code <= LVN_ITEMCHANGING && code >= LVN_KEYDOWN) {
        auto* list = reinterpret_cast<const NMLISTVIEW*>(header);
        msg->item = list->iItem;
        msg->how = list->uNewState;
    } else if (code == NM_CLICK || code == NM_DBLCLK) {
        WCHAR name[32] = {};
        GetClassNameW(header->hwndFrom, name, 32);
        if (std::u16string(name) == WC_LISTVIEWW)
            msg->item = reinterpret_cast<const NMITEMACTIVATE*>(header)->iItem;
    }
}

} // namespace lwtest
