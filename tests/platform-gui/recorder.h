// A test window class that records every message its windows receive, in the
// manner of Wine's message sequences.
#pragma once

#include <windows.h>

#include <set>
#include <vector>

namespace lwtest {

struct Received {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

inline std::vector<Received>& Received_()
{
    static std::vector<Received> log;
    return log;
}

// What a recording window answers to WM_CREATE (0, or -1 to refuse creation).
inline LRESULT& CreateAnswer()
{
    static LRESULT answer = 0;
    return answer;
}

inline LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Received_().push_back({window, message, wParam, lParam});
    if (message == WM_CREATE)
        return CreateAnswer();
    return DefWindowProcW(window, message, wParam, lParam);
}

// Registers a recording class of this name once; the white brush, CS_HREDRAW | CS_VREDRAW.
inline void RegisterRecordingClass(LPCWSTR name)
{
    WNDCLASSW wc{};
    if (GetClassInfoW(nullptr, name, &wc))
        return;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = RecordingProc;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = name;
    RegisterClassW(&wc);
}

// The messages of one window (or of all, window NULL) among `wanted`, in order.
inline std::vector<UINT> Sequence(HWND window, const std::set<UINT>& wanted)
{
    std::vector<UINT> out;
    for (const Received& r : Received_())
        if ((!window || r.window == window) && wanted.count(r.message))
            out.push_back(r.message);
    return out;
}

// The records of one message to one window, in order.
inline std::vector<Received> Of(HWND window, UINT message)
{
    std::vector<Received> out;
    for (const Received& r : Received_())
        if (r.window == window && r.message == message)
            out.push_back(r);
    return out;
}

} // namespace lwtest
