// Activation and focus: who gets WM_ACTIVATE, in which order, with which
// partner; the focus messages; the device's title strip.
#include "fixture.h"

using namespace lwtest;

namespace {

// A message to one window, with the parameters that matter.
Msg To(HWND window, UINT message, unsigned flags = 0, WPARAM wParam = 0, LPARAM lParam = 0)
{
    return Msg{message, kSent | flags, wParam, lParam}.At(window);
}

using Focus = WindowTest;

} // namespace

TEST_F(Focus, CoveringWindowDeactivatesTheOneBelowFirst)
{
    HWND below = MakeWindow(WS_VISIBLE);
    ASSERT_EQ(GetActiveWindow(), below);
    recorder.Clear();
    HWND above = MakeWindow(WS_VISIBLE);
    const unsigned both = kWParam | kLParam;
    auto hwnd = [](HWND window) { return reinterpret_cast<LPARAM>(window); };
    // The focus leaves the window that is no longer active before the next
    // takes it, so WM_KILLFOCUS and WM_SETFOCUS name no partner here (Windows
    // names each other); nothing of the program looks at them.
    EXPECT_TRUE(Matches(recorder.Take(), {To(above, WM_NCCREATE),
                                          To(above, WM_CREATE),
                                          To(above, WM_SIZE),
                                          To(above, WM_MOVE),
                                          To(above, WM_SHOWWINDOW, kWParam, TRUE),
                                          To(below, WM_ACTIVATE, both, WA_INACTIVE, hwnd(above)),
                                          To(below, WM_KILLFOCUS),
                                          To(above, WM_ACTIVATE, both, WA_ACTIVE, hwnd(below)),
                                          To(above, WM_SETFOCUS)}));
    EXPECT_EQ(GetActiveWindow(), above);

    // Destroying the top one gives activation back before its WM_DESTROY.
    DestroyWindow(above);
    EXPECT_TRUE(Matches(recorder.Take(), {To(above, WM_ACTIVATE, both, WA_INACTIVE, hwnd(below)),
                                          To(above, WM_KILLFOCUS),
                                          To(below, WM_ACTIVATE, both, WA_ACTIVE, hwnd(above)),
                                          To(below, WM_SETFOCUS),
                                          To(above, WM_DESTROY),
                                          To(above, WM_NCDESTROY)}));
    EXPECT_EQ(GetActiveWindow(), below);
}

namespace {

// Like the program's page window: it ends itself when it loses activation.
LRESULT CALLBACK SelfClosingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ACTIVATE && LOWORD(wParam) == WA_INACTIVE) {
        DestroyWindow(window);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

TEST_F(Focus, WindowThatDestroysItselfOnDeactivationLeavesCleanly)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = SelfClosingProc;
    wc.lpszClassName = u"LwSelfClosing";
    RegisterClassW(&wc);
    HWND base = MakeWindow(WS_VISIBLE);
    HWND page = CreateWindowExW(0, u"LwSelfClosing", u"page", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(page);
    Track(page);
    // A message box-like window comes up: the page goes, the newcomer stays active.
    HWND cover = MakeWindow(WS_VISIBLE);
    EXPECT_FALSE(IsWindow(page));
    EXPECT_EQ(GetActiveWindow(), cover);
    DestroyWindow(cover);
    EXPECT_EQ(GetActiveWindow(), base);
    Drain();
}

TEST_F(Focus, SetFocusSendsKillThenSetWithThePartners)
{
    HWND window = MakeWindow(WS_VISIBLE);
    HWND first = MakeChild(window, 1);
    HWND second = MakeChild(window, 2);
    SetFocus(first);
    recorder.Clear();
    EXPECT_EQ(SetFocus(second), first);
    EXPECT_TRUE(Matches(recorder.Take(), {To(first, WM_KILLFOCUS, kWParam, reinterpret_cast<WPARAM>(second)),
                                          To(second, WM_SETFOCUS, kWParam, reinterpret_cast<WPARAM>(first))}));
    EXPECT_EQ(GetFocus(), second);

    // Focus on the same window again sends nothing.
    EXPECT_EQ(SetFocus(second), second);
    EXPECT_TRUE(Matches(recorder.Take(), {}));

    // A dying focus window leaves no focus behind.
    DestroyWindow(second);
    EXPECT_EQ(GetFocus(), nullptr);
}

TEST_F(Focus, ActivationGivesTheFocusToTheWindow)
{
    HWND window = MakeWindow(WS_VISIBLE);
    EXPECT_EQ(GetFocus(), window);
    HWND other = MakeWindow(WS_VISIBLE);
    EXPECT_EQ(GetFocus(), other);
    DestroyWindow(other);
    EXPECT_EQ(GetFocus(), window);
}

TEST_F(Focus, TitleStripShowsTheActiveWindowsTitle)
{
    HWND first = MakeWindow(WS_VISIBLE, nullptr, u"First");
    EXPECT_EQ(LwDeviceTitle(), u"First");
    HWND second = MakeWindow(WS_VISIBLE, nullptr, u"Second");
    EXPECT_EQ(LwDeviceTitle(), u"Second");
    SetWindowTextW(second, u"Renamed");
    EXPECT_EQ(LwDeviceTitle(), u"Renamed");
    SetWindowTextW(first, u"Hidden below"); // not active: the strip keeps its text
    EXPECT_EQ(LwDeviceTitle(), u"Renamed");
    ShowWindow(second, SW_HIDE);
    EXPECT_EQ(LwDeviceTitle(), u"Hidden below");
}

TEST_F(Focus, ForegroundWithOwnedWindowsRaisesThemAboveTheOwner)
{
    HWND owner = MakeWindow(WS_VISIBLE, nullptr, u"Owner");
    HWND owned = MakeWindow(WS_VISIBLE, owner, u"Owned");
    HWND stranger = MakeWindow(WS_VISIBLE, nullptr, u"Stranger");
    ASSERT_EQ(GetActiveWindow(), stranger);

    EXPECT_TRUE(SetForegroundWindow(owner));
    EXPECT_EQ(GetActiveWindow(), owner);

    SetForegroundWindow(stranger);
    auto flagged = reinterpret_cast<HWND>(reinterpret_cast<uintptr_t>(owner) | 1);
    EXPECT_TRUE(SetForegroundWindow(flagged));
    EXPECT_EQ(GetActiveWindow(), owned); // the owned window comes up above its owner
    EXPECT_EQ(LwDeviceTitle(), u"Owned");

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetForegroundWindow(reinterpret_cast<HWND>(static_cast<uintptr_t>(0x7ff1))));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(Focus, ShowWithoutActivationStaysBelow)
{
    HWND top = MakeWindow(WS_VISIBLE);
    HWND quiet = MakeWindow();
    recorder.Clear();
    ShowWindow(quiet, SW_SHOWNA);
    EXPECT_EQ(GetActiveWindow(), top);
    EXPECT_TRUE(Matches(recorder.Take(), {To(quiet, WM_SHOWWINDOW, kWParam, TRUE)}));
    EXPECT_TRUE(IsWindowVisible(quiet));
}
