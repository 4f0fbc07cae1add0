// Append-only storage for the many short strings of a book (object paths,
// contents titles). Strings never move, so records can point at them, and a
// whole book's worth is released at once.
#pragma once

#include <blockarena.h>

#include <cstddef>
#include <cstring>

class StringPool {
public:
    StringPool() = default;
    StringPool(const StringPool&) = delete;
    StringPool& operator=(const StringPool&) = delete;

    // A zero-terminated copy of `count` units of `text`.
    template <typename Unit>
    const Unit* Copy(const Unit* text, size_t count)
    {
        size_t bytes = (count + 1) * sizeof(Unit);
        Unit* copy = static_cast<Unit*>(arena.Take(bytes, alignof(Unit)));
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
        Unit* copy = static_cast<Unit*>(arena.Take(bytes, alignof(Unit)));
        memcpy(copy, first, firstCount * sizeof(Unit));
        memcpy(copy + firstCount, second, secondCount * sizeof(Unit));
        copy[firstCount + secondCount] = 0;
        return copy;
    }

    // Gives back the room the pool holds beyond its strings; the strings
    // added later (a few, once a book is read) go to small blocks.
    void Trim() { arena.Trim(); }
    void Clear() { arena.Clear(); }

private:
    // A big book's strings run to megabytes (27,000 contents entries are 3.7 MB).
    BlockArena arena;
};
