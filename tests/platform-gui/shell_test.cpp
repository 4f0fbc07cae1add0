// The shell: soft-key bars from their records, menus and strings; the Back key;
// full-screen dialogs.
#include <aygshell.h>

#include "fixture.h"
#include "templates.h"

using namespace lwtest;

namespace {

// The soft-key record: menu id, count, then image, command, state, style,
// caption string, 0, popup index for each button.
std::vector<BYTE> BarRecord(WORD menuId, const std::vector<std::vector<WORD>>& buttons)
{
    Bytes b;
    b.W(menuId).W(static_cast<unsigned>(buttons.size()));
    for (const auto& button : buttons)
        for (WORD w : button)
            b.W(w);
    return b.data;
}

// Menu 101: popup "Menu" (Open 40014, Associate 40027, About 40022), then "Exit" 2.
std::vector<BYTE> MainMenu()
{
    Bytes b;
    b.W(0).W(0);
    b.W(0x10).S(u"Menu");
    b.W(0).W(40014).S(u"Open");
    b.W(0).W(40027).S(u"Associate");
    b.W(0x80).W(40022).S(u"About");
    b.W(0x80).W(2).S(u"Exit");
    return b.data;
}

std::vector<BYTE> PlainMenu()
{
    Bytes b;
    b.W(0).W(0);
    b.W(0).W(1).S(u"OK");
    b.W(0x80).W(2).S(u"Cancel");
    return b.data;
}

const WORD kDropDown = TBSTYLE_DROPDOWN | TBSTYLE_AUTOSIZE;

class Shell : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        ResImage res;
        // Strings 40000..40015 live in block 2501.
        std::vector<std::u16string> strings(16);
        strings[3] = u"Menu";
        strings[5] = u"Exit";
        strings[7] = u"OK";
        strings[9] = u"Cancel";
        res.Add(6, 40000 / 16 + 1, StringBlock(strings));
        res.Add(4, 101, MainMenu());
        res.Add(10, 101, BarRecord(101, {{0xFFFE, 40001, TBSTATE_ENABLED, kDropDown, 40003, 0, 0},
                                         {0xFFFE, 2, TBSTATE_ENABLED, TBSTYLE_AUTOSIZE, 40005, 0, NOMENU}}));
        res.Add(4, 102, PlainMenu());
        res.Add(10, 102, BarRecord(102, {{0xFFFE, 1, TBSTATE_ENABLED, TBSTYLE_AUTOSIZE, 40007, 0, NOMENU},
                                         {0xFFFE, 2, TBSTATE_ENABLED, TBSTYLE_AUTOSIZE, 40009, 0, NOMENU}}));
        // A drop-down key whose popup the menu does not have.
        res.Add(10, 103, BarRecord(102, {{0xFFFE, 1, TBSTATE_ENABLED, kDropDown, 40007, 0, 5}}));
        // The popup on the right key.
        res.Add(10, 106, BarRecord(101, {{0xFFFE, 2, TBSTATE_ENABLED, TBSTYLE_AUTOSIZE, 40005, 0, NOMENU},
                                         {0xFFFE, 40001, TBSTATE_ENABLED, kDropDown, 40003, 0, 0}}));
        // A record cut short.
        res.Add(10, 104, std::vector<BYTE>{0x66, 0x00, 0x02});
        // A disabled right key.
        res.Add(10, 105, BarRecord(102, {{0xFFFE, 1, TBSTATE_ENABLED, TBSTYLE_AUTOSIZE, 40007, 0, NOMENU},
                                         {0xFFFE, 2, 0, TBSTYLE_AUTOSIZE, 40009, 0, NOMENU}}));
        module = LoadResourceImage(res.image.data.data(), res.image.data.size());
        ASSERT_TRUE(module);
    }
    void TearDown() override
    {
        WindowTest::TearDown();
        FreeResourceImage(module);
    }
    SHMENUBARINFO Info(HWND parent, UINT id)
    {
        SHMENUBARINFO info{};
        info.cbSize = sizeof info;
        info.hwndParent = parent;
        info.nToolBarId = id;
        info.hInstRes = module;
        return info;
    }
    // Waits for a window's WM_COMMAND, then takes the record.
    std::vector<Msg> TakeAfterCommand(HWND window)
    {
        EXPECT_TRUE(PumpUntil([&] { return recorder.Count(window, WM_COMMAND) > 0; }));
        Drain();
        return recorder.Take();
    }
    HMODULE module = nullptr;
};

} // namespace

