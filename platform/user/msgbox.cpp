// Message boxes: a modal layer with the text, an icon mark and one button per answer.
#include "window.h"

#include "gdi_qt.h"

#include <lwsettings.h>

#include <QApplication>
#include <QPushButton>
#include <QStyle>

#include <cstdio>
#include <cstdlib>

namespace lwuser {
namespace {

const char16_t kMessageBoxClass[] = u"MessageBox";
constexpr int kMargin = 8;
constexpr int kIconSize = 32;
constexpr int kButtonHeight = 24;

struct Button {
    int id;
    const char* text;
};

// The answers of each MB_ type, in their order on the box.
std::vector<Button> ButtonsOf(UINT type)
{
    switch (type & MB_TYPEMASK) {
    case MB_OK: return {{IDOK, "OK"}};
    case MB_OKCANCEL: return {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
    case MB_ABORTRETRYIGNORE: return {{IDABORT, "Abort"}, {IDRETRY, "Retry"}, {IDIGNORE, "Ignore"}};
    case MB_YESNOCANCEL: return {{IDYES, "Yes"}, {IDNO, "No"}, {IDCANCEL, "Cancel"}};
    case MB_YESNO: return {{IDYES, "Yes"}, {IDNO, "No"}};
    case MB_RETRYCANCEL: return {{IDRETRY, "Retry"}, {IDCANCEL, "Cancel"}};
    default: return {};
    }
}

// What the box's window and the MessageBoxW call share; it lives on the call's stack.
struct BoxState {
    std::u16string text;
    UINT type = 0;
    std::vector<Button> buttons;
    int defaultId = IDOK;
    bool done = false;
    int result = 0;
    HICON icon = nullptr;
};

BoxState* StateOf(HWND box)
{
    return reinterpret_cast<BoxState*>(GetWindowLongW(box, 0));
}

bool HasButton(const BoxState* state, int id)
{
    for (const Button& b : state->buttons)
        if (b.id == id)
            return true;
    return false;
}

void Answer(HWND box, int id)
{
    BoxState* state = StateOf(box);
    if (!state || !HasButton(state, id))
        return;
    state->result = id;
    state->done = true;
    PostMessageW(box, WM_NULL, 0, 0); // the loop looks at `done` after each message
}

// Escape (the Back key) and closing: Cancel when there is one, OK for a lone OK.
void Dismiss(HWND box)
{
    BoxState* state = StateOf(box);
    if (!state)
        return;
    if (HasButton(state, IDCANCEL))
        Answer(box, IDCANCEL);
    else if ((state->type & MB_TYPEMASK) == MB_OK)
        Answer(box, IDOK);
}

HICON IconOf(UINT type)
{
    QStyle::StandardPixmap which;
    switch (type & MB_ICONMASK) {
    case MB_ICONHAND: which = QStyle::SP_MessageBoxCritical; break;
    case MB_ICONQUESTION: which = QStyle::SP_MessageBoxQuestion; break;
    case MB_ICONEXCLAMATION: which = QStyle::SP_MessageBoxWarning; break;
    case MB_ICONASTERISK: which = QStyle::SP_MessageBoxInformation; break;
    default: return nullptr;
    }
    QImage image = QApplication::style()->standardIcon(which).pixmap(kIconSize, kIconSize).toImage();
    return image.isNull() ? nullptr : LwCreateIconFromImage(image);
}

LRESULT OnCreate(HWND box, const CREATESTRUCTW* create)
{
    auto* state = static_cast<BoxState*>(create->lpCreateParams);
    SetWindowLongW(box, 0, reinterpret_cast<LONG_PTR>(state));
    state->icon = IconOf(state->type);
    Window* w = PeekWindowRecord(box);
    if (!w || !w->widget)
        return 0;
    int count = static_cast<int>(state->buttons.size());
    int width = (w->rect.width() - kMargin * (count + 1)) / std::max(1, count);
    int y = w->rect.height() - kMargin - kButtonHeight;
    for (int i = 0; i < count; ++i) {
        auto* button = new QPushButton(QString::fromLatin1(state->buttons[static_cast<size_t>(i)].text), w->widget);
        button->setGeometry(kMargin + i * (width + kMargin), y, width, kButtonHeight);
        button->setFocusPolicy(Qt::NoFocus); // keys go to the box through the device
        int id = state->buttons[static_cast<size_t>(i)].id;
        button->setDefault(id == state->defaultId);
        QObject::connect(button, &QPushButton::clicked, [box, id] { PostMessageW(box, WM_COMMAND, id, 0); });
    }
    return 0;
}

void OnDestroy(HWND box)
{
    BoxState* state = StateOf(box);
    SetWindowLongW(box, 0, 0);
    if (state && state->icon) {
        DestroyIcon(state->icon);
        state->icon = nullptr;
    }
}

void OnPaint(HWND box)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(box, &paint);
    BoxState* state = StateOf(box);
    if (!dc || !state) {
        EndPaint(box, &paint);
        return;
    }
    RECT client;
    GetClientRect(box, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOW));
    int textLeft = kMargin;
    if (state->icon) {
        DrawIcon(dc, kMargin, kMargin, state->icon);
        textLeft += kIconSize + kMargin;
    }
    RECT text{textLeft, kMargin, client.right - kMargin, client.bottom - 2 * kMargin - kButtonHeight};
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    DrawTextW(dc, state->text.c_str(), -1, &text, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
    EndPaint(box, &paint);
}

void OnKey(HWND box, WPARAM key)
{
    if (key == VK_ESCAPE)
        Dismiss(box);
    else if (key == VK_RETURN)
        if (BoxState* state = StateOf(box))
            Answer(box, state->defaultId);
}

LRESULT CALLBACK MessageBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return OnCreate(box, reinterpret_cast<const CREATESTRUCTW*>(lParam));
    case WM_DESTROY:
        OnDestroy(box);
        return 0;
    case WM_PAINT:
        OnPaint(box);
        return 0;
    case WM_COMMAND:
        Answer(box, LOWORD(wParam));
        return 0;
    case WM_KEYDOWN:
        OnKey(box, wParam);
        return 0;
    case WM_CLOSE:
        Dismiss(box);
        return 0;
    default:
        return DefWindowProcW(box, message, wParam, lParam);
    }
}

