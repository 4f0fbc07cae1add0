// A stand-in for the windowing library's MessageBoxW, linked only into these
// tests: it records each box (owner included, which the platform's own test
// log does not give) and answers IDOK at once.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct RecordedBox {
    HWND owner;
    std::u16string text;
    std::u16string caption;
    UINT type;
};

std::vector<RecordedBox>& RecordedBoxes();
