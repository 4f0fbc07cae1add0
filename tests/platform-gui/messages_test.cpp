// The message queue and loop, painting, keys, message boxes and cursors.
#include "fixture.h"

#include <QApplication>
#include <QCursor>

#include <cstdio>
#include <fstream>
#include <sstream>

using namespace lwtest;

using Messages = WindowTest;

TEST_F(Messages, PostedMessagesComeInOrderAndQuitComesLast)
{
    HWND window = MakeWindow();
    PostMessageW(window, WM_USER + 1, 1, 0);
    PostQuitMessage(7);
    PostMessageW(window, WM_USER + 2, 2, 0);
    MSG msg;
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 1));
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 2));
    EXPECT_FALSE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 7u);

    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetMessageW(nullptr, nullptr, 0, 0), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(Messages, PeekCanLeaveTheMessageAndFilterByRange)
{
    HWND window = MakeWindow();
    recorder.Clear();
    PostMessageW(window, WM_USER + 5, 0, 0);
    PostMessageW(window, WM_USER + 9, 0, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_USER + 9, WM_USER + 9, PM_NOREMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 9));
    ASSERT_TRUE(PeekMessageW(&msg, window, WM_USER + 9, WM_USER + 9, PM_REMOVE));
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 5));
    EXPECT_EQ(DispatchMessageW(&msg), 0);
    EXPECT_TRUE(Matches(recorder.Take(), {{WM_USER + 5, kPosted}}));
}

TEST_F(Messages, MessagesForADeadWindowAreDropped)
{
    HWND window = MakeWindow();
    PostMessageW(window, WM_USER, 0, 0);
    DestroyWindow(window);
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_REMOVE));
}

TEST_F(Messages, PaintComesWhenNothingElseIsQueuedAndErasesWithTheClassBrush)
{
    HWND window = MakeWindow(WS_VISIBLE);
    PostMessageW(window, WM_USER, 0, 0);
    MSG msg;
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER)); // posted first, paint after
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_PAINT));
    EXPECT_EQ(msg.hwnd, window);
    recorder.Keep(WM_PAINT);
    recorder.Keep(WM_ERASEBKGND);
    recorder.Clear();
    DispatchMessageW(&msg);
    // DefWindowProcW painted: WM_ERASEBKGND went out inside BeginPaint.
    EXPECT_TRUE(Matches(recorder.Take(), {{WM_PAINT, kPosted}, {WM_ERASEBKGND, kSent}}));
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_NOREMOVE));

    // Hidden windows are not painted; UpdateWindow sends at once.
    HWND hidden = MakeWindow();
    InvalidateRect(hidden, nullptr, TRUE);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_NOREMOVE));
    recorder.Clear();
    RECT part{0, 0, 10, 10};
    InvalidateRect(window, &part, FALSE);
    UpdateWindow(window);
    EXPECT_TRUE(Matches(recorder.Take(), {{WM_PAINT, kSent}}));
}

namespace {

LRESULT CALLBACK NeverPaintsProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return message == WM_PAINT ? 0 : DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

TEST_F(Messages, ProcedureThatNeverBeginsPaintingIsNotPaintedForever)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = NeverPaintsProc;
    wc.lpszClassName = u"LwNeverPaints";
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(0, u"LwNeverPaints", u"", WS_VISIBLE, 0, 26, 50, 50, nullptr, nullptr, nullptr, nullptr);
    Track(window);
    recorder.Watch(window);
    recorder.Keep(WM_PAINT);
    Drain();
    EXPECT_TRUE(Matches(recorder.Take(), {{WM_PAINT, kPosted}}));
}

TEST_F(Messages, TypedKeysReachTheFocusWithTheirCharacters)
{
    HWND window = MakeWindow(WS_VISIBLE);
    SetFocus(window);
    Drain();
    recorder.Clear();
    LwDevicePressKey('A');
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count(window, WM_KEYUP) > 0; }));
    EXPECT_TRUE(Matches(recorder.Take(), {{WM_KEYDOWN, kPosted | kWParam, 'A'},
                                          {WM_CHAR, kPosted | kWParam, u'a'},
                                          {WM_KEYUP, kPosted | kWParam, 'A'}}));
}

TEST_F(Messages, TapsBecomeButtonMessagesInClientCoordinates)
{
    HWND window = MakeWindow(WS_VISIBLE);
    HWND child = MakeChild(window, 3, 20, 40, 60, 30);
    Drain();
    recorder.Clear();
    ASSERT_TRUE(LwDeviceTap(25, 26 + 45));
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count(child, WM_LBUTTONUP) > 0; }));
    // The child's, in its own coordinates; the window under it hears nothing.
    EXPECT_TRUE(Matches(recorder.Take(), {Msg{WM_LBUTTONDOWN, kPosted | kWParam | kLParam, MK_LBUTTON, MAKELPARAM(5, 5)}.At(child),
                                          Msg{WM_LBUTTONUP, kPosted | kLParam, 0, MAKELPARAM(5, 5)}.At(child)}));
}

TEST_F(Messages, TimersPostWmTimerUntilKilled)
{
    HWND window = MakeWindow();
    recorder.Clear();
    EXPECT_EQ(SetTimer(window, 9, 10, nullptr), 9u);
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count(window, WM_TIMER) >= 2; }));
    EXPECT_TRUE(Matches(recorder.Take(), {{WM_TIMER, kPosted | kWParam, 9}, {WM_TIMER, kPosted | kWParam, 9}}));
    EXPECT_TRUE(KillTimer(window, 9));
    EXPECT_FALSE(KillTimer(window, 9));
}

