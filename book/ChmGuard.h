// chmlib trusts what it reads from a file. Before a book is handed to it, its
// headers, directory and compression tables are checked here with plain reads,
// and every object is checked against its section before it is retrieved.
#pragma once

#include <windows.h>

struct ContainerLimits {
    ULONGLONG fileSize;
    ULONGLONG section0Size;  // bytes of the uncompressed section that the file holds
    ULONGLONG section1Size;  // uncompressed length of the compressed section; 0 if none
    DWORD directoryEntries;  // the objects that chmlib's enumeration will report
};

// FALSE when chmlib must not be given the file: it is missing, not a container,
// or its headers or tables disagree with each other or with the file. The file
// is read through the device path; it must not change before chm_open reads it.
BOOL CheckContainer(LPCWSTR bookPath, ContainerLimits* limits);

// Whether an object of `length` bytes at `start` lies inside section `space`
// (chmlib reads every section other than 0 as the compressed one).
BOOL ObjectFits(const ContainerLimits& limits, int space, ULONGLONG start, ULONGLONG length);
