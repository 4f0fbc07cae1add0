// The GDI's handle table: every object the GDI hands out, by kind.
// Private to platform/gdi.
#pragma once

#include <wingdi.h>

#include <QColor>
#include <QFont>
#include <QImage>

#include <memory>

namespace lwgdi {

enum class Kind { Bitmap, Brush, Pen, Font, Dc, Icon };

struct Object {
    explicit Object(Kind k) : kind(k) {}
    virtual ~Object() = default;
    Kind kind;
    bool stock = false;
};

struct Bitmap : Object {
    Bitmap() : Object(Kind::Bitmap) {}
    QImage image;          // Format_RGB32 or Format_ARGB32
    int bitsPerPixel = 32; // as created, for GetObjectW
    HDC selectedInto = nullptr;
};

struct Brush : Object {
    Brush() : Object(Kind::Brush) {}
    bool hollow = false;
    QColor color;
};

struct Pen : Object {
    Pen() : Object(Kind::Pen) {}
    bool hollow = false;
    QColor color;
};

struct Font : Object {
    Font() : Object(Kind::Font) {}
    QFont font;
    LOGFONTW logFont{};
};

struct Icon : Object {
    Icon() : Object(Kind::Icon) {}
    QImage image; // Format_ARGB32
};

struct Dc : Object {
    Dc() : Object(Kind::Dc) {}
    enum class Target { Memory, Surface, None } target = Target::Memory;
    std::shared_ptr<QImage> surface; // Target::Surface
    HBITMAP bitmap = nullptr;        // Target::Memory
    HBRUSH brush = nullptr;
    HPEN pen = nullptr;
    HFONT font = nullptr;
    int bkMode = OPAQUE;
    COLORREF bkColor = RGB(255, 255, 255);
    COLORREF textColor = RGB(0, 0, 0);
};

// Registers an object and returns its new handle (never reused).
uintptr_t Register(std::unique_ptr<Object> object);
// The live object of a handle, of the wanted kind, or null (ERROR_INVALID_HANDLE set).
Object* Lookup(const void* handle);
template <typename T>
T* LookupAs(const void* handle, Kind kind)
{
    Object* object = Lookup(handle);
    if (!object || object->kind != kind) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return static_cast<T*>(object);
}
// Removes and frees an object; false when the handle is not live.
bool Unregister(const void* handle);

// The 1 x 1 bitmap every new memory context starts with.
HBITMAP DefaultBitmap();
// The image a context draws on, or null (a memory context holding the default
// bitmap has a 1 x 1 image).
QImage* TargetImage(Dc* dc);

} // namespace lwgdi
