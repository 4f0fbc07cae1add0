// The Qt face of a window that paints itself with GDI: it shows the window's
// surface and turns taps into mouse messages. Private to platform/user.
#pragma once

#include <winuser.h>

#include <QWidget>

namespace lwuser {

class SurfaceWidget : public QWidget {
public:
    SurfaceWidget(HWND window, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void PostMouse(QMouseEvent* event);
    HWND window_;
};

} // namespace lwuser
