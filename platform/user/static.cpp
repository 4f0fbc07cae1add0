// The static control (class "static"): text, icon, bitmap and rectangle
// styles, painted with GDI in its own WM_PAINT.
#include "window.h"

namespace lwuser {
namespace {

// What a static keeps besides its window record; attached at WM_CREATE (extra
// window bytes, slot 0) and detached at WM_DESTROY before it is freed.
struct StaticState {
    HICON icon = nullptr;   // SS_ICON: shared, never destroyed here
    HBITMAP bitmap = nullptr;
    bool ownsBitmap = false; // loaded from the text: ours to delete
};

StaticState* StateOf(HWND window)
{
    return reinterpret_cast<StaticState*>(GetWindowLongW(window, 0));
}

DWORD TypeOf(HWND window)
{
    return static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)) & SS_TYPEMASK;
}

// The resource a static's text names: an ordinal from a dialog template
// (0xFFFF, id), "#id", or a name.
LPCWSTR ResourceName(LPCWSTR text, WORD* ordinal)
{
    if (!text)
        return nullptr;
    if (IS_INTRESOURCE(text))
        return text;
    if (text[0] == 0xFFFF)
        return MAKEINTRESOURCEW(text[1]);
    if (text[0] == u'#') {
        unsigned value = 0;
        for (const WCHAR* p = text + 1; *p >= u'0' && *p <= u'9' && value < 0x10000; ++p)
            value = value * 10 + (*p - u'0');
        *ordinal = static_cast<WORD>(value);
        return MAKEINTRESOURCEW(*ordinal);
    }
    return text;
}

void LoadImageFromText(HWND window, StaticState* state, HINSTANCE instance, LPCWSTR text)
{
    WORD ordinal = 0;
    LPCWSTR name = ResourceName(text, &ordinal);
    if (!name)
        return;
    DWORD style = static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE));
    if (TypeOf(window) == SS_ICON) {
        state->icon = LoadIconW(instance, name);
        if (state->icon && !(style & SS_CENTERIMAGE)) {
            // An icon static takes the icon's size, as on Windows.
            if (Window* w = PeekWindowRecord(window))
                MoveWindow(window, w->rect.x(), w->rect.y(), GetSystemMetrics(SM_CXICON),
                           GetSystemMetrics(SM_CYICON), FALSE);
        }
    } else if (TypeOf(window) == SS_BITMAP) {
        state->bitmap = LoadBitmapW(instance, name);
        state->ownsBitmap = state->bitmap != nullptr;
    }
}

LRESULT OnCreate(HWND window, const CREATESTRUCTW* create)
{
    auto* state = new StaticState;
    SetWindowLongW(window, 0, reinterpret_cast<LONG_PTR>(state));
    DWORD type = static_cast<DWORD>(create->style) & SS_TYPEMASK;
    if (type == SS_ICON || type == SS_BITMAP)
        LoadImageFromText(window, state, create->hInstance, create->lpszName);
    return 0;
}

void OnDestroy(HWND window)
{
    StaticState* state = StateOf(window);
    SetWindowLongW(window, 0, 0);
    if (state && state->ownsBitmap)
        DeleteObject(state->bitmap);
    delete state;
}

void DrawImage(HDC dc, const RECT& client, StaticState* state, DWORD style)
{
    int width = 0, height = 0;
    if (state->icon) {
        width = GetSystemMetrics(SM_CXICON);
        height = GetSystemMetrics(SM_CYICON);
    } else if (state->bitmap) {
        BITMAP info;
        if (GetObjectW(state->bitmap, sizeof info, &info)) {
            width = info.bmWidth;
            height = info.bmHeight;
        }
    }
    int x = 0, y = 0;
    if (style & SS_CENTERIMAGE) {
        x = (client.right - width) / 2;
        y = (client.bottom - height) / 2;
    }
    if (state->icon) {
        DrawIconEx(dc, x, y, state->icon, 0, 0, 0, nullptr, DI_NORMAL);
    } else if (state->bitmap) {
        HDC memory = CreateCompatibleDC(dc);
        HGDIOBJ previous = SelectObject(memory, state->bitmap);
        BitBlt(dc, x, y, width, height, memory, 0, 0, SRCCOPY);
        SelectObject(memory, previous);
        DeleteDC(memory);
    }
}

UINT TextFormat(DWORD style)
{
    UINT format = (style & SS_NOPREFIX) ? DT_NOPREFIX : 0;
    switch (style & SS_TYPEMASK) {
    case SS_CENTER: format |= DT_CENTER | DT_WORDBREAK; break;
    case SS_RIGHT: format |= DT_RIGHT | DT_WORDBREAK; break;
    case SS_LEFTNOWORDWRAP: format |= DT_LEFT | DT_EXPANDTABS; break;
    default: format |= DT_LEFT | DT_WORDBREAK; break;
    }
    // One line, centred vertically; the horizontal alignment stays.
    if (style & SS_CENTERIMAGE)
        format = (format & ~DT_WORDBREAK) | DT_SINGLELINE | DT_VCENTER;
    return format;
}

