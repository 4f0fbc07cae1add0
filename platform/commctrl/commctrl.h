// The device's common controls: what the program uses of the tree view, the
// list view and image lists. They are drawn by the platform with GDI on the
// window's surface and take their input from messages, like every window.
//
// The classes exist from the program's start, as in the device's core library:
// CreateWindowExW or a dialog template naming "SysTreeView32" or
// "SysListView32" finds them without any call. InitCommonControls(Ex) makes
// sure of it again (after a test took a class back, for instance).
//
// What holds for both controls:
// - Notifications go to the parent as WM_NOTIFY (wParam the control's id),
//   in the order Windows sends them; the trace names each code.
// - A stale or foreign item handle, an index out of range or a null record
//   gives the documented failure (FALSE, NULL, -1), never a crash.
// - Texts are copied in (at most kMaxItemText units, the rest cut) and copied
//   out within the caller's cchTextMax, always terminated.
// - Keys and taps come as messages (see window.h); the control takes the focus
//   on a tap. A vertical scroll bar is drawn at the right edge when the rows do
//   not fit; its taps reach the control as WM_VSCROLL.
// - Not supported (documented result, never a crash): label editing, tooltips,
//   drag and drop, custom draw, callbacks for texts and images
//   (LPSTR_TEXTCALLBACK is stored as an empty text), sorting by callback,
//   check boxes, hot tracking, horizontal scrolling (long texts are clipped),
//   and the list's views other than report (drawn as report).
#pragma once

#include <windef.h>
#include <wingdi.h>
#include <winuser.h>

// ---- initialisation ----------------------------------------------------------------
#define ICC_LISTVIEW_CLASSES 0x00000001
#define ICC_TREEVIEW_CLASSES 0x00000002
#define ICC_BAR_CLASSES 0x00000004
#define ICC_TAB_CLASSES 0x00000008
#define ICC_UPDOWN_CLASS 0x00000010
#define ICC_PROGRESS_CLASS 0x00000020
#define ICC_WIN95_CLASSES 0x000000FF
#define ICC_DATE_CLASSES 0x00000100
#define ICC_COOL_CLASSES 0x00000400

typedef struct tagINITCOMMONCONTROLSEX {
    DWORD dwSize;
    DWORD dwICC;
} INITCOMMONCONTROLSEX, *LPINITCOMMONCONTROLSEX;

// Registers every common control of this platform.
void InitCommonControls();
// Registers the controls that dwICC names (the tree and the list are the ones
// this platform has; other flags are accepted and register nothing). FALSE with
// ERROR_INVALID_PARAMETER for a null record or a dwSize other than the record's.
BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init);

// Longest item or column text kept; a longer one is cut.
#define kMaxItemText 1024

// ---- notifications shared by the controls -----------------------------------------
#define NM_FIRST (0U - 0U)
#define NM_CLICK (NM_FIRST - 2)
#define NM_DBLCLK (NM_FIRST - 3)
#define NM_RETURN (NM_FIRST - 4)
#define NM_RCLICK (NM_FIRST - 5)
#define NM_SETFOCUS (NM_FIRST - 7)
#define NM_KILLFOCUS (NM_FIRST - 8)

#define LPSTR_TEXTCALLBACKW ((LPWSTR)(LONG_PTR)-1)
#define I_IMAGECALLBACK (-1)
#define I_CHILDRENCALLBACK (-1)

// ---- image lists --------------------------------------------------------------------
typedef struct _IMAGELIST* HIMAGELIST;

#define ILC_COLOR 0x0000
#define ILC_MASK 0x0001
#define ILC_COLOR4 0x0004
#define ILC_COLOR8 0x0008
#define ILC_COLOR16 0x0010
#define ILC_COLOR24 0x0018
#define ILC_COLOR32 0x0020
#define ILC_COLORDDB 0x00FE

#define ILD_NORMAL 0x0000
#define ILD_TRANSPARENT 0x0001
#define ILD_BLEND25 0x0002
#define ILD_BLEND50 0x0004
#define ILD_MASK 0x0010
#define ILD_FOCUS ILD_BLEND25
#define ILD_SELECTED ILD_BLEND50

