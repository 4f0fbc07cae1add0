// Incremental search, shared by the tree and the list: what the user typed in
// quick succession, by which the control selects the next item whose text
// begins with it. Private to platform/commctrl.
#pragma once

#include <windef.h>

#include <string_view>

namespace lwcommctrl {

class TypeAhead {
public:
    // A pause this long ends a search; the next character begins another.
    static constexpr DWORD kPauseMs = 1000;
    static constexpr size_t kMaxTyped = 259;  // units kept; later ones are dropped, the search goes on

    // Takes a typed character (WM_CHAR). False when it does not search: a
    // control character, or a space that would begin a search (a space goes
    // on with one).
    bool Type(char16_t c);
    // The units typed while the search is current, 0 after the pause.
    size_t Current() const;
    // Copies the current search into `buffer` (room for Current() units and
    // the terminator, as the caller of TVM_/LVM_GETISEARCHSTRINGW must give)
    // unless it is null; returns Current().
    size_t Copy(LPWSTR buffer) const;

    // Where a search stops among `count` items in display order, the current
    // one being `current` (-1: none); -1 when no item's text begins with what
    // was typed (letters compared without case). A single character, or one
    // character typed again and again, steps on from the current item to the
    // next that begins with it, wrapping round (a repeat first tries the whole
    // run, "aa" before "a"); a longer text may still be the current item's.
    // `textOf(i)` gives item i's text.
    template <typename TextOf>
    int Find(int count, int current, TextOf textOf) const
    {
        if (count <= 0 || length_ == 0)
            return -1;
        auto search = [&](int from, size_t units) {
            for (int k = 0; k < count; ++k) {
                int at = (from + k) % count;
                if (Begins(textOf(at), units))
                    return at;
            }
            return -1;
        };
        int here = current < 0 ? 0 : current;
        if (length_ > 1) {
            int found = search(here, length_);
            if (found >= 0 || !Repeated())
                return found;
        }
        return search(current < 0 ? 0 : (current + 1) % count, 1);
    }

private:
    // Whether `text` begins with the first `units` typed, without case.
    bool Begins(std::u16string_view text, size_t units) const;
    bool Repeated() const;

    char16_t typed_[kMaxTyped] = {};
    size_t length_ = 0;
    DWORD last_ = 0;
};

} // namespace lwcommctrl
