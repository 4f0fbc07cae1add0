// The page window's file stream and decoded images, on files in a scratch
// folder of the test's own.
#include "DecodedImage.h"
#include "FileStream.h"

#include "../support/images.h"

#include <lwdevice.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace lwtest;
namespace fs = std::filesystem;

namespace {

class Scratch : public ::testing::Test {
protected:
    void SetUp() override
    {
        LwDeviceStart();
        char pattern[] = "/tmp/leafwise-views-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        setenv("LEAFWISE_TEMP", pattern, 1);
        dc = GetDC(nullptr);
        objectsAtStart = LwGdiObjectCount();
    }
    void TearDown() override
    {
        EXPECT_EQ(LwGdiObjectCount(), objectsAtStart) << "a GDI object leaked";
        ReleaseDC(nullptr, dc);
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    // Writes the bytes into the scratch folder; returns the file's device path.
    std::u16string Put(const std::string& name, const QByteArray& bytes)
    {
        std::ofstream(folder / name, std::ios::binary).write(bytes.constData(), bytes.size());
        return u"\\Temp\\" + QString::fromStdString(name).toStdU16String();
    }
    static SIZE Size(HBITMAP bitmap)
    {
        BITMAP record{};
        GetObjectW(bitmap, sizeof record, &record);
        return {record.bmWidth, record.bmHeight};
    }

    fs::path folder;
    HDC dc = nullptr;
    DWORD objectsAtStart = 0;
};

using FileStreamTest = Scratch;
using DecodedImageTest = Scratch;

} // namespace

TEST_F(FileStreamTest, ReadsWritesAndSeeks)
{
    std::u16string path = Put("f.bin", "0123456789");
    FileStream stream;
    EXPECT_EQ(stream.Close(), 1) << "nothing open";
    ASSERT_EQ(stream.Open(path.c_str(), FileStream::kRead), 0);
    EXPECT_EQ(stream.Length(), 10u);
    char buffer[16] = {};
    EXPECT_EQ(stream.Read(buffer, 4), 4u);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    EXPECT_EQ(stream.Tell(), 4u);
    EXPECT_EQ(stream.Length(), 10u);
    EXPECT_EQ(stream.Tell(), 4u) << "Length keeps the position";
    EXPECT_EQ(stream.Read(buffer, 0), 0u);
    EXPECT_EQ(stream.Read(buffer, sizeof buffer), 6u) << "what was there";
    EXPECT_EQ(stream.Read(buffer, sizeof buffer), 0u) << "at the end";
    EXPECT_EQ(stream.Seek(-3, FILE_END), 7u);
    EXPECT_EQ(stream.SeekToEnd(), 10u);
    EXPECT_EQ(stream.Write("x", 1), 0u) << "opened for reading";

    // Opening again closes the first file; creation flags pick the first that is set.
    ASSERT_EQ(stream.Open(path.c_str(), FileStream::kWrite | FileStream::kCreateAlways | FileStream::kCreateNew), 0);
    EXPECT_EQ(stream.Length(), 0u) << "create always truncated it";
    EXPECT_EQ(stream.Write("abc", 3), 3u);
    EXPECT_EQ(stream.Write("abc", 0), 0u);
    EXPECT_EQ(stream.Read(buffer, 3), 0u) << "opened for writing";
    EXPECT_EQ(stream.Close(), 0);
    EXPECT_EQ(stream.Close(), 1);
    EXPECT_EQ(stream.Open(path.c_str(), FileStream::kCreateNew), 1) << "exists";
    EXPECT_EQ(stream.Open(u"\\Temp\\missing.bin", 0), 1);
    EXPECT_EQ(stream.Length(), 0u) << "no file";
    EXPECT_EQ(stream.Open(u"\\Temp\\new.bin", FileStream::kWrite | FileStream::kOpenAlways), 0);
    EXPECT_TRUE(fs::exists(folder / "new.bin"));
    EXPECT_EQ(stream.Open(path.c_str(), 0), 0);
    EXPECT_EQ(stream.Read(buffer, sizeof buffer), 3u);
}

// One handle both reads and writes; "open always" keeps what a file holds.
TEST_F(FileStreamTest, ReadsAndWritesThroughOneHandleAndOpenAlwaysKeepsTheFile)
{
    std::u16string path = Put("both.bin", "0123");
    FileStream stream;
    ASSERT_EQ(stream.Open(path.c_str(), FileStream::kRead | FileStream::kWrite | FileStream::kOpenAlways), 0);
    EXPECT_EQ(stream.Length(), 4u) << "kept, not emptied";
    char buffer[8] = {};
    EXPECT_EQ(stream.Read(buffer, 2), 2u);
    EXPECT_EQ(stream.Write("ab", 2), 2u);
    EXPECT_EQ(stream.SeekToBegin(), 0u);
    EXPECT_EQ(stream.Read(buffer, sizeof buffer), 4u);
    EXPECT_EQ(std::string(buffer, 4), "01ab");
    EXPECT_EQ(stream.Close(), 0);
    ASSERT_EQ(stream.Open(u"\\Temp\\fresh.bin", FileStream::kRead | FileStream::kWrite | FileStream::kOpenAlways), 0);
    EXPECT_EQ(stream.Write("xyz", 3), 3u);
    EXPECT_EQ(stream.Seek(1, FILE_BEGIN), 1u);
    EXPECT_EQ(stream.Read(buffer, sizeof buffer), 2u);
    EXPECT_EQ(std::string(buffer, 2), "yz");
}

// The page's pictures come on white, white being the colour left out: a
// picture's white and its transparent pixels show the canvas, its black
// stays black. Draw leaves out white for the default marker, else the colour
// it is given.
TEST_F(DecodedImageTest, WhiteIsTheTransparentColourAndTheCanvasIsWhite)
{
    GifPicture gif;
    gif.width = 4;
    gif.index = [](int x, int) { return x; }; // black, red, blue, white
    gif.transparentIndex = 2;                  // the blue one
    DecodedImage image;
    ASSERT_TRUE(image.Decode(dc, Put("t.gif", Gif(gif)).c_str()));
    HBITMAP rendered = image.Render(4, 1, 4, 1);
    ASSERT_TRUE(rendered);
    EXPECT_EQ(BitmapPixel(rendered, 0, 0), RGB(0, 0, 0));
    EXPECT_EQ(BitmapPixel(rendered, 1, 0), RGB(255, 0, 0));
    EXPECT_EQ(BitmapPixel(rendered, 2, 0), RGB(255, 255, 255)) << "transparent: the canvas";
    EXPECT_EQ(BitmapPixel(rendered, 3, 0), RGB(255, 255, 255));
    DeleteObject(rendered);

    HDC memory = CreateCompatibleDC(dc);
    HBITMAP canvas = CreateCompatibleBitmap(dc, 4, 1);
    HGDIOBJ previous = SelectObject(memory, canvas);
    HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
    struct Case {
        COLORREF transparent;
        COLORREF black, white;
    };
    for (const Case& c : {Case{0xC0C0C0, RGB(0, 0, 0), RGB(0, 255, 0)}, Case{RGB(0, 0, 0), RGB(0, 255, 0), RGB(255, 255, 255)}}) {
        RECT all{0, 0, 4, 1};
        FillRect(memory, &all, green);
        ASSERT_TRUE(image.Draw(memory, 0, 0, -1, -1, c.transparent));
        EXPECT_EQ(GetPixel(memory, 0, 0), c.black) << c.transparent;
        EXPECT_EQ(GetPixel(memory, 1, 0), RGB(255, 0, 0)) << c.transparent;
        EXPECT_EQ(GetPixel(memory, 3, 0), c.white) << c.transparent;
    }
    SelectObject(memory, previous);
    DeleteObject(green);
    DeleteObject(canvas);
    DeleteDC(memory);
}

TEST_F(DecodedImageTest, RendersAtTheAskedSizesOnWhite)
{
    // 200 x 100: red on the left half, blue on the right.
    std::u16string path = Put("wide.png", Encode(Halves(200, 100, Qt::red, Qt::blue), "PNG"));
    DecodedImage image;
    ASSERT_TRUE(image.Decode(dc, path.c_str()));
    EXPECT_EQ(image.Width(), 200);
    EXPECT_EQ(image.Height(), 100);

    struct Case {
        int width, height, canvasWidth, canvasHeight;
        SIZE canvas, drawn;
    } cases[] = {
        {-1, 50, -1, -1, {100, 100}, {100, 50}},
        {80, -1, 100, 60, {100, 60}, {80, 40}},
        {-1, -1, -1, -1, {200, 200}, {200, 100}},
        {200, 100, 200, 100, {200, 100}, {200, 100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << ", " << c.height << ", " << c.canvasWidth << ", " << c.canvasHeight);
        HBITMAP bitmap = image.Render(c.width, c.height, c.canvasWidth, c.canvasHeight);
        ASSERT_TRUE(bitmap);
        SIZE size = Size(bitmap);
        EXPECT_EQ(size.cx, c.canvas.cx);
        EXPECT_EQ(size.cy, c.canvas.cy);
        EXPECT_EQ(BitmapPixel(bitmap, 0, 0), RGB(255, 0, 0));
        EXPECT_EQ(BitmapPixel(bitmap, c.drawn.cx - 1, c.drawn.cy - 1), RGB(0, 0, 255));
        if (c.drawn.cx < c.canvas.cx) {
            EXPECT_EQ(BitmapPixel(bitmap, c.drawn.cx, 0), RGB(255, 255, 255));
        }
        if (c.drawn.cy < c.canvas.cy) {
            EXPECT_EQ(BitmapPixel(bitmap, 0, c.drawn.cy), RGB(255, 255, 255));
        }
        DeleteObject(bitmap);
    }
}

TEST_F(DecodedImageTest, DecodesEachFormatAndRemembersThePath)
{
    GifPicture gif;
    gif.width = 12, gif.height = 6;
    gif.index = [](int x, int) { return x < 6 ? 1 : 2; };
    QImage halves = Halves(12, 6, Qt::red, Qt::blue);
    const std::pair<std::string, QByteArray> files[] = {
        {"a.gif", Gif(gif)},
        {"b.jpg", Encode(halves, "JPG")},
        {"c.png", Encode(halves, "PNG")},
        {"d.bmp", Encode(halves, "BMP")},
    };
    DecodedImage image; // one object for all: each new path replaces the bitmap
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(image.Decode(dc, Put(name, bytes).c_str()));
        EXPECT_EQ(image.Width(), 12);
        EXPECT_EQ(image.Height(), 6);
    }

    // The same path in other letter case is not decoded again: the file is gone.
    fs::remove(folder / "d.bmp");
    EXPECT_TRUE(image.Decode(dc, u"\\TEMP\\D.BMP"));
    EXPECT_EQ(image.Width(), 12);
}

TEST_F(DecodedImageTest, NoPictureMeansNoImage)
{
    std::u16string good = Put("good.png", Encode(Halves(8, 8, Qt::red, Qt::blue), "PNG"));
    const std::u16string bad[] = {
        u"\\Temp\\missing.gif",
        Put("empty.gif", QByteArray()),
        Put("text.png", "<html>not a picture</html>"),
        Put("bomb.png", PngClaiming(30000, 30000)),
    };
    for (const std::u16string& path : bad) {
        DecodedImage image;
        ASSERT_TRUE(image.Decode(dc, good.c_str()));
        EXPECT_FALSE(image.Decode(dc, path.c_str()));
        EXPECT_EQ(image.Width(), 0);
        EXPECT_EQ(image.Height(), 0);
        EXPECT_EQ(image.Render(-1, -1, -1, -1), nullptr);
        EXPECT_FALSE(image.Draw(dc, 0, 0, -1, -1, 0xC0C0C0));
        // And the earlier picture decodes again, not taken from a stale name.
        EXPECT_TRUE(image.Decode(dc, good.c_str()));
        EXPECT_EQ(image.Width(), 8);
    }
}

TEST_F(DecodedImageTest, TwoHundredPagesOfImagesLeakNothing)
{
    std::u16string paths[] = {
        Put("p.png", Encode(Halves(30, 20, Qt::red, Qt::blue), "PNG")),
        Put("q.gif", Gif(GifPicture{})),
        u"\\Temp\\none.gif",
    };
    for (int page = 0; page < 200; ++page) {
        for (const std::u16string& path : paths) {
            DecodedImage image;
            if (!image.Decode(dc, path.c_str()))
                continue;
            HBITMAP copy = image.Render(image.Width(), image.Height(), image.Width(), image.Height());
            ASSERT_TRUE(copy);
            DeleteObject(copy);
        }
    }
}
