// Dialogs: built from a parsed template, run modally in their own loop, and the
// dialog manager's default processing and keys.
#include "window.h"

#include <QWidget>

namespace lwuser {
namespace {

const char16_t kDialogClass[] = u"#32770";

// A template handed in by pointer alone, not from a loaded resource, is read
// at most this far.
constexpr size_t kMaxLooseTemplate = 64 * 1024;

// The device's system font gives the dialog base units: one horizontal unit
// is 6/4 pixel, one vertical unit 12/8 pixel. Every conversion goes through here.
constexpr int kBaseUnitX = 6;
constexpr int kBaseUnitY = 12;

int Scale(int units, int base, int divisor)
{
    // Rounds half away from zero, as MulDiv does.
    long product = static_cast<long>(units) * base;
    return static_cast<int>(product >= 0 ? (product + divisor / 2) / divisor : -((-product + divisor / 2) / divisor));
}

QRect DialogUnitsToPixels(int x, int y, int cx, int cy)
{
    return QRect(Scale(x, kBaseUnitX, 4), Scale(y, kBaseUnitY, 8), Scale(cx, kBaseUnitX, 4),
                 Scale(cy, kBaseUnitY, 8));
}

// Answers that a dialog procedure gives as its BOOL rather than through DWL_MSGRESULT.
bool AnswersDirectly(UINT message)
{
    return message == WM_INITDIALOG || (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC);
}

HWND FindChildById(HWND dialog, UINT_PTR id)
{
    Window* d = PeekWindowRecord(dialog);
    if (!d)
        return nullptr;
    for (HWND child : d->children) {
        Window* c = PeekWindowRecord(child);
        if (c && c->id == id)
            return child;
    }
    return nullptr;
}

HWND FirstTabStop(HWND dialog)
{
    Window* d = PeekWindowRecord(dialog);
    if (!d)
        return nullptr;
    for (HWND child : d->children) {
        Window* c = PeekWindowRecord(child);
        if (c && (c->style & WS_TABSTOP) && (c->style & WS_VISIBLE) && !(c->style & WS_DISABLED))
            return child;
    }
    return nullptr;
}

void RestoreFocus(HWND dialog, DialogState* state)
{
    HWND target = state ? state->savedFocus : nullptr;
    if (!target || !IsChild(dialog, target))
        target = FirstTabStop(dialog);
    SetFocus(target ? target : dialog);
}

LRESULT DefaultDialogProcessing(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    Window* w = PeekWindowRecord(dialog);
    DialogState* state = w ? w->dialog.get() : nullptr;
    switch (message) {
    case WM_ERASEBKGND: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        auto brush = reinterpret_cast<HBRUSH>(SendMessageW(dialog, WM_CTLCOLORDLG, wParam, reinterpret_cast<LPARAM>(dialog)));
        if (!brush)
            brush = GetSysColorBrush(COLOR_STATIC);
        RECT client;
        GetClientRect(dialog, &client);
        FillRect(dc, &client, brush);
        return 1;
    }
    case WM_CLOSE:
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), reinterpret_cast<LPARAM>(FindChildById(dialog, IDCANCEL)));
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            if (state && IsChild(dialog, GetFocus()))
                state->savedFocus = GetFocus();
        } else if ((state && IsChild(dialog, state->savedFocus)) || !IsChild(dialog, GetFocus())) {
            // A first activation keeps the control that WM_INITDIALOG gave the
            // focus to (answering FALSE), as Windows does.
            RestoreFocus(dialog, state);
        }
        return 0;
    case WM_SETFOCUS:
        // The dialog itself takes the focus only when no control can.
        if (HWND control = state && IsChild(dialog, state->savedFocus) ? state->savedFocus : FirstTabStop(dialog))
            SetFocus(control);
        return 0;
    case WM_DESTROY:
        if (state && state->font) {
            DeleteObject(state->font);
            state->font = nullptr;
        }
        return 0;
    default:
        return DefWindowProcW(dialog, message, wParam, lParam);
    }
}

LRESULT CALLBACK DialogWindowProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefDlgProcW(dialog, message, wParam, lParam);
}

LPCWSTR ItemClassName(const DialogItemTemplate& item)
{
    switch (item.classAtom) {
    case kDialogClassButton: return u"button";
    case kDialogClassEdit: return u"edit";
    case kDialogClassStatic: return u"static";
    case kDialogClassListBox: return u"listbox";
    case kDialogClassScrollBar: return u"scrollbar";
    case kDialogClassComboBox: return u"combobox";
    default: return item.className.c_str();
    }
}

