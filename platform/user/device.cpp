// The device window: one desktop window of 240 x 320 that shows the title
// strip, the program's layers and the active layer's soft-key bar, and turns
// the desktop's keys and clicks into the device's.
#include "lwdevice.h"
#include "window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>

namespace lwuser {

QMenu* OpenPopup(); // menu.cpp

namespace {

HWND ActiveBar()
{
    Window* active = PeekWindowRecord(GetActiveWindow());
    if (!active || !IsWindow(active->softKeyBar))
        return nullptr;
    return IsWindowVisible(active->softKeyBar) ? active->softKeyBar : nullptr;
}

// The window that gets a key that is not one of the device's own.
HWND KeyTarget()
{
    HWND focus = GetFocus();
    return focus ? focus : GetActiveWindow();
}

void PressSoftKey(int index)
{
    if (QMenu* popup = OpenPopup()) {
        // A soft key while a popup is open closes it, as on the device.
        popup->close();
        return;
    }
    if (HWND bar = ActiveBar())
        PostMessageW(bar, kMsgSoftKey, static_cast<WPARAM>(index), 0);
}

void BackKey(bool down)
{
    if (HWND bar = ActiveBar()) {
        PostMessageW(bar, kMsgBackKey, down ? 1 : 0, 0);
        return;
    }
    // Without a bar the Back key is the Escape key of the focus window.
    if (HWND target = KeyTarget())
        PostKey(target, down ? WM_KEYDOWN : WM_KEYUP, VK_ESCAPE, down ? 1 : 0xC0000001, 0);
}

void ForwardKey(QKeyEvent* event, bool down)
{
    UINT vk = VirtualKeyOf(event->key());
    HWND target = KeyTarget();
    if (!vk || !target)
        return;
    QString text = event->text();
    char16_t typed = (down && text.size() == 1 && text[0].unicode() >= 0x20) ? text[0].unicode() : 0;
    if (down && (vk == VK_RETURN || vk == VK_BACK || vk == VK_TAB))
        typed = static_cast<char16_t>(vk == VK_RETURN ? u'\r' : vk == VK_BACK ? u'\b' : u'\t');
    LPARAM lParam = down ? (event->isAutoRepeat() ? 0x40000001 : 1) : static_cast<LPARAM>(0xC0000001);
    PostKey(target, down ? WM_KEYDOWN : WM_KEYUP, vk, lParam, typed);
}

class DeviceWindow : public QWidget {
public:
    DeviceWindow()
    {
        setFixedSize(kScreenWidth, kScreenHeight);
        setFocusPolicy(Qt::StrongFocus);
        setAttribute(Qt::WA_QuitOnClose, false);
        title_ = new QLabel(this);
        title_->setGeometry(0, 0, kScreenWidth, kTitleHeight);
        title_->setAutoFillBackground(true);
        title_->setIndent(6);
        QPalette palette = title_->palette();
        palette.setColor(QPalette::Window, QColor(0, 0, 128));
        palette.setColor(QPalette::WindowText, Qt::white);
        title_->setPalette(palette);
        QFont font = title_->font();
        font.setPixelSize(13);
        font.setBold(true);
        title_->setFont(font);
        screen_ = new QWidget(this);
        screen_->setGeometry(kWorkArea);
        screen_->setAutoFillBackground(true);
        screen_->setPalette(QPalette(Qt::white));
        strip_ = new QWidget(this);
        strip_->setGeometry(kSoftKeyArea);
        strip_->setAutoFillBackground(true);
        QPalette stripPalette = strip_->palette();
        stripPalette.setColor(QPalette::Window, QColor(192, 192, 192));
        strip_->setPalette(stripPalette);
    }

    QWidget* screen() const { return screen_; }
    QWidget* strip() const { return strip_; }
    QString title() const { return title_->text(); }
    void setTitle(const QString& text)
    {
        title_->setText(text);
        setWindowTitle(text.isEmpty() ? QCoreApplication::applicationName() : text);
    }

protected:
    void keyPressEvent(QKeyEvent* event) override { ForwardKey(event, true); }
    void keyReleaseEvent(QKeyEvent* event) override { ForwardKey(event, false); }
    void closeEvent(QCloseEvent* event) override
    {
        // Closing the desktop window asks every visible layer to close, topmost first.
        event->ignore();
        std::vector<HWND> layers = ZOrder();
        for (auto it = layers.rbegin(); it != layers.rend(); ++it)
            if (IsWindowVisible(*it))
                PostMessageW(*it, WM_CLOSE, 0, 0);
    }

private:
    QLabel* title_;
    QWidget* screen_;
    QWidget* strip_;
};

// Catches the device's own keys wherever Qt would deliver them inside the device.
class DeviceKeys : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        bool press = event->type() == QEvent::KeyPress;
        QWidget* widget = qobject_cast<QWidget*>(watched);
        if (!widget || !DeviceWidget() || widget->window() != DeviceWidget())
            return false; // popups and other desktop windows keep their keys
        switch (key->key()) {
        case Qt::Key_F1:
        case Qt::Key_F2:
            if (press && !key->isAutoRepeat())
                PressSoftKey(key->key() == Qt::Key_F1 ? 0 : 1);
            return true;
        case Qt::Key_Escape:
            if (!key->isAutoRepeat())
                BackKey(press);
            return true;
        default:
            return false;
        }
    }
};

