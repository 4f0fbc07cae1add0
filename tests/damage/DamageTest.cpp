// Damaged books never crash the engine or the tool and never make them write
// outside the scratch folder. Copies of the corpus are cut short, have bytes
// flipped and have directory entries rewritten; each copy is opened, its
// contents loaded and its pages and a few known objects extracted.
#include <windows.h>

#include <Book.h>
#include <Export.h>
#include <ReadAhead.h>
#include <Search.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "BookDamage.h"

extern char** environ;

namespace {

using damage::Bytes;

const std::string kCorpus = LEAFWISE_CORPUS;

std::string MakeTempFolder(const char* name)
{
    std::string pattern = std::string("/tmp/") + name + "-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back(0);
    return mkdtemp(buffer.data()) ? std::string(buffer.data()) : std::string();
}

void RemoveTree(const std::string& path)
{
    if (DIR* dir = opendir(path.c_str())) {
        while (dirent* item = readdir(dir)) {
            std::string name = item->d_name;
            if (name != "." && name != "..")
                RemoveTree(path + "/" + name);
        }
        closedir(dir);
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

size_t CountFiles(const std::string& folder)
{
    size_t count = 0;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* item = readdir(dir))
            count += item->d_name[0] != '.';
        closedir(dir);
    }
    return count;
}

// Books live under their own device root; the scratch folder has a parent of
// its own, which must look the same after every run.
class DamageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = MakeTempFolder("leafwise-damage-books");
        watched = MakeTempFolder("leafwise-damage-scratch");
        ASSERT_FALSE(root.empty());
        ASSERT_FALSE(watched.empty());
        scratch = watched + "/temp";
        ASSERT_EQ(mkdir(scratch.c_str(), 0700), 0);
        // Something to be overwritten if a write escaped the scratch folder.
        ASSERT_TRUE(damage::WriteHostFile(watched + "/neighbour.htm", Bytes{'x'}));
        setenv("LEAFWISE_ROOT", root.c_str(), 1);
        setenv("LEAFWISE_TEMP", scratch.c_str(), 1);
        struct stat info;
        if (NeedsCorpus() && stat((kCorpus + "/MANIFEST.md").c_str(), &info) != 0)
            GTEST_SKIP() << "no corpus at " << kCorpus;
    }

    virtual bool NeedsCorpus() const { return true; }

    void TearDown() override
    {
        RemoveTree(root);
        RemoveTree(watched);
    }

    static Bytes Corpus(const char* name)
    {
        Bytes book = damage::ReadHostFile(kCorpus + "/" + name);
        EXPECT_FALSE(book.empty()) << name;
        return book;
    }

    // Writes the book under the device root; its device path.
    std::u16string Place(const Bytes& book, const char* name = "book.chm")
    {
        EXPECT_TRUE(damage::WriteHostFile(root + "/" + name, book));
        std::u16string path = u"\\";
        for (const char* c = name; *c; ++c)
            path += (char16_t)*c;
        return path;
    }

    std::u16string PlaceCrafted(damage::CraftedBook& crafted)
    {
        damage::Bytes book = crafted.Build();
        EXPECT_TRUE(crafted.ok) << "not a book of one directory chunk, or its entries do not fit";
        return Place(book);
    }

    // One run of the engine over a damaged copy, checked for writes outside
    // the scratch folder.
    damage::Outcome Exercise(const Bytes& book, size_t maxPages, const std::string& what)
    {
        std::u16string path = Place(book);
        std::vector<std::string> before = damage::SnapshotFolder(watched, scratch);
        std::vector<std::string> booksBefore = damage::SnapshotFolder(root, "");
        damage::Outcome outcome = damage::ExerciseBook(path.c_str(), u"\\Temp", maxPages);
        EXPECT_EQ(damage::SnapshotFolder(watched, scratch), before) << what;
        EXPECT_EQ(damage::SnapshotFolder(root, ""), booksBefore) << what;
        return outcome;
    }

    std::string root, watched, scratch;
};

// Cut points: every header and table boundary of the book, and points spread
// evenly over the whole file.
std::vector<size_t> CutPoints(const Bytes& book)
{
    damage::Layout layout;
    EXPECT_TRUE(damage::ReadLayout(book, &layout));
    std::vector<size_t> cuts = {0, 1, 0x57, 0x5F, 0x60, (size_t)layout.directoryOffset + 0x20,
                                (size_t)layout.directoryOffset + 0x54};
    for (uint32_t chunk = 0; chunk <= layout.chunkCount; ++chunk)
        cuts.push_back((size_t)layout.ChunkOffset(chunk) - 1);
    for (uint64_t at : {layout.controlDataOffset + 4, layout.resetTableOffset + 0x20, layout.resetTableOffset + 0x30,
                        layout.resetTableOffset + layout.resetTableLength - 1, layout.contentOffset + 1,
                        layout.contentOffset + layout.contentLength - 1})
        cuts.push_back((size_t)at);
    for (size_t i = 1; i < 24; ++i)
        cuts.push_back(book.size() / 24 * i);
    cuts.push_back(book.size() - 1);
    return cuts;
}

TEST_F(DamageTest, BooksCutShortAreRefusedWhole)
{
    // In each of these books the last byte belongs to an object the container
    // needs (the compressed stream, the reset table or the directory).
    for (const char* name : {"svn-book.chm", "pychm-example-nb.chm", "fpc-fpdoc.chm", "taper-ru-htm2chm.chm",
                             "ms-htmlhelp-activex-ref.chm"}) {
        Bytes book = Corpus(name);
        for (size_t cut : CutPoints(book)) {
            if (cut >= book.size())
                continue;
            Bytes shorter(book.begin(), book.begin() + cut);
            std::string what = std::string(name) + " cut at " + std::to_string(cut);
            EXPECT_FALSE(Exercise(shorter, 4, what).opened) << what;
        }
    }
}

TEST_F(DamageTest, TruncatedCorpusBookIsRefused)
{
    EXPECT_FALSE(Exercise(Corpus("truncated-oom.chm"), 4, "truncated-oom").opened);
}

// A few dozen bytes changed anywhere, as the damage in the field looks. Most
// land in the compressed stream, where chmlib decodes nonsense but stays
// inside its buffers.
TEST_F(DamageTest, FlippedBytesNeverFault)
{
    struct Case {
        const char* book;
        int copies;
        size_t pages;
    };
    for (Case c : {Case{"svn-book.chm", 8, 24}, Case{"pychm-example-nb.chm", 24, 8}, Case{"taper-ru-htm2chm.chm", 8, 8},
                   Case{"fpc-fpdoc.chm", 8, 8}, Case{"autoit-master-zh.chm", 8, 8}}) {
        Bytes healthy = Corpus(c.book);
        for (int seed = 1; seed <= c.copies; ++seed) {
            Bytes book = healthy;
            damage::Corruptor corruptor(seed);
            corruptor.FlipBytes(&book, 24 + corruptor.Below(24));
            Exercise(book, c.pages, std::string(c.book) + " seed " + std::to_string(seed));
        }
    }
}

