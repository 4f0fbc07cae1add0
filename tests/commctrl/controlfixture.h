// The parent every control test puts its control in: a visible window of the
// work area, watched by the recorder as the parent (every message it gets,
// the notifications decoded), that answers what a test asks.
#pragma once

#include "fixture.h"

#include "../support/controlnotes.h"

#include <commctrl.h>

#include <functional>
#include <map>

namespace lwtest {

// Answers to notifications by code (0 when not set), and a look at each as it comes.
inline std::map<UINT, LRESULT>& Answers()
{
    static std::map<UINT, LRESULT> answers;
    return answers;
}
inline std::function<void(const NMHDR*)>& OnNote()
{
    static std::function<void(const NMHDR*)> hook;
    return hook;
}

inline LRESULT CALLBACK NoteParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NOTIFY && lParam) {
        auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (OnNote())
            OnNote()(header);
        auto answer = Answers().find(header->code);
        return answer == Answers().end() ? 0 : answer->second;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

class ControlTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        WNDCLASSW wc{};
        if (!GetClassInfoW(nullptr, u"LwNoteParent", &wc)) {
            wc.lpfnWndProc = NoteParentProc;
            wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
            wc.lpszClassName = u"LwNoteParent";
            RegisterClassW(&wc);
        }
        parent = CreateWindowExW(0, u"LwNoteParent", u"Parent", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
        Track(parent);
        recorder.WatchParent(parent);
        recorder.decode = DecodeControlNote;
        Answers().clear();
        OnNote() = nullptr;
    }
    void TearDown() override
    {
        OnNote() = nullptr;
        Answers().clear();
        WindowTest::TearDown();
    }
    // A control filling the parent's work area (or the given size), shown.
    HWND MakeControl(LPCWSTR className, DWORD style, int width = 240, int height = 268)
    {
        return CreateWindowExW(0, className, u"", WS_CHILD | WS_VISIBLE | style, 0, 0, width, height, parent,
                               reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kControlId)), nullptr, nullptr);
    }
    // What the parent (and any window watched) got since the last look; the record starts again.
    std::vector<Msg> Take() { return recorder.Take(); }
    // The device's pixel at a point of the work area.
    static COLORREF Pixel(int x, int y)
    {
        Drain();
        return LwDevicePixel(x, y + 26);
    }

    // The parent's focus going to the control, as the parent hears it.
    static Msg ParentLosesFocus() { return Msg{WM_KILLFOCUS, kParent | kSent}; }

    static constexpr int kControlId = 4098;
    HWND parent = nullptr;
};

} // namespace lwtest
