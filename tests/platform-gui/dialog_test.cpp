// Modal dialogs from templates in memory: the nested loop, WM_INITDIALOG,
// EndDialog's code, controls from the template and the dialog manager's keys.
#include "fixture.h"
#include "templates.h"

using namespace lwtest;

namespace {

struct DialogRun {
    LPARAM initParam = 0;
    HWND dialog = nullptr;
    HBRUSH staticBrush = nullptr;  // answered to WM_CTLCOLORSTATIC when set
    std::vector<HWND> colorAsked;  // the statics that asked
    bool endOnCommand = true;      // WM_COMMAND ends with its low word
    INT_PTR endOnInit = -2;        // EndDialog during WM_INITDIALOG when not -2
    int focusOnInit = 0;           // the control WM_INITDIALOG gives the focus to, answering FALSE
};

DialogRun* run;

BOOL CALLBACK RecordingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        run->dialog = dialog;
        run->initParam = lParam;
        if (run->endOnInit != -2)
            EndDialog(dialog, run->endOnInit);
        if (run->focusOnInit) {
            SetFocus(GetDlgItem(dialog, run->focusOnInit));
            return FALSE;
        }
        return TRUE;
    case WM_COMMAND:
        if (run->endOnCommand) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    case WM_CTLCOLORSTATIC:
        run->colorAsked.push_back(reinterpret_cast<HWND>(lParam));
        if (run->staticBrush) {
            SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
            return static_cast<BOOL>(reinterpret_cast<INT_PTR>(run->staticBrush));
        }
        return FALSE;
    default:
        return FALSE;
    }
}

class Dialogs : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        run = &state;
        recorder.WatchClass(u"#32770");
    }
    DialogRun state;
};

} // namespace

TEST_F(Dialogs, MissingOrDamagedTemplateFailsWithMinusOne)
{
    SetLastError(0xdeadbeef);
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, nullptr, nullptr, RecordingDialogProc, 0), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    // A template whose item count promises more than it holds.
    std::vector<BYTE> bytes = DialogBytes(u"", WS_POPUP, 10, 10);
    bytes[8] = 40;
    HMODULE module = LoadResourceImage(ResImage().Add(5, 1, bytes).image.data.data(),
                                       ResImage().Add(5, 1, bytes).image.data.size());
    ASSERT_TRUE(module);
    HGLOBAL loaded = LoadResource(module, FindResourceW(module, MAKEINTRESOURCEW(1), RT_DIALOG));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(DialogBoxIndirectParamW(module, static_cast<LPCDLGTEMPLATEW>(LockResource(loaded)), nullptr,
                                      RecordingDialogProc, 0),
              -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
    EXPECT_TRUE(Matches(recorder.Take(), {})); // no dialog was made
    FreeResourceImage(module);
}

TEST_F(Dialogs, ModalLoopEndsWithTheEndDialogCode)
{
    HWND owner = MakeWindow(WS_VISIBLE);
    std::vector<BYTE> bytes = DialogBytes(u"Modal", WS_POPUP, 100, 80);
    auto closer = std::make_unique<ModalCloser>(
        [] { return run->dialog && GetActiveWindow() == run->dialog; },
        [owner] {
            // While it runs, the owner is disabled and the dialog is the active layer.
            EXPECT_FALSE(IsWindowEnabled(owner));
            PostMessageW(run->dialog, WM_COMMAND, MAKEWPARAM(42, 0), 0);
        });
    INT_PTR result = DialogBoxIndirectParamW(nullptr, AsTemplate(bytes), owner, RecordingDialogProc, 0x1234);
    closer.reset();
    EXPECT_EQ(result, 42);
    EXPECT_EQ(state.initParam, 0x1234);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_FALSE(IsWindow(state.dialog));
    EXPECT_EQ(GetActiveWindow(), owner);
    // The dialog met WM_INITDIALOG before it was shown, activated or commanded.
    EXPECT_TRUE(Matches(recorder.Take(state.dialog), {{WM_NCCREATE},
                                                      {WM_CREATE},
                                                      {WM_SIZE},
                                                      {WM_MOVE},
                                                      {WM_SETFONT},
                                                      {WM_INITDIALOG, kSent | kLParam, 0, 0x1234},
                                                      {WM_SHOWWINDOW, kSent | kWParam, TRUE},
                                                      {WM_ACTIVATE, kSent | kWParam, WA_ACTIVE},
                                                      {WM_SETFOCUS},
                                                      {WM_COMMAND, kPosted | kWParam, 42},
                                                      {WM_SHOWWINDOW, kSent | kWParam, FALSE},
                                                      {WM_ACTIVATE, kSent | kWParam, WA_INACTIVE},
                                                      {WM_KILLFOCUS},
                                                      {WM_DESTROY},
                                                      {WM_NCDESTROY}}));
}

