// GDI objects: the handle table, stock objects, brushes, bitmaps, fonts, icons
// and the system colours.
#include "gdi_qt.h"
#include "gdiobject.h"

#include <QFontMetrics>
#include <QGuiApplication>

#include <cstring>
#include <unordered_map>

namespace lwgdi {
namespace {

// One thread owns the user interface and every GDI object, as on the device;
// the table is not locked.
struct Table {
    std::unordered_map<uintptr_t, std::unique_ptr<Object>> objects;
    // Handles count up in steps of 16 from 0x1000, never reused, and stay well
    // below 2^31 so that they survive a trip through a BOOL or a LONG.
    uintptr_t next = 0x1000;
};

Table& table()
{
    static Table* t = new Table; // lives as long as the process; never torn down mid-exit
    return *t;
}

constexpr int kStockCount = 16;
HGDIOBJ stockObjects[kStockCount];
HBITMAP defaultBitmap;

QColor Rgb(int r, int g, int b) { return QColor(r, g, b); }

template <typename T>
HGDIOBJ MakeStock(std::unique_ptr<T> object)
{
    object->stock = true;
    return reinterpret_cast<HGDIOBJ>(Register(std::move(object)));
}

HGDIOBJ StockBrush(const QColor& color, bool hollow)
{
    auto brush = std::make_unique<Brush>();
    brush->color = color;
    brush->hollow = hollow;
    return MakeStock(std::move(brush));
}

HGDIOBJ StockPen(const QColor& color, bool hollow)
{
    auto pen = std::make_unique<Pen>();
    pen->color = color;
    pen->hollow = hollow;
    return MakeStock(std::move(pen));
}

void InitStock()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    stockObjects[WHITE_BRUSH] = StockBrush(Rgb(255, 255, 255), false);
    stockObjects[LTGRAY_BRUSH] = StockBrush(Rgb(192, 192, 192), false);
    stockObjects[GRAY_BRUSH] = StockBrush(Rgb(128, 128, 128), false);
    stockObjects[DKGRAY_BRUSH] = StockBrush(Rgb(64, 64, 64), false);
    stockObjects[BLACK_BRUSH] = StockBrush(Rgb(0, 0, 0), false);
    stockObjects[NULL_BRUSH] = StockBrush(Rgb(0, 0, 0), true);
    stockObjects[WHITE_PEN] = StockPen(Rgb(255, 255, 255), false);
    stockObjects[BLACK_PEN] = StockPen(Rgb(0, 0, 0), false);
    stockObjects[NULL_PEN] = StockPen(Rgb(0, 0, 0), true);
    auto font = std::make_unique<Font>();
    font->font = LwSystemFont();
    font->logFont.lfHeight = -font->font.pixelSize();
    font->logFont.lfWeight = FW_NORMAL;
    stockObjects[SYSTEM_FONT] = MakeStock(std::move(font));
    auto bitmap = std::make_unique<Bitmap>();
    bitmap->image = QImage(1, 1, QImage::Format_RGB32);
    bitmap->image.fill(Qt::black);
    bitmap->bitsPerPixel = 1;
    defaultBitmap = reinterpret_cast<HBITMAP>(MakeStock(std::move(bitmap)));
}

} // namespace

uintptr_t Register(std::unique_ptr<Object> object)
{
    Table& t = table();
    uintptr_t handle = t.next;
    t.next += 16;
    t.objects.emplace(handle, std::move(object));
    return handle;
}

Object* Lookup(const void* handle)
{
    InitStock();
    auto& objects = table().objects;
    auto it = objects.find(reinterpret_cast<uintptr_t>(handle));
    if (it == objects.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return it->second.get();
}

bool Unregister(const void* handle)
{
    return table().objects.erase(reinterpret_cast<uintptr_t>(handle)) != 0;
}

HBITMAP DefaultBitmap()
{
    InitStock();
    return defaultBitmap;
}

} // namespace lwgdi