TEST_F(Messages, MessageBoxLogHookAnswersAtOnce)
{
    std::string path = ::testing::TempDir() + "/lw-messagebox.log";
    std::remove(path.c_str());
    setenv("LEAFWISE_MESSAGEBOX_LOG", path.c_str(), 1);
    EXPECT_EQ(MessageBoxW(nullptr, u"Done\twell", u"Leafwise", MB_OK | MB_ICONINFORMATION), IDOK);
    EXPECT_EQ(MessageBoxW(nullptr, u"Sure?", u"Ask", MB_YESNO | MB_DEFBUTTON2), IDNO);
    unsetenv("LEAFWISE_MESSAGEBOX_LOG");
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_EQ(text.str(), "Leafwise\tDone\\twell\t0x40\t0x0\nAsk\tSure?\t0x104\t0x0\n");
}

TEST_F(Messages, MessageBoxRunsModallyAndAnswersWithTheButtonChosen)
{
    HWND owner = MakeWindow(WS_VISIBLE, nullptr, u"Owner");
    bool ownerDisabled = false;
    std::u16string title;
    ModalCloser answer([] { return ModalCloser::ActiveClassIs(u"MessageBox"); },
                       [&] {
                           ownerDisabled = !IsWindowEnabled(owner);
                           title = LwDeviceTitle();
                           PostMessageW(GetActiveWindow(), WM_COMMAND, IDNO, 0);
                       });
    EXPECT_EQ(MessageBoxW(owner, u"Keep it?", u"Question", MB_YESNO), IDNO);
    EXPECT_TRUE(ownerDisabled);
    EXPECT_EQ(title, u"Question");
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_EQ(GetActiveWindow(), owner);

    // The Back key is Cancel where there is one, and OK on a lone OK.
    ModalCloser back([] { return ModalCloser::ActiveClassIs(u"MessageBox"); }, [] { LwDevicePressKey(VK_ESCAPE); });
    EXPECT_EQ(MessageBoxW(owner, u"Go on?", u"Question", MB_OKCANCEL), IDCANCEL);
    ModalCloser backOk([] { return ModalCloser::ActiveClassIs(u"MessageBox"); }, [] { LwDevicePressKey(VK_ESCAPE); });
    EXPECT_EQ(MessageBoxW(owner, u"Noted.", u"Info", MB_OK), IDOK);
}

TEST_F(Messages, MessageBoxRefusesUnknownTypesAndOwners)
{
    SetLastError(0xdeadbeef);
    EXPECT_EQ(MessageBoxW(nullptr, u"x", u"y", 0x0F), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(MessageBoxW(reinterpret_cast<HWND>(static_cast<uintptr_t>(0x7ff0)), u"x", u"y", MB_OK), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(Messages, WaitCursorIsTheBusyCursorAndOthersThePointer)
{
    HCURSOR wait = LoadCursorW(nullptr, IDC_WAIT);
    HCURSOR no = LoadCursorW(nullptr, IDC_NO);
    ASSERT_TRUE(wait && no);
    EXPECT_EQ(LoadCursorW(nullptr, IDC_WAIT), wait);
    SetCursor(wait);
    ASSERT_TRUE(QApplication::overrideCursor());
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
    EXPECT_EQ(SetCursor(no), wait);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    SetCursor(wait);
    SetCursor(wait); // twice is still one busy cursor
    SetCursor(nullptr);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    SetLastError(0xdeadbeef);
    EXPECT_EQ(LoadCursorW(nullptr, MAKEINTRESOURCEW(1)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(SetCursor(reinterpret_cast<HCURSOR>(static_cast<uintptr_t>(0x3000))), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_CURSOR_HANDLE));
}

// The recorder's compare: the whole sequence, optional entries and known gaps
// left out, every extra or missing message a failure.
TEST(Sequences, CompareWholeWithOptionalEntriesAndKnownGaps)
{
    const Msg down{WM_KEYDOWN, kPosted | kWParam, VK_DOWN};
    const Msg up{WM_KEYUP, kPosted};
    const Msg maybe{WM_CHAR, kOptional};
    const Msg gap = Msg{WM_CHAR}.Gap("not typed yet");
    const Msg other{WM_KEYDOWN, kPosted, VK_UP};
    struct Case {
        std::vector<Msg> actual, expected;
        bool matches;
    };
    const Case cases[] = {
        {{down, up}, {down, up}, true},
        {{down, up}, {down, maybe, up}, true},
        {{down, {WM_CHAR, kPosted}, up}, {down, maybe, up}, true},
        {{down, up}, {down, gap, up}, true},
        {{down, {WM_CHAR, kPosted}, up}, {down, gap, up}, false}, // the gap is filled
        {{down, up, up}, {down, up}, false},                      // an extra one
        {{down}, {down, up}, false},                              // a missing one
        {{other, up}, {down, up}, false},                         // wParam matters
        {{Msg{WM_KEYDOWN, kSent, VK_DOWN}, up}, {down, up}, false}, // sent, not posted
        {{Msg{WM_KEYUP, kPosted | kParent}}, {up}, false},        // to the parent
    };
    for (size_t k = 0; k < std::size(cases); ++k)
        EXPECT_EQ(static_cast<bool>(Matches(cases[k].actual, cases[k].expected)), cases[k].matches) << k;
}
