// Both controls in a modal dialog, subclassed as the contents window
// subclasses its tree: the device's Enter, Back and a tap reach the subclass
// through the queue and the dialog manager, and the control still acts. And
// their classes: there from the start, and brought back by InitCommonControlsEx.
#include "controlfixture.h"
#include "templates.h"

#include "controls.h"

using namespace lwtest;

namespace {

WNDPROC previous;
std::vector<Received> seen;
std::vector<UINT> dialogCommands;
const char16_t* controlClass;

LRESULT CALLBACK WantsAllKeys(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    seen.push_back({window, message, wParam, lParam});
    if (message == WM_GETDLGCODE)
        return DLGC_WANTALLKEYS;
    return CallWindowProcW(previous, window, message, wParam, lParam);
}

BOOL CALLBACK HostDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        HWND control = CreateWindowExW(0, controlClass, u"", WS_CHILD | WS_VISIBLE | LVS_REPORT | TVS_HASBUTTONS, 0, 0,
                                       200, 200, dialog, reinterpret_cast<HMENU>(4098), nullptr, nullptr);
        if (std::u16string(controlClass) == WC_TREEVIEWW) {
            TVINSERTSTRUCTW insert{};
            insert.hParent = TVI_ROOT;
            insert.hInsertAfter = TVI_LAST;
            insert.item.mask = TVIF_TEXT;
            insert.item.pszText = const_cast<LPWSTR>(u"Chapter");
            SendMessageW(control, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert));
        } else {
            LVCOLUMNW column{LVCF_WIDTH, 0, 176, nullptr, 0, 0};
            SendMessageW(control, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
            LVITEMW item{};
            item.mask = LVIF_TEXT | LVIF_STATE;
            item.pszText = const_cast<LPWSTR>(u"book.chm");
            item.state = item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
            SendMessageW(control, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        }
        previous = reinterpret_cast<WNDPROC>(SetWindowLongW(control, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(WantsAllKeys)));
        return TRUE;
    }
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE)
            SetFocus(GetDlgItem(dialog, 4098));
        return TRUE;
    case WM_COMMAND:
        dialogCommands.push_back(LOWORD(wParam));
        return TRUE;
    case WM_NOTIFY:
        NoteParentProc(dialog, message, wParam, lParam);
        return FALSE;
    default:
        return FALSE;
    }
}

class Subclassed : public ControlTest, public ::testing::WithParamInterface<const char16_t*> {};

} // namespace

TEST_P(Subclassed, SeesEnterBackAndATapAndTheControlStillActs)
{
    controlClass = GetParam();
    seen.clear();
    dialogCommands.clear();
    std::vector<BYTE> bytes = DialogBytes(u"Host", WS_POPUP | WS_VISIBLE, 150, 150);
    ModalCloser act([] { return ModalCloser::ActiveClassIs(u"#32770"); },
                    [] {
                        LwDevicePressKey(VK_RETURN);
                        LwDevicePressKey(VK_BACK);
                        LwDeviceTap(30, 26 + 5);
                    });
    ModalCloser end([] { return std::any_of(seen.begin(), seen.end(), [](const Received& r) { return r.message == WM_LBUTTONUP; }); },
                    [] { EndDialog(GetActiveWindow(), 1); });
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, AsTemplate(bytes), nullptr, HostDialog, 0), 1);

    std::vector<std::pair<UINT, WPARAM>> input;
    for (const Received& r : seen)
        if ((r.message >= WM_KEYDOWN && r.message <= WM_CHAR) || r.message == WM_LBUTTONDOWN || r.message == WM_LBUTTONUP)
            input.push_back({r.message, r.message == WM_LBUTTONDOWN || r.message == WM_LBUTTONUP ? 0 : r.wParam});
    EXPECT_EQ(input, (std::vector<std::pair<UINT, WPARAM>>{{WM_KEYDOWN, VK_RETURN},
                                                           {WM_CHAR, u'\r'},
                                                           {WM_KEYUP, VK_RETURN},
                                                           {WM_KEYDOWN, VK_BACK},
                                                           {WM_CHAR, u'\b'},
                                                           {WM_KEYUP, VK_BACK},
                                                           {WM_LBUTTONDOWN, 0},
                                                           {WM_LBUTTONUP, 0}}));
    EXPECT_TRUE(dialogCommands.empty()) << "Enter was the control's, not the dialog's OK";
    // The control acted on Enter and on the tap.
    bool tree = std::u16string(controlClass) == WC_TREEVIEWW;
    std::vector<UINT> codes;
    for (const Note& note : Notes())
        codes.push_back(note.code);
    auto has = [&](UINT code) { return std::find(codes.begin(), codes.end(), code) != codes.end(); };
    EXPECT_TRUE(has(tree ? TVN_KEYDOWN : LVN_KEYDOWN));
    EXPECT_TRUE(has(NM_RETURN));
    EXPECT_TRUE(has(NM_CLICK));
}

INSTANTIATE_TEST_SUITE_P(Controls, Subclassed, ::testing::Values(WC_TREEVIEWW, WC_LISTVIEWW));

// The classes are there without a call, as in the device's core library; taken
// back, InitCommonControlsEx brings back what it names.
TEST(CommonControls, ClassesExistFromTheStartAndInitBringsThemBack)
{
    LwDeviceStart();
    std::vector<BYTE> bytes = DialogBytes(u"Lists", WS_POPUP, 100, 100,
                                          {{WS_CHILD | LVS_REPORT, 0, 0, 50, 50, 7, 0, u"", 0, WC_LISTVIEWW}});
    HWND dialog = CreateDialogIndirectParamW(nullptr, AsTemplate(bytes), nullptr,
                                             [](HWND, UINT, WPARAM, LPARAM) -> BOOL { return FALSE; }, 0);
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(GetDlgItem(dialog, 7)) << "a template naming the list finds it";
    DestroyWindow(dialog);

    lwcommctrl::UnregisterTreeViewClass();
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateWindowExW(0, WC_TREEVIEWW, u"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
    EXPECT_FALSE(InitCommonControlsEx(nullptr));
    INITCOMMONCONTROLSEX init{sizeof init - 1, ICC_TREEVIEW_CLASSES};
    EXPECT_FALSE(InitCommonControlsEx(&init));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    init.dwSize = sizeof init;
    EXPECT_TRUE(InitCommonControlsEx(&init));
    HWND tree = CreateWindowExW(0, WC_TREEVIEWW, u"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    EXPECT_TRUE(tree);
    DestroyWindow(tree);
}
