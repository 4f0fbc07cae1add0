// $FIftiMain, read where a lookup needs it and checked at every step.
//
// A header (its first 0x82 bytes are used), then the tree: leaf nodes of
// words in byte order, each word stored as the length of its prefix shared
// with the word before and the rest, with the place and length of its word
// location codes; index nodes above them, whose keys are the last word of
// each child. The location codes are a bit stream of "scale and root" coded
// numbers, per page: the topic number's step from the page before, the
// number of occurrences and their positions; each page ends on a byte.
#include "FullTextIndex.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr DWORD kMagic = 0x00280000;
constexpr size_t kHeaderLength = 0x82;
constexpr DWORD kMinNodeLength = 512;
constexpr DWORD kMaxNodeLength = 64 * 1024;
constexpr WORD kMaxDepth = 8;
// The s/r code is known with scale 2 only, which every writer uses.
constexpr BYTE kScale = 2;
// Roots beyond this would need numbers wider than a topic count ever is.
constexpr BYTE kMaxRoot = 24;
// A leaf's prefix and rest are counted in bytes.
constexpr size_t kLeafHeader = 8;
constexpr size_t kIndexHeader = 2;
// The location codes are read this much at a time.
constexpr size_t kPiece = 64 * 1024;

DWORD Le32(const BYTE* p) { return p[0] | p[1] << 8 | p[2] << 16 | (DWORD)p[3] << 24; }
WORD Le16(const BYTE* p) { return (WORD)(p[0] | p[1] << 8); }

// A number of 7-bit groups, lowest first, the high bit set on all but the
// last; false when it runs past `end` or past 32 bits.
bool ReadNumber(const BYTE*& at, const BYTE* end, ULONGLONG* value)
{
    *value = 0;
    for (int shift = 0; shift < 35; shift += 7) {
        if (at >= end)
            return false;
        BYTE b = *at++;
        *value |= (ULONGLONG)(b & 0x7F) << shift;
        if (!(b & 0x80))
            return *value <= 0xFFFFFFFF;
    }
    return false;
}

// One word of a node: its length byte (the rest plus one), the prefix it
// shares with the word before, the rest. False when the entry is damaged.
bool ReadWord(const BYTE*& at, const BYTE* end, std::string* word)
{
    if (end - at < 2)
        return false;
    size_t length = at[0], shared = at[1];
    if (length == 0 || shared > word->size() || (size_t)(end - at - 2) < length - 1)
        return false;
    word->resize(shared);
    word->append((const char*)at + 2, length - 1);
    at += 1 + length;
    return true;
}

int Compare(const std::string& a, const std::string& b)
{
    return a.compare(b) < 0 ? -1 : a.compare(b) > 0 ? 1 : 0;
}

// The location codes of a word, a bit at a time, first bit highest.
class BitReader {
public:
    BitReader(const ObjectReader& reader, ULONGLONG offset, ULONGLONG size)
        : reader(reader), offset(offset), size(size), buffer(std::min<ULONGLONG>(size, kPiece))
    {
    }

    ULONGLONG BitsLeft() const { return (size - at) * 8 - bit; }

    bool Bit(int* value)
    {
        if (at >= size || !Fill())
            return false;
        *value = (buffer[at - bufferStart] >> (7 - bit)) & 1;
        if (++bit == 8) {
            bit = 0;
            ++at;
        }
        return true;
    }

    bool Bits(int count, ULONGLONG* value)
    {
        *value = 0;
        for (int k = 0; k < count; ++k) {
            int b;
            if (!Bit(&b))
                return false;
            *value = *value << 1 | b;
        }
        return true;
    }

    // A number in the s/r code of scale 2: p one bits and a zero, then r
    // bits when p is 0, else r + p - 1 bits above 2^(r + p - 1).
    bool ScaleRoot(int root, ULONGLONG* value)
    {
        int ones = 0, b;
        for (;;) {
            if (!Bit(&b))
                return false;
            if (!b)
                break;
            if (++ones + root > 33)
                return false;
        }
        if (ones == 0)
            return Bits(root, value);
        int width = root + ones - 1;
        if (!Bits(width, value))
            return false;
        *value += 1ull << width;
        return true;
    }

    void Align()
    {
        if (bit) {
            bit = 0;
            ++at;
        }
    }

    // The bytes after the last one read are all zero (a writer's padding).
    bool RestIsZero()
    {
        Align();
        for (; at < size; ++at) {
            if (!Fill() || buffer[at - bufferStart] != 0)
                return false;
        }
        return true;
    }

private:
    bool Fill()
    {
        if (filled && at >= bufferStart && at < bufferStart + bufferLength)
            return true;
        size_t wanted = (size_t)std::min<ULONGLONG>(buffer.size(), size - at);
        bufferLength = reader.ReadAt(offset + at, buffer.data(), wanted);
        bufferStart = at;
        filled = true;
        return bufferLength == wanted && wanted > 0;
    }

    const ObjectReader& reader;
    ULONGLONG offset, size;
    std::vector<BYTE> buffer;
    ULONGLONG bufferStart = 0;
    size_t bufferLength = 0;
    bool filled = false;
    ULONGLONG at = 0;  // byte of the next bit
    int bit = 0;
};

} // namespace

