// GDI as the splash uses it: memory contexts, bitmaps from resources, BitBlt,
// GetObjectW, stock objects; and handles that are stale or of the wrong kind.
#include "fixture.h"
#include "resbuilder.h"

using namespace lwtest;

namespace {

// A 3 x 2 bottom-up 24-bit DIB: bottom row blue, green, red; top row white, black, grey.
std::vector<BYTE> SmallDib()
{
    Bytes b;
    b.D(40).D(3).D(2).W(1).W(24).D(0).D(0).D(0).D(0).D(0).D(0);
    auto pixel = [&](int r, int g, int bl) { b.B(static_cast<unsigned>(bl)).B(static_cast<unsigned>(g)).B(static_cast<unsigned>(r)); };
    pixel(0, 0, 255), pixel(0, 255, 0), pixel(255, 0, 0);
    b.B(0).B(0).B(0); // rows pad to 4 bytes
    pixel(255, 255, 255), pixel(0, 0, 0), pixel(128, 128, 128);
    b.B(0).B(0).B(0);
    return b.data;
}

class Gdi : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        ResImage res;
        res.Add(2, 108, SmallDib());
        std::vector<BYTE> damaged = SmallDib();
        damaged.resize(30); // header cut short
        res.Add(2, 109, damaged);
        module = LoadResourceImage(res.image.data.data(), res.image.data.size());
        ASSERT_TRUE(module);
    }
    void TearDown() override
    {
        WindowTest::TearDown();
        FreeResourceImage(module);
    }
    HMODULE module = nullptr;
};

} // namespace

