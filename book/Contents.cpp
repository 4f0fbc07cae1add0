// The contents file's sitemap, read by a character scanner: only the list tags
// and the Name and Local parameters are recognised, each at a "<".
//
// A contents file is scanned as the bytes it is stored in, a window at a time,
// and only the values that become entries are converted: the markup is ASCII,
// and in every code page a book is written in, a "<" or a double quote is that
// character, never part of another. A text already in UTF-16 is scanned the
// same way, unit by unit.
#include "Book.h"

#include "Charset.h"
#include "ObjectReader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

constexpr size_t kTitleLength = 255;  // characters of a title, or of a Local value
// A character takes at most four bytes, so the bytes of a value's first 255
// characters lie within this many.
constexpr size_t kValueBytes = 4 * kTitleLength;

// A text that opens a tag the parser acts on, given in lower case; it matches
// in any letter case. `fold` holds 0x20 at each letter: a unit ORed with it
// equals the lower-case letter exactly when it is that letter in either case,
// and other places must match exactly, so one OR and one comparison test a
// unit, or eight bytes at once.
struct Opening {
    static constexpr size_t kMax = 16;

    template <size_t N>
    constexpr Opening(const char (&lower)[N]) : length(N - 1)
    {
        static_assert(N - 1 <= kMax && N - 1 >= 4);
        for (size_t i = 0; i < N - 1; ++i) {
            text[i] = (BYTE)lower[i];
            fold[i] = lower[i] >= 'a' && lower[i] <= 'z' ? 0x20 : 0;
        }
    }

    BYTE text[kMax] = {};
    BYTE fold[kMax] = {};
    size_t length;
};

constexpr Opening kListOpen("<ul>");
constexpr Opening kListClose("</ul>");
constexpr Opening kParam("<param name=\"");  // what the Name and Local parameters share
constexpr Opening kNameRest("name\" value=\"");
constexpr Opening kLocalRest("local\" value=\"");
constexpr Opening kKeywordRest("keyword\" value=\"");
constexpr Opening kObjectOpen("<object");
constexpr Opening kObjectClose("</object");

template <typename Word>
bool SameWord(const BYTE* at, const Opening& opening, size_t from)
{
    Word bytes, fold, text;
    memcpy(&bytes, at + from, sizeof bytes);
    memcpy(&fold, opening.fold + from, sizeof fold);
    memcpy(&text, opening.text + from, sizeof text);
    return (bytes | fold) == text;
}

// Whether the text at `at`, which ends at `end`, starts with `opening`. Bytes
// are compared a word at a time: two overlapping words cover any opening.
bool OpensWith(const BYTE* at, const BYTE* end, const Opening& opening)
{
    size_t n = opening.length;
    if ((size_t)(end - at) < n)
        return false;
    if (n >= 8)
        return SameWord<uint64_t>(at, opening, 0) && SameWord<uint64_t>(at, opening, n - 8);
    return SameWord<uint32_t>(at, opening, 0) && SameWord<uint32_t>(at, opening, n - 4);
}

bool OpensWith(const WCHAR* at, const WCHAR* end, const Opening& opening)
{
    if ((size_t)(end - at) < opening.length)
        return false;
    for (size_t i = 0; i < opening.length; ++i) {
        if ((at[i] | opening.fold[i]) != opening.text[i])
            return false;
    }
    return true;
}

// Widens `count` ASCII bytes into UTF-16 units.
void WidenAscii(const BYTE* from, size_t count, WCHAR* to)
{
    size_t i = 0;
#ifdef __SSE2__
    for (; i + 16 <= count; i += 16) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), _mm_unpacklo_epi8(bytes, _mm_setzero_si128()));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i + 8), _mm_unpackhi_epi8(bytes, _mm_setzero_si128()));
    }
#endif
    for (; i < count; ++i)
        to[i] = from[i];
}