// Images of cx x cy pixels. Every colour depth is accepted; images keep the
// colours they are given (32 bits inside). With ILC_MASK images are drawn
// through their masks; without it each image is drawn whole, its transparent
// parts black. cInitial and cGrow only reserve room. NULL with
// ERROR_INVALID_PARAMETER for a size of 0 or less.
HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int cInitial, int cGrow);
// FALSE for a bad handle.
BOOL ImageList_Destroy(HIMAGELIST list);
// 0 for a bad handle.
int ImageList_GetImageCount(HIMAGELIST list);
BOOL ImageList_GetIconSize(HIMAGELIST list, int* cx, int* cy);
// Adds the bitmap cut into images cx wide (a last part narrower than cx is left
// out; an image of another height is scaled to cy). The mask's white pixels
// are transparent (mask NULL: the whole image shows). Returns the index of the
// first image added, -1 for a bad handle or bitmap or a bitmap narrower than cx.
int ImageList_Add(HIMAGELIST list, HBITMAP image, HBITMAP mask);
// Copies the icon, scaled to cx x cy, with its mask, into image `index`, or
// appends it for -1. Returns the index, -1 for a bad list, icon or index.
int ImageList_ReplaceIcon(HIMAGELIST list, int index, HICON icon);
#define ImageList_AddIcon(list, icon) ImageList_ReplaceIcon(list, -1, icon)
// Draws image `index` with its top-left corner at (x, y). ILD_SELECTED and
// ILD_FOCUS blend it with the highlight colour (50%, 25%); ILD_MASK draws the
// mask in black. FALSE for a bad list, index or context.
BOOL ImageList_Draw(HIMAGELIST list, int index, HDC dc, int x, int y, UINT style);

// ---- tree view ----------------------------------------------------------------------
#define WC_TREEVIEWW u"SysTreeView32"
#define WC_TREEVIEW WC_TREEVIEWW

typedef struct _TREEITEM* HTREEITEM;

#define TVS_HASBUTTONS 0x0001
#define TVS_HASLINES 0x0002
#define TVS_LINESATROOT 0x0004
#define TVS_EDITLABELS 0x0008
#define TVS_DISABLEDRAGDROP 0x0010
#define TVS_SHOWSELALWAYS 0x0020
#define TVS_NOTOOLTIPS 0x0080
#define TVS_CHECKBOXES 0x0100
#define TVS_TRACKSELECT 0x0200
#define TVS_SINGLEEXPAND 0x0400
#define TVS_FULLROWSELECT 0x1000
#define TVS_NOSCROLL 0x2000
#define TVS_NONEVENHEIGHT 0x4000

#define TVIF_TEXT 0x0001
#define TVIF_IMAGE 0x0002
#define TVIF_PARAM 0x0004
#define TVIF_STATE 0x0008
#define TVIF_HANDLE 0x0010
#define TVIF_SELECTEDIMAGE 0x0020
#define TVIF_CHILDREN 0x0040

#define TVIS_SELECTED 0x0002
#define TVIS_CUT 0x0004
#define TVIS_DROPHILITED 0x0008
#define TVIS_BOLD 0x0010
#define TVIS_EXPANDED 0x0020
#define TVIS_EXPANDEDONCE 0x0040
#define TVIS_EXPANDPARTIAL 0x0080
#define TVIS_OVERLAYMASK 0x0F00
#define TVIS_STATEIMAGEMASK 0xF000
#define TVIS_USERMASK 0xF000

#define TVI_ROOT ((HTREEITEM)(ULONG_PTR)-0x10000)
#define TVI_FIRST ((HTREEITEM)(ULONG_PTR)-0x0FFFF)
#define TVI_LAST ((HTREEITEM)(ULONG_PTR)-0x0FFFE)
#define TVI_SORT ((HTREEITEM)(ULONG_PTR)-0x0FFFD)

typedef struct tagTVITEMW {
    UINT mask;
    HTREEITEM hItem;
    UINT state;
    UINT stateMask;
    LPWSTR pszText;
    int cchTextMax;
    int iImage;
    int iSelectedImage;
    int cChildren;
    LPARAM lParam;
} TVITEMW, *LPTVITEMW;
typedef TVITEMW TVITEM;

typedef struct tagTVINSERTSTRUCTW {
    HTREEITEM hParent;
    HTREEITEM hInsertAfter;
    TVITEMW item;
} TVINSERTSTRUCTW, *LPTVINSERTSTRUCTW;
typedef TVINSERTSTRUCTW TVINSERTSTRUCT;

