// Append-only storage for the many short strings of a book (object paths,
// contents titles). Strings never move, so records can point at them, and a
// whole book's worth is released at once.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

class StringPool {
public:
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

    void Clear()
    {
        blocks.clear();
        used = capacity = 0;
    }

private:
    static constexpr size_t kBlockSize = 64 * 1024;

    void* Allocate(size_t bytes, size_t alignment)
    {
        used = (used + alignment - 1) & ~(alignment - 1);
        if (blocks.empty() || used + bytes > capacity) {
            capacity = bytes > kBlockSize ? bytes : kBlockSize;
            blocks.emplace_back(new char[capacity]);
            used = 0;
        }
        void* p = blocks.back().get() + used;
        used += bytes;
        return p;
    }

    std::vector<std::unique_ptr<char[]>> blocks;
    size_t used = 0;
    size_t capacity = 0;
};
