// The image decoder entry: how it pulls the file through the callback, the
// bitmap it makes, and what it refuses.
#include "../support/images.h"

#include <imgdecmp.h>
#include <lwdevice.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include <sys/resource.h>

using namespace lwtest;

namespace {

// The caller's side: a file in memory handed out through the callback, and a
// record of every call.
struct Feed {
    QByteArray file;
    qsizetype position = 0;
    std::vector<DWORD> asked;
    std::vector<LPSTR> buffers;
    DWORD overclaim = 0; // added to every count returned, as a broken callback would
    int progress = 0;

    static DWORD CALLBACK Read(LPSTR buffer, DWORD size, LPARAM user)
    {
        Feed* feed = reinterpret_cast<Feed*>(user);
        feed->asked.push_back(size);
        feed->buffers.push_back(buffer);
        DWORD n = static_cast<DWORD>(std::min<qsizetype>(size, feed->file.size() - feed->position));
        memcpy(buffer, feed->file.constData() + feed->position, n);
        feed->position += n;
        return n ? n + feed->overclaim : 0;
    }
    static void CALLBACK Progress(IImageRender* render, BOOL complete, LPARAM user)
    {
        EXPECT_EQ(render, nullptr);
        EXPECT_TRUE(complete);
        reinterpret_cast<Feed*>(user)->progress++;
    }
};

class Decoder : public ::testing::Test {
protected:
    void SetUp() override
    {
        LwDeviceStart();
        objectsAtStart = LwGdiObjectCount();
        info.dwSize = sizeof info;
        info.pbBuffer = buffer;
        info.dwBufferMax = sizeof buffer;
        info.phBM = &bitmap;
        info.iBitDepth = 32;
        info.lParam = reinterpret_cast<LPARAM>(&feed);
        info.iScale = 100;
        info.iMaxWidth = 10000;
        info.iMaxHeight = 10000;
        info.pfnGetData = Feed::Read;
        info.pfnImageProgress = Feed::Progress;
        info.crTransparentOverride = 0xFFFFFFFF;
    }
    void TearDown() override
    {
        if (bitmap)
            DeleteObject(bitmap);
        EXPECT_EQ(LwGdiObjectCount(), objectsAtStart) << "a GDI object leaked";
    }
    HRESULT Run(const QByteArray& file, DWORD overclaim = 0)
    {
        if (bitmap)
            DeleteObject(bitmap);
        bitmap = reinterpret_cast<HBITMAP>(1); // must be cleared on failure
        feed = Feed{};
        feed.file = file;
        feed.overclaim = overclaim;
        return DecompressImageIndirect(&info);
    }
    BITMAP Record() const
    {
        BITMAP record{};
        GetObjectW(bitmap, sizeof record, &record);
        return record;
    }
    COLORREF Pixel(int x, int y) const { return BitmapPixel(bitmap, x, y); }

