// The contents file's sitemap, read by a character scanner: only the list tags
// and the Name and Local parameters are recognised, each at a "<".
#include "Book.h"

#include <algorithm>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

constexpr size_t kTitleLength = 255;  // characters of a title, or of a Local value

// A text that opens a tag the parser acts on, given in lower case; it matches
// in any letter case. `fold` holds 0x20 at each letter: a unit ORed with it
// equals the lower-case letter exactly when it is that letter in either case,
// and other places must match exactly, so one OR and one comparison test a unit.
struct Opening {
    static constexpr size_t kMax = 16;

    template <size_t N>
    constexpr Opening(const char16_t (&lower)[N]) : length(N - 1)
    {
        static_assert(N - 1 <= kMax);
        for (size_t i = 0; i < N - 1; ++i) {
            text[i] = lower[i];
            fold[i] = lower[i] >= 'a' && lower[i] <= 'z' ? 0x20 : 0;
        }
    }

    WCHAR text[kMax] = {};
    WCHAR fold[kMax] = {};
    size_t length;
};

const Opening kListOpen(u"<ul>");
const Opening kListClose(u"</ul>");
const Opening kParam(u"<param name=\"");  // what the Name and Local parameters share
const Opening kNameRest(u"name\" value=\"");
const Opening kLocalRest(u"local\" value=\"");

#ifdef __SSE2__
// Whether eight units at `at` match eight of an opening from its place `from`.
bool SameEight(const WCHAR* at, const Opening& opening, size_t from)
{
    auto load = [](const WCHAR* units) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(units)); };
    __m128i folded = _mm_or_si128(load(at), load(opening.fold + from));
    return _mm_movemask_epi8(_mm_cmpeq_epi16(folded, load(opening.text + from))) == 0xFFFF;
}
#endif

// Whether the text at `at`, which ends at `end`, starts with `opening`. A
// parameter's opening is tested at every "<param" of the file, so the long
// ones are compared as two (overlapping) runs of eight units.
bool OpensWith(const WCHAR* at, const WCHAR* end, const Opening& opening)
{
    if ((size_t)(end - at) < opening.length)
        return false;
#ifdef __SSE2__
    if (opening.length >= 8)
        return SameEight(at, opening, 0) && SameEight(at + opening.length - 8, opening, opening.length - 8);
#endif
    for (size_t i = 0; i < opening.length; ++i) {
        if ((at[i] | opening.fold[i]) != opening.text[i])
            return false;
    }
    return true;
}

// The first `unit` in [at, end), or `end`. Contents files run to megabytes
// with a tag every few dozen units, and the parser acts only at a "<" and a
// value's closing quote, so this search is most of its time: SSE2 compares
// eight units at once; the last few (and builds without SSE2) go one by one.
const WCHAR* Find(const WCHAR* at, const WCHAR* end, WCHAR unit)
{
#ifdef __SSE2__
    const __m128i wanted = _mm_set1_epi16((short)unit);
    for (; end - at >= 8; at += 8) {
        __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        // Two mask bits per matching unit: the lowest set bit halved is its place.
        if (int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(units, wanted)))
            return at + __builtin_ctz((unsigned)mask) / 2;
    }
#endif
    while (at < end && *at != unit)
        ++at;
    return at;
}

// The length of a parameter value: up to its closing double quote, `end`, or
// `limit` characters.
size_t ValueLength(const WCHAR* value, const WCHAR* end, size_t limit)
{
    return Find(value, value + std::min<size_t>(limit, end - value), '"') - value;
}

} // namespace

void Book::ParseContents(const WCHAR* text) { ParseContents(text, wcslen(text)); }

void Book::ParseContents(const WCHAR* text, size_t length)
{
    // The text ends at `end`, where its terminator is; nothing below reads past it.
    const WCHAR* end = text + length;
    int level = 0;
    // The last Name value, as a span of the text: an entry whose object has no
    // Name of its own takes the one before it.
    const WCHAR* name = text;
    size_t nameLength = 0;
    bool namePending = false;
    // Each text is copied once, straight from the file's text into the pool; a
    // Local value is stored with a "/" in front of it. Entries that share a
    // title (every entry after one Name takes it) share its copy, and empty
    // paths share one: a hostile file can give one long Name to millions of
    // entries, and memory must follow the file's size, not that product.
    const WCHAR* title = nullptr;  // the copy of the last Name, once made
    const WCHAR* noPath = nullptr;
    const WCHAR* rootPath = nullptr;
    auto append = [&](const WCHAR* localValue, size_t localLength) {
        if (!title)
            title = textPool.Copy(name, nameLength);
        const WCHAR* path;
        if (!localValue)
            path = noPath ? noPath : (noPath = textPool.Copy(u"", 0));
        else if (localLength == 0)
            path = rootPath ? rootPath : (rootPath = textPool.Copy(u"/", 1));
        else
            path = textPool.Join(u"/", 1, localValue, localLength);
        contents.push_back({title, path, level, nullptr});
    };

    for (const WCHAR* at = Find(text, end, '<'); at < end; at = Find(at + 1, end, '<')) {
        // Each opening text is told by its second character, so most tags
        // ("<LI>", "<OBJECT", "</OBJECT>") cost one comparison.
        WCHAR second = at[1] | 0x20;
        if (second == 'u' && OpensWith(at, end, kListOpen)) {
            if (namePending) {
                append(nullptr, 0);
                namePending = false;
            }
            ++level;
        } else if (second == '/' && OpensWith(at, end, kListClose)) {
            --level;
            if (namePending) {
                append(nullptr, 0);
                namePending = false;
            }
        } else if (second == 'p' && OpensWith(at, end, kParam)) {
            const WCHAR* rest = at + kParam.length;
            if (OpensWith(rest, end, kNameRest)) {
                name = rest + kNameRest.length;
                nameLength = ValueLength(name, end, kTitleLength);
                title = nullptr;
                namePending = true;
            } else if (OpensWith(rest, end, kLocalRest)) {
                const WCHAR* local = rest + kLocalRest.length;
                append(local, ValueLength(local, end, kTitleLength));
                namePending = false;
            }
        }
    }
}
