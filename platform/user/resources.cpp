// Bitmaps and icons from the program's resources, and drawing icons.
#include "window.h"

#include "gdi_qt.h"

#include <cstring>
#include <map>

namespace {

// The data of a resource, or null with the resource's last error.
const void* ResourceData(HINSTANCE instance, LPCWSTR name, LPCWSTR type, DWORD* size)
{
    HRSRC resource = FindResourceW(instance, name, type);
    if (!resource)
        return nullptr;
    HGLOBAL loaded = LoadResource(instance, resource);
    *size = SizeofResource(instance, resource);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    return data;
}

QImage ImageOfPixels(int width, int height, const std::vector<uint32_t>& pixels, QImage::Format format)
{
    QImage image(width, height, format);
    if (image.isNull() || pixels.size() < static_cast<size_t>(width) * static_cast<size_t>(height))
        return QImage();
    for (int y = 0; y < height; ++y)
        std::memcpy(image.scanLine(y), pixels.data() + static_cast<size_t>(y) * width, static_cast<size_t>(width) * 4);
    return image;
}

// The image of an icon group's entry nearest to cx x cy; null with the last error set.
QImage LoadIconImage(HINSTANCE instance, LPCWSTR name, int cx, int cy)
{
    DWORD size = 0;
    const void* data = ResourceData(instance, name, RT_GROUP_ICON, &size);
    if (!data)
        return QImage();
    IconGroupTemplate group;
    int pick = ParseIconGroup(data, size, &group) ? PickIconGroupEntry(group, cx, cy) : -1;
    if (pick < 0) {
        SetLastError(ERROR_INVALID_DATA);
        return QImage();
    }
    data = ResourceData(instance, MAKEINTRESOURCEW(group.entries[static_cast<size_t>(pick)].id), RT_ICON, &size);
    if (!data)
        return QImage();
    IconImage icon;
    if (!ParseIconImage(data, size, &icon)) {
        SetLastError(ERROR_INVALID_DATA);
        return QImage();
    }
    QImage image = icon.png.empty()
                       ? ImageOfPixels(icon.width, icon.height, icon.pixels, QImage::Format_ARGB32)
                       : QImage::fromData(icon.png.data(), static_cast<int>(icon.png.size()), "PNG");
    if (image.isNull())
        SetLastError(ERROR_INVALID_DATA);
    return image;
}

} // namespace

HBITMAP LoadBitmapW(HINSTANCE instance, LPCWSTR name)
{
    lwuser::EnsureApplication();
    DWORD size = 0;
    const void* data = ResourceData(instance, name, RT_BITMAP, &size);
    if (!data)
        return nullptr;
    DibImage dib;
    QImage image;
    if (ParseDib(data, size, &dib))
        image = ImageOfPixels(dib.width, dib.height, dib.pixels, QImage::Format_RGB32);
    if (image.isNull()) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    return LwCreateBitmapFromImage(image, dib.bitsPerPixel);
}

HICON LoadIconW(HINSTANCE instance, LPCWSTR name)
{
    lwuser::EnsureApplication();
    // One shared handle per icon, as on Windows; only ids are cached (names are
    // never found in the resources anyway).
    static std::map<std::pair<HINSTANCE, uintptr_t>, HICON> shared;
    auto key = std::make_pair(instance, reinterpret_cast<uintptr_t>(name));
    if (IS_INTRESOURCE(name)) {
        auto it = shared.find(key);
        if (it != shared.end() && LwIconImage(it->second))
            return it->second;
    }
    QImage image = LoadIconImage(instance, name, GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
    if (image.isNull())
        return nullptr;
    HICON icon = LwCreateIconFromImage(image, true);
    if (IS_INTRESOURCE(name))
        shared[key] = icon;
    return icon;
}

HANDLE LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int cx, int cy, UINT)
{
    lwuser::EnsureApplication();
    if (type == IMAGE_BITMAP)
        return LoadBitmapW(instance, name);
    if (type != IMAGE_ICON) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    QImage image = LoadIconImage(instance, name, cx > 0 ? cx : GetSystemMetrics(SM_CXICON),
                                 cy > 0 ? cy : GetSystemMetrics(SM_CYICON));
    if (image.isNull())
        return nullptr;
    if (cx > 0 && cy > 0 && image.size() != QSize(cx, cy))
        image = image.scaled(cx, cy, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return LwCreateIconFromImage(image);
}

BOOL DestroyIcon(HICON icon)
{
    return LwDestroyIcon(icon);
}

BOOL DrawIconEx(HDC dc, int x, int y, HICON icon, int width, int height, UINT, HBRUSH, UINT)
{
    const QImage* image = LwIconImage(icon);
    if (!image)
        return FALSE;
    QSize size = (width > 0 && height > 0) ? QSize(width, height) : image->size();
    return LwDrawImage(dc, QRect(QPoint(x, y), size), *image) ? TRUE : FALSE;
}

BOOL DrawIcon(HDC dc, int x, int y, HICON icon)
{
    return DrawIconEx(dc, x, y, icon, 0, 0, 0, nullptr, DI_NORMAL);
}
