// The scroll bar, row metrics and small helpers the tree and the list share.
#include "controls.h"

#include <window.h>

#include <algorithm>

namespace lwcommctrl {
namespace {

constexpr int kArrowBox = kScrollBarWidth; // the arrow boxes are square
constexpr int kMinThumb = 8;
constexpr COLORREF kTrackColor = RGB(224, 224, 224);

struct Thumb {
    int top;
    int height;
};

Thumb ThumbOf(const RECT& area, const ScrollBar& bar)
{
    int track = std::max(0, static_cast<int>(area.bottom - area.top) - 2 * kArrowBox);
    if (!bar.Shown() || track == 0)
        return {area.top + kArrowBox, 0};
    int height = std::clamp(static_cast<int>(static_cast<long long>(track) * bar.page / bar.total), kMinThumb, track);
    int room = track - height;
    int offset = bar.MaxPos() ? static_cast<int>(static_cast<long long>(room) * bar.pos / bar.MaxPos()) : 0;
    return {static_cast<int>(area.top) + kArrowBox + offset, height};
}

void Fill(HDC dc, int left, int top, int right, int bottom, HBRUSH brush)
{
    RECT r{left, top, right, bottom};
    FillRect(dc, &r, brush);
}

void Frame(HDC dc, const RECT& r, HBRUSH brush)
{
    Fill(dc, r.left, r.top, r.right, r.top + 1, brush);
    Fill(dc, r.left, r.bottom - 1, r.right, r.bottom, brush);
    Fill(dc, r.left, r.top, r.left + 1, r.bottom, brush);
    Fill(dc, r.right - 1, r.top, r.right, r.bottom, brush);
}

// A box with a small triangle pointing up or down.
void ArrowBox(HDC dc, int left, int top, bool up)
{
    RECT box{left, top, left + kArrowBox, top + kArrowBox};
    FillRect(dc, &box, GetSysColorBrush(COLOR_BTNFACE));
    Frame(dc, box, GetSysColorBrush(COLOR_BTNSHADOW));
    int centre = left + kArrowBox / 2;
    for (int row = 0; row < 4; ++row) {
        int y = up ? top + 4 + row : top + kArrowBox - 5 - row;
        Fill(dc, centre - row, y, centre + row + 1, y + 1, GetSysColorBrush(COLOR_BTNTEXT));
    }
}

} // namespace

RECT ScrollBarArea(const RECT& client, const ScrollBar& bar)
{
    if (!bar.Shown())
        return RECT{client.right, client.top, client.right, client.top};
    return RECT{std::max(client.left, client.right - kScrollBarWidth), client.top, client.right, client.bottom};
}

void DrawScrollBar(HDC dc, const RECT& area, const ScrollBar& bar)
{
    if (area.right <= area.left)
        return;
    HBRUSH track = CreateSolidBrush(kTrackColor);
    FillRect(dc, &area, track);
    DeleteObject(track);
    ArrowBox(dc, area.left, area.top, true);
    ArrowBox(dc, area.left, area.bottom - kArrowBox, false);
    Thumb thumb = ThumbOf(area, bar);
    if (thumb.height > 0) {
        RECT r{area.left, thumb.top, area.right, thumb.top + thumb.height};
        FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
        Frame(dc, r, GetSysColorBrush(COLOR_BTNSHADOW));
    }
}

int ScrollBarHit(const RECT& area, const ScrollBar& bar, int y)
{
    if (y < area.top + kArrowBox)
        return SB_LINEUP;
    if (y >= area.bottom - kArrowBox)
        return SB_LINEDOWN;
    Thumb thumb = ThumbOf(area, bar);
    if (y < thumb.top)
        return SB_PAGEUP;
    if (y >= thumb.top + thumb.height)
        return SB_PAGEDOWN;
    return SB_THUMBTRACK;
}

int ScrollBarDragPos(const RECT& area, const ScrollBar& bar, int y)
{
    Thumb thumb = ThumbOf(area, bar);
    int room = static_cast<int>(area.bottom - area.top) - 2 * kArrowBox - thumb.height;
    if (room <= 0)
        return 0;
    int offset = std::clamp(y - bar.grab - static_cast<int>(area.top) - kArrowBox, 0, room);
    return static_cast<int>((static_cast<long long>(offset) * bar.MaxPos() + room / 2) / room);
}

int ScrollTarget(const ScrollBar& bar, WPARAM wParam)
{
    int pos = bar.pos;
    int trackPos = bar.dragging ? bar.trackPos : HIWORD(wParam);
    switch (LOWORD(wParam)) {
    case SB_LINEUP: pos -= 1; break;
    case SB_LINEDOWN: pos += 1; break;
    case SB_PAGEUP: pos -= std::max(1, bar.page); break;
    case SB_PAGEDOWN: pos += std::max(1, bar.page); break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: pos = trackPos; break;
    case SB_TOP: pos = 0; break;
    case SB_BOTTOM: pos = bar.MaxPos(); break;
    default: break;
    }
    return std::clamp(pos, 0, bar.MaxPos());
}

bool ScrollBarMouse(HWND control, ScrollBar* bar, const RECT& client, UINT message, int x, int y)
{
    RECT area = ScrollBarArea(client, *bar);
    if (message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK) {
        if (!bar->Shown() || x < area.left)
            return false;
        int code = ScrollBarHit(area, *bar, y);
        if (code == SB_THUMBTRACK) {
            bar->dragging = true;
            bar->grab = y - ThumbOf(area, *bar).top;
        } else {
            SendMessageW(control, WM_VSCROLL, static_cast<WPARAM>(code), 0);
        }
        return true;
    }
    if (!bar->dragging)
        return false;
    // The position travels in the high word as on Windows; the control takes
    // the full value from its own drag (rows past 65535 stay reachable).
    int pos = ScrollBarDragPos(area, *bar, y);
    bar->trackPos = pos;
    if (message == WM_MOUSEMOVE) {
        SendMessageW(control, WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, pos), 0);
    } else if (message == WM_LBUTTONUP) {
        SendMessageW(control, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, pos), 0);
        bar->dragging = false;
        SendMessageW(control, WM_VSCROLL, SB_ENDSCROLL, 0);
    }
    return true;
}

