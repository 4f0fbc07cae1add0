// VirtualAlloc and VirtualFree over anonymous mappings.
#include <winbase.h>

#include <cstdint>
#include <iterator>
#include <map>
#include <mutex>
#include <sys/mman.h>

namespace {

constexpr uintptr_t kPage = 4096;
constexpr uintptr_t kHugePage = 2 * 1024 * 1024;

// The size of each region given out, by its address: VirtualFree is told
// only the address.
struct Regions {
    std::mutex lock;
    std::map<uintptr_t, size_t> sizes;
};

Regions& regions()
{
    static Regions* r = new Regions; // outlives every caller, static ones too
    return *r;
}

// `size` bytes starting on a multiple of `alignment`, the slack around them given back.
void* MapAligned(size_t size, uintptr_t alignment)
{
    size_t asked = size + alignment;
    void* mapped = mmap(nullptr, asked, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return nullptr;
    auto start = reinterpret_cast<uintptr_t>(mapped);
    uintptr_t aligned = (start + alignment - 1) & ~(alignment - 1);
    if (aligned > start)
        munmap(mapped, aligned - start);
    if (aligned + size < start + asked)
        munmap(reinterpret_cast<void*>(aligned + size), start + asked - (aligned + size));
    return reinterpret_cast<void*>(aligned);
}

} // namespace

LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect)
{
    if (address || size == 0 || size > SIZE_MAX / 2 || allocationType != (MEM_RESERVE | MEM_COMMIT) ||
        protect != PAGE_READWRITE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    bool huge = size % kHugePage == 0;
    void* region = huge ? MapAligned(size, kHugePage) : mmap(nullptr, size, PROT_READ | PROT_WRITE,
                                                            MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (!region || region == MAP_FAILED) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    // Only a request: where huge pages are off, the region fills in small pages.
    if (huge)
        madvise(region, size, MADV_HUGEPAGE);
    Regions& r = regions();
    std::lock_guard<std::mutex> hold(r.lock);
    r.sizes[reinterpret_cast<uintptr_t>(region)] = size;
    return region;
}

BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD freeType)
{
    Regions& r = regions();
    std::lock_guard<std::mutex> hold(r.lock);
    auto start = reinterpret_cast<uintptr_t>(address);
    if (freeType == MEM_RELEASE) {
        auto found = r.sizes.find(start);
        if (found == r.sizes.end() || size != 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        munmap(address, found->second);
        r.sizes.erase(found);
        return TRUE;
    }
    // MEM_DECOMMIT: whole pages inside one region.
    auto after = r.sizes.upper_bound(start);
    bool inside = after != r.sizes.begin() && size != 0 && start % kPage == 0 &&
                  size % kPage == 0 && freeType == MEM_DECOMMIT;
    if (inside) {
        auto region = std::prev(after);
        inside = size <= region->second && start - region->first <= region->second - size;
    }
    if (!inside) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Touching the pages again faults, as on the device.
    madvise(address, size, MADV_DONTNEED);
    mprotect(address, size, PROT_NONE);
    return TRUE;
}
