#include "ObjectIndex.h"

#include <cstring>

namespace {

unsigned char Lower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

uint32_t Hash(const char* path)
{
    uint32_t hash = 2166136261u;
    for (const unsigned char* p = (const unsigned char*)path; *p; ++p)
        hash = (hash ^ Lower(*p)) * 16777619u;
    return hash;
}

bool SamePath(const char* a, const char* b)
{
    for (; Lower(*a) == Lower(*b); ++a, ++b) {
        if (!*a)
            return true;
    }
    return false;
}

} // namespace

size_t ObjectIndex::SlotCountFor(size_t count)
{
    size_t slots = 16;
    while (slots < 2 * count)
        slots *= 2;
    return slots;
}

void ObjectIndex::Insert(size_t position)
{
    size_t mask = slots.size() - 1;
    for (size_t slot = Hash(paths[position]) & mask;; slot = (slot + 1) & mask) {
        if (slots[slot] == 0) {
            slots[slot] = (uint32_t)position + 1;
            return;
        }
        // Keep the first object of a name: a walk from the start would stop there.
        if (SamePath(paths[slots[slot] - 1], paths[position]))
            return;
    }
}

size_t ObjectIndex::Find(const char* path) const
{
    if (slots.empty())
        return kNone;
    size_t mask = slots.size() - 1;
    for (size_t slot = Hash(path) & mask; slots[slot] != 0; slot = (slot + 1) & mask) {
        if (SamePath(paths[slots[slot] - 1], path))
            return slots[slot] - 1;
    }
    return kNone;
}