TEST_F(Shell, BarShowsItsCaptionsWhileItsWindowIsActive)
{
    HWND window = MakeWindow();
    SHMENUBARINFO info = Info(window, 101);
    ASSERT_TRUE(SHCreateMenuBar(&info));
    ASSERT_TRUE(IsWindow(info.hwndMB));
    WCHAR className[32];
    GetClassNameW(info.hwndMB, className, 32);
    EXPECT_EQ(std::u16string(className), u"menu_worker");
    EXPECT_TRUE(LwDeviceSoftKeys().empty()); // the window is hidden, nothing is active
    ShowWindow(window, SW_SHOW);
    EXPECT_EQ(LwDeviceSoftKeys(), (std::vector<std::u16string>{u"Menu", u"Exit"}));

    // Another window on top has no bar: the strip is empty; back again, it returns.
    HWND cover = MakeWindow(WS_VISIBLE);
    EXPECT_TRUE(LwDeviceSoftKeys().empty());
    DestroyWindow(cover);
    EXPECT_EQ(LwDeviceSoftKeys(), (std::vector<std::u16string>{u"Menu", u"Exit"}));
}

TEST_F(Shell, PlainKeysPostTheirCommands)
{
    HWND window = MakeWindow(WS_VISIBLE);
    SHMENUBARINFO info = Info(window, 101);
    ASSERT_TRUE(SHCreateMenuBar(&info));
    Drain();
    recorder.Clear();
    LwDevicePressKey(VK_F2);
    // The whole wParam: high word 0.
    const Msg exit{WM_COMMAND, kPosted | kWParam | kLParam, 2, 0};
    EXPECT_TRUE(Matches(TakeAfterCommand(window), {exit}));

    // A tap on the right half of the strip is the same key.
    ASSERT_TRUE(LwDeviceTap(200, 307));
    EXPECT_TRUE(Matches(TakeAfterCommand(window), {exit}));
}

TEST_F(Shell, DropDownKeyOpensItsPopupWhoseItemsPostCommands)
{
    HWND window = MakeWindow(WS_VISIBLE);
    SHMENUBARINFO info = Info(window, 101);
    ASSERT_TRUE(SHCreateMenuBar(&info));
    Drain();
    recorder.Clear();
    LwDevicePressKey(VK_F1);
    ASSERT_TRUE(PumpUntil([] { return !LwDevicePopupItems().empty(); }));
    EXPECT_EQ(LwDevicePopupItems(), (std::vector<std::u16string>{u"Open", u"Associate", u"About"}));
    // The left key's popup stands on the strip, flush with its left edge.
    RECT bar, place = LwDevicePopupPlace();
    ASSERT_TRUE(GetWindowRect(info.hwndMB, &bar));
    EXPECT_EQ(place.left, bar.left);
    EXPECT_EQ(place.bottom, bar.top);
    EXPECT_GT(place.right, place.left);
    // The key itself sends nothing (40001); the item its command.
    ASSERT_TRUE(LwDeviceChoosePopupItem(u"About"));
    const Msg init = Msg{WM_INITMENUPOPUP, kSent}.Gap("the soft key's popup opens without telling its window");
    EXPECT_TRUE(Matches(TakeAfterCommand(window), {init, {WM_COMMAND, kPosted | kWParam, 40022}}));
    EXPECT_TRUE(LwDevicePopupItems().empty());

    // F1 again opens it; F1 while it is open closes it without a command.
    LwDevicePressKey(VK_F1);
    ASSERT_TRUE(PumpUntil([] { return !LwDevicePopupItems().empty(); }));
    LwDevicePressKey(VK_F1);
    ASSERT_TRUE(PumpUntil([] { return LwDevicePopupItems().empty(); }));
    Drain();
    EXPECT_TRUE(Matches(recorder.Take(), {init}));

    // The right key's popup is flush with the strip's right edge.
    DestroyWindow(info.hwndMB);
    info = Info(window, 106);
    ASSERT_TRUE(SHCreateMenuBar(&info));
    LwDevicePressKey(VK_F2);
    ASSERT_TRUE(PumpUntil([] { return !LwDevicePopupItems().empty(); }));
    ASSERT_TRUE(GetWindowRect(info.hwndMB, &bar));
    place = LwDevicePopupPlace();
    EXPECT_EQ(place.right, bar.right);
    EXPECT_EQ(place.bottom, bar.top);
    LwDeviceClosePopup();
}

TEST_F(Shell, MenusHandOutOnlyThePopupsTheyHave)
{
    HMENU menu = LoadMenuW(module, MAKEINTRESOURCEW(101));
    ASSERT_TRUE(menu);
    ASSERT_EQ(GetMenuItemCount(menu), 2);
    EXPECT_TRUE(GetSubMenu(menu, 0));
    EXPECT_FALSE(GetSubMenu(menu, 1));  // "Exit" is a command
    EXPECT_FALSE(GetSubMenu(menu, 2));
    EXPECT_FALSE(GetSubMenu(menu, -1));
    DestroyMenu(menu);
}

