// Character kinds and case folding from tables generated out of the Unicode
// database. Pages are tens of megabytes, so the basic plane is answered from
// one flat table built on first use; the other planes search the ranges.
#include "Unicode.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace {

struct FoldRange {
    char32_t first, last;
    int stride, delta;
};
struct CodeRange {
    char32_t first, last;
};
struct Entity {
    const char* name;
    char32_t codePoint;
};

#include "UnicodeTables.inc"

// Blocks of the scripts written without spaces between words, and Hangul,
// whose words are looked for inside runs as well.
constexpr CodeRange kCjkBlocks[] = {
    {0x1100, 0x11FF},   {0x2E80, 0x2FDF},   {0x3005, 0x3007},   {0x3021, 0x3029},   {0x3031, 0x303C},
    {0x3040, 0x30FF},   {0x3100, 0x31FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA960, 0xA97F},
    {0xAC00, 0xD7FF},   {0xF900, 0xFAFF},   {0xFF66, 0xFFDC},   {0x1B000, 0x1B16F}, {0x20000, 0x3FFFF},
};

bool InRanges(const CodeRange* begin, const CodeRange* end, char32_t c)
{
    const CodeRange* at = std::upper_bound(begin, end, c, [](char32_t v, const CodeRange& r) { return v < r.first; });
    return at != begin && c <= (at - 1)->last;
}

char32_t FoldByRanges(char32_t c)
{
    const FoldRange* end = kFoldRanges + sizeof kFoldRanges / sizeof *kFoldRanges;
    const FoldRange* at =
        std::upper_bound(kFoldRanges, end, c, [](char32_t v, const FoldRange& r) { return v < r.first; });
    if (at == kFoldRanges)
        return c;
    --at;
    if (c > at->last || (c - at->first) % at->stride != 0)
        return c;
    return (char32_t)((int)c + at->delta);
}

CharKind KindByRanges(char32_t c)
{
    // Invisible in a page and inside words: the soft hyphen, the joiners, the
    // word joiner and a byte-order mark that lands inside a text.
    if (c == 0xAD || c == 0x200C || c == 0x200D || c == 0x2060 || c == 0xFEFF)
        return CharKind::kIgnored;
    if (!InRanges(kWordRanges, kWordRanges + sizeof kWordRanges / sizeof *kWordRanges, c))
        return CharKind::kSeparator;
    if (InRanges(kCjkBlocks, kCjkBlocks + sizeof kCjkBlocks / sizeof *kCjkBlocks, c))
        return CharKind::kCjk;
    return CharKind::kWord;
}

// The basic plane: every unit's kind and folding, 192 KB built once.
struct PlaneTable {
    CharKind kind[0x10000];
    WCHAR fold[0x10000];
};

const PlaneTable& Plane()
{
    static PlaneTable* table;
    static std::once_flag built;
    std::call_once(built, [] {
        table = new PlaneTable;
        for (char32_t c = 0; c < 0x10000; ++c) {
            bool surrogate = c >= 0xD800 && c <= 0xDFFF;
            table->kind[c] = surrogate ? CharKind::kSeparator : KindByRanges(c);
            char32_t folded = surrogate ? c : FoldByRanges(c);
            // Every folding of the basic plane stays in it.
            table->fold[c] = folded < 0x10000 ? (WCHAR)folded : (WCHAR)c;
        }
    });
    return *table;
}

} // namespace

CharKind KindOf(char32_t c)
{
    if (c < 0x10000)
        return Plane().kind[c];
    return c <= 0x10FFFF ? KindByRanges(c) : CharKind::kSeparator;
}

char32_t FoldCase(char32_t c)
{
    if (c < 0x10000)
        return Plane().fold[c];
    return c <= 0x10FFFF ? FoldByRanges(c) : c;
}

char32_t NamedCharacter(const WCHAR* name, size_t length)
{
    char ascii[16];
    if (length == 0 || length >= sizeof ascii)
        return 0;
    for (size_t i = 0; i < length; ++i) {
        if (name[i] >= 0x80)
            return 0;
        ascii[i] = (char)name[i];
    }
    ascii[length] = 0;
    const Entity* end = kEntities + sizeof kEntities / sizeof *kEntities;
    const Entity* at =
        std::lower_bound(kEntities, end, ascii, [](const Entity& e, const char* v) { return strcmp(e.name, v) < 0; });
    return at != end && strcmp(at->name, ascii) == 0 ? at->codePoint : 0;
}
