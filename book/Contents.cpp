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
    int level = 0;
    WCHAR name[kTitleLength + 1] = {};
    WCHAR local[kTitleLength + 2] = {};
    bool namePending = false;

    for (const WCHAR* at = text; *at; ++at) {
        if (*at != '<')
            continue;
        if (OpensWith(at, kListOpen)) {
            if (namePending) {
                AppendEntry(name, u"", level);
                namePending = false;
            }
            ++level;
        }
        if (OpensWith(at, kListClose)) {
            --level;
            if (namePending) {
                AppendEntry(name, u"", level);
                namePending = false;
            }
        }
        if (OpensWith(at, kNameParam)) {
            CopyValue(at + wcslen(kNameParam), name, kTitleLength);
            namePending = true;
        }
        if (OpensWith(at, kLocalParam)) {
            local[0] = '/';
            CopyValue(at + wcslen(kLocalParam), local + 1, kTitleLength);
            AppendEntry(name, local, level);
            namePending = false;
        }
    }
}
