#include "blockarena.h"

#include <winbase.h>

#include <cstdint>
#include <new>
#include <utility>

namespace {

constexpr size_t kPageBytes = 4096;

size_t RoundUp(size_t value, size_t unit) { return (value + unit - 1) / unit * unit; }

} // namespace

BlockArena::BlockArena(BlockArena&& other) noexcept
    : blocks_(std::move(other.blocks_)),
      used_(std::exchange(other.used_, 0)),
      heapHeld_(std::exchange(other.heapHeld_, 0))
{
    other.blocks_.clear();
}

BlockArena& BlockArena::operator=(BlockArena&& other) noexcept
{
    if (this != &other) {
        Clear();
        blocks_ = std::move(other.blocks_);
        other.blocks_.clear();
        used_ = std::exchange(other.used_, 0);
        heapHeld_ = std::exchange(other.heapHeld_, 0);
    }
    return *this;
}

BlockArena::~BlockArena()
{
    Clear();
}

void BlockArena::Clear()
{
    for (const Block& block : blocks_) {
        if (block.region)
            VirtualFree(block.data, 0, MEM_RELEASE);
        else
            delete[] block.data;
    }
    blocks_.clear();
    used_ = 0;
    heapHeld_ = 0;
}

void* BlockArena::Take(size_t bytes, size_t alignment)
{
    size_t start = RoundUp(used_, alignment);
    if (blocks_.empty() || start > blocks_.back().size || bytes > blocks_.back().size - start) {
        Open(bytes);
        start = 0;
    }
    used_ = start + bytes;
    return blocks_.back().data + start;
}

// The rest of the last block is left: the pieces are of a few sizes, and a
// store's next one rarely fits there.
void BlockArena::Open(size_t bytes)
{
    if (bytes > SIZE_MAX / 2)
        throw std::bad_alloc();
    blocks_.reserve(blocks_.size() + 1); // so that keeping the block cannot throw
    Block block{};
    if (heapHeld_ < kHeapBytes) {
        block.size = bytes > kHeapBlockBytes ? bytes : kHeapBlockBytes;
        block.data = new char[block.size];
        heapHeld_ += block.size;
    } else {
        block.size = RoundUp(bytes, kRegionBytes);
        block.data = static_cast<char*>(VirtualAlloc(nullptr, block.size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        if (!block.data)
            throw std::bad_alloc();
        block.region = true;
    }
    blocks_.push_back(block);
    used_ = 0;
}

void BlockArena::Trim()
{
    heapHeld_ = 0; // what comes after a filling is a few pieces: the heap's
    if (blocks_.empty() || !blocks_.back().region)
        return;
    Block& last = blocks_.back();
    size_t kept = RoundUp(used_, kPageBytes);
    if (kept < last.size)
        VirtualFree(last.data + kept, last.size - kept, MEM_DECOMMIT);
    used_ = last.size; // the pages given back are never handed out
}

size_t BlockArena::Held() const
{
    size_t held = 0;
    for (const Block& block : blocks_)
        held += block.size;
    return held;
}
