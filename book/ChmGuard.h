// chmlib trusts what it reads from a file. Before a book is handed to it, its
// headers, directory and compression tables are checked here with plain reads,
// and every object is checked against its section before it is retrieved.
#pragma once

#include <windows.h>

struct ContainerLimits {
    ULONGLONG fileSize;
    ULONGLONG section0Size;  // bytes of the uncompressed section that the file holds
    ULONGLONG section1Size;  // uncompressed length of the compressed section; 0 if none
    DWORD directoryEntries;  // at most this many objects in the directory
};

// FALSE when chmlib must not be given the file: it is missing, not a container,
// or its headers or tables disagree with each other or with the file.
BOOL CheckContainer(LPCWSTR bookPath, ContainerLimits* limits);

// Whether an object of `length` bytes at `start` lies inside section `space`.
BOOL ObjectFits(const ContainerLimits& limits, int space, ULONGLONG start, ULONGLONG length);
