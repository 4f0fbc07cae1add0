// Activation and focus: who gets WM_ACTIVATE, in which order, with which
// partner; the focus messages; the device's title strip.
#include "fixture.h"

using namespace lwtest;

namespace {

struct Activation {
    HWND window;
    WORD state;
    HWND other;
};

std::vector<Activation> Activations()
{
    std::vector<Activation> out;
    for (const Received& r : Received_())
        if (r.message == WM_ACTIVATE)
            out.push_back({r.window, LOWORD(r.wParam), reinterpret_cast<HWND>(r.lParam)});
    return out;
}

using Focus = WindowTest;

} // namespace

TEST_F(Focus, CoveringWindowDeactivatesTheOneBelowFirst)
{
    HWND below = MakeWindow(WS_VISIBLE);
    ASSERT_EQ(GetActiveWindow(), below);
    Received_().clear();
    HWND above = MakeWindow(WS_VISIBLE);
    auto seen = Activations();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].window, below);
    EXPECT_EQ(seen[0].state, WA_INACTIVE);
    EXPECT_EQ(seen[0].other, above);
    EXPECT_EQ(seen[1].window, above);
    EXPECT_EQ(seen[1].state, WA_ACTIVE);
    EXPECT_EQ(seen[1].other, below);
    EXPECT_EQ(GetActiveWindow(), above);

    // Destroying the top one gives activation back before its WM_DESTROY.
    Received_().clear();
    DestroyWindow(above);
    std::vector<UINT> order;
    for (const Received& r : Received_())
        if (r.message == WM_ACTIVATE || r.message == WM_DESTROY)
            order.push_back(r.message);
    EXPECT_EQ(order, (std::vector<UINT>{WM_ACTIVATE, WM_ACTIVATE, WM_DESTROY}));
    seen = Activations();
    EXPECT_EQ(seen[0].window, above);
    EXPECT_EQ(seen[0].state, WA_INACTIVE);
    EXPECT_EQ(seen[1].window, below);
    EXPECT_EQ(seen[1].state, WA_ACTIVE);
    EXPECT_EQ(GetActiveWindow(), below);
}

namespace {

// Like the program's page window: it ends itself when it loses activation.
LRESULT CALLBACK SelfClosingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Received_().push_back({window, message, wParam, lParam});
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
    Received_().clear();
    EXPECT_EQ(SetFocus(second), first);
    ASSERT_EQ(Received_().size(), 2u);
    EXPECT_EQ(Received_()[0].window, first);
    EXPECT_EQ(Received_()[0].message, static_cast<UINT>(WM_KILLFOCUS));
    EXPECT_EQ(reinterpret_cast<HWND>(Received_()[0].wParam), second);
    EXPECT_EQ(Received_()[1].window, second);
    EXPECT_EQ(Received_()[1].message, static_cast<UINT>(WM_SETFOCUS));
    EXPECT_EQ(reinterpret_cast<HWND>(Received_()[1].wParam), first);
    EXPECT_EQ(GetFocus(), second);

    // Focus on the same window again sends nothing.
    Received_().clear();
    EXPECT_EQ(SetFocus(second), second);
    EXPECT_TRUE(Received_().empty());

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
    Received_().clear();
    ShowWindow(quiet, SW_SHOWNA);
    EXPECT_EQ(GetActiveWindow(), top);
    EXPECT_TRUE(Activations().empty());
    EXPECT_TRUE(IsWindowVisible(quiet));
}
