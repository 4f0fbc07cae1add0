// Incremental search. Windows' controls search as the user types; where its
// documentation is silent the platform does as Wine does (a repeat steps on,
// the whole run tried first), except that every printable character searches,
// not only ASCII letters, digits and punctuation, so that titles in any script
// can be typed.
#include "typeahead.h"

#include <QChar>

#include <winbase.h>

#include <algorithm>

namespace lwcommctrl {
namespace {

char16_t Folded(char16_t c)
{
    return QChar(c).toCaseFolded().unicode();
}

} // namespace

bool TypeAhead::Type(char16_t c)
{
    if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0))
        return false;
    bool current = Current() > 0;
    if (c == u' ' && !current)
        return false;
    if (!current)
        length_ = 0;
    if (length_ < kMaxTyped)
        typed_[length_++] = c;
    last_ = GetTickCount();
    return true;
}

size_t TypeAhead::Current() const
{
    return length_ > 0 && GetTickCount() - last_ < kPauseMs ? length_ : 0;
}

size_t TypeAhead::Copy(LPWSTR buffer) const
{
    size_t units = Current();
    if (buffer) {
        std::copy(typed_, typed_ + units, buffer);
        buffer[units] = 0;
    }
    return units;
}

bool TypeAhead::Begins(std::u16string_view text, size_t units) const
{
    if (text.size() < units)
        return false;
    for (size_t i = 0; i < units; ++i) {
        if (Folded(text[i]) != Folded(typed_[i]))
            return false;
    }
    return true;
}

bool TypeAhead::Repeated() const
{
    return std::all_of(typed_ + 1, typed_ + length_, [&](char16_t c) { return Folded(c) == Folded(typed_[0]); });
}

} // namespace lwcommctrl
