// What chmlib 0.40 trusts, checked before it is trusted. chmlib reads the
// container's headers, walks its directory chunks and decompresses LZX blocks
// with the counts, offsets and lengths that the file gives it, unchecked: a
// damaged field makes it read or write far past its buffers. Everything it will
// use is read here first, with reads that never leave the file or a buffer.
#include "ChmGuard.h"
#include "LzxWalk.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Layout of the container as chmlib reads it.
constexpr size_t kItsfV2Length = 0x58;
constexpr size_t kItsfV3Length = 0x60;  // chmlib always reads this much
constexpr size_t kItspLength = 0x54;
constexpr size_t kListingHeader = 0x14;  // PMGL chunk header
constexpr size_t kIndexHeader = 0x08;    // PMGI chunk header
constexpr size_t kMaxPathLength = 512;   // chmlib's CHM_MAX_PATHLEN
constexpr size_t kResetTableHeader = 0x28;
constexpr size_t kControlDataMin = 0x18;
constexpr size_t kControlDataMax = 256;  // chmlib's buffer for it
// chmlib reads a compressed block into a buffer of the block length plus this.
constexpr ULONGLONG kCompressedSlack = 6144;
// The LZX decoder only has windows of 2^15 to 2^21 bytes.
constexpr DWORD kMinWindow = 1u << 15;
constexpr DWORD kMaxWindow = 1u << 21;

// Bounds of our own, far beyond what any writer produces: chmlib allocates a
// chunk for every lookup, and the index is walked as deep as the file says.
constexpr DWORD kMinChunkSize = 0x200;
constexpr DWORD kMaxChunkSize = 0x10000;
constexpr LONG kMaxIndexDepth = 16;
// SetFilePointer takes 32-bit offsets here.
constexpr ULONGLONG kMaxFileSize = 0x7FFFFFFF;

const char kResetTablePath[] =
    "::DataSpace/Storage/MSCompressed/Transform/{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/InstanceData/ResetTable";
const char kControlDataPath[] = "::DataSpace/Storage/MSCompressed/ControlData";
const char kContentPath[] = "::DataSpace/Storage/MSCompressed/Content";

DWORD Le32(const BYTE* p) { return p[0] | p[1] << 8 | p[2] << 16 | (DWORD)p[3] << 24; }
ULONGLONG Le64(const BYTE* p) { return Le32(p) | (ULONGLONG)Le32(p + 4) << 32; }

// Whether `length` bytes at `offset` lie inside `size` bytes, without overflow.
bool Within(ULONGLONG offset, ULONGLONG length, ULONGLONG size)
{
    return offset <= size && length <= size - offset;
}

bool IsPowerOfTwo(ULONGLONG value) { return value != 0 && (value & (value - 1)) == 0; }

