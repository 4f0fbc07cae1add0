// The contents file's sitemap, read by a character scanner: only the list tags
// and the Name and Local parameters are recognised, each at a "<".
#include "Book.h"

#include <cstring>

namespace {

constexpr size_t kTitleLength = 255;  // characters of a title, or of a Local value

// The four opening texts, in lower case; they match in any letter case.
const WCHAR kListOpen[] = u"<ul>";
const WCHAR kListClose[] = u"</ul>";
const WCHAR kParam[] = u"<param name=\"";  // what the Name and Local parameters share
const WCHAR kNameRest[] = u"name\" value=\"";
const WCHAR kLocalRest[] = u"local\" value=\"";

template <size_t N>
constexpr size_t Length(const WCHAR (&)[N])
{
    return N - 1;
}

// Whether the text at `at` starts with `opening` (lower case), ASCII case
// ignored. Stops at the first difference, so it never reads past the text's
// terminator.
template <size_t N>
bool OpensWith(const WCHAR* at, const WCHAR (&opening)[N])
{
    for (size_t i = 0; i < N - 1; ++i) {
        WCHAR c = at[i], o = opening[i];
        if (c != o && ((c | 0x20) != o || o < 'a' || o > 'z'))
            return false;
    }
    return true;
}

// The next "<" or the terminator; four units a step, never past the terminator.
const WCHAR* NextTag(const WCHAR* at)
{
    for (;; at += 4) {
        if (at[0] == '<' || !at[0])
            return at;
        if (at[1] == '<' || !at[1])
            return at + 1;
        if (at[2] == '<' || !at[2])
            return at + 2;
        if (at[3] == '<' || !at[3])
            return at + 3;
    }
}

// Copies a parameter value up to its closing double quote, the end of the
// text, or `limit` characters; returns the number copied.
size_t CopyValue(const WCHAR* from, WCHAR* to, size_t limit)
{
    size_t n = 0;
    while (n < limit && from[n] && from[n] != '"')
        ++n;
    memcpy(to, from, n * sizeof(WCHAR));
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
    size_t nameLength = 0;
    bool namePending = false;
    auto append = [&](const WCHAR* entryLocal, size_t localLength) {
        contents.push_back(
            {textPool.Copy(name, nameLength), textPool.Copy(entryLocal, localLength), level, nullptr});
    };

    for (const WCHAR* at = NextTag(text); *at; at = NextTag(at + 1)) {
        // Each opening text is told by its second character, so most tags
        // ("<LI>", "<OBJECT", "</OBJECT>") cost one comparison.
        WCHAR second = at[1] | 0x20;
        if (second == 'u' && OpensWith(at, kListOpen)) {
            if (namePending) {
                append(u"", 0);
                namePending = false;
            }
            ++level;
        } else if (second == '/' && OpensWith(at, kListClose)) {
            --level;
            if (namePending) {
                append(u"", 0);
                namePending = false;
            }
        } else if (second == 'p' && OpensWith(at, kParam)) {
            const WCHAR* rest = at + Length(kParam);
            if (OpensWith(rest, kNameRest)) {
                nameLength = CopyValue(rest + Length(kNameRest), name, kTitleLength);
                namePending = true;
            } else if (OpensWith(rest, kLocalRest)) {
                local[0] = '/';
                size_t localLength = 1 + CopyValue(rest + Length(kLocalRest), local + 1, kTitleLength);
                append(local, localLength);
                namePending = false;
            }
        }
    }
}