#define TVM_FIRST 0x1100
#define TVM_DELETEITEM (TVM_FIRST + 1)
#define TVM_EXPAND (TVM_FIRST + 2)
#define TVM_GETITEMRECT (TVM_FIRST + 4)
#define TVM_GETCOUNT (TVM_FIRST + 5)
#define TVM_GETINDENT (TVM_FIRST + 6)
#define TVM_GETNEXTITEM (TVM_FIRST + 10)
#define TVM_SELECTITEM (TVM_FIRST + 11)
#define TVM_GETVISIBLECOUNT (TVM_FIRST + 16)
#define TVM_HITTEST (TVM_FIRST + 17)
#define TVM_ENSUREVISIBLE (TVM_FIRST + 20)
#define TVM_GETITEMHEIGHT (TVM_FIRST + 28)
#define TVM_GETITEMSTATE (TVM_FIRST + 39)
#define TVM_INSERTITEMW (TVM_FIRST + 50)
#define TVM_GETITEMW (TVM_FIRST + 62)
#define TVM_SETITEMW (TVM_FIRST + 63)
#define TVM_GETISEARCHSTRINGW (TVM_FIRST + 64)
#define TVM_INSERTITEM TVM_INSERTITEMW
#define TVM_GETITEM TVM_GETITEMW
#define TVM_SETITEM TVM_SETITEMW

#define TVE_COLLAPSE 0x0001
#define TVE_EXPAND 0x0002
#define TVE_TOGGLE 0x0003
#define TVE_EXPANDPARTIAL 0x4000
#define TVE_COLLAPSERESET 0x8000

#define TVGN_ROOT 0x0000
#define TVGN_NEXT 0x0001
#define TVGN_PREVIOUS 0x0002
#define TVGN_PARENT 0x0003
#define TVGN_CHILD 0x0004
#define TVGN_FIRSTVISIBLE 0x0005
#define TVGN_NEXTVISIBLE 0x0006
#define TVGN_PREVIOUSVISIBLE 0x0007
#define TVGN_DROPHILITE 0x0008
#define TVGN_CARET 0x0009
#define TVGN_LASTVISIBLE 0x000A

#define TVC_UNKNOWN 0x0000
#define TVC_BYMOUSE 0x0001
#define TVC_BYKEYBOARD 0x0002

#define TVHT_NOWHERE 0x0001
#define TVHT_ONITEMICON 0x0002
#define TVHT_ONITEMLABEL 0x0004
#define TVHT_ONITEMINDENT 0x0008
#define TVHT_ONITEMBUTTON 0x0010
#define TVHT_ONITEMRIGHT 0x0020
#define TVHT_ONITEMSTATEICON 0x0040
#define TVHT_ONITEM (TVHT_ONITEMICON | TVHT_ONITEMLABEL | TVHT_ONITEMSTATEICON)
#define TVHT_ABOVE 0x0100
#define TVHT_BELOW 0x0200
#define TVHT_TORIGHT 0x0400
#define TVHT_TOLEFT 0x0800

typedef struct tagTVHITTESTINFO {
    POINT pt;
    UINT flags;
    HTREEITEM hItem;
} TVHITTESTINFO, *LPTVHITTESTINFO;

#define TVN_FIRST (0U - 400U)
#define TVN_SELCHANGINGW (TVN_FIRST - 50)
#define TVN_SELCHANGEDW (TVN_FIRST - 51)
#define TVN_ITEMEXPANDINGW (TVN_FIRST - 54)
#define TVN_ITEMEXPANDEDW (TVN_FIRST - 55)
#define TVN_DELETEITEMW (TVN_FIRST - 58)
#define TVN_KEYDOWN (TVN_FIRST - 12)
#define TVN_SELCHANGING TVN_SELCHANGINGW
#define TVN_SELCHANGED TVN_SELCHANGEDW
#define TVN_ITEMEXPANDING TVN_ITEMEXPANDINGW
#define TVN_ITEMEXPANDED TVN_ITEMEXPANDEDW
#define TVN_DELETEITEM TVN_DELETEITEMW

// TVN_SELCHANGING/ED (action: TVC_*), TVN_ITEMEXPANDING/ED (action: TVE_*),
// TVN_DELETEITEM (itemOld). The items carry handle, state and lParam.
typedef struct tagNMTREEVIEWW {
    NMHDR hdr;
    UINT action;
    TVITEMW itemOld;
    TVITEMW itemNew;
    POINT ptDrag;
} NMTREEVIEWW, *LPNMTREEVIEWW;
typedef NMTREEVIEWW NMTREEVIEW;

#pragma pack(push, 1)
typedef struct tagNMTVKEYDOWN {
    NMHDR hdr;
    WORD wVKey;
    UINT flags;
} NMTVKEYDOWN, *LPNMTVKEYDOWN;
#pragma pack(pop)