    DWORD objectsAtStart = 0;
    BYTE buffer[64];
    HBITMAP bitmap = nullptr;
    Feed feed;
    DECOMPRESSIMAGEINFO info{};
};

bool NearWithin(COLORREF a, COLORREF b, int tolerance)
{
    return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance && std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
           std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

bool Near(COLORREF a, COLORREF b)
{
    return NearWithin(a, b, 12);
}

} // namespace

TEST_F(Decoder, EachFormatThroughTheCallerBuffer)
{
    QImage halves = Halves(16, 8, Qt::red, Qt::blue);
    GifPicture gif;
    gif.width = 16, gif.height = 8;
    gif.index = [](int x, int) { return x < 8 ? 1 : 2; };
    const std::pair<const char*, QByteArray> files[] = {
        {"GIF", Gif(gif)},
        {"PNG", Encode(halves, "PNG")},
        {"JPEG", Encode(halves, "JPG")},
        {"BMP", Encode(halves, "BMP")},
        {"ICO", Encode(halves, "ICO")},
    };
    for (const auto& [format, file] : files) {
        SCOPED_TRACE(format);
        ASSERT_EQ(Run(file), S_OK);
        ASSERT_NE(bitmap, nullptr);
        BITMAP record = Record();
        EXPECT_EQ(record.bmWidth, 16);
        EXPECT_EQ(record.bmHeight, 8);
        EXPECT_EQ(record.bmBitsPixel, 32);
        EXPECT_PRED2(Near, Pixel(2, 2), RGB(255, 0, 0));
        EXPECT_PRED2(Near, Pixel(13, 5), RGB(0, 0, 255));
        // Pulled through the caller's buffer, in its size, to the end at most once.
        for (size_t i = 0; i < feed.asked.size(); ++i) {
            EXPECT_EQ(feed.asked[i], sizeof buffer);
            EXPECT_EQ(feed.buffers[i], reinterpret_cast<LPSTR>(buffer));
        }
        EXPECT_EQ(feed.progress, 1);
    }

    // Bytes the caller left in the buffer come first; a render object asked
    // for is not made, the bitmap still is.
    QByteArray png = Encode(halves, "PNG");
    memcpy(buffer, png.constData(), 8);
    info.dwBufferCurrent = 8;
    IImageRender* render = reinterpret_cast<IImageRender*>(1);
    info.ppImageRender = &render;
    ASSERT_EQ(Run(png.mid(8)), S_OK);
    EXPECT_EQ(render, nullptr);
    EXPECT_EQ(Record().bmWidth, 16);
}

TEST_F(Decoder, ScalesByPercentAndDownToTheBoundsNeverUp)
{
    QByteArray png = Encode(Halves(200, 100, Qt::red, Qt::blue), "PNG");
    struct Case {
        int scale, maxWidth, maxHeight, width, height;
    } cases[] = {
        {100, 10000, 10000, 200, 100}, {100, 50, 50, 50, 25},   {100, 400, 20, 40, 20},
        {50, 10000, 10000, 100, 50},   {50, 80, 10000, 80, 40}, {100, 0, 0, 200, 100},
        {1, 10000, 10000, 2, 1},       {100, 0, 20, 40, 20},    {100, 20, 0, 20, 10}, // one bound alone
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.scale << "% within " << c.maxWidth << " x " << c.maxHeight);
        info.iScale = c.scale, info.iMaxWidth = c.maxWidth, info.iMaxHeight = c.maxHeight;
        ASSERT_EQ(Run(png), S_OK);
        EXPECT_EQ(Record().bmWidth, c.width);
        EXPECT_EQ(Record().bmHeight, c.height);
    }
}

TEST_F(Decoder, DepthAndTransparency)
{
    QImage grey(4, 4, QImage::Format_RGB32);
    grey.fill(qRgb(100, 150, 200));
    QByteArray png = Encode(grey, "PNG");
    for (int depth : {1, 2, 4, 8, 16, 24, 32}) {
        SCOPED_TRACE(depth);
        info.iBitDepth = depth;
        ASSERT_EQ(Run(png), S_OK);
        EXPECT_EQ(Record().bmBitsPixel, depth);
        COLORREF c = Pixel(1, 1);
        if (depth == 1)
            EXPECT_TRUE(c == RGB(0, 0, 0) || c == RGB(255, 255, 255));
        else if (depth <= 4)
            EXPECT_TRUE(GetRValue(c) == GetGValue(c) && GetGValue(c) == GetBValue(c)) << "grey levels";
        else if (depth >= 24)
            EXPECT_EQ(c, RGB(100, 150, 200));
        else
            EXPECT_PRED3(NearWithin, c, RGB(100, 150, 200), 8);
    }
    // 0: the depth of the context (the screen's 32 bits).
    info.iBitDepth = 0;
    ASSERT_EQ(Run(png), S_OK);
    EXPECT_EQ(Record().bmBitsPixel, 32);

    // Transparent pixels lie on white, or on the override colour.
    info.iBitDepth = 32;
    GifPicture gif;
    gif.width = 2;
    gif.index = [](int x, int) { return x; };
    gif.transparentIndex = 0;
    ASSERT_EQ(Run(Gif(gif)), S_OK);
    EXPECT_EQ(Pixel(0, 0), RGB(255, 255, 255));
    EXPECT_EQ(Pixel(1, 0), RGB(255, 0, 0));
    info.crTransparentOverride = RGB(0, 255, 0);
    ASSERT_EQ(Run(Gif(gif)), S_OK);
    EXPECT_EQ(Pixel(0, 0), RGB(0, 255, 0));
    // A half-transparent black PNG pixel over white is mid grey.
    info.crTransparentOverride = 0xFFFFFFFF;
    QImage translucent(1, 1, QImage::Format_ARGB32);
    translucent.fill(qRgba(0, 0, 0, 128));
    ASSERT_EQ(Run(Encode(translucent, "PNG")), S_OK);
    EXPECT_PRED3(NearWithin, Pixel(0, 0), RGB(127, 127, 127), 2);
}