// A handful of bytes changed inside one structure at a time, so that every
// check of the guard meets damage that random flips rarely reach.
TEST_F(DamageTest, FlipsInsideEachStructureNeverFault)
{
    for (const char* name : {"svn-book.chm", "pychm-example-nb.chm", "taper-ru-htm2chm.chm"}) {
        Bytes healthy = Corpus(name);
        damage::Layout layout;
        ASSERT_TRUE(damage::ReadLayout(healthy, &layout));
        struct Region {
            const char* what;
            uint64_t from, length;
        };
        std::vector<Region> regions = {
            {"file header", 0, 0x60},
            {"directory header", layout.directoryOffset, 0x54},
            {"control data", layout.controlDataOffset, 0x1C},
            {"reset table", layout.resetTableOffset, layout.resetTableLength},
            {"stream start", layout.contentOffset, 64},
        };
        for (uint32_t chunk = 0; chunk < layout.chunkCount; ++chunk)
            regions.push_back({"directory chunk", layout.ChunkOffset(chunk), layout.chunkSize});
        for (const Region& region : regions) {
            for (int seed = 1; seed <= 6; ++seed) {
                Bytes book = healthy;
                damage::Corruptor corruptor(seed * 7919 + region.from);
                corruptor.FlipBytes(&book, 1 + corruptor.Below(4), region.from, region.from + region.length);
                Exercise(book, 4, std::string(name) + " " + region.what + " seed " + std::to_string(seed));
            }
        }
    }
}

// Seeds of the corruptor (as damage-book flips) whose copies of svn-book.chm
// crashed chmlib before the guard: a reset table entry trusted as a block
// bound (heap overrun on the read), its block length (a division or a copy
// far past the buffer), the control data's version (no LZX window at all), or
// a directory entry far past the section. All are refused now, the last one
// object by object.
TEST_F(DamageTest, CopiesThatCrashedChmlibAreRefused)
{
    struct Copy {
        uint64_t seed;
        bool opens;
    };
    Bytes healthy = Corpus("svn-book.chm");
    for (Copy copy : {Copy{41, false}, Copy{241, false}, Copy{253, false}, Copy{958, false}, Copy{1850, false},
                      Copy{2542, false}, Copy{2927, false}, Copy{3193, false}, Copy{3287, false},
                      Copy{3644, true}, Copy{3790, false}}) {
        Bytes book = healthy;
        damage::Corruptor corruptor(copy.seed);
        corruptor.FlipBytes(&book, 24 + corruptor.Below(24));
        damage::Outcome outcome = Exercise(book, 24, "seed " + std::to_string(copy.seed));
        EXPECT_EQ(outcome.opened, copy.opens) << copy.seed;
        EXPECT_EQ(outcome.contentsEntries, 0u) << copy.seed;
    }
}

using damage::CraftedBook;

const char kContentsFile[] = "/Documents/Table of Contents.hhc";

std::string Sitemap(const std::vector<std::string>& locals)
{
    std::string text = "<UL>";
    for (const std::string& local : locals)
        text += "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"t\"><param name=\"Local\" value=\"" +
                local + "\"></OBJECT>";
    return text + "</UL>";
}

TEST_F(DamageTest, EntriesPastTheirSectionAreUnreadable)
{
    Bytes healthy = Corpus("pychm-example-nb.chm");
    uint64_t fileSize = healthy.size();
    struct Damage {
        const char* what;
        uint64_t space, start, length;
    };
    for (Damage d : {Damage{"start past the file", 0, fileSize, 16}, Damage{"length past the file", 0, 0, fileSize},
                     Damage{"huge length", 0, 0, 1ull << 40}, Damage{"start past the stream", 1, 1ull << 32, 10},
                     Damage{"length past the stream", 1, 0, 1ull << 31}, Damage{"unknown section", 9, 1ull << 34, 1},
                     Damage{"wrapping extent", 1, ~0ull - 4, 100}}) {
        CraftedBook crafted(healthy);
        damage::Entry* contents = crafted.Find(kContentsFile);
        damage::Entry* page = crafted.Find("/page 1.html");
        ASSERT_TRUE(contents && page);
        contents->space = page->space = d.space;
        contents->start = page->start = d.start;
        contents->length = page->length = d.length;
        std::u16string path = PlaceCrafted(crafted);

        Book book;
        EXPECT_EQ(book.LoadContents(path.c_str()), 1) << d.what;  // found, but unreadable
        EXPECT_TRUE(book.contents.empty()) << d.what;
        EXPECT_EQ(book.ExtractPage(u"/page 1.html", u"\\Temp"), 1) << d.what;
        EXPECT_EQ(CountFiles(scratch), 0u) << d.what;
        EXPECT_EQ(book.ExtractObject(u"/page 2.html", u"\\Temp"), 1) << d.what;  // untouched neighbour
        EXPECT_EQ(CountFiles(scratch), 1u) << d.what;
        book.Close();
    }
}

// An object listed twice: the lookup (chmlib's and the engine's) finds the
// first, and the second's longer length is not trusted to read it.
TEST_F(DamageTest, AListedLengthLongerThanTheLookupsIsRefused)
{
    CraftedBook crafted(Corpus("pychm-example-nb.chm"));
    crafted.Put("/twice.htm", std::string(4000, 'x'));
    crafted.entries.push_back(*crafted.Find("/twice.htm"));
    crafted.Find("/twice.htm")->length = 5;
    std::u16string path = PlaceCrafted(crafted);

    Book book;
    ASSERT_TRUE(book.Open(path.c_str()));
    std::vector<const ObjectEntry*> listed;
    for (const ObjectEntry& entry : book.objects) {
        if (strcmp(entry.path, "/twice.htm") == 0)
            listed.push_back(&entry);
    }
    ASSERT_EQ(listed.size(), 2u);
    BYTE* first = book.ReadObject(*listed[0]);
    EXPECT_NE(first, nullptr);
    free(first);
    EXPECT_EQ(book.ReadObject(*listed[1]), nullptr);
}

