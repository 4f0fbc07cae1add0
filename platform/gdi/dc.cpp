// Device contexts: memory contexts over bitmaps, window contexts over a
// window's surface, and the drawing calls on them.
#include "gdi_qt.h"
#include "gdiobject.h"

#include <QFontMetrics>
#include <QPainter>

using namespace lwgdi;

namespace lwgdi {

QImage* TargetImage(Dc* dc)
{
    switch (dc->target) {
    case Dc::Target::Surface:
        return dc->surface.get();
    case Dc::Target::Memory: {
        Object* object = Lookup(dc->bitmap);
        return object && object->kind == Kind::Bitmap ? &static_cast<Bitmap*>(object)->image : nullptr;
    }
    case Dc::Target::None:
        break;
    }
    return nullptr;
}

} // namespace lwgdi

namespace {

Dc* LookupDc(HDC handle)
{
    return LookupAs<Dc>(handle, Kind::Dc);
}

HDC NewDc(std::unique_ptr<Dc> dc)
{
    dc->brush = reinterpret_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    dc->pen = reinterpret_cast<HPEN>(GetStockObject(BLACK_PEN));
    dc->font = reinterpret_cast<HFONT>(GetStockObject(SYSTEM_FONT));
    return reinterpret_cast<HDC>(Register(std::move(dc)));
}

} // namespace

HDC CreateCompatibleDC(HDC reference)
{
    if (reference && !LookupDc(reference))
        return nullptr;
    auto dc = std::make_unique<Dc>();
    dc->target = Dc::Target::Memory;
    dc->bitmap = DefaultBitmap();
    return NewDc(std::move(dc));
}

namespace {

void ReleaseBitmapOf(Dc* dc)
{
    if (dc->target != Dc::Target::Memory)
        return;
    Object* object = Lookup(dc->bitmap);
    if (object && object->kind == Kind::Bitmap && !object->stock)
        static_cast<Bitmap*>(object)->selectedInto = nullptr;
}

} // namespace

BOOL DeleteDC(HDC handle)
{
    Dc* dc = LookupDc(handle);
    if (!dc || dc->target != Dc::Target::Memory) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    ReleaseBitmapOf(dc);
    Unregister(handle);
    return TRUE;
}

HDC LwCreateSurfaceDC(std::shared_ptr<QImage> surface)
{
    auto dc = std::make_unique<Dc>();
    dc->target = Dc::Target::Surface;
    dc->surface = std::move(surface);
    return NewDc(std::move(dc));
}

HDC LwCreateStateDC()
{
    auto dc = std::make_unique<Dc>();
    dc->target = Dc::Target::None;
    return NewDc(std::move(dc));
}

BOOL LwReleaseSurfaceDC(HDC handle)
{
    Dc* dc = LookupDc(handle);
    if (!dc || dc->target == Dc::Target::Memory) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Unregister(handle);
    return TRUE;
}