TEST_F(Shell, DisabledKeyDoesNothing)
{
    HWND window = MakeWindow(WS_VISIBLE);
    SHMENUBARINFO info = Info(window, 105);
    ASSERT_TRUE(SHCreateMenuBar(&info));
    Drain();
    recorder.Clear();
    LwDevicePressKey(VK_F2);
    LwDevicePressKey(VK_F1);
    EXPECT_TRUE(Matches(TakeAfterCommand(window), {{WM_COMMAND, kPosted | kWParam, 1}}));
}

TEST_F(Shell, BarCreationFailuresAreReported)
{
    HWND window = MakeWindow(WS_VISIBLE);
    SHMENUBARINFO info = Info(window, 999);
    info.hwndMB = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x55));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SHCreateMenuBar(&info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(info.hwndMB, reinterpret_cast<HWND>(static_cast<uintptr_t>(0x55))); // untouched

    info = Info(window, 103);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SHCreateMenuBar(&info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));

    info = Info(window, 104);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SHCreateMenuBar(&info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));

    info = Info(window, 101);
    info.cbSize = 12;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SHCreateMenuBar(&info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    info = Info(reinterpret_cast<HWND>(static_cast<uintptr_t>(0x7ff0)), 101);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SHCreateMenuBar(&info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SHCreateMenuBar(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    // The device's own record size is accepted too.
    info = Info(window, 102);
    info.cbSize = 36;
    EXPECT_TRUE(SHCreateMenuBar(&info));
    EXPECT_TRUE(LwDeviceSoftKeys() == (std::vector<std::u16string>{u"OK", u"Cancel"}));
}

TEST_F(Shell, OverriddenBackKeyBecomesHotKeyOnPressAndRelease)
{
    HWND window = MakeWindow(WS_VISIBLE);
    SHMENUBARINFO info = Info(window, 102);
    ASSERT_TRUE(SHCreateMenuBar(&info));
    EXPECT_EQ(SendMessageW(info.hwndMB, SHCMBM_OVERRIDEKEY, VK_TBACK, 0x00030003), 0); // no flags before
    Drain();
    recorder.Clear();
    LwDeviceBackKey(true);
    LwDeviceBackKey(false);
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count(window, WM_HOTKEY) == 2; }));
    Drain();
    // The Back key's hot-key id, then the key and its modifiers; no key
    // messages: the default action is gone.
    EXPECT_TRUE(Matches(recorder.Take(), {{WM_HOTKEY, kPosted | kWParam | kLParam, 2, MAKELPARAM(0, VK_TBACK)},
                                          {WM_HOTKEY, kPosted | kWParam | kLParam, 2, MAKELPARAM(MOD_KEYUP, VK_TBACK)}}));
    // The override answers the flags it replaces.
    EXPECT_EQ(SendMessageW(info.hwndMB, SHCMBM_OVERRIDEKEY, VK_TBACK, MAKELPARAM(SHMBOF_NOTIFY, 0)), 3);
}

TEST_F(Shell, BackKeyWithoutOverrideIsEscapeToTheFocus)
{
    HWND window = MakeWindow(WS_VISIBLE);
    SHMENUBARINFO info = Info(window, 102);
    ASSERT_TRUE(SHCreateMenuBar(&info));
    SetFocus(window);
    Drain();
    recorder.Clear();
    LwDevicePressKey(VK_ESCAPE);
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count(window, WM_KEYUP) > 0; }));
    EXPECT_TRUE(Matches(recorder.Take(), {{WM_KEYDOWN, kPosted | kWParam, VK_ESCAPE},
                                          Msg{WM_CHAR, kPosted | kWParam, 27}.Gap("Escape types no character"),
                                          {WM_KEYUP, kPosted | kWParam, VK_ESCAPE}}));
}

TEST_F(Shell, BackKeyForwardedToTheFocusedControl)
{
    HWND window = MakeWindow(WS_VISIBLE);
    HWND control = MakeChild(window, 5);
    SetFocus(control);
    recorder.Clear();
    SHSendBackToFocusWindow(WM_HOTKEY, 2, MAKELPARAM(0, VK_TBACK));
    SHSendBackToFocusWindow(WM_HOTKEY, 2, MAKELPARAM(MOD_KEYUP, VK_TBACK));
    SHSendBackToFocusWindow(WM_HOTKEY, 2, MAKELPARAM(0, 'A')); // another key: ignored
    EXPECT_TRUE(Matches(recorder.Take(), {Msg{WM_KEYDOWN, kWParam, VK_BACK, 0}.At(control),
                                          Msg{WM_CHAR, kWParam, u'\b', 0}.At(control),
                                          Msg{WM_KEYUP, kWParam, VK_BACK, 0}.At(control)}));
}