TEST_F(Decoder, BombsAreRefusedWithinTheBudget)
{
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);

    // A few hundred bytes claiming 30,000 x 30,000: refused from the header.
    QByteArray png = PngClaiming(30000, 30000);
    EXPECT_EQ(Run(png), E_OUTOFMEMORY);
    EXPECT_EQ(bitmap, nullptr);
    GifPicture huge;
    huge.screenWidth = huge.screenHeight = 30000;
    EXPECT_EQ(Run(Gif(huge)), E_OUTOFMEMORY);
    EXPECT_EQ(bitmap, nullptr);
    EXPECT_LT(feed.position, 1024);

    // Every other format's header claiming as much: refused before its pixels.
    EXPECT_EQ(Run(JpegClaiming(30000, 30000)), E_OUTOFMEMORY);
    EXPECT_EQ(Run(XbmClaiming(30000, 30000)), E_OUTOFMEMORY);
    EXPECT_EQ(Run(BmpClaiming(30000, 30000)), E_FAIL) << "Qt's reader finds the file too short for its header";
    // A PNG chunk claiming a gigabyte in a file of a few hundred bytes ends the
    // file there: libpng never allocates what it claims.
    QByteArray claims = Encode(Halves(4, 4, Qt::red, Qt::blue), "PNG");
    claims.insert(33, QByteArray("\x3B\x00\x00\x17tEXtSoftware", 16));
    EXPECT_EQ(Run(claims), E_FAIL);

    // An icon whose 1,000 entries are that PNG fails.
    EXPECT_TRUE(FAILED(Run(IconOf(1000, png))));

    // 10,000 frames: only the first is read.
    GifPicture frames;
    frames.width = frames.height = 8;
    frames.frames = 10000;
    QByteArray animation = Gif(frames);
    EXPECT_EQ(Run(animation), S_OK);
    EXPECT_EQ(Record().bmWidth, 8);
    EXPECT_LT(feed.position, 16 * 1024) << "of " << animation.size() << " bytes";

    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024) << "kilobytes";

    // Files read whole are bounded by their size (their bytes take more than
    // the budget above, in this test): an icon past 1 MB, a PNG past 16 MB.
    EXPECT_EQ(Run(IconOf(1, QByteArray(2 << 20, 'x'))), E_OUTOFMEMORY);
    EXPECT_EQ(Run(QByteArray(17 << 20, '\0').prepend("\x89PNG\r\n\x1A\n")), E_OUTOFMEMORY);
}

// Only the formats of help books are read, whatever readers Qt has.
TEST_F(Decoder, FormatsHelpBooksNeverUseAreNotRead)
{
    QImage halves = Halves(16, 8, Qt::black, Qt::white);
    ASSERT_EQ(Run(Encode(halves, "XBM")), S_OK);
    EXPECT_EQ(Record().bmWidth, 16);
    for (const char* format : {"PPM", "PGM", "PBM", "XPM"}) {
        QByteArray file = Encode(halves, format);
        ASSERT_FALSE(file.isEmpty()) << format;
        EXPECT_EQ(Run(file), E_FAIL) << format;
        EXPECT_EQ(bitmap, nullptr);
    }
}

