#include "ObjectIndex.h"

#include <cstring>

namespace {

unsigned char Lower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

// Eight bytes with their ASCII capitals made small, all at once: a byte gets
// 0x20 added when its low seven bits lie from 'A' to 'Z' and its high bit is
// clear (the sums cannot carry from one byte into the next).
uint64_t LowerEight(uint64_t word)
{
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    uint64_t low = word & (0x7F * kOnes);
    uint64_t upper = ((low + (0x80 - 'A') * kOnes) ^ (low + (0x80 - 'Z' - 1) * kOnes)) & ~word & (0x80 * kOnes);
    return word | (upper >> 2);
}

// Mixes eight more bytes in; the shift brings the high bits, where the
// multiplication gathers them, down to the low ones that choose the slot.
uint64_t Mix(uint64_t hash, uint64_t word)
{
    hash = (hash ^ word) * 0x9E3779B97F4A7C15ull;
    return hash ^ (hash >> 32);
}

// Paths of a large book are tens of thousands, and most of their bytes are a
// few shared folders, so they are hashed eight bytes at a step.
uint32_t Hash(const char* path)
{
    size_t length = strlen(path);
    uint64_t hash = length;
    size_t at = 0;
    for (; at + 8 <= length; at += 8) {
        uint64_t word;
        memcpy(&word, path + at, sizeof word);
        hash = Mix(hash, LowerEight(word));
    }
    if (at < length) {
        uint64_t word = 0;
        memcpy(&word, path + at, length - at);
        hash = Mix(hash, LowerEight(word));
    }
    return (uint32_t)hash;
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
