// The keyword index: the .hhk sitemap the book names (or the first one), else
// the binary index that the compiler built from it ($WWKeywordLinks/BTree).
#include "Book.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr size_t kTitleLength = 255;
// #WINDOWS: a count and an entry size, then the entries; each names its
// index file at this offset, as an offset into #STRINGS.
constexpr size_t kWindowsHeader = 8;
constexpr size_t kWindowIndexFile = 0x64;
// $WWKeywordLinks/BTree: a header, then blocks; a listing block starts with
// its free space, entry count and the previous and next listing blocks.
constexpr WORD kTreeMagic = 0x293B;
constexpr size_t kTreeHeader = 0x4C;
constexpr size_t kBlockHeader = 12;
constexpr DWORD kMinBlock = 64;
constexpr DWORD kNoBlock = 0xFFFFFFFF;
// Deeper keywords are left out, as deeper contents entries are.
constexpr WORD kMaxKeywordDepth = 30;

// Reads a block of the keyword tree, every read inside it.
class BlockReader {
public:
    BlockReader(const BYTE* at, const BYTE* end) : at(at), end(end) {}

    bool Number(DWORD* value, size_t size)
    {
        if ((size_t)(end - at) < size)
            return false;
        *value = 0;
        for (size_t k = 0; k < size; ++k)
            *value |= (DWORD)at[k] << (8 * k);
        at += size;
        return true;
    }
    // A zero-terminated UTF-16 text; `units` get at most kTitleLength of it.
    bool Text(WCHAR* units, size_t* length)
    {
        *length = 0;
        for (;;) {
            if (end - at < 2)
                return false;
            WCHAR unit = (WCHAR)(at[0] | at[1] << 8);
            at += 2;
            if (unit == 0)
                return true;
            if (*length < kTitleLength)
                units[(*length)++] = unit;
        }
    }
    size_t Left() const { return (size_t)(end - at); }

private:
    const BYTE* at;
    const BYTE* end;
};

} // namespace

size_t Book::ReadKeywordIndex(ContentsCallback callback, void* context)
{
    // Without a callback the entries would land in the contents.
    if (!chm || !callback)
        return 0;
    contentsCallback = callback;
    callbackContext = context;
    entriesMade = 0;
    if (const ObjectEntry* file = FindKeywordFile())
        ParseSitemap(*file, true);
    else
        ParseBinaryKeywords();
    contentsCallback = nullptr;
    callbackContext = nullptr;
    return entriesMade;
}

const ObjectEntry* Book::FindKeywordFile()
{
    if (const ObjectEntry* named = NamedBySystem(namedIndexFile, ".hhk"))
        return named;
    // Books that hhc.exe compiles with a window name the file only there.
    ObjectBytes windows, strings;
    if (windows.Read(*this, u"/#WINDOWS") && strings.Read(*this, u"/#STRINGS") && windows.size >= kWindowsHeader) {
        BinaryContents::Table table = windows.Table(), names = strings.Table();
        DWORD count = table.At(0), size = table.At(4);
        for (DWORD k = 0; k < count && size >= kWindowIndexFile + 4; ++k) {
            ULONGLONG entry = kWindowsHeader + (ULONGLONG)k * size;
            if (!table.Holds(entry, size))
                break;
            size_t length = 0;
            const char* name = names.String(table.At((size_t)entry + kWindowIndexFile), &length);
            if (length > 0 && length < MAX_PATH) {
                if (const ObjectEntry* file = NamedBySystem(name, ".hhk"))
                    return file;
            }
        }
    }
    for (const ObjectEntry& entry : objects) {
        if (PathEndsWith(entry.path, ".hhk"))
            return &entry;
    }
    return nullptr;
}

// The binary keyword index: listing blocks chained from the first, each a
// run of entries: the keyword (UTF-16; below the top level "parent, child",
// shown from a given character on), whether it is a "see also", its depth,
// and its #TOPICS records (or the text it sends the reader to).
void Book::ParseBinaryKeywords()
{
    ObjectBytes tree, topics, urls, urlStrings, strings;
    if (!tree.Read(*this, u"/$WWKeywordLinks/BTree") || tree.size < kTreeHeader)
        return;
    BinaryContents::Table header = tree.Table();
    DWORD blockSize = header.data[4] | header.data[5] << 8;
    if ((header.data[0] | header.data[1] << 8) != kTreeMagic || blockSize < kMinBlock)
        return;
    topics.Read(*this, u"/#TOPICS");
    urls.Read(*this, u"/#URLTBL");
    urlStrings.Read(*this, u"/#URLSTR");
    strings.Read(*this, u"/#STRINGS");
    BinaryContents tables{{}, topics.Table(), urls.Table(), urlStrings.Table(), strings.Table()};
    size_t blocks = (tree.size - kTreeHeader) / blockSize;
    // Each block is read once: a chain that comes back to one ends there.
    std::vector<bool> visited(blocks);
    WCHAR keyword[kTitleLength], seeAlso[kTitleLength];
    for (DWORD block = 0; block < blocks && !visited[block];) {
        visited[block] = true;
        const BYTE* start = tree.data + kTreeHeader + (size_t)block * blockSize;
        DWORD free = start[0] | start[1] << 8, count = start[2] | start[3] << 8;
        if (free > blockSize - kBlockHeader)
            return;
        BlockReader reader(start + kBlockHeader, start + blockSize - free);
        for (DWORD e = 0; e < count; ++e) {
            size_t length = 0, seeLength = 0;
            DWORD see = 0, depth = 0, shown = 0, zero = 0, pages = 0, one = 0, number = 0;
            if (!reader.Text(keyword, &length) || !reader.Number(&see, 2) || !reader.Number(&depth, 2) ||
                !reader.Number(&shown, 4) || !reader.Number(&zero, 4) || !reader.Number(&pages, 4))
                return;
            if (see && !reader.Text(seeAlso, &seeLength))
                return;
            if (!see && pages > reader.Left() / 4)
                return;
            // The part shown at this level: after the parents' names.
            size_t skip = shown < length ? shown : 0;
            const WCHAR* title = keyword + skip;
            size_t titleLength = length - skip;
            // Writers add records without a page for the titles of a
            // keyword's pages: a keyword has an entry for each of its pages,
            // or one without a page when it has none.
            std::vector<std::pair<const WCHAR*, size_t>> found;
            std::vector<WCHAR> locals(see ? 0 : (size_t)pages * kTitleLength);
            for (DWORD p = 0; !see && p < pages; ++p) {
                DWORD topic = 0;
                reader.Number(&topic, 4);
                TopicTexts texts;
                ReadTopic(tables, topic, &texts);
                WCHAR* local = locals.data() + (size_t)p * kTitleLength;
                if (size_t localLength = WidenTitle(codePage, texts.local, texts.localLength, local))
                    found.emplace_back(local, localLength);
            }
            const WCHAR* kept = nullptr;
            if (depth <= kMaxKeywordDepth && found.empty())
                AppendEntry(title, titleLength, &kept, nullptr, 0, (int)depth + 1);
            for (size_t p = 0; depth <= kMaxKeywordDepth && p < found.size(); ++p)
                AppendEntry(title, titleLength, &kept, found[p].first, found[p].second, (int)depth + 1);
            if (!reader.Number(&one, 4) || !reader.Number(&number, 4))
                return;
        }
        DWORD next = start[8] | start[9] << 8 | start[10] << 16 | (DWORD)start[11] << 24;
        if (next == kNoBlock)
            break;
        block = next;
    }
}
