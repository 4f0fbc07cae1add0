#include "blockarena.h"

#include <winbase.h>

#include <new>
#include <utility>

namespace lwcommctrl {

namespace {

constexpr size_t kAlignment = alignof(std::max_align_t);
constexpr size_t kPageBytes = 4096;

} // namespace

BlockArena& BlockArena::operator=(BlockArena&& other) noexcept
{
    if (this != &other) {
        Release();
        heapBlocks_ = std::move(other.heapBlocks_);
        heapTaken_ = std::exchange(other.heapTaken_, 0);
        chunks_ = std::move(other.chunks_);
        other.chunks_.clear();
        chunkUsed_ = std::exchange(other.chunkUsed_, kChunkBytes);
    }
    return *this;
}

BlockArena::~BlockArena()
{
    Release();
}

void BlockArena::Release()
{
    for (char* chunk : chunks_)
        VirtualFree(chunk, 0, MEM_RELEASE);
    chunks_.clear();
    chunkUsed_ = kChunkBytes;
    heapBlocks_.clear();
    heapTaken_ = 0;
}

void* BlockArena::Take(size_t bytes)
{
    if (bytes > kChunkBytes)
        throw std::bad_alloc();
    if (heapTaken_ + bytes <= kHeapBytes) {
        heapBlocks_.push_back(std::unique_ptr<char[]>(new char[bytes]));
        heapTaken_ += bytes;
        return heapBlocks_.back().get();
    }
    size_t start = (chunkUsed_ + kAlignment - 1) & ~(kAlignment - 1);
    if (start + bytes > kChunkBytes) {
        chunks_.reserve(chunks_.size() + 1); // so that keeping the chunk cannot throw
        auto* chunk = static_cast<char*>(VirtualAlloc(nullptr, kChunkBytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        if (!chunk)
            throw std::bad_alloc();
        chunks_.push_back(chunk);
        start = 0;
    }
    chunkUsed_ = start + bytes;
    return chunks_.back() + start;
}

void BlockArena::Trim()
{
    if (chunks_.empty() || chunkUsed_ == kChunkBytes)
        return;
    size_t kept = (chunkUsed_ + kPageBytes - 1) & ~(kPageBytes - 1);
    if (kept < kChunkBytes)
        VirtualFree(chunks_.back() + kept, kChunkBytes - kept, MEM_DECOMMIT);
    chunkUsed_ = kChunkBytes;
}

} // namespace lwcommctrl