// Objects the container refuses (their listed lengths run past the book's
// end) are left out of an export and reported, and the large one stored
// beside them is exported whole.
TEST_F(DamageTest, ObjectsThatRunPastTheBookAreLeftOutAndTheRestReadWhole)
{
    CraftedBook crafted(Corpus("pychm-example-nb.chm"));
    std::string large(200000, '\0');
    for (size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<char>(i % 251);
    // One on either side of the large object, however they are stored.
    crafted.Put("/a-short.bin", std::string(100, 's'));
    crafted.Put("/b-large.bin", large);
    crafted.Put("/c-short.bin", std::string(100, 's'));
    crafted.Find("/a-short.bin")->length = 2 * large.size();
    crafted.Find("/c-short.bin")->length = 2 * large.size();
    std::u16string path = PlaceCrafted(crafted);
    Book book;
    ASSERT_EQ(book.LoadContents(path.c_str()), 1);
    ExportReport report = ExportBook(book, u"\\Temp\\out");
    EXPECT_EQ(report.error, (DWORD)ERROR_SUCCESS);
    EXPECT_EQ(report.unreadable, 2u);
    EXPECT_FALSE(std::filesystem::exists(scratch + "/out/a-short.bin"));
    Bytes bytes = damage::ReadHostFile(scratch + "/out/b-large.bin");
    EXPECT_TRUE(std::string(bytes.begin(), bytes.end()) == large);
}

// A damaged block in the middle of the book: the objects it holds, and the
// ones after it up to the decoder's next reset, come short; the ones after
// that come whole. A read-ahead gives each of them as its own reader does.
TEST_F(DamageTest, AReadAheadGivesEachObjectOfADamagedBookAsItsReaderDoes)
{
    Bytes book = Corpus("svn-book.chm");
    damage::Layout layout;
    ASSERT_TRUE(damage::ReadLayout(book, &layout));
    // The middle block's trees (the reset table gives where it starts):
    // damage there leaves its bitstream undecodable.
    const uint64_t table = layout.resetTableOffset;
    const uint64_t middle =
        damage::Le64(book, table + damage::Le32(book, table + 12) + 8 * (damage::Le32(book, table + 4) / 2));
    damage::Corruptor(7).FlipBytes(&book, 24, layout.contentOffset + middle, layout.contentOffset + middle + 96);
    Book opened;
    ASSERT_EQ(opened.Open(Place(book).c_str()), 1);
    ASSERT_EQ(opened.ListObjects(), 1);
    std::vector<const ObjectEntry*> objects;
    for (const ObjectEntry* object : opened.AllObjects()) {
        if (object->space == 1 && object->length > 0)
            objects.push_back(object);
    }
    std::sort(objects.begin(), objects.end(),
              [](const ObjectEntry* a, const ObjectEntry* b) { return a->start < b->start; });
    std::vector<std::string> whole;
    std::vector<bool> cameShort;
    for (const ObjectEntry* object : objects) {
        std::optional<ObjectReader> reader = opened.ReaderFor(*object);
        ASSERT_TRUE(reader);
        whole.emplace_back(reader->Length(), '\0');
        whole.back().resize(reader->ReadAt(0, (BYTE*)whole.back().data(), whole.back().size()));
        cameShort.push_back(whole.back().size() < reader->Length());
    }
    auto firstShort = std::find(cameShort.begin(), cameShort.end(), true);
    ASSERT_NE(firstShort, cameShort.end()) << "the damage left every block decodable";
    ASSERT_NE(std::find(firstShort, cameShort.end(), false), cameShort.end()) << "nothing after the damage came whole";
    // A whole object of many pieces is read again just after the first that came short.
    size_t large = 0;
    for (size_t i = 0; i < objects.size(); ++i)
        large = !cameShort[i] && whole[i].size() > whole[large].size() ? i : large;
    ASSERT_GT(whole[large].size(), 2 * ReadAhead::kPieceBytes);
    size_t after = firstShort - cameShort.begin() + 1;
    objects.insert(objects.begin() + after, objects[large]);
    whole.insert(whole.begin() + after, whole[large]);
    cameShort.insert(cameShort.begin() + after, false);
    ReadAhead ahead(opened, objects);
    for (size_t i = 0; i < objects.size(); ++i) {
        ReadAhead::Object* object = ahead.NextObject();
        std::string bytes;
        const BYTE* piece;
        size_t count;
        bool cameShortSoFar = false;
        while (object->NextPiece(&piece, &count)) {
            cameShortSoFar = cameShortSoFar || object->CameShort();
            bytes.append((const char*)piece, count);
        }
        EXPECT_TRUE(bytes == whole[i]) << objects[i]->path;
        EXPECT_EQ(cameShortSoFar || object->CameShort(), cameShort[i]) << objects[i]->path;
    }
}

// chmlib reads a block into a buffer of the block length plus 6144 bytes. The
// damage moves one block's end and leaves every block in order, so that only
// the length check can refuse it.
TEST_F(DamageTest, ABlockLongerThanChmlibsBufferIsRefused)
{
    Bytes healthy = Corpus("svn-book.chm");
    damage::Layout layout;
    ASSERT_TRUE(damage::ReadLayout(healthy, &layout));
    auto at = [&](uint64_t offset) { return damage::Le64(healthy, offset); };
    const uint64_t table = layout.resetTableOffset;
    const uint64_t starts = table + (uint32_t)at(table + 12);
    const uint64_t buffer = at(table + 0x20) + 6144;
    const uint32_t blocks = (uint32_t)at(table + 4);
    uint32_t block = 0;
    while (block + 2 < blocks && at(starts + 8 * (block + 2)) - at(starts + 8 * block) <= buffer + 1)
        ++block;
    ASSERT_LT(block + 2, blocks) << "no two neighbouring blocks are long enough";
    for (uint64_t extra : {0, 1}) {
        Bytes book = healthy;
        uint64_t end = at(starts + 8 * block) + buffer + extra;
        for (int i = 0; i < 8; ++i)
            book[starts + 8 * (block + 1) + i] = (uint8_t)(end >> (8 * i));
        std::string what = "block " + std::to_string(block) + " of its buffer's length + " + std::to_string(extra);
        EXPECT_EQ(Exercise(book, 4, what).opened, extra == 0) << what;
    }
}

// The index is walked as deep as the file says; sixteen levels of index
// chunks are far more than any writer makes, whatever the header claims.
TEST_F(DamageTest, IndexTreesDeeperThanSixteenLevelsAreRefused)
{
    Bytes healthy = Corpus("pychm-example-nb.chm");
    struct Case {
        int indexChunks;
        uint32_t claimedDepth;
        bool opens;
    };
    for (Case c : {Case{15, 16, true}, Case{16, 17, false}, Case{16, 2, true}, Case{17, 2, false}}) {
        Bytes book = damage::WithIndexChain(healthy, c.indexChunks, c.claimedDepth);
        ASSERT_FALSE(book.empty());
        std::string what = std::to_string(c.indexChunks) + " index chunks, " + std::to_string(c.claimedDepth) +
                           " levels claimed";
        damage::Outcome outcome = Exercise(book, 4, what);
        EXPECT_EQ(outcome.opened, c.opens) << what;
        EXPECT_EQ(outcome.contentsEntries > 0, c.opens) << what;  // the lookups went down the whole chain
    }
}

// The last entry of the last chunk names more bytes than the chunk has left:
// refused before a byte past the directory is read.
TEST_F(DamageTest, ANameRunningPastTheLastChunkIsRefused)
{
    CraftedBook crafted(Corpus("pychm-example-nb.chm"));
    const uint64_t chunk = crafted.layout.ChunkOffset(0);
    const uint32_t size = crafted.layout.chunkSize;
    auto freeSpace = [&](const Bytes& book) {
        return (uint32_t)(book[chunk + 4] | book[chunk + 5] << 8 | book[chunk + 6] << 16 | book[chunk + 7] << 24);
    };
    // Entries of no object, with names long enough to fill the chunk to two
    // bytes before its end (a name of 128 to 512 bytes takes its length and 3 more).
    for (int pad = 0;; ++pad) {
        uint32_t left = freeSpace(crafted.Build()) - 2;
        ASSERT_TRUE(crafted.ok);
        if (left == 0)
            break;
        ASSERT_GE(left, 133u);
        size_t name = left >= 405 + 133 ? 400 : left - 5;
        crafted.entries.push_back({"/" + std::string(1, char('a' + pad)) + std::string(name - 2, 'p'), 0, 0, 0});
    }
    Bytes book = crafted.Build();
    ASSERT_TRUE(crafted.ok);
    book[chunk + size - 2] = 0x7F;  // 127 bytes of name, one of them inside the chunk
    book[chunk + size - 1] = 'x';
    for (int i = 4; i < 8; ++i)
        book[chunk + i] = 0;  // no free space: entries run to the chunk's end
    EXPECT_FALSE(Exercise(book, 4, "a name past the last chunk").opened);
}

TEST(ObjectFitsTest, ExtentsStayInsideTheirSectionAndLengthsStaySane)
{
    ContainerLimits limits{};
    limits.section0Size = 1ull << 40;  // no compressed section
    EXPECT_TRUE(ObjectFits(limits, 0, 0, 1 << 20));
    EXPECT_TRUE(ObjectFits(limits, 0, (1ull << 40) - 10, 10));
    EXPECT_FALSE(ObjectFits(limits, 0, (1ull << 40) - 10, 11));
    EXPECT_FALSE(ObjectFits(limits, 0, ~0ull - 1, 4));             // the end wraps round
    EXPECT_FALSE(ObjectFits(limits, 0, 0, 257ull * 1024 * 1024));  // inside, but no object is that long
    EXPECT_FALSE(ObjectFits(limits, 1, 0, 1));
    EXPECT_FALSE(ObjectFits(limits, -3, 0, 1));  // any other section is read as the compressed one
    EXPECT_TRUE(ObjectFits(limits, 1, 0, 0));
}

TEST_F(DamageTest, DamagedCompressionTablesRefuseTheBook)
{
    Bytes healthy = Corpus("svn-book.chm");
    damage::Layout layout;
    ASSERT_TRUE(damage::ReadLayout(healthy, &layout));
    const uint64_t table = layout.resetTableOffset;  // header, then 8-byte block starts from 0x28
    const uint64_t control = layout.controlDataOffset;
    auto get = [](const Bytes& book, uint64_t at) {
        uint64_t value = 0;
        for (int i = 7; i >= 0; --i)
            value = value << 8 | book[at + i];
        return value;
    };
    struct Damage {
        const char* what;
        uint64_t at;
        uint64_t value;
        int width;
    };
    uint64_t block39 = get(healthy, table + 0x28 + 8 * 39);
    for (Damage d : {Damage{"block start far past the stream", table + 0x28 + 8 * 40, 1ull << 40, 8},
                     Damage{"block start before its predecessor", table + 0x28 + 8 * 40, block39 - 1, 8},
                     Damage{"block longer than chmlib's buffer", table + 0x28 + 8 * 40, block39 + 32768 + 6145, 8},
                     Damage{"block length zero", table + 0x20, 0, 8},
                     Damage{"block length beyond the window", table + 0x20, 1ull << 22, 8},
                     Damage{"block length not a power of two", table + 0x20, 0x8001, 8},
                     Damage{"block count past the table", table + 4, 0x10000, 4},
                     Damage{"compressed length past the stream", table + 0x18, 1ull << 33, 8},
                     Damage{"table version", table, 3, 4},
                     Damage{"window size zero", control + 16, 0, 4},
                     Damage{"window size not a power of two", control + 16, 3, 4},
                     Damage{"window size beyond the decoder", control + 16, 128, 4},
                     Damage{"no windows per reset", control + 20, 0, 4},
                     Damage{"reset interval not whole windows", control + 12, 0, 4},
                     Damage{"control data version", control + 8, 5, 4},
                     Damage{"control data signature", control + 4, 0x43585A4D, 4}}) {
        Bytes book = healthy;
        for (int i = 0; i < d.width; ++i)
            book[d.at + i] = (uint8_t)(d.value >> (8 * i));
        EXPECT_FALSE(Exercise(book, 8, d.what).opened) << d.what;
    }
    // A window beyond the decoder's with a reset interval that fits it, so
    // that only the window's own bound can refuse it.
    Bytes book = healthy;
    book[control + 16] = 128;  // units of 32768 bytes: 4 MB
    book[control + 12] = 64;
    EXPECT_FALSE(Exercise(book, 8, "a 4 MB window").opened);
    // A listing chunk that names itself as the next: the walk would go round for ever.
    book = healthy;
    const uint32_t head = (uint32_t)get(healthy, layout.directoryOffset + 0x20);  // the first listing chunk
    for (int i = 0; i < 4; ++i)
        book[layout.ChunkOffset(head) + 0x10 + i] = (uint8_t)(head >> (8 * i));
    EXPECT_FALSE(Exercise(book, 8, "a chunk that leads to itself").opened);
}

// Names from a book decide the file names in the scratch folder: an empty,
// "." or ".." base name writes nothing, and any other name lands inside the
// folder whatever its path says.
TEST_F(DamageTest, HostileNamesWriteNothingOutsideTheScratchFolder)
{
    CraftedBook crafted(Corpus("pychm-example-nb.chm"));
    ASSERT_TRUE(crafted.Rename("/page 2.html", "/sub/.."));
    crafted.Put("/sub/.", "dot");
    crafted.Put("/x/../../../escape.htm", "escape");
    crafted.Put("/back\\..", "backslash");
    crafted.Put("/img.htm", "<img src=\"sub/..\"><img src=\"sub/.\"><img src=\"..\"><img src=\"sub/\"><img src=\"x/../../../escape.htm\">");
    crafted.Put(kContentsFile, Sitemap({"/img.htm"}));
    std::u16string path = PlaceCrafted(crafted);
    std::vector<std::string> before = damage::SnapshotFolder(watched, scratch);

    Book book;
    ASSERT_EQ(book.LoadContents(path.c_str()), 1);
    for (LPCWSTR name : {u"/sub/..", u"/sub/.", u"/back\\..", u"/Documents/"}) {
        EXPECT_EQ(book.ExtractObject(name, u"\\Temp"), 1);  // found...
        EXPECT_EQ(CountFiles(scratch), 0u);                  // ...and nothing written
    }
    EXPECT_EQ(book.ExtractPage(u"/Documents/", u"\\Temp"), 1);
    EXPECT_EQ(CountFiles(scratch), 0u);

    // The page itself, then only the one image whose base name is usable.
    EXPECT_EQ(book.ExtractPage(u"/img.htm", u"\\Temp"), 1);
    EXPECT_EQ(CountFiles(scratch), 2u);
    EXPECT_EQ(damage::ReadHostFile(scratch + "/escape.htm"), (Bytes{'e', 's', 'c', 'a', 'p', 'e'}));
    EXPECT_EQ(damage::SnapshotFolder(watched, scratch), before);
    book.Close();
    EXPECT_EQ(CountFiles(scratch), 0u);
}

// Names as books write them: a "%" that is not "%20" stays, a "#" in a folder
// is part of the name, and a backslash ends a folder like a slash.
TEST_F(DamageTest, NamesAreTakenAsTheyAreWritten)
{
    CraftedBook crafted(Corpus("pychm-example-nb.chm"));
    crafted.Put("/50%25 off.htm", "percent");
    crafted.Put("/c#/page.htm", "sharp");
    crafted.Put("/dir\\name.gif", "backslash");
    std::u16string path = PlaceCrafted(crafted);
    Book book;
    ASSERT_TRUE(book.Open(path.c_str()));
    const ObjectEntry* percent = book.FindObject(u"/50%25%20off.htm");
    ASSERT_NE(percent, nullptr);
    EXPECT_STREQ(percent->path, "/50%25 off.htm");
    const ObjectEntry* sharp = book.FindObject(u"/c#/page.htm#top");
    ASSERT_NE(sharp, nullptr);
    EXPECT_STREQ(sharp->path, "/c#/page.htm");
    EXPECT_EQ(book.ExtractObject(u"/dir\\name.gif", u"\\Temp"), 1);
    EXPECT_EQ(damage::ReadHostFile(scratch + "/name.gif"), (Bytes{'b', 'a', 'c', 'k', 's', 'l', 'a', 's', 'h'}));
}

// Over-long paths are refused, never cut: a cut path names another object or
// another file.
TEST_F(DamageTest, OverLongPathsAreRefused)
{
    CraftedBook crafted(Corpus("pychm-example-nb.chm"));
    std::string longName = "/" + std::string(300, 'n') + ".htm";  // too long for an object record
    std::string longest = "/" + std::string(254, 'm') + ".htm";   // 259 bytes: the longest that fits
    crafted.Put(longName, "long");
    crafted.Put(longest, "longest");
    std::string deep = std::string(200, 'd');
    crafted.Put("/" + deep + "/page.htm", "<img src=\"" + std::string(100, 'i') + ".gif\"><img src=\"ok.gif\">");
    crafted.Put("/" + deep + "/ok.gif", "GIF");
    std::u16string path = PlaceCrafted(crafted);

    Book book;
    ASSERT_EQ(book.LoadContents(path.c_str()), 1);
    auto wide = [](const std::string& text) { return std::u16string(text.begin(), text.end()); };
    for (const ObjectEntry& entry : book.objects)
        EXPECT_LT(strlen(entry.path), (size_t)MAX_PATH);
    EXPECT_EQ(book.FindObject(wide(longName).c_str()), nullptr);
    EXPECT_EQ(book.ExtractObject(wide(longName).c_str(), u"\\Temp"), 0);
    EXPECT_NE(book.FindObject(wide(longest).c_str()), nullptr);
    // A lookup path whose UTF-8 form does not fit: 100 CJK characters are 300 bytes.
    EXPECT_EQ(book.FindObject(std::u16string(100, u'\u4E2D').c_str()), nullptr);

    // A page whose image path, joined with the page's folder, is too long:
    // that image is skipped, the other one written.
    EXPECT_EQ(book.ExtractPage(wide("/" + deep + "/page.htm").c_str(), u"\\Temp"), 1);
    EXPECT_EQ(CountFiles(scratch), 2u);
    WCHAR joined[MAX_PATH];
    EXPECT_FALSE(ResolveImagePath(wide("/" + deep + "/page.htm").c_str(), wide(std::string(100, 'i')).c_str(), joined,
                                  MAX_PATH));

    // A destination whose folder and base name do not fit writes nothing.
    ClearFolder(u"\\Temp\\");
    std::u16string longFolder = u"\\Temp\\" + std::u16string(250, u'f');
    EXPECT_EQ(book.ExtractObject(wide(longest).c_str(), longFolder.c_str()), 1);
    EXPECT_EQ(CountFiles(scratch), 0u);
    book.Close();

    // A book path that does not fit is refused, not cut to a shorter name.
    std::u16string longBook = u"\\" + std::u16string(300, u'b') + u".chm";
    Book other;
    EXPECT_EQ(other.LoadContents(longBook.c_str()), 0);
    EXPECT_EQ(other.chm, nullptr);
}

// Hand-written LZX streams in place of the compressed section of
// pychm-example-nb.chm, whose objects all lie in its single 32768-byte block.
// Every table stays valid; only the bitstream tells chmlib's decoder to copy
// from outside its window.
struct Stream {
    uint32_t windowUnits = 2;  // of 32768 bytes
    Bytes bytes;
};

// "AB" in an uncompressed block that also sets the repeated offset R0, then a
// verbatim block: 'A', and matches of 9 bytes at offset R0 (one bit each).
Stream RepeatedOffsetStream(uint32_t r0)
{
    damage::LzxWriter lzx;
    lzx.Bits(0, 1);  // no x86 translation
    lzx.Bits(3, 3);  // uncompressed, 2 bytes
    lzx.Bits(0, 16);
    lzx.Bits(2, 8);
    Bytes raw;
    for (uint32_t value : {r0, 1u, 1u})
        for (int i = 0; i < 4; ++i)
            raw.push_back((uint8_t)(value >> (8 * i)));
    raw.push_back('A');
    raw.push_back('B');
    lzx.Raw(raw);
    lzx.Bits(1, 3);  // verbatim, the other 32766 bytes
    lzx.Bits(32766 >> 8, 16);
    lzx.Bits(32766 & 255, 8);
    lzx.Lengths(256, {{'A', 1}});  // code 0
    lzx.Lengths(256, {{7, 1}});    // code 1: repeated offset R0, length 7 + 2 + the empty length tree's 0
    lzx.Lengths(249, {});
    lzx.Bits(0, 1);
    for (int i = 0; i < 3640; ++i)
        lzx.Bits(1, 1);
    lzx.Bits(0, 5);
    return {2, lzx.Finish()};
}

// A 2^17 window's last position slot, 33, reaches 131069 bytes back with all
// 15 of its extra bits set: 'A', a 9-byte match from slot 33, then matches at
// the same offset again to fill the block.
Stream FarSlotStream(uint32_t extraBits)
{
    damage::LzxWriter lzx;
    lzx.Bits(0, 1);
    lzx.Bits(1, 3);  // verbatim, 32768 bytes
    lzx.Bits(32768 >> 8, 16);
    lzx.Bits(32768 & 255, 8);
    lzx.Lengths(256, {{'A', 1}});                    // code 0
    lzx.Lengths(34 * 8, {{7, 2}, {33 * 8 + 7, 2}});  // codes 10 (repeat R0) and 11 (slot 33)
    lzx.Lengths(249, {});
    lzx.Bits(0, 1);
    lzx.Bits(3, 2);
    lzx.Bits(extraBits, 15);
    for (int i = 0; i < 3639; ++i)
        lzx.Bits(2, 2);
    lzx.Bits(0, 7);
    return {4, lzx.Finish()};
}

// Code lengths may run past the end of the main tree into symbols that no
// position slot of the window has, and chmlib builds its tree over them as
// well. In a 65536-byte window (slots 0 to 31) a run of four lengths of 2
// from symbol 510 reaches 512, slot 32, 65534 bytes and more back.
Stream SpilledSlotStream()
{
    damage::LzxWriter lzx;
    lzx.Bits(0, 1);
    lzx.Bits(1, 3);  // verbatim, 32768 bytes
    lzx.Bits(32768 >> 8, 16);
    lzx.Bits(32768 & 255, 8);
    lzx.Lengths(256, {});
    // Symbols 256 to 511 through a tree of 0, 15, 17 (00, 01, 10), 18 and 19
    // (110, 111): 254 zeros, then 19 (the same length four times) with 15
    // (0 - 15 mod 17 = 2) for 510 to 513.
    for (int symbol = 0; symbol < 20; ++symbol)
        lzx.Bits(symbol == 0 || symbol == 15 || symbol == 17 ? 2 : symbol == 18 || symbol == 19 ? 3 : 0, 4);
    for (int run : {51, 51, 51, 51, 50}) {
        lzx.Bits(6, 3);
        lzx.Bits(run - 20, 5);
    }
    lzx.Bits(7, 3);
    lzx.Bits(0, 1);
    lzx.Bits(1, 2);
    lzx.Lengths(249, {});
    lzx.Bits(2, 2);  // symbol 512: slot 32, a 2-byte match
    lzx.Bits(0x7FFF, 15);
    return {2, lzx.Finish()};
}

Bytes WithStream(const Bytes& healthy, const Stream& stream)
{
    Bytes book = healthy;
    damage::Layout layout;
    EXPECT_TRUE(damage::ReadLayout(book, &layout));
    EXPECT_LE(stream.bytes.size(), layout.contentLength);
    if (stream.bytes.size() > layout.contentLength)
        return book;
    std::fill(book.begin() + layout.contentOffset, book.begin() + layout.contentOffset + layout.contentLength, 0);
    std::copy(stream.bytes.begin(), stream.bytes.end(), book.begin() + layout.contentOffset);
    // The window and the reset interval, in units of 32768 bytes.
    book[layout.controlDataOffset + 12] = (uint8_t)stream.windowUnits;
    book[layout.controlDataOffset + 16] = (uint8_t)stream.windowUnits;
    return book;
}

TEST_F(DamageTest, HandWrittenLzxStreamReadsAsChmlibDecodesIt)
{
    std::u16string path = Place(WithStream(Corpus("pychm-example-nb.chm"), RepeatedOffsetStream(1)));
    Book book;
    ASSERT_EQ(book.LoadContents(path.c_str()), 1);
    const ObjectEntry* page = book.FindObject(u"/page 1.html");
    ASSERT_NE(page, nullptr);
    BYTE* bytes = book.ReadObject(*page);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(std::string((const char*)bytes, page->length), std::string(page->length, 'A'));
    free(bytes);
}

// Two blocks of one reset interval: the first is healthy and leaves a raw
// repeated offset far beyond the window in R1, which the second uses. A read
// of an object's bytes in the second block is refused, however healthy the
// object's first block, and its bytes in the first are read.
TEST_F(DamageTest, AReadIsCheckedForTheBlocksItReachesNotTheObjectsFirst)
{
    damage::LzxWriter lzx;
    lzx.Bits(0, 1);
    lzx.Bits(3, 3);  // uncompressed, 2 bytes: "AB", with R0 far beyond the window
    lzx.Bits(0, 16);
    lzx.Bits(2, 8);
    Bytes raw;
    for (uint32_t value : {0x40000000u, 1u, 1u})
        for (int i = 0; i < 4; ++i)
            raw.push_back((uint8_t)(value >> (8 * i)));
    raw.push_back('A');
    raw.push_back('B');
    lzx.Raw(raw);
    lzx.Bits(1, 3);  // verbatim, the other 65534 bytes of both blocks
    lzx.Bits(65534 >> 8, 16);
    lzx.Bits(65534 & 255, 8);
    lzx.Lengths(256, {{'A', 1}});         // code 0
    lzx.Lengths(256, {{7, 2}, {15, 2}});  // codes 10 (R0, 9 bytes) and 11 (R1, 9 bytes)
    lzx.Lengths(249, {});
    lzx.Bits(3, 2);  // an R1 match: it takes R1 (1) and leaves the far offset in R1
    for (int i = 0; i < 3639; ++i)
        lzx.Bits(2, 2);
    lzx.Bits(0, 6);  // 2 + 9 + 3639 * 9 + 6 = 32768
    lzx.Align();
    Bytes first = lzx.Finish();
    damage::LzxWriter second;
    second.Bits(3, 2);  // a match from the far R1
    for (int i = 0; i < 2048; ++i)
        second.Bits(0, 16);
    Bytes stream = first, rest = second.Finish();
    stream.insert(stream.end(), rest.begin(), rest.end());

    CraftedBook crafted(Corpus("pychm-example-nb.chm"));
    std::string content(stream.begin(), stream.end()), table(0x28 + 16, '\0');
    auto put = [&table](size_t at, uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            table[at + i] = (char)(value >> (8 * i));
    };
    put(0, 2, 4);                    // version
    put(4, 2, 4);                    // blocks
    put(8, 8, 4);                    // entry size
    put(12, 0x28, 4);                // entries' offset
    put(16, 65536, 8);               // uncompressed length
    put(24, stream.size(), 8);       // compressed length
    put(32, 0x8000, 8);              // block length
    put(0x28 + 8, first.size(), 8);  // where the second block starts
    crafted.Put("::DataSpace/Storage/MSCompressed/Content", content);
    crafted.Put("::DataSpace/Storage/MSCompressed/Transform/{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/InstanceData/"
                "ResetTable",
                table);
    damage::Entry* page = crafted.Find("/page 1.html");
    ASSERT_NE(page, nullptr);
    page->start = 32000;
    page->length = 2000;
    Bytes book = crafted.Build();
    ASSERT_TRUE(crafted.ok);
    book[crafted.layout.controlDataOffset + 12] = 2;  // reset interval and window: 2 blocks
    book[crafted.layout.controlDataOffset + 16] = 2;
    Book opened;
    ASSERT_EQ(opened.Open(Place(book).c_str()), 1);
    ASSERT_EQ(opened.ListObjects(), 1);
    const ObjectEntry* entry = opened.FindObject(u"/page 1.html");
    ASSERT_NE(entry, nullptr);
    std::optional<ObjectReader> reader = opened.ReaderFor(*entry);
    ASSERT_TRUE(reader);
    BYTE bytes[700];
    EXPECT_EQ(reader->ReadAt(1000, bytes, 100), 0u);
    ASSERT_EQ(reader->ReadAt(0, bytes, sizeof bytes), sizeof bytes);
    EXPECT_EQ(std::string((const char*)bytes, sizeof bytes), std::string(sizeof bytes, 'B'));  // copies of the "B"
}

// An object that ends exactly where the compressed section's last block
// ends is readable; one byte more is not.
TEST_F(DamageTest, AnObjectEndingWithTheLastBlockFits)
{
    CraftedBook crafted(WithStream(Corpus("pychm-example-nb.chm"), RepeatedOffsetStream(1)));
    damage::Entry* page = crafted.Find("/page 1.html");
    ASSERT_NE(page, nullptr);
    *page = {"/page 1.html", 1, 32768 - 100, 100};
    crafted.entries.push_back({"/one more.html", 1, 32768 - 99, 100});
    Bytes book = crafted.Build();
    // The section is the block's 32768 bytes.
    for (int i = 0; i < 8; ++i)
        book[crafted.layout.resetTableOffset + 0x10 + i] = (uint8_t)(uint64_t{32768} >> (8 * i));
    std::u16string path = Place(book);

    Book reader;
    ASSERT_TRUE(reader.Open(path.c_str()));
    const ObjectEntry* last = reader.FindObject(u"/page 1.html");
    ASSERT_NE(last, nullptr);
    BYTE* bytes = reader.ReadObject(*last);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(std::string((const char*)bytes, 100), std::string(100, 'A'));
    free(bytes);
    const ObjectEntry* past = reader.FindObject(u"/one more.html");
    ASSERT_NE(past, nullptr);
    EXPECT_EQ(reader.ReadObject(*past), nullptr);
}

TEST_F(DamageTest, LzxMatchesFromOutsideTheWindowAreRefused)
{
    Bytes healthy = Corpus("pychm-example-nb.chm");
    struct Case {
        const char* what;
        Stream stream;
        bool readable;
    };
    // The first match stands at window position 3 ("ABA"); a 65536-byte
    // window reaches back 65539 bytes from there.
    for (const Case& c : {Case{"repeated offset far before the window", RepeatedOffsetStream(0x7FFFFFF0), false},
                          Case{"repeated offset one past the window", RepeatedOffsetStream(65540), false},
                          Case{"repeated offset at the window's start", RepeatedOffsetStream(65539), true},
                          Case{"position slot past the window's slots", SpilledSlotStream(), false},
                          Case{"last position slot of a 2^17 window", FarSlotStream(0x7FFF), true}}) {
        std::u16string path = Place(WithStream(healthy, c.stream));
        Book book;
        EXPECT_EQ(book.LoadContents(path.c_str()), 1) << c.what;
        for (LPCWSTR name : {u"/page 1.html", u"/page 2.html", u"/#SYSTEM"}) {
            const ObjectEntry* entry = book.FindObject(name);
            ASSERT_NE(entry, nullptr) << c.what;
            BYTE* bytes = book.ReadObject(*entry);
            bool expected = c.readable || entry->space == 0;
            EXPECT_EQ(bytes != nullptr, expected) << c.what;
            free(bytes);
        }
    }
}

TEST_F(DamageTest, LzxDecodingPastTheBlocksBytesIsRefused)
{
    Bytes book = WithStream(Corpus("pychm-example-nb.chm"), RepeatedOffsetStream(1));
    damage::Layout layout;
    ASSERT_TRUE(damage::ReadLayout(book, &layout));
    book[layout.resetTableOffset + 0x18] = 40;  // the block's compressed length: 40 of its 400-odd bytes
    book[layout.resetTableOffset + 0x19] = 0;
    std::u16string path = Place(book);
    Book reader;
    ASSERT_EQ(reader.LoadContents(path.c_str()), 1);
    const ObjectEntry* page = reader.FindObject(u"/page 1.html");
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(reader.ReadObject(*page), nullptr);
}

// The tool over damaged copies: it ends with 0, or with 1 and one line on
// stderr that names the book or the page, and never faults.
struct ToolRun {
    int status = -1;
    std::string errors;
};

ToolRun RunTool(const std::vector<std::string>& arguments, const std::string& errorFile)
{
    std::vector<char*> argv = {const_cast<char*>(LEAFWISE_BOOK_TOOL)};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ToolRun run;
    pid_t child = 0;
    int waited = 0;
    if (posix_spawn(&child, LEAFWISE_BOOK_TOOL, &actions, nullptr, argv.data(), environ) == 0 &&
        waitpid(child, &waited, 0) == child)
        run.status = WIFEXITED(waited) ? WEXITSTATUS(waited) : 128 + WTERMSIG(waited);
    posix_spawn_file_actions_destroy(&actions);
    Bytes errors = damage::ReadHostFile(errorFile);
    run.errors.assign(errors.begin(), errors.end());
    return run;
}

TEST_F(DamageTest, ToolEndsWithOneLineOnDamagedBooks)
{
    Bytes healthy = Corpus("svn-book.chm");
    std::vector<std::pair<std::string, Bytes>> copies;
    for (size_t cut : {(size_t)0x40, (size_t)0x3000, healthy.size() / 2})
        copies.push_back({"cut at " + std::to_string(cut), Bytes(healthy.begin(), healthy.begin() + cut)});
    for (uint64_t seed : {1850, 3644, 7}) {
        Bytes book = healthy;
        damage::Corruptor corruptor(seed);
        corruptor.FlipBytes(&book, 24 + corruptor.Below(24));
        copies.push_back({"seed " + std::to_string(seed), book});
    }
    std::string errorFile = root + "/stderr.txt";
    for (const auto& [what, book] : copies) {
        Place(book);
        std::string bookPath = root + "/book.chm";
        std::vector<std::string> before = damage::SnapshotFolder(watched, scratch);
        for (const std::vector<std::string>& command :
             {std::vector<std::string>{"contents", bookPath}, {"objects", bookPath},
              {"extract", bookPath, "/ch01.html"}, {"extract", bookPath, "/ch01.html", scratch},
              {"index", bookPath}, {"search", bookPath, "commit"}, {"search", "--scan", bookPath, "commit"},
              {"export", bookPath, scratch + "/export"}}) {
            ToolRun run = RunTool(command, errorFile);
            RemoveTree(scratch + "/export");
            std::string line = what + ": " + command[0];
            EXPECT_TRUE(run.status == 0 || run.status == 1) << line << " ended with " << run.status;
            if (run.status == 1) {
                EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << line << ": " << run.errors;
                EXPECT_EQ(run.errors.back(), '\n') << line;
            } else {
                EXPECT_EQ(run.errors, "") << line;
            }
        }
        EXPECT_EQ(damage::SnapshotFolder(watched, scratch), before) << what;
    }
}

// Names that try to leave the folder, or that no disk holds as they are, are
// exported inside it, each object under a name of its own.
TEST_F(DamageTest, HostileNamesAreExportedInsideTheFolder)
{
    CraftedBook crafted(Corpus("pychm-example-nb.chm"));
    // 200 é in the book's code page: in UTF-8 they would pass 255 bytes, so
    // the name keeps 125 of them and its extension.
    const std::string longName(200, '\xe9');
    std::string shortened;
    for (int i = 0; i < 125; ++i)
        shortened += "\xc3\xa9";
    const std::vector<std::pair<std::string, std::string>> names = {
        {"/../escape.htm", "escape.htm"},
        {"/a/../../up.htm", "up.htm"},
        {"//abs.htm", "abs.htm"},
        {"/a\\..\\..\\back.htm", "back.htm"},
        {"/C:/drive.htm", "C:/drive.htm"},
        {"/C:\\Windows\\win.htm", "C:/Windows/win.htm"},
        {"/bad\xff\xfe.htm", "bad\xc3\xbf\xc3\xbe.htm"},  // not UTF-8: read in the book's code page
        {"/ctl\x01\x1f.htm", "ctl__.htm"},
        {"/dup.htm", "dup.htm"},
        {"/./dup.htm", "dup~2.htm"},
        {"/clash", "clash"},
        {"/clash/inner.htm", "clash~2/inner.htm"},
        {"/" + longName + ".htm", shortened + ".htm"},
        {"/#secret.htm", ""},
        {"/$secret", ""},
    };
    for (const auto& [name, exported] : names)
        crafted.Put(name, "<p>" + name + "</p>");
    std::u16string path = PlaceCrafted(crafted);
    Book book;
    ASSERT_EQ(book.LoadContents(path.c_str()), 1);
    std::vector<std::string> before = damage::SnapshotFolder(watched, scratch);
    ExportReport report = ExportBook(book, u"\\Temp\\out");
    EXPECT_EQ(report.error, (DWORD)ERROR_SUCCESS);
    EXPECT_EQ(report.unreadable, 0u);
    EXPECT_EQ(damage::SnapshotFolder(watched, scratch), before);

    std::set<std::string> files;
    std::string out = scratch + "/out";
    for (const auto& entry : std::filesystem::recursive_directory_iterator(out)) {
        if (!entry.is_directory())
            files.insert(std::filesystem::relative(entry.path(), out).string());
    }
    for (const auto& [name, exported] : names) {
        if (exported.empty())
            continue;
        const std::string& expected = exported;
        EXPECT_EQ(files.count(expected), 1u) << name;
        std::string text;
        Bytes bytes = damage::ReadHostFile(out + "/" + expected);
        text.assign(bytes.begin(), bytes.end());
        EXPECT_NE(text.find("<p>"), std::string::npos) << name;  // the object's own text
    }
    for (const std::string& file : files) {
        EXPECT_EQ(file.find("secret"), std::string::npos);
        EXPECT_EQ(file.find('#'), std::string::npos);
    }
    EXPECT_EQ(files.count("index.html"), 1u);
    EXPECT_TRUE(report.contentsPage == u"index.html");
}

// An index that fails its checks is left for the scan, which gives the pages
// it would have, and nothing is said of it.
TEST_F(DamageTest, ADamagedFullTextIndexFallsBackToTheScan)
{
    Bytes healthy = Corpus("pychm-example-nb.chm");
    Bytes index;
    {
        CraftedBook crafted(healthy);
        Book book;
        ASSERT_TRUE(book.Open(PlaceCrafted(crafted).c_str()));
        const ObjectEntry* entry = book.FindObject(u"/$FIftiMain");
        ASSERT_NE(entry, nullptr);
        BYTE* bytes = book.ReadObject(*entry);
        index.assign(bytes, bytes + entry->length);
        free(bytes);
    }
    ASSERT_GT(index.size(), 0x500u);
    auto put32 = [](Bytes b, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = (uint8_t)(v >> (8 * i));
        return b;
    };
    auto fill = [](Bytes b, size_t from, size_t to, uint8_t v) {
        std::fill(b.begin() + from, b.begin() + std::min(to, b.size()), v);
        return b;
    };
    uint32_t tree = index[8] | index[9] << 8 | index[10] << 16 | (uint32_t)index[11] << 24;
    const std::vector<std::pair<std::string, Bytes>> copies = {
        {"header cut", Bytes(index.begin(), index.begin() + 0x40)},
        {"index cut", Bytes(index.begin(), index.begin() + tree + 0x100)},
        {"magic", put32(index, 0, 0x12345678)},
        {"root past the end", put32(index, 8, (uint32_t)index.size())},
        {"root inside the header", put32(index, 8, 0x20)},
        {"deeper tree", put32(index, 0x18, 2)},
        {"no tree", put32(index, 0x18, 0)},
        {"node length", put32(index, 0x2E, 0x100000)},
        {"scale", fill(index, 0x1E, 0x1F, 3)},
        {"leaf free space", fill(index, tree + 6, tree + 8, 0xFF)},
        {"locations all ones", fill(index, 0x400, tree, 0xFF)},
        {"locations all zeros", fill(index, 0x400, tree, 0x00)},
        {"words garbled", fill(index, tree + 8, tree + 0x40, 0xFF)},
    };
    SearchOptions scan;
    scan.scanOnly = true;
    auto lines = [](const SearchResult& result) {
        std::vector<std::string> found;
        for (const SearchHit& hit : result.pages)
            found.push_back(std::to_string(hit.hits) + " " + hit.page->path);
        return found;
    };
    for (const auto& [what, copy] : copies) {
        CraftedBook crafted(healthy);
        crafted.Put("/$FIftiMain", std::string(copy.begin(), copy.end()));
        Book book;
        ASSERT_EQ(book.LoadContents(PlaceCrafted(crafted).c_str()), 1);
        SearchResult result = SearchBook(book, {u"page"}, {});
        EXPECT_FALSE(result.throughIndex) << what;
        EXPECT_EQ(lines(result), lines(SearchBook(book, {u"page"}, scan))) << what;
        EXPECT_EQ(result.pages.size(), 2u) << what;
    }
    CraftedBook crafted(healthy);
    Book book;
    ASSERT_EQ(book.LoadContents(PlaceCrafted(crafted).c_str()), 1);
    EXPECT_TRUE(SearchBook(book, {u"page"}, {}).throughIndex);

    // Random damage anywhere in the index: never a fault, nothing outside.
    for (int seed = 1; seed <= 40; ++seed) {
        Bytes copy = index;
        damage::Corruptor corruptor(seed);
        corruptor.FlipBytes(&copy, 1 + corruptor.Below(8));
        CraftedBook flipped(healthy);
        flipped.Put("/$FIftiMain", std::string(copy.begin(), copy.end()));
        Exercise(flipped.Build(), 2, "index seed " + std::to_string(seed));
    }

    // The tool says nothing of it either.
    CraftedBook damaged(healthy);
    damaged.Put("/$FIftiMain", std::string(index.begin(), index.begin() + 0x40));
    PlaceCrafted(damaged);
    std::string errorFile = root + "/stderr.txt";
    ToolRun run = RunTool({"search", root + "/book.chm", "page"}, errorFile);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.errors, "");
}