// Messages of the tree ("SysTreeView32"). Items are inserted, found and changed
// as on Windows:
// - TVM_INSERTITEMW (lParam TVINSERTSTRUCTW*): parent TVI_ROOT (or NULL) or an
//   item; after TVI_FIRST, TVI_LAST, TVI_SORT (by text, without case) or a
//   sibling (a handle that is not one of the parent's children means
//   TVI_LAST); item fields by TVIF_TEXT, TVIF_PARAM, TVIF_STATE, TVIF_CHILDREN.
//   Returns the new item, NULL for a bad parent or record. The parent gets its
//   button (cChildren 1) with its first child.
// - TVM_GETNEXTITEM (wParam TVGN_*, lParam item): ROOT, CARET, FIRSTVISIBLE
//   and LASTVISIBLE need no item; NEXT, PREVIOUS, PARENT, CHILD (lParam NULL:
//   the first root item), NEXTVISIBLE, PREVIOUSVISIBLE go from the item. NULL
//   when there is none.
// - TVM_GETITEMW / TVM_SETITEMW (lParam TVITEMW*, hItem the item): TVIF_TEXT,
//   TVIF_PARAM, TVIF_STATE (with stateMask), TVIF_CHILDREN; a get always
//   fills state and lParam. TVM_GETITEMSTATE (wParam item, lParam mask).
// - TVM_SELECTITEM (wParam TVGN_CARET or TVGN_FIRSTVISIBLE, lParam item or
//   NULL): selecting expands the item's parents and scrolls it into view;
//   TVN_SELCHANGING may refuse (FALSE), TVN_SELCHANGED follows.
// - TVM_EXPAND (wParam TVE_*, lParam item): notifications only the first time
//   an item is expanded this way (TVIS_EXPANDEDONCE); keys and taps always
//   send them, and TVN_ITEMEXPANDING may refuse. Returns whether it changed.
// - TVM_ENSUREVISIBLE: expands the parents and scrolls; TRUE when it scrolled.
// - TVM_DELETEITEM (lParam item, TVI_ROOT or NULL: all): TVN_DELETEITEMW for
//   each item, children first; the selection moves to the next sibling, else
//   the parent, else the previous sibling (with TVN_SELCHANGING/ED).
// - TVM_GETCOUNT, TVM_GETVISIBLECOUNT (whole rows), TVM_GETITEMHEIGHT,
//   TVM_GETINDENT, TVM_GETITEMRECT (wParam TRUE: the text only; lParam a RECT
//   whose first bytes hold the item; FALSE when the item is not shown),
//   TVM_HITTEST (lParam TVHITTESTINFO*).
// Keys: Up, Down, Home, End, PageUp, PageDown move the selection; Left
// collapses, else goes to the parent; Right expands, else goes to the first
// child; Back goes to the parent; + (VK_ADD) expands, - collapses, * expands
// everything below; Enter sends NM_RETURN. TVN_KEYDOWN comes first for every
// key. Taps: a tap selects (NM_CLICK first), a tap on a button toggles, a
// double tap toggles (NM_DBLCLK first; a non-zero answer keeps it from
// toggling). When the tree gets the focus with nothing selected, the first
// visible item is selected.
// Typed characters (WM_CHAR) search the items shown, those of expanded
// branches, as on Windows: what was typed with less than a second between
// characters selects the first item from the selection on whose text begins
// with it, without case (TVC_BYKEYBOARD). A single character, or one typed
// again and again, steps to the next item that begins with it, wrapping round;
// nothing found leaves the selection. Every printable character searches; a
// space only goes on with a search. TVM_GETISEARCHSTRINGW (lParam a buffer,
// or NULL to ask the length) copies the search and returns its length, 0 once
// the second has passed.

// ---- list view ----------------------------------------------------------------------
#define WC_LISTVIEWW u"SysListView32"
#define WC_LISTVIEW WC_LISTVIEWW

#define LVS_ICON 0x0000
#define LVS_REPORT 0x0001
#define LVS_SMALLICON 0x0002
#define LVS_LIST 0x0003
#define LVS_TYPEMASK 0x0003
#define LVS_SINGLESEL 0x0004
#define LVS_SHOWSELALWAYS 0x0008
#define LVS_SORTASCENDING 0x0010
#define LVS_SORTDESCENDING 0x0020
#define LVS_SHAREIMAGELISTS 0x0040
#define LVS_NOLABELWRAP 0x0080
#define LVS_AUTOARRANGE 0x0100
#define LVS_EDITLABELS 0x0200
#define LVS_OWNERDATA 0x1000
#define LVS_NOSCROLL 0x2000
#define LVS_NOCOLUMNHEADER 0x4000
#define LVS_NOSORTHEADER 0x8000

