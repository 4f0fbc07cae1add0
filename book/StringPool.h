// Append-only storage for the many short strings of a book (object paths,
// contents titles). Strings never move, so records can point at them, and a
// whole book's worth is released at once.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <new>
#include <vector>

class StringPool {
public:
    StringPool() = default;
    StringPool(const StringPool&) = delete;
    StringPool& operator=(const StringPool&) = delete;
    ~StringPool() { Clear(); }

    // A zero-terminated copy of `count` units of `text`.
    template <typename Unit>
    const Unit* Copy(const Unit* text, size_t count)
    {
        size_t bytes = (count + 1) * sizeof(Unit);
        Unit* copy = static_cast<Unit*>(Allocate(bytes, alignof(Unit)));
        memcpy(copy, text, count * sizeof(Unit));
        copy[count] = 0;
        return copy;
    }

    // A zero-terminated copy of `firstCount` units of `first` followed by
    // `secondCount` units of `second`.
    template <typename Unit>
    const Unit* Join(const Unit* first, size_t firstCount, const Unit* second, size_t secondCount)
    {
        size_t bytes = (firstCount + secondCount + 1) * sizeof(Unit);
        Unit* copy = static_cast<Unit*>(Allocate(bytes, alignof(Unit)));
        memcpy(copy, first, firstCount * sizeof(Unit));
        memcpy(copy + firstCount, second, secondCount * sizeof(Unit));
        copy[firstCount + secondCount] = 0;
        return copy;
    }

    // Gives back the room left in the last block when it is a region; the
    // strings added later (a few, once a book is read) go to small blocks.
    void Trim()
    {
        filling = false;
        if (blocks.empty() || !blocks.back().fromVirtualAlloc)
            return;
        size_t kept = (used + kBlockSize - 1) / kBlockSize * kBlockSize;
        if (kept < capacity)
            VirtualFree(blocks.back().data + kept, capacity - kept, MEM_DECOMMIT);
        capacity = used;
    }

    void Clear()
    {
        for (const Block& block : blocks) {
            if (block.fromVirtualAlloc)
                VirtualFree(block.data, 0, MEM_RELEASE);
            else
                delete[] block.data;
        }
        blocks.clear();
        used = capacity = held = 0;
        filling = true;
    }

private:
    // A big book's strings run to megabytes (27,000 contents entries are 3.7 MB):
    // past the first kHeapBytes they go into regions of VirtualAlloc, which the
    // system fills in large pages, not 4 KB at a time; Trim returns what the
    // last region did not need.
    static constexpr size_t kBlockSize = 64 * 1024;
    static constexpr size_t kHeapBytes = 256 * 1024;
    static constexpr size_t kRegionSize = 2 * 1024 * 1024;

    struct Block {
        char* data;
        bool fromVirtualAlloc;
    };

    void* Allocate(size_t bytes, size_t alignment)
    {
        used = (used + alignment - 1) & ~(alignment - 1);
        if (blocks.empty() || used + bytes > capacity)
            AddBlock(bytes);
        void* p = blocks.back().data + used;
        used += bytes;
        return p;
    }

    void AddBlock(size_t bytes)
    {
        blocks.reserve(blocks.size() + 1); // so that keeping the block cannot throw
        bool region = (filling && held >= kHeapBytes) || bytes > kBlockSize;
        size_t size = region ? (bytes + kRegionSize - 1) / kRegionSize * kRegionSize : kBlockSize;
        char* data;
        if (region) {
            data = static_cast<char*>(VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
            if (!data)
                throw std::bad_alloc();
        } else {
            data = new char[size];
        }
        blocks.push_back({data, region});
        held += size;
        capacity = size;
        used = 0;
    }

    std::vector<Block> blocks;
    size_t used = 0;
    size_t capacity = 0;
    size_t held = 0;  // bytes in all blocks
    bool filling = true;  // until Trim
};
