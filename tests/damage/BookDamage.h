// Damaged books for the corruption tests and the fuzzer: a seeded corruptor,
// a rewriter for directory entries, a run of the engine over a book as the
// program and the tool make it, and a snapshot of a folder to prove that the
// run wrote nothing outside its scratch folder.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace damage {

using Bytes = std::vector<uint8_t>;

Bytes ReadHostFile(const std::string& path);
// The little-endian numbers at `at`, which the caller has checked lie inside.
uint32_t Le32(const Bytes& bytes, size_t at);
uint64_t Le64(const Bytes& bytes, size_t at);
bool WriteHostFile(const std::string& path, const Bytes& bytes);

// A deterministic source of damage: the same seed gives the same damage on
// every machine and compiler (splitmix64, no library distributions).
class Corruptor {
public:
    explicit Corruptor(uint64_t seed) : state(seed) {}
    uint64_t Next();
    size_t Below(size_t bound) { return bound ? (size_t)(Next() % bound) : 0; }

    // Replaces `count` bytes at random places of [from, to) (the whole book
    // when `to` is 0) with random values that differ from the old ones.
    void FlipBytes(Bytes* book, size_t count, size_t from = 0, size_t to = 0);

private:
    uint64_t state;
};

// Where the parts of a container lie, read from a healthy book.
struct Layout {
    uint64_t directoryOffset = 0;  // the ITSP header
    uint32_t chunkSize = 0;
    uint32_t chunkCount = 0;
    uint64_t dataOffset = 0;
    uint64_t resetTableOffset = 0;  // in the file
    uint64_t resetTableLength = 0;
    uint64_t controlDataOffset = 0;
    uint64_t contentOffset = 0;
    uint64_t contentLength = 0;
    uint64_t ChunkOffset(uint32_t chunk) const { return directoryOffset + 0x54 + (uint64_t)chunk * chunkSize; }
};
bool ReadLayout(const Bytes& book, Layout* layout);

// One listing entry of a directory chunk.
struct Entry {
    std::string path;
    uint64_t space = 0;
    uint64_t start = 0;
    uint64_t length = 0;
};

// Rewrites the entries of a listing chunk and re-encodes the chunk, so that
// the damage is in the values and not in the chunk's framing. False when the
// chunk is not a listing chunk or the new entries do not fit.
bool ReadListing(const Bytes& book, const Layout& layout, uint32_t chunk, std::vector<Entry>* entries);
bool WriteListing(Bytes* book, const Layout& layout, uint32_t chunk, const std::vector<Entry>& entries);

// A book with a single directory chunk (pychm-example-nb.chm), whose entries
// can be renamed, moved and added freely; new objects are stored uncompressed
// at the end of the file, which lets a test write its own pages and contents
// file. `ok` is false when the book is not such a book.
class CraftedBook {
public:
    explicit CraftedBook(Bytes healthy);

    Entry* Find(const std::string& path);
    // Stores `text` as the object `path`, replacing an object of that name.
    void Put(const std::string& path, const std::string& text);
    bool Rename(const std::string& from, const std::string& to);
    Bytes Build();

    bool ok = true;
    Layout layout;
    std::vector<Entry> entries;

private:
    Bytes bytes;
};

// A book of one listing chunk (version 3 header) with its directory moved to
// the end of the file and rebuilt as a chain of `indexChunks` index chunks
// above the listing, the root first; the header claims `claimedDepth` levels.
Bytes WithIndexChain(const Bytes& book, int indexChunks, uint32_t claimedDepth);

// Writes an LZX bitstream by hand: bits go into 16-bit little-endian words,
// first bit highest, as the decoder reads them.
class LzxWriter {
public:
    void Bits(uint32_t value, int count);
    // Fills the current word with zero bits.
    void Align();
    // Bytes copied as they are, from a word boundary.
    void Raw(const Bytes& bytes);
    Bytes Finish();

    // A tree's code lengths (deltas from all zero) through a small tree of
    // its own: 0 (keep), 15 and 16 (lengths 2 and 1), 17 and 18 (runs of
    // zeros). The given symbols get the given lengths (1 or 2, in symbol
    // order), every other symbol of [0, count) none.
    void Lengths(int count, const std::vector<std::pair<int, int>>& lengths);

private:
    Bytes bytes;
    uint32_t word = 0;
    int used = 0;
};

// What a run of the engine saw.
struct Outcome {
    bool opened = false;
    size_t contentsEntries = 0;
    size_t pagesFound = 0;
    size_t keywords = 0;
    size_t found = 0;     // pages holding "the"
    size_t exported = 0;  // files
};

// Opens the book by its device path, loads the contents, extracts up to
// `maxPages` contents pages and a few known objects into `folder` (a device
// folder without a trailing backslash), emptying the folder before each page
// as the program does; reads the keyword index, searches, exports the book
// into a folder in `folder` (removed afterwards), and closes the book.
Outcome ExerciseBook(LPCWSTR bookPath, LPCWSTR folder, size_t maxPages);

// Every file and folder below `hostFolder` with its size and modification
// time, except what lies below `skip` (the scratch folder).
std::vector<std::string> SnapshotFolder(const std::string& hostFolder, const std::string& skip);

} // namespace damage
