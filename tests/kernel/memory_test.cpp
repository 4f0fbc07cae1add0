#include <windows.h>

#include <blockarena.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace {

constexpr SIZE_T kRegion = 2 * 1024 * 1024;
constexpr DWORD kNew = MEM_RESERVE | MEM_COMMIT;

TEST(VirtualMemory, RegionsAreZeroedWritableAndAlignedToTheirUnit)
{
    for (SIZE_T size : {kRegion, 3 * kRegion, SIZE_T{10000}}) {
        auto* region = static_cast<unsigned char*>(VirtualAlloc(nullptr, size, kNew, PAGE_READWRITE));
        ASSERT_TRUE(region) << size;
        if (size % kRegion == 0) {
            EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(region) % kRegion) << size;
        }
        EXPECT_EQ(0, region[0] | region[size / 2] | region[size - 1]);
        region[0] = region[size - 1] = 0xAB;
        EXPECT_TRUE(VirtualFree(region, 0, MEM_RELEASE));
    }
}

TEST(VirtualMemory, RefusesWhatItDoesNotDo)
{
    int local = 0;
    SetLastError(0);
    EXPECT_FALSE(VirtualAlloc(&local, kRegion, kNew, PAGE_READWRITE));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_FALSE(VirtualAlloc(nullptr, kRegion, MEM_RESERVE, PAGE_READWRITE));
    EXPECT_FALSE(VirtualAlloc(nullptr, 0, kNew, PAGE_READWRITE));
    EXPECT_FALSE(VirtualAlloc(nullptr, SIZE_MAX, kNew, PAGE_READWRITE));

    auto* region = static_cast<char*>(VirtualAlloc(nullptr, kRegion, kNew, PAGE_READWRITE));
    ASSERT_TRUE(region);
    // Decommitting: whole pages inside the region only.
    EXPECT_FALSE(VirtualFree(region + 100, 4096, MEM_DECOMMIT));
    EXPECT_FALSE(VirtualFree(region, 100, MEM_DECOMMIT));
    EXPECT_FALSE(VirtualFree(region + kRegion - 4096, 8192, MEM_DECOMMIT));
    EXPECT_FALSE(VirtualFree(&local, 4096, MEM_DECOMMIT));
    EXPECT_TRUE(VirtualFree(region + kRegion / 2, kRegion / 2, MEM_DECOMMIT));
    region[kRegion / 2 - 1] = 'k';  // the pages before stay
    // Releasing: the address VirtualAlloc gave, size 0, once.
    EXPECT_FALSE(VirtualFree(region + 4096, 0, MEM_RELEASE));
    EXPECT_FALSE(VirtualFree(region, kRegion, MEM_RELEASE));
    EXPECT_TRUE(VirtualFree(region, 0, MEM_RELEASE));
    SetLastError(0);
    EXPECT_FALSE(VirtualFree(region, 0, MEM_RELEASE));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
}

// Pieces of the sizes the stores take (short strings, a tree's item and text
// blocks), past the heap's share into regions, with one bigger than a heap
// block and one bigger than a region: each is aligned as asked and keeps its
// bytes through Trim, the pieces after it and a move.
TEST(BlockArena, PiecesKeepTheirBytesThroughTrimAndMove)
{
    struct Piece {
        size_t bytes;
        size_t alignment;
    };
    const Piece kPieces[] = {{1, 1},      {513, 2},    {57344, 16}, {BlockArena::kHeapBlockBytes + 1, 8},
                             {131072, 16}, {3000, 4},  {BlockArena::kRegionBytes + 3, 2}};
    BlockArena arena;
    std::vector<std::pair<unsigned char*, size_t>> taken;
    auto takeAll = [&] {
        for (const Piece& piece : kPieces) {
            auto* p = static_cast<unsigned char*>(arena.Take(piece.bytes, piece.alignment));
            EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(p) % piece.alignment) << piece.bytes;
            memset(p, static_cast<int>(taken.size() + 1), piece.bytes);
            taken.emplace_back(p, piece.bytes);
        }
    };
    takeAll();
    takeAll();
    arena.Trim();
    takeAll();
    BlockArena kept;
    kept.Take(10);
    kept = std::move(arena);
    for (size_t i = 0; i < taken.size(); ++i) {
        auto [p, bytes] = taken[i];
        EXPECT_TRUE(std::all_of(p, p + bytes, [&](unsigned char c) { return c == i + 1; })) << i;
    }
}

// A trimmed arena's next pieces come from the heap: a store trimmed after
// each of many small additions does not open a region for each, and only a
// new filling past the heap's share goes into regions again.
TEST(BlockArena, PiecesAfterTrimComeFromTheHeap)
{
    BlockArena arena;
    auto fill = [&] {
        for (int i = 0; i < 1024; ++i)
            arena.Take(1024);
    };
    fill();
    size_t filled = arena.Held();
    EXPECT_GE(filled, BlockArena::kHeapBytes + BlockArena::kRegionBytes);
    for (int i = 0; i < 50; ++i) {
        arena.Take(64);
        arena.Trim();
    }
    EXPECT_LE(arena.Held(), filled + BlockArena::kHeapBlockBytes);
    fill();
    EXPECT_GE(arena.Held(), filled + BlockArena::kRegionBytes);
    arena.Clear();
    EXPECT_EQ(0u, arena.Held());
}

} // namespace
