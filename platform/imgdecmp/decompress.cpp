// The decoder entry over QImageReader, fed from the caller's read callback.
#include "imgdecmp.h"

#include <gdi_qt.h>

#include <QBuffer>
#include <QIODevice>
#include <QImageReader>

#include <algorithm>
#include <cstring>

namespace {

// All the memory one decode may take. A frame gets a quarter of it: the rest
// is for the decoder's own buffers (a progressive JPEG keeps its coefficients,
// up to six bytes a pixel) and one converted or scaled copy at a time.
constexpr qint64 kDecodeBudget = 64 * 1024 * 1024;
constexpr qint64 kFrameBudget = kDecodeBudget / 4;
// Qt's own limit, for the pixels it allocates while reading: twice the frame
// budget, as a 16-bit-per-channel PNG takes 8 bytes a pixel until reduced.
constexpr int kReaderLimitMB = static_cast<int>(2 * kFrameBudget / (1024 * 1024));
constexpr COLORREF kNoOverride = 0xFFFFFFFF;
// Qt's icon reader seeks through its file, so an icon is read whole first;
// icons are small, a bigger one is refused.
constexpr qint64 kMaxIconBytes = 1024 * 1024;
// A PNG is read whole first too, so that no chunk reaches libpng claiming
// more bytes than the file holds: libpng allocates and clears a chunk's
// claimed length before it reads it (a 1 GB claim in a file of a few
// hundred bytes cost seconds and a gigabyte). PNGs of help books are small.
constexpr qint64 kMaxPngBytes = 16 * 1024 * 1024;
constexpr int kPngSignature = 8;
constexpr int kPngChunkFrame = 12; // length, type, CRC

// The formats of the pictures help books hold, told by their first bytes.
// Every other reader Qt has, built in or a plug-in (PPM, XPM, SVG, TIFF,
// WebP, ...), is never reached: a hostile file cannot choose one.
struct Format {
    const char* magic;
    int length;
    const char* name;
};
const Format kFormats[] = {
    {"GIF87a", 6, "gif"},     {"GIF89a", 6, "gif"},     {"\xFF\xD8\xFF", 3, "jpeg"},
    {"\x89PNG\r\n\x1A\n", 8, "png"}, {"BM", 2, "bmp"},       {"\0\0\1\0", 4, "ico"},
    {"\0\0\2\0", 4, "cur"},     {"#define", 7, "xbm"},
};
constexpr int kLongestMagic = 8;

// The caller's file as Qt sees it: sequential, unbuffered, each callback call
// filling the caller's own buffer. Being sequential also keeps Qt's GIF reader
// from scanning every frame ahead of the first.
class CallbackDevice : public QIODevice {
public:
    explicit CallbackDevice(const DECOMPRESSIMAGEINFO& info)
        : info_(info), held_(std::min(info.dwBufferCurrent, info.dwBufferMax))
    {
    }
    bool isSequential() const override { return true; }
    // Sequential devices count only buffered bytes as available; the file goes
    // on until the callback has said otherwise.
    bool atEnd() const override { return ended_ && QIODevice::bytesAvailable() == 0 && used_ == held_; }
    qint64 bytesAvailable() const override { return QIODevice::bytesAvailable() + (held_ - used_); }

protected:
    // Fills the whole request unless the file ends: Qt's readers (QDataStream
    // among them) take a short read for the end of the data.
    qint64 readData(char* data, qint64 maxSize) override
    {
        qint64 done = 0;
        while (done < maxSize) {
            if (used_ == held_ && !Pull())
                break;
            qint64 n = std::min<qint64>(maxSize - done, held_ - used_);
            std::memcpy(data + done, info_.pbBuffer + used_, static_cast<size_t>(n));
            used_ += static_cast<DWORD>(n);
            done += n;
        }
        return done;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    bool Pull()
    {
        if (ended_)
            return false;
        DWORD got = info_.pfnGetData(reinterpret_cast<LPSTR>(info_.pbBuffer), info_.dwBufferMax, info_.lParam);
        // A callback claiming more than the buffer holds is believed only up to its size.
        held_ = std::min(got, info_.dwBufferMax);
        used_ = 0;
        ended_ = held_ == 0;
        return !ended_;
    }

    const DECOMPRESSIMAGEINFO& info_;
    DWORD held_;
    DWORD used_ = 0;
    bool ended_ = false;
};

bool ValidDepth(int depth)
{
    return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16 || depth == 24 || depth == 32;
}

bool ValidRecord(const DECOMPRESSIMAGEINFO* info)
{
    if (!info || info->dwSize != sizeof(DECOMPRESSIMAGEINFO) || !info->phBM)
        return false;
    if (!info->pbBuffer || info->dwBufferMax == 0 || !info->pfnGetData)
        return false;
    if (info->iScale < 1 || info->iScale > 100)
        return false;
    if (info->iBitDepth != 0 && !ValidDepth(info->iBitDepth))
        return false;
    return !info->hdc || GetObjectType(info->hdc) != 0;
}

bool TooLarge(QSize size)
{
    return qint64(size.width()) * size.height() * 4 > kFrameBudget;
}

// Lays every pixel over the background, in place: the bitmap has no alpha.
void Flatten(QImage* image, QColor background)
{
    if (!image->hasAlphaChannel()) {
        image->convertTo(QImage::Format_RGB32);
        return;
    }
    image->convertTo(QImage::Format_ARGB32);
    const int br = background.red(), bg = background.green(), bb = background.blue();
    for (int y = 0; y < image->height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image->scanLine(y));
        for (int x = 0; x < image->width(); ++x) {
            QRgb p = row[x];
            int a = qAlpha(p);
            row[x] = qRgb((qRed(p) * a + br * (255 - a)) / 255, (qGreen(p) * a + bg * (255 - a)) / 255,
                          (qBlue(p) * a + bb * (255 - a)) / 255);
        }
    }
    image->reinterpretAsFormat(QImage::Format_RGB32);
}

// The size the caller asked for: scaled by percent, then down to the bounds.
QSize TargetSize(QSize size, const DECOMPRESSIMAGEINFO& info)
{
    QSize scaled(std::max(1, int(qint64(size.width()) * info.iScale / 100)),
                 std::max(1, int(qint64(size.height()) * info.iScale / 100)));
    QSize bound(info.iMaxWidth > 0 ? info.iMaxWidth : scaled.width(),
                info.iMaxHeight > 0 ? info.iMaxHeight : scaled.height());
    if (scaled.width() <= bound.width() && scaled.height() <= bound.height())
        return scaled;
    QSize fitted = scaled.scaled(bound, Qt::KeepAspectRatio);
    return fitted.expandedTo(QSize(1, 1));
}

QImage GrayLevels(const QImage& image, int levels)
{
    QList<QRgb> table;
    for (int i = 0; i < levels; ++i) {
        int v = i * 255 / (levels - 1);
        table.append(qRgb(v, v, v));
    }
    return image.convertToFormat(QImage::Format_Indexed8, table, Qt::DiffuseDither);
}

// Reduces the pixels to what the depth holds. The GDI keeps 32 bits a pixel
// whatever the depth, so the result comes back in that form.
QImage ReduceDepth(QImage image, int depth)
{
    switch (depth) {
    case 1: image = image.convertToFormat(QImage::Format_Mono, Qt::DiffuseDither); break;
    case 2: image = GrayLevels(image, 4); break;
    case 4: image = GrayLevels(image, 16); break;
    case 8: image = image.convertToFormat(QImage::Format_Indexed8, Qt::DiffuseDither); break;
    case 16: image = image.convertToFormat(QImage::Format_RGB16); break;
    default: return image; // 24 and 32 bits hold every colour of an RGB32 image
    }
    return image.convertToFormat(QImage::Format_RGB32);
}

// The size a picture's header states. Qt's GIF reader finds sizes only by
// scanning a seekable file, so the logical screen is read here instead, before
// the reader takes anything from the device.
QSize StatedSize(QImageReader& reader, QIODevice& device)
{
    QByteArray header = device.peek(10);
    if (header.size() == 10 && header.startsWith("GIF8")) {
        auto byte = [&](int i) { return static_cast<unsigned char>(header[i]); };
        return QSize(byte(6) | byte(7) << 8, byte(8) | byte(9) << 8);
    }
    return reader.size();
}

// The PNG up to its first chunk that claims more than the file holds.
qsizetype WholeChunks(const QByteArray& png)
{
    qsizetype at = kPngSignature;
    while (at + kPngChunkFrame <= png.size()) {
        auto byte = [&](qsizetype i) { return quint32(static_cast<unsigned char>(png[at + i])); };
        quint32 length = byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
        if (length > quint64(png.size() - at - kPngChunkFrame))
            return at;
        at += kPngChunkFrame + qsizetype(length);
    }
    return png.size();
}

QByteArray FormatOf(const QByteArray& head)
{
    for (const Format& format : kFormats)
        if (head.size() >= format.length && memcmp(head.constData(), format.magic, size_t(format.length)) == 0)
            return format.name;
    return QByteArray();
}

// Qt's allocation limit is one for the process: set for one decode only.
class AllocationLimit {
public:
    explicit AllocationLimit(int mb) : saved_(QImageReader::allocationLimit()) { QImageReader::setAllocationLimit(mb); }
    ~AllocationLimit() { QImageReader::setAllocationLimit(saved_); }

private:
    int saved_;
};

HRESULT Decode(const DECOMPRESSIMAGEINFO& info, int depth, HBITMAP* bitmap)
{
    AllocationLimit limit(kReaderLimitMB);
    CallbackDevice device(info);
    device.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    QByteArray format = FormatOf(device.peek(kLongestMagic));
    if (format.isEmpty())
        return E_FAIL;
    QIODevice* source = &device;
    QByteArray whole;
    QBuffer wholeBuffer(&whole);
    bool icon = format == "ico" || format == "cur";
    if (icon || format == "png") {
        qint64 bound = icon ? kMaxIconBytes : kMaxPngBytes;
        whole = device.read(bound + 1);
        if (whole.size() > bound)
            return E_OUTOFMEMORY;
        if (!icon)
            whole.truncate(WholeChunks(whole));
        wholeBuffer.open(QIODevice::ReadOnly);
        source = &wholeBuffer;
    }
    QImageReader reader(source, format);
    reader.setAutoDetectImageFormat(false);
    QSize stated = StatedSize(reader, *source);
    if (stated.isValid() && TooLarge(stated))
        return E_OUTOFMEMORY;
    QImage image = reader.read(); // the first frame only
    if (image.isNull())
        return E_FAIL;
    if (TooLarge(image.size()))
        return E_OUTOFMEMORY;

    QColor background = info.crTransparentOverride == kNoOverride ? QColor(Qt::white)
                                                                  : LwColor(info.crTransparentOverride);
    Flatten(&image, background);
    QSize target = TargetSize(image.size(), info);
    if (target != image.size())
        image = image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    image = ReduceDepth(std::move(image), depth);
    if (image.isNull())
        return E_OUTOFMEMORY;
    *bitmap = LwCreateBitmapFromImage(image, depth);
    return *bitmap ? S_OK : E_OUTOFMEMORY;
}

} // namespace

HRESULT DecompressImageIndirect(DECOMPRESSIMAGEINFO* info)
{
    if (info && info->dwSize == sizeof(DECOMPRESSIMAGEINFO) && info->phBM)
        *info->phBM = nullptr;
    if (!ValidRecord(info))
        return E_INVALIDARG;
    if (info->ppImageRender)
        *info->ppImageRender = nullptr;
    int depth = info->iBitDepth ? info->iBitDepth : GetDeviceCaps(info->hdc, BITSPIXEL);
    HBITMAP bitmap = nullptr;
    HRESULT result = Decode(*info, depth, &bitmap);
    if (FAILED(result))
        return result;
    *info->phBM = bitmap;
    if (info->pfnImageProgress)
        info->pfnImageProgress(nullptr, TRUE, info->lParam);
    return S_OK;
}