// The binary keyword index (ms-htmlhelp-activex-ref's: see-also entries, two
// levels, keywords of several pages) cut short and flipped: it ends cleanly,
// with no more entries than it holds.
TEST_F(DamageTest, DamagedKeywordTablesEndCleanly)
{
    std::map<std::string, std::string> tables;
    {
        Book book;
        ASSERT_TRUE(book.Open(Place(Corpus("ms-htmlhelp-activex-ref.chm"), "source.chm").c_str()));
        for (const char* name : {"/$WWKeywordLinks/BTree", "/#TOPICS", "/#URLTBL", "/#URLSTR", "/#STRINGS"}) {
            std::u16string wide(name, name + strlen(name));
            const ObjectEntry* entry = book.FindObject(wide.c_str());
            ASSERT_NE(entry, nullptr) << name;
            BYTE* bytes = book.ReadObject(*entry);
            tables[name].assign((const char*)bytes, entry->length);
            free(bytes);
        }
    }
    auto keywords = [&](const std::string& tree) {
        CraftedBook crafted(Corpus("pychm-example-nb.chm"));
        for (const auto& [name, bytes] : tables)
            crafted.Put(name, name == "/$WWKeywordLinks/BTree" ? tree : bytes);
        Book book;
        EXPECT_TRUE(book.Open(PlaceCrafted(crafted).c_str()));
        size_t count = 0;
        book.ReadKeywordIndex([](const TocEntry&, size_t, size_t, void* c) { ++*static_cast<size_t*>(c); }, &count);
        return count;
    };
    const std::string tree = tables["/$WWKeywordLinks/BTree"];
    const size_t healthyEntries = keywords(tree);
    EXPECT_GT(healthyEntries, 100u);
    for (size_t cut = 0; cut < tree.size(); cut += 997)
        EXPECT_LE(keywords(tree.substr(0, cut)), healthyEntries) << "cut at " << cut;
    for (int seed = 1; seed <= 40; ++seed) {
        Bytes copy(tree.begin(), tree.end());
        damage::Corruptor corruptor(seed);
        corruptor.FlipBytes(&copy, 1 + corruptor.Below(16));
        keywords(std::string(copy.begin(), copy.end()));
    }
}

// Every input with which the fuzzer found a fault, kept as it was found.
class FuzzerFindingTest : public DamageTest {
protected:
    bool NeedsCorpus() const override { return false; }
};

TEST_F(FuzzerFindingTest, NeverFaults)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(LEAFWISE_DAMAGE_REGRESSIONS)) {
        while (dirent* item = readdir(dir)) {
            std::string name = item->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".chm") == 0)
                names.push_back(name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        Bytes book = damage::ReadHostFile(std::string(LEAFWISE_DAMAGE_REGRESSIONS) + "/" + name);
        Exercise(book, 64, name);
    }
    if (names.empty())
        GTEST_SKIP() << "no fuzzer findings kept yet";
}

} // namespace
