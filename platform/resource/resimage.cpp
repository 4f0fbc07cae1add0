// Reading the .res image: RESOURCEHEADER records and string-table blocks.
#include "resimage.h"

#include <cstring>

namespace {

uint32_t Read32(const BYTE* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

uint16_t Read16(const BYTE* p)
{
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

// A type or name field: 0xFFFF and an id, or a zero-terminated UTF-16 string.
// Advances *pos past it; false when it runs past `end`.
bool ReadNameOrId(const BYTE* header, size_t end, size_t* pos, WORD* id, bool* isString)
{
    if (*pos + 2 > end)
        return false;
    if (Read16(header + *pos) == 0xFFFF) {
        if (*pos + 4 > end)
            return false;
        *id = Read16(header + *pos + 2);
        *isString = false;
        *pos += 4;
        return true;
    }
    *isString = true;
    *id = 0;
    for (; *pos + 2 <= end; *pos += 2) {
        if (Read16(header + *pos) == 0) {
            *pos += 2;
            return true;
        }
    }
    return false;
}

}  // namespace

size_t IndexResourceImage(const BYTE* image, size_t size, std::vector<ResourceRecord>* records)
{
    records->clear();
    size_t pos = 0;
    while (image && size - pos >= 8) {
        const BYTE* header = image + pos;
        uint32_t dataSize = Read32(header);
        uint32_t headerSize = Read32(header + 4);
        // The smallest header: two sizes, two ids, then 16 bytes of fixed fields.
        if (headerSize < 32 || headerSize > size - pos || dataSize > size - pos - headerSize)
            break;
        size_t field = 8;
        WORD type = 0, name = 0;
        bool typeIsString = false, nameIsString = false;
        if (!ReadNameOrId(header, headerSize, &field, &type, &typeIsString) ||
            !ReadNameOrId(header, headerSize, &field, &name, &nameIsString))
            break;
        field = (field + 3) & ~size_t(3);
        if (field + 16 > headerSize)
            break;
        WORD language = Read16(header + field + 6);
        // The image opens with an empty record (type 0, name 0) that only marks the
        // format; string-named resources are not looked up by this platform.
        bool marker = !typeIsString && !nameIsString && type == 0 && name == 0;
        if (!marker && !typeIsString && !nameIsString)
            records->push_back({type, name, language, header + headerSize, dataSize});
        size_t next = pos + headerSize + dataSize;
        next = (next + 3) & ~size_t(3);
        if (next <= pos || next >= size)
            break;
        pos = next;
    }
    return records->size();
}

bool FindStringInBlock(const BYTE* block, size_t size, unsigned index, const WCHAR** text, size_t* length)
{
    size_t pos = 0;
    for (unsigned i = 0; i < 16; ++i) {
        if (pos + 2 > size)
            return false;
        size_t units = Read16(block + pos);
        pos += 2;
        if (units * 2 > size - pos)
            return false;
        if (i == index) {
            if (units == 0)
                return false;
            *text = reinterpret_cast<const WCHAR*>(block + pos);
            *length = units;
            return true;
        }
        pos += units * 2;
    }
    return false;
}