HFONT MakeTemplateFont(const DialogTemplate& t)
{
    if (!t.hasFont)
        return nullptr;
    LOGFONTW font{};
    // Points at the device's 96 pixels per inch.
    font.lfHeight = -Scale(t.pointSize, 96, 72);
    font.lfWeight = t.weight ? t.weight : FW_NORMAL;
    font.lfItalic = t.italic;
    font.lfCharSet = t.charset;
    StringCchCopyW(font.lfFaceName, LF_FACESIZE, t.faceName.c_str());
    return CreateFontIndirectW(&font);
}

void CreateControls(HWND dialog, const DialogTemplate& t, HINSTANCE instance, HFONT font)
{
    for (const DialogItemTemplate& item : t.items) {
        LPCWSTR className = ItemClassName(item);
        if (!FindClass(className))
            continue; // a control this platform does not have is left out
        // An ordinal title reaches the control as Windows passes it: 0xFFFF, the id.
        const WCHAR ordinal[3] = {0xFFFF, item.titleId, 0};
        LPCWSTR title = item.titleId ? ordinal : item.title.c_str();
        QRect r = DialogUnitsToPixels(item.x, item.y, item.cx, item.cy);
        const void* creation = item.creationData.empty() ? nullptr : item.creationData.data();
        HWND control = CreateWindowExW(item.exStyle, className, title, item.style | WS_CHILD, r.x(), r.y(), r.width(),
                                       r.height(), dialog, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(item.id)),
                                       instance, const_cast<void*>(creation));
        if (control && font)
            SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
        if (!IsWindow(dialog))
            return;
    }
}

HWND CreateDialogFromTemplate(HINSTANCE instance, LPCDLGTEMPLATEW data, HWND owner, DLGPROC proc, LPARAM param,
                              bool modal, std::shared_ptr<DialogState>* stateOut)
{
    if (!data || !proc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (owner && !FindWindowRecord(owner))
        return nullptr;
    size_t extent = ResourceExtent(data);
    DialogTemplate t;
    if (!ParseDialogTemplate(data, extent ? extent : kMaxLooseTemplate, &t)) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    std::u16string className = t.className.empty() ? std::u16string(kDialogClass) : t.className;
    if (!FindClass(className.c_str())) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }

    QRect r = DialogUnitsToPixels(t.x, t.y, t.cx, t.cy);
    if (t.style & DS_CENTER)
        r.moveCenter(kWorkArea.center());
    else if (!(t.style & DS_ABSALIGN))
        r.translate(kWorkArea.topLeft()); // relative to the work area, where the owner sits
    DWORD style = t.style & ~(WS_CHILD | WS_VISIBLE);
    HWND dialog = CreateWindowExW(t.exStyle, className.c_str(), t.title.c_str(), style, r.x(), r.y(), r.width(),
                                  r.height(), owner, nullptr, instance, nullptr);
    if (!dialog)
        return nullptr;
    auto state = std::make_shared<DialogState>();
    state->proc = proc;
    state->modal = modal;
    state->font = MakeTemplateFont(t);
    PeekWindowRecord(dialog)->dialog = state;
    if (stateOut)
        *stateOut = state;

    if (state->font)
        SendMessageW(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(state->font), 0);
    CreateControls(dialog, t, instance, state->font);
    if (!IsWindow(dialog))
        return nullptr;
    HWND focus = FirstTabStop(dialog);
    LRESULT setFocus = SendMessageW(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), param);
    if (!IsWindow(dialog))
        return nullptr;
    if (setFocus && focus && IsWindow(focus))
        SetFocus(focus);
    if (!modal && (t.style & WS_VISIBLE) && !state->ended)
        ShowWindow(dialog, SW_SHOW);
    return dialog;
}

} // namespace

void RegisterDialogClass()
{
    WNDCLASSW wc{};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = DialogWindowProc;
    wc.lpszClassName = kDialogClass;
    RegisterSystemClass(wc);
}

} // namespace lwuser

using namespace lwuser;

LRESULT DefDlgProcW(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    Window* w = FindWindowRecord(dialog);
    if (!w)
        return 0;
    std::shared_ptr<DialogState> state = w->dialog;
    if (state && state->proc) {
        state->msgResult = 0;
        BOOL handled = state->proc(dialog, message, wParam, lParam);
        if (handled) {
            if (AnswersDirectly(message))
                return handled;
            return state->msgResult;
        }
        if (!IsWindow(dialog))
            return 0;
    }
    return DefaultDialogProcessing(dialog, message, wParam, lParam);
}

HWND CreateDialogIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW dialogTemplate, HWND owner, DLGPROC dialogProc,
                                LPARAM param)
{
    EnsureApplication();
    return CreateDialogFromTemplate(instance, dialogTemplate, owner, dialogProc, param, false, nullptr);
}

