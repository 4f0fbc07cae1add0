// The contents file's sitemap, read by a character scanner: only the list tags
// and the Name and Local parameters are recognised, each at a "<".
#include "Book.h"

namespace {

constexpr size_t kTitleLength = 255;  // characters of a title, or of a Local value

const WCHAR kListOpen[] = u"<UL>";
const WCHAR kListClose[] = u"</UL>";
const WCHAR kNameParam[] = u"<param name=\"Name\" value=\"";
const WCHAR kLocalParam[] = u"<param name=\"Local\" value=\"";

template <size_t N>
bool OpensWith(const WCHAR* at, const WCHAR (&opening)[N])
{
    // _wcsnicmp stops at the text's end, so no comparison runs past it.
    return _wcsnicmp(at, opening, N - 1) == 0;
}

// Copies a parameter value up to its closing double quote, the end of the
// text, or `limit` characters; returns the number copied.
size_t CopyValue(const WCHAR* from, WCHAR* to, size_t limit)
{
    size_t n = 0;
    while (n < limit && from[n] && from[n] != '"') {
        to[n] = from[n];
        ++n;
    }
    to[n] = 0;
    return n;
}

} // namespace

void Book::AppendEntry(const WCHAR* title, const WCHAR* local, int level)
{
    contents.push_back({textPool.Copy(title, wcslen(title)), textPool.Copy(local, wcslen(local)), level, nullptr});
}

void Book::ParseContents(const WCHAR* text)
{
    constexpr size_t kNameOpening = sizeof kNameParam / sizeof(WCHAR) - 1;
    constexpr size_t kLocalOpening = sizeof kLocalParam / sizeof(WCHAR) - 1;
    int level = 0;
    WCHAR name[kTitleLength + 1] = {};
    WCHAR local[kTitleLength + 2] = {};
    size_t nameLength = 0;
    bool namePending = false;
    auto append = [&](const WCHAR* entryLocal, size_t localLength) {
        contents.push_back(
            {textPool.Copy(name, nameLength), textPool.Copy(entryLocal, localLength), level, nullptr});
    };

    for (const WCHAR* at = text; *at; ++at) {
        if (*at != '<')
            continue;
        // Each opening text is told by its second character, so most tags
        // ("<LI>", "<OBJECT", "</OBJECT>") cost one comparison.
        WCHAR second = at[1] | 0x20;
        if (second == 'u' && OpensWith(at, kListOpen)) {
            if (namePending) {
                append(u"", 0);
                namePending = false;
            }
            ++level;
        } else if (second == ('/' | 0x20) && OpensWith(at, kListClose)) {
            --level;
            if (namePending) {
                append(u"", 0);
                namePending = false;
            }
        } else if (second == 'p') {
            if (OpensWith(at, kNameParam)) {
                nameLength = CopyValue(at + kNameOpening, name, kTitleLength);
                namePending = true;
            } else if (OpensWith(at, kLocalParam)) {
                local[0] = '/';
                size_t localLength = 1 + CopyValue(at + kLocalOpening, local + 1, kTitleLength);
                append(local, localLength);
                namePending = false;
            }
        }
    }
}
