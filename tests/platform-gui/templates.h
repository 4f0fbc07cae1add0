// Dialog templates built in memory, as a resource compiler lays them out.
#pragma once

#include "resbuilder.h"

#include <windows.h>

#include <string>
#include <vector>

namespace lwtest {

struct Item {
    DWORD style;
    short x, y, cx, cy;
    WORD id;
    WORD classAtom;          // 0x82: static
    std::u16string text;     // used when titleId is 0
    WORD titleId = 0;        // an ordinal title (SS_ICON: the icon)
    std::u16string className = u"";
};

inline std::vector<BYTE> DialogBytes(const std::u16string& title, DWORD style, short cx, short cy,
                                     const std::vector<Item>& items = {}, WORD points = 9)
{
    Bytes b;
    b.D(style | DS_SETFONT).D(0).W(static_cast<unsigned>(items.size()));
    b.W(0).W(0).W(static_cast<unsigned short>(cx)).W(static_cast<unsigned short>(cy));
    b.W(0).W(0).S(title);
    b.W(points).S(u"System");
    for (const Item& item : items) {
        b.Align(4);
        b.D(item.style).D(0);
        b.W(static_cast<unsigned short>(item.x)).W(static_cast<unsigned short>(item.y));
        b.W(static_cast<unsigned short>(item.cx)).W(static_cast<unsigned short>(item.cy)).W(item.id);
        if (item.classAtom)
            b.W(0xFFFF).W(item.classAtom);
        else
            b.S(item.className);
        if (item.titleId)
            b.W(0xFFFF).W(item.titleId);
        else
            b.S(item.text);
        b.W(0);
    }
    return b.data;
}

inline const DLGTEMPLATE* AsTemplate(const std::vector<BYTE>& bytes)
{
    return reinterpret_cast<const DLGTEMPLATE*>(bytes.data());
}

} // namespace lwtest
