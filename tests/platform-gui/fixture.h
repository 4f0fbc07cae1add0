// The fixture of the windowing tests: a message recorder that watches every
// window of the test class "LwRecorder" (and whatever else a test watches),
// and every window a test made is destroyed after it, so tests do not see each
// other's layers.
#pragma once

#include "../support/messages.h"
#include "../support/modal.h"

#include <gtest/gtest.h>

namespace lwtest {

// What a test window answers to WM_CREATE (0, or -1 to refuse creation).
inline LRESULT& CreateAnswer()
{
    static LRESULT answer = 0;
    return answer;
}

inline LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CREATE)
        return CreateAnswer();
    return DefWindowProcW(window, message, wParam, lParam);
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LwDeviceStart();
        WNDCLASSW wc{};
        if (!GetClassInfoW(nullptr, kTestClass, &wc)) {
            wc.style = CS_HREDRAW | CS_VREDRAW;
            wc.lpfnWndProc = TestWindowProc;
            wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
            wc.lpszClassName = kTestClass;
            RegisterClassW(&wc);
        }
        Drain();
        CreateAnswer() = 0;
        recorder.WatchClass(kTestClass);
    }
    void TearDown() override
    {
        for (auto it = made_.rbegin(); it != made_.rend(); ++it)
            if (IsWindow(*it))
                DestroyWindow(*it);
        Drain();
        MSG msg;
        while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
    }
    // A top-level test window covering the work area, hidden unless `style` says so.
    HWND MakeWindow(DWORD style = 0, HWND owner = nullptr, LPCWSTR title = u"Recorder")
    {
        HWND window = CreateWindowExW(0, kTestClass, title, style, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                      CW_USEDEFAULT, owner, nullptr, nullptr, nullptr);
        if (window)
            made_.push_back(window);
        return window;
    }
    HWND MakeChild(HWND parent, int id, int x = 0, int y = 0, int width = 50, int height = 20)
    {
        return CreateWindowExW(0, kTestClass, u"child", WS_CHILD | WS_VISIBLE, x, y, width, height, parent,
                               reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), nullptr, nullptr);
    }
    void Track(HWND window) { made_.push_back(window); }

    static constexpr WCHAR kTestClass[] = u"LwRecorder";
    Recorder recorder;
    std::vector<HWND> made_;
};

} // namespace lwtest
