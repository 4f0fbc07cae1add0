// Controls of other platform libraries: a class registered beside user's own,
// a control drawn by a Qt widget that still takes every key and tap from the
// queue, and notifications to the parent.
#include "fixture.h"
#include "templates.h"

#include <window.h>

#include <QApplication>
#include <QEvent>
#include <QWidget>

using namespace lwtest;

namespace {

const WCHAR kProbeClass[] = u"LwProbeControl";

// What got past the platform to the probe's widgets: (widget, event type).
std::vector<std::pair<QObject*, QEvent::Type>> qtInput;

class ProbePart : public QWidget {
public:
    using QWidget::QWidget;

protected:
    bool event(QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
            qtInput.push_back({this, event->type()});
            break;
        default:
            break;
        }
        return QWidget::event(event);
    }
};

ProbePart* inner; // the part a tap lands on, like a scroll area's viewport

QWidget* MakeProbe(HWND, QWidget* parent)
{
    auto* probe = new ProbePart(parent);
    inner = new ProbePart(probe);
    inner->setGeometry(4, 4, 60, 30);
    inner->setFocusPolicy(Qt::StrongFocus);
    return probe;
}

// The control's own procedure: a tap is handed on to its widget.
LRESULT CALLBACK ProbeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_LBUTTONDOWN)
        lwuser::ReplayInput(window, message, wParam, lParam);
    return DefWindowProcW(window, message, wParam, lParam);
}

void RegisterProbe()
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = ProbeProc;
    wc.lpszClassName = kProbeClass;
    lwuser::RegisterSystemClass(wc, lwuser::Placement::Normal, MakeProbe);
}

// The subclass the program puts on its tree: it wants every key.
WNDPROC probePrevious;

LRESULT CALLBACK WantsAllKeys(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_GETDLGCODE)
        return DLGC_WANTALLKEYS;
    return CallWindowProcW(probePrevious, window, message, wParam, lParam);
}

std::vector<UINT> dialogCommands;

BOOL CALLBACK ProbeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        HWND control = GetDlgItem(dialog, 50);
        probePrevious = reinterpret_cast<WNDPROC>(
            SetWindowLongW(control, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(WantsAllKeys)));
        return TRUE;
    }
    if (message == WM_ACTIVATE && LOWORD(wParam) != WA_INACTIVE) {
        SetFocus(GetDlgItem(dialog, 50)); // as the contents window gives its tree the focus
        return TRUE;
    }
    if (message == WM_COMMAND)
        dialogCommands.push_back(LOWORD(wParam));
    return FALSE;
}

class ControlInput : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        RegisterProbe();
        qtInput.clear();
        dialogCommands.clear();
    }
};

} // namespace

TEST_F(ControlInput, WidgetDrawnControlInADialogTakesKeysAndTapsThroughTheQueueAndItsSubclass)
{
    std::vector<BYTE> bytes = DialogBytes(u"Probe", WS_POPUP | WS_VISIBLE, 150, 100,
                                          {{WS_CHILD | WS_VISIBLE, 10, 10, 60, 30, 50, 0, u"", 0, kProbeClass}});
    HWND control = nullptr;
    ModalCloser act([] { return ModalCloser::ActiveClassIs(u"#32770"); },
                    [&] {
                        control = GetDlgItem(GetActiveWindow(), 50);
                        LwDevicePressKey(VK_RETURN);
                        LwDevicePressKey(VK_BACK);
                        RECT r;
                        GetWindowRect(control, &r);
                        LwDeviceTap(r.left + 20, r.top + 10);
                    });
    ModalCloser end([&] { return control && recorder.Count(control, WM_LBUTTONUP) > 0; },
                    [] { EndDialog(GetActiveWindow(), 7); });
    recorder.WatchClass(kProbeClass);
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, AsTemplate(bytes), nullptr, ProbeDialogProc, 0), 7);

    // The whole sequence of input, through the dialog manager to the subclass;
    // the tap on the inner part in the control's client coordinates.
    const unsigned key = kPosted | kWParam;
    const Msg asks{WM_GETDLGCODE, kSent};
    EXPECT_TRUE(Matches(recorder.Take(control),
                        {{WM_NCCREATE}, {WM_CREATE}, {WM_SIZE}, {WM_MOVE}, {WM_SHOWWINDOW}, {WM_SETFONT}, {WM_SETFOCUS},
                         asks, {WM_KEYDOWN, key, VK_RETURN}, asks, {WM_CHAR, key, u'\r'}, {WM_KEYUP, key, VK_RETURN},
                         asks, {WM_KEYDOWN, key, VK_BACK}, asks, {WM_CHAR, key, u'\b'}, {WM_KEYUP, key, VK_BACK},
                         {WM_LBUTTONDOWN, key | kLParam, MK_LBUTTON, MAKELPARAM(20, 10)},
                         {WM_LBUTTONUP, key | kLParam, 0, MAKELPARAM(20, 10)},
                         {WM_KILLFOCUS}, {WM_DESTROY}, {WM_NCDESTROY}}));
    // Enter was the control's, not the dialog's default button.
    EXPECT_TRUE(dialogCommands.empty());
    // Qt gave the widgets nothing; the one press is the procedure's replay, on
    // the part under the point (which Qt hands up to its parent, unanswered).
    ASSERT_FALSE(qtInput.empty());
    EXPECT_EQ(qtInput[0].first, inner);
    for (const auto& [widget, type] : qtInput)
        EXPECT_EQ(type, QEvent::MouseButtonPress);
}