#define LVS_EX_GRIDLINES 0x00000001
#define LVS_EX_FULLROWSELECT 0x00000020

#define LVIF_TEXT 0x0001
#define LVIF_IMAGE 0x0002
#define LVIF_PARAM 0x0004
#define LVIF_STATE 0x0008

#define LVIS_FOCUSED 0x0001
#define LVIS_SELECTED 0x0002
#define LVIS_CUT 0x0004
#define LVIS_DROPHILITED 0x0008

#define LVNI_ALL 0x0000
#define LVNI_FOCUSED 0x0001
#define LVNI_SELECTED 0x0002
#define LVNI_ABOVE 0x0100
#define LVNI_BELOW 0x0200

#define LVCF_FMT 0x0001
#define LVCF_WIDTH 0x0002
#define LVCF_TEXT 0x0004
#define LVCF_SUBITEM 0x0008
#define LVCFMT_LEFT 0x0000
#define LVCFMT_RIGHT 0x0001
#define LVCFMT_CENTER 0x0002

#define LVSIL_NORMAL 0
#define LVSIL_SMALL 1
#define LVSIL_STATE 2

#define LVIR_BOUNDS 0
#define LVIR_ICON 1
#define LVIR_LABEL 2

typedef struct tagLVITEMW {
    UINT mask;
    int iItem;
    int iSubItem;
    UINT state;
    UINT stateMask;
    LPWSTR pszText;
    int cchTextMax;
    int iImage;
    LPARAM lParam;
    int iIndent;
} LVITEMW, *LPLVITEMW;
typedef LVITEMW LVITEM;

typedef struct tagLVCOLUMNW {
    UINT mask;
    int fmt;
    int cx;
    LPWSTR pszText;
    int cchTextMax;
    int iSubItem;
} LVCOLUMNW, *LPLVCOLUMNW;
typedef LVCOLUMNW LVCOLUMN;

#define LVM_FIRST 0x1000
#define LVM_GETIMAGELIST (LVM_FIRST + 2)
#define LVM_SETIMAGELIST (LVM_FIRST + 3)
#define LVM_GETITEMCOUNT (LVM_FIRST + 4)
#define LVM_DELETEITEM (LVM_FIRST + 8)
#define LVM_DELETEALLITEMS (LVM_FIRST + 9)
#define LVM_GETNEXTITEM (LVM_FIRST + 12)
#define LVM_GETITEMRECT (LVM_FIRST + 14)
#define LVM_ENSUREVISIBLE (LVM_FIRST + 19)
#define LVM_DELETECOLUMN (LVM_FIRST + 28)
#define LVM_GETCOLUMNWIDTH (LVM_FIRST + 29)
#define LVM_GETTOPINDEX (LVM_FIRST + 39)
#define LVM_GETCOUNTPERPAGE (LVM_FIRST + 40)
#define LVM_SETITEMSTATE (LVM_FIRST + 43)
#define LVM_GETITEMSTATE (LVM_FIRST + 44)
#define LVM_GETSELECTEDCOUNT (LVM_FIRST + 50)
#define LVM_SETEXTENDEDLISTVIEWSTYLE (LVM_FIRST + 54)
#define LVM_GETEXTENDEDLISTVIEWSTYLE (LVM_FIRST + 55)
#define LVM_GETITEMW (LVM_FIRST + 75)
#define LVM_INSERTITEMW (LVM_FIRST + 77)
#define LVM_INSERTCOLUMNW (LVM_FIRST + 97)
#define LVM_GETITEMTEXTW (LVM_FIRST + 115)
#define LVM_GETISEARCHSTRINGW (LVM_FIRST + 117)
#define LVM_GETITEM LVM_GETITEMW
#define LVM_INSERTITEM LVM_INSERTITEMW
#define LVM_INSERTCOLUMN LVM_INSERTCOLUMNW
#define LVM_GETITEMTEXT LVM_GETITEMTEXTW

#define LVN_FIRST (0U - 100U)
#define LVN_ITEMCHANGING (LVN_FIRST - 0)
#define LVN_ITEMCHANGED (LVN_FIRST - 1)
#define LVN_INSERTITEM (LVN_FIRST - 2)
#define LVN_DELETEITEM (LVN_FIRST - 3)
#define LVN_DELETEALLITEMS (LVN_FIRST - 4)
#define LVN_ITEMACTIVATE (LVN_FIRST - 14)
#define LVN_KEYDOWN (LVN_FIRST - 55)

