// The parent every control test puts its control in: a visible window of the
// work area that records each notification it gets, in Wine's manner, and
// answers what a test asks. Sequences compare whole, with optional entries.
#pragma once

#include "fixture.h"

#include <commctrl.h>

#include <functional>
#include <map>
#include <ostream>

namespace lwtest {

// One notification: its code, what it is about (a tree item, a list row, or
// 0) and how (the tree's action, the list's new state, or the key).
struct Note {
    UINT code;
    LPARAM what = 0;
    UINT how = 0;
    bool optional = false; // in expectations: may be missing

    bool operator==(const Note& other) const
    {
        return code == other.code && what == other.what && how == other.how;
    }
};

inline void PrintTo(const Note& note, std::ostream* out)
{
    *out << "{" << static_cast<int>(note.code) << ", " << note.what << ", " << note.how << "}";
}

inline std::vector<Note>& Notes()
{
    static std::vector<Note> notes;
    return notes;
}

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

inline bool FromList(const NMHDR* header)
{
    WCHAR name[32] = {};
    GetClassNameW(header->hwndFrom, name, 32);
    return std::u16string(name) == WC_LISTVIEWW;
}

inline Note Decode(const NMHDR* header)
{
    Note note{header->code};
    UINT code = header->code;
    if (code == TVN_KEYDOWN || code == LVN_KEYDOWN) {
        note.how = reinterpret_cast<const NMTVKEYDOWN*>(header)->wVKey;
    } else if (code <= TVN_SELCHANGINGW && code >= TVN_DELETEITEMW) {
        auto* tree = reinterpret_cast<const NMTREEVIEWW*>(header);
        const TVITEMW& item = code == TVN_DELETEITEMW ? tree->itemOld : tree->itemNew;
        note.what = reinterpret_cast<LPARAM>(item.hItem);
        note.how = tree->action;
    } else if (code <= LVN_ITEMCHANGING && code >= LVN_KEYDOWN) {
        auto* list = reinterpret_cast<const NMLISTVIEW*>(header);
        note.what = list->iItem;
        note.how = list->uNewState;
    } else if ((code == NM_CLICK || code == NM_DBLCLK) && FromList(header)) {
        note.what = reinterpret_cast<const NMITEMACTIVATE*>(header)->iItem;
    }
    return note;
}

inline LRESULT CALLBACK NoteParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NOTIFY && lParam) {
        auto* header = reinterpret_cast<const NMHDR*>(lParam);
        Notes().push_back(Decode(header));
        if (OnNote())
            OnNote()(header);
        auto answer = Answers().find(header->code);
        return answer == Answers().end() ? 0 : answer->second;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// True when `actual` is `expected` with optional entries left out or not.
inline bool Matches(const std::vector<Note>& actual, const std::vector<Note>& expected)
{
    size_t at = 0;
    for (const Note& want : expected) {
        if (at < actual.size() && actual[at] == want)
            ++at;
        else if (!want.optional)
            return false;
    }
    return at == actual.size();
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
        Notes().clear();
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
    // What the notifications since the last look were; the log starts again.
    std::vector<Note> Take()
    {
        std::vector<Note> taken = Notes();
        Notes().clear();
        return taken;
    }
    // The device's pixel at a point of the work area.
    static COLORREF Pixel(int x, int y)
    {
        Drain();
        return LwDevicePixel(x, y + 26);
    }

    static constexpr int kControlId = 4098;
    HWND parent = nullptr;
};

} // namespace lwtest