bool FullTextIndex::Open(Book& book)
{
    reader.reset();
    const ObjectEntry* entry = book.FindObject(u"/$FIftiMain");
    if (!entry || entry->length < kHeaderLength)
        return false;
    reader = book.ReaderFor(*entry);
    BYTE header[kHeaderLength];
    if (!reader || reader->ReadAt(0, header, sizeof header) != sizeof header || Le32(header) != kMagic) {
        reader.reset();
        return false;
    }
    root = Le32(header + 8);
    depth = Le16(header + 0x18);
    nodeLength = Le32(header + 0x2E);
    docRoot = header[0x1F];
    countRoot = header[0x21];
    locationRoot = header[0x23];
    bool scales = header[0x1E] == kScale && header[0x20] == kScale && header[0x22] == kScale;
    bool roots = docRoot <= kMaxRoot && countRoot <= kMaxRoot && locationRoot <= kMaxRoot;
    bool tree = depth >= 1 && depth <= kMaxDepth && nodeLength >= kMinNodeLength && nodeLength <= kMaxNodeLength &&
                root >= kHeaderLength && (ULONGLONG)root + nodeLength <= entry->length;
    if (!scales || !roots || !tree) {
        reader.reset();
        return false;
    }
    UINT declared = Le32(header + 0x7A);
    codePage = declared && IsValidCodePage(declared) ? declared : book.codePage;
    return true;
}

bool FullTextIndex::ReadNode(DWORD offset, std::vector<BYTE>* node)
{
    node->resize(nodeLength);
    return offset >= kHeaderLength && (ULONGLONG)offset + nodeLength <= reader->Length() &&
           reader->ReadAt(offset, node->data(), nodeLength) == nodeLength;
}

FullTextIndex::Lookup FullTextIndex::Find(const std::string& word, std::vector<Posting>* postings)
{
    postings->clear();
    if (!reader || word.empty())
        return Lookup::kDamaged;
    std::vector<BYTE> node;
    DWORD offset = root;
    for (WORD level = depth; level > 1; --level) {
        if (!ReadNode(offset, &node))
            return Lookup::kDamaged;
        WORD free = Le16(node.data());
        if (free > nodeLength - kIndexHeader)
            return Lookup::kDamaged;
        const BYTE* at = node.data() + kIndexHeader;
        const BYTE* end = node.data() + nodeLength - free;
        std::string key;
        DWORD child = 0;
        bool chosen = false;
        while (at < end && !chosen) {
            if (!ReadWord(at, end, &key) || end - at < 6)
                return Lookup::kDamaged;
            // The key is the last word of its child: the first key at or
            // after the word leads to the only child that can hold it.
            chosen = Compare(key, word) >= 0;
            child = Le32(at);
            at += 6;
        }
        if (!chosen)
            return Lookup::kAbsent;
        offset = child;
    }
    // A word's entries may run on into the next leaf.
    for (int leaves = 0; leaves < 2 && offset != 0; ++leaves) {
        if (!ReadNode(offset, &node))
            return Lookup::kDamaged;
        bool last = false;
        DWORD wlcOffset = 0;
        ULONGLONG docs = 0, wlcSize = 0;
        Lookup found = FindInLeaf(node, word, &last, &wlcOffset, &docs, &wlcSize);
        if (found == Lookup::kFound)
            return ReadLocations(wlcOffset, wlcSize, docs, postings);
        if (found == Lookup::kDamaged || !last)
            return found;
        offset = Le32(node.data());
    }
    return Lookup::kAbsent;
}

// The body-text entry of `word` in a leaf (its context byte 0; 1 is a title).
FullTextIndex::Lookup FullTextIndex::FindInLeaf(const std::vector<BYTE>& leaf, const std::string& word, bool* last,
                                                DWORD* wlcOffset, ULONGLONG* docs, ULONGLONG* wlcSize)
{
    WORD free = Le16(leaf.data() + 6);
    if (free > nodeLength - kLeafHeader)
        return Lookup::kDamaged;
    const BYTE* at = leaf.data() + kLeafHeader;
    const BYTE* end = leaf.data() + nodeLength - free;
    std::string current;
    while (at < end) {
        if (!ReadWord(at, end, &current) || at >= end)
            return Lookup::kDamaged;
        BYTE context = *at++;
        ULONGLONG count = 0, size = 0;
        if (!ReadNumber(at, end, &count) || end - at < 6)
            return Lookup::kDamaged;
        DWORD offset = Le32(at);
        at += 6;
        if (!ReadNumber(at, end, &size))
            return Lookup::kDamaged;
        int order = Compare(current, word);
        if (order > 0)
            return Lookup::kAbsent;
        if (order == 0 && context == 0) {
            *wlcOffset = offset;
            *docs = count;
            *wlcSize = size;
            return Lookup::kFound;
        }
    }
    *last = current == word;
    return Lookup::kAbsent;
}

FullTextIndex::Lookup FullTextIndex::ReadLocations(DWORD offset, ULONGLONG size, ULONGLONG docs,
                                                   std::vector<Posting>* postings)
{
    // Each page takes bits of its own: more pages than bits is damage.
    if (docs == 0 || docs > size * 8 || offset < kHeaderLength || (ULONGLONG)offset + size > reader->Length())
        return Lookup::kDamaged;
    BitReader bits(*reader, offset, size);
    ULONGLONG topic = 0;
    postings->reserve((size_t)std::min<ULONGLONG>(docs, 4096));
    for (ULONGLONG d = 0; d < docs; ++d) {
        ULONGLONG step = 0, count = 0, location = 0;
        if (!bits.ScaleRoot(docRoot, &step) || (d > 0 && step == 0) || !bits.ScaleRoot(countRoot, &count) ||
            count == 0)
            return Lookup::kDamaged;
        topic += step;
        // Every code takes a bit at least: a count beyond the bits left is damage.
        if (topic > 0xFFFFFFFF || count > bits.BitsLeft())
            return Lookup::kDamaged;
        for (ULONGLONG k = 0; k < count; ++k) {
            if (!bits.ScaleRoot(locationRoot, &location))
                return Lookup::kDamaged;
        }
        bits.Align();
        postings->push_back({(DWORD)topic, (DWORD)count});
    }
    return bits.RestIsZero() ? Lookup::kFound : Lookup::kDamaged;
}