void OnPaint(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (!dc)
        return;
    DWORD style = static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE));
    RECT client;
    GetClientRect(window, &client);
    DWORD type = style & SS_TYPEMASK;
    if (type == SS_BLACKRECT || type == SS_GRAYRECT || type == SS_WHITERECT) {
        int color = type == SS_BLACKRECT ? COLOR_WINDOWFRAME : type == SS_GRAYRECT ? COLOR_BTNSHADOW : COLOR_WINDOW;
        FillRect(dc, &client, GetSysColorBrush(color));
        EndPaint(window, &paint);
        return;
    }
    // The parent chooses the colours, as the dialog procedures expect.
    HWND parent = GetParent(window);
    auto brush = reinterpret_cast<HBRUSH>(
        parent ? SendMessageW(parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(window))
               : DefWindowProcW(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(window)));
    if (!brush)
        brush = GetSysColorBrush(COLOR_STATIC);
    FillRect(dc, &client, brush);
    StaticState* state = StateOf(window);
    if (type == SS_ICON || type == SS_BITMAP) {
        if (state)
            DrawImage(dc, client, state, style);
    } else {
        int length = GetWindowTextLengthW(window);
        std::u16string text(static_cast<size_t>(length) + 1, u'\0');
        GetWindowTextW(window, text.data(), length + 1);
        HGDIOBJ previousFont = nullptr;
        if (auto font = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)))
            previousFont = SelectObject(dc, font);
        if (style & WS_DISABLED)
            SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
        DrawTextW(dc, text.c_str(), -1, &client, TextFormat(style));
        if (previousFont)
            SelectObject(dc, previousFont);
    }
    EndPaint(window, &paint);
}

LRESULT SetImage(HWND window, UINT type, HANDLE image)
{
    StaticState* state = StateOf(window);
    if (!state)
        return 0;
    HANDLE previous = nullptr;
    if (type == IMAGE_ICON) {
        previous = state->icon;
        state->icon = static_cast<HICON>(image);
    } else if (type == IMAGE_BITMAP) {
        previous = state->bitmap;
        if (state->ownsBitmap)
            DeleteObject(state->bitmap), previous = nullptr;
        state->bitmap = static_cast<HBITMAP>(image);
        state->ownsBitmap = false;
    } else {
        return 0;
    }
    InvalidateRect(window, nullptr, TRUE);
    return reinterpret_cast<LRESULT>(previous);
}

LRESULT GetImage(HWND window, UINT type)
{
    StaticState* state = StateOf(window);
    if (!state)
        return 0;
    return type == IMAGE_ICON ? reinterpret_cast<LRESULT>(state->icon) : reinterpret_cast<LRESULT>(state->bitmap);
}

void OnTap(HWND window)
{
    if (!(GetWindowLongW(window, GWL_STYLE) & SS_NOTIFY))
        return;
    SendMessageW(GetParent(window), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(window), STN_CLICKED),
                 reinterpret_cast<LPARAM>(window));
}

LRESULT CALLBACK StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return OnCreate(window, reinterpret_cast<const CREATESTRUCTW*>(lParam));
    case WM_DESTROY:
        OnDestroy(window);
        return 0;
    case WM_PAINT:
        OnPaint(window);
        return 0;
    case WM_ERASEBKGND:
        return 1; // WM_PAINT fills the whole control
    case WM_SETTEXT:
    case WM_SETFONT: {
        LRESULT result = DefWindowProcW(window, message, wParam, lParam);
        InvalidateRect(window, nullptr, TRUE);
        return result;
    }
    case WM_ENABLE:
        InvalidateRect(window, nullptr, TRUE);
        return 0;
    case STM_SETICON:
        return SetImage(window, IMAGE_ICON, reinterpret_cast<HANDLE>(wParam));
    case STM_GETICON:
        return GetImage(window, IMAGE_ICON);
    case STM_SETIMAGE:
        return SetImage(window, static_cast<UINT>(wParam), reinterpret_cast<HANDLE>(lParam));
    case STM_GETIMAGE:
        return GetImage(window, static_cast<UINT>(wParam));
    case WM_LBUTTONUP:
        OnTap(window);
        return 0;
    case WM_GETDLGCODE:
        return DLGC_STATIC;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace

void RegisterStaticClass()
{
    WNDCLASSW wc{};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = StaticProc;
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.lpszClassName = u"static";
    RegisterSystemClass(wc);
    RegisterMessageName(u"static", STM_SETICON, "STM_SETICON");
    RegisterMessageName(u"static", STM_GETICON, "STM_GETICON");
    RegisterMessageName(u"static", STM_SETIMAGE, "STM_SETIMAGE");
    RegisterMessageName(u"static", STM_GETIMAGE, "STM_GETIMAGE");
}

} // namespace lwuser