QPointer<DeviceWindow> device;

DeviceWindow* Device()
{
    if (!device) {
        EnsureApplication();
        device = new DeviceWindow;
        qApp->installEventFilter(new DeviceKeys(qApp));
    }
    return device;
}

} // namespace

QWidget* DeviceWidget()
{
    return Device();
}

QWidget* DeviceParentFor(Placement placement)
{
    return placement == Placement::SoftKeys ? Device()->strip() : Device()->screen();
}

QPoint DeviceOffsetFor(Placement placement)
{
    return placement == Placement::SoftKeys ? kSoftKeyArea.topLeft() : kWorkArea.topLeft();
}

void DeviceRefresh()
{
    if (!device)
        return;
    bool anyVisible = false;
    for (HWND layer : ZOrder()) {
        Window* w = PeekWindowRecord(layer);
        if (w && w->widget)
            w->widget->raise();
        anyVisible = anyVisible || IsWindowVisible(layer);
    }
    HWND active = GetActiveWindow();
    Window* activeRecord = PeekWindowRecord(active);
    device->setTitle(activeRecord ? QString::fromStdU16String(activeRecord->text) : QString());
    for (HWND window : AllWindows()) {
        Window* w = PeekWindowRecord(window);
        if (!w || w->windowClass->placement != Placement::SoftKeys || !w->widget)
            continue;
        bool shown = activeRecord && activeRecord->softKeyBar == window && (w->style & WS_VISIBLE);
        w->widget->setVisible(shown);
    }
    if (anyVisible && !device->isVisible())
        device->show();
}

void DeviceRaise()
{
    if (!device)
        return;
    device->show();
    device->raise();
    device->activateWindow();
}

} // namespace lwuser

using namespace lwuser;

// ---- what tests and tools see ---------------------------------------------------------

void LwDeviceStart()
{
    EnsureApplication();
}

std::u16string LwDeviceTitle()
{
    return device ? device->title().toStdU16String() : std::u16string();
}

std::vector<std::u16string> LwDeviceSoftKeys()
{
    std::vector<std::u16string> keys;
    HWND bar = ActiveBar();
    if (!bar)
        return keys;
    for (WPARAM index = 0; index < 2; ++index) {
        std::u16string caption;
        if (SendMessageW(bar, kMsgSoftKeyText, index, reinterpret_cast<LPARAM>(&caption)))
            keys.push_back(caption);
    }
    return keys;
}

void LwDeviceBackKey(bool down)
{
    BackKey(down);
}

void LwDevicePressKey(UINT key)
{
    // Through Qt, so the device handles the key exactly as a typed one.
    QWidget* target = QApplication::focusWidget();
    if (!target || target->window() != Device())
        target = Device();
    int qtKey = QtKeyOf(key);
    if (!qtKey)
        return;
    QString text = (key >= 'A' && key <= 'Z') ? QString(QChar(key + 32))
                   : (key >= '0' && key <= '9') || key == VK_SPACE ? QString(QChar(key))
                                                                   : QString();
    QKeyEvent press(QEvent::KeyPress, qtKey, Qt::NoModifier, text);
    QKeyEvent release(QEvent::KeyRelease, qtKey, Qt::NoModifier, text);
    QApplication::sendEvent(target, &press);
    QApplication::sendEvent(target, &release);
}

bool LwDeviceTap(int x, int y)
{
    QWidget* widget = Device()->childAt(x, y);
    if (!widget)
        return false;
    QPoint local = widget->mapFrom(Device(), QPoint(x, y));
    QPoint global = widget->mapToGlobal(local);
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QPointer<QWidget> guard(widget);
    QApplication::sendEvent(widget, &press);
    if (guard)
        QApplication::sendEvent(widget, &release);
    return true;
}

COLORREF LwDevicePixel(int x, int y)
{
    if (x < 0 || y < 0 || x >= kScreenWidth || y >= kScreenHeight)
        return CLR_INVALID;
    QImage image = Device()->grab().toImage();
    qreal ratio = image.devicePixelRatio();
    QColor color = image.pixelColor(static_cast<int>(x * ratio), static_cast<int>(y * ratio));
    return RGB(color.red(), color.green(), color.blue());
}

bool LwDeviceSaveScreenshot(const char* path)
{
    return path && Device()->grab().save(QString::fromLocal8Bit(path), "PNG");
}

bool LwDevicePumpUntil(const std::function<bool()>& done, int limitMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs)
            return false;
        // Wait for something only while nothing is queued; a bounded wait keeps
        // the limit honest even when no event ever comes.
        if (!PumpOnce(false)) {
            QTimer wake;
            wake.setSingleShot(true);
            wake.start(20);
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    }
    return true;
}