TEST_F(Gdi, BitmapFromResourceKeepsItsSizeDepthAndPixels)
{
    HBITMAP bitmap = LoadBitmapW(module, MAKEINTRESOURCEW(108));
    ASSERT_TRUE(bitmap);
    BITMAP info{};
    EXPECT_EQ(GetObjectW(bitmap, sizeof info, &info), static_cast<int>(sizeof info));
    EXPECT_EQ(info.bmWidth, 3);
    EXPECT_EQ(info.bmHeight, 2);
    EXPECT_EQ(info.bmBitsPixel, 24);
    EXPECT_EQ(info.bmPlanes, 1);
    EXPECT_EQ(info.bmWidthBytes, 10); // 3 pixels of 24 bits, padded to 16 bits
    EXPECT_EQ(GetObjectW(bitmap, 0, nullptr), static_cast<int>(sizeof info));
    EXPECT_EQ(GetObjectW(bitmap, sizeof info - 1, &info), 0);

    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    EXPECT_TRUE(previous); // the context's own 1 x 1 bitmap
    EXPECT_EQ(GetPixel(memory, 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(memory, 2, 0), RGB(128, 128, 128));
    EXPECT_EQ(GetPixel(memory, 0, 1), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(memory, 2, 1), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(memory, 3, 0), CLR_INVALID);

    // Selected, it cannot be deleted; back out, it can.
    EXPECT_FALSE(DeleteObject(bitmap));
    EXPECT_EQ(SelectObject(memory, previous), bitmap);
    EXPECT_TRUE(DeleteDC(memory));
    EXPECT_TRUE(DeleteObject(bitmap));
}

TEST_F(Gdi, MissingOrDamagedBitmapFails)
{
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LoadBitmapW(module, MAKEINTRESOURCEW(107)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LoadBitmapW(module, MAKEINTRESOURCEW(109)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
}

TEST_F(Gdi, BitBltCopiesABlockClippedToTheSurfaces)
{
    HDC source = CreateCompatibleDC(nullptr);
    HBITMAP sourceBits = CreateCompatibleBitmap(source, 4, 4);
    SelectObject(source, sourceBits);
    RECT all{0, 0, 4, 4};
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    EXPECT_TRUE(FillRect(source, &all, red));

    HDC dest = CreateCompatibleDC(nullptr);
    HBITMAP destBits = CreateCompatibleBitmap(dest, 8, 8);
    SelectObject(dest, destBits);
    RECT destAll{0, 0, 8, 8};
    FillRect(dest, &destAll, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    // Runs off the right edge: the part that fits is copied, nothing else is touched.
    EXPECT_TRUE(BitBlt(dest, 6, 2, 4, 4, source, 0, 0, SRCCOPY));
    EXPECT_EQ(GetPixel(dest, 5, 2), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(dest, 6, 2), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(dest, 7, 5), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(dest, 7, 6), RGB(255, 255, 255));

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(BitBlt(dest, 0, 0, 1, 1, source, 0, 0, 0x00EE0086)); // SRCPAINT
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    DeleteDC(source);
    DeleteDC(dest);
    EXPECT_TRUE(DeleteObject(sourceBits));
    EXPECT_TRUE(DeleteObject(destBits));
    EXPECT_TRUE(DeleteObject(red));
}

TEST_F(Gdi, TransparentImageLeavesOutTheKeyColourAndStretches)
{
    // Source 2 x 1: white, red. Destination 4 x 2, blue.
    HBITMAP sourceBits = CreateCompatibleBitmap(nullptr, 2, 1);
    HDC source = CreateCompatibleDC(nullptr);
    SelectObject(source, sourceBits);
    SetPixel(source, 0, 0, RGB(255, 255, 255));
    SetPixel(source, 1, 0, RGB(255, 0, 0));
    HBITMAP destBits = CreateCompatibleBitmap(nullptr, 4, 2);
    HDC dest = CreateCompatibleDC(nullptr);
    SelectObject(dest, destBits);
    HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
    RECT all{0, 0, 4, 2};
    FillRect(dest, &all, blue);

    EXPECT_TRUE(TransparentImage(dest, 0, 0, 4, 2, source, 0, 0, 2, 1, RGB(255, 255, 255)));
    EXPECT_EQ(GetPixel(dest, 0, 0), RGB(0, 0, 255)); // white left out
    EXPECT_EQ(GetPixel(dest, 1, 1), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(dest, 2, 0), RGB(255, 0, 0)); // red stretched over two columns
    EXPECT_EQ(GetPixel(dest, 3, 1), RGB(255, 0, 0));

    // A bitmap as the source works too; a bad source or size fails.
    SelectObject(source, GetStockObject(WHITE_BRUSH));
    DeleteDC(source);
    EXPECT_TRUE(TransparentImage(dest, 0, 0, 2, 1, sourceBits, 0, 0, 2, 1, RGB(0, 0, 0)));
    EXPECT_EQ(GetPixel(dest, 0, 0), RGB(255, 255, 255));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(TransparentImage(dest, 0, 0, 2, 1, blue, 0, 0, 2, 1, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(TransparentImage(dest, 0, 0, 0, 1, sourceBits, 0, 0, 2, 1, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    DeleteDC(dest);
    DeleteObject(destBits);
    DeleteObject(sourceBits);
    DeleteObject(blue);
}

TEST_F(Gdi, StaleAndForeignHandlesFailCleanly)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, 2, 2);
    ASSERT_TRUE(DeleteDC(dc));
    ASSERT_TRUE(DeleteObject(bitmap));

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteDC(dc));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteObject(bitmap));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(SelectObject(dc, GetStockObject(WHITE_BRUSH)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    BITMAP info;
    EXPECT_EQ(GetObjectW(bitmap, sizeof info, &info), 0);
    EXPECT_FALSE(BitBlt(dc, 0, 0, 1, 1, dc, 0, 0, SRCCOPY));
    EXPECT_EQ(SetBkMode(dc, TRANSPARENT), 0);
    RECT r{0, 0, 1, 1};
    EXPECT_EQ(FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))), 0);

    // A window handle is no GDI object, and a brush is no context.
    HDC live = CreateCompatibleDC(nullptr);
    EXPECT_EQ(SelectObject(live, MakeWindow()), nullptr);
    EXPECT_FALSE(DeleteDC(reinterpret_cast<HDC>(GetStockObject(WHITE_BRUSH))));
    EXPECT_EQ(GetObjectW(reinterpret_cast<HGDIOBJ>(static_cast<uintptr_t>(0x77777)), sizeof info, &info), 0);
    DeleteDC(live);
}

TEST_F(Gdi, StockObjectsSurviveDeletion)
{
    HGDIOBJ white = GetStockObject(WHITE_BRUSH);
    HGDIOBJ grey = GetStockObject(LTGRAY_BRUSH);
    ASSERT_TRUE(white);
    EXPECT_NE(white, grey);
    EXPECT_EQ(GetStockObject(WHITE_BRUSH), white);
    EXPECT_TRUE(DeleteObject(white));
    LOGBRUSH brush{};
    EXPECT_EQ(GetObjectW(white, sizeof brush, &brush), static_cast<int>(sizeof brush));
    EXPECT_EQ(brush.lbColor, RGB(255, 255, 255));
    GetObjectW(grey, sizeof brush, &brush);
    EXPECT_EQ(brush.lbColor, RGB(192, 192, 192));

    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetStockObject(42), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(Gdi, ContextStateAndText)
{
    HDC dc = CreateCompatibleDC(nullptr);
    EXPECT_EQ(SetBkMode(dc, TRANSPARENT), OPAQUE);
    EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(SetBkMode(dc, 7), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(SetTextColor(dc, RGB(1, 2, 3)), RGB(0, 0, 0));
    EXPECT_EQ(GetTextColor(dc), RGB(1, 2, 3));

    RECT measure{0, 0, 200, 0};
    int height = DrawTextW(dc, u"Leafwise", -1, &measure, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_GT(height, 0);
    EXPECT_GT(measure.right, 0);
    EXPECT_LT(measure.right, 200);
    EXPECT_EQ(measure.bottom, height);
    DeleteDC(dc);
}

TEST_F(Gdi, SplashPaintsAtItsPlaceAndTheRestStaysWhite)
{
    // The main window's recipe: in WM_PAINT, load the bitmap, blit it at (10, 30), release.
    static HMODULE resources;
    resources = module;
    static int painted;
    painted = 0;
    WNDCLASSW wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = u"LwSplash";
    wc.lpfnWndProc = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
        if (message != WM_PAINT)
            return DefWindowProcW(window, message, wParam, lParam);
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        HDC memory = CreateCompatibleDC(dc);
        HBITMAP bitmap = LoadBitmapW(resources, MAKEINTRESOURCEW(108));
        BITMAP info;
        GetObjectW(bitmap, sizeof info, &info);
        HGDIOBJ previous = SelectObject(memory, bitmap);
        BitBlt(dc, 10, 30, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
        SelectObject(memory, previous);
        DeleteDC(memory);
        DeleteObject(bitmap);
        EndPaint(window, &paint);
        ++painted;
        return 0;
    };
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(0, u"LwSplash", u"Splash", WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
    Track(window);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    EXPECT_EQ(painted, 1); // UpdateWindow paints at once
    // On the screen: client (10, 30) is screen (10, 56).
    COLORREF corner = CLR_INVALID;
    EXPECT_TRUE(PumpUntil([&] { return (corner = LwDevicePixel(10, 56)) == RGB(255, 255, 255); }));
    EXPECT_EQ(LwDevicePixel(12, 57), RGB(255, 0, 0));
    EXPECT_EQ(LwDevicePixel(9, 56), RGB(255, 255, 255));
    EXPECT_EQ(LwDevicePixel(13, 56), RGB(255, 255, 255));
    EXPECT_EQ(LwDevicePixel(200, 200), RGB(255, 255, 255));
}