TEST_F(ControlInput, ReplayHandsKeysToTheWidgetAndRefusesWindowsWithout)
{
    HWND parent = MakeWindow(WS_VISIBLE);
    HWND control = CreateWindowExW(0, kProbeClass, u"", WS_CHILD | WS_VISIBLE, 0, 0, 80, 40, parent, nullptr,
                                   nullptr, nullptr);
    ASSERT_TRUE(control);
    SetFocus(control);
    EXPECT_NE(QApplication::focusWidget(), inner); // Qt's focus never moves to a control's widget
    EXPECT_TRUE(lwuser::ReplayInput(control, WM_KEYDOWN, VK_DOWN, 1));
    ASSERT_EQ(qtInput.size(), 1u);
    EXPECT_EQ(qtInput[0].second, QEvent::KeyPress);
    EXPECT_FALSE(lwuser::ReplayInput(control, WM_KEYDOWN, 0xE5, 1)); // no Qt key for it
    EXPECT_FALSE(lwuser::ReplayInput(control, WM_SETTEXT, 0, 0));
    EXPECT_FALSE(lwuser::ReplayInput(parent, WM_KEYDOWN, VK_DOWN, 1)); // painted, not widget-drawn
}

TEST_F(ControlInput, LibraryClassesAreFoundTakenBackAndNotifyTheirParent)
{
    HWND parent = MakeWindow();
    HWND control = CreateWindowExW(0, u"lwprobecontrol", u"", WS_CHILD, 0, 0, 10, 10, parent,
                                   reinterpret_cast<HMENU>(77), nullptr, nullptr);
    ASSERT_TRUE(control);

    // The parent learns of the control through WM_NOTIFY with a filled header.
    struct {
        NMHDR header;
        int payload;
    } record{{nullptr, 0, 0}, 5};
    recorder.Clear();
    recorder.WatchParent(parent);
    lwuser::NotifyParent(control, 0xFFFFFF00u, &record.header);
    EXPECT_TRUE(Matches(recorder.Take(), {{WM_NOTIFY, kParent | kSent | kWParam, 77, 0, 0xFFFFFF00u}}));
    EXPECT_EQ(record.header.hwndFrom, control);
    EXPECT_EQ(record.header.idFrom, 77u);
    EXPECT_EQ(record.header.code, 0xFFFFFF00u);

    // Only its library takes the class back, and not while a window has it.
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(UnregisterClassW(kProbeClass, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_DOES_NOT_EXIST));
    EXPECT_FALSE(lwuser::UnregisterSystemClass(kProbeClass));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));
    EXPECT_FALSE(lwuser::UnregisterSystemClass(u"LwRecorder")); // a program's class
    DestroyWindow(control);
    EXPECT_TRUE(lwuser::UnregisterSystemClass(kProbeClass));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateWindowExW(0, kProbeClass, u"", WS_CHILD, 0, 0, 1, 1, parent, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
}
