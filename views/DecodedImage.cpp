#include "DecodedImage.h"

namespace {

// The decoder's fixed parameters.
constexpr int kScale = 100;
constexpr int kMaxWidth = 10000;
constexpr int kMaxHeight = 10000;
constexpr DWORD kReadBufferSize = 1024;
constexpr COLORREF kNoTransparentOverride = 0xFFFFFFFF;
// The colour Draw takes to mean "the default transparent colour".
constexpr COLORREF kDefaultColourMarker = 0xC0C0C0;

} // namespace

DecodedImage::DecodedImage() : height(0), width(0), memoryDC(nullptr), bitmap(nullptr) {}

DecodedImage::~DecodedImage()
{
    Discard();
}

void DecodedImage::Discard()
{
    // Until a picture is decoded the context holds the screen-sized bitmap,
    // which is ours to delete too. The context goes first: a bitmap cannot be
    // deleted while selected.
    HGDIOBJ selected = memoryDC ? GetCurrentObject(memoryDC, OBJ_BITMAP) : nullptr;
    if (memoryDC)
        DeleteDC(memoryDC);
    if (selected && selected != bitmap)
        DeleteObject(selected);
    if (bitmap)
        DeleteObject(bitmap);
    memoryDC = nullptr;
    bitmap = nullptr;
    height = width = 0;
    name.Assign(nullptr);
}

bool DecodedImage::Decode(HDC dc, LPCWSTR path)
{
    if (bitmap) {
        if (name.Length() != 0 && name.Equals(path))
            return true;
        // The old bitmap is selected in the memory context; both go, and the
        // context is made anew below.
        Discard();
    }
    if (!memoryDC) {
        memoryDC = CreateCompatibleDC(dc);
        // A screen-sized bitmap gives the context the display's format.
        HBITMAP screen = CreateCompatibleBitmap(dc, GetDeviceCaps(dc, HORZRES), GetDeviceCaps(dc, VERTRES));
        SelectObject(memoryDC, screen);
    }
    if (!memoryDC)
        return false; // not a context to decode for
    BYTE buffer[kReadBufferSize] = {};
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;

    HBITMAP decoded = nullptr;
    DECOMPRESSIMAGEINFO info = {};
    info.dwSize = sizeof info; // 60 on the device
    info.pbBuffer = buffer;
    info.dwBufferMax = kReadBufferSize;
    info.dwBufferCurrent = 0;
    info.phBM = &decoded;
    info.ppImageRender = nullptr;
    info.iBitDepth = GetDeviceCaps(dc, BITSPIXEL);
    info.lParam = reinterpret_cast<LPARAM>(file);
    info.hdc = memoryDC;
    info.iScale = kScale;
    info.iMaxWidth = kMaxWidth;
    info.iMaxHeight = kMaxHeight;
    info.pfnGetData = ReadImageData;
    info.pfnImageProgress = ImageProgress;
    info.crTransparentOverride = kNoTransparentOverride;
    HRESULT result = DecompressImageIndirect(&info);
    CloseHandle(file);

    // No bitmap is a failure, whatever the decoder said: the page then shows
    // its failed-image mark instead of an image of undefined size.
    if (FAILED(result) || !decoded) {
        if (decoded)
            DeleteObject(decoded);
        return false;
    }
    HGDIOBJ previous = SelectObject(memoryDC, decoded);
    if (previous)
        DeleteObject(previous);
    bitmap = decoded;
    BITMAP record = {};
    GetObjectW(bitmap, sizeof record, &record);
    width = record.bmWidth;
    height = record.bmHeight;
    name.Assign(path);
    return true;
}

DWORD CALLBACK DecodedImage::ReadImageData(LPSTR buffer, DWORD size, LPARAM user)
{
    HANDLE file = reinterpret_cast<HANDLE>(user);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD read = 0;
    if (!ReadFile(file, buffer, size, &read, nullptr))
        return 0;
    return read;
}

void CALLBACK DecodedImage::ImageProgress(IImageRender*, BOOL, LPARAM) {}

COLORREF DecodedImage::DefaultTransparentColour() const
{
    return memoryDC ? RGB(255, 255, 255) : RGB(0, 0, 0);
}

HBITMAP DecodedImage::Render(int drawWidth, int drawHeight, int canvasWidth, int canvasHeight)
{
    if (!bitmap)
        return nullptr;
    BITMAP record = {};
    GetObjectW(bitmap, sizeof record, &record);
    // Single precision, the division first, the product truncated: the sizes
    // the device gives.
    if (drawWidth == -1) {
        if (drawHeight == -1) {
            drawWidth = record.bmWidth;
            drawHeight = record.bmHeight;
        } else {
            drawWidth = static_cast<int>(static_cast<float>(record.bmWidth) / record.bmHeight * drawHeight);
        }
    } else if (drawHeight == -1) {
        drawHeight = static_cast<int>(static_cast<float>(record.bmHeight) / record.bmWidth * drawWidth);
    }
    if (canvasWidth == -1 || canvasHeight == -1)
        canvasWidth = canvasHeight = drawWidth >= drawHeight ? drawWidth : drawHeight;

    HBITMAP canvas = CreateCompatibleBitmap(memoryDC, canvasWidth, canvasHeight);
    if (!canvas)
        return nullptr;
    HDC scratch = CreateCompatibleDC(memoryDC);
    HGDIOBJ original = SelectObject(scratch, canvas);
    RECT all = {0, 0, canvasWidth, canvasHeight};
    FillRect(scratch, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    // White pixels of the image are left out and show the white canvas.
    Draw(scratch, 0, 0, drawWidth, drawHeight, DefaultTransparentColour());
    SelectObject(scratch, original);
    DeleteDC(scratch);
    return canvas;
}

BOOL DecodedImage::Draw(HDC dc, int x, int y, int drawWidth, int drawHeight, COLORREF transparent)
{
    if (!bitmap)
        return FALSE;
    if (drawWidth == -1)
        drawWidth = width;
    if (drawHeight == -1)
        drawHeight = height;
    if (transparent == kDefaultColourMarker)
        transparent = DefaultTransparentColour();
    return TransparentImage(dc, x, y, drawWidth, drawHeight, memoryDC, 0, 0, width, height, transparent);
}