// TRUE from WM_INITDIALOG gives the focus to the first tab stop; FALSE leaves
// it where the procedure put it.
TEST_F(Dialogs, InitDialogsAnswerDecidesTheFocus)
{
    std::vector<Item> items = {{WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, 40, 10, 10, 0x82, u"first"},
                               {WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 20, 40, 10, 11, 0x82, u"second"}};
    std::vector<BYTE> bytes = DialogBytes(u"Focus", WS_POPUP, 100, 80, items);
    for (int chosen : {0, 11}) {
        state = {};
        state.focusOnInit = chosen;
        int focusedId = -1;
        {
            ModalCloser closer([] { return run->dialog && GetActiveWindow() == run->dialog; },
                               [&] {
                                   focusedId = GetDlgCtrlID(GetFocus());
                                   PostMessageW(run->dialog, WM_COMMAND, MAKEWPARAM(1, 0), 0);
                               });
            DialogBoxIndirectParamW(nullptr, AsTemplate(bytes), nullptr, RecordingDialogProc, 0);
        }
        EXPECT_EQ(focusedId, chosen ? chosen : 10);
    }
}

TEST_F(Dialogs, NestedLoopsEachEndWithTheirOwnCode)
{
    std::vector<BYTE> bytes = DialogBytes(u"Outer", WS_POPUP, 100, 80);
    INT_PTR inner = 0;
    HWND outerDialog = nullptr;
    ModalCloser openInner(
        [&] { return (outerDialog = GetActiveWindow()) && ModalCloser::ActiveClassIs(u"#32770"); },
        [&] {
            DialogRun innerRun;
            DialogRun* saved = run;
            run = &innerRun;
            auto closeInner = ModalCloser::EndActiveDialog(7);
            inner = DialogBoxIndirectParamW(nullptr, AsTemplate(bytes), outerDialog, RecordingDialogProc, 0);
            closeInner.reset();
            run = saved;
            // Back in the outer loop: the outer dialog is active again.
            EXPECT_EQ(GetActiveWindow(), outerDialog);
            EndDialog(outerDialog, 9);
        });
    INT_PTR outer = DialogBoxIndirectParamW(nullptr, AsTemplate(bytes), nullptr, RecordingDialogProc, 0);
    EXPECT_EQ(inner, 7);
    EXPECT_EQ(outer, 9);
}

TEST_F(Dialogs, EndDialogDuringInitShowsNothing)
{
    state.endOnInit = 5;
    std::vector<BYTE> bytes = DialogBytes(u"Quick", WS_POPUP, 100, 80);
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, AsTemplate(bytes), nullptr, RecordingDialogProc, 0), 5);
    // Made and ended before it was shown or activated.
    EXPECT_TRUE(Matches(recorder.Take(), {{WM_NCCREATE}, {WM_CREATE}, {WM_SIZE}, {WM_MOVE}, {WM_SETFONT},
                                          {WM_INITDIALOG}, {WM_DESTROY}, {WM_NCDESTROY}}));
}

TEST_F(Dialogs, DestroyingTheDialogEndsItsLoop)
{
    std::vector<BYTE> bytes = DialogBytes(u"Doomed", WS_POPUP, 100, 80);
    ModalCloser closer([] { return ModalCloser::ActiveClassIs(u"#32770"); },
                       [] { DestroyWindow(GetActiveWindow()); });
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, AsTemplate(bytes), nullptr, RecordingDialogProc, 0), 0);
}

TEST_F(Dialogs, QuitMessageEndsTheLoopAndReachesTheOuterLoop)
{
    std::vector<BYTE> bytes = DialogBytes(u"Quit", WS_POPUP, 100, 80);
    ModalCloser closer([] { return ModalCloser::ActiveClassIs(u"#32770"); }, [] { PostQuitMessage(3); });
    DialogBoxIndirectParamW(nullptr, AsTemplate(bytes), nullptr, RecordingDialogProc, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
}

TEST_F(Dialogs, EscapeBecomesCancelAndCloseBecomesCancel)
{
    std::vector<BYTE> bytes = DialogBytes(u"Keys", WS_POPUP, 100, 80);
    ModalCloser escape([] { return ModalCloser::ActiveClassIs(u"#32770"); },
                       [] { LwDevicePressKey(VK_RETURN); });
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, AsTemplate(bytes), nullptr, RecordingDialogProc, 0), IDOK);

    DialogRun second;
    run = &second;
    // Without a soft-key bar the Back key is Escape, which the dialog manager makes Cancel.
    ModalCloser back([] { return ModalCloser::ActiveClassIs(u"#32770"); },
                     [] { LwDevicePressKey(VK_ESCAPE); });
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, AsTemplate(bytes), nullptr, RecordingDialogProc, 0), IDCANCEL);

    DialogRun third;
    run = &third;
    ModalCloser close([] { return ModalCloser::ActiveClassIs(u"#32770"); },
                      [] { PostMessageW(GetActiveWindow(), WM_CLOSE, 0, 0); });
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, AsTemplate(bytes), nullptr, RecordingDialogProc, 0), IDCANCEL);
}

