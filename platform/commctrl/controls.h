// What the tree and the list share: their scroll bar, their row metrics and
// colours, and the small notifications. Private to platform/commctrl.
#pragma once

#include <commctrl.h>

#include <string>

namespace lwcommctrl {

// Registration of each control (treeview.cpp, listview.cpp).
void RegisterTreeViewClass();
void UnregisterTreeViewClass();
void RegisterListViewClass();
void UnregisterListViewClass();

// The vertical scroll bar a control draws at its right edge, in rows: `total`
// rows of which `page` fit, the first shown being `pos`.
struct ScrollBar {
    int total = 0;
    int page = 0;
    int pos = 0;
    // A drag of the thumb: the stylus's distance from the thumb's top, and the
    // row the thumb stands for (WM_VSCROLL's high word holds only 16 bits).
    bool dragging = false;
    int grab = 0;
    int trackPos = 0;

    bool Shown() const { return total > page && page > 0; }
    int MaxPos() const { return total > page ? total - page : 0; }
};

constexpr int kScrollBarWidth = 13;

// The bar's place in a client area of this size (empty when not shown).
RECT ScrollBarArea(const RECT& client, const ScrollBar& bar);
void DrawScrollBar(HDC dc, const RECT& area, const ScrollBar& bar);
// What a tap at y inside the bar asks for: SB_LINEUP, SB_LINEDOWN (the arrow
// boxes), SB_PAGEUP, SB_PAGEDOWN, or SB_THUMBTRACK on the thumb.
int ScrollBarHit(const RECT& area, const ScrollBar& bar, int y);
// The first row a thumb dragged to y (less the grab) stands for.
int ScrollBarDragPos(const RECT& area, const ScrollBar& bar, int y);
// The new first row for a WM_VSCROLL (code in the low word), kept within
// 0..MaxPos; a thumb code takes the drag's row while dragging.
int ScrollTarget(const ScrollBar& bar, WPARAM wParam);

// Handles a stylus event that may belong to the bar: a press in it starts a
// drag or sends the control WM_VSCROLL; moves and the release of a drag send
// SB_THUMBTRACK, then SB_THUMBPOSITION and SB_ENDSCROLL. True when the bar
// took the event.
bool ScrollBarMouse(HWND control, ScrollBar* bar, const RECT& client, UINT message, int x, int y);

// A control's WM_PAINT: begun with the rows' area (left of the bar) white, the
// control's font selected and text drawn transparent; ended with the bar.
class RowPainter {
public:
    RowPainter(HWND window, HFONT font, const RECT& client, const ScrollBar& bar);
    ~RowPainter();
    RowPainter(const RowPainter&) = delete;
    RowPainter& operator=(const RowPainter&) = delete;
    HDC dc() const { return paint_.hdc; }
    int right() const { return barArea_.left; } // where the rows end

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    RECT barArea_;
    const ScrollBar& bar_;
    HGDIOBJ previousFont_ = nullptr;
};

// Row height for the control's font: text height plus a margin, at least 16,
// even (as Windows rounds it).
int RowHeight(HWND control, HFONT font);

// The control's font (WM_SETFONT's, else the system font).
HFONT ControlFont(HFONT font);

// A notification that is only its header.
LRESULT NotifySimple(HWND control, UINT code);

// Copies a text into a caller's buffer of `size` units, cut and terminated;
// returns the units copied (0 for no buffer).
int CopyText(const char16_t* text, size_t length, LPWSTR buffer, int size);
// The length of a caller's text, at most kMaxItemText (LPSTR_TEXTCALLBACKW and
// NULL count as empty).
size_t BoundedLength(LPCWSTR text);

// Trace texts for the insert messages (the item's text).
bool TraceTreeInsertText(HWND, UINT, WPARAM, LPARAM lParam, std::u16string* text);
bool TraceListItemText(HWND, UINT, WPARAM, LPARAM lParam, std::u16string* text);
bool TraceListColumnText(HWND, UINT, WPARAM, LPARAM lParam, std::u16string* text);

} // namespace lwcommctrl
