#include "messagebox_double.h"

std::vector<RecordedBox>& RecordedBoxes()
{
    static std::vector<RecordedBox> boxes;
    return boxes;
}

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    RecordedBoxes().push_back({owner, text ? text : u"", caption ? caption : u"", type});
    return IDOK;
}
