// Memory for stores that grow to megabytes and are released whole (a book's
// paths and titles, a tree's items and texts), handed out in pieces that
// never move, so that records can point at them. The platform's own, not a
// device call.
//
// Each filling (from creation, Clear or Trim) takes its first kHeapBytes from
// the heap, in blocks of at least kHeapBlockBytes; past that, from regions of
// kRegionBytes that VirtualAlloc gives, which the system fills in huge pages
// where it can. A store of tens of thousands of records fills megabytes in
// one go: in 4 KB pages that is hundreds of page faults, each several
// microseconds on a virtual machine, the most of what such a filling costs.
#pragma once

#include <cstddef>
#include <vector>

class BlockArena {
public:
    static constexpr size_t kHeapBytes = 256 * 1024;
    static constexpr size_t kHeapBlockBytes = 32 * 1024;
    static constexpr size_t kRegionBytes = 2 * 1024 * 1024;

    BlockArena() = default;
    BlockArena(BlockArena&& other) noexcept;
    BlockArena& operator=(BlockArena&& other) noexcept;
    BlockArena(const BlockArena&) = delete;
    BlockArena& operator=(const BlockArena&) = delete;
    ~BlockArena();

    // `bytes` of uninitialised memory aligned to `alignment` (a power of two,
    // at most alignof(std::max_align_t)), kept until Clear or the arena goes.
    // Throws std::bad_alloc when none is left.
    void* Take(size_t bytes, size_t alignment = alignof(std::max_align_t));
    // For a store whose filling is over: the whole pages of the last region
    // that nothing took go back to the system, and what is taken next comes
    // from the heap again, not from a fresh region.
    void Trim();
    // Frees everything taken.
    void Clear();
    // Bytes of the blocks held, each region whole.
    size_t Held() const;

private:
    struct Block {
        char* data;
        size_t size;
        bool region;  // from VirtualAlloc, else from the heap
    };

    void Open(size_t bytes);

    std::vector<Block> blocks_;
    size_t used_ = 0;      // of the last block
    size_t heapHeld_ = 0;  // bytes of heap blocks opened in this filling
};