namespace {

struct AboutLike {
    HMODULE module;
    bool fullScreen = false;
    RECT rect{};
};
AboutLike* about;

// A dialog set up the way the program's dialogs are: full screen, a bar, a
// title, the Back key taken over; Back ends it with 7, the keys with 2.
BOOL CALLBACK AboutLikeProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        SHINITDLGINFO init{SHIDIM_FLAGS, dialog, SHIDIF_SIZEDLGFULLSCREEN};
        about->fullScreen = SHInitDialog(&init);
        SHMENUBARINFO bar{};
        bar.cbSize = sizeof bar;
        bar.hwndParent = dialog;
        bar.nToolBarId = 102;
        bar.hInstRes = about->module;
        if (SHCreateMenuBar(&bar)) {
            SetWindowTextW(dialog, u"About");
            SendMessageW(bar.hwndMB, SHCMBM_OVERRIDEKEY, VK_TBACK, 0x00030003);
        }
        GetWindowRect(dialog, &about->rect);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == 1 || LOWORD(wParam) == 2) {
            EndDialog(dialog, 2);
            return TRUE;
        }
        return FALSE;
    case WM_HOTKEY:
        if (HIWORD(lParam) == VK_TBACK) {
            EndDialog(dialog, 7);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace

TEST_F(Shell, FullScreenDialogWithBarEndsOnItsKeysAndOnBack)
{
    AboutLike state{module};
    about = &state;
    std::vector<BYTE> bytes = DialogBytes(u"", WS_POPUP, 110, 114);
    std::vector<std::u16string> title, keys;
    ModalCloser pressBack([] { return LwDeviceSoftKeys().size() == 2; },
                          [&] {
                              title.push_back(LwDeviceTitle());
                              keys = LwDeviceSoftKeys();
                              LwDeviceBackKey(true);
                              LwDeviceBackKey(false);
                          });
    EXPECT_EQ(DialogBoxIndirectParamW(module, AsTemplate(bytes), nullptr, AboutLikeProc, 0), 7);
    EXPECT_TRUE(state.fullScreen);
    EXPECT_EQ(state.rect.left, 0);
    EXPECT_EQ(state.rect.top, 26);
    EXPECT_EQ(state.rect.right, 240);
    EXPECT_EQ(state.rect.bottom, 294);
    EXPECT_EQ(title, (std::vector<std::u16string>{u"About"}));
    EXPECT_EQ(keys, (std::vector<std::u16string>{u"OK", u"Cancel"}));

    ModalCloser pressOk([] { return LwDeviceSoftKeys().size() == 2; }, [] { LwDevicePressKey(VK_F1); });
    EXPECT_EQ(DialogBoxIndirectParamW(module, AsTemplate(bytes), nullptr, AboutLikeProc, 0), 2);
}

TEST_F(Shell, FullScreenWithoutBarCoversTheSoftKeyStripToo)
{
    HWND window = MakeWindow(WS_VISIBLE);
    SHINITDLGINFO init{SHIDIM_FLAGS, window, SHIDIF_SIZEDLGFULLSCREEN};
    ASSERT_TRUE(SHInitDialog(&init));
    RECT rect{};
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.top, 26);
    EXPECT_EQ(rect.bottom, 294);
    init.dwFlags = SHIDIF_FULLSCREENNOMENUBAR;
    ASSERT_TRUE(SHInitDialog(&init));
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.top, 26);
    EXPECT_EQ(rect.bottom, 320);
    EXPECT_EQ(rect.right - rect.left, 240);
}

TEST_F(Shell, InitDialogChecksItsArguments)
{
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SHInitDialog(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SHINITDLGINFO init{SHIDIM_FLAGS, reinterpret_cast<HWND>(static_cast<uintptr_t>(0x7ff0)), SHIDIF_SIZEDLGFULLSCREEN};
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SHInitDialog(&init));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(Shell, BarDiesWithItsWindow)
{
    HWND window = MakeWindow(WS_VISIBLE);
    SHMENUBARINFO info = Info(window, 101);
    ASSERT_TRUE(SHCreateMenuBar(&info));
    DestroyWindow(window);
    EXPECT_FALSE(IsWindow(info.hwndMB));
    EXPECT_TRUE(LwDeviceSoftKeys().empty());
    // Keys pressed now go nowhere and harm nothing.
    LwDevicePressKey(VK_F1);
    LwDevicePressKey(VK_F2);
    Drain();
}
