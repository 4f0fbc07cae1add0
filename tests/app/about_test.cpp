// The About dialog driven as a user drives it: how each way of closing ends it,
// what it shows, what leaves it open, and what a missing resource does.
#include "appfixture.h"

#include "DialogBase.h"
#include "resource.h"

namespace apptest {
namespace {

// What the device showed while the dialog was up.
struct Seen {
    std::u16string title;
    std::vector<std::u16string> keys;
    RECT rect = {};
    size_t open = 0;
    HWND dialog = nullptr;
};

class AboutTest : public AppTest {
protected:
    // Runs an About dialog; once it shows, records what is seen, then `close`.
    int Run(HINSTANCE instance, const std::function<void(HWND)>& close, Seen* seen = nullptr)
    {
        AboutDialog about(instance, nullptr);
        EXPECT_EQ(about.dialog, nullptr);
        lwtest::ModalCloser closer(
            [] { return !openDialogs.empty() && IsWindowVisible(openDialogs.back()->dialog); },
            [&] {
                HWND dialog = openDialogs.back()->dialog;
                if (seen) {
                    seen->title = LwDeviceTitle();
                    seen->keys = LwDeviceSoftKeys();
                    GetWindowRect(dialog, &seen->rect);
                    seen->open = openDialogs.size();
                    seen->dialog = dialog;
                }
                close(dialog);
            });
        int code = about.RunModal();
        EXPECT_TRUE(openDialogs.empty());
        if (seen) {
            EXPECT_EQ(about.dialog, seen->dialog);
        }
        return code;
    }
    static HINSTANCE Program() { return GetModuleHandleW(nullptr); }
};

TEST_F(AboutTest, FillsTheScreenWithItsTitleAndSoftKeys)
{
    Seen seen;
    EXPECT_EQ(Run(Program(), [](HWND) { LwDevicePressKey(VK_F1); }, &seen), 2);
    EXPECT_EQ(seen.title, u"About");
    EXPECT_EQ(seen.keys, (std::vector<std::u16string>{u"OK", u"Cancel"}));
    EXPECT_EQ(seen.open, 1u);
    // The work area, whatever the template's 110 x 114 dialog units come to.
    EXPECT_EQ(seen.rect.right - seen.rect.left, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(seen.rect.bottom - seen.rect.top, 268);
}

TEST_F(AboutTest, OkCancelAndCloseEndWithTwoBackWithSeven)
{
    EXPECT_EQ(Run(Program(), [](HWND) { LwDevicePressKey(VK_F1); }), 2);        // "OK"
    EXPECT_EQ(Run(Program(), [](HWND) { LwDevicePressKey(VK_F2); }), 2);        // "Cancel"
    EXPECT_EQ(Run(Program(), [](HWND d) { PostMessageW(d, WM_CLOSE, 0, 0); }), 2);
    EXPECT_EQ(Run(Program(), [](HWND) { LwDevicePressKey(VK_ESCAPE); }), 7);    // Back
    // The Back key ends it on its press; nothing waits for the release.
    EXPECT_EQ(Run(Program(), [](HWND) { LwDeviceBackKey(true); }), 7);
    LwDeviceBackKey(false);
    lwtest::Drain();
}

TEST_F(AboutTest, OtherCommandsAndKeysLeaveItOpen)
{
    bool stayed = false;
    size_t open = 0;
    int code = Run(Program(), [&](HWND dialog) {
        for (WPARAM id : {WPARAM(0), WPARAM(3), WPARAM(7), WPARAM(IDM_ABOUT), WPARAM(0xFFFF)})
            EXPECT_EQ(SendMessageW(dialog, WM_COMMAND, id, 0), 0) << id;
        // A hot key that is not the Back key.
        SendMessageW(dialog, WM_HOTKEY, 0, MAKELPARAM(0, VK_F1));
        lwtest::Drain();
        stayed = IsWindowVisible(dialog) != FALSE;
        open = openDialogs.size();
        // The low word alone names the command, as the dialog reads it.
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, 1), 0);
    });
    EXPECT_TRUE(stayed);
    EXPECT_EQ(open, 1u);
    EXPECT_EQ(code, 2);
}

TEST_F(AboutTest, RunsAgainTheSameWay)
{
    for (int round = 0; round < 3; ++round) {
        Seen seen;
        EXPECT_EQ(Run(Program(), [](HWND) { LwDevicePressKey(VK_F2); }, &seen), 2) << round;
        EXPECT_EQ(seen.title, u"About") << round;
        EXPECT_EQ(seen.keys, (std::vector<std::u16string>{u"OK", u"Cancel"})) << round;
        EXPECT_EQ(seen.open, 1u) << round;
    }
}

TEST_F(AboutTest, WithoutItsTemplateTheRunFailsAtOnce)
{
    HMODULE module = ModuleWith({{10, IDR_ABOUT_MENUBAR}, {4, IDR_ABOUT_MENUBAR}});
    AboutDialog about(module, nullptr);
    EXPECT_EQ(about.RunModal(), -1);
    EXPECT_EQ(about.dialog, nullptr);
    EXPECT_TRUE(openDialogs.empty());
}

TEST_F(AboutTest, WithoutItsBarItStillRunsAtItsOwnSize)
{
    // The template and its icon, but neither bar record nor menu.
    HMODULE module = ModuleWith({{5, IDD_ABOUT}, {14, IDI_LEAFWISE}, {3, 1}, {3, 2}, {3, 3}, {3, 4}});
    Seen seen;
    bool fullScreenAgain = true;
    int code = Run(module,
                   [&](HWND dialog) {
                       fullScreenAgain = openDialogs.back()->InitFullScreen();
                       PostMessageW(dialog, WM_CLOSE, 0, 0);
                   },
                   &seen);
    EXPECT_EQ(code, 2);
    EXPECT_FALSE(fullScreenAgain);
    EXPECT_TRUE(seen.keys.empty());
    EXPECT_NE(seen.title, u"About");
}

TEST_F(AboutTest, OverMainWindowOwner)
{
    // Owned by a window, as the main menu runs it.
    WNDCLASSW owner = {};
    owner.lpfnWndProc = DefWindowProcW;
    owner.lpszClassName = u"AboutOwner";
    ASSERT_NE(RegisterClassW(&owner), 0);
    HWND parent = CreateWindowExW(0, u"AboutOwner", u"Owner", WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(parent, nullptr);
    ShowWindow(parent, SW_SHOW);
    AboutDialog about(Program(), parent);
    HWND activeDuring = nullptr;
    lwtest::ModalCloser closer([] { return !openDialogs.empty(); },
                               [&] {
                                   activeDuring = GetActiveWindow();
                                   LwDevicePressKey(VK_ESCAPE);
                               });
    EXPECT_EQ(about.RunModal(), 7);
    EXPECT_EQ(activeDuring, about.dialog);
    EXPECT_EQ(GetActiveWindow(), parent);
    DestroyWindow(parent);
    UnregisterClassW(u"AboutOwner", nullptr);
}

}  // namespace
}  // namespace apptest
