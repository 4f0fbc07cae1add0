// The GDI's Qt side, for the other platform libraries only (never the program):
// how a window's surface becomes a device context, and how images, icons and
// colours cross between Qt and GDI handles.
#pragma once

#include <wingdi.h>

#include <QColor>
#include <QFont>
#include <QImage>

#include <memory>

// A device context that paints on a window's surface. The context shares the
// surface, so it stays safe to use if the window goes away first.
HDC LwCreateSurfaceDC(std::shared_ptr<QImage> surface);
// Releases such a context; FALSE for any other handle.
BOOL LwReleaseSurfaceDC(HDC dc);
// A context that paints nowhere but carries the usual state (colours, mode,
// font): the platform hands one to WM_CTLCOLOR* while a control draws itself.
// Released with LwReleaseSurfaceDC.
HDC LwCreateStateDC();

// A bitmap holding a copy of the image; bitsPerPixel is what GetObjectW reports.
HBITMAP LwCreateBitmapFromImage(const QImage& image, int bitsPerPixel);
// The bitmap's image (32 bits per pixel), or null for a bad handle.
const QImage* LwBitmapImage(HBITMAP bitmap);

// Icons and cursors live in the same handle table as the GDI objects. A shared
// icon (LoadIconW's, the system cursors) survives DestroyIcon, as on Windows.
HICON LwCreateIconFromImage(const QImage& image, bool shared = false);
const QImage* LwIconImage(HICON icon);
// FALSE with ERROR_INVALID_HANDLE (ERROR_INVALID_CURSOR_HANDLE for cursors is
// not told apart) for a bad handle.
BOOL LwDestroyIcon(HICON icon);

// Draws an image (blending its alpha) into the rectangle, scaled to it; false
// for a bad context. A context without a surface draws nothing and succeeds.
bool LwDrawImage(HDC dc, const QRect& target, const QImage& image);

QColor LwColor(COLORREF color);
COLORREF LwColorRef(const QColor& color);
// The device's system font (12 pixels high, the desktop's sans-serif face).
QFont LwSystemFont();
// The font selected into a context (the system font for a bad one).
QFont LwContextFont(HDC dc);
// The colour a brush paints with: false for a bad handle; *hollow is set for
// NULL_BRUSH, which paints nothing. Accepts COLOR_* + 1 as FillRect does.
bool LwBrushColor(HBRUSH brush, QColor* color, bool* hollow);
// The colours and mode a context holds, as WM_CTLCOLOR* left them.
struct LwTextState {
    QColor text;
    QColor background;
    bool opaque = true;
};
LwTextState LwContextTextState(HDC dc);
