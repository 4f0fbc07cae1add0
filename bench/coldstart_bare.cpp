// The yardstick of bench/coldstart: a bare Qt Widgets program that opens one
// 240 x 320 window, says "painted" on its first paint and exits.
#include <QApplication>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

class Window : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        if (!painted_) {
            painted_ = true;
            fputs("painted\n", stdout);
            fflush(stdout);
            QTimer::singleShot(0, qApp, &QApplication::quit);
        }
    }

private:
    bool painted_ = false;
};

}  // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    Window window;
    window.resize(240, 320);
    window.show();
    return application.exec();
}
