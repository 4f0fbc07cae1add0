// Closing modal loops from a test: the helper runs an action from inside the
// loop once a condition holds, and fails the test when that never happens. On
// the bound it ends the loop with WM_QUIT, so a broken dialog cannot hang the
// suite (the quit message is taken back by the destructor). It polls from the
// WM_TIMER of a hidden window of its own, which every loop dispatches.
#pragma once

#include <lwdevice.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace lwtest {

class ModalCloser {
public:
    // `action` runs once, from inside whatever loop is running, as soon as
    // `ready` returns true; both are polled every few milliseconds.
    ModalCloser(std::function<bool()> ready, std::function<void()> action, int limitMs = 5000)
        : ready_(std::move(ready)), action_(std::move(action)), limitMs_(limitMs)
    {
        WNDCLASSW wc{};
        if (!GetClassInfoW(nullptr, kClass, &wc)) {
            wc.lpfnWndProc = TimerProc;
            wc.lpszClassName = kClass;
            RegisterClassW(&wc);
        }
        window_ = CreateWindowExW(0, kClass, u"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        SetWindowLongW(window_, GWL_USERDATA, reinterpret_cast<LONG_PTR>(this));
        start_ = GetTickCount();
        SetTimer(window_, 1, 5, nullptr);
    }
    // A watcher that may never fire: no bound, no failure when it does not.
    static std::unique_ptr<ModalCloser> Optional(std::function<bool()> ready, std::function<void()> action)
    {
        auto watcher = std::make_unique<ModalCloser>(std::move(ready), std::move(action));
        watcher->required_ = false;
        return watcher;
    }
    // Closes the active window's dialog with EndDialog(code) once one is active.
    static std::unique_ptr<ModalCloser> EndActiveDialog(INT_PTR code, int limitMs = 5000)
    {
        return std::make_unique<ModalCloser>(
            [] { return ActiveClassIs(u"#32770"); }, [code] { EndDialog(GetActiveWindow(), code); }, limitMs);
    }
    ~ModalCloser()
    {
        DestroyWindow(window_);
        EXPECT_TRUE(fired_ || !required_) << "the modal loop was never closed: its window did not appear in time";
        if (gaveUp_) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
            }
        }
    }
    bool fired() const { return fired_; }

    static bool ActiveClassIs(const std::u16string& name)
    {
        WCHAR className[64] = {};
        HWND active = GetActiveWindow();
        return active && GetClassNameW(active, className, 64) && name == className;
    }

private:
    static constexpr WCHAR kClass[] = u"LwModalCloser";

    static LRESULT CALLBACK TimerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_TIMER)
            if (auto* self = reinterpret_cast<ModalCloser*>(GetWindowLongW(window, GWL_USERDATA)))
                self->Poll();
        return DefWindowProcW(window, message, wParam, lParam);
    }

    void Poll()
    {
        if (fired_ || gaveUp_)
            return;
        if (ready_()) {
            fired_ = true;
            KillTimer(window_, 1);
            action_();
            return;
        }
        if (required_ && GetTickCount() - start_ > static_cast<DWORD>(limitMs_)) {
            gaveUp_ = true;
            KillTimer(window_, 1);
            PostQuitMessage(0); // ends the modal loop that never got its window
        }
    }

    std::function<bool()> ready_;
    std::function<void()> action_;
    int limitMs_;
    bool fired_ = false;
    bool gaveUp_ = false;
    bool required_ = true;
    DWORD start_ = 0;
    HWND window_ = nullptr;
};

// Delivers messages until `done` holds; false when the bound passes first.
inline bool PumpUntil(const std::function<bool()>& done, int limitMs = 3000)
{
    return LwDevicePumpUntil(done, limitMs);
}

// Delivers what is queued now (and what that causes) without waiting for more.
inline void Drain()
{
    MSG msg;
    for (int i = 0; i < 10000 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

} // namespace lwtest