TEST_F(Dialogs, StaticControlsComeFromTheTemplateInPixels)
{
    std::vector<Item> items = {
        {WS_CHILD | WS_VISIBLE | WS_GROUP | SS_CENTER, 7, 65, 96, 10, 100, 0x82, u"centred"},
        {WS_CHILD | WS_VISIBLE | WS_GROUP | SS_CENTERIMAGE, 37, 28, 63, 9, 101, 0x82, u"Name v1"},
    };
    std::vector<BYTE> bytes = DialogBytes(u"Statics", WS_POPUP, 110, 114, items);
    state.endOnCommand = false;
    HWND centred = nullptr, named = nullptr;
    RECT dialogRect{}, centredRect{};
    ModalCloser closer([] { return ModalCloser::ActiveClassIs(u"#32770"); },
                       [&] {
                           HWND dialog = GetActiveWindow();
                           centred = GetDlgItem(dialog, 100);
                           named = GetDlgItem(dialog, 101);
                           GetClientRect(dialog, &dialogRect);
                           GetWindowRect(centred, &centredRect);
                           EndDialog(dialog, 1);
                       });
    DialogBoxIndirectParamW(nullptr, AsTemplate(bytes), nullptr, RecordingDialogProc, 0);
    ASSERT_TRUE(centred);
    ASSERT_TRUE(named);
    // Dialog units: 6/4 pixel across, 12/8 pixel down.
    EXPECT_EQ(dialogRect.right, 165);
    EXPECT_EQ(dialogRect.bottom, 171);
    EXPECT_EQ(centredRect.left, 11);
    EXPECT_EQ(centredRect.top, 26 + 98);
    EXPECT_EQ(centredRect.right - centredRect.left, 144);
    EXPECT_EQ(centredRect.bottom - centredRect.top, 15);
}

TEST_F(Dialogs, StaticsAskTheDialogForTheirColours)
{
    std::vector<Item> items = {{WS_CHILD | WS_VISIBLE | SS_LEFT, 0, 0, 60, 20, 100, 0x82, u"label"}};
    std::vector<BYTE> bytes = DialogBytes(u"Colours", WS_POPUP, 110, 114, items);
    state.endOnCommand = false;
    state.staticBrush = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
    COLORREF shown = CLR_INVALID;
    HWND label = nullptr;
    ModalCloser closer(
        [&] {
            HWND dialog = GetActiveWindow();
            label = ModalCloser::ActiveClassIs(u"#32770") ? GetDlgItem(dialog, 100) : nullptr;
            return label && !state.colorAsked.empty();
        },
        [&] {
            // The label's corner shows the brush the dialog answered, on screen.
            RECT r;
            GetWindowRect(label, &r);
            PumpUntil([&] { return (shown = LwDevicePixel(r.right - 2, r.bottom - 2)) == RGB(192, 192, 192); }, 1000);
            EndDialog(GetActiveWindow(), 1);
        });
    DialogBoxIndirectParamW(nullptr, AsTemplate(bytes), nullptr, RecordingDialogProc, 0);
    ASSERT_FALSE(state.colorAsked.empty());
    EXPECT_EQ(state.colorAsked.front(), label);
    EXPECT_EQ(shown, RGB(192, 192, 192));
}

TEST_F(Dialogs, IconStaticLoadsItsIconAndTakesItsSize)
{
    // A 2 x 2 icon image (32-bit DIB of twice the height, with its AND mask) in a group.
    Bytes image;
    image.D(40).D(2).D(4).W(1).W(32).D(0).D(0).D(0).D(0).D(0).D(0);
    for (int i = 0; i < 4; ++i)
        image.D(0xFF00FF00);
    image.D(0).D(0);
    Bytes group;
    group.W(0).W(1).W(1);
    group.B(2).B(2).B(0).B(0).W(1).W(32).D(static_cast<unsigned>(image.data.size())).W(1);
    ResImage res;
    res.Add(3, 1, image.data).Add(14, 105, group.data);
    HMODULE module = LoadResourceImage(res.image.data.data(), res.image.data.size());
    ASSERT_TRUE(module);

    std::vector<Item> items = {{WS_CHILD | WS_VISIBLE | SS_ICON, 14, 23, 20, 20, 102, 0x82, u"", 105}};
    std::vector<BYTE> bytes = DialogBytes(u"Icon", WS_POPUP, 110, 114, items);
    state.endOnCommand = false;
    HICON icon = nullptr;
    RECT rect{};
    ModalCloser closer([] { return ModalCloser::ActiveClassIs(u"#32770"); },
                       [&] {
                           HWND control = GetDlgItem(GetActiveWindow(), 102);
                           icon = reinterpret_cast<HICON>(SendMessageW(control, STM_GETICON, 0, 0));
                           GetClientRect(control, &rect);
                           EndDialog(GetActiveWindow(), 1);
                       });
    DialogBoxIndirectParamW(module, AsTemplate(bytes), nullptr, RecordingDialogProc, 0);
    EXPECT_TRUE(icon);
    EXPECT_EQ(icon, LoadIconW(module, MAKEINTRESOURCEW(105))); // the shared handle
    EXPECT_EQ(rect.right, 32);
    EXPECT_EQ(rect.bottom, 32);
    FreeResourceImage(module);
}
