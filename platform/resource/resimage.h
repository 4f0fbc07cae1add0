// The layout of a .res image, shared by the module and its tests.
#pragma once

#include <windef.h>

#include <cstddef>
#include <vector>

// One resource of an image: integer type and name (string-named ones are skipped),
// and where its data lies inside the image.
struct ResourceRecord {
    WORD type = 0;
    WORD name = 0;
    WORD language = 0;
    const BYTE* data = nullptr;
    DWORD size = 0;
};

// Walks the RESOURCEHEADER records of an image. Stops at the first damaged
// record (header or data running past the end, impossible sizes); the records
// before it are kept. Returns the number of records indexed.
size_t IndexResourceImage(const BYTE* image, size_t size, std::vector<ResourceRecord>* records);

// String `index` (0..15) of a string-table block: a pointer into the block and
// its length in units. False when the block is too short to hold it.
bool FindStringInBlock(const BYTE* block, size_t size, unsigned index, const WCHAR** text, size_t* length);
