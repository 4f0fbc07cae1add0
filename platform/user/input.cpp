// Input from the desktop to the device's windows: keys and taps become
// messages in the queue, whether a window paints a surface or a Qt widget
// draws it. A widget-drawn control gets Qt input only as its own procedure
// replays it (ReplayInput).
#include "window.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>

namespace lwuser {
namespace {

// Desktop keys to the device's virtual keys.
struct KeyMap {
    int qt;
    UINT vk;
};
constexpr KeyMap kKeys[] = {
    {Qt::Key_Backspace, VK_BACK}, {Qt::Key_Tab, VK_TAB},       {Qt::Key_Return, VK_RETURN},
    {Qt::Key_Enter, VK_RETURN},   {Qt::Key_Escape, VK_ESCAPE}, {Qt::Key_Space, VK_SPACE},
    {Qt::Key_PageUp, VK_PRIOR},   {Qt::Key_PageDown, VK_NEXT}, {Qt::Key_End, VK_END},
    {Qt::Key_Home, VK_HOME},      {Qt::Key_Left, VK_LEFT},     {Qt::Key_Up, VK_UP},
    {Qt::Key_Right, VK_RIGHT},    {Qt::Key_Down, VK_DOWN},     {Qt::Key_Delete, VK_DELETE},
    {Qt::Key_Shift, VK_SHIFT},    {Qt::Key_Control, VK_CONTROL}, {Qt::Key_Alt, VK_MENU},
    {Qt::Key_Plus, VK_ADD},       {Qt::Key_Minus, VK_SUBTRACT}, {Qt::Key_Asterisk, VK_MULTIPLY},
};

// Replayed events pass the filter; everything else from Qt is turned into messages.
int replaying = 0;

// The widget that stands for a window: the nearest tagged ancestor (or itself).
QWidget* FaceOf(QObject* object)
{
    for (; object; object = object->parent())
        if (object->property("lwWindow").isValid())
            return qobject_cast<QWidget*>(object);
    return nullptr;
}

class InputFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::ChildPolished:
            // Parts a widget makes later (a scroll area's viewport) are held the same way.
            if (auto* child = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child()))
                Hold(child);
            return false;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
            if (replaying)
                return false;
            ToMessage(watched, static_cast<QMouseEvent*>(event));
            return true;
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
            // Keys reach the focus window through the device; the rest has no
            // counterpart on the device.
            return replaying == 0;
        default:
            return false;
        }
    }

public:
    void Hold(QWidget* widget)
    {
        widget->setFocusPolicy(Qt::NoFocus);
        widget->removeEventFilter(this);
        widget->installEventFilter(this);
    }

private:
    static void ToMessage(QObject* watched, QMouseEvent* event)
    {
        auto* widget = qobject_cast<QWidget*>(watched);
        QWidget* face = FaceOf(watched);
        HWND window = WindowOfWidget(watched);
        if (!widget || !face || !window)
            return;
        QPoint at = widget->mapTo(face, event->position().toPoint());
        PostMouse(window, event->type(), event->button(), event->buttons(), at, widget->isEnabled());
    }
};

InputFilter* Filter()
{
    static InputFilter* filter = new InputFilter;
    return filter;
}

} // namespace

UINT VirtualKeyOf(int qtKey)
{
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9))
        return static_cast<UINT>(qtKey); // the same codes
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F12)
        return VK_F1 + static_cast<UINT>(qtKey - Qt::Key_F1);
    for (const KeyMap& k : kKeys)
        if (k.qt == qtKey)
            return k.vk;
    return 0;
}

int QtKeyOf(UINT vk)
{
    if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9'))
        return static_cast<int>(vk);
    if (vk >= VK_F1 && vk <= VK_F12)
        return Qt::Key_F1 + static_cast<int>(vk - VK_F1);
    for (const KeyMap& k : kKeys)
        if (k.vk == vk)
            return k.qt;
    return 0;
}

void PostMouse(HWND window, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons, QPoint at,
               bool enabled)
{
    // The stylus is the left button; a move counts only while it touches.
    bool left = button == Qt::LeftButton;
    UINT message = 0;
    switch (type) {
    case QEvent::MouseButtonPress: message = left ? WM_LBUTTONDOWN : 0; break;
    case QEvent::MouseButtonRelease: message = left ? WM_LBUTTONUP : 0; break;
    case QEvent::MouseButtonDblClick:
        if (left) {
            Window* w = PeekWindowRecord(window);
            message = w && (w->windowClass->style & CS_DBLCLKS) ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN;
        }
        break;
    case QEvent::MouseMove: message = (buttons & Qt::LeftButton) ? WM_MOUSEMOVE : 0; break;
    default: break;
    }
    if (!message || !enabled)
        return;
    WPARAM keys = (buttons & Qt::LeftButton) ? MK_LBUTTON : 0;
    PostMessageW(window, message, keys, MAKELPARAM(at.x(), at.y()));
}

void TakeInputFromMessages(QWidget* widget)
{
    Filter()->Hold(widget);
    for (QWidget* child : widget->findChildren<QWidget*>())
        Filter()->Hold(child);
}

bool ReplayInput(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Window* w = PeekWindowRecord(window);
    QWidget* widget = w && w->windowClass->createWidget ? w->widget.data() : nullptr;
    if (!widget)
        return false;
    ++replaying;
    bool replayed = true;
    if (message == WM_KEYDOWN || message == WM_KEYUP) {
        int key = QtKeyOf(static_cast<UINT>(wParam));
        QKeyEvent event(message == WM_KEYDOWN ? QEvent::KeyPress : QEvent::KeyRelease, key, Qt::NoModifier);
        replayed = key != 0;
        if (replayed)
            QCoreApplication::sendEvent(widget, &event);
    } else if (message >= WM_MOUSEMOVE && message <= WM_LBUTTONDBLCLK) {
        QPoint at(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
        QWidget* target = widget->childAt(at);
        if (!target || WindowOfWidget(target) != window)
            target = widget;
        QPoint local = target->mapFrom(widget, at);
        QEvent::Type type = message == WM_LBUTTONDOWN   ? QEvent::MouseButtonPress
                            : message == WM_LBUTTONUP   ? QEvent::MouseButtonRelease
                            : message == WM_MOUSEMOVE   ? QEvent::MouseMove
                                                        : QEvent::MouseButtonDblClick;
        Qt::MouseButton button = message == WM_MOUSEMOVE ? Qt::NoButton : Qt::LeftButton;
        Qt::MouseButtons buttons = (wParam & MK_LBUTTON) ? Qt::LeftButton : Qt::NoButton;
        QMouseEvent event(type, local, target->mapToGlobal(local), button, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &event);
    } else {
        replayed = false;
    }
    --replaying;
    return replayed;
}

} // namespace lwuser
