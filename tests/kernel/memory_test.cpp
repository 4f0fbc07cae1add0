#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>

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

} // namespace