INT_PTR DialogBoxIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW dialogTemplate, HWND owner, DLGPROC dialogProc,
                                LPARAM param)
{
    EnsureApplication();
    std::shared_ptr<DialogState> state;
    HWND dialog = CreateDialogFromTemplate(instance, dialogTemplate, owner, dialogProc, param, true, &state);
    if (!dialog)
        return state ? state->result : -1; // ended and destroyed during WM_INITDIALOG: its code
    PeekWindowRecord(dialog)->runsModalLoop = true;
    bool ownerEnabled = owner && IsWindowEnabled(owner);
    if (ownerEnabled)
        EnableWindow(owner, FALSE);
    if (!state->ended) {
        ShowWindow(dialog, SW_SHOW);
        UpdateWindow(dialog);
    }
    while (!state->ended && IsWindow(dialog)) {
        MSG msg;
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(msg.wParam)); // the outer loop ends too
            break;
        }
        if (got < 0)
            break;
        if (!IsDialogMessageW(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    if (ownerEnabled && IsWindow(owner))
        EnableWindow(owner, TRUE);
    if (IsWindow(dialog))
        DestroyWindow(dialog);
    return state->result;
}

BOOL EndDialog(HWND dialog, INT_PTR result)
{
    Window* w = FindWindowRecord(dialog);
    if (!w)
        return FALSE;
    if (!w->dialog) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    w->dialog->ended = true;
    w->dialog->result = result;
    if (w->dialog->modal) {
        // As on Windows: the owner comes back at once and the dialog is hidden,
        // so the owner is active again before the loop even returns.
        if (w->owner && IsWindow(w->owner))
            EnableWindow(w->owner, TRUE);
        ShowWindow(dialog, SW_HIDE);
    }
    // The loop looks at the flag after each message; called from outside any
    // message (a timer, a socket), this one makes it look.
    PostMessageW(dialog, WM_NULL, 0, 0);
    return TRUE;
}

BOOL IsDialogMessageW(HWND dialog, LPMSG msg)
{
    if (!msg || !PeekWindowRecord(dialog))
        return FALSE;
    if (msg->hwnd != dialog && !IsChild(dialog, msg->hwnd))
        return FALSE;
    bool key = msg->message == WM_KEYDOWN || msg->message == WM_CHAR;
    if (key) {
        LRESULT code = SendMessageW(msg->hwnd, WM_GETDLGCODE, msg->wParam, reinterpret_cast<LPARAM>(msg));
        if (!(code & (DLGC_WANTALLKEYS | DLGC_WANTMESSAGE))) {
            if (msg->message == WM_KEYDOWN && msg->wParam == VK_ESCAPE) {
                SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), reinterpret_cast<LPARAM>(FindChildById(dialog, IDCANCEL)));
                return TRUE;
            }
            if (msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN) {
                SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, 0), reinterpret_cast<LPARAM>(FindChildById(dialog, IDOK)));
                return TRUE;
            }
            if (msg->message == WM_CHAR && (msg->wParam == u'\r' || msg->wParam == 0x1B))
                return TRUE;
        }
    }
    TranslateMessage(msg);
    DispatchMessageW(msg);
    return TRUE;
}

HWND GetDlgItem(HWND dialog, int id)
{
    if (!FindWindowRecord(dialog))
        return nullptr;
    // Template ids are 16 bits: -1 and 65535 name the same control.
    HWND control = FindChildById(dialog, static_cast<UINT_PTR>(static_cast<WORD>(id)));
    if (!control && static_cast<WORD>(id) != static_cast<UINT_PTR>(id))
        control = FindChildById(dialog, static_cast<UINT_PTR>(id));
    if (!control)
        SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return control;
}

int GetDlgCtrlID(HWND window)
{
    Window* w = FindWindowRecord(window);
    if (!w)
        return 0;
    if (!(w->style & WS_CHILD)) {
        SetLastError(ERROR_NOT_CHILD_WINDOW);
        return 0;
    }
    return static_cast<int>(w->id);
}

LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND control = GetDlgItem(dialog, id);
    return control ? SendMessageW(control, message, wParam, lParam) : 0;
}

BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text)
{
    HWND control = GetDlgItem(dialog, id);
    return control ? SetWindowTextW(control, text) : FALSE;
}

UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR text, int size)
{
    if (text && size > 0)
        text[0] = 0;
    HWND control = GetDlgItem(dialog, id);
    return control ? static_cast<UINT>(GetWindowTextW(control, text, size)) : 0;
}

BOOL MapDialogRect(HWND dialog, LPRECT rect)
{
    if (!FindWindowRecord(dialog))
        return FALSE;
    if (!rect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    QRect r = DialogUnitsToPixels(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top);
    *rect = RECT{r.x(), r.y(), r.x() + r.width(), r.y() + r.height()};
    return TRUE;
}
