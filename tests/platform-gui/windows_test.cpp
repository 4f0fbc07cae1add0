// Window classes, creation and destruction, window data, text and geometry.
#include "fixture.h"

using namespace lwtest;

using Windows = WindowTest;

TEST_F(Windows, ClassRegistrationReportsItsFailures)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = TestWindowProc;
    wc.lpszClassName = u"LwClassOnce";
    ATOM atom = RegisterClassW(&wc);
    EXPECT_NE(atom, 0);

    SetLastError(0xdeadbeef);
    wc.lpszClassName = u"LWCLASSONCE"; // names compare without regard to case
    EXPECT_EQ(RegisterClassW(&wc), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));

    SetLastError(0xdeadbeef);
    wc.lpfnWndProc = nullptr;
    wc.lpszClassName = u"LwNoProcedure";
    EXPECT_EQ(RegisterClassW(&wc), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    SetLastError(0xdeadbeef);
    EXPECT_EQ(RegisterClassW(nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    EXPECT_TRUE(UnregisterClassW(u"LwClassOnce", nullptr));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(UnregisterClassW(u"LwClassOnce", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_DOES_NOT_EXIST));
}

TEST_F(Windows, CreationSendsCreateSizeMoveWithTheCreationRecord)
{
    int marker = 0;
    HWND window = CreateWindowExW(0, u"LwRecorder", u"Title", WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, &marker);
    ASSERT_TRUE(window);
    Track(window);
    // Hidden: no WM_SHOWWINDOW, no activation.
    EXPECT_TRUE(Matches(recorder.Take(), {{WM_NCCREATE, kSent},
                                          {WM_CREATE, kSent},
                                          {WM_SIZE, kSent | kWParam | kLParam, SIZE_RESTORED, MAKELPARAM(240, 268)},
                                          {WM_MOVE, kSent | kLParam, 0, MAKELPARAM(0, 26)}}));

    // A default top-level window covers the work area below the title strip.
    RECT client;
    ASSERT_TRUE(GetClientRect(window, &client));
    EXPECT_EQ(client.right, 240);
    EXPECT_EQ(client.bottom, 268);
    RECT screen;
    ASSERT_TRUE(GetWindowRect(window, &screen));
    EXPECT_EQ(screen.top, 26);
    EXPECT_FALSE(IsWindowVisible(window));
}

namespace {

LPVOID createParams;
LRESULT CALLBACK CaptureCreateProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CREATE)
        createParams = reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams;
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

TEST_F(Windows, CreateParamsReachWmCreate)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = CaptureCreateProc;
    wc.lpszClassName = u"LwCaptureCreate";
    RegisterClassW(&wc);
    int marker = 0;
    HWND window = CreateWindowExW(0, u"LwCaptureCreate", u"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, &marker);
    Track(window);
    EXPECT_EQ(createParams, &marker);
}

TEST_F(Windows, RefusedCreationDestroysTheWindowAndReturnsNull)
{
    CreateAnswer() = -1;
    HWND window = MakeWindow();
    EXPECT_EQ(window, nullptr);
    // WM_DESTROY reached the half-made window.
    std::vector<Msg> seen = recorder.Take();
    EXPECT_TRUE(Matches(seen, {{WM_NCCREATE}, {WM_CREATE}, {WM_DESTROY}, {WM_NCDESTROY}}));
    ASSERT_FALSE(seen.empty());
    EXPECT_FALSE(IsWindow(seen.front().window));
}

namespace {

LRESULT CALLBACK RefusesNcCreate(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return message == WM_NCCREATE ? FALSE : DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

// A control that cannot attach its state refuses WM_NCCREATE: no WM_CREATE, and
// WM_NCDESTROY lets it free what it made; the class keeps no window.
TEST_F(Windows, RefusedNcCreateEndsTheCreationWithNcDestroy)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = RefusesNcCreate;
    wc.lpszClassName = u"LwRefusesNcCreate";
    ASSERT_TRUE(RegisterClassW(&wc));
    HWND parent = MakeWindow();
    recorder.Clear();
    recorder.WatchClass(u"LwRefusesNcCreate");
    recorder.WatchParent(parent);
    EXPECT_EQ(CreateWindowExW(0, u"LwRefusesNcCreate", u"x", WS_CHILD, 0, 0, 5, 5, parent, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_TRUE(Matches(recorder.Take(), {{WM_NCCREATE}, {WM_NCDESTROY}}));
    EXPECT_EQ(GetWindow(parent, GW_CHILD), nullptr);
    EXPECT_TRUE(UnregisterClassW(u"LwRefusesNcCreate", nullptr));
}

TEST_F(Windows, CreationFailuresSetTheLastError)
{
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateWindowExW(0, u"NoSuchClass", u"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));

    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateWindowExW(0, u"LwRecorder", u"", WS_CHILD, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TLW_WITH_WSCHILD));

    SetLastError(0xdeadbeef);
    HWND bogus = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x7ff0));
    EXPECT_EQ(CreateWindowExW(0, u"LwRecorder", u"", WS_CHILD, 0, 0, 1, 1, bogus, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(Windows, DestructionOrderIsOwnedThenSelfThenChildren)
{
    HWND owner = MakeWindow();
    HWND owned = MakeWindow(0, owner);
    HWND child = MakeChild(owner, 7);
    ASSERT_TRUE(owner && owned && child);
    recorder.Clear();
    EXPECT_TRUE(DestroyWindow(owner));
    // WM_NCDESTROY is each window's last message, a child's before its parent's.
    auto to = [](HWND window, UINT message) { return Msg{message, kSent}.At(window); };
    EXPECT_TRUE(Matches(recorder.Take(), {to(owned, WM_DESTROY),
                                          to(owned, WM_NCDESTROY),
                                          to(owner, WM_DESTROY),
                                          to(child, WM_DESTROY),
                                          to(child, WM_NCDESTROY),
                                          to(owner, WM_NCDESTROY)}));
    EXPECT_FALSE(IsWindow(owner));
    EXPECT_FALSE(IsWindow(owned));
    EXPECT_FALSE(IsWindow(child));
}

TEST_F(Windows, StaleHandlesFailCleanly)
{
    HWND window = MakeWindow();
    ASSERT_TRUE(DestroyWindow(window));
    RECT rect;
    WCHAR text[8];
    struct Check {
        const char* call;
        bool failed;
    };
    auto expectError = [](const char* call) {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE)) << call;
    };
    SetLastError(0xdeadbeef);
    EXPECT_EQ(SendMessageW(window, WM_USER, 0, 0), 0);
    expectError("SendMessageW");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(PostMessageW(window, WM_USER, 0, 0));
    expectError("PostMessageW");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DestroyWindow(window));
    expectError("DestroyWindow");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetWindowTextW(window, u"x"));
    expectError("SetWindowTextW");
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetWindowTextW(window, text, 8), 0);
    expectError("GetWindowTextW");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetClientRect(window, &rect));
    expectError("GetClientRect");
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetWindowLongW(window, GWL_USERDATA), 0);
    expectError("GetWindowLongW");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ShowWindow(window, SW_SHOW));
    expectError("ShowWindow");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(MoveWindow(window, 0, 0, 5, 5, TRUE));
    expectError("MoveWindow");
    SetLastError(0xdeadbeef);
    EXPECT_EQ(SetFocus(window), nullptr);
    expectError("SetFocus");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InvalidateRect(window, nullptr, TRUE));
    expectError("InvalidateRect");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(EndDialog(window, 1));
    expectError("EndDialog");
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetDlgItem(window, 1), nullptr);
    expectError("GetDlgItem");
    // A number never handed out, and an odd one, are refused alike.
    EXPECT_FALSE(IsWindow(reinterpret_cast<HWND>(static_cast<uintptr_t>(0x12345678))));
    EXPECT_FALSE(IsWindow(reinterpret_cast<HWND>(reinterpret_cast<uintptr_t>(window) | 1)));
    EXPECT_FALSE(IsWindow(nullptr));
}