TEST_F(Decoder, BadRecordsAndBadDataFailCleanly)
{
    QByteArray png = Encode(Halves(4, 4, Qt::red, Qt::blue), "PNG");
    EXPECT_EQ(DecompressImageIndirect(nullptr), E_INVALIDARG);
    // A record of another size is not written to at all.
    info.dwSize = 0;
    EXPECT_EQ(Run(png), E_INVALIDARG);
    EXPECT_EQ(bitmap, reinterpret_cast<HBITMAP>(1));
    info.dwSize = sizeof info;
    bitmap = nullptr;
    const std::function<void(DECOMPRESSIMAGEINFO&)> breakers[] = {
        [](auto& i) { i.pbBuffer = nullptr; }, [](auto& i) { i.dwBufferMax = 0; },
        [](auto& i) { i.pfnGetData = nullptr; }, [](auto& i) { i.iScale = 0; },
        [](auto& i) { i.iScale = 101; }, [](auto& i) { i.iBitDepth = 3; },
        [](auto& i) { i.hdc = reinterpret_cast<HDC>(0x7777); },
    };
    for (const auto& breaker : breakers) {
        DECOMPRESSIMAGEINFO good = info;
        breaker(info);
        EXPECT_EQ(Run(png), E_INVALIDARG);
        EXPECT_EQ(bitmap, nullptr);
        info = good;
    }
    info.phBM = nullptr;
    EXPECT_EQ(Run(png), E_INVALIDARG);
    info.phBM = &bitmap;
    bitmap = nullptr;

    const QByteArray damaged[] = {QByteArray(), QByteArray("not a picture at all"), png.left(png.size() / 2),
                                  QByteArray("GIF89a\x10\x00\x10\x00", 10)};
    for (const QByteArray& file : damaged) {
        EXPECT_EQ(Run(file), E_FAIL) << file.size() << " bytes";
        EXPECT_EQ(bitmap, nullptr);
    }

    // A callback claiming more than the buffer holds is held to the buffer:
    // the stale bytes make a damaged file, never an overrun (ASan watches).
    HRESULT result = Run(png, 1000);
    EXPECT_TRUE(result == S_OK || result == E_FAIL);
}

// Two and four bits hold four and sixteen even grey levels: a grey between
// two of them becomes one of those two; a translucent pixel is laid over the background by its
// alpha, its colour taken whole (not premultiplied).
TEST_F(Decoder, LowDepthsHoldEvenGreyLevelsAndAlphaWeighsTheColourOverTheBackground)
{
    struct Case {
        int depth, grey, step;
    };
    for (const Case& c : {Case{2, 170, 85}, Case{2, 100, 85}, Case{4, 51, 17}, Case{4, 60, 17}}) {
        SCOPED_TRACE(testing::Message() << c.depth << " bits, grey " << c.grey);
        QImage grey(8, 8, QImage::Format_RGB32);
        grey.fill(qRgb(c.grey, c.grey, c.grey));
        info.iBitDepth = c.depth;
        ASSERT_EQ(Run(Encode(grey, "PNG")), S_OK);
        int below = c.grey / c.step * c.step;
        std::set<int> levels;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                COLORREF p = Pixel(x, y);
                ASSERT_TRUE(GetRValue(p) == GetGValue(p) && GetGValue(p) == GetBValue(p));
                levels.insert(GetRValue(p));
            }
        std::set<int> allowed = c.grey % c.step ? std::set<int>{below, below + c.step} : std::set<int>{c.grey};
        EXPECT_TRUE(std::includes(allowed.begin(), allowed.end(), levels.begin(), levels.end()));
    }

    info.iBitDepth = 32;
    info.crTransparentOverride = RGB(0, 255, 0);
    QImage translucent(2, 1, QImage::Format_ARGB32);
    translucent.setPixel(0, 0, qRgba(255, 0, 0, 128));
    translucent.setPixel(1, 0, qRgba(255, 255, 255, 0));
    ASSERT_EQ(Run(Encode(translucent, "PNG")), S_OK);
    EXPECT_PRED3(NearWithin, Pixel(0, 0), RGB(128, 127, 0), 2);
    EXPECT_EQ(Pixel(1, 0), RGB(0, 255, 0)) << "a clear pixel is the background whatever its colour";
}
