// A case-insensitive (ASCII) hash index over object paths that answers with the
// position of the FIRST object of a given path, so that a lookup returns what a
// walk of the list from its start would.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class ObjectIndex {
public:
    static constexpr size_t kNone = SIZE_MAX;

    template <typename List>
    void Build(const List& objects)
    {
        slots.assign(SlotCountFor(objects.size()), 0);
        paths.clear();
        paths.reserve(objects.size());
        for (const auto& object : objects) {
            paths.push_back(object.path);
            Insert(paths.size() - 1);
        }
    }
    void Clear()
    {
        slots.clear();
        paths.clear();
    }
    bool Built() const { return !slots.empty(); }
    // Position of the first object whose path equals `path` (ASCII case ignored).
    size_t Find(const char* path) const;

private:
    static size_t SlotCountFor(size_t count);
    void Insert(size_t position);

    std::vector<uint32_t> slots;  // position + 1, 0 when empty
    std::vector<const char*> paths;
};
