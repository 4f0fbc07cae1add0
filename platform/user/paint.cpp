// Painting: each window's surface, the invalid area, WM_PAINT and the
// contexts that paint on a surface.
#include "surfacewidget.h"
#include "window.h"

#include "gdi_qt.h"

#include <QMouseEvent>
#include <QPainter>

namespace lwuser {

SurfaceWidget::SurfaceWidget(HWND window, QWidget* parent) : QWidget(parent), window_(window)
{
    // Keys reach the device window and go from there to the focus window, so a
    // surface never takes Qt's focus.
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SurfaceWidget::paintEvent(QPaintEvent*)
{
    Window* w = PeekWindowRecord(window_);
    if (!w || !w->surface)
        return;
    QPainter painter(this);
    painter.drawImage(0, 0, *w->surface);
}

void SurfaceWidget::PostMouse(QMouseEvent* event)
{
    lwuser::PostMouse(window_, event->type(), event->button(), event->buttons(), event->position().toPoint(),
                      isEnabled());
}

void SurfaceWidget::mousePressEvent(QMouseEvent* event)
{
    PostMouse(event);
}

void SurfaceWidget::mouseReleaseEvent(QMouseEvent* event)
{
    PostMouse(event);
}

void SurfaceWidget::mouseDoubleClickEvent(QMouseEvent* event)
{
    PostMouse(event);
}

void SurfaceWidget::mouseMoveEvent(QMouseEvent* event)
{
    PostMouse(event);
}

void ResizeSurface(Window* w)
{
    // A zero-sized window still gets a 1 x 1 surface, so that contexts on it are valid.
    QSize size(std::max(1, w->rect.width()), std::max(1, w->rect.height()));
    auto surface = std::make_shared<QImage>(size, QImage::Format_RGB32);
    surface->fill(Qt::white);
    if (w->surface) {
        QPainter painter(surface.get());
        painter.drawImage(0, 0, *w->surface);
    }
    w->surface = std::move(surface);
}

HWND NextWindowToPaint()
{
    for (HWND window : AllWindows()) {
        Window* w = PeekWindowRecord(window);
        if (w && !w->invalid.isEmpty() && !w->windowClass->createWidget && IsWindowVisible(window))
            return window;
    }
    return nullptr;
}

} // namespace lwuser

using namespace lwuser;

namespace {

QRect ClientArea(Window* w)
{
    return QRect(0, 0, w->rect.width(), w->rect.height());
}

QRect ToQRect(const RECT& r)
{
    return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
}

BOOL InvalidateOne(HWND window, const RECT* rect, BOOL erase)
{
    Window* w = FindWindowRecord(window);
    if (!w)
        return FALSE;
    if (w->windowClass->createWidget) {
        if (w->widget)
            w->widget->update();
        return TRUE;
    }
    QRect area = rect ? ToQRect(*rect).intersected(ClientArea(w)) : ClientArea(w);
    if (area.isEmpty())
        return TRUE;
    w->invalid = w->invalid.united(area);
    if (erase)
        w->eraseNeeded = true;
    return TRUE;
}

} // namespace

BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase)
{
    if (!window) {
        // As on Windows: every window is redrawn.
        for (HWND each : AllWindows())
            InvalidateOne(each, nullptr, erase);
        return TRUE;
    }
    return InvalidateOne(window, rect, erase);
}

BOOL ValidateRect(HWND window, const RECT* rect)
{
    Window* w = FindWindowRecord(window);
    if (!w)
        return FALSE;
    if (!rect || ToQRect(*rect).contains(w->invalid)) {
        w->invalid = QRect();
        w->eraseNeeded = false;
    }
    return TRUE;
}

BOOL UpdateWindow(HWND window)
{
    Window* w = FindWindowRecord(window);
    if (!w)
        return FALSE;
    if (w->invalid.isEmpty() || !IsWindowVisible(window))
        return TRUE;
    MSG paint{window, WM_PAINT, 0, 0, 0, {0, 0}};
    Dispatch(&paint, false);
    return TRUE;
}

HDC BeginPaint(HWND window, LPPAINTSTRUCT paint)
{
    Window* w = FindWindowRecord(window);
    if (!w)
        return nullptr;
    if (!paint) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!w->surface)
        ResizeSurface(w);
    QRect area = w->invalid;
    bool erase = w->eraseNeeded;
    w->invalid = QRect();
    w->eraseNeeded = false;
    ++w->paintCount;

    *paint = PAINTSTRUCT{};
    HDC dc = LwCreateSurfaceDC(w->surface);
    paint->hdc = dc;
    if (!area.isEmpty())
        paint->rcPaint = RECT{area.left(), area.top(), area.right() + 1, area.bottom() + 1};
    if (erase) {
        LRESULT erased = Deliver(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        paint->fErase = erased ? FALSE : TRUE;
    }
    return dc;
}

BOOL EndPaint(HWND window, const PAINTSTRUCT* paint)
{
    if (paint && paint->hdc)
        LwReleaseSurfaceDC(paint->hdc);
    Window* w = FindWindowRecord(window);
    if (!w)
        return FALSE;
    if (w->widget)
        w->widget->update();
    return TRUE;
}

HDC GetDC(HWND window)
{
    if (!window)
        return LwCreateStateDC();
    Window* w = FindWindowRecord(window);
    if (!w)
        return nullptr;
    if (!w->surface)
        ResizeSurface(w);
    return LwCreateSurfaceDC(w->surface);
}

int ReleaseDC(HWND window, HDC dc)
{
    if (!LwReleaseSurfaceDC(dc))
        return 0;
    if (Window* w = PeekWindowRecord(window); w && w->widget)
        w->widget->update();
    return 1;
}