// The number of bytes below 0x80 at the start of [at, at + count).
size_t AsciiPrefix(const BYTE* at, size_t count)
{
    size_t n = 0;
    for (; n + 8 <= count; n += 8) {
        uint64_t word;
        memcpy(&word, at + n, sizeof word);
        if (word & 0x8080808080808080ull)
            break;
    }
    while (n < count && at[n] < 0x80)
        ++n;
    return n;
}

// The first `wanted` in [at, end), or `end`. Contents files run to megabytes
// with a tag every few dozen characters, and the parser acts only at a "<"
// and a value's closing quote, so this search is most of its time: SSE2
// compares sixteen bytes or eight units at once; the last few (and builds
// without SSE2) go one by one.
const BYTE* Find(const BYTE* at, const BYTE* end, BYTE wanted)
{
    const void* found = memchr(at, wanted, end - at);
    return found ? static_cast<const BYTE*>(found) : end;
}

const WCHAR* Find(const WCHAR* at, const WCHAR* end, WCHAR wanted)
{
#ifdef __SSE2__
    const __m128i pattern = _mm_set1_epi16((short)wanted);
    for (; end - at >= 8; at += 8) {
        __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        // Two mask bits per matching unit: the lowest set bit halved is its place.
        if (int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(units, pattern)))
            return at + __builtin_ctz((unsigned)mask) / 2;
    }
#endif
    while (at < end && *at != wanted)
        ++at;
    return at;
}

} // namespace

// The sitemap's scanner. Its state carries from one window of the text to the
// next, so that the whole text never has to be in memory at once.
template <typename Unit>
class SitemapScanner {
public:
    // The units of a value's first 255 characters: bytes are converted.
    static constexpr size_t kValueUnits = sizeof(Unit) == 1 ? kValueBytes : kTitleLength;
    // The most units that the parser reads from a "<": the longer parameter
    // opening and a whole value.
    static constexpr size_t kLookahead = kParam.length + std::max(kLocalRest.length, kKeywordRest.length) + kValueUnits;

    // `codePage` is the one bytes are converted from. A keyword index
    // (`keywords`) is read by objects instead: an object is one keyword (its
    // Keyword parameter, else its first Name; the Names after it title its
    // pages), with an entry for each of its Local parameters wherever they
    // stand in it, or one without a page when it has none.
    SitemapScanner(Book& book, UINT codePage, bool keywords = false) : book(book), codePage(codePage), keywords(keywords)
    {
    }

    // Scans [text, text + length). Unless `last`, it stops before the first
    // "<" whose opening and value could run on past `length`, and returns
    // where: the caller keeps the text from there and scans it again with
    // what follows. Each "<" is acted on once, as if the text were whole.
    size_t Scan(const Unit* text, size_t length, bool last)
    {
        const Unit* end = text + length;
        const Unit* stop = last ? end : length > kLookahead ? end - kLookahead : text;
        const Unit* at = Find(text, stop, (Unit)'<');
        for (; at < stop; at = Find(at + 1, stop, (Unit)'<'))
            Act(at, end);
        if (last && keywords)
            EndObject();
        return at - text;
    }

private:
    // Locals of a keyword that come before its name are kept until it comes,
    // this many at most.
    static constexpr size_t kMaxEarlyLocals = 16;

    void Act(const Unit* at, const Unit* end)
    {
        // Each opening text is told by its second character, so most tags
        // ("<LI>", "<OBJECT", "</OBJECT>") cost one comparison.
        WCHAR second = at + 1 < end ? (WCHAR)at[1] | 0x20 : 0;
        if (second == 'u' && OpensWith(at, end, kListOpen)) {
            if (keywords)
                EndObject();
            AppendPendingName();
            ++level;
        } else if (second == '/' && OpensWith(at, end, kListClose)) {
            if (keywords)
                EndObject();
            --level;
            AppendPendingName();
        } else if (keywords) {
            ActOnKeyword(at, end, second);
        } else if (second == 'p' && OpensWith(at, end, kParam)) {
            const Unit* rest = at + kParam.length;
            if (OpensWith(rest, end, kNameRest)) {
                // Kept whole: an object without a Name of its own takes the last one.
                nameLength = Value(rest + kNameRest.length, end, name);
                title = nullptr;
                namePending = true;
            } else if (OpensWith(rest, end, kLocalRest)) {
                WCHAR local[kTitleLength];
                size_t localLength = Value(rest + kLocalRest.length, end, local);
                book.AppendEntry(name, nameLength, &title, local, localLength, level);
                namePending = false;
            }
        }
    }

