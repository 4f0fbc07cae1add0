// Memory for a control's growing stores, handed out in blocks that never move.
// A store's first blocks come from the heap; past kHeapBytes they come from
// 2 MB regions of VirtualAlloc, which the system fills in huge pages where it
// can. A tree of tens of thousands of items fills megabytes in one go: in 4 KB
// pages that is hundreds of page faults, each several microseconds on a
// virtual machine, the most of what filling such a tree costs. Private to
// platform/commctrl.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace lwcommctrl {

class BlockArena {
public:
    static constexpr size_t kHeapBytes = 256 * 1024;
    static constexpr size_t kChunkBytes = 2 * 1024 * 1024;

    BlockArena() = default;
    BlockArena& operator=(BlockArena&& other) noexcept;
    BlockArena(const BlockArena&) = delete;
    BlockArena& operator=(const BlockArena&) = delete;
    ~BlockArena();

    // `bytes` (at most kChunkBytes) of uninitialised memory, aligned for any
    // object, kept until the arena goes. Throws std::bad_alloc when none is left.
    void* Take(size_t bytes);
    // Gives the room of the last chunk that no block took back to the system;
    // the next block starts a chunk of its own.
    void Trim();

private:
    void Release();

    std::vector<std::unique_ptr<char[]>> heapBlocks_;
    size_t heapTaken_ = 0;
    std::vector<char*> chunks_; // each kChunkBytes, from VirtualAlloc
    size_t chunkUsed_ = kChunkBytes; // in the last chunk; full when there is none
};

} // namespace lwcommctrl
