// The main window driven as a user drives it: the splash, the soft keys, the
// menu, Exit; commands that are not the main window's; missing resources.
#include "appfixture.h"

#include "ReaderApp.h"
#include "resource.h"

namespace apptest {
namespace {

class MainWindowTest : public AppTest {
protected:
    bool Start(ReaderApp* app, HINSTANCE instance)
    {
        registeredFor.push_back(instance);
        return app->Init(instance);
    }
    // Runs the message loop; `whileShown` runs inside it once the window shows
    // and must end the program.
    int RunUntilShown(ReaderApp* app, std::function<void()> whileShown)
    {
        lwtest::ModalCloser closer([app] { return IsWindowVisible(app->mainWindow) != FALSE; }, std::move(whileShown));
        return app->Run(u"", SW_SHOW);
    }
    static DibImage Splash()
    {
        std::vector<BYTE> data = ProgramResource(2, IDB_SPLASH);
        DibImage image;
        EXPECT_TRUE(ParseDib(data.data(), data.size(), &image));
        return image;
    }
};

TEST_F(MainWindowTest, ShowsTheSplashAndSoftKeysThenExitEndsWithZero)
{
    ReaderApp app;
    ASSERT_TRUE(Start(&app, GetModuleHandleW(nullptr)));
    HWND window = app.mainWindow;
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(readerApp, &app);
    EXPECT_FALSE(IsWindowVisible(window));  // hidden until Run
    EXPECT_EQ(FindWindowW(u"Leafwise", u"Leafwise"), window);

    DibImage splash = Splash();
    ASSERT_EQ(splash.width, 155);
    ASSERT_EQ(splash.height, 48);
    std::vector<std::u16string> keys;
    size_t wrong = 0;
    std::vector<COLORREF> around;
    int exitCode = RunUntilShown(&app, [&] {
        keys = LwDeviceSoftKeys();
        for (int y = 0; y < splash.height; ++y)
            for (int x = 0; x < splash.width; ++x) {
                POINT p = OnScreen(window, 10 + x, 30 + y);
                wrong += LwDevicePixel(p.x, p.y) != Rgb(splash.pixels[y * splash.width + x]);
            }
        // Just outside each edge of the picture, and far from it: the white background.
        for (POINT c : {POINT{9, 30}, POINT{10, 29}, POINT{165, 77}, POINT{164, 78}, POINT{0, 0}, POINT{200, 200}}) {
            POINT p = OnScreen(window, c.x, c.y);
            around.push_back(LwDevicePixel(p.x, p.y));
        }
        LwDevicePressKey(VK_F2);
    });
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(keys, (std::vector<std::u16string>{u"Menu", u"Exit"}));
    EXPECT_EQ(wrong, 0u) << "pixels of the splash that differ from bitmap 108";
    for (COLORREF colour : around)
        EXPECT_EQ(colour, RGB(255, 255, 255));
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(MainWindowTest, SplashKeepsItsPlaceAndSizeWhateverTheWindowSize)
{
    ReaderApp app;
    ASSERT_TRUE(Start(&app, GetModuleHandleW(nullptr)));
    DibImage splash = Splash();
    COLORREF corner = 0, farCorner = 0, beyond = 0;
    RunUntilShown(&app, [&] {
        MoveWindow(app.mainWindow, 0, 0, 200, 150, TRUE);
        UpdateWindow(app.mainWindow);
        POINT p = OnScreen(app.mainWindow, 10, 30);
        corner = LwDevicePixel(p.x, p.y);
        p = OnScreen(app.mainWindow, 10 + 154, 30 + 47);
        farCorner = LwDevicePixel(p.x, p.y);
        p = OnScreen(app.mainWindow, 10 + 155, 30);
        beyond = LwDevicePixel(p.x, p.y);
        LwDevicePressKey(VK_F2);
    });
    EXPECT_EQ(corner, Rgb(splash.pixels[0]));
    EXPECT_EQ(farCorner, Rgb(splash.pixels.back()));
    EXPECT_EQ(beyond, RGB(255, 255, 255));
}

TEST_F(MainWindowTest, MenuKeyOpensThePopupOfOpenAssociateAbout)
{
    ReaderApp app;
    ASSERT_TRUE(Start(&app, GetModuleHandleW(nullptr)));
    std::vector<std::u16string> items;
    bool stillThere = false;
    int exitCode = RunUntilShown(&app, [&] {
        LwDevicePressKey(VK_F1);
        lwtest::PumpUntil([] { return !LwDevicePopupItems().empty(); });
        items = LwDevicePopupItems();
        LwDeviceClosePopup();
        // The left key itself sends nothing the main window acts on.
        SendMessageW(app.mainWindow, WM_COMMAND, IDM_MAIN_MENU, 0);
        stillThere = IsWindow(app.mainWindow);
        LwDevicePressKey(VK_F2);
    });
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(items, (std::vector<std::u16string>{u"Open", u"Associate", u"About"}));
    EXPECT_TRUE(stillThere);
}

// Records what reaches DefWindowProcW from the main window: the main window's
// procedure is wrapped, and the wrapper sees what it returns.
LRESULT lastResult = -99;
WNDPROC original = nullptr;
LRESULT CALLBACK Wrapper(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = CallWindowProcW(original, window, message, wParam, lParam);
    if (message == WM_COMMAND)
        lastResult = result;
    return result;
}

TEST_F(MainWindowTest, CommandsWithAHighWordGoToDefaultProcessing)
{
    ReaderApp app;
    ASSERT_TRUE(Start(&app, GetModuleHandleW(nullptr)));
    HWND window = app.mainWindow;
    original = reinterpret_cast<WNDPROC>(SetWindowLongW(window, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(Wrapper)));

    // A control's notification with the id 2 is not "Exit".
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, 1), 0);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(lastResult, 0);  // DefWindowProcW's answer, not the handled 1
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_ABOUT, 1), 0);
    EXPECT_TRUE(IsWindow(window));
    // Unknown ids go there too.
    SendMessageW(window, WM_COMMAND, 12345, 0);
    EXPECT_EQ(lastResult, 0);

    // The plain command 2 is "Exit": handled, the window goes, the quit is posted.
    SendMessageW(window, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(lastResult, 1);
    EXPECT_FALSE(IsWindow(window));
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 0u);
}