    void ActOnKeyword(const Unit* at, const Unit* end, WCHAR second)
    {
        if (second == 'o' && OpensWith(at, end, kObjectOpen)) {
            EndObject();
            inObject = true;
        } else if (second == '/' && OpensWith(at, end, kObjectClose)) {
            EndObject();
        } else if (second == 'p' && inObject && OpensWith(at, end, kParam)) {
            // Parameters after an object's list has begun (its "<UL>" before
            // its "</OBJECT>") belong to no keyword; the compiler drops them.
            const Unit* rest = at + kParam.length;
            bool keyword = OpensWith(rest, end, kKeywordRest);
            if (keyword || (OpensWith(rest, end, kNameRest) && !named)) {
                nameLength = Value(rest + (keyword ? kKeywordRest.length : kNameRest.length), end, name);
                title = nullptr;
                named = true;
                for (const std::u16string& local : earlyLocals)
                    book.AppendEntry(name, nameLength, &title, local.data(), local.size(), objectLevel);
                earlyLocals.clear();
            } else if (OpensWith(rest, end, kLocalRest)) {
                WCHAR local[kTitleLength];
                size_t localLength = Value(rest + kLocalRest.length, end, local);
                ++locals;
                if (named)
                    book.AppendEntry(name, nameLength, &title, local, localLength, objectLevel);
                else if (earlyLocals.size() < kMaxEarlyLocals)
                    earlyLocals.emplace_back(local, localLength);
            }
        }
    }

    // The object has ended: a keyword without a page is an entry of its own;
    // pages of an object without a keyword are entries without a title.
    void EndObject()
    {
        if (named && locals == 0)
            book.AppendEntry(name, nameLength, &title, nullptr, 0, objectLevel);
        const WCHAR* untitled = nullptr;
        for (const std::u16string& local : earlyLocals)
            book.AppendEntry(u"", 0, &untitled, local.data(), local.size(), objectLevel);
        earlyLocals.clear();
        named = inObject = false;
        locals = 0;
        title = nullptr;
        objectLevel = level;
    }

    // A parameter's value as text, up to its closing double quote, `end` or
    // 255 characters, whichever comes first; returns its length.
    size_t Value(const Unit* value, const Unit* end, WCHAR* text) const
    {
        const Unit* close = Find(value, value + std::min<size_t>(kValueUnits, end - value), (Unit)'"');
        size_t count = close - value;
        if constexpr (sizeof(Unit) == 1) {
            // Titles and paths are nearly all ASCII, which every code page reads as itself.
            size_t ascii = AsciiPrefix(value, std::min(count, kTitleLength));
            if (ascii == count || ascii == kTitleLength) {
                WidenAscii(value, ascii, text);
                return ascii;
            }
            WCHAR wide[kValueBytes];
            int units = MultiByteToWideChar(codePage, 0, (LPCSTR)value, (int)count, wide, (int)kValueBytes);
            count = std::min<size_t>(units > 0 ? (size_t)units : 0, kTitleLength);
            memcpy(text, wide, count * sizeof(WCHAR));
        } else {
            memcpy(text, value, count * sizeof(WCHAR));
        }
        return count;
    }

    void AppendPendingName()
    {
        if (namePending)
            book.AppendEntry(name, nameLength, &title, nullptr, 0, level);
        namePending = false;
    }