TEST_F(Windows, UserDataHoldsAPointer)
{
    HWND window = MakeWindow();
    static int object;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(SetWindowLongW(window, GWL_USERDATA, reinterpret_cast<LONG_PTR>(&object)), 0);
    EXPECT_EQ(GetLastError(), 0xdeadbeefu); // success leaves the last error alone
    EXPECT_EQ(reinterpret_cast<int*>(GetWindowLongW(window, GWL_USERDATA)), &object);
    EXPECT_EQ(GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE, 0);

    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetWindowLongW(window, 4), 0); // no extra bytes in this class
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
}

namespace {

WNDPROC previousProc;
std::vector<UINT> subclassSaw;

LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    subclassSaw.push_back(message);
    if (message == WM_GETDLGCODE)
        return DLGC_WANTALLKEYS; // answered here, never reaches the class
    return CallWindowProcW(previousProc, window, message, wParam, lParam);
}

} // namespace

TEST_F(Windows, SubclassingSeesMessagesFirstAndChainsToThePrevious)
{
    HWND window = MakeWindow();
    previousProc = reinterpret_cast<WNDPROC>(SetWindowLongW(window, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(SubclassProc)));
    EXPECT_EQ(previousProc, TestWindowProc);
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongW(window, GWL_WNDPROC)), SubclassProc);
    subclassSaw.clear();
    recorder.Clear();
    EXPECT_EQ(SendMessageW(window, WM_GETDLGCODE, 0, 0), DLGC_WANTALLKEYS);
    EXPECT_TRUE(SetWindowTextW(window, u"Renamed"));
    // One delivery each, the subclass first; the class never saw WM_GETDLGCODE
    // but its WM_SETTEXT set the text.
    EXPECT_EQ(subclassSaw, (std::vector<UINT>{WM_GETDLGCODE, WM_SETTEXT}));
    EXPECT_TRUE(Matches(recorder.Take(), {{WM_GETDLGCODE, kSent}, Msg{WM_SETTEXT, kSent}.Saying(u"Renamed")}));
    WCHAR text[16] = {};
    GetWindowTextW(window, text, 16);
    EXPECT_EQ(std::u16string(text), u"Renamed");
    EXPECT_EQ(CallWindowProcW(nullptr, window, WM_USER, 0, 0), 0);
}