// The book file, read only where it has bytes.
class BookFile {
public:
    explicit BookFile(LPCWSTR path)
        : handle(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr))
    {
        if (handle == INVALID_HANDLE_VALUE)
            return;
        DWORD high = 0;
        DWORD low = GetFileSize(handle, &high);
        size = ((ULONGLONG)high << 32) | low;
    }
    ~BookFile()
    {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
    BookFile(const BookFile&) = delete;
    BookFile& operator=(const BookFile&) = delete;

    bool Usable() const { return handle != INVALID_HANDLE_VALUE && size <= kMaxFileSize; }
    ULONGLONG Size() const { return size; }

    // All `count` bytes at `offset`, or false.
    bool Read(ULONGLONG offset, void* buffer, size_t count)
    {
        if (!Within(offset, count, size))
            return false;
        if (count == 0)
            return true;
        if (SetFilePointer(handle, (LONG)offset, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
            return false;
        DWORD read = 0;
        return ReadFile(handle, buffer, (DWORD)count, &read, nullptr) && read == count;
    }

private:
    HANDLE handle;
    ULONGLONG size = 0;
};

// One directory entry as chmlib parses it.
struct Unit {
    char path[kMaxPathLength + 1];
    int space;
    ULONGLONG start;
    ULONGLONG length;
};

// Entries of one chunk. chmlib reads entries while one starts before the free
// space; each read here stays inside the chunk, where chmlib's would run on.
class EntryReader {
public:
    EntryReader(const BYTE* first, const BYTE* stop, const BYTE* chunkEnd) : at(first), stop(stop), end(chunkEnd) {}

    bool More() const { return at < stop; }

    // A number of 7-bit groups, high bit set on all but the last; the
    // arithmetic is chmlib's, overflow included.
    bool Number(ULONGLONG* value)
    {
        ULONGLONG accumulated = 0;
        while (at < end) {
            BYTE byte = *at++;
            accumulated = (accumulated << 7) + (byte & 0x7F);
            if (byte < 0x80) {
                *value = accumulated;
                return true;
            }
        }
        return false;
    }

    // A name: its length, then that many bytes. chmlib copies them and ends the
    // copy with a zero; an empty name would make its enumeration index before
    // the path, so a name must not start with a zero byte.
    bool Name(char* name)
    {
        ULONGLONG length = 0;
        if (!Number(&length) || length == 0 || length > kMaxPathLength || length > (ULONGLONG)(end - at))
            return false;
        memcpy(name, at, length);
        name[length] = 0;
        at += length;
        return name[0] != 0;
    }

    bool Listing(Unit* unit)
    {
        ULONGLONG space = 0;
        if (!Name(unit->path) || !Number(&space) || !Number(&unit->start) || !Number(&unit->length))
            return false;
        unit->space = (int)space;
        return true;
    }

    bool Index(char* name, LONG* child)
    {
        ULONGLONG page = 0;
        if (!Name(name) || !Number(&page))
            return false;
        *child = (LONG)(int)page;  // chmlib keeps the low 32 bits, signed
        return true;
    }

private:
    const BYTE* at;
    const BYTE* stop;
    const BYTE* end;
};

// The directory chunks, held whole, with the two ways chmlib walks them: the
// listing chain from the first listing chunk (enumeration) and the index tree
// from its root (lookup).
class Directory {
public:
    Directory(DWORD chunkSize, DWORD chunkCount) : chunkSize(chunkSize), chunkCount(chunkCount) {}

    bool Load(BookFile& file, ULONGLONG offset)
    {
        bytes.resize((size_t)chunkSize * chunkCount);
        return file.Read(offset, bytes.data(), bytes.size());
    }

    // Every chunk that either walk reaches must parse inside its bounds, lead
    // only to chunks of the directory, and never back to itself.
    bool Check(LONG listingHead, LONG indexRoot)
    {
        root = indexRoot <= -1 ? listingHead : indexRoot;
        return CheckListingChain(listingHead) && CheckIndex();
    }

    DWORD ListedEntries() const { return listed; }

    // The names in listing chunks that the chain from the first listing chunk
    // misses, in chunk order; only a damaged entry ends a chunk early.
    std::vector<std::string> UnlistedPaths() const
    {
        std::vector<std::string> paths;
        for (LONG page = 0; (DWORD)page < chunkCount; ++page) {
            if (onChain[page] || !IsListing(page) || !FreeSpaceFits(page, kListingHeader))
                continue;
            EntryReader reader = Entries(page, kListingHeader);
            Unit unit;
            while (reader.More() && reader.Listing(&unit))
                paths.emplace_back(unit.path);
        }
        return paths;
    }

    // chmlib's lookup: down the index by the first name that sorts after the
    // path (case ignored, as chmlib compares), then the first equal name of
    // the listing chunk reached.
    bool Resolve(const char* path, Unit* unit) const
    {
        LONG page = root;
        for (DWORD steps = 0; page != -1 && steps <= chunkCount; ++steps) {
            if (!InRange(page))
                return false;
            if (IsListing(page)) {
                EntryReader reader = Entries(page, kListingHeader);
                while (reader.More()) {
                    if (!reader.Listing(unit))
                        return false;
                    if (strcasecmp(unit->path, path) == 0)
                        return true;
                }
                return false;
            }
            if (!IsIndex(page))
                return false;
            EntryReader reader = Entries(page, kIndexHeader);
            LONG next = -1;
            char name[kMaxPathLength + 1];
            while (reader.More()) {
                LONG child = -1;
                if (!reader.Index(name, &child))
                    return false;
                if (strcasecmp(name, path) > 0)
                    break;
                next = child;
            }
            page = next;
        }
        return false;
    }

private:
    const BYTE* Chunk(LONG page) const { return bytes.data() + (size_t)page * chunkSize; }
    bool InRange(LONG page) const { return page >= 0 && (DWORD)page < chunkCount; }
    bool IsListing(LONG page) const { return memcmp(Chunk(page), "PMGL", 4) == 0; }
    bool IsIndex(LONG page) const { return memcmp(Chunk(page), "PMGI", 4) == 0; }

    // The entries of a chunk, up to where its free space begins.
    EntryReader Entries(LONG page, size_t headerSize) const
    {
        const BYTE* chunk = Chunk(page);
        DWORD freeSpace = Le32(chunk + 4);
        const BYTE* stop = chunk + chunkSize - (freeSpace <= chunkSize - headerSize ? freeSpace : 0);
        return EntryReader(chunk + headerSize, stop, chunk + chunkSize);
    }

    bool FreeSpaceFits(LONG page, size_t headerSize) const
    {
        return Le32(Chunk(page) + 4) <= chunkSize - headerSize;
    }

    bool CheckListing(LONG page, DWORD* entries) const
    {
        if (!IsListing(page) || !FreeSpaceFits(page, kListingHeader))
            return false;
        EntryReader reader = Entries(page, kListingHeader);
        Unit unit;
        DWORD count = 0;
        while (reader.More()) {
            if (!reader.Listing(&unit))
                return false;
            ++count;
        }
        *entries = count;
        return true;
    }

    bool CheckListingChain(LONG head)
    {
        onChain.assign(chunkCount, false);
        listed = 0;
        for (LONG page = head; page != -1; page = (LONG)Le32(Chunk(page) + 0x10)) {
            DWORD entries = 0;
            if (!InRange(page) || onChain[page] || !CheckListing(page, &entries))
                return false;
            onChain[page] = true;
            listed += entries;
        }
        return true;
    }

    enum Visit : BYTE { kUnseen, kOpen, kDone };
    using IndexStack = std::vector<std::pair<LONG, EntryReader>>;

    // A depth-first walk of the index tree that fails on a chunk it is still
    // inside of: a cycle would send chmlib's lookup round for ever.
    bool CheckIndex() const
    {
        std::vector<BYTE> visits(chunkCount, kUnseen);
        IndexStack stack;
        if (!Enter(root, &visits, &stack))
            return false;
        char name[kMaxPathLength + 1];
        while (!stack.empty()) {
            EntryReader& reader = stack.back().second;
            if (!reader.More()) {
                visits[stack.back().first] = kDone;
                stack.pop_back();
                continue;
            }
            LONG child = -1;
            if (!reader.Index(name, &child) || !InRange(child) || visits[child] == kOpen)
                return false;
            if (visits[child] == kUnseen && !Enter(child, &visits, &stack))
                return false;
        }
        return true;
    }

    // A chunk reached from the index: a listing chunk is checked and done, an
    // index chunk is opened for its entries.
    bool Enter(LONG page, std::vector<BYTE>* visits, IndexStack* stack) const
    {
        if (!InRange(page))
            return false;
        if (IsListing(page)) {
            // The listing chain's chunks were checked with it.
            DWORD entries = 0;
            (*visits)[page] = kDone;
            return onChain[page] || CheckListing(page, &entries);
        }
        if (!IsIndex(page) || !FreeSpaceFits(page, kIndexHeader) || stack->size() >= (size_t)kMaxIndexDepth)
            return false;
        (*visits)[page] = kOpen;
        stack->push_back({page, Entries(page, kIndexHeader)});
        return true;
    }

    DWORD chunkSize;
    DWORD chunkCount;
    LONG root = -1;
    DWORD listed = 0;
    std::vector<bool> onChain;  // the listing chunks that chmlib's enumeration reads
    std::vector<BYTE> bytes;
};

} // namespace

// The compressed stream of one book: where its blocks lie, and how far each
// reset interval has been walked clean.
class CompressedStream {
public:
    CompressedStream(LPCWSTR bookPath, ULONGLONG streamOffset, DWORD blockLength, std::vector<ULONGLONG> bounds,
                     DWORD windowSize, DWORD resetBlocks)
        : path(bookPath), streamOffset(streamOffset), blockLength(blockLength), bounds(std::move(bounds)),
          resetBlocks(resetBlocks), walk(windowSize)
    {
        size_t blocks = this->bounds.size() - 1;
        size_t intervals = (blocks + resetBlocks - 1) / resetBlocks;
        clean.assign(intervals, 0);
        refused.assign(intervals, false);
    }

    DWORD BlockLength() const { return blockLength; }

    // Whether chmlib may decode blocks `first` to `last`: to reach a block it
    // decodes every block from the interval's reset on, so all of those must
    // walk clean.
    bool Decodable(ULONGLONG first, ULONGLONG last)
    {
        size_t blocks = bounds.size() - 1;
        if (first > last || last >= blocks)
            return false;
        for (ULONGLONG interval = first / resetBlocks; interval <= last / resetBlocks; ++interval) {
            ULONGLONG start = interval * resetBlocks;
            ULONGLONG end = std::min<ULONGLONG>(last, start + resetBlocks - 1);
            if (!WalkInterval((size_t)interval, (DWORD)(end - start + 1)))
                return false;
        }
        return true;
    }

private:
    bool WalkInterval(size_t interval, DWORD needed)
    {
        if (clean[interval] >= needed)
            return true;
        if (refused[interval])
            return false;
        // One handle for the stream's life: a large contents file spans dozens
        // of intervals.
        if (!file)
            file = std::make_unique<BookFile>(path.c_str());
        if (!file->Usable())
            return false;
        // The kept walk continues where it stopped; any other interval starts
        // again from its reset.
        if (walkInterval != interval || walkBlocks != clean[interval]) {
            walk.Reset();
            walkInterval = interval;
            walkBlocks = 0;
        }
        std::vector<BYTE> block;
        while (walkBlocks < needed) {
            size_t index = interval * resetBlocks + walkBlocks;
            ULONGLONG from = bounds[index], to = bounds[index + 1];
            block.resize((size_t)(to - from));
            if (!file->Read(streamOffset + from, block.data(), block.size()) ||
                !walk.Block(block.data(), block.size(), blockLength + kCompressedSlack, (int)blockLength)) {
                refused[interval] = true;
                walkInterval = SIZE_MAX;
                return false;
            }
            ++walkBlocks;
            clean[interval] = std::max(clean[interval], walkBlocks);
        }
        return true;
    }

    std::u16string path;
    std::unique_ptr<BookFile> file;
    ULONGLONG streamOffset;  // in the file
    DWORD blockLength;
    std::vector<ULONGLONG> bounds;  // of each block in the stream, and the stream's end
    DWORD resetBlocks;
    std::vector<DWORD> clean;  // per interval: blocks from its reset that walked clean
    std::vector<bool> refused;
    LzxWalk walk;
    size_t walkInterval = SIZE_MAX;
    DWORD walkBlocks = 0;
};

namespace {

// The compressed section: the LZX control data and the reset table that
// chm_open reads, and every block bound that chmlib will take from the table.
// Gives the uncompressed bytes that the table covers (0 without a section)
// and the stream whose blocks are walked before they are decoded.
bool CheckCompression(LPCWSTR bookPath, BookFile& file, const Directory& directory, ULONGLONG dataOffset,
                      ULONGLONG* section1Size, std::shared_ptr<CompressedStream>* stream)
{
    *section1Size = 0;
    Unit resetTable, control, content;
    // chmlib reads without a compressed section when one of the three is
    // missing or claims to be compressed itself.
    if (!directory.Resolve(kResetTablePath, &resetTable) || resetTable.space == 1 ||
        !directory.Resolve(kContentPath, &content) || content.space == 1 ||
        !directory.Resolve(kControlDataPath, &control) || control.space == 1)
        return true;
    // Any other section number is read as compressed, before there are tables to decompress with.
    if (resetTable.space != 0 || content.space != 0 || control.space != 0)
        return false;
    ULONGLONG section0 = file.Size() - dataOffset;
    if (!Within(resetTable.start, resetTable.length, section0) || !Within(content.start, content.length, section0) ||
        !Within(control.start, control.length, section0))
        return false;

    BYTE controlData[kControlDataMax];
    if (control.length < kControlDataMin || control.length > kControlDataMax ||
        !file.Read(dataOffset + control.start, controlData, (size_t)control.length) ||
        memcmp(controlData + 4, "LZXC", 4) != 0)
        return false;
    // chmlib's arithmetic, in its 32-bit unsigned fields.
    DWORD version = Le32(controlData + 8);
    DWORD resetInterval = Le32(controlData + 12);
    DWORD windowSize = Le32(controlData + 16);
    DWORD windowsPerReset = Le32(controlData + 20);
    if (version == 2) {
        resetInterval *= 0x8000;
        windowSize *= 0x8000;
    }
    // The decoder is set up with the lowest set bit of the window size, and
    // every reset count is a division by the blocks between resets.
    if (!IsPowerOfTwo(windowSize) || windowSize < kMinWindow || windowSize > kMaxWindow || resetInterval == 0 ||
        resetInterval % (windowSize / 2) != 0)
        return false;
    DWORD resetBlocks = resetInterval / (windowSize / 2) * windowsPerReset;
    if (resetBlocks == 0)
        return false;

    BYTE header[kResetTableHeader];
    if (resetTable.length < kResetTableHeader || !file.Read(dataOffset + resetTable.start, header, sizeof header) ||
        Le32(header) != 2)
        return false;
    DWORD blockCount = Le32(header + 4);
    DWORD tableOffset = Le32(header + 12);
    ULONGLONG uncompressedLength = Le64(header + 16);
    ULONGLONG compressedLength = Le64(header + 24);
    ULONGLONG blockLength = Le64(header + 32);
    // A block is decoded into its cache slot straight from the window, so it
    // must fit the window and divide it.
    if (!IsPowerOfTwo(blockLength) || blockLength > windowSize)
        return false;
    if (!Within(tableOffset, (ULONGLONG)blockCount * 8, resetTable.length) || compressedLength > content.length)
        return false;
    // Only the blocks that hold the uncompressed length are ever read; some
    // writers end the table with one more entry, at the end of the stream.
    ULONGLONG blocksUsed = uncompressedLength / blockLength + (uncompressedLength % blockLength != 0);
    if (blocksUsed > blockCount)
        blocksUsed = blockCount;
    if (blocksUsed == 0)
        return true;

    // Each block is read whole into a buffer of the block length plus the
    // slack, from the bounds that two neighbouring entries give.
    std::vector<BYTE> table((size_t)blockCount * 8);
    if (!file.Read(dataOffset + resetTable.start + tableOffset, table.data(), table.size()))
        return false;
    const ULONGLONG maxBlock = blockLength + kCompressedSlack;
    std::vector<ULONGLONG> bounds;
    bounds.reserve((size_t)blocksUsed + 1);
    for (DWORD block = 0; block < blocksUsed; ++block) {
        ULONGLONG start = Le64(&table[(size_t)block * 8]);
        ULONGLONG end = block + 1 < blockCount ? Le64(&table[(size_t)block * 8 + 8]) : compressedLength;
        if (end <= start || end - start > maxBlock || end > compressedLength)
            return false;
        bounds.push_back(start);
        if (block + 1 == blocksUsed)
            bounds.push_back(end);
    }
    ULONGLONG covered = blocksUsed * blockLength;
    *section1Size = uncompressedLength < covered ? uncompressedLength : covered;
    *stream = std::make_shared<CompressedStream>(bookPath, dataOffset + content.start, (DWORD)blockLength,
                                                 std::move(bounds), windowSize, resetBlocks);
    return true;
}

} // namespace

BOOL CheckContainer(LPCWSTR bookPath, ContainerLimits* limits)
{
    *limits = {};
    BookFile file(bookPath);
    if (!file.Usable())
        return FALSE;

    BYTE itsf[kItsfV3Length];
    if (!file.Read(0, itsf, sizeof itsf) || memcmp(itsf, "ITSF", 4) != 0)
        return FALSE;
    LONG version = (LONG)Le32(itsf + 4);
    LONG headerLength = (LONG)Le32(itsf + 8);
    if (!(version == 2 && headerLength >= (LONG)kItsfV2Length) && !(version == 3 && headerLength >= (LONG)kItsfV3Length))
        return FALSE;
    ULONGLONG sectionOffset = Le64(itsf + 0x38), sectionLength = Le64(itsf + 0x40);
    ULONGLONG directoryOffset = Le64(itsf + 0x48), directoryLength = Le64(itsf + 0x50);
    ULONGLONG dataOffset = version == 3 ? Le64(itsf + 0x58) : directoryOffset + directoryLength;
    if (!Within(sectionOffset, sectionLength, file.Size()) || !Within(directoryOffset, directoryLength, file.Size()) ||
        dataOffset > file.Size())
        return FALSE;

    BYTE itsp[kItspLength];
    if (directoryLength < kItspLength || !file.Read(directoryOffset, itsp, sizeof itsp) ||
        memcmp(itsp, "ITSP", 4) != 0 || Le32(itsp + 4) != 1 || Le32(itsp + 8) != kItspLength)
        return FALSE;
    DWORD chunkSize = Le32(itsp + 0x10);
    LONG depth = (LONG)Le32(itsp + 0x18);
    LONG indexRoot = (LONG)Le32(itsp + 0x1C);
    LONG listingHead = (LONG)Le32(itsp + 0x20);
    DWORD chunkCount = Le32(itsp + 0x2C);
    if (chunkSize < kMinChunkSize || chunkSize > kMaxChunkSize || depth < 1 || depth > kMaxIndexDepth ||
        chunkCount == 0 || (ULONGLONG)chunkCount * chunkSize > directoryLength - kItspLength)
        return FALSE;
    if (listingHead < 0 || (DWORD)listingHead >= chunkCount || (indexRoot >= 0 && (DWORD)indexRoot >= chunkCount))
        return FALSE;

    Directory directory(chunkSize, chunkCount);
    if (!directory.Load(file, directoryOffset + kItspLength) || !directory.Check(listingHead, indexRoot))
        return FALSE;
    ULONGLONG section1Size = 0;
    std::shared_ptr<CompressedStream> stream;
    if (!CheckCompression(bookPath, file, directory, dataOffset, &section1Size, &stream))
        return FALSE;

    limits->fileSize = file.Size();
    limits->section0Size = file.Size() - dataOffset;
    limits->section1Size = section1Size;
    limits->directoryEntries = directory.ListedEntries();
    limits->language = Le32(itsf + 0x14);
    limits->unlistedPaths = directory.UnlistedPaths();
    limits->stream = std::move(stream);
    return TRUE;
}

BOOL ExtentFits(const ContainerLimits& limits, int space, ULONGLONG start, ULONGLONG length)
{
    if (length > kMaxObjectLength)
        return FALSE;
    return Within(start, length, space == 0 ? limits.section0Size : limits.section1Size);
}

BOOL ObjectFits(const ContainerLimits& limits, int space, ULONGLONG start, ULONGLONG length)
{
    if (!ExtentFits(limits, space, start, length))
        return FALSE;
    if (space == 0 || length == 0)
        return TRUE;
    DWORD blockLength = limits.stream->BlockLength();
    return limits.stream->Decodable(start / blockLength, (start + length - 1) / blockLength);
}