HGDIOBJ SelectObject(HDC handle, HGDIOBJ objectHandle)
{
    Dc* dc = LookupDc(handle);
    if (!dc)
        return nullptr;
    Object* object = Lookup(objectHandle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    HGDIOBJ previous = nullptr;
    switch (object->kind) {
    case Kind::Bitmap: {
        auto* bitmap = static_cast<Bitmap*>(object);
        // Only memory contexts hold bitmaps, and a bitmap sits in one context at a time.
        if (dc->target != Dc::Target::Memory ||
            (bitmap->selectedInto && bitmap->selectedInto != handle)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        ReleaseBitmapOf(dc);
        previous = dc->bitmap;
        dc->bitmap = static_cast<HBITMAP>(objectHandle);
        if (!bitmap->stock)
            bitmap->selectedInto = handle;
        break;
    }
    case Kind::Brush:
        previous = dc->brush;
        dc->brush = static_cast<HBRUSH>(objectHandle);
        break;
    case Kind::Pen:
        previous = dc->pen;
        dc->pen = static_cast<HPEN>(objectHandle);
        break;
    case Kind::Font:
        previous = dc->font;
        dc->font = static_cast<HFONT>(objectHandle);
        break;
    default:
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return previous;
}

HGDIOBJ GetCurrentObject(HDC handle, UINT type)
{
    Dc* dc = LookupDc(handle);
    if (!dc)
        return nullptr;
    switch (type) {
    case OBJ_BITMAP: return dc->target == Dc::Target::Memory ? dc->bitmap : nullptr;
    case OBJ_BRUSH: return dc->brush;
    case OBJ_PEN: return dc->pen;
    case OBJ_FONT: return dc->font;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
}

int SetBkMode(HDC handle, int mode)
{
    Dc* dc = LookupDc(handle);
    if (!dc)
        return 0;
    if (mode != TRANSPARENT && mode != OPAQUE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    int previous = dc->bkMode;
    dc->bkMode = mode;
    return previous;
}

int GetBkMode(HDC handle)
{
    Dc* dc = LookupDc(handle);
    return dc ? dc->bkMode : 0;
}

COLORREF SetBkColor(HDC handle, COLORREF color)
{
    Dc* dc = LookupDc(handle);
    if (!dc)
        return CLR_INVALID;
    COLORREF previous = dc->bkColor;
    dc->bkColor = color & 0xFFFFFF;
    return previous;
}

COLORREF GetBkColor(HDC handle)
{
    Dc* dc = LookupDc(handle);
    return dc ? dc->bkColor : CLR_INVALID;
}

COLORREF SetTextColor(HDC handle, COLORREF color)
{
    Dc* dc = LookupDc(handle);
    if (!dc)
        return CLR_INVALID;
    COLORREF previous = dc->textColor;
    dc->textColor = color & 0xFFFFFF;
    return previous;
}

COLORREF GetTextColor(HDC handle)
{
    Dc* dc = LookupDc(handle);
    return dc ? dc->textColor : CLR_INVALID;
}

namespace {

// Paints on a context's image, or reports why it cannot.
bool Target(HDC handle, Dc** dc, QImage** image)
{
    *dc = LookupDc(handle);
    if (!*dc)
        return false;
    *image = TargetImage(*dc);
    return true; // a context without an image (state only) draws nothing and succeeds
}

bool FillWithBrush(QImage* image, const QRect& rect, HBRUSH brush)
{
    QColor color;
    bool hollow = false;
    if (!LwBrushColor(brush, &color, &hollow)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if (!hollow && image && !rect.isEmpty()) {
        QPainter painter(image);
        painter.fillRect(rect, color);
    }
    return true;
}

} // namespace

BOOL StretchBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
                int sourceWidth, int sourceHeight, DWORD rop)
{
    Dc* destDc;
    QImage* destImage;
    if (!Target(dest, &destDc, &destImage))
        return FALSE;
    QRect destRect(x, y, width, height);
    switch (rop) {
    case BLACKNESS:
    case WHITENESS:
        if (destImage && !destRect.isEmpty()) {
            QPainter painter(destImage);
            painter.fillRect(destRect, rop == BLACKNESS ? Qt::black : Qt::white);
        }
        return TRUE;
    case PATCOPY:
        return FillWithBrush(destImage, destRect, destDc->brush);
    case SRCCOPY:
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Dc* sourceDc;
    QImage* sourceImage;
    if (!Target(source, &sourceDc, &sourceImage))
        return FALSE;
    if (!destImage || !sourceImage || width <= 0 || height <= 0 || sourceWidth <= 0 || sourceHeight <= 0)
        return TRUE;
    QRect sourceRect(sourceX, sourceY, sourceWidth, sourceHeight);
    if (sourceImage == destImage) {
        QImage copy = sourceImage->copy(sourceRect);
        QPainter painter(destImage);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(destRect, copy);
        return TRUE;
    }
    QPainter painter(destImage);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    if (sourceRect.size() != destRect.size())
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(destRect, *sourceImage, sourceRect);
    return TRUE;
}

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX, int sourceY, DWORD rop)
{
    return StretchBlt(dest, x, y, width, height, source, sourceX, sourceY, width, height, rop);
}

BOOL TransparentImage(HDC dest, int x, int y, int width, int height, HANDLE source, int sourceX, int sourceY,
                      int sourceWidth, int sourceHeight, COLORREF transparent)
{
    Dc* destDc;
    QImage* destImage;
    if (!Target(dest, &destDc, &destImage))
        return FALSE;
    const QImage* sourceImage = nullptr;
    Object* object = Lookup(source);
    if (object && object->kind == Kind::Dc)
        sourceImage = TargetImage(static_cast<Dc*>(object));
    else if (object && object->kind == Kind::Bitmap)
        sourceImage = &static_cast<Bitmap*>(object)->image;
    else {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (width <= 0 || height <= 0 || sourceWidth <= 0 || sourceHeight <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!destImage || !sourceImage)
        return TRUE;
    QImage part = sourceImage->copy(sourceX, sourceY, sourceWidth, sourceHeight)
                      .scaled(width, height, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                      .convertToFormat(QImage::Format_ARGB32);
    QRgb key = LwColor(transparent).rgb() & 0xFFFFFF;
    for (int row = 0; row < part.height(); ++row) {
        auto* pixels = reinterpret_cast<QRgb*>(part.scanLine(row));
        for (int column = 0; column < part.width(); ++column)
            if ((pixels[column] & 0xFFFFFF) == key)
                pixels[column] = 0;
    }
    QPainter painter(destImage);
    painter.drawImage(x, y, part);
    return TRUE;
}

int FillRect(HDC handle, const RECT* rect, HBRUSH brush)
{
    Dc* dc;
    QImage* image;
    if (!Target(handle, &dc, &image))
        return 0;
    if (!rect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    QRect area(QPoint(rect->left, rect->top), QPoint(rect->right - 1, rect->bottom - 1));
    return FillWithBrush(image, area, brush) ? 1 : 0;
}

COLORREF SetPixel(HDC handle, int x, int y, COLORREF color)
{
    Dc* dc;
    QImage* image;
    if (!Target(handle, &dc, &image) || !image || !image->valid(x, y))
        return CLR_INVALID;
    image->setPixel(x, y, LwColor(color).rgb());
    return color & 0xFFFFFF;
}

COLORREF GetPixel(HDC handle, int x, int y)
{
    Dc* dc;
    QImage* image;
    if (!Target(handle, &dc, &image) || !image || !image->valid(x, y))
        return CLR_INVALID;
    return LwColorRef(QColor(image->pixel(x, y)));
}

bool LwDrawImage(HDC handle, const QRect& target, const QImage& source)
{
    Dc* dc;
    QImage* image;
    if (!Target(handle, &dc, &image))
        return false;
    if (image && !target.isEmpty() && !source.isNull()) {
        QPainter painter(image);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, source);
    }
    return true;
}

// ---- text -----------------------------------------------------------------------

QFont LwContextFont(HDC handle)
{
    Dc* dc = LookupDc(handle);
    if (dc) {
        Object* object = Lookup(dc->font);
        if (object && object->kind == Kind::Font)
            return static_cast<Font*>(object)->font;
    }
    return LwSystemFont();
}

LwTextState LwContextTextState(HDC handle)
{
    LwTextState state;
    state.text = Qt::black;
    state.background = Qt::white;
    if (Dc* dc = LookupDc(handle)) {
        state.text = LwColor(dc->textColor);
        state.background = LwColor(dc->bkColor);
        state.opaque = dc->bkMode == OPAQUE;
    }
    return state;
}

namespace {

int QtTextFlags(UINT format)
{
    int flags = 0;
    if (format & DT_CENTER)
        flags |= Qt::AlignHCenter;
    else if (format & DT_RIGHT)
        flags |= Qt::AlignRight;
    else
        flags |= Qt::AlignLeft;
    // As on Windows, vertical placement applies to single lines only.
    if ((format & DT_SINGLELINE) && (format & DT_VCENTER))
        flags |= Qt::AlignVCenter;
    else if ((format & DT_SINGLELINE) && (format & DT_BOTTOM))
        flags |= Qt::AlignBottom;
    else
        flags |= Qt::AlignTop;
    if (format & DT_SINGLELINE)
        flags |= Qt::TextSingleLine;
    else if (format & DT_WORDBREAK)
        flags |= Qt::TextWordWrap;
    if (format & DT_EXPANDTABS)
        flags |= Qt::TextExpandTabs;
    return flags;
}

QString TextOf(LPCWSTR text, int length)
{
    if (!text)
        return QString();
    if (length < 0)
        return QString::fromUtf16(text);
    return QString::fromUtf16(text, length);
}

} // namespace

int DrawTextW(HDC handle, LPCWSTR text, int length, RECT* rect, UINT format)
{
    Dc* dc;
    QImage* image;
    if (!Target(handle, &dc, &image))
        return 0;
    if (!rect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    QString string = TextOf(text, length);
    QFont font = LwContextFont(handle);
    QFontMetrics metrics(font);
    QRect box(QPoint(rect->left, rect->top), QPoint(rect->right - 1, rect->bottom - 1));
    int flags = QtTextFlags(format);
    QRect needed = metrics.boundingRect(box, flags, string);
    if (format & DT_CALCRECT) {
        rect->right = rect->left + needed.width();
        rect->bottom = rect->top + needed.height();
        return needed.height();
    }
    if (image) {
        QPainter painter(image);
        if (!(format & DT_NOCLIP))
            painter.setClipRect(box);
        painter.setFont(font);
        if (dc->bkMode == OPAQUE)
            painter.fillRect(needed, LwColor(dc->bkColor));
        painter.setPen(LwColor(dc->textColor));
        painter.drawText(box, flags, string);
    }
    return needed.height();
}

BOOL ExtTextOutW(HDC handle, int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT length,
                 const int* dx)
{
    Dc* dc;
    QImage* image;
    if (!Target(handle, &dc, &image))
        return FALSE;
    QString string = TextOf(text, static_cast<int>(length));
    QFont font = LwContextFont(handle);
    QFontMetrics metrics(font);
    if (image) {
        QPainter painter(image);
        painter.setFont(font);
        QRect textBox(x, y, metrics.horizontalAdvance(string), metrics.height());
        if (dc->bkMode == OPAQUE)
            painter.fillRect(textBox, LwColor(dc->bkColor));
        painter.setPen(LwColor(dc->textColor));
        painter.drawText(QPoint(x, y + metrics.ascent()), string);
    }
    return TRUE;
}

BOOL GetTextExtentPoint32W(HDC handle, LPCWSTR text, int length, SIZE* size)
{
    if (!LookupDc(handle))
        return FALSE;
    if (!size || length < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    QFontMetrics metrics(LwContextFont(handle));
    size->cx = metrics.horizontalAdvance(TextOf(text, length));
    size->cy = metrics.height();
    return TRUE;
}

BOOL GetTextMetricsW(HDC handle, LPTEXTMETRICW out)
{
    if (!LookupDc(handle))
        return FALSE;
    if (!out) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    QFont font = LwContextFont(handle);
    QFontMetrics metrics(font);
    *out = TEXTMETRICW{};
    out->tmHeight = metrics.height();
    out->tmAscent = metrics.ascent();
    out->tmDescent = metrics.descent();
    out->tmExternalLeading = metrics.leading();
    out->tmAveCharWidth = metrics.averageCharWidth();
    out->tmMaxCharWidth = metrics.maxWidth();
    out->tmWeight = font.bold() ? FW_BOLD : FW_NORMAL;
    out->tmItalic = font.italic() ? 1 : 0;
    out->tmFirstChar = 0x20;
    out->tmLastChar = 0xFFFD;
    out->tmDefaultChar = u'?';
    out->tmBreakChar = u' ';
    return TRUE;
}

int GetDeviceCaps(HDC handle, int index)
{
    if (handle && !LookupDc(handle))
        return 0;
    switch (index) {
    case HORZRES: return 240;
    case VERTRES: return 320;
    case BITSPIXEL: return 32;
    case PLANES: return 1;
    case LOGPIXELSX:
    case LOGPIXELSY: return 96;
    default: return 0;
    }
}
