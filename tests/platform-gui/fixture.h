// The fixture of the windowing tests: a clean message log, and every window a
// test made is destroyed after it, so tests do not see each other's layers.
#pragma once

#include "recorder.h"

#include "../support/modal.h"

#include <gtest/gtest.h>

namespace lwtest {

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LwDeviceStart();
        RegisterRecordingClass(u"LwRecorder");
        Drain();
        Received_().clear();
        CreateAnswer() = 0;
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
        Received_().clear();
    }
    // A top-level recording window covering the work area, hidden unless `style` says so.
    HWND MakeWindow(DWORD style = 0, HWND owner = nullptr, LPCWSTR title = u"Recorder")
    {
        HWND window = CreateWindowExW(0, u"LwRecorder", title, style, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                      CW_USEDEFAULT, owner, nullptr, nullptr, nullptr);
        if (window)
            made_.push_back(window);
        return window;
    }
    HWND MakeChild(HWND parent, int id, int x = 0, int y = 0, int width = 50, int height = 20)
    {
        return CreateWindowExW(0, u"LwRecorder", u"child", WS_CHILD | WS_VISIBLE, x, y, width, height, parent,
                               reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), nullptr, nullptr);
    }
    void Track(HWND window) { made_.push_back(window); }

    std::vector<HWND> made_;
};

} // namespace lwtest
