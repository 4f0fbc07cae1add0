// System cursors. The device shows no pointer; only the wait cursor shows, as
// the desktop's busy cursor over the whole program.
#include "window.h"

#include "gdi_qt.h"

#include <QApplication>
#include <QCursor>

#include <map>

namespace {

std::map<uintptr_t, HCURSOR>& cursors()
{
    static auto* c = new std::map<uintptr_t, HCURSOR>;
    return *c;
}

bool KnownCursorId(uintptr_t id)
{
    switch (id) {
    case 32512: case 32513: case 32514: case 32515: case 32516: case 32640: case 32641: case 32642:
    case 32643: case 32644: case 32645: case 32646: case 32648: case 32649: case 32650: case 32651:
        return true;
    default:
        return false;
    }
}

uintptr_t IdOf(HCURSOR cursor)
{
    for (auto& [id, handle] : cursors())
        if (handle == cursor)
            return id;
    return 0;
}

HCURSOR current;
bool busyShown = false;

} // namespace

HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name)
{
    auto id = reinterpret_cast<uintptr_t>(name);
    if (instance || !IS_INTRESOURCE(name) || !KnownCursorId(id)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    lwuser::EnsureApplication();
    HCURSOR& cursor = cursors()[id];
    if (!cursor) {
        QImage image(1, 1, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        cursor = LwCreateIconFromImage(image, true);
    }
    return cursor;
}

HCURSOR SetCursor(HCURSOR cursor)
{
    uintptr_t id = 0;
    if (cursor && !(id = IdOf(cursor))) {
        SetLastError(ERROR_INVALID_CURSOR_HANDLE);
        return nullptr;
    }
    lwuser::EnsureApplication();
    HCURSOR previous = current;
    current = cursor;
    bool busy = id == 32514;
    if (busy && !busyShown)
        QApplication::setOverrideCursor(QCursor(Qt::BusyCursor));
    else if (!busy && busyShown)
        QApplication::restoreOverrideCursor();
    busyShown = busy;
    return previous;
}

HCURSOR GetCursor()
{
    return current;
}