using namespace lwgdi;

HGDIOBJ GetStockObject(int index)
{
    InitStock();
    if (index < 0 || index >= kStockCount || !stockObjects[index]) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return stockObjects[index];
}

BOOL DeleteObject(HGDIOBJ handle)
{
    Object* object = Lookup(handle);
    if (!object || object->kind == Kind::Dc || object->kind == Kind::Icon) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (object->stock)
        return TRUE;
    if (object->kind == Kind::Bitmap && static_cast<Bitmap*>(object)->selectedInto)
        return FALSE;
    // A brush, pen or font still selected somewhere would dangle; Windows refuses
    // those too.
    if (object->kind != Kind::Bitmap) {
        for (auto& [h, other] : table().objects) {
            if (other->kind != Kind::Dc)
                continue;
            auto* dc = static_cast<Dc*>(other.get());
            if (dc->brush == handle || dc->pen == handle || dc->font == handle)
                return FALSE;
        }
    }
    Unregister(handle);
    return TRUE;
}

DWORD GetObjectType(HGDIOBJ handle)
{
    Object* object = Lookup(handle);
    if (!object)
        return 0;
    switch (object->kind) {
    case Kind::Bitmap: return OBJ_BITMAP;
    case Kind::Brush: return OBJ_BRUSH;
    case Kind::Pen: return OBJ_PEN;
    case Kind::Font: return OBJ_FONT;
    case Kind::Dc: return static_cast<Dc*>(object)->target == Dc::Target::Memory ? OBJ_MEMDC : OBJ_DC;
    case Kind::Icon: break;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
}

namespace {

template <typename Record>
int CopyRecord(const Record& record, int size, LPVOID buffer)
{
    if (!buffer)
        return sizeof(Record);
    if (size < static_cast<int>(sizeof(Record)))
        return 0;
    std::memcpy(buffer, &record, sizeof(Record));
    return sizeof(Record);
}

} // namespace

int GetObjectW(HGDIOBJ handle, int size, LPVOID buffer)
{
    Object* object = Lookup(handle);
    if (!object)
        return 0;
    switch (object->kind) {
    case Kind::Bitmap: {
        auto* bitmap = static_cast<Bitmap*>(object);
        BITMAP record{};
        record.bmType = 0;
        record.bmWidth = bitmap->image.width();
        record.bmHeight = bitmap->image.height();
        // Device-dependent bitmaps pad their rows to 16 bits.
        record.bmWidthBytes = ((record.bmWidth * bitmap->bitsPerPixel + 15) / 16) * 2;
        record.bmPlanes = 1;
        record.bmBitsPixel = static_cast<WORD>(bitmap->bitsPerPixel);
        record.bmBits = nullptr;
        return CopyRecord(record, size, buffer);
    }
    case Kind::Brush: {
        auto* brush = static_cast<Brush*>(object);
        LOGBRUSH record{brush->hollow ? UINT(BS_NULL) : UINT(BS_SOLID), LwColorRef(brush->color), 0};
        return CopyRecord(record, size, buffer);
    }
    case Kind::Font:
        return CopyRecord(static_cast<Font*>(object)->logFont, size, buffer);
    default:
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
}

HBRUSH CreateSolidBrush(COLORREF color)
{
    auto brush = std::make_unique<Brush>();
    brush->color = LwColor(color);
    return reinterpret_cast<HBRUSH>(Register(std::move(brush)));
}

namespace {

// The largest bitmap we agree to make: the same cap as the resource parser's,
// so a hostile size cannot ask for gigabytes.
constexpr int kMaxBitmapSide = 16384;

bool ValidSize(int width, int height)
{
    return width > 0 && height > 0 && width <= kMaxBitmapSide && height <= kMaxBitmapSide;
}

QRgb ReadPixel(const BYTE* row, int x, UINT bits)
{
    switch (bits) {
    case 1:
        return (row[x / 8] & (0x80 >> (x % 8))) ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
    case 8:
        return qRgb(row[x], row[x], row[x]);
    case 16: {
        unsigned v = row[2 * x] | (row[2 * x + 1] << 8); // 5-6-5
        return qRgb(((v >> 11) & 31) * 255 / 31, ((v >> 5) & 63) * 255 / 63, (v & 31) * 255 / 31);
    }
    case 24:
        return qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
    default:
        return qRgb(row[4 * x + 2], row[4 * x + 1], row[4 * x]);
    }
}

} // namespace

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits)
{
    bool knownDepth = bitsPerPixel == 1 || bitsPerPixel == 8 || bitsPerPixel == 16 ||
                      bitsPerPixel == 24 || bitsPerPixel == 32;
    if (!ValidSize(width, height) || planes != 1 || !knownDepth) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    image.fill(Qt::black);
    if (bits) {
        size_t stride = ((size_t(width) * bitsPerPixel + 15) / 16) * 2;
        const BYTE* data = static_cast<const BYTE*>(bits);
        for (int y = 0; y < height; ++y) {
            auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < width; ++x)
                out[x] = ReadPixel(data + stride * y, x, bitsPerPixel);
        }
    }
    return LwCreateBitmapFromImage(image, static_cast<int>(bitsPerPixel));
}

HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height)
{
    if (dc && !LookupAs<Dc>(dc, Kind::Dc))
        return nullptr;
    if (!ValidSize(width, height)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    image.fill(Qt::black);
    return LwCreateBitmapFromImage(image, 32);
}

HFONT CreateFontIndirectW(const LOGFONTW* logFont)
{
    if (!logFont) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto font = std::make_unique<Font>();
    font->logFont = *logFont;
    font->logFont.lfFaceName[LF_FACESIZE - 1] = 0;
    QFont qfont = LwSystemFont();
    if (logFont->lfFaceName[0]) {
        qfont.setFamilies({QString::fromUtf16(font->logFont.lfFaceName), qfont.family()});
    }
    LONG height = logFont->lfHeight;
    if (height < 0)
        qfont.setPixelSize(static_cast<int>(-height));
    else if (height > 0)
        qfont.setPixelSize(std::max(1, static_cast<int>(height) * 4 / 5)); // cell to character height
    if (logFont->lfWeight >= FW_BOLD)
        qfont.setBold(true);
    qfont.setItalic(logFont->lfItalic != 0);
    qfont.setUnderline(logFont->lfUnderline != 0);
    qfont.setStrikeOut(logFont->lfStrikeOut != 0);
    font->font = qfont;
    return reinterpret_cast<HFONT>(Register(std::move(font)));
}

// ---- system colours -------------------------------------------------------------

namespace {

struct SysColor {
    int index;
    COLORREF color;
};

// The device's light scheme: white windows and dialogs, black text.
constexpr SysColor kSysColors[] = {
    {COLOR_SCROLLBAR, RGB(192, 192, 192)},   {COLOR_BACKGROUND, RGB(255, 255, 255)},
    {COLOR_ACTIVECAPTION, RGB(0, 0, 128)},   {COLOR_INACTIVECAPTION, RGB(128, 128, 128)},
    {COLOR_MENU, RGB(255, 255, 255)},        {COLOR_WINDOW, RGB(255, 255, 255)},
    {COLOR_WINDOWFRAME, RGB(0, 0, 0)},       {COLOR_MENUTEXT, RGB(0, 0, 0)},
    {COLOR_WINDOWTEXT, RGB(0, 0, 0)},        {COLOR_CAPTIONTEXT, RGB(255, 255, 255)},
    {COLOR_HIGHLIGHT, RGB(0, 0, 128)},       {COLOR_HIGHLIGHTTEXT, RGB(255, 255, 255)},
    {COLOR_BTNFACE, RGB(192, 192, 192)},     {COLOR_BTNSHADOW, RGB(128, 128, 128)},
    {COLOR_GRAYTEXT, RGB(128, 128, 128)},    {COLOR_BTNTEXT, RGB(0, 0, 0)},
    {COLOR_STATIC, RGB(255, 255, 255)},      {COLOR_STATICTEXT, RGB(0, 0, 0)},
};

const SysColor* FindSysColor(int index)
{
    for (const SysColor& c : kSysColors)
        if (c.index == index)
            return &c;
    return nullptr;
}

} // namespace

DWORD GetSysColor(int index)
{
    const SysColor* c = FindSysColor(index);
    return c ? c->color : 0;
}

HBRUSH GetSysColorBrush(int index)
{
    static std::unordered_map<int, HBRUSH> brushes;
    const SysColor* c = FindSysColor(index);
    if (!c)
        return nullptr;
    auto it = brushes.find(index);
    if (it != brushes.end())
        return it->second;
    auto brush = std::make_unique<Brush>();
    brush->color = LwColor(c->color);
    brush->stock = true;
    HBRUSH handle = reinterpret_cast<HBRUSH>(Register(std::move(brush)));
    brushes.emplace(index, handle);
    return handle;
}

// ---- the Qt side ------------------------------------------------------------------

HBITMAP LwCreateBitmapFromImage(const QImage& image, int bitsPerPixel)
{
    if (image.isNull()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto bitmap = std::make_unique<Bitmap>();
    bitmap->image = image.hasAlphaChannel() ? image.convertToFormat(QImage::Format_ARGB32)
                                            : image.convertToFormat(QImage::Format_RGB32);
    bitmap->bitsPerPixel = bitsPerPixel;
    return reinterpret_cast<HBITMAP>(Register(std::move(bitmap)));
}

const QImage* LwBitmapImage(HBITMAP handle)
{
    auto* bitmap = LookupAs<Bitmap>(handle, Kind::Bitmap);
    return bitmap ? &bitmap->image : nullptr;
}

HICON LwCreateIconFromImage(const QImage& image, bool shared)
{
    if (image.isNull()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto icon = std::make_unique<Icon>();
    icon->image = image.convertToFormat(QImage::Format_ARGB32);
    icon->stock = shared;
    return reinterpret_cast<HICON>(Register(std::move(icon)));
}

const QImage* LwIconImage(HICON handle)
{
    auto* icon = LookupAs<Icon>(handle, Kind::Icon);
    return icon ? &icon->image : nullptr;
}

BOOL LwDestroyIcon(HICON handle)
{
    auto* icon = LookupAs<Icon>(handle, Kind::Icon);
    if (!icon)
        return FALSE;
    if (!icon->stock)
        Unregister(handle);
    return TRUE;
}

QColor LwColor(COLORREF color)
{
    return QColor(GetRValue(color), GetGValue(color), GetBValue(color));
}

COLORREF LwColorRef(const QColor& color)
{
    return RGB(color.red(), color.green(), color.blue());
}

QFont LwSystemFont()
{
    QFont font = QGuiApplication::font();
    font.setPixelSize(12);
    return font;
}

bool LwBrushColor(HBRUSH handle, QColor* color, bool* hollow)
{
    auto value = reinterpret_cast<uintptr_t>(handle);
    // FillRect's convention: a small number is a system colour index plus one.
    if (value > 0 && value <= 64) {
        const SysColor* c = FindSysColor(static_cast<int>(value) - 1);
        if (!c)
            return false;
        *color = LwColor(c->color);
        *hollow = false;
        return true;
    }
    auto* brush = LookupAs<Brush>(handle, Kind::Brush);
    if (!brush)
        return false;
    *color = brush->color;
    *hollow = brush->hollow;
    return true;
}

DWORD LwGdiObjectCount()
{
    DWORD count = 0;
    for (const auto& [handle, object] : table().objects)
        if (!object->stock && object->kind != Kind::Icon)
            ++count;
    return count;
}