// The test hook's record: texts with tab, newline and backslash escaped, so one box is one line.
std::string LogField(LPCWSTR text)
{
    std::string utf8 = text ? QString::fromUtf16(text).toStdString() : std::string();
    std::string out;
    for (char c : utf8) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out;
}

bool LogInstead(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    const char* path = getenv(LW_SETTING("MESSAGEBOX_LOG"));
    if (!path || !*path)
        return false;
    if (FILE* file = fopen(path, "a")) {
        fprintf(file, "%s\t%s\t0x%x\t0x%llx\n", LogField(caption).c_str(), LogField(text).c_str(), type,
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(owner)));
        fclose(file);
    }
    return true;
}

} // namespace

void RegisterMessageBoxClass()
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = MessageBoxProc;
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    wc.lpszClassName = kMessageBoxClass;
    RegisterSystemClass(wc);
}

} // namespace lwuser

using namespace lwuser;

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    BoxState state;
    state.buttons = ButtonsOf(type);
    if (state.buttons.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t defaultIndex = std::min<size_t>((type & MB_DEFMASK) >> 8, state.buttons.size() - 1);
    state.defaultId = state.buttons[defaultIndex].id;
    if (owner && !FindWindowRecord(owner))
        return 0;
    if (LogInstead(owner, text, caption, type))
        return state.defaultId;

    EnsureApplication();
    state.text = text ? text : u"";
    state.type = type;
    HWND top = owner ? TopLevelOf(owner) : nullptr;
    HWND box = CreateWindowExW(0, kMessageBoxClass, caption ? caption : u"Error", WS_POPUP, kWorkArea.x(),
                               kWorkArea.y(), kWorkArea.width(), kWorkArea.height(), top, nullptr, nullptr, &state);
    if (!box)
        return 0;
    PeekWindowRecord(box)->runsModalLoop = true;
    bool ownerEnabled = top && IsWindowEnabled(top);
    if (ownerEnabled)
        EnableWindow(top, FALSE);
    ShowWindow(box, SW_SHOW);
    while (!state.done && IsWindow(box)) {
        MSG msg;
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) {
            if (got == 0)
                PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (ownerEnabled && IsWindow(top))
        EnableWindow(top, TRUE);
    if (IsWindow(box))
        DestroyWindow(box);
    return state.result;
}
