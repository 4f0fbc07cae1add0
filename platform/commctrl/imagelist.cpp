// Image lists: images of one size, kept as 32-bit pictures whose alpha is the
// mask, drawn with GDI onto any context.
#include <commctrl.h>

#include "gdi_qt.h"

#include <QPainter>

#include <algorithm>

#include <memory>
#include <set>
#include <vector>

struct _IMAGELIST {
    int cx = 0;
    int cy = 0;
    bool masked = false;
    std::vector<QImage> images;
};

namespace {

// Live image lists, so a stale or made-up handle is refused.
std::set<HIMAGELIST>& Lists()
{
    static auto* lists = new std::set<HIMAGELIST>;
    return *lists;
}

HIMAGELIST Checked(HIMAGELIST list)
{
    return list && Lists().count(list) ? list : nullptr;
}

// An image at the list's size; without a mask its transparent parts are black,
// as an image list without ILC_MASK shows them.
QImage Fitted(const HIMAGELIST list, const QImage& source)
{
    QImage image = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (image.size() != QSize(list->cx, list->cy))
        image = image.scaled(list->cx, list->cy, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (!list->masked) {
        QImage opaque(image.size(), QImage::Format_ARGB32_Premultiplied);
        opaque.fill(Qt::black);
        QPainter painter(&opaque);
        painter.drawImage(0, 0, image);
        painter.end();
        image = opaque;
    }
    return image;
}

} // namespace

HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int cInitial, int)
{
    if (cx <= 0 || cy <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* list = new _IMAGELIST;
    list->cx = cx;
    list->cy = cy;
    list->masked = (flags & ILC_MASK) != 0;
    list->images.reserve(static_cast<size_t>(std::clamp(cInitial, 0, 256)));
    Lists().insert(list);
    return list;
}

BOOL ImageList_Destroy(HIMAGELIST list)
{
    if (!Checked(list))
        return FALSE;
    Lists().erase(list);
    delete list;
    return TRUE;
}

int ImageList_GetImageCount(HIMAGELIST list)
{
    return Checked(list) ? static_cast<int>(list->images.size()) : 0;
}

BOOL ImageList_GetIconSize(HIMAGELIST list, int* cx, int* cy)
{
    if (!Checked(list) || !cx || !cy)
        return FALSE;
    *cx = list->cx;
    *cy = list->cy;
    return TRUE;
}

int ImageList_Add(HIMAGELIST list, HBITMAP image, HBITMAP mask)
{
    const QImage* bits = LwBitmapImage(image);
    const QImage* maskBits = mask ? LwBitmapImage(mask) : nullptr;
    if (!Checked(list) || !bits || (mask && !maskBits) || bits->width() < list->cx)
        return -1;
    int first = static_cast<int>(list->images.size());
    for (int x = 0; x + list->cx <= bits->width(); x += list->cx) {
        QImage part = bits->copy(x, 0, list->cx, bits->height()).convertToFormat(QImage::Format_ARGB32);
        if (maskBits) {
            // The mask's white pixels are the transparent ones.
            for (int y = 0; y < part.height(); ++y)
                for (int column = 0; column < part.width(); ++column)
                    if (maskBits->valid(x + column, y) && qGray(maskBits->pixel(x + column, y)) > 127)
                        part.setPixel(column, y, qRgba(0, 0, 0, 0));
        }
        list->images.push_back(Fitted(list, part));
    }
    return first;
}

int ImageList_ReplaceIcon(HIMAGELIST list, int index, HICON icon)
{
    const QImage* bits = LwIconImage(icon);
    if (!Checked(list) || !bits || index < -1 || index >= static_cast<int>(list->images.size()))
        return -1;
    QImage image = Fitted(list, *bits);
    if (index == -1) {
        list->images.push_back(std::move(image));
        return static_cast<int>(list->images.size()) - 1;
    }
    list->images[static_cast<size_t>(index)] = std::move(image);
    return index;
}

BOOL ImageList_Draw(HIMAGELIST list, int index, HDC dc, int x, int y, UINT style)
{
    if (!Checked(list) || index < 0 || index >= static_cast<int>(list->images.size()))
        return FALSE;
    QImage image = list->images[static_cast<size_t>(index)];
    if (style & ILD_MASK) {
        // The mask alone: black where the image shows.
        QImage mask(image.size(), QImage::Format_ARGB32_Premultiplied);
        mask.fill(Qt::transparent);
        QPainter painter(&mask);
        painter.drawImage(0, 0, image);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(mask.rect(), Qt::black);
        painter.end();
        image = mask;
    } else if (style & (ILD_BLEND25 | ILD_BLEND50)) {
        QPainter painter(&image);
        painter.setCompositionMode(QPainter::CompositionMode_SourceAtop);
        painter.setOpacity((style & ILD_BLEND50) ? 0.5 : 0.25);
        painter.fillRect(image.rect(), LwColor(GetSysColor(COLOR_HIGHLIGHT)));
        painter.end();
    }
    return LwDrawImage(dc, QRect(x, y, list->cx, list->cy), image) ? TRUE : FALSE;
}
