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
std::vector<UINT> dialogCommands;
const char16_t* controlClass;

LRESULT CALLBACK WantsAllKeys(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
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
    bool tree = std::u16string(controlClass) == WC_TREEVIEWW;
    dialogCommands.clear();
    recorder.WatchClass(controlClass);
    std::vector<BYTE> bytes = DialogBytes(u"Host", WS_POPUP | WS_VISIBLE, 150, 150);
    std::vector<Msg> input;
    ModalCloser act([] { return ModalCloser::ActiveClassIs(u"#32770"); },
                    [&] {
                        HWND control = GetDlgItem(GetActiveWindow(), 4098);
                        RECT row{};
                        if (tree) {
                            *reinterpret_cast<HTREEITEM*>(&row) = reinterpret_cast<HTREEITEM>(SendMessageW(control, TVM_GETNEXTITEM, TVGN_ROOT, 0));
                            SendMessageW(control, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&row));
                        } else {
                            row.left = LVIR_BOUNDS;
                            SendMessageW(control, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row));
                        }
                        POINT middle{row.left + 10, (row.top + row.bottom) / 2};
                        ClientToScreen(control, &middle);
                        recorder.WatchParent(GetActiveWindow());
                        recorder.Clear();
                        LwDevicePressKey(VK_RETURN);
                        LwDevicePressKey(VK_BACK);
                        LwDeviceTap(middle.x, middle.y);
                    });
    ModalCloser end([&] { return std::any_of(recorder.Seen().begin(), recorder.Seen().end(),
                                             [](const Msg& m) { return m.message == WM_LBUTTONUP; }); },
                    [&] {
                        Drain();
                        input = Take();
                        EndDialog(GetActiveWindow(), 1);
                    });
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, AsTemplate(bytes), nullptr, HostDialog, 0), 1);
    EXPECT_TRUE(dialogCommands.empty()) << "Enter was the control's, not the dialog's OK";

    // Every key through the dialog manager, which asks the subclass first; the
    // control acted on Enter and on the tap (on its selected row: a click only).
    const unsigned key = kPosted | kWParam;
    const Msg asks{WM_GETDLGCODE, kSent};
    const UINT keyNote = tree ? TVN_KEYDOWN : LVN_KEYDOWN;
    std::vector<Msg> expected = {asks, {WM_KEYDOWN, key, VK_RETURN}, Note(keyNote, 0, VK_RETURN), Note(NM_RETURN)};
    if (!tree)
        expected.push_back(Note(LVN_ITEMACTIVATE, 0));
    expected.insert(expected.end(), {asks, {WM_CHAR, key, u'\r'}, {WM_KEYUP, key, VK_RETURN},
                                     asks, {WM_KEYDOWN, key, VK_BACK}, Note(keyNote, 0, VK_BACK),
                                     asks, {WM_CHAR, key, u'\b'}, {WM_KEYUP, key, VK_BACK},
                                     {WM_LBUTTONDOWN, key, MK_LBUTTON}});
    if (tree)
        expected.insert(expected.end(), {Note(NM_CLICK), {WM_LBUTTONUP, kPosted}});
    else
        expected.insert(expected.end(), {{WM_LBUTTONUP, kPosted}, Note(NM_CLICK, 0)});
    EXPECT_TRUE(Matches(input, expected));
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