RowPainter::RowPainter(HWND window, HFONT font, const RECT& client, const ScrollBar& bar)
    : window_(window), barArea_(ScrollBarArea(client, bar)), bar_(bar)
{
    if (!BeginPaint(window, &paint_))
        return;
    RECT rows{client.left, client.top, barArea_.left, client.bottom};
    FillRect(paint_.hdc, &rows, GetSysColorBrush(COLOR_WINDOW));
    previousFont_ = SelectObject(paint_.hdc, ControlFont(font));
    SetBkMode(paint_.hdc, TRANSPARENT);
}

RowPainter::~RowPainter()
{
    if (!paint_.hdc)
        return;
    SelectObject(paint_.hdc, previousFont_);
    DrawScrollBar(paint_.hdc, barArea_, bar_);
    EndPaint(window_, &paint_);
}

HFONT ControlFont(HFONT font)
{
    return font ? font : static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
}

int RowHeight(HWND control, HFONT font)
{
    HDC dc = GetDC(control);
    HGDIOBJ previous = SelectObject(dc, ControlFont(font));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, previous);
    ReleaseDC(control, dc);
    // Room for the focus frame and a margin, as Windows adds to the text.
    int height = std::max(16, static_cast<int>(metrics.tmHeight + metrics.tmExternalLeading) + 3);
    return height & ~1;
}

LRESULT NotifySimple(HWND control, UINT code)
{
    NMHDR header{};
    return lwuser::NotifyParent(control, code, &header);
}

int CopyText(const char16_t* text, size_t length, LPWSTR buffer, int size)
{
    if (!buffer || size <= 0)
        return 0;
    size_t copied = std::min(length, static_cast<size_t>(size) - 1);
    std::copy(text, text + copied, buffer);
    buffer[copied] = 0;
    return static_cast<int>(copied);
}

size_t BoundedLength(LPCWSTR text)
{
    if (!text || text == LPSTR_TEXTCALLBACKW)
        return 0;
    size_t length = 0;
    while (length < kMaxItemText && text[length])
        ++length;
    return length;
}

namespace {

bool QuoteBounded(LPCWSTR text, std::u16string* out)
{
    out->assign(text ? text : u"", BoundedLength(text));
    return true;
}

} // namespace

bool TraceTreeInsertText(HWND, UINT, WPARAM, LPARAM lParam, std::u16string* text)
{
    auto* insert = reinterpret_cast<const TVINSERTSTRUCTW*>(lParam);
    if (!insert || !(insert->item.mask & TVIF_TEXT))
        return false;
    return QuoteBounded(insert->item.pszText, text);
}

bool TraceListItemText(HWND, UINT, WPARAM, LPARAM lParam, std::u16string* text)
{
    auto* item = reinterpret_cast<const LVITEMW*>(lParam);
    if (!item || !(item->mask & LVIF_TEXT))
        return false;
    return QuoteBounded(item->pszText, text);
}

bool TraceListColumnText(HWND, UINT, WPARAM, LPARAM lParam, std::u16string* text)
{
    auto* column = reinterpret_cast<const LVCOLUMNW*>(lParam);
    if (!column || !(column->mask & LVCF_TEXT))
        return false;
    return QuoteBounded(column->pszText, text);
}

} // namespace lwcommctrl