TEST_F(Windows, TextGoesThroughTheProcedureAndIsCut)
{
    HWND window = MakeWindow();
    recorder.Clear();
    EXPECT_TRUE(SetWindowTextW(window, u"Leafwise"));
    EXPECT_TRUE(Matches(recorder.Take(), {Msg{WM_SETTEXT, kSent}.Saying(u"Leafwise")}));
    WCHAR text[5] = {u'x', u'x', u'x', u'x', u'x'};
    EXPECT_EQ(GetWindowTextW(window, text, 5), 4);
    EXPECT_EQ(std::u16string(text), u"Leaf");
    EXPECT_EQ(GetWindowTextLengthW(window), 8);
    EXPECT_TRUE(SetWindowTextW(window, nullptr));
    EXPECT_EQ(GetWindowTextLengthW(window), 0);
    // An ordinal where a text belongs is taken as no text, not read.
    EXPECT_TRUE(SetWindowTextW(window, MAKEINTRESOURCEW(105)));
    EXPECT_EQ(GetWindowTextLengthW(window), 0);
}

TEST_F(Windows, MoveWindowSendsSizeAndMoveAndRepaints)
{
    HWND window = MakeWindow(WS_VISIBLE);
    Drain();
    recorder.Clear();
    recorder.Keep(WM_PAINT);
    EXPECT_TRUE(MoveWindow(window, 0, 26, 120, 100, FALSE));
    // Only the size changed: no WM_MOVE.
    EXPECT_TRUE(Matches(recorder.Take(), {{WM_SIZE, kSent | kLParam, 0, MAKELPARAM(120, 100)}}));
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 120);
    EXPECT_EQ(client.bottom, 100);
    // CS_HREDRAW | CS_VREDRAW: a new size repaints the whole window.
    EXPECT_TRUE(PumpUntil([&] { return recorder.Count(window, WM_PAINT) > 0; }));
    EXPECT_TRUE(Matches(recorder.Take(), {{WM_PAINT, kPosted}}));
    EXPECT_TRUE(MoveWindow(window, 5, 30, 120, 100, FALSE));
    EXPECT_TRUE(Matches(recorder.Take(), {{WM_MOVE, kSent | kLParam, 0, MAKELPARAM(5, 30)}}));
}

TEST_F(Windows, ChildrenAndDialogItems)
{
    HWND parent = MakeWindow();
    HWND first = MakeChild(parent, 10);
    HWND second = MakeChild(parent, 11, 5, 7);
    EXPECT_EQ(GetParent(first), parent);
    EXPECT_TRUE(IsChild(parent, second));
    EXPECT_FALSE(IsChild(second, parent));
    EXPECT_EQ(GetDlgItem(parent, 11), second);
    EXPECT_EQ(GetDlgCtrlID(first), 10);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetDlgItem(parent, 12), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CONTROL_ID_NOT_FOUND));
    EXPECT_EQ(GetWindow(parent, GW_CHILD), first);
    EXPECT_EQ(GetWindow(first, GW_HWNDNEXT), second);
    RECT screen;
    GetWindowRect(second, &screen);
    EXPECT_EQ(screen.left, 5);
    EXPECT_EQ(screen.top, 26 + 7);
}

TEST_F(Windows, FindWindowComparesWithoutCase)
{
    HWND window = MakeWindow(0, nullptr, u"Findable Title");
    EXPECT_EQ(FindWindowW(u"lwrecorder", u"findable title"), window);
    EXPECT_EQ(FindWindowW(nullptr, u"Findable Title"), window);
    EXPECT_EQ(FindWindowW(u"LwRecorder", u"Another"), nullptr);
    DestroyWindow(window);
    EXPECT_EQ(FindWindowW(u"LwRecorder", u"Findable Title"), nullptr);
}