    Book& book;
    UINT codePage;
    bool keywords;
    int level = 0;
    // The keyword index's object: whether one is open, whether it has its
    // keyword, its level, its Locals so far, and those before its keyword.
    bool inObject = false;
    bool named = false;
    int objectLevel = 0;
    size_t locals = 0;
    std::vector<std::u16string> earlyLocals;
    WCHAR name[kTitleLength];
    size_t nameLength = 0;
    // The stored copy of the last Name. Entries that take the same Name (every
    // entry after one takes it) share one copy: a hostile file can give one
    // long Name to millions of entries, and memory must follow the file's
    // size, not that product.
    const WCHAR* title = nullptr;
    bool namePending = false;
};

void Book::ParseContents(const WCHAR* text) { ParseContents(text, wcslen(text)); }

void Book::ParseContents(const WCHAR* text, size_t length)
{
    SitemapScanner<WCHAR>(*this, CP_UTF8).Scan(text, length, true);
}

void Book::AppendEntry(const WCHAR* title, size_t titleLength, const WCHAR** keptTitle, const WCHAR* local,
                       size_t localLength, int level)
{
    ++entriesMade;
    if (contentsCallback) {
        // Handed out from buffers of the entry's own limits, nothing stored.
        WCHAR titleText[kTitleLength + 1], path[MAX_PATH + 1];
        titleLength = std::min(titleLength, kTitleLength);
        memcpy(titleText, title, titleLength * sizeof(WCHAR));
        titleText[titleLength] = 0;
        size_t pathLength = 0;
        if (local) {
            localLength = std::min<size_t>(localLength, MAX_PATH - 1);
            path[0] = '/';
            memcpy(path + 1, local, localLength * sizeof(WCHAR));
            pathLength = localLength + 1;
        }
        path[pathLength] = 0;
        contentsCallback({titleText, path, level, nullptr}, titleLength, pathLength, callbackContext);
        return;
    }
    if (!*keptTitle)
        *keptTitle = textPool.Copy(title, titleLength);
    // A Local value, or an object's path without its "/", is stored with a "/"
    // in front. Entries without a path share one empty path, and those whose
    // value is empty one "/".
    const WCHAR* path;
    if (!local)
        path = noPath ? noPath : (noPath = textPool.Copy(u"", 0));
    else if (localLength == 0)
        path = rootPath ? rootPath : (rootPath = textPool.Copy(u"/", 1));
    else
        path = textPool.Join(u"/", 1, local, localLength);
    contents.push_back({*keptTitle, path, level, nullptr});
}

void Book::ParseSitemap(const ObjectEntry& file, bool keywords)
{
    using Scanner = SitemapScanner<BYTE>;
    chmUnitInfo unit;
    if (!ResolveUnit(file, &unit))
        return;
    // The bytes are read and scanned a window at a time; what the scanner
    // leaves at a window's end moves to the front of the next.
    constexpr size_t kPiece = TextReader::kPieceBytes;
    BYTE* window = static_cast<BYTE*>(malloc(Scanner::kLookahead + kPiece));
    if (!window)
        return;
    ObjectReader reader(container, unit, file.length);
    size_t kept = reader.Next(window, kPiece), from = 0;
    UINT declared = DeclaredCodePage(window, kept, &from);
    UINT textCodePage = declared ? declared : codePage;
    // A keyword index leaves the contents' code page as the contents set it.
    if (!keywords)
        contentsCodePage = textCodePage;
    Scanner scanner(*this, textCodePage, keywords);
    for (;;) {
        bool last = reader.Done();
        size_t scanned = from + scanner.Scan(window + from, kept - from, last);
        if (last)
            break;
        kept -= scanned;
        memmove(window, window + scanned, kept);
        kept += reader.Next(window + kept, kPiece);
        from = 0;
    }
    free(window);
}
