// The class table: every window class of the process, the program's and the
// platform's own, lives here. Each platform control registers its class
// through RegisterSystemClass (and may take it back through
// UnregisterSystemClass); the program's classes come through RegisterClassW.
#include "window.h"

#include <algorithm>

namespace lwuser {
namespace {

struct ClassTable {
    std::vector<std::unique_ptr<WindowClass>> classes;
    ATOM nextAtom = 0xC000;
};

ClassTable& classes()
{
    static ClassTable* t = new ClassTable;
    return *t;
}

bool SameName(const std::u16string& a, LPCWSTR b)
{
    return _wcsicmp(a.c_str(), b) == 0;
}

WindowClass* Lookup(LPCWSTR name)
{
    if (!name)
        return nullptr;
    auto& list = classes().classes;
    if (IS_INTRESOURCE(name)) {
        ATOM atom = static_cast<ATOM>(reinterpret_cast<uintptr_t>(name));
        for (auto& c : list)
            if (c->atom == atom)
                return c.get();
        return nullptr;
    }
    for (auto& c : list)
        if (SameName(c->name, name))
            return c.get();
    return nullptr;
}

WindowClass* AddClass(const WNDCLASSW& wc, bool system)
{
    auto c = std::make_unique<WindowClass>();
    c->name = wc.lpszClassName;
    c->style = wc.style;
    c->proc = wc.lpfnWndProc;
    c->classExtra = wc.cbClsExtra;
    c->windowExtra = wc.cbWndExtra;
    c->instance = wc.hInstance;
    c->icon = wc.hIcon;
    c->cursor = wc.hCursor;
    c->background = wc.hbrBackground;
    if (wc.lpszMenuName && !IS_INTRESOURCE(wc.lpszMenuName))
        c->menuName = wc.lpszMenuName;
    c->atom = classes().nextAtom++;
    c->system = system;
    WindowClass* raw = c.get();
    classes().classes.push_back(std::move(c));
    return raw;
}

// False with the last error set when the class is missing or still has windows.
bool RemoveClass(WindowClass* c)
{
    if (!c) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return false;
    }
    if (c->windows > 0) {
        SetLastError(ERROR_CLASS_HAS_WINDOWS);
        return false;
    }
    auto& list = classes().classes;
    list.erase(std::remove_if(list.begin(), list.end(), [c](auto& p) { return p.get() == c; }), list.end());
    return true;
}

} // namespace

// The controls of platform/user itself (dialog.cpp, static.cpp, msgbox.cpp).
void RegisterDialogClass();
void RegisterStaticClass();
void RegisterMessageBoxClass();

namespace {

// This library's own classes exist before any lookup, as they do on the device from start-up.
void EnsureSystemClasses()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    RegisterDialogClass();
    RegisterStaticClass();
    RegisterMessageBoxClass();
}

} // namespace

WindowClass* FindClass(LPCWSTR name)
{
    EnsureSystemClasses();
    return Lookup(name);
}

WindowClass* RegisterSystemClass(const WNDCLASSW& wc, Placement placement, QWidget* (*createWidget)(HWND, QWidget*))
{
    // No lookup that registers this library's classes: a library may register
    // its own at load, before anything else of the platform is ready.
    if (!wc.lpszClassName || Lookup(wc.lpszClassName))
        return nullptr;
    WindowClass* c = AddClass(wc, true);
    c->placement = placement;
    c->createWidget = createWidget;
    return c;
}

bool UnregisterSystemClass(LPCWSTR name)
{
    WindowClass* c = FindClass(name);
    if (c && !c->system) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return false;
    }
    return RemoveClass(c);
}

} // namespace lwuser

using namespace lwuser;

ATOM RegisterClassW(const WNDCLASSW* wc)
{
    if (!wc || !wc->lpfnWndProc || !wc->lpszClassName || IS_INTRESOURCE(wc->lpszClassName) ||
        !wc->lpszClassName[0] || wc->cbClsExtra < 0 || wc->cbWndExtra < 0 || wc->cbWndExtra > 256 ||
        wc->cbClsExtra > 256) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (FindClass(wc->lpszClassName)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    return AddClass(*wc, false)->atom;
}

BOOL UnregisterClassW(LPCWSTR className, HINSTANCE)
{
    WindowClass* c = FindClass(className);
    if (c && c->system) {
        // The platform's own classes stay; only their library takes them back.
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    return RemoveClass(c) ? TRUE : FALSE;
}

BOOL GetClassInfoW(HINSTANCE, LPCWSTR className, LPWNDCLASSW out)
{
    WindowClass* c = FindClass(className);
    if (!c) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    if (!out) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    out->style = c->style;
    out->lpfnWndProc = c->proc;
    out->cbClsExtra = c->classExtra;
    out->cbWndExtra = c->windowExtra;
    out->hInstance = c->instance;
    out->hIcon = c->icon;
    out->hCursor = c->cursor;
    out->hbrBackground = c->background;
    out->lpszMenuName = c->menuName.empty() ? nullptr : c->menuName.c_str();
    out->lpszClassName = c->name.c_str();
    return TRUE;
}

int GetClassNameW(HWND window, LPWSTR className, int size)
{
    Window* w = FindWindowRecord(window);
    if (!w)
        return 0;
    if (!className || size <= 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    StringCchCopyW(className, static_cast<size_t>(size), w->windowClass->name.c_str());
    return static_cast<int>(wcslen(className));
}
