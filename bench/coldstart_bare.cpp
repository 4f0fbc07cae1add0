// The yardstick of bench/coldstart: a bare Qt Widgets program that opens one
// 240 x 320 window, says "painted" on its first paint and exits. With the
// argument "stay" it stays until it is ended, for bench_reading to read its
// memory.
#include <QApplication>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

class Window : public QWidget {
public:
    explicit Window(bool stay) : stay_(stay) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        if (!painted_) {
            painted_ = true;
            fputs("painted\n", stdout);
            fflush(stdout);
            if (!stay_)
                QTimer::singleShot(0, qApp, &QApplication::quit);
        }
    }

private:
    bool stay_;
    bool painted_ = false;
};

}  // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    Window window(argc > 1 && QString::fromLocal8Bit(argv[1]) == QStringLiteral("stay"));
    window.resize(240, 320);
    window.show();
    return application.exec();
}