// LVN_ITEMCHANGING (a non-zero answer refuses the change), LVN_ITEMCHANGED,
// LVN_INSERTITEM, LVN_DELETEITEM, LVN_DELETEALLITEMS (iItem -1; a non-zero
// answer spares the LVN_DELETEITEMs).
typedef struct tagNMLISTVIEW {
    NMHDR hdr;
    int iItem;
    int iSubItem;
    UINT uNewState;
    UINT uOldState;
    UINT uChanged;
    POINT ptAction;
    LPARAM lParam;
} NMLISTVIEW, *LPNMLISTVIEW;

// NM_CLICK, NM_DBLCLK, NM_RETURN and LVN_ITEMACTIVATE of the list.
typedef struct tagNMITEMACTIVATE {
    NMHDR hdr;
    int iItem;
    int iSubItem;
    UINT uNewState;
    UINT uOldState;
    UINT uChanged;
    POINT ptAction;
    LPARAM lParam;
    UINT uKeyFlags;
} NMITEMACTIVATE, *LPNMITEMACTIVATE;

#pragma pack(push, 1)
typedef struct tagNMLVKEYDOWN {
    NMHDR hdr;
    WORD wVKey;
    UINT flags;
} NMLVKEYDOWN, *LPNMLVKEYDOWN;
#pragma pack(pop)

// Messages of the list ("SysListView32"), report view with one column of text:
// - LVM_INSERTCOLUMNW (wParam index, lParam LVCOLUMNW*: LVCF_FMT, LVCF_WIDTH,
//   LVCF_TEXT) returns the index, -1 on failure; LVM_DELETECOLUMN (wParam
//   index) FALSE for none; LVM_GETCOLUMNWIDTH. Sub-items are not supported:
//   a row shows its text in column 0.
// - LVM_INSERTITEMW (lParam LVITEMW*: LVIF_TEXT, LVIF_IMAGE, LVIF_STATE,
//   LVIF_PARAM; iSubItem 0; an index past the end appends) returns the index,
//   -1 on failure; LVN_INSERTITEM follows, then the state's own
//   LVN_ITEMCHANGING/ED. LVM_DELETEITEM, LVM_DELETEALLITEMS.
// - LVM_GETITEMCOUNT, LVM_GETITEMSTATE (wParam row, lParam mask),
//   LVM_SETITEMSTATE (wParam row, -1 for every row; lParam LVITEMW* with state
//   and stateMask): LVN_ITEMCHANGING/ED for each row that changes; focusing a
//   row takes the focus from the one that had it and scrolls it into view;
//   with LVS_SINGLESEL selecting a row deselects the others; -1 cannot focus
//   every row, nor select every row of a LVS_SINGLESEL list (FALSE).
// - LVM_GETNEXTITEM (wParam start, -1 from the top; lParam LVNI_*),
//   LVM_GETITEMTEXTW (wParam row, lParam LVITEMW* with pszText/cchTextMax;
//   returns the length copied), LVM_GETITEMW, LVM_ENSUREVISIBLE (wParam row),
//   LVM_GETITEMRECT (lParam RECT* with left = LVIR_*), LVM_GETTOPINDEX,
//   LVM_GETCOUNTPERPAGE, LVM_GETSELECTEDCOUNT.
// - LVM_SETEXTENDEDLISTVIEWSTYLE (wParam mask, 0 for all; lParam style)
//   returns the previous style; LVS_EX_FULLROWSELECT highlights the whole row.
// - LVM_SETIMAGELIST (wParam LVSIL_SMALL; lParam the list) returns the
//   previous one; the list destroys its image lists with itself unless
//   LVS_SHAREIMAGELISTS.
// Keys: LVN_KEYDOWN first, then Up, Down, Home, End, PageUp, PageDown move the
// focus and make it the only selection (kept in view); Enter sends NM_RETURN
// and LVN_ITEMACTIVATE. Taps: a tap on a row selects it alone and focuses it,
// NM_CLICK on the release; a double tap sends NM_DBLCLK and LVN_ITEMACTIVATE.
// Typed characters search the rows as the tree searches its items (from the
// focused row on), and the row found becomes the only selection, focused;
// LVM_GETISEARCHSTRINGW as TVM_GETISEARCHSTRINGW.