TEST_F(MainWindowTest, WithoutItsSoftKeyBarTheWindowIsNotCreated)
{
    // Everything but the bar record 101.
    HMODULE module = ModuleWith({{4, IDR_MAIN_MENUBAR}, {2, IDB_SPLASH}, {6, IDS_MAIN_MENU / 16 + 1}});
    ReaderApp app;
    EXPECT_FALSE(Start(&app, module));
    EXPECT_EQ(FindWindowW(u"Leafwise", u"Leafwise"), nullptr);
}

TEST_F(MainWindowTest, WithoutTheSplashTheWindowIsWhiteAndWorks)
{
    HMODULE module = ModuleWith({{4, IDR_MAIN_MENUBAR}, {10, IDR_MAIN_MENUBAR}, {6, IDS_MAIN_MENU / 16 + 1}});
    ReaderApp app;
    ASSERT_TRUE(Start(&app, module));
    COLORREF where = 0;
    std::vector<std::u16string> keys;
    int exitCode = RunUntilShown(&app, [&] {
        POINT p = OnScreen(app.mainWindow, 40, 50);
        where = LwDevicePixel(p.x, p.y);
        keys = LwDeviceSoftKeys();
        InvalidateRect(app.mainWindow, nullptr, TRUE);
        UpdateWindow(app.mainWindow);  // a second paint without the picture
        LwDevicePressKey(VK_F2);
    });
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(where, RGB(255, 255, 255));
    EXPECT_EQ(keys, (std::vector<std::u16string>{u"Menu", u"Exit"}));
}

TEST_F(MainWindowTest, ASecondClassDeclarationFailsStartUp)
{
    // The class exists already (as if declared by someone else): Init gives up.
    WNDCLASSW taken = {};
    taken.lpfnWndProc = DefWindowProcW;
    taken.hInstance = GetModuleHandleW(nullptr);
    taken.lpszClassName = u"Leafwise";
    ASSERT_NE(RegisterClassW(&taken), 0);
    registeredFor.push_back(GetModuleHandleW(nullptr));
    ReaderApp app;
    EXPECT_FALSE(app.Init(GetModuleHandleW(nullptr)));
    EXPECT_EQ(app.mainWindow, nullptr);
}

}  // namespace
}  // namespace apptest
